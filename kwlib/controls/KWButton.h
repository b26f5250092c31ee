// KWButton: a push button that always draws itself: with the visual theme when themes are on,
// otherwise in the classic three-dimensional look; it adds a hot (mouse-over) state, a forced hot
// look and an optional focus rectangle. With a loaded skin engine attached it draws the engine's
// push-button part instead, with the caption in the skin's colour.
#pragma once
#include <cstdint>
#include <memory>

#include "Controls.h"
#include "StdCtrls.h"

class TKWSkinEn;

class TKWButton : public TButton {
public:
    KW_CLASS_NAME(TKWButton)
    explicit TKWButton(TComponent* AOwner);
    ~TKWButton() override;

    // The skin engine (not owned; also settable by name, "SkinEn", through KWSetObjectProperty).
    // Writes are ignored while SkinEnIsAllow is off; an engine that is freed is dropped whatever
    // SkinEnIsAllow says.
    TKWSkinEn* SkinEn() const { return FSkinEn; }
    void SetSkinEn(TKWSkinEn* AValue);
    bool SkinEnIsAllow() const { return FSkinEnIsAllow; }
    void SetSkinEnIsAllow(bool AValue);
    // An engine is set, its skin loaded and skins allowed.
    bool SkinEnEnabled() const;
    bool ForceHotlight() const { return FForceHotlight; }
    void SetForceHotlight(bool AValue);
    bool ShowFocusRect() const { return FShowFocusRect; }
    void SetShowFocusRect(bool AValue);
    // The skinned caption goes through the alpha-blending text renderer.
    bool CaptionAntialias = false;

    // The button is its form's default button now, and the mouse is over it.
    bool IsDefault() const { return FIsDefault; }
    bool IsHot() const { return FIsHot; }
    // The push-button state of skins and themes for an item state (ODS_...): 4 disabled,
    // 3 pressed, 2 hot, 5 default, else 1.
    int32_t StateNumber(UINT AItemState) const;

protected:
    void Notification(TComponent* AComponent, TOperation Operation) override;
    void CreateParams(TCreateParams& Params) override;
    void CreateWnd() override;
    void SetButtonStyle(bool ADefault) override;
    void WndProc(TMessage& Message) override;
    void CNDrawItem(TMessage& Message) override;
    void CNMeasureItem(TMessage& Message) override;
    void CMMouseEnter(TMessage& Message) override;
    void CMMouseLeave(TMessage& Message) override;
    void CMEnabledChanged(TMessage& Message) override;
    void CMFontChanged(TMessage& Message) override;
    void WMEraseBkgnd(TMessage& Message) override;
    void WMPaint(TMessage& Message) override;
    void WMPrintClient(TMessage& Message) override;

private:
    // Draws the button in its current state into a context handed over for painting.
    void PaintInto(HDC ADC);
    void DrawButton(const RECT& ARect, UINT AItemState);
    bool DrawSkinned(const RECT& ARect, UINT AItemState);
    bool DrawThemed(const RECT& ARect, UINT AItemState);
    void DrawClassic(const RECT& ARect, UINT AItemState);

    std::unique_ptr<TCanvas> FCanvas;
    TKWSkinEn* FSkinEn = nullptr;
    bool FSkinEnIsAllow = true;
    bool FForceHotlight = false;
    bool FShowFocusRect = true;
    bool FIsDefault = false;
    bool FIsHot = false;
};
