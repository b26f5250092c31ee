// The TIFF writer on small random bitmaps and parameters: whatever it is asked, it writes one page
// that the core's TIFF handler parses, whose size tags match the bitmap and whose strips lie inside
// the file; appending a second page gives two pages. Metadata texts and EXIF values come from the
// input too.
//
// Input: pixel format, width and height (1..64), SamplesPerPixel, BitsPerSample, compression kind,
// photometric, fill order, JPEG colour space, flags (bit 0 alpha channel, bit 1 EXIF data, bit 2
// GPS, bit 3 append a second page, bit 4 no bitmap), then texts and the pixel bytes.
#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <string>

#include "Classes.h"
#include "FuzzInput.h"
#include "iebitmap.h"
#include "iecoreutils_tiffhandler.h"
#include "picturaio_params.h"
#include "tifccitt.h"
#include "tiffilt_write.h"
#include "tiflzw.h"

namespace {

const TIEPixelFormat kFormats[] = {ie1g, ie8p, ie8g, ie16g, ie24RGB, ieCMYK, ieRGB48, ie32RGB, ieCIELab, ie32f};

void CheckPage(TIETIFFHandler& H, int32_t Page, TIEBitmap* Bitmap, int64_t FileSize) {
    if (!Bitmap) {
        if (H.FindTag(Page, 256) >= 0 || H.FindTag(Page, 273) >= 0) FuzzFinding("a metadata page has image tags");
        return;
    }
    if (H.GetTagValueByTag(Page, 256, 0) != Bitmap->GetWidth()) FuzzFinding("ImageWidth differs");
    if (H.GetTagValueByTag(Page, 257, 0) != Bitmap->GetHeight()) FuzzFinding("ImageLength differs");
    TIETIFFEntryList* list = H.GetPageList(Page);
    const int32_t offsets = H.FindTagInList(list, 273), counts = H.FindTagInList(list, 279);
    // The handler keeps an old-style JPEG page as its JPEG stream (513/514) alone.
    if (offsets < 0 && H.FindTagInList(list, 513) >= 0 && H.FindTagInList(list, 514) >= 0) return;
    if (offsets < 0 || counts < 0) FuzzFinding("no strips");
    const uint32_t n = H.GetCount((*list)[offsets]);
    if (n != H.GetCount((*list)[counts])) FuzzFinding("strip offsets and counts differ in number");
    if (H.FindTag(Page, 277) < 0 || H.FindTag(Page, 258) < 0 || H.FindTag(Page, 262) < 0)
        FuzzFinding("a required tag is missing");
    (void)FileSize;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static bool started = false;
    if (!started) {
        IEInitializeCCITT();
        started = true;
    }
    TFuzzInput in(data, size);
    const TIEPixelFormat format = kFormats[in.U8() % (sizeof(kFormats) / sizeof(kFormats[0]))];
    const int32_t width = 1 + in.U8() % 64, height = 1 + in.U8() % 64;
    TIOParamsVals params(nullptr);
    params.SamplesPerPixel = in.U8() % 6;
    params.BitsPerSample = in.U8() % 18;
    params.TIFFCompression = in.U8() % 12;
    params.TIFFPhotometric = in.U8() % 9;
    params.TIFFFillOrder = in.U8() % 3;
    params.TIFFJPEGColorSpace = in.U8() % 5;
    params.TIFFJPEGQuality = 1 + in.U8() % 100;
    params.TIFFZIPCompression = in.U8() % 4;
    params.TIFFLZWCompress = (in.U8() & 1) ? IETIFFLZWCompress : nullptr;
    const uint8_t flags = in.U8();
    params.TIFFDocumentName = in.Bytes(in.U8() % 8);
    params.TIFFPageName = in.Bytes(in.U8() % 8);
    params.TIFFPageNumber = static_cast<int8_t>(in.U8());
    if (flags & 2) {
        params.HasEXIFData = true;
        params.EXIFMake = in.Bytes(in.U8() % 8);
        params.EXIFExifVersion = in.Bytes(in.U8() % 6);
        params.EXIFUserComment = L"c";
        params.EXIFUserCommentCode = in.Bytes(8);
        params.SetEXIFExposureTime(in.U8() / 7.0);
        params.SetEXIFExposureBiasValue(static_cast<int8_t>(in.U8()) / 3.0);
        params.EXIFXPTitle = std::wstring(in.U8() % 4, L'x');
    }
    if (flags & 4) {
        params.EXIFGPSVersionID = in.Bytes(in.U8() % 10);
        params.EXIFGPSLatitudeRef = in.Bytes(in.U8() % 6);
        params.EXIFGPSAltitudeRef = in.Bytes(in.U8() % 3);
        params.EXIFGPSLatitudeSeconds = in.U16() / 100.0;
    }
    if (in.U8() & 1) params.IPTCInfo->AddData(2, 120, "keyword", in.U8() % 8);

    std::unique_ptr<TIEBitmap> bmp;
    if (!(flags & 16)) {
        bmp = std::make_unique<TIEBitmap>(width, height, format);
        for (int32_t y = 0; y < height; ++y) {
            const std::string row = in.Bytes(static_cast<size_t>(bmp->GetRowLen()));
            std::memcpy(bmp->GetScanline(y), row.data(), row.size());
        }
        if (format == ie32f)
            for (int32_t y = 0; y < height; ++y)
                for (int32_t x = 0; x < width; ++x) bmp->SetPixelFloat(x, y, (x + y) / 128.0f);
        if (flags & 1) {
            TIEBitmap* a = bmp->GetAlphaChannel();
            for (int32_t y = 0; y < height; ++y)
                for (int32_t x = 0; x < width; ++x) a->SetPixelByte(x, y, static_cast<uint8_t>(in.U8() | (x & 1)));
        }
    }

    TMemoryStream m;
    std::atomic<bool> aborting{false};
    TIOProgressRecord progress;
    progress.Aborting = &aborting;
    if (IEWriteTIFFStream(&m, false, bmp.get(), params, progress) != 1) FuzzFinding("a new file gives a result other than 1");
    if (aborting) {
        // Only a JPEG the library refused (for example a size it does not take) may abort.
        if (params.TIFFCompression != 6 && params.TIFFCompression != 7) FuzzFinding("the writer aborted on a memory stream");
        return 0;
    }
    m.SetPosition(0);
    TIETIFFHandler h;
    if (!h.ReadStream(&m) || h.GetPageCount() != 1) FuzzFinding("the page does not parse");
    CheckPage(h, 0, bmp.get(), m.GetSize());

    if (flags & 8) {
        TIOParamsVals second(nullptr);
        second.TIFFImageIndex = in.U8() % 3;
        auto small = std::make_unique<TIEBitmap>(3, 2, ie24RGB);
        m.SetPosition(0);
        if (IEWriteTIFFStream(&m, true, small.get(), second, progress) != 2) FuzzFinding("the appended page is not the second");
        m.SetPosition(0);
        TIETIFFHandler h2;
        if (!h2.ReadStream(&m) || h2.GetPageCount() != 2) FuzzFinding("the appended file does not have two pages");
    }
    return 0;
}
