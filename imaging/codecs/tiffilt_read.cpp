// The TIFF reader: header, IFD chain and page selection, the page's tags into TTIFFVars and the
// parameter set, then the pixel decoders of tiffilt_decode.cpp.
//
// Offsets and counts come from the file: every read is clipped to the stream, arrays are loaded
// only when their bytes lie inside it, and the IFD chain ends when it meets an IFD it has already
// walked.
#include "tiffilt_read.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "ByteOrder.h"
#include "CheckedMath.h"
#include "Classes.h"
#include "SysUtils.h"
#include "codecs_common.h"
#include "iebitmap.h"
#include "iecoreutils_geometry.h"
#include "iecoreutils_markers.h"
#include "iecoreutils_tiffhandler.h"
#include "iecoreutils_wang.h"
#include "iemask.h"
#include "iecoredefs_settings.h"
#include "picturaio_params.h"
#include "tiffilt_decode.h"
#include "tiflzw.h"

namespace {

// Tiles are a few hundred pixels a side; a larger one is taken for damaged data.
constexpr int32_t kMaxTileSide = 1 << 16;

// TIFF field types.
constexpr uint16_t kBYTE = 1, kASCII = 2, kSHORT = 3, kLONG = 4, kRATIONAL = 5, kSBYTE = 6, kUNDEFINED = 7,
                   kSSHORT = 8, kSLONG = 9, kSRATIONAL = 10;

// Tags this reader looks up.
enum : uint16_t {
    kTagImageWidth = 256,
    kTagImageLength = 257,
    kTagBitsPerSample = 258,
    kTagCompression = 259,
    kTagPhotometric = 262,
    kTagFillOrder = 266,
    kTagDocumentName = 269,
    kTagImageDescription = 270,
    kTagMake = 271,
    kTagModel = 272,
    kTagStripOffsets = 273,
    kTagOrientation = 274,
    kTagSamplesPerPixel = 277,
    kTagRowsPerStrip = 278,
    kTagStripByteCounts = 279,
    kTagXResolution = 282,
    kTagYResolution = 283,
    kTagPlanarConfig = 284,
    kTagPageName = 285,
    kTagXPosition = 286,
    kTagYPosition = 287,
    kTagT4Options = 292,
    kTagT6Options = 293,
    kTagResolutionUnit = 296,
    kTagPageNumber = 297,
    kTagSoftware = 305,
    kTagDateTime = 306,
    kTagArtist = 315,
    kTagPredictor = 317,
    kTagWhitePoint = 318,
    kTagPrimaryChromaticities = 319,
    kTagColorMap = 320,
    kTagTileWidth = 322,
    kTagTileLength = 323,
    kTagTileOffsets = 324,
    kTagTileByteCounts = 325,
    kTagSubIFDs = 330,
    kTagExtraSamples = 338,
    kTagSampleFormat = 339,
    kTagJPEGTables = 347,
    kTagJPEGProc = 512,
    kTagJPEGInterchangeFormat = 513,
    kTagJPEGInterchangeFormatLength = 514,
    kTagJPEGRestartInterval = 515,
    kTagYCbCrCoefficients = 529,
    kTagYCbCrSubSampling = 530,
    kTagYCbCrPositioning = 531,
    kTagReferenceBlackWhite = 532,
    kTagXMP = 700,
    kTagRating = 18246,
    kTagWangAnnotation = 32932,
    kTagCopyright = 33432,
    kTagIPTC = 33723,
    kTagEXIFIFD = 34665,
    kTagICC = 34675,
    kTagGPSIFD = 34853,
    kTagUserComment = 37510,
    kTagMakerNote = 37500,
};

// One 12-byte IFD entry; Raw is the value field in file order.
struct TEntry {
    uint16_t Tag;
    uint16_t Type;
    uint32_t Count;
    uint8_t Raw[4];
};

int32_t TypeSize(uint16_t Type) {
    switch (Type) {
    case kSHORT:
    case kSSHORT:
        return 2;
    case kLONG:
    case kSLONG:
    case 11:   // FLOAT
    case 13:   // IFD
        return 4;
    case kRATIONAL:
    case kSRATIONAL:
    case 12:   // DOUBLE
        return 8;
    default:
        return 1;
    }
}

// The reader's handle on one IFD: its entries and the base its offsets are relative to.
class TIFDView {
public:
    TIFDView(TStream* Stream, bool LittleEndian, int64_t Base) : S(Stream), LE(LittleEndian), FBase(Base) {}

    std::vector<TEntry> Entries;
    bool Loaded() const { return !Entries.empty(); }

    uint16_t W(const uint8_t* P) const { return LE ? ByteOrder::GetLE16(P) : ByteOrder::GetBE16(P); }
    uint32_t D(const uint8_t* P) const { return LE ? ByteOrder::GetLE32(P) : ByteOrder::GetBE32(P); }

    // Loads the Count entries at the position; only whole entries inside the stream are kept.
    void LoadEntries(uint16_t Count) {
        const int64_t left = S->GetSize() - S->GetPosition();
        const int64_t n = std::max<int64_t>(0, std::min<int64_t>(Count, left / 12));
        std::vector<uint8_t> b((size_t)n * 12);
        if (n > 0) S->Read(b.data(), (int32_t)b.size());
        Entries.resize((size_t)n);
        for (int64_t i = 0; i < n; ++i) {
            const uint8_t* e = &b[(size_t)i * 12];
            Entries[(size_t)i] = {W(e), W(e + 2), D(e + 4), {e[8], e[9], e[10], e[11]}};
        }
    }
    // Loads the IFD at Offset (from the base); false when it does not lie in the stream.
    bool LoadAt(uint32_t Offset) {
        Entries.clear();
        const int64_t pos = FBase + Offset;
        if (pos < 0 || pos + 2 > S->GetSize()) return false;
        uint8_t c[2];
        S->SetPosition(pos);
        if (S->Read(c, 2) != 2) return false;
        LoadEntries(W(c));
        return Loaded();
    }

