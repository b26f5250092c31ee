// The rich-text control's layout and drawing: per-character formats, word wrap, paragraph
// alignment with justification, margins, line spacing, selection, caret, zoom and automatic height.
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "SysUtils.h"
#include "WinApi.h"
#include "ietextc_control.h"

int32_t TIECanvasTextMetrics::CharWidth(TIECanvas& Canvas, const std::string& Chars) {
    return Canvas.TextWidth(AnsiToWide(Chars));
}

void TIECanvasTextMetrics::FontMetrics(TIECanvas& Canvas, int32_t& Height, int32_t& Leading, int32_t& Descent) {
    TEXTMETRICW tm{};
    GetTextMetricsW(Canvas.GetHandle(), &tm);
    Height = tm.tmHeight;
    Leading = std::abs(tm.tmInternalLeading);
    Descent = std::abs(tm.tmDescent);
}

namespace {

int32_t Trunc32(long double Value) { return static_cast<int32_t>(Trunc(Value)); }
int32_t Round32(long double Value) { return static_cast<int32_t>(Round(Value)); }
TColor Inverted(TColor Color) { return static_cast<TColor>(~static_cast<uint32_t>(ColorToRGB(Color)) & 0xFFFFFFu); }

}   // namespace

// One run of Render: the canvas, the box and the state of the line being laid out.
class TIETextLayout {
public:
    TIETextLayout(TIETextControl& Control, TIECanvas& Canvas, TIETextMetrics& Metrics)
        : C(Control), Canvas(Canvas), Metrics(Metrics) {}

    // The canvas takes the format of character Index (CurrentFormat beyond the text).
    void ApplyFormat(int32_t Index) {
        TIECharFormat f = C.CurrentFormat;
        if (Index < C.TextLen) C.GetCharFormat(Index, f);
        TFont* font = Canvas.GetFont();
        std::wstring name;
        int32_t height;
        TFontStyles style;
        TColor fontColor, backColor;
        TBrushStyle backStyle;
        if (C.GetSingleFormat()) {
            name = C.Font()->Name();
            height = C.Font()->Height();
            style = C.Font()->Style();
            fontColor = C.Font()->Color();
            backColor = C.GetTextBrush()->Color();
            backStyle = C.GetTextBrush()->Style();
        } else {
            name = AnsiToWide(IECharFormatFontName(f));
            height = f.FontHeight;
            style = f.FontStyle;
            fontColor = f.FontColor;
            backColor = f.BackColor;
            backStyle = f.BackStyle <= bsDiagCross ? static_cast<TBrushStyle>(f.BackStyle) : bsSolid;
        }
        if (!name.empty() && font->Name() != name) font->SetName(name);
        if (font->Height() != height) font->SetHeight(height);
        if (font->Style() != style) font->SetStyle(style);
        if (!C.FixedColors) {
            if (font->Color() != fontColor) font->SetColor(fontColor);
            if (Canvas.GetBrush().GetColor() != backColor) Canvas.GetBrush().SetColor(backColor);
        }
        if (Canvas.GetBrush().GetStyle() != backStyle) Canvas.GetBrush().SetStyle(backStyle);
    }

    // The bytes of the character at Index (two for a lead byte).
    std::string Chars(int32_t Index) const { return C.TextBuf.substr(Index, C.CharSize(Index)); }

    // Applies the character's format and fills its cached measures.
    void MeasureChar(int32_t Index) {
        ApplyFormat(Index);
        if (C.CharHeights[Index] != 0) return;
        const uint8_t code = static_cast<uint8_t>(C.TextBuf[Index]);
        const std::string measured = (code < 31 || code == 127) ? std::string(" ") : Chars(Index);
        const int32_t w = Metrics.CharWidth(Canvas, measured);
        int32_t h, lead, desc;
        if (C.FixedLineHeight != 0) {
            h = C.FixedLineHeight;
            lead = desc = 0;
        } else {
            Metrics.FontMetrics(Canvas, h, lead, desc);
        }
        C.CharWidths[Index] = static_cast<uint16_t>(std::clamp(w, 0, 0xFFFF));
        C.CharHeights[Index] = static_cast<uint16_t>(std::clamp(h, 1, 0xFFFF));
        C.CharLeadings[Index] = static_cast<uint8_t>(std::clamp(lead, 0, 0xFF));
        C.CharDescents[Index] = static_cast<uint8_t>(std::clamp(desc, 0, 0xFF));
    }

