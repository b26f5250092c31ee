// Raster-format benchmark: save and load of a 6000 x 4000 photo-like picture as PNG, GIF (256
// colours, quantized by the writer), BMP and TGA through our codecs, in memory, best of 3 each.
// Prints a table and "time FORMAT_load_ms: N" / "time FORMAT_save_ms: N" lines for
// tools/bench/formats_bench.py, which times ImageMagick and libvips on the same files. Each
// encoded file is written into the folder given as the only argument, named "photo.EXT", with
// the picture itself as "photo.ppm" for the peers' saves.
#include <atomic>
#include <cstdio>
#include <functional>
#include <string>

#include "BenchPhoto.h"
#include "Classes.h"
#include "bmpfilt.h"
#include "giffilter.h"
#include "giflzw.h"
#include "iebitmap.h"
#include "iemask.h"
#include "ietgafil.h"
#include "picturaio_params.h"
#include "picturaproc_hooks.h"
#include "pngfilt.h"
#include "pngfiltw.h"

using namespace benchphoto;

namespace {

struct TFormat {
    const char* Name;
    std::function<void(TStream&, TIEBitmap&, TIOParamsVals&, TIOProgressRecord&)> Save;
    std::function<void(TStream&, TIEBitmap&, TIOParamsVals&, TIOProgressRecord&)> Load;
};

bool WriteFile(const std::string& Path, const void* Data, size_t Size) {
    FILE* f = std::fopen(Path.c_str(), "wb");
    if (!f) return false;
    const bool ok = std::fwrite(Data, 1, Size, f) == Size;
    return std::fclose(f) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
    IEInstallPicturaProcHooks();   // the routines the buffer and the codecs reach through procedure variables
    if (argc != 2) {
        std::fprintf(stderr, "usage: bench_formats FOLDER\n");
        return 2;
    }
    const std::string folder = argv[1];
    TIEBitmap photo;
    MakePhoto(photo);
    {
        std::string ppm = "P6\n" + std::to_string(kWidth) + " " + std::to_string(kHeight) + "\n255\n";
        std::string rgb((size_t)kWidth * kHeight * 3, '\0');
        for (int y = 0; y < kHeight; ++y) {
            const uint8_t* row = photo.GetScanline(y);
            for (int x = 0; x < kWidth; ++x)   // the bitmap's rows are blue first
                for (int c = 0; c < 3; ++c) rgb[((size_t)y * kWidth + x) * 3 + c] = (char)row[3 * x + 2 - c];
        }
        ppm += rgb;
        if (!WriteFile(folder + "/photo.ppm", ppm.data(), ppm.size())) {
            std::fprintf(stderr, "bench_formats: cannot write into %s\n", folder.c_str());
            return 1;
        }
    }

    TIEMask* noMask = nullptr;
    const TFormat formats[] = {
        {"png", [](TStream& S, TIEBitmap& B, TIOParamsVals& P, TIOProgressRecord& R) { IEWritePNGStream(S, &B, P, R, nullptr); },
         [](TStream& S, TIEBitmap& B, TIOParamsVals& P, TIOProgressRecord& R) { IEReadPNGStream(S, &B, P, R, false); }},
        {"gif", [](TStream& S, TIEBitmap& B, TIOParamsVals& P, TIOProgressRecord& R) { IEWriteGIFStream(S, &B, P, R); },
         [&](TStream& S, TIEBitmap& B, TIOParamsVals& P, TIOProgressRecord& R) {
             int32_t frames = 0;
             IEReadGIFStream(S, &B, frames, P, R, false, noMask, true);
         }},
        {"bmp", [](TStream& S, TIEBitmap& B, TIOParamsVals& P, TIOProgressRecord& R) { IEWriteBMPStream(S, &B, P, R, false); },
         [&](TStream& S, TIEBitmap& B, TIOParamsVals& P, TIOProgressRecord& R) {
             IEReadBMPStream(S, &B, 0, P, R, false, false, noMask, true);
         }},
        {"tga", [](TStream& S, TIEBitmap& B, TIOParamsVals& P, TIOProgressRecord& R) { IEWriteTGAStream(S, &B, P, R, nullptr); },
         [&](TStream& S, TIEBitmap& B, TIOParamsVals& P, TIOProgressRecord& R) { IEReadTGAStream(S, &B, P, R, false, noMask, true); }},
    };

    std::printf("%dx%d photo, in memory, best of %d\n%-8s %10s %10s %12s\n", kWidth, kHeight, kRuns, "format",
                "save ms", "load ms", "bytes");
    std::string times;
    for (const TFormat& f : formats) {
        TIOParamsVals params(nullptr);
        params.GIFLZWCompress = IEGIFLZWCompress;
        params.GIFLZWDecompress = IEGIFLZWDecompress;
        params.BitsPerSample = 8;
        params.SamplesPerPixel = 3;
        std::atomic<bool> aborting{false};
        TIOProgressRecord progress;
        progress.Aborting = &aborting;
        TMemoryStream encoded;
        const double save = BestMs([&] {
            encoded.Clear();
            f.Save(encoded, photo, params, progress);
        });
        TIEBitmap loaded;
        const double load = BestMs([&] {
            encoded.SetPosition(0);
            f.Load(encoded, loaded, params, progress);
        });
        delete noMask;
        noMask = nullptr;
        if (aborting || encoded.GetSize() == 0 || loaded.GetWidth() != kWidth || loaded.GetHeight() != kHeight) {
            std::fprintf(stderr, "bench_formats: %s failed\n", f.Name);
            return 1;
        }
        if (!WriteFile(folder + "/photo." + f.Name, encoded.GetMemory(), (size_t)encoded.GetSize())) return 1;
        std::printf("%-8s %10.1f %10.1f %12lld\n", f.Name, save, load, (long long)encoded.GetSize());
        char line[128];
        std::snprintf(line, sizeof line, "time %s_save_ms: %.1f\ntime %s_load_ms: %.1f\n", f.Name, save, f.Name, load);
        times += line;
    }
    std::fputs(times.c_str(), stdout);
    return 0;
}
