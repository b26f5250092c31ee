#include "ieraw.h"

#include <libraw/libraw.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include "ByteOrder.h"
#include "CheckedMath.h"
#include "codecs_common.h"
#include "iebitmap.h"
#include "iecoredefs_types.h"
#include "iecoreutils_exif_tiff.h"
#include "iecoreutils_streams.h"
#include "iecoreutils_tiffhandler.h"
#include "imaging/codecs/jpegfilt.h"
#include "imaging/codecs/tiffilt_read.h"
#include "ieprochooks.h"
#include "iecoredefs_settings.h"

namespace {

// LibRaw never gets more memory than this for one file: a raw file of a real camera needs well
// below it, and the 32-bit product must keep room for the bitmap the decode becomes.
constexpr unsigned kMaxRawMemoryMB = 768;

// ---- The stream binding: LibRaw's data stream over a TStream ----
// Positions LibRaw asks for count from Base, where the stream stood when the codec began. Reading
// errors of the stream become short reads: LibRaw reports those as a damaged file.
//
// Identification is given a budget: some of LibRaw's parsers loop for a very long time over a
// small damaged file (counts taken from the file, reads past its end). Reads and seeks cost one
// each, and a read one more per 4 KB; past kRawBudgetPerByte per byte of the stream (and a fixed
// allowance) every call raises LibRaw's damaged-file exception, which ends the identification as
// "not a camera raw file". A real file is identified far within it.
constexpr int64_t kRawBudgetPerByte = 8;
constexpr int64_t kRawBudgetBase = 1 << 18;

class TRawStream : public LibRaw_abstract_datastream {
public:
    TRawStream(TStream* Stream, int64_t Base) : FStream(Stream), FBase(Base) {
        FSize = Stream->GetSize() - Base;
        if (FSize < 0) FSize = 0;
        FPos = 0;
    }
    // Starts the budget of a new identification (Limit calls), or lifts it (a negative Limit).
    void SetBudget(int64_t Limit) { FBudget = Limit; }
    // The budget of identifying this stream.
    int64_t IdentifyBudget() const { return kRawBudgetBase + kRawBudgetPerByte * FSize; }
    int valid() override { return 1; }
    int read(void* Ptr, size_t Size, size_t Count) override {
        Spend(1 + (int64_t)std::min<uint64_t>((uint64_t)Size * Count, (uint64_t)FSize) / 4096);
        if (Size == 0 || Count == 0) return 0;
        const int64_t want64 = (int64_t)std::min<uint64_t>((uint64_t)Size * Count, (uint64_t)(FSize - FPos));
        const int32_t want = (int32_t)std::min<int64_t>(want64, 0x7FFFFFFF);
        int32_t got = 0;
        if (want > 0) {
            try {
                FStream->SetPosition(FBase + FPos);
                got = FStream->Read(Ptr, want);
            } catch (...) {
                got = 0;
            }
            if (got < 0) got = 0;
        }
        FPos += got;
        return (int)(got / (int64_t)Size);
    }
    int seek(INT64 Offset, int Whence) override {
        Spend(1);
        int64_t target;
        switch (Whence) {
        case SEEK_SET: target = Offset; break;
        case SEEK_CUR: target = FPos + Offset; break;
        case SEEK_END: target = FSize + Offset; break;
        default: return -1;
        }
        if (target < 0) target = 0;
        if (target > FSize) target = FSize;
        FPos = target;
        return 0;
    }
    INT64 tell() override { return FPos; }
    INT64 size() override { return FSize; }
    int get_char() override {
        uint8_t c;
        return read(&c, 1, 1) == 1 ? c : -1;
    }
    // As fgets: up to Size - 1 characters, ending after a line feed; null when nothing was read.
    char* gets(char* Buffer, int Size) override {
        if (Size <= 0) return nullptr;
        int n = 0;
        while (n < Size - 1) {
            const int c = get_char();
            if (c < 0) break;
            Buffer[n++] = (char)c;
            if (c == '\n') break;
        }
        Buffer[n] = 0;
        return n ? Buffer : nullptr;
    }
    // As fscanf with one "%d" or "%f" conversion: blanks skipped, then one number.
    int scanf_one(const char* Format, void* Value) override {
        int c;
        do c = get_char();
        while (c == ' ' || c == '\t' || c == '\r' || c == '\n');
        if (c < 0) return -1;
        char text[32];
        int n = 0;
        while (c >= 0 && c != ' ' && c != '\t' && c != '\r' && c != '\n' && n < 31) {
            text[n++] = (char)c;
            c = get_char();
        }
        text[n] = 0;
        char* end = nullptr;
        if (std::strcmp(Format, "%d") == 0) {
            const long v = std::strtol(text, &end, 10);
            if (end == text) return 0;
            *static_cast<int*>(Value) = (int)v;
        } else if (std::strcmp(Format, "%f") == 0) {
            const float v = std::strtof(text, &end);
            if (end == text) return 0;
            *static_cast<float*>(Value) = v;
        } else {
            return 0;
        }
        return 1;
    }
    int eof() override {
        Spend(1);
        return FPos >= FSize;
    }
    void* make_jas_stream() override { return nullptr; }

private:
    void Spend(int64_t Cost) {
        if (FBudget < 0) return;
        FBudget = std::max<int64_t>(FBudget - Cost, 0);
        if (FBudget == 0) throw LIBRAW_EXCEPTION_IO_CORRUPT;
    }
    TStream* FStream;
    int64_t FBase;
    int64_t FSize;
    int64_t FPos;
    int64_t FBudget = -1;
};

int CancelWhenAborting(void* Data, enum LibRaw_progress, int, int) {
    return IEIsAborting(*static_cast<TIOProgressRecord*>(Data)) ? 1 : 0;
}

void Report(TIOProgressRecord& Progress, int32_t Percent) {
    if (Progress.OnProgress) Progress.OnProgress(Progress.Sender, Percent);
}

// A decoder with the options every use shares: no messages from LibRaw itself, a memory bound,
// the Fuji 45-degree sensors turned upright and non-square pixels stretched by LibRaw.
void IgnoreDataError(void*, const char*, const int) {}

std::unique_ptr<LibRaw> NewDecoder() {
    auto raw = std::make_unique<LibRaw>(LIBRAW_OPTIONS_NONE);
    raw->set_dataerror_handler(IgnoreDataError, nullptr);   // damage shows in the result instead
    raw->imgdata.params.max_raw_memory_mb = kMaxRawMemoryMB;
    raw->imgdata.params.use_fuji_rotate = 1;
    return raw;
}

std::string FixedText(const char* Text, size_t Max) {
    return std::string(Text, strnlen(Text, Max));
}

// ---- Canon CIFF: the heap records of the file's preview JPEGs and camera texts ----
class TCIFFReader {
public:
    TCIFFReader(TStream* Stream, int64_t Base, TIOParamsVals& Params) : S(Stream), FBase(Base), P(Params) {
        FSize = Stream->GetSize() - Base;
    }

