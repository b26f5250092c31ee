// The in-house bitmap helpers: rotation (quarter turns exact, other angles as the processing
// routine turns them), the storage choice, blank bitmaps, the preconfigured I/O component, and
// text rendered into a bitmap with alpha (plain, anti-aliased, outlined, turned and vertical),
// checked by where the ink lands and how its edges look; the label's anti-aliased captions.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "ExtCtrls.h"
#include "KWLabel.h"
#include "KWPicturaLib.h"
#include "controls_test_util.h"
#include "iebitmap.h"
#include "iecoreutils_startup.h"
#include "picturaio.h"
#include "picturaio_params.h"
#include "picturaproc_rotate.h"

namespace {

// A W x H ie24RGB bitmap of distinct pixels with an alpha channel of distinct values.
std::unique_ptr<TIEBitmap> Pattern(int32_t W, int32_t H) {
    std::unique_ptr<TIEBitmap> b(new TIEBitmap(W, H, ie24RGB));
    for (int32_t y = 0; y < H; ++y)
        for (int32_t x = 0; x < W; ++x) {
            b->SetPixelRGB(x, y, TIERGB{(uint8_t)x, (uint8_t)y, (uint8_t)(x * 7 + y * 3)});
            b->SetAlpha(x, y, (uint8_t)(1 + x + y * W));
        }
    return b;
}

// Colour and alpha of two bitmaps are the same, pixel for pixel.
::testing::AssertionResult SamePixels(TIEBitmap& A, TIEBitmap& B) {
    if (A.GetWidth() != B.GetWidth() || A.GetHeight() != B.GetHeight())
        return ::testing::AssertionFailure() << "sizes " << A.GetWidth() << "x" << A.GetHeight() << " and "
                                             << B.GetWidth() << "x" << B.GetHeight();
    for (int32_t y = 0; y < A.GetHeight(); ++y)
        for (int32_t x = 0; x < A.GetWidth(); ++x) {
            const TIERGB a = A.GetPixelRGB(x, y), b = B.GetPixelRGB(x, y);
            if (a.r != b.r || a.g != b.g || a.b != b.b) return ::testing::AssertionFailure() << "colour at " << x << "," << y;
            const int32_t aa = A.HasAlphaChannel() ? A.GetAlpha(x, y) : 255;
            const int32_t ba = B.HasAlphaChannel() ? B.GetAlpha(x, y) : 255;
            if (aa != ba) return ::testing::AssertionFailure() << "alpha at " << x << "," << y << ": " << aa << " " << ba;
        }
    return ::testing::AssertionSuccess();
}

// The bounding box of the pixels whose alpha is above 0, and counts of the alpha values.
struct TInk {
    RECT Box{INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN};
    int32_t Opaque = 0, Partial = 0;
    bool Any() const { return Box.right > Box.left; }
    int32_t Width() const { return Box.right - Box.left; }
    int32_t Height() const { return Box.bottom - Box.top; }
};

TInk InkOf(TIEBitmap& B) {
    TInk ink;
    for (int32_t y = 0; y < B.GetHeight(); ++y)
        for (int32_t x = 0; x < B.GetWidth(); ++x) {
            const uint8_t a = B.GetAlpha(x, y);
            if (a == 0) continue;
            if (a == 255) ++ink.Opaque;
            else ++ink.Partial;
            ink.Box.left = std::min<int32_t>(ink.Box.left, x);
            ink.Box.top = std::min<int32_t>(ink.Box.top, y);
            ink.Box.right = std::max<int32_t>(ink.Box.right, x + 1);
            ink.Box.bottom = std::max<int32_t>(ink.Box.bottom, y + 1);
        }
    return ink;
}

bool Inside(const RECT& Inner, const RECT& Outer) {
    return Inner.left >= Outer.left && Inner.top >= Outer.top && Inner.right <= Outer.right &&
           Inner.bottom <= Outer.bottom;
}

// A text record in a Latin face of the test machine.
TieDrawTextInfo TextInfo(const std::wstring& AText, int32_t ASize = 14) {
    TFont font;
    font.SetName(L"Tahoma");
    font.SetSize(ASize);
    font.SetColor(clBlue);
    TieDrawTextInfo info;
    KWMakeTextInfo(&font, info);
    info.Text = AText;
    return info;
}

// The record measured (DT_SINGLELINE) with its rectangle moved to (X, Y).
TieDrawTextInfo Measured(TieDrawTextInfo AInfo, int32_t X, int32_t Y) {
    std::unique_ptr<TIEBitmap> blank = KWCreateBlankBitmap(1, 1);
    AInfo.Flags = DT_CALCRECT | DT_SINGLELINE;
    AInfo.Rect = RECT{0, 0, 0, 0};
    KWRenderText(blank.get(), AInfo);
    OffsetRect(&AInfo.Rect, X, Y);
    AInfo.Flags = DT_SINGLELINE;
    return AInfo;
}

}  // namespace

