// The rich-text control: text model, editing, keys and mouse.
#include <algorithm>
#include <cstring>

#include "SysUtils.h"
#include "WinApi.h"
#include "ietextc_control.h"

#include <commdlg.h>

namespace {

constexpr char kLF = '\n';

bool IsLeadByte(char Ch) { return IsDBCSLeadByte(static_cast<BYTE>(Ch)) != FALSE; }

uint8_t Code(char Ch) { return static_cast<uint8_t>(Ch); }

// The system's font dialog, preset with the font; the choice goes back into it.
bool SystemFontDialog(TFont& Font) {
    LOGFONTW lf = Font.GetLogFont();
    CHOOSEFONTW cf{};
    cf.lStructSize = sizeof cf;
    cf.lpLogFont = &lf;
    cf.rgbColors = static_cast<COLORREF>(ColorToRGB(Font.Color()));
    cf.Flags = CF_SCREENFONTS | CF_EFFECTS | CF_INITTOLOGFONTSTRUCT;
    if (!ChooseFontW(&cf)) return false;
    Font.SetName(lf.lfFaceName);
    Font.SetHeight(lf.lfHeight);
    Font.SetStyle(static_cast<TFontStyles>((lf.lfWeight >= FW_BOLD ? fsBold : 0) | (lf.lfItalic ? fsItalic : 0) |
                                           (lf.lfUnderline ? fsUnderline : 0) | (lf.lfStrikeOut ? fsStrikeOut : 0)));
    Font.SetColor(static_cast<TColor>(cf.rgbColors));
    return true;
}

bool SystemColorDialog(TColor& Color) {
    static COLORREF custom[16] = {};
    CHOOSECOLORW cc{};
    cc.lStructSize = sizeof cc;
    cc.rgbResult = static_cast<COLORREF>(ColorToRGB(Color));
    cc.lpCustColors = custom;
    cc.Flags = CC_RGBINIT | CC_FULLOPEN;
    if (!ChooseColorW(&cc)) return false;
    Color = static_cast<TColor>(cc.rgbResult);
    return true;
}

}   // namespace

int32_t IETextControlGrowBlock(int32_t Count, int32_t ElementSize) {
    const int64_t bytes = (static_cast<int64_t>(Count) + 1) * ElementSize;
    const int64_t blocks = (bytes + 255) / 256;
    return static_cast<int32_t>(blocks * 256 / ElementSize);
}

// ---- Creation -------------------------------------------------------------------------------

TIETextControl::TIETextControl(TComponent* AOwner)
    : TCustomControl(AOwner),
      CurrentFormat(IEEmptyCharFormat()),
      FOffscreenBitmap(std::make_unique<TBitmap>()),
      FTextBrush(std::make_unique<TBrush>()),
      FBorderPen(std::make_unique<TPen>()),
      FBackgroundBrush(std::make_unique<TBrush>()) {
    ControlStyle |= csOpaque | csDoubleClicks | csCaptureMouse;
    FOffscreenBitmap->SetPixelFormat(pf24bit);
    SetParentFont(false);
    DialogCode = DLGC_WANTARROWS | DLGC_WANTTAB | DLGC_WANTCHARS;
    if (AOwner) SetCursor(crIBeam);
    ExecuteFontDialog = SystemFontDialog;
    ExecuteColorDialog = SystemColorDialog;
}

TIETextControl::~TIETextControl() = default;

void TIETextControl::CreateParams(TCreateParams& Params) {
    TCustomControl::CreateParams(Params);
    Params.WindowClass.style &= ~(CS_HREDRAW | CS_VREDRAW);
}

TIECharFormat TIETextControl::FormatFromFont() const {
    TIECharFormat f = IEEmptyCharFormat();
    IESetCharFormatFontName(f, WideToAnsi(Font()->Name()));
    f.FontHeight = Font()->Height();
    f.FontStyle = Font()->Style();
    f.FontColor = Font()->Color();
    f.BackColor = FTextBrush->Color();
    f.BackStyle = static_cast<uint8_t>(FTextBrush->Style());
    f.Alignment = Alignment;
    return f;
}

