#include "picturaview.h"

#include <cstring>

#include "ByteOrder.h"
#include "Classes.h"
#include "iecoreutils_threads.h"

int32_t IEDefaultDPIX = 0;
int32_t IEDefaultDPIY = 0;
bool IEGlobalRemoteSession = false;
bool IEGlobalHasMMX = false;
int32_t IEPixelGridZoomThreshold = 0;

void IEPicturaViewInitialize() {
    IEGlobalRemoteSession = IEIsRemoteSession();
    IEDefaultDPIX = 300;
    IEDefaultDPIY = 300;
    IEGlobalHasMMX = IEHasMMX();
    IEPixelGridZoomThreshold = 400;
}

void IEPicturaViewFinalize() {}

bool IEIsLayersStream(TStream* Stream) {
    uint8_t b[25] = {};
    const int64_t pos = Stream->GetPosition();
    const int32_t got = Stream->Read(b, 25);
    Stream->SetPosition(pos);
    return got == 25 && std::memcmp(b, "PICTURALAYERS", 13) == 0 && int32_t(ByteOrder::GetLE32(b + 13)) > 0;
}
