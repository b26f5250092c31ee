#include "iegdiplus_canvas.h"

#include <algorithm>
#include <cmath>

#include "SysUtils.h"
#include "WinApi.h"
#include "iecoreutils_general.h"
#include "iecoreutils_geometry.h"

bool IEUseGdiPlus = false;
std::wstring IEGdiPlusLibraryName = L"gdiplus.dll";

namespace {

// ---- The flat interface ---------------------------------------------------------------------

typedef int GpStatus;   // 0 = Ok
typedef void GpGraphics;
typedef void GpPen;
typedef void GpBrush;
typedef void GpPath;
typedef void GpMatrix;
struct GpPoint {
    int32_t X, Y;
};
struct GdiplusStartupInput {
    uint32_t GdiplusVersion;
    void* DebugEventCallback;
    BOOL SuppressBackgroundThread;
    BOOL SuppressExternalCodecs;
};

constexpr int kUnitPixel = 2;
constexpr int kFillModeAlternate = 0;

struct TGdipApi {
    GpStatus(WINAPI* GdiplusStartup)(ULONG_PTR*, const GdiplusStartupInput*, void*);
    void(WINAPI* GdiplusShutdown)(ULONG_PTR);
    GpStatus(WINAPI* GdipCreateFromHDC)(HDC, GpGraphics**);
    GpStatus(WINAPI* GdipDeleteGraphics)(GpGraphics*);
    GpStatus(WINAPI* GdipCreatePen1)(uint32_t, float, int, GpPen**);
    GpStatus(WINAPI* GdipDeletePen)(GpPen*);
    GpStatus(WINAPI* GdipDrawLine)(GpGraphics*, GpPen*, float, float, float, float);
    GpStatus(WINAPI* GdipSetSmoothingMode)(GpGraphics*, int);
    GpStatus(WINAPI* GdipSetPenWidth)(GpPen*, float);
    GpStatus(WINAPI* GdipSetPenColor)(GpPen*, uint32_t);
    GpStatus(WINAPI* GdipSetPenDashStyle)(GpPen*, int);
    GpStatus(WINAPI* GdipSetPenDashArray)(GpPen*, const float*, int);
    GpStatus(WINAPI* GdipDeleteBrush)(GpBrush*);
    GpStatus(WINAPI* GdipCreateSolidFill)(uint32_t, GpBrush**);
    GpStatus(WINAPI* GdipFillRectangle)(GpGraphics*, GpBrush*, float, float, float, float);
    GpStatus(WINAPI* GdipDrawRectangle)(GpGraphics*, GpPen*, float, float, float, float);
    GpStatus(WINAPI* GdipCreateHatchBrush)(int, uint32_t, uint32_t, GpBrush**);
    GpStatus(WINAPI* GdipDrawEllipse)(GpGraphics*, GpPen*, float, float, float, float);
    GpStatus(WINAPI* GdipFillEllipse)(GpGraphics*, GpBrush*, float, float, float, float);
    GpStatus(WINAPI* GdipDrawPolygonI)(GpGraphics*, GpPen*, const GpPoint*, int);
    GpStatus(WINAPI* GdipFillPolygonI)(GpGraphics*, GpBrush*, const GpPoint*, int, int);
    GpStatus(WINAPI* GdipDrawLinesI)(GpGraphics*, GpPen*, const GpPoint*, int);
    GpStatus(WINAPI* GdipDrawArc)(GpGraphics*, GpPen*, float, float, float, float, float, float);
    GpStatus(WINAPI* GdipCreatePath)(int, GpPath**);
    GpStatus(WINAPI* GdipAddPathArc)(GpPath*, float, float, float, float, float, float);
    GpStatus(WINAPI* GdipDrawPath)(GpGraphics*, GpPen*, GpPath*);
    GpStatus(WINAPI* GdipFillPath)(GpGraphics*, GpBrush*, GpPath*);
    GpStatus(WINAPI* GdipDeletePath)(GpPath*);
    GpStatus(WINAPI* GdipAddPathLine)(GpPath*, float, float, float, float);
    GpStatus(WINAPI* GdipSetPenLineJoin)(GpPen*, int);
    GpStatus(WINAPI* GdipSetWorldTransform)(GpGraphics*, GpMatrix*);
    GpStatus(WINAPI* GdipGetWorldTransform)(GpGraphics*, GpMatrix*);
    GpStatus(WINAPI* GdipResetWorldTransform)(GpGraphics*);
    GpStatus(WINAPI* GdipCreateMatrix)(GpMatrix**);
    GpStatus(WINAPI* GdipCreateMatrix2)(float, float, float, float, float, float, GpMatrix**);
    GpStatus(WINAPI* GdipDeleteMatrix)(GpMatrix*);
    GpStatus(WINAPI* GdipGetDC)(GpGraphics*, HDC*);
    GpStatus(WINAPI* GdipReleaseDC)(GpGraphics*, HDC);
    GpStatus(WINAPI* GdipFlush)(GpGraphics*, int);
    GpStatus(WINAPI* GdipRotateWorldTransform)(GpGraphics*, float, int);
    GpStatus(WINAPI* GdipTranslateWorldTransform)(GpGraphics*, float, float, int);
    GpStatus(WINAPI* GdipScaleWorldTransform)(GpGraphics*, float, float, int);
};

// The entries in the order they are resolved, each with its slot in TGdipApi.
TGdipApi gApi{};
#define KW_GDIP_ENTRY(name) {#name, reinterpret_cast<void**>(&gApi.name)}
const struct {
    const char* Name;
    void** Slot;
} kEntries[] = {
    KW_GDIP_ENTRY(GdiplusStartup), KW_GDIP_ENTRY(GdiplusShutdown), KW_GDIP_ENTRY(GdipCreateFromHDC),
    KW_GDIP_ENTRY(GdipDeleteGraphics), KW_GDIP_ENTRY(GdipCreatePen1), KW_GDIP_ENTRY(GdipDeletePen),
    KW_GDIP_ENTRY(GdipDrawLine), KW_GDIP_ENTRY(GdipSetSmoothingMode), KW_GDIP_ENTRY(GdipSetPenWidth),
    KW_GDIP_ENTRY(GdipSetPenColor), KW_GDIP_ENTRY(GdipSetPenDashStyle), KW_GDIP_ENTRY(GdipSetPenDashArray),
    KW_GDIP_ENTRY(GdipDeleteBrush), KW_GDIP_ENTRY(GdipCreateSolidFill), KW_GDIP_ENTRY(GdipFillRectangle),
    KW_GDIP_ENTRY(GdipDrawRectangle), KW_GDIP_ENTRY(GdipCreateHatchBrush), KW_GDIP_ENTRY(GdipDrawEllipse),
    KW_GDIP_ENTRY(GdipFillEllipse), KW_GDIP_ENTRY(GdipDrawPolygonI), KW_GDIP_ENTRY(GdipFillPolygonI),
    KW_GDIP_ENTRY(GdipDrawLinesI), KW_GDIP_ENTRY(GdipDrawArc), KW_GDIP_ENTRY(GdipCreatePath),
    KW_GDIP_ENTRY(GdipAddPathArc), KW_GDIP_ENTRY(GdipDrawPath), KW_GDIP_ENTRY(GdipFillPath),
    KW_GDIP_ENTRY(GdipDeletePath), KW_GDIP_ENTRY(GdipAddPathLine), KW_GDIP_ENTRY(GdipSetPenLineJoin),
    KW_GDIP_ENTRY(GdipSetWorldTransform), KW_GDIP_ENTRY(GdipGetWorldTransform),
    KW_GDIP_ENTRY(GdipResetWorldTransform), KW_GDIP_ENTRY(GdipCreateMatrix), KW_GDIP_ENTRY(GdipCreateMatrix2),
    KW_GDIP_ENTRY(GdipDeleteMatrix), KW_GDIP_ENTRY(GdipGetDC), KW_GDIP_ENTRY(GdipReleaseDC),
    KW_GDIP_ENTRY(GdipFlush), KW_GDIP_ENTRY(GdipRotateWorldTransform), KW_GDIP_ENTRY(GdipTranslateWorldTransform),
    KW_GDIP_ENTRY(GdipScaleWorldTransform),
};
#undef KW_GDIP_ENTRY
static_assert(sizeof(kEntries) / sizeof(kEntries[0]) == 42, "the flat interface has 42 entries");

HMODULE gLibrary = nullptr;
ULONG_PTR gToken = 0;
GdiplusStartupInput gStartupInput{};
int32_t gAcquireCount = 0;

void Unload() {
    if (!gLibrary) return;
    if (gToken && gApi.GdiplusShutdown) gApi.GdiplusShutdown(gToken);
    gToken = 0;
    FreeLibrary(gLibrary);
    gLibrary = nullptr;
    gApi = TGdipApi{};
}

}   // namespace

