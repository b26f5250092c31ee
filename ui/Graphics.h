// Drawing objects over GDI: colours, fonts, brushes, pens, the canvas over a device context, the
// DIB-section bitmap and the picture that holds one.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "Classes.h"
#include "SysUtils.h"
#include "WinApi.h"

// EInvalidGraphic: declared with the other standard exceptions (SysUtils.h).

// ---------------------------------------------------------------------------------------------
// Colours
// ---------------------------------------------------------------------------------------------

// A colour value: $00BBGGRR for a plain colour, $FF0000nn for system colour nn (COLOR_...), and
// the two markers clNone and clDefault.
typedef int32_t TColor;

constexpr TColor SysColor(int index) { return (TColor)(0xFF000000u | (uint32_t)index); }

constexpr TColor clBlack = 0x000000, clMaroon = 0x000080, clGreen = 0x008000, clOlive = 0x008080,
                 clNavy = 0x800000, clPurple = 0x800080, clTeal = 0x808000, clGray = 0x808080,
                 clSilver = 0xC0C0C0, clRed = 0x0000FF, clLime = 0x00FF00, clYellow = 0x00FFFF,
                 clBlue = 0xFF0000, clFuchsia = 0xFF00FF, clAqua = 0xFFFF00, clWhite = 0xFFFFFF;
constexpr TColor clNone = 0x1FFFFFFF, clDefault = 0x20000000;

constexpr TColor clScrollBar = SysColor(COLOR_SCROLLBAR), clBackground = SysColor(COLOR_BACKGROUND),
                 clActiveCaption = SysColor(COLOR_ACTIVECAPTION),
                 clInactiveCaption = SysColor(COLOR_INACTIVECAPTION), clMenu = SysColor(COLOR_MENU),
                 clWindow = SysColor(COLOR_WINDOW), clWindowFrame = SysColor(COLOR_WINDOWFRAME),
                 clMenuText = SysColor(COLOR_MENUTEXT), clWindowText = SysColor(COLOR_WINDOWTEXT),
                 clCaptionText = SysColor(COLOR_CAPTIONTEXT),
                 clActiveBorder = SysColor(COLOR_ACTIVEBORDER),
                 clInactiveBorder = SysColor(COLOR_INACTIVEBORDER),
                 clAppWorkSpace = SysColor(COLOR_APPWORKSPACE), clHighlight = SysColor(COLOR_HIGHLIGHT),
                 clHighlightText = SysColor(COLOR_HIGHLIGHTTEXT), clBtnFace = SysColor(COLOR_BTNFACE),
                 clBtnShadow = SysColor(COLOR_BTNSHADOW), clGrayText = SysColor(COLOR_GRAYTEXT),
                 clBtnText = SysColor(COLOR_BTNTEXT),
                 clInactiveCaptionText = SysColor(COLOR_INACTIVECAPTIONTEXT),
                 clBtnHighlight = SysColor(COLOR_BTNHIGHLIGHT), cl3DDkShadow = SysColor(COLOR_3DDKSHADOW),
                 cl3DLight = SysColor(COLOR_3DLIGHT), clInfoText = SysColor(COLOR_INFOTEXT),
                 clInfoBk = SysColor(COLOR_INFOBK),
                 clGradientActiveCaption = SysColor(COLOR_GRADIENTACTIVECAPTION),
                 clGradientInactiveCaption = SysColor(COLOR_GRADIENTINACTIVECAPTION);

// The $00BBGGRR value of a colour: system colours are looked up, plain ones returned as they are
// (clNone and clDefault give their own values, as the class library does).
int32_t ColorToRGB(TColor color);

// ---------------------------------------------------------------------------------------------
// Fonts, brushes, pens
// ---------------------------------------------------------------------------------------------

// Shared by fonts, brushes and pens: a change notification and a lazily made GDI handle.
class TGraphicsObject : public TPersistent {
public:
    KW_CLASS_NAME(TGraphicsObject)
    ~TGraphicsObject() override;
    TNotifyEvent OnChange;
    // True when a GDI handle is currently made (tests and canvases use it).
    bool HandleAllocated() const { return FHandle != nullptr; }
    // Runs before the handle is deleted: a canvas that has it selected lets go of it.
    void SetBeforeFree(std::function<void()> hook) { FBeforeFree = std::move(hook); }

protected:
    virtual void Changed();
    HGDIOBJ GetHandleObject();
    void FreeHandle();
    virtual HGDIOBJ CreateHandleObject() = 0;

private:
    HGDIOBJ FHandle = nullptr;
    std::function<void()> FBeforeFree;
};

