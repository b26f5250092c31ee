#include "iedicom.h"

#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "CheckedMath.h"
#include "codecs_common.h"
#include "iebitmap.h"
#include "iecoreutils_dicomtags.h"
#include "iecoreutils_streams.h"
#include "iecoreutils_text.h"
#include "iedicom_dictionary.h"
#include "iej2000.h"
#include "jpegfilt.h"

namespace {

// ---- Value representations --------------------------------------------------------------------

// The dictionary's VR by bisection; group lengths (element 0) are UL; "xs" for the rest.
std::string LookupVR(uint16_t Group, uint16_t Element) {
    const uint32_t key = (uint32_t)Group << 16 | Element;
    size_t lo = 0, hi = IEDICOMVRDictionaryCount;
    while (lo < hi) {
        const size_t mid = (lo + hi) / 2;
        const uint32_t k = (uint32_t)IEDICOMVRDictionary[mid].Group << 16 | IEDICOMVRDictionary[mid].Element;
        if (k == key) return IEDICOMVRDictionary[mid].VR;
        if (k < key)
            lo = mid + 1;
        else
            hi = mid;
    }
    return Element == 0 ? "UL" : "xs";
}

// The explicit VRs that carry two reserved bytes and a 4-byte length.
bool HasLongLength(const char* VR) {
    static const char* const kLong[] = {"OB", "OD", "OF", "OL", "OV", "OW", "SQ", "SV", "UC", "UN", "UR", "UT", "UV"};
    for (const char* v : kLong)
        if (VR[0] == v[0] && VR[1] == v[1]) return true;
    return false;
}

int32_t VRSize(const std::string& VR) {
    if (VR == "SS" || VR == "US") return 2;
    if (VR == "UL" || VR == "SL" || VR == "FL") return 4;
    if (VR == "FD") return 8;
    return 1;
}

uint16_t Swap16(uint16_t v) { return (uint16_t)(v << 8 | v >> 8); }
uint32_t Swap32(uint32_t v) { return v << 24 | (v & 0xFF00) << 8 | (v >> 8 & 0xFF00) | v >> 24; }
uint16_t LE16(const uint8_t* p) { return (uint16_t)(p[0] | p[1] << 8); }
uint32_t LE32(const uint8_t* p) { return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24; }

std::string Trimmed(const std::string& S) {
    size_t b = 0, e = S.size();
    while (b < e && (S[b] == ' ' || S[b] == '\0')) ++b;
    while (e > b && (S[e - 1] == ' ' || S[e - 1] == '\0')) --e;
    return S.substr(b, e - b);
}

std::string Upper(std::string S) {
    for (char& c : S) c = (char)std::toupper((unsigned char)c);
    return S;
}

// The first value of a decimal string (the text up to the first "\") when it is a number a double
// holds: text that does not parse, "NaN", infinities and values beyond the range ("1e400") are
// refused, so that no later arithmetic or conversion meets them.
bool FiniteDecimal(const std::string& S, double& AValue) {
    std::string t = Trimmed(S.substr(0, S.find('\\')));
    if (t.empty()) return false;
    char* end = nullptr;
    const double v = std::strtod(t.c_str(), &end);
    if (!end || *end != '\0' || !std::isfinite(v)) return false;
    AValue = v;
    return true;
}

// The first value of a decimal string; -1 when it is refused.
double DecimalValue(const std::string& S) {
    double v;
    return FiniteDecimal(S, v) ? v : -1;
}

// ---- Transfer syntaxes -------------------------------------------------------------------------

const char* const kImplicitLE = "1.2.840.10008.1.2";
const char* const kExplicitLE = "1.2.840.10008.1.2.1";
const char* const kExplicitBE = "1.2.840.10008.1.2.2";
const char* const kDeflatedLE = "1.2.840.10008.1.2.1.99";
const char* const kRLE = "1.2.840.10008.1.2.5";

bool IsNativeSyntax(const std::string& TS) {
    return TS.empty() || TS == kImplicitLE || TS == kExplicitLE || TS == kExplicitBE || TS == kDeflatedLE;
}

// ---- The parser record --------------------------------------------------------------------------

// The largest inflated data set the reader makes of a deflated one.
constexpr int64_t kMaxInflated = int64_t(1) << 29;

struct TDICOMContext {
    TIOParamsVals& Params;
    TIEBitmap* Bitmap;
    TIOProgressRecord& Progress;
    TStream* Stream = nullptr;   // the stream being parsed (buffered view, or the inflated data set)
    std::unique_ptr<TIEBufferedReadStream> Buffered;
    std::unique_ptr<TMemoryStream> Inflated;
    int64_t Size = 0;
    bool NoPreamble = false;
    bool LittleEndian = true;
    bool DeflatePending = false;
    std::string TransferSyntax;
    int32_t SamplesPerPixel = 1;
    std::string Photometric;
    int32_t PlanarConfiguration = 0;
    int32_t Frames = 1;
    int32_t PixelRepresentation = 0;
    int32_t Rows = 0;
    int32_t Columns = 0;
    int32_t BitsAllocated = 0;
    int32_t BitsStored = 0;
    int32_t BytesPerSample = 0;
    std::vector<uint16_t> LUT[3];
    double WindowCenter = -1, WindowWidth = -1, RescaleIntercept = 0, RescaleSlope = 1;

