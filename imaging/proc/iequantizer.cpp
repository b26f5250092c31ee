#include "iequantizer.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "iebitmap.h"
#include "iecoreutils_general.h"

namespace {

inline uint32_t ColorKey(const TIERGB& C) {
    return static_cast<uint32_t>(C.r) << 16 | static_cast<uint32_t>(C.g) << 8 | C.b;
}
inline uint32_t HashKey(uint32_t Key) { return (Key * 2654435761u) >> 8; }

// Round to nearest, ties to even.
inline int32_t RoundEven(double V) { return static_cast<int32_t>(std::nearbyint(V)); }

}  // namespace

// ---- NeuQuant --------------------------------------------------------------------------------
// The self-organising network with fixed fraction bits: 4 for colours, 10 for alpha, 6 for the
// radius, 8 for radpower, 16 for frequency and bias.

struct TIEQuantizer::TNeuQuant {
    static constexpr int32_t kNetBiasShift = 4;
    static constexpr int32_t kIntBiasShift = 16;
    static constexpr int32_t kIntBias = 1 << kIntBiasShift;
    static constexpr int32_t kGammaShift = 10;
    static constexpr int32_t kBetaShift = 10;
    static constexpr int32_t kBeta = kIntBias >> kBetaShift;
    static constexpr int32_t kBetaGamma = kIntBias << (kGammaShift - kBetaShift);
    static constexpr int32_t kRadiusBiasShift = 6;
    static constexpr int32_t kRadiusDec = 30;
    static constexpr int32_t kInitAlpha = 1 << 10;
    static constexpr int32_t kRadBias = 1 << 8;
    static constexpr int32_t kAlphaRadBias = 1 << 18;
    static constexpr int32_t kCycles = 100;

    int32_t NetSize = 0;
    int32_t MaxNetPos = 0;
    int32_t InitRad = 0;
    int32_t InitRadius = 0;
    int32_t AlphaDec = 0;
    int32_t SamplingFactor = 1;
    int64_t SampleCount = 0;
    std::vector<int32_t> Network;   // NetSize neurons of blue, green, red, palette index
    int32_t NetIndex[256] = {};
    std::vector<int32_t> Bias, Freq, RadPower;

    int32_t* Neuron(int32_t I) { return &Network[static_cast<size_t>(I) * 4]; }
    const int32_t* Neuron(int32_t I) const { return &Network[static_cast<size_t>(I) * 4]; }

    void Build(TIEBitmap* B, int32_t ColorCount, TIERGB* Palette);
    int32_t Contest(int32_t Blue, int32_t Green, int32_t Red);
    void AlterSingle(int32_t Alpha, int32_t I, int32_t Blue, int32_t Green, int32_t Red);
    void AlterNeighbours(int32_t Rad, int32_t I, int32_t Blue, int32_t Green, int32_t Red);
    void BuildIndex();
    int32_t Search(int32_t Blue, int32_t Green, int32_t Red) const;
};

