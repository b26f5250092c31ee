// The DIB bitmap under the system's drawing service: the section is selected into a real memory
// context, and a 1-bit section draws with its fixed black and white.
#include <gtest/gtest.h>

#include "WinApi.h"
#include "iedibbitmap.h"

TEST(IEDibbitmapDrawing, OneBitSectionDrawsSetBitsWhiteAndClearBitsBlack) {
    ASSERT_TRUE(IEDibHasDrawing());
    TIEDibbitmap mono;
    ASSERT_TRUE(mono.Allocate(8, 2, ie1g));
    ASSERT_NE(mono.GetDC(), nullptr);
    EXPECT_EQ(GetCurrentObject(static_cast<HDC>(mono.GetDC()), OBJ_BITMAP),
              static_cast<HGDIOBJ>(mono.GetSection()));
    mono.GetScanline(0)[0] = 0xA5;   // 1010 0101, the leftmost pixel in the high bit
    mono.GetScanline(1)[0] = 0x0F;

    TIEDibbitmap rgb;
    ASSERT_TRUE(rgb.Allocate(8, 2, ie24RGB));
    ASSERT_TRUE(BitBlt(static_cast<HDC>(rgb.GetDC()), 0, 0, 8, 2, static_cast<HDC>(mono.GetDC()),
                       0, 0, SRCCOPY));
    GdiFlush();
    const uint8_t rows[2] = {0xA5, 0x0F};
    for (int32_t y = 0; y < 2; ++y) {
        const uint8_t* row = rgb.GetScanline(y);
        for (int32_t x = 0; x < 8; ++x) {
            const uint8_t want = (rows[y] & (0x80 >> x)) ? 255 : 0;
            EXPECT_EQ(row[x * 3], want) << y << "," << x;
            EXPECT_EQ(row[x * 3 + 1], want) << y << "," << x;
            EXPECT_EQ(row[x * 3 + 2], want) << y << "," << x;
        }
    }

    // A copy is a section of its own in a context of its own.
    TIEDibbitmap copy;
    copy.Assign(&rgb);
    ASSERT_NE(copy.GetDC(), nullptr);
    EXPECT_NE(copy.GetDC(), rgb.GetDC());
    EXPECT_EQ(GetPixel(static_cast<HDC>(copy.GetDC()), 0, 0), RGB(255, 255, 255));
    EXPECT_EQ(GetPixel(static_cast<HDC>(copy.GetDC()), 1, 0), RGB(0, 0, 0));
}
