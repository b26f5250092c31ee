#include "picturaio_probes.h"

#include <cstring>
#include <vector>

#include "Classes.h"

namespace {

// Up to Count bytes from the position; the position is restored. Fewer bytes at the end.
std::vector<uint8_t> Peek(TStream* Stream, int32_t Count) {
    std::vector<uint8_t> bytes(static_cast<size_t>(Count));
    const int64_t pos = Stream->GetPosition();
    const int32_t got = Stream->Read(bytes.data(), Count);
    Stream->SetPosition(pos);
    bytes.resize(static_cast<size_t>(got > 0 ? got : 0));
    return bytes;
}

// Count bytes at Offset from the position (restored); empty when the stream is shorter.
std::vector<uint8_t> PeekAt(TStream* Stream, int64_t Offset, int32_t Count) {
    const int64_t pos = Stream->GetPosition();
    std::vector<uint8_t> bytes;
    if (Offset >= 0 && Offset <= Stream->GetSize() - pos - Count) {
        bytes.resize(static_cast<size_t>(Count));
        Stream->SetPosition(pos + Offset);
        if (Stream->Read(bytes.data(), Count) != Count) bytes.clear();
        Stream->SetPosition(pos);
    }
    return bytes;
}

int64_t BytesLeft(TStream* Stream) { return Stream->GetSize() - Stream->GetPosition(); }

bool StartsWith(const std::vector<uint8_t>& Bytes, const char* Magic, size_t Length, size_t Offset = 0) {
    return Bytes.size() >= Offset + Length && std::memcmp(Bytes.data() + Offset, Magic, Length) == 0;
}

uint16_t Word(const uint8_t* p, bool BigEndian) {
    return BigEndian ? static_cast<uint16_t>(p[0] << 8 | p[1]) : static_cast<uint16_t>(p[1] << 8 | p[0]);
}

uint32_t DWord(const uint8_t* p, bool BigEndian) {
    return BigEndian ? (uint32_t)p[0] << 24 | (uint32_t)p[1] << 16 | (uint32_t)p[2] << 8 | p[3]
                     : (uint32_t)p[3] << 24 | (uint32_t)p[2] << 16 | (uint32_t)p[1] << 8 | p[0];
}

// The tags of the first IFD of a TIFF structure at the position; false when the header is not
// TIFF's (Magic 42) or the IFD does not lie inside the stream.
bool FirstIFDTags(TStream* Stream, uint16_t Magic, std::vector<uint16_t>& Tags) {
    const std::vector<uint8_t> head = Peek(Stream, 8);
    if (head.size() < 8) return false;
    bool big;
    if (head[0] == 'I' && head[1] == 'I')
        big = false;
    else if (head[0] == 'M' && head[1] == 'M')
        big = true;
    else
        return false;
    if (Word(&head[2], big) != Magic) return false;
    const uint32_t ifd = DWord(&head[4], big);
    const std::vector<uint8_t> countBytes = PeekAt(Stream, ifd, 2);
    if (ifd < 8 || countBytes.size() != 2) return false;
    const uint16_t count = Word(countBytes.data(), big);
    const std::vector<uint8_t> entries = PeekAt(Stream, int64_t(ifd) + 2, int32_t(count) * 12);
    if (count == 0 || entries.empty()) return false;
    for (uint16_t i = 0; i < count; ++i) Tags.push_back(Word(&entries[size_t(i) * 12], big));
    return true;
}

bool HasTag(const std::vector<uint16_t>& Tags, uint16_t Tag) {
    for (uint16_t t : Tags)
        if (t == Tag) return true;
    return false;
}

// Skips blanks and "#" comments, then reads a decimal number; false when there is none.
bool PNMNumber(const std::vector<uint8_t>& B, size_t& i, uint32_t& Value) {
    for (;;) {
        while (i < B.size() && (B[i] == ' ' || B[i] == '\t' || B[i] == '\r' || B[i] == '\n')) ++i;
        if (i < B.size() && B[i] == '#') {
            while (i < B.size() && B[i] != '\n' && B[i] != '\r') ++i;
            continue;
        }
        break;
    }
    if (i >= B.size() || B[i] < '0' || B[i] > '9') return false;
    uint64_t v = 0;
    while (i < B.size() && B[i] >= '0' && B[i] <= '9' && v <= 0xFFFFFFFFu) v = v * 10 + (B[i++] - '0');
    if (v > 0x7FFFFFFF) return false;
    Value = static_cast<uint32_t>(v);
    return true;
}

}  // namespace