void TIEQuantizer::TNeuQuant::Build(TIEBitmap* B, int32_t ColorCount, TIERGB* Palette) {
    NetSize = ColorCount;
    MaxNetPos = NetSize - 1;
    InitRad = NetSize >> 3;
    InitRadius = InitRad << kRadiusBiasShift;
    Network.assign(static_cast<size_t>(NetSize) * 4, 0);
    Bias.assign(static_cast<size_t>(NetSize), 0);
    Freq.assign(static_cast<size_t>(NetSize), kIntBias / NetSize);
    RadPower.assign(static_cast<size_t>(std::max(InitRad, 1)), 0);
    for (int32_t i = 0; i < NetSize; ++i) {
        int32_t* n = Neuron(i);
        n[0] = n[1] = n[2] = (i << (kNetBiasShift + 8)) / NetSize;
    }

    const int32_t w = B->GetWidth(), h = B->GetHeight();
    const int64_t pixels = static_cast<int64_t>(w) * h;
    if (IENeuQuantQuality == -1) {
        SamplingFactor = pixels < 2000 ? 1 : IEClamp(static_cast<int32_t>(std::nearbyint((long double)(pixels - 2000) * 13 / 148000 + 2)), 1, 30);
    } else {
        const int32_t quality = IEClamp(IENeuQuantQuality, 0, 100);
        SamplingFactor = static_cast<int32_t>((long double)(100 - quality) / 100 * 29) + 1;
    }

    // Learning.
    const int64_t lengthCount = pixels * 3;
    AlphaDec = 30 + (SamplingFactor - 1) / 3;
    SampleCount = lengthCount / (3 * SamplingFactor);
    int64_t delta = SampleCount / kCycles;
    if (delta == 0) delta = 1;
    int32_t alpha = kInitAlpha;
    int32_t radius = InitRadius;
    int32_t rad = radius >> kRadiusBiasShift;
    if (rad <= 1) rad = 0;
    auto buildRadPower = [&]() {
        for (int32_t i = 0; i < rad; ++i)
            RadPower[static_cast<size_t>(i)] = alpha * (((rad * rad - i * i) * kRadBias) / (rad * rad));
    };
    buildRadPower();
    int64_t step;
    if (lengthCount % 499 != 0) step = 499;
    else if (lengthCount % 491 != 0) step = 491;
    else if (lengthCount % 487 != 0) step = 487;
    else step = 503;

    int64_t p = 0;
    for (int64_t i = 0; i < SampleCount;) {
        const int32_t row = static_cast<int32_t>((p / w) % h), col = static_cast<int32_t>(p % w);
        const uint8_t* px = B->GetScanline(row) + 3 * static_cast<size_t>(col);
        const int32_t blue = px[0] << kNetBiasShift, green = px[1] << kNetBiasShift, red = px[2] << kNetBiasShift;
        const int32_t j = Contest(blue, green, red);
        AlterSingle(alpha, j, blue, green, red);
        if (rad != 0) AlterNeighbours(rad, j, blue, green, red);
        p += step;
        if (p >= pixels) p -= pixels;
        ++i;
        if (i % delta == 0) {
            alpha -= alpha / AlphaDec;
            radius -= radius / kRadiusDec;
            rad = radius >> kRadiusBiasShift;
            if (rad <= 1) rad = 0;
            buildRadPower();
        }
    }
    B->ReleaseRowBuffers();

    // Unbias, number the neurons and write the palette.
    for (int32_t i = 0; i < NetSize; ++i) {
        int32_t* n = Neuron(i);
        for (int c = 0; c < 3; ++c) n[c] = std::min(std::max((n[c] + (1 << (kNetBiasShift - 1))) >> kNetBiasShift, 0), 255);
        n[3] = i;
        Palette[i] = TIERGB{static_cast<uint8_t>(n[0]), static_cast<uint8_t>(n[1]), static_cast<uint8_t>(n[2])};
    }
    BuildIndex();
}

int32_t TIEQuantizer::TNeuQuant::Contest(int32_t Blue, int32_t Green, int32_t Red) {
    int32_t bestDist = INT32_MAX, bestBiasDist = INT32_MAX, bestPos = 0, bestBiasPos = 0;
    for (int32_t i = 0; i < NetSize; ++i) {
        const int32_t* n = Neuron(i);
        const int32_t dist = std::abs(n[0] - Blue) + std::abs(n[1] - Green) + std::abs(n[2] - Red);
        if (dist < bestDist) {
            bestDist = dist;
            bestPos = i;
        }
        const int32_t biasDist = dist - (Bias[static_cast<size_t>(i)] >> (kIntBiasShift - kNetBiasShift));
        if (biasDist < bestBiasDist) {
            bestBiasDist = biasDist;
            bestBiasPos = i;
        }
        const int32_t betaFreq = Freq[static_cast<size_t>(i)] >> kBetaShift;
        Freq[static_cast<size_t>(i)] -= betaFreq;
        Bias[static_cast<size_t>(i)] += betaFreq << kGammaShift;
    }
    Freq[static_cast<size_t>(bestPos)] += kBeta;
    Bias[static_cast<size_t>(bestPos)] -= kBetaGamma;
    return bestBiasPos;
}

