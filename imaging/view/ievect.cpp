#include "ievect.h"

#include <cstring>

#include "ByteOrder.h"
#include "Classes.h"
#include "picturaview.h"
#include "iecoreutils_threads.h"

uint32_t IEVectClipboardFormat = 0;

void IEVectInitialize() {
    IEVectClipboardFormat = IERegisterClipboardFormat(L"PICTURA VECT");
}

void IEVectFinalize() {}

bool IEIsObjectsStream(TStream* Stream) {
    uint8_t b[4] = {};
    const int64_t pos = Stream->GetPosition();
    const int32_t got = Stream->Read(b, 4);
    Stream->SetPosition(pos);
    return got == 4 && std::memcmp(b, "IEV", 3) == 0 && b[3] >= '1' && b[3] <= 'S';
}

bool IEIsAllStream(TStream* Stream) {
    uint8_t b[4] = {};
    const int64_t pos = Stream->GetPosition();
    const int32_t got = Stream->Read(b, 4);
    Stream->SetPosition(pos);
    if (got != 4) return false;
    const uint32_t offset = ByteOrder::GetLE32(b);
    if (offset > Stream->GetSize()) return false;
    Stream->SetPosition(pos + 4);
    const bool layers = IEIsLayersStream(Stream);
    Stream->SetPosition(pos + offset);
    const bool objects = layers && IEIsObjectsStream(Stream);
    Stream->SetPosition(pos);
    return objects;
}
