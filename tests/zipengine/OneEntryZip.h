// Test-side reader of one-entry archives made by other tools: finds the entry through the end
// record and the central header and tells where its data starts in the local record. The engine
// has its own reader; this one only hands fixture data to the decryption under test.
#pragma once
#include <cstdint>
#include <cstring>
#include <string>

#include <zlib.h>

#include "ByteOrder.h"
#include "Classes.h"

// A path of the Linux tree as Wine sees it (drive Z: is the root).
inline std::wstring WinePath(const std::string& unixPath) {
    std::wstring p = L"Z:" + AnsiToWide(unixPath);
    for (wchar_t& c : p)
        if (c == L'/') c = L'\\';
    return p;
}

struct TOneEntryZip {
    TMemoryStream Archive;
    uint16_t VersionNeeded = 0, Flags = 0, Method = 0, DosTime = 0;
    uint32_t Crc = 0, PackedSize = 0, UnpackedSize = 0;
    int64_t DataStart = 0;
    uint16_t AesVendorVersion = 0, AesRealMethod = 0;
    uint8_t AesStrength = 0;

    explicit TOneEntryZip(const std::string& fixture) {
        Archive.LoadFromFile(WinePath(std::string(TEST_DATA_DIR) + "/zip/" + fixture));
        const uint8_t* p = static_cast<const uint8_t*>(Archive.GetMemory());
        const int64_t size = Archive.GetSize();
        int64_t end = size - 22;
        while (end >= 0 && U32(p + end) != 0x06054b50) --end;
        if (end < 0) throw Exception(L"no end record");
        const uint8_t* c = p + U32(p + end + 16);
        VersionNeeded = U16(c + 6);
        Flags = U16(c + 8);
        Method = U16(c + 10);
        DosTime = U16(c + 12);
        Crc = U32(c + 16);
        PackedSize = U32(c + 20);
        UnpackedSize = U32(c + 24);
        const uint16_t nameLen = U16(c + 28), extraLen = U16(c + 30);
        for (const uint8_t* x = c + 46 + nameLen; x + 4 <= c + 46 + nameLen + extraLen; x += 4 + U16(x + 2))
            if (U16(x) == 0x9901) {
                AesVendorVersion = U16(x + 4);
                AesStrength = x[8];
                AesRealMethod = U16(x + 9);
            }
        const uint8_t* local = p + U32(c + 42);
        DataStart = (local - p) + 30 + U16(local + 26) + U16(local + 28);
    }

    // The entry's stored bytes (encryption header, data and authentication code).
    std::string Stored() const {
        return std::string(static_cast<const char*>(Archive.GetMemory()) + DataStart, PackedSize);
    }

    static uint16_t U16(const uint8_t* q) { return ByteOrder::GetLE16(q); }
    static uint32_t U32(const uint8_t* q) { return ByteOrder::GetLE32(q); }
};

// Raw deflate data (as archives hold it) inflated; method 0 passes through.
inline std::string Unpack(const std::string& data, uint16_t method) {
    if (method == 0) return data;
    z_stream z;
    memset(&z, 0, sizeof z);
    if (inflateInit2(&z, -15) != Z_OK) return "<inflateInit2 failed>";
    std::string out(65536, '\0');
    z.next_in = (Bytef*)data.data();
    z.avail_in = (uInt)data.size();
    z.next_out = (Bytef*)&out[0];
    z.avail_out = (uInt)out.size();
    const int rc = inflate(&z, Z_FINISH);
    out.resize(z.total_out);
    inflateEnd(&z);
    return rc == Z_STREAM_END ? out : "<inflate failed>";
}
