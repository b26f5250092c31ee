#include "tiffilt_write.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <set>
#include <vector>

#include "ByteOrder.h"
#include "Classes.h"
#include "SysUtils.h"
#include "codecs_common.h"
#include "iebitmap.h"
#include "iecoreutils_colour.h"
#include "iecoreutils_exif_tiff.h"
#include "iecoreutils_markers.h"
#include "iecoreutils_text.h"
#include "iecoreutils_tiffhandler.h"
#include "iecoreutils_wang.h"
#include "ieprochooks.h"
#include "iezlib.h"
#include "imaging/core/picturaio_colour.h"
#include "imaging/core/picturaio_params.h"
#include "jpegfilt.h"
#include "tifccitt.h"

namespace {

// TIFF field types.
constexpr uint16_t kBYTE = 1, kASCII = 2, kSHORT = 3, kLONG = 4, kRATIONAL = 5, kUNDEFINED = 7, kSRATIONAL = 10;

// Writer modes (from the photometric kind).
constexpr int32_t kModeCCITT = 0, kModeGrey = 1, kModeRGB = 2, kModePalette = 3, kModeCMYK = 5, kModeYCbCr = 6,
                  kModeCIELab = 7;

constexpr double kFractionTolerance = 5e-9;
// A strip holds about this many bytes of bitmap rows.
constexpr int64_t kStripBytes = 0x80000;

struct TEntry {
    uint16_t Tag;
    uint16_t Type;
    uint32_t Count;
    uint32_t Value;
};

// The output stream with the checked write, and the page's abort state.
class TTIFFOut {
public:
    TTIFFOut(TStream* Stream, TIOProgressRecord& Progress) : S(Stream), P(Progress) {}

    bool Aborted() const { return Failed || IEIsAborting(P); }
    void Abort() {
        Failed = true;
        IEAbort(P);
    }
    void Write(const void* Data, int64_t Count) {
        const uint8_t* p = static_cast<const uint8_t*>(Data);
        while (Count > 0 && !Failed) {
            const int32_t n = static_cast<int32_t>(std::min<int64_t>(Count, 0x40000000));
            IEStreamWriteChecked(*S, Failed, p, n);
            p += n;
            Count -= n;
        }
        if (Failed) IEAbort(P);
    }
    // The position as a 32-bit offset; a file growing past 4 GB cannot be addressed and aborts.
    uint32_t Pos() {
        const int64_t pos = S->GetPosition();
        if (pos < 0 || pos > 0xFFFFFFFFLL) {
            Abort();
            return 0;
        }
        return static_cast<uint32_t>(pos);
    }
    void AlignEven() {
        if (S->GetPosition() & 1) {
            const uint8_t zero = 0;
            Write(&zero, 1);
        }
    }
    // Writes a block at the next even position; returns that position.
    uint32_t Block(const void* Data, int64_t Count) {
        AlignEven();
        const uint32_t pos = Pos();
        Write(Data, Count);
        return pos;
    }

    TStream* S;
    TIOProgressRecord& P;
    bool Failed = false;
};

// An IFD's entry list; values above 4 bytes are written out of line as they are added.
class TEntryList {
public:
    explicit TEntryList(TTIFFOut& Out) : O(Out) {}

    void Raw(uint16_t Tag, uint16_t Type, uint32_t Count, uint32_t Value) { L.push_back({Tag, Type, Count, Value}); }

    // Count values of Size bytes each (little-endian already): inline up to 4 bytes, else a block.
    void Data(uint16_t Tag, uint16_t Type, uint32_t Count, const void* Bytes, int64_t Size) {
        if (Size <= 4) {
            uint8_t v[4] = {0, 0, 0, 0};
            if (Size > 0) std::memcpy(v, Bytes, static_cast<size_t>(Size));
            Raw(Tag, Type, Count, ByteOrder::GetLE32(v));
        } else {
            Raw(Tag, Type, Count, O.Block(Bytes, Size));
        }
    }
    void Short(uint16_t Tag, uint32_t Value) { Raw(Tag, kSHORT, 1, Value & 0xFFFF); }
    void Long(uint16_t Tag, uint32_t Value) { Raw(Tag, kLONG, 1, Value); }
    void Shorts(uint16_t Tag, const std::vector<uint16_t>& Values) {
        std::vector<uint8_t> b(Values.size() * 2);
        for (size_t i = 0; i < Values.size(); ++i) ByteOrder::PutLE16(&b[i * 2], Values[i]);
        Data(Tag, kSHORT, static_cast<uint32_t>(Values.size()), b.data(), static_cast<int64_t>(b.size()));
    }
    void Longs(uint16_t Tag, const std::vector<uint32_t>& Values) {
        std::vector<uint8_t> b(Values.size() * 4);
        for (size_t i = 0; i < Values.size(); ++i) ByteOrder::PutLE32(&b[i * 4], Values[i]);
        Data(Tag, kLONG, static_cast<uint32_t>(Values.size()), b.data(), static_cast<int64_t>(b.size()));
    }
    void Rationals(uint16_t Tag, const std::vector<double>& Values, uint16_t Type = kRATIONAL) {
        std::vector<uint8_t> b(Values.size() * 8);
        for (size_t i = 0; i < Values.size(); ++i) {
            int32_t num = 0, den = 1;
            IEFloatToFraction(num, den, Values[i], kFractionTolerance);
            if (Type == kRATIONAL && num < 0) {   // an unsigned fraction holds no sign
                num = -num;
                den = std::abs(den);
            }
            if (den < 0) {
                den = -den;
                num = -num;
            }
            ByteOrder::PutLE32(&b[i * 8], static_cast<uint32_t>(num));
            ByteOrder::PutLE32(&b[i * 8 + 4], static_cast<uint32_t>(den));
        }
        Data(Tag, Type, static_cast<uint32_t>(Values.size()), b.data(), static_cast<int64_t>(b.size()));
    }
    void Rational(uint16_t Tag, double Value, uint16_t Type = kRATIONAL) { Rationals(Tag, {Value}, Type); }
    // A text: up to 4 characters inline without a NUL, longer ones out of line with their NUL;
    // an empty text gives no entry.
    void Ascii(uint16_t Tag, const std::string& Text) {
        if (Text.empty()) return;
        if (Text.size() <= 4) {
            Data(Tag, kASCII, static_cast<uint32_t>(Text.size()), Text.data(), static_cast<int64_t>(Text.size()));
        } else {
            Data(Tag, kASCII, static_cast<uint32_t>(Text.size() + 1), Text.c_str(),
                 static_cast<int64_t>(Text.size() + 1));
        }
    }
    // A text that always stands inline: count = its length (0 for an empty text, still an entry),
    // the value field holding at most its first 4 characters.
    void AsciiInline(uint16_t Tag, const std::string& Text) {
        uint8_t v[4] = {0, 0, 0, 0};
        std::memcpy(v, Text.data(), std::min<size_t>(Text.size(), 4));
        Raw(Tag, kASCII, static_cast<uint32_t>(Text.size()), ByteOrder::GetLE32(v));
    }
    // A wide text as UTF-16LE bytes and two zero bytes.
    void Wide(uint16_t Tag, const std::wstring& Text) {
        if (Text.empty()) return;
        std::vector<uint8_t> b;
        AppendUTF16(b, Text);
        b.push_back(0);
        b.push_back(0);
        Data(Tag, kBYTE, static_cast<uint32_t>(b.size()), b.data(), static_cast<int64_t>(b.size()));
    }

