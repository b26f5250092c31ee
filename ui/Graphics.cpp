#include "Graphics.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "SysUtils.h"

int32_t ColorToRGB(TColor color) {
    if (color < 0) return (int32_t)GetSysColor(color & 0xFF);
    return color;
}

static int32_t ScreenPixelsPerInch() {
    static int32_t ppi = [] {
        HDC dc = GetDC(nullptr);
        int32_t v = dc ? GetDeviceCaps(dc, LOGPIXELSY) : 96;
        if (dc) ReleaseDC(nullptr, dc);
        return v > 0 ? v : 96;
    }();
    return ppi;
}

// ---------------------------------------------------------------------------------------------
// TGraphicsObject
// ---------------------------------------------------------------------------------------------

TGraphicsObject::~TGraphicsObject() { FreeHandle(); }

void TGraphicsObject::Changed() {
    if (OnChange) OnChange(this);
}

HGDIOBJ TGraphicsObject::GetHandleObject() {
    if (!FHandle) FHandle = CreateHandleObject();
    return FHandle;
}

void TGraphicsObject::FreeHandle() {
    if (FHandle) {
        if (FBeforeFree) FBeforeFree();
        DeleteObject(FHandle);
        FHandle = nullptr;
    }
}

// ---------------------------------------------------------------------------------------------
// TFont
// ---------------------------------------------------------------------------------------------

TFont::TFont() : FName(L"Tahoma"), FHeight(-11), FColor(clWindowText), FPixelsPerInch(ScreenPixelsPerInch()) {}

void TFont::Assign(const TPersistent* source) {
    auto* f = dynamic_cast<const TFont*>(source);
    if (!f) {
        TPersistent::Assign(source);
        return;
    }
    if (f == this) return;
    FName = f->FName;
    FHeight = f->FHeight;
    FColor = f->FColor;
    FStyle = f->FStyle;
    FCharset = f->FCharset;
    FPitch = f->FPitch;
    FOrientation = f->FOrientation;
    FPixelsPerInch = f->FPixelsPerInch;
    FreeHandle();
    Changed();
}

void TFont::SetHandle(HFONT font) {
    LOGFONTW lf{};
    if (!font || GetObjectW(font, sizeof lf, &lf) == 0) return;
    FName = lf.lfFaceName;
    FHeight = lf.lfHeight;
    FStyle = (lf.lfWeight >= FW_BOLD ? fsBold : 0) | (lf.lfItalic ? fsItalic : 0) |
             (lf.lfUnderline ? fsUnderline : 0) | (lf.lfStrikeOut ? fsStrikeOut : 0);
    FCharset = lf.lfCharSet;
    FPitch = (lf.lfPitchAndFamily & 3) == FIXED_PITCH      ? fpFixed
             : (lf.lfPitchAndFamily & 3) == VARIABLE_PITCH ? fpVariable
                                                            : fpDefault;
    FOrientation = lf.lfEscapement;
    FreeHandle();
    Changed();
}

#define KW_FONT_SETTER(Name, Field, Type)        \
    void TFont::Set##Name(Type value) {          \
        if (Field == value) return;              \
        Field = value;                           \
        FreeHandle();                            \
        Changed();                               \
    }
KW_FONT_SETTER(Name, FName, const std::wstring&)
KW_FONT_SETTER(Height, FHeight, int32_t)
KW_FONT_SETTER(Style, FStyle, TFontStyles)
KW_FONT_SETTER(Charset, FCharset, uint8_t)
KW_FONT_SETTER(Pitch, FPitch, TFontPitch)
KW_FONT_SETTER(Orientation, FOrientation, int32_t)
#undef KW_FONT_SETTER

void TFont::SetColor(TColor value) {
    // The colour is not part of the GDI font: the handle stays.
    if (FColor == value) return;
    FColor = value;
    Changed();
}

int32_t TFont::Size() const { return -MulDiv(FHeight, 72, FPixelsPerInch); }

void TFont::SetSize(int32_t value) { SetHeight(-MulDiv(value, FPixelsPerInch, 72)); }

