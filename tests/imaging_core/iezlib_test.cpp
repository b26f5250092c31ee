// The zlib streams: the exact bytes written per level, round trips with progress, the position
// discipline towards the wrapped stream, the invalid operations and the buffer inflation.
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "iezlib.h"

namespace {

std::string Bytes(TMemoryStream& m) {
    return std::string(static_cast<const char*>(m.GetMemory()), (size_t)m.GetSize());
}

// Poorly compressible bytes, so that the compressed form spans several 64 KB buffers.
std::string Noise(size_t n) {
    std::string s(n, '\0');
    uint32_t x = 12345;
    for (auto& c : s) {
        x = x * 1103515245u + 12345u;
        c = (char)(x >> 23);
    }
    return s;
}

std::string Compress(const std::string& data, uint8_t level) {
    TMemoryStream out;
    {
        TZCompressionStream z(&out, level, 15);
        z.WriteBuffer(data.data(), (int32_t)data.size());
    }
    return Bytes(out);
}

std::string Hex(const std::string& s) {
    static const char d[] = "0123456789ABCDEF";
    std::string r;
    for (unsigned char c : s) {
        if (!r.empty()) r += ' ';
        r += d[c >> 4];
        r += d[c & 15];
    }
    return r;
}

// A stream that takes nothing: every write falls short.
class TFullStream : public TMemoryStream {
public:
    int32_t Write(const void*, int32_t) override { return 0; }
};

template <class E, class F>
void ExpectZError(F f, const std::wstring& text) {
    try {
        f();
        ADD_FAILURE() << "no exception";
    } catch (const E& e) {
        EXPECT_EQ(e.Message(), text);
    }
}

}  // namespace

TEST(IEZlib, EmptyStreamPerLevelIsCompleteZlibData) {
    struct Case {
        uint8_t Level;
        const char* Expected;
    } const cases[] = {
        {0, "78 01 01 00 00 FF FF 00 00 00 01"},   // stored: one empty final block
        {1, "78 01 03 00 00 00 00 01"},
        {2, "78 9C 03 00 00 00 00 01"},
        {3, "78 DA 03 00 00 00 00 01"},
    };
    for (const auto& c : cases) EXPECT_EQ(Hex(Compress("", c.Level)), c.Expected) << "level " << (int)c.Level;
    // The header names the level for data too.
    EXPECT_EQ(Hex(Compress("abc", 3).substr(0, 2)), "78 DA");
    TMemoryStream out;
    EXPECT_THROW(TZCompressionStream(&out, 4), EZCompressionError);
}

TEST(IEZlib, RoundTripOf200000BytesWithProgress) {
    const std::string data = Noise(200000);
    TMemoryStream packed;
    int compressEvents = 0;
    {
        TZCompressionStream z(&packed, 1);
        z.OnProgress = [&](TObject* Sender) {
            EXPECT_EQ(Sender, &z);
            ++compressEvents;
        };
        // Odd chunk sizes: the stream buffers whatever the caller's pieces.
        for (size_t at = 0; at < data.size(); at += 7777) {
            const int32_t n = (int32_t)std::min<size_t>(7777, data.size() - at);
            EXPECT_EQ(z.Write(data.data() + at, n), n);
        }
        EXPECT_EQ(z.Seek(123, soBeginning), 200000);   // the bytes taken so far, nothing moved
        // Someone else moves the wrapped stream: the end still goes where the data left off.
        packed.SetPosition(0);
        z.Finish();
    }
    EXPECT_GE(compressEvents, 3);   // one per full 64 KB buffer
    std::string expected(data.size(), '\0');
    uLongf len = (uLongf)expected.size();
    ASSERT_EQ(uncompress(reinterpret_cast<Bytef*>(&expected[0]), &len,
                         static_cast<const Bytef*>(packed.GetMemory()), (uLong)packed.GetSize()),
              Z_OK);
    EXPECT_EQ(expected, data);

    packed.SetPosition(0);
    int inflateEvents = 0;
    TZDecompressionStream z(&packed);
    z.OnProgress = [&](TObject*) { ++inflateEvents; };
    std::string back(data.size() + 10, '\0');
    EXPECT_EQ(z.Read(&back[0], (int32_t)back.size()), 200000);
    back.resize(200000);
    EXPECT_EQ(back, data);
    EXPECT_GE(inflateEvents, 1);
    EXPECT_EQ(z.Read(&back[0], 10), 0);   // after the end
}

