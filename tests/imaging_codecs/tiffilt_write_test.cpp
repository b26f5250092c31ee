// The TIFF writer: every pixel format and compression it offers, read back by the core's TIFF
// handler for the structure; the pages go to the build folder (tiffwrite-out) with the pixels
// libtiff must give for them, where check_tiff_written.sh hands them to tiffinfo, tiff2rgba and
// exiftool. Also the extra page linked into an existing file, the metadata-only page, the EXIF
// block writer and a stream that fills up.
#include <gtest/gtest.h>

#include <cstdio>
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "ByteOrder.h"
#include "CodecTestUtil.h"
#include "SysUtils.h"
#include "TestSupport.h"
#include "iebitmap.h"
#include "iecoreutils_exif_tiff.h"
#include "iecoreutils_tiffhandler.h"
#include "iecoreutils_wang.h"
#include "tifccitt.h"
#include "tiffilt_write.h"
#include "tiflzw.h"

using codectest::TCall;

namespace {

std::string OutDir() { return std::string(TEST_BUILD_DIR "/tiffwrite-out"); }

void SaveBytes(const std::string& Name, const void* Data, size_t Size) {
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(Utf8ToWide(OutDir())), ec);
    TFileStream f(Utf8ToWide(OutDir() + "/" + Name), fmCreate);
    if (Size) f.WriteBuffer(Data, static_cast<int32_t>(Size));
}

// The expected tiff2rgba result: width, height (LE32 each), a tolerance byte, then RGBA rows top
// down.
struct TExpect {
    int32_t W = 0, H = 0;
    uint8_t Tolerance = 0;
    std::vector<uint8_t> RGBA;
};
void SaveExpect(const std::string& Name, const TExpect& E) {
    std::vector<uint8_t> b(9);
    ByteOrder::PutLE32(&b[0], static_cast<uint32_t>(E.W));
    ByteOrder::PutLE32(&b[4], static_cast<uint32_t>(E.H));
    b[8] = E.Tolerance;
    b.insert(b.end(), E.RGBA.begin(), E.RGBA.end());
    SaveBytes(Name + ".expect", b.data(), b.size());
}

TExpect ExpectOf(TIEBitmap& B, uint8_t Tolerance) {
    TExpect e;
    e.W = B.GetWidth();
    e.H = B.GetHeight();
    e.Tolerance = Tolerance;
    for (int32_t y = 0; y < e.H; ++y)
        for (int32_t x = 0; x < e.W; ++x) {
            uint8_t r, g, b, a = 255;
            if (B.GetPixelFormat() == ieCMYK) {
                const uint32_t v = B.GetPixelCMYK(x, y);   // stored 255 - ink
                const uint32_t sk = v >> 24 & 0xFF;
                r = static_cast<uint8_t>(sk * (v & 0xFF) / 255);
                g = static_cast<uint8_t>(sk * (v >> 8 & 0xFF) / 255);
                b = static_cast<uint8_t>(sk * (v >> 16 & 0xFF) / 255);
            } else {
                const TIERGB c = B.GetPixelAsRGB(x, y);
                r = c.r;
                g = c.g;
                b = c.b;
                if (B.HasAlphaChannel()) a = B.GetAlpha(x, y);   // Pillow gives the colours unmultiplied
            }
            e.RGBA.insert(e.RGBA.end(), {r, g, b, a});
        }
    return e;
}

// Test images: a colour gradient with a few flat areas, its grey and bilevel cousins.
std::unique_ptr<TIEBitmap> MakeImage(TIEPixelFormat Format, int32_t W = 37, int32_t H = 23) {
    auto b = std::make_unique<TIEBitmap>(W, H, Format);
    for (int32_t y = 0; y < H; ++y)
        for (int32_t x = 0; x < W; ++x) {
            const uint8_t r = static_cast<uint8_t>(x * 7), g = static_cast<uint8_t>(y * 11), bl = static_cast<uint8_t>((x + y) * 5);
            const bool flat = x > W / 2;   // runs for PackBits and the fax codings
            switch (Format) {
            case ie1g: {
                uint8_t& byte = b->GetScanline(y)[x / 8];
                const uint8_t bit = static_cast<uint8_t>(0x80 >> (x % 8));
                if ((x / 3 + y / 2) % 3 == 0 || (flat && y > 4)) byte &= static_cast<uint8_t>(~bit);
                else byte |= bit;
                break;
            }
            case ie8g: b->SetPixelByte(x, y, flat ? 200 : static_cast<uint8_t>(x * 6 + y)); break;
            case ie8p: b->SetPixelByte(x, y, static_cast<uint8_t>((x + y) % 16)); break;
            case ie16g: b->SetPixelWord(x, y, static_cast<uint16_t>(x * 1500 + y * 300)); break;
            case ie24RGB: b->SetPixelRGB(x, y, flat ? TIERGB{40, 80, 160} : TIERGB{bl, g, r}); break;
            case ieCMYK: b->SetPixelCMYK(x, y, 0xFF000000u | uint32_t(r) | uint32_t(g) << 8 | uint32_t(bl) << 16); break;
            case ieRGB48: b->SetPixelRGB48(x, y, static_cast<uint16_t>(x * 1700), static_cast<uint16_t>(y * 2800), 0x8080); break;
            default: break;
            }
        }
    if (Format == ie8p)
        for (int i = 0; i < 16; ++i) b->SetPaletteEntry(i, TIERGB{uint8_t(i * 16), uint8_t(255 - i * 16), uint8_t(i * 9)});
    return b;
}

