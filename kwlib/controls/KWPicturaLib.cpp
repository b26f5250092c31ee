#include "KWPicturaLib.h"

#include <algorithm>
#include <cwchar>

#include "KWCommonLib.h"
#include "KWGdiObjects.h"
#include "KWLogger.h"
#include "iebitmap.h"
#include "picturaio.h"
#include "picturaio_params.h"
#include "picturaproc_component.h"

namespace {

// Locks a canvas for the duration of a drawing.
class TCanvasLock {
public:
    explicit TCanvasLock(TCanvas* ACanvas) : FCanvas(ACanvas) { FCanvas->Lock(); }
    ~TCanvasLock() { FCanvas->Unlock(); }
    TCanvasLock(const TCanvasLock&) = delete;
    TCanvasLock& operator=(const TCanvasLock&) = delete;

private:
    TCanvas* FCanvas;
};

int32_t RectWidth(const RECT& R) { return R.right - R.left; }
int32_t RectHeight(const RECT& R) { return R.bottom - R.top; }

// 0, 90, 180 or 270; any other angle is 0.
int32_t QuarterTurn(int32_t AAngle) { return AAngle < 0 || AAngle >= 360 || AAngle % 90 != 0 ? 0 : AAngle; }

// The vertical form of a face: a leading "@" unless it has one.
void MakeVerticalFace(LOGFONTW& AFont) {
    if (AFont.lfFaceName[0] == L'@') return;
    const std::wstring face = (L"@" + std::wstring(AFont.lfFaceName)).substr(0, LF_FACESIZE - 1);
    std::wcsncpy(AFont.lfFaceName, face.c_str(), LF_FACESIZE - 1);
    AFont.lfFaceName[LF_FACESIZE - 1] = 0;
}

// The font turned by -90 degrees in its vertical form.
void TurnForVertical(LOGFONTW& AFont) {
    AFont.lfEscapement = -900;
    AFont.lfOrientation = -900;
    MakeVerticalFace(AFont);
}

// Measures the record's text without drawing: AInfo.Rect (and the line extents of vertical text).
void MeasureText(HDC ADC, TFont* AFont, TieDrawTextInfo& AInfo, int32_t AAngle) {
    if (!AInfo.Vertical) {
        TSelect font(ADC, AFont->Handle());
        DrawTextW(ADC, AInfo.Text.c_str(), (int)AInfo.Text.size(), &AInfo.Rect, (UINT)AInfo.Flags);
    } else {
        SIZE size{0, 0};
        KWGetTextExtentLines(AInfo.Text, AFont->Handle(), true, AInfo.LineExtents, size);
        const RECT r = AInfo.Rect;
        RECT m;
        if (AInfo.Flags & DT_CENTER) m.left = r.left + (RectWidth(r) - size.cx) / 2;
        else if (AInfo.Flags & DT_RIGHT) m.left = r.right - size.cx;
        else m.left = r.left;
        m.right = m.left + size.cx;
        if (AInfo.Flags & DT_VCENTER) m.top = r.top + (RectHeight(r) - size.cy) / 2;
        else if (AInfo.Flags & DT_BOTTOM) m.top = r.bottom - size.cy;
        else m.top = r.top;
        m.bottom = m.top + size.cy;
        AInfo.Rect = m;
    }
    if (AAngle == 90 || AAngle == 270) {
        const int32_t w = RectWidth(AInfo.Rect), h = RectHeight(AInfo.Rect);
        AInfo.Rect.right = AInfo.Rect.left + h;
        AInfo.Rect.bottom = AInfo.Rect.top + w;
    }
}

// Draws the text (into the device context's path when APath) with the font selected: the lines of
// vertical text side by side from the left, each placed vertically by DT_VCENTER or DT_BOTTOM
// within R; horizontal text by DrawTextW with the record's flags.
void DrawTextLines(HDC ADC, const TieDrawTextInfo& AInfo, RECT R) {
    if (AInfo.Vertical) {
        SetTextAlign(ADC, TA_BOTTOM | TA_LEFT);
        int32_t x = R.left;
        for (const TKWLineExtent& line : AInfo.LineExtents) {
            int32_t y = R.top;
            if (AInfo.Flags & DT_VCENTER) y = R.top + (RectHeight(R) - line.Height) / 2;
            else if (AInfo.Flags & DT_BOTTOM) y = R.bottom - line.Height;
            TextOutW(ADC, x, y, line.Text.c_str(), (int)line.Text.size());
            x += line.Width;
        }
    } else {
        DrawTextW(ADC, AInfo.Text.c_str(), (int)AInfo.Text.size(), &R, (UINT)(AInfo.Flags & ~DT_CALCRECT));
    }
}

// One canvas of the work bitmap (colour or alpha) drawing the text in AColor; with an outline the
// text becomes a path that is stroked in AOutlineColor and filled in AColor.
void DrawOnCanvas(TCanvas* ACanvas, HFONT AFont, const TieDrawTextInfo& AInfo, const RECT& R, COLORREF AColor,
                  COLORREF AOutlineColor) {
    HDC dc = ACanvas->Handle();
    TSelect font(dc, AFont);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, AColor);
    if (AInfo.OutlineWidth <= 0) {
        DrawTextLines(dc, AInfo, R);
        return;
    }
    BeginPath(dc);
    DrawTextLines(dc, AInfo, R);
    EndPath(dc);
    TGdiObject<HPEN> pen(CreatePen(PS_SOLID, AInfo.OutlineWidth, AOutlineColor));
    TGdiObject<HBRUSH> brush(CreateSolidBrush(AColor));
    TSelect selPen(dc, pen.Get());
    TSelect selBrush(dc, brush.Get());
    StrokeAndFillPath(dc);
}

}  // namespace