void TIEQuantizer::TNeuQuant::AlterSingle(int32_t Alpha, int32_t I, int32_t Blue, int32_t Green, int32_t Red) {
    int32_t* n = Neuron(I);
    n[0] -= (n[0] - Blue) * Alpha / kInitAlpha;
    n[1] -= (n[1] - Green) * Alpha / kInitAlpha;
    n[2] -= (n[2] - Red) * Alpha / kInitAlpha;
}

void TIEQuantizer::TNeuQuant::AlterNeighbours(int32_t Rad, int32_t I, int32_t Blue, int32_t Green, int32_t Red) {
    const int32_t lo = std::max(I - Rad, -1), hi = std::min(I + Rad, NetSize);
    int32_t j = I + 1, k = I - 1, m = 1;
    auto move = [&](int32_t* n, int64_t a) {
        n[0] -= static_cast<int32_t>((n[0] - Blue) * a / kAlphaRadBias);
        n[1] -= static_cast<int32_t>((n[1] - Green) * a / kAlphaRadBias);
        n[2] -= static_cast<int32_t>((n[2] - Red) * a / kAlphaRadBias);
    };
    while (j < hi || k > lo) {
        const int64_t a = RadPower[static_cast<size_t>(m++)];
        if (j < hi) move(Neuron(j++), a);
        if (k > lo) move(Neuron(k--), a);
    }
}

void TIEQuantizer::TNeuQuant::BuildIndex() {
    int32_t previous = 0, start = 0;
    for (int32_t i = 0; i < NetSize; ++i) {
        int32_t smallPos = i, smallVal = Neuron(i)[1];
        for (int32_t j = i + 1; j < NetSize; ++j) {
            if (Neuron(j)[1] < smallVal) {
                smallPos = j;
                smallVal = Neuron(j)[1];
            }
        }
        if (smallPos != i) std::swap_ranges(Neuron(i), Neuron(i) + 4, Neuron(smallPos));
        if (smallVal != previous) {
            NetIndex[previous] = (start + i) >> 1;
            for (int32_t j = previous + 1; j < smallVal; ++j) NetIndex[j] = i;
            previous = smallVal;
            start = i;
        }
    }
    NetIndex[previous] = (start + MaxNetPos) >> 1;
    for (int32_t j = previous + 1; j < 256; ++j) NetIndex[j] = MaxNetPos;
}

int32_t TIEQuantizer::TNeuQuant::Search(int32_t Blue, int32_t Green, int32_t Red) const {
    int32_t bestDist = 1000, best = 0;
    int32_t i = NetIndex[Green], j = i - 1;
    auto consider = [&](const int32_t* n, int32_t greenDist) {
        int32_t dist = std::abs(greenDist) + std::abs(n[0] - Blue);
        if (dist < bestDist) {
            dist += std::abs(n[2] - Red);
            if (dist < bestDist) {
                bestDist = dist;
                best = n[3];
            }
        }
    };
    while (i < NetSize || j >= 0) {
        if (i < NetSize) {
            const int32_t* n = Neuron(i);
            const int32_t dist = n[1] - Green;
            if (dist >= bestDist) {
                i = NetSize;
            } else {
                ++i;
                consider(n, dist);
            }
        }
        if (j >= 0) {
            const int32_t* n = Neuron(j);
            const int32_t dist = Green - n[1];
            if (dist >= bestDist) {
                j = -1;
            } else {
                --j;
                consider(n, dist);
            }
        }
    }
    return best;
}

// ---- Variance split --------------------------------------------------------------------------
// Boxes of the 32 x 32 x 32 cube of 5-bit colours; the box of the largest variance is cut where
// the two halves are best separated, until there are as many boxes as colours.