    void TakeMaxima(int32_t Index) {
        H = std::max<int32_t>(H, C.CharHeights[Index]);
        Leading = std::max<int32_t>(Leading, C.CharLeadings[Index]);
        Descent = std::max<int32_t>(Descent, C.CharDescents[Index]);
    }

    // Draws one character at (X, Baseline), inverted when selected.
    void DrawChar(int32_t X, int32_t Baseline, const std::string& Bytes, bool Selected) {
        const std::wstring text = AnsiToWide(Bytes);
        if (!Selected) {
            Canvas.TextRectClipped(Clip, X, Baseline, text);
            return;
        }
        TFont* font = Canvas.GetFont();
        TIEBrush& brush = Canvas.GetBrush();
        const TColor fontColor = font->Color(), brushColor = brush.GetColor();
        const TBrushStyle brushStyle = brush.GetStyle();
        font->SetColor(Inverted(fontColor));
        brush.SetColor(Inverted(brushColor));
        brush.SetStyle(bsSolid);
        Canvas.TextRectClipped(Clip, X, Baseline, text);
        font->SetColor(fontColor);
        brush.SetColor(brushColor);
        brush.SetStyle(brushStyle);
    }

    TIETextControl& C;
    TIECanvas& Canvas;
    TIETextMetrics& Metrics;
    RECT Clip{};
    int32_t H = 0, Leading = 0, Descent = 0;   // the line's maxima
};

