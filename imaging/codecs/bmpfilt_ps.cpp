// The PostScript Level 2 writer.
#include "bmpfilt_ps.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "SysUtils.h"
#include "codecs_common.h"
#include "iebitmap.h"
#include "iecoreutils_pdf.h"
#include "iecoreutils_streams.h"
#include "jpegfilt.h"

namespace {

std::string Num(int64_t V) { return std::to_string(V); }

// V in decimal followed by blanks up to Width characters.
std::string PadRight(int64_t V, size_t Width) {
    std::string s = Num(V);
    if (s.size() < Width) s.append(Width - s.size(), ' ');
    return s;
}

// Appends the ASCII85 form of Size bytes of Data (groups, line ends, "~>") to Out; returns the
// number of group characters.
int64_t Ascii85To(TStream& Out, const uint8_t* Data, int32_t Size) {
    std::vector<char> text((size_t)IEAscii85EncodedBound(Size));
    int32_t groups = 0;
    const int32_t n = IEAscii85Encode(Data, Size, text.data(), groups);
    Out.WriteBuffer(text.data(), n);
    return groups;
}

// Appends the RunLength form of Size bytes, itself ASCII85-encoded; returns the group characters.
int64_t RunLengthAscii85To(TStream& Out, const uint8_t* Data, int32_t Size) {
    std::vector<uint8_t> packed(2 * (size_t)Size + 1);
    const int32_t n = IERunLengthEncode(Data, Size, packed.data());
    return Ascii85To(Out, packed.data(), n);
}

// The rows of a 1-bit image concatenated, (Width + 7) div 8 bytes each.
std::vector<uint8_t> PackedRows(TIEBitmap* Bitmap, TIERowProgress& Rows) {
    const size_t r = ((size_t)Bitmap->GetWidth() + 7) / 8;
    std::vector<uint8_t> data(r * (size_t)Bitmap->GetHeight());
    for (int32_t y = 0; y < Bitmap->GetHeight(); ++y) {
        std::memcpy(&data[(size_t)y * r], Bitmap->GetScanline(y), r);
        Rows.Row(y + 1);
    }
    return data;
}

}  // namespace

TIEPSContext* IEPSCreate(TStream& Stream, TIOParamsVals& IOParams) {
    auto* context = new TIEPSContext;
    IEWriteLineCRLF(&Stream, "%!PS-Adobe-3.0");
    IEWriteLineCRLF(&Stream, "%%Creator: Pictura");
    IEWriteLineCRLF(&Stream, "%%Title: " + IOParams.PSTitle);
    IEWriteLineCRLF(&Stream, "%%CreationDate: " + WideToAnsi(FormatDateTime(L"ddd mmm dd hh:nn:ss yyyy", Now())));
    IEWriteLineCRLF(&Stream, "%%DocumentData: Clean7Bit");
    IEWriteLineCRLF(&Stream, "%%LanguageLevel: 2");
    context->PagesLinePosition = Stream.GetPosition();
    IEWriteLineCRLF(&Stream, "%%Pages: " + PadRight(0, 6));
    IEWriteLineCRLF(&Stream, "%%BoundingBox: 0 0 " + Num(IOParams.PSPaperWidth - 1) + " " + Num(IOParams.PSPaperHeight - 1));
    IEWriteLineCRLF(&Stream, "%%EndComments");
    context->PagePosition = Stream.GetPosition();
    return context;
}