    void Run() {
        uint8_t head[14];
        if (!ReadAt(0, head, sizeof head)) return;
        const bool ii = head[0] == 'I' && head[1] == 'I', mm = head[0] == 'M' && head[1] == 'M';
        if (!ii && !mm && std::memcmp(head + 6, "HEAPCCDR", 8) != 0) return;
        Big = mm;
        const uint32_t headerLength = Big ? ByteOrder::GetBE32(head + 2) : ByteOrder::GetLE32(head + 2);
        if (headerLength >= (uint64_t)FSize) return;
        ParseHeap(headerLength, FSize - headerLength, 0);
        if (BestPos >= 0) LoadThumbnail();
        if (!Arrays.empty()) WriteMakerNote();
    }

private:
    // Records of the heap at Start (Length bytes); sub-heaps nest at most 8 deep.
    void ParseHeap(int64_t Start, int64_t Length, int Depth) {
        if (Depth > 8 || Length < 4) return;
        uint8_t b[4];
        if (!ReadAt(Start + Length - 4, b, 4)) return;
        const int64_t table = Start + Get32(b);
        uint8_t c[2];
        if (!ReadAt(table, c, 2)) return;
        const uint32_t count = std::min<uint32_t>(Get16(c), 256);
        for (uint32_t i = 0; i < count; ++i) {
            const int64_t recordPos = table + 2 + int64_t(i) * 10;
            uint8_t r[10];
            if (!ReadAt(recordPos, r, 10)) return;
            const uint16_t tag = Get16(r);
            const bool inRecord = (tag >> 14) == 1;
            const int64_t pos = inRecord ? recordPos + 2 : Start + Get32(r + 6);
            int64_t size = inRecord ? 8 : Get32(r + 2);
            if (pos > FSize) return;
            size = std::min<int64_t>(size, FSize - pos);
            switch (tag & 0x3FFF) {
            case 0x0805: P.EXIFImageDescription = Text(pos, size, 0); break;
            case 0x080A:
                P.EXIFMake = Text(pos, size, 0);
                P.EXIFModel = Text(pos, size, 1);
                break;
            case 0x080B: P.EXIFSoftware = Text(pos, size, 0); break;
            case 0x1810: {
                uint8_t d[8];
                if (size >= 8 && ReadAt(pos, d, 8)) {
                    P.SetEXIFExifImageWidth((int32_t)Get32(d));
                    P.SetEXIFExifImageHeight((int32_t)Get32(d + 4));
                }
                break;
            }
            case 0x2007:
            case 0x2008: ConsiderJPEG(pos, size); break;
            case 0x102A: KeepArray(4, pos, size); break;
            case 0x102D: KeepArray(1, pos, size); break;
            case 0x2800: case 0x2807: case 0x3000: case 0x3002: case 0x3003: case 0x3004:
            case 0x300A: case 0x300B:
                if (!inRecord) ParseHeap(pos, size, Depth + 1);
                break;
            default: break;
            }
        }
    }

