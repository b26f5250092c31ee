#include "iej2000.h"

#include <openjpeg.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "codecs_common.h"
#include "iebitmap.h"
#include "iecoredefs_types.h"
#include "iecoreutils_text.h"
#include "ieprochooks.h"
#include "iecoredefs_settings.h"

namespace {

TIEJ2000YCbCrTables gYCbCr;

// ---- The stream binding: OpenJPEG's stream callbacks over a TStream ----
// Positions OpenJPEG asks for are relative to where the stream stood when the codec began.
struct TJ2000StreamBinding {
    TStream* Stream;
    int64_t Base;
};

OPJ_SIZE_T BindingRead(void* Buffer, OPJ_SIZE_T Count, void* User) {
    auto* b = static_cast<TJ2000StreamBinding*>(User);
    const int32_t n = b->Stream->Read(Buffer, (int32_t)std::min<OPJ_SIZE_T>(Count, 0x40000000));
    return n > 0 ? (OPJ_SIZE_T)n : (OPJ_SIZE_T)-1;
}

OPJ_SIZE_T BindingWrite(void* Buffer, OPJ_SIZE_T Count, void* User) {
    auto* b = static_cast<TJ2000StreamBinding*>(User);
    const int32_t n = b->Stream->Write(Buffer, (int32_t)std::min<OPJ_SIZE_T>(Count, 0x40000000));
    return n > 0 ? (OPJ_SIZE_T)n : (OPJ_SIZE_T)-1;
}

OPJ_OFF_T BindingSkip(OPJ_OFF_T Count, void* User) {
    auto* b = static_cast<TJ2000StreamBinding*>(User);
    const int64_t pos = b->Stream->GetPosition();
    const int64_t got = b->Stream->Seek(Count, soCurrent);
    return got - pos == Count ? Count : (OPJ_OFF_T)-1;
}

OPJ_BOOL BindingSeek(OPJ_OFF_T Position, void* User) {
    auto* b = static_cast<TJ2000StreamBinding*>(User);
    return b->Stream->Seek(b->Base + Position, soBeginning) == b->Base + Position ? OPJ_TRUE : OPJ_FALSE;
}

void Quiet(const char*, void*) {}

struct TCodecDeleter {
    void operator()(opj_codec_t* c) const { opj_destroy_codec(c); }
};
struct TStreamDeleter {
    void operator()(opj_stream_t* s) const { opj_stream_destroy(s); }
};
struct TImageDeleter {
    void operator()(opj_image_t* i) const { opj_image_destroy(i); }
};
using TCodecPtr = std::unique_ptr<opj_codec_t, TCodecDeleter>;
using TStreamPtr = std::unique_ptr<opj_stream_t, TStreamDeleter>;
using TImagePtr = std::unique_ptr<opj_image_t, TImageDeleter>;

TStreamPtr MakeStream(TJ2000StreamBinding& Binding, bool Input) {
    TStreamPtr s(opj_stream_create(OPJ_J2K_STREAM_CHUNK_SIZE, Input ? OPJ_TRUE : OPJ_FALSE));
    if (!s) return s;
    opj_stream_set_user_data(s.get(), &Binding, nullptr);
    if (Input) {
        const int64_t left = Binding.Stream->GetSize() - Binding.Base;
        opj_stream_set_user_data_length(s.get(), (OPJ_UINT64)(left > 0 ? left : 0));
        opj_stream_set_read_function(s.get(), BindingRead);
    } else {
        opj_stream_set_write_function(s.get(), BindingWrite);
    }
    opj_stream_set_skip_function(s.get(), BindingSkip);
    opj_stream_set_seek_function(s.get(), BindingSeek);
    return s;
}

void QuietCodec(opj_codec_t* Codec) {
    opj_set_error_handler(Codec, Quiet, nullptr);
    opj_set_warning_handler(Codec, Quiet, nullptr);
    opj_set_info_handler(Codec, Quiet, nullptr);
}

bool HasSignature(TStream* Stream, const uint8_t* Magic, int32_t Length) {
    uint8_t b[12];
    const int64_t pos = Stream->GetPosition();
    const int32_t got = Stream->Read(b, Length);
    Stream->SetPosition(pos);
    return got == Length && std::memcmp(b, Magic, (size_t)Length) == 0;
}

// The largest decoded image (all components' 32-bit sample buffers together) the reader accepts:
// a 32-bit process cannot hold more beside the bitmap.
constexpr int64_t kMaxDecodedBytes = int64_t(1) << 29;

// One component's view for drawing: its samples, the column and row of each image pixel, and
// the shift that brings a sample to 8 bits.
struct TComponentView {
    const OPJ_INT32* Data = nullptr;
    int32_t Width = 0;
    int32_t Prec = 8;
    int32_t Bias = 0;   // added to signed samples to bring them to the unsigned range
    std::vector<int32_t> Columns;   // per image column: the component column, or -1 outside
    std::vector<int32_t> Rows;      // per image row

