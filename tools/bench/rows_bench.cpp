// File-stored rows benchmark, native (not a test): a row pass (every byte of every row read and
// changed) over a 6000 x 4000 photo held in a temporary file beside the same pass in memory; a
// whole copy of the photo into file storage beside writing its bytes to a temporary file with
// stdio, and the copy back into memory beside reading those bytes back. Best of 3 each. Prints a
// table and "ratio NAME: X.XX" lines (file storage divided by memory or by stdio).
#include <cstdint>
#include <cstdio>
#include <memory>

#include "BenchPhoto.h"
#include "iebitmap.h"
#include "picturaproc_hooks.h"

using namespace benchphoto;

namespace {

void RowPass(TIEBitmap& B) {
    const int32_t len = B.GetWidth() * 3;
    for (int32_t y = 0; y < B.GetHeight(); ++y) {
        uint8_t* row = B.GetScanline(y);
        for (int32_t i = 0; i < len; ++i) row[i] = (uint8_t)(255 - row[i]);
    }
    B.ReleaseRowBuffers();
}

}  // namespace

int main() {
    IEInstallPicturaProcHooks();   // the routines the buffer and the codecs reach through procedure variables
    TIEBitmap memory;
    memory.SetLocation(ieMemory);
    memory.MinFileSize = INT64_MAX;
    MakePhoto(memory);
    TIEBitmap file;
    if (!file.AssignToFile(&memory) || file.GetLocation() != ieFile) {
        std::fprintf(stderr, "bench_rows: cannot make the file-stored copy\n");
        return 1;
    }
    const double memoryPass = BestMs([&] { RowPass(memory); });
    const double filePass = BestMs([&] { RowPass(file); });

    const double copyIn = BestMs([&] {
        TIEBitmap copy;
        copy.AssignToFile(&memory);
    });
    const size_t rowBytes = (size_t)kWidth * 3, bytes = rowBytes * kHeight;
    const double stdioWrite = BestMs([&] {
        std::FILE* f = std::tmpfile();
        for (int32_t y = 0; y < kHeight; ++y) std::fwrite(memory.GetScanline(y), 1, rowBytes, f);
        std::fclose(f);
    });
    const double copyOut = BestMs([&] {
        TIEBitmap back;
        back.SetLocation(ieMemory);
        back.MinFileSize = INT64_MAX;
        back.Assign(&file);
    });
    std::FILE* stored = std::tmpfile();
    for (int32_t y = 0; y < kHeight; ++y) std::fwrite(memory.GetScanline(y), 1, rowBytes, stored);
    std::fflush(stored);
    const double stdioRead = BestMs([&] {
        std::unique_ptr<uint8_t[]> buffer(new uint8_t[bytes]);
        std::rewind(stored);
        if (std::fread(buffer.get(), 1, bytes, stored) != bytes) std::fprintf(stderr, "bench_rows: short read\n");
    });
    std::fclose(stored);

    std::printf("%dx%d ie24RGB photo, natively, best of %d\n", kWidth, kHeight, kRuns);
    std::printf("%-28s %10s %10s\n", "", "file ms", "other ms");
    std::printf("%-28s %10.1f %10.1f\n", "row pass (memory)", filePass, memoryPass);
    std::printf("%-28s %10.1f %10.1f\n", "copy into file (stdio write)", copyIn, stdioWrite);
    std::printf("%-28s %10.1f %10.1f\n", "copy out of file (stdio read)", copyOut, stdioRead);
    std::printf("\nratio file_rows_vs_memory: %.2f\n", filePass / memoryPass);
    std::printf("ratio file_copy_in_vs_stdio_write: %.2f\n", copyIn / stdioWrite);
    std::printf("ratio file_copy_out_vs_stdio_read: %.2f\n", copyOut / stdioRead);
    return 0;
}