enum TFontStyle : uint8_t { fsBold = 1, fsItalic = 2, fsUnderline = 4, fsStrikeOut = 8 };
typedef uint8_t TFontStyles;   // a set of TFontStyle bits
enum TFontPitch { fpDefault, fpVariable, fpFixed };

class TFont : public TGraphicsObject {
public:
    KW_CLASS_NAME(TFont)
    TFont();
    void Assign(const TPersistent* source) override;

    HFONT Handle() { return (HFONT)GetHandleObject(); }
    // Takes the description of a font handle (the handle itself stays the caller's).
    void SetHandle(HFONT font);

    const std::wstring& Name() const { return FName; }
    void SetName(const std::wstring& value);
    int32_t Height() const { return FHeight; }
    void SetHeight(int32_t value);
    // Points at the screen's resolution; negative heights are character heights.
    int32_t Size() const;
    void SetSize(int32_t value);
    TColor Color() const { return FColor; }
    void SetColor(TColor value);
    TFontStyles Style() const { return FStyle; }
    void SetStyle(TFontStyles value);
    uint8_t Charset() const { return FCharset; }
    void SetCharset(uint8_t value);
    TFontPitch Pitch() const { return FPitch; }
    void SetPitch(TFontPitch value);
    // Escapement and orientation in tenths of a degree.
    int32_t Orientation() const { return FOrientation; }
    void SetOrientation(int32_t value);
    int32_t PixelsPerInch() const { return FPixelsPerInch; }
    void SetPixelsPerInch(int32_t value) { FPixelsPerInch = value; }

    // The LOGFONT that the handle is made from.
    LOGFONTW GetLogFont() const;

protected:
    HGDIOBJ CreateHandleObject() override;

private:
    std::wstring FName;
    int32_t FHeight;
    TColor FColor;
    TFontStyles FStyle = 0;
    uint8_t FCharset = DEFAULT_CHARSET;
    TFontPitch FPitch = fpDefault;
    int32_t FOrientation = 0;
    int32_t FPixelsPerInch;
};

enum TBrushStyle { bsSolid, bsClear, bsHorizontal, bsVertical, bsFDiagonal, bsBDiagonal, bsCross, bsDiagCross };

class TBrush : public TGraphicsObject {
public:
    KW_CLASS_NAME(TBrush)
    TBrush() = default;
    void Assign(const TPersistent* source) override;
    HBRUSH Handle() { return (HBRUSH)GetHandleObject(); }
    TColor Color() const { return FColor; }
    void SetColor(TColor value);
    TBrushStyle Style() const { return FStyle; }
    void SetStyle(TBrushStyle value);

protected:
    HGDIOBJ CreateHandleObject() override;

private:
    TColor FColor = clWhite;
    TBrushStyle FStyle = bsSolid;
};

enum TPenStyle { psSolid, psDash, psDot, psDashDot, psDashDotDot, psClear, psInsideFrame };

class TPen : public TGraphicsObject {
public:
    KW_CLASS_NAME(TPen)
    TPen() = default;
    void Assign(const TPersistent* source) override;
    HPEN Handle() { return (HPEN)GetHandleObject(); }
    TColor Color() const { return FColor; }
    void SetColor(TColor value);
    int32_t Width() const { return FWidth; }
    void SetWidth(int32_t value);
    TPenStyle Style() const { return FStyle; }
    void SetStyle(TPenStyle value);

protected:
    HGDIOBJ CreateHandleObject() override;

private:
    TColor FColor = clBlack;
    int32_t FWidth = 1;
    TPenStyle FStyle = psSolid;
};

// ---------------------------------------------------------------------------------------------
// Canvas
// ---------------------------------------------------------------------------------------------

class TGraphic;

// Drawing over a device context with a font, a brush and a pen that are selected into it when a
// drawing call needs them. Text is drawn with a transparent background while the brush is clear.
class TCanvas : public TPersistent {
public:
    KW_CLASS_NAME(TCanvas)
    TCanvas();
    ~TCanvas() override;

