// The panel (a container with bevels and a caption), the bevel line or frame, the image, and the
// timer.
#pragma once
#include <memory>

#include "Clock.h"
#include "Controls.h"

enum TBevelCut { bvNone, bvLowered, bvRaised, bvSpace };

// Draws a three-dimensional frame of the given width just inside Rect and shrinks Rect by it.
void Frame3D(TCanvas* Canvas, RECT& Rect, TColor TopColor, TColor BottomColor, int32_t Width);

class TCustomPanel : public TCustomControl {
public:
    KW_CLASS_NAME(TCustomPanel)
    explicit TCustomPanel(TComponent* AOwner);

    TBevelCut BevelInner() const { return FBevelInner; }
    void SetBevelInner(TBevelCut value);
    TBevelCut BevelOuter() const { return FBevelOuter; }
    void SetBevelOuter(TBevelCut value);
    int32_t BevelWidth() const { return FBevelWidth; }
    void SetBevelWidth(int32_t value);
    int32_t BorderWidth() const { return FBorderWidth; }
    void SetBorderWidth(int32_t value);
    TBorderStyle BorderStyle() const { return FBorderStyle; }
    void SetBorderStyle(TBorderStyle value);
    TAlignment Alignment() const { return FAlignment; }
    void SetAlignment(TAlignment value);
    bool ShowCaption() const { return FShowCaption; }
    void SetShowCaption(bool value);

protected:
    void CreateParams(TCreateParams& Params) override;
    void Paint() override;
    void AdjustClientRect(RECT& Rect) override;
    void CMTextChanged(TMessage& Message) override { Invalidate(); }

private:
    TBevelCut FBevelInner = bvNone;
    TBevelCut FBevelOuter = bvRaised;
    int32_t FBevelWidth = 1;
    int32_t FBorderWidth = 0;
    TBorderStyle FBorderStyle = bsNone;
    TAlignment FAlignment = taCenter;
    bool FShowCaption = true;
};

class TPanel : public TCustomPanel {
public:
    KW_CLASS_NAME(TPanel)
    using TCustomPanel::TCustomPanel;
};

enum TBevelShape { bsBox, bsFrame, bsTopLine, bsBottomLine, bsLeftLine, bsRightLine, bsSpacer };
enum TBevelStyle { bsLowered, bsRaised };

class TBevel : public TGraphicControl {
public:
    KW_CLASS_NAME(TBevel)
    explicit TBevel(TComponent* AOwner);
    TBevelShape Shape() const { return FShape; }
    void SetShape(TBevelShape value);
    TBevelStyle Style() const { return FStyle; }
    void SetStyle(TBevelStyle value);

protected:
    void Paint() override;

private:
    TBevelShape FShape = bsBox;
    TBevelStyle FStyle = bsLowered;
};

// Shows a picture at its own size, centred, or stretched over the control.
class TImage : public TGraphicControl {
public:
    KW_CLASS_NAME(TImage)
    explicit TImage(TComponent* AOwner);
    ~TImage() override;

    TPicture* Picture() const { return FPicture.get(); }
    void SetPicture(TPicture* value) { FPicture->Assign(value); }
    bool Stretch() const { return FStretch; }
    void SetStretch(bool value);
    bool Center() const { return FCenter; }
    void SetCenter(bool value);
    bool Transparent() const { return FTransparent; }
    void SetTransparent(bool value);
    // Sizes the control to the picture whenever the picture changes.
    bool AutoSize() const { return FAutoSize; }
    void SetAutoSize(bool value);

protected:
    void Paint() override;
    RECT DestRect();

private:
    void PictureChanged(TObject*);
    std::unique_ptr<TPicture> FPicture;
    bool FStretch = false;
    bool FCenter = false;
    bool FTransparent = false;
    bool FAutoSize = false;
};

// The timer source of the visual layer: timers on WM_TIMER messages of a hidden window of the
// thread that first asks for it (the GUI thread), so their callbacks run inside that thread's
// message loop. Installed as the default timer source the first time a timer needs one.
TTimerSource* WindowTimerSource();

// Calls OnTimer every Interval milliseconds while enabled, through the timer source in force
// (GetTimerSource(), the window-message source by default), so tests step it with a manual source.
// The source is taken when the timer starts; changing Interval or Enabled restarts it.
class TTimer : public TComponent {
public:
    KW_CLASS_NAME(TTimer)
    explicit TTimer(TComponent* AOwner);
    ~TTimer() override;

    bool Enabled() const { return FEnabled; }
    void SetEnabled(bool value);
    uint32_t Interval() const { return FInterval; }
    void SetInterval(uint32_t value);
    // Setting it (or clearing it) restarts the timer as the other two do; without one nothing runs.
    const TNotifyEvent& OnTimer() const { return FOnTimer; }
    void SetOnTimer(TNotifyEvent value);

private:
    void UpdateTimer();
    bool FEnabled = true;
    uint32_t FInterval = 1000;   // milliseconds; 0 stops the timer
    TNotifyEvent FOnTimer;
    TTimerSource* FSource = nullptr;
    TTimerId FId = 0;
};