struct TPage {
    std::string File;
    std::unique_ptr<TIETIFFHandler> H;
    int32_t V(uint16_t Tag, int32_t K = 0) { return H->GetTagValueByTag(0, Tag, K); }
    bool Has(uint16_t Tag) { return H->FindTag(0, Tag) >= 0; }
    uint32_t Count(uint16_t Tag) {
        const int32_t i = H->FindTag(0, Tag);
        return i < 0 ? 0 : H->GetCount((*H->GetPageList(0))[i]);
    }
    uint16_t Type(uint16_t Tag) {
        const int32_t i = H->FindTag(0, Tag);
        return i < 0 ? 0 : H->GetType((*H->GetPageList(0))[i]);
    }
    std::vector<uint8_t> Data(uint16_t Tag) {
        const int32_t i = H->FindTag(0, Tag);
        return i < 0 ? std::vector<uint8_t>() : H->GetTagData((*H->GetPageList(0))[i]);
    }
};

TPage Parse(TMemoryStream& M) {
    TPage p;
    p.File.assign(static_cast<const char*>(M.GetMemory()), static_cast<size_t>(M.GetSize()));
    M.SetPosition(0);
    p.H = std::make_unique<TIETIFFHandler>();
    EXPECT_TRUE(p.H->ReadStream(&M));
    EXPECT_EQ(p.H->GetPageCount(), 1);
    return p;
}

// Writes Bitmap with the call's parameters as a new file, keeps it for the tools' check (with the
// pixels expected of libtiff when Tolerance >= 0) and returns the parsed page.
TPage WriteCase(const std::string& Name, TIEBitmap* Bitmap, TCall& C, int Tolerance = 0) {
    TMemoryStream m;
    EXPECT_EQ(IEWriteTIFFStream(&m, false, Bitmap, C.Params, C.Progress), 1) << Name;
    EXPECT_FALSE(C.Aborting) << Name;
    SaveBytes(Name + ".tif", m.GetMemory(), static_cast<size_t>(m.GetSize()));
    if (Bitmap && Tolerance >= 0) {
        SaveExpect(Name, ExpectOf(*Bitmap, static_cast<uint8_t>(Tolerance)));
    } else {   // no pixel check: an expectation left by an earlier run must not stay
        std::error_code ec;
        std::filesystem::remove(std::filesystem::path(Utf8ToWide(OutDir() + "/" + Name + ".expect")), ec);
    }
    return Parse(m);
}

// An entry read straight from the file (the handler keeps sub-IFDs and image blocks as its own
// items, so positions come from the bytes).
struct TRawEntry {
    uint16_t Type = 0;
    uint32_t Count = 0, Value = 0;
    bool Found = false;
};
TRawEntry RawTag(const std::string& F, uint32_t IFD, uint16_t Tag) {
    TRawEntry r;
    if (IFD + 2 > F.size()) return r;
    const uint16_t n = ByteOrder::GetLE16(&F[IFD]);
    for (uint16_t i = 0; i < n && IFD + 2 + 12u * (i + 1) <= F.size(); ++i) {
        const char* e = &F[IFD + 2 + 12 * i];
        if (ByteOrder::GetLE16(e) == Tag) {
            r.Type = ByteOrder::GetLE16(e + 2);
            r.Count = ByteOrder::GetLE32(e + 4);
            r.Value = ByteOrder::GetLE32(e + 8);
            r.Found = true;
        }
    }
    return r;
}
uint32_t NextIFD(const std::string& F, uint32_t IFD) {
    return ByteOrder::GetLE32(&F[IFD + 2 + 12 * ByteOrder::GetLE16(&F[IFD])]);
}

class TIFFWriter : public ::testing::Test {
protected:
    static void SetUpTestSuite() { IEInitializeCCITT(); }
};

// ---- Pixel formats and compressions --------------------------------------------------------------------

struct TFormatCase {
    const char* Name;
    TIEPixelFormat Format;
    int32_t Samples, Bits;      // parameters asked for
    int32_t Compression;        // TIFFCompression kind
    int32_t WantCode, WantPhotometric, WantSamples, WantBits;
    int Tolerance;
};

