#include "KWSkinEn.h"
#include "KWSkinEn_slices.h"

#include <algorithm>
#include <cstdlib>

#include "KWCommonLib.h"
#include "KWIniFile.h"
#include "KWPicturaLib.h"
#include "iebitmap.h"
#include "picturaio.h"

namespace {

const wchar_t* const kResourceName = L"KWSKINEN";

struct TSkinSection {
    const wchar_t* Name;
    int32_t PartID;
};
const TSkinSection kSections[] = {
    {L"PushButton", smpPushButton},
    {L"SplitterH", smpSplitterH},
    {L"SplitterV", smpSplitterV},
};

// The canvas stays locked while the work bitmap is blended onto it.
struct TCanvasLock {
    TCanvas* Canvas;
    explicit TCanvasLock(TCanvas* ACanvas) : Canvas(ACanvas) { Canvas->Lock(); }
    ~TCanvasLock() { Canvas->Unlock(); }
};

}  // namespace

TsmPart::TsmPart() = default;
TsmPart::~TsmPart() = default;

TsmPart* TsmParts::Add() {
    FItems.push_back(std::make_unique<TsmPart>());
    return FItems.back().get();
}

TsmPart* TsmParts::FindPart(int32_t APartID) const {
    for (const auto& part : FItems)
        if (part->PartID == APartID) return part.get();
    return nullptr;
}

TsmPart* TsmParts::FindOrAddPart(int32_t APartID) {
    if (TsmPart* part = FindPart(APartID)) return part;
    TsmPart* part = Add();
    part->PartID = APartID;
    return part;
}

TKWSkinEn::TKWSkinEn(TComponent* AOwner) : TComponent(AOwner) { LoadSkin(); }

TKWSkinEn::~TKWSkinEn() {
    // Each client leaves the list itself when its engine is set to none; a copy is walked so that
    // those removals do not disturb the walk.
    const std::vector<TControl*> clients = FClients;
    for (TControl* client : clients) KWSetObjectProperty(client, L"SkinEn", nullptr);
    FParts.Clear();
    FClients.clear();
}

void TKWSkinEn::RegisterClient(TControl* AControl) {
    if (std::find(FClients.begin(), FClients.end(), AControl) == FClients.end()) FClients.push_back(AControl);
}

void TKWSkinEn::UnregisterClient(TControl* AControl) {
    auto it = std::find(FClients.begin(), FClients.end(), AControl);
    if (it != FClients.end()) FClients.erase(it);
}

std::unique_ptr<TStream> TKWSkinEn::OpenResource(const std::wstring& AType) {
    return KWGetResourceStream(kResourceName, AType);
}

bool TKWSkinEn::SystemSupportsSkins() { return KWIsWinXPOrLater(); }

bool TKWSkinEn::LoadSkin() {
    FLoaded = false;
    if (!SystemSupportsSkins()) return false;
    std::unique_ptr<TStream> ini = OpenResource(L"INI");
    std::unique_ptr<TStream> strips[3];
    for (size_t i = 0; i < 3; ++i) strips[i] = OpenResource(kSections[i].Name);
    if (!ini || !strips[0]) return false;
    TKWIniFile document(L"");
    try {
        document.LoadFromStream(ini.get());
    } catch (const std::exception&) {
        return false;
    }
    FParts.Clear();
    for (size_t i = 0; i < 3; ++i) {
        if (!document.SectionExists(kSections[i].Name)) continue;
        LoadPart(FParts.FindOrAddPart(kSections[i].PartID), &document, kSections[i].Name, strips[i].get());
    }
    FLoaded = true;
    return true;
}

bool TKWSkinEn::LoadPart(TsmPart* APart, TKWIniFile* AIni, const std::wstring& ASection, TStream* AStream) {
    if (!APart || !AIni || !AIni->SectionExists(ASection)) return false;
    APart->ContentMargins = AIni->ReadRect(ASection, L"ContentMargins", APart->ContentMargins);
    APart->SizingMargins = AIni->ReadRect(ASection, L"SizingMargins", APart->SizingMargins);
    APart->ImageCount = AIni->ReadInteger(ASection, L"ImageCount", APart->ImageCount);
    if (AStream) {
        auto strip = std::make_unique<TIEBitmap>();
        try {
            auto io = TPicturaIO::CreateFromBitmap(strip.get());
            io->LoadFromStream(AStream);
            // A decode that stopped part way would show whatever rows it did not reach.
            if (io->Aborting) strip.reset();
        } catch (const std::exception&) {
            strip.reset();   // a strip that does not decode is no strip
        }
        if (strip && !strip->IsEmpty()) APart->Bitmaps.push_back(std::move(strip));
    }
    if (APart->ImageCount > 0) {
        APart->TextColors.assign((size_t)APart->ImageCount, clBlack);
        for (int32_t i = 0; i < APart->ImageCount; ++i) {
            // A colour that is not hexadecimal keeps the default rather than failing the skin.
            try {
                APart->TextColors[(size_t)i] =
                    AIni->ReadHex(ASection, L"TextColor" + std::to_wstring(i), APart->TextColors[0]);
            } catch (const std::exception&) {
                APart->TextColors[(size_t)i] = APart->TextColors[0];
            }
        }
    }
    return true;
}

