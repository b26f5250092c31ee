// Rendering benchmark (not a test; Windows build, run under Wine): a 6000 x 4000 photo drawn
// scaled to 1920 x 1080 into a 24-bit bitmap, opaque and at 50% transparency over another
// picture, by the image buffer's renderer beside GDI in the same program: StretchDIBits in
// HALFTONE mode into a DIB section for the opaque row, AlphaBlend with a constant alpha of 128 for
// the transparent one. Best of 3 each. Prints a table and "ratio NAME: X.XX" lines (ours divided
// by GDI's; the goal is at most 1). Wine's HALFTONE does not average when shrinking, so both
// sides pick pixels; ours uses no resampling filter.
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "BenchPhoto.h"
#include "iebitmap.h"
#include "picturaproc_hooks.h"

using namespace benchphoto;

namespace {

constexpr int kOutWidth = 1920, kOutHeight = 1080;

// The header of a bottom-up 24-bit DIB of Width x Height.
BITMAPINFO Info24(int Width, int Height) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = Width;
    info.bmiHeader.biHeight = Height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    return info;
}

// A DIB section of Width x Height at 24 bits, bottom-up, its bits in Bits.
HBITMAP MakeSection(HDC Dc, int Width, int Height, void*& Bits) {
    const BITMAPINFO info = Info24(Width, Height);
    return CreateDIBSection(Dc, &info, DIB_RGB_COLORS, &Bits, nullptr, 0);
}

// The photo's rows copied into a bottom-up DIB section's bits (rows padded to 4 bytes).
void CopyIntoSection(TIEBitmap& B, void* Bits) {
    const size_t stride = ((size_t)B.GetWidth() * 3 + 3) & ~(size_t)3;
    for (int y = 0; y < B.GetHeight(); ++y)
        std::memcpy(static_cast<uint8_t*>(Bits) + (size_t)(B.GetHeight() - 1 - y) * stride, B.GetScanline(y),
                    (size_t)B.GetWidth() * 3);
}

}  // namespace

int main() {
    IEInstallPicturaProcHooks();   // the routines the buffer and the codecs reach through procedure variables
    TIEBitmap photo;
    MakePhoto(photo);
    TIEBitmap target;
    target.Allocate(kOutWidth, kOutHeight, ie24RGB);
    target.Fill(0x785028);   // a plain colour under the transparent drawing

    const double oursOpaque =
        BestMs([&] { photo.RenderToTIEBitmap(&target, 0, 0, kOutWidth, kOutHeight, 0, 0, kWidth, kHeight, 255, rfNone, 0); });
    const double oursHalf =
        BestMs([&] { photo.RenderToTIEBitmap(&target, 0, 0, kOutWidth, kOutHeight, 0, 0, kWidth, kHeight, 128, rfNone, 0); });

    HDC screen = GetDC(nullptr);
    HDC source = CreateCompatibleDC(screen), dest = CreateCompatibleDC(screen);
    void* sourceBits = nullptr;
    void* destBits = nullptr;
    HBITMAP sourceSection = MakeSection(screen, kWidth, kHeight, sourceBits);
    HBITMAP destSection = MakeSection(screen, kOutWidth, kOutHeight, destBits);
    if (!sourceSection || !destSection) {
        std::fprintf(stderr, "bench_render: cannot create the DIB sections\n");
        return 1;
    }
    CopyIntoSection(photo, sourceBits);
    SelectObject(source, sourceSection);
    SelectObject(dest, destSection);
    SetStretchBltMode(dest, HALFTONE);
    SetBrushOrgEx(dest, 0, 0, nullptr);
    const BITMAPINFO info = Info24(kWidth, kHeight);
    const double gdiOpaque = BestMs([&] {
        StretchDIBits(dest, 0, 0, kOutWidth, kOutHeight, 0, 0, kWidth, kHeight, sourceBits, &info, DIB_RGB_COLORS,
                      SRCCOPY);
        GdiFlush();
    });
    BLENDFUNCTION half{AC_SRC_OVER, 0, 128, 0};
    const double gdiHalf = BestMs([&] {
        AlphaBlend(dest, 0, 0, kOutWidth, kOutHeight, source, 0, 0, kWidth, kHeight, half);
        GdiFlush();
    });
    DeleteDC(source);
    DeleteDC(dest);
    DeleteObject(sourceSection);
    DeleteObject(destSection);
    ReleaseDC(nullptr, screen);

    std::printf("%dx%d photo drawn at %dx%d, best of %d\n", kWidth, kHeight, kOutWidth, kOutHeight, kRuns);
    std::printf("%-34s %10s %10s\n", "", "ours ms", "GDI ms");
    std::printf("%-34s %10.1f %10.1f\n", "opaque (GDI: StretchDIBits HALFTONE)", oursOpaque, gdiOpaque);
    std::printf("%-34s %10.1f %10.1f\n", "50% transparent (GDI: AlphaBlend)", oursHalf, gdiHalf);
    std::printf("\nratio render_opaque_vs_gdi: %.2f\n", oursOpaque / gdiOpaque);
    std::printf("ratio render_transparent_vs_gdi: %.2f\n", oursHalf / gdiHalf);
    return 0;
}
