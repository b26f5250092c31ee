// Marching-ants benchmark (not a test; Windows build, run under Wine): one animation step of the
// dashed outline of a 2,000-point lasso selection (a wavy ring about 1,600 pixels round) on a
// 1920 x 1080 view, drawn onto a memory bitmap of the view's size. Best of 3. Prints the tick time
// and "ratio selection_ants_tick_vs_5ms: X.XX" (the tick over 5 ms; the goal is below 1).
#include <windows.h>

#include <cmath>
#include <cstdio>

#include "BenchPhoto.h"
#include "Graphics.h"
#include "iebitmap.h"
#include "picturaview.h"
#include "picturaview_control.h"

using namespace benchphoto;

namespace {

constexpr int kViewWidth = 1920, kViewHeight = 1080, kPoints = 2000;

}  // namespace

int main() {
    IEPicturaViewInitialize();
    TPicturaView view(nullptr);
    view.SetOffScreen(true);
    view.SetBorderStyle(bsNone);
    view.SetScrollBars(ssNone);
    view.SetBounds(0, 0, kViewWidth, kViewHeight);
    view.GetIEBitmap()->Allocate(kViewWidth, kViewHeight, ie24RGB);
    view.GetIEBitmap()->Fill(0.0);
    view.Update();
    view.SetBackBufferDirty();
    view.PresentBackBuffer(RECT{0, 0, kViewWidth, kViewHeight});
    view.SetSelectionBase(iesbBitmap);
    for (int i = 0; i < kPoints; ++i) {
        const double a = 2 * 3.14159265358979 * i / kPoints;
        const double r = 420 + 40 * std::sin(a * 12);
        view.AddSelectionPointNoPaint(int32_t(960 + r * std::cos(a)), int32_t(540 + r * std::sin(a)));
    }
    TBitmap target;
    target.SetPixelFormat(pf24bit);
    target.SetSize(kViewWidth, kViewHeight);
    const double tick = BestMs([&] {
        view.DrawPolygonOutline(target.Canvas());
        GdiFlush();
    });
    std::printf("ants tick, %d-point lasso on %d x %d: %.2f ms (goal: under 5 ms)\n", kPoints, kViewWidth,
                kViewHeight, tick);
    std::printf("ratio selection_ants_tick_vs_5ms: %.2f\n", tick / 5.0);
    IEPicturaViewFinalize();
    return 0;
}
