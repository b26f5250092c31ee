// The skin engine: the skin read from the program's own resources, nine-slice drawing below, at and
// above the slices, states, missing data, captions, and the skinned button with its engine link.
#include <gtest/gtest.h>

#include <vssym32.h>

#include <map>
#include <memory>
#include <string>

#include "KWButton.h"
#include "KWIniFile.h"
#include "KWSkinEn.h"
#include "controls_test_util.h"
#include "iebitmap.h"
#include "iecoreutils_startup.h"
#include "iestartup.h"

namespace {

// The image library started for a test's length (the program's start-up does it in the product):
// the I/O component finds its formats only then.
struct TImageLibrary {
    TImageLibrary() { IEStaticInitialize(); }
    ~TImageLibrary() { IEStaticFinalize(); }
};

// A strip of ACount images of AW x AH whose every pixel tells where it came from: red = 10 x
// column, green = 10 x row within its image, blue = 40 x (image + 1); alpha 255.
std::unique_ptr<TIEBitmap> CodedStrip(int32_t AW, int32_t AH, int32_t ACount) {
    auto strip = std::make_unique<TIEBitmap>(AW, AH * ACount, ie24RGB);
    for (int32_t y = 0; y < AH * ACount; ++y)
        for (int32_t x = 0; x < AW; ++x)
            strip->SetPixelRGB(x, y, TIERGB{(uint8_t)(40 * (y / AH + 1)), (uint8_t)(10 * (y % AH)), (uint8_t)(10 * x)});
    strip->GetAlphaChannel()->Fill(255);
    return strip;
}

struct TSource {
    int32_t X, Y, Image;
};
// The blend onto the canvas may be one level off even where the strip is opaque: rounded.
TSource SourceOf(TColor c) {
    return TSource{((c & 0xFF) + 5) / 10, (((c >> 8) & 0xFF) + 5) / 10, (((c >> 16) & 0xFF) + 20) / 40 - 1};
}

// An engine whose resources come from memory; a type mapped to an empty string is missing.
class TFakeSkinEn : public TKWSkinEn {
public:
    explicit TFakeSkinEn(TComponent* AOwner = nullptr) : TKWSkinEn(AOwner) {}
    std::map<std::wstring, std::string> Resources;
    bool Supported = true;

protected:
    std::unique_ptr<TStream> OpenResource(const std::wstring& AType) override {
        auto it = Resources.find(AType);
        if (it == Resources.end()) return TKWSkinEn::OpenResource(AType);
        if (it->second.empty()) return nullptr;
        auto stream = std::make_unique<TMemoryStream>();
        stream->Write(it->second.data(), (int32_t)it->second.size());
        stream->SetPosition(0);
        return stream;
    }
    bool SystemSupportsSkins() override { return Supported; }
};

// A part with the coded strip: images of 12 x 12, sizing margins 3 on each side.
TsmPart* CodedPart(TKWSkinEn& AEngine, int32_t APartID, int32_t ACount) {
    AEngine.Parts()->Clear();
    TsmPart* part = AEngine.Parts()->FindOrAddPart(APartID);
    part->Bitmaps.push_back(CodedStrip(12, 12, ACount));
    part->ImageCount = ACount;
    part->SizingMargins = tagRECT{3, 3, 3, 3};
    part->ContentMargins = tagRECT{2, 1, 2, 1};
    return part;
}

// The source column (or row) a target column shows under nine-slice scaling: the margins 1:1
// from their own side, the middle from the strip's middle band.
bool InBand(int32_t ATarget, int32_t ASize, int32_t ASource, int32_t AStrip, int32_t AMargin) {
    if (ATarget < AMargin) return ASource == ATarget;
    if (ATarget >= ASize - AMargin) return ASource == AStrip - (ASize - ATarget);
    return ASource >= AMargin && ASource < AStrip - AMargin;
}

}  // namespace