// ---- Loading --------------------------------------------------------------------------------

void IEGdiPlusAcquire() {
    ++gAcquireCount;
    if (!IEUseGdiPlus || gLibrary) return;
    gLibrary = LoadLibraryW(IEGdiPlusLibraryName.c_str());
    if (!gLibrary) return;
    bool complete = true;
    for (const auto& entry : kEntries) {
        *entry.Slot = reinterpret_cast<void*>(GetProcAddress(gLibrary, entry.Name));
        complete = complete && *entry.Slot;
    }
    // A library without one of the entries is unusable: calling through a missing entry would crash.
    if (!complete) {
        Unload();
        return;
    }
    gStartupInput = GdiplusStartupInput{1, nullptr, FALSE, FALSE};
    if (gApi.GdiplusStartup(&gToken, &gStartupInput, nullptr) != 0) {
        gToken = 0;
        IEGdiPlusRelease();
        // Earlier acquires (made while nothing could be loaded) keep the count above 0; a library
        // that did not start is unloaded all the same, or drawing would call into it.
        Unload();
    }
}

void IEGdiPlusRelease() {
    if (gAcquireCount > 0) --gAcquireCount;
    if (gLibrary && gAcquireCount == 0) Unload();
}

bool IEGdiPlusLoaded() { return gLibrary != nullptr; }
bool IEGdiPlusEnabled() { return IEUseGdiPlus && gLibrary != nullptr; }
int32_t IEGdiPlusAcquireCount() { return gAcquireCount; }

