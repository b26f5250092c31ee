#include "iecoreutils_general.h"

#include <cmath>
#include <cstring>

#include "Classes.h"
#include "SysUtils.h"
#include "iecoreutils_platform.h"

namespace {

// Trunc toward zero; NaN and values beyond the 64-bit range give 0 instead of undefined results.
int64_t SafeTrunc(long double X) {
    if (!(std::fabs(X) < 9.2e18L)) return 0;
    return static_cast<int64_t>(X);
}

// The 256-entry bit-reversal table.
struct TReverseTable {
    uint8_t Entries[256];
    TReverseTable() {
        for (int i = 0; i < 256; ++i) {
            uint8_t r = 0;
            for (int bit = 0; bit < 8; ++bit)
                if (i & (1 << bit)) r |= static_cast<uint8_t>(0x80 >> bit);
            Entries[i] = r;
        }
    }
};
const TReverseTable kReverseTable;

}   // namespace

int32_t IECeil(long double X) {
    if (!(std::fabs(X) < 9.2e18L)) return 0;
    const int64_t t = SafeTrunc(X);
    const long double frac = X - static_cast<long double>(t);
    return static_cast<int32_t>(frac > 0 ? t + 1 : t);
}

int32_t IEFloor(long double X) {
    if (!(std::fabs(X) < 9.2e18L)) return 0;
    const int64_t t = SafeTrunc(X);
    const long double frac = X - static_cast<long double>(t);
    return static_cast<int32_t>(frac < 0 ? t - 1 : t);
}

void IESwapInt(int32_t& A, int32_t& B) {
    const int32_t t = A;
    A = B;
    B = t;
}

void IESwapByte(uint8_t& A, uint8_t& B) {
    const uint8_t t = A;
    A = B;
    B = t;
}

void IEOrderCorners(int32_t& X1, int32_t& Y1, int32_t& X2, int32_t& Y2) {
    if (X2 < X1) IESwapInt(X1, X2);
    if (Y2 < Y1) IESwapInt(Y1, Y2);
}

namespace {

long double PowerBySquaring(long double Base, uint32_t N) {
    long double result = 1;
    long double square = Base;
    while (N) {
        if (N & 1) result *= square;
        N >>= 1;
        if (N) square *= square;
    }
    return result;
}

}   // namespace

long double IEPower(double Base, double Exponent) {
    if (std::fabs(Exponent) < 2147483647.0 && Exponent == std::trunc(Exponent)) {
        const int32_t n = static_cast<int32_t>(Exponent);
        if (Base == 0) return n == 0 ? 1 : 0;
        switch (n) {
        case 0: return 1;
        case 1: return Base;
        case 2: return static_cast<long double>(Base) * Base;
        case -1: return 1 / static_cast<long double>(Base);
        case -2: return 1 / (static_cast<long double>(Base) * Base);
        default: break;
        }
        if (n > 2) return PowerBySquaring(Base, static_cast<uint32_t>(n));
        return 1 / PowerBySquaring(Base, static_cast<uint32_t>(-static_cast<int64_t>(n)));
    }
    if (Base == 0) return 0;
    return std::exp2l(static_cast<long double>(Exponent) * std::log2l(static_cast<long double>(Base)));
}

TIERGB IECreateRGB(uint8_t R, uint8_t G, uint8_t B) {
    TIERGB rgb;
    rgb.r = R;
    rgb.g = G;
    rgb.b = B;
    return rgb;
}

uint32_t IECreateRGBA(uint8_t B0, uint8_t B1, uint8_t B2, uint8_t B3) {
    return static_cast<uint32_t>(B0) | static_cast<uint32_t>(B1) << 8 | static_cast<uint32_t>(B2) << 16 |
           static_cast<uint32_t>(B3) << 24;
}

int32_t IERGBToGray(const TIERGB& RGB) {
    // 32-bit arithmetic as the weights are 32-bit; weights set far out of range wrap, not trap.
    const uint32_t sum = RGB.r * static_cast<uint32_t>(IEGrayRedWeight) +
                         RGB.g * static_cast<uint32_t>(IEGrayGreenWeight) +
                         RGB.b * static_cast<uint32_t>(IEGrayBlueWeight);
    return static_cast<int32_t>(sum) / 100;
}

TColor IERGBToColor(const TIERGB& RGB) {
    return static_cast<TColor>(RGB.r | RGB.g << 8 | RGB.b << 16);
}

TIERGB IEColorToRGB(TColor Color) {
    const uint32_t c = IEResolveColor(Color);
    return IECreateRGB(static_cast<uint8_t>(c), static_cast<uint8_t>(c >> 8), static_cast<uint8_t>(c >> 16));
}

uint32_t IEColorToARGB(TColor Color, uint8_t Alpha) {
    const uint32_t c = IEResolveColor(Color);
    return IECreateRGBA(static_cast<uint8_t>(c >> 16), static_cast<uint8_t>(c >> 8), static_cast<uint8_t>(c), Alpha);
}

void IESwapWordArray(void* P, int32_t Count) {
    auto* b = static_cast<uint8_t*>(P);
    for (int32_t i = 0; i < Count; ++i, b += 2) {
        const uint8_t t = b[0];
        b[0] = b[1];
        b[1] = t;
    }
}