    // The device context with the font, pen and brush selected; a canvas without one asks
    // CreateHandle (none for a plain canvas).
    HDC Handle();
    // Attaches a device context (0 detaches it); the previous context gets its own objects back.
    void SetHandle(HDC dc);
    bool HandleAllocated() const { return FHandle != nullptr; }

    TFont* Font() const { return FFont.get(); }
    TBrush* Brush() const { return FBrush.get(); }
    TPen* Pen() const { return FPen.get(); }
    void SetFont(TFont* value) { FFont->Assign(value); }
    void SetBrush(TBrush* value) { FBrush->Assign(value); }
    void SetPen(TPen* value) { FPen->Assign(value); }

    // Raster operation of CopyRect and of drawing bitmaps (SRCCOPY by default).
    DWORD CopyMode = SRCCOPY;
    POINT PenPos() const { return FPenPos; }

    void FillRect(const RECT& rect);
    void FrameRect(const RECT& rect);
    void Rectangle(int32_t x1, int32_t y1, int32_t x2, int32_t y2);
    void Rectangle(const RECT& rect) { Rectangle(rect.left, rect.top, rect.right, rect.bottom); }
    void Ellipse(int32_t x1, int32_t y1, int32_t x2, int32_t y2);
    void MoveTo(int32_t x, int32_t y);
    void LineTo(int32_t x, int32_t y);
    void DrawFocusRect(const RECT& rect);
    void TextOut(int32_t x, int32_t y, const std::wstring& text);
    // Text at (x, y) clipped to the rectangle (the rectangle is filled first unless the brush is clear).
    void TextRect(const RECT& rect, int32_t x, int32_t y, const std::wstring& text);
    SIZE TextExtent(const std::wstring& text);
    int32_t TextWidth(const std::wstring& text) { return TextExtent(text).cx; }
    int32_t TextHeight(const std::wstring& text) { return TextExtent(text).cy; }
    void Draw(int32_t x, int32_t y, TGraphic* graphic);
    void StretchDraw(const RECT& rect, TGraphic* graphic);
    void CopyRect(const RECT& dest, TCanvas* source, const RECT& src);
    TColor GetPixel(int32_t x, int32_t y);
    void SetPixel(int32_t x, int32_t y, TColor color);
    RECT ClipRect();

    // Serialises use of the canvas between threads; nests on one thread.
    void Lock();
    void Unlock();
    bool TryLock();
    int32_t LockCount() const { return FLockCount; }

    // Drops the selected objects so that the next drawing call selects them anew.
    void Refresh();

    TNotifyEvent OnChange;
    TNotifyEvent OnChanging;

protected:
    enum TState : uint8_t { csHandleValid = 1, csFontValid = 2, csPenValid = 4, csBrushValid = 8 };
    virtual void CreateHandle() {}
    virtual void Changing();
    virtual void Changed();
    // Makes sure the context exists and has the named objects selected (TState bits).
    void RequiredState(uint8_t required);
    void DeselectHandles();
    HDC RawHandle() const { return FHandle; }

private:
    void FontChanged(TObject*);
    void PenChanged(TObject*);
    void BrushChanged(TObject*);

    HDC FHandle = nullptr;
    uint8_t FState = 0;
    std::unique_ptr<TFont> FFont;
    std::unique_ptr<TPen> FPen;
    std::unique_ptr<TBrush> FBrush;
    POINT FPenPos{0, 0};
    HGDIOBJ FOldFont = nullptr, FOldPen = nullptr, FOldBrush = nullptr;
    CRITICAL_SECTION FLock;
    int32_t FLockCount = 0;
};

// ---------------------------------------------------------------------------------------------
// Graphics: bitmap and picture
// ---------------------------------------------------------------------------------------------

// An image that can draw itself onto a canvas.
class TGraphic : public TPersistent {
public:
    KW_CLASS_NAME(TGraphic)
    virtual int32_t Width() const = 0;
    virtual int32_t Height() const = 0;
    virtual void SetWidth(int32_t value) = 0;
    virtual void SetHeight(int32_t value) = 0;
    virtual bool Empty() const = 0;
    virtual bool Transparent() const { return FTransparent; }
    virtual void SetTransparent(bool value);
    virtual void LoadFromStream(TStream* stream) = 0;
    // Draws the graphic stretched into the rectangle of the canvas.
    virtual void Draw(TCanvas* canvas, const RECT& rect) = 0;

    TNotifyEvent OnChange;

protected:
    virtual void Changed();
    bool FTransparent = false;
};

