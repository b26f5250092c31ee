// KWSkinEn: the skin engine. A non-visual component that loads a skin from resources of the
// executable (an ini text describing the parts, and one PNG strip per part whose state images are
// stacked vertically), draws a part in a state into a rectangle by nine-slice scaling through the
// strip's alpha channel, and draws captions in the part's per-state text colour. Skinned controls
// (TKWButton) register with it; when it goes, each of them is told to drop it.
//
// Resources, each named "KWSKINEN": type "INI" (the layout), "PushButton", "SplitterH" and
// "SplitterV" (the strips). Nothing here raises for missing data: missing resources or sections
// leave the skin unloaded or a part empty, and DrawPart answers False without drawing.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "Classes.h"
#include "Controls.h"
#include "Graphics.h"

class TIEBitmap;
class TKWIniFile;

// Part IDs.
constexpr int32_t smpPushButton = 1;
constexpr int32_t smpSplitterH = 1000;
constexpr int32_t smpSplitterV = 1001;

// One skin part: its strips (decoded images, owned), margins, number of state images per strip and
// the text colour of each state image.
class TsmPart : public TObject {
public:
    KW_CLASS_NAME(TsmPart)
    TsmPart();
    ~TsmPart() override;
    int32_t PartID = -1;
    std::vector<std::unique_ptr<TIEBitmap>> Bitmaps;
    tagRECT ContentMargins{0, 0, 0, 0};
    tagRECT SizingMargins{0, 0, 0, 0};
    int32_t ImageCount = 0;
    std::vector<TColor> TextColors;
};

// The parts of a skin, in the order they were added.
class TsmParts : public TObject {
public:
    KW_CLASS_NAME(TsmParts)
    int32_t Count() const { return (int32_t)FItems.size(); }
    TsmPart* Items(int32_t Index) const { return FItems[(size_t)Index].get(); }
    void Clear() { FItems.clear(); }
    TsmPart* Add();
    // The first part with the ID, or nullptr.
    TsmPart* FindPart(int32_t APartID) const;
    // That part, or a new one with the ID.
    TsmPart* FindOrAddPart(int32_t APartID);

private:
    std::vector<std::unique_ptr<TsmPart>> FItems;
};

using TsmSkinChanged = std::function<void()>;

class TKWSkinEn : public TComponent {
public:
    KW_CLASS_NAME(TKWSkinEn)
    // Loads the skin at once (LoadSkin); Loaded records the result.
    explicit TKWSkinEn(TComponent* AOwner);
    // Every registered client has its property "SkinEn" set to none (they leave the list
    // themselves), then the parts go.
    ~TKWSkinEn() override;

    TsmParts* Parts() { return &FParts; }
    bool Loaded() const { return FLoaded; }
    // Stored; no operation here calls it.
    TsmSkinChanged OnSkinChanged;

    // Add unless present; remove when present.
    void RegisterClient(TControl* AControl);
    void UnregisterClient(TControl* AControl);
    int32_t ClientCount() const { return (int32_t)FClients.size(); }
    TControl* Clients(int32_t Index) const { return FClients[(size_t)Index]; }

    // Reads the skin from the resources (on Windows XP or later, and only when both the "INI" and
    // the "PushButton" resources exist) into Parts; sets and returns Loaded. The skin counts as
    // loaded even when the ini has none of the parts' sections.
    bool LoadSkin();
    // Reads one part from a section of the ini (margins, image count, text colours) and decodes
    // the stream, when given, into a new strip. False when the part or ini is missing or the
    // section does not exist.
    bool LoadPart(TsmPart* APart, TKWIniFile* AIni, const std::wstring& ASection, TStream* AStream);

    // Draws the part in the state into ARect on the canvas by nine-slice scaling of the strip whose
    // larger side is closest to ARect's, blended through the strip's alpha; AContentRect is ARect
    // inset by the part's content margins. False, drawing nothing, without a canvas, without the
    // part, for a state image the part does not have or without a usable strip.
    bool DrawPart(TCanvas* ACanvas, int32_t APartID, int32_t AState, const tagRECT& ARect, tagRECT& AContentRect);
    // Draws the text centred on one line in ARect, transparent, in the part's colour of the state.
    // With AAntialias the text goes through the alpha-blending text renderer.
    void DrawText(TCanvas* ACanvas, int32_t APartID, int32_t AState, const std::wstring& AText, const tagRECT& ARect,
                  bool AAntialias);

    // The state image of a part: push-button states 1 to 5 are images 0 to 4; everything else -1
    // (drawn as image 0).
    static int32_t StateIndex(int32_t APartID, int32_t AState);

protected:
    // The resource of type AType named "KWSKINEN", or nullptr (a test seam).
    virtual std::unique_ptr<TStream> OpenResource(const std::wstring& AType);
    // Skins are drawn on Windows XP or later only (a test seam).
    virtual bool SystemSupportsSkins();

private:
    TsmParts FParts;
    std::vector<TControl*> FClients;
    bool FLoaded = false;
};