void IEGdiPlusResetState() {
    Unload();
    IEUseGdiPlus = true;
    gAcquireCount = 0;
}

// ---- TIEPen ---------------------------------------------------------------------------------

TIEPen::TIEPen(TPen* Pen)
    : FPen(Pen), FColor(Pen->Color()), FWidth(static_cast<float>(Pen->Width())), FStyle(Pen->Style()) {
    if (IEGdiPlusEnabled()) CreateGdipPen();
}

TIEPen::~TIEPen() {
    if (FGdipPen && IEGdiPlusEnabled()) gApi.GdipDeletePen(FGdipPen);
}

uint32_t TIEPen::GetGdipColor() const {
    return IEColorToARGB(FColor, FStyle == psClear ? 0 : static_cast<uint8_t>(FAlpha));
}

void TIEPen::CreateGdipPen() {
    if (FGdipPen) gApi.GdipDeletePen(FGdipPen);
    FGdipPen = nullptr;
    if (gApi.GdipCreatePen1(GetGdipColor(), FWidth, kUnitPixel, &FGdipPen) != 0 || !FGdipPen) {
        FGdipPen = nullptr;
        throw Exception(L"Cannot create TIEPen. GdipCreatePen1 failed.");
    }
    SetStyle(FStyle);
    SetLineJoin(FLineJoin);
}

void TIEPen::SetColor(TColor Value) {
    FColor = Value;
    if (FGdipPen && IEGdiPlusEnabled()) gApi.GdipSetPenColor(FGdipPen, GetGdipColor());
    FPen->SetColor(Value);
}

void TIEPen::SetAlpha(int32_t Value) {
    FAlpha = IEClampByte(Value);
    if (FGdipPen && IEGdiPlusEnabled()) gApi.GdipSetPenColor(FGdipPen, GetGdipColor());
}

void TIEPen::SetWidth(float Value) {
    FWidth = Value;
    if (FGdipPen && IEGdiPlusEnabled()) gApi.GdipSetPenWidth(FGdipPen, Value);
    FPen->SetWidth(static_cast<int32_t>(Value));
}

void TIEPen::SetStyle(TPenStyle Value) {
    FStyle = Value;
    if (FGdipPen && IEGdiPlusEnabled()) {
        gApi.GdipSetPenColor(FGdipPen, GetGdipColor());
        // GDI+ dash styles: solid 0, dash 1, dot 2, dash-dot 3, dash-dot-dot 4.
        const int dash = (Value == psClear || Value == psInsideFrame) ? 0 : static_cast<int>(Value);
        gApi.GdipSetPenDashStyle(FGdipPen, dash);
    }
    FPen->SetStyle(Value);
}