    TDICOMContext(TIOParamsVals& P, TIEBitmap* B, TIOProgressRecord& Pr) : Params(P), Bitmap(B), Progress(Pr) {}
    bool Aborting() const { return IEIsAborting(Progress); }
    void Abort() { IEAbort(Progress); }
    std::string Photo() const { return Upper(Trimmed(Photometric)); }
    int64_t Left() { return Size - Stream->GetPosition(); }
};

// ---- Progress -----------------------------------------------------------------------------------

// Per cent of rows done, reported when it changes.
class TDICOMProgress {
public:
    TDICOMProgress(TIOProgressRecord& Progress, int64_t Total) : FProgress(Progress), FTotal(Total > 0 ? Total : 1) {}
    void Step() {
        ++FDone;
        const int32_t per = (int32_t)(FDone * 100 / FTotal);
        if (per != FLast && FProgress.OnProgress) FProgress.OnProgress(FProgress.Sender, per);
        FLast = per;
    }
    bool Aborted() const { return IEIsAborting(FProgress); }

private:
    TIOProgressRecord& FProgress;
    int64_t FTotal;
    int64_t FDone = 0;
    int32_t FLast = -1;
};

// ---- Grey post-processing -----------------------------------------------------------------------

// The stored sample of a grey bitmap at (X, Y) as a signed or unsigned value.
int64_t StoredSample(TIEBitmap* Bitmap, const TDICOMContext& C, const uint8_t* Row, int32_t X, bool Wide) {
    if (!Wide) {
        const uint8_t v = Row[X];
        return C.PixelRepresentation == 1 ? (int64_t)(int8_t)v : (int64_t)v;
    }
    const uint16_t v = reinterpret_cast<const uint16_t*>(Row)[X];
    if (C.PixelRepresentation != 1) return v;
    // Signed samples carry their sign in the top stored bit.
    const int32_t bits = C.BitsStored >= 1 && C.BitsStored <= 16 ? C.BitsStored : 16;
    const int32_t shift = 32 - bits;
    return (int64_t)((int32_t)((uint32_t)v << shift) >> shift);
}

// The modality rescale and the VOI window of one stored value, before the offset.
double Windowed(const TDICOMContext& C, int64_t X, bool HasWindow, double Lo, double Hi, double Top) {
    const double v = (double)X * C.RescaleSlope + C.RescaleIntercept;
    if (!HasWindow) return v;
    const double c = C.WindowCenter, w = C.WindowWidth;
    if (v <= Lo) return 0;
    if (v < Hi) return ((v - (c - 0.5)) / (w - 1) + 0.5) * Top;
    return Top;
}

// Rescale, window and stretch of an ie8g (Wide false, top 255) or ie16g (top 65535) bitmap. The
// offset that lifts negative values is found over the whole image first, so that every sample
// gets the same one; the stretch then spreads the smallest to the largest value over 0..top.
void ApplyWindow(TDICOMContext& C, TIEBitmap* Bitmap, bool Wide) {
    const double top = Wide ? 65535.0 : 255.0;
    const bool hasWindow = C.WindowCenter != -1 && C.WindowWidth != -1;
    const double lo = std::trunc(C.WindowCenter - 0.5 - (C.WindowWidth - 1) / 2);
    const double hi = std::trunc(C.WindowCenter - 0.5 + (C.WindowWidth - 1) / 2);
    const int32_t w = Bitmap->GetWidth(), h = Bitmap->GetHeight();
    double vmin = 0;
    for (int32_t y = 0; y < h; ++y) {
        const uint8_t* row = Bitmap->GetScanline(y);
        for (int32_t x = 0; x < w; ++x) vmin = std::min(vmin, Windowed(C, StoredSample(Bitmap, C, row, x, Wide), hasWindow, lo, hi, top));
    }
    const double offset = -vmin;
    double smin = 0, smax = 0;
    bool first = true;
    for (int32_t y = 0; y < h; ++y) {
        const uint8_t* row = Bitmap->GetScanline(y);
        for (int32_t x = 0; x < w; ++x) {
            const double s = std::trunc(Windowed(C, StoredSample(Bitmap, C, row, x, Wide), hasWindow, lo, hi, top) + offset);
            if (first || s < smin) smin = s;
            if (first || s > smax) smax = s;
            first = false;
        }
    }
    for (int32_t y = 0; y < h; ++y) {
        uint8_t* row = Bitmap->GetScanline(y);
        for (int32_t x = 0; x < w; ++x) {
            const double s = std::trunc(Windowed(C, StoredSample(Bitmap, C, row, x, Wide), hasWindow, lo, hi, top) + offset);
            // A flat image keeps its level (within the format's range).
            const double out = smax > smin ? std::trunc((s - smin) / (smax - smin) * top) : std::min(s, top);
            // Extreme finite slopes can still overflow the arithmetic: the store saturates.
            if (Wide)
                reinterpret_cast<uint16_t*>(row)[x] = Checked::TruncSaturate<uint16_t>(out);
            else
                row[x] = Checked::TruncSaturate<uint8_t>(out);
        }
    }
}

void InvertIfMonochrome1(TDICOMContext& C, TIEBitmap* Bitmap) {
    if (C.Photo() != "MONOCHROME1") return;
    const int32_t bytes = Bitmap->GetPixelFormat() == ie16g ? 2 : 1;
    for (int32_t y = 0; y < Bitmap->GetHeight(); ++y) {
        uint8_t* row = Bitmap->GetScanline(y);
        for (int32_t i = 0; i < Bitmap->GetWidth() * bytes; ++i) row[i] = (uint8_t)~row[i];
    }
}

// The grey post-processing of a one-sample result.
void FinishGrey(TDICOMContext& C, TIEBitmap* Bitmap, bool Window) {
    const TIEPixelFormat pf = Bitmap->GetPixelFormat();
    if (pf != ie8g && pf != ie16g) return;
    if (Window) ApplyWindow(C, Bitmap, pf == ie16g);
    InvertIfMonochrome1(C, Bitmap);
}

// ---- Palette colour -----------------------------------------------------------------------------

// Entry Index of lookup table T; indices past a short table take its last entry.
uint16_t LUTEntry(const TDICOMContext& C, int32_t T, uint32_t Index) {
    const std::vector<uint16_t>& t = C.LUT[T];
    return t[Index < t.size() ? Index : t.size() - 1];
}

bool HasLUTs(const TDICOMContext& C) { return !C.LUT[0].empty() && !C.LUT[1].empty() && !C.LUT[2].empty(); }

// ---- Native data --------------------------------------------------------------------------------

void ReadNative(TDICOMContext& C, TIEBitmap* Bitmap, int64_t FrameBytes) {
    const int32_t w = C.Columns, h = C.Rows, spp = C.SamplesPerPixel, bs = C.BitsStored;
    const bool palette = C.Photo() == "PALETTE COLOR";
    if (FrameBytes > C.Left()) {
        C.Abort();
        return;
    }
    if (palette && !HasLUTs(C)) {
        C.Abort();
        return;
    }
    TStream* s = C.Stream;
    std::vector<uint8_t> row;
    const bool swap = !C.LittleEndian;
    if (spp == 1 && bs == 12 && C.BitsAllocated == 12 && !palette) {
        // Two samples in three bytes.
        if (!Bitmap->Allocate(w, h, ie16g)) return C.Abort();
        TDICOMProgress progress(C.Progress, h);
        std::vector<uint16_t> samples((size_t)w * h);
        std::vector<uint8_t> packed((size_t)FrameBytes + 2, 0);
        if (s->Read(packed.data(), (int32_t)FrameBytes) != (int32_t)FrameBytes) return C.Abort();
        for (size_t i = 0, j = 0; i < samples.size(); i += 2, j += 3) {
            const uint8_t b0 = packed[j], b1 = packed[j + 1], b2 = packed[j + 2];
            samples[i] = (uint16_t)((b1 & 0x0F) << 8 | b0);
            if (i + 1 < samples.size()) samples[i + 1] = (uint16_t)(b1 >> 4 | b2 << 4);
        }
        for (int32_t y = 0; y < h; ++y) {
            std::memcpy(Bitmap->GetScanline(y), &samples[(size_t)y * w], (size_t)w * 2);
            progress.Step();
            if (progress.Aborted()) return;
        }
        FinishGrey(C, Bitmap, true);
        return;
    }
    if (spp == 1 && bs >= 9 && bs <= 16 && C.BytesPerSample == 2) {
        if (!Bitmap->Allocate(w, h, palette ? ieRGB48 : ie16g)) return C.Abort();
        row.resize((size_t)w * 2);
        TDICOMProgress progress(C.Progress, h);
        for (int32_t y = 0; y < h; ++y) {
            if (s->Read(row.data(), (int32_t)row.size()) != (int32_t)row.size()) return C.Abort();
            uint8_t* out = Bitmap->GetScanline(y);
            for (int32_t x = 0; x < w; ++x) {
                const uint16_t v = swap ? (uint16_t)(row[2 * x] << 8 | row[2 * x + 1]) : LE16(&row[2 * x]);
                if (palette)
                    Bitmap->SetPixelRGB48(x, y, LUTEntry(C, 0, v), LUTEntry(C, 1, v), LUTEntry(C, 2, v));
                else
                    reinterpret_cast<uint16_t*>(out)[x] = v;
            }
            progress.Step();
            if (progress.Aborted()) return;
        }
        if (!palette) FinishGrey(C, Bitmap, true);
        return;
    }
    if (spp == 1 && bs >= 1 && bs <= 8 && (C.BytesPerSample == 1 || C.BytesPerSample == 2)) {
        if (!Bitmap->Allocate(w, h, palette ? ie24RGB : ie8g)) return C.Abort();
        const int32_t step = C.BytesPerSample;
        // With 16 bits allocated the sample is the low byte of each word (in file byte order).
        const int32_t at = step == 2 && swap ? 1 : 0;
        row.resize((size_t)w * step);
        TDICOMProgress progress(C.Progress, h);
        for (int32_t y = 0; y < h; ++y) {
            if (s->Read(row.data(), (int32_t)row.size()) != (int32_t)row.size()) return C.Abort();
            uint8_t* out = Bitmap->GetScanline(y);
            for (int32_t x = 0; x < w; ++x) {
                const uint8_t v = row[(size_t)x * step + at];
                if (palette) {
                    out[3 * x + 2] = (uint8_t)(LUTEntry(C, 0, v) / 257);
                    out[3 * x + 1] = (uint8_t)(LUTEntry(C, 1, v) / 257);
                    out[3 * x] = (uint8_t)(LUTEntry(C, 2, v) / 257);
                } else {
                    out[x] = (uint8_t)(v << (8 - bs));
                }
            }
            progress.Step();
            if (progress.Aborted()) return;
        }
        if (!palette) InvertIfMonochrome1(C, Bitmap);
        return;
    }
    if (spp == 3 && bs >= 1 && bs <= 8 && C.BytesPerSample == 1) {
        if (!Bitmap->Allocate(w, h, ie24RGB)) return C.Abort();
        const int32_t shift = 8 - bs;
        if (C.Photo() == "YBR_FULL_422") {
            // Two pixels in four bytes: two lumas, then the shared Cb and Cr.
            row.resize((size_t)(w + 1) / 2 * 4);
            TDICOMProgress progress(C.Progress, h);
            for (int32_t y = 0; y < h; ++y) {
                if (s->Read(row.data(), (int32_t)row.size()) != (int32_t)row.size()) return C.Abort();
                uint8_t* out = Bitmap->GetScanline(y);
                for (int32_t x = 0; x < w; ++x) {
                    const uint8_t* pair = &row[(size_t)x / 2 * 4];
                    TIERGB rgb;
                    IEYCbCrToRGB(rgb, pair[x & 1], pair[2], pair[3]);
                    out[3 * x] = rgb.b;
                    out[3 * x + 1] = rgb.g;
                    out[3 * x + 2] = rgb.r;
                }
                progress.Step();
                if (progress.Aborted()) return;
            }
            return;
        }
        if (C.PlanarConfiguration == 1) {
            row.resize((size_t)w);
            TDICOMProgress progress(C.Progress, (int64_t)h * 3);
            for (int32_t plane = 0; plane < 3; ++plane)
                for (int32_t y = 0; y < h; ++y) {
                    if (s->Read(row.data(), w) != w) return C.Abort();
                    uint8_t* out = Bitmap->GetScanline(y);
                    for (int32_t x = 0; x < w; ++x) out[3 * x + 2 - plane] = (uint8_t)(row[x] << shift);
                    progress.Step();
                    if (progress.Aborted()) return;
                }
        } else {
            row.resize((size_t)w * 3);
            TDICOMProgress progress(C.Progress, h);
            for (int32_t y = 0; y < h; ++y) {
                if (s->Read(row.data(), w * 3) != w * 3) return C.Abort();
                uint8_t* out = Bitmap->GetScanline(y);
                for (int32_t x = 0; x < w; ++x) {
                    out[3 * x + 2] = (uint8_t)(row[3 * x] << shift);
                    out[3 * x + 1] = (uint8_t)(row[3 * x + 1] << shift);
                    out[3 * x] = (uint8_t)(row[3 * x + 2] << shift);
                }
                progress.Step();
                if (progress.Aborted()) return;
            }
        }
        // YBR_FULL samples were read like red, green and blue: converted now.
        if (C.Photo() == "YBR_FULL")
            for (int32_t y = 0; y < h; ++y) {
                uint8_t* out = Bitmap->GetScanline(y);
                for (int32_t x = 0; x < w; ++x) {
                    TIERGB rgb;
                    IEYCbCrToRGB(rgb, out[3 * x + 2], out[3 * x + 1], out[3 * x]);
                    out[3 * x] = rgb.b;
                    out[3 * x + 1] = rgb.g;
                    out[3 * x + 2] = rgb.r;
                }
            }
        return;
    }
    // Layouts nothing here reads (32-bit samples, 16-bit colour, four samples...).
    C.Abort();
}

// ---- RLE ----------------------------------------------------------------------------------------

// PackBits decoding of Data[0..Count) into exactly Out.size() bytes; runs past the end are cut.
// False when the data end before the output is full.
bool UnpackBits(const uint8_t* Data, size_t Count, std::vector<uint8_t>& Out) {
    size_t i = 0, o = 0;
    while (o < Out.size() && i < Count) {
        const int8_t n = (int8_t)Data[i++];
        if (n >= 0) {
            size_t len = (size_t)n + 1;
            if (len > Count - i) return false;
            const size_t take = std::min(len, Out.size() - o);
            std::memcpy(&Out[o], Data + i, take);
            o += take;
            i += len;
        } else if (n != -128) {
            if (i >= Count) return false;
            const size_t len = std::min((size_t)(1 - n), Out.size() - o);
            std::memset(&Out[o], Data[i++], len);
            o += len;
        }
    }
    return o == Out.size();
}

void ReadRLE(TDICOMContext& C, TIEBitmap* Bitmap, const std::vector<uint8_t>& Frame) {
    if (Frame.size() < 64) return C.Abort();
    const uint32_t count = LE32(Frame.data());
    const int32_t w = C.Columns, h = C.Rows;
    const bool palette = C.Photo() == "PALETTE COLOR";
    int32_t needed;
    TIEPixelFormat pf;
    if (C.SamplesPerPixel == 1 && C.BitsAllocated <= 8) {
        needed = 1;
        pf = palette ? ie24RGB : ie8g;
    } else if (C.SamplesPerPixel == 1 && C.BitsAllocated <= 16 && !palette) {
        needed = 2;
        pf = ie16g;
    } else if (C.SamplesPerPixel == 3 && C.BitsAllocated == 8) {
        needed = 3;
        pf = ie24RGB;
    } else {
        return C.Abort();
    }
    if (count < (uint32_t)needed || count > 15 || (palette && !HasLUTs(C))) return C.Abort();
    const size_t plane = (size_t)w * h;
    // Two bytes of PackBits make at most 128: a frame far too short for the image is refused
    // before anything is allocated.
    if ((uint64_t)plane > (uint64_t)Frame.size() * 64) return C.Abort();
    std::vector<uint8_t> segments[3];
    for (int32_t i = 0; i < needed; ++i) {
        const uint32_t start = LE32(&Frame[4 + 4 * i]);
        const uint32_t end = (uint32_t)i + 1 < count ? LE32(&Frame[8 + 4 * i]) : (uint32_t)Frame.size();
        if (start < 64 || end > Frame.size() || end < start) return C.Abort();
        segments[i].resize(plane);
        if (!UnpackBits(&Frame[start], end - start, segments[i])) return C.Abort();
    }
    if (!Bitmap->Allocate(w, h, pf)) return C.Abort();
    TDICOMProgress progress(C.Progress, h);
    const bool ybr = C.Photo() == "YBR_FULL";
    for (int32_t y = 0; y < h; ++y) {
        uint8_t* out = Bitmap->GetScanline(y);
        const size_t base = (size_t)y * w;
        for (int32_t x = 0; x < w; ++x) {
            const size_t i = base + x;
            if (needed == 1 && palette) {
                const uint8_t v = segments[0][i];
                out[3 * x + 2] = (uint8_t)(LUTEntry(C, 0, v) / 257);
                out[3 * x + 1] = (uint8_t)(LUTEntry(C, 1, v) / 257);
                out[3 * x] = (uint8_t)(LUTEntry(C, 2, v) / 257);
            } else if (needed == 1) {
                out[x] = segments[0][i];
            } else if (needed == 2) {
                reinterpret_cast<uint16_t*>(out)[x] = (uint16_t)(segments[0][i] << 8 | segments[1][i]);
            } else if (ybr) {
                TIERGB rgb;
                IEYCbCrToRGB(rgb, segments[0][i], segments[1][i], segments[2][i]);
                out[3 * x] = rgb.b;
                out[3 * x + 1] = rgb.g;
                out[3 * x + 2] = rgb.r;
            } else {
                out[3 * x + 2] = segments[0][i];
                out[3 * x + 1] = segments[1][i];
                out[3 * x] = segments[2][i];
            }
        }
        progress.Step();
        if (progress.Aborted()) return;
    }
    if (!palette) FinishGrey(C, Bitmap, true);
}

}  // namespace

