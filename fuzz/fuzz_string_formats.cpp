// String formats (ZFDecUtil): arbitrary text decodes or is refused with EStringFormat, and every
// format gives back the bytes it encoded.
#include <cstdint>
#include <string>

#include "FuzzInput.h"
#include "ZFConst.h"
#include "ZFDecUtil.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    ZFEngineStartup();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const int32_t Ids[] = {fmtCOPY, fmtHEX, fmtHEXL, fmtMIME64, fmtUU, fmtXX, -1, 0, 7};
    TFuzzInput in(data, size);
    const uint8_t control = in.U8();
    const int32_t id = Ids[control % (sizeof Ids / sizeof Ids[0])];
    const std::string text = in.Rest();

    // Text to bytes, with the size given or taken from the terminating zero.
    try {
        if (control & 0x80) FormatToBytes(text.c_str(), -1, id);
        else FormatToBytes(text, id);
    } catch (const EStringFormat&) {
    }

    // Bytes to text and back.
    if (id == 0 || id == 7) return 0;
    const std::string encoded = BytesToFormat(text, id);
    if (FormatToBytes(encoded, id) != text) FuzzFinding("a string format does not give back its bytes");
    return 0;
}