    static void AppendUTF16(std::vector<uint8_t>& Out, const std::wstring& Text) {
        for (wchar_t wc : Text) {
            uint32_t c = static_cast<uint32_t>(wc);
            if (c > 0xFFFF && c <= 0x10FFFF) {   // hosts with 32-bit wchar_t: a surrogate pair
                c -= 0x10000;
                const uint16_t hi = static_cast<uint16_t>(0xD800 + (c >> 10)), lo = static_cast<uint16_t>(0xDC00 + (c & 0x3FF));
                Out.push_back(hi & 0xFF); Out.push_back(hi >> 8);
                Out.push_back(lo & 0xFF); Out.push_back(lo >> 8);
            } else {
                Out.push_back(c & 0xFF);
                Out.push_back((c >> 8) & 0xFF);
            }
        }
    }

    // Writes the IFD at the next even position: count, sorted entries, next link. Returns its
    // position.
    uint32_t WriteIFD(uint32_t NextLink) {
        std::stable_sort(L.begin(), L.end(), [](const TEntry& A, const TEntry& B) { return A.Tag < B.Tag; });
        std::vector<uint8_t> b(2 + L.size() * 12 + 4);
        ByteOrder::PutLE16(b.data(), static_cast<uint16_t>(L.size()));
        for (size_t i = 0; i < L.size(); ++i) {
            uint8_t* e = &b[2 + i * 12];
            ByteOrder::PutLE16(e, L[i].Tag);
            ByteOrder::PutLE16(e + 2, L[i].Type);
            ByteOrder::PutLE32(e + 4, L[i].Count);
            ByteOrder::PutLE32(e + 8, L[i].Value);
        }
        ByteOrder::PutLE32(&b[2 + L.size() * 12], NextLink);
        return O.Block(b.data(), static_cast<int64_t>(b.size()));
    }