    // The sample covering the pixel as the component holds it (0 outside the component).
    int32_t Raw(int32_t X, int32_t Y) const {
        const int32_t cx = Columns[(size_t)X], cy = Rows[(size_t)Y];
        return cx < 0 || cy < 0 ? 0 : Data[(size_t)cy * (size_t)Width + (size_t)cx];
    }
    uint8_t At(int32_t X, int32_t Y) const {
        const int32_t cx = Columns[(size_t)X], cy = Rows[(size_t)Y];
        if (cx < 0 || cy < 0) return 0;
        int64_t v = (int64_t)Data[(size_t)cy * (size_t)Width + (size_t)cx] + Bias;
        const int64_t top = (int64_t(1) << Prec) - 1;
        if (v < 0) v = 0;
        if (v > top) v = top;
        return (uint8_t)(Prec >= 8 ? v >> (Prec - 8) : v << (8 - Prec));
    }
};

// Maps image pixels (X0 + x on the reference grid) to the component sample that covers them.
void MapAxis(std::vector<int32_t>& Out, uint32_t ImageStart, int32_t Count, uint32_t Step, uint32_t CompStart,
             uint32_t CompCount) {
    Out.resize((size_t)Count);
    for (int32_t i = 0; i < Count; ++i) {
        const int64_t c = (int64_t)(((uint64_t)ImageStart + (uint64_t)i) / (Step ? Step : 1)) - (int64_t)CompStart;
        Out[(size_t)i] = CompCount == 0 ? -1 : (int32_t)(c < 0 ? 0 : c >= (int64_t)CompCount ? CompCount - 1 : c);
    }
}

bool MakeView(TComponentView& View, const opj_image_t* Image, uint32_t Index, int32_t Width, int32_t Height) {
    const opj_image_comp_t& c = Image->comps[Index];
    if (!c.data || c.prec < 1 || c.prec > 31) return false;
    View.Data = c.data;
    View.Width = (int32_t)c.w;
    View.Prec = (int32_t)c.prec;
    View.Bias = c.sgnd ? (int32_t)(1u << (c.prec - 1)) : 0;
    MapAxis(View.Columns, Image->x0, Width, c.dx, c.x0, c.w);
    MapAxis(View.Rows, Image->y0, Height, c.dy, c.y0, c.h);
    return true;
}

uint8_t Clamp255(int32_t v) { return (uint8_t)(v < 0 ? 0 : v > 255 ? 255 : v); }

// Finds "key=" in Options and returns the text after it up to the next blank.
std::string OptionValue(const std::string& Options, const char* Key) {
    const std::string k = std::string(Key) + "=";
    size_t p = Options.find(k);
    if (p == std::string::npos) return {};
    p += k.size();
    const size_t e = Options.find(' ', p);
    return Options.substr(p, e == std::string::npos ? std::string::npos : e - p);
}

}  // namespace

bool IEIsJP2(TStream* Stream) {
    static const uint8_t kMagic[12] = {0, 0, 0, 0x0C, 0x6A, 0x50, 0x20, 0x20, 0x0D, 0x0A, 0x87, 0x0A};
    return HasSignature(Stream, kMagic, 12);
}

bool IEIsJ2K(TStream* Stream) {
    static const uint8_t kMagic[4] = {0xFF, 0x4F, 0xFF, 0x51};
    return HasSignature(Stream, kMagic, 4);
}

const TIEJ2000YCbCrTables& IEJ2000YCbCr() { return gYCbCr; }

void IEInitializeJ2000() {
    const float kr = 0.299f, kg = 0.587f, kb = 0.114f;
    const float crR = 2 - 2 * kr, cbB = 2 - 2 * kb;
    const float crG = kr * crR / kg, cbG = kb * cbB / kg;
    for (int32_t i = 0; i < 256; ++i) {
        const float c = (float)(i - 128);
        gYCbCr.CrToRed[i] = (int32_t)std::nearbyint(crR * c);
        gYCbCr.CbToBlue[i] = (int32_t)std::nearbyint(cbB * c);
        gYCbCr.CrToGreen[i] = -(int32_t)std::nearbyint(crG * c);
        gYCbCr.CbToGreen[i] = -(int32_t)std::nearbyint(cbG * c);
    }
}

