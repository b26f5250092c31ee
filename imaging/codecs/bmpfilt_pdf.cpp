// The PDF writer.
#include "bmpfilt_pdf.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "SysUtils.h"
#include "codecs_common.h"
#include "iebitmap.h"
#include "iecoreutils_pdf.h"
#include "jpegfilt.h"
#include "ieprochooks.h"

// The document: every indirect object in number order (the context owns each of them once; the
// objects refer to each other by number only), and the lists that the page tree and the
// resources are built from.
struct TIEPDFContext {
    TIEPDFObjectList Objects;
    TIEPDFObjectList Pages;
    TIEPDFObjectList Images;
    TIEPDFObjectList Contents;
    TIEPDFDictionaryObject* Resources = nullptr;
    TIEPDFDictionaryObject* Catalog = nullptr;
    ~TIEPDFContext() {
        for (TIEPDFObject* obj : Objects) delete obj;
    }
};

namespace {

std::string Num(int64_t V) { return std::to_string(V); }

TIEPDFNameObject* Name(const char* S) { return new TIEPDFNameObject(S); }

std::vector<uint8_t> StreamBytes(TMemoryStream& S) {
    std::vector<uint8_t> d((size_t)S.GetSize());
    if (!d.empty()) std::memcpy(d.data(), S.GetMemory(), d.size());
    return d;
}

// Rows through the TIFF LZW encoder, one call per row of RowBytes, then the flushing call.
// Colour rows are turned into red-green-blue order first.
std::vector<uint8_t> EncodeLZW(TIEBitmap* Bitmap, TTIFFLZWCompressor Encoder, int32_t RowBytes, bool Colour) {
    TMemoryStream coded;
    void* state = nullptr;
    std::vector<uint8_t> rgb(Colour ? (size_t)RowBytes : 0);
    for (int32_t y = 0; y < Bitmap->GetHeight(); ++y) {
        const uint8_t* row = Bitmap->GetScanline(y);
        if (Colour) {
            IECopySwapRBHook(rgb.data(), row, Bitmap->GetWidth());
            row = rgb.data();
        }
        Encoder(row, RowBytes, &coded, state);
    }
    Encoder(nullptr, 0, &coded, state);
    return StreamBytes(coded);
}

}  // namespace

TIEPDFContext* IEPDFCreate() {
    auto context = std::make_unique<TIEPDFContext>();
    context->Catalog = IEPDFAddCatalog(context->Objects);
    auto* resources = new TIEPDFDictionaryObject;
    resources->Keep = true;
    auto* procSet = new TIEPDFArrayObject;
    procSet->Add(Name("PDF"));
    procSet->Add(Name("ImageB"));
    resources->AddItem("ProcSet", procSet);
    resources->AddItem("XObject", new TIEPDFDictionaryObject);
    IEPDFAddObject(context->Objects, resources);
    context->Resources = resources;
    return context.release();
}

