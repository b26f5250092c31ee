#include "jpegfilt.h"

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>

#include "CheckedMath.h"
#include "iebitmap.h"
#include "iecoreutils_exif_tiff.h"
#include "iecoreutils_geometry.h"
#include "iecoreutils_icc.h"
#include "iecoreutils_markers.h"
#include "iecoreutils_streams.h"
#include "picturaio_colour.h"
#include "picturaio_params.h"
#include "iecoredefs_settings.h"

extern "C" {
#include <jpeglib.h>
#include <jerror.h>
}

// The message codes are those of interface version 62; the library appends its newer ones.
static_assert(JPEG_LIB_VERSION == 62, "the glue is built against interface version 62");
static_assert(JERR_TOO_LITTLE_DATA == 67 && JMSG_COPYRIGHT == 73 && JMSG_VERSION == 74 &&
                  JWRN_TOO_MUCH_DATA == 123,
              "message codes of interface version 62");

namespace {

constexpr int32_t kJpegBufferSize = 65536;
constexpr int32_t kLastKnownMessage = 123;

// ---- Error manager -------------------------------------------------------------------------------

// The library's error record followed by the abort flag, the jump point of the call in progress and
// the code of the last warning.
struct TIEJpegErrorMgr {
    jpeg_error_mgr Pub;
    std::atomic<bool>* AbortFlag;
    jmp_buf Jump;
    int LastWarning;
};

void ErrorExit(j_common_ptr Info) {
    auto* err = reinterpret_cast<TIEJpegErrorMgr*>(Info->err);
    if (err->AbortFlag) *err->AbortFlag = true;
    // Finishing a short image is not an error: the library carries on.
    if (err->Pub.msg_code == JERR_TOO_LITTLE_DATA) return;
    longjmp(err->Jump, 1);
}

void EmitMessage(j_common_ptr Info, int Level) {
    auto* err = reinterpret_cast<TIEJpegErrorMgr*>(Info->err);
    if (Level == -1) {
        err->Pub.num_warnings++;
        err->LastWarning = err->Pub.msg_code;
    }
}

void OutputMessage(j_common_ptr) {}

void FormatMessage(j_common_ptr, char* Buffer) { Buffer[0] = 0; }

void ResetErrorMgr(j_common_ptr Info) {
    auto* err = reinterpret_cast<TIEJpegErrorMgr*>(Info->err);
    err->Pub.num_warnings = 0;
    err->Pub.msg_code = 0;
    err->LastWarning = 0;
}

// Every decoder and encoder starts from this: the library's standard record for its message
// table, then our operations.
void InitErrorMgr(TIEJpegErrorMgr& Err, std::atomic<bool>* AbortFlag) {
    std::memset(&Err, 0, sizeof(Err));
    jpeg_std_error(&Err.Pub);
    Err.Pub.error_exit = ErrorExit;
    Err.Pub.emit_message = EmitMessage;
    Err.Pub.output_message = OutputMessage;
    Err.Pub.format_message = FormatMessage;
    Err.Pub.reset_error_mgr = ResetErrorMgr;
    Err.AbortFlag = AbortFlag;
}

// Runs Call under the error manager's jump point; False when the library raised an error. Call
// must hold nothing that needs destruction: a library error leaves it by longjmp.
template <typename F>
__attribute__((noinline)) bool JpegTry(TIEJpegErrorMgr& Err, F&& Call) {
    if (setjmp(Err.Jump) != 0) return false;
    Call();
    return true;
}

// Raises the exception of the library's last error.
[[noreturn]] void RaiseJpegError(const TIEJpegErrorMgr& Err) { throw EIEJpegException(IEJpegMessageText(Err.Pub.msg_code)); }

// ---- Source and destination managers --------------------------------------------------------------

struct TIEJpegSource {
    jpeg_source_mgr Pub;
    TStream* Stream;
    bool StartOfFile;
    std::atomic<bool>* AbortFlag;
    TIEJPEGFillInput FillInput;   // the caller's replacement of SourceFill, or null
    uint8_t Buffer[kJpegBufferSize];
};

void SourceInit(j_decompress_ptr Info) { reinterpret_cast<TIEJpegSource*>(Info->src)->StartOfFile = true; }

boolean SourceFill(j_decompress_ptr Info) {
    auto* src = reinterpret_cast<TIEJpegSource*>(Info->src);
    int32_t count = 0;
    try {
        count = src->Stream->Read(src->Buffer, kJpegBufferSize);
    } catch (...) {
        count = 0;   // a failing stream ends the data like its end does
    }
    if (count <= 0) {
        if (src->StartOfFile && src->AbortFlag) *src->AbortFlag = true;
        src->Buffer[0] = 0xFF;
        src->Buffer[1] = JPEG_EOI;
        count = 2;
    }
    src->Pub.next_input_byte = src->Buffer;
    src->Pub.bytes_in_buffer = static_cast<size_t>(count);
    src->StartOfFile = false;
    return TRUE;
}

void SourceSkip(j_decompress_ptr Info, long Count) {
    if (Count <= 0) return;
    auto* src = reinterpret_cast<TIEJpegSource*>(Info->src);
    size_t n = static_cast<size_t>(Count);
    while (n > src->Pub.bytes_in_buffer) {
        n -= src->Pub.bytes_in_buffer;
        SourceFill(Info);
    }
    src->Pub.next_input_byte += n;
    src->Pub.bytes_in_buffer -= n;
}

void SourceTerm(j_decompress_ptr) {}

boolean SourceFillByCaller(j_decompress_ptr Info) {
    return reinterpret_cast<TIEJpegSource*>(Info->src)->FillInput(Info) ? TRUE : FALSE;
}

struct TIEJpegDest {
    jpeg_destination_mgr Pub;
    TStream* Stream;
    std::atomic<bool>* AbortFlag;
    uint8_t Buffer[kJpegBufferSize];
};

void DestWrite(TIEJpegDest* Dest, int32_t Count) {
    int32_t written = 0;
    try {
        written = Dest->Stream->Write(Dest->Buffer, Count);
    } catch (...) {
        written = 0;
    }
    if (written < Count && Dest->AbortFlag) *Dest->AbortFlag = true;
}

void DestInit(j_compress_ptr Info) {
    auto* dest = reinterpret_cast<TIEJpegDest*>(Info->dest);
    dest->Pub.next_output_byte = dest->Buffer;
    dest->Pub.free_in_buffer = kJpegBufferSize;
}

boolean DestEmpty(j_compress_ptr Info) {
    auto* dest = reinterpret_cast<TIEJpegDest*>(Info->dest);
    DestWrite(dest, kJpegBufferSize);
    DestInit(Info);
    return TRUE;
}

void DestTerm(j_compress_ptr Info) {
    auto* dest = reinterpret_cast<TIEJpegDest*>(Info->dest);
    const int32_t pending = kJpegBufferSize - static_cast<int32_t>(dest->Pub.free_in_buffer);
    if (pending > 0) DestWrite(dest, pending);
}

// ---- Helpers of the reader and writer -------------------------------------------------------------

// Destroys the decoder or encoder and frees its manager whatever way the call ends.
struct TDecoderGuard {
    jpeg_decompress_struct* Decoder;
    ~TDecoderGuard() {
        jpeg_destroy_decompress(Decoder);
        IEJPEGFreeStreamSource(Decoder);
    }
};
struct TEncoderGuard {
    jpeg_compress_struct* Encoder;
    ~TEncoderGuard() {
        jpeg_destroy_compress(Encoder);
        IEJPEGFreeStreamDest(Encoder);
    }
};

// Converts Count pixels between row layouts through the library's colour hook (the plain
// conversion when the I/O start-up has not set it).
void ConvertColorRow(const void* Source, uint8_t SourceLayout, void* Dest, TIOParamsVals* IOParams, int32_t Count,
                     uint8_t DestLayout) {
    (IEColorConvertHook ? IEColorConvertHook : IEConvertColorRow)(Source, SourceLayout, Dest, IOParams, Count, DestLayout);
}

// One row of a bitmap in a format other than ie24RGB as blue-first RGB; False for the formats the
// writer cannot take.
bool RowToBGR(TIEBitmap* Bitmap, int32_t Row, uint8_t* Dest) {
    const int32_t width = Bitmap->GetWidth();
    const uint8_t* src = Bitmap->GetScanline(Row);
    switch (Bitmap->GetPixelFormat()) {
    case ie1g:
        for (int32_t x = 0; x < width; ++x) {
            const uint8_t v = (src[x >> 3] & (0x80 >> (x & 7))) ? 255 : 0;
            Dest[3 * x] = Dest[3 * x + 1] = Dest[3 * x + 2] = v;
        }
        return true;
    case ie8g:
        for (int32_t x = 0; x < width; ++x) Dest[3 * x] = Dest[3 * x + 1] = Dest[3 * x + 2] = src[x];
        return true;
    case ie32RGB:
        for (int32_t x = 0; x < width; ++x) std::memcpy(Dest + 3 * x, src + 4 * x, 3);
        return true;
    case ieCMYK:
        IECMYKRowToRGB(src, reinterpret_cast<TIERGB*>(Dest), width);
        return true;
    default:
        return false;
    }
}

// The parameters' DCT method (0 accurate integer, 1 fast integer, 2 floating point); other values
// keep the library's default.
void SetDCTMethod(J_DCT_METHOD& Target, uint8_t Method) {
    static const J_DCT_METHOD kMethods[] = {JDCT_ISLOW, JDCT_IFAST, JDCT_FLOAT};
    if (Method < 3) Target = kMethods[Method];
}

void ReportProgress(TIOProgressRecord& Progress, int32_t& LastReported) {
    if (!Progress.OnProgress) return;
    const int32_t per = static_cast<int32_t>(std::trunc(Progress.Counter * Progress.PercentPerUnit));
    if (per != LastReported) {
        LastReported = per;
        Progress.OnProgress(Progress.Sender, per);
    }
}


}  // namespace

