// The panel (a container with bevels and a caption), the bevel line or frame, and the image.
#pragma once
#include <memory>

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