    const TEntry* Find(uint16_t Tag) const {
        for (const TEntry& e : Entries)
            if (e.Tag == Tag) return &e;
        return nullptr;
    }
    bool Has(uint16_t Tag) const { return Find(Tag) != nullptr; }

    // Count bytes at Offset (from the base) into Out; false (Out empty) when outside the stream.
    bool ReadAt(uint32_t Offset, int64_t Count, std::vector<uint8_t>& Out) const {
        Out.clear();
        const int64_t pos = FBase + Offset;
        if (Count < 0 || pos < 0 || pos > S->GetSize() || Count > S->GetSize() - pos || Count > INT32_MAX) return false;
        Out.resize((size_t)Count);
        S->SetPosition(pos);
        return Count == 0 || S->Read(Out.data(), (int32_t)Count) == (int32_t)Count;
    }
    // The value bytes of an entry (inline when they fit in 4 bytes); false when outside the stream.
    bool Value(const TEntry& E, std::vector<uint8_t>& Out) const {
        const int64_t size = int64_t(E.Count) * TypeSize(E.Type);
        if (size <= 4) {
            Out.assign(E.Raw, E.Raw + size);
            return true;
        }
        return ReadAt(D(E.Raw), size, Out);
    }

    // First value of a BYTE, SHORT or LONG entry (the 4-byte field of other types).
    int64_t Int(uint16_t Tag, int64_t Default) const {
        const TEntry* e = Find(Tag);
        if (!e) return Default;
        switch (e->Type) {
        case kBYTE:
        case kUNDEFINED:
            return e->Raw[0];
        case kSBYTE:
            return (int8_t)e->Raw[0];
        case kSHORT:
            return W(e->Raw);
        case kSSHORT:
            return (int16_t)W(e->Raw);
        default:
            return (int32_t)D(e->Raw);
        }
    }
    // Value I of a SHORT or LONG entry.
    int64_t IntAt(uint16_t Tag, uint32_t I, int64_t Default) const {
        const TEntry* e = Find(Tag);
        if (!e || I >= e->Count || (e->Type != kSHORT && e->Type != kLONG)) return Default;
        const int32_t size = TypeSize(e->Type);
        uint8_t b[4];
        if (int64_t(e->Count) * size <= 4) {
            std::memcpy(b, e->Raw + size_t(I) * size, (size_t)size);
        } else {
            std::vector<uint8_t> v;
            if (!ReadAt(D(e->Raw) + I * (uint32_t)size, size, v)) return Default;
            std::memcpy(b, v.data(), (size_t)size);
        }
        return size == 2 ? W(b) : D(b);
    }
    // All values of a SHORT or LONG entry; empty when they do not lie inside the stream.
    std::vector<uint32_t> IntArray(uint16_t Tag) const {
        std::vector<uint32_t> out;
        const TEntry* e = Find(Tag);
        if (!e || (e->Type != kSHORT && e->Type != kLONG)) return out;
        std::vector<uint8_t> v;
        if (!Value(*e, v)) return out;
        const int32_t size = TypeSize(e->Type);
        out.resize(e->Count);
        for (uint32_t i = 0; i < e->Count; ++i) out[i] = size == 2 ? W(&v[size_t(i) * 2]) : D(&v[size_t(i) * 4]);
        return out;
    }
    // Value I of a RATIONAL or SRATIONAL entry (a zero denominator taken as 1); SHORT and LONG
    // values are taken as they are.
    double RationalAt(uint16_t Tag, uint32_t I, double Default) const {
        const TEntry* e = Find(Tag);
        if (!e || I >= e->Count) return Default;
        if (e->Type == kSHORT || e->Type == kLONG) return (double)IntAt(Tag, I, (int64_t)Default);
        if (e->Type != kRATIONAL && e->Type != kSRATIONAL) return Default;
        std::vector<uint8_t> v;
        if (!ReadAt(D(e->Raw) + I * 8u, 8, v)) return Default;
        double num, den;
        if (e->Type == kRATIONAL) {
            num = D(&v[0]);
            den = D(&v[4]);
        } else {
            num = (int32_t)D(&v[0]);
            den = (int32_t)D(&v[4]);
        }
        if (den == 0) den = 1;
        return num / den;
    }
    double Rational(uint16_t Tag, double Default) const { return RationalAt(Tag, 0, Default); }
    // ASCII text cut before its first NUL; empty when absent or longer than 0xFFFFF bytes.
    std::string Ascii(uint16_t Tag) const {
        const TEntry* e = Find(Tag);
        if (!e || e->Count > 0xFFFFF) return std::string();
        std::vector<uint8_t> v;
        if (e->Count <= 4)
            v.assign(e->Raw, e->Raw + e->Count);
        else if (!ReadAt(D(e->Raw), e->Count, v))
            return std::string();
        std::string s(v.begin(), v.end());
        const size_t nul = s.find('\0');
        if (nul != std::string::npos) s.resize(nul);
        return s;
    }
    // The value bytes as UTF-16 (little-endian) text, the closing NUL left out.
    std::wstring Wide(uint16_t Tag) const {
        const TEntry* e = Find(Tag);
        std::vector<uint8_t> v;
        if (!e || e->Count > 0xFFFFF || !Value(*e, v)) return std::wstring();
        std::wstring s;
        for (size_t i = 0; i + 1 < v.size(); i += 2) s += (wchar_t)ByteOrder::GetLE16(&v[i]);
        const size_t nul = s.find(L'\0');
        if (nul != std::wstring::npos) s.resize(nul);
        return s;
    }
    // The entry's value bytes (count x type size).
    std::vector<uint8_t> Raw(uint16_t Tag) const {
        std::vector<uint8_t> v;
        const TEntry* e = Find(Tag);
        if (e) Value(*e, v);
        return v;
    }

