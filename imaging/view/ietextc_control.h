// The rich-text control of the memo objects: a single-byte text (ANSI, line breaks as LF) in which
// every character carries a shared format (font, size, style, colours, paragraph alignment), with
// editing, keys, mouse, the clipboard, and the layout and drawing of the text in a box. Under a
// double-byte code page (932) a lead byte and its trail byte stay together: edits, caret moves and
// line wraps never part them. TIEEdit is the single-line edit of text objects.
// Windows build only (a window control).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Controls.h"
#include "Graphics.h"
#include "StdCtrls.h"
#include "iegdiplus_canvas.h"
#include "ietextc.h"

// How the layout measures characters in the canvas' current font. The default measures with the
// canvas; tests install fixed metrics so that wrapping and caret positions need no fonts.
class TIETextMetrics {
public:
    virtual ~TIETextMetrics() = default;
    // The advance of one character (one or two bytes of the ANSI code page).
    virtual int32_t CharWidth(TIECanvas& Canvas, const std::string& Chars) = 0;
    // Height, internal leading and descent of the canvas' font.
    virtual void FontMetrics(TIECanvas& Canvas, int32_t& Height, int32_t& Leading, int32_t& Descent) = 0;
};

// The measures of the font selected into the canvas.
class TIECanvasTextMetrics : public TIETextMetrics {
public:
    int32_t CharWidth(TIECanvas& Canvas, const std::string& Chars) override;
    void FontMetrics(TIECanvas& Canvas, int32_t& Height, int32_t& Leading, int32_t& Descent) override;
};

// The length of the leading part of Bytes that holds whole characters of the ANSI code page (a
// final lead byte without its trail is left out).
size_t IEWholeCharBytes(const std::string& Bytes);

// Array sizes grow in whole blocks of 256 bytes: the number of elements of ElementSize bytes that
// the smallest such size holding Count + 1 elements has room for.
int32_t IETextControlGrowBlock(int32_t Count, int32_t ElementSize);

class TIETextControl : public TCustomControl {
public:
    KW_CLASS_NAME(TIETextControl)
    explicit TIETextControl(TComponent* AOwner);
    ~TIETextControl() override;

    // ---- The text model. A caller hands over the text, the per-character format indexes and the
    // format list (moves them in, calls LoadText) and takes them back after editing (moves them out).
    std::string TextBuf;                  // ANSI characters, line breaks as LF
    int32_t TextLen = 0;
    int32_t CaretPos = 0;                 // 0..TextLen
    std::vector<TIECharFormat> Formats;   // shared formats
    std::vector<int32_t> CharFormats;     // per character: index into Formats

    TBitmap* GetOffscreenBitmap() { return FOffscreenBitmap.get(); }
    // Written by the layout, in output pixels relative to the box.
    int32_t CaretX = 0, CaretY = 0, CaretHeight = 0;
    TBrush* GetTextBrush() { return FTextBrush.get(); }
    TPen* GetBorderPen() { return FBorderPen.get(); }
    TBrush* GetBackgroundBrush() { return FBackgroundBrush.get(); }
    bool InsertMode = true;
    uint8_t Alignment = kIEAlignLeft;
    double Zoom = 1.0;
    int32_t SelStart = 0, SelEnd = 0;     // both 0: no selection; else SelStart < SelEnd (exclusive)
    int32_t AnchorX = 0, AnchorY = 0;     // the last mouse press
    TIECharFormat CurrentFormat;          // the format typed characters get
    bool FixedColors = false;
    bool GetSingleFormat() const { return FSingleFormat; }
    void SetSingleFormat(bool Value);
    bool AutoHeight = false;
    int32_t LineSpacing = 0;
    int32_t FixedLineHeight = 0;
    // Per character plus one: metrics (0 until measured) and positions (-1 until laid out).
    std::vector<uint16_t> CharHeights, CharWidths;
    std::vector<uint8_t> CharLeadings, CharDescents;
    std::vector<int32_t> CharX, CharY;
    bool CaptureText = false;
    std::string CapturedText;             // the laid-out lines, LF between them
    TNotifyEvent OnCursorMoved;
    TBitmap* BackgroundBitmap = nullptr;  // not owned
    double MarginLeft = 0, MarginTop = 0, MarginRight = 0, MarginBottom = 0;   // per cent
    // The measures of the layout (nullptr: the canvas' own); not owned.
    TIETextMetrics* Metrics = nullptr;
    // The dialogs of Ctrl+F and Ctrl+G (the system's font and colour dialogs); true when confirmed.
    std::function<bool(TFont& Font)> ExecuteFontDialog;
    std::function<bool(TColor& Color)> ExecuteColorDialog;

