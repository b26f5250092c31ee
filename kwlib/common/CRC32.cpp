#include "CRC32.h"

#include <memory>

#include "ByteOrder.h"
#include "Classes.h"
#include "SysUtils.h"
#include "UnitInit.h"

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
    TFileStream file(AFileName, fmOpenRead | fmShareDenyNone);
    const int64_t size = file.GetSize();
    ATotalBytes = size;
    uint32_t crc = 0xFFFFFFFF;
    const int32_t blockSize = 1 << 20;
    std::unique_ptr<uint8_t[]> block(new uint8_t[blockSize]);
    for (int64_t left = size; left > 0;) {
        const int32_t want = left < blockSize ? int32_t(left) : blockSize;
        const int32_t got = file.Read(block.get(), want);
        KWCRC32Buffer(block.get(), crc, got);
        if (got != want) {
            AError = 1;
            break;
        }
        left -= got;
    }
    ACRC = ~crc;
}

const uint32_t* CRC32Table() { return Table.Entries; }

uint32_t CRC32TableCheck(const uint32_t* ATable) {
    uint8_t bytes[256 * 4];
    for (int n = 0; n < 256; ++n) ByteOrder::PutLE32(bytes + n * 4, ATable[n]);
    // The table checks itself: the sum runs through the table under test.
    uint32_t crc = 0xFFFFFFFF;
    for (uint8_t b : bytes) crc = ATable[(crc ^ b) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

std::wstring CRC32TableMessage(const uint32_t* ATable) {
    const uint32_t crc = CRC32TableCheck(ATable);
    if (crc == 0x6FCF9E13u) return std::wstring();
    return L"CRC32 Table CRC32 is " + IntToHex(crc, 8) + L", expecting $6FCF9E13";
}

void CRC32_Initialize() {
    const std::wstring text = CRC32TableMessage(CRC32Table());
    if (!text.empty()) CRC32ShowMessage(text);
}
void CRC32_Register() {
    RegisterUnit(L"CRC32", urKWCrc32, CRC32_Initialize, nullptr);
}
