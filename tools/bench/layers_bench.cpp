// Layer composition benchmark (not a test; Windows build, run under Wine): a 1920 x 1080 view with
// ten layers of 1920 x 1080, each at 50 % opacity, composed into the back buffer through the whole
// pipeline, best of 3. The time of pixman's OVER composite of the same ten layers, measured
// natively by bench_layers_pixman, comes as the first argument; prints a table and the line
// "ratio layers_compose_vs_pixman: X.XX" (ours divided by pixman's; the goal is at most 1.5).
#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "BenchPhoto.h"
#include "LayersBench.h"
#include "iebitmap.h"
#include "picturaview.h"
#include "picturaview_control.h"

using namespace benchphoto;

int main(int argc, char** argv) {
    IEPicturaViewInitialize();
    TPicturaView view(nullptr);
    view.SetOffScreen(true);
    view.SetBorderStyle(bsNone);
    view.SetScrollBars(ssNone);
    view.SetBounds(0, 0, layersbench::kWidth, layersbench::kHeight);
    for (int i = 0; i < layersbench::kLayers; ++i) {
        if (i > 0) view.AddLayer();
        TIEBitmap* b = view.GetIEBitmap();
        b->Allocate(layersbench::kWidth, layersbench::kHeight, ie24RGB);
        for (int y = 0; y < layersbench::kHeight; ++y) layersbench::FillRow(b->GetScanline(y), y, i);
        view.GetLayer(i)->Transparency = 128;
    }
    view.GetLayer(0)->Transparency = 255;
    view.Update();
    const double ours = BestMs([&] {
        view.SetBackBufferDirty();
        view.PresentBackBuffer(RECT{0, 0, layersbench::kWidth, layersbench::kHeight});
    });
    const double pixman = argc > 1 ? std::atof(argv[1]) : 0.0;
    std::printf("%d layers of %dx%d at 50%% opacity, best of %d\n", layersbench::kLayers, layersbench::kWidth,
                layersbench::kHeight, kRuns);
    std::printf("%-22s %10s %12s\n", "", "ours ms", "pixman ms");
    std::printf("%-22s %10.1f %12.1f\n", "compose into buffer", ours, pixman);
    if (pixman > 0) std::printf("ratio layers_compose_vs_pixman: %.2f\n", ours / pixman);
    IEPicturaViewFinalize();
    return 0;
}
