// The image library's zlib helpers on any input: IEZDecompressBuffer and the decompression
// stream must agree on every input they both accept (same bytes), fail only with their own
// exceptions, and what they produce must come back unchanged through the compression stream.
//
// Input: a control byte (the buffer's size estimate, in units of 64 bytes), then zlib data.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "FuzzInput.h"
#include "iezlib.h"

namespace {

// The inflated size through zlib directly (-1 when the data is invalid) and, valid or not, how
// many bytes it produced before it stopped or passed Limit.
int64_t InflatedSize(const std::string& data, int64_t limit, int64_t& produced) {
    z_stream z{};
    produced = 0;
    if (inflateInit(&z) != Z_OK) return -1;
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    z.avail_in = (uInt)data.size();
    Bytef scratch[4096];
    int code;
    do {
        z.next_out = scratch;
        z.avail_out = sizeof scratch;
        code = inflate(&z, Z_NO_FLUSH);
    } while (code == Z_OK && (int64_t)z.total_out <= limit);
    produced = (int64_t)z.total_out;
    inflateEnd(&z);
    return code == Z_STREAM_END ? produced : -1;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TFuzzInput in(data, size);
    const int32_t estimate = in.U8() * 64;
    const std::string packed = in.Rest();
    // The buffer helper grows in small steps: a bomb would spend the run copying.
    int64_t produced;
    const int64_t expected = InflatedSize(packed, 1 << 20, produced);
    if (produced > (1 << 20)) return 0;

    std::string viaBuffer;
    bool bufferOk = false;
    try {
        void* p = nullptr;
        int32_t n = 0;
        IEZDecompressBuffer(packed.data(), (int32_t)packed.size(), p, n, estimate);
        viaBuffer.assign(static_cast<char*>(p), (size_t)n);
        std::free(p);
        bufferOk = true;
    } catch (const EZDecompressionError&) {
    }
    if (bufferOk != (expected >= 0)) FuzzFinding("the buffer helper and zlib disagree on validity");
    if (bufferOk && (int64_t)viaBuffer.size() != expected) FuzzFinding("the buffer helper's size differs from zlib's");

    std::string viaStream;
    try {
        TReadOnlyMemoryStream source(packed.data(), (int64_t)packed.size());
        TZDecompressionStream z(&source);
        char chunk[3000];
        for (int32_t n; (n = z.Read(chunk, sizeof chunk)) > 0;) viaStream.append(chunk, (size_t)n);
        if (bufferOk && z.Seek(0, soEnd) != expected) FuzzFinding("the stream's size differs");
    } catch (const EZDecompressionError&) {
        if (bufferOk) FuzzFinding("the stream rejects what the buffer helper accepts");
        return 0;
    }
    if (bufferOk && viaStream != viaBuffer) FuzzFinding("the stream and the buffer helper give different bytes");

    // Back through the compression stream at every level.
    for (uint8_t level = 0; bufferOk && level < 4; ++level) {
        TMemoryStream again;
        {
            TZCompressionStream c(&again, level);
            c.WriteBuffer(viaBuffer.data(), (int32_t)viaBuffer.size());
            c.Finish();
        }
        void* p = nullptr;
        int32_t n = 0;
        IEZDecompressBuffer(again.GetMemory(), (int32_t)again.GetSize(), p, n, 0);
        const bool same = std::string(static_cast<char*>(p), (size_t)n) == viaBuffer;
        std::free(p);
        if (!same) FuzzFinding("a round trip through the compression stream changed the bytes");
    }
    return 0;
}