// ---- The text model -------------------------------------------------------------------------

void TIETextControl::LoadText() {
    ClearSelection();
    CaretPos = 0;
    const size_t nul = TextBuf.find('\0');
    if (nul != std::string::npos) TextBuf.resize(nul);
    TextLen = static_cast<int32_t>(TextBuf.size());
    CharFormats.resize(TextLen, 0);
    if (Formats.empty() && TextLen > 0) {
        TIECharFormat f = FormatFromFont();
        f.RefCount = TextLen;
        Formats.push_back(f);
        std::fill(CharFormats.begin(), CharFormats.end(), 0);
    }
    // An index that points at no record (a damaged stream) takes the first one.
    for (int32_t& index : CharFormats)
        if (index < 0 || index >= static_cast<int32_t>(Formats.size())) index = 0;
    NewLayoutArrays();
    CurrentFormat = FormatFromFont();
    PaintBackground();
}

void TIETextControl::CompactFormats() {
    // The counts are taken from the characters themselves: a record still in use is never dropped,
    // whatever its stored count says.
    std::vector<int32_t> used(Formats.size(), 0);
    for (int32_t index : CharFormats)
        if (index >= 0 && index < static_cast<int32_t>(used.size())) ++used[index];
    std::vector<int32_t> newIndex(Formats.size(), 0);
    std::vector<TIECharFormat> kept;
    for (size_t i = 0; i < Formats.size(); ++i) {
        newIndex[i] = static_cast<int32_t>(kept.size());
        if (Formats[i].RefCount > 0 || used[i] > 0) {
            kept.push_back(Formats[i]);
            kept.back().RefCount = std::max(Formats[i].RefCount, used[i]);
        }
    }
    for (int32_t& index : CharFormats)
        if (index >= 0 && index < static_cast<int32_t>(newIndex.size())) index = newIndex[index];
    Formats = std::move(kept);
}

int32_t TIETextControl::FindFormat(const TIECharFormat& Format) const {
    for (size_t i = 0; i < Formats.size(); ++i)
        if (IESameCharFormat(Formats[i], Format)) return static_cast<int32_t>(i);
    return -1;
}

void TIETextControl::SetCharFormat(int32_t Index, const TIECharFormat& Format) {
    if (Index < 0 || Index >= static_cast<int32_t>(CharFormats.size())) return;
    int32_t f = FindFormat(Format);
    if (f < 0) {
        Formats.push_back(Format);
        Formats.back().RefCount = 0;
        f = static_cast<int32_t>(Formats.size()) - 1;
    }
    CharFormats[Index] = f;
    ++Formats[f].RefCount;
}

void TIETextControl::GetCharFormat(int32_t Index, TIECharFormat& Format) const {
    if (TextLen <= 0) return;
    Index = std::clamp(Index, 0, TextLen - 1);
    const int32_t f = Index < static_cast<int32_t>(CharFormats.size()) ? CharFormats[Index] : -1;
    if (f >= 0 && f < static_cast<int32_t>(Formats.size())) Format = Formats[f];
}

void TIETextControl::NewLayoutArrays() {
    const size_t n = static_cast<size_t>(TextLen) + 1;
    CharHeights.assign(n, 0);
    CharWidths.assign(n, 0);
    CharLeadings.assign(n, 0);
    CharDescents.assign(n, 0);
    CharX.assign(n, -1);
    CharY.assign(n, -1);
}

void TIETextControl::GrowArrays() {
    const int32_t n = TextLen + 1;
    CharHeights.reserve(IETextControlGrowBlock(n, sizeof(uint16_t)));
    CharWidths.reserve(IETextControlGrowBlock(n, sizeof(uint16_t)));
    CharLeadings.reserve(IETextControlGrowBlock(n, sizeof(uint8_t)));
    CharDescents.reserve(IETextControlGrowBlock(n, sizeof(uint8_t)));
    CharX.reserve(IETextControlGrowBlock(n, sizeof(int32_t)));
    CharY.reserve(IETextControlGrowBlock(n, sizeof(int32_t)));
}