void IEFinalizeJ2000() {}

namespace {

// A decoder over the JP2 file or code stream at a stream's position, with its header read.
struct TJ2000Decoder {
    TJ2000StreamBinding Binding{nullptr, 0};
    TStreamPtr Stream;
    TCodecPtr Codec;
    TImagePtr Image;

    // False for an unknown signature, a damaged header or an empty image.
    bool Open(TStream* Source) {
        OPJ_CODEC_FORMAT format;
        if (IEIsJP2(Source))
            format = OPJ_CODEC_JP2;
        else if (IEIsJ2K(Source))
            format = OPJ_CODEC_J2K;
        else
            return false;
        Binding = TJ2000StreamBinding{Source, Source->GetPosition()};
        Stream = MakeStream(Binding, true);
        Codec.reset(opj_create_decompress(format));
        if (!Stream || !Codec) return false;
        QuietCodec(Codec.get());
        opj_dparameters_t dp;
        opj_set_default_decoder_parameters(&dp);
        opj_image_t* raw = nullptr;
        const bool ok = opj_setup_decoder(Codec.get(), &dp) && opj_read_header(Stream.get(), Codec.get(), &raw);
        Image.reset(raw);
        if (!ok || !Image) return false;
        const int64_t w64 = (int64_t)Image->x1 - Image->x0, h64 = (int64_t)Image->y1 - Image->y0;
        return Image->numcomps > 0 && w64 > 0 && h64 > 0 && w64 <= 0x7FFFFFFF && h64 <= 0x7FFFFFFF;
    }
    int32_t Width() const { return (int32_t)(Image->x1 - Image->x0); }
    int32_t Height() const { return (int32_t)(Image->y1 - Image->y0); }

    // Decodes the samples; every component's buffer is bounded before the decoder allocates it.
    bool Decode() {
        int64_t total = 0;
        for (uint32_t i = 0; i < Image->numcomps; ++i) {
            const opj_image_comp_t& c = Image->comps[i];
            const uint64_t cw = ((uint64_t)Image->x1 + c.dx - 1) / (c.dx ? c.dx : 1);
            const uint64_t ch = ((uint64_t)Image->y1 + c.dy - 1) / (c.dy ? c.dy : 1);
            total += (int64_t)std::min<uint64_t>(cw * ch * 4, (uint64_t)kMaxDecodedBytes + 1);
            if (total > kMaxDecodedBytes) return false;
        }
        return opj_decode(Codec.get(), Stream.get(), Image.get()) && opj_end_decompress(Codec.get(), Stream.get());
    }
};

}  // namespace

bool IEReadJ2000Samples(TStream* Stream, int32_t& Width, int32_t& Height, int32_t& Precision, bool& Signed,
                        std::vector<int32_t>& Samples) {
    TJ2000Decoder d;
    if (!d.Open(Stream) || !d.Decode()) return false;
    Width = d.Width();
    Height = d.Height();
    TComponentView view;
    if (!MakeView(view, d.Image.get(), 0, Width, Height)) return false;
    const opj_image_comp_t& c = d.Image->comps[0];
    Precision = (int32_t)c.prec;
    Signed = c.sgnd != 0;
    Samples.resize((size_t)Width * (size_t)Height);
    for (int32_t y = 0; y < Height; ++y)
        for (int32_t x = 0; x < Width; ++x) Samples[(size_t)y * Width + x] = view.Raw(x, y);
    return true;
}

