#include "picturaio_standins.h"

#include "picturaio_params.h"

void TIEICC::Assign(const TIEICC* Source) {
    if (!Source || Source == this) return;
    FRaw = Source->FRaw;
    FApplied = Source->FApplied;
    FIsSRGB = Source->FIsSRGB;
}

void TIEICC::LoadFromBuffer(const void* Data, int32_t Size) {
    const uint8_t* bytes = static_cast<const uint8_t*>(Data);
    FRaw.assign(bytes, bytes + (bytes && Size > 0 ? Size : 0));
    FApplied = false;
    FIsSRGB = false;
}