TEST(IEZlib, TrailingBytesSurviveAndSeeksFollowTheData) {
    const std::string data(5000, 'x');
    const std::string packed = Compress(data, 2);
    TMemoryStream source;
    source.WriteBuffer("HEAD", 4);
    source.WriteBuffer(packed.data(), (int32_t)packed.size());
    source.WriteBuffer("TRAILER", 7);
    source.SetPosition(4);

    TZDecompressionStream z(&source);
    char buf[100];
    ASSERT_EQ(z.Read(buf, 100), 100);
    // Someone else moves the wrapped stream between reads: the next read puts it back.
    source.SetPosition(0);
    EXPECT_EQ(z.Seek(0, soEnd), 5000);   // reads to the end: the uncompressed size
    EXPECT_EQ(source.GetPosition(), 4 + (int64_t)packed.size());
    char tail[8] = {};
    EXPECT_EQ(source.Read(tail, 8), 7);
    EXPECT_STREQ(tail, "TRAILER");

    // Back to the start of the data (where the stream was made, not byte 0 of the wrapped one).
    EXPECT_EQ(z.Seek(0, soBeginning), 0);
    EXPECT_EQ(z.Seek(10, soCurrent), 10);
    EXPECT_EQ(z.Seek(30, soBeginning), 30);
    EXPECT_EQ(z.Seek(30, soBeginning), 30);   // already there
    EXPECT_EQ(z.Read(buf, 3), 3);
    EXPECT_EQ(std::string(buf, 3), "xxx");
    EXPECT_EQ(z.GetPosition(), 33);
    EXPECT_THROW(z.Seek(6000, soCurrent), EReadError);   // past the end of the data
}

TEST(IEZlib, InvalidOperationsRaise) {
    const std::wstring invalid = L"Invalid ZStream operation!";
    TMemoryStream m;
    {
        TZCompressionStream c(&m, 1);
        char b;
        ExpectZError<EZCompressionError>([&] { c.Read(&b, 1); }, invalid);
        c.Finish();
        ExpectZError<EZCompressionError>([&] { c.Write("a", 1); }, invalid);
    }
    m.SetPosition(0);
    TZDecompressionStream d(&m);
    ExpectZError<EZDecompressionError>([&] { d.Write("a", 1); }, invalid);
    ExpectZError<EZDecompressionError>([&] { d.Seek(-1, soCurrent); }, invalid);
    ExpectZError<EZDecompressionError>([&] { d.Seek(5, soEnd); }, invalid);
    ExpectZError<EZDecompressionError>([&] { d.Seek(-3, soBeginning); }, invalid);
    EXPECT_EQ(IEZErrorText(Z_NEED_DICT), L"need dictionary");
    EXPECT_EQ(IEZErrorText(Z_VERSION_ERROR), L"incompatible version");
    EXPECT_EQ(IEZDecompressCheck(Z_STREAM_END), Z_STREAM_END);
}

