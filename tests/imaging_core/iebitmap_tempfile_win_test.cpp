// The temporary files of the image store on Windows: opened delete-on-close, so that the system
// removes them with their last handle, also when the program is killed.
#include <gtest/gtest.h>

#include "WinApi.h"
#include "iebitmap.h"

namespace {

HANDLE OpenForReading(const std::wstring& Name, DWORD Share) {
    return CreateFileW(Name.c_str(), GENERIC_READ, Share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

// While the bitmap holds its file, the file's handle may delete it: an opener that does not share
// deletion is refused, one that does gets in; once the bitmap lets go, the file is gone although
// that other handle is still open, and nothing is left when that one closes.
TEST(IETemporaryFilesWin, ImageStoreGoesWithItsLastHandle) {
    TIEBitmap b;
    b.MinFileSize = 0;
    ASSERT_TRUE(b.Allocate(100, 100, ie24RGB));
    ASSERT_EQ(b.GetLocation(), ieFile);
    const std::wstring name = b.GetFileBuffer().GetFileName();
    b.GetScanline(99)[0] = 7;

    HANDLE plain = OpenForReading(name, FILE_SHARE_READ | FILE_SHARE_WRITE);
    EXPECT_EQ(plain, INVALID_HANDLE_VALUE);
    if (plain != INVALID_HANDLE_VALUE) CloseHandle(plain);
    HANDLE shared = OpenForReading(name, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
    ASSERT_NE(shared, INVALID_HANDLE_VALUE);

    b.MinFileSize = 1 << 30;
    b.SetLocation(ieMemory);   // the file store is released
    ASSERT_EQ(b.GetLocation(), ieMemory);
    EXPECT_EQ(b.GetScanline(99)[0], 7);
    CloseHandle(shared);
    EXPECT_FALSE(IEFileExists(name));
}
