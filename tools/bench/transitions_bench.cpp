// Transition benchmark (not a test; Windows build, run under Wine): every effect of the player,
// 1 to 227, drawn at 10 progress points on a 1920 x 1080 frame and copied to a view's bitmap, as a
// timer tick does. Prints the slowest frame of each effect over 10 ms, the slowest effect, the
// median of the effects' slowest frames, and "ratio NAME: X.XX" lines: the cross-fade's frame
// divided by a plain BitBlt of the frame (goal at most 2), and the slowest frame divided by 10 ms
// (goal at most 1: Wine's timers tick about every 10 ms, so a slower frame drops steps). Wine's
// HALFTONE StretchBlt is timed beside them, as most stretching effects spend their time there.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "iebitmap.h"
#include "ieXtraTransitions.h"
#include "ieXtraTransitions_moving.h"
#include "picturaproc_transitions.h"

namespace {

constexpr int kW = 1920, kH = 1080, kPoints = 10;

// A view that is a bitmap.
class TBenchView : public TIETransitionView {
public:
    TBenchView() {
        Screen.SetPixelFormat(pf24bit);
        Screen.SetSize(kW, kH);
    }
    TObject* GetTransitionSender() override { return &Sender; }
    TCanvas* GetTransitionCanvas() override { return Screen.Canvas(); }
    int32_t GetTransitionClientWidth() override { return kW; }
    int32_t GetTransitionClientHeight() override { return kH; }
    TIEBitmap* GetTransitionBitmap() override { return Image; }
    void TransitionHoldPaint() override {}
    void TransitionReleasePaintNoUpdate() override {}
    void TransitionUpdate() override {}
    bool TransitionDrawBackground(TCanvas*) override { return false; }

    TObject Sender;
    TBitmap Screen;
    TIEBitmap* Image = nullptr;
};

// A picture with some structure: two crossing gradients, shifted by Seed.
void MakePicture(TBitmap& B, int Seed) {
    B.SetPixelFormat(pf24bit);
    B.SetSize(kW, kH);
    for (int y = 0; y < kH; ++y) {
        uint8_t* row = (uint8_t*)B.ScanLine(y);
        for (int x = 0; x < kW; ++x) {
            row[3 * x] = (uint8_t)(x + Seed);
            row[3 * x + 1] = (uint8_t)(y * 2 + Seed);
            row[3 * x + 2] = (uint8_t)((x ^ y) + Seed);
        }
    }
}

// The effect's display name in UTF-8 ("Pan Zoom" for the player's own 227).
std::string EffectName(int Effect) {
    const TEffect* entry = IEExtraEffect(Effect);
    char name[64] = "Pan Zoom";
    if (entry) WideCharToMultiByte(CP_UTF8, 0, entry->Name, -1, name, sizeof name, nullptr, nullptr);
    return name;
}

double Ms(std::chrono::steady_clock::time_point T0) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - T0).count();
}

}  // namespace

int main() {
    TBenchView view;
    TBitmap oldPicture, newPicture;
    MakePicture(oldPicture, 0);
    MakePicture(newPicture, 97);
    TIEBitmap panImage;
    panImage.Allocate(kW * 2, kH * 2, ie24RGB);
    panImage.Fill(0x785028);
    view.Image = &panImage;

    // The copy of a frame to the view, the part of every tick that no effect avoids.
    double bitBlt = 1e30;
    for (int i = 0; i < 5; ++i) {
        const auto t0 = std::chrono::steady_clock::now();
        BitBlt(view.Screen.Canvas()->Handle(), 0, 0, kW, kH, newPicture.Canvas()->Handle(), 0, 0, SRCCOPY);
        GdiFlush();
        bitBlt = std::min(bitBlt, Ms(t0));
    }

    // Wine's stretch in the two modes, halving the frame's height as many expand effects do midway:
    // the effects that stretch spend their time here.
    double stretch[2] = {1e30, 1e30};
    for (int mode = 0; mode < 2; ++mode) {
        HDC dc = view.Screen.Canvas()->Handle();
        SetStretchBltMode(dc, mode == 0 ? HALFTONE : COLORONCOLOR);
        SetBrushOrgEx(dc, 0, 0, nullptr);
        for (int i = 0; i < 3; ++i) {
            const auto t0 = std::chrono::steady_clock::now();
            StretchBlt(dc, 0, 0, kW, kH / 2, newPicture.Canvas()->Handle(), 0, 0, kW, kH, SRCCOPY);
            GdiFlush();
            stretch[mode] = std::min(stretch[mode], Ms(t0));
        }
    }

    // Our parallelogram copy of the whole frame onto a slightly sheared parallelogram, as the twists do.
    double plg = 1e30;
    for (int i = 0; i < 3; ++i) {
        const POINT points[3] = {{40, 20}, {kW, 0}, {0, kH}};
        const auto t0 = std::chrono::steady_clock::now();
        IEPlgBlt(view.Screen.Canvas()->Handle(), points, &newPicture, 0, 0, kW, kH);
        GdiFlush();
        plg = std::min(plg, Ms(t0));
    }

    std::vector<std::pair<double, int>> slowest;   // per effect: its slowest frame
    double crossFade = 1e30;
    std::printf("%-44s %10s\n", "effect (over 10 ms)", "slowest ms");
    for (int effect = 1; effect <= IEPanZoomEffect; ++effect) {
        TIETransitionEffects player(&view);
        player.StartRect = RECT{0, 0, kW * 2, kH * 2};
        player.EndRect = RECT{kW / 2, kH / 2, kW + kW / 2, kH + kH / 2};
        player.Run(&oldPicture, &newPicture, (uint8_t)effect, 1000);
        double worst = 0;
        for (int k = 0; k <= kPoints; ++k) {
            player.Step = k * 1024 / kPoints;
            player.FirstFrame = k == 0;
            const auto t0 = std::chrono::steady_clock::now();
            player.PaintFrame(view.Screen.Canvas());
            GdiFlush();
            const double ms = Ms(t0);
            if (k > 0) worst = std::max(worst, ms);
            if (effect == 1 && k > 0) crossFade = std::min(crossFade, ms);
        }
        player.Stop();
        slowest.push_back({worst, effect});
        if (worst > 10) std::printf("%3d %-40s %10.2f\n", effect, EffectName(effect).c_str(), worst);
    }
    std::sort(slowest.begin(), slowest.end());
    const double median = slowest[slowest.size() / 2].first;
    std::printf("plain BitBlt of the frame: %.2f ms\n", bitBlt);
    std::printf("cross-fade frame: %.2f ms\n", crossFade);
    std::printf("StretchBlt of the frame to half its height: HALFTONE %.2f ms, COLORONCOLOR %.2f ms\n", stretch[0],
                stretch[1]);
    std::printf("slowest effect: %d %s, %.2f ms; median of the effects' slowest frames: %.2f ms\n",
                slowest.back().second, EffectName(slowest.back().second).c_str(), slowest.back().first, median);
    std::printf("ratio crossfade_vs_bitblt: %.2f\n", crossFade / bitBlt);
    std::printf("parallelogram copy of the frame: %.2f ms\n", plg);
    std::printf("ratio parallelogram_vs_bitblt: %.2f\n", plg / bitBlt);
    std::printf("ratio halftone_stretch_vs_bitblt: %.2f\n", stretch[0] / bitBlt);
    std::printf("ratio slowest_frame_vs_10ms: %.2f\n", slowest.back().first / 10);
    std::printf("ratio median_frame_vs_10ms: %.2f\n", median / 10);
    return 0;
}
