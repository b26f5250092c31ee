// KWProgressBar: a progress bar that shows a 64-bit position as a gradient fill with a caption
// made from a template ("%d" percent, "%c" position, "%m" maximum, "%%" a per-cent sign), an
// optional halo round the caption and a one-pixel border; all drawing goes through an
// off-screen bitmap and the gradient strip is cached until the size or the colours change.
#pragma once
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "Classes.h"
#include "Controls.h"
#include "Graphics.h"

enum TpbStyle { sSolid, sDithered };

class TKWProgressBar : public TCustomControl {
public:
    KW_CLASS_NAME(TKWProgressBar)
    explicit TKWProgressBar(TComponent* AOwner);
    ~TKWProgressBar() override;

    int64_t Min() const { return FMin; }
    // Becomes the minimum only below Max; a position below it is raised to it in any case.
    void SetMin(int64_t AValue);
    int64_t Max() const { return FMax; }
    // Becomes the maximum only above Min; a position above it is lowered to it in any case.
    void SetMax(int64_t AValue);
    int64_t Position() const { return FPosition; }
    // Stored only inside Min..Max.
    void SetPosition(int64_t AValue);
    int32_t Step = 1;
    const std::wstring& Text() const { return FText; }
    void SetText(const std::wstring& AValue);
    TpbStyle Style() const { return FStyle; }
    void SetStyle(TpbStyle AValue);
    TColor ForeColor1() const { return FForeColor1; }
    void SetForeColor1(TColor AValue);
    TColor ForeColor2() const { return FForeColor2; }
    void SetForeColor2(TColor AValue);
    TColor BackColor() const { return FBackColor; }
    void SetBackColor(TColor AValue);
    TBorderStyle BorderStyle() const { return FBorderStyle; }
    void SetBorderStyle(TBorderStyle AValue);
    TColor BorderColor() const { return FBorderColor; }
    void SetBorderColor(TColor AValue);
    // The parent draws a sunken frame round the control while this and Ctl3D are on.
    bool Frame() const { return (ControlStyle & csFramed) != 0; }
    void SetFrame(bool AValue);
    bool TextFraming() const { return FTextFraming; }
    void SetTextFraming(bool AValue);
    TColor TextFramingColor() const { return FTextFramingColor; }
    void SetTextFramingColor(TColor AValue);
    bool GoesAndComes = false;

    // The filled width in whole pixels, and the caption, as they are drawn now.
    int32_t FillWidth() const;
    std::wstring CaptionText() const;

    // The marquee: a block that runs along the bar in steps of Step (back and forth with
    // GoesAndComes) until StopInfinity.
    void StartInfinity();
    void StopInfinity();
    bool InfinityActive() const { return FInfinityActive; }
    int32_t InfinityPos() const { return FInfinityPos; }

protected:
    void CreateParams(TCreateParams& Params) override;
    void Paint() override;
    void WMEraseBkgnd(TMessage& Message) override;

private:
    class TpbInfinityThread;
    void RebuildBitmaps();
    void RebuildBlock();
    void Changed();

    int64_t FMin = 0, FMax = 100, FPosition = 0;
    std::wstring FText = L"%d%%";
    TpbStyle FStyle = sDithered;
    TColor FForeColor1 = 0xFF0000, FForeColor2 = 0x0000FF, FBackColor = 0xFFFFFF;
    TBorderStyle FBorderStyle = bsSingle;
    TColor FBorderColor = 0x000000;
    bool FTextFraming = false;
    TColor FTextFramingColor = 0xFFFFFF;

    std::unique_ptr<TBitmap> FBarBitmap;
    std::unique_ptr<TBitmap> FBlockBitmap;
    bool FNeedsRebuild = false;
    std::atomic<bool> FInfinityActive{false};
    std::atomic<int32_t> FInfinityPos{0};
    std::unique_ptr<TpbInfinityThread> FInfinityThread;
};