// ---- Messages ------------------------------------------------------------------------------------------

std::wstring IEJpegMessageText(int32_t Code) {
    if (Code == JMSG_COPYRIGHT || Code == JMSG_VERSION) return L"";
    if (Code == 86 || Code == 93) return L"?";
    if (Code < 0 || Code > kLastKnownMessage) return L"Corrupted";
    jpeg_error_mgr err;
    jpeg_std_error(&err);
    if (Code > err.last_jpeg_message || !err.jpeg_message_table[Code]) return L"Corrupted";
    const char* text = err.jpeg_message_table[Code];
    std::wstring result;
    for (const char* p = text; *p; ++p) {
        if (*p == '%') {
            // A printf conversion: flags, width, precision and length, then the conversion letter.
            ++p;
            while (*p && std::strchr("-+ #0123456789.lhz", *p)) ++p;
            result += L'?';
            if (!*p) break;
            continue;
        }
        result += static_cast<wchar_t>(static_cast<uint8_t>(*p));
    }
    return result;
}

// ---- Managers -----------------------------------------------------------------------------------------

void IEJPEGStreamSource(jpeg_decompress_struct* Decoder, TStream* Stream, std::atomic<bool>* AbortFlag) {
    if (!Decoder->src) Decoder->src = reinterpret_cast<jpeg_source_mgr*>(new TIEJpegSource());
    auto* src = reinterpret_cast<TIEJpegSource*>(Decoder->src);
    src->Pub.init_source = SourceInit;
    src->Pub.fill_input_buffer = SourceFill;
    src->Pub.skip_input_data = SourceSkip;
    src->Pub.resync_to_restart = jpeg_resync_to_restart;
    src->Pub.term_source = SourceTerm;
    src->Pub.next_input_byte = nullptr;
    src->Pub.bytes_in_buffer = 0;
    src->Stream = Stream;
    src->AbortFlag = AbortFlag;
    src->StartOfFile = true;
    src->FillInput = nullptr;
}