// ---- Rotation and storage ----------------------------------------------------------------------

TEST(KWPicturaLib, RotateRefusesAndZeroKeepsTheBitmap) {
    std::unique_ptr<TIEBitmap> b = Pattern(5, 3);
    const TIELocation location = b->GetLocation();
    std::unique_ptr<TIEBitmap> copy(new TIEBitmap(b.get()));
    EXPECT_TRUE(KWRotateImage(b.get(), 0));
    EXPECT_EQ(b->GetLocation(), location);
    EXPECT_TRUE(SamePixels(*b, *copy));
    for (int32_t angle : {-10, -90, 361, 400}) EXPECT_FALSE(KWRotateImage(b.get(), angle)) << angle;
    EXPECT_TRUE(SamePixels(*b, *copy));
    TIEBitmap empty;
    EXPECT_FALSE(KWRotateImage(&empty, 90));
    EXPECT_FALSE(KWRotateImage(nullptr, 90));
}

// A rotated image that cannot be allocated (45 degrees of a 900,000 x 1 line is more than 10^12
// bytes; no file or segment fall-back) leaves the bitmap as it was and gives False.
TEST(KWPicturaLib, RotateReportsAFailedAllocation) {
    std::unique_ptr<TIEBitmap> b = Pattern(900000, 1);
    std::unique_ptr<TIEBitmap> copy(new TIEBitmap(b.get()));
    const int64_t minFileSize = IEDefaultMinFileSize;
    const bool segments = IEAllowSegments, fileFallback = IEAllowFileFallback;
    IEDefaultMinFileSize = INT64_MAX;
    IEAllowSegments = false;
    IEAllowFileFallback = false;
    const bool rotated = KWRotateImage(b.get(), 45);
    IEDefaultMinFileSize = minFileSize;
    IEAllowSegments = segments;
    IEAllowFileFallback = fileFallback;
    EXPECT_FALSE(rotated);
    EXPECT_TRUE(SamePixels(*b, *copy));
}

