// Helpers of the JPEG codec tests: pictures in memory, the bare library as an independent encoder
// and decoder, and the codec called on memory streams.
#pragma once
#include <atomic>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "Classes.h"
#include "iebitmap.h"
#include "jpegfilt.h"
#include "picturaio_params.h"

extern "C" {
#include <jpeglib.h>
}

namespace jpegtest {

// Pixels as the bare library gives them: Width x Height x Components bytes, rows top down.
struct TPixels {
    int32_t Width = 0, Height = 0, Components = 0;
    std::vector<uint8_t> Data;
};

// A smooth colour picture with some detail, blue-first.
inline TPixels MakePicture(int32_t Width, int32_t Height) {
    TPixels p{Width, Height, 3, std::vector<uint8_t>(static_cast<size_t>(Width) * Height * 3)};
    for (int32_t y = 0; y < Height; ++y)
        for (int32_t x = 0; x < Width; ++x) {
            uint8_t* px = &p.Data[(static_cast<size_t>(y) * Width + x) * 3];
            px[0] = static_cast<uint8_t>(x * 255 / (Width > 1 ? Width - 1 : 1));
            px[1] = static_cast<uint8_t>(y * 255 / (Height > 1 ? Height - 1 : 1));
            px[2] = static_cast<uint8_t>(((x / 8 + y / 8) % 2) ? 160 : 80);
        }
    return p;
}

struct TBareError {
    jpeg_error_mgr Pub;
    jmp_buf Jump;
};
inline void BareErrorExit(j_common_ptr Info) { longjmp(reinterpret_cast<TBareError*>(Info->err)->Jump, 1); }

// Options of the bare encoder.
struct TBareOptions {
    J_COLOR_SPACE InSpace = JCS_EXT_BGR;
    J_COLOR_SPACE FileSpace = JCS_YCbCr;
    int Quality = 90;
    bool Progressive = false;
    bool Arithmetic = false;
    int DensityUnit = 1, XDensity = 72, YDensity = 72;
    bool WriteJFIF = true;
};

// Encodes the pixels with the bare library (JCS_CMYK input for 4 components).
inline std::vector<uint8_t> BareEncode(const TPixels& P, const TBareOptions& O = {}) {
    TBareError err;
    jpeg_compress_struct c;
    unsigned char* out = nullptr;
    unsigned long outSize = 0;
    c.err = jpeg_std_error(&err.Pub);
    err.Pub.error_exit = BareErrorExit;
    if (setjmp(err.Jump)) {
        jpeg_destroy_compress(&c);
        std::free(out);
        return {};
    }
    jpeg_create_compress(&c);
    jpeg_mem_dest(&c, &out, &outSize);
    c.image_width = static_cast<JDIMENSION>(P.Width);
    c.image_height = static_cast<JDIMENSION>(P.Height);
    c.input_components = P.Components;
    c.in_color_space = O.InSpace;
    jpeg_set_defaults(&c);
    jpeg_set_colorspace(&c, O.FileSpace);
    jpeg_set_quality(&c, O.Quality, TRUE);
    c.write_JFIF_header = O.WriteJFIF ? TRUE : FALSE;
    c.density_unit = static_cast<UINT8>(O.DensityUnit);
    c.X_density = static_cast<UINT16>(O.XDensity);
    c.Y_density = static_cast<UINT16>(O.YDensity);
    c.arith_code = O.Arithmetic ? TRUE : FALSE;
    if (O.Progressive) jpeg_simple_progression(&c);
    jpeg_start_compress(&c, TRUE);
    const size_t stride = static_cast<size_t>(P.Width) * P.Components;
    while (c.next_scanline < c.image_height) {
        JSAMPROW row = const_cast<uint8_t*>(&P.Data[c.next_scanline * stride]);
        jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    std::vector<uint8_t> result(out, out + outSize);
    std::free(out);
    return result;
}

// Decodes with the bare library into OutSpace (blue-first colour by default) at 1/ScaleDenom.
inline TPixels BareDecode(const std::vector<uint8_t>& Jpeg, J_COLOR_SPACE OutSpace = JCS_EXT_BGR, int ScaleDenom = 1) {
    TBareError err;
    jpeg_decompress_struct d;
    TPixels p;
    d.err = jpeg_std_error(&err.Pub);
    err.Pub.error_exit = BareErrorExit;
    if (setjmp(err.Jump)) {
        jpeg_destroy_decompress(&d);
        return {};
    }
    jpeg_create_decompress(&d);
    jpeg_mem_src(&d, Jpeg.data(), static_cast<unsigned long>(Jpeg.size()));
    jpeg_read_header(&d, TRUE);
    if (d.jpeg_color_space != JCS_GRAYSCALE || OutSpace != JCS_EXT_BGR) d.out_color_space = OutSpace;
    d.scale_num = 1;
    d.scale_denom = static_cast<unsigned>(ScaleDenom);
    jpeg_start_decompress(&d);
    p.Width = static_cast<int32_t>(d.output_width);
    p.Height = static_cast<int32_t>(d.output_height);
    p.Components = d.output_components;
    p.Data.resize(static_cast<size_t>(p.Width) * p.Height * p.Components);
    while (d.output_scanline < d.output_height) {
        JSAMPROW row = &p.Data[static_cast<size_t>(d.output_scanline) * p.Width * p.Components];
        jpeg_read_scanlines(&d, &row, 1);
    }
    jpeg_finish_decompress(&d);
    jpeg_destroy_decompress(&d);
    return p;
}

// The bitmap's pixels, row by row without padding.
inline TPixels FromBitmap(TIEBitmap& B) {
    TPixels p;
    p.Width = B.GetWidth();
    p.Height = B.GetHeight();
    p.Components = IEPixelFormatBitCount[B.GetPixelFormat()] / 8;
    const size_t stride = static_cast<size_t>(p.Width) * p.Components;
    for (int32_t y = 0; y < p.Height; ++y) {
        const uint8_t* row = B.GetScanline(y);
        p.Data.insert(p.Data.end(), row, row + stride);
    }
    return p;
}

inline void ToBitmap(const TPixels& P, TIEBitmap& B, TIEPixelFormat Format) {
    B.Allocate(P.Width, P.Height, Format);
    const size_t stride = static_cast<size_t>(P.Width) * P.Components;
    for (int32_t y = 0; y < P.Height; ++y) std::memcpy(B.GetScanline(y), &P.Data[y * stride], stride);
}

inline int MaxDifference(const TPixels& A, const TPixels& B) {
    if (A.Width != B.Width || A.Height != B.Height || A.Components != B.Components) return 1000;
    int m = 0;
    for (size_t i = 0; i < A.Data.size(); ++i) m = std::max(m, std::abs(int(A.Data[i]) - int(B.Data[i])));
    return m;
}

// The mean absolute difference of the samples: small for a lossy copy, large for exchanged channels.
inline double MeanDifference(const TPixels& A, const TPixels& B) {
    if (A.Width != B.Width || A.Height != B.Height || A.Components != B.Components || A.Data.empty()) return 1000;
    double sum = 0;
    for (size_t i = 0; i < A.Data.size(); ++i) sum += std::abs(int(A.Data[i]) - int(B.Data[i]));
    return sum / A.Data.size();
}

inline void Fill(TMemoryStream& S, const std::vector<uint8_t>& Bytes) {
    S.Clear();
    if (!Bytes.empty()) S.Write(Bytes.data(), static_cast<int32_t>(Bytes.size()));
    S.SetPosition(0);
}

inline std::vector<uint8_t> Contents(TMemoryStream& S) {
    const auto* p = static_cast<const uint8_t*>(S.GetMemory());
    return std::vector<uint8_t>(p, p + S.GetSize());
}

// One load through the codec: the rows, the abort flag and the parameters.
struct TLoad {
    TIEBitmap Bitmap;
    TIOParamsVals Params{nullptr};
    std::atomic<bool> Aborting{false};
    int32_t Rows = 0;
    bool ParamsOnly = false, RawColor = false, InvertCMYK = false, NativePixelFormat = false;
    bool ReadMetadata = false, ReadICC = false, DropAppliedICC = false;
    int32_t MaxRows = -1;

    void Run(TStream& S) {
        TIOProgressRecord progress;
        progress.Aborting = &Aborting;
        Rows = IEReadJPEGStream(&S, nullptr, &Bitmap, Params, progress, ParamsOnly, RawColor, ReadMetadata,
                                InvertCMYK, DropAppliedICC, ReadICC, MaxRows, NativePixelFormat);
    }
    void Run(const std::vector<uint8_t>& Bytes) {
        TMemoryStream s;
        Fill(s, Bytes);
        Run(s);
    }
};

// One save through the codec into bytes; Aborting reports a refused save.
inline std::vector<uint8_t> Save(TIEBitmap& B, TIOParamsVals& P, bool* Aborted = nullptr) {
    TMemoryStream s;
    std::atomic<bool> aborting{false};
    TIOProgressRecord progress;
    progress.Aborting = &aborting;
    IEWriteJPEGStream(&s, &B, P, progress);
    if (Aborted) *Aborted = aborting;
    return Contents(s);
}

}  // namespace jpegtest