void IEJPEGFreeStreamSource(jpeg_decompress_struct* Decoder) {
    delete reinterpret_cast<TIEJpegSource*>(Decoder->src);
    Decoder->src = nullptr;
}

void IEJPEGStreamDest(jpeg_compress_struct* Encoder, TStream* Stream, std::atomic<bool>* AbortFlag) {
    if (!Encoder->dest) Encoder->dest = reinterpret_cast<jpeg_destination_mgr*>(new TIEJpegDest());
    auto* dest = reinterpret_cast<TIEJpegDest*>(Encoder->dest);
    dest->Pub.init_destination = DestInit;
    dest->Pub.empty_output_buffer = DestEmpty;
    dest->Pub.term_destination = DestTerm;
    dest->Stream = Stream;
    dest->AbortFlag = AbortFlag;
}

void IEJPEGFreeStreamDest(jpeg_compress_struct* Encoder) {
    delete reinterpret_cast<TIEJpegDest*>(Encoder->dest);
    Encoder->dest = nullptr;
}

// ---- Stream scans -------------------------------------------------------------------------------------

int64_t IEFindJPEGStart(TStream* Stream, bool Search) {
    const int64_t start = Stream->GetPosition();
    const int32_t candidates = Search ? 150 : 1;
    int64_t result = -1;
    for (int32_t i = 0; i < candidates && result < 0; ++i) {
        Stream->SetPosition(start + i);
        uint8_t b[3];
        if (Stream->Read(b, 3) != 3) break;
        if (b[0] == 0xFF && b[1] == 0xD8 && b[2] == 0xFF) result = Search ? start + i : 0;
    }
    Stream->SetPosition(start);
    return result;
}

int32_t IEJPEGStreamLength(TStream* Stream) {
    const int64_t start = Stream->GetPosition();
    int64_t end;
    {
        TIEBufferedReadStream view(Stream, 8192);
        view.SetPosition(start);
        uint8_t b = 0;
        bool afterFF = false;
        for (;;) {
            if (view.Read(&b, 1) != 1) break;
            if (!afterFF) {
                afterFF = b == 0xFF;
                continue;
            }
            afterFF = false;
            if (b == 0xD9) break;
            if ((b >= 0xC0 && b <= 0xCF) || (b >= 0xDA && b <= 0xFE)) {
                uint8_t len[2];
                if (view.Read(len, 2) != 2) break;
                const int32_t segment = (len[0] << 8) | len[1];
                view.Seek(segment - 2, soCurrent);
            } else if (b == 0xFF) {
                afterFF = true;   // fill bytes before a marker
            }
        }
        end = view.GetPosition();
    }
    Stream->SetPosition(start);
    return static_cast<int32_t>(end - start);
}

