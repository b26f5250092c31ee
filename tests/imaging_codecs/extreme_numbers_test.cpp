// Resolutions and angles at the ends of their range: every place where a caller's number becomes
// an integer of another range (pixels per metre in the BMP, icon, PNG and packed-DIB headers, a
// rotation's thousandths of a degree) saturates or refuses instead of converting out of range,
// which the native build's UBSan would stop at.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <string>

#include "ByteOrder.h"
#include "CodecTestUtil.h"
#include "iebitmap.h"
#include "imaging/codecs/bmpfilt.h"
#include "imaging/codecs/bmpfilt_ico.h"
#include "imaging/codecs/ieraw.h"
#include "imaging/codecs/pngfiltw.h"
#include "imaging/proc/picturaproc_dib.h"
#include "imaging/proc/picturaproc_shears.h"

using namespace codectest;

namespace {

constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
constexpr int32_t kMin = std::numeric_limits<int32_t>::min();

TIEBitmap* SmallImage() {
    static TIEBitmap image(4, 4, ie24RGB);
    for (int32_t y = 0; y < 4; ++y) std::memset(image.GetScanline(y), 0x80, (size_t)image.GetRowLen());
    return &image;
}

// The horizontal pixels per metre each writer puts into its header for a resolution of Dpi.
int32_t BMPPerMetre(int32_t Dpi) {
    TCall c;
    c.Params.DpiX = Dpi;
    TMemoryStream s;
    IEWriteBMPStream(s, SmallImage(), c.Params, c.Progress, false);
    const std::string f = Contents(s);
    return f.size() >= 42 ? (int32_t)ByteOrder::GetLE32((const uint8_t*)f.data() + 14 + 24) : -1;
}

int32_t ICOPerMetre(int32_t Dpi) {
    TCall c;
    c.Params.DpiX = Dpi;
    const TIEIcoSize size{4, 4};
    const int32_t depth = 24;
    TMemoryStream s;
    IEWriteICOStream(s, SmallImage(), c.Params, c.Progress, &size, &depth, 1);
    const std::string f = Contents(s);
    if (f.size() < 22) return -1;
    const uint32_t at = ByteOrder::GetLE32((const uint8_t*)f.data() + 6 + 12);
    return at + 28 <= f.size() ? (int32_t)ByteOrder::GetLE32((const uint8_t*)f.data() + at + 24) : -1;
}

int32_t PNGPerMetre(int32_t Dpi) {
    TCall c;
    c.Params.DpiX = Dpi;
    c.Params.DpiY = Dpi;
    TMemoryStream s;
    IEWritePNGStream(s, SmallImage(), c.Params, c.Progress, nullptr);
    const std::string f = Contents(s);
    const size_t at = f.find("pHYs");
    return at == std::string::npos || at + 8 > f.size() ? -1 : (int32_t)ByteOrder::GetBE32((const uint8_t*)f.data() + at + 4);
}

int32_t DIBPerMetre(int32_t Dpi) {
    TIEGlobalHandle h = _CopyBitmaptoDIBEx(SmallImage(), 0, 0, 0, 0, Dpi, Dpi);
    if (!h) return -1;
    const int32_t v = (int32_t)ByteOrder::GetLE32(IEDIBGlobalLock(h) + 24);
    IEDIBGlobalUnlock(h);
    IEDIBGlobalFree(h);
    return v;
}

}  // namespace

TEST(ExtremeNumbers, PixelsPerMetreSaturate) {
    struct Case {
        const char* Writer;
        std::function<int32_t(int32_t)> PerMetre;
        int32_t Dpi;
        int32_t Expected;
    } cases[] = {
        {"BMP", BMPPerMetre, 72, 2835},
        {"BMP", BMPPerMetre, kMax, kMax},
        {"BMP", BMPPerMetre, kMin, kMin},
        {"icon", ICOPerMetre, 96, 3780},
        {"icon", ICOPerMetre, kMax, kMax},
        {"icon", ICOPerMetre, kMin, kMin},
        {"PNG", PNGPerMetre, 300, 11811},
        {"PNG", PNGPerMetre, kMax, kMax},   // the chunk's fields hold 31 bits
        {"PNG", PNGPerMetre, 1 << 30, kMax},
        {"DIB", DIBPerMetre, 96, 3779},
        {"DIB", DIBPerMetre, kMax, kMax},
        {"DIB", DIBPerMetre, kMin, kMin},
    };
    for (const Case& c : cases) EXPECT_EQ(c.PerMetre(c.Dpi), c.Expected) << c.Writer << " at " << c.Dpi << " dpi";
}

// An angle whose thousandths of a degree leave 64 bits turns nothing, as an infinite one; the
// largest that fits still turns by its remainder.
TEST(ExtremeNumbers, ShearRotationRefusesAnglesBeyondSixtyFourBits) {
    const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
    for (double angle : {1e300, -1e300, 1e17, -1e17, std::ldexp(1.0, 63) / 1000 * 1.01, nan, inf, -inf}) {
        TIEBitmap b(6, 2, ie24RGB);
        for (int32_t y = 0; y < 2; ++y) std::memset(b.GetScanline(y), 0x40, (size_t)b.GetRowLen());
        IERotateByShears(&b, angle, true, nullptr, TIERGB{0, 0, 0});
        EXPECT_EQ(b.GetWidth(), 6) << angle;
        EXPECT_EQ(b.GetHeight(), 2) << angle;
        EXPECT_EQ(b.GetScanline(1)[17], 0x40) << angle;
    }
    // 90.000 degrees plus whole turns, within 64-bit thousandths: a quarter turn.
    TIEBitmap b(6, 2, ie24RGB);
    IERotateByShears(&b, 90.0 + 360.0 * 1e9, false, nullptr, TIERGB{0, 0, 0});
    EXPECT_EQ(b.GetWidth(), 2);
    EXPECT_EQ(b.GetHeight(), 6);
}

// The camera-raw output stage with a caller's gamma or brightness of any value: samples saturate
// at 0 and the top instead of converting negative, infinite or NaN levels.
TEST(ExtremeNumbers, RawOutputStageSaturates) {
    const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
    const uint16_t pixels[2][4] = {{1000, 2000, 3000, 0}, {0, 0, 0, 0}};
    struct Case {
        double Gamma, Brightness;
        uint8_t Lit;   // the level of the first pixel
    } cases[] = {
        {0.6, nan, 0}, {0.6, -1, 0}, {0.6, -inf, 0}, {0.6, 1e300, 255}, {nan, 1, 0}, {1e300, 1, 255},
    };
    for (const Case& c : cases) {
        for (TIEPixelFormat format : {ie24RGB, ieRGB48}) {
            TIEBitmap b(2, 1, format);
            IERawOutputStage(pixels, 2, 1, false, c.Gamma, c.Brightness, &b);
            const uint8_t* row = b.GetScanline(0);
            const bool wide = format == ieRGB48;
            for (int k = 0; k < 3; ++k) {
                const uint32_t lit = wide ? reinterpret_cast<const uint16_t*>(row)[k] : row[k];
                const uint32_t dark = wide ? reinterpret_cast<const uint16_t*>(row)[3 + k] : row[3 + k];
                EXPECT_EQ(lit, wide ? c.Lit * 257u : c.Lit) << c.Gamma << " " << c.Brightness << " " << k;
                EXPECT_EQ(dark, 0u) << c.Gamma << " " << c.Brightness << " " << k;
            }
        }
    }
}