TEST_F(TIFFWriter, EveryFormatAndCompressionGivesTheTagsOfItsRows) {
    const TFormatCase cases[] = {
        {"rgb_none", ie24RGB, 3, 8, 0, 1, 2, 3, 8, 0},
        {"rgb_lzw", ie24RGB, 3, 8, 5, 5, 2, 3, 8, 0},
        {"rgb_packbits", ie24RGB, 3, 8, 8, 32773, 2, 3, 8, 0},
        {"rgb_deflate", ie24RGB, 3, 8, 9, 32946, 2, 3, 8, 0},
        {"rgb_deflate10", ie24RGB, 3, 8, 10, 32946, 2, 3, 8, 0},
        {"rgb_jpeg", ie24RGB, 3, 8, 7, 7, 6, 3, 8, 64},   // lossy: sharp edges ring
        {"bw_none", ie1g, 1, 1, 0, 1, 1, 1, 1, 0},
        {"bw_lzw", ie1g, 1, 1, 5, 5, 1, 1, 1, 0},
        {"bw_packbits", ie1g, 1, 1, 8, 32773, 1, 1, 1, 0},
        {"bw_deflate", ie1g, 1, 1, 9, 32946, 1, 1, 1, 0},
        {"bw_mh", ie1g, 1, 1, 1, 2, 0, 1, 1, 0},
        {"bw_g3", ie1g, 1, 1, 2, 3, 0, 1, 1, 0},
        {"bw_g32d", ie1g, 1, 1, 3, 3, 0, 1, 1, 0},
        {"bw_g4", ie1g, 1, 1, 4, 4, 0, 1, 1, 0},
        {"grey8_none", ie8g, 3, 8, 0, 1, 1, 1, 8, 0},
        {"grey8_lzw", ie8g, 1, 8, 5, 5, 1, 1, 8, 0},
        {"palette8_packbits", ie8p, 1, 8, 8, 32773, 3, 1, 8, 0},
        {"grey16_deflate", ie16g, 1, 16, 9, 32946, 1, 1, 16, 1},
        {"rgb_to_palette4", ie24RGB, 1, 4, 0, 1, 3, 1, 4, 0},
        {"rgb_to_palette2_lzw", ie24RGB, 1, 2, 5, 5, 3, 1, 2, 0},
        {"cmyk_lzw", ieCMYK, 4, 8, 5, 5, 5, 4, 8, 0},
        {"rgb48_none", ieRGB48, 3, 8, 0, 1, 2, 3, 16, 1},
        {"rgb48_deflate", ieRGB48, 1, 3, 9, 32946, 2, 3, 16, 1},
        {"rgb_fax_fallback", ie24RGB, 3, 8, 4, 1, 2, 3, 8, 0},
    };
    for (const TFormatCase& t : cases) {
        SCOPED_TRACE(t.Name);
        std::unique_ptr<TIEBitmap> bmp;
        if (std::string(t.Name).find("to_palette") != std::string::npos) {
            // Few colours: the palette holds them exactly.
            bmp = std::make_unique<TIEBitmap>(29, 17, ie24RGB);
            const TIERGB colours[4] = {{0, 0, 255}, {0, 255, 0}, {255, 0, 0}, {30, 60, 90}};
            for (int32_t y = 0; y < 17; ++y)
                for (int32_t x = 0; x < 29; ++x) bmp->SetPixelRGB(x, y, colours[(x / 4 + y) % 4]);
        } else {
            bmp = MakeImage(t.Format);
        }
        TCall c;
        c.Params.SamplesPerPixel = t.Samples;
        c.Params.BitsPerSample = t.Bits;
        c.Params.TIFFCompression = static_cast<uint8_t>(t.Compression);
        c.Params.TIFFLZWCompress = IETIFFLZWCompress;
        TPage p = WriteCase(t.Name, bmp.get(), c, t.Tolerance);
        EXPECT_EQ(p.V(256), bmp->GetWidth());
        EXPECT_EQ(p.V(257), bmp->GetHeight());
        EXPECT_EQ(p.V(259), t.WantCode);
        EXPECT_EQ(p.V(262), t.WantPhotometric);
        EXPECT_EQ(p.V(277), t.WantSamples);
        EXPECT_EQ(p.V(258), t.WantBits);
        EXPECT_EQ(static_cast<int32_t>(p.Count(258)), t.WantPhotometric == 3 || t.WantPhotometric <= 1 ? 1 : t.WantSamples);
        EXPECT_EQ(p.V(254), 0);
        EXPECT_TRUE(p.Has(273));
        EXPECT_EQ(p.Count(273), p.Count(279));
        EXPECT_EQ(p.Has(317), t.WantCode == 5 && t.WantPhotometric == 2 && t.Format == ie24RGB);
        if (t.WantPhotometric == 3) {
            EXPECT_EQ(p.Count(320), 3u << t.WantBits);
        }
        if (t.WantCode == 3) {
            EXPECT_EQ(p.V(292), t.Compression == 3 ? 1 : 0);
            EXPECT_EQ(p.V(293), 0);
        }
        if (t.WantCode == 4) {
            EXPECT_EQ(p.V(292), 0);
            EXPECT_EQ(p.V(293), 0);
        }
        // The parameters tell what was written.
        EXPECT_EQ(c.Params.SamplesPerPixel, t.WantSamples);
    }
}