// Quarter turns are exact, counter-clockwise on the screen, the alpha channel turned with the
// picture; 360 gives the picture back.
TEST(KWPicturaLib, QuarterTurnsAreExact) {
    const int32_t W = 7, H = 4;
    std::unique_ptr<TIEBitmap> source = Pattern(W, H);
    struct Case {
        int32_t Angle, Width, Height;
        // The source pixel at result pixel (x, y).
        int32_t (*SrcX)(int32_t x, int32_t y);
        int32_t (*SrcY)(int32_t x, int32_t y);
    } cases[] = {
        {90, H, W, [](int32_t, int32_t y) { return W - 1 - y; }, [](int32_t x, int32_t) { return x; }},
        {180, W, H, [](int32_t x, int32_t) { return W - 1 - x; }, [](int32_t, int32_t y) { return H - 1 - y; }},
        {270, H, W, [](int32_t, int32_t y) { return y; }, [](int32_t x, int32_t) { return H - 1 - x; }},
        {360, W, H, [](int32_t x, int32_t) { return x; }, [](int32_t, int32_t y) { return y; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Angle);
        std::unique_ptr<TIEBitmap> b(new TIEBitmap(source.get()));
        ASSERT_TRUE(KWRotateImage(b.get(), c.Angle));
        ASSERT_EQ(b->GetWidth(), c.Width);
        ASSERT_EQ(b->GetHeight(), c.Height);
        ASSERT_TRUE(b->HasAlphaChannel());
        ASSERT_EQ(b->GetAlphaChannel()->GetWidth(), c.Width);
        for (int32_t y = 0; y < c.Height; ++y)
            for (int32_t x = 0; x < c.Width; ++x) {
                const int32_t sx = c.SrcX(x, y), sy = c.SrcY(x, y);
                const TIERGB got = b->GetPixelRGB(x, y), want = source->GetPixelRGB(sx, sy);
                ASSERT_TRUE(got.r == want.r && got.g == want.g && got.b == want.b) << x << "," << y;
                ASSERT_EQ(b->GetAlpha(x, y), source->GetAlpha(sx, sy)) << x << "," << y;
            }
    }
}

// Other angles turn as the processing routine does (nearest pixel, black and transparent where
// nothing lands).
TEST(KWPicturaLib, OtherAnglesAsTheProcessingRoutine) {
    for (int32_t angle : {30, 45, 137, 300}) {
        SCOPED_TRACE(angle);
        std::unique_ptr<TIEBitmap> b = Pattern(13, 8);
        TIEBitmap picture(b.get());
        picture.RemoveAlphaChannel();
        IERotatePlain(&picture, 0, nullptr, angle);
        TIEBitmap alpha;
        alpha.Assign(b->GetAlphaChannel());
        IERotatePlain(&alpha, 0, nullptr, angle);
        ASSERT_TRUE(KWRotateImage(b.get(), angle));
        ASSERT_EQ(b->GetWidth(), picture.GetWidth());
        ASSERT_EQ(b->GetHeight(), picture.GetHeight());
        int32_t uncovered = 0;
        for (int32_t y = 0; y < b->GetHeight(); ++y)
            for (int32_t x = 0; x < b->GetWidth(); ++x) {
                const TIERGB got = b->GetPixelRGB(x, y), want = picture.GetPixelRGB(x, y);
                ASSERT_TRUE(got.r == want.r && got.g == want.g && got.b == want.b) << x << "," << y;
                ASSERT_EQ(b->GetAlpha(x, y), alpha.GetPixelByte(x, y)) << x << "," << y;
                if (b->GetAlpha(x, y) == 0) ++uncovered;
            }
        EXPECT_GT(uncovered, 0);
    }
}

TEST(KWPicturaLib, StorageBySize) {
    struct Case {
        int32_t Width, Height;
        TIELocation Location;
    } cases[] = {{500, 500, ieTBitmap}, {12000, 100, ieFile}, {100, 10001, ieFile}, {10000, 2, ieTBitmap}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.Width) + "x" + std::to_string(c.Height));
        TIEBitmap b;
        b.MinFileSize = 0;   // file storage even for a few megabytes
        b.SetLocation(ieMemory);
        ASSERT_TRUE(b.Allocate(c.Width, c.Height, ie24RGB));
        b.SetPixelRGB(1, 1, TIERGB{1, 2, 3});
        KWSetBitmapLocationBySize(&b);
        EXPECT_EQ(b.GetLocation(), c.Location);
        const TIERGB kept = b.GetPixelRGB(1, 1);
        EXPECT_TRUE(kept.b == 1 && kept.g == 2 && kept.r == 3);
    }
    KWSetBitmapLocation(nullptr, 1, 1);   // nothing happens
}

TEST(KWPicturaLib, BlankBitmapIsTransparent) {
    std::unique_ptr<TIEBitmap> b = KWCreateBlankBitmap(9, 4);
    ASSERT_EQ(b->GetWidth(), 9);
    ASSERT_EQ(b->GetHeight(), 4);
    EXPECT_EQ(b->GetPixelFormat(), ie24RGB);
    ASSERT_TRUE(b->HasAlphaChannel());
    EXPECT_TRUE(b->GetAlphaChannel()->IsAllZero());
    EXPECT_EQ(KWCreateBlankBitmap(0, -3)->GetWidth(), 1);

    std::unique_ptr<TIEBitmap> p = Pattern(6, 5);
    KWClearBitmap(p.get());
    EXPECT_EQ(p->GetWidth(), 6);
    EXPECT_TRUE(p->GetAlphaChannel()->IsAllZero());
    TIEBitmap empty;
    KWClearBitmap(&empty);
    EXPECT_TRUE(empty.IsEmpty());
}