std::vector<uint8_t> IEReadJPEGICCData(TStream* Stream) {
    const int64_t start = Stream->GetPosition();
    std::vector<std::vector<uint8_t>> chunks;
    {
        TIEBufferedReadStream view(Stream, 8192);
        view.SetPosition(start);
        int32_t chunkCount = -1, chunksRead = 0;
        uint8_t b = 0;
        while (chunksRead != chunkCount) {
            // Bytes before a marker that belong to no segment are passed over, as the decoder
            // passes over them (with a warning): the markers behind them are the file's.
            bool atMarker = false;
            while (view.Read(&b, 1) == 1)
                if (b == 0xFF) {
                    atMarker = true;
                    break;
                }
            if (!atMarker) break;
            uint8_t code = 0;
            if (view.Read(&code, 1) != 1) break;
            while (code == 0xFF && view.Read(&code, 1) == 1) {}
            if (code <= 0xBF || (code >= 0xD0 && code <= 0xD8)) continue;   // no segment
            // The walk goes as far as the decoder's header reading, whose markers a save writes
            // back: over a frame header to the start of the scan (or the end of the image).
            const bool skipped = (code >= 0xC0 && code <= 0xCF) || (code >= 0xDB && code <= 0xE1) ||
                                 (code >= 0xE3 && code <= 0xFE);
            if (!skipped && code != 0xE2) break;   // the start of the scan or the end of the image
            uint8_t len[2];
            if (view.Read(len, 2) != 2) break;
            const int32_t segment = (len[0] << 8) | len[1];
            if (segment < 2) continue;   // a length too short for itself: the decoder reads on after it
            if (skipped) {
                view.Seek(segment - 2, soCurrent);
                continue;
            }
            std::vector<uint8_t> data(static_cast<size_t>(segment - 2));
            if (view.Read(data.data(), segment - 2) != segment - 2) break;
            if (data.size() < 14 || std::memcmp(data.data(), "ICC_PROFILE", 12) != 0) continue;
            const int32_t sequence = data[12];
            chunkCount = data[13];
            if (sequence < 1) continue;
            if (static_cast<int32_t>(chunks.size()) < sequence) chunks.resize(static_cast<size_t>(sequence));
            chunks[static_cast<size_t>(sequence - 1)].assign(data.begin() + 14, data.end());
            ++chunksRead;
        }
    }
    Stream->SetPosition(start);
    std::vector<uint8_t> profile;
    for (const auto& c : chunks) profile.insert(profile.end(), c.begin(), c.end());
    return profile;
}

void IEReadJPEGICC(TStream* Stream, TIOParamsVals& IOParams) {
    const std::vector<uint8_t> profile = IEReadJPEGICCData(Stream);
    if (profile.empty() || profile.size() > 0x7FFFFFFF) return;
    IOParams.GetInputICCProfile()->LoadFromBuffer(profile.data(), static_cast<int32_t>(profile.size()));
}

// ---- Reader ----------------------------------------------------------------------------------------------

namespace {
enum class TOutKind { Grey, BGR, YCbCr, CMYK, Unknown };

// The IPTC, EXIF and XMP values of the markers just read. The EXIF resolution gives the DPI only
// when the JFIF header had none (1 x 1, an aspect ratio); the EXIF resolution values stay as the
// EXIF loader read them either way (setting the DPI would overwrite them), so that a save writes
// them back unchanged. The EXIF orientation
// turns the image upright when asked and Decoded says the bitmap holds the image just read (a
// header-only read leaves the bitmap and the orientation alone).
void ReadMarkerMetadata(TIOParamsVals& IOParams, TIEBitmap* Bitmap, bool Decoded) {
    const TIEMarkerList& markers = *IOParams.JPEGMarkers;
    for (int32_t i = 0; i < markers.GetCount(); ++i)
        if (markers.GetMarkerType(i) == JPEG_APP0 + 13 &&
            IOParams.IPTCInfo->LoadFromBuffer(markers.GetMarkerData(i), markers.GetMarkerLength(i)))
            break;
    const int32_t dpiX = IOParams.DpiX, dpiY = IOParams.DpiY;
    for (int32_t i = 0; i < markers.GetCount(); ++i) {
        if (markers.GetMarkerType(i) != JPEG_APP0 + 1 ||
            !IELoadEXIFFromBuffer(markers.GetMarkerData(i), markers.GetMarkerLength(i), &IOParams))
            continue;
        // The EXIF loader gives the resolution per inch already (a resolution in centimetres is
        // multiplied by 2.54 as it is read): it is not multiplied again.
        const double resX = IOParams.EXIFXResolution, resY = IOParams.EXIFYResolution;
        if (dpiX == 1 && dpiY == 1) {
            IOParams.SetDpiX(Checked::TruncSaturate<int32_t>(resX));
            IOParams.SetDpiY(Checked::TruncSaturate<int32_t>(resY));
        } else {
            IOParams.SetDpiX(dpiX);
            IOParams.SetDpiY(dpiY);
        }
        IOParams.EXIFXResolution = resX;
        IOParams.EXIFYResolution = resY;
        if (IOParams.JPEGEnableAdjustOrientation && Decoded) {
            IEApplyOrientation(Bitmap, IOParams.EXIFOrientation);
            IOParams.SetEXIFOrientation(1);
        }
        break;
    }
    for (int32_t i = 0; i < markers.GetCount(); ++i)
        if (markers.GetMarkerType(i) == JPEG_APP0 + 1 &&
            IEReadXMPMarker(markers.GetMarkerData(i), markers.GetMarkerLength(i), IOParams.XMPInfo))
            break;
}
}  // namespace

