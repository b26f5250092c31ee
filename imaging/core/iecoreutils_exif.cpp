#include "iecoreutils_exif.h"

#include <vector>

#include "ByteOrder.h"
#include "Classes.h"

bool IEIsEXIFBlock(const uint8_t* Data, int32_t Length) {
    static const uint8_t kIdentifier[5] = {'E', 'x', 'i', 'f', 0};
    if (!Data || Length < 5) return false;
    for (int i = 0; i < 5; ++i)
        if (Data[i] != kIdentifier[i]) return false;
    return true;
}

int64_t IEFindTIFFHeader(TStream* Stream) {
    constexpr int32_t kWindow = 128 * 1024;
    const int64_t start = Stream->GetPosition();
    const int64_t size = Stream->GetSize();
    std::vector<uint8_t> buf(kWindow);
    const int32_t got = Stream->Read(buf.data(), kWindow);
    Stream->SetPosition(start);
    for (int32_t i = 0; i + 8 <= got; ++i) {
        const uint8_t* p = buf.data() + i;
        bool little;
        if (p[0] == 'I' && p[1] == 'I') little = true;
        else if (p[0] == 'M' && p[1] == 'M') little = false;
        else continue;
        const uint16_t magic = little ? ByteOrder::GetLE16(p + 2) : ByteOrder::GetBE16(p + 2);
        const uint32_t ifd = little ? ByteOrder::GetLE32(p + 4) : ByteOrder::GetBE32(p + 4);
        if ((magic == 42 || magic == 20306 || magic == 21330) && static_cast<int64_t>(ifd) < size) return i;
    }
    return -1;
}