TEST(KWPicturaLib, ImageIOSettings) {
    struct Case {
        int32_t Width, Height;
        bool Thumbnail, FullSize;
        uint8_t Scale;
        int32_t ParamWidth, ParamHeight;
    } cases[] = {
        {640, 480, true, false, 0, 640, 480},
        {640, 480, false, true, 1, 640, 480},
        {-1, -1, true, false, 1, 0, 0},
        {0, 200, false, false, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.Width) + "x" + std::to_string(c.Height));
        std::unique_ptr<TPicturaIO> io = KWCreateImageIO(c.Width, c.Height, c.Thumbnail, c.FullSize);
        TIOParamsVals* p = io->GetParams();
        EXPECT_EQ(io->GetOwner(), nullptr);
        EXPECT_EQ(p->JPEGDCTMethod, 1);
        EXPECT_EQ(p->GetThumbnail, c.Thumbnail);
        EXPECT_EQ(p->JPEGGetExifThumbnail, c.Thumbnail);
        EXPECT_EQ(p->RAWGetExifThumbnail, c.Thumbnail);
        EXPECT_FALSE(p->JPEGEnableAdjustOrientation);
        EXPECT_FALSE(p->TIFFEnableAdjustOrientation);
        EXPECT_EQ(p->JPEGScale, c.Scale);
        EXPECT_EQ(p->Width, c.ParamWidth);
        EXPECT_EQ(p->Height, c.ParamHeight);
    }
}

// ---- Text ----------------------------------------------------------------------------------------

TEST(KWPicturaLib, TextInfoFromAndToAFont) {
    TFont font;
    font.SetName(L"Tahoma");
    font.SetSize(11);
    font.SetColor(clRed);
    font.SetStyle(fsBold);
    TieDrawTextInfo info;
    info.Text = L"old";
    info.Angle = 90;
    KWMakeTextInfo(&font, info);
    EXPECT_EQ(info.Text, L"");
    EXPECT_EQ(info.FontName, L"Tahoma");
    EXPECT_EQ(info.FontSize, 11);
    EXPECT_EQ(info.FontColor, clRed);
    EXPECT_TRUE(info.Bold);
    EXPECT_FALSE(info.Italic);
    EXPECT_EQ(info.Angle, 0);
    EXPECT_EQ(info.OutlineWidth, 0);
    EXPECT_EQ(info.OutlineColor, 0xFFFFFF);
    EXPECT_EQ(info.Flags, DT_CALCRECT);

    info.Italic = true;
    info.FontSize = 20;
    TFont other;
    KWApplyTextInfoFont(&other, info);
    EXPECT_EQ(other.Name(), L"Tahoma");
    EXPECT_EQ(other.Size(), 20);
    EXPECT_EQ(other.Color(), clRed);
    EXPECT_EQ(other.Style(), fsBold | fsItalic);
}

// A horizontal measurement is the system's own; turned by 90 or 270 degrees width and height
// change places; 45 degrees counts as 0.
TEST(KWPicturaLib, MeasuringText) {
    TieDrawTextInfo info = TextInfo(L"Measure me");
    TFont font;
    KWApplyTextInfoFont(&font, info);
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, font.Handle());
    RECT expected{3, 4, 3, 4};
    DrawTextW(dc, info.Text.c_str(), (int)info.Text.size(), &expected, DT_CALCRECT | DT_SINGLELINE);
    SelectObject(dc, old);
    DeleteDC(dc);

    struct Case {
        int32_t Angle;
        bool Swapped;
    } cases[] = {{0, false}, {45, false}, {90, true}, {180, false}, {270, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Angle);
        TieDrawTextInfo m = info;
        m.Angle = c.Angle;
        m.Flags = DT_CALCRECT | DT_SINGLELINE;
        m.Rect = RECT{3, 4, 3, 4};
        std::unique_ptr<TIEBitmap> blank = KWCreateBlankBitmap(1, 1);
        KWRenderText(blank.get(), m);
        EXPECT_EQ(m.Rect.left, 3);
        EXPECT_EQ(m.Rect.top, 4);
        const int32_t w = expected.right - expected.left, h = expected.bottom - expected.top;
        EXPECT_EQ(m.Rect.right - m.Rect.left, c.Swapped ? h : w);
        EXPECT_EQ(m.Rect.bottom - m.Rect.top, c.Swapped ? w : h);
        EXPECT_TRUE(blank->GetAlphaChannel()->IsAllZero());   // measuring draws nothing
    }
}

