// The shared dialog font: one object, by the version index and the screen's fonts, freed by the
// library's shut-down.
#include <gtest/gtest.h>

#include "Graphics.h"
#include "iecoreutils_font.h"
#include "iecoreutils_startup.h"
#include "iestartup.h"

TEST(IEDefaultFont, OneFontByVersionFreedAtShutDown) {
    IEStaticInitialize();
    const uint8_t saved = IEWindowsVersionIndex;
    IEWindowsVersionIndex = 5;   // XP: Tahoma whatever the screen holds
    IEFreeDefaultFont();
    TFont* font = IEGetDefaultFont();
    ASSERT_NE(font, nullptr);
    EXPECT_EQ(font->Name(), L"Tahoma");
    EXPECT_EQ(font->Height(), -11);
    EXPECT_EQ(font->Color(), clWindowText);
    EXPECT_EQ(IEGetDefaultFont(), font);
    IEFreeDefaultFont();
    IEWindowsVersionIndex = 8;   // Windows 7: Segoe UI when the screen has it
    font = IEGetDefaultFont();
    EXPECT_TRUE((font->Name() == L"Segoe UI" && font->Height() == -12) ||
                (font->Name() == L"Tahoma" && font->Height() == -11));
    IEWindowsVersionIndex = saved;
    IEStaticFinalize();   // frees it: the next call makes a new one
    IEWindowsVersionIndex = 5;
    EXPECT_EQ(IEGetDefaultFont()->Name(), L"Tahoma");
    IEFreeDefaultFont();
    IEWindowsVersionIndex = saved;
}
