// Drawing helpers of the views and dialogs that need no windowing system: the bell curve of the
// dialog backgrounds, the striped and brushed-metal backgrounds and the soft shadow drawn into an
// image buffer, and the viewer's scroll-bar and mouse-wheel settings. The wrappers that take a
// system bitmap or a drawing surface are in iecoreutils_vcl.h (Windows build).
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

class TIEBitmap;

// The viewer's scroll-bar settings: steps of -1 are the viewer's defaults.
struct TIEScrollBarParams {
    int32_t LineStep = -1;
    int32_t PageStep = -1;
    bool Tracking = true;
};

// The viewer's mouse-wheel settings. Action: 0 none, 1 scroll, 2 zoom. Variation: 0 absolute,
// 1 percent.
struct TIEMouseWheelParams {
    bool InverseDirection = false;
    uint8_t Action = 2;
    uint8_t Variation = 1;
    int32_t Value = 8;
    uint8_t ZoomPosition = 0;
};

// Count values of a bell over x = 2i/Count - 1: exp(-S^2 x^2 / 2) scaled so that its peak is High
// and zero is Low. Values is resized to Count (empty for Count <= 0).
void IEBellCurve(int32_t Count, int32_t Low, int32_t High, double S, std::vector<double>& Values);

// Horizontal grey stripes repeating every 4 rows (240, 251, 255, 251) over the whole ie24RGB
// Bitmap.
void IEFillStripes(TIEBitmap* Bitmap);
// Brushed metal over the whole ie24RGB Bitmap: column greys of a bell from 160 to 208 plus streaks
// whose offset (0..10) changes at random points. Random(N) gives a number 0..N-1; without one the
// library's generator is used.
void IEFillBrushedMetal(TIEBitmap* Bitmap, const std::function<int32_t(int32_t)>& Random = nullptr);
// Darkens a blurred 5-pixel border outside the rectangle X1..X2 x Y1..Y2 of the ie24RGB Bitmap.
void IEApplySoftShadow(TIEBitmap* Bitmap, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2);