    TTIFFOut& O;
    std::vector<TEntry> L;
};

bool IsInTags(const TIOParamsVals& P, int32_t Tag) {
    return std::find(P.EXIFTags.begin(), P.EXIFTags.end(), Tag) != P.EXIFTags.end();
}

// ---- EXIF ---------------------------------------------------------------------------------------------

void WriteUserComment(TEntryList& E, const TIOParamsVals& P) {
    if (P.EXIFUserComment.empty()) return;
    std::string code = P.EXIFUserCommentCode;
    if (code.empty()) code = std::string("UNICODE\0", 8);
    if (code.size() != 8) return;
    std::vector<uint8_t> b(code.begin(), code.end());
    if (code == std::string("UNICODE\0", 8)) {
        TEntryList::AppendUTF16(b, P.EXIFUserComment);
        b.push_back(0);
        b.push_back(0);
    } else if (code == std::string("ASCII\0\0\0", 8)) {
        const std::string ansi = WideToAnsi(P.EXIFUserComment);
        b.insert(b.end(), ansi.begin(), ansi.end());
        b.push_back(0);
    } else {
        TEntryList::AppendUTF16(b, P.EXIFUserComment);
    }
    E.Data(37510, kUNDEFINED, static_cast<uint32_t>(b.size()), b.data(), static_cast<int64_t>(b.size()));
}

// The EXIF sub-IFD; returns its position.
uint32_t WriteEXIFIFD(TTIFFOut& O, TIOParamsVals& P) {
    TEntryList E(O);
    struct TNum {
        int32_t Tag;
        double Value;
        uint16_t Type;
    };
    // Values that may be negative are signed fractions, as the EXIF standard types them.
    const TNum rationals[] = {
        {33434, P.EXIFExposureTime, kRATIONAL},       {33437, P.EXIFFNumber, kRATIONAL},
        {37122, P.EXIFCompressedBitsPerPixel, kRATIONAL}, {37377, P.EXIFShutterSpeedValue, kSRATIONAL},
        {37378, P.EXIFApertureValue, kRATIONAL},      {37379, P.EXIFBrightnessValue, kSRATIONAL},
        {37380, P.EXIFExposureBiasValue, kSRATIONAL}, {37381, P.EXIFMaxApertureValue, kRATIONAL},
        {37382, P.EXIFSubjectDistance, kRATIONAL},    {37386, P.EXIFFocalLength, kRATIONAL},
        {41486, P.EXIFFocalPlaneXResolution, kRATIONAL}, {41487, P.EXIFFocalPlaneYResolution, kRATIONAL},
        {41493, P.EXIFExposureIndex, kRATIONAL}};
    for (const TNum& r : rationals)
        if (IsInTags(P, r.Tag)) E.Rational(static_cast<uint16_t>(r.Tag), r.Value, r.Type);
    const std::pair<int32_t, int32_t> shorts[] = {
        {34850, P.EXIFExposureProgram}, {37383, P.EXIFMeteringMode},   {37384, P.EXIFLightSource},
        {37385, P.EXIFFlash},           {40961, P.EXIFColorSpace},     {40962, P.EXIFExifImageWidth},
        {40963, P.EXIFExifImageHeight}, {41488, P.EXIFFocalPlaneResolutionUnit}, {41495, P.EXIFSensingMethod}};
    for (const auto& s : shorts)
        if (IsInTags(P, s.first)) E.Short(static_cast<uint16_t>(s.first), static_cast<uint32_t>(s.second));
    if (IsInTags(P, 41728)) E.Raw(41728, kUNDEFINED, 1, static_cast<uint8_t>(P.EXIFFileSource));
    if (IsInTags(P, 41729)) E.Raw(41729, kUNDEFINED, 1, static_cast<uint8_t>(P.EXIFSceneType));
    if (P.EXIFISOSpeedRatings[1] != 0)
        E.Shorts(34855, {static_cast<uint16_t>(P.EXIFISOSpeedRatings[0]), static_cast<uint16_t>(P.EXIFISOSpeedRatings[1])});
    else if (P.EXIFISOSpeedRatings[0] != 0)
        E.Short(34855, static_cast<uint32_t>(P.EXIFISOSpeedRatings[0]));
    E.AsciiInline(36864, P.EXIFExifVersion);
    E.Ascii(36867, P.EXIFDateTimeOriginal);
    E.Ascii(36868, P.EXIFDateTimeDigitized);
    E.Ascii(37520, P.EXIFSubsecTime);
    E.Ascii(37521, P.EXIFSubsecTimeOriginal);
    E.Ascii(37522, P.EXIFSubsecTimeDigitized);
    E.Ascii(40964, P.EXIFRelatedSoundFile);
    E.Ascii(42016, P.EXIFImageUniqueID);
    if (!P.EXIFFlashPixVersion.empty()) E.AsciiInline(40960, P.EXIFFlashPixVersion);
    const std::pair<int32_t, int32_t> shorts2[] = {
        {41986, P.EXIFExposureMode},   {41987, P.EXIFWhiteBalance},  {41989, P.EXIFFocalLengthIn35mmFilm},
        {41990, P.EXIFSceneCaptureType}, {41991, P.EXIFGainControl}, {41992, P.EXIFContrast},
        {41993, P.EXIFSaturation},     {41994, P.EXIFSharpness},     {41996, P.EXIFSubjectDistanceRange}};
    for (const auto& s : shorts2)
        if (s.second != -1) E.Short(static_cast<uint16_t>(s.first), static_cast<uint32_t>(s.second));
    if (P.EXIFDigitalZoomRatio != -1) E.Rational(41988, P.EXIFDigitalZoomRatio);
    WriteUserComment(E, P);
    if (P.EXIFMakerNote && P.EXIFMakerNote->GetData().size() >= 13) {
        O.AlignEven();
        const uint32_t pos = O.Pos();
        int32_t n = 0;
        try {
            n = P.EXIFMakerNote->SaveToStream(O.S);
        } catch (const Exception&) {
            O.Abort();
        }
        if (n > 0) E.Raw(37500, kUNDEFINED, static_cast<uint32_t>(n), pos);
    }
    return E.WriteIFD(0);
}

// The GPS sub-IFD; returns its position.
uint32_t WriteGPSIFD(TTIFFOut& O, TIOParamsVals& P) {
    TEntryList E(O);
    // GPSVersionID: the dotted numbers as bytes, inline.
    std::vector<uint8_t> ver;
    {
        const std::string& s = P.EXIFGPSVersionID;
        size_t i = 0;
        while (i <= s.size()) {
            size_t j = s.find('.', i);
            if (j == std::string::npos) j = s.size();
            const std::string part = s.substr(i, j - i);
            ver.push_back(static_cast<uint8_t>(std::atoi(part.c_str())));
            i = j + 1;
        }
    }
    uint8_t v[4] = {0, 0, 0, 0};
    std::memcpy(v, ver.data(), std::min<size_t>(ver.size(), 4));
    E.Raw(0, kBYTE, static_cast<uint32_t>(ver.size()), ByteOrder::GetLE32(v));
    E.AsciiInline(1, P.EXIFGPSLatitudeRef);
    E.Rationals(2, {P.EXIFGPSLatitudeDegrees, P.EXIFGPSLatitudeMinutes, P.EXIFGPSLatitudeSeconds});
    E.AsciiInline(3, P.EXIFGPSLongitudeRef);
    E.Rationals(4, {P.EXIFGPSLongitudeDegrees, P.EXIFGPSLongitudeMinutes, P.EXIFGPSLongitudeSeconds});
    {
        char* end = nullptr;
        const long ref = std::strtol(P.EXIFGPSAltitudeRef.c_str(), &end, 10);
        const bool number = !P.EXIFGPSAltitudeRef.empty() && end && *end == 0;
        E.Raw(5, kBYTE, 1, number ? static_cast<uint8_t>(ref) : 0);
    }
    E.Rational(6, P.EXIFGPSAltitude);
    E.Rationals(7, {P.EXIFGPSTimeStampHour, P.EXIFGPSTimeStampMinute, P.EXIFGPSTimeStampSecond});
    E.Ascii(8, P.EXIFGPSSatellites);
    E.AsciiInline(9, P.EXIFGPSStatus);
    E.AsciiInline(10, P.EXIFGPSMeasureMode);
    E.Rational(11, P.EXIFGPSDOP);
    E.AsciiInline(12, P.EXIFGPSSpeedRef);
    E.Rational(13, P.EXIFGPSSpeed);
    E.AsciiInline(14, P.EXIFGPSTrackRef);
    E.Rational(15, P.EXIFGPSTrack);
    E.AsciiInline(16, P.EXIFGPSImgDirectionRef);
    E.Rational(17, P.EXIFGPSImgDirection);
    E.Ascii(18, P.EXIFGPSMapDatum);
    E.AsciiInline(19, P.EXIFGPSDestLatitudeRef);
    E.Rationals(20, {P.EXIFGPSDestLatitudeDegrees, P.EXIFGPSDestLatitudeMinutes, P.EXIFGPSDestLatitudeSeconds});
    E.AsciiInline(21, P.EXIFGPSDestLongitudeRef);
    E.Rationals(22, {P.EXIFGPSDestLongitudeDegrees, P.EXIFGPSDestLongitudeMinutes, P.EXIFGPSDestLongitudeSeconds});
    E.AsciiInline(23, P.EXIFGPSDestBearingRef);
    E.Rational(24, P.EXIFGPSDestBearing);
    E.AsciiInline(25, P.EXIFGPSDestDistanceRef);
    E.Rational(26, P.EXIFGPSDestDistance);
    E.Ascii(29, P.EXIFGPSDateStamp);
    return E.WriteIFD(0);
}

bool AnyNotMinusOne(const double* Values, int N) {
    for (int i = 0; i < N; ++i)
        if (Values[i] != -1) return true;
    return false;
}

void WriteEXIFTags(TEntryList& E, TIOParamsVals& P) {
    E.Ascii(270, P.EXIFImageDescription);
    if (P.EXIFXResolution != 0) E.Rational(282, P.EXIFXResolution);
    if (P.EXIFYResolution != 0) E.Rational(283, P.EXIFYResolution);
    E.Short(274, static_cast<uint32_t>(P.TIFFOrientation));
    E.Short(296, 2);
    E.Ascii(305, P.EXIFSoftware);
    if (P.EXIFXPRating >= 0) E.Short(18246, static_cast<uint32_t>(P.EXIFXPRating));
    E.Wide(40091, P.EXIFXPTitle);
    E.Wide(40092, P.EXIFXPComment);
    E.Wide(40093, P.EXIFXPAuthor);
    E.Wide(40094, P.EXIFXPKeywords);
    E.Wide(40095, P.EXIFXPSubject);
    E.Ascii(315, P.EXIFArtist);
    E.Ascii(271, P.EXIFMake);
    E.Ascii(272, P.EXIFModel);
    E.Ascii(306, P.EXIFDateTime);
    if (P.EXIFWhitePoint[0] != -1 || P.EXIFWhitePoint[1] != -1)
        E.Rationals(318, {P.EXIFWhitePoint[0], P.EXIFWhitePoint[1]});
    if (P.EXIFYCbCrPositioning > 0) E.Short(531, static_cast<uint32_t>(P.EXIFYCbCrPositioning));
    if (AnyNotMinusOne(P.EXIFPrimaryChromaticities, 6))
        E.Rationals(319, std::vector<double>(P.EXIFPrimaryChromaticities, P.EXIFPrimaryChromaticities + 6));
    if (AnyNotMinusOne(P.EXIFYCbCrCoefficients, 3))
        E.Rationals(529, std::vector<double>(P.EXIFYCbCrCoefficients, P.EXIFYCbCrCoefficients + 3));
    if (AnyNotMinusOne(P.EXIFReferenceBlackWhite, 6))
        E.Rationals(532, std::vector<double>(P.EXIFReferenceBlackWhite, P.EXIFReferenceBlackWhite + 6));
    E.Ascii(33432, P.EXIFRightsNotice);
    if (E.O.Aborted()) return;
    E.Long(34665, WriteEXIFIFD(E.O, P));
    if (!P.EXIFGPSVersionID.empty() && !E.O.Aborted()) E.Long(34853, WriteGPSIFD(E.O, P));
}

// ---- Image data -----------------------------------------------------------------------------------------

// The page being written: the bitmap to read, the choices made while preparing it, and what the
// strip writer found.
struct TPage {
    TIEBitmap* Bitmap = nullptr;
    TIEPixelFormat Format = ieNoFormat;
    int32_t Mode = kModeRGB;
    uint16_t Code = 1;                // TIFF compression code
    bool TwoDimensional = false;      // Group 3 two-dimensional
    int32_t FillOrder = 1;
    int32_t Predictor = 1;
    const IIEQuantizer* Quantizer = nullptr;
    TIERGB Palette[256] = {};
    int32_t Bits = 8;                 // BitsPerSample parameter
    int32_t JPEGQuality = 80;
    int32_t JPEGColorSpace = 2;
    TTIFFLZWCompressor LZW = nullptr;
    bool AlphaWritten = false;
};

void PackBitsRow(const uint8_t* Row, int32_t Len, std::vector<uint8_t>& Out) {
    int32_t i = 0;
    int32_t litStart = 0;
    auto flushLiteral = [&](int32_t End) {
        while (litStart < End) {
            const int32_t n = std::min(End - litStart, 128);
            Out.push_back(static_cast<uint8_t>(n - 1));
            Out.insert(Out.end(), Row + litStart, Row + litStart + n);
            litStart += n;
        }
    };
    while (i < Len) {
        int32_t run = 1;
        while (i + run < Len && run < 128 && Row[i + run] == Row[i]) ++run;
        if (run >= 4) {
            flushLiteral(i);
            Out.push_back(static_cast<uint8_t>(1 - run));
            Out.push_back(Row[i]);
            i += run;
            litStart = i;
        } else {
            i += run;
            if (i - litStart >= 128) flushLiteral(litStart + 128);
        }
    }
    flushLiteral(Len);
}

// Packs Count values of Bits bits (1..7), most significant bit first.
void PackBits(const uint8_t* Values, int32_t Count, int32_t Bits, uint8_t* Out) {
    const int32_t bytes = (Count * Bits + 7) / 8;
    std::memset(Out, 0, static_cast<size_t>(bytes));
    int64_t bit = 0;
    const uint8_t mask = static_cast<uint8_t>((1 << Bits) - 1);
    for (int32_t i = 0; i < Count; ++i, bit += Bits) {
        const uint32_t v = Values[i] & mask;
        for (int32_t b = Bits - 1; b >= 0; --b) {
            const int64_t at = bit + (Bits - 1 - b);
            if (v >> b & 1) Out[at >> 3] |= static_cast<uint8_t>(0x80 >> (at & 7));
        }
    }
}

// The bytes of one file row.
class TRowMaker {
public:
    TRowMaker(TPage& Page, TIOParamsVals& Params) : G(Page), P(Params) {
        const int32_t w = G.Bitmap->GetWidth();
        Len = RowLength(G, w);
        Buf.resize(static_cast<size_t>(Len) + 16);
        Tmp.resize(static_cast<size_t>(w) * 4 + 16);
    }

