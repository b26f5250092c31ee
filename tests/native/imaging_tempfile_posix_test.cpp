// The temporary files of the image library on POSIX systems: unlinked as soon as they are open, so
// that a killed program leaves none behind.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>

#include "NativeTestUtil.h"
#include "iebitmap.h"
#include "iecoreutils_streams.h"

using nativetest::TScratchDir;

TEST(PosixTemporaryFiles, NothingSurvivesAKilledProgram) {
    TScratchDir dir(L"KWTempFiles_");
    ASSERT_FALSE(dir.Path().empty());
    IETempFolder = dir.Path();
    {
        // While in use: the data is there, the names are not.
        TIEBitmap b;
        b.MinFileSize = 0;
        ASSERT_TRUE(b.Allocate(1000, 1000, ie24RGB));
        ASSERT_EQ(b.GetLocation(), ieFile);
        std::memset(b.GetScanline(999), 7, 3000);
        EXPECT_EQ(b.GetScanline(999)[2999], 7);
        TIEFileBuffer f;
        ASSERT_TRUE(f.AllocateFile(L"IMG", true, 1 << 20));
        EXPECT_TRUE(testsupport::ListTree(dir.Path()).empty());
    }
    // A program killed while it holds both kinds of temporary file.
    const pid_t child = fork();
    if (child == 0) {
        TIEBitmap b;
        b.MinFileSize = 0;
        b.Allocate(1000, 1000, ie24RGB);
        std::memset(b.GetScanline(0), 1, 3000);
        TIEFileBuffer f;
        f.AllocateFile(L"IMG", true, 1 << 20);
        raise(SIGKILL);
        _exit(0);
    }
    ASSERT_GT(child, 0);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(testsupport::ListTree(dir.Path()), std::vector<std::wstring>());
    IETempFolder.clear();
}