void TIETextControl::InsertChar(char Ch) {
    CaretPos = std::clamp(CaretPos, 0, TextLen);
    TextBuf.insert(TextBuf.begin() + CaretPos, Ch);
    CharFormats.insert(CharFormats.begin() + CaretPos, 0);
    SetCharFormat(CaretPos, CurrentFormat);
    GrowArrays();
    CharHeights.insert(CharHeights.begin() + CaretPos, 0);
    CharWidths.insert(CharWidths.begin() + CaretPos, 0);
    CharLeadings.insert(CharLeadings.begin() + CaretPos, 0);
    CharDescents.insert(CharDescents.begin() + CaretPos, 0);
    CharX.insert(CharX.begin() + CaretPos, -1);
    CharY.insert(CharY.begin() + CaretPos, -1);
    ++TextLen;
    ResetLayout(CaretPos, TextLen + 1 - CaretPos);
    ++CaretPos;
}

int32_t TIETextControl::DeleteChar(int32_t Index) {
    if (Index >= 0 && Index < TextLen) {
        const int32_t f = CharFormats[Index];
        if (f >= 0 && f < static_cast<int32_t>(Formats.size()) && Formats[f].RefCount > 0) --Formats[f].RefCount;
        TextBuf.erase(TextBuf.begin() + Index);
        CharFormats.erase(CharFormats.begin() + Index);
        CharHeights.erase(CharHeights.begin() + Index);
        CharWidths.erase(CharWidths.begin() + Index);
        CharLeadings.erase(CharLeadings.begin() + Index);
        CharDescents.erase(CharDescents.begin() + Index);
        CharX.erase(CharX.begin() + Index);
        CharY.erase(CharY.begin() + Index);
        --TextLen;
        ResetLayout(Index, TextLen + 1 - Index);
    }
    return Index;
}

void TIETextControl::DeleteWholeChar(int32_t Index) {
    if (Index < 0 || Index >= TextLen) return;
    Index = CharStart(Index);
    for (int32_t n = CharSize(Index); n > 0; --n) DeleteChar(Index);
}

void TIETextControl::ResetLayout(int32_t Index, int32_t Count) {
    const int32_t n = static_cast<int32_t>(CharX.size());
    for (int32_t i = std::max(Index, 0); i < n && i < Index + Count; ++i) {
        CharHeights[i] = 0;
        CharWidths[i] = 0;
        CharLeadings[i] = 0;
        CharDescents[i] = 0;
        CharX[i] = -1;
        CharY[i] = -1;
    }
}

int32_t TIETextControl::CharStart(int32_t Index) const {
    int32_t i = 0;
    while (i < Index) {
        const int32_t step = CharSize(i);
        if (i + step > Index) return i;
        i += step;
    }
    return Index;
}

int32_t TIETextControl::CharSize(int32_t Index) const {
    return (Index + 1 < TextLen && IsLeadByte(TextBuf[Index])) ? 2 : 1;
}

size_t IEWholeCharBytes(const std::string& Bytes) {
    for (size_t i = 0; i < Bytes.size(); ++i) {
        if (IsLeadByte(Bytes[i])) {
            if (i + 1 >= Bytes.size()) return i;
            ++i;
        }
    }
    return Bytes.size();
}

void TIETextControl::InsertBytes(const std::string& Bytes) {
    // Half a character is dropped rather than stored.
    const size_t n = IEWholeCharBytes(Bytes);
    for (size_t i = 0; i < n; ++i) InsertChar(Bytes[i]);
}