    static int64_t RowLength(const TPage& G, int64_t W) {
        switch (G.Format) {
        case ie1g: return (W + 7) / 8;
        case ie8p: case ie8g: case ie16g:
            if (G.Bits == 16) return W * 2;
            if (G.Bits >= 8) return W;
            return (W * G.Bits + 7) / 8;
        case ieCMYK: return W * 4;
        case ieRGB48: return W * 6;
        case ie24RGB:
            if (G.Mode == kModeCMYK) return W * 4;
            if (G.Mode == kModeGrey || G.Mode == kModePalette) {
                if (G.Bits == 16) return W * 2;
                if (G.Bits >= 8) return W;
                return (W * G.Bits + 7) / 8;
            }
            return G.AlphaWritten ? W * 4 : W * 3;
        default: return 0;
        }
    }

    const uint8_t* Row(int32_t Y) {
        const int32_t w = G.Bitmap->GetWidth();
        uint8_t* src = G.Bitmap->GetScanline(Y);
        uint8_t* out = Buf.data();
        switch (G.Format) {
        case ie1g:
            std::memcpy(out, src, static_cast<size_t>(Len));
            break;
        case ie8p: case ie8g:
            if (G.Bits >= 8) std::memcpy(out, src, static_cast<size_t>(w));
            else PackBits(src, w, G.Bits, out);
            break;
        case ie16g:
            std::memcpy(out, src, static_cast<size_t>(w) * 2);
            break;
        case ieCMYK:
            for (int64_t i = 0; i < static_cast<int64_t>(w) * 4; ++i) out[i] = static_cast<uint8_t>(~src[i]);
            break;
        case ieRGB48:
            std::memcpy(out, src, static_cast<size_t>(w) * 6);
            break;
        case ie24RGB: Row24(reinterpret_cast<const TIERGB*>(src), Y, w, out); break;
        default: break;
        }
        return out;
    }

    int64_t Len = 0;

private:
    void Convert(const void* Src, uint8_t SrcLayout, void* Dst, int32_t Count, uint8_t DstLayout) {
        TIEColorConvertProc proc = IEColorConvertHook ? IEColorConvertHook : IEConvertColorRow;
        proc(Src, SrcLayout, Dst, &P, Count, DstLayout);
    }

    void Row24(const TIERGB* Src, int32_t Y, int32_t W, uint8_t* Out) {
        if (G.Mode == kModeCMYK) {
            Convert(Src, iecrBGR, Out, W, iecrCMYK);
            for (int64_t i = 0; i < static_cast<int64_t>(W) * 4; ++i) Out[i] = static_cast<uint8_t>(~Out[i]);
        } else if (G.Mode == kModeCIELab) {
            Convert(Src, iecrBGR, Out, W, iecrCIELab);
        } else if (G.Mode == kModeGrey || G.Mode == kModePalette) {
            if (G.Bits == 16) {
                for (int32_t x = 0; x < W; ++x)
                    ByteOrder::PutLE16(Out + 2 * x, static_cast<uint16_t>(G.Quantizer->RGBIndex(Src[x]) * 257));
            } else if (G.Bits >= 8) {
                for (int32_t x = 0; x < W; ++x) Out[x] = static_cast<uint8_t>(G.Quantizer->RGBIndex(Src[x]));
            } else {
                for (int32_t x = 0; x < W; ++x) Tmp[x] = static_cast<uint8_t>(G.Quantizer->RGBIndex(Src[x]));
                PackBits(Tmp.data(), W, G.Bits, Out);
            }
        } else if (G.AlphaWritten) {
            const uint8_t* a = G.Bitmap->GetAlphaChannel()->GetScanline(Y);
            for (int32_t x = 0; x < W; ++x) {
                Out[4 * x] = Src[x].r;
                Out[4 * x + 1] = Src[x].g;
                Out[4 * x + 2] = Src[x].b;
                Out[4 * x + 3] = a[x];
            }
        } else if (G.Predictor == 2) {
            uint8_t pr = 0, pg = 0, pb = 0;
            for (int32_t x = 0; x < W; ++x) {
                Out[3 * x] = static_cast<uint8_t>(Src[x].r - pr);
                Out[3 * x + 1] = static_cast<uint8_t>(Src[x].g - pg);
                Out[3 * x + 2] = static_cast<uint8_t>(Src[x].b - pb);
                pr = Src[x].r;
                pg = Src[x].g;
                pb = Src[x].b;
            }
        } else {
            for (int32_t x = 0; x < W; ++x) {
                Out[3 * x] = Src[x].r;
                Out[3 * x + 1] = Src[x].g;
                Out[3 * x + 2] = Src[x].b;
            }
        }
    }