    TStream* S;
    bool LE;
    int64_t FBase;
};

// The header at Pos: byte order and first IFD offset; false for an unknown byte order or a
// stream too short.
bool ReadHeader(TStream* Stream, int64_t Pos, bool& LittleEndian, uint32_t& FirstIFD) {
    uint8_t h[8];
    if (Pos < 0 || Pos + 8 > Stream->GetSize()) return false;
    Stream->SetPosition(Pos);
    if (Stream->Read(h, 8) != 8) return false;
    if (h[0] == 'I' && h[1] == 'I')
        LittleEndian = true;
    else if (h[0] == 'M' && h[1] == 'M')
        LittleEndian = false;
    else
        return false;
    FirstIFD = LittleEndian ? ByteOrder::GetLE32(h + 4) : ByteOrder::GetBE32(h + 4);
    return true;
}

// Walks the IFD chain from FirstIFD: the number of IFDs walked, and the entries of IFD Index
// into Page (when the chain reaches it).
int32_t WalkChain(TIFDView& Page, uint32_t FirstIFD, int32_t Index, bool& Found) {
    TStream* s = Page.S;
    const int64_t size = s->GetSize();
    std::set<uint32_t> seen;
    uint32_t pos = FirstIFD;
    int32_t count = 0;
    Found = false;
    for (;;) {
        seen.insert(pos);
        const int64_t at = Page.FBase + pos;
        if (at < 0 || at + 2 > size) break;
        s->SetPosition(at);
        uint8_t c[2];
        if (s->Read(c, 2) != 2) break;
        const uint16_t n = Page.W(c);
        if (n == 0) break;
        if (count == Index) {
            Page.LoadEntries(n);
            Found = Page.Loaded();
        } else {
            s->SetPosition(at + 2 + int64_t(n) * 12);
        }
        if (s->GetPosition() + 4 > size) break;
        uint8_t nb[4];
        s->Read(nb, 4);
        ++count;
        const uint32_t next = Page.D(nb);
        if (next == pos || next < 8 || Page.FBase + next >= size || seen.count(next)) break;
        pos = next;
    }
    return count;
}

void ReadGPS(const TIFDView& G, TIOParamsVals& P) {
    {
        const std::vector<uint8_t> v = G.Raw(0);
        std::string s;
        for (size_t i = 0; i < v.size(); ++i) s += (i ? "." : "") + std::to_string(v[i]);
        P.EXIFGPSVersionID = s;
    }
    P.EXIFGPSLatitudeRef = G.Ascii(1);
    P.EXIFGPSLatitudeDegrees = G.RationalAt(2, 0, 0);
    P.EXIFGPSLatitudeMinutes = G.RationalAt(2, 1, 0);
    P.EXIFGPSLatitudeSeconds = G.RationalAt(2, 2, 0);
    P.EXIFGPSLongitudeRef = G.Ascii(3);
    P.EXIFGPSLongitudeDegrees = G.RationalAt(4, 0, 0);
    P.EXIFGPSLongitudeMinutes = G.RationalAt(4, 1, 0);
    P.EXIFGPSLongitudeSeconds = G.RationalAt(4, 2, 0);
    P.EXIFGPSAltitudeRef = G.Has(5) ? std::to_string(G.Int(5, 0)) : std::string();
    P.EXIFGPSAltitude = G.Rational(6, 0);
    P.EXIFGPSTimeStampHour = G.RationalAt(7, 0, 0);
    P.EXIFGPSTimeStampMinute = G.RationalAt(7, 1, 0);
    P.EXIFGPSTimeStampSecond = G.RationalAt(7, 2, 0);
    P.EXIFGPSSatellites = G.Ascii(8);
    P.EXIFGPSStatus = G.Ascii(9);
    P.EXIFGPSMeasureMode = G.Ascii(10);
    P.EXIFGPSDOP = G.Rational(11, 0);
    P.EXIFGPSSpeedRef = G.Ascii(12);
    P.EXIFGPSSpeed = G.Rational(13, 0);
    P.EXIFGPSTrackRef = G.Ascii(14);
    P.EXIFGPSTrack = G.Rational(15, 0);
    P.EXIFGPSImgDirectionRef = G.Ascii(16);
    P.EXIFGPSImgDirection = G.Rational(17, 0);
    P.EXIFGPSMapDatum = G.Ascii(18);
    P.EXIFGPSDestLatitudeRef = G.Ascii(19);
    P.EXIFGPSDestLatitudeDegrees = G.RationalAt(20, 0, 0);
    P.EXIFGPSDestLatitudeMinutes = G.RationalAt(20, 1, 0);
    P.EXIFGPSDestLatitudeSeconds = G.RationalAt(20, 2, 0);
    P.EXIFGPSDestLongitudeRef = G.Ascii(21);
    P.EXIFGPSDestLongitudeDegrees = G.RationalAt(22, 0, 0);
    P.EXIFGPSDestLongitudeMinutes = G.RationalAt(22, 1, 0);
    P.EXIFGPSDestLongitudeSeconds = G.RationalAt(22, 2, 0);
    P.EXIFGPSDestBearingRef = G.Ascii(23);
    P.EXIFGPSDestBearing = G.Rational(24, 0);
    P.EXIFGPSDestDistanceRef = G.Ascii(25);
    P.EXIFGPSDestDistance = G.Rational(26, 0);
    P.EXIFGPSDateStamp = G.Ascii(29);
}

// The 4 inline bytes of a version tag as text.
std::string InlineText(const TIFDView& V, uint16_t Tag) {
    const TEntry* e = V.Find(Tag);
    if (!e) return std::string();
    std::string s(reinterpret_cast<const char*>(e->Raw), 4);
    const size_t nul = s.find('\0');
    if (nul != std::string::npos) s.resize(nul);
    return s;
}

void ReadEXIF(const TIFDView& E, TIOParamsVals& P, bool LittleEndian) {
    P.SetEXIFExposureTime(E.Rational(33434, -1));
    P.SetEXIFFNumber(E.Rational(33437, -1));
    P.SetEXIFExposureProgram((int32_t)E.Int(34850, -1));
    P.SetEXIFISOSpeedRatings(0, (int32_t)E.IntAt(34855, 0, 0));
    P.SetEXIFISOSpeedRatings(1, (int32_t)E.IntAt(34855, 1, 0));
    P.EXIFExifVersion = InlineText(E, 36864);
    P.EXIFDateTimeOriginal = E.Ascii(36867);
    P.EXIFDateTimeDigitized = E.Ascii(36868);
    P.SetEXIFCompressedBitsPerPixel(E.Rational(37122, 0));
    P.SetEXIFShutterSpeedValue(E.Rational(37377, -1));
    P.SetEXIFApertureValue(E.Rational(37378, -1));
    P.SetEXIFBrightnessValue(E.Rational(37379, -1000));
    P.SetEXIFExposureBiasValue(E.Rational(37380, -1000));
    P.SetEXIFMaxApertureValue(E.Rational(37381, -1000));
    P.SetEXIFSubjectDistance(E.Rational(37382, -1));
    P.SetEXIFMeteringMode((int32_t)E.Int(37383, -1));
    P.SetEXIFLightSource((int32_t)E.Int(37384, -1));
    P.SetEXIFFlash((int32_t)E.Int(37385, -1));
    P.SetEXIFFocalLength(E.Rational(37386, -1));
    P.EXIFSubsecTime = E.Ascii(37520);
    P.EXIFSubsecTimeOriginal = E.Ascii(37521);
    P.EXIFSubsecTimeDigitized = E.Ascii(37522);
    P.EXIFFlashPixVersion = InlineText(E, 40960);
    P.SetEXIFColorSpace((int32_t)E.Int(40961, -1));
    P.SetEXIFExifImageWidth((int32_t)E.Int(40962, 0));
    P.SetEXIFExifImageHeight((int32_t)E.Int(40963, 0));
    P.EXIFRelatedSoundFile = E.Ascii(40964);
    P.SetEXIFFocalPlaneXResolution(E.Rational(41486, -1));
    P.SetEXIFFocalPlaneYResolution(E.Rational(41487, -1));
    P.SetEXIFFocalPlaneResolutionUnit((int32_t)E.Int(41488, -1));
    P.SetEXIFExposureIndex(E.Rational(41493, -1));
    P.SetEXIFSensingMethod((int32_t)E.Int(41495, -1));
    P.SetEXIFFileSource((int32_t)E.Int(41728, -1));
    P.SetEXIFSceneType((int32_t)E.Int(41729, -1));
    P.EXIFExposureMode = (int32_t)E.Int(41986, -1);
    P.EXIFWhiteBalance = (int32_t)E.Int(41987, -1);
    P.EXIFDigitalZoomRatio = E.Rational(41988, -1);
    P.EXIFFocalLengthIn35mmFilm = (int32_t)E.Int(41989, -1);
    P.EXIFSceneCaptureType = (int32_t)E.Int(41990, -1);
    P.EXIFGainControl = (int32_t)E.Int(41991, -1);
    P.EXIFContrast = (int32_t)E.Int(41992, -1);
    P.EXIFSaturation = (int32_t)E.Int(41993, -1);
    P.EXIFSharpness = (int32_t)E.Int(41994, -1);
    P.EXIFSubjectDistanceRange = (int32_t)E.Int(41996, -1);
    P.EXIFImageUniqueID = E.Ascii(42016);

    // UserComment: an 8-byte character code, then the text (UTF-16 after "UNICODE\0").
    P.EXIFUserComment.clear();
    P.EXIFUserCommentCode.clear();
    if (const TEntry* uc = E.Find(kTagUserComment)) {
        const std::vector<uint8_t> v = E.Raw(kTagUserComment);
        static const char kUnicode[8] = {'U', 'N', 'I', 'C', 'O', 'D', 'E', '\0'};
        if (uc->Count <= 8) {
            P.EXIFUserCommentCode.assign(kUnicode, 8);
        } else if (v.size() > 8) {
            P.EXIFUserCommentCode.assign(v.begin(), v.begin() + 8);
            if (std::memcmp(v.data(), kUnicode, 8) == 0) {
                const size_t chars = (v.size() - 8 + 1) / 2;
                for (size_t i = 0; i < chars; ++i) {
                    const uint8_t lo = v[8 + 2 * i];
                    const uint8_t hi = 8 + 2 * i + 1 < v.size() ? v[8 + 2 * i + 1] : 0;
                    // The text follows the file's byte order.
                    P.EXIFUserComment += (wchar_t)(LittleEndian ? (hi << 8 | lo) : (lo << 8 | hi));
                }
            } else {
                P.EXIFUserComment = AnsiToWide(std::string(v.begin() + 8, v.end()));
            }
        }
    }

    // MakerNote: read by the tags handler in the file's byte order.
    P.EXIFMakerNote->Clear();
    if (const TEntry* mn = E.Find(kTagMakerNote)) {
        const int64_t size = int64_t(mn->Count);
        const int64_t pos = E.FBase + (size <= 4 ? 0 : E.D(mn->Raw));
        if (size > 4 && size <= INT32_MAX && pos >= 0 && pos < E.S->GetSize() && size <= E.S->GetSize() - pos) {
            E.S->SetPosition(pos);
            try {
                P.EXIFMakerNote->LoadFromStream(E.S, (int32_t)size, LittleEndian);
            } catch (...) {
                P.EXIFMakerNote->Clear();
            }
        }
    }
}

}  // namespace