TEST_F(TIFFWriter, ColourImageWithOneSampleBecomesGreyOrAPaletteOf256) {
    auto grey = std::make_unique<TIEBitmap>(16, 8, ie24RGB);
    auto colour = std::make_unique<TIEBitmap>(16, 8, ie24RGB);
    for (int32_t y = 0; y < 8; ++y)
        for (int32_t x = 0; x < 16; ++x) {
            const uint8_t v = static_cast<uint8_t>(x * 16 + y);
            grey->SetPixelRGB(x, y, TIERGB{v, v, v});
            colour->SetPixelRGB(x, y, TIERGB{v, static_cast<uint8_t>(255 - v), static_cast<uint8_t>(y * 30)});
        }
    TCall a, b;
    a.Params.SamplesPerPixel = b.Params.SamplesPerPixel = 1;
    a.Params.BitsPerSample = b.Params.BitsPerSample = 8;
    TPage pg = WriteCase("rgb_grey_to_grey8", grey.get(), a);
    EXPECT_EQ(pg.V(262), 1);
    EXPECT_FALSE(pg.Has(320));
    TPage pc = WriteCase("rgb_colour_to_palette8", colour.get(), b);
    EXPECT_EQ(pc.V(262), 3);
    EXPECT_EQ(pc.Count(320), 768u);
    // A palette save asked with JPEG is written uncompressed.
    TCall j;
    j.Params.SamplesPerPixel = 1;
    j.Params.BitsPerSample = 8;
    j.Params.TIFFCompression = 7;
    TPage pj = WriteCase("rgb_palette_jpeg_asked", colour.get(), j);
    EXPECT_EQ(pj.V(259), 1);
    EXPECT_EQ(j.Params.TIFFCompression, 0);
}

TEST_F(TIFFWriter, PartlyTransparentImageGetsAnAlphaSampleWithLZWButNotWithDeflate) {
    auto bmp = MakeImage(ie24RGB, 20, 10);
    TIEBitmap* alpha = bmp->GetAlphaChannel();
    for (int32_t y = 0; y < 10; ++y)
        for (int32_t x = 0; x < 20; ++x) alpha->SetPixelByte(x, y, static_cast<uint8_t>(128 + x * 6));
    TCall l;
    l.Params.TIFFCompression = 5;
    l.Params.TIFFLZWCompress = IETIFFLZWCompress;
    TPage pl = WriteCase("rgba_lzw", bmp.get(), l, 2);
    EXPECT_EQ(pl.V(277), 4);
    EXPECT_EQ(pl.Count(258), 4u);
    EXPECT_EQ(pl.V(338), 2);
    EXPECT_FALSE(pl.Has(317));
    TCall d;
    d.Params.TIFFCompression = 9;
    TPage pd = WriteCase("rgba_deflate", bmp.get(), d, -1);
    EXPECT_EQ(pd.V(277), 3);
    EXPECT_FALSE(pd.Has(338));
}

TEST_F(TIFFWriter, OtherPixelFormatsAreWrittenFromAColourCopy) {
    auto lab = std::make_unique<TIEBitmap>(8, 4, ie32RGB);
    auto src = MakeImage(ie24RGB, 8, 4);
    lab->ConvertFrom(src.get());
    TCall c;
    TPage p = WriteCase("rgb32_none", lab.get(), c);
    EXPECT_EQ(p.V(277), 3);
    EXPECT_EQ(p.Count(279), 1u);
    EXPECT_EQ(p.V(279), 8 * 4 * 3);
}

TEST_F(TIFFWriter, CIELabPhotometricWritesLabSamples) {
    auto bmp = MakeImage(ie24RGB, 12, 6);
    TCall c;
    c.Params.TIFFPhotometric = 7;
    TPage p = WriteCase("rgb_cielab", bmp.get(), c, -1);
    EXPECT_EQ(p.V(262), 8);
    EXPECT_EQ(p.V(277), 3);
}

TEST_F(TIFFWriter, LargeImagesAreCutIntoStripsOfAbout512KB) {
    auto bmp = std::make_unique<TIEBitmap>(1000, 500, ie24RGB);   // 1.5 MB of rows
    TCall c;
    c.Params.TIFFCompression = 8;   // PackBits: strips too
    TPage p = WriteCase("rgb_strips", bmp.get(), c, -1);
    // 500 rows of 3000 bytes: 1,500,000 div 524,288 = 2 strips of 250 rows.
    EXPECT_EQ(p.V(278), 250);
    EXPECT_EQ(p.Count(273), 2u);
    EXPECT_EQ(p.Type(273), 4);
}