void IEReverseBitsByte(uint8_t& B) { B = kReverseTable.Entries[B]; }

void IEReverseBitsDWord(uint32_t& D) {
    const uint32_t swapped = IESwapDWord(D);
    D = static_cast<uint32_t>(kReverseTable.Entries[swapped & 0xFF]) |
        static_cast<uint32_t>(kReverseTable.Entries[swapped >> 8 & 0xFF]) << 8 |
        static_cast<uint32_t>(kReverseTable.Entries[swapped >> 16 & 0xFF]) << 16 |
        static_cast<uint32_t>(kReverseTable.Entries[swapped >> 24]) << 24;
}

int32_t IEBitmapRowLen(int32_t Width, int32_t BitsPerPixel, int32_t Align) {
    // The product wraps at 32 bits, as the file formats' own row arithmetic does.
    const uint32_t bits = static_cast<uint32_t>(Width) * static_cast<uint32_t>(BitsPerPixel);
    if (Align == 32) return static_cast<int32_t>(((bits + 31) >> 5) * 4);
    if (Align == 0) return 0;
    const int64_t total = static_cast<int64_t>(static_cast<int32_t>(bits)) + Align - 1;
    const int64_t units = static_cast<int32_t>(total) / static_cast<int64_t>(Align);
    return static_cast<int32_t>(static_cast<uint32_t>(units) * static_cast<uint32_t>(Align / 8));
}

int32_t IECheckedRowLen(int32_t Width, int32_t BitsPerPixel, int32_t Align) {
    if (Width < 0 || Align <= 0 || (int64_t)Width * BitsPerPixel + Align > INT32_MAX) return -1;
    return IEBitmapRowLen(Width, BitsPerPixel, Align);
}

int32_t IEMaskBitCount(int32_t Mask) {
    const uint32_t m = static_cast<uint32_t>(Mask);
    int bit = 0;
    while (bit < 31 && !(m & (1u << bit))) ++bit;
    int32_t count = 0;
    for (; bit < 32 && (m & (1u << bit)); ++bit) ++count;
    return count;
}

int32_t IEBitsForColors(int32_t Count) {
    const uint32_t c = static_cast<uint32_t>(Count);
    int32_t result = -1;
    bool first = true;
    for (int32_t bit = 0; bit < 32; ++bit) {
        if (!(c & (1u << bit))) continue;
        result = first ? bit : bit + 1;
        first = false;
    }
    return result;
}

int32_t IEColorCount(int32_t BitsPerSample, int32_t SamplesPerPixel) {
    const uint32_t base = 1u << (static_cast<uint32_t>(BitsPerSample) & 31);
    uint32_t result = 1;
    for (int32_t i = 0; i < SamplesPerPixel; ++i) result *= base;
    return static_cast<int32_t>(result);
}

// ---- THash1 ---------------------------------------------------------------------------------

THash1::THash1(int32_t Bits)
    : FBits(Bits),
      FBucketCount(1u << (static_cast<uint32_t>(Bits) & 31)),
      FBuckets(new TBucket[FBucketCount]()),
      FStates(new uint8_t[FBucketCount]()),
      FValues(new int32_t[FBucketCount]()) {}

THash1::~THash1() {
    for (uint32_t i = 0; i < FBucketCount; ++i) {
        if (FStates[i] != 2) continue;
        THash1Item* item = FBuckets[i].Chain;
        while (item) {
            THash1Item* next = item->Next;
            delete item;
            item = next;
        }
    }
}

bool THash1::Insert(int32_t Key) {
    const uint32_t bucket = static_cast<uint32_t>(Key) & (FBucketCount - 1);
    switch (FStates[bucket]) {
    case 0:
        FBuckets[bucket].Key = Key;
        FStates[bucket] = 1;
        break;
    case 1: {
        if (FBuckets[bucket].Key == Key) return false;
        auto second = std::make_unique<THash1Item>(THash1Item{Key, nullptr, 0});
        auto* first = new THash1Item{FBuckets[bucket].Key, second.release(), FValues[bucket]};
        FBuckets[bucket].Chain = first;
        FStates[bucket] = 2;
        break;
    }
    default: {
        THash1Item* item = FBuckets[bucket].Chain;
        for (;;) {
            if (item->Key == Key) return false;
            if (!item->Next) break;
            item = item->Next;
        }
        item->Next = new THash1Item{Key, nullptr, 0};
        break;
    }
    }
    ++FCount;
    return true;
}

std::wstring IEDebugLogFileName;

void IEDebugLog(const std::wstring& Message) { IEAppendLogLine(IEDebugLogFileName, Message); }

void IEAppendLogLine(const std::wstring& FileName, const std::wstring& Message) {
    if (FileName.empty()) return;
    const TDateTime now = Now();
    const std::wstring line = FormatDateTime(FormatSettings.ShortDateFormat, now) + L" " +
                              FormatDateTime(FormatSettings.LongTimeFormat, now) + L" : " + Message + L"\r\n";
    const std::string bytes = WideToAnsi(line);
    TFileStream log(FileName, FileExists(FileName) ? fmOpenWrite | fmShareDenyWrite : fmCreate);
    log.Seek(0, soEnd);
    log.WriteBuffer(bytes.data(), static_cast<int32_t>(bytes.size()));
}
