// Benchmark of the pixel-format conversion and the colour quantizer (not a test). Run by
// tools/bench/bench_image_convert.py, which times libvips, ImageMagick and pngquant on the files
// this program writes and prints the ratios.
//
//   bench_image_convert convert DIR [W H]   time our conversions beside a plain copy of the
//                                           destination's size; write the peers' inputs into DIR
//   bench_image_convert quantize DIR [W H]  time our quantizer to 256 colours; write DIR/quant.ppm
//                                           (the source), DIR/ours256.ppm (our result) and
//                                           DIR/ours256q100.ppm (NeuQuant learning every pixel)
//   bench_image_convert psnr A.ppm B.ppm    the PSNR of B against A (8-bit P6 files)
//
// Lines "time NAME MS" and "psnr NAME DB" are for the script.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "iebitmap.h"
#include "iecoreutils_startup.h"
#include "iestartup.h"
#include "imaging/proc/iequantizer.h"
#include "imaging/io/picturaio.h"

namespace {

double Milliseconds(const std::function<void()>& Work, int Runs = 3) {
    std::vector<double> times;
    for (int i = 0; i < Runs; ++i) {
        const auto start = std::chrono::steady_clock::now();
        Work();
        times.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

// A photograph-like test picture: smooth gradients with a few edges and some noise.
uint8_t Pattern(int32_t X, int32_t Y, int C, uint32_t& Seed) {
    Seed = Seed * 1664525u + 1013904223u;
    const double v = 128 + 90 * std::sin(X * (0.002 + 0.001 * C) + Y * 0.003 * (C + 1)) + ((X / 500 + Y / 400) % 3) * 10;
    return static_cast<uint8_t>(std::min(255.0, std::max(0.0, v + (int)(Seed >> 28) - 8)));
}

void Fill24(TIEBitmap& B) {
    uint32_t seed = 1;
    for (int32_t y = 0; y < B.GetHeight(); ++y) {
        uint8_t* row = B.GetScanline(y);
        for (int32_t x = 0; x < B.GetWidth(); ++x)
            for (int c = 0; c < 3; ++c) row[3 * x + c] = Pattern(x, y, c, seed);
    }
}

bool WriteFile(const std::string& Name, const std::string& Header, TIEBitmap& B, size_t RowBytes,
               const std::function<void(const uint8_t*, std::vector<uint8_t>&)>& Row = nullptr) {
    FILE* f = std::fopen(Name.c_str(), "wb");
    if (!f) return false;
    std::fwrite(Header.data(), 1, Header.size(), f);
    std::vector<uint8_t> out(RowBytes);
    for (int32_t y = 0; y < B.GetHeight(); ++y) {
        const uint8_t* s = B.GetScanline(y);
        if (Row) Row(s, out);
        else std::memcpy(out.data(), s, RowBytes);
        std::fwrite(out.data(), 1, RowBytes, f);
    }
    return std::fclose(f) == 0;
}

// 24-bit rows (blue, green, red) as P6 rows (red, green, blue).
void SwapRow(const uint8_t* S, std::vector<uint8_t>& D) {
    for (size_t i = 0; i + 2 < D.size(); i += 3) {
        D[i] = S[i + 2];
        D[i + 1] = S[i + 1];
        D[i + 2] = S[i];
    }
}

std::string PNMHeader(const char* Magic, int32_t W, int32_t H, bool MaxVal) {
    return std::string(Magic) + "\n" + std::to_string(W) + " " + std::to_string(H) + "\n" + (MaxVal ? "255\n" : "");
}

int Convert(const std::string& Dir, int32_t W, int32_t H) {
    TIEBitmap rgb(W, H, ie24RGB);
    Fill24(rgb);
    TIEBitmap pal(W, H, ie8p), one(W, H, ie1g), cmyk(W, H, ieCMYK);
    for (int i = 0; i < 256; ++i) pal.SetPaletteEntry(i, TIERGB{(uint8_t)(i * 3), (uint8_t)(255 - i), (uint8_t)(i * 7)});
    for (int32_t y = 0; y < H; ++y) {
        const uint8_t* s = rgb.GetScanline(y);
        uint8_t* p = pal.GetScanline(y);
        uint8_t* o = one.GetScanline(y);
        uint8_t* k = cmyk.GetScanline(y);
        std::memset(o, 0, (size_t)one.GetRowLen());
        for (int32_t x = 0; x < W; ++x) {
            p[x] = s[3 * x + 1];
            if (s[3 * x] > 128) o[x >> 3] |= (uint8_t)(0x80 >> (x & 7));
            k[4 * x] = s[3 * x + 2];
            k[4 * x + 1] = s[3 * x + 1];
            k[4 * x + 2] = s[3 * x];
            k[4 * x + 3] = (uint8_t)(255 - (s[3 * x] >> 2));
        }
    }

    // The peers' inputs: P6, P5 indices with a 256 x 1 colour table, P4, raw CMYK inks.
    const size_t w = (size_t)W;
    bool ok = WriteFile(Dir + "/rgb.ppm", PNMHeader("P6", W, H, true), rgb, 3 * w, SwapRow) &&
              WriteFile(Dir + "/index.pgm", PNMHeader("P5", W, H, true), pal, w) &&
              WriteFile(Dir + "/one.pbm", PNMHeader("P4", W, H, false), one, (w + 7) / 8,
                        [](const uint8_t* S, std::vector<uint8_t>& D) {
                            for (size_t i = 0; i < D.size(); ++i) D[i] = (uint8_t)~S[i];   // PBM: 1 is black
                        }) &&
              WriteFile(Dir + "/cmyk.raw", "", cmyk, 4 * w, [](const uint8_t* S, std::vector<uint8_t>& D) {
                  for (size_t i = 0; i < D.size(); ++i) D[i] = (uint8_t)(255 - S[i]);   // inks, not inverted
              });
    {
        TIEBitmap lut(256, 1, ie24RGB);
        for (int i = 0; i < 256; ++i) lut.SetPixelRGB(i, 0, pal.GetPaletteEntry(i));
        ok = ok && WriteFile(Dir + "/lut.ppm", PNMHeader("P6", 256, 1, true), lut, 768, SwapRow);
    }
    if (!ok) {
        std::fprintf(stderr, "cannot write the inputs into %s\n", Dir.c_str());
        return 1;
    }

    struct Case {
        const char* name;
        TIEBitmap* source;
        TIEPixelFormat to;
    } cases[] = {{"24to32", &rgb, ie32RGB}, {"24to8g", &rgb, ie8g}, {"8pto24", &pal, ie24RGB},
                 {"1to24", &one, ie24RGB}, {"cmykto24", &cmyk, ie24RGB}};
    // The copy of the destination's size is the yardstick; a copy of the source's size shows what
    // reading the source alone costs (a small destination copy may stay in the cache).
    std::printf("%-10s %10s %14s %14s %8s\n", "conversion", "ours ms", "memcpy dest ms", "memcpy src ms", "x copy");
    for (const Case& c : cases) {
        TIEBitmap dest(W, H, c.to);
        const size_t destBytes = (size_t)dest.GetRowLen() * (size_t)H, sourceBytes = (size_t)c.source->GetRowLen() * (size_t)H;
        std::vector<uint8_t> from(std::max(destBytes, sourceBytes), 1), to(from.size(), 2);
        // The three take turns, so that a change in the machine's load meets them all; each
        // figure is the median of 5 turns.
        std::vector<double> copies, sourceCopies, conversions;
        for (int turn = 0; turn < 5; ++turn) {
            copies.push_back(Milliseconds([&] { std::memcpy(to.data(), from.data(), destBytes); }, 1));
            sourceCopies.push_back(Milliseconds([&] { std::memcpy(to.data(), from.data(), sourceBytes); }, 1));
            conversions.push_back(Milliseconds([&] { dest.ConvertFrom(c.source); }, 1));
        }
        const auto median = [](std::vector<double> V) {
            std::sort(V.begin(), V.end());
            return V[V.size() / 2];
        };
        const double copy = median(copies), copySource = median(sourceCopies), ours = median(conversions);
        std::printf("%-10s %10.1f %14.1f %14.1f %8.2f\n", c.name, ours, copy, copySource, ours / copy);
        std::printf("time ours_%s %.3f\ntime memcpy_%s %.3f\ntime memcpysrc_%s %.3f\n", c.name, ours, c.name, copy, c.name,
                    copySource);
    }
    return 0;
}

bool ReadPPM(const std::string& Name, int32_t& W, int32_t& H, std::vector<uint8_t>& Pixels) {
    FILE* f = std::fopen(Name.c_str(), "rb");
    if (!f) return false;
    int maxVal = 0;
    const bool header = std::fscanf(f, "P6 %d %d %d", &W, &H, &maxVal) == 3 && std::fgetc(f) != EOF && maxVal == 255 &&
                        W > 0 && H > 0 && (int64_t)W * H < ((int64_t)1 << 31);
    if (header) Pixels.resize((size_t)W * (size_t)H * 3);
    const bool ok = header && std::fread(Pixels.data(), 1, Pixels.size(), f) == Pixels.size();
    std::fclose(f);
    return ok;
}

int PSNR(const std::string& A, const std::string& B) {
    int32_t wa, ha, wb, hb;
    std::vector<uint8_t> a, b;
    if (!ReadPPM(A, wa, ha, a) || !ReadPPM(B, wb, hb, b) || wa != wb || ha != hb) {
        std::fprintf(stderr, "cannot compare %s and %s\n", A.c_str(), B.c_str());
        return 1;
    }
    double squares = 0;
    for (size_t i = 0; i < a.size(); ++i) squares += (double)(a[i] - b[i]) * (a[i] - b[i]);
    const double mse = squares / (double)a.size();
    std::printf("psnr %s %.3f\n", B.c_str(), mse == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 / mse));
    return 0;
}

int Quantize(const std::string& Dir, int32_t W, int32_t H) {
    TIEBitmap rgb(W, H, ie24RGB);
    Fill24(rgb);
    if (!WriteFile(Dir + "/quant.ppm", PNMHeader("P6", W, H, true), rgb, 3 * (size_t)W, SwapRow)) return 1;
    // With the automatic NeuQuant sampling, then learning from every pixel (quality 100).
    for (const int32_t quality : {-1, 100}) {
        IENeuQuantQuality = quality;
        TIEBitmap indexed(W, H, ie8p);
        const double ms = Milliseconds([&] { indexed.ConvertFrom(&rgb); }, 1);
        indexed.SetPixelFormat(ie24RGB);
        const std::string name = quality == -1 ? "ours256" : "ours256q100";
        if (!WriteFile(Dir + "/" + name + ".ppm", PNMHeader("P6", W, H, true), indexed, 3 * (size_t)W, SwapRow)) return 1;
        std::printf("time %s %.3f\n", name.c_str(), ms);
    }
    IENeuQuantQuality = -1;
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    IEStaticInitialize();
    const std::string mode = argc > 1 ? argv[1] : "";
    const int32_t w = argc > 4 ? std::atoi(argv[3]) : 6000, h = argc > 4 ? std::atoi(argv[4]) : 4000;
    if (mode == "convert" && argc > 2) return Convert(argv[2], w, h);
    if (mode == "quantize" && argc > 2) return Quantize(argv[2], w, h);
    if (mode == "psnr" && argc > 3) return PSNR(argv[2], argv[3]);
    std::fprintf(stderr, "usage: bench_image_convert convert|quantize DIR [W H] | psnr A.ppm B.ppm\n");
    return 2;
}
