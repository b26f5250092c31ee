// The TIFF LZW decoder on any strip, and the encoder's round trip: what the decoder makes of the
// input, encoded by ours in rows and decoded again, comes back unchanged in both fill orders.
//
// Input: row length (2 bytes, 1 .. 65536 after +1, cut to 4096), flags (bit 0 FillOrder 2), then
// the strip.
#include <cstdint>
#include <string>
#include <vector>

#include "Classes.h"
#include "FuzzInput.h"
#include "iebitorder.h"
#include "tiflzw.h"

namespace {

// Up to MaxRows rows of the strip; stops at a failing row.
std::vector<uint8_t> DecodeRows(const std::vector<uint8_t>& Strip, int32_t RowBytes, int32_t MaxRows, int32_t FillOrder,
                                bool& Failed) {
    std::vector<uint8_t> out;
    void* state = nullptr;
    Failed = false;
    const uint8_t anchor = 0;   // a non-nil source for an empty strip
    const uint8_t* data = Strip.empty() ? &anchor : Strip.data();
    for (int32_t r = 0; r < MaxRows; ++r) {
        const auto* row = static_cast<const uint8_t*>(IETIFFLZWDecompress(data, (int32_t)Strip.size(), RowBytes, state, FillOrder));
        if (!row) {
            Failed = true;
            break;
        }
        out.insert(out.end(), row, row + RowBytes);
    }
    IETIFFLZWDecompress(nullptr, 0, 0, state, FillOrder);
    if (state) FuzzFinding("the decoder state was not freed");
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TFuzzInput in(data, size);
    const int32_t rowBytes = (int32_t)(in.U16() % 4096) + 1;
    const int32_t fillOrder = (in.U8() & 1) ? 2 : 1;
    const std::string rest = in.Rest();
    const std::vector<uint8_t> strip(rest.begin(), rest.end());
    // Every code yields at least one byte: more rows than the codes can fill show only zeros.
    const int32_t rows = (int32_t)(strip.size() * 8 / 9 / (size_t)rowBytes) + 2;
    bool failed;
    const std::vector<uint8_t> decoded = DecodeRows(strip, rowBytes, rows, fillOrder, failed);
    if (decoded.empty()) return 0;

    TMemoryStream coded;
    void* state = nullptr;
    for (size_t at = 0; at < decoded.size(); at += (size_t)rowBytes)
        IETIFFLZWCompress(decoded.data() + at, rowBytes, &coded, state);
    IETIFFLZWCompress(nullptr, 0, &coded, state);
    const auto* p = static_cast<const uint8_t*>(coded.GetMemory());
    std::vector<uint8_t> ours(p, p + coded.GetSize());
    const int32_t n = (int32_t)(decoded.size() / (size_t)rowBytes);
    if (DecodeRows(ours, rowBytes, n, 1, failed) != decoded || failed) FuzzFinding("a round trip changed the rows");
    for (auto& b : ours) b = IEBitReverse.Byte[b];
    if (DecodeRows(ours, rowBytes, n, 2, failed) != decoded || failed) FuzzFinding("a FillOrder 2 round trip changed the rows");
    return 0;
}