TEST(KWSkinEn, LoadsTheSkinOfTheProgramsResources) {
    TKWSkinEn engine(nullptr);
    ASSERT_TRUE(engine.Loaded());
    ASSERT_EQ(engine.Parts()->Count(), 2);   // the ini has no section for the vertical splitter
    TsmPart* button = engine.Parts()->FindPart(smpPushButton);
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(button->ImageCount, 5);
    EXPECT_EQ(button->ContentMargins.left, 8);
    EXPECT_EQ(button->ContentMargins.top, 7);
    EXPECT_EQ(button->SizingMargins.right, 9);
    ASSERT_EQ(button->TextColors.size(), 5u);
    for (TColor c : button->TextColors) EXPECT_EQ(c, (TColor)0x333333);
    TsmPart* splitter = engine.Parts()->FindPart(smpSplitterH);
    ASSERT_NE(splitter, nullptr);
    EXPECT_EQ(splitter->ImageCount, 4);
    EXPECT_EQ(splitter->SizingMargins.left, 5);
    EXPECT_EQ(splitter->SizingMargins.bottom, 0);
    EXPECT_EQ(engine.Parts()->FindPart(smpSplitterV), nullptr);
}

// Every part in every state, drawn from the decoded strips; the 96 x 31 button in state 2 shows the
// second image's 9 x 9 corners 1:1, blended over the background through the strip's alpha.
TEST(KWSkinEn, DrawsEveryPartInEveryStateFromTheResources) {
    TImageLibrary library;
    TKWSkinEn engine(nullptr);
    ASSERT_TRUE(engine.Loaded());
    TsmPart* button = engine.Parts()->FindPart(smpPushButton);
    TsmPart* splitter = engine.Parts()->FindPart(smpSplitterH);
    ASSERT_TRUE(button && splitter);
    ASSERT_EQ(button->Bitmaps.size(), 1u);
    ASSERT_EQ(splitter->Bitmaps.size(), 1u);
    TIEBitmap* strip = button->Bitmaps[0].get();
    EXPECT_EQ(strip->GetWidth(), 33);
    EXPECT_EQ(strip->GetHeight(), 180);
    EXPECT_TRUE(strip->HasAlphaChannel());
    EXPECT_EQ(splitter->Bitmaps[0]->GetWidth(), 20);
    EXPECT_EQ(splitter->Bitmaps[0]->GetHeight(), 32);

    // One sheet: a row per state, the button at 96 x 31 and at the strip's size, the
    // splitter at 120 x 8.
    TBitmap sheet;
    MakeCanvasBitmap(sheet, 260, 6 * 40, clWhite);
    for (int32_t state = 1; state <= 6; ++state) {
        const int32_t top = (state - 1) * 40;
        tagRECT content;
        EXPECT_TRUE(engine.DrawPart(sheet.Canvas(), smpPushButton, state, RECT{4, top, 100, top + 31}, content));
        EXPECT_EQ(content.left, 12);
        EXPECT_EQ(content.top, top + 7);
        EXPECT_EQ(content.right, 92);
        EXPECT_EQ(content.bottom, top + 24);
        engine.DrawText(sheet.Canvas(), smpPushButton, state, L"次へ", RECT{4, top, 100, top + 31}, false);
        EXPECT_TRUE(engine.DrawPart(sheet.Canvas(), smpPushButton, state, RECT{104, top, 137, top + 36}, content));
        EXPECT_TRUE(engine.DrawPart(sheet.Canvas(), smpSplitterH, state, RECT{140, top, 260, top + 8}, content));
        // At the strip's own size the image is copied as it is.
        const int32_t image = state <= 5 ? state - 1 : 0;
        for (int32_t y = 0; y < 36; ++y)
            for (int32_t x = 0; x < 33; ++x) {
                const TIERGB s = strip->GetPixelRGB(x, image * 36 + y);
                const int32_t a = strip->GetAlphaChannel()->GetPixelByte(x, image * 36 + y);
                const TColor px = PixelOf(sheet, 104 + x, top + y);
                const int32_t r = px & 0xFF, g = (px >> 8) & 0xFF, b = (px >> 16) & 0xFF;
                ASSERT_NEAR(r, (s.r * a + 255 * (255 - a)) / 255, 2) << state << ": " << x << "," << y;
                ASSERT_NEAR(g, (s.g * a + 255 * (255 - a)) / 255, 2) << state << ": " << x << "," << y;
                ASSERT_NEAR(b, (s.b * a + 255 * (255 - a)) / 255, 2) << state << ": " << x << "," << y;
            }
    }
    // The corners of the hot button (second row) are the second image's, 1:1.
    for (int32_t y = 0; y < 9; ++y)
        for (int32_t x = 0; x < 9; ++x) {
            const TIERGB tl = strip->GetPixelRGB(x, 36 + y), br = strip->GetPixelRGB(24 + x, 36 + 27 + y);
            const int32_t atl = strip->GetAlphaChannel()->GetPixelByte(x, 36 + y);
            const int32_t abr = strip->GetAlphaChannel()->GetPixelByte(24 + x, 36 + 27 + y);
            ASSERT_NEAR(PixelOf(sheet, 4 + x, 40 + y) & 0xFF, (tl.r * atl + 255 * (255 - atl)) / 255, 2);
            ASSERT_NEAR(PixelOf(sheet, 4 + 87 + x, 40 + 22 + y) & 0xFF, (br.r * abr + 255 * (255 - abr)) / 255, 2);
        }
}