int32_t IEReadJPEGStream(TStream* Stream, TStream* HeaderStream, TIEBitmap* Bitmap, TIOParamsVals& IOParams,
                         TIOProgressRecord& Progress, bool ParamsOnly, bool RawColor, bool ReadMetadata,
                         bool InvertCMYK, bool DropAppliedICC, bool ReadICC, int32_t MaxRows,
                         bool NativePixelFormat) {
    std::atomic<bool> localAbort{false};
    std::atomic<bool>* aborting = Progress.Aborting ? Progress.Aborting : &localAbort;

    if (IOParams.JPEGGetExifThumbnail) {
        // The EXIF thumbnail, when the file has one, stands for the image.
        const int64_t origin = Stream->GetPosition();
        if (IOParams.EXIFThumbnail) IOParams.EXIFThumbnail->FreeImage(true);
        IOParams.SetJPEGGetExifThumbnail(false);
        const int32_t width = IOParams.Width, height = IOParams.Height;
        IEReadJPEGStream(Stream, HeaderStream, Bitmap, IOParams, Progress, true, RawColor, true, InvertCMYK,
                         DropAppliedICC, false, -1, IOParams.NativePixelFormat);
        Stream->SetPosition(origin);
        IOParams.SetJPEGGetExifThumbnail(true);
        if (IOParams.EXIFThumbnail && !IOParams.EXIFThumbnail->IsEmpty()) {
            Bitmap->Assign(IOParams.EXIFThumbnail.get());
            return 0;
        }
        IOParams.Width = width;
        IOParams.Height = height;
    }

    IOParams.JPEGWarningCount = 0;
    IOParams.JPEGWarningCode = 0;

    const int64_t soi = IEFindJPEGStart(Stream, true);
    if (soi < 0) {
        *aborting = true;
        return 0;
    }
    Stream->SetPosition(soi);
    if (ReadICC) IEReadJPEGICC(Stream, IOParams);
    // The profile is applied to the rows as they are read (through the colour hook).
    const bool iccActive = IOParams.InputICCProfile != nullptr && IEColorManagementEnabled;

    TIEJpegErrorMgr err;
    InitErrorMgr(err, aborting);
    jpeg_decompress_struct dec;
    std::memset(&dec, 0, sizeof(dec));
    dec.err = &err.Pub;
    jpeg_create_decompress(&dec);
    TDecoderGuard guard{&dec};

    int32_t rowsRead = 0;
    std::vector<uint8_t> rowBuffer;
    TOutKind out = TOutKind::Unknown;
    bool headerRead = false;

    [&] {
        if (*aborting) return;
        if (HeaderStream && HeaderStream != Stream && !ParamsOnly) {
            IEJPEGStreamSource(&dec, HeaderStream, aborting);
            if (!JpegTry(err, [&] { jpeg_read_header(&dec, FALSE); })) return;
        }
        IEJPEGStreamSource(&dec, Stream, aborting);
        const bool ok = JpegTry(err, [&] {
            jpeg_save_markers(&dec, JPEG_COM, 0xFFFF);
            for (int m = 0; m < 16; ++m) jpeg_save_markers(&dec, JPEG_APP0 + m, 0xFFFF);
            jpeg_read_header(&dec, TRUE);
        });
        if (!ok) {
            *aborting = true;
            return;
        }
        headerRead = true;

        IOParams.SetImageCount(1);
        IOParams.BitsPerSample = 8;
        // The file's colour space: the parameters' code, the samples and the rows asked for.
        static const struct {
            J_COLOR_SPACE Space;
            uint8_t Code;
            int32_t Samples;
            TOutKind Out;
        } kSpaces[] = {{JCS_GRAYSCALE, 1, 1, TOutKind::Grey}, {JCS_RGB, 0, 3, TOutKind::BGR},
                       {JCS_YCbCr, 2, 3, TOutKind::BGR},      {JCS_CMYK, 3, 4, TOutKind::CMYK},
                       {JCS_YCCK, 4, 4, TOutKind::CMYK}};
        for (const auto& sp : kSpaces)
            if (sp.Space == dec.jpeg_color_space) {
                IOParams.JPEGColorSpace = sp.Code;
                IOParams.SamplesPerPixel = sp.Samples;
                out = sp.Out;
            }
        // The library converts YCbCr and RGB files alike into blue-first rows.
        if (out == TOutKind::BGR) dec.out_color_space = JCS_EXT_BGR;
        if (out == TOutKind::CMYK) dec.out_color_space = JCS_CMYK;
        if (RawColor && dec.jpeg_color_space == JCS_YCbCr) {
            dec.out_color_space = JCS_YCbCr;
            out = TOutKind::YCbCr;
        }
        SetDCTMethod(dec.dct_method, IOParams.JPEGDCTMethod);
        if (dec.density_unit == 0 || dec.density_unit == 1) {
            IOParams.SetDpiX(dec.X_density);
            IOParams.SetDpiY(dec.Y_density);
        } else if (dec.density_unit == 2) {
            IOParams.SetDpiX(static_cast<int32_t>(std::trunc(dec.X_density * 2.54L)));
            IOParams.SetDpiY(static_cast<int32_t>(std::trunc(dec.Y_density * 2.54L)));
        }
        IOParams.FreeColorMap();
        IOParams.JPEGProgressive = dec.progressive_mode != FALSE;
        IOParams.OriginalWidth = static_cast<int32_t>(dec.image_width);
        IOParams.OriginalHeight = static_cast<int32_t>(dec.image_height);

        dec.scale_num = 1;
        int32_t denom = -1;
        switch (IOParams.JPEGScale) {
        case 1: denom = 1; break;
        case 2: denom = 2; break;
        case 3: denom = 4; break;
        case 4: denom = 8; break;
        case 0:
            denom = 1;
            if (IOParams.Width > 0 && IOParams.Height > 0) {
                for (int32_t n = 3; n >= 0; --n) {
                    const uint32_t d = 1u << n;
                    if (dec.image_width / d >= static_cast<uint32_t>(IOParams.Width) &&
                        dec.image_height / d >= static_cast<uint32_t>(IOParams.Height)) {
                        denom = static_cast<int32_t>(d);
                        break;
                    }
                }
            }
            break;
        default: break;
        }
        if (denom > 0) dec.scale_denom = static_cast<unsigned>(denom);
        IOParams.JPEGScaleUsed = static_cast<int32_t>(dec.scale_denom);

        if (ParamsOnly) {
            IOParams.Width = static_cast<int32_t>(dec.image_width);
            IOParams.Height = static_cast<int32_t>(dec.image_height);
            return;
        }
        // The decoder's own buffers follow the full size, whatever the scale.
        if (!IEImageSizeAllowed(dec.image_width, dec.image_height)) {
            *aborting = true;
            return;
        }

        if (!JpegTry(err, [&] { jpeg_start_decompress(&dec); }) || *aborting) {
            *aborting = true;
            return;
        }
        const int32_t width = static_cast<int32_t>(dec.output_width);
        const int32_t height = static_cast<int32_t>(dec.output_height);
        IOParams.Width = width;
        IOParams.Height = height;
        rowBuffer.assign(static_cast<size_t>(width) * 4, 0);

        TIEPixelFormat format = ie24RGB;
        if (NativePixelFormat) {
            switch (out) {
            case TOutKind::Grey: format = ie8g; break;
            case TOutKind::CMYK: format = ieCMYK; break;
            default: break;
            }
        }
        // A colour space the glue has no rows for (component counts other than 1, 3 and 4).
        if (out == TOutKind::Unknown || !Bitmap->Allocate(width, height, format)) {
            *aborting = true;
            return;
        }
        if (MaxRows < 0) MaxRows = Bitmap->GetHeight();
        Progress.PercentPerUnit = 100.0 / height;
        Progress.Counter = 0;
        int32_t lastReported = -1;

        while (static_cast<int32_t>(dec.output_scanline) < height && rowsRead < MaxRows) {
            const int32_t y = static_cast<int32_t>(dec.output_scanline);
            uint8_t* row = Bitmap->GetScanline(y);
            const bool direct = (out == TOutKind::Grey && format == ie8g) || (out == TOutKind::BGR && !iccActive) ||
                                out == TOutKind::YCbCr || (out == TOutKind::CMYK && format == ieCMYK);
            JSAMPROW target = direct ? row : rowBuffer.data();
            JDIMENSION got = 0;
            if (!JpegTry(err, [&] { got = jpeg_read_scanlines(&dec, &target, 1); })) {
                *aborting = true;
                return;
            }
            if (got == 0) break;   // the library supplied nothing (suspension cannot happen here)
            if (!direct) {
                if (out == TOutKind::Grey) {
                    for (int32_t x = 0; x < width; ++x) row[3 * x] = row[3 * x + 1] = row[3 * x + 2] = rowBuffer[x];
                } else if (out == TOutKind::BGR) {
                    ConvertColorRow(rowBuffer.data(), iecrBGR, row, &IOParams, width, iecrBGR);
                } else {
                    if (InvertCMYK)
                        for (uint8_t& b : rowBuffer) b = static_cast<uint8_t>(255 - b);
                    ConvertColorRow(rowBuffer.data(), iecrCMYK, row, &IOParams, width, iecrBGR);
                }
            }
            rowsRead += static_cast<int32_t>(got);
            Progress.Counter += static_cast<int32_t>(got);
            ReportProgress(Progress, lastReported);
            if (*aborting) return;
        }
        if (rowsRead < MaxRows) *aborting = true;
    }();

    // Clean-up: the markers in file order but the first APP0 (the JFIF header the writer makes
    // again), the finish when the decoding went well, and the warnings the library counted.
    IOParams.JPEGMarkers->Clear();
    bool app0Seen = false;
    for (jpeg_saved_marker_ptr m = dec.marker_list; m; m = m->next) {
        if (m->marker == JPEG_APP0 && !app0Seen) {
            app0Seen = true;
            continue;
        }
        IOParams.JPEGMarkers->AddMarker(m->marker, m->data, static_cast<uint16_t>(m->data_length));
    }
    // A profile applied to the pixels is not theirs any more: a save must not embed it again.
    if (DropAppliedICC && iccActive && IOParams.InputICCProfile->HasTransform()) {
        IOParams.InputICCProfile->FreeTransform();
        for (int32_t i = IOParams.JPEGMarkers->GetCount() - 1; i >= 0; --i)
            if (IOParams.JPEGMarkers->GetMarkerType(i) == JPEG_APP0 + 2) IOParams.JPEGMarkers->DeleteMarker(i);
    }
    if (headerRead && !*aborting && !ParamsOnly) {
        err.AbortFlag = nullptr;
        JpegTry(err, [&] { jpeg_finish_decompress(&dec); });
    }
    if (err.Pub.num_warnings > 0) {
        IOParams.JPEGWarningCount = static_cast<int32_t>(err.Pub.num_warnings);
        IOParams.JPEGWarningCode = err.LastWarning;
    }
    if (ReadMetadata) ReadMarkerMetadata(IOParams, Bitmap, !ParamsOnly && rowsRead > 0);
    return rowsRead;
}