    // The Index-th zero-ended text of the record.
    std::string Text(int64_t Pos, int64_t Size, int Index) {
        std::vector<char> d((size_t)std::min<int64_t>(Size, 1024));
        if (d.empty() || !ReadAt(Pos, d.data(), (int32_t)d.size())) return std::string();
        size_t i = 0;
        for (int k = 0; k < Index; ++k) {
            while (i < d.size() && d[i]) ++i;
            if (i >= d.size()) return std::string();
            ++i;
        }
        size_t e = i;
        while (e < d.size() && d[e]) ++e;
        return std::string(d.data() + i, e - i);
    }

    // Remembers the JPEG at Pos when it is smaller in both dimensions than the best so far.
    void ConsiderJPEG(int64_t Pos, int64_t Size) {
        if (Size <= 0) return;
        TIOParamsVals params(nullptr);
        TIEBitmap none;
        std::atomic<bool> abort{false};
        TIOProgressRecord progress;
        progress.Aborting = &abort;
        S->SetPosition(FBase + Pos);
        IEReadJPEGStream(S, nullptr, &none, params, progress, true, false, false, false, false, false, -1, false);
        if (abort || params.Width <= 0 || params.Height <= 0) return;
        if (BestPos < 0 || (params.Width < BestWidth && params.Height < BestHeight)) {
            BestPos = Pos;
            BestWidth = params.Width;
            BestHeight = params.Height;
        }
    }

    void LoadThumbnail() {
        if (!P.EXIFThumbnail) P.EXIFThumbnail = std::make_unique<TIEBitmap>();
        P.EXIFThumbnail->FreeImage(true);
        TIOParamsVals params(nullptr);
        std::atomic<bool> abort{false};
        TIOProgressRecord progress;
        progress.Aborting = &abort;
        S->SetPosition(FBase + BestPos);
        IEReadJPEGStream(S, nullptr, P.EXIFThumbnail.get(), params, progress, false, false, false, false, false, false,
                         -1, false);
        if (abort) P.EXIFThumbnail->FreeImage(true);
    }