// Plain and anti-aliased text: ink only inside the rectangle, in the text colour; the
// anti-aliased edges are partly transparent.
TEST(KWPicturaLib, TextInkInsideItsRectangle) {
    for (bool antiAlias : {false, true}) {
        SCOPED_TRACE(antiAlias ? "anti-aliased" : "plain");
        TieDrawTextInfo info = Measured(TextInfo(L"Hello, Wine"), 12, 9);
        info.AntiAlias = antiAlias;
        info.OffsetX = 3;
        info.OffsetY = 2;
        std::unique_ptr<TIEBitmap> target = KWCreateBlankBitmap(160, 50);
        KWRenderText(target.get(), info);
        const TInk ink = InkOf(*target);
        ASSERT_TRUE(ink.Any());
        RECT box = info.Rect;
        OffsetRect(&box, 3, 2);
        EXPECT_TRUE(Inside(ink.Box, box));
        EXPECT_GT(ink.Width(), (box.right - box.left) / 2);
        if (antiAlias) {
            EXPECT_GT(ink.Opaque, 0);
            EXPECT_GT(ink.Partial, 20);
        } else {
            EXPECT_GT(ink.Opaque, 20);
        }
        // Every inked pixel shows the text colour (blue), with no dark fringe.
        for (int32_t y = ink.Box.top; y < ink.Box.bottom; ++y)
            for (int32_t x = ink.Box.left; x < ink.Box.right; ++x)
                if (target->GetAlpha(x, y) > 0) {
                    const TIERGB c = target->GetPixelRGB(x, y);
                    ASSERT_TRUE(c.b == 255 && c.g == 0 && c.r == 0) << x << "," << y;
                }
        // The caller's record is left as it was given.
        EXPECT_EQ(info.OffsetX, 3);
        EXPECT_EQ(info.FontSize, 14);
    }
    TieDrawTextInfo empty = TextInfo(L"");
    empty.Flags = 0;
    empty.Rect = RECT{0, 0, 20, 20};
    std::unique_ptr<TIEBitmap> target = KWCreateBlankBitmap(20, 20);
    KWRenderText(target.get(), empty);
    EXPECT_TRUE(target->GetAlphaChannel()->IsAllZero());
    KWRenderText(nullptr, empty);
}

// An outline strokes the glyphs in the outline colour around a fill in the text colour.
TEST(KWPicturaLib, OutlinedText) {
    TieDrawTextInfo info = Measured(TextInfo(L"OUTLINE", 28), 6, 6);
    info.Bold = true;
    info.OutlineWidth = 3;
    info.OutlineColor = clRed;
    std::unique_ptr<TIEBitmap> target = KWCreateBlankBitmap(200, 70);
    KWRenderText(target.get(), info);
    const TInk ink = InkOf(*target);
    ASSERT_TRUE(ink.Any());
    int32_t red = 0, blue = 0;
    for (int32_t y = 0; y < target->GetHeight(); ++y)
        for (int32_t x = 0; x < target->GetWidth(); ++x) {
            if (target->GetAlpha(x, y) != 255) continue;
            const TIERGB c = target->GetPixelRGB(x, y);
            if (c.r == 255 && c.g == 0 && c.b == 0) ++red;
            if (c.r == 0 && c.g == 0 && c.b == 255) ++blue;
        }
    EXPECT_GT(red, 50);
    EXPECT_GT(blue, 10);
}

// Text turned by 90, 180 or 270 degrees is the upright rendering turned: the ink moves with it.
TEST(KWPicturaLib, TurnedTextIsTheUprightTextTurned) {
    const TieDrawTextInfo upright = Measured(TextInfo(L"Turn AB"), 0, 0);
    const int32_t w = upright.Rect.right, h = upright.Rect.bottom;
    for (int32_t angle : {90, 180, 270}) {
        SCOPED_TRACE(angle);
        std::unique_ptr<TIEBitmap> expected = KWCreateBlankBitmap(w, h);
        TieDrawTextInfo a = upright;
        KWRenderText(expected.get(), a);
        ASSERT_TRUE(KWRotateImage(expected.get(), angle));

        const bool swapped = angle != 180;
        std::unique_ptr<TIEBitmap> turned = KWCreateBlankBitmap(swapped ? h : w, swapped ? w : h);
        TieDrawTextInfo b = upright;
        b.Angle = angle;
        b.Rect = RECT{0, 0, swapped ? h : w, swapped ? w : h};
        KWRenderText(turned.get(), b);
        EXPECT_TRUE(SamePixels(*turned, *expected));
        const TInk ink = InkOf(*turned);
        if (swapped) EXPECT_GT(ink.Height(), ink.Width());
    }
}