// ---- Lossless JPEG (ITU-T T.81 process 14) -------------------------------------------------------

namespace iedicom_detail {

// A Huffman table in the canonical form of T.81 Annex C.
struct THuffman {
    bool Defined = false;
    int32_t MaxCode[18];
    int32_t ValPtr[17];
    int32_t MinCode[17];
    uint8_t Values[256];
};

class TBitReader {
public:
    TBitReader(const uint8_t* Data, size_t Size, size_t Pos) : FData(Data), FSize(Size), FPos(Pos) {}
    // The next bit; past the data or at a marker, zeros.
    int32_t Bit() {
        if (FBits == 0) {
            FByte = NextByte();
            FBits = 8;
        }
        --FBits;
        return (FByte >> FBits) & 1;
    }
    int32_t Bits(int32_t N) {
        int32_t v = 0;
        for (int32_t i = 0; i < N; ++i) v = v << 1 | Bit();
        return v;
    }
    // Drops the bits left in the byte and the restart marker that follows.
    void Restart() {
        FBits = 0;
        FMarker = false;
        while (FPos + 1 < FSize && !(FData[FPos] == 0xFF && FData[FPos + 1] >= 0xD0 && FData[FPos + 1] <= 0xD7)) ++FPos;
        if (FPos + 1 < FSize) FPos += 2;
    }
    bool Overrun() const { return FOverrun; }

private:
    uint8_t NextByte() {
        if (FMarker || FPos >= FSize) {
            FOverrun = true;
            return 0;
        }
        const uint8_t b = FData[FPos];
        if (b == 0xFF) {
            if (FPos + 1 < FSize && FData[FPos + 1] == 0x00) {
                FPos += 2;
                return 0xFF;
            }
            FMarker = true;   // a marker ends the entropy-coded segment
            return 0;
        }
        ++FPos;
        return b;
    }
    const uint8_t* FData;
    size_t FSize;
    size_t FPos;
    uint8_t FByte = 0;
    int32_t FBits = 0;
    bool FMarker = false;
    bool FOverrun = false;
};

int32_t Decode(TBitReader& R, const THuffman& T) {
    int32_t code = R.Bit();
    for (int32_t l = 1; l <= 16; ++l) {
        if (T.MaxCode[l] >= 0 && code <= T.MaxCode[l]) {
            const int32_t idx = T.ValPtr[l] + code - T.MinCode[l];
            return idx >= 0 && idx < 256 ? T.Values[idx] : -1;
        }
        code = code << 1 | R.Bit();
    }
    return -1;
}

bool BuildHuffman(THuffman& T, const uint8_t* Counts, const uint8_t* Symbols, int32_t Total) {
    std::memset(T.Values, 0, sizeof T.Values);
    std::memcpy(T.Values, Symbols, (size_t)Total);
    int32_t code = 0, k = 0;
    for (int32_t l = 1; l <= 16; ++l) {
        const int32_t n = Counts[l - 1];
        T.ValPtr[l] = k;
        T.MinCode[l] = code;
        code += n;
        k += n;
        T.MaxCode[l] = n ? code - 1 : -1;
        if (code > (1 << l)) return false;   // more codes than the length allows
        code <<= 1;
    }
    T.Defined = true;
    return true;
}

// Decodes a lossless JPEG stream into Samples (component-interleaved, Width x Height x
// Components). False on a stream it cannot decode.
bool DecodeLosslessJPEG(const uint8_t* Data, size_t Size, int32_t& Width, int32_t& Height, int32_t& Components,
                        int32_t& Precision, std::vector<uint16_t>& Samples) {
    THuffman tables[4];
    int32_t compIds[4] = {0, 0, 0, 0};
    int32_t compTable[4] = {0, 0, 0, 0};
    int32_t restartInterval = 0, predictor = 1, pointTransform = 0;
    bool frame = false;
    size_t p = 0;
    if (Size < 4 || Data[0] != 0xFF || Data[1] != 0xD8) return false;
    p = 2;
    for (;;) {
        while (p < Size && Data[p] != 0xFF) ++p;
        while (p < Size && Data[p] == 0xFF) ++p;
        if (p >= Size) return false;
        const uint8_t marker = Data[p++];
        if (marker == 0xD8 || (marker >= 0xD0 && marker <= 0xD7) || marker == 0x01) continue;
        if (marker == 0xD9 || p + 2 > Size) return false;
        const size_t len = (size_t)(Data[p] << 8 | Data[p + 1]);
        if (len < 2 || p + len > Size) return false;
        const uint8_t* seg = Data + p + 2;
        const size_t segLen = len - 2;
        p += len;
        if (marker == 0xC3 || marker == 0xC7 || marker == 0xCB || marker == 0xCF) {
            if (segLen < 6) return false;
            Precision = seg[0];
            Height = seg[1] << 8 | seg[2];
            Width = seg[3] << 8 | seg[4];
            Components = seg[5];
            if (Components < 1 || Components > 4 || segLen < 6 + 3 * (size_t)Components) return false;
            for (int32_t i = 0; i < Components; ++i) compIds[i] = seg[6 + 3 * i];
            frame = true;
            if (marker != 0xC3) return false;   // arithmetic and hierarchical coding are not read
        } else if ((marker >= 0xC0 && marker <= 0xCF) && marker != 0xC4 && marker != 0xC8 && marker != 0xCC) {
            return false;   // a DCT-based frame: not lossless
        } else if (marker == 0xC4) {
            size_t q = 0;
            while (q + 17 <= segLen) {
                const uint8_t tc = seg[q] >> 4, th = seg[q] & 0x0F;
                int32_t total = 0;
                for (int32_t i = 0; i < 16; ++i) total += seg[q + 1 + i];
                if (total > 256 || q + 17 + (size_t)total > segLen) return false;
                if (tc == 0 && th < 4 && !BuildHuffman(tables[th], seg + q + 1, seg + q + 17, total)) return false;
                q += 17 + (size_t)total;
            }
        } else if (marker == 0xDD) {
            if (segLen < 2) return false;
            restartInterval = seg[0] << 8 | seg[1];
        } else if (marker == 0xDA) {
            if (!frame || segLen < 1) return false;
            const int32_t ns = seg[0];
            if (ns != Components || segLen < 1 + 2 * (size_t)ns + 3) return false;
            for (int32_t i = 0; i < ns; ++i) {
                int32_t k = 0;
                while (k < Components && compIds[k] != seg[1 + 2 * i]) ++k;
                if (k == Components) k = i;
                compTable[k] = seg[2 + 2 * i] >> 4 & 3;
            }
            predictor = seg[1 + 2 * ns];
            pointTransform = seg[3 + 2 * ns] & 0x0F;
            break;
        }
    }
    if (Width <= 0 || Height <= 0 || Precision < 2 || Precision > 16 || predictor < 1 || predictor > 7 ||
        pointTransform >= Precision)
        return false;
    for (int32_t c = 0; c < Components; ++c)
        if (!tables[compTable[c]].Defined) return false;
    const size_t total = (size_t)Width * Height * Components;
    // Every sample takes at least one bit of entropy-coded data.
    if ((int64_t)Width * Height * Components > (int64_t(1) << 28) ||
        (uint64_t)Width * Height * Components > (uint64_t)(Size - p) * 8 + 8)
        return false;
    Samples.assign(total, 0);
    TBitReader r(Data, Size, p);
    const int32_t mask = (1 << (Precision - pointTransform)) - 1;
    const int32_t initial = 1 << (Precision - pointTransform - 1);
    int32_t mcus = 0;
    bool restartRow = true;   // the first row of the image or of a restart interval
    bool restartFirst = true;
    for (int32_t y = 0; y < Height; ++y) {
        for (int32_t x = 0; x < Width; ++x) {
            if (restartInterval && mcus == restartInterval) {
                r.Restart();
                mcus = 0;
                restartFirst = restartRow = true;
            }
            for (int32_t c = 0; c < Components; ++c) {
                const int32_t s = Decode(r, tables[compTable[c]]);
                if (s < 0 || s > 16) return false;
                int32_t diff = 0;
                if (s == 16) {
                    diff = 32768;
                } else if (s > 0) {
                    diff = r.Bits(s);
                    if (diff < (1 << (s - 1))) diff -= (1 << s) - 1;
                }
                auto at = [&](int32_t X, int32_t Y) { return (int32_t)Samples[((size_t)Y * Width + X) * Components + c]; };
                int32_t pred;
                if (restartFirst)
                    pred = initial;
                else if (restartRow)
                    pred = at(x - 1, y);
                else if (x == 0)
                    pred = at(x, y - 1);
                else {
                    const int32_t ra = at(x - 1, y), rb = at(x, y - 1), rc = at(x - 1, y - 1);
                    switch (predictor) {
                        case 1: pred = ra; break;
                        case 2: pred = rb; break;
                        case 3: pred = rc; break;
                        case 4: pred = ra + rb - rc; break;
                        case 5: pred = ra + ((rb - rc) >> 1); break;
                        case 6: pred = rb + ((ra - rc) >> 1); break;
                        default: pred = (ra + rb) >> 1; break;
                    }
                }
                Samples[((size_t)y * Width + x) * Components + c] = (uint16_t)((pred + diff) & mask);
            }
            restartFirst = false;
            ++mcus;
            if (r.Overrun()) return false;
        }
        restartRow = false;
    }
    if (pointTransform)
        for (uint16_t& v : Samples) v = (uint16_t)(v << pointTransform);
    return true;
}

}  // namespace iedicom_detail