// ---- Writer ----------------------------------------------------------------------------------------------

void IEWriteJPEGStream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& IOParams, TIOProgressRecord& Progress) {
    std::atomic<bool> localAbort{false};
    std::atomic<bool>* aborting = Progress.Aborting ? Progress.Aborting : &localAbort;
    const int32_t width = Bitmap->GetWidth(), height = Bitmap->GetHeight();
    if (width <= 0 || height <= 0) {
        *aborting = true;
        return;
    }
    const bool is24 = Bitmap->GetPixelFormat() == ie24RGB;
    std::vector<uint8_t> bgr(is24 ? 0 : static_cast<size_t>(width) * 3);
    if (!is24 && !RowToBGR(Bitmap, 0, bgr.data())) {
        *aborting = true;   // no conversion to 24 bits for this format
        return;
    }

    TIEJpegErrorMgr err;
    InitErrorMgr(err, aborting);
    jpeg_compress_struct enc;
    std::memset(&enc, 0, sizeof(enc));
    enc.err = &err.Pub;
    jpeg_create_compress(&enc);
    TEncoderGuard guard{&enc};
    IEJPEGStreamDest(&enc, Stream, aborting);
    if (*aborting) return;

    enc.image_width = static_cast<JDIMENSION>(width);
    enc.image_height = static_cast<JDIMENSION>(height);
    enc.input_components = 3;
    enc.in_color_space = JCS_EXT_BGR;   // the bitmap's own rows, no exchange of red and blue
    J_COLOR_SPACE fileSpace = JCS_RGB;
    switch (IOParams.JPEGColorSpace) {
    case 1: fileSpace = JCS_GRAYSCALE; break;
    case 2: fileSpace = JCS_YCbCr; break;
    case 3: fileSpace = JCS_CMYK; break;
    case 4: fileSpace = JCS_YCCK; break;
    default: break;
    }
    const bool fourComponents = fileSpace == JCS_CMYK || fileSpace == JCS_YCCK;
    if (fourComponents) {
        enc.input_components = 4;
        enc.in_color_space = JCS_CMYK;
    }
    std::vector<uint8_t> cmyk(fourComponents ? static_cast<size_t>(width) * 4 : 0);

    const bool ok = JpegTry(err, [&] {
        jpeg_set_defaults(&enc);
        jpeg_set_colorspace(&enc, fileSpace);
        enc.density_unit = 1;
        enc.X_density = static_cast<UINT16>(IOParams.DpiX != 0 ? IOParams.DpiX : IEDefaultDPIX);
        enc.Y_density = static_cast<UINT16>(IOParams.DpiY != 0 ? IOParams.DpiY : IEDefaultDPIY);
        SetDCTMethod(enc.dct_method, IOParams.JPEGDCTMethod);
        enc.optimize_coding = IOParams.JPEGOptimalHuffman ? TRUE : FALSE;
        enc.smoothing_factor = std::clamp(IOParams.JPEGSmooth, 0, 100);
        jpeg_set_quality(&enc, IOParams.JPEGQuality, TRUE);
        if (fileSpace == JCS_YCbCr) {
            switch (IOParams.JPEGCromaSubsampling) {
            case 0: enc.comp_info[0].h_samp_factor = 2; enc.comp_info[0].v_samp_factor = 1; break;
            case 1: enc.comp_info[0].h_samp_factor = 2; enc.comp_info[0].v_samp_factor = 2; break;
            case 2: enc.comp_info[0].h_samp_factor = 1; enc.comp_info[0].v_samp_factor = 1; break;
            default: break;
            }
            for (int c = 1; c < 3; ++c) enc.comp_info[c].h_samp_factor = enc.comp_info[c].v_samp_factor = 1;
        }
        if (fileSpace == JCS_CMYK) enc.write_JFIF_header = TRUE;
        if (IOParams.JPEGProgressive) jpeg_simple_progression(&enc);
        jpeg_start_compress(&enc, TRUE);
    });
    if (!ok) RaiseJpegError(err);

    IOParams.JPEGMarkers->Sort();
    const TIEMarkerList& markers = *IOParams.JPEGMarkers;
    for (int32_t i = 0; i < markers.GetCount(); ++i) {
        if (markers.GetMarkerType(i) == 0xEE) continue;   // the library writes its own Adobe marker
        if (!JpegTry(err, [&] {
                jpeg_write_marker(&enc, markers.GetMarkerType(i), markers.GetMarkerData(i),
                                  static_cast<unsigned>(markers.GetMarkerLength(i)));
            }))
            RaiseJpegError(err);
    }

    Progress.PercentPerUnit = 100.0 / height;
    Progress.Counter = 0;
    int32_t lastReported = -1;
    while (static_cast<int32_t>(enc.next_scanline) < height) {
        const int32_t y = static_cast<int32_t>(enc.next_scanline);
        uint8_t* row = Bitmap->GetScanline(y);
        if (!is24) {
            RowToBGR(Bitmap, y, bgr.data());
            row = bgr.data();
        }
        if (fourComponents) {
            ConvertColorRow(row, iecrBGR, cmyk.data(), nullptr, width, iecrCMYK);
            row = cmyk.data();
        }
        JSAMPROW rows[1] = {row};
        if (!JpegTry(err, [&] { jpeg_write_scanlines(&enc, rows, 1); })) RaiseJpegError(err);
        Progress.Counter++;
        ReportProgress(Progress, lastReported);
        if (*aborting) break;
    }
    if (!*aborting && !JpegTry(err, [&] { jpeg_finish_compress(&enc); })) RaiseJpegError(err);
}

