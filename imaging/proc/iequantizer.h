// The colour quantizer: a palette of at most 256 colours for an image, then the palette index of
// each colour of that image. Platform-neutral.
//
// The palette comes from, in this order: the exact colour list of a 24-bit colour image with few
// enough colours; a quantizing engine for other 24-bit colour images (NeuQuant, the self-organising
// network, or a variance-split box quantizer over a 32 x 32 x 32 cube, chosen by IEQuantizerMode);
// the image's own palette for ie8p; an even grey ramp for grey images. A colour image in another
// format gets no palette and every colour answers 0: convert it to ie24RGB first.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "Classes.h"
#include "iecoredefs_types.h"
#include "ieprochooks.h"   // IEQuantizerMode, IENeuQuantQuality, IIEQuantizer

class TIEBitmap;

// The buffer and the codecs make it through IENewQuantizerHook and use it as an IIEQuantizer.
class TIEQuantizer final : public TObject, public IIEQuantizer {
public:
    KW_CLASS_NAME(TIEQuantizer)
    // Builds the palette and writes it into Palette[0 .. ColorCount - 1] (as far as the method
    // provides; the other entries stay as they were). ColorCount is 1..256; Reserved is unused.
    // Bitmap is read here and by RGBIndex; it must outlive the quantizer and not change.
    TIEQuantizer(TIEBitmap* Bitmap, TIERGB* Palette, int32_t Reserved, int32_t ColorCount);
    ~TIEQuantizer() override;
    TIEQuantizer(const TIEQuantizer&) = delete;
    TIEQuantizer& operator=(const TIEQuantizer&) = delete;

    // The palette index for a colour of the image.
    int32_t RGBIndex(const TIERGB& Color) const override;

    // The state the constructor chose: the engine's mode (0 NeuQuant, 1 variance split) when an
    // engine is in use, else -1; whether the exact colour list is in use; the grey test; the
    // NeuQuant sampling factor (one pixel in that many is learnt; 0 without NeuQuant).
    int32_t GetMode() const { return FEngineMode; }
    bool HasExactPalette() const { return !FExactPalette.empty(); }
    bool GetIsGray() const override { return FIsGray; }
    int32_t GetSamplingFactor() const;

    struct TNeuQuant;
    struct TVarianceSplit;

private:
    bool CollectExactColors(TIERGB* Palette);
    int32_t ExactIndex(const TIERGB& Color) const;

    int32_t FEngineMode = -1;
    std::unique_ptr<TNeuQuant> FNeuQuant;
    std::unique_ptr<TVarianceSplit> FVariance;
    bool FIsGray = false;
    std::vector<TIERGB> FExactPalette;
    std::vector<int32_t> FExactHash;   // open addressing: list position + 1, 0 for a free slot
    int32_t FColorCount = 0;
    TIEBitmap* FBitmap = nullptr;
};