namespace {

void ReadLosslessJPEG(TDICOMContext& C, TIEBitmap* Bitmap, const std::vector<uint8_t>& Frame) {
    int32_t w = 0, h = 0, comps = 0, prec = 0;
    std::vector<uint16_t> samples;
    if (!iedicom_detail::DecodeLosslessJPEG(Frame.data(), Frame.size(), w, h, comps, prec, samples)) return C.Abort();
    TIEPixelFormat pf;
    if (comps == 1 && prec <= 8)
        pf = ie8g;
    else if (comps == 3 && prec <= 8)
        pf = ie24RGB;
    else if (comps == 1)
        pf = ie16g;
    else
        return C.Abort();
    if (!IEImageSizeAllowed(w, h) || !Bitmap->Allocate(w, h, pf)) return C.Abort();
    TDICOMProgress progress(C.Progress, h);
    for (int32_t y = 0; y < h; ++y) {
        uint8_t* out = Bitmap->GetScanline(y);
        const uint16_t* in = &samples[(size_t)y * w * comps];
        if (pf == ie8g)
            for (int32_t x = 0; x < w; ++x) out[x] = (uint8_t)in[x];
        else if (pf == ie16g)
            std::memcpy(out, in, (size_t)w * 2);
        else
            for (int32_t x = 0; x < w; ++x) {
                out[3 * x + 2] = (uint8_t)in[3 * x];
                out[3 * x + 1] = (uint8_t)in[3 * x + 1];
                out[3 * x] = (uint8_t)in[3 * x + 2];
            }
        progress.Step();
        if (progress.Aborted()) return;
    }
    FinishGrey(C, Bitmap, true);
}

// A grey JPEG 2000 frame at the samples' own depth, so that the rescale and the window see the
// stored values (signed ones too): ie8g for up to 8 bits stored, else ie16g.
void ReadJ2000Grey(TDICOMContext& C, TIEBitmap* Bitmap, const std::vector<uint8_t>& Frame) {
    TReadOnlyMemoryStream s(Frame.data(), (int64_t)Frame.size());
    int32_t w = 0, h = 0, prec = 0;
    bool sgnd = false;
    std::vector<int32_t> samples;
    if (!IEReadJ2000Samples(&s, w, h, prec, sgnd, samples) || prec > 16) return C.Abort();
    const bool wide = prec > 8 || C.BitsStored > 8;
    if (!Bitmap->Allocate(w, h, wide ? ie16g : ie8g)) return C.Abort();
    // Signed samples are kept in two's complement over the whole word; unsigned samples of a file
    // that calls its pixels signed are taken as two's complement of its stored bits.
    if (sgnd) {
        C.PixelRepresentation = 1;
        C.BitsStored = wide ? 16 : 8;
    }
    TDICOMProgress progress(C.Progress, h);
    for (int32_t y = 0; y < h; ++y) {
        uint8_t* out = Bitmap->GetScanline(y);
        const int32_t* in = &samples[(size_t)y * w];
        for (int32_t x = 0; x < w; ++x)
            if (wide)
                reinterpret_cast<uint16_t*>(out)[x] = (uint16_t)in[x];
            else
                out[x] = (uint8_t)in[x];
        progress.Step();
        if (progress.Aborted()) return;
    }
    FinishGrey(C, Bitmap, true);
}

// A codec of the library over the frame's bytes, with a parameter set of its own.
void ReadWithCodec(TDICOMContext& C, TIEBitmap* Bitmap, const std::vector<uint8_t>& Frame, bool JPEG2000) {
    if (JPEG2000 && C.SamplesPerPixel == 1) return ReadJ2000Grey(C, Bitmap, Frame);
    TReadOnlyMemoryStream s(Frame.data(), (int64_t)Frame.size());
    TIOParamsVals params(nullptr);
    if (JPEG2000)
        IEReadJ2000Stream(&s, Bitmap, params, C.Progress, false);
    else
        IEReadJPEGStream(&s, nullptr, Bitmap, params, C.Progress, false, false, false, false, false, false, -1, true);
    if (C.Aborting() || Bitmap->IsEmpty()) return;
    if (C.SamplesPerPixel == 1) {
        if (Bitmap->GetPixelFormat() != ie8g) Bitmap->ConvertPixelFormat(ie8g);
        // The codecs hand out unsigned 8-bit samples, whatever the file's pixel representation.
        C.PixelRepresentation = 0;
        FinishGrey(C, Bitmap, true);
    }
}

// ---- Frames --------------------------------------------------------------------------------------

bool IsItemTag(const uint8_t* B) { return B[0] == 0xFE && B[1] == 0xFF && B[2] == 0x00 && B[3] == 0xE0; }

// Appends the value of the item at the position (tag and length read here) to Out. False when
// the tag is not an item's or the value runs past the end.
bool ReadItem(TDICOMContext& C, std::vector<uint8_t>* Out) {
    uint8_t head[8];
    if (C.Stream->Read(head, 8) != 8 || !IsItemTag(head)) return false;
    const uint32_t len = LE32(head + 4);
    if ((int64_t)len > C.Left()) return false;
    if (!Out) return C.Stream->Seek(len, soCurrent) >= 0;
    const size_t at = Out->size();
    Out->resize(at + len);
    return len == 0 || C.Stream->Read(Out->data() + at, (int32_t)len) == (int32_t)len;
}

// The encapsulated fragments of frame Index (the value's item tag has been read).
bool ReadEncapsulatedFrame(TDICOMContext& C, int32_t Index, std::vector<uint8_t>& Frame) {
    uint8_t lenBytes[4];
    if (C.Stream->Read(lenBytes, 4) != 4) return false;
    const uint32_t tableLen = LE32(lenBytes);
    if ((int64_t)tableLen > C.Left() || tableLen % 4) return false;
    const int64_t tableStart = C.Stream->GetPosition();
    const int64_t firstItem = tableStart + tableLen;
    if (tableLen > 0) {
        const uint32_t count = tableLen / 4;
        std::vector<uint8_t> table(tableLen);
        if (C.Stream->Read(table.data(), (int32_t)tableLen) != (int32_t)tableLen) return false;
        if ((uint32_t)Index >= count) return false;
        const int64_t start = firstItem + LE32(&table[4 * (size_t)Index]);
        const int64_t end = (uint32_t)Index + 1 < count ? firstItem + LE32(&table[4 * (size_t)Index + 4]) : C.Size;
        if (start > C.Size) return false;
        C.Stream->SetPosition(start);
        // The frame's fragments: the items up to the next frame's offset (or the delimiter).
        if (!ReadItem(C, &Frame)) return false;
        uint8_t peek[4];
        while (C.Stream->GetPosition() < end && C.Stream->Read(peek, 4) == 4 && IsItemTag(peek)) {
            C.Stream->Seek(-4, soCurrent);
            if (!ReadItem(C, &Frame)) return false;
        }
        return true;
    }
    C.Stream->SetPosition(firstItem);
    if (C.Frames == 1) {
        // One frame: every fragment up to the sequence delimiter.
        if (!ReadItem(C, &Frame)) return false;
        uint8_t peek[4];
        while (C.Stream->Read(peek, 4) == 4 && IsItemTag(peek)) {
            C.Stream->Seek(-4, soCurrent);
            if (!ReadItem(C, &Frame)) return false;
        }
        return true;
    }
    // Several frames without a table: one fragment each.
    for (int32_t i = 0; i < Index; ++i)
        if (!ReadItem(C, nullptr)) return false;
    return ReadItem(C, &Frame);
}

void FillParams(TDICOMContext& C) {
    C.Params.BitsPerSample = C.BitsStored;
    C.Params.SamplesPerPixel = C.SamplesPerPixel;
    C.Params.Width = C.Params.OriginalWidth = C.Columns;
    C.Params.Height = C.Params.OriginalHeight = C.Rows;
    C.Params.SetImageCount(C.Frames);
    C.Params.SetImageIndex(std::max(0, std::min(C.Params.ImageIndex, C.Frames - 1)));
}

void LoadFrame(TDICOMContext& C, TIEBitmap* Bitmap) {
    const int32_t index = C.Params.ImageIndex;
    const std::string& ts = C.TransferSyntax;
    if (C.Rows <= 0 || C.Columns <= 0 || C.SamplesPerPixel < 1 || !IEImageSizeAllowed(C.Columns, C.Rows))
        return C.Abort();
    const int64_t valueStart = C.Stream->GetPosition();
    uint8_t tag[4];
    if (C.Stream->Read(tag, 4) != 4) return C.Abort();
    if (IsItemTag(tag)) {
        std::vector<uint8_t> frame;
        if (!ReadEncapsulatedFrame(C, index, frame)) return C.Abort();
        if (ts == "1.2.840.10008.1.2.4.50" || ts == "1.2.840.10008.1.2.4.51")
            ReadWithCodec(C, Bitmap, frame, false);
        else if (ts == "1.2.840.10008.1.2.4.90" || ts == "1.2.840.10008.1.2.4.91")
            ReadWithCodec(C, Bitmap, frame, true);
        else if (ts == "1.2.840.10008.1.2.4.70" || ts == "1.2.840.10008.1.2.4.57")
            ReadLosslessJPEG(C, Bitmap, frame);
        else if (ts == kRLE)
            ReadRLE(C, Bitmap, frame);
        else
            C.Abort();   // MPEG, JPEG-LS and other compressed data nothing here decodes
        return;
    }
    C.Stream->SetPosition(valueStart);
    // A frame stored directly as a JPEG stream (older files).
    if (tag[0] == 0xFF && tag[1] == 0xD8 && tag[2] == 0xFF) {
        std::vector<uint8_t> frame((size_t)C.Left());
        if (!frame.empty() && C.Stream->Read(frame.data(), (int32_t)frame.size()) != (int32_t)frame.size()) return C.Abort();
        return ReadWithCodec(C, Bitmap, frame, false);
    }
    if (!IsNativeSyntax(ts)) return C.Abort();   // compressed data not encapsulated: not readable
    const int32_t bits = C.BitsAllocated == 12 && C.BitsStored == 12 && C.SamplesPerPixel == 1 ? 12 : C.BytesPerSample * 8;
    int64_t frameBytes = ((int64_t)C.Columns * C.Rows * C.SamplesPerPixel * bits + 7) / 8;
    // 4:2:2 luma and chroma: two pixels in four bytes.
    if (C.Photo() == "YBR_FULL_422" && C.SamplesPerPixel == 3 && bits == 8)
        frameBytes = ((int64_t)C.Columns + 1) / 2 * 4 * C.Rows;
    const int64_t skip = frameBytes * index;
    if (skip > C.Left() - frameBytes) return C.Abort();
    C.Stream->Seek(skip, soCurrent);
    ReadNative(C, Bitmap, frameBytes);
}

// ---- Parsing -------------------------------------------------------------------------------------

// Inflates the rest of the data set (a deflated transfer syntax) and continues on the result.
bool InflateRest(TDICOMContext& C) {
    const int64_t left = C.Left();
    if (left <= 0 || left > 0x7FFFFFFF) return false;
    std::vector<uint8_t> in((size_t)left);
    if (C.Stream->Read(in.data(), (int32_t)left) != (int32_t)left) return false;
    auto out = std::make_unique<TMemoryStream>();
    z_stream z;
    std::memset(&z, 0, sizeof z);
    if (inflateInit2(&z, -MAX_WBITS) != Z_OK) return false;
    std::vector<uint8_t> buf(65536);
    z.next_in = in.data();
    z.avail_in = (uInt)in.size();
    int rc = Z_OK;
    while (rc == Z_OK) {
        z.next_out = buf.data();
        z.avail_out = (uInt)buf.size();
        rc = inflate(&z, Z_NO_FLUSH);
        const size_t got = buf.size() - z.avail_out;
        if (got) out->WriteBuffer(buf.data(), (int32_t)got);
        if (out->GetSize() > kMaxInflated || (rc == Z_OK && got == 0 && z.avail_in == 0)) break;
    }
    inflateEnd(&z);
    if (rc != Z_STREAM_END && rc != Z_OK) return false;
    out->SetPosition(0);
    C.Inflated = std::move(out);
    C.Stream = C.Inflated.get();
    C.Size = C.Stream->GetSize();
    return true;
}

void NoteAttribute(TDICOMContext& C, uint16_t Group, uint16_t Element, uint32_t Number, const uint8_t* Value,
                   int32_t Length) {
    const std::string text = Value ? std::string((const char*)Value, (size_t)Length) : std::string();
    if (Group == 0x0002 && Element == 0x0010) {
        C.TransferSyntax = Trimmed(text);
        if (C.TransferSyntax == kExplicitBE) C.LittleEndian = false;
        if (C.TransferSyntax == kDeflatedLE) C.DeflatePending = true;
        return;
    }
    if (Group != 0x0028) return;
    switch (Element) {
        case 0x0002: C.SamplesPerPixel = (int32_t)Number; break;
        case 0x0004: C.Photometric = text; break;
        case 0x0006: C.PlanarConfiguration = (int32_t)Number; break;
        case 0x0008: {
            const long v = std::strtol(Trimmed(text).c_str(), nullptr, 10);
            C.Frames = v >= 1 && v <= 0x7FFFFFFF ? (int32_t)v : 1;
            break;
        }
        case 0x0010: C.Rows = (int32_t)Number; break;
        case 0x0011: C.Columns = (int32_t)Number; break;
        case 0x0100: C.BitsAllocated = (int32_t)Number; break;
        case 0x0101: C.BitsStored = (int32_t)Number; break;
        case 0x0103: C.PixelRepresentation = (int32_t)Number; break;
        case 0x1050: C.WindowCenter = DecimalValue(text); if (C.WindowCenter == 0) C.WindowCenter = -1; break;
        case 0x1051: C.WindowWidth = DecimalValue(text); break;
        // A rescale value that is no finite number keeps the default, as an absent one.
        case 0x1052: FiniteDecimal(text, C.RescaleIntercept); break;
        case 0x1053: FiniteDecimal(text, C.RescaleSlope); break;
        case 0x1201:
        case 0x1202:
        case 0x1203: {
            std::vector<uint16_t>& t = C.LUT[Element - 0x1201];
            t.resize((size_t)Length / 2);
            for (size_t i = 0; i < t.size(); ++i) {
                const uint16_t v = LE16(Value + 2 * i);
                t[i] = C.LittleEndian ? v : Swap16(v);
            }
            break;
        }
        default: break;
    }
}

void Derive(TDICOMContext& C) {
    if (C.BitsAllocated == 0) C.BitsAllocated = C.BitsStored;
    if (C.BitsStored == 0) C.BitsStored = C.BitsAllocated;
    C.BytesPerSample = (std::max(C.BitsAllocated, C.BitsStored) + 7) / 8;
}

void Parse(TDICOMContext& C, bool Preview) {
    TStream*& s = C.Stream;
    uint8_t magic[4];
    s->Seek(128, soCurrent);
    if (s->Read(magic, 4) != 4 || std::memcmp(magic, "DICM", 4) != 0) {
        C.NoPreamble = true;
        s->SetPosition(0);
    }
    int64_t jpegAt = -1;
    bool loaded = false;
    while (s->GetPosition() < C.Size && !C.Aborting()) {
        uint8_t b[4];
        if (C.DeflatePending) {
            if (s->Read(b, 2) != 2) break;
            s->Seek(-2, soCurrent);
            if (LE16(b) != 0x0002) {
                C.DeflatePending = false;
                if (!InflateRest(C)) {
                    C.Abort();
                    break;
                }
                continue;
            }
        }
        if (s->Read(b, 4) != 4) break;
        uint16_t group = LE16(b), element = LE16(b + 2);
        if (group != 2 && !C.LittleEndian) {
            group = Swap16(group);
            element = Swap16(element);
        }
        std::string vr = LookupVR(group, element);
        uint8_t v[2];
        if (s->Read(v, 2) != 2) break;
        uint32_t length;
        const bool explicitVR = group == 2 || (v[0] >= 'A' && v[0] <= 'Z' && v[1] >= 'A' && v[1] <= 'Z');
        bool longLength;
        if (explicitVR) {
            if (vr == "xs") vr = std::string((const char*)v, 2);
            if (vr == "!!") {
                s->Seek(-2, soCurrent);
                longLength = true;
            } else {
                longLength = HasLongLength((const char*)v);
                if (longLength && s->Read(v, 2) != 2) break;
            }
        } else {
            s->Seek(-2, soCurrent);
            longLength = true;
        }
        uint8_t lb[4];
        if (longLength) {
            if (s->Read(lb, 4) != 4) break;
            length = LE32(lb);
            if (group != 2 && !C.LittleEndian) length = Swap32(length);
        } else {
            if (s->Read(lb, 2) != 2) break;
            length = LE16(lb);
            if (group != 2 && !C.LittleEndian) length = Swap16((uint16_t)length);
        }
        const int32_t len = length > 0x7FFFFFFF ? -1 : (int32_t)length;   // undefined length

        if (group == 0x7FE0 && element == 0x0010) {
            uint8_t first[4] = {0, 0, 0, 0};
            const int64_t at = s->GetPosition();
            const int32_t got = s->Read(first, 4);
            s->SetPosition(at);
            if (got == 4 && first[0] == 0xFF && first[1] == 0xD8 && first[2] == 0xFF && first[3] == 0xE0) {
                jpegAt = at;
            } else {
                Derive(C);
                FillParams(C);
                if (!Preview && C.Bitmap) LoadFrame(C, C.Bitmap);
                loaded = true;
                break;
            }
        }

        std::unique_ptr<uint8_t[]> data;
        uint32_t number = 0;
        if (len > 0 && len < C.Size) {
            if (len > C.Left()) break;   // the data set ends inside the value
            data.reset(new uint8_t[(size_t)len + 1]);
            if (s->Read(data.get(), len) != len) break;
            data[(size_t)len] = 0;
            const int32_t size = VRSize(vr);
            if (len == size && (size == 1 || size == 2 || size == 4)) {
                const bool swap = group != 2 && !C.LittleEndian;
                number = size == 1 ? data[0] : size == 2 ? (swap ? Swap16(LE16(data.get())) : LE16(data.get()))
                                                         : (swap ? Swap32(LE32(data.get())) : LE32(data.get()));
            }
            NoteAttribute(C, group, element, number, data.get(), len);
        }
        C.Params.DICOMTags->AddTag(group, element, vr == "xs" || vr == "!!" ? std::string() : vr, data,
                                   data ? len : -1);
    }
    if (!loaded && jpegAt >= 0) {
        s->SetPosition(jpegAt);
        Derive(C);
        FillParams(C);
        if (!Preview && C.Bitmap) LoadFrame(C, C.Bitmap);
    } else if (!loaded && !Preview && C.Bitmap) {
        // A data set without pixel data (or anything that is not DICOM at all) has no image to
        // load: the load fails rather than leaving the previous image reported as loaded.
        C.Abort();
    }
    C.Params.SetImageCount(C.Frames);
    // Data sets without pixel data still report an index within their count.
    C.Params.SetImageIndex(std::max(0, std::min(C.Params.ImageIndex, C.Frames - 1)));
}

}  // namespace