int32_t TKWSkinEn::StateIndex(int32_t APartID, int32_t AState) {
    if (APartID == smpPushButton && AState >= 1 && AState <= 5) return AState - 1;
    return -1;
}

bool TKWSkinEn::DrawPart(TCanvas* ACanvas, int32_t APartID, int32_t AState, const tagRECT& ARect,
                         tagRECT& AContentRect) {
    if (!ACanvas) return false;
    TsmPart* part = FParts.FindPart(APartID);
    if (!part) return false;
    const int32_t k = std::max(StateIndex(APartID, AState), 0);
    if (k >= part->ImageCount) return false;
    AContentRect = tagRECT{ARect.left + part->ContentMargins.left, ARect.top + part->ContentMargins.top,
                           ARect.right - part->ContentMargins.right, ARect.bottom - part->ContentMargins.bottom};

    // The strip made for the size nearest to the target's larger side.
    const int32_t w = ARect.right - ARect.left, h = ARect.bottom - ARect.top;
    const int32_t target = std::max(w, h);
    TIEBitmap* strip = nullptr;
    int64_t bestDistance = 0;
    for (const auto& candidate : part->Bitmaps) {
        const int64_t distance =
            std::llabs((int64_t)std::max(candidate->GetWidth(), candidate->GetHeight()) - target);
        if (!strip || distance < bestDistance) {
            strip = candidate.get();
            bestDistance = distance;
        }
    }
    if (!strip || strip->IsEmpty() || w <= 0 || h <= 0) return false;

    const int32_t W = strip->GetWidth(), H = strip->GetHeight();
    const int32_t S = H / part->ImageCount;
    // More images than the strip has rows: there is no image to draw, and the caller falls back
    // to its own look.
    if (S <= 0) return false;
    const std::vector<TKWSkinSlice> pieces =
        KWSkinSlices(W, S, k, part->SizingMargins.left, part->SizingMargins.top, part->SizingMargins.right,
                     part->SizingMargins.bottom, w, h);

    // Black (the display-range minimum of a decoded strip) and transparent until pieces land.
    std::unique_ptr<TIEBitmap> workBitmap = KWCreateBlankBitmap(w, h);
    TIEBitmap& work = *workBitmap;
    if (strip->DisplayRange[0] != 0) work.Fill(strip->DisplayRange[0]);
    for (const TKWSkinSlice& p : pieces) {
        strip->StretchRectTo(&work, p.DstX, p.DstY, p.DstW, p.DstH, p.SrcX, p.SrcY, p.SrcW, p.SrcH, rfNone, 255);
    }
    {
        // The work bitmap is this call's own; only the canvas can be shared with another thread.
        TCanvasLock canvasLock(ACanvas);
        work.DrawToCanvasWithAlpha(ACanvas, ARect.left, ARect.top, w, h, 0, 0, w, h, 255, rfNone, 0);
    }
    return true;
}

void TKWSkinEn::DrawText(TCanvas* ACanvas, int32_t APartID, int32_t AState, const std::wstring& AText,
                         const tagRECT& ARect, bool AAntialias) {
    if (!ACanvas) return;
    TsmPart* part = FParts.FindPart(APartID);
    if (!part) return;
    const size_t index = (size_t)std::max(StateIndex(APartID, AState), 0);
    // A part with fewer colours than its states (or none) draws in its first colour, or black.
    const TColor colour = index < part->TextColors.size()   ? part->TextColors[index]
                          : !part->TextColors.empty()       ? part->TextColors[0]
                                                            : clBlack;
    ACanvas->Font()->SetColor(colour);
    HDC dc = ACanvas->Handle();
    const int oldMode = SetBkMode(dc, TRANSPARENT);
    if (AAntialias) {
        // Rendered at its own size into the renderer's alpha bitmap and blended.
        TieDrawTextInfo info;
        KWMakeTextInfo(ACanvas->Font(), info);
        info.Text = AText;
        info.Rect = ARect;
        info.Flags = DT_CENTER | DT_VCENTER | DT_SINGLELINE;
        KWDrawTextToCanvas(ACanvas, info);
    } else {
        RECT r = ARect;
        ::DrawTextW(dc, AText.c_str(), (int)AText.size(), &r, DT_SINGLELINE | DT_VCENTER | DT_CENTER);
    }
    SetBkMode(dc, oldMode);
}