bool IEIsHDPhoto(TStream* Stream) {
    std::vector<uint16_t> tags;
    // "II", 0xBC, then the IFD offset; the first IFD carries the HD Photo pixel-format tag 0xBC01.
    return FirstIFDTags(Stream, 0x01BC, tags) && HasTag(tags, 0xBC01);
}

bool IEIsTIFF(TStream* Stream) {
    std::vector<uint16_t> tags;
    return FirstIFDTags(Stream, 42, tags) && HasTag(tags, 256) && HasTag(tags, 257);
}

bool IEIsCameraRAWTIFF(TStream* Stream) {
    const std::vector<uint8_t> head = Peek(Stream, 11);
    if (StartsWith(head, "II*\0", 4) && StartsWith(head, "CR\x02", 3, 8)) return true;
    std::vector<uint16_t> tags;
    return FirstIFDTags(Stream, 42, tags) && HasTag(tags, 0xC612);   // DNGVersion
}


bool IEIsTGA(TStream* Stream) {
    const std::vector<uint8_t> h = Peek(Stream, 18);
    if (h.size() < 18) return false;
    const uint8_t idLength = h[0], mapType = h[1], imageType = h[2], mapEntryBits = h[7], depth = h[16];
    const uint16_t mapLength = Word(&h[5], false), width = Word(&h[12], false), height = Word(&h[14], false);
    const bool mapped = imageType == 1 || imageType == 9;
    const bool known = mapped || imageType == 2 || imageType == 3 || imageType == 10 || imageType == 11;
    if (!known || mapType > 1 || (mapped && mapType != 1)) return false;
    if (mapType == 1 && (mapLength == 0 || (mapEntryBits != 15 && mapEntryBits != 16 && mapEntryBits != 24 && mapEntryBits != 32)))
        return false;
    if (depth != 8 && depth != 15 && depth != 16 && depth != 24 && depth != 32) return false;
    if (width == 0 || height == 0) return false;
    const int64_t mapBytes = mapType == 1 ? int64_t(mapLength) * ((mapEntryBits + 7) / 8) : 0;
    return 18 + idLength + mapBytes < BytesLeft(Stream);
}

bool IEIsPNM(TStream* Stream) {
    const std::vector<uint8_t> b = Peek(Stream, 512);
    if (b.size() < 3 || b[0] != 'P' || b[1] < '1' || b[1] > '6') return false;
    size_t i = 2;
    if (b[i] != ' ' && b[i] != '\t' && b[i] != '\r' && b[i] != '\n' && b[i] != '#') return false;
    uint32_t w = 0, h = 0;
    return PNMNumber(b, i, w) && PNMNumber(b, i, h) && w > 0 && h > 0;
}

bool IEIsDCX(TStream* Stream) {
    const std::vector<uint8_t> b = Peek(Stream, 4);
    return b.size() == 4 && DWord(b.data(), false) == 987654321u;
}

bool IEIsWMF(TStream* Stream) {
    const std::vector<uint8_t> b = Peek(Stream, 18);
    if (StartsWith(b, "\xD7\xCD\xC6\x9A", 4)) return true;   // placeable metafile
    if (b.size() < 18) return false;
    const uint16_t type = Word(&b[0], false), headerWords = Word(&b[2], false), version = Word(&b[4], false);
    return (type == 1 || type == 2) && headerWords == 9 && (version == 0x0100 || version == 0x0300);
}

bool IEIsEMF(TStream* Stream) {
    const std::vector<uint8_t> b = Peek(Stream, 44);
    return b.size() == 44 && DWord(b.data(), false) == 1 && StartsWith(b, " EMF", 4, 40);
}

bool IEIsObjectsStream(TStream* Stream) {
    const std::vector<uint8_t> b = Peek(Stream, 4);
    return StartsWith(b, "IEV", 3) && b[3] >= '1' && b[3] <= 'S';
}

bool IEIsLayersStream(TStream* Stream) {
    const std::vector<uint8_t> b = Peek(Stream, 25);
    return b.size() == 25 && StartsWith(b, "PICTURALAYERS", 13) && int32_t(DWord(&b[13], false)) > 0;
}

bool IEIsAllStream(TStream* Stream) {
    const std::vector<uint8_t> b = Peek(Stream, 4);
    if (b.size() < 4) return false;
    const uint32_t offset = DWord(b.data(), false);
    if (offset > Stream->GetSize()) return false;
    const int64_t pos = Stream->GetPosition();
    Stream->SetPosition(pos + 4);
    const bool layers = IEIsLayersStream(Stream);
    Stream->SetPosition(pos + offset);
    const bool objects = layers && IEIsObjectsStream(Stream);
    Stream->SetPosition(pos);
    return objects;
}