void IEReadJ2000Stream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIOProgressRecord& Progress,
                       bool ParamsOnly) {
    TJ2000Decoder decoder;
    if (!decoder.Open(Stream)) {
        IEAbort(Progress);
        return;
    }
    opj_image_t* const image = decoder.Image.get();
    const int32_t width = decoder.Width(), height = decoder.Height();

    // The colour space: a bare code stream says none; its component count decides (as for JP2
    // files without a colour specification).
    int32_t space = 0;   // 1 grey, 2 RGB, 3 YCbCr
    switch (image->color_space) {
        case OPJ_CLRSPC_GRAY: space = 1; break;
        case OPJ_CLRSPC_SRGB: space = 2; break;
        case OPJ_CLRSPC_SYCC: space = 3; break;
        case OPJ_CLRSPC_UNKNOWN:
        case OPJ_CLRSPC_UNSPECIFIED: space = image->numcomps >= 3 ? 2 : 1; break;
        default: break;
    }
    if (space == 0 || (space != 1 && image->numcomps < 3)) {
        IEAbort(Progress);
        return;
    }
    Params.Width = Params.OriginalWidth = width;
    Params.Height = Params.OriginalHeight = height;
    Params.SetImageCount(1);
    Params.BitsPerSample = (int32_t)image->comps[0].prec;
    Params.SamplesPerPixel = space == 1 ? 1 : 3;
    Params.SetDpiX(IEDefaultDPIX);
    Params.SetDpiY(IEDefaultDPIY);
    Params.FreeColorMap();
    if (ParamsOnly || !Bitmap) return;
    if (!IEImageSizeAccepted(width, height, Progress)) return;

    if (!decoder.Decode()) {
        IEAbort(Progress);
        return;
    }
    const int32_t used = space == 1 ? 1 : 3;
    TComponentView views[3];
    for (int32_t i = 0; i < used; ++i)
        if (!MakeView(views[i], image, (uint32_t)i, width, height)) {
            IEAbort(Progress);
            return;
        }
    // The opacity component: the one the file marks as such, else a single component after the
    // colours (a bare code stream cannot mark it).
    int32_t alphaIndex = -1;
    for (uint32_t i = (uint32_t)used; i < image->numcomps && alphaIndex < 0; ++i)
        if (image->comps[i].alpha) alphaIndex = (int32_t)i;
    if (alphaIndex < 0 && image->numcomps == (uint32_t)used + 1) alphaIndex = used;
    TComponentView alphaView;
    if (alphaIndex >= 0 && !MakeView(alphaView, image, (uint32_t)alphaIndex, width, height)) alphaIndex = -1;
    const bool bilevel = space == 1 && image->comps[0].prec == 1 && alphaIndex < 0;
    if (!Bitmap->Allocate(width, height, bilevel ? ie1g : ie24RGB)) {
        IEAbort(Progress);
        return;
    }
    TIEBitmap* alpha = nullptr;
    if (alphaIndex >= 0) {
        alpha = Bitmap->GetAlphaChannel();
        alpha->SetFull(false);
    }
    TIERowProgress progress(Progress, height);
    for (int32_t y = 0; y < height; ++y) {
        uint8_t* row = Bitmap->GetScanline(y);
        if (alpha) {
            uint8_t* a = alpha->GetScanline(y);
            for (int32_t x = 0; x < width; ++x) a[x] = alphaView.At(x, y);
        }
        if (bilevel) {
            for (int32_t x = 0; x < width; ++x) IESetBitHook(row, x, views[0].At(x, y) != 0);
        } else if (space == 1) {
            for (int32_t x = 0; x < width; ++x) row[3 * x] = row[3 * x + 1] = row[3 * x + 2] = views[0].At(x, y);
        } else if (space == 2) {
            for (int32_t x = 0; x < width; ++x) {
                row[3 * x] = views[2].At(x, y);
                row[3 * x + 1] = views[1].At(x, y);
                row[3 * x + 2] = views[0].At(x, y);
            }
        } else {
            for (int32_t x = 0; x < width; ++x) {
                const int32_t Y = views[0].At(x, y), cb = views[1].At(x, y), cr = views[2].At(x, y);
                row[3 * x] = Clamp255(Y + gYCbCr.CbToBlue[cb]);
                row[3 * x + 1] = Clamp255(Y + gYCbCr.CbToGreen[cb] + gYCbCr.CrToGreen[cr]);
                row[3 * x + 2] = Clamp255(Y + gYCbCr.CrToRed[cr]);
            }
        }
        progress.Row(y);
        if (progress.Aborted()) return;
    }
}

std::string IEJ2000EncoderOptions(const TIOParamsVals& Params) {
    std::string rate;
    IEFloatToStrDotA(rate, Params.J2000Rate);
    return "rate=" + rate + (Params.J2000ScalableBy == 1 ? " prg=rlcp" : " prg=lrcp");
}

