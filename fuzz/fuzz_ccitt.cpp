// The CCITT row decoders on any strip, and the encoders' round trip: the rows the decoder makes
// of the input, encoded by ours in the same coding and fill order and decoded again, come back
// unchanged.
//
// Input: width (2 bytes, 1 .. 4096), height (1 byte, 1 .. 64), flags (bits 0..1 the coding: MH,
// Group 3, Group 3 two-dimensional, Group 4; bit 2 FillOrder 2), then the strip.
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzInput.h"
#include "tests/imaging_codecs/CCITTDriver.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TFuzzInput in(data, size);
    const int32_t width = (int32_t)(in.U16() % 4096) + 1;
    const int32_t height = (int32_t)(in.U8() % 64) + 1;
    const uint8_t flags = in.U8();
    const TCCITTCoding coding = kAllCCITTCodings[flags & 3];
    const int32_t fillOrder = (flags & 4) ? 2 : 1;
    const std::string rest = in.Rest();
    const std::vector<uint8_t> strip(rest.begin(), rest.end());

    const std::vector<uint8_t> rows = CCITTDecodeStrip(strip, width, height, coding, fillOrder);
    const std::vector<uint8_t> ours = CCITTEncodeStrip(rows, width, height, coding, fillOrder);
    if (CCITTDecodeStrip(ours, width, height, coding, fillOrder) != rows) FuzzFinding("a round trip changed the rows");
    return 0;
}
