// What later code relies on from the platform under Wine in the Japanese locale.
#include <gtest/gtest.h>
#include <windows.h>

TEST(Platform, AnsiAndOemCodePagesAre932) {
    EXPECT_EQ(GetACP(), 932u);
    EXPECT_EQ(GetOEMCP(), 932u);
}

TEST(Platform, HorizontalBarRoundTripsThroughCp932) {
    const wchar_t bar[] = L"\x2015";
    char bytes[4] = {};
    BOOL lossy = FALSE;
    int n = WideCharToMultiByte(932, 0, bar, 1, bytes, sizeof bytes, nullptr, &lossy);
    ASSERT_EQ(n, 2);
    EXPECT_FALSE(lossy);
    EXPECT_EQ((unsigned char)bytes[0], 0x81);
    EXPECT_EQ((unsigned char)bytes[1], 0x5C);
    wchar_t back[2] = {};
    ASSERT_EQ(MultiByteToWideChar(932, 0, bytes, 2, back, 2), 1);
    EXPECT_EQ(back[0], 0x2015);
}
