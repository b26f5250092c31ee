// Viewer paint benchmark (not a test; Windows build, run under Wine): a 1920 x 1080 view showing a
// 6000 x 4000 photo at the fit zoom, at 100 % and at 400 %, repainted through the whole pipeline
// (update, composition of the back buffer, presentation), beside the renderer alone drawing the
// same rectangle into a 1920 x 1080 bitmap. The Xvfb screen is smaller than the view, so the
// presentation goes to a memory context of the view's size instead of the window (the same
// BitBlt). Best of 3 each. Prints a table and "ratio NAME: X.XX" lines (the view's repaint divided
// by the renderer's; the goal is at most 1.5) and the repaint time at 100 % (goal: under 16 ms).
#include <windows.h>

#include <cstdio>
#include <vector>

#include "BenchPhoto.h"
#include "iebitmap.h"
#include "picturaview.h"
#include "picturaview_control.h"

using namespace benchphoto;

namespace {

constexpr int kViewWidth = 1920, kViewHeight = 1080;

}  // namespace

int main() {
    IEPicturaViewInitialize();
    TPicturaView view(nullptr);
    view.SetOffScreen(true);
    view.SetBorderStyle(bsNone);
    view.SetScrollBars(ssNone);
    view.SetBounds(0, 0, kViewWidth, kViewHeight);
    {
        TIEBitmap photo;
        MakePhoto(photo);
        view.GetIEBitmap()->Assign(&photo);
    }
    view.Update();

    // The stand-in for the window: a memory context with a DIB section of the view's size.
    HDC screen = GetDC(nullptr);
    HDC memDc = CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader = {sizeof info.bmiHeader, kViewWidth, -kViewHeight, 1, 24, BI_RGB};
    void* bits = nullptr;
    HBITMAP section = CreateDIBSection(memDc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memDc, section);

    TIEBitmap target;
    target.Allocate(kViewWidth, kViewHeight, ie24RGB);

    std::printf("%-10s %12s %12s %8s\n", "zoom", "repaint ms", "render ms", "ratio");
    struct Case {
        const char* Name;
        double Zoom;
    } cases[] = {{"fit", 0}, {"100", 100}, {"400", 400}};
    double repaint100 = 0;
    std::vector<std::pair<const char*, double>> ratios;
    for (const Case& c : cases) {
        view.SetZoom(c.Zoom > 0 ? c.Zoom : view.GetOptimalZoom());
        int32_t mx, my;
        view.GetMaxViewOrigin(mx, my);
        view.SetViewOrigin(mx / 2, my / 2);
        const double repaint = BestMs([&] {
            view.SetBackBufferDirty();
            view.Update();
            view.PresentBackBuffer(RECT{0, 0, kViewWidth, kViewHeight});
            HDC src = view.GetBackBuffer()->Canvas()->Handle();
            BitBlt(memDc, 0, 0, kViewWidth, kViewHeight, src, 0, 0, SRCCOPY);
            GdiFlush();
        });
        const TIEViewGeometry& g = view.Geometry();
        std::vector<uint8_t*> rows;
        std::vector<int32_t> cols, rowMap;
        const double render = BestMs([&] {
            view.GetIEBitmap()->RenderToTIEBitmapEx(&target, rows, cols, rowMap, nullptr, g.OffsetX, g.OffsetY,
                                                    g.DrawWidth, g.DrawHeight, g.SrcX, g.SrcY, g.SrcWidth, g.SrcHeight,
                                                    true, false, 255, rfNone, true, 0);
        });
        std::printf("%-10s %12.2f %12.2f %8.2f\n", c.Name, repaint, render, repaint / render);
        ratios.push_back({c.Name, repaint / render});
        if (c.Zoom == 100) repaint100 = repaint;
    }
    for (auto& r : ratios) std::printf("ratio view_repaint_%s_vs_renderer: %.2f\n", r.first, r.second);
    std::printf("view repaint at 100 %%: %.2f ms (goal: under 16 ms)\n", repaint100);

    SelectObject(memDc, old);
    DeleteObject(section);
    DeleteDC(memDc);
    ReleaseDC(nullptr, screen);
    IEPicturaViewFinalize();
    return 0;
}