void IEWriteJ2000Stream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIOProgressRecord& Progress,
                        int32_t Format) {
    const TIEPixelFormat pf = Bitmap ? Bitmap->GetPixelFormat() : ieNoFormat;
    if ((pf != ie24RGB && pf != ie1g) || Bitmap->GetWidth() <= 0 || Bitmap->GetHeight() <= 0) {
        IEAbort(Progress);
        return;
    }
    if (pf == ie1g) {
        Params.BitsPerSample = 1;
        Params.J2000ColorSpace = 0;
    }
    if (Params.J2000ColorSpace > 2 || Params.BitsPerSample < 1 || Params.BitsPerSample > 16) {
        IEAbort(Progress);
        return;
    }
    const int32_t width = Bitmap->GetWidth(), height = Bitmap->GetHeight();
    const int32_t prec = Params.BitsPerSample;
    const uint32_t maxval = (1u << prec) - 1;
    const bool grey = Params.J2000ColorSpace == 0;
    TIEBitmap* alpha = (!grey && Bitmap->HasAlphaChannel()) ? Bitmap->GetAlphaChannel() : nullptr;
    if (alpha) {
        alpha->CheckFull();
        if (alpha->GetFull()) alpha = nullptr;
    }
    const uint32_t comps = grey ? 1 : alpha ? 4 : 3;
    opj_image_cmptparm_t cp[4];
    std::memset(cp, 0, sizeof cp);
    for (uint32_t i = 0; i < comps; ++i) {
        cp[i].dx = cp[i].dy = 1;
        cp[i].w = (OPJ_UINT32)width;
        cp[i].h = (OPJ_UINT32)height;
        cp[i].prec = (OPJ_UINT32)prec;
        cp[i].sgnd = 0;
    }
    TImagePtr image(opj_image_create(comps, cp, grey ? OPJ_CLRSPC_GRAY : OPJ_CLRSPC_SRGB));
    if (!image) {
        IEAbort(Progress);
        return;
    }
    image->x0 = image->y0 = 0;
    image->x1 = (OPJ_UINT32)width;
    image->y1 = (OPJ_UINT32)height;
    if (comps == 4) image->comps[3].alpha = 1;

    auto scale = [maxval](uint32_t v) { return (OPJ_INT32)((double)v / 255.0 * maxval); };
    TIERowProgress progress(Progress, height);
    for (int32_t y = 0; y < height; ++y) {
        const uint8_t* row = Bitmap->GetScanline(y);
        const size_t base = (size_t)y * (size_t)width;
        if (pf == ie1g) {
            for (int32_t x = 0; x < width; ++x) image->comps[0].data[base + x] = IEGetBitHook(row, x) ? 1 : 0;
        } else if (grey) {
            for (int32_t x = 0; x < width; ++x) {
                const uint32_t g = ((uint32_t)row[3 * x + 2] * IEGrayRedWeight + (uint32_t)row[3 * x + 1] * IEGrayGreenWeight +
                                    (uint32_t)row[3 * x] * IEGrayBlueWeight) / 100;
                image->comps[0].data[base + x] = scale(g > 255 ? 255 : g);
            }
        } else {
            for (int32_t x = 0; x < width; ++x) {
                image->comps[0].data[base + x] = scale(row[3 * x + 2]);
                image->comps[1].data[base + x] = scale(row[3 * x + 1]);
                image->comps[2].data[base + x] = scale(row[3 * x]);
            }
            if (alpha) {
                const uint8_t* a = alpha->GetScanline(y);
                for (int32_t x = 0; x < width; ++x) image->comps[3].data[base + x] = scale(a[x]);
            }
        }
        progress.Row(y);
        if (progress.Aborted()) return;
    }

    // The options text decides rate and progression order.
    const std::string options = IEJ2000EncoderOptions(Params);
    const double rate = std::strtod(OptionValue(options, "rate").c_str(), nullptr);
    opj_cparameters_t ep;
    opj_set_default_encoder_parameters(&ep);
    ep.tcp_numlayers = 1;
    ep.cp_disto_alloc = 1;
    // OpenJPEG takes a compression ratio; 0 is lossless.
    ep.tcp_rates[0] = rate > 0 && rate < 1 ? (float)(1.0 / rate) : 0;
    ep.prog_order = OptionValue(options, "prg") == "rlcp" ? OPJ_RLCP : OPJ_LRCP;
    ep.tcp_mct = comps >= 3 ? 1 : 0;
    // Small images need fewer resolution levels than the default six.
    int32_t levels = 0;
    while (levels < 5 && (width >> (levels + 1)) > 0 && (height >> (levels + 1)) > 0) ++levels;
    ep.numresolution = levels + 1;

    TCodecPtr codec(opj_create_compress(Format == 1 ? OPJ_CODEC_J2K : OPJ_CODEC_JP2));
    TJ2000StreamBinding binding{Stream, Stream->GetPosition()};
    TStreamPtr stream = MakeStream(binding, false);
    if (!codec || !stream) {
        IEAbort(Progress);
        return;
    }
    QuietCodec(codec.get());
    if (!opj_setup_encoder(codec.get(), &ep, image.get()) || !opj_start_compress(codec.get(), image.get(), stream.get()) ||
        !opj_encode(codec.get(), stream.get()) || !opj_end_compress(codec.get(), stream.get()))
        IEAbort(Progress);
}