struct TIEQuantizer::TVarianceSplit {
    static constexpr double kNoSplit = 17523.6;
    struct TBox {
        double Variance = 0;
        double Mean[3] = {0, 0, 0};   // red, green, blue in 5-bit units
        int32_t Count = 0;
        int32_t Hist[3][32] = {};
        int32_t Lo[3] = {0, 0, 0};    // inclusive
        int32_t Hi[3] = {32, 32, 32};  // exclusive
    };

    std::vector<int32_t> Histogram = std::vector<int32_t>(32768, 0);
    std::vector<TBox> Boxes = std::vector<TBox>(256);
    std::vector<uint8_t> Map = std::vector<uint8_t>(32768, 0);
    int64_t Total = 0;
    int32_t BoxCount = 0;

    static int32_t Cell(int32_t R, int32_t G, int32_t B) { return R << 10 | G << 5 | B; }

    void Build(TIEBitmap* Bmp, int32_t ColorCount, TIERGB* Palette);
    void Statistics(TBox& Box) const;
    bool Split(const TBox& Box, int32_t Channel, TBox& First, TBox& Second) const;
};

void TIEQuantizer::TVarianceSplit::Statistics(TBox& Box) const {
    double variance = 0;
    for (int c = 0; c < 3; ++c) {
        double sum = 0, squares = 0;
        for (int32_t v = Box.Lo[c]; v < Box.Hi[c]; ++v) {
            sum += static_cast<double>(v) * Box.Hist[c][v];
            squares += static_cast<double>(v) * v * Box.Hist[c][v];
        }
        Box.Mean[c] = Box.Count > 0 ? sum / Box.Count : 0;
        variance += squares - Box.Count * Box.Mean[c] * Box.Mean[c];
    }
    Box.Variance = Total > 0 ? variance / static_cast<double>(Total) : 0;
}

bool TIEQuantizer::TVarianceSplit::Split(const TBox& Box, int32_t Channel, TBox& First, TBox& Second) const {
    const int32_t lo = Box.Lo[Channel], hi = Box.Hi[Channel];
    if (hi - lo <= 1) return false;
    const int32_t* h = Box.Hist[Channel];
    const double m = Box.Mean[Channel];
    const int32_t n = Box.Count;
    const int32_t s = RoundEven((lo + m) * 0.5), e = std::min(RoundEven((m + hi) * 0.5), 31);
    int64_t count = 0;
    for (int32_t v = lo; v < s; ++v) count += h[v];
    double t = 0, best = -1;
    int32_t cut = -1;
    for (int32_t v = s; v <= e; ++v) {
        count += h[v];
        if (count == n) break;
        t += static_cast<double>(h[v]) * v / n;
        const double score = static_cast<double>(count) / static_cast<double>(n - count) * (m - t) * (m - t);
        if (score > best) {
            best = score;
            cut = v;
        }
    }
    if (cut < lo) return false;
    First = Box;
    Second = Box;
    First.Hi[Channel] = cut + 1;
    Second.Lo[Channel] = cut + 1;
    // The first half's histograms from the cube; the second half gets the rest.
    std::memset(First.Hist, 0, sizeof(First.Hist));
    int64_t firstCount = 0;
    for (int32_t r = First.Lo[0]; r < First.Hi[0]; ++r)
        for (int32_t g = First.Lo[1]; g < First.Hi[1]; ++g)
            for (int32_t b = First.Lo[2]; b < First.Hi[2]; ++b) {
                const int32_t k = Histogram[static_cast<size_t>(Cell(r, g, b))];
                if (k == 0) continue;
                First.Hist[0][r] += k;
                First.Hist[1][g] += k;
                First.Hist[2][b] += k;
                firstCount += k;
            }
    if (firstCount == 0 || firstCount == n) return false;
    First.Count = static_cast<int32_t>(firstCount);
    Second.Count = n - First.Count;
    for (int c = 0; c < 3; ++c)
        for (int v = 0; v < 32; ++v) Second.Hist[c][v] -= First.Hist[c][v];
    for (TBox* half : {&First, &Second}) {
        for (int c = 0; c < 3; ++c) {
            int32_t a = half->Lo[c], z = half->Hi[c] - 1;
            while (a < z && half->Hist[c][a] == 0) ++a;
            while (z > a && half->Hist[c][z] == 0) --z;
            half->Lo[c] = a;
            half->Hi[c] = z + 1;
        }
        Statistics(*half);
    }
    return true;
}