void TIEPen::SetMode(TPenMode Value) {
    if (Value >= pmBlack && Value <= pmNotXor) FMode = Value;
}

void TIEPen::SetLineJoin(uint8_t Value) {
    FLineJoin = Value;
    if (FGdipPen && IEGdiPlusEnabled()) gApi.GdipSetPenLineJoin(FGdipPen, Value);
}

void TIEPen::ApplyMode(HDC DC) const {
    static const int kRasterOps[16] = {
        R2_BLACK,       R2_WHITE,      R2_NOP,        R2_NOT,     R2_COPYPEN,    R2_NOTCOPYPEN,
        R2_MERGEPENNOT, R2_MASKPENNOT, R2_MERGENOTPEN, R2_MASKNOTPEN, R2_MERGEPEN, R2_NOTMERGEPEN,
        R2_MASKPEN,     R2_NOTMASKPEN, R2_XORPEN,     R2_NOTXORPEN,
    };
    SetROP2(DC, kRasterOps[FMode]);
}

// ---- TIEBrush -------------------------------------------------------------------------------

TIEBrush::TIEBrush(TBrush* Brush) : FBrush(Brush), FColor(Brush->Color()), FStyle(Brush->Style()) {
    if (IEGdiPlusEnabled()) CreateGdipBrush();
}

TIEBrush::~TIEBrush() {
    if (FGdipBrush && IEGdiPlusEnabled()) gApi.GdipDeleteBrush(FGdipBrush);
}

uint32_t TIEBrush::GetGdipColor() const {
    return IEColorToARGB(FColor, FStyle == bsClear ? 0 : static_cast<uint8_t>(FAlpha));
}

void TIEBrush::CreateGdipBrush() {
    if (FGdipBrush) gApi.GdipDeleteBrush(FGdipBrush);
    FGdipBrush = nullptr;
    if (FStyle == bsSolid || FStyle == bsClear) {
        if (gApi.GdipCreateSolidFill(GetGdipColor(), &FGdipBrush) != 0 || !FGdipBrush) {
            FGdipBrush = nullptr;
            throw Exception(L"Cannot create TIEBrush. GdipCreateSolidFill failed.");
        }
    } else if (FStyle >= bsHorizontal && FStyle <= bsDiagCross) {
        const uint32_t back = IEColorToARGB(BackColor, static_cast<uint8_t>(IEClampByte(BackAlpha)));
        if (gApi.GdipCreateHatchBrush(static_cast<int>(FStyle) - 2, GetGdipColor(), back, &FGdipBrush) != 0 ||
            !FGdipBrush) {
            FGdipBrush = nullptr;
            throw Exception(L"Cannot create TIEBrush. GdipCreateHatchBrush failed.");
        }
    }
}

void TIEBrush::SetColor(TColor Value) {
    FColor = Value;
    if (IEGdiPlusEnabled()) CreateGdipBrush();
    FBrush->SetColor(Value);
}

void TIEBrush::SetAlpha(int32_t Value) {
    FAlpha = IEClampByte(Value);
    if (IEGdiPlusEnabled()) CreateGdipBrush();
}

void TIEBrush::SetStyle(TBrushStyle Value) {
    FStyle = Value;
    if (IEGdiPlusEnabled()) CreateGdipBrush();
    FBrush->SetStyle(Value);
}

// ---- TIECanvas ------------------------------------------------------------------------------

TIECanvas::TIECanvas(TCanvas& Canvas, bool UseGdiPlus, bool AntiAlias)
    : FCanvas(Canvas),
      FPen(std::make_unique<TIEPen>(Canvas.Pen())),
      FBrush(std::make_unique<TIEBrush>(Canvas.Brush())),
      FUseGdiPlus(UseGdiPlus && IEGdiPlusEnabled()) {
    if (FUseGdiPlus) {
        if (gApi.GdipCreateFromHDC(Canvas.Handle(), &FGraphics) != 0 || !FGraphics) {
            FGraphics = nullptr;
            FBrush.reset();
            FPen.reset();
            throw Exception(L"Cannot create TIECanvas. GdipCreateFromHDC failed.");
        }
    }
    SetSmoothingMode(AntiAlias ? kIESmoothingAntiAlias : kIESmoothingHighSpeed);
}

TIECanvas::~TIECanvas() {
    FBrush.reset();
    FPen.reset();
    if (FGraphics && IEGdiPlusEnabled()) gApi.GdipDeleteGraphics(FGraphics);
}