    TPage& G;
    TIOParamsVals& P;
    std::vector<uint8_t> Buf;
    std::vector<uint8_t> Tmp;
};

// Writes the rows in strips; adds RowsPerStrip, StripOffsets and StripByteCounts.
void WriteStrips(TTIFFOut& O, TEntryList& E, TPage& G, TIOParamsVals& P) {
    TIEBitmap* bmp = G.Bitmap;
    const int32_t width = bmp->GetWidth(), height = bmp->GetHeight();
    TRowMaker rows(G, P);
    std::vector<uint32_t> offsets, counts;
    auto rowProgress = [&](int32_t y) {
        if (O.P.OnProgress) O.P.OnProgress(O.P.Sender, static_cast<int32_t>(static_cast<int64_t>(y) * 100 / height));
    };

    int32_t rowsPerStrip = height;
    if (G.Code == 7) {
        const uint32_t start = O.Pos();
        TIOParamsVals jp(nullptr);
        jp.JPEGQuality = G.JPEGQuality;
        jp.JPEGColorSpace = static_cast<uint8_t>(G.JPEGColorSpace);
        jp.SetDpiX(P.DpiX);
        jp.SetDpiY(P.DpiY);
        try {
            IEWriteJPEGStream(O.S, bmp, jp, O.P);
        } catch (const Exception&) {
            O.Abort();
        }
        const uint32_t end = O.Pos();
        offsets.push_back(start);
        counts.push_back(end - start);
    } else if (G.Code == 32946) {
        const uint32_t start = O.Pos();
        const uint8_t level = static_cast<uint8_t>(std::clamp(P.TIFFZIPCompression, 0, 2) + 1);
        try {
            TZCompressionStream z(O.S, level);
            for (int32_t y = 0; y < height && !O.Aborted(); ++y) {
                rowProgress(y);
                z.WriteBuffer(rows.Row(y), static_cast<int32_t>(rows.Len));
            }
            z.Finish();
        } catch (const Exception&) {
            O.Abort();
        }
        const uint32_t end = O.Pos();
        offsets.push_back(start);
        counts.push_back(end - start);
    } else {
        int64_t strips = static_cast<int64_t>(height) * bmp->GetRowLen() / kStripBytes;
        strips = std::max<int64_t>(strips, 1);
        rowsPerStrip = static_cast<int32_t>(height / strips);
        if (rowsPerStrip < 1) rowsPerStrip = 1;
        std::vector<uint8_t> data;
        for (int32_t first = 0; first < height && !O.Aborted(); first += rowsPerStrip) {
            const int32_t last = std::min(height, first + rowsPerStrip);
            data.clear();
            TMemoryStream mem;
            bool memFailed = false;
            uint8_t pendingByte = 0;
            int32_t pendingBits = 0;
            std::vector<uint8_t> refRow;
            void* lzwState = nullptr;
            try {
                for (int32_t y = first; y < last; ++y) {
                    rowProgress(y);
                    const uint8_t* r = rows.Row(y);
                    const int32_t len = static_cast<int32_t>(rows.Len);
                    switch (G.Code) {
                    case 2: IECCITTEncodeMHRow(r, width, &mem, memFailed, G.FillOrder); break;
                    case 3:
                        if (G.TwoDimensional)
                            IECCITTEncodeG32DRow(r, width, &mem, pendingByte, pendingBits, refRow, memFailed, G.FillOrder);
                        else
                            IECCITTEncodeG3Row(r, width, &mem, pendingByte, pendingBits, memFailed, G.FillOrder);
                        break;
                    case 4: IECCITTEncodeG4Row(r, width, &mem, pendingByte, pendingBits, refRow, memFailed, G.FillOrder); break;
                    case 5: G.LZW(r, len, &mem, lzwState); break;
                    case 32773: PackBitsRow(r, len, data); break;
                    default: data.insert(data.end(), r, r + len); break;
                    }
                    if (O.Aborted()) break;
                }
                switch (G.Code) {
                case 3:
                    if (G.TwoDimensional)
                        IECCITTEncodeG32DRow(nullptr, width, &mem, pendingByte, pendingBits, refRow, memFailed, G.FillOrder);
                    else
                        IECCITTEncodeG3Row(nullptr, width, &mem, pendingByte, pendingBits, memFailed, G.FillOrder);
                    break;
                case 4: IECCITTEncodeG4Row(nullptr, width, &mem, pendingByte, pendingBits, refRow, memFailed, G.FillOrder); break;
                case 5:
                    if (lzwState) G.LZW(nullptr, 0, &mem, lzwState);
                    break;
                default: break;
                }
            } catch (const Exception&) {
                memFailed = true;
                if (lzwState) {
                    try {
                        G.LZW(nullptr, 0, &mem, lzwState);
                    } catch (const Exception&) {
                    }
                }
            }
            if (memFailed) {
                O.Abort();
                break;
            }
            const uint32_t start = O.Pos();
            if (mem.GetSize() > 0) O.Write(mem.GetMemory(), mem.GetSize());
            if (!data.empty()) O.Write(data.data(), static_cast<int64_t>(data.size()));
            offsets.push_back(start);
            counts.push_back(O.Pos() - start);
        }
    }
    E.Long(278, static_cast<uint32_t>(rowsPerStrip));
    if (offsets.size() == 1) {
        E.Long(273, offsets[0]);
        E.Long(279, counts[0]);
    } else if (!offsets.empty()) {
        E.Longs(273, offsets);
        E.Longs(279, counts);
    }
}

// Old-style JPEG (compression 6): a complete JPEG stream, its scan data as the only strip.
void WriteOldJPEG(TTIFFOut& O, TEntryList& E, TPage& G, TIOParamsVals& P) {
    TMemoryStream mem;
    TIOParamsVals jp(nullptr);
    jp.JPEGQuality = G.JPEGQuality;
    jp.JPEGColorSpace = static_cast<uint8_t>(G.JPEGColorSpace);
    try {
        IEWriteJPEGStream(&mem, G.Bitmap, jp, O.P);
    } catch (const Exception&) {
        O.Abort();
    }
    if (O.Aborted()) return;
    const uint8_t* d = static_cast<const uint8_t*>(mem.GetMemory());
    const int64_t size = mem.GetSize();
    int64_t sos = 0;
    for (int64_t i = 0; i + 1 < size; ++i)
        if (d[i] == 0xFF && d[i + 1] == 0xDA) {
            sos = i;
            break;
        }
    const uint32_t pos = O.Block(d, size);
    E.Long(513, pos);
    E.Long(514, static_cast<uint32_t>(size));
    E.Long(273, pos + static_cast<uint32_t>(sos));
    E.Long(279, static_cast<uint32_t>(size - sos));
    E.Long(278, static_cast<uint32_t>(G.Bitmap->GetHeight()));
    E.Short(512, 1);
    E.Shorts(530, {2, 2});
}

bool HasPartialAlpha(TIEBitmap* Bitmap) {
    if (!Bitmap->HasAlphaChannel()) return false;
    TIEBitmap* a = Bitmap->GetAlphaChannel();
    const int32_t w = a->GetWidth(), h = a->GetHeight();
    for (int32_t y = 0; y < h; ++y) {
        const uint8_t* r = a->GetScanline(y);
        for (int32_t x = 0; x < w; ++x)
            if (r[x] != 255) return true;
    }
    return false;
}

// ---- Header and IFD chain -----------------------------------------------------------------------------

// The pages of the chain from the IFD at Link on (each IFD once, stopping where the chain leaves
// the stream).
int32_t CountRest(TStream* S, uint32_t Link, int64_t Size, std::set<uint32_t>& Seen) {
    int32_t pages = 0;
    uint8_t b[4];
    while (Link != 0 && static_cast<int64_t>(Link) + 2 <= Size && Seen.insert(Link).second) {
        ++pages;
        S->SetPosition(Link);
        if (S->Read(b, 2) != 2) break;
        const int64_t next = static_cast<int64_t>(Link) + 2 + static_cast<int64_t>(ByteOrder::GetLE16(b)) * 12;
        if (next + 4 > Size) break;
        S->SetPosition(next);
        Link = S->Read(b, 4) == 4 ? ByteOrder::GetLE32(b) : 0;
    }
    return pages;
}

// Walks the IFD chain of the little-endian TIFF at Start. Chooses the link that points to page
// Index, or the chain's last link. A link that leaves the stream, or that points back to an IFD
// already seen, ends the chain there (the new page then ends the chain); an IFD whose entries run
// past the stream's end has no link to rewrite, so the new page goes before it. Returns the page
// count.
int32_t WalkChain(TStream* S, int64_t Start, int32_t Index, int64_t& LinkPos, uint32_t& LinkValue) {
    const int64_t size = S->GetSize();
    int64_t linkPos = Start + 4;
    uint8_t b[4];
    S->SetPosition(linkPos);
    uint32_t link = S->Read(b, 4) == 4 ? ByteOrder::GetLE32(b) : 0;
    std::set<uint32_t> seen;
    int32_t pages = 0;
    for (;;) {
        const bool valid = link != 0 && static_cast<int64_t>(link) + 2 <= size && !seen.count(link);
        if (!valid) {
            LinkPos = linkPos;
            LinkValue = 0;
            return pages;
        }
        if (pages == Index) {
            LinkPos = linkPos;
            LinkValue = link;
            return pages + CountRest(S, link, size, seen);
        }
        S->SetPosition(link);
        uint8_t c[2];
        const int64_t next = static_cast<int64_t>(link) + 2 +
                             (S->Read(c, 2) == 2 ? static_cast<int64_t>(ByteOrder::GetLE16(c)) * 12 : size);
        if (next + 4 > size) {
            LinkPos = linkPos;
            LinkValue = link;
            return pages + 1;
        }
        seen.insert(link);
        ++pages;
        linkPos = next;
        S->SetPosition(linkPos);
        link = S->Read(b, 4) == 4 ? ByteOrder::GetLE32(b) : 0;
    }
}

}  // namespace