void TIEQuantizer::TVarianceSplit::Build(TIEBitmap* Bmp, int32_t ColorCount, TIERGB* Palette) {
    const int32_t w = Bmp->GetWidth(), h = Bmp->GetHeight();
    TBox& first = Boxes[0];
    for (int32_t y = 0; y < h; ++y) {
        const uint8_t* s = Bmp->GetScanline(y);
        for (int32_t x = 0; x < w; ++x, s += 3) {
            const int32_t r = s[2] >> 3, g = s[1] >> 3, b = s[0] >> 3;
            ++Histogram[static_cast<size_t>(Cell(r, g, b))];
            ++first.Hist[0][r];
            ++first.Hist[1][g];
            ++first.Hist[2][b];
        }
    }
    Bmp->ReleaseRowBuffers();
    Total = static_cast<int64_t>(w) * h;
    first.Count = static_cast<int32_t>(std::min<int64_t>(Total, INT32_MAX));
    Statistics(first);
    BoxCount = 1;

    while (BoxCount < ColorCount) {
        int32_t pick = -1;
        double largest = 0;
        for (int32_t i = 0; i < BoxCount; ++i) {
            if (Boxes[static_cast<size_t>(i)].Variance > largest) {
                largest = Boxes[static_cast<size_t>(i)].Variance;
                pick = i;
            }
        }
        if (pick < 0) break;
        TBox& box = Boxes[static_cast<size_t>(pick)];
        TBox halves[3][2];
        double bestScore = kNoSplit;
        int32_t bestChannel = -1;
        for (int32_t c = 0; c < 3; ++c) {
            const double score = Split(box, c, halves[c][0], halves[c][1]) ? halves[c][0].Variance + halves[c][1].Variance : kNoSplit;
            if (score < bestScore) {
                bestScore = score;
                bestChannel = c;
            }
        }
        if (bestChannel < 0) {
            box.Variance = 0;
            continue;
        }
        box = halves[bestChannel][0];
        Boxes[static_cast<size_t>(BoxCount++)] = halves[bestChannel][1];
    }

    for (int32_t i = 0; i < BoxCount; ++i) {
        const TBox& box = Boxes[static_cast<size_t>(i)];
        Palette[i] = TIERGB{static_cast<uint8_t>(RoundEven(box.Mean[2]) * 8), static_cast<uint8_t>(RoundEven(box.Mean[1]) * 8),
                            static_cast<uint8_t>(RoundEven(box.Mean[0]) * 8)};
        for (int32_t r = box.Lo[0]; r < box.Hi[0]; ++r)
            for (int32_t g = box.Lo[1]; g < box.Hi[1]; ++g)
                for (int32_t b = box.Lo[2]; b < box.Hi[2]; ++b) Map[static_cast<size_t>(Cell(r, g, b))] = static_cast<uint8_t>(i);
    }
}

// ---- The quantizer ---------------------------------------------------------------------------