// ---- Thin decoding interface ----------------------------------------------------------------------------

namespace {
TIEJpegErrorMgr& ErrorOf(jpeg_decompress_struct* Decoder) {
    return *reinterpret_cast<TIEJpegErrorMgr*>(Decoder->err);
}
template <typename F>
void ThinCall(jpeg_decompress_struct* Decoder, F&& Call) {
    if (!JpegTry(ErrorOf(Decoder), Call)) RaiseJpegError(ErrorOf(Decoder));
}
}  // namespace

jpeg_decompress_struct* IEJPEGAllocDecoder() { return new jpeg_decompress_struct(); }

void IEJPEGFreeDecoder(jpeg_decompress_struct* Decoder) { delete Decoder; }

void IEJPEGCreateErrorManager(jpeg_decompress_struct* Decoder) {
    auto* err = new TIEJpegErrorMgr;
    InitErrorMgr(*err, nullptr);
    Decoder->err = &err->Pub;
}

void IEJPEGFreeErrorManager(jpeg_decompress_struct* Decoder) {
    delete reinterpret_cast<TIEJpegErrorMgr*>(Decoder->err);
    Decoder->err = nullptr;
}

void IEJPEGCreateDecoder(jpeg_decompress_struct* Decoder) {
    ThinCall(Decoder, [&] { jpeg_CreateDecompress(Decoder, JPEG_LIB_VERSION, sizeof(jpeg_decompress_struct)); });
}

