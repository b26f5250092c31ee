#include "KWProgressBar.h"

#include <algorithm>
#include <cmath>

#include "KWCommonLib.h"
#include "KWLogger.h"

namespace {

struct TChannels {
    int32_t C[3];   // red, green, blue
};

TChannels ChannelsOf(TColor AColor) {
    const uint32_t c = (uint32_t)ColorToRGB(AColor);
    return TChannels{{(int32_t)(c & 0xFF), (int32_t)((c >> 8) & 0xFF), (int32_t)((c >> 16) & 0xFF)}};
}

COLORREF ColorOf(const TChannels& AChannels) { return RGB(AChannels.C[0], AChannels.C[1], AChannels.C[2]); }

void FillColumns(TBitmap* ABitmap, int32_t AFrom, int32_t ATo, COLORREF AColor) {
    if (ATo <= AFrom) return;
    HBRUSH brush = CreateSolidBrush(AColor);
    RECT r{AFrom, 0, ATo, ABitmap->Height()};
    FillRect(ABitmap->Canvas()->Handle(), &r, brush);
    DeleteObject(brush);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// The marquee worker: moves the block and has the bar repainted.
// ---------------------------------------------------------------------------------------------

class TKWProgressBar::TpbInfinityThread : public TThread {
public:
    explicit TpbInfinityThread(TKWProgressBar* ABar) : FBar(ABar) {}
    ~TpbInfinityThread() override {
        Terminate();
        WaitFor();
    }

protected:
    void Execute() override {
        int32_t direction = 1;
        while (!Terminated()) {
            const int32_t width = std::max<int32_t>(FBar->Width(), 1);
            int32_t pos = FBar->FInfinityPos + direction * FBar->Step;
            if (FBar->GoesAndComes) {
                if (pos >= width || pos <= 0) direction = -direction;
                pos = std::clamp<int32_t>(pos, 0, width);
            } else if (pos > width + width / 10 * 7 / 2) {
                pos = -(width / 10 * 7 / 2);
            }
            FBar->FInfinityPos = pos;
            if (FBar->HandleAllocated()) InvalidateRect(FBar->FHandle, nullptr, FALSE);
            Sleep(30);
        }
    }

private:
    TKWProgressBar* FBar;
};

// ---------------------------------------------------------------------------------------------
// TKWProgressBar
// ---------------------------------------------------------------------------------------------

TKWProgressBar::TKWProgressBar(TComponent* AOwner)
    : TCustomControl(AOwner), FBarBitmap(new TBitmap), FBlockBitmap(new TBitmap) {
    ControlStyle |= csFramed | csOpaque;
    FBarBitmap->SetSize(1, 1);
    FBlockBitmap->SetSize(1, 1);
    SetBounds(0, 0, 100, 20);
}

TKWProgressBar::~TKWProgressBar() {
    StopInfinity();
    FBarBitmap.reset();
    FBlockBitmap.reset();
}

void TKWProgressBar::CreateParams(TCreateParams& Params) {
    TCustomControl::CreateParams(Params);
    ControlStyle &= ~csOpaque;
}

void TKWProgressBar::WMEraseBkgnd(TMessage& Message) { Message.Result = 0; }

void TKWProgressBar::Changed() { Invalidate(); }

void TKWProgressBar::SetMin(int64_t AValue) {
    if (AValue == FMin) return;
    if (AValue < FMax) FMin = AValue;
    if (FPosition < AValue) FPosition = AValue;
    Changed();
}

void TKWProgressBar::SetMax(int64_t AValue) {
    if (AValue == FMax) return;
    if (AValue > FMin) FMax = AValue;
    if (FPosition > AValue) FPosition = AValue;
    Changed();
}

// A new position repaints when the filled width or the caption changes; the caption can change
// alone (the position in it, or a percentage between two pixels).
void TKWProgressBar::SetPosition(int64_t AValue) {
    if (AValue == FPosition || AValue < FMin || AValue > FMax) return;
    const int32_t oldWidth = FillWidth();
    const std::wstring oldCaption = CaptionText();
    FPosition = AValue;
    if (FillWidth() != oldWidth || CaptionText() != oldCaption) Changed();
}

void TKWProgressBar::SetText(const std::wstring& AValue) {
    if (FText == AValue) return;
    FText = AValue;
    Changed();
}

void TKWProgressBar::SetStyle(TpbStyle AValue) {
    FStyle = AValue;
    FNeedsRebuild = true;
    Changed();
}

void TKWProgressBar::SetForeColor1(TColor AValue) {
    FForeColor1 = AValue;
    FNeedsRebuild = true;
    Changed();
}

void TKWProgressBar::SetForeColor2(TColor AValue) {
    FForeColor2 = AValue;
    FNeedsRebuild = true;
    Changed();
}

void TKWProgressBar::SetBackColor(TColor AValue) {
    FBackColor = AValue;
    Changed();
}

void TKWProgressBar::SetBorderStyle(TBorderStyle AValue) {
    FBorderStyle = AValue;
    Changed();
}

void TKWProgressBar::SetBorderColor(TColor AValue) {
    FBorderColor = AValue;
    Changed();
}

void TKWProgressBar::SetFrame(bool AValue) {
    if (AValue == Frame()) return;
    if (AValue) ControlStyle |= csFramed;
    else ControlStyle &= ~csFramed;
    InvalidateFrame();
    Changed();
}

void TKWProgressBar::SetTextFraming(bool AValue) {
    FTextFraming = AValue;
    Changed();
}

void TKWProgressBar::SetTextFramingColor(TColor AValue) {
    FTextFramingColor = AValue;
    Changed();
}

// round(Width / Max x Position) in extended precision, halves to even. A maximum of 0 shows no
// fill.
int32_t TKWProgressBar::FillWidth() const {
    if (FMax == 0) return 0;
    return (int32_t)Round((long double)Width() / (long double)FMax * (long double)FPosition);
}

// The template with "%%", "%d" (per cent), "%c" (position) and "%m" (maximum) replaced in that
// order, each over the result of the one before. A maximum of 0 reads as 0 per cent.
std::wstring TKWProgressBar::CaptionText() const {
    const int64_t percent = FMax == 0 ? 0 : Round((long double)FPosition / (long double)FMax * 100.0L);
    std::wstring s = KWReplace(FText, L"%%", L"%", false, true);
    s = KWReplace(s, L"%d", IntToStr(percent), false, true);
    s = KWReplace(s, L"%c", IntToStr(FPosition), false, true);
    return KWReplace(s, L"%m", IntToStr(FMax), false, true);
}

void TKWProgressBar::RebuildBitmaps() {
    const int32_t w = std::max<int32_t>(Width(), 1), h = std::max<int32_t>(Height(), 1);
    FBarBitmap.reset(new TBitmap);
    FBarBitmap->SetSize(w, h);
    if (FStyle == sDithered) {
        TChannels current = ChannelsOf(FForeColor1);
        const TChannels target = ChannelsOf(FForeColor2);
        for (int32_t i = 0; i < 256; ++i) {
            for (int32_t c = 0; c < 3; ++c) {
                if (current.C[c] < target.C[c]) ++current.C[c];
                else if (current.C[c] > target.C[c]) --current.C[c];
            }
            FillColumns(FBarBitmap.get(), (int32_t)((int64_t)i * w / 256), (int32_t)((int64_t)(i + 1) * w / 256),
                        ColorOf(current));
        }
    } else {
        FillColumns(FBarBitmap.get(), 0, w, (COLORREF)ColorToRGB(FForeColor1));
    }
    RebuildBlock();
}

// The marquee block: ForeColor1 in the middle, fading to BackColor towards both ends.
void TKWProgressBar::RebuildBlock() {
    const int32_t h = std::max<int32_t>(Height(), 1);
    const int32_t b = std::max<int32_t>(Width() / 10 * 7, 1);
    const int32_t e = b / 10 * 2;
    FBlockBitmap.reset(new TBitmap);
    FBlockBitmap->SetSize(b, h);
    FillColumns(FBlockBitmap.get(), 0, b, (COLORREF)ColorToRGB(FForeColor1));
    const long double half = (long double)(b - e) / 2;
    if (half <= 0) return;
    const TChannels back = ChannelsOf(FBackColor), fore = ChannelsOf(FForeColor1);
    long double step[3];
    for (int32_t c = 0; c < 3; ++c) step[c] = std::fabs((long double)(back.C[c] - fore.C[c])) / half;
    auto walk = [&](int32_t AFrom, int32_t ATo, const TChannels& AStart, const TChannels& ATarget) {
        long double acc[3];
        TChannels current = AStart;
        for (int32_t c = 0; c < 3; ++c) acc[c] = AStart.C[c];
        for (int32_t x = AFrom; x <= ATo && x < b; ++x) {
            for (int32_t c = 0; c < 3; ++c) {
                if (current.C[c] == ATarget.C[c]) continue;
                const int32_t sign = ATarget.C[c] > current.C[c] ? 1 : -1;
                acc[c] += sign * step[c];
                current.C[c] = (int32_t)acc[c];
                if ((sign > 0 && current.C[c] > ATarget.C[c]) || (sign < 0 && current.C[c] < ATarget.C[c]))
                    current.C[c] = ATarget.C[c];
            }
            FillColumns(FBlockBitmap.get(), x, x + 1, ColorOf(current));
        }
    };
    const int32_t firstEnd = (b - e) / 2;
    walk(0, firstEnd, back, fore);
    walk(firstEnd + e, b, fore, back);
}

void TKWProgressBar::Paint() {
    TCanvas* canvas = Canvas();
    canvas->Lock();
    try {
        const int32_t w = Width(), h = Height();
        if (FNeedsRebuild || FBarBitmap->Width() != std::max<int32_t>(w, 1) ||
            FBarBitmap->Height() != std::max<int32_t>(h, 1)) {
            FNeedsRebuild = false;
            RebuildBitmaps();
        }
        TBitmap off;
        off.SetSize(std::max<int32_t>(w, 1), std::max<int32_t>(h, 1));
        TCanvas* oc = off.Canvas();
        oc->Brush()->SetStyle(bsSolid);
        oc->Brush()->SetColor(FBackColor);
        oc->FillRect(RECT{0, 0, w, h});
        if (FInfinityActive) {
            const int32_t bw = FBlockBitmap->Width();
            BitBlt(oc->Handle(), FInfinityPos - bw / 2, 0, bw, h, FBlockBitmap->Canvas()->Handle(), 0, 0, SRCCOPY);
        } else {
            const int32_t fill = std::clamp<int32_t>(FillWidth(), 0, FBarBitmap->Width());
            if (fill > 0) BitBlt(oc->Handle(), 0, 0, fill, h, FBarBitmap->Canvas()->Handle(), 0, 0, SRCCOPY);
            if (!FText.empty()) {
                const std::wstring caption = CaptionText();
                oc->SetFont(Font());
                oc->Brush()->SetStyle(bsClear);
                const SIZE size = oc->TextExtent(caption);
                const int32_t x = (w - size.cx) / 2, y = (h - size.cy) / 2;
                if (FTextFraming) {
                    oc->Font()->SetColor(FTextFramingColor);
                    oc->TextOut(x, y - 1, caption);
                    oc->TextOut(x, y + 1, caption);
                    oc->TextOut(x - 1, y, caption);
                    oc->TextOut(x + 1, y, caption);
                    oc->Font()->SetColor(Font()->Color());
                }
                oc->TextOut(x, y, caption);
            }
        }
        if (FBorderStyle == bsSingle) {
            oc->Brush()->SetStyle(bsSolid);
            oc->Brush()->SetColor(FBorderColor);
            oc->FrameRect(RECT{0, 0, w, h});
        }
        BitBlt(canvas->Handle(), 0, 0, w, h, oc->Handle(), 0, 0, SRCCOPY);
    } catch (...) {
        canvas->Unlock();
        throw;
    }
    canvas->Unlock();
}

void TKWProgressBar::StartInfinity() {
    if (FInfinityThread) return;
    FNeedsRebuild = true;
    RebuildBitmaps();
    FNeedsRebuild = false;
    FInfinityPos = 0;
    FInfinityActive = true;
    FInfinityThread = NewThread<TpbInfinityThread>(false, this);
}

// Asks the worker to stop and waits for it in slices of 80 ms, handling window messages
// between slices (it may be waiting for the bar to repaint).
void TKWProgressBar::StopInfinity() {
    if (!FInfinityThread) return;
    try {
        FInfinityThread->Terminate();
        while (FInfinityThread && !FInfinityThread->Finished()) {
            if (WaitForSingleObject(FInfinityThread->GetHandle(), 80) == WAIT_OBJECT_0) break;
            KWProcessMessages();
        }
        FInfinityThread.reset();
        FInfinityActive = false;
        Invalidate();
    } catch (...) {
        KWLogError(L"■StopInfinity Failed");
        if (!FInfinityThread) FInfinityActive = false;
    }
}
