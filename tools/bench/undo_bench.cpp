// Undo benchmark, native (not a test): the image-processing component saving an undo entry of a
// 6000 x 4000 photo (a copy into a temporary file) and restoring it, beside writing the same bytes
// to a temporary file with stdio and reading them back into the image. Best of 3 each. Prints a
// table and "ratio undo_save_restore_vs_file_copy: X.XX" (the component divided by stdio).
#include <cstdint>
#include <cstdio>

#include "BenchPhoto.h"
#include "iebitmap.h"
#include "picturaproc_component.h"

using namespace benchphoto;

int main() {
    TIEBitmap photo;
    photo.SetLocation(ieMemory);
    photo.MinFileSize = INT64_MAX;
    MakePhoto(photo);
    auto proc = TPicturaProc::CreateFromBitmap(&photo);

    double save = 0, restore = 0;
    const double undo = BestMs([&] {
        const auto t0 = std::chrono::steady_clock::now();
        proc->SaveUndo(ieuImage);
        const auto t1 = std::chrono::steady_clock::now();
        proc->Undo();
        const auto t2 = std::chrono::steady_clock::now();
        proc->ClearUndo();
        save = std::chrono::duration<double, std::milli>(t1 - t0).count();
        restore = std::chrono::duration<double, std::milli>(t2 - t1).count();
    });
    if (photo.GetWidth() != kWidth || photo.GetLocation() != ieMemory) {
        std::fprintf(stderr, "bench_undo: the restored image is not the photo\n");
        return 1;
    }

    const size_t rowBytes = (size_t)kWidth * 3;
    const double stdio = BestMs([&] {
        std::FILE* f = std::tmpfile();
        if (!f) return;
        for (int32_t y = 0; y < kHeight; ++y) std::fwrite(photo.GetScanline(y), 1, rowBytes, f);
        std::fflush(f);
        std::rewind(f);
        for (int32_t y = 0; y < kHeight; ++y)
            if (std::fread(photo.GetScanline(y), 1, rowBytes, f) != rowBytes) std::fprintf(stderr, "bench_undo: short read\n");
        std::fclose(f);
    });

    std::printf("%dx%d ie24RGB photo in memory, natively, best of %d\n", kWidth, kHeight, kRuns);
    std::printf("%-36s %10s\n", "", "ms");
    std::printf("%-36s %10.1f   (last run: save %.1f, restore %.1f)\n", "undo save + restore (component)", undo, save,
                restore);
    std::printf("%-36s %10.1f\n", "write + read back (stdio tmpfile)", stdio);
    std::printf("\nratio undo_save_restore_vs_file_copy: %.2f\n", undo / stdio);
    return 0;
}