// ---- Tags --------------------------------------------------------------------------------------------

TEST_F(TIFFWriter, TextsUpToFourCharactersStandInline) {
    auto bmp = MakeImage(ie8g, 4, 4);
    TCall c;
    c.Params.TIFFDocumentName = "abcd";
    c.Params.TIFFPageName = "abcde";
    c.Params.TIFFImageDescription = "a description";
    c.Params.TIFFPageNumber = 2;
    c.Params.TIFFPageCount = 5;
    TPage p = WriteCase("texts", bmp.get(), c);
    EXPECT_EQ(p.Count(269), 4u);
    EXPECT_EQ(p.H->GetTagValueByTag(0, 269, 3), 'd');
    EXPECT_EQ(p.Count(285), 6u);
    const std::vector<uint8_t> pn = p.Data(285);
    EXPECT_EQ(std::string(pn.begin(), pn.end()), std::string("abcde\0", 6));
    EXPECT_EQ(p.V(297, 0), 2);
    EXPECT_EQ(p.V(297, 1), 5);
    // Without EXIF data: the description and the resolution of the parameters.
    EXPECT_EQ(p.Count(270), 14u);
    EXPECT_EQ(p.V(296), 2);
}

TEST_F(TIFFWriter, ResolutionIsWrittenAsWholeFractions) {
    auto bmp = MakeImage(ie8g, 4, 4);
    TCall c;
    c.Params.SetDpiX(300);
    c.Params.SetDpiY(150);
    TPage p = WriteCase("dpi300", bmp.get(), c);
    const std::vector<uint8_t> x = p.Data(282), y = p.Data(283);
    ASSERT_EQ(x.size(), 8u);
    EXPECT_EQ(ByteOrder::GetLE32(&x[0]), 300u);
    EXPECT_EQ(ByteOrder::GetLE32(&x[4]), 1u);
    EXPECT_EQ(ByteOrder::GetLE32(&y[0]), 150u);
    EXPECT_EQ(p.V(296), 2);
}

TEST_F(TIFFWriter, IPTCCountsWholeLongsAndCarriesPaddedData) {
    for (int n : {2, 4, 6}) {
        SCOPED_TRACE(n);
        auto bmp = MakeImage(ie8g, 4, 4);
        TCall c;
        c.Params.IPTCInfo->AddData(2, 120, "abcdef", n);
        std::vector<uint8_t> block;
        c.Params.IPTCInfo->SaveToBuffer(block, false);
        TPage p = WriteCase("iptc" + std::to_string(n), bmp.get(), c);
        EXPECT_EQ(p.Count(33723), (block.size() + 3) / 4);
        EXPECT_EQ(p.Type(33723), 4);
        std::vector<uint8_t> got = p.Data(33723);
        ASSERT_GE(got.size(), block.size());
        EXPECT_EQ(std::vector<uint8_t>(got.begin(), got.begin() + block.size()), block);
    }
}

TEST_F(TIFFWriter, XMPAndAnnotationsAreCarried) {
    auto bmp = MakeImage(ie8g, 4, 4);
    TCall c;
    c.Params.XMPInfo = "<x:xmpmeta xmlns:x='adobe:ns:meta/'></x:xmpmeta>";
    TIEImagingObject* obj = new TIEImagingObject();
    obj->Text = "note";
    c.Params.GetImagingAnnot()->Add(obj);
    const uint8_t profile[] = {0, 0, 0, 12, 'l', 'c', 'm', 's', 1, 2, 3, 4};
    c.Params.GetInputICCProfile()->LoadFromBuffer(profile, sizeof profile);
    TPage p = WriteCase("xmp_annot", bmp.get(), c);
    const std::vector<uint8_t> xmp = p.Data(700);
    EXPECT_EQ(std::string(xmp.begin(), xmp.end()), c.Params.XMPInfo);
    EXPECT_TRUE(p.Has(32932));
    EXPECT_EQ(p.Data(34675), std::vector<uint8_t>(profile, profile + sizeof profile));

    // A profile already applied to the pixels is not carried.
    c.Params.GetInputICCProfile()->SetIsApplied(true);
    EXPECT_FALSE(WriteCase("icc_applied", bmp.get(), c).Has(34675));
}

// ---- EXIF ------------------------------------------------------------------------------------------