LOGFONTW TFont::GetLogFont() const {
    LOGFONTW lf{};
    lf.lfHeight = FHeight;
    lf.lfEscapement = FOrientation;
    lf.lfOrientation = FOrientation;
    lf.lfWeight = (FStyle & fsBold) ? FW_BOLD : FW_NORMAL;
    lf.lfItalic = (FStyle & fsItalic) ? 1 : 0;
    lf.lfUnderline = (FStyle & fsUnderline) ? 1 : 0;
    lf.lfStrikeOut = (FStyle & fsStrikeOut) ? 1 : 0;
    lf.lfCharSet = FCharset;
    lf.lfOutPrecision = OUT_DEFAULT_PRECIS;
    lf.lfClipPrecision = CLIP_DEFAULT_PRECIS;
    lf.lfQuality = DEFAULT_QUALITY;
    lf.lfPitchAndFamily = FPitch == fpFixed ? FIXED_PITCH : FPitch == fpVariable ? VARIABLE_PITCH : DEFAULT_PITCH;
    wcsncpy(lf.lfFaceName, FName.c_str(), LF_FACESIZE - 1);
    return lf;
}

HGDIOBJ TFont::CreateHandleObject() {
    LOGFONTW lf = GetLogFont();
    return CreateFontIndirectW(&lf);
}

// ---------------------------------------------------------------------------------------------
// TBrush, TPen
// ---------------------------------------------------------------------------------------------

void TBrush::Assign(const TPersistent* source) {
    auto* b = dynamic_cast<const TBrush*>(source);
    if (!b) {
        TPersistent::Assign(source);
        return;
    }
    if (b == this) return;
    FColor = b->FColor;
    FStyle = b->FStyle;
    FreeHandle();
    Changed();
}

void TBrush::SetColor(TColor value) {
    if (FColor == value && FStyle != bsClear) return;
    FColor = value;
    // Giving a clear brush a colour makes it solid again, as the class library does.
    if (FStyle == bsClear) FStyle = bsSolid;
    FreeHandle();
    Changed();
}

void TBrush::SetStyle(TBrushStyle value) {
    if (FStyle == value) return;
    FStyle = value;
    FreeHandle();
    Changed();
}

HGDIOBJ TBrush::CreateHandleObject() {
    LOGBRUSH lb{};
    lb.lbColor = (COLORREF)ColorToRGB(FColor);
    switch (FStyle) {
    case bsSolid: lb.lbStyle = BS_SOLID; break;
    case bsClear: lb.lbStyle = BS_HOLLOW; break;
    default:
        lb.lbStyle = BS_HATCHED;
        lb.lbHatch = (ULONG_PTR)(FStyle - bsHorizontal);   // HS_HORIZONTAL .. HS_DIAGCROSS
        break;
    }
    return CreateBrushIndirect(&lb);
}

void TPen::Assign(const TPersistent* source) {
    auto* p = dynamic_cast<const TPen*>(source);
    if (!p) {
        TPersistent::Assign(source);
        return;
    }
    if (p == this) return;
    FColor = p->FColor;
    FWidth = p->FWidth;
    FStyle = p->FStyle;
    FreeHandle();
    Changed();
}

#define KW_PEN_SETTER(Name, Field, Type) \
    void TPen::Set##Name(Type value) {   \
        if (Field == value) return;      \
        Field = value;                   \
        FreeHandle();                    \
        Changed();                       \
    }
KW_PEN_SETTER(Color, FColor, TColor)
KW_PEN_SETTER(Width, FWidth, int32_t)
KW_PEN_SETTER(Style, FStyle, TPenStyle)
#undef KW_PEN_SETTER

HGDIOBJ TPen::CreateHandleObject() {
    static const int styles[] = {PS_SOLID, PS_DASH, PS_DOT, PS_DASHDOT, PS_DASHDOTDOT, PS_NULL, PS_INSIDEFRAME};
    return CreatePen(styles[FStyle], FWidth, (COLORREF)ColorToRGB(FColor));
}

// ---------------------------------------------------------------------------------------------
// TCanvas
// ---------------------------------------------------------------------------------------------