void IEJPEGDestroyDecoder(jpeg_decompress_struct* Decoder) { jpeg_destroy_decompress(Decoder); }

void IEJPEGSetStreamSource(jpeg_decompress_struct* Decoder, TStream* Stream) {
    IEJPEGStreamSource(Decoder, Stream, nullptr);
}

void IEJPEGSetFillInput(jpeg_decompress_struct* Decoder, TIEJPEGFillInput Proc) {
    auto* src = reinterpret_cast<TIEJpegSource*>(Decoder->src);
    src->FillInput = Proc;
    src->Pub.fill_input_buffer = Proc ? SourceFillByCaller : SourceFill;
}

void IEJPEGSetInput(jpeg_decompress_struct* Decoder, const uint8_t* Data, size_t Count) {
    Decoder->src->next_input_byte = Data;
    Decoder->src->bytes_in_buffer = Count;
}

int32_t IEJPEGReadHeader(jpeg_decompress_struct* Decoder, bool RequireImage) {
    int result = 0;
    ThinCall(Decoder, [&] { result = jpeg_read_header(Decoder, RequireImage ? TRUE : FALSE); });
    return result;
}

bool IEJPEGStartDecoder(jpeg_decompress_struct* Decoder) {
    boolean result = FALSE;
    ThinCall(Decoder, [&] { result = jpeg_start_decompress(Decoder); });
    return result != FALSE;
}

int32_t IEJPEGOutputWidth(jpeg_decompress_struct* Decoder) { return static_cast<int32_t>(Decoder->output_width); }
int32_t IEJPEGOutputHeight(jpeg_decompress_struct* Decoder) { return static_cast<int32_t>(Decoder->output_height); }
int32_t IEJPEGOutputComponents(jpeg_decompress_struct* Decoder) { return Decoder->output_components; }
int32_t IEJPEGOutputScanline(jpeg_decompress_struct* Decoder) {
    return static_cast<int32_t>(Decoder->output_scanline);
}

uint8_t** IEJPEGAllocRows(jpeg_decompress_struct* Decoder, int32_t Pool, int32_t SamplesPerRow, int32_t Rows) {
    JSAMPARRAY result = nullptr;
    ThinCall(Decoder, [&] {
        result = (*Decoder->mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(Decoder), Pool,
                                               static_cast<JDIMENSION>(SamplesPerRow), static_cast<JDIMENSION>(Rows));
    });
    return result;
}

int32_t IEJPEGReadRows(jpeg_decompress_struct* Decoder, uint8_t** Rows, int32_t MaxLines) {
    JDIMENSION result = 0;
    ThinCall(Decoder, [&] { result = jpeg_read_scanlines(Decoder, Rows, static_cast<JDIMENSION>(MaxLines)); });
    return static_cast<int32_t>(result);
}

bool IEJPEGFinishDecoder(jpeg_decompress_struct* Decoder) {
    boolean result = FALSE;
    ThinCall(Decoder, [&] { result = jpeg_finish_decompress(Decoder); });
    return result != FALSE;
}
