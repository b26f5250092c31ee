#include "CRC32.h"

#include <memory>

#include "SysUtils.h"
#include "UnitInit.h"
#include "WinApi.h"

namespace {

struct TCRC32Table {
    uint32_t Entries[256];
    constexpr TCRC32Table() : Entries() {
        for (uint32_t n = 0; n < 256; ++n) {
            uint32_t c = n;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            Entries[n] = c;
        }
    }
};

constexpr TCRC32Table Table;

// Closes a Win32 file handle on every exit path.
struct THandleCloser {
    void operator()(void* AHandle) const { CloseHandle(AHandle); }
};
using TFileHandle = std::unique_ptr<void, THandleCloser>;

}  // namespace

void KWCRC32Buffer(const void* AData, uint32_t& ACRC, int64_t ACount) {
    const uint8_t* p = static_cast<const uint8_t*>(AData);
    uint32_t crc = ACRC;
    for (int64_t i = 0; i < ACount; ++i) crc = Table.Entries[(crc ^ p[i]) & 0xFF] ^ (crc >> 8);
    ACRC = crc;
}

// The file is read in blocks rather than loaded whole: the result is the same, and a file larger
// than the free address space of a 32-bit process still gets its CRC.
void KWCRC32File(const std::wstring& AFileName, uint32_t& ACRC, int64_t& ATotalBytes, uint16_t& AError) {
    AError = 0;
    HANDLE h = CreateFileW(AFileName.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD code = GetLastError();
        throw EFOpenError(Format(SFOpenErrorEx, AFileName, SysErrorMessage(code)));
    }
    TFileHandle file(h);
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(h, &size)) {
        const DWORD code = GetLastError();
        throw EFOpenError(Format(SFOpenErrorEx, AFileName, SysErrorMessage(code)));
    }
    ATotalBytes = size.QuadPart;
    uint32_t crc = 0xFFFFFFFF;
    const DWORD blockSize = 1 << 20;
    std::unique_ptr<uint8_t[]> block(new uint8_t[blockSize]);
    for (int64_t left = size.QuadPart; left > 0;) {
        const DWORD want = left < blockSize ? DWORD(left) : blockSize;
        DWORD got = 0;
        const BOOL ok = ReadFile(h, block.get(), want, &got, nullptr);
        KWCRC32Buffer(block.get(), crc, got);
        if (!ok || got != want) {
            AError = 1;
            break;
        }
        left -= got;
    }
    ACRC = ~crc;
}

uint32_t CRC32TableCheck() {
    uint8_t bytes[sizeof Table.Entries];
    for (int n = 0; n < 256; ++n)
        for (int k = 0; k < 4; ++k) bytes[n * 4 + k] = uint8_t(Table.Entries[n] >> (8 * k));
    uint32_t crc = 0xFFFFFFFF;
    KWCRC32Buffer(bytes, crc, sizeof bytes);
    return ~crc;
}

void CRC32_Initialize() {
    const uint32_t crc = CRC32TableCheck();
    if (crc == 0x6FCF9E13u) return;
    // Start-up runs before the application object has a title: the caption is the program's name,
    // as a simple message dialog would show it.
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring caption = path;
    caption = caption.substr(caption.find_last_of(L"\\/") + 1);
    caption = caption.substr(0, caption.rfind(L'.'));
    const std::wstring text = L"CRC32 Table CRC32 is " + IntToHex(crc, 8) + L", expecting $6FCF9E13";
    MessageBoxW(nullptr, text.c_str(), caption.c_str(), MB_OK);
}

void CRC32_Register() {
    RegisterUnit(L"CRC32", urKWCrc32, CRC32_Initialize, nullptr);
}