void TIETextControl::DeleteSelection() {
    if (SelStart >= SelEnd) return;
    for (int32_t i = SelEnd - 1; i >= SelStart; --i) DeleteChar(i);
    CaretPos = SelStart;
    ClearSelection();
}

void TIETextControl::ExtendSelection(int32_t OldCaret, TShiftState Shift) {
    if (!(Shift & ssShift)) {
        ClearSelection();
        return;
    }
    if (SelStart == 0 && SelEnd == 0) {
        SelStart = OldCaret;
        SelEnd = CaretPos;
    } else if (CaretPos > OldCaret) {
        if (SelEnd < CaretPos) SelEnd = CaretPos;
        else SelStart = CaretPos;
    } else {
        if (CaretPos < SelStart) SelStart = CaretPos;
        else SelEnd = CaretPos;
    }
    if (SelEnd < SelStart) std::swap(SelStart, SelEnd);
}

// ---- Caret moves ----------------------------------------------------------------------------

bool TIETextControl::CaretLeft() {
    if (CaretPos <= 0) return false;
    CaretPos = CharStart(CaretPos - 1);
    return true;
}

bool TIETextControl::CaretRight() {
    if (CaretPos >= TextLen) return false;
    CaretPos = std::min(TextLen, CaretPos + CharSize(CaretPos));
    return true;
}

void TIETextControl::WordLeft() {
    if (TextLen == 0) return;
    int32_t p = std::min(CaretPos, TextLen) - 1;
    if (p < 0) p = 0;
    while (p > 0 && Code(TextBuf[p]) < 33) --p;
    while (p > 0 && Code(TextBuf[p]) > 32) --p;
    if (Code(TextBuf[p]) <= 32) ++p;
    CaretPos = CharStart(std::clamp(p, 0, TextLen - 1));
}

void TIETextControl::WordRight() {
    if (TextLen == 0) return;
    int32_t p = CaretPos;
    while (p < TextLen && Code(TextBuf[p]) < 33) ++p;
    while (p < TextLen && Code(TextBuf[p]) > 32) ++p;
    CaretPos = CharStart(std::clamp(p, 0, TextLen - 1));
}

void TIETextControl::LineStart() {
    while (CaretPos > 0 && CharY[CaretPos - 1] >= CaretY) --CaretPos;
    CaretPos = CharStart(CaretPos);
}

void TIETextControl::LineEnd() {
    while (CaretPos < TextLen && CharY[CaretPos] == CaretY) ++CaretPos;
    if (CaretPos < TextLen) CaretPos = CharStart(CaretPos - 1);
}

void TIETextControl::LineUp() {
    int32_t i = std::min(CaretPos, TextLen) - 1;
    while (i >= 0 && (CharY[i] < 0 || CharY[i] >= CaretY)) --i;
    if (i < 0) return;
    const int32_t lineY = CharY[i];
    while (i > 0 && CharY[i] == lineY && CharX[i] > CaretX) --i;
    if (CharY[i] != lineY) ++i;   // passed the line's start: its first character is the nearest
    if (i + 1 < TextLen && CharY[i + 1] == lineY &&
        std::abs(CharX[i + 1] - CaretX) < std::abs(CharX[i] - CaretX))
        ++i;
    CaretPos = CharStart(i);
}

void TIETextControl::LineDown() {
    int32_t i = CaretPos;
    while (i < TextLen && (CharY[i] < 0 || CharY[i] <= CaretY)) ++i;
    if (i >= TextLen) return;
    const int32_t lineY = CharY[i];
    // The end of the text is a place too: down onto a shorter last line reaches its end.
    const int32_t last = std::min(TextLen, static_cast<int32_t>(CharY.size()) - 1);
    while (i + 1 <= last && CharY[i + 1] == lineY && CharX[i] < CaretX) ++i;
    if (i > 0 && CharY[i - 1] == lineY && std::abs(CharX[i - 1] - CaretX) < std::abs(CharX[i] - CaretX)) --i;
    CaretPos = CharStart(i);
}

