// The PostScript and PDF writers: document structure, page fitting and the choice of coding. Their
// pages are rendered by Ghostscript in the native tool tests.
#include <gtest/gtest.h>

#include <string>

#include "Classes.h"
#include "CodecTestUtil.h"
#include "bmpfilt_pdf.h"
#include "bmpfilt_ps.h"
#include "iebitmap.h"
#include "tiflzw.h"

using codectest::Contents;
using codectest::TCall;

namespace {

TIEBitmap* Picture(int32_t W, int32_t H, TIEPixelFormat Format) {
    auto* b = new TIEBitmap(W, H, Format);
    for (int32_t y = 0; y < H; ++y) {
        uint8_t* row = b->GetScanline(y);
        for (int32_t x = 0; x < W; ++x) {
            const bool set = (x * y) % 200 >= 100 || x == y;
            if (Format == ie1g)
                row[x >> 3] = (uint8_t)(set ? row[x >> 3] | (0x80 >> (x & 7)) : row[x >> 3] & ~(0x80 >> (x & 7)));
            else if (Format == ie8g)
                row[x] = (uint8_t)(x * 5 + y);
            else
                b->SetPixelRGB(x, y, TIERGB{(uint8_t)(x * 2), (uint8_t)(y * 3), (uint8_t)(set ? 255 : 0)});
        }
    }
    return b;
}

size_t Count(const std::string& S, const std::string& Part) {
    size_t n = 0;
    for (size_t at = S.find(Part); at != std::string::npos; at = S.find(Part, at + 1)) ++n;
    return n;
}

bool EndsWith(const std::string& S, const std::string& Tail) {
    return S.size() >= Tail.size() && S.compare(S.size() - Tail.size(), Tail.size(), Tail) == 0;
}

}  // namespace

TEST(PSWriter, OnePageDocument) {
    std::unique_ptr<TIEBitmap> b(Picture(119, 84, ie24RGB));
    TCall c;
    TMemoryStream s;
    IEWritePSStream(s, b.get(), c.Params, c.Progress);
    const std::string ps = Contents(s);
    EXPECT_EQ(ps.rfind("%!PS-Adobe-3.0\r\n%%Creator: Pictura\r\n%%Title: No Title\r\n%%CreationDate: ", 0), 0u);
    EXPECT_NE(ps.find("\r\n%%DocumentData: Clean7Bit\r\n%%LanguageLevel: 2\r\n%%Pages: 1     \r\n"
                      "%%BoundingBox: 0 0 594 841\r\n%%EndComments\r\n%%Page: 1 1\r\n0 842 translate\r\n"
                      "595 -420 scale\r\n119 84 8\r\n[ 119 0 0 84 0 0 ]\r\n/rstr 119 string def\r\n"),
              std::string::npos);
    EXPECT_NE(ps.find("\r\ntrue 3\r\n%%BeginData:      "), std::string::npos);
    EXPECT_EQ(Count(ps, "~>\r\n"), 84u * 3);   // one RunLength block per row and channel
    EXPECT_TRUE(EndsWith(ps, "%%EndData\r\nshowpage\r\n%%Trailer\r\n%%EOF\r\n"));
    EXPECT_EQ(c.Params.BitsPerSample, 8);
    EXPECT_EQ(c.Params.SamplesPerPixel, 3);
    for (unsigned char ch : ps) ASSERT_LT(ch, 128);   // 7-bit clean
}