TCanvas::TCanvas() : FFont(new TFont), FPen(new TPen), FBrush(new TBrush) {
    InitializeCriticalSection(&FLock);
    FFont->OnChange = [this](TObject* s) { FontChanged(s); };
    FPen->OnChange = [this](TObject* s) { PenChanged(s); };
    FBrush->OnChange = [this](TObject* s) { BrushChanged(s); };
    FFont->SetBeforeFree([this] { FontChanged(nullptr); });
    FPen->SetBeforeFree([this] { PenChanged(nullptr); });
    FBrush->SetBeforeFree([this] { BrushChanged(nullptr); });
}

TCanvas::~TCanvas() {
    SetHandle(nullptr);
    DeleteCriticalSection(&FLock);
}

HDC TCanvas::Handle() {
    Changing();
    RequiredState(csHandleValid | csFontValid | csPenValid | csBrushValid);
    return FHandle;
}

void TCanvas::SetHandle(HDC dc) {
    if (FHandle == dc) return;
    if (FHandle) {
        DeselectHandles();
        FState &= ~csHandleValid;
    }
    FHandle = dc;
    if (dc) FState |= csHandleValid;
}

void TCanvas::DeselectHandles() {
    if (!FHandle) return;
    if (FState & csFontValid) SelectObject(FHandle, FOldFont);
    if (FState & csPenValid) SelectObject(FHandle, FOldPen);
    if (FState & csBrushValid) SelectObject(FHandle, FOldBrush);
    FState &= ~(csFontValid | csPenValid | csBrushValid);
}

void TCanvas::Refresh() { DeselectHandles(); }

void TCanvas::RequiredState(uint8_t required) {
    if ((required & csHandleValid) && !FHandle) {
        CreateHandle();
        if (!FHandle) throw Exception(L"Canvas does not allow drawing", L"EInvalidOperation");
        FState |= csHandleValid;
    }
    uint8_t need = required & ~FState;
    if (!FHandle || !need) return;
    if (need & csFontValid) {
        FOldFont = SelectObject(FHandle, FFont->Handle());
        SetTextColor(FHandle, (COLORREF)ColorToRGB(FFont->Color()));
        FState |= csFontValid;
    }
    if (need & csPenValid) {
        FOldPen = SelectObject(FHandle, FPen->Handle());
        FState |= csPenValid;
    }
    if (need & csBrushValid) {
        FOldBrush = SelectObject(FHandle, FBrush->Handle());
        SetBkColor(FHandle, (COLORREF)ColorToRGB(FBrush->Color()));
        SetBkMode(FHandle, FBrush->Style() == bsSolid ? OPAQUE : TRANSPARENT);
        FState |= csBrushValid;
    }
}

void TCanvas::FontChanged(TObject*) {
    if ((FState & csFontValid) && FHandle) {
        SelectObject(FHandle, FOldFont);
        FState &= ~csFontValid;
    }
}

void TCanvas::PenChanged(TObject*) {
    if ((FState & csPenValid) && FHandle) {
        SelectObject(FHandle, FOldPen);
        FState &= ~csPenValid;
    }
}

void TCanvas::BrushChanged(TObject*) {
    if ((FState & csBrushValid) && FHandle) {
        SelectObject(FHandle, FOldBrush);
        FState &= ~csBrushValid;
    }
}

void TCanvas::Changing() {
    if (OnChanging) OnChanging(this);
}

void TCanvas::Changed() {
    if (OnChange) OnChange(this);
}

void TCanvas::FillRect(const RECT& rect) {
    Changing();
    RequiredState(csHandleValid | csBrushValid);
    ::FillRect(FHandle, &rect, FBrush->Handle());
    Changed();
}

void TCanvas::FrameRect(const RECT& rect) {
    Changing();
    RequiredState(csHandleValid | csBrushValid);
    ::FrameRect(FHandle, &rect, FBrush->Handle());
    Changed();
}