// Vertical text: the lines stand as columns, placed in the rectangle by DT_CENTER and DT_VCENTER;
// the drawn ink stays inside the measured rectangle and is taller than wide.
TEST(KWPicturaLib, VerticalText) {
    TieDrawTextInfo info = TextInfo(L"縦書きの文字");
    info.FontName = L"IPAGothic";
    info.Vertical = true;
    info.Flags = DT_CALCRECT | DT_CENTER | DT_VCENTER;
    info.Rect = RECT{0, 0, 120, 200};
    std::unique_ptr<TIEBitmap> target = KWCreateBlankBitmap(120, 200);
    KWRenderText(target.get(), info);
    ASSERT_EQ(info.LineExtents.size(), 1u);
    const int32_t w = info.Rect.right - info.Rect.left, h = info.Rect.bottom - info.Rect.top;
    EXPECT_GT(h, 2 * w);
    EXPECT_EQ(info.Rect.left, (120 - w) / 2);
    EXPECT_EQ(info.Rect.top, (200 - h) / 2);

    for (bool antiAlias : {false, true}) {
        SCOPED_TRACE(antiAlias ? "anti-aliased" : "plain");
        TieDrawTextInfo d = info;
        d.Flags = DT_TOP;
        d.AntiAlias = antiAlias;
        std::unique_ptr<TIEBitmap> out = KWCreateBlankBitmap(120, 200);
        KWRenderText(out.get(), d);
        const TInk ink = InkOf(*out);
        ASSERT_TRUE(ink.Any());
        EXPECT_TRUE(Inside(ink.Box, info.Rect));
        EXPECT_GT(ink.Height(), 2 * ink.Width());
    }

    // Drawn without a measurement, the text is measured first and so centred like the block.
    TieDrawTextInfo d = TextInfo(L"縦書きの文字");
    d.FontName = L"IPAGothic";
    d.Vertical = true;
    d.Flags = DT_CENTER | DT_VCENTER;
    d.Rect = RECT{0, 0, 120, 200};
    std::unique_ptr<TIEBitmap> out = KWCreateBlankBitmap(120, 200);
    KWRenderText(out.get(), d);
    EXPECT_EQ(d.Rect.left, info.Rect.left);
    EXPECT_EQ(d.Rect.top, info.Rect.top);
    const TInk ink = InkOf(*out);
    ASSERT_TRUE(ink.Any());
    EXPECT_TRUE(Inside(ink.Box, info.Rect));
}

// On a canvas: the text is blended through its alpha at the rectangle moved by the offsets;
// nothing outside it changes; measuring changes nothing on the canvas.
TEST(KWPicturaLib, DrawTextToCanvas) {
    TBitmap bmp;
    MakeCanvasBitmap(bmp, 120, 40, clWhite);
    TieDrawTextInfo info = TextInfo(L"Canvas");
    info.Flags = DT_CALCRECT | DT_SINGLELINE;
    info.Rect = RECT{10, 5, 10, 5};
    KWDrawTextToCanvas(bmp.Canvas(), info);
    EXPECT_TRUE(AllPixels(bmp, RECT{0, 0, 120, 40}, clWhite));
    ASSERT_GT(info.Rect.right, 10);

    info.Flags = DT_SINGLELINE;
    info.OffsetX = 4;
    info.AntiAlias = true;
    const RECT rect = info.Rect;
    KWDrawTextToCanvas(bmp.Canvas(), info);
    EXPECT_EQ(info.Rect.left, rect.left);
    EXPECT_EQ(info.OffsetX, 4);
    RECT drawn = rect;
    OffsetRect(&drawn, 4, 0);
    int32_t inked = 0, between = 0;
    for (int32_t y = 0; y < 40; ++y)
        for (int32_t x = 0; x < 120; ++x) {
            const TColor c = PixelOf(bmp, x, y);
            if (c == clWhite) continue;
            const POINT p{x, y};
            ASSERT_TRUE(PtInRect(&drawn, p)) << x << "," << y;
            ++inked;
            if (c != clBlue) ++between;   // blended edge pixels
        }
    EXPECT_GT(inked, 20);
    EXPECT_GT(between, 5);
    KWDrawTextToCanvas(nullptr, info);
}

