// The GIF LZW decoder on any image data, and the encoder's round trip: whatever the decoder makes
// of the input, our encoder then our decoder give the same indices back, plainly and interlaced.
//
// Input: width (1 byte, +1), height (1 byte, +1), flags (bit 0 interlaced, bits 4..7 the encoder's
// bits per pixel), then the image data as a GIF file holds it (minimum code size, sub-blocks).
#include <cstdint>
#include <vector>

#include "Classes.h"
#include "FuzzInput.h"
#include "giflzw.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TFuzzInput in(data, size);
    const int32_t width = in.U8() + 1, height = in.U8() + 1;
    const uint8_t flags = in.U8();
    const bool interlaced = flags & 1;
    const int32_t bpp = flags >> 4;
    const std::string rest = in.Rest();

    std::vector<uint8_t> pixels((size_t)width * (size_t)height, 0);
    TReadOnlyMemoryStream source(rest.data(), (int64_t)rest.size());
    IEGIFLZWDecompress(&source, height, width, interlaced, pixels.data());
    if (source.GetPosition() < 0 || source.GetPosition() > (int64_t)rest.size()) FuzzFinding("the decoder left the stream");

    // The round trip keeps indices inside the encoder's code space.
    const int32_t codeBits = bpp < 2 ? 2 : bpp > 8 ? 8 : bpp;
    for (auto& p : pixels) p &= (uint8_t)((1 << codeBits) - 1);
    TMemoryStream coded;
    IEGIFLZWCompress(&coded, height, width, interlaced, pixels.data(), bpp);
    coded.SetPosition(0);
    std::vector<uint8_t> back(pixels.size(), 0xEE);
    IEGIFLZWDecompress(&coded, height, width, interlaced, back.data());
    if (coded.GetPosition() != coded.GetSize()) FuzzFinding("our decoder did not take all of our encoder's data");
    if (back != pixels) FuzzFinding("a round trip changed the indices");
    return 0;
}