void FillEXIF(TIOParamsVals& P) {
    P.HasEXIFData = true;
    P.EXIFMake = "Maker";
    P.EXIFModel = "Model X100";
    P.EXIFDateTime = "2024:05:06 07:08:09";
    P.EXIFSoftware = "Lumi";
    P.EXIFArtist = "A. Artist";
    P.EXIFRightsNotice = "(c) nobody";
    P.SetEXIFXResolution(72);
    P.SetEXIFYResolution(72);
    P.SetTIFFOrientation(6);
    P.EXIFXPRating = 3;
    P.EXIFXPTitle = L"Title \u65e5\u672c";
    P.EXIFExifVersion = "0230";
    P.EXIFFlashPixVersion = "0100";
    P.EXIFDateTimeOriginal = "2024:05:06 07:08:09";
    P.SetEXIFExposureTime(1.0 / 125);
    P.SetEXIFFNumber(2.8);
    P.SetEXIFExposureBiasValue(-0.5);
    P.SetEXIFFlash(16);
    P.SetEXIFFocalLength(35);
    P.SetEXIFColorSpace(1);
    P.SetEXIFFileSource(3);
    P.EXIFISOSpeedRatings[0] = 200;
    P.EXIFWhiteBalance = 1;
    P.EXIFDigitalZoomRatio = 1.5;
    P.EXIFUserComment = L"comment";
    P.EXIFUserCommentCode = std::string("ASCII\0\0\0", 8);
    P.EXIFImageUniqueID = "0123456789abcdef";
    P.EXIFGPSVersionID = "2.2.0.0";
    P.EXIFGPSLatitudeRef = "N";
    P.EXIFGPSLatitudeDegrees = 35;
    P.EXIFGPSLatitudeMinutes = 41;
    P.EXIFGPSLatitudeSeconds = 22.5;
    P.EXIFGPSLongitudeRef = "E";
    P.EXIFGPSLongitudeDegrees = 139;
    P.EXIFGPSLongitudeMinutes = 41;
    P.EXIFGPSLongitudeSeconds = 30;
    P.EXIFGPSAltitudeRef = "0";
    P.EXIFGPSAltitude = 40.25;
    P.EXIFGPSMapDatum = "WGS-84";
    P.EXIFGPSDateStamp = "2024:05:06";
}

TEST_F(TIFFWriter, EXIFAndGPSIFDsAreLinkedFromThePage) {
    auto bmp = MakeImage(ie24RGB, 16, 8);
    TCall c;
    FillEXIF(c.Params);
    TPage p = WriteCase("exif_page", bmp.get(), c, -1);   // turned by its orientation
    EXPECT_EQ(p.V(274), 6);
    EXPECT_EQ(p.V(18246), 3);
    EXPECT_EQ(p.Type(40091), 1);
    EXPECT_EQ(p.Count(40091), 2u * 8 + 2);
    ASSERT_TRUE(p.Has(34665));
    ASSERT_TRUE(p.Has(34853));
    const uint32_t exifPos = RawTag(p.File, ByteOrder::GetLE32(&p.File[4]), 34665).Value;
    ASSERT_LT(exifPos + 2, p.File.size());
    const uint16_t n = ByteOrder::GetLE16(&p.File[exifPos]);
    std::vector<uint16_t> tags;
    for (uint16_t i = 0; i < n; ++i) tags.push_back(ByteOrder::GetLE16(&p.File[exifPos + 2 + 12 * i]));
    EXPECT_TRUE(std::is_sorted(tags.begin(), tags.end()));
    for (uint16_t want : {33434, 33437, 34855, 36864, 36867, 37380, 37385, 37386, 37510, 40960, 40961, 41728, 41987,
                          41988, 42016})
        EXPECT_NE(std::find(tags.begin(), tags.end(), want), tags.end()) << want;
    // ExposureBias is a signed fraction; UserComment "ASCII" has the code, the text and a NUL.
    for (uint16_t i = 0; i < n; ++i) {
        const char* e = &p.File[exifPos + 2 + 12 * i];
        if (ByteOrder::GetLE16(e) == 37380) {
            EXPECT_EQ(ByteOrder::GetLE16(e + 2), 10);
        }
        if (ByteOrder::GetLE16(e) == 37510) {
            EXPECT_EQ(ByteOrder::GetLE32(e + 4), 8u + 7 + 1);
        }
    }
}

TEST_F(TIFFWriter, MetadataOnlyPageCarriesNoImageOrPageTags) {
    TCall c;
    FillEXIF(c.Params);
    c.Params.TIFFPageName = "page";
    c.Params.TIFFPageNumber = 1;
    c.Params.XMPInfo = "<xmp/>";
    c.Params.IPTCInfo->AddData(2, 120, "ab", 2);
    TPage p = WriteCase("exif_only", nullptr, c, -1);
    for (uint16_t absent : {256, 257, 258, 259, 262, 273, 277, 278, 279, 285, 297, 33723, 700, 32932, 254})
        EXPECT_FALSE(p.Has(absent)) << absent;
    EXPECT_TRUE(p.Has(34665));
    EXPECT_TRUE(p.Has(271));
    // Without EXIF data: the description and the resolution only.
    TCall d;
    d.Params.TIFFImageDescription = "only text";
    TPage q = WriteCase("description_only", nullptr, d, -1);
    EXPECT_EQ(q.H->GetPageList(0)->size(), 4u);
}