    // A record of 16-bit values kept as a maker-note entry: its size / 2 values (at most 4096).
    void KeepArray(uint16_t Tag, int64_t Pos, int64_t Size) {
        const int32_t count = (int32_t)std::min<int64_t>(Size / 2, 4096);
        std::vector<uint8_t> raw((size_t)count * 2);
        if (count == 0 || !ReadAt(Pos, raw.data(), (int32_t)raw.size())) return;
        std::vector<uint16_t> values((size_t)count);
        for (int32_t i = 0; i < count; ++i) values[i] = Get16(&raw[(size_t)i * 2]);
        Arrays.emplace_back(Tag, std::move(values));
    }

    // The kept arrays as the maker note: a little-endian IFD of SHORT entries, their data behind
    // it, read back by the parameter set's maker-note handler.
    void WriteMakerNote() {
        std::vector<uint8_t> note(2 + Arrays.size() * 12);
        ByteOrder::PutLE16(note.data(), (uint16_t)Arrays.size());
        for (size_t i = 0; i < Arrays.size(); ++i) {
            uint8_t* e = &note[2 + i * 12];
            const std::vector<uint16_t>& v = Arrays[i].second;
            ByteOrder::PutLE16(e, Arrays[i].first);
            ByteOrder::PutLE16(e + 2, 3);
            ByteOrder::PutLE32(e + 4, (uint32_t)v.size());
            if (v.size() <= 2) {
                for (size_t k = 0; k < v.size(); ++k) ByteOrder::PutLE16(e + 8 + k * 2, v[k]);
            } else {
                ByteOrder::PutLE32(e + 8, (uint32_t)note.size());
                for (uint16_t x : v) {
                    note.push_back((uint8_t)x);
                    note.push_back((uint8_t)(x >> 8));
                }
            }
        }
        TMemoryStream m;
        m.WriteBuffer(note.data(), (int32_t)note.size());
        m.SetPosition(0);
        P.EXIFMakerNote->LoadFromStream(&m, (int32_t)note.size(), true);
    }

    bool ReadAt(int64_t Pos, void* Buffer, int32_t Count) {
        if (Pos < 0 || Pos > FSize - Count) return false;
        S->SetPosition(FBase + Pos);
        return S->Read(Buffer, Count) == Count;
    }
    uint16_t Get16(const uint8_t* p) const { return Big ? ByteOrder::GetBE16(p) : ByteOrder::GetLE16(p); }
    uint32_t Get32(const uint8_t* p) const { return Big ? ByteOrder::GetBE32(p) : ByteOrder::GetLE32(p); }