void TIETextControl::Render(TIECanvas& Canvas, int32_t X, int32_t Y, int32_t Width, int32_t Height) {
    if (Width <= 1 || Height <= 1) return;
    CapturedText.clear();
    const long double zoom = Zoom;
    const bool zoomed = Zoom != 1.0;
    struct TCollected {
        int32_t X, Baseline, Index;
        std::string Chars;
    };
    std::vector<TCollected> collected;
    TIECanvasTextMetrics canvasMetrics;
    TIETextLayout L(*this, Canvas, Metrics ? *Metrics : canvasMetrics);
    // A text changed behind the control's back is laid out as far as it goes.
    TextLen = std::clamp(TextLen, 0, static_cast<int32_t>(TextBuf.size()));
    if (CharX.size() != static_cast<size_t>(TextLen) + 1) NewLayoutArrays();
    if (CharFormats.size() < static_cast<size_t>(TextLen)) CharFormats.resize(TextLen, 0);

    // The box: frame in the border pen's style, filled with the background brush.
    TIEPen& pen = Canvas.GetPen();
    TIEBrush& brush = Canvas.GetBrush();
    pen.SetWidth(1);
    Canvas.GetFont()->SetColor(Font()->Color());
    pen.SetColor(Font()->Color());
    pen.SetStyle(FBorderPen->Style());
    if (!FixedColors) pen.SetColor(FBorderPen->Color());
    pen.SetMode(pmCopy);
    brush.SetColor(FBackgroundBrush->Color());
    brush.SetStyle(FBackgroundBrush->Style());
    Canvas.Rectangle(X, Y, X + Round32(Width * zoom), Y + Round32(Height * zoom));
    pen.SetStyle(psSolid);

    // The text area inside the margins.
    const long double w = Width, h = Height;
    const int32_t Wa = Trunc32(w - w * MarginRight / 100 - w * MarginLeft / 100) - 2;
    const int32_t Ha = Trunc32(h - h * MarginBottom / 100 - h * MarginTop / 100) - 2;
    const int32_t Lx = Trunc32(w * MarginLeft / 100) + 1;
    const int32_t Ty = Trunc32(h * MarginTop / 100) + 1;
    L.Clip = RECT{Trunc32(Lx * zoom + X), Trunc32(Ty * zoom + Y), Trunc32(Lx * zoom + X + zoom * Wa),
                  Trunc32(Ty * zoom + Y + zoom * Ha)};

    HDC dc = Canvas.GetHandle();
    const UINT oldAlign = SetTextAlign(dc, TA_BASELINE);

    int32_t lineTop = 0, lineStart = 0, lastDescent = 0;
    bool stop = false;
    while (!stop && lineStart < TextLen) {
        // Measuring pass: where the line ends.
        int32_t pos = 0, lineEnd = TextLen, lastMeasured = lineStart;
        for (int32_t j = lineStart; j < TextLen; j += CharSize(j)) {
            CharX[j] = Lx + pos;
            CharY[j] = Ty + lineTop;
            L.MeasureChar(j);
            L.TakeMaxima(j);
            lastMeasured = j;
            if (TextBuf[j] == '\n') {
                lineEnd = j + 1;
                break;
            }
            if (pos + CharWidths[j] + 2 >= Wa) {
                // Wrap after the line's last space, or before this character when there is none.
                int32_t k = j;
                while (k >= lineStart && TextBuf[k] != ' ') --k;
                lineEnd = k >= lineStart ? k + 1 : j;
                if (lineEnd == lineStart) stop = true;   // its first character alone does not fit
                break;
            }
            pos += CharWidths[j];
        }
        if (stop) break;

        // The alignment of the line's last visible character.
        int32_t p = lineEnd - 1;
        while (p >= lineStart && (TextBuf[p] == '\n' || TextBuf[p] == ' ' || TextBuf[p] == '\0')) --p;
        if (p >= lineStart) p = CharStart(p);
        int32_t offset = 0;
        long double factor = 1.0L;
        if (p >= lineStart) {
            uint8_t align = Alignment;
            if (!FSingleFormat) {
                TIECharFormat f = CurrentFormat;
                GetCharFormat(p, f);
                align = f.Alignment;
            }
            const int32_t right = CharX[p] + CharWidths[p];
            if (align == kIEAlignRight) {
                offset = Wa - right - 1;
            } else if (align == kIEAlignCenter) {
                offset = (Wa - right) / 2;
            } else if (align == kIEAlignJustify) {
                const bool paragraphEnd = lineEnd >= TextLen || TextBuf[lineEnd - 1] == '\n';
                if (!paragraphEnd) factor = static_cast<long double>(Wa) / (right + 1);
            }
        }

        // Drawing pass.
        const int32_t baselineRel = Ty + lineTop + L.H - L.Leading;
        const int32_t baseline = Y + baselineRel;
        if (CaptureText && baselineRel > Ty + Ha) break;
        if (AutoHeight && baselineRel + L.Descent > Ty + Ha && Visible() && Parent()) {
            SetTextAlign(dc, oldAlign);
            SetHeight(Trunc32((baselineRel + L.Descent + L.H) * zoom));
            return;
        }
        pos = offset;
        long double sum = offset;
        for (int32_t j = lineStart; j < lineEnd; j += CharSize(j)) {
            L.MeasureChar(j);
            const int32_t cw = CharWidths[j];
            CharX[j] = Lx + pos;
            CharY[j] = Ty + lineTop;
            if (CharSize(j) == 2) {
                CharX[j + 1] = CharX[j];
                CharY[j + 1] = CharY[j];
            }
            const bool isLF = TextBuf[j] == '\n';
            if (j == CaretPos) {
                CaretX = Lx + pos;
                CaretY = Ty + lineTop;
                CaretHeight = L.H;
            } else if (j < CaretPos) {
                if (isLF) {
                    CaretX = Lx;
                    CaretY = Ty + lineTop + L.H + LineSpacing;
                } else {
                    CaretX = Lx + pos + cw;
                    CaretY = Ty + lineTop;
                }
                CaretHeight = L.H;
            }
            if (!isLF) {
                const bool selected = j >= SelStart && j < SelEnd;
                const std::string chars = L.Chars(j);
                if (zoomed) {
                    collected.push_back(TCollected{X + Lx + pos, baseline, j, chars});
                } else {
                    L.DrawChar(X + Lx + pos, baseline, chars, selected);
                }
                if (CaptureText) CapturedText += chars;
            }
            sum += cw;
            const int32_t next = Trunc32(sum * factor);
            // Justification opened a gap: its background is painted pixel by pixel with spaces.
            if (!zoomed && !isLF && next > pos + cw && j + CharSize(j) < lineEnd)
                for (int32_t gx = pos + cw; gx < next; ++gx) L.DrawChar(X + Lx + gx, baseline, " ", false);
            pos = next;
        }
        if (CaptureText) CapturedText += '\n';
        // The end of the text has a place too: clicks and line moves past the last character land there.
        if (lineEnd >= TextLen) {
            const bool endsWithLF = TextBuf[TextLen - 1] == '\n';
            CharX[TextLen] = endsWithLF ? Lx : Lx + pos;
            CharY[TextLen] = endsWithLF ? Ty + lineTop + L.H + LineSpacing : Ty + lineTop;
        }

        lastDescent = L.Descent;
        lineTop += L.H + LineSpacing;
        // The next line starts from the measures of the character that ended this one.
        L.H = CharHeights[lastMeasured];
        L.Leading = CharLeadings[lastMeasured];
        L.Descent = CharDescents[lastMeasured];
        lineStart = lineEnd;
    }

    if (TextLen == 0) {
        L.ApplyFormat(0);
        int32_t fh = 0, lead = 0, desc = 0;
        L.Metrics.FontMetrics(Canvas, fh, lead, desc);
        CaretX = Lx;
        CaretY = Ty;
        CaretHeight = FixedLineHeight != 0 ? FixedLineHeight : fh;
    }

    if (zoomed) {
        for (size_t i = 0; i < collected.size(); ++i) {
            const TCollected& ch = collected[i];
            L.ApplyFormat(ch.Index);
            TFont* font = Canvas.GetFont();
            const int32_t layoutHeight = font->Height();
            font->SetHeight(Trunc32(layoutHeight * zoom));
            const int32_t x = X + Trunc32((ch.X - X) * zoom);
            const int32_t y = Y + Trunc32((ch.Baseline - Y) * zoom);
            const bool selected = ch.Index >= SelStart && ch.Index < SelEnd;
            L.DrawChar(x, y, ch.Chars, selected);
            if (i + 1 < collected.size() && collected[i + 1].Baseline == ch.Baseline) {
                const int32_t nextX = X + Trunc32((collected[i + 1].X - X) * zoom);
                const int32_t space = std::max(1, Canvas.TextWidth(L" "));
                for (int32_t sx = x + Canvas.TextWidth(AnsiToWide(ch.Chars)); sx < nextX; sx += space)
                    L.DrawChar(sx, y, " ", selected && collected[i + 1].Index < SelEnd);
            }
            font->SetHeight(layoutHeight);
        }
        for (size_t i = 0; i < CharX.size(); ++i) {
            if (CharX[i] >= 0) CharX[i] = Trunc32(CharX[i] * zoom);
            if (CharY[i] >= 0) CharY[i] = Trunc32(CharY[i] * zoom);
        }
        CaretX = Trunc32(CaretX * zoom);
        CaretY = Trunc32(CaretY * zoom);
        CaretHeight = Trunc32(CaretHeight * zoom);
    }

    if (AutoHeight && Trunc32(Ha * zoom) < CaretY + CaretHeight && Visible() && Parent())
        SetHeight(Trunc32(CaretY + CaretHeight + lastDescent));

    if (CaretPos >= 0 && CaretPos <= TextLen) {
        CharX[CaretPos] = CaretX;
        CharY[CaretPos] = CaretY;
    }
    SetTextAlign(dc, oldAlign);
}