TEST_F(TIFFWriter, EXIFBlockStartsWithItsIdentifierAndCarriesTheThumbnail) {
    TIOParamsVals p(nullptr);
    FillEXIF(p);
    std::unique_ptr<uint8_t[]> buf;
    int32_t len = 0;
    IESaveEXIFToBuffer(&p, buf, len, true);
    ASSERT_GT(len, 14);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buf.get()), 8), std::string("Exif\0\0II", 8));
    EXPECT_TRUE(IEIsEXIFBlock(buf.get(), len));
    std::unique_ptr<uint8_t[]> plain;
    int32_t plainLen = 0;
    IESaveEXIFToBuffer(&p, plain, plainLen, false);
    EXPECT_EQ(plainLen, len - 6);
    EXPECT_EQ(std::memcmp(plain.get(), buf.get() + 6, plainLen), 0);

    p.EXIFThumbnail = MakeImage(ie24RGB, 32, 24);
    IESaveEXIFToBuffer(&p, plain, plainLen, false);
    SaveBytes("exif_block_thumb.tif", plain.get(), static_cast<size_t>(plainLen));
    TMemoryStream m;
    m.WriteBuffer(plain.get(), plainLen);
    m.SetPosition(0);
    TIETIFFHandler h;
    ASSERT_TRUE(h.ReadStream(&m));
    ASSERT_EQ(h.GetPageCount(), 2);
    EXPECT_EQ(h.GetTagValueByTag(1, 259, 0), 6);
    const std::string f(reinterpret_cast<const char*>(plain.get()), static_cast<size_t>(plainLen));
    const uint32_t page1 = NextIFD(f, ByteOrder::GetLE32(&f[4]));
    const uint32_t jpos = RawTag(f, page1, 513).Value, jlen = RawTag(f, page1, 514).Value;
    ASSERT_GT(jlen, 4u);
    ASSERT_LE(jpos + jlen, static_cast<uint32_t>(plainLen));
    EXPECT_EQ(plain[jpos], 0xFF);
    EXPECT_EQ(plain[jpos + 1], 0xD8);
    const uint32_t sos = RawTag(f, page1, 273).Value;
    EXPECT_EQ(plain[sos], 0xFF);
    EXPECT_EQ(plain[sos + 1], 0xDA);
    EXPECT_EQ(sos + RawTag(f, page1, 279).Value, jpos + jlen);
    EXPECT_EQ(h.GetTagValueByTag(1, 530, 1), 2);
}

// ---- Appending -----------------------------------------------------------------------------------------

std::vector<int32_t> PageWidths(TMemoryStream& M) {
    M.SetPosition(0);
    TIETIFFHandler h;
    EXPECT_TRUE(h.ReadStream(&M));
    std::vector<int32_t> w;
    for (int32_t i = 0; i < h.GetPageCount(); ++i) w.push_back(h.GetTagValueByTag(i, 256, 0));
    return w;
}

TEST_F(TIFFWriter, AppendInsertsBeforeTheIndexedPageOrAtTheEnd) {
    TMemoryStream m;
    auto a = MakeImage(ie24RGB, 10, 4), b = MakeImage(ie8g, 20, 4), c = MakeImage(ie1g, 30, 4), d = MakeImage(ie24RGB, 40, 4);
    {
        TCall k;
        EXPECT_EQ(IEWriteTIFFStream(&m, false, a.get(), k.Params, k.Progress), 1);
    }
    {
        TCall k;
        k.Params.TIFFImageIndex = 7;   // beyond the end: appended
        m.SetPosition(0);
        EXPECT_EQ(IEWriteTIFFStream(&m, true, b.get(), k.Params, k.Progress), 2);
    }
    {
        TCall k;
        k.Params.TIFFImageIndex = 0;   // becomes the first page
        k.Params.SamplesPerPixel = k.Params.BitsPerSample = 1;
        k.Params.TIFFCompression = 4;
        m.SetPosition(0);
        EXPECT_EQ(IEWriteTIFFStream(&m, true, c.get(), k.Params, k.Progress), 3);
    }
    {
        TCall k;
        k.Params.TIFFImageIndex = 2;   // before the last page
        m.SetPosition(0);
        EXPECT_EQ(IEWriteTIFFStream(&m, true, d.get(), k.Params, k.Progress), 4);
        EXPECT_FALSE(k.Aborting);
    }
    EXPECT_EQ(PageWidths(m), (std::vector<int32_t>{30, 10, 40, 20}));
    SaveBytes("appended_4pages.tif", m.GetMemory(), static_cast<size_t>(m.GetSize()));
}

TEST_F(TIFFWriter, AppendRefusesWhatIsNotALittleEndianTIFF) {
    auto a = MakeImage(ie8g, 4, 4);
    for (std::string head : {std::string("MM\0*\0\0\0\x08", 8), std::string("I"), std::string()}) {
        TMemoryStream m;
        codectest::Fill(m, head);
        TCall k;
        EXPECT_EQ(IEWriteTIFFStream(&m, true, a.get(), k.Params, k.Progress), 0);
        EXPECT_TRUE(k.Aborting);
        EXPECT_EQ(codectest::Contents(m), head);
    }
}