// Two pages between create and close count 2; an ie1g image written while BitsPerSample holds 8
// gives one bit per sample; a 1-bit page cannot be JPEG and is coded with group 3 2-D instead.
TEST(PSWriter, PagesAndBilevelCodings) {
    std::unique_ptr<TIEBitmap> bw(Picture(40, 20, ie1g));
    const struct {
        uint8_t Compression;
        const char* Source;
    } cases[] = {
        {0, "currentfile /ASCII85Decode filter /RunLengthDecode filter\r\n"},
        {1, "<< /K -1 /BlackIs1 true /Columns 40 /Rows 20 /EndOfLine false /Uncompressed true "
            "/EncodedByteAlign false /EndOfBlock false >> /CCITTFaxDecode filter\r\n"},
        {2, "<< /K 1 /BlackIs1 true /Columns 40"},
        {3, "<< /K 1 /BlackIs1 true /Columns 40"},
    };
    for (const auto& k : cases) {
        TCall c;
        c.Params.BitsPerSample = 8;
        c.Params.PSCompression = k.Compression;
        TMemoryStream s;
        TIEPSContext* doc = IEPSCreate(s, c.Params);
        IEPSSavePage(doc, s, bw.get(), c.Params, c.Progress);
        IEPSSavePage(doc, s, bw.get(), c.Params, c.Progress);
        IEPSClose(doc, s);
        const std::string ps = Contents(s);
        EXPECT_NE(ps.find("%%Pages: 2     \r\n"), std::string::npos);
        EXPECT_NE(ps.find("%%Page: 1 1\r\n"), std::string::npos);
        EXPECT_NE(ps.find("%%Page: 2 2\r\n"), std::string::npos);
        EXPECT_EQ(Count(ps, "\r\n40 20 1\r\n"), 2u);
        EXPECT_EQ(Count(ps, k.Source), 2u) << (int)k.Compression;
        EXPECT_EQ(Count(ps, "\r\nimage\r\n"), 2u);
        EXPECT_EQ(c.Params.BitsPerSample, 1);
        EXPECT_TRUE(EndsWith(ps, "showpage\r\n%%Trailer\r\n%%EOF\r\n"));
    }
    TMemoryStream untouched;
    IEPSClose(nullptr, untouched);   // nothing
    EXPECT_EQ(untouched.GetSize(), 0);
}

// The 1-bit page's own coding leaves the caller's choice alone: a colour page after it is JPEG.
TEST(PSWriter, BilevelPageKeepsJPEGForTheColourPagesAfterIt) {
    std::unique_ptr<TIEBitmap> bw(Picture(40, 20, ie1g)), colour(Picture(30, 10, ie24RGB));
    TCall c;
    c.Params.PSCompression = 3;
    TMemoryStream s;
    TIEPSContext* doc = IEPSCreate(s, c.Params);
    IEPSSavePage(doc, s, bw.get(), c.Params, c.Progress);
    EXPECT_EQ(c.Params.PSCompression, 3);
    IEPSSavePage(doc, s, colour.get(), c.Params, c.Progress);
    IEPSClose(doc, s);
    const std::string ps = Contents(s);
    EXPECT_EQ(Count(ps, "<< /K 1 /BlackIs1 true /Columns 40"), 1u);
    EXPECT_EQ(Count(ps, "/DCTDecode filter\r\nfalse 3\r\n"), 1u);
}

TEST(PDFWriter, PageLayoutAndInformation) {
    std::unique_ptr<TIEBitmap> b(Picture(119, 84, ie24RGB));
    TCall c;
    TMemoryStream s;
    IEWritePDFStream(s, b.get(), c.Params, c.Progress);
    const std::string pdf = Contents(s);
    EXPECT_EQ(pdf.rfind("%PDF-1.4\n", 0), 0u);
    EXPECT_NE(pdf.find("stream\nq\n595 0 0 420 0 422 cm\n/lm1 Do\nQ\nendstream"), std::string::npos);
    EXPECT_NE(pdf.find("/ProcSet [/PDF /ImageB ]"), std::string::npos);
    EXPECT_NE(pdf.find("/lm1 3 0 R"), std::string::npos);
    // The colour image with the default (group 4) coding goes out without a filter.
    EXPECT_EQ(pdf.find("/Filter"), std::string::npos);
    EXPECT_NE(pdf.find("/ColorSpace /DeviceRGB"), std::string::npos);
    EXPECT_NE(pdf.find("/CreationDate (D:"), std::string::npos);
    EXPECT_EQ(pdf.find("/Title"), std::string::npos);
    EXPECT_EQ(pdf.find("/Author"), std::string::npos);
    EXPECT_TRUE(EndsWith(pdf, "%%EOF\n"));

    TCall t;
    t.Params.PDFTitle = "A (title)";
    t.Params.PDFProducer = "Pictura";
    TMemoryStream s2;
    IEWritePDFStream(s2, b.get(), t.Params, t.Progress);
    const std::string pdf2 = Contents(s2);
    EXPECT_NE(pdf2.find("/Title (A \\(title\\))\n/Producer (Pictura)\n/CreationDate"), std::string::npos);
}