void TCanvas::Rectangle(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
    Changing();
    RequiredState(csHandleValid | csPenValid | csBrushValid);
    ::Rectangle(FHandle, x1, y1, x2, y2);
    Changed();
}

void TCanvas::Ellipse(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
    Changing();
    RequiredState(csHandleValid | csPenValid | csBrushValid);
    ::Ellipse(FHandle, x1, y1, x2, y2);
    Changed();
}

void TCanvas::MoveTo(int32_t x, int32_t y) {
    RequiredState(csHandleValid);
    MoveToEx(FHandle, x, y, nullptr);
    FPenPos = {x, y};
}

void TCanvas::LineTo(int32_t x, int32_t y) {
    Changing();
    RequiredState(csHandleValid | csPenValid | csBrushValid);
    ::LineTo(FHandle, x, y);
    FPenPos = {x, y};
    Changed();
}

void TCanvas::DrawFocusRect(const RECT& rect) {
    Changing();
    RequiredState(csHandleValid | csBrushValid);
    ::DrawFocusRect(FHandle, &rect);
    Changed();
}

void TCanvas::TextOut(int32_t x, int32_t y, const std::wstring& text) {
    Changing();
    RequiredState(csHandleValid | csFontValid | csBrushValid);
    ExtTextOutW(FHandle, x, y, 0, nullptr, text.c_str(), (UINT)text.size(), nullptr);
    FPenPos = {x + TextWidth(text), y};
    Changed();
}

void TCanvas::TextRect(const RECT& rect, int32_t x, int32_t y, const std::wstring& text) {
    Changing();
    RequiredState(csHandleValid | csFontValid | csBrushValid);
    UINT options = ETO_CLIPPED | (FBrush->Style() != bsClear ? ETO_OPAQUE : 0);
    ExtTextOutW(FHandle, x, y, options, &rect, text.c_str(), (UINT)text.size(), nullptr);
    Changed();
}

SIZE TCanvas::TextExtent(const std::wstring& text) {
    RequiredState(csHandleValid | csFontValid);
    SIZE size{0, 0};
    GetTextExtentPoint32W(FHandle, text.c_str(), (int)text.size(), &size);
    return size;
}

void TCanvas::Draw(int32_t x, int32_t y, TGraphic* graphic) {
    if (!graphic || graphic->Empty()) return;
    StretchDraw(RECT{x, y, x + graphic->Width(), y + graphic->Height()}, graphic);
}

void TCanvas::StretchDraw(const RECT& rect, TGraphic* graphic) {
    if (!graphic || graphic->Empty()) return;
    Changing();
    RequiredState(csHandleValid);
    graphic->Draw(this, rect);
    Changed();
}

void TCanvas::CopyRect(const RECT& dest, TCanvas* source, const RECT& src) {
    Changing();
    RequiredState(csHandleValid | csFontValid | csBrushValid);
    HDC from = source->Handle();
    int dw = dest.right - dest.left, dh = dest.bottom - dest.top;
    int sw = src.right - src.left, sh = src.bottom - src.top;
    if (dw == sw && dh == sh) {
        BitBlt(FHandle, dest.left, dest.top, dw, dh, from, src.left, src.top, CopyMode);
    } else {
        int old = SetStretchBltMode(FHandle, COLORONCOLOR);
        StretchBlt(FHandle, dest.left, dest.top, dw, dh, from, src.left, src.top, sw, sh, CopyMode);
        SetStretchBltMode(FHandle, old);
    }
    Changed();
}

TColor TCanvas::GetPixel(int32_t x, int32_t y) {
    RequiredState(csHandleValid);
    GdiFlush();
    return (TColor)::GetPixel(FHandle, x, y);
}

void TCanvas::SetPixel(int32_t x, int32_t y, TColor color) {
    Changing();
    RequiredState(csHandleValid);
    ::SetPixel(FHandle, x, y, (COLORREF)ColorToRGB(color));
    Changed();
}

RECT TCanvas::ClipRect() {
    RequiredState(csHandleValid);
    RECT r{0, 0, 0, 0};
    GetClipBox(FHandle, &r);
    return r;
}