    TStream* S;
    int64_t FBase;
    int64_t FSize;
    TIOParamsVals& P;
    bool Big = false;
    int64_t BestPos = -1;
    int32_t BestWidth = 0, BestHeight = 0;
    std::vector<std::pair<uint16_t, std::vector<uint16_t>>> Arrays;
};

// LibRaw's options from the parameter set. Gamma and brightness are the output stage's own.
void SetDecoderOptions(LibRaw& Raw, const TIOParamsVals& P) {
    libraw_output_params_t& o = Raw.imgdata.params;
    o.four_color_rgb = P.RAWFourColorRGB ? 1 : 0;
    o.use_auto_wb = P.RAWUseAutoWB ? 1 : 0;
    o.use_camera_wb = P.RAWUseCameraWB ? 1 : 0;
    o.half_size = P.RAWHalfSize ? 1 : 0;
    o.user_qual = P.RAWQuickInterpolate ? 0 : 3;   // bilinear, or LibRaw's AHD
}

// The red and blue scales multiply the white-balance multipliers LibRaw would use (the camera's
// when asked for and known, else the daylight ones). With automatic white balance LibRaw computes
// its own and the scales do not apply.
void ApplyColourScales(LibRaw& Raw, const TIOParamsVals& P) {
    if ((P.RAWRedScale == 1 && P.RAWBlueScale == 1) || P.RAWUseAutoWB) return;
    const libraw_colordata_t& c = Raw.imgdata.color;
    const bool camera = P.RAWUseCameraWB && c.cam_mul[0] > 0 && c.cam_mul[1] > 0 && c.cam_mul[2] > 0;
    const float* base = camera ? c.cam_mul : c.pre_mul;
    if (!(base[0] > 0 && base[1] > 0 && base[2] > 0)) return;
    float* m = Raw.imgdata.params.user_mul;
    m[0] = (float)(base[0] * P.RAWRedScale);
    m[1] = base[1];
    m[2] = (float)(base[2] * P.RAWBlueScale);
    m[3] = base[3] > 0 ? base[3] : base[1];
}

uint32_t PixelBrightness(const uint16_t* Px) {
    const double r = Px[0], g = Px[1], b = Px[2];
    const double v = std::sqrt(r * r + g * g + b * b);
    return v >= 65535 ? 65535 : (uint32_t)v;
}

// The signatures of the common non-TIFF layouts, and the TIFF-structured raw files; these are
// taken without asking LibRaw (a damaged file of a known layout is still a raw file, and its
// load reports the damage). The position is restored.
bool HasRawSignature(TStream* Stream) {
    uint8_t b[16] = {};
    const int64_t pos = Stream->GetPosition();
    const int32_t got = Stream->Read(b, sizeof b);
    Stream->SetPosition(pos);
    auto at = [&](size_t Offset, const char* Magic, size_t Length) {
        return (size_t)got >= Offset + Length && std::memcmp(b + Offset, Magic, Length) == 0;
    };
    if (at(6, "HEAPCCDR", 8)) return true;                 // Canon CRW
    if (at(0, "FUJIFILMCCD-RAW", 15)) return true;         // Fujifilm RAF
    if (at(0, "\0MRM", 4)) return true;                    // Minolta MRW
    if (at(0, "FOVb", 4)) return true;                     // Sigma X3F
    if (at(0, "IIRO", 4) || at(0, "IIRS", 4) || at(0, "MMOR", 4)) return true;   // Olympus ORF
    if (at(0, "IIU\0", 4)) return true;                    // Panasonic RW2
    return IEIsCameraRAWTIFF(Stream);
}

}  // namespace

bool IEIsCameraRAW(TStream* Stream) { return IEIsCameraRAWWithin(Stream, -1); }

bool IEIsCameraRAWWithin(TStream* Stream, int64_t Budget) {
    const int64_t pos = Stream->GetPosition();
    if (HasRawSignature(Stream)) return true;
    bool found = false;
    try {
        // Format detection asks this of every file no other probe took: each thread keeps one
        // decoder for it (making one clears most of a megabyte) and recycles it after each file.
        static thread_local std::unique_ptr<LibRaw> probe;
        if (!probe) probe = NewDecoder();
        TIEBufferedReadStream buffered(Stream, 8192, true);
        TRawStream binding(&buffered, 0);
        binding.SetBudget(Budget < 0 ? binding.IdentifyBudget() : Budget);
        try {
            found = probe->open_datastream(&binding) == LIBRAW_SUCCESS;
            probe->recycle();
        } catch (...) {
            probe.reset();   // left in whatever state the exception found it
            throw;
        }
    } catch (...) {
        found = false;
    }
    Stream->SetPosition(pos);
    return found;
}