// The label's anti-aliased caption: drawn through the text renderer (blended edges) where the
// plain label draws the same text.
TEST(KWPicturaLib, LabelAntialiasedCaption) {
    std::unique_ptr<TForm> form = MakeHostForm(200, 60);
    TKWLabel* plain = new TKWLabel(form.get());
    plain->SetParent(form.get());
    plain->Font()->SetName(L"Tahoma");
    plain->Font()->SetSize(20);
    plain->Font()->SetStyle(fsBold);
    plain->SetCaption(L"Quillbox");
    TKWLabel* smooth = new TKWLabel(form.get());
    smooth->SetParent(form.get());
    smooth->Font()->SetName(L"Tahoma");
    smooth->Font()->SetSize(20);
    smooth->Font()->SetStyle(fsBold);
    smooth->SetCaption(L"Quillbox");
    smooth->SetCaptionAntialias(true);
    EXPECT_EQ(smooth->Width(), plain->Width());
    EXPECT_EQ(smooth->Height(), plain->Height());

    TBitmap a, b;
    RenderControl(plain, a, clWhite);
    RenderControl(smooth, b, clWhite);
    const RECT all{0, 0, smooth->Width(), smooth->Height()};
    EXPECT_FALSE(AllPixels(b, all, PixelOf(b, 0, 0)));   // ink was drawn
    EXPECT_GT(DifferentPixels(a, b, all), 0);             // and not by the plain path

    // Disabled: the text twice, in the highlight colour one pixel down and right, then in the
    // shadow colour.
    smooth->SetEnabled(false);
    TBitmap c;
    RenderControl(smooth, c, clWhite);
    const TColor shadow = ColorToRGB(clBtnShadow), highlight = ColorToRGB(clBtnHighlight);
    const TColor background = PixelOf(c, 0, 0);
    auto isNear = [](TColor a, TColor b) {
        for (int shift = 0; shift < 24; shift += 8)
            if (std::abs(((a >> shift) & 255) - ((b >> shift) & 255)) > 24) return false;
        return true;
    };
    int32_t shadowPixels = 0, highlightPixels = 0;
    for (int32_t y = 0; y < smooth->Height(); ++y)
        for (int32_t x = 0; x < smooth->Width(); ++x) {
            const TColor p = PixelOf(c, x, y);
            if (p == background) continue;
            if (isNear(p, shadow)) ++shadowPixels;
            if (isNear(p, highlight)) ++highlightPixels;
        }
    EXPECT_GT(shadowPixels, 10);
    if (highlight != ColorToRGB(smooth->Color())) EXPECT_GT(highlightPixels, 5);
}

// A picture for the eye: the kinds of text on a white bitmap, saved as a BMP in the build tree.
TEST(KWPicturaLib, ScreenshotOfTheTextKinds) {
    TBitmap bmp;
    MakeCanvasBitmap(bmp, 420, 200, clWhite);
    struct Sample {
        const wchar_t* Text;
        int32_t X, Y, Angle;
        bool AntiAlias, Vertical;
        int32_t Outline;
    } samples[] = {
        {L"Plain text", 8, 8, 0, false, false, 0},
        {L"Anti-aliased text", 8, 40, 0, true, false, 0},
        {L"Outlined", 8, 72, 0, true, false, 2},
        {L"Turned 90", 250, 8, 90, true, false, 0},
        {L"Turned 270", 290, 8, 270, false, false, 0},
        {L"縦書きの文字", 350, 8, 0, true, true, 0},
        {L"写真のご注文", 8, 130, 0, true, false, 0},
    };
    for (const Sample& s : samples) {
        TieDrawTextInfo info = TextInfo(s.Text, 16);
        if (s.Vertical || s.Text[0] > 0x3000) info.FontName = L"IPAGothic";
        info.Vertical = s.Vertical;
        info.Angle = s.Angle;
        info.OutlineWidth = s.Outline;
        info.OutlineColor = clYellow;
        info.Flags = DT_CALCRECT | DT_SINGLELINE;
        info.Rect = RECT{s.X, s.Y, s.X + 60, s.Y + 180};
        KWDrawTextToCanvas(bmp.Canvas(), info);
        info.Flags = DT_SINGLELINE;
        info.AntiAlias = s.AntiAlias;
        KWDrawTextToCanvas(bmp.Canvas(), info);
    }
    EXPECT_FALSE(AllPixels(bmp, RECT{0, 0, 420, 200}, clWhite));
    EXPECT_TRUE(SaveBmp(bmp, std::string(TEST_BUILD_DIR) + "/kwpicturalib_text.bmp"));
}