void TCanvas::Lock() {
    EnterCriticalSection(&FLock);
    ++FLockCount;
}

void TCanvas::Unlock() {
    --FLockCount;
    LeaveCriticalSection(&FLock);
}

bool TCanvas::TryLock() {
    if (!TryEnterCriticalSection(&FLock)) return false;
    ++FLockCount;
    return true;
}

// ---------------------------------------------------------------------------------------------
// TGraphic
// ---------------------------------------------------------------------------------------------

void TGraphic::SetTransparent(bool value) {
    if (FTransparent == value) return;
    FTransparent = value;
    Changed();
}

void TGraphic::Changed() {
    if (OnChange) OnChange(this);
}

// ---------------------------------------------------------------------------------------------
// TBitmap
// ---------------------------------------------------------------------------------------------

TBitmapCanvas::~TBitmapCanvas() { FreeContext(); }

void TBitmapCanvas::CreateHandle() {
    if (!FBitmap->FDIB) FBitmap->Recreate(FBitmap->FWidth, FBitmap->FHeight, FBitmap->FPixelFormat, false);
    HDC dc = CreateCompatibleDC(nullptr);
    if (!dc) return;
    FOldBitmap = SelectObject(dc, FBitmap->FDIB);
    SetHandle(dc);
}

void TBitmapCanvas::FreeContext() {
    HDC dc = RawHandle();
    if (!dc) return;
    SetHandle(nullptr);
    SelectObject(dc, FOldBitmap);
    DeleteDC(dc);
}

TBitmap::TBitmap() = default;

TBitmap::~TBitmap() {
    FCanvas.reset();
    FreeDIB();
}

void TBitmap::FreeDIB() {
    if (FCanvas) FCanvas->FreeContext();
    if (FDIB) DeleteObject(FDIB);
    FDIB = nullptr;
    FBits = nullptr;
}

static int32_t BitsOf(TPixelFormat f) {
    switch (f) {
    case pf1bit: return 1;
    case pf4bit: return 4;
    case pf8bit: return 8;
    case pf32bit: return 32;
    default: return 24;
    }
}

int32_t TBitmap::BitCount() const { return BitsOf(FPixelFormat); }

int32_t TBitmap::RowBytes() const { return ((FWidth * BitCount() + 31) / 32) * 4; }

// A new DIB section of the size and format; with `keep` the old pixels are copied over.
void TBitmap::Recreate(int32_t width, int32_t height, TPixelFormat format, bool keep) {
    if (width < 0 || height < 0) throw EInvalidGraphic(L"Invalid bitmap size");
    const int32_t bits = BitsOf(format);
    const int32_t w = std::max(width, 1), h = std::max(height, 1);
    if ((int64_t)((w * (int64_t)bits + 31) / 32) * 4 * h > 0x7FFFFFFF)
        throw EOutOfMemory(L"Out of system resources");
    std::vector<uint8_t> info(sizeof(BITMAPINFOHEADER) + 256 * sizeof(RGBQUAD), 0);
    auto* bi = reinterpret_cast<BITMAPINFO*>(info.data());
    bi->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bi->bmiHeader.biWidth = w;
    bi->bmiHeader.biHeight = h;
    bi->bmiHeader.biPlanes = 1;
    bi->bmiHeader.biBitCount = (WORD)bits;
    bi->bmiHeader.biCompression = BI_RGB;
    if (bits <= 8) {
        const int n = 1 << bits;
        bi->bmiHeader.biClrUsed = n;
        RGBQUAD* table = bi->bmiColors;
        int kept = 0;
        if (keep && FDIB && BitCount() == bits) kept = GetColorTable(table, n);
        if (kept == 0) {
            // A grey ramp: black to white (1 bit: black and white).
            for (int i = 0; i < n; ++i) {
                BYTE v = (BYTE)(i * 255 / (n - 1));
                table[i] = RGBQUAD{v, v, v, 0};
            }
        }
    }
    void* bitsPtr = nullptr;
    HBITMAP dib = CreateDIBSection(nullptr, bi, DIB_RGB_COLORS, &bitsPtr, nullptr, 0);
    if (!dib) throw EOutOfMemory(L"Out of system resources");
    std::memset(bitsPtr, 0, (size_t)((w * bits + 31) / 32) * 4 * h);
    if (keep && FDIB && FWidth > 0 && FHeight > 0) {
        // A bitmap can be selected into one context only: the canvas lets go of it first.
        if (FCanvas) FCanvas->FreeContext();
        HDC src = CreateCompatibleDC(nullptr);
        HDC dst = CreateCompatibleDC(nullptr);
        GdiFlush();
        HGDIOBJ o1 = SelectObject(src, FDIB);
        HGDIOBJ o2 = SelectObject(dst, dib);
        BitBlt(dst, 0, 0, std::min(w, FWidth), std::min(h, FHeight), src, 0, 0, SRCCOPY);
        SelectObject(src, o1);
        SelectObject(dst, o2);
        DeleteDC(src);
        DeleteDC(dst);
    }
    FreeDIB();
    FDIB = dib;
    FBits = bitsPtr;
    FWidth = width;
    FHeight = height;
    FPixelFormat = format;
}