enum TPixelFormat { pfDevice, pf1bit, pf4bit, pf8bit, pf24bit, pf32bit };
enum TTransparentMode { tmAuto, tmFixed };

class TBitmap;

// The bitmap's own canvas: a memory context with the DIB section selected.
class TBitmapCanvas : public TCanvas {
public:
    KW_CLASS_NAME(TBitmapCanvas)
    explicit TBitmapCanvas(TBitmap* bitmap) : FBitmap(bitmap) {}
    ~TBitmapCanvas() override;
    void FreeContext();

protected:
    void CreateHandle() override;

private:
    friend class TBitmap;
    TBitmap* FBitmap;
    HGDIOBJ FOldBitmap = nullptr;
};

// A device-independent bitmap (DIB section) with top-down row access.
class TBitmap : public TGraphic {
public:
    KW_CLASS_NAME(TBitmap)
    TBitmap();
    ~TBitmap() override;
    void Assign(const TPersistent* source) override;

    int32_t Width() const override { return FWidth; }
    int32_t Height() const override { return FHeight; }
    void SetWidth(int32_t value) override { SetSize(value, FHeight); }
    void SetHeight(int32_t value) override { SetSize(FWidth, value); }
    // Resizes; the overlapping part of the old pixels stays, new pixels are black.
    void SetSize(int32_t width, int32_t height);
    bool Empty() const override { return FWidth == 0 || FHeight == 0; }

    TPixelFormat PixelFormat() const { return FPixelFormat; }
    void SetPixelFormat(TPixelFormat value);
    // Bits per pixel of the storage (pfDevice is stored as 24 bits).
    int32_t BitCount() const;
    // Bytes per row, padded to 4.
    int32_t RowBytes() const;

    TCanvas* Canvas();
    HBITMAP Handle() const { return FDIB; }
    // Row y counted from the top; GDI drawing is flushed first.
    void* ScanLine(int32_t y);

    // Colour table of 1, 4 and 8 bit bitmaps.
    int32_t GetColorTable(RGBQUAD* entries, int32_t count) const;
    void SetColorTable(const RGBQUAD* entries, int32_t count);

    TTransparentMode TransparentMode() const { return FTransparentMode; }
    void SetTransparentMode(TTransparentMode value);
    // tmAuto: the colour of the bottom-left pixel; tmFixed: the colour set.
    TColor TransparentColor();
    void SetTransparentColor(TColor value);

    // A BMP file from the stream's position.
    void LoadFromStream(TStream* stream) override;
    // A bitmap resource (RT_BITMAP) of the module.
    void LoadFromResourceName(HINSTANCE instance, const std::wstring& name);
    // A packed DIB: header, colour table and bits, `size` bytes in all.
    void LoadFromDIB(const void* data, size_t size, size_t bitsOffset = 0);

    void Draw(TCanvas* canvas, const RECT& rect) override;

private:
    friend class TBitmapCanvas;
    void CanvasChanged(TObject*);
    void Recreate(int32_t width, int32_t height, TPixelFormat format, bool keep);
    void FreeDIB();

    HBITMAP FDIB = nullptr;
    void* FBits = nullptr;
    int32_t FWidth = 0, FHeight = 0;
    TPixelFormat FPixelFormat = pf24bit;
    TTransparentMode FTransparentMode = tmAuto;
    TColor FTransparentColor = clDefault;
    std::unique_ptr<TBitmapCanvas> FCanvas;
};

// Holds one graphic (here always a bitmap) and reports its changes.
class TPicture : public TPersistent {
public:
    KW_CLASS_NAME(TPicture)
    TPicture() = default;
    ~TPicture() override;
    void Assign(const TPersistent* source) override;

    // The graphic, or nullptr while empty.
    TGraphic* Graphic() const { return FGraphic.get(); }
    // Copies the graphic (nullptr empties the picture).
    void SetGraphic(const TGraphic* value);
    // The graphic as a bitmap; an empty picture gets a new empty bitmap.
    TBitmap* Bitmap();
    int32_t Width() const { return FGraphic ? FGraphic->Width() : 0; }
    int32_t Height() const { return FGraphic ? FGraphic->Height() : 0; }

    TNotifyEvent OnChange;

private:
    void Changed(TObject*);
    void Adopt(std::unique_ptr<TGraphic> graphic);
    std::unique_ptr<TGraphic> FGraphic;
};
