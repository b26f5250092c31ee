// The image-size policy of the decoders on hand-made headers: an image of more pixels than
// IEMaxImagePixels, or one whose data the file cannot hold, is refused (the abort flag set) before
// anything is allocated for it, and quickly.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>

#include "CodecTestUtil.h"
#include "bmpfilt.h"
#include "bmpfilt_ico.h"
#include "bmpfilt_pnm.h"
#include "iecoreutils_startup.h"
#include "iemask.h"
#include "ietgafil.h"
#include "jpegfilt.h"
#include "pcxfilter.h"

using namespace codectest;

namespace {

std::string LE16(uint32_t V) { return std::string{(char)(V & 255), (char)((V >> 8) & 255)}; }
std::string LE32(uint32_t V) { return LE16(V & 0xFFFF) + LE16(V >> 16); }

// A 40-byte information header.
std::string InfoHeader(int32_t W, int32_t H, uint16_t Bits, uint32_t Compression, uint32_t Used) {
    return LE32(40) + LE32((uint32_t)W) + LE32((uint32_t)H) + LE16(1) + LE16(Bits) + LE32(Compression) + LE32(0) +
           LE32(0) + LE32(0) + LE32(Used) + LE32(0);
}

// A bitmap file: header, information header, a palette of Used entries, then Data.
std::string BMP(int32_t W, int32_t H, uint16_t Bits, uint32_t Compression, uint32_t Used, const std::string& Data) {
    const uint32_t offset = 14 + 40 + 4 * Used;
    return "BM" + LE32(offset + (uint32_t)Data.size()) + LE32(0) + LE32(offset) +
           InfoHeader(W, H, Bits, Compression, Used) + std::string(4 * Used, '\0') + Data;
}

std::string PCX(int32_t W, int32_t H, uint8_t Planes, int32_t BytesPerLine, uint8_t Encoding, size_t DataBytes) {
    std::string h(128, '\0');
    h[0] = 10;
    h[1] = 5;
    h[2] = (char)Encoding;
    h[3] = 8;
    h.replace(8, 4, LE16((uint32_t)W - 1) + LE16((uint32_t)H - 1));
    h[65] = (char)Planes;
    h.replace(66, 2, LE16((uint32_t)BytesPerLine));
    return h + std::string(DataBytes, '\xC1');
}

std::string TGA(int32_t W, int32_t H, uint8_t Type, size_t DataBytes) {
    std::string h(18, '\0');
    h[2] = (char)Type;
    h.replace(12, 4, LE16((uint32_t)W) + LE16((uint32_t)H));
    h[16] = 24;
    return h + std::string(DataBytes, '\x7F');
}

// The multi-byte integers of a WBMP header.
std::string WBMPInt(uint32_t V) {
    std::string out(1, (char)(V & 0x7F));
    for (V >>= 7; V; V >>= 7) out.insert(out.begin(), (char)(0x80 | (V & 0x7F)));
    return out;
}

// An 8 x 8 baseline JPEG whose frame header then declares W x H.
std::string JPEGDeclaring(uint16_t W, uint16_t H) {
    TIEBitmap b(8, 8, ie24RGB);
    b.Fill(0);
    TCall c;
    TMemoryStream s;
    IEWriteJPEGStream(&s, &b, c.Params, c.Progress);
    std::string bytes = Contents(s);
    const size_t sof = bytes.find("\xFF\xC0");
    if (sof == std::string::npos) return "";
    bytes.replace(sof + 5, 4, std::string{(char)(H >> 8), (char)H, (char)(W >> 8), (char)W});
    return bytes;
}

using Reader = std::function<void(TMemoryStream&, TIEBitmap&, TCall&)>;

const Reader kBMP = [](TMemoryStream& S, TIEBitmap& B, TCall& C) {
    TIEMask* alpha = nullptr;
    IEReadBMPStream(S, &B, (int32_t)S.GetSize(), C.Params, C.Progress, false, false, alpha, false);
    delete alpha;
};
const Reader kIconResource = [](TMemoryStream& S, TIEBitmap& B, TCall& C) {
    TIEMask* alpha = nullptr;
    C.Params.IsResource = true;
    IEReadICOStream(S, &B, C.Params, false, C.Progress, alpha, false);
    delete alpha;
};
const Reader kPNM = [](TMemoryStream& S, TIEBitmap& B, TCall& C) { IEReadPNMStream(S, &B, C.Params, C.Progress, false); };
const Reader kWBMP = [](TMemoryStream& S, TIEBitmap& B, TCall& C) { IEReadWBMPStream(S, &B, C.Params, C.Progress, false); };
const Reader kPCX = [](TMemoryStream& S, TIEBitmap& B, TCall& C) {
    IEReadPCXStream(S, &B, C.Params, (int32_t)S.GetSize(), C.Progress, false);
};
const Reader kTGA = [](TMemoryStream& S, TIEBitmap& B, TCall& C) {
    TIEMask* alpha = nullptr;
    IEReadTGAStream(S, &B, C.Params, C.Progress, false, alpha, false);
    delete alpha;
};
const Reader kJPEG = [](TMemoryStream& S, TIEBitmap& B, TCall& C) {
    IEReadJPEGStream(&S, nullptr, &B, C.Params, C.Progress, false, false, false, false, false, false, -1, false);
};

}  // namespace