TEST_F(TIFFWriter, AppendToALoopingChainEndsTheChainAtTheNewPage) {
    // Two IFDs that link to each other.
    std::string f("II*\0\x08\0\0\0", 8);
    auto ifd = [](uint32_t link) {
        std::string s(2 + 12 + 4, '\0');
        s[0] = 1;
        ByteOrder::PutLE16(&s[2], 256);
        ByteOrder::PutLE16(&s[4], 4);
        ByteOrder::PutLE32(&s[6], 1);
        ByteOrder::PutLE32(&s[10], 5);
        ByteOrder::PutLE32(&s[14], link);
        return s;
    };
    f += ifd(26);
    f += ifd(8);
    TMemoryStream m;
    codectest::Fill(m, f);
    TCall k;
    k.Params.TIFFImageIndex = 99;
    auto a = MakeImage(ie8g, 4, 4);
    EXPECT_EQ(IEWriteTIFFStream(&m, true, a.get(), k.Params, k.Progress), 3);
    EXPECT_FALSE(k.Aborting);
    EXPECT_EQ(PageWidths(m).size(), 3u);
}

// ---- Failures ---------------------------------------------------------------------------------------

// A stream that takes at most Limit bytes.
class TFullStream : public TMemoryStream {
public:
    explicit TFullStream(int64_t Limit) : FLimit(Limit) {}
    int32_t Write(const void* Buffer, int32_t Count) override {
        const int64_t room = FLimit - GetPosition();
        if (room <= 0) return 0;
        return TMemoryStream::Write(Buffer, static_cast<int32_t>(std::min<int64_t>(Count, room)));
    }

private:
    int64_t FLimit;
};

TEST_F(TIFFWriter, AShortWriteAbortsAndLeavesNoIFD) {
    auto bmp = MakeImage(ie24RGB, 64, 64);
    for (int32_t kind : {0, 5, 8, 9, 7}) {
        SCOPED_TRACE(kind);
        TFullStream s(500);
        TCall k;
        k.Params.TIFFCompression = static_cast<uint8_t>(kind);
        k.Params.TIFFLZWCompress = IETIFFLZWCompress;
        IEWriteTIFFStream(&s, false, bmp.get(), k.Params, k.Progress);
        EXPECT_TRUE(k.Aborting);
        const std::string got = codectest::Contents(s);
        EXPECT_NE(got.substr(0, 2), "II");   // the header is written last, over the reserved bytes
    }
}

TEST_F(TIFFWriter, ProgressRunsFromZeroTowardsAHundred) {
    auto bmp = MakeImage(ie24RGB, 8, 50);
    TCall k;
    std::vector<int32_t> seen;
    k.Progress.OnProgress = [&](TObject*, int32_t per) { seen.push_back(per); };
    TMemoryStream m;
    IEWriteTIFFStream(&m, false, bmp.get(), k.Params, k.Progress);
    ASSERT_EQ(seen.size(), 50u);
    EXPECT_EQ(seen.front(), 0);
    EXPECT_EQ(seen.back(), 98);
}

// ---- The EXIF injector -----------------------------------------------------------------------------

TEST_F(TIFFWriter, InjectorCopiesTheEXIFTagsIntoTheChosenPage) {
    TMemoryStream src;
    auto a = MakeImage(ie24RGB, 10, 4), b = MakeImage(ie8g, 20, 4);
    {
        TCall k;
        IEWriteTIFFStream(&src, false, a.get(), k.Params, k.Progress);
        TCall k2;
        src.SetPosition(0);
        k2.Params.TIFFImageIndex = 5;
        IEWriteTIFFStream(&src, true, b.get(), k2.Params, k2.Progress);
    }
    TIOParamsVals p(nullptr);
    FillEXIF(p);
    src.SetPosition(0);
    TMemoryStream dst;
    EXPECT_TRUE(IEInjectEXIFTags(&src, &dst, L"", L"", 1, p));
    SaveBytes("injected_page1.tif", dst.GetMemory(), static_cast<size_t>(dst.GetSize()));
    dst.SetPosition(0);
    TIETIFFHandler h;
    ASSERT_TRUE(h.ReadStream(&dst));
    ASSERT_EQ(h.GetPageCount(), 2);
    EXPECT_LT(h.FindTag(0, 34665), 0);
    EXPECT_GE(h.FindTag(1, 34665), 0);
    EXPECT_GE(h.FindTag(1, 271), 0);
    EXPECT_EQ(h.GetTagValueByTag(1, 274, 0), 6);
    EXPECT_EQ(h.GetTagValueByTag(1, 256, 0), 20);
}

}  // namespace