int32_t IEWriteTIFFStream(TStream* Stream, bool Append, TIEBitmap* Bitmap, TIOParamsVals& Params,
                          TIOProgressRecord& Progress) {
    TTIFFOut O(Stream, Progress);
    const int64_t start = Stream->GetPosition();
    int64_t linkPos = -1;
    uint32_t oldLink = 0;
    int32_t result = 1;

    if (Append) {
        uint8_t h[8] = {};
        const int32_t got = Stream->Read(h, 8);
        if (got < 2 || h[0] != 'I' || h[1] != 'I') {
            Stream->SetPosition(start);
            O.Abort();
            return 0;
        }
        if (got < 8) {
            // Only the byte order: nothing to link into.
            Stream->SetPosition(start);
            O.Abort();
            return 0;
        }
        result = WalkChain(Stream, start, Params.TIFFImageIndex, linkPos, oldLink) + 1;
        Stream->Seek(0, soEnd);
    } else {
        const uint8_t zero[8] = {};
        O.Write(zero, 8);
    }

    // Converted copies of the caller's bitmap, freed at the end.
    std::vector<std::unique_ptr<TIEBitmap>> copies;   // each made from the one before
    std::unique_ptr<TIEBitmap> notCopy;
    std::unique_ptr<IIEQuantizer> quantizer;
    TPage G;
    TIEBitmap* bmp = Bitmap;
    if (bmp && (bmp->GetWidth() <= 0 || bmp->GetHeight() <= 0)) bmp = nullptr;

    if (bmp) {
        TIEPixelFormat pf = bmp->GetPixelFormat();
        // Formats without rows of their own in a TIFF page (float, CIELab, 32-bit, virtual) are
        // written from a 24-bit copy.
        if (pf != ie1g && pf != ie8p && pf != ie8g && pf != ie16g && pf != ie24RGB && pf != ieCMYK && pf != ieRGB48) {
            auto own = std::make_unique<TIEBitmap>(bmp->GetWidth(), bmp->GetHeight(), ie24RGB);
            TIEBitmap copy(bmp);
            own->ConvertFrom(&copy);
            bmp = own.get();
            copies.push_back(std::move(own));
            pf = ie24RGB;
        }
        // Grey and palette bitmaps have one sample of their own depth: the rows and the tags follow
        // the bitmap whatever the parameters asked for.
        if ((pf == ie8p || pf == ie8g || pf == ie16g) && !(Params.SamplesPerPixel == 1 && Params.BitsPerSample == 1)) {
            Params.SamplesPerPixel = 1;
            Params.BitsPerSample = pf == ie16g ? 16 : 8;
        }
        // 1.
        if (Params.SamplesPerPixel == 1 && Params.BitsPerSample == 1 && pf != ie1g) {
            TIERGB c0{}, c1{};
            auto own = IEConvertTo1BitIfTwoColorsHook(bmp, c0, c1);
            if (!own) {
                own = std::make_unique<TIEBitmap>(bmp->GetWidth(), bmp->GetHeight(), ie1g);
                TIEBitmap copy(bmp);   // ConvertFrom may change its source
                own->ConvertFrom(&copy);
            }
            bmp = own.get();
            copies.push_back(std::move(own));
        } else if (pf == ie1g && !(Params.SamplesPerPixel == 1 && Params.BitsPerSample == 1)) {
            auto own = std::make_unique<TIEBitmap>(bmp);
            own->ConvertPixelFormat(ie24RGB);
            bmp = own.get();
            copies.push_back(std::move(own));
        }
        pf = bmp->GetPixelFormat();
        // 2.
        if (Params.SamplesPerPixel == 1 &&
            ((Params.BitsPerSample >= 2 && Params.BitsPerSample <= 8) || Params.BitsPerSample == 16)) {
            if (Params.TIFFCompression != 5 && Params.TIFFCompression != 8 && Params.TIFFCompression != 9)
                Params.TIFFCompression = 0;
            if (pf == ie8g || pf == ie16g) {
                // Grey levels as they are.
                Params.TIFFPhotometric = 1;
            } else if (pf == ie8p) {
                // The indexes as they are, with the bitmap's own palette.
                Params.TIFFPhotometric = 3;
                Params.BitsPerSample = 8;
                const int32_t n = std::min(bmp->GetPaletteLength(), 256);
                for (int32_t i = 0; i < n; ++i) G.Palette[i] = bmp->GetPaletteEntry(i);
            } else {
                const int32_t colours = std::min(1 << Params.BitsPerSample, 256);
                quantizer = IENewQuantizerHook(bmp, G.Palette, 0, colours);
            }
            if (!quantizer) {
            } else if (quantizer->GetIsGray()) {
                Params.TIFFPhotometric = 1;
            } else {
                Params.TIFFPhotometric = 3;
                if (Params.BitsPerSample == 16) Params.BitsPerSample = 8;
            }
        }
        // 3.
        if (Params.TIFFPhotometric == 3 && Params.SamplesPerPixel > 1) Params.TIFFPhotometric = 2;
        if (pf == ieRGB48) {
            Params.SamplesPerPixel = 3;
            Params.BitsPerSample = 16;
            Params.TIFFPhotometric = 2;
        }
        if (Params.BitsPerSample > 8 && Params.SamplesPerPixel != 1) {
            Params.SamplesPerPixel = 3;
            Params.BitsPerSample = 8;
            Params.TIFFPhotometric = 2;
        }
        if ((Params.TIFFPhotometric == 0 || Params.TIFFPhotometric == 1) && Params.BitsPerSample == 8 &&
            Params.SamplesPerPixel == 3)
            Params.TIFFPhotometric = 2;
        if (Params.TIFFPhotometric == 2 && Params.SamplesPerPixel == 1 && Params.BitsPerSample == 1)
            Params.TIFFPhotometric = 1;
        if (Params.TIFFPhotometric == 6 && Params.TIFFCompression != 7) Params.TIFFPhotometric = 2;
        if (Params.TIFFPhotometric == 2 && Params.SamplesPerPixel > 3) Params.SamplesPerPixel = 3;
        if (pf == ieRGB48) {
            Params.SamplesPerPixel = 3;
            Params.BitsPerSample = 16;
            Params.TIFFPhotometric = 2;
        }
        if (pf == ieCMYK) {
            Params.SamplesPerPixel = 4;
            Params.BitsPerSample = 8;
            Params.TIFFPhotometric = 5;
        }
        // 4.
        switch (Params.TIFFPhotometric) {
        case 0: case 1: G.Mode = kModeGrey; break;
        case 3: G.Mode = kModePalette; break;
        case 5: G.Mode = kModeCMYK; Params.SamplesPerPixel = 4; break;
        case 7: G.Mode = kModeCIELab; break;
        default: G.Mode = kModeRGB; break;
        }
        // 5.
        G.JPEGQuality = Params.TIFFJPEGQuality;
        G.JPEGColorSpace = Params.TIFFJPEGColorSpace;
        auto jpegMode = [&] {
            switch (Params.TIFFJPEGColorSpace) {
            case 1: G.Mode = kModeGrey; break;
            case 2: G.Mode = kModeYCbCr; break;
            case 3: G.Mode = kModeCMYK; break;
            case 4: G.Mode = kModeRGB; G.JPEGColorSpace = 0; break;
            default: G.Mode = kModeRGB; break;
            }
        };
        switch (Params.TIFFCompression) {
        case 0: G.Code = 1; break;
        case 1: G.Code = 2; G.Mode = kModeCCITT; break;
        case 2: G.Code = 3; G.Mode = kModeCCITT; break;
        case 3: G.Code = 3; G.Mode = kModeCCITT; G.TwoDimensional = true; break;
        case 4: G.Code = 4; G.Mode = kModeCCITT; break;
        case 5:
            G.Code = 5;
            G.Predictor = 2;
            G.LZW = Params.TIFFLZWCompress ? Params.TIFFLZWCompress : IETIFFLZWCompressor;
            if (!G.LZW) {
                G.Code = 1;
                G.Predictor = 1;
            }
            break;
        case 6: G.Code = 6; jpegMode(); break;
        case 7: G.Code = 7; jpegMode(); break;
        case 8: G.Code = 32773; break;
        case 9: case 10: G.Code = 32946; break;
        default: G.Code = 1; break;
        }
        // JPEG data are made from 24-bit rows: the tags follow the writer mode of a 24-bit image.
        if ((G.Code == 6 || G.Code == 7) && pf != ie24RGB) {
            auto rgb = std::make_unique<TIEBitmap>(bmp);
            rgb->ConvertPixelFormat(ie24RGB);
            quantizer.reset();
            bmp = rgb.get();
            copies.push_back(std::move(rgb));
            pf = ie24RGB;
            quantizer.reset();
        }
        // 6.
        G.FillOrder = Params.TIFFFillOrder == 2 ? 2 : 1;
        const bool ccitt = G.Code == 2 || G.Code == 3 || G.Code == 4;
        if (ccitt && pf != ie1g) {
            G.Code = 1;
            G.TwoDimensional = false;
        }
        // A CCITT mode left without CCITT data writes RGB rows.
        if (G.Mode == kModeCCITT && !(ccitt && pf == ie1g)) G.Mode = kModeRGB;
        // Grey and palette rows of a colour bitmap come from the quantizer; without one (a bit depth
        // the quantizer does not serve) the rows are written as RGB.
        if ((G.Mode == kModeGrey || G.Mode == kModePalette) && pf == ie24RGB && !quantizer && G.Code != 7 &&
            G.Code != 6)
            G.Mode = kModeRGB;
        // A palette page needs the quantizer's colour map.
        if (G.Mode == kModePalette && !quantizer && pf != ie8p) G.Mode = pf == ie1g ? kModeGrey : kModeRGB;
        // The alpha sample.
        G.AlphaWritten = pf == ie24RGB && G.Mode == kModeRGB && Params.SamplesPerPixel == 3 &&
                         (G.Code == 1 || G.Code == 5 || G.Code == 32773) && HasPartialAlpha(bmp);
        // 7. Differences only on RGB rows of 8-bit samples without alpha.
        if (!(G.Code == 5 && pf == ie24RGB && G.Mode == kModeRGB && Params.BitsPerSample == 8 &&
              (Params.SamplesPerPixel == 1 || Params.SamplesPerPixel == 3) && !bmp->HasAlphaChannel()))
            G.Predictor = 1;
        // 8. Fax data have 0 for white.
        if (ccitt && pf == ie1g) {
            notCopy = std::make_unique<TIEBitmap>(bmp);
            IENotBitmapHook(notCopy.get());
            bmp = notCopy.get();
        }
        G.Bitmap = bmp;
        G.Format = pf;
        G.Quantizer = quantizer.get();
        G.Bits = Params.BitsPerSample;
        if (G.Bits < 1) G.Bits = 1;
        if (G.Bits > 16) G.Bits = 16;
        if (G.Bits > 8 && G.Bits < 16) G.Bits = 8;
        Params.BitsPerSample = (pf == ie24RGB && (G.Mode == kModeGrey || G.Mode == kModePalette) && quantizer) ? G.Bits
                                                                                                              : Params.BitsPerSample;
    }

    TEntryList E(O);
    // 1.
    if (Params.HasEXIFData) {
        WriteEXIFTags(E, Params);
    } else {
        E.Ascii(270, Params.TIFFImageDescription);
        E.Rational(282, Params.DpiX);
        E.Rational(283, Params.DpiY);
        E.Short(296, 2);
    }
    // 2.
    if (bmp) {
        const int32_t width = bmp->GetWidth(), height = bmp->GetHeight();
        E.Long(256, static_cast<uint32_t>(width));
        E.Long(257, static_cast<uint32_t>(height));
        switch (G.Format) {
        case ie1g: E.Short(258, 1); break;
        case ie8p: case ie8g: E.Short(258, 8); break;
        case ie16g: E.Short(258, 16); break;
        case ie24RGB:
            if (G.Mode == kModeGrey || G.Mode == kModePalette) E.Short(258, static_cast<uint32_t>(G.Code == 7 || G.Code == 6 ? 8 : G.Bits));
            else if (G.Mode == kModeCMYK) E.Shorts(258, {8, 8, 8, 8});
            else if (G.AlphaWritten) E.Shorts(258, {8, 8, 8, 8});
            else E.Shorts(258, {8, 8, 8});
            break;
        case ieCMYK: E.Shorts(258, {8, 8, 8, 8}); break;
        case ieRGB48: E.Shorts(258, {16, 16, 16}); break;
        default: break;
        }
        E.Short(259, G.Code);
        uint32_t photometric;
        if (G.Format == ie1g) {
            photometric = G.Mode == kModeCCITT ? 0 : 1;
        } else {
            switch (G.Mode) {
            case kModeGrey: photometric = 1; break;
            case kModePalette: photometric = 3; break;
            case kModeCMYK: photometric = 5; break;
            case kModeYCbCr: photometric = 6; break;
            case kModeCIELab: photometric = 8; break;
            default: photometric = 2; break;
            }
        }
        E.Short(262, photometric);
        E.Ascii(269, Params.TIFFDocumentName);
        if (G.Mode == kModeCCITT) {
            E.Short(266, static_cast<uint32_t>(G.FillOrder));
            E.Short(284, 1);
            E.Short(327, 0);
        }
        const TIEDataAccess access = bmp->Access;
        bmp->Access = iedRead;
        if (!O.Aborted()) {
            if (G.Code == 6) WriteOldJPEG(O, E, G, Params);
            else WriteStrips(O, E, G, Params);
        }
        bmp->Access = access;
        Params.TIFFPhotometric = static_cast<uint8_t>(photometric == 8 ? 7 : photometric);
    }
    // 3.
    if (bmp && !O.Aborted()) {
        uint32_t samples;
        if (G.Format == ie1g || G.Format == ie8p || G.Format == ie8g || G.Format == ie16g) samples = 1;
        else if (G.Format == ieRGB48) samples = 3;
        else if (G.Mode == kModeGrey || G.Mode == kModePalette) samples = 1;
        else if (G.Mode == kModeCMYK) samples = 4;
        else if (G.AlphaWritten) samples = 4;
        else samples = 3;
        E.Short(277, samples);
        if (G.AlphaWritten) E.Short(338, 2);   // unassociated alpha: the colours are not multiplied
        Params.SamplesPerPixel = static_cast<int32_t>(samples);
        if (G.Predictor == 2) E.Short(317, 2);
        E.Ascii(285, Params.TIFFPageName);
        if (Params.TIFFXPos != 0) E.Rational(286, Params.TIFFXPos);
        if (Params.TIFFYPos != 0) E.Rational(287, Params.TIFFYPos);
        if (G.Code == 3) E.Long(292, G.TwoDimensional ? 1 : 0);
        if (G.Code == 4) E.Long(292, 0);
        if (G.Code == 3 || G.Code == 4) E.Long(293, 0);
        E.Long(254, 0);
        if (Params.TIFFPageNumber >= 0 || Params.TIFFPageCount >= 0)
            E.Shorts(297, {static_cast<uint16_t>(Params.TIFFPageNumber), static_cast<uint16_t>(Params.TIFFPageCount)});
        std::vector<uint8_t> iptc;
        Params.IPTCInfo->SaveToBuffer(iptc, false);
        if (!iptc.empty()) {
            const uint32_t count = static_cast<uint32_t>((iptc.size() + 3) / 4);
            iptc.resize(static_cast<size_t>(count) * 4, 0);   // the LONGs the count promises
            E.Data(33723, kLONG, count, iptc.data(), static_cast<int64_t>(iptc.size()));
        }
        if (!Params.XMPInfo.empty())
            E.Data(700, kBYTE, static_cast<uint32_t>(Params.XMPInfo.size()), Params.XMPInfo.data(),
                   static_cast<int64_t>(Params.XMPInfo.size()));
        if (Params.ImagingAnnot) {
            std::unique_ptr<uint8_t[]> annot;
            int32_t annotLen = 0;
            Params.ImagingAnnot->SaveToBuffer(annot, annotLen);
            if (annot && annotLen > 0) E.Data(32932, kBYTE, static_cast<uint32_t>(annotLen), annot.get(), annotLen);
        }
        // The embedded profile, unless the pixels were already converted through it.
        const TIEICC* icc = Params.InputICCProfile.get();
        if (icc && icc->GetRawSize() > 0 && !icc->GetIsApplied())
            E.Data(34675, kUNDEFINED, static_cast<uint32_t>(icc->GetRawSize()), icc->GetRaw(), icc->GetRawSize());
        if (G.Mode == kModePalette && (G.Quantizer || G.Format == ie8p)) {
            const int32_t n = 1 << std::min(G.Bits, 8);
            std::vector<uint16_t> map(static_cast<size_t>(n) * 3);
            for (int32_t i = 0; i < n; ++i) {
                map[i] = static_cast<uint16_t>(G.Palette[i].r * 257);
                map[n + i] = static_cast<uint16_t>(G.Palette[i].g * 257);
                map[2 * n + i] = static_cast<uint16_t>(G.Palette[i].b * 257);
            }
            E.Shorts(320, map);
        }
    }
    // 4.
    if (!O.Aborted()) {
        if (Append) {
            const uint32_t ifd = E.WriteIFD(oldLink);
            if (!O.Aborted()) {
                uint8_t b[4];
                ByteOrder::PutLE32(b, ifd);
                Stream->SetPosition(linkPos);
                O.Write(b, 4);
                Stream->Seek(0, soEnd);
            }
        } else {
            const uint32_t ifd = E.WriteIFD(0);
            if (!O.Aborted()) {
                const int64_t end = Stream->GetPosition();
                uint8_t h[8] = {'I', 'I'};
                ByteOrder::PutLE16(h + 2, 42);
                ByteOrder::PutLE32(h + 4, ifd);
                Stream->SetPosition(start);
                O.Write(h, 8);
                Stream->SetPosition(end);
            }
        }
    }
    return result;
}