void TIETextControl::CaretFromPoint(int32_t X, int32_t Y) {
    int32_t i = 0;
    while (i < TextLen && CharY[i] <= Y) ++i;
    if (i < TextLen) --i;
    // Back along the line only: a point left of an indented line is its start, not the line above.
    while (i > 0 && CharY[i - 1] == CharY[i] && X < CharX[i] - 1) --i;
    CaretPos = CharStart(std::max(i, 0));
    GetCharFormat(CaretPos - 1, CurrentFormat);
}

void TIETextControl::FormatFromCaret() { GetCharFormat(CaretPos - 1, CurrentFormat); }

// ---- Formatting of the selection ------------------------------------------------------------

template <class TModify>
void TIETextControl::ModifySelection(TModify Modify) {
    Modify(CurrentFormat);
    if (SelStart >= SelEnd) return;
    for (int32_t i = SelStart; i < SelEnd && i < TextLen; ++i) {
        TIECharFormat f = CurrentFormat;
        GetCharFormat(i, f);
        Modify(f);
        SetCharFormat(i, f);
    }
    ResetLayout(SelStart, TextLen + 1 - SelStart);
}

void TIETextControl::GrowSelectionFont() {
    ModifySelection([](TIECharFormat& f) {
        f.FontHeight = f.FontHeight < 0 ? f.FontHeight - 1 : f.FontHeight + 1;
        if (f.FontHeight == 0) f.FontHeight = 1;
    });
}

void TIETextControl::ShrinkSelectionFont() {
    ModifySelection([](TIECharFormat& f) {
        f.FontHeight = f.FontHeight < 0 ? f.FontHeight + 1 : f.FontHeight - 1;
        if (f.FontHeight == 0) f.FontHeight = 1;
    });
}

void TIETextControl::SetSelectionFont(TFont* AFont) {
    if (!AFont) return;
    const std::string name = WideToAnsi(AFont->Name());
    ModifySelection([&](TIECharFormat& f) {
        IESetCharFormatFontName(f, name);
        f.FontHeight = AFont->Height();
        f.FontStyle = AFont->Style();
        f.FontColor = AFont->Color();
    });
}

void TIETextControl::SetSelectionBackColor(TColor Color) {
    ModifySelection([&](TIECharFormat& f) { f.BackColor = Color; });
}

void TIETextControl::ToggleSelectionStyle(TFontStyle Style) {
    bool add;
    if (SelStart < SelEnd) {
        TIECharFormat first = CurrentFormat;
        GetCharFormat(SelStart, first);
        add = (first.FontStyle & Style) == 0;
    } else {
        add = (CurrentFormat.FontStyle & Style) == 0;
    }
    ModifySelection([&](TIECharFormat& f) {
        f.FontStyle = static_cast<uint8_t>(add ? (f.FontStyle | Style) : (f.FontStyle & ~Style));
    });
}

void TIETextControl::SetParagraphAlignment(uint8_t Value) {
    int32_t s = std::clamp(CaretPos, 0, TextLen), e = s;
    while (s > 0 && TextBuf[s - 1] != kLF) --s;
    while (e < TextLen && TextBuf[e] != kLF) ++e;
    for (int32_t i = s; i < e; ++i) {
        TIECharFormat f = CurrentFormat;
        GetCharFormat(i, f);
        f.Alignment = Value;
        SetCharFormat(i, f);
    }
    CurrentFormat.Alignment = Value;
    ResetLayout(s, TextLen + 1 - s);
}

void TIETextControl::SetSingleFormat(bool Value) {
    FSingleFormat = Value;
    Update();
}

void TIETextControl::Update() {
    ResetLayout(0, TextLen + 1);
    Invalidate();
}

void TIETextControl::LayOutPending() {
    // Every edit and move discards the positions; the next paint lays them out again. Keys and
    // mouse moves come in ahead of that paint, so the paint is done first.
    const bool stale = static_cast<int32_t>(CharY.size()) >= TextLen &&
                       std::find(CharY.begin(), CharY.begin() + TextLen, -1) != CharY.begin() + TextLen;
    if (stale && HandleAllocated()) {
        Invalidate();
        TCustomControl::Update();
    }
}