// The product carries the same skin resources as the test program.
TEST(KWSkinEn, TheProductHoldsTheSkinResources) {
    const std::wstring product = Utf8ToWide(std::string(TEST_BUILD_DIR) + "/QuillboxSetup.exe");
    HMODULE module = LoadLibraryExW(product.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (!module) GTEST_SKIP() << "no product in this build folder";
    for (const wchar_t* type : {L"INI", L"PUSHBUTTON", L"splitterh", L"SplitterV"}) {
        HRSRC theirs = FindResourceW(module, L"kwskinen", type);
        HRSRC ours = FindResourceW(nullptr, L"KWSKINEN", type);
        ASSERT_NE(theirs, nullptr) << WideToUtf8(type);
        ASSERT_NE(ours, nullptr) << WideToUtf8(type);
        const DWORD size = SizeofResource(module, theirs);
        ASSERT_EQ(size, SizeofResource(nullptr, ours));
        EXPECT_EQ(memcmp(LockResource(LoadResource(module, theirs)), LockResource(LoadResource(nullptr, ours)), size), 0);
        if (std::wstring(type) == L"INI") EXPECT_EQ(size, 237u);
    }
    FreeLibrary(module);
}

TEST(KWSkinEn, NineSliceBelowAtAndAboveTheSlices) {
    TKWSkinEn engine(nullptr);
    CodedPart(engine, smpPushButton, 2);
    struct TCase {
        int32_t W, H;
    };
    for (TCase c : {TCase{4, 4}, TCase{5, 12}, TCase{12, 12}, TCase{13, 12}, TCase{40, 30}, TCase{96, 31}}) {
        SCOPED_TRACE(std::to_string(c.W) + " x " + std::to_string(c.H));
        TBitmap out;
        MakeCanvasBitmap(out, c.W, c.H, clFuchsia);
        tagRECT content;
        ASSERT_TRUE(engine.DrawPart(out.Canvas(), smpPushButton, PBS_HOT, RECT{0, 0, c.W, c.H}, content));
        EXPECT_EQ(content.left, 2);
        EXPECT_EQ(content.top, 1);
        EXPECT_EQ(content.right, c.W - 2);
        EXPECT_EQ(content.bottom, c.H - 1);
        for (int32_t y = 0; y < c.H; ++y)
            for (int32_t x = 0; x < c.W; ++x) {
                const TColor px = PixelOf(out, x, y);
                ASSERT_NE(px, clFuchsia) << x << "," << y;
                const TSource s = SourceOf(px);
                ASSERT_EQ(s.Image, 1) << x << "," << y;   // the hot state is the second image
                // Below the slices the corners overlap and the later ones win: only the corners
                // are checked there.
                if (c.W >= 6) ASSERT_TRUE(InBand(x, c.W, s.X, 12, 3)) << x << "," << y << " from " << s.X;
                if (c.H >= 6) ASSERT_TRUE(InBand(y, c.H, s.Y, 12, 3)) << x << "," << y << " from " << s.Y;
            }
        // Corners 1:1 whatever the size.
        EXPECT_EQ(SourceOf(PixelOf(out, 0, 0)).X, 0);
        EXPECT_EQ(SourceOf(PixelOf(out, c.W - 1, c.H - 1)).X, 11);
        EXPECT_EQ(SourceOf(PixelOf(out, c.W - 1, c.H - 1)).Y, 11);
        if (c.W == 12 && c.H == 12)
            for (int32_t y = 0; y < 12; ++y)
                for (int32_t x = 0; x < 12; ++x) {
                    ASSERT_EQ(SourceOf(PixelOf(out, x, y)).X, x);
                    ASSERT_EQ(SourceOf(PixelOf(out, x, y)).Y, y);
                }
    }
}

TEST(KWSkinEn, StatesPickTheirImage) {
    TKWSkinEn engine(nullptr);
    CodedPart(engine, smpPushButton, 5);
    TBitmap out;
    tagRECT content;
    for (int32_t state = 0; state <= 7; ++state) {
        MakeCanvasBitmap(out, 20, 20, clFuchsia);
        ASSERT_TRUE(engine.DrawPart(out.Canvas(), smpPushButton, state, RECT{0, 0, 20, 20}, content));
        const int32_t expected = state >= 1 && state <= 5 ? state - 1 : 0;
        EXPECT_EQ(SourceOf(PixelOf(out, 10, 10)).Image, expected) << "state " << state;
    }
    // Any state of another part draws its first image.
    CodedPart(engine, smpSplitterH, 4);
    MakeCanvasBitmap(out, 20, 8, clFuchsia);
    ASSERT_TRUE(engine.DrawPart(out.Canvas(), smpSplitterH, 3, RECT{0, 0, 20, 8}, content));
    EXPECT_EQ(SourceOf(PixelOf(out, 10, 4)).Image, 0);
    EXPECT_FALSE(engine.DrawPart(out.Canvas(), smpPushButton, 1, RECT{0, 0, 20, 8}, content));   // no such part
}

TEST(KWSkinEn, CannotDrawDrawsNothing) {
    TKWSkinEn engine(nullptr);
    TsmPart* part = CodedPart(engine, smpPushButton, 2);
    TBitmap out;
    MakeCanvasBitmap(out, 20, 20, clFuchsia);
    const RECT all{0, 0, 20, 20};
    tagRECT content;
    EXPECT_FALSE(engine.DrawPart(nullptr, smpPushButton, 1, all, content));
    EXPECT_FALSE(engine.DrawPart(out.Canvas(), smpPushButton, 3, all, content));   // image 2 of 2 images
    part->ImageCount = 0;
    EXPECT_FALSE(engine.DrawPart(out.Canvas(), smpPushButton, 1, all, content));
    part->ImageCount = 30;   // more images than the strip's 24 rows: images of no rows
    EXPECT_FALSE(engine.DrawPart(out.Canvas(), smpPushButton, 1, all, content));
    part->ImageCount = 2;
    part->Bitmaps.clear();
    EXPECT_FALSE(engine.DrawPart(out.Canvas(), smpPushButton, 1, all, content));
    EXPECT_TRUE(AllPixels(out, all, clFuchsia));
}

// Margins that do not fit the strip leave those pieces out instead of reading
// outside the strip.
TEST(KWSkinEn, MarginsLargerThanTheStripStayInside) {
    TKWSkinEn engine(nullptr);
    TsmPart* part = CodedPart(engine, smpPushButton, 2);
    TBitmap out;
    tagRECT content;
    part->SizingMargins = tagRECT{50, 3, 50, 3};
    MakeCanvasBitmap(out, 120, 30, clFuchsia);
    EXPECT_TRUE(engine.DrawPart(out.Canvas(), smpPushButton, 2, RECT{0, 0, 120, 30}, content));
}

// Transparent strip pixels leave the canvas as it was; a rectangle away from the origin is drawn
// where it lies.
TEST(KWSkinEn, AlphaAndPlacement) {
    TKWSkinEn engine(nullptr);
    TsmPart* part = CodedPart(engine, smpPushButton, 1);
    part->Bitmaps[0]->GetAlphaChannel()->SetPixelByte(0, 0, 0);
    part->Bitmaps[0]->GetAlphaChannel()->SetFull(false);
    TBitmap out;
    MakeCanvasBitmap(out, 40, 40, clFuchsia);
    tagRECT content;
    ASSERT_TRUE(engine.DrawPart(out.Canvas(), smpPushButton, 1, RECT{10, 20, 22, 32}, content));
    EXPECT_EQ(content.left, 12);
    EXPECT_EQ(content.top, 21);
    EXPECT_EQ(PixelOf(out, 10, 20), clFuchsia);
    EXPECT_EQ(SourceOf(PixelOf(out, 11, 20)).X, 1);
    EXPECT_EQ(SourceOf(PixelOf(out, 21, 31)).Y, 11);
    EXPECT_TRUE(AllPixels(out, RECT{0, 0, 40, 20}, clFuchsia));
    EXPECT_TRUE(AllPixels(out, RECT{0, 20, 10, 40}, clFuchsia));
    EXPECT_TRUE(AllPixels(out, RECT{22, 20, 40, 40}, clFuchsia));
}

TEST(KWSkinEn, MissingResourcesOrSectionsLeaveTheSkinUnloaded) {
    const std::string ini = "[PushButton]\r\nImageCount=5\r\nTextColor0=0x000000FF\r\nTextColor2=0xZZ\r\n";
    struct TCase {
        const char* Name;
        std::map<std::wstring, std::string> Resources;
        bool Supported, Loaded;
        int32_t Parts;
    };
    const TCase cases[] = {
        {"no ini", {{L"INI", ""}}, true, false, 0},
        {"no push-button strip", {{L"PushButton", ""}}, true, false, 0},
        {"before Windows XP", {}, false, false, 0},
        {"ini without sections", {{L"INI", "[Other]\r\nA=1\r\n"}}, true, true, 0},
        {"splitter strips missing", {{L"INI", ini}, {L"SplitterH", ""}, {L"SplitterV", ""}}, true, true, 1},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TFakeSkinEn engine;
        engine.Resources = c.Resources;
        engine.Supported = c.Supported;
        EXPECT_EQ(engine.LoadSkin(), c.Loaded);
        EXPECT_EQ(engine.Loaded(), c.Loaded);
        if (c.Loaded) EXPECT_EQ(engine.Parts()->Count(), c.Parts);
        TBitmap out;
        MakeCanvasBitmap(out, 30, 30, clFuchsia);
        tagRECT content;
        if (c.Parts == 0) EXPECT_FALSE(engine.DrawPart(out.Canvas(), smpPushButton, 1, RECT{0, 0, 30, 30}, content));
    }
    // Text colours: entry 0 read, the others default to it, a colour that is not hexadecimal too.
    TFakeSkinEn engine;
    engine.Resources = {{L"INI", ini}};
    ASSERT_TRUE(engine.LoadSkin());
    TsmPart* part = engine.Parts()->FindPart(smpPushButton);
    ASSERT_NE(part, nullptr);
    ASSERT_EQ(part->TextColors.size(), 5u);
    for (TColor c : part->TextColors) EXPECT_EQ(c, (TColor)0xFF);
    EXPECT_EQ(part->SizingMargins.left, 0);   // missing keys keep the part's values
}

TEST(KWSkinEn, LoadPartKeepsValuesOfMissingOrMalformedKeys) {
    TImageLibrary library;
    TFakeSkinEn engine;
    TKWIniFile ini(L"");
    TStringList lines;
    lines.SetText(L"[S]\r\nContentMargins=1,2,3\r\nSizingMargins=4,5,,6,7\r\nImageCount=x\r\n");
    ini.SetStrings(&lines);
    TsmPart part;
    part.ContentMargins = tagRECT{9, 9, 9, 9};
    part.ImageCount = 2;
    EXPECT_FALSE(engine.LoadPart(&part, &ini, L"Missing", nullptr));
    EXPECT_FALSE(engine.LoadPart(nullptr, &ini, L"S", nullptr));
    EXPECT_FALSE(engine.LoadPart(&part, nullptr, L"S", nullptr));
    ASSERT_TRUE(engine.LoadPart(&part, &ini, L"S", nullptr));
    EXPECT_EQ(part.ContentMargins.left, 9);
    EXPECT_EQ(part.SizingMargins.left, 4);
    EXPECT_EQ(part.SizingMargins.bottom, 7);
    EXPECT_EQ(part.ImageCount, 2);
    EXPECT_EQ(part.TextColors.size(), 2u);
    EXPECT_TRUE(part.Bitmaps.empty());
    // A stream that is no image gives no strip.
    TMemoryStream junk;
    junk.Write("not an image", 12);
    junk.SetPosition(0);
    ASSERT_TRUE(engine.LoadPart(&part, &ini, L"S", &junk));
    EXPECT_TRUE(part.Bitmaps.empty());
}

TEST(KWSkinEn, CaptionsInTheColourOfTheState) {
    TKWSkinEn engine(nullptr);
    TsmPart* part = CodedPart(engine, smpPushButton, 3);
    part->TextColors = {clRed, clLime, clBlue};
    struct TCase {
        int32_t State;
        TColor Colour;
    };
    // State 5 is image 4, beyond the three colours: the first colour.
    for (TCase c : {TCase{1, clRed}, TCase{2, clLime}, TCase{3, clBlue}, TCase{5, clRed}, TCase{9, clRed}}) {
        TBitmap out;
        MakeCanvasBitmap(out, 80, 24, clWhite);
        out.Canvas()->Font()->SetSize(14);
        const int oldMode = SetBkMode(out.Canvas()->Handle(), OPAQUE);
        engine.DrawText(out.Canvas(), smpPushButton, c.State, L"WWW", RECT{0, 0, 80, 24}, false);
        EXPECT_EQ(GetBkMode(out.Canvas()->Handle()), OPAQUE);
        SetBkMode(out.Canvas()->Handle(), oldMode);
        int32_t ink = 0, other = 0;
        for (int32_t y = 0; y < 24; ++y)
            for (int32_t x = 0; x < 80; ++x) {
                const TColor px = PixelOf(out, x, y);
                if (px == ColorToRGB(c.Colour)) ++ink;
                else if (px != clWhite) ++other;
            }
        EXPECT_GT(ink, 10) << "state " << c.State;
        // Only left and right of the text's middle third is white: it is centred.
        EXPECT_EQ(PixelOf(out, 2, 12), clWhite);
        EXPECT_EQ(PixelOf(out, 77, 12), clWhite);
    }
    // Through the text renderer: blended ink of the state's colour (the blue channel stays low
    // where the red caption is drawn), centred, the background mode kept.
    {
        TBitmap out;
        MakeCanvasBitmap(out, 80, 24, clWhite);
        out.Canvas()->Font()->SetSize(14);
        SetBkMode(out.Canvas()->Handle(), OPAQUE);
        engine.DrawText(out.Canvas(), smpPushButton, 1, L"WWW", RECT{0, 0, 80, 24}, true);
        EXPECT_EQ(GetBkMode(out.Canvas()->Handle()), OPAQUE);
        int32_t red = 0;
        for (int32_t y = 0; y < 24; ++y)
            for (int32_t x = 0; x < 80; ++x) {
                const TColor px = PixelOf(out, x, y);
                if ((px & 0xFF) > 200 && ((px >> 16) & 0xFF) < 100) ++red;
            }
        EXPECT_GT(red, 10);
        EXPECT_EQ(PixelOf(out, 2, 12), clWhite);
        EXPECT_EQ(PixelOf(out, 77, 12), clWhite);
    }
    TBitmap out;
    MakeCanvasBitmap(out, 20, 20, clWhite);
    engine.DrawText(out.Canvas(), smpSplitterV, 1, L"W", RECT{0, 0, 20, 20}, false);   // no such part
    EXPECT_TRUE(AllPixels(out, RECT{0, 0, 20, 20}, clWhite));
    engine.DrawText(nullptr, smpPushButton, 1, L"W", RECT{0, 0, 20, 20}, false);
}

// ---- The skinned button ----

namespace {

struct TSkinnedHost {
    std::unique_ptr<TForm> Form = MakeHostForm(300, 100);
    std::unique_ptr<TKWSkinEn> Engine = std::make_unique<TKWSkinEn>(nullptr);
    TKWButton* Button;
    TSkinnedHost() {
        CodedPart(*Engine, smpPushButton, 5);
        Button = new TKWButton(Form.get());
        Button->SetParent(Form.get());
        Button->SetBounds(10, 10, 96, 31);
        Button->SetCaption(L"次へ");
    }
};

}  // namespace

TEST(KWSkinEnButton, DrawsTheSkinInTheButtonsState) {
    TSkinnedHost h;
    h.Button->SetSkinEn(h.Engine.get());
    ASSERT_TRUE(h.Button->SkinEnEnabled());
    EXPECT_EQ(h.Engine->ClientCount(), 1);
    TBitmap out;
    RenderControl(h.Button, out, clFuchsia);
    EXPECT_EQ(SourceOf(PixelOf(out, 0, 0)).Image, 0);   // normal
    EXPECT_EQ(SourceOf(PixelOf(out, 95, 30)).X, 11);
    // Default and pressed with the mouse elsewhere: pressed.
    h.Button->SetDefault(true);
    SendMessageW(h.Button->Handle(), BM_SETSTATE, TRUE, 0);
    RenderControl(h.Button, out, clFuchsia);
    EXPECT_EQ(SourceOf(PixelOf(out, 0, 0)).Image, 2);
    SendMessageW(h.Button->Handle(), BM_SETSTATE, FALSE, 0);
    RenderControl(h.Button, out, clFuchsia);
    EXPECT_EQ(SourceOf(PixelOf(out, 0, 0)).Image, 4);   // default
    h.Button->SetEnabled(false);
    RenderControl(h.Button, out, clFuchsia);
    EXPECT_EQ(SourceOf(PixelOf(out, 0, 0)).Image, 3);   // disabled
    h.Button->SetEnabled(true);
    h.Button->SetForceHotlight(true);
    RenderControl(h.Button, out, clFuchsia);
    EXPECT_EQ(SourceOf(PixelOf(out, 0, 0)).Image, 1);   // hot

    // Skins not allowed: the themed or classic look, whose corner is not the strip's.
    h.Button->SetSkinEnIsAllow(false);
    EXPECT_FALSE(h.Button->SkinEnEnabled());
    TBitmap plain;
    RenderControl(h.Button, plain, clFuchsia);
    EXPECT_GT(DifferentPixels(out, plain, RECT{0, 0, 96, 31}), 100);
    // A skin that cannot draw the part leaves the button themed or classic, not blank (only the
    // background, which is not erased while a skin is enabled, may differ in the corners).
    h.Button->SetSkinEnIsAllow(true);
    h.Engine->Parts()->Clear();
    TBitmap fallback, blank;
    RenderControl(h.Button, fallback, clFuchsia);
    MakeCanvasBitmap(blank, 96, 31, clFuchsia);
    EXPECT_LT(DifferentPixels(plain, fallback, RECT{0, 0, 96, 31}), 50);
    EXPECT_GT(DifferentPixels(blank, fallback, RECT{0, 0, 96, 31}), 2000);
}

TEST(KWSkinEnButton, EngineLinkFollowsSkinEnIsAllow) {
    TSkinnedHost h;
    h.Button->SetSkinEnIsAllow(false);
    h.Button->SetSkinEn(h.Engine.get());
    EXPECT_EQ(h.Button->SkinEn(), nullptr);
    EXPECT_EQ(h.Engine->ClientCount(), 0);
    h.Button->SetSkinEnIsAllow(true);
    h.Button->SetSkinEn(h.Engine.get());
    EXPECT_EQ(h.Button->SkinEn(), h.Engine.get());
    TKWSkinEn other(nullptr);
    h.Button->SetSkinEn(&other);   // leaves the first engine's list, joins the second's
    EXPECT_EQ(h.Engine->ClientCount(), 0);
    EXPECT_EQ(other.ClientCount(), 1);
    delete h.Button;               // a button that goes leaves its engine's list
    EXPECT_EQ(other.ClientCount(), 0);
}

TEST(KWSkinEnButton, DestroyingTheEngineLeavesItsButtonsWithoutOne) {
    TSkinnedHost h;
    TKWButton* buttons[3] = {h.Button, new TKWButton(h.Form.get()), new TKWButton(h.Form.get())};
    for (TKWButton* b : buttons) b->SetSkinEn(h.Engine.get());
    EXPECT_EQ(h.Engine->ClientCount(), 3);
    // A button that stopped allowing skins cannot have its engine written, yet must not keep a
    // freed one.
    buttons[2]->SetSkinEnIsAllow(false);
    h.Engine.reset();
    for (TKWButton* b : buttons) EXPECT_EQ(b->SkinEn(), nullptr);
    TBitmap out;
    RenderControl(buttons[0], out, clFuchsia);   // draws without an engine
}