void IERawOutputStage(const uint16_t (*Pixels)[4], int32_t W, int32_t H, bool Fuji, double Gamma, double Brightness,
                      TIEBitmap* Bitmap) {
    const bool wide = Bitmap->GetPixelFormat() == ieRGB48;
    const size_t count = (size_t)W * (size_t)H;
    std::vector<uint64_t> histogram(8192);
    for (size_t i = 0; i < count; ++i) ++histogram[PixelBrightness(Pixels[i]) >> 3];
    const uint64_t limit = (uint64_t)((Fuji ? 0.005 : 0.01) * (double)count);
    double max = 1;
    uint64_t total = 0;
    for (int32_t i = 8191; i > 0; --i) {
        total += histogram[i];
        if (total > limit) {
            max = i * 16.0;
            break;
        }
    }
    std::vector<double> table(65536);
    const double scale = Brightness * 442 / max * (wide ? 65535.0 / 255 : 1);
    for (int32_t i = 1; i < 65536; ++i) table[i] = std::pow(2.0 * i / max, Gamma - 1) * scale;
    const double cap = wide ? 65535 : 255;
    for (int32_t y = 0; y < H; ++y) {
        const uint16_t (*src)[4] = Pixels + (size_t)y * W;
        uint8_t* row = Bitmap->GetScanline(y);
        for (int32_t x = 0; x < W; ++x) {
            const double f = table[PixelBrightness(src[x])];
            double v[3];
            for (int c = 0; c < 3; ++c) {
                v[c] = std::floor(src[x][c] * f);
                if (v[c] > cap) v[c] = cap;
            }
            // A caller's gamma or brightness can make any value (negative, NaN): the stores saturate.
            if (wide) {
                uint16_t* p = reinterpret_cast<uint16_t*>(row) + (size_t)x * 3;
                p[0] = Checked::TruncSaturate<uint16_t>(v[0]);
                p[1] = Checked::TruncSaturate<uint16_t>(v[1]);
                p[2] = Checked::TruncSaturate<uint16_t>(v[2]);
            } else {
                uint8_t* p = row + (size_t)x * 3;
                p[0] = Checked::TruncSaturate<uint8_t>(v[2]);
                p[1] = Checked::TruncSaturate<uint8_t>(v[1]);
                p[2] = Checked::TruncSaturate<uint8_t>(v[0]);
            }
        }
    }
}