void TIETextControl::PaintBackground() {
    TBitmap* bmp = FOffscreenBitmap.get();
    if (bmp->Width() == 0 || bmp->Height() == 0) return;
    if (FBackgroundBrush->Style() != bsSolid && BackgroundBitmap) {
        BitBlt(bmp->Canvas()->Handle(), 0, 0, bmp->Width(), bmp->Height(), BackgroundBitmap->Canvas()->Handle(), Left(),
               Top(), SRCCOPY);
    }
    if (FBackgroundBrush->Style() != bsClear) {
        bmp->Canvas()->SetBrush(FBackgroundBrush.get());
        bmp->Canvas()->FillRect(RECT{0, 0, bmp->Width(), bmp->Height()});
    }
}

void TIETextControl::Paint() {
    if (!Visible() || !Parent()) return;
    DestroyCaret();
    const int32_t cw = ClientWidth(), ch = ClientHeight();
    if (FOffscreenBitmap->Width() != cw || FOffscreenBitmap->Height() != ch) FOffscreenBitmap->SetSize(cw, ch);
    PaintBackground();
    {
        TIECanvas canvas(*FOffscreenBitmap->Canvas(), true, false);
        Render(canvas, 0, 0, Trunc32(cw / static_cast<long double>(Zoom)), Trunc32(ch / static_cast<long double>(Zoom)));
    }
    BitBlt(Canvas()->Handle(), 0, 0, cw, ch, FOffscreenBitmap->Canvas()->Handle(), 0, 0, SRCCOPY);
    CreateCaret(Handle(), nullptr, 0, CaretHeight);
    SetCaretPos(CaretX, CaretY);
    ShowCaret(Handle());
}