void TIECanvas::SetSmoothingMode(uint8_t Mode) {
    if (Gdip()) gApi.GdipSetSmoothingMode(FGraphics, static_cast<int>(Mode) - 1);
}

void TIECanvas::MoveTo(int32_t X, int32_t Y) {
    FX = X;
    FY = Y;
    if (!Gdip()) FCanvas.MoveTo(X, Y);
}

void TIECanvas::LineTo(int32_t X, int32_t Y) {
    if (Gdip()) {
        gApi.GdipDrawLine(FGraphics, FPen->GdipHandle(), (float)FX, (float)FY, (float)X, (float)Y);
        FX = X;
        FY = Y;
        return;
    }
    FPen->ApplyMode(FCanvas.Handle());
    FCanvas.LineTo(X, Y);
    FX = X;
    FY = Y;
}

void TIECanvas::DrawLine(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
    if (Gdip()) {
        gApi.GdipDrawLine(FGraphics, FPen->GdipHandle(), (float)X1, (float)Y1, (float)X2, (float)Y2);
        return;
    }
    Polygon({POINT{X1, Y1}, POINT{X2, Y2}});
}

void TIECanvas::FillRect(const RECT& Rect) {
    // Corners in any order, on both roads.
    int32_t l = Rect.left, t = Rect.top, r = Rect.right, b = Rect.bottom;
    IEOrderCorners(l, t, r, b);
    if (!Gdip()) {
        FCanvas.FillRect(RECT{l, t, r, b});
        return;
    }
    if (FBrush->GdipHandle())
        gApi.GdipFillRectangle(FGraphics, FBrush->GdipHandle(), (float)l, (float)t, (float)(r - l - 1), (float)(b - t - 1));
}

void TIECanvas::RectangleRect(const RECT& Rect) {
    if (!Gdip()) {
        FPen->ApplyMode(FCanvas.Handle());
        FCanvas.Rectangle(Rect);
        return;
    }
    int32_t l = Rect.left, t = Rect.top, r = Rect.right, b = Rect.bottom;
    IEOrderCorners(l, t, r, b);
    const float w = (float)(r - l - 1), h = (float)(b - t - 1);
    if (FBrush->GdipHandle()) gApi.GdipFillRectangle(FGraphics, FBrush->GdipHandle(), (float)l, (float)t, w, h);
    gApi.GdipDrawRectangle(FGraphics, FPen->GdipHandle(), (float)l, (float)t, w, h);
}

RECT TIECanvas::AdjustEllipseRect(RECT Rect, float Width) {
    if (Width == 1.0f) return Rect;
    const int32_t e = static_cast<int32_t>(std::nearbyint(Width / 2.0f));
    auto& L = Rect.left;
    auto& T = Rect.top;
    auto& R = Rect.right;
    auto& B = Rect.bottom;
    if (L > R) L += e;
    if (L <= R && e >= R - L - 1) R = L + e;
    if (L > R && e >= L - R - 1) R = L - e;
    if (T > B) T += e;
    if (B >= T && e >= B - T - 1) B = T + e;
    if (T > B && e >= T - B - 1) B = T - e;
    if (L == R - e) L -= e;
    if (T == B - e) T -= e;
    if (L == R) {
        L -= e + 1;
        B -= e + 1;
    }
    if (T == B) {
        T -= e + 1;
        B -= e + 1;
    }
    if (L > R) {
        L -= e;
        R -= e - 1;
    }
    return Rect;
}

void TIECanvas::EllipseRect(const RECT& Rect) {
    if (!Gdip()) {
        FPen->ApplyMode(FCanvas.Handle());
        FCanvas.Ellipse(Rect.left, Rect.top, Rect.right, Rect.bottom);
        return;
    }
    const RECT r = AdjustEllipseRect(Rect, FPen->GetWidth());
    const float x = (float)r.left, y = (float)r.top, w = (float)(r.right - r.left - 1), h = (float)(r.bottom - r.top - 1);
    if (FBrush->GdipHandle()) gApi.GdipFillEllipse(FGraphics, FBrush->GdipHandle(), x, y, w, h);
    gApi.GdipDrawEllipse(FGraphics, FPen->GdipHandle(), x, y, w, h);
}