bool KWRotateImage(TIEBitmap* ABitmap, int32_t AAngle) {
    if (!ABitmap || ABitmap->IsEmpty() || AAngle < 0 || AAngle > 360) return false;
    if (AAngle == 0) return true;
    // The image-processing component turns the bitmap (and its alpha channel) by the nearest
    // pixel, uncovered areas in its background colour (black) and transparent. A turned image that
    // cannot be allocated raises before the bitmap changes.
    TPicturaProc proc(nullptr);
    try {
        KWSetBitmapLocationBySize(ABitmap);
        proc.SetAttachedIEBitmap(ABitmap);
        proc.Rotate(AAngle, false, 0, -1);
        proc.SetAttachedIEBitmap(nullptr);
        return true;
    } catch (const Exception& e) {
        KWLog(L"KWRotateImage", L"Exception:" + e.Message(), 3);
    } catch (const std::bad_alloc&) {
        KWLog(L"KWRotateImage", L"Exception:Out of memory", 3);
    }
    return false;
}

void KWSetBitmapLocation(TIEBitmap* ABitmap, int32_t AWidth, int32_t AHeight) {
    if (!ABitmap) return;
    if (AWidth > KWLargeBitmapSide || AHeight > KWLargeBitmapSide) ABitmap->SetLocation(ieFile);
    else if (ABitmap->GetLocation() != ieTBitmap) ABitmap->SetLocation(ieTBitmap);
}

void KWSetBitmapLocationBySize(TIEBitmap* ABitmap) {
    if (!ABitmap) return;
    KWSetBitmapLocation(ABitmap, ABitmap->GetWidth(), ABitmap->GetHeight());
}