TEST(IEZlib, FailuresOfTheDataAndOfTheWrappedStream) {
    // Corrupt data raises zlib's text; a truncated source just gives fewer bytes.
    std::string packed = Compress(std::string(1000, 'q'), 3);
    std::string bad = packed;
    bad[0] = 0x11;
    TReadOnlyMemoryStream badSource(bad.data(), (int64_t)bad.size());
    TZDecompressionStream badZ(&badSource);
    char buf[2000];
    ExpectZError<EZDecompressionError>([&] { badZ.Read(buf, 10); }, L"data error");
    // Data that does not shrink much, cut in the middle: what comes is the start of the original,
    // and reading on gives nothing more instead of looping or inventing bytes.
    std::string varied(1000, '\0');
    uint32_t seed = 12345;
    for (char& ch : varied) {
        seed = seed * 1103515245u + 12345u;
        ch = (char)(seed >> 24);
    }
    const std::string variedPacked = Compress(varied, 3);
    ASSERT_GT(variedPacked.size(), 900u);
    TReadOnlyMemoryStream cut(variedPacked.data(), (int64_t)variedPacked.size() / 2);
    TZDecompressionStream cutZ(&cut);
    const int32_t got = cutZ.Read(buf, 2000);
    EXPECT_GT(got, 300);
    EXPECT_LT(got, 700);
    EXPECT_EQ(std::string(buf, (size_t)std::max(got, 0)), varied.substr(0, (size_t)std::max(got, 0)));
    EXPECT_EQ(cutZ.Read(buf, 2000), 0);

    // A stream that needs a preset dictionary fails instead of asking for ever.
    z_stream z{};
    ASSERT_EQ(deflateInit(&z, 6), Z_OK);
    ASSERT_EQ(deflateSetDictionary(&z, reinterpret_cast<const Bytef*>("dict"), 4), Z_OK);
    Bytef out[64];
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>("dictdict"));
    z.avail_in = 8;
    z.next_out = out;
    z.avail_out = sizeof out;
    ASSERT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
    const std::string dictData(reinterpret_cast<char*>(out), z.total_out);
    deflateEnd(&z);
    TReadOnlyMemoryStream dictSource(dictData.data(), (int64_t)dictData.size());
    TZDecompressionStream dictZ(&dictSource);
    ExpectZError<EZDecompressionError>([&] { dictZ.Read(buf, 10); }, L"need dictionary");
    void* p = nullptr;
    int32_t n = -1;
    ExpectZError<EZDecompressionError>([&] { IEZDecompressBuffer(dictData.data(), (int32_t)dictData.size(), p, n, 0); },
                                       L"need dictionary");
    EXPECT_EQ(p, nullptr);

    // Finishing into a stream that takes nothing reports the write error; the destructor alone
    // cannot, and must not crash.
    TFullStream full;
    TZCompressionStream c(&full, 1);
    c.Write("abc", 3);
    EXPECT_THROW(c.Finish(), EWriteError);
    { TZCompressionStream dropped(&full, 1); }
}

TEST(IEZlib, DecompressBuffer) {
    struct Case {
        std::string Data;
        int32_t Estimate;
    } const cases[] = {{"", 0}, {"0123456789", 0}, {std::string(3000, 'a') + Noise(3000), 0},
                       {Noise(100000), 5}, {"abc", 1000000}};
    for (const auto& c : cases) {
        const std::string packed = Compress(c.Data, 2);
        void* p = nullptr;
        int32_t n = -1;
        IEZDecompressBuffer(packed.data(), (int32_t)packed.size(), p, n, c.Estimate);
        ASSERT_EQ(n, (int32_t)c.Data.size());
        EXPECT_EQ(std::string(static_cast<char*>(p), (size_t)n), c.Data);
        std::free(p);
    }
    const std::string packed = Compress(Noise(5000), 1);
    void* p = nullptr;
    int32_t n = -1;
    ExpectZError<EZDecompressionError>([&] { IEZDecompressBuffer(packed.data(), 100, p, n, 0); }, L"buffer error");
    EXPECT_EQ(p, nullptr);
    EXPECT_EQ(n, 0);
    ExpectZError<EZDecompressionError>([&] { IEZDecompressBuffer("garbage!", 8, p, n, 0); }, L"data error");
}

TEST(IEZlib, DecompressBufferStopsAtTheCallersLimit) {
    // 32 MB of zeros in about 32 KB: a caller that needs 1000 bytes gets them, and no more is
    // inflated or allocated; a limit above the output changes nothing.
    const std::string data = Noise(600) + std::string(32 << 20, '\0');
    const std::string packed = Compress(data, 3);
    for (int32_t limit : {1000, 1 << 20, 64 << 20}) {
        SCOPED_TRACE(limit);
        void* p = nullptr;
        int32_t n = -1;
        IEZDecompressBuffer(packed.data(), (int32_t)packed.size(), p, n, 1, limit);
        ASSERT_EQ(n, std::min<int32_t>(limit, (int32_t)data.size()));
        EXPECT_EQ(std::memcmp(p, data.data(), (size_t)n), 0);
        std::free(p);
    }
    void* p = nullptr;
    int32_t n = -1;
    ExpectZError<EZDecompressionError>([&] { IEZDecompressBuffer(packed.data(), 100, p, n, 0, 1000000); },
                                       L"buffer error");
}