// The filter each compression gives: 1-bit JPEG becomes group 3 2-D (and the parameters say so);
// colour images have no RunLength or fax form and go out uncompressed.
TEST(PDFWriter, CompressionChoice) {
    std::unique_ptr<TIEBitmap> bw(Picture(33, 9, ie1g));
    std::unique_ptr<TIEBitmap> rgb(Picture(33, 9, ie24RGB));
    std::unique_ptr<TIEBitmap> grey(Picture(33, 9, ie8g));
    const struct {
        TIEBitmap* Image;
        uint8_t Compression;
        const char* Filter;   // empty: none
        uint8_t After;
    } cases[] = {
        {bw.get(), 0, "", 0},
        {bw.get(), 1, "/Filter [/RunLengthDecode ]", 1},
        {bw.get(), 2, "/Filter /CCITTFaxDecode\n/DecodeParms << /K -1\n/BlackIs1 true\n/Columns 33\n/Rows 9\n", 2},
        {bw.get(), 4, "/Filter /CCITTFaxDecode\n/DecodeParms << /K 1\n", 3},
        {bw.get(), 5, "/Filter /LZWDecode", 5},
        {rgb.get(), 1, "", 1},
        {rgb.get(), 2, "", 2},
        {rgb.get(), 3, "", 3},
        {rgb.get(), 4, "/Filter /DCTDecode", 4},
        {rgb.get(), 5, "/Filter /LZWDecode", 5},
        {grey.get(), 0, "", 0},
    };
    for (const auto& k : cases) {
        TCall c;
        c.Params.PDFCompression = k.Compression;
        c.Params.TIFFLZWCompress = IETIFFLZWCompress;
        TMemoryStream s;
        IEWritePDFStream(s, k.Image, c.Params, c.Progress);
        const std::string pdf = Contents(s);
        const bool bilevel = k.Image->GetPixelFormat() == ie1g;
        if (*k.Filter)
            EXPECT_NE(pdf.find(k.Filter), std::string::npos) << (int)k.Compression << bilevel;
        else
            EXPECT_EQ(pdf.find("/Filter"), std::string::npos) << (int)k.Compression << bilevel;
        EXPECT_EQ(c.Params.PDFCompression, k.After);
        EXPECT_EQ(c.Params.BitsPerSample, bilevel ? 1 : 8);
        EXPECT_NE(pdf.find("<< /Type /XObject\n/Subtype /Image\n"), std::string::npos);
        EXPECT_NE(pdf.find(bilevel ? "/ColorSpace /DeviceGray\n/BitsPerComponent 1" : "/BitsPerComponent 8"),
                  std::string::npos);
    }
}

// Pages added one by one share the resources; each names its own image.
TEST(PDFWriter, MultiPage) {
    std::unique_ptr<TIEBitmap> a(Picture(10, 20, ie24RGB));
    std::unique_ptr<TIEBitmap> b(Picture(20, 10, ie1g));
    TCall c;
    TIEPDFContext* doc = IEPDFCreate();
    IEPDFSavePage(doc, a.get(), c.Params, c.Progress);
    IEPDFSavePage(doc, b.get(), c.Params, c.Progress);
    TMemoryStream s;
    IEPDFClose(doc, s, c.Params);
    const std::string pdf = Contents(s);
    EXPECT_NE(pdf.find("/Count 2"), std::string::npos);
    EXPECT_NE(pdf.find("/lm1 "), std::string::npos);
    EXPECT_NE(pdf.find("/lm2 "), std::string::npos);
    EXPECT_NE(pdf.find("/lm2 Do"), std::string::npos);
    EXPECT_EQ(Count(pdf, "/Resources 2 0 R"), 2u);
    IEPDFClose(nullptr, s, c.Params);   // nothing
}