std::unique_ptr<TPicturaIO> KWCreateImageIO(int32_t AWidth, int32_t AHeight, bool AThumbnail, bool AFullSize) {
    std::unique_ptr<TPicturaIO> io(new TPicturaIO(nullptr));
    TIOParamsVals* params = io->GetParams();
    params->JPEGDCTMethod = 1;   // fast integer
    params->SetGetThumbnail(AThumbnail);
    params->SetJPEGGetExifThumbnail(AThumbnail);
    params->SetRAWGetExifThumbnail(AThumbnail);
    params->JPEGEnableAdjustOrientation = false;
    params->TIFFEnableAdjustOrientation = false;
    params->JPEGScale = AFullSize || AWidth < 0 || AHeight < 0 ? 1 : 0;
    if (AWidth > 0 && AHeight > 0) {
        params->Width = AWidth;
        params->Height = AHeight;
    }
    return io;
}

// The blank image is made here rather than decoded from a picture: black and fully transparent,
// so that only what is drawn into it shows.
std::unique_ptr<TIEBitmap> KWCreateBlankBitmap(int32_t AWidth, int32_t AHeight) {
    std::unique_ptr<TIEBitmap> bitmap(new TIEBitmap());
    bitmap->SetLocation(ieMemory);
    if (!bitmap->Allocate(std::max(AWidth, 1), std::max(AHeight, 1), ie24RGB))
        throw EOutOfMemory(L"Out of memory");
    bitmap->Fill(0);
    bitmap->GetAlphaChannel()->Fill(0);
    bitmap->GetAlphaChannel()->SetFull(false);
    return bitmap;
}

void KWClearBitmap(TIEBitmap* ABitmap) {
    if (!ABitmap || ABitmap->IsEmpty()) return;
    std::unique_ptr<TIEBitmap> blank = KWCreateBlankBitmap(ABitmap->GetWidth(), ABitmap->GetHeight());
    ABitmap->Assign(blank.get());
}

void KWMakeTextInfo(const TFont* AFont, TieDrawTextInfo& AInfo) {
    AInfo = TieDrawTextInfo();
    AInfo.FontName = AFont->Name();
    AInfo.FontSize = AFont->Size();
    AInfo.FontColor = AFont->Color();
    AInfo.Bold = (AFont->Style() & fsBold) != 0;
    AInfo.Italic = (AFont->Style() & fsItalic) != 0;
    AInfo.OutlineColor = 0xFFFFFF;
    AInfo.Flags = DT_CALCRECT;
}

void KWApplyTextInfoFont(TFont* AFont, const TieDrawTextInfo& AInfo) {
    AFont->SetName(AInfo.FontName);
    AFont->SetSize(AInfo.FontSize);
    AFont->SetColor(AInfo.FontColor);
    TFontStyles style = AFont->Style();
    if (AInfo.Bold) style |= fsBold;
    if (AInfo.Italic) style |= fsItalic;
    AFont->SetStyle(style);
}

void KWDrawTextToCanvas(TCanvas* ACanvas, TieDrawTextInfo& AInfo) {
    if (!ACanvas) return;
    TCanvasLock lock(ACanvas);
    const int32_t w = std::max(RectWidth(AInfo.Rect), 1), h = std::max(RectHeight(AInfo.Rect), 1);
    std::unique_ptr<TIEBitmap> bitmap = KWCreateBlankBitmap(w, h);
    if (AInfo.Flags & DT_CALCRECT) {
        KWRenderText(bitmap.get(), AInfo);
        return;
    }
    const int32_t offsetX = AInfo.OffsetX, offsetY = AInfo.OffsetY;
    const RECT rect = AInfo.Rect;
    AInfo.OffsetX = 0;
    AInfo.OffsetY = 0;
    AInfo.Rect = RECT{0, 0, RectWidth(rect), RectHeight(rect)};
    try {
        KWRenderText(bitmap.get(), AInfo);
    } catch (...) {
        AInfo.OffsetX = offsetX;
        AInfo.OffsetY = offsetY;
        AInfo.Rect = rect;
        throw;
    }
    AInfo.OffsetX = offsetX;
    AInfo.OffsetY = offsetY;
    AInfo.Rect = rect;
    bitmap->DrawToCanvasWithAlpha(ACanvas, offsetX + rect.left, offsetY + rect.top, w, h, 0, 0, w, h, 255, rfNone,
                                  0);
}