void TBitmap::SetSize(int32_t width, int32_t height) {
    if (width == FWidth && height == FHeight && FDIB) return;
    Recreate(width, height, FPixelFormat, true);
    Changed();
}

void TBitmap::SetPixelFormat(TPixelFormat value) {
    if (value == FPixelFormat) return;
    if (!FDIB) {
        FPixelFormat = value;
        return;
    }
    Recreate(FWidth, FHeight, value, true);
    Changed();
}

TCanvas* TBitmap::Canvas() {
    if (!FCanvas) {
        FCanvas.reset(new TBitmapCanvas(this));
        FCanvas->OnChange = [this](TObject* s) { CanvasChanged(s); };
    }
    return FCanvas.get();
}

void TBitmap::CanvasChanged(TObject*) { Changed(); }

void* TBitmap::ScanLine(int32_t y) {
    if (!FDIB || y < 0 || y >= FHeight) throw EInvalidGraphic(L"Scan line index out of range");
    GdiFlush();
    return static_cast<uint8_t*>(FBits) + (size_t)RowBytes() * (size_t)(FHeight - 1 - y);
}

int32_t TBitmap::GetColorTable(RGBQUAD* entries, int32_t count) const {
    if (!FDIB || BitCount() > 8) return 0;
    // The canvas's context when it holds the bitmap (a bitmap is selected into one context only).
    if (FCanvas && FCanvas->HandleAllocated()) return (int32_t)GetDIBColorTable(FCanvas->Handle(), 0, count, entries);
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, FDIB);
    int32_t n = (int32_t)GetDIBColorTable(dc, 0, count, entries);
    SelectObject(dc, old);
    DeleteDC(dc);
    return n;
}

void TBitmap::SetColorTable(const RGBQUAD* entries, int32_t count) {
    if (!FDIB) Recreate(FWidth, FHeight, FPixelFormat, false);
    if (BitCount() > 8) return;
    HDC dc = Canvas()->Handle();
    SetDIBColorTable(dc, 0, count, entries);
    Changed();
}

void TBitmap::SetTransparentMode(TTransparentMode value) {
    if (FTransparentMode == value) return;
    FTransparentMode = value;
    Changed();
}

TColor TBitmap::TransparentColor() {
    if (FTransparentMode == tmFixed && FTransparentColor != clDefault) return FTransparentColor;
    if (Empty()) return clDefault;
    return Canvas()->GetPixel(0, FHeight - 1);
}

void TBitmap::SetTransparentColor(TColor value) {
    FTransparentColor = value;
    FTransparentMode = value == clDefault ? tmAuto : tmFixed;
    Changed();
}

