// KWLabel: a text label whose caption is a list of lines, each of which can be wrapped by
// characters to the label's width (Japanese text has no blanks to break at); automatic sizing in
// one direction only, centring inside its parent, and fonts that follow the mouse.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "Classes.h"
#include "StdCtrls.h"

enum tlbAutoSizeMode { asBoth, asWidth, asHeight };
enum tlbAlignmentInside { aiNone, aiBoth, aiHAlign, aiVAlign };

class TKWLabel : public TCustomLabel {
public:
    KW_CLASS_NAME(TKWLabel)
    explicit TKWLabel(TComponent* AOwner);
    ~TKWLabel() override;

    TStrings* Captions() const { return FCaptions.get(); }
    // Copies the lines and rebuilds the caption from them.
    void SetCaptions(const TStrings* AValue);
    bool WordWrapSelf() const { return FWordWrapSelf; }
    void SetWordWrapSelf(bool AValue);
    tlbAutoSizeMode AutoSizeMode() const { return FAutoSizeMode; }
    void SetAutoSizeMode(tlbAutoSizeMode AValue);
    tlbAlignmentInside AlignmentForParentInside() const { return FAlignmentInside; }
    void SetAlignmentForParentInside(tlbAlignmentInside AValue);
    // Draws the caption through the image library's text renderer (anti-aliased), except under
    // a debugger.
    bool CaptionAntialias() const { return FCaptionAntialias; }
    void SetCaptionAntialias(bool AValue);
    bool HotTrack() const { return FHotTrack; }
    void SetHotTrack(bool AValue);
    TFont* FontOfClick() const { return FFontOfClick.get(); }
    void SetFontOfClick(const TFont* AValue);
    TFont* FontOfHotTrack() const { return FFontOfHotTrack.get(); }
    void SetFontOfHotTrack(const TFont* AValue);
    // Free data for the owner.
    std::wstring Value;

    // The caption again from the lines: an empty list first takes the current caption as its
    // line; the lines, each wrapped, are joined with a carriage return.
    void RebuildCaption();
    // With WordWrapSelf, and AutoSize off or sizing the height only (the width is the caller's):
    // the line broken into pieces that fit the width, one character at least each, joined with
    // carriage returns. A piece breaks where Japanese text may break: no piece starts with a
    // closing bracket, a punctuation mark or a small kana, none ends with an opening bracket, and
    // Latin words and numbers stay whole, unless that leaves no place to break within the width.
    // Blanks at a break are dropped.
    std::wstring WrapLine(const std::wstring& ALine);

protected:
    void DoDrawText(RECT& Rect, UINT Flags) override;
    void AdjustBounds() override;
    void MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) override;
    void MouseUp(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) override;
    void CMMouseEnter(TMessage& Message) override;
    void CMMouseLeave(TMessage& Message) override;

private:
    int32_t TextWidth(const std::wstring& AText);
    void ShowFont(const TFont* AFont);
    std::wstring ShortenForEllipsis(const std::wstring& AText, const RECT& ARect, UINT AFlags);

    std::unique_ptr<TStringList> FCaptions;
    bool FWordWrapSelf = false;
    tlbAutoSizeMode FAutoSizeMode = asBoth;
    tlbAlignmentInside FAlignmentInside = aiNone;
    bool FCaptionAntialias = false;
    bool FHotTrack = false;
    std::unique_ptr<TFont> FFontOfClick;
    std::unique_ptr<TFont> FFontOfHotTrack;
    std::unique_ptr<TFont> FSavedFont;
};