void KWRenderText(TIEBitmap* ABitmap, TieDrawTextInfo& AInfo) {
    if (!ABitmap || AInfo.Text.empty()) return;
    const int32_t angle = QuarterTurn(AInfo.Angle);
    AInfo.Angle = angle;
    std::unique_ptr<TIEBitmap> work = KWCreateBlankBitmap(1, 1);
    TFont font;
    KWApplyTextInfoFont(&font, AInfo);

    if (AInfo.Flags & DT_CALCRECT) {
        TCanvas* canvas = work->GetCanvas();
        MeasureText(canvas->Handle(), &font, AInfo, angle);
        return;
    }

    // Vertical text not yet measured is measured first: the block takes its place in the
    // rectangle by the alignment flags, and the lines are drawn there.
    if (AInfo.Vertical && AInfo.LineExtents.empty()) {
        const int32_t flags = AInfo.Flags;
        AInfo.Flags |= DT_CALCRECT;
        MeasureText(work->GetCanvas()->Handle(), &font, AInfo, angle);
        AInfo.Flags = flags;
    }

    const int32_t rectWidth = RectWidth(AInfo.Rect), rectHeight = RectHeight(AInfo.Rect);
    if (rectWidth <= 0 || rectHeight <= 0) return;
    int32_t rw = rectWidth, rh = rectHeight;
    if (angle == 90 || angle == 270) std::swap(rw, rh);

    // Anti-aliased text is drawn at double size (a copy of the record holds the doubled sizes, so
    // the caller's record is never left doubled) and scaled down with the Hermite filter.
    TieDrawTextInfo drawn = AInfo;
    if (AInfo.AntiAlias) {
        drawn.FontSize *= 2;
        drawn.OutlineWidth *= 2;
        rw *= 2;
        rh *= 2;
        for (TKWLineExtent& line : drawn.LineExtents) {
            line.Width *= 2;
            line.Height *= 2;
        }
        font.SetSize(drawn.FontSize);
    }
    const RECT R{0, 0, rw, rh};

    work->Resize(rw, rh, 0, 255, 0, 0);
    KWClearBitmap(work.get());
    // The colour plane holds the text colour everywhere: the alpha plane alone gives the glyphs
    // their shape, so edge pixels keep the true colour instead of a blend with the background.
    const COLORREF textColor = (COLORREF)ColorToRGB(AInfo.FontColor);
    const COLORREF outlineColor = (COLORREF)ColorToRGB(AInfo.OutlineColor);
    work->Fill((double)textColor);

    LOGFONTW lf = font.GetLogFont();
    if (AInfo.Vertical) TurnForVertical(lf);
    if (AInfo.AntiAlias && !AInfo.Bold) lf.lfWeight = KWAntialiasFontWeight;
    TGdiObject<HFONT> drawFont(CreateFontIndirectW(&lf));
    if (!drawFont.Get()) return;

    DrawOnCanvas(work->GetCanvas(), drawFont.Get(), drawn, R, textColor, outlineColor);
    DrawOnCanvas(work->GetAlphaChannel()->GetCanvas(), drawFont.Get(), drawn, R, RGB(255, 255, 255),
                 RGB(255, 255, 255));
    GdiFlush();

    if (angle != 0) KWRotateImage(work.get(), angle);
    // The work bitmap leaves the system bitmap before it is read row by row.
    work->SetLocation(ieMemory);
    work->GetAlphaChannel()->SetLocation(ieMemory);
    ABitmap->AlphaMergeFrom(work.get(), AInfo.OffsetX + AInfo.Rect.left, AInfo.OffsetY + AInfo.Rect.top, rectWidth,
                            rectHeight, 255, AInfo.AntiAlias ? rfHermite : rfNone, 0, true, 0, 0);
}