namespace {

std::vector<GpPoint> ToGpPoints(const std::vector<POINT>& Points) {
    std::vector<GpPoint> out;
    out.reserve(Points.size());
    for (const POINT& p : Points) out.push_back(GpPoint{p.x, p.y});
    return out;
}

}   // namespace

void TIECanvas::Polygon(const std::vector<POINT>& Points) {
    if (Points.empty()) return;
    if (Gdip()) {
        const std::vector<GpPoint> pts = ToGpPoints(Points);
        gApi.GdipDrawPolygonI(FGraphics, FPen->GdipHandle(), pts.data(), (int)pts.size());
        if (FBrush->GdipHandle())
            gApi.GdipFillPolygonI(FGraphics, FBrush->GdipHandle(), pts.data(), (int)pts.size(), kFillModeAlternate);
        return;
    }
    HDC dc = FCanvas.Handle();
    FPen->ApplyMode(dc);
    ::Polygon(dc, Points.data(), (int)Points.size());
}

void TIECanvas::Polyline(const std::vector<POINT>& Points) {
    if (Points.empty()) return;
    if (Gdip()) {
        const std::vector<GpPoint> pts = ToGpPoints(Points);
        gApi.GdipDrawLinesI(FGraphics, FPen->GdipHandle(), pts.data(), (int)pts.size());
        return;
    }
    HDC dc = FCanvas.Handle();
    FPen->ApplyMode(dc);
    ::Polyline(dc, Points.data(), (int)Points.size());
}

void TIECanvas::Arc(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t X3, int32_t Y3, int32_t X4, int32_t Y4) {
    if (!Gdip()) {
        HDC dc = FCanvas.Handle();
        FPen->ApplyMode(dc);
        ::Arc(dc, X1, Y1, X2, Y2, X3, Y3, X4, Y4);
        return;
    }
    const int32_t cx = (X1 + X2) / 2, cy = (Y1 + Y2) / 2;
    constexpr double kDegrees = 180.0 / 3.14159265358979323846;
    const double start = -IEAngleOfSegment(cx, cy, X4, Y4) * kDegrees;
    const double sweep = IETriangleAngle(X3, Y3, cx, cy, X4, Y4) * kDegrees;
    gApi.GdipDrawArc(FGraphics, FPen->GdipHandle(), (float)X1, (float)Y1, (float)(X2 - X1 + 1), (float)(Y2 - Y1 + 1),
                     (float)start, (float)sweep);
}

void TIECanvas::RoundRect(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t X3, int32_t Y3) {
    if (!Gdip()) {
        HDC dc = FCanvas.Handle();
        FPen->ApplyMode(dc);
        ::RoundRect(dc, X1, Y1, X2, Y2, X3, Y3);
        return;
    }
    IEOrderCorners(X1, Y1, X2, Y2);
    X3 = std::min(X3, X2 - X1);
    Y3 = std::min(Y3, Y2 - Y1);
    GpPath* path = nullptr;
    if (gApi.GdipCreatePath(kFillModeAlternate, &path) != 0 || !path) return;
    const float w = (float)X3, h = (float)Y3;
    gApi.GdipAddPathArc(path, (float)X1, (float)Y1, w, h, 180, 90);
    gApi.GdipAddPathArc(path, (float)(X2 - X3), (float)Y1, w, h, 270, 90);
    gApi.GdipAddPathArc(path, (float)(X2 - X3), (float)(Y2 - Y3), w, h, 0, 90);
    gApi.GdipAddPathArc(path, (float)X1, (float)(Y2 - Y3), w, h, 90, 90);
    gApi.GdipAddPathLine(path, (float)X1, (float)(Y2 - Y3), (float)X1, (float)Y1 + (float)Y3 / 2);
    if (FBrush->GdipHandle()) gApi.GdipFillPath(FGraphics, FBrush->GdipHandle(), path);
    gApi.GdipDrawPath(FGraphics, FPen->GdipHandle(), path);
    gApi.GdipDeletePath(path);
}

void TIECanvas::TextRectClipped(const RECT& Rect, int32_t X, int32_t Y, const std::wstring& Text) {
    HDC dc = FCanvas.Handle();
    if ((TextFlags & ETO_RTLREADING) && (GetTextAlign(dc) & TA_RTLREADING)) X += FCanvas.TextWidth(Text) + 1;
    ExtTextOutW(dc, X, Y, TextFlags | ETO_CLIPPED, &Rect, Text.c_str(), (UINT)Text.size(), nullptr);
}
