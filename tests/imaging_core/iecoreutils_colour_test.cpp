// Colour and system helpers: CIELab both ways, the float parser with either separator, the
// version index table and the checked stream write.
#include <gtest/gtest.h>

#include <cstdlib>

#include "Classes.h"
#include "iecoreutils_colour.h"
#include "iecoreutils_general.h"

TEST(IEColour, CIELabBothWays) {
    EXPECT_EQ(IERGBToCIELab(0x000000), 0u);
    const uint32_t white = IERGBToCIELab(0xFFFFFF);
    EXPECT_EQ(white, 0x0000FFu);
    EXPECT_TRUE(IESameRGB(IECIELabToRGB(white), IECreateRGB(255, 255, 255)));
    EXPECT_TRUE(IESameRGB(IECIELabToRGB(0), IECreateRGB(0, 0, 0)));
    // Pure red: L 53.2, a 80.1, b 67.2 (a and b as signed bytes).
    const uint32_t red = IERGBToCIELab(IERGBValue(IECreateRGB(255, 0, 0)));
    EXPECT_EQ(red & 0xFF, 135u);   // Trunc(53.24 * 2.55)
    EXPECT_EQ((int8_t)(red >> 8), 80);
    EXPECT_EQ((int8_t)(red >> 16), 67);
    // Blue: b is negative (-107) and comes back through the signed byte.
    const uint32_t blue = IERGBToCIELab(IERGBValue(IECreateRGB(0, 0, 255)));
    EXPECT_EQ((int8_t)(blue >> 16), -107);
    // A round trip loses only what the truncation of the three bytes loses (most at saturated blue).
    for (const TIERGB c : {IECreateRGB(255, 0, 0), IECreateRGB(10, 200, 30), IECreateRGB(128, 128, 128),
                           IECreateRGB(0, 0, 255)}) {
        const TIERGB back = IECIELabToRGB(IERGBToCIELab(IERGBValue(c)));
        EXPECT_NEAR(back.r, c.r, 16);
        EXPECT_NEAR(back.g, c.g, 16);
        EXPECT_NEAR(back.b, c.b, 16);
    }
}

TEST(IEColour, StrToFloatDefTakesEitherSeparator) {
    EXPECT_EQ(IEStrToFloatDef("1,5", -1), 1.5L);
    EXPECT_EQ(IEStrToFloatDef("1.5", -1), 1.5L);
    EXPECT_EQ(IEStrToFloatDef("1,5", -1, ','), 1.5L);
    EXPECT_EQ(IEStrToFloatDef("1.5", -1, ','), 1.5L);
    EXPECT_EQ(IEStrToFloatDef(" -2.5e3 ", -1), -2500.0L);
    EXPECT_EQ(IEStrToFloatDef(".5", -1), 0.5L);
    EXPECT_EQ(IEStrToFloatDef("abc", -7), -7.0L);
    EXPECT_EQ(IEStrToFloatDef("", -7), -7.0L);
    EXPECT_EQ(IEStrToFloatDef(".", -7), -7.0L);
    EXPECT_EQ(IEStrToFloatDef("1e", -7), -7.0L);
    EXPECT_EQ(IEStrToFloatDef("1.5.5", -7), -7.0L);
    EXPECT_EQ(IEStrToFloatDef("1,5,5", -7), -7.0L);
    EXPECT_EQ(IEStrToFloatDef("1e999999", -7), -7.0L);   // out of range
}

TEST(IEColour, WindowsVersionIndex) {
    struct { bool ok; uint32_t platform, major, minor; uint8_t index; } cases[] = {
        {true, 1, 4, 0, 0}, {true, 1, 4, 10, 1}, {true, 1, 4, 90, 2}, {true, 1, 4, 20, 9}, {true, 1, 5, 0, 9},
        {true, 2, 4, 0, 3}, {true, 2, 5, 0, 4}, {true, 2, 5, 1, 5}, {true, 2, 5, 2, 6}, {true, 2, 6, 0, 7},
        {true, 2, 6, 1, 8}, {true, 2, 6, 2, 9}, {true, 2, 10, 0, 9}, {true, 2, 3, 51, 9}, {true, 3, 6, 1, 9},
        {false, 2, 6, 1, 9},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IEWindowsVersionIndexOf(c.ok, c.platform, c.major, c.minor), c.index)
            << c.platform << " " << c.major << "." << c.minor;
    EXPECT_LE(IEGetWindowsVersionIndex(), 9);
}

namespace {

// Takes at most Room bytes in all.
class TShortStream : public TMemoryStream {
public:
    explicit TShortStream(int32_t room) : FRoom(room) {}
    int32_t Write(const void* Buffer, int32_t Count) override {
        const int32_t n = Count < FRoom ? Count : FRoom;
        FRoom -= n;
        return TMemoryStream::Write(Buffer, n);
    }

private:
    int32_t FRoom;
};

class TFailingStream : public TMemoryStream {
public:
    int32_t Write(const void*, int32_t) override { throw EWriteError(L"disk full"); }
};

}   // namespace

TEST(IEColour, StreamWriteCheckedSetsAbortingForGood) {
    const char data[8] = "abcdefg";
    TShortStream stream(10);
    bool aborting = false;
    IEStreamWriteChecked(stream, aborting, data, 8);
    EXPECT_FALSE(aborting);
    IEStreamWriteChecked(stream, aborting, data, 8);   // only 2 fit
    EXPECT_TRUE(aborting);
    TMemoryStream roomy;
    IEStreamWriteChecked(roomy, aborting, data, 8);
    EXPECT_TRUE(aborting);   // never set back
    TFailingStream failing;
    bool failed = false;
    IEStreamWriteChecked(failing, failed, data, 8);
    EXPECT_TRUE(failed);
}