bool IEIsDICOM(TStream* Stream) {
    const int64_t pos = Stream->GetPosition();
    uint8_t b[4];
    bool found = false;
    if (Stream->GetSize() - pos >= 132) {
        Stream->Seek(128, soCurrent);
        found = Stream->Read(b, 4) == 4 && std::memcmp(b, "DICM", 4) == 0;
    }
    Stream->SetPosition(pos);
    return found;
}

void IEReadDICOMStream(TStream* Stream, TIOParamsVals& IOParams, TIEBitmap* Bitmap, TIOProgressRecord& Progress,
                       bool Preview) {
    // A system bitmap is filled through a bitmap in memory.
    std::unique_ptr<TIEBitmap> temp;
    TIEBitmap* target = Bitmap;
    if (Bitmap && Bitmap->GetLocation() == ieTBitmap) {
        temp = std::make_unique<TIEBitmap>();
        temp->SetLocation(ieMemory);
        target = temp.get();
    }
    TDICOMContext c(IOParams, target, Progress);
    c.Buffered = std::make_unique<TIEBufferedReadStream>(Stream, 65536, true);
    c.Stream = c.Buffered.get();
    c.Size = c.Stream->GetSize();
    Parse(c, Preview);
    if (temp && !temp->IsEmpty()) {
        if (temp->GetPixelFormat() != ie1g) temp->ConvertPixelFormat(ie24RGB);
        Bitmap->Assign(temp.get());
    }
}