void IEReadTIFFStream(TIEBitmap* Bitmap, TStream* Stream, int32_t& ImageCount, TIOParamsVals& Params,
                      TIOProgressRecord& Progress, bool ParamsOnly, TIEMask*& AlphaMask, bool HeaderAtPosition,
                      bool IgnoreAlpha, bool Thumbnail, bool IsEXIFBlock) {
    const int64_t headerPos = Stream->GetPosition();
    const int64_t base = HeaderAtPosition ? headerPos : 0;
    bool le = true;
    uint32_t firstIFD = 0;
    if (!ReadHeader(Stream, headerPos, le, firstIFD)) {
        IEAbort(Progress);
        return;
    }
    if (firstIFD == 0) return;

    TIFDView page(Stream, le, base);
    bool found = false;
    ImageCount = WalkChain(page, firstIFD, Params.TIFFImageIndex, found);
    if (!found) return;

    if (Params.TIFFSubIndex >= 0) {
        const int64_t sub = page.IntAt(kTagSubIFDs, (uint32_t)Params.TIFFSubIndex, 0);
        if (sub != 0) {
            TIFDView subView(Stream, le, base);
            if (subView.LoadAt((uint32_t)sub)) page.Entries.swap(subView.Entries);
        }
    }

    // Offsets inside a TIFF structure are relative to its header: the EXIF and GPS IFDs share the
    // page's base.
    TIFDView exif(Stream, le, base);
    if (page.Has(kTagEXIFIFD)) {
        exif.LoadAt((uint32_t)page.Int(kTagEXIFIFD, 0));
        Params.HasEXIFData = true;
    } else if (IsEXIFBlock) {
        exif.Entries = page.Entries;
    }
    TIFDView gps(Stream, le, base);
    if (page.Has(kTagGPSIFD)) gps.LoadAt((uint32_t)page.Int(kTagGPSIFD, 0));

    // BitsPerSample: every value must be the same. Values past SamplesPerPixel are not looked at
    // (some writers give more).
    const std::vector<uint32_t> bpsAll = page.IntArray(kTagBitsPerSample);
    const size_t bpsUsed = (size_t)std::max<int64_t>(1, page.Int(kTagSamplesPerPixel, 1));
    for (size_t i = 0; i < bpsAll.size() && i < bpsUsed; ++i)
        if (bpsAll[i] != bpsAll[0]) {
            IEAbort(Progress);
            return;
        }

    TTIFFVars v;
    v.Stream = Stream;
    v.Base = base;
    v.LittleEndian = le;
    v.Params = &Params;
    const bool oneTile = Params.TIFFGetTile >= 0 && (page.Has(kTagTileWidth) || page.Has(kTagTileLength));
    v.ImageWidth = (int32_t)page.Int(oneTile ? kTagTileWidth : kTagImageWidth, 0);
    v.ImageLength = (int32_t)page.Int(oneTile ? kTagTileLength : kTagImageLength, 0);
    v.SamplesPerPixel = (int32_t)page.Int(kTagSamplesPerPixel, 1);
    v.SampleFormat = (int32_t)page.IntAt(kTagSampleFormat, 0, 1);
    v.BitsPerSample = bpsAll.empty() ? (int32_t)page.Int(kTagBitsPerSample, 1) : (int32_t)bpsAll[0];
    {
        int64_t rps = page.Int(kTagRowsPerStrip, v.ImageLength);
        if (rps <= 0 || rps > v.ImageLength) rps = v.ImageLength;
        v.RowsPerStrip = (int32_t)rps;
    }
    v.TileWidth = (int32_t)page.Int(kTagTileWidth, -1);
    v.TileLength = (int32_t)page.Int(kTagTileLength, -1);
    v.Photometric = (int32_t)page.Int(kTagPhotometric, 2);
    v.PlanarConfig = (int32_t)page.Int(kTagPlanarConfig, 1);
    v.Orientation = (int32_t)page.Int(kTagOrientation, 1);
    v.Compression = (int32_t)page.Int(kTagCompression, 1);
    v.StripOffsets = page.IntArray(kTagStripOffsets);
    v.StripByteCounts = page.IntArray(kTagStripByteCounts);
    v.TileOffsets = page.IntArray(kTagTileOffsets);
    v.TileByteCounts = page.IntArray(kTagTileByteCounts);
    v.ResolutionUnit = (int32_t)page.Int(kTagResolutionUnit, 2);
    v.XResolution = page.Rational(kTagXResolution, IEDefaultDPIX);
    v.YResolution = page.Rational(kTagYResolution, IEDefaultDPIY);
    v.Predictor = (int32_t)page.Int(kTagPredictor, 1);
    v.JPEGTables = page.Raw(kTagJPEGTables);
    v.T4Options = (int32_t)page.Int(kTagT4Options, 0);
    v.T6Options = (int32_t)page.Int(kTagT6Options, 0);
    v.FillOrder = (int32_t)page.Int(kTagFillOrder, 1);
    if (v.FillOrder != 1 && v.FillOrder != 2) v.FillOrder = 1;
    v.XPosition = page.Rational(kTagXPosition, 0);
    v.YPosition = page.Rational(kTagYPosition, 0);
    v.Software = page.Ascii(kTagSoftware);
    v.YCbCrSubSampling[0] = (int32_t)page.IntAt(kTagYCbCrSubSampling, 0, 2);
    v.YCbCrSubSampling[1] = (int32_t)page.IntAt(kTagYCbCrSubSampling, 1, 2);
    for (int32_t& s : v.YCbCrSubSampling)
        if (s == 0) s = 2;
    v.JPEGProc = (int32_t)page.Int(kTagJPEGProc, 0);
    v.JPEGInterchangeFormat = (int32_t)page.Int(kTagJPEGInterchangeFormat, 0);
    v.JPEGInterchangeFormatLength = (int32_t)page.Int(kTagJPEGInterchangeFormatLength, 0);
    v.JPEGRestartInterval = (int32_t)page.Int(kTagJPEGRestartInterval, 0);
    if (page.Has(kTagExtraSamples)) {
        v.ExtraSamples = (int32_t)page.IntAt(kTagExtraSamples, 0, 0);
        v.ExtraSamplesCount = (int32_t)std::min<uint32_t>(page.Find(kTagExtraSamples)->Count, 10);
        for (int32_t i = 0; i < v.ExtraSamplesCount; ++i)
            v.ExtraSamplesValues[i] = (int32_t)page.IntAt(kTagExtraSamples, (uint32_t)i, 0);
    }
    // Bilevel pages that call themselves RGB.
    if (v.SamplesPerPixel == 1 && v.BitsPerSample == 1 && v.Compression >= 1 && v.Compression <= 4 &&
        v.Photometric == 2)
        v.Photometric = 0;

    // The colour map: all reds, all greens, all blues; 16-bit values scaled down when any needs it.
    if (v.BitsPerSample >= 1 && v.BitsPerSample <= 16) {
        const std::vector<uint32_t> map = page.IntArray(kTagColorMap);
        const size_t n = size_t(1) << v.BitsPerSample;
        if (map.size() >= 3 * n) {
            uint32_t maxValue = 0;
            for (size_t i = 0; i < 3 * n; ++i) maxValue = std::max(maxValue, map[i]);
            const int shift = maxValue >= 256 ? 8 : 0;
            v.ColorMap.resize(n);
            for (size_t i = 0; i < n; ++i)
                v.ColorMap[i] = TIERGB{(uint8_t)(map[2 * n + i] >> shift), (uint8_t)(map[n + i] >> shift),
                                       (uint8_t)(map[i] >> shift)};
        }
    }

    // Parameters.
    TIOParamsVals& P = Params;
    P.BitsPerSample = v.BitsPerSample;
    P.SamplesPerPixel = v.SamplesPerPixel;
    P.Width = v.ImageWidth;
    P.Height = v.ImageLength;
    P.OriginalWidth = v.ImageWidth;
    P.OriginalHeight = v.ImageLength;
    P.TIFFLittleEndian = le;
    P.SetImageCount(ImageCount);
    P.SetTIFFOrientation(v.Orientation);
    switch (v.Compression) {
    case 1: P.TIFFCompression = 0; break;
    case 2: P.TIFFCompression = 1; break;
    case 3: P.TIFFCompression = (v.T4Options & 1) ? 3 : 2; break;
    case 4: P.TIFFCompression = 4; break;
    case 5: P.TIFFCompression = 5; break;
    case 6: P.TIFFCompression = 6; break;
    case 7: P.TIFFCompression = 7; break;
    case 32773: P.TIFFCompression = 8; break;
    case 32946: P.TIFFCompression = 9; break;
    case 8: P.TIFFCompression = 10; break;
    default: P.TIFFCompression = 11; break;
    }
    if (v.Photometric >= 0 && v.Photometric <= 6)
        P.TIFFPhotometric = (uint8_t)v.Photometric;
    else if (v.Photometric == 8)
        P.TIFFPhotometric = 7;
    const double unitFactor = v.ResolutionUnit == 3 ? 2.54 : 1.0;
    P.TIFFPlanarConfig = v.PlanarConfig;
    P.TIFFDocumentName = page.Ascii(kTagDocumentName);
    P.TIFFImageDescription = page.Ascii(kTagImageDescription);
    P.TIFFPageName = page.Ascii(kTagPageName);
    P.TIFFPageNumber = (int32_t)page.IntAt(kTagPageNumber, 0, 0);
    P.TIFFPageCount = (int32_t)page.IntAt(kTagPageNumber, 1, 0);
    P.TIFFFillOrder = v.FillOrder;
    // Positions are rationals of the file like the resolutions: beyond the integer range they saturate.
    P.TIFFXPos = Checked::TruncSaturate<int32_t>(v.XPosition * unitFactor);
    P.TIFFYPos = Checked::TruncSaturate<int32_t>(v.YPosition * unitFactor);

    P.EXIFImageDescription = P.TIFFImageDescription;
    P.EXIFMake = page.Ascii(kTagMake);
    P.EXIFModel = page.Ascii(kTagModel);
    P.EXIFDateTime = page.Ascii(kTagDateTime);
    P.EXIFXResolution = v.XResolution;
    P.EXIFYResolution = v.YResolution;
    P.EXIFResolutionUnit = v.ResolutionUnit;
    P.EXIFSoftware = v.Software;
    P.EXIFXPRating = (int32_t)page.Int(kTagRating, -1);
    P.EXIFXPTitle = page.Wide(40091);
    P.EXIFXPComment = page.Wide(40092);
    P.EXIFXPAuthor = page.Wide(40093);
    P.EXIFXPKeywords = page.Wide(40094);
    P.EXIFXPSubject = page.Wide(40095);
    P.EXIFArtist = page.Ascii(kTagArtist);
    for (uint32_t i = 0; i < 2; ++i) P.SetEXIFWhitePoint((int32_t)i, page.RationalAt(kTagWhitePoint, i, -1));
    P.EXIFYCbCrPositioning = (int32_t)page.Int(kTagYCbCrPositioning, -1);
    for (uint32_t i = 0; i < 6; ++i)
        P.SetEXIFPrimaryChromaticities((int32_t)i, page.RationalAt(kTagPrimaryChromaticities, i, -1));
    for (uint32_t i = 0; i < 3; ++i) P.SetEXIFYCbCrCoefficients((int32_t)i, page.RationalAt(kTagYCbCrCoefficients, i, -1));
    for (uint32_t i = 0; i < 6; ++i) P.EXIFReferenceBlackWhite[i] = page.RationalAt(kTagReferenceBlackWhite, i, -1);
    P.EXIFRightsNotice = page.Ascii(kTagCopyright);

    if (exif.Loaded()) ReadEXIF(exif, P, le);
    if (gps.Loaded()) ReadGPS(gps, P);

    // IPTC, XMP, annotations, ICC profile.
    if (page.Has(kTagIPTC)) {
        const std::vector<uint8_t> iptc = page.Raw(kTagIPTC);
        P.IPTCInfo->Clear();
        if (!iptc.empty()) P.IPTCInfo->LoadFromBuffer(iptc.data(), (int32_t)iptc.size());
    } else {
        P.IPTCInfo->Clear();
    }
    P.XMPInfo.clear();
    if (const TEntry* x = page.Find(kTagXMP))
        if (x->Type == kBYTE || x->Type == kUNDEFINED) {
            const std::vector<uint8_t> xmp = page.Raw(kTagXMP);
            P.XMPInfo.assign(xmp.begin(), xmp.end());
        }
    if (page.Has(kTagWangAnnotation)) {
        const std::vector<uint8_t> annot = page.Raw(kTagWangAnnotation);
        try {
            if (!annot.empty()) P.GetImagingAnnot()->LoadFromBuffer(annot.data(), (int32_t)annot.size());
        } catch (...) {
            P.GetImagingAnnot()->Clear();
        }
    }
    if (page.Has(kTagICC)) {
        const std::vector<uint8_t> icc = page.Raw(kTagICC);
        if (!icc.empty()) P.GetInputICCProfile()->LoadFromBuffer(icc.data(), (int32_t)icc.size());
    }

    if (v.ColorMap.empty()) {
        // A page without a map keeps no palette of an earlier load.
        if (v.Photometric == 3) P.FreeColorMap();
    } else {
        P.FreeColorMap();
        P.ColorMap.reset(new TIERGB[v.ColorMap.size()]);
        std::copy(v.ColorMap.begin(), v.ColorMap.end(), P.ColorMap.get());
        P.ColorMapCount = (int32_t)v.ColorMap.size();
    }

    // The DPI setters keep the EXIF resolutions in step (as whole numbers): they go first.
    // A resolution is any rational of the file: one beyond the integer range saturates.
    P.SetDpiX(Checked::TruncSaturate<int32_t>(v.XResolution * unitFactor));
    P.SetDpiY(Checked::TruncSaturate<int32_t>(v.YResolution * unitFactor));
    P.SetEXIFXResolution(v.XResolution * unitFactor);
    P.SetEXIFYResolution(v.YResolution * unitFactor);

    if ((v.ImageWidth <= 0 || v.ImageLength <= 0) && !Thumbnail) {
        IEAbort(Progress);
        return;
    }
    v.LZWDecompress = P.TIFFLZWDecompress ? P.TIFFLZWDecompress : IETIFFLZWDecompressor;
    if (v.Compression == 5 && !v.LZWDecompress) {
        IEAbort(Progress);
        return;
    }
    if (ParamsOnly) return;
    if (!IEImageSizeAccepted(v.ImageWidth, v.ImageLength, Progress)) return;

    // Alpha mask.
    if (!IgnoreAlpha) {
        const int32_t spp = v.SamplesPerPixel;
        const bool wanted = (spp == 4 && v.ExtraSamples == 2) || (spp >= 4 && v.ExtraSamplesCount > 0) ||
                            (spp == 2 && (v.BitsPerSample <= 8 || IETIFFDeepSamples(v))) ||
                            (spp >= 2 && v.ExtraSamplesCount > 0 && v.ExtraSamples == 1) ||
                            (spp == 4 && v.Photometric == 2);
        if (wanted && !AlphaMask) AlphaMask = new TIEMask();
        if (AlphaMask && v.ImageWidth > 0 && v.ImageLength > 0) {
            AlphaMask->Allocate(v.ImageWidth, v.ImageLength, 8);
            AlphaMask->Fill(255);
            v.AlphaMask = AlphaMask;
        }
    }

    const TIEDataAccess access = Bitmap->Access;
    Bitmap->Access = iedWrite;
    struct TRestore {
        TIEBitmap* B;
        TIEDataAccess A;
        ~TRestore() { B->Access = A; }
    } restore{Bitmap, access};

    if (Thumbnail && (v.ImageWidth > 400 || v.ImageLength > 400)) {
        IEAbort(Progress);
        return;
    }
    try {
        if ((v.Compression == 6 || (v.JPEGInterchangeFormat != 0 && v.Compression != 5)) && v.JPEGProc < 2) {
            IETIFFReadOldJPEG(v, Bitmap, Progress);
            return;
        }
        if (v.ImageWidth <= 0 || v.ImageLength <= 0 || int64_t(v.ImageWidth) * v.ImageLength > kIETIFFMaxPixels) {
            IEAbort(Progress);
            return;
        }
        const int32_t bps = v.BitsPerSample, spp = v.SamplesPerPixel, ph = v.Photometric;
        const bool native = P.NativePixelFormat;
        TIEPixelFormat pf = ie24RGB;
        if (bps == 1 && spp == 1 && ph != 3)
            pf = ie1g;
        else if (bps == 8 && spp == 1 && ph == 3)
            pf = native ? ie8p : ie24RGB;
        else if (bps == 8 && spp == 1 && (ph == 0 || ph == 1))
            pf = native ? ie8g : ie24RGB;
        else if ((bps == 16 || bps == 12) && spp == 1 && (ph == 0 || ph == 1))
            pf = native ? ie16g : ie24RGB;
        else if (bps == 8 && spp > 3 && ph == 5)
            pf = native ? ieCMYK : ie24RGB;
        else if (bps == 16 && spp == 4 && ph == 5)
            pf = native ? ieCMYK : ie24RGB;
        else if (bps == 16 && spp == 3 && ph == 2)
            pf = native ? ieRGB48 : ie24RGB;
        else if (IETIFFDeepSamples(v) && spp <= 2 && (ph == 0 || ph == 1))
            pf = !native ? ie24RGB : v.SampleFormat == 3 ? ie32f : ie16g;
        else if (IETIFFDeepSamples(v) && ph == 2)
            pf = native ? ieRGB48 : ie24RGB;
        if (!Bitmap->Allocate(v.ImageWidth, v.ImageLength, pf)) {
            IEAbort(Progress);
            return;
        }
        if (pf == ie8p)
            for (int32_t i = 0; i < 256; ++i)
                Bitmap->SetPaletteEntry(i, i < (int32_t)v.ColorMap.size() ? v.ColorMap[(size_t)i] : TIERGB{0, 0, 0});
        // Rows that damaged or short data never reach are black, not what the memory held before.
        Bitmap->Fill(0);

        if (v.TileWidth > 0 || v.TileLength > 0) {
            if (v.TileWidth > kMaxTileSide || v.TileLength > kMaxTileSide) {
                IEAbort(Progress);
                return;
            }
            if (v.TileOffsets.empty()) {
                v.TileOffsets = v.StripOffsets;
                v.TileByteCounts = v.StripByteCounts;
            }
            IETIFFReadTiles(v, Bitmap, Progress);
        } else if (v.StripOffsets.empty()) {
            IEAbort(Progress);
            return;
        } else {
            IETIFFReadStrips(v, Bitmap, Progress);
        }
    } catch (...) {
        // Out of memory for a piece, or a stream that failed: the page ends here.
        IEAbort(Progress);
    }
    if (P.TIFFEnableAdjustOrientation && v.Orientation != 1) {
        IEApplyOrientation(Bitmap, v.Orientation);
        P.SetTIFFOrientation(1);
    }
}