    // Takes over TextBuf, CharFormats and Formats: no selection, caret 0, missing formats made
    // from Font, TextBrush and Alignment; format indexes that point nowhere become 0.
    void LoadText();
    // Drops the records that no character uses and renumbers the indexes.
    void CompactFormats();
    int32_t FindFormat(const TIECharFormat& Format) const;
    void SetCharFormat(int32_t Index, const TIECharFormat& Format);
    void GetCharFormat(int32_t Index, TIECharFormat& Format) const;
    void InsertChar(char Ch);
    int32_t DeleteChar(int32_t Index);
    void ResetLayout(int32_t Index, int32_t Count);
    void ClearSelection() { SelStart = SelEnd = 0; }
    void DeleteSelection();
    void ExtendSelection(int32_t OldCaret, TShiftState Shift);
    bool CaretLeft();
    bool CaretRight();
    void WordLeft();
    void WordRight();
    void LineStart();
    void LineEnd();
    void LineUp();
    void LineDown();
    void CaretFromPoint(int32_t X, int32_t Y);
    void GrowSelectionFont();
    void ShrinkSelectionFont();
    void SetSelectionFont(TFont* AFont);
    void SetSelectionBackColor(TColor Color);
    void ToggleSelectionStyle(TFontStyle Style);
    void SetParagraphAlignment(uint8_t Value);
    void CopyToClipboard();
    void PasteFromClipboard();
    void Update() override;
    void DoCursorMoved();

    // Lays the text out in a box and draws it: X, Y place the box in output pixels, Width and
    // Height are layout pixels (output size / Zoom).
    void Render(TIECanvas& Canvas, int32_t X, int32_t Y, int32_t Width, int32_t Height);
    void PaintBackground();

    // Keys and characters as the window receives them (public for the object layer and tests).
    void KeyDown(uint16_t& Key, TShiftState Shift) override;
    void KeyPress(wchar_t& Key) override;

    // The index where the character holding byte Index starts (a trail byte gives its lead).
    int32_t CharStart(int32_t Index) const;
    // The number of bytes of the character that starts at Index (1, or 2 for a lead byte).
    int32_t CharSize(int32_t Index) const;

protected:
    void CreateParams(TCreateParams& Params) override;
    void Paint() override;
    void Dispatch(TMessage& Message) override;
    void MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) override;
    void MouseMove(TShiftState Shift, int32_t X, int32_t Y) override;

private:
    friend class TIETextLayout;
    // Deletes the whole character at Index (both bytes of a pair).
    void DeleteWholeChar(int32_t Index);
    // Inserts bytes at the caret with CurrentFormat; a lead byte without its trail is dropped.
    void InsertBytes(const std::string& Bytes);
    // Applies Modify to CurrentFormat and to a copy of each selected character's format.
    template <class TModify>
    void ModifySelection(TModify Modify);
    // Paints first when the positions of the last layout were discarded and a repaint is pending.
    void LayOutPending();
    void FormatFromCaret();
    void SelectWordAtCaret();
    void GrowArrays();
    // The six per-character arrays for the text's length: metrics 0, positions -1.
    void NewLayoutArrays();
    TIECharFormat FormatFromFont() const;

    std::unique_ptr<TBitmap> FOffscreenBitmap;
    std::unique_ptr<TBrush> FTextBrush;
    std::unique_ptr<TPen> FBorderPen;
    std::unique_ptr<TBrush> FBackgroundBrush;
    bool FSingleFormat = false;
};

// The single-line edit of text objects: Tab is not typed.
class TIEEdit : public TEdit {
public:
    KW_CLASS_NAME(TIEEdit)
    explicit TIEEdit(TComponent* AOwner);
    void KeyPress(wchar_t& Key) override;
};