void IEPDFSavePage(TIEPDFContext* Context, TIEBitmap* Bitmap, TIOParamsVals& IOParams, TIOProgressRecord& Progress) {
    if (!Context) return;
    // Formats other than 1 bit and 24-bit colour go out as 24-bit colour.
    std::unique_ptr<TIEBitmap> temp;
    TIEBitmap* image = IEBilevelOrRGB(Bitmap, temp);
    const bool bilevel = image->GetPixelFormat() == ie1g;
    const int32_t W = image->GetWidth(), H = image->GetHeight();
    IOParams.BitsPerSample = bilevel ? 1 : 8;
    IOParams.SamplesPerPixel = bilevel ? 1 : 3;
    TTIFFLZWCompressor lzw = IOParams.TIFFLZWCompress ? IOParams.TIFFLZWCompress : IETIFFLZWCompressor;

    std::vector<uint8_t> data;
    // The dictionary entries after "Type", "Subtype", "Width" and "Height", gathered while the data
    // are made (the stream object is made from the finished data).
    std::vector<std::pair<std::string, std::unique_ptr<TIEPDFObject>>> entries;
    const auto add = [&entries](const char* Key, TIEPDFObject* Value) {
        entries.emplace_back(Key, std::unique_ptr<TIEPDFObject>(Value));
    };
    if (bilevel) {
        const int32_t r = (W + 7) / 8;
        if (IOParams.PDFCompression == 4) IOParams.PDFCompression = 3;
        const uint8_t compression = IOParams.PDFCompression;
        const auto rows = [&]() {
            std::vector<uint8_t> d((size_t)r * (size_t)H);
            for (int32_t y = 0; y < H; ++y) std::memcpy(&d[(size_t)y * (size_t)r], image->GetScanline(y), (size_t)r);
            return d;
        };
        if (compression == 1) {
            const std::vector<uint8_t> plain = rows();
            data.resize(2 * plain.size() + 1);
            data.resize((size_t)IERunLengthEncode(plain.data(), (int32_t)plain.size(), data.data()));
            auto* filter = new TIEPDFArrayObject;
            filter->Add(Name("RunLengthDecode"));
            add("Filter", filter);
        } else if (compression == 2 || compression == 3) {
            data = IECCITTEncodeBitmap(image, compression == 2);
            add("Filter", Name("CCITTFaxDecode"));
            auto* parms = new TIEPDFDictionaryObject;
            parms->AddItem("K", new TIEPDFNumericObject(compression == 2 ? -1 : 1));
            parms->AddItem("BlackIs1", new TIEPDFBooleanObject(true));
            parms->AddItem("Columns", new TIEPDFNumericObject(W));
            parms->AddItem("Rows", new TIEPDFNumericObject(H));
            parms->AddItem("EndOfLine", new TIEPDFBooleanObject(false));
            parms->AddItem("Uncompressed", new TIEPDFBooleanObject(true));
            parms->AddItem("EncodedByteAlign", new TIEPDFBooleanObject(false));
            parms->AddItem("EndOfBlock", new TIEPDFBooleanObject(false));
            add("DecodeParms", parms);
        } else if (compression == 5 && lzw) {
            data = EncodeLZW(image, lzw, r, false);
            add("Filter", Name("LZWDecode"));
        } else {
            data = rows();
        }
        add("ColorSpace", Name("DeviceGray"));
        add("BitsPerComponent", new TIEPDFNumericObject(1));
    } else {
        const uint8_t compression = IOParams.PDFCompression;
        if (compression == 5 && lzw) {
            data = EncodeLZW(image, lzw, W * 3, true);
            add("Filter", Name("LZWDecode"));
            add("ColorSpace", Name("DeviceRGB"));
        } else if (compression == 4) {
            TMemoryStream jpeg;
            IEWriteJPEGStream(&jpeg, image, IOParams, Progress);
            data = StreamBytes(jpeg);
            add("Filter", Name("DCTDecode"));
            add("ColorSpace", Name(IOParams.JPEGColorSpace == 1 ? "DeviceGray" : "DeviceRGB"));
        } else {
            const size_t rowBytes = (size_t)W * 3;
            data.resize(rowBytes * (size_t)H);
            for (int32_t y = 0; y < H; ++y) IECopySwapRBHook(&data[(size_t)y * rowBytes], image->GetScanline(y), W);
            add("ColorSpace", Name("DeviceRGB"));
        }
        add("BitsPerComponent", new TIEPDFNumericObject(8));
    }

    auto* imageObj = new TIEPDFStreamObject(data.data(), (int32_t)data.size());
    std::vector<uint8_t>().swap(data);
    TIEPDFDictionaryObject* target = imageObj->GetDictionary();
    target->InsertItem(0, "Type", Name("XObject"));
    target->InsertItem(1, "Subtype", Name("Image"));
    target->AddItem("Width", new TIEPDFNumericObject(W));
    target->AddItem("Height", new TIEPDFNumericObject(H));
    for (auto& entry : entries) target->AddItem(entry.first, entry.second.release());
    IEPDFAddObject(Context->Objects, imageObj);
    Context->Images.push_back(imageObj);
    imageObj->MoveToTempFile();

    const int32_t k = (int32_t)Context->Images.size();
    const long double s = std::min((long double)IOParams.PDFPaperWidth / (W > 0 ? W : 1),
                                   (long double)IOParams.PDFPaperHeight / (H > 0 ? H : 1));
    const int64_t w = std::max<int64_t>(1, (int64_t)(W * s));
    const int64_t h = std::max<int64_t>(1, (int64_t)(H * s));
    const std::string text = "q\n" + Num(w) + " 0 0 " + Num(h) + " 0 " + Num(IOParams.PDFPaperHeight - h) + " cm\n/lm" +
                             Num(k) + " Do\nQ";
    auto* content = new TIEPDFStreamObject(text.data(), (int32_t)text.size());
    IEPDFAddObject(Context->Objects, content);
    Context->Contents.push_back(content);

    auto* xobjects = static_cast<TIEPDFDictionaryObject*>(Context->Resources->GetItem("XObject"));
    xobjects->AddItem("lm" + Num(k), new TIEPDFRefObject(imageObj->ObjectNumber, 0));

    auto* mediaBox = new TIEPDFArrayObject;
    mediaBox->Add(new TIEPDFNumericObject(0));
    mediaBox->Add(new TIEPDFNumericObject(0));
    mediaBox->Add(new TIEPDFNumericObject(IOParams.PDFPaperWidth));
    mediaBox->Add(new TIEPDFNumericObject(IOParams.PDFPaperHeight));
    IEPDFAddPage(Context->Objects, Context->Pages, Context->Resources, mediaBox, content->ObjectNumber);
}

void IEPDFClose(TIEPDFContext* Context, TStream& Stream, TIOParamsVals& IOParams) {
    if (!Context) return;
    std::unique_ptr<TIEPDFContext> owned(Context);
    IEPDFAddPages(Context->Objects, Context->Pages);
    auto* info = new TIEPDFDictionaryObject;
    IEPDFAddObject(Context->Objects, info);
    const std::pair<const char*, const std::string*> fields[] = {
        {"Title", &IOParams.PDFTitle},       {"Author", &IOParams.PDFAuthor},   {"Subject", &IOParams.PDFSubject},
        {"Keywords", &IOParams.PDFKeywords}, {"Creator", &IOParams.PDFCreator}, {"Producer", &IOParams.PDFProducer}};
    for (const auto& f : fields)
        if (!f.second->empty()) info->AddItem(f.first, new TIEPDFStringObject(*f.second));
    info->AddItem("CreationDate",
                  new TIEPDFStringObject("D:" + WideToAnsi(FormatDateTime(L"yyyymmddhhnnss", Now()))));
    IEPDFWriteHeader(&Stream);
    IEPDFWriteObjects(&Stream, Context->Objects);
    IEPDFWriteTrailer(&Stream, Context->Objects, info);
}

void IEWritePDFStream(TStream& Stream, TIEBitmap* Bitmap, TIOParamsVals& IOParams, TIOProgressRecord& Progress) {
    std::unique_ptr<TIEPDFContext> context(IEPDFCreate());
    IEPDFSavePage(context.get(), Bitmap, IOParams, Progress);
    IEPDFClose(context.release(), Stream, IOParams);
}
