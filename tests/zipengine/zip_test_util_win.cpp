#include "zip_test_util.h"

#include <zlib.h>

#include <cstdio>
#include <stdexcept>

#include "ByteOrder.h"
#include "SysUtils.h"
#include "WinApi.h"
#include "ZFExcept.h"

namespace ziptest {

std::wstring DataFile(const char* Name) {
    std::wstring path = Utf8ToWide(std::string(TEST_DATA_DIR) + "/zip/" + Name);
    for (wchar_t& c : path)
        if (c == L'/') c = L'\\';
    // The Unix path of the source tree is reached through drive Z:.
    if (!path.empty() && path[0] == L'\\') path = L"Z:" + path;
    return path;
}

std::string Bytes(size_t Count, uint32_t Seed) {
    std::string s(Count, '\0');
    uint32_t x = Seed * 2654435761u + 1;
    for (char& c : s) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        c = (char)(x >> 24);
    }
    return s;
}

int32_t NativeErrorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const EZFException& e) {
        return e.NativeError;
    }
    return -1;
}

void Put16(std::string& s, uint32_t v) {
    char b[2];
    ByteOrder::PutLE16(b, (uint16_t)v);
    s.append(b, sizeof b);
}
void Put32(std::string& s, uint32_t v) {
    char b[4];
    ByteOrder::PutLE32(b, v);
    s.append(b, sizeof b);
}
void Put64(std::string& s, uint64_t v) {
    char b[8];
    ByteOrder::PutLE64(b, v);
    s.append(b, sizeof b);
}
uint16_t Get16(const std::string& s, size_t at) { return ByteOrder::GetLE16(s.data() + at); }
uint32_t Get32(const std::string& s, size_t at) { return ByteOrder::GetLE32(s.data() + at); }
void Set16(std::string& s, size_t at, uint32_t v) { ByteOrder::PutLE16(&s[at], (uint16_t)v); }
void Set32(std::string& s, size_t at, uint32_t v) { ByteOrder::PutLE32(&s[at], v); }

std::string RawDeflateAt(const std::string& data, int level) {
    z_stream z{};
    deflateInit2(&z, level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&z, (uLong)data.size()) + 16, '\0');
    z.next_in = (Bytef*)data.data();
    z.avail_in = (uInt)data.size();
    z.next_out = (Bytef*)&out[0];
    z.avail_out = (uInt)out.size();
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

std::string RawDeflate(const std::string& data) { return RawDeflateAt(data, 6); }

uint32_t Crc32(const std::string& data) {
    return (uint32_t)crc32(0, (const Bytef*)data.data(), (uInt)data.size());
}

TArchiveLayout BuildZip(const std::vector<TEntrySpec>& Entries, const std::string& Comment) {
    TArchiveLayout out;
    std::string central;
    for (const TEntrySpec& e : Entries) {
        const std::string packed = e.Method == 8 ? RawDeflate(e.Data) : e.Data;
        const uint32_t crc = e.ForceCrc ? e.Crc : Crc32(e.Data);
        const uint32_t csize = e.ForceSizes ? e.Packed : (uint32_t)packed.size();
        const uint32_t usize = e.ForceSizes ? e.Unpacked : (uint32_t)e.Data.size();
        const uint16_t flags = (uint16_t)(e.Flags | (e.Descriptor ? 8 : 0));
        const size_t offset = out.Bytes.size();
        out.LocalOffsets.push_back(offset);
        std::string& b = out.Bytes;
        Put32(b, 0x04034b50);
        Put16(b, e.VersionNeeded);
        Put16(b, flags);
        Put16(b, e.Method);
        Put16(b, e.Time);
        Put16(b, e.Date);
        Put32(b, e.Descriptor ? 0 : crc);
        Put32(b, e.Descriptor ? 0 : csize);
        Put32(b, e.Descriptor ? 0 : usize);
        Put16(b, (uint32_t)e.Name.size());
        Put16(b, (uint32_t)e.LocalExtra.size());
        b += e.Name;
        b += e.LocalExtra;
        b += packed;
        if (e.Descriptor) {
            Put32(b, 0x08074b50);
            Put32(b, crc);
            Put32(b, csize);
            Put32(b, usize);
        }
        Put32(central, 0x02014b50);
        Put16(central, 20);
        Put16(central, e.VersionNeeded);
        Put16(central, flags);
        Put16(central, e.Method);
        Put16(central, e.Time);
        Put16(central, e.Date);
        Put32(central, crc);
        Put32(central, csize);
        Put32(central, usize);
        Put16(central, (uint32_t)e.Name.size());
        Put16(central, (uint32_t)e.CentralExtra.size());
        Put16(central, (uint32_t)e.Comment.size());
        Put16(central, 0);
        Put16(central, 0);
        Put32(central, e.ExternalAttr);
        Put32(central, (uint32_t)offset);
        central += e.Name;
        central += e.CentralExtra;
        central += e.Comment;
    }
    out.CentralOffset = out.Bytes.size();
    out.Bytes += central;
    out.EndOffset = out.Bytes.size();
    std::string& b = out.Bytes;
    Put32(b, 0x06054b50);
    Put16(b, 0);
    Put16(b, 0);
    Put16(b, (uint32_t)Entries.size());
    Put16(b, (uint32_t)Entries.size());
    Put32(b, (uint32_t)central.size());
    Put32(b, (uint32_t)out.CentralOffset);
    Put16(b, (uint32_t)Comment.size());
    b += Comment;
    return out;
}

}  // namespace ziptest