void TIETextControl::DoCursorMoved() {
    if (OnCursorMoved) OnCursorMoved(this);
}

// ---- Keys -----------------------------------------------------------------------------------

void TIETextControl::KeyDown(uint16_t& Key, TShiftState Shift) {
    LayOutPending();
    const int32_t oldCaret = CaretPos;
    bool moved = false;
    switch (Key) {
    case VK_BACK:
        if (SelStart < SelEnd) DeleteSelection();
        else if (CaretLeft()) DeleteWholeChar(CaretPos);
        Update();
        break;
    case VK_RETURN:
        InsertChar(kLF);
        Update();
        break;
    case VK_END:
        if (Shift & ssCtrl) CaretPos = TextLen;
        else LineEnd();
        moved = true;
        break;
    case VK_HOME:
        if (Shift & ssCtrl) CaretPos = 0;
        else LineStart();
        moved = true;
        break;
    case VK_LEFT:
        if (Shift & ssCtrl) WordLeft();
        else CaretLeft();
        moved = true;
        break;
    case VK_UP: LineUp(); moved = true; break;
    case VK_RIGHT:
        if (Shift & ssCtrl) WordRight();
        else CaretRight();
        moved = true;
        break;
    case VK_DOWN: LineDown(); moved = true; break;
    case VK_INSERT: InsertMode = !InsertMode; break;
    case VK_DELETE:
        if (SelStart < SelEnd) DeleteSelection();
        else DeleteWholeChar(CaretPos);
        Update();
        break;
    case VK_F1:
        if (Shift & ssShift) {
            ShrinkSelectionFont();
            Update();
        }
        break;
    case VK_F2:
        if (Shift & ssShift) {
            GrowSelectionFont();
            Update();
        }
        break;
    default: break;
    }
    if (moved && CaretPos != oldCaret) {
        FormatFromCaret();
        ExtendSelection(oldCaret, Shift);
        Update();
    }

    if ((Shift & (ssShift | ssCtrl | ssAlt)) == ssCtrl) {
        switch (Key) {
        case 'L': SetParagraphAlignment(kIEAlignLeft); Update(); break;
        case 'E': SetParagraphAlignment(kIEAlignCenter); Update(); break;
        case 'R': SetParagraphAlignment(kIEAlignRight); Update(); break;
        case 'J': SetParagraphAlignment(kIEAlignJustify); Update(); break;
        case 'C': CopyToClipboard(); break;
        case 'X':
            CopyToClipboard();
            DeleteSelection();
            Update();
            break;
        case 'V':
            DeleteSelection();
            PasteFromClipboard();
            Update();
            break;
        case 'F':
            if (!FSingleFormat && ExecuteFontDialog) {
                TFont font;
                font.SetName(AnsiToWide(IECharFormatFontName(CurrentFormat)));
                font.SetHeight(CurrentFormat.FontHeight);
                font.SetStyle(CurrentFormat.FontStyle);
                font.SetColor(CurrentFormat.FontColor);
                if (ExecuteFontDialog(font)) SetSelectionFont(&font);
                Update();
            }
            break;
        case 'B': ToggleSelectionStyle(fsBold); Update(); break;
        case 'I': ToggleSelectionStyle(fsItalic); Update(); break;
        case 'U': ToggleSelectionStyle(fsUnderline); Update(); break;
        case 'G':
            if (!FSingleFormat && ExecuteColorDialog) {
                TColor color = CurrentFormat.BackColor;
                if (ExecuteColorDialog(color)) SetSelectionBackColor(color);
                Update();
            }
            break;
        default: break;
        }
    }
    TCustomControl::KeyDown(Key, Shift);
}