TEST(ImageSizePolicy, HeadersBeyondTheLimitOrTheirDataAreRefusedBeforeAllocating) {
    ASSERT_EQ(IEMaxImagePixels, int64_t(1) << 28);
    struct {
        const char* name;
        std::string file;
        Reader read;
    } cases[] = {
        // 66 bytes: run-length data that ends at once, for 400 million pixels.
        {"RLE8 BMP 20000 x 20000", BMP(20000, 20000, 8, 1, 1, std::string("\0\1\0\0\0\0\0\0", 8)), kBMP},
        // Within the limit, but uncompressed rows of 48 MB in 10 bytes.
        {"24-bit BMP 4000 x 4000", BMP(4000, 4000, 24, 0, 0, std::string(10, '\0')), kBMP},
        // 60 bytes: a headerless icon of an undrawn depth, 32768 x 32768.
        {"2-bit icon 32768 x 32768", InfoHeader(32768, 65536, 2, 0, 0) + std::string(20, '\0'), kIconResource},
        {"24-bit icon 8000 x 8000", InfoHeader(8000, 16000, 24, 0, 0) + std::string(20, '\0'), kIconResource},
        // An 85-byte header that once made a 30 GB temporary file.
        {"P6 100000 x 10000", "P6\n# a comment to make the header as long as the one that was found\n100000 10000 255\n",
         kPNM},
        {"P6 10000 x 10000", "P6 10000 10000 255\nabc", kPNM},
        {"P1 10000 x 10000", "P1 10000 10000\n0101", kPNM},
        {"WBMP 100000 x 100000", std::string(2, '\0') + WBMPInt(100000) + WBMPInt(100000) + "\xFF", kWBMP},
        // 160 bytes: 65535 x 65535 x 3 planes.
        {"PCX 65535 x 65535", PCX(65535, 65535, 3, 65535, 1, 32), kPCX},
        {"PCX 10000 x 10000 run-length", PCX(10000, 10000, 3, 10000, 1, 32), kPCX},
        {"PCX 10000 x 10000 stored", PCX(10000, 10000, 1, 10000, 0, 32), kPCX},
        {"TGA 65535 x 65535 run-length", TGA(65535, 65535, 10, 10), kTGA},
        {"TGA 10000 x 10000 run-length", TGA(10000, 10000, 10, 10), kTGA},
        {"TGA 10000 x 10000 stored", TGA(10000, 10000, 2, 10), kTGA},
        {"JPEG 65000 x 65000", JPEGDeclaring(65000, 65000), kJPEG},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_FALSE(c.file.empty());
        TMemoryStream s;
        Fill(s, c.file);
        TIEBitmap b;
        TCall call;
        const auto start = std::chrono::steady_clock::now();
        c.read(s, b, call);
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        EXPECT_TRUE(call.Aborting);
        EXPECT_EQ(b.GetWidth(), 0);   // nothing allocated
        EXPECT_LT(seconds, 2.0);
    }
}

TEST(ImageSizePolicy, TheLimitIsTheLibrarysGlobalAndZeroLiftsIt) {
    struct TRestore {
        int64_t Saved = IEMaxImagePixels;
        ~TRestore() { IEMaxImagePixels = Saved; }
    } restore;
    // A 3 x 2 stored PPM.
    const std::string file = "P6 3 2 255\n" + std::string(18, '\x40');
    for (int64_t limit : {int64_t(5), int64_t(6), int64_t(0)}) {
        SCOPED_TRACE(limit);
        IEMaxImagePixels = limit;
        TMemoryStream s;
        Fill(s, file);
        TIEBitmap b;
        TCall call;
        kPNM(s, b, call);
        EXPECT_EQ(call.Aborting, limit == 5);
        EXPECT_EQ(b.GetWidth(), limit == 5 ? 0 : 3);
    }
    // Sizes the limit is checked on: a product that would overflow 64 bits is simply too large.
    IEMaxImagePixels = int64_t(1) << 28;
    EXPECT_TRUE(IEImageSizeAllowed(16384, 16384));
    EXPECT_FALSE(IEImageSizeAllowed(16384, 16385));
    EXPECT_FALSE(IEImageSizeAllowed(INT64_MAX, INT64_MAX));
    EXPECT_FALSE(IEImageSizeAllowed(-1, 1));
    IEMaxImagePixels = 0;
    EXPECT_TRUE(IEImageSizeAllowed(INT64_MAX, INT64_MAX));
}