void TBitmap::Assign(const TPersistent* source) {
    if (source == this) return;
    if (!source) {
        FreeDIB();
        FWidth = FHeight = 0;
        Changed();
        return;
    }
    auto* b = dynamic_cast<const TBitmap*>(source);
    if (!b) {
        TGraphic::Assign(source);
        return;
    }
    FreeDIB();
    FWidth = FHeight = 0;
    FPixelFormat = b->FPixelFormat;
    if (b->FDIB) {
        Recreate(b->FWidth, b->FHeight, b->FPixelFormat, false);
        if (BitCount() <= 8) {
            RGBQUAD table[256];
            int32_t n = b->GetColorTable(table, 256);
            if (n > 0) SetColorTable(table, n);
        }
        GdiFlush();
        std::memcpy(FBits, b->FBits, (size_t)RowBytes() * (size_t)std::max(FHeight, 1));
    }
    FTransparent = b->FTransparent;
    FTransparentMode = b->FTransparentMode;
    FTransparentColor = b->FTransparentColor;
    Changed();
}

void TBitmap::LoadFromDIB(const void* data, size_t size, size_t bitsOffset) {
    auto bad = [] { throw EInvalidGraphic(L"Bitmap image is not valid"); };
    if (!data || size < sizeof(BITMAPINFOHEADER)) bad();
    BITMAPINFOHEADER h;
    std::memcpy(&h, data, sizeof h);
    if (h.biSize < sizeof(BITMAPINFOHEADER) || h.biSize > size) bad();
    const int64_t width = h.biWidth, height = h.biHeight < 0 ? -(int64_t)h.biHeight : h.biHeight;
    if (width <= 0 || height <= 0 || width > 32767 || height > 32767 || h.biPlanes != 1) bad();
    const int bpp = h.biBitCount;
    if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) bad();
    size_t colors = 0;
    if (bpp <= 8) colors = h.biClrUsed ? h.biClrUsed : (size_t)1 << bpp;
    if (colors > 256) bad();
    size_t masks = (h.biCompression == BI_BITFIELDS && h.biSize == sizeof(BITMAPINFOHEADER)) ? 12 : 0;
    const size_t headerEnd = h.biSize + masks + colors * sizeof(RGBQUAD);
    if (headerEnd > size) bad();
    if (bitsOffset == 0) bitsOffset = headerEnd;
    if (bitsOffset < headerEnd || bitsOffset > size) bad();
    const size_t available = size - bitsOffset;
    size_t needed;
    if (h.biCompression == BI_RGB || h.biCompression == BI_BITFIELDS) {
        needed = (size_t)((width * bpp + 31) / 32) * 4 * (size_t)height;
    } else if ((h.biCompression == BI_RLE8 && bpp == 8) || (h.biCompression == BI_RLE4 && bpp == 4)) {
        needed = h.biSizeImage;   // the decoder stops at the end of the data it is given
        if (needed == 0) bad();
    } else {
        bad();
        return;
    }
    if (needed > available) bad();

    // A copy of the header block with the colour table, so that the table is aligned and complete.
    std::vector<uint8_t> info(headerEnd + 256 * sizeof(RGBQUAD), 0);
    std::memcpy(info.data(), data, headerEnd);
    const auto* bi = reinterpret_cast<const BITMAPINFO*>(info.data());
    const uint8_t* bits = static_cast<const uint8_t*>(data) + bitsOffset;

    TPixelFormat format = bpp == 32 ? pf32bit : bpp == 8 ? pf8bit : bpp == 4 ? pf4bit : bpp == 1 ? pf1bit : pf24bit;
    if (h.biCompression == BI_BITFIELDS || bpp == 16) format = bpp == 32 ? pf32bit : pf24bit;
    FreeDIB();
    FWidth = FHeight = 0;
    Recreate((int32_t)width, (int32_t)height, format, false);
    if (bpp <= 8 && BitCount() == bpp) {
        SetColorTable(reinterpret_cast<const RGBQUAD*>(info.data() + h.biSize + masks), (int32_t)colors);
    }
    HDC dc = Canvas()->Handle();
    SetDIBitsToDevice(dc, 0, 0, (DWORD)width, (DWORD)height, 0, 0, 0, (UINT)height, bits, bi, DIB_RGB_COLORS);
    GdiFlush();
    Changed();
}