void IEPSSavePage(TIEPSContext* Context, TStream& Stream, TIEBitmap* Bitmap, TIOParamsVals& IOParams,
                  TIOProgressRecord& Progress) {
    if (!Context) return;
    // The page count from the header, then the header counts this page.
    Stream.SetPosition(Context->PagesLinePosition);
    char line[15] = {};
    Stream.Read(line, 15);
    std::string digits;
    for (int32_t i = 9; i < 14; ++i)
        if (line[i] != ' ') digits.push_back(line[i]);
    int64_t count = 1;
    bool number = !digits.empty();
    for (char c : digits) number = number && c >= '0' && c <= '9';
    if (number) count = std::stoll(digits);
    const int64_t page = count + 1;
    Stream.SetPosition(Context->PagesLinePosition);
    IEWriteLineCRLF(&Stream, "%%Pages: " + PadRight(page, 6));
    Stream.SetPosition(Context->PagePosition);

    // Formats other than 1 bit and 24-bit colour go out as 24-bit colour.
    std::unique_ptr<TIEBitmap> temp;
    TIEBitmap* image = IEBilevelOrRGB(Bitmap, temp);
    const bool bilevel = image->GetPixelFormat() == ie1g;
    const int32_t W = image->GetWidth(), H = image->GetHeight();
    // The page's coding; the caller's setting stays as it is for the pages that follow.
    int32_t compression = IOParams.PSCompression;
    if (bilevel) {
        IOParams.BitsPerSample = 1;
        IOParams.SamplesPerPixel = 1;
        // JPEG has no 1-bit form: such pages are coded as group 3 two-dimensional.
        if (compression == 3) compression = 2;
    } else {
        IOParams.BitsPerSample = 8;
        IOParams.SamplesPerPixel = 3;
    }
    const bool rgb = image->GetPixelFormat() == ie24RGB && W > 0 && H > 0;
    const bool oneBit = bilevel && W > 0 && H > 0;

    const long double s = std::min((long double)IOParams.PSPaperWidth / (W > 0 ? W : 1),
                                   (long double)IOParams.PSPaperHeight / (H > 0 ? H : 1));
    const int64_t w = std::max<int64_t>(1, (int64_t)(W * s));
    const int64_t h = std::max<int64_t>(1, (int64_t)(H * s));
    IEWriteLineCRLF(&Stream, "%%Page: " + Num(page) + " " + Num(page));
    IEWriteLineCRLF(&Stream, "0 " + Num(IOParams.PSPaperHeight) + " translate");
    IEWriteLineCRLF(&Stream, Num(w) + " -" + Num(h) + " scale");
    IEWriteLineCRLF(&Stream, Num(W) + " " + Num(H) + " " + Num(IOParams.BitsPerSample));
    IEWriteLineCRLF(&Stream, "[ " + Num(W) + " 0 0 " + Num(H) + " 0 0 ]");

    // The page's data, ASCII85 text in memory; c counts its group characters.
    TMemoryStream data;
    int64_t c = 0;
    TIERowProgress rows(Progress, H);
    if (oneBit) {
        const size_t r = ((size_t)W + 7) / 8;
        if (compression == 0) {
            if (r * (size_t)H <= (size_t)INT32_MAX / 2) {
                const std::vector<uint8_t> packed = PackedRows(image, rows);
                c = RunLengthAscii85To(data, packed.data(), (int32_t)packed.size());
            }
        } else {
            const std::vector<uint8_t> coded = IECCITTEncodeBitmap(image, compression != 2);
            c = Ascii85To(data, coded.data(), (int32_t)coded.size());
        }
    } else if (rgb) {
        if (compression == 3) {
            TMemoryStream jpeg;
            IEWriteJPEGStream(&jpeg, image, IOParams, Progress);
            c = Ascii85To(data, static_cast<const uint8_t*>(jpeg.GetMemory()), (int32_t)jpeg.GetSize());
        } else {
            std::vector<uint8_t> channel((size_t)W);
            for (int32_t y = 0; y < H; ++y) {
                const uint8_t* row = image->GetScanline(y);
                for (int32_t k = 2; k >= 0; --k) {   // red, green, blue: bytes 2, 1, 0 of a pixel
                    for (int32_t x = 0; x < W; ++x) channel[(size_t)x] = row[(size_t)x * 3 + (size_t)k];
                    c += RunLengthAscii85To(data, channel.data(), W);
                }
                rows.Row(y + 1);
            }
        }
    }

    const std::string beginData = "%%BeginData:      " + Num(c) + " ASCII Bytes";
    if (rgb && compression == 3) {
        IEWriteLineCRLF(&Stream, "currentfile /ASCII85Decode filter << >> /DCTDecode filter");
        IEWriteLineCRLF(&Stream, "false 3");
        IEWriteLineCRLF(&Stream, beginData);
        IEWriteLineCRLF(&Stream, "colorimage");
    } else if (rgb) {
        IEWriteLineCRLF(&Stream, "/rstr " + Num(W) + " string def");
        IEWriteLineCRLF(&Stream, "/gstr " + Num(W) + " string def");
        IEWriteLineCRLF(&Stream, "/bstr " + Num(W) + " string def");
        IEWriteLineCRLF(&Stream, "{currentfile /ASCII85Decode filter /RunLengthDecode filter rstr readstring pop}");
        IEWriteLineCRLF(&Stream, "{currentfile /ASCII85Decode filter /RunLengthDecode filter gstr readstring pop}");
        IEWriteLineCRLF(&Stream, "{currentfile /ASCII85Decode filter /RunLengthDecode filter bstr readstring pop}");
        IEWriteLineCRLF(&Stream, "true 3");
        IEWriteLineCRLF(&Stream, beginData);
        IEWriteLineCRLF(&Stream, "colorimage");
    } else if (oneBit) {
        if (compression == 0)
            IEWriteLineCRLF(&Stream, "currentfile /ASCII85Decode filter /RunLengthDecode filter");
        else
            IEWriteLineCRLF(&Stream, std::string("currentfile /ASCII85Decode filter << /K ") +
                                         (compression == 2 ? "1" : "-1") + " /BlackIs1 true /Columns " +
                                         Num(W) + " /Rows " + Num(H) +
                                         " /EndOfLine false /Uncompressed true /EncodedByteAlign false "
                                         "/EndOfBlock false >> /CCITTFaxDecode filter");
        IEWriteLineCRLF(&Stream, beginData);
        IEWriteLineCRLF(&Stream, "image");
    }
    if (data.GetSize() > 0) {
        data.SetPosition(0);
        IECopyStream(&Stream, &data, data.GetSize());
    }
    IEWriteLineCRLF(&Stream, "%%EndData");
    IEWriteLineCRLF(&Stream, "showpage");
    Context->PagePosition = Stream.GetPosition();
}

void IEPSClose(TIEPSContext* Context, TStream& Stream) {
    if (!Context) return;
    std::unique_ptr<TIEPSContext> owned(Context);
    Stream.SetPosition(Context->PagePosition);
    IEWriteLineCRLF(&Stream, "%%Trailer");
    IEWriteLineCRLF(&Stream, "%%EOF");
}

void IEWritePSStream(TStream& Stream, TIEBitmap* Bitmap, TIOParamsVals& IOParams, TIOProgressRecord& Progress) {
    TIEPSContext* context = IEPSCreate(Stream, IOParams);
    try {
        IEPSSavePage(context, Stream, Bitmap, IOParams, Progress);
    } catch (...) {
        delete context;
        throw;
    }
    IEPSClose(context, Stream);
}