// ---- EXIF injection ---------------------------------------------------------------------------------------

bool IEInjectEXIFTags(TStream* SourceStream, TStream* DestStream, const std::wstring& SourceFileName,
                      const std::wstring& DestFileName, int32_t Page, TIOParamsVals& Params) {
    std::unique_ptr<uint8_t[]> block;
    int32_t blockLen = 0;
    IESaveEXIFToBuffer(&Params, block, blockLen, false);
    TMemoryStream blockStream;
    if (blockLen > 0) blockStream.WriteBuffer(block.get(), blockLen);
    blockStream.SetPosition(0);
    TIETIFFHandler exif;
    exif.ReadStream(&blockStream);

    TIETIFFHandler target;
    int64_t sourceStart = 0;
    if (SourceStream) {
        sourceStart = SourceStream->GetPosition();
        target.ReadStream(SourceStream);
    } else {
        target.ReadFile(SourceFileName);
    }
    static const uint16_t kTags[] = {271, 272, 306, 274, 282, 283, 296, 305, 315, 318, 531, 319,
                                     529, 532, 33432, 18246, 40091, 40092, 40093, 40094, 40095, 34665, 34853};
    if (exif.GetPageCount() > 0 && Page >= 0 && Page < target.GetPageCount()) {
        for (uint16_t tag : kTags) {
            const int32_t index = exif.FindTag(0, tag);
            if (index >= 0) target.CopyTag(0, index, &exif, Page);
        }
    }
    if (DestStream) {
        if (DestStream == SourceStream) DestStream->SetPosition(sourceStart);
        target.WriteStream(DestStream, -1);
    } else {
        target.WriteFile(DestFileName, -1);
    }
    return true;
}