void TBitmap::LoadFromStream(TStream* stream) {
    BITMAPFILEHEADER fh{};
    stream->ReadBuffer(&fh, sizeof fh);
    if (fh.bfType != 0x4D42) throw EInvalidGraphic(L"Bitmap image is not valid");
    // The rest of the file; its size is bounded by the stream, not by the header's claims.
    int64_t rest = stream->GetSize() - stream->GetPosition();
    if (fh.bfSize >= sizeof fh && (int64_t)(fh.bfSize - sizeof fh) < rest) rest = fh.bfSize - sizeof fh;
    if (rest <= 0 || rest > 0x7FFFFFFF) throw EInvalidGraphic(L"Bitmap image is not valid");
    std::vector<uint8_t> data((size_t)rest);
    stream->ReadBuffer(data.data(), (int32_t)rest);
    size_t offset = fh.bfOffBits >= sizeof fh ? fh.bfOffBits - sizeof fh : 0;
    LoadFromDIB(data.data(), data.size(), offset);
}

void TBitmap::LoadFromResourceName(HINSTANCE instance, const std::wstring& name) {
    HRSRC res = FindResourceW(instance, name.c_str(), MAKEINTRESOURCEW(2) /* RT_BITMAP */);
    HGLOBAL mem = res ? LoadResource(instance, res) : nullptr;
    const void* data = mem ? LockResource(mem) : nullptr;
    if (!data) throw EResNotFound(Format(L"Resource %s not found", name));
    LoadFromDIB(data, SizeofResource(instance, res));
}

void TBitmap::Draw(TCanvas* canvas, const RECT& rect) {
    if (Empty()) return;
    HDC dst = canvas->Handle();
    HDC src = Canvas()->Handle();
    const int dw = rect.right - rect.left, dh = rect.bottom - rect.top;
    if (FTransparent) {
        TransparentBlt(dst, rect.left, rect.top, dw, dh, src, 0, 0, FWidth, FHeight,
                       (UINT)ColorToRGB(TransparentColor()));
    } else if (dw == FWidth && dh == FHeight) {
        BitBlt(dst, rect.left, rect.top, dw, dh, src, 0, 0, canvas->CopyMode);
    } else {
        int old = SetStretchBltMode(dst, COLORONCOLOR);
        StretchBlt(dst, rect.left, rect.top, dw, dh, src, 0, 0, FWidth, FHeight, canvas->CopyMode);
        SetStretchBltMode(dst, old);
    }
}

// ---------------------------------------------------------------------------------------------
// TPicture
// ---------------------------------------------------------------------------------------------

TPicture::~TPicture() = default;

void TPicture::Changed(TObject*) {
    if (OnChange) OnChange(this);
}

void TPicture::Adopt(std::unique_ptr<TGraphic> graphic) {
    FGraphic = std::move(graphic);
    if (FGraphic) FGraphic->OnChange = [this](TObject* s) { Changed(s); };
    Changed(this);
}

void TPicture::SetGraphic(const TGraphic* value) {
    if (value == FGraphic.get()) return;
    if (!value) {
        Adopt(nullptr);
        return;
    }
    auto* b = dynamic_cast<const TBitmap*>(value);
    if (!b) throw EInvalidGraphic(L"Unsupported graphic");
    std::unique_ptr<TGraphic> copy(new TBitmap);
    copy->Assign(b);
    Adopt(std::move(copy));
}

TBitmap* TPicture::Bitmap() {
    auto* b = dynamic_cast<TBitmap*>(FGraphic.get());
    if (!b) {
        Adopt(std::unique_ptr<TGraphic>(new TBitmap));
        b = static_cast<TBitmap*>(FGraphic.get());
    }
    return b;
}

void TPicture::Assign(const TPersistent* source) {
    if (!source) {
        SetGraphic(nullptr);
        return;
    }
    if (auto* p = dynamic_cast<const TPicture*>(source)) {
        SetGraphic(p->Graphic());
        return;
    }
    if (auto* g = dynamic_cast<const TGraphic*>(source)) {
        SetGraphic(g);
        return;
    }
    TPersistent::Assign(source);
}