namespace {

// Runs Probe on the TIFF structure whose header stands at the stream's position and puts the
// position back, also when the stream raises.
template <typename P>
bool ProbeTIFFAt(TStream* Stream, P Probe) {
    const int64_t start = Stream->GetPosition();
    bool found = false;
    try {
        found = Probe(start);
    } catch (...) {
        Stream->SetPosition(start);
        throw;
    }
    Stream->SetPosition(start);
    return found;
}

// The entries of the first IFD of the structure at Start (offsets from Start) into View; false
// for an unknown byte order, a first IFD outside the stream or one without entries.
bool LoadFirstIFD(TStream* Stream, int64_t Start, std::unique_ptr<TIFDView>& View) {
    bool le = true;
    uint32_t first = 0;
    if (!ReadHeader(Stream, Start, le, first)) return false;
    View = std::make_unique<TIFDView>(Stream, le, Start);
    return View->LoadAt(first);
}

bool IsTIFF(TStream* Stream, bool RefuseBA) {
    return ProbeTIFFAt(Stream, [&](int64_t Start) {
        bool le = true;
        uint32_t first = 0;
        if (Stream->GetSize() - Start <= 8 || !ReadHeader(Stream, Start, le, first)) return false;
        if (Start + int64_t(first) >= Stream->GetSize()) return false;
        if (!le && RefuseBA) {
            uint8_t b = 0;
            Stream->SetPosition(Start + 8);
            if (Stream->Read(&b, 1) == 1 && b == 0xBA) return false;
        }
        TIFDView view(Stream, le, Start);
        return view.LoadAt(first) && view.Has(kTagImageWidth) && view.Has(kTagImageLength);
    });
}

}  // namespace