void IEReadCameraRAWStream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& IOParams, TIOProgressRecord& Progress,
                           bool Preview) {
    const int64_t base = Stream->GetPosition();
    // A read of the parameters only leaves the bitmap alone (a caller may pass none): the
    // thumbnail takes the bitmap's place in a full read only.
    if (IOParams.RAWGetExifThumbnail && !Preview) {
        if (IOParams.EXIFThumbnail) IOParams.EXIFThumbnail->FreeImage(true);
        IOParams.SetRAWGetExifThumbnail(false);
        const bool abortedBefore = IEIsAborting(Progress);
        IEReadCameraRAWStream(Stream, Bitmap, IOParams, Progress, true);
        IOParams.SetRAWGetExifThumbnail(true);
        if (IOParams.EXIFThumbnail && !IOParams.EXIFThumbnail->IsEmpty()) {
            // The thumbnail is the result: a file LibRaw cannot decode still delivered it.
            Bitmap->Assign(IOParams.EXIFThumbnail.get());
            if (!abortedBefore && Progress.Aborting) Progress.Aborting->store(false);
            return;
        }
        if (IEIsAborting(Progress)) return;
        Stream->SetPosition(base);
    }

    TIEBufferedReadStream buffered(Stream, 8192, true);
    bool exifResolution = false;
    // The metadata searches read what they can: a damaged block leaves its values out and the
    // decoder decides whether the file is readable.
    try {
        const int64_t tiff = IEFindTIFFHeader(&buffered);
        if (tiff >= 0) {
            buffered.SetPosition(tiff);
            // The TIFF reader keeps the EXIF resolution per inch already (a file's centimetre
            // values are multiplied by 2.54 there), so it is the DPI as it stands.
            if (IEReadRawEXIF(&buffered, &IOParams) && IOParams.EXIFXResolution > 0 &&
                IOParams.EXIFYResolution > 0) {
                IOParams.SetDpiX((int32_t)std::min(IOParams.EXIFXResolution, 1e6));
                IOParams.SetDpiY((int32_t)std::min(IOParams.EXIFYResolution, 1e6));
                exifResolution = true;
            }
        } else {
            TCIFFReader(&buffered, 0, IOParams).Run();
        }
    } catch (const Exception&) {
    }
    buffered.SetPosition(0);

    TRawStream binding(&buffered, 0);
    std::unique_ptr<LibRaw> raw = NewDecoder();
    SetDecoderOptions(*raw, IOParams);
    raw->set_progress_handler(CancelWhenAborting, &Progress);
    binding.SetBudget(binding.IdentifyBudget());
    bool opened = false;
    try {
        opened = raw->open_datastream(&binding) == LIBRAW_SUCCESS;
    } catch (...) {
    }
    binding.SetBudget(-1);   // decoding reads the whole file: the budget is identification's only
    if (!opened) {
        IEAbort(Progress);
        return;
    }
    const libraw_iparams_t& id = raw->imgdata.idata;
    IOParams.RAWCamera = FixedText(id.make, 64) + " " + FixedText(id.model, 64) + " " +
                         FixedText(raw->imgdata.color.model2, 64);
    if (!exifResolution) {
        IOParams.SetDpiX(IEDefaultDPIX);
        IOParams.SetDpiY(IEDefaultDPIY);
    }
    IOParams.FreeColorMap();
    IOParams.BitsPerSample = IOParams.NativePixelFormat ? 16 : 8;
    IOParams.SamplesPerPixel = 3;

    if (Preview) {
        raw->adjust_sizes_info_only();
        IOParams.Width = IOParams.OriginalWidth = raw->imgdata.sizes.iwidth;
        IOParams.Height = IOParams.OriginalHeight = raw->imgdata.sizes.iheight;
        return;
    }

    const bool adjust = IOParams.RAWAutoAdjustColors && IOParams.EXIFThumbnail && !IOParams.EXIFThumbnail->IsEmpty();
    ApplyColourScales(*raw, IOParams);
    // The sensor's data is allocated by the unpacking: its size is checked first.
    if (!IEImageSizeAccepted(raw->imgdata.sizes.raw_width, raw->imgdata.sizes.raw_height, Progress)) return;
    if (raw->unpack() != LIBRAW_SUCCESS) {
        IEAbort(Progress);
        return;
    }
    Report(Progress, 70);
    if (raw->dcraw_process() != LIBRAW_SUCCESS || !raw->imgdata.image) {
        IEAbort(Progress);
        return;
    }
    Report(Progress, 85);
    IOParams.SetImageCount(1);

    const int32_t w = raw->imgdata.sizes.iwidth, h = raw->imgdata.sizes.iheight;
    IOParams.Width = IOParams.OriginalWidth = w;
    IOParams.Height = IOParams.OriginalHeight = h;
    const TIEPixelFormat format = IOParams.NativePixelFormat ? ieRGB48 : ie24RGB;
    if (w <= 0 || h <= 0 || !IEImageSizeAllowed(w, h) || !Bitmap->Allocate(w, h, format)) {
        IEAbort(Progress);
        return;
    }
    // Grey sensors leave one value per pixel: it becomes all three channels.
    if (raw->imgdata.idata.colors == 1) {
        uint16_t (*px)[4] = raw->imgdata.image;
        for (size_t i = 0, n = (size_t)w * h; i < n; ++i) px[i][1] = px[i][2] = px[i][0];
    }
    const bool fuji = FixedText(id.make, 64) == "FUJIFILM";
    IERawOutputStage(raw->imgdata.image, w, h, fuji, IOParams.RAWGamma, adjust ? 0.5 : IOParams.RAWBright, Bitmap);
    raw->recycle();
    Report(Progress, 90);
    if (adjust) IEMatchHistogramHook(IOParams.EXIFThumbnail.get(), Bitmap);
}
