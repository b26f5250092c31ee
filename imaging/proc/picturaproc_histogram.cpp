#include "picturaproc_histogram.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "iebitmap.h"
#include "iecoreutils_colour.h"
#include "iecoreutils_general.h"
#include "picturaio_colour.h"
#include "picturaproc_bw.h"

namespace {

int32_t FloatToLevel(float V) {
    const long double t = std::trunc((long double)V * 255);
    return t < 0 ? 0 : t > 255 ? 255 : (int32_t)t;   // NaN compares false and gives 255 here
}

int32_t GreyOf(int32_t V) { return IERGBToGray(IECreateRGB((uint8_t)V, (uint8_t)V, (uint8_t)V)); }

// The grey level of every pixel of row Y into Levels (Width entries); false for a format without
// one. GreyThroughWeights passes the one-channel values of ie16g and ie32f through the grey
// weights (as the threshold does) instead of taking them as they are (as the histogram does).
bool GreyLevelsOfRow(TIEBitmap* Bitmap, int32_t Y, int32_t* Levels, bool GreyThroughWeights) {
    const int32_t w = Bitmap->GetWidth();
    const uint8_t* p = Bitmap->GetScanline(Y);
    switch (Bitmap->GetPixelFormat()) {
    case ie1g:
        for (int32_t x = 0; x < w; ++x) Levels[x] = (p[x >> 3] >> (7 - (x & 7))) & 1;
        return true;
    case ie8p: {
        int32_t grey[256];
        const int32_t n = Bitmap->GetPaletteLength();
        for (int32_t i = 0; i < 256; ++i) grey[i] = i < n ? IERGBToGray(Bitmap->GetPaletteEntry(i)) : 0;
        for (int32_t x = 0; x < w; ++x) Levels[x] = grey[p[x]];
        return true;
    }
    case ie8g:
        for (int32_t x = 0; x < w; ++x) Levels[x] = p[x];
        return true;
    case ie16g:
        for (int32_t x = 0; x < w; ++x) {
            uint16_t v;
            std::memcpy(&v, p + 2 * (size_t)x, 2);
            Levels[x] = GreyThroughWeights ? GreyOf(v >> 8) : v >> 8;
        }
        return true;
    case ie24RGB:
    case ie32RGB: {
        const size_t step = Bitmap->GetPixelFormat() == ie24RGB ? 3 : 4;
        for (int32_t x = 0; x < w; ++x, p += step) Levels[x] = IERGBToGray(TIERGB{p[0], p[1], p[2]});
        return true;
    }
    case ie32f:
        for (int32_t x = 0; x < w; ++x) {
            float v;
            std::memcpy(&v, p + 4 * (size_t)x, 4);
            Levels[x] = GreyThroughWeights ? GreyOf(FloatToLevel(v)) : FloatToLevel(v);
        }
        return true;
    case ieCMYK:
        for (int32_t x = 0; x < w; ++x) {
            TIERGB rgb;
            IECMYKToRGB(p + 4 * (size_t)x, rgb);
            Levels[x] = IERGBToGray(rgb);
        }
        return true;
    case ieRGB48:
        for (int32_t x = 0; x < w; ++x) {
            uint16_t rgb[3];
            std::memcpy(rgb, p + 6 * (size_t)x, 6);
            Levels[x] = IERGBToGray(IECreateRGB((uint8_t)(rgb[0] >> 8), (uint8_t)(rgb[1] >> 8), (uint8_t)(rgb[2] >> 8)));
        }
        return true;
    case ieCIELab:
        for (int32_t x = 0; x < w; ++x, p += 3)
            Levels[x] = IERGBToGray(IECIELabToRGB((uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16));
        return true;
    default: return false;
    }
}

// The maximum-entropy threshold of a histogram of Count pixels; -2 when no level scores above 0.
int32_t MaxEntropyThreshold(const TIEHistogram& Histogram, int64_t Count) {
    double p[256];
    double e = 0;
    for (int32_t i = 0; i < 256; ++i) {
        p[i] = (double)Histogram[i] / (double)Count;
        if (p[i] != 0) e -= p[i] * std::log(p[i]);
    }
    int32_t threshold = -2;
    double best = 0, score = 0, below = 0, belowEntropy = 0;
    for (int32_t t = 1; t <= 255; ++t) {
        below += p[t - 1];
        if (p[t - 1] > 0) belowEntropy -= p[t - 1] * std::log(p[t - 1]);
        if (below > 0 && below < 1)
            score = std::log(below - below * below) + belowEntropy / below + (e - belowEntropy) / (1 - below);
        if (score > best) {
            best = score;
            threshold = t;
        }
    }
    return threshold;
}

}  // namespace

void IEGrayHistogram(TIEBitmap* Bitmap, TIEHistogram& Histogram) {
    std::memset(Histogram, 0, sizeof(TIEHistogram));
    if (!Bitmap || Bitmap->IsEmpty()) return;
    std::vector<int32_t> levels((size_t)Bitmap->GetWidth());
    for (int32_t y = 0; y < Bitmap->GetHeight(); ++y) {
        if (!GreyLevelsOfRow(Bitmap, y, levels.data(), false)) return;
        for (int32_t v : levels) ++Histogram[v];
    }
}

void IEThresholdTo1Bit(TIEBitmap* Source, TIEBitmap* Dest, int32_t Threshold, TIOProgressRecord& Progress) {
    if (!Source || !Dest || Source->IsEmpty() || Dest->GetPixelFormat() != ie1g ||
        Dest->GetWidth() != Source->GetWidth() || Dest->GetHeight() != Source->GetHeight())
        return;
    const int32_t w = Source->GetWidth(), h = Source->GetHeight();
    if (Source->GetPixelFormat() == ie1g) {
        Dest->AssignImage(Source);
        return;
    }
    Progress.PercentPerUnit = 100 / (h + 0.5);
    int32_t t = Threshold;
    if (Threshold == -1) {
        int32_t r, g, b;
        IEAverageColor(Source, r, g, b);
        t = IERGBToGray(IECreateRGB((uint8_t)r, (uint8_t)g, (uint8_t)b));
    } else if (Threshold == -2) {
        TIEHistogram histogram;
        IEGrayHistogram(Source, histogram);
        t = MaxEntropyThreshold(histogram, (int64_t)w * h);
    }
    std::vector<int32_t> levels((size_t)w);
    std::vector<uint8_t> bits((size_t)Dest->GetRowLen());
    for (int32_t y = 0; y < h; ++y) {
        if (!GreyLevelsOfRow(Source, y, levels.data(), true)) std::fill(levels.begin(), levels.end(), 0);
        std::fill(bits.begin(), bits.end(), 0);
        for (int32_t x = 0; x < w; ++x)
            if (levels[(size_t)x] >= t) bits[(size_t)x >> 3] |= (uint8_t)(0x80 >> (x & 7));
        std::memcpy(Dest->GetScanline(y), bits.data(), bits.size());
        if (Progress.OnProgress) Progress.OnProgress(Progress.Sender, (int32_t)std::trunc((y + 1) * Progress.PercentPerUnit));
    }
}

namespace {

using TIEHistogram64 = int64_t[256];
// IEMatchChannelHistogram with 64-bit counts.
void MatchChannel(TIEBitmap* Target, int32_t Channel, const TIEHistogram64& ReferenceHistogram,
                  int64_t ReferenceCount);

}  // namespace

void IEMatchHistogram(TIEBitmap* Reference, TIEBitmap* Target) {
    if (!Reference || !Target || Reference->GetPixelFormat() != ie24RGB || Reference->IsEmpty() || Target->IsEmpty())
        return;
    // Counts and their total in 64 bits: an image may have more than 2^31 pixels.
    TIEHistogram64 histograms[3] = {};
    const int32_t w = Reference->GetWidth(), h = Reference->GetHeight();
    for (int32_t y = 0; y < h; ++y) {
        const uint8_t* p = Reference->GetScanline(y);
        for (int32_t x = 0; x < w; ++x, p += 3)
            for (int32_t c = 0; c < 3; ++c) ++histograms[c][p[c]];
    }
    for (int32_t c = 0; c < 3; ++c) MatchChannel(Target, c, histograms[c], (int64_t)w * h);
}

void IEMatchChannelHistogram(TIEBitmap* Target, int32_t Channel, const TIEHistogram& ReferenceHistogram,
                             int32_t Levels, int32_t ReferenceCount) {
    (void)Levels;
    TIEHistogram64 reference;
    std::copy(ReferenceHistogram, ReferenceHistogram + 256, reference);
    MatchChannel(Target, Channel, reference, ReferenceCount);
}

namespace {

void MatchChannel(TIEBitmap* Target, int32_t Channel, const TIEHistogram64& ReferenceHistogram,
                  int64_t ReferenceCount) {
    if (!Target || Target->IsEmpty() || Channel < 0 || Channel > 2 || ReferenceCount <= 0) return;
    const TIEPixelFormat format = Target->GetPixelFormat();
    if (format != ie24RGB && format != ieRGB48) return;
    const bool wide = format == ieRGB48;
    const int32_t w = Target->GetWidth(), h = Target->GetHeight();
    // The channel's byte of a pixel, or the offset of its 16-bit word (stored red, green, blue).
    const size_t step = wide ? 6 : 3, offset = wide ? 2 * (size_t)(2 - Channel) : (size_t)Channel;
    auto level = [&](const uint8_t* P) {
        if (!wide) return (int32_t)P[offset];
        uint16_t v;
        std::memcpy(&v, P + offset, 2);
        return (int32_t)(v >> 8);
    };

    TIEHistogram64 histogram = {};
    for (int32_t y = 0; y < h; ++y) {
        const uint8_t* p = Target->GetScanline(y);
        for (int32_t x = 0; x < w; ++x, p += step) ++histogram[level(p)];
    }
    // Equalise, then map each equalised level to the reference level of the nearest cumulative
    // share (the first of equals).
    long double reference[256];
    int64_t cumulative = 0, referenceCumulative = 0;
    int32_t equalised[256];
    for (int32_t i = 0; i < 256; ++i) {
        cumulative += histogram[i];
        equalised[i] = (int32_t)std::trunc((long double)cumulative * 255 / ((long double)w * h));
        referenceCumulative += ReferenceHistogram[i];
        reference[i] = (long double)255 / ReferenceCount * referenceCumulative;
    }
    uint8_t nearest[256];
    for (int32_t i = 0; i < 256; ++i) {
        int32_t best = 0;
        for (int32_t j = 1; j < 256; ++j)
            if (std::fabs(i - reference[j]) < std::fabs(i - reference[best])) best = j;
        nearest[i] = (uint8_t)best;
    }
    uint8_t map[256];
    for (int32_t v = 0; v < 256; ++v) map[v] = nearest[IEClamp(equalised[v], 0, 255)];

    for (int32_t y = 0; y < h; ++y) {
        uint8_t* p = Target->GetScanline(y);
        for (int32_t x = 0; x < w; ++x, p += step) {
            const uint8_t m = map[level(p)];
            if (wide) {
                const uint16_t v = (uint16_t)(m * 257);
                std::memcpy(p + offset, &v, 2);
            } else {
                p[offset] = m;
            }
        }
    }
}

}  // namespace