void TIETextControl::KeyPress(wchar_t& Key) {
    TCustomControl::KeyPress(Key);
    // The whole conversion is typed: under a double-byte code page a character keeps both bytes.
    const std::string bytes = WideToAnsi(std::wstring(1, Key));
    if (bytes.empty()) return;
    const uint8_t first = Code(bytes[0]);
    if (first > 31 && first != 127) {
        DeleteSelection();
        if (!InsertMode) DeleteWholeChar(CaretPos);
        InsertBytes(bytes);
        Invalidate();
    }
}

// ---- Mouse and messages ---------------------------------------------------------------------

void TIETextControl::MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) {
    if (HandleAllocated() && !Focused() && CanFocus()) SetFocus();
    LayOutPending();
    if (Shift & ssShift) {
        CaretFromPoint(AnchorX, AnchorY);
        const int32_t oldCaret = CaretPos;
        CaretFromPoint(X, Y);
        if (CaretPos != oldCaret) {
            ExtendSelection(oldCaret, ssShift);
            Update();
        }
        AnchorX = X;
        AnchorY = Y;
    } else {
        AnchorX = X;
        AnchorY = Y;
        ClearSelection();
        CaretFromPoint(X, Y);
    }
    Update();
    DoCursorMoved();
    TCustomControl::MouseDown(Button, Shift, X, Y);
}

void TIETextControl::MouseMove(TShiftState Shift, int32_t X, int32_t Y) {
    if (MouseCapture()) {
        LayOutPending();
        ClearSelection();
        CaretFromPoint(AnchorX, AnchorY);
        const int32_t oldCaret = CaretPos;
        CaretFromPoint(X, Y);
        if (CaretPos != oldCaret) ExtendSelection(oldCaret, ssShift);
        Update();
        DoCursorMoved();
    }
    TCustomControl::MouseMove(Shift, X, Y);
}

void TIETextControl::SelectWordAtCaret() {
    if (TextLen == 0) return;
    ClearSelection();
    // The word the caret touches; on white space the next word, as Ctrl+Left and Ctrl+Right find it.
    int32_t s = std::clamp(CaretPos, 0, TextLen), e = s;
    while (s > 0 && Code(TextBuf[s - 1]) > 32) --s;
    while (e < TextLen && Code(TextBuf[e]) > 32) ++e;
    if (s == e) {
        WordLeft();
        s = CaretPos;
        WordRight();
        e = CaretPos;
        while (e > s && Code(TextBuf[e - 1]) <= 32) --e;
    }
    if (e <= s) return;
    CaretPos = e;
    GetCharFormat(e - 1, CurrentFormat);
    SelStart = s;
    SelEnd = e;
    Update();
}

void TIETextControl::Dispatch(TMessage& Message) {
    switch (Message.Msg) {
    case WM_SIZE:
        TCustomControl::Dispatch(Message);
        Update();
        return;
    case WM_ERASEBKGND: Message.Result = 0; return;
    case WM_KILLFOCUS:
        TCustomControl::Dispatch(Message);
        HideCaret(Handle());
        DestroyCaret();
        return;
    case WM_CUT:
    case WM_COPY:
    case WM_PASTE: {
        uint16_t key = Message.Msg == WM_CUT ? 'X' : Message.Msg == WM_COPY ? 'C' : 'V';
        KeyDown(key, ssCtrl);
        return;
    }
    case WM_LBUTTONDBLCLK:
        TCustomControl::Dispatch(Message);
        SelectWordAtCaret();
        return;
    default: break;
    }
    TCustomControl::Dispatch(Message);
}

// ---- TIEEdit --------------------------------------------------------------------------------

TIEEdit::TIEEdit(TComponent* AOwner) : TEdit(AOwner) { DialogCode = DLGC_WANTTAB | DLGC_WANTARROWS; }

void TIEEdit::KeyPress(wchar_t& Key) {
    if (Key == L'\t') Key = 0;
    TEdit::KeyPress(Key);
}
