// The wide-name file functions against the system's sharing rules, and the ANSI road that
// systems outside the NT family take.
#include <gtest/gtest.h>

#include "WinApi.h"
#include "iecoreutils_startup.h"
#include "iecoreutils_streams.h"

TEST(IEStreamsWin, ShareModesAndTheAnsiRoad) {
    std::wstring name;
    IETempFileName(L"ie写真", IESystemTempFolder(), name);
    {
        TIEWideFileStream f(name, 0xFFFF);
        f.WriteBuffer("abc", 3);
        // Created without sharing: nobody else may open it.
        EXPECT_EQ(IEFileOpenW(name, 0x40), IEInvalidHandle);
    }
    {
        TIEWideFileStream reader(name, 0x20);   // read; others may read, not write
        void* second = IEFileOpenW(name, 0x40);
        EXPECT_NE(second, IEInvalidHandle);
        CloseHandle(second);
        EXPECT_EQ(IEFileOpenW(name, 0x41), IEInvalidHandle);
    }
    IEIsWinNT = false;   // the name goes through the ANSI code page (932 here)
    EXPECT_TRUE(IEFileExistsW(name));
    void* h = IEFileOpenW(name, 0);
    EXPECT_NE(h, IEInvalidHandle);
    CloseHandle(h);
    IEIsWinNT = true;
    DeleteFileW(name.c_str());
    EXPECT_FALSE(IEFileExists(name));
}