TIEQuantizer::TIEQuantizer(TIEBitmap* Bitmap, TIERGB* Palette, int32_t Reserved, int32_t ColorCount)
    : FColorCount(IEClamp(ColorCount, 1, 256)), FBitmap(Bitmap) {
    FIsGray = Bitmap->IsGrayScale();
    const TIEPixelFormat format = Bitmap->GetPixelFormat();
    if (!FIsGray && format == ie24RGB) {
        if (CollectExactColors(Palette)) return;
        FEngineMode = (IEQuantizerMode == -1) ? (FColorCount < 128 ? 1 : 0) : (IEQuantizerMode == 1 ? 1 : 0);
        if (FEngineMode == 0) {
            FNeuQuant.reset(new TNeuQuant);
            FNeuQuant->Build(Bitmap, FColorCount, Palette);
        } else {
            FVariance.reset(new TVarianceSplit);
            FVariance->Build(Bitmap, FColorCount, Palette);
        }
        return;
    }
    if (format == ie8p) {
        for (int32_t i = 0; i < FColorCount; ++i) Palette[i] = Bitmap->GetPaletteEntry(i);
    } else if (FIsGray) {
        for (int32_t i = 0; i < FColorCount; ++i) {
            const uint8_t v = static_cast<uint8_t>(static_cast<int32_t>((long double)256 / FColorCount * i));
            Palette[i] = TIERGB{v, v, v};
        }
    }
}

TIEQuantizer::~TIEQuantizer() = default;

int32_t TIEQuantizer::GetSamplingFactor() const { return FNeuQuant ? FNeuQuant->SamplingFactor : 0; }

bool TIEQuantizer::CollectExactColors(TIERGB* Palette) {
    // Colours in order of first appearance, found through a hash of their positions.
    FExactHash.assign(1024, 0);
    const int32_t w = FBitmap->GetWidth(), h = FBitmap->GetHeight();
    bool fits = true;
    for (int32_t y = 0; y < h && fits; ++y) {
        const TIERGB* s = reinterpret_cast<const TIERGB*>(FBitmap->GetScanline(y));
        for (int32_t x = 0; x < w; ++x) {
            if (ExactIndex(s[x]) >= 0) continue;
            if (static_cast<int32_t>(FExactPalette.size()) == FColorCount) {
                fits = false;
                break;
            }
            FExactPalette.push_back(s[x]);
            uint32_t slot = HashKey(ColorKey(s[x])) & 1023;
            while (FExactHash[slot] != 0) slot = (slot + 1) & 1023;
            FExactHash[slot] = static_cast<int32_t>(FExactPalette.size());
        }
    }
    FBitmap->ReleaseRowBuffers();
    if (!fits) {
        FExactPalette.clear();
        FExactHash.clear();
        return false;
    }
    std::copy(FExactPalette.begin(), FExactPalette.end(), Palette);
    return true;
}

int32_t TIEQuantizer::ExactIndex(const TIERGB& Color) const {
    if (FExactHash.empty()) return -1;
    for (uint32_t slot = HashKey(ColorKey(Color)) & 1023;; slot = (slot + 1) & 1023) {
        const int32_t pos = FExactHash[slot];
        if (pos == 0) return -1;
        if (IESameRGB(FExactPalette[static_cast<size_t>(pos - 1)], Color)) return pos - 1;
    }
}

int32_t TIEQuantizer::RGBIndex(const TIERGB& Color) const {
    if (!FExactPalette.empty()) {
        const int32_t i = ExactIndex(Color);
        return i < 0 ? 0 : i;
    }
    // A palette image answers from its own palette even when that palette is grey: the grey
    // ramp's rule below would give other indices than the palette's order.
    const bool paletted = FBitmap->GetPixelFormat() == ie8p;
    if (FIsGray && !paletted) return Color.r * FColorCount / 256;
    if (FNeuQuant) return FNeuQuant->Search(Color.b, Color.g, Color.r);
    if (FVariance) return FVariance->Map[static_cast<size_t>(TVarianceSplit::Cell(Color.r >> 3, Color.g >> 3, Color.b >> 3))];
    if (paletted) {
        for (int32_t i = 0; i < FBitmap->GetPaletteLength(); ++i)
            if (IESameRGB(FBitmap->GetPaletteEntry(i), Color)) return i;
    }
    return 0;
}