bool IEIsTIFF(TStream* Stream) { return IsTIFF(Stream, true); }

bool IEIsTIFFStructure(TStream* Stream) { return IsTIFF(Stream, false); }

bool IEIsCameraRAWTIFF(TStream* Stream) {
    return ProbeTIFFAt(Stream, [&](int64_t Start) {
        uint8_t h[11] = {};
        Stream->SetPosition(Start);
        if (Stream->Read(h, 11) == 11 && std::memcmp(h, "II*\0", 4) == 0 && std::memcmp(h + 8, "CR\x02", 3) == 0)
            return true;
        std::unique_ptr<TIFDView> view;
        if (!LoadFirstIFD(Stream, Start, view)) return false;
        const TEntry* dng = view->Find(50706);
        if (dng && dng->Type == kBYTE && dng->Count == 4) return true;
        const TEntry* photometric = view->Find(kTagPhotometric);
        if (photometric && photometric->Type == kSHORT && photometric->Count == 1) {
            const uint16_t v = view->W(photometric->Raw);
            if (v == 32803 || v == 34892) return true;   // CFA, LinearRaw
        }
        auto small = [&](uint16_t Tag) {
            const int64_t v = view->Int(Tag, 0);
            return v >= 0 && v < 200;
        };
        return view->Has(kTagSubIFDs) && view->Has(37398) && small(kTagImageWidth) && small(kTagImageLength);
    });
}

bool IEIsHDPhoto(TStream* Stream) {
    return ProbeTIFFAt(Stream, [&](int64_t Start) {
        std::unique_ptr<TIFDView> view;
        if (Stream->GetSize() - Start <= 8 || !LoadFirstIFD(Stream, Start, view) || !view->LE) return false;
        for (uint16_t tag : {48256, 48257, 48129, 48320, 48321})
            if (!view->Has(tag)) return false;
        return true;
    });
}
