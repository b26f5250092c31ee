// Layers of the viewer: the layer's own fields, the compositor against a per-pixel reference
// (opacity and every blend operation, clipping, the area outside layer 0), flattening, the grips,
// and the layers stream and single-layer record (exact header bytes, round trips, older versions,
// cut and damaged streams refused with the layers unchanged).
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "ByteOrder.h"
#include "iebitmap.h"
#include "picturaio.h"
#include "picturaview.h"
#include "picturaview_control.h"
#include "picturaview_test_pattern.h"

namespace {

struct LayersTest : ::testing::Test {
    void SetUp() override {
        IEPicturaViewInitialize();
        IEInitializePicturaIO();
    }
    void TearDown() override { IEFinalizePicturaIO(); }
};

// An off-screen view with layer 0 of W x H and two more layers placed by the caller.
std::unique_ptr<TPicturaView> ThreeLayers() {
    auto view = std::make_unique<TPicturaView>(nullptr);
    view->SetOffScreen(true);
    view->SetBounds(0, 0, 40, 30);
    view->SetBackground(0x102030);
    Pattern(view->GetIEBitmap(), 12, 10, 1);
    view->AddLayer();
    Pattern(view->GetIEBitmap(), 5, 4, 2);
    view->AddLayer();
    Pattern(view->GetIEBitmap(), 4, 6, 3);
    TIELayer* l1 = view->GetLayer(1);
    l1->PosX = 2;
    l1->PosY = 1;
    l1->Transparency = 128;
    TIELayer* l2 = view->GetLayer(2);
    l2->PosX = 5;
    l2->PosY = 3;
    l2->Transparency = 200;
    return view;
}

// The per-pixel reference: each layer's pixel combined by its operation, then blended by opacity.
void ReferenceDraw(TIEBitmap* Dest, TIEBitmap* Src, int32_t PosX, int32_t PosY, int32_t Opacity, uint8_t Op) {
    for (int32_t y = 0; y < Src->GetHeight(); ++y)
        for (int32_t x = 0; x < Src->GetWidth(); ++x) {
            const int32_t dx = x + PosX, dy = y + PosY;
            if (dx < 0 || dy < 0 || dx >= Dest->GetWidth() || dy >= Dest->GetHeight()) continue;
            TIERGB s = Src->GetPixelRGB(x, y), d = Dest->GetPixelRGB(dx, dy);
            TIERGB c = d;
            IECombinePixel(&s, &c, Op, dy);
            if (Opacity >= 255) {
                d = c;
            } else {
                d.r = uint8_t(d.r + ((Opacity * (c.r - d.r)) >> 8));
                d.g = uint8_t(d.g + ((Opacity * (c.g - d.g)) >> 8));
                d.b = uint8_t(d.b + ((Opacity * (c.b - d.b)) >> 8));
            }
            Dest->SetPixelRGB(dx, dy, d);
        }
}

void ExpectSameImage(TIEBitmap* A, TIEBitmap* B, const std::string& What) {
    ASSERT_EQ(A->GetWidth(), B->GetWidth()) << What;
    ASSERT_EQ(A->GetHeight(), B->GetHeight()) << What;
    int32_t bad = 0;
    for (int32_t y = 0; y < A->GetHeight(); ++y)
        for (int32_t x = 0; x < A->GetWidth(); ++x) {
            const TIERGB a = A->GetPixelRGB(x, y), b = B->GetPixelRGB(x, y);
            if ((a.r != b.r || a.g != b.g || a.b != b.b) && bad++ < 3)
                ADD_FAILURE() << What << " at " << x << "," << y << ": " << int(a.r) << "," << int(a.g) << ","
                              << int(a.b) << " vs " << int(b.r) << "," << int(b.g) << "," << int(b.b);
        }
    EXPECT_EQ(bad, 0) << What;
}

std::vector<uint8_t> Bytes(TMemoryStream& S) {
    const uint8_t* p = static_cast<const uint8_t*>(S.GetMemory());
    return std::vector<uint8_t>(p, p + S.GetSize());
}

}  // namespace

// ---- The layer itself ----------------------------------------------------------------------------

TEST_F(LayersTest, RotationAngleAndCopyFrom) {
    TPicturaView view(nullptr);
    TIELayer* l = view.GetLayer(0);
    const struct {
        double In, Stored;
    } angles[] = {{720, 0}, {-360, 0}, {0, 0}, {360.5, 360.5}, {450, 450}, {-30, -30}};
    for (const auto& a : angles) {
        l->SetRotationAngle(a.In);
        EXPECT_EQ(l->RotationAngle, a.Stored) << a.In;
    }

    view.AddLayer();
    TIELayer* target = view.GetLayer(1);
    TIEBitmap source(3, 2, ie24RGB);
    source.Fill(double(0x00FF00));
    TIELayer src(&view, true, &source);
    src.OwnsBitmap = false;
    src.PosX = 7;
    src.Transparency = 99;
    src.Name = "top";
    src.IsMask = true;
    src.Magnify.MagnifyRate = 3.5;
    src.SetRotationAngle(30);
    const GUID guid = target->LayerGUID;
    target->SetRotationAngle(10);
    target->CopyFrom(&src);
    EXPECT_EQ(target->PosX, 7);
    EXPECT_EQ(target->Transparency, 99);
    EXPECT_EQ(target->Name, "top");
    EXPECT_TRUE(target->IsMask);
    EXPECT_EQ(target->Magnify.MagnifyRate, 3.5);
    EXPECT_EQ(std::memcmp(&target->LayerGUID, &guid, sizeof(GUID)), 0);
    EXPECT_NE(std::memcmp(&target->LayerGUID, &src.LayerGUID, sizeof(GUID)), 0);
    EXPECT_EQ(target->RotationAngle, 10);
    EXPECT_TRUE(target->OwnsBitmap);
    EXPECT_EQ(target->Bitmap->GetWidth(), 3);
    EXPECT_EQ(target->Bitmap->GetPixelRGB(2, 1).g, 255);
    src.Bitmap = nullptr;
}

// A new layer is shaped like its template without its pixels; a template wrapping a system bitmap
// gives a layer wrapping a new system bitmap of its own, so the view's reference can follow it.
TEST_F(LayersTest, CreateShapesTheBitmapLikeTheTemplate) {
    TPicturaView view(nullptr);
    auto owned = std::make_unique<TBitmap>();  // outlives the image that wraps it
    TBitmap* system = owned.get();
    system->SetPixelFormat(pf24bit);
    system->SetSize(5, 4);
    TIEBitmap wrapping;
    wrapping.EncapsulateTBitmap(system, true);
    {
        TIELayer l(&view, false, &wrapping);
        EXPECT_TRUE(l.OwnsBitmap);
        EXPECT_TRUE(l.Bitmap->GetEncapsulatedTBitmap());
        ASSERT_NE(l.Bitmap->GetTBitmap(), nullptr);
        EXPECT_NE(l.Bitmap->GetTBitmap(), system);
        EXPECT_EQ(l.Bitmap->GetTBitmap()->PixelFormat(), pf24bit);
        EXPECT_EQ(l.Bitmap->GetWidth(), 5);
        EXPECT_EQ(l.Bitmap->GetHeight(), 4);
        EXPECT_EQ(l.Bitmap->GetPixelFormat(), ie24RGB);
    }
    EXPECT_EQ(system->Width(), 5);  // the template's own system bitmap is untouched

    TIEBitmap plain(3, 2, ie8g);
    TIELayer p(&view, false, &plain);
    EXPECT_FALSE(p.Bitmap->GetEncapsulatedTBitmap());
    EXPECT_EQ(p.Bitmap->GetLocation(), plain.GetLocation());
    EXPECT_EQ(p.Bitmap->GetWidth(), 3);
    EXPECT_EQ(p.Bitmap->GetPixelFormat(), ie8g);

    TIELayer empty(&view, false, nullptr);
    EXPECT_EQ(empty.Bitmap->GetWidth(), 0);
}

// ---- The compositor ------------------------------------------------------------------------------

TEST_F(LayersTest, ThreeLayersWithOpacityAndEveryBlendOperation) {
    auto view = ThreeLayers();
    for (int32_t op = 0; op <= IEMaxBlendOperation; ++op) {
        view->GetLayer(1)->Operation = uint8_t(op);
        view->GetLayer(2)->Operation = uint8_t((op * 7) % (IEMaxBlendOperation + 1));
        TIEBitmap out;
        view->DrawLayersTo(&out);
        TIEBitmap ref(12, 10, ie24RGB);
        ref.Fill(double(0x102030));
        for (int32_t i = 0; i < 3; ++i) {
            TIELayer* l = view->GetLayer(i);
            ReferenceDraw(&ref, l->Bitmap, l->PosX, l->PosY, l->Transparency, l->Operation);
        }
        ExpectSameImage(&out, &ref, "operation " + std::to_string(op));
        if (HasFailure()) break;
    }
    // The view's zoom survives the composition at 100 %.
    EXPECT_EQ(view->GetZoom(), 100.0);
}

TEST_F(LayersTest, NegativePositionWidensAndClipToBackgroundDoesNot) {
    auto view = ThreeLayers();
    view->GetLayer(1)->PosX = -10;
    view->GetLayer(2)->PosX = 30;   // beyond layer 0, clipped to it
    view->GetLayer(2)->ClipToBackground = true;
    TIEBitmap out;
    view->DrawLayersTo(&out);
    EXPECT_EQ(out.GetWidth(), 12 + 10);
    EXPECT_EQ(out.GetHeight(), 10);
    // Layer 1's left edge lands on column 0 (at opacity 128 over the background colour).
    const TIERGB bg{0x10, 0x20, 0x30};   // blue, green, red of 0x102030
    TIERGB s = view->GetLayer(1)->Bitmap->GetPixelRGB(0, 0);
    const TIERGB got = out.GetPixelRGB(0, 1);
    EXPECT_EQ(got.r, uint8_t(bg.r + ((128 * (s.r - bg.r)) >> 8)));
    // Layer 0 starts at column 10.
    const TIERGB l0 = view->GetLayer(0)->Bitmap->GetPixelRGB(0, 0);
    EXPECT_EQ(out.GetPixelRGB(10, 0).r, l0.r);
    EXPECT_EQ(out.GetPixelRGB(10, 0).b, l0.b);
}

TEST_F(LayersTest, ClipToBackgroundCutsTheLeftPartButKeepsTheScreenRect) {
    auto view = ThreeLayers();
    TIELayer* l2 = view->GetLayer(2);
    l2->PosX = -2;
    l2->PosY = 0;
    l2->Transparency = 255;
    l2->ClipToBackground = true;
    view->GetLayer(1)->Visible = false;
    TIEBitmap out;
    view->DrawLayersTo(&out);
    ASSERT_EQ(out.GetWidth(), 12);
    // Column 0 of the result shows the layer's third column.
    const TIERGB s = l2->Bitmap->GetPixelRGB(2, 0), d = out.GetPixelRGB(0, 0);
    EXPECT_EQ(d.r, s.r);
    EXPECT_EQ(d.g, s.g);
    EXPECT_EQ(l2->ScreenRect.left, -2);   // at 100 % with no margin
}

TEST_F(LayersTest, OutsideLayerZeroIsBrightenedInModeThree) {
    auto view = std::make_unique<TPicturaView>(nullptr);
    view->SetOffScreen(true);
    view->SetBounds(0, 0, 30, 20);
    view->SetBackground(0x101010);
    view->GetIEBitmap()->Allocate(10, 8, ie24RGB);
    view->GetIEBitmap()->Fill(double(0x404040));
    view->LayersOutsideMode = 3;
    view->Update();
    view->SetBackBufferDirty();
    view->PresentBackBuffer(RECT{0, 0, 30, 20});
    TIEBitmap* bb = view->GetBackBufferIE();
    const int32_t* ld = view->GetLayer(0)->LastDraw;
    ASSERT_EQ(ld[2], 10);
    EXPECT_EQ(bb->GetPixelRGB(ld[0], ld[1]).r, 0x40);             // inside unchanged
    EXPECT_EQ(bb->GetPixelRGB(0, 0).r, 0x10 + 60);                 // outside brightened
    EXPECT_EQ(bb->GetPixelRGB(ld[0] + 10, ld[1]).r, 0x10 + 60);    // first column past the edge
}

TEST_F(LayersTest, FlattenBlendsTheAlphaOverTheBackground) {
    TPicturaView view(nullptr);
    view.SetBackground(0x000000);
    TIEBitmap* image = view.GetIEBitmap();
    image->Allocate(4, 4, ie24RGB);
    image->Fill(double(0xFFFFFF));
    image->GetAlphaChannel()->Fill(0);
    image->SetAlpha(1, 1, 255);
    view.FlattenLayers();
    ASSERT_EQ(view.GetLayerCount(), 1);
    TIEBitmap* flat = view.GetIEBitmap();
    EXPECT_EQ(flat->GetPixelFormat(), ie24RGB);
    EXPECT_FALSE(flat->HasAlphaChannel());
    EXPECT_GE(flat->GetPixelRGB(1, 1).r, 254);   // opaque white (the renderer's alpha scale is 1/256)
    EXPECT_EQ(flat->GetPixelRGB(0, 0).r, 0);
}

TEST_F(LayersTest, ResizeLayersToSizeResamplesToTheShownSize) {
    auto view = ThreeLayers();
    view->GetLayer(1)->Width = 10;
    view->GetLayer(1)->Height = 8;
    view->SetCurrentLayer(2);
    view->ResizeLayersToSize(-1);
    EXPECT_EQ(view->GetLayersCurrent(), 2);
    TIELayer* l1 = view->GetLayer(1);
    EXPECT_EQ(l1->Width, 0);
    EXPECT_EQ(l1->Bitmap->GetWidth(), 10);
    EXPECT_EQ(l1->Bitmap->GetHeight(), 8);
    EXPECT_EQ(view->GetLayer(2)->Bitmap->GetWidth(), 4);   // no explicit size: untouched

    // A layer that cannot become current is resampled itself, not the layer the view falls back to.
    TIELayer* l2 = view->GetLayer(2);
    l2->Selectable = false;
    l2->Width = 8;
    l2->Height = 12;
    view->SetCurrentLayer(0);
    view->ResizeLayersToSize(2);
    EXPECT_EQ(view->GetLayersCurrent(), 0);
    EXPECT_EQ(l2->Bitmap->GetWidth(), 8);
    EXPECT_EQ(l2->Bitmap->GetHeight(), 12);
    EXPECT_EQ(l2->Width, 0);
    EXPECT_EQ(l1->Bitmap->GetWidth(), 10);
    EXPECT_EQ(view->GetLayer(0)->Bitmap->GetWidth(), 12);
}

TEST_F(LayersTest, GripsAndTheRotationCentre) {
    auto view = ThreeLayers();
    TIELayer* l = view->GetCurrentLayer();
    l->ScreenRect = RECT{10, 10, 30, 20};
    RECT rects[9];
    view->GetLayerGripRects(2, rects);
    EXPECT_EQ(rects[0].left, 5);
    EXPECT_EQ(rects[2].right, 35);
    EXPECT_EQ(rects[6].left, 15);   // middle of the top edge minus the grip size
    EXPECT_EQ(view->FindLayerGrip(30, 20), 3);
    EXPECT_EQ(view->FindLayerGrip(200, 200), 0);
    const int32_t cx = (rects[8].left + rects[8].right) / 2, cy = (rects[8].top + rects[8].bottom) / 2;
    bool other = false;
    for (int32_t k = 0; k < 8; ++k)
        other |= cx >= rects[k].left && cx <= rects[k].right && cy >= rects[k].top && cy <= rects[k].bottom;
    if (!other) {
        EXPECT_EQ(view->FindLayerGrip(cx, cy), 0);
        view->SetMouseInteract(miRotateLayers);
        EXPECT_EQ(view->FindLayerGrip(cx, cy), 9);
    }
}

// ---- The layers stream ---------------------------------------------------------------------------

TEST_F(LayersTest, HeaderBytesAndRawRoundTrips) {
    for (int32_t codec : {-1, -2}) {
        auto view = ThreeLayers();
        view->GetLayer(1)->Name = "middle";
        view->GetLayer(1)->IsMask = false;
        view->GetLayer(2)->Selectable = false;
        view->GetLayer(2)->DimOutside = true;
        view->GetLayer(2)->Magnify.MagnifyRate = 4.25;
        view->GetLayer(2)->UserData = std::malloc(5);
        std::memcpy(view->GetLayer(2)->UserData, "abcde", 5);
        view->GetLayer(2)->UserDataLen = 5;
        view->GetLayer(1)->Bitmap->GetAlphaChannel()->Fill(77);
        view->SetCurrentLayer(1);
        TMemoryStream s;
        view->SaveLayersToStream(&s, codec);
        const std::vector<uint8_t> b = Bytes(s);
        ASSERT_GE(b.size(), 25u);
        EXPECT_EQ(std::memcmp(b.data(), "PICTURALAYERS", 13), 0);
        EXPECT_EQ(ByteOrder::GetLE32(b.data() + 13), 6u);
        EXPECT_EQ(int32_t(ByteOrder::GetLE32(b.data() + 17)), codec);
        EXPECT_EQ(ByteOrder::GetLE32(b.data() + 21), 3u);
        EXPECT_EQ(view->GetLayersCurrent(), 1);   // the current layer is put back

        TPicturaView other(nullptr);
        s.SetPosition(0);
        ASSERT_TRUE(other.LoadLayersFromStream(&s));
        ASSERT_EQ(other.GetLayerCount(), 3);
        EXPECT_EQ(other.GetLayersCurrent(), 2);
        for (int32_t i = 0; i < 3; ++i) {
            TIELayer* a = view->GetLayer(i);
            TIELayer* c = other.GetLayer(i);
            EXPECT_EQ(c->PosX, a->PosX);
            EXPECT_EQ(c->PosY, a->PosY);
            EXPECT_EQ(c->Transparency, a->Transparency);
            EXPECT_EQ(c->Name, a->Name);
            EXPECT_EQ(c->Selectable, a->Selectable);
            EXPECT_EQ(c->DimOutside, a->DimOutside);
            EXPECT_EQ(c->Magnify.MagnifyRate, a->Magnify.MagnifyRate);
            ExpectSameImage(c->Bitmap, a->Bitmap, "layer " + std::to_string(i));
            EXPECT_EQ(c->Bitmap->HasAlphaChannel(), a->Bitmap->HasAlphaChannel()) << i;
        }
        EXPECT_EQ(other.GetLayer(1)->Bitmap->GetAlpha(2, 2), 77);
        ASSERT_EQ(other.GetLayer(2)->UserDataLen, 5);
        EXPECT_NE(other.GetLayer(2)->UserData, view->GetLayer(2)->UserData);
        EXPECT_EQ(std::memcmp(other.GetLayer(2)->UserData, "abcde", 5), 0);
    }
}

TEST_F(LayersTest, CodecOneIsWrittenAsPng) {
    auto view = ThreeLayers();
    TMemoryStream s;
    view->SaveLayersToStream(&s, 1);
    const std::vector<uint8_t> b = Bytes(s);
    EXPECT_EQ(ByteOrder::GetLE32(b.data() + 17), 8u);
    // Layer 0's image offset (the last 8 bytes of its block) points at a PNG signature.
    const uint8_t* block0 = b.data() + 25;
    const size_t blockSize = 1 + 1 + 4 + 4 + 4 + 1 + 1 + 1 + 8 + 1 + 1 + 1 + 4 + 4 + 1 + 1 + 4 + 4 + 1 + 1 + 1;
    const uint32_t offset = ByteOrder::GetLE32(block0 + blockSize);
    ASSERT_LT(offset + 8, b.size());
    EXPECT_EQ(std::memcmp(b.data() + offset, "\x89PNG", 4), 0);
    TPicturaView other(nullptr);
    s.SetPosition(0);
    ASSERT_TRUE(other.LoadLayersFromStream(&s));
    ASSERT_EQ(other.GetLayerCount(), 3);
    for (int32_t i = 0; i < 3; ++i)
        ExpectSameImage(other.GetLayer(i)->Bitmap, view->GetLayer(i)->Bitmap, "png layer " + std::to_string(i));
}

TEST_F(LayersTest, VersionTwoStreamKeepsTheNewerFieldsAtTheirDefaults) {
    // A hand-built version-2 stream of two layers (raw images) with only the old fields.
    TIEBitmap img0, img1;
    Pattern(&img0, 3, 2, 5);
    Pattern(&img1, 2, 2, 6);
    TMemoryStream raw0, raw1;
    img0.SaveRawToStream(nullptr, &raw0);
    img1.SaveRawToStream(nullptr, &raw1);
    std::vector<uint8_t> s;
    auto put = [&](const void* p, size_t n) { s.insert(s.end(), (const uint8_t*)p, (const uint8_t*)p + n); };
    auto i32 = [&](int32_t v) { uint8_t b[4]; ByteOrder::PutLE32(b, uint32_t(v)); put(b, 4); };
    auto u8 = [&](uint8_t v) { put(&v, 1); };
    put("PICTURALAYERS", 13);
    i32(2);
    i32(-2);
    i32(2);
    std::vector<size_t> offsets;
    for (int32_t i = 0; i < 2; ++i) {
        u8(1); u8(1); i32(150 + i); i32(i * 3); i32(i); u8(0); u8(0); u8(0);
        const double rate = 2.0;
        put(&rate, 8);
        u8(0); u8(0); i32(0); i32(0);
        offsets.push_back(s.size());
        i32(0); i32(0);
    }
    for (int32_t i = 0; i < 2; ++i) {
        ByteOrder::PutLE32(s.data() + offsets[size_t(i)], uint32_t(s.size()));
        TMemoryStream& r = i == 0 ? raw0 : raw1;
        i32(int32_t(r.GetSize()));
        put(r.GetMemory(), size_t(r.GetSize()));
    }
    TPicturaView view(nullptr);
    view.GetLayer(0)->Name = "kept";
    TMemoryStream ms;
    ms.WriteBuffer(s.data(), int32_t(s.size()));
    ms.SetPosition(0);
    ASSERT_TRUE(view.LoadLayersFromStream(&ms));
    ASSERT_EQ(view.GetLayerCount(), 2);
    EXPECT_EQ(view.GetLayer(0)->Name, "kept");
    EXPECT_EQ(view.GetLayer(1)->Transparency, 151);
    EXPECT_EQ(view.GetLayer(1)->PosX, 3);
    EXPECT_EQ(view.GetLayer(1)->Magnify.MagnifySource, 1);
    EXPECT_TRUE(view.GetLayer(1)->Selectable);
    EXPECT_EQ(view.GetLayer(1)->Name, "");
    ExpectSameImage(view.GetLayer(1)->Bitmap, &img1, "v2 layer 1");
}

TEST_F(LayersTest, EveryOlderVersionReadsTheFieldsOfItsVersionOnly) {
    // One hand-built stream of one layer per version: the fields a version has carry values other
    // than the defaults; the fields it lacks keep the defaults.
    TIEBitmap img;
    Pattern(&img, 2, 2, 7);
    TMemoryStream raw;
    img.SaveRawToStream(nullptr, &raw);
    for (int32_t version : {1, 3, 4, 5, 6}) {
        std::vector<uint8_t> s;
        auto put = [&](const void* p, size_t n) { s.insert(s.end(), (const uint8_t*)p, (const uint8_t*)p + n); };
        auto i32 = [&](int32_t v) { uint8_t b[4]; ByteOrder::PutLE32(b, uint32_t(v)); put(b, 4); };
        auto u8 = [&](uint8_t v) { put(&v, 1); };
        put("PICTURALAYERS", 13);
        i32(version);
        i32(-2);
        i32(1);
        u8(1); u8(1); i32(200); i32(4); i32(5); u8(0); u8(0); u8(0);
        const double rate = 2.0;
        put(&rate, 8);
        u8(0);
        if (version >= 3) u8(0);                     // MagnifySource (default 1)
        u8(0); i32(0); i32(0);                       // Operation, Width, Height
        if (version >= 3) {
            u8(rfTriangle); u8(1);                   // ResampleFilter, UseResampleFilter
            i32(1); put("n", 1);                     // Name
            i32(0);                                  // no user data
            u8(1);                                   // IsMask
        }
        if (version >= 4) u8(0);                     // Selectable (default True)
        if (version >= 6) u8(1);                     // DimOutside (default False)
        const size_t offset = s.size();
        i32(0); i32(0);
        ByteOrder::PutLE32(s.data() + offset, uint32_t(s.size()));
        i32(int32_t(raw.GetSize()));
        put(raw.GetMemory(), size_t(raw.GetSize()));

        TPicturaView view(nullptr);
        TMemoryStream ms;
        ms.WriteBuffer(s.data(), int32_t(s.size()));
        ms.SetPosition(0);
        const std::string what = "version " + std::to_string(version);
        ASSERT_TRUE(view.LoadLayersFromStream(&ms)) << what;
        ASSERT_EQ(view.GetLayerCount(), 1) << what;
        const TIELayer* l = view.GetLayer(0);
        EXPECT_EQ(l->Transparency, 200) << what;
        EXPECT_EQ(l->PosX, 4) << what;
        EXPECT_EQ(l->Magnify.MagnifySource, version >= 3 ? 0 : 1) << what;
        EXPECT_EQ(l->UseResampleFilter, version >= 3) << what;
        EXPECT_EQ(l->Name, version >= 3 ? "n" : "") << what;
        EXPECT_EQ(l->IsMask, version >= 3) << what;
        EXPECT_EQ(l->Selectable, version < 4) << what;
        EXPECT_EQ(l->DimOutside, version >= 6) << what;
        ExpectSameImage(l->Bitmap, &img, what);
    }
}

TEST_F(LayersTest, BadStreamsLeaveTheLayersAsTheyWere) {
    auto source = ThreeLayers();
    TMemoryStream good;
    source->SaveLayersToStream(&good, -1);
    const std::vector<uint8_t> bytes = Bytes(good);

    auto expectUnchanged = [](TPicturaView& v, const std::string& what) {
        EXPECT_EQ(v.GetLayerCount(), 2) << what;
        EXPECT_EQ(v.GetLayer(1)->Name, "mine") << what;
        EXPECT_EQ(v.GetLayer(0)->Bitmap->GetWidth(), 7) << what;
    };
    auto fresh = []() {
        auto v = std::make_unique<TPicturaView>(nullptr);
        v->GetIEBitmap()->Allocate(7, 7, ie24RGB);
        v->AddLayer();
        v->GetLayer(1)->Name = "mine";
        return v;
    };
    // Every cut of the stream after its header raises and changes nothing.
    for (size_t cut = 25; cut < bytes.size(); cut += (cut < 200 ? 1 : 97)) {
        auto v = fresh();
        TMemoryStream s;
        s.WriteBuffer(bytes.data(), int32_t(cut));
        s.SetPosition(0);
        EXPECT_THROW(v->LoadLayersFromStream(&s), Exception) << "cut at " << cut;
        expectUnchanged(*v, "cut at " + std::to_string(cut));
        if (HasFailure()) return;
    }
    // Damaged counts and lengths: refused before anything is allocated.
    struct Damage {
        size_t At;
        uint32_t Value;
        const char* What;
    } damages[] = {{21, 0x7FFFFFFF, "layer count"}, {21, 0xFFFFFFFF, "negative count"},
                   {25 + 38, 0x7FFFFFF0, "name length"}, {25 + 42, 0x7FFFFFF0, "user data length"}};
    for (const Damage& d : damages) {
        std::vector<uint8_t> b = bytes;
        ByteOrder::PutLE32(b.data() + d.At, d.Value);
        auto v = fresh();
        TMemoryStream s;
        s.WriteBuffer(b.data(), int32_t(b.size()));
        s.SetPosition(0);
        EXPECT_THROW(v->LoadLayersFromStream(&s), Exception) << d.What;
        expectUnchanged(*v, d.What);
    }
    // A wrong magic and a version of 0: False, nothing changed.
    for (int32_t variant = 0; variant < 2; ++variant) {
        std::vector<uint8_t> b = bytes;
        if (variant == 0) b[0] = 'X';
        else ByteOrder::PutLE32(b.data() + 13, 0);
        auto v = fresh();
        TMemoryStream s;
        s.WriteBuffer(b.data(), int32_t(b.size()));
        s.SetPosition(0);
        EXPECT_FALSE(v->LoadLayersFromStream(&s));
        expectUnchanged(*v, variant == 0 ? "magic" : "version 0");
    }
}

TEST_F(LayersTest, SingleLayerRecordRoundTripAndCut) {
    auto view = ThreeLayers();
    TIELayer* l = view->GetLayer(2);
    l->Name = "record";
    l->SetRotationAngle(33.5);
    l->RotationCenterX = 0.25;
    l->Magnify.MagnifyStyle = 1;
    TMemoryStream s;
    l->SaveToStream(&s, true);
    const std::vector<uint8_t> b = Bytes(s);
    EXPECT_EQ(ByteOrder::GetLE32(b.data()), uint32_t(b.size()));
    EXPECT_EQ(std::memcmp(b.data() + 4, &l->LayerGUID, 16), 0);

    TPicturaView other(nullptr);
    TIELayer* t = other.GetLayer(0);
    s.SetPosition(0);
    t->LoadFromStream(&s);
    EXPECT_EQ(s.GetPosition(), int64_t(b.size()));
    EXPECT_EQ(std::memcmp(&t->LayerGUID, &l->LayerGUID, 16), 0);
    EXPECT_EQ(t->Name, "record");
    EXPECT_EQ(t->RotationAngle, 33.5);
    EXPECT_EQ(t->RotationCenterX, 0.25);
    EXPECT_EQ(t->Magnify.MagnifyStyle, 1);
    EXPECT_EQ(t->PosX, 5);
    EXPECT_EQ(t->Transparency, 200);
    ExpectSameImage(t->Bitmap, l->Bitmap, "record bitmap");

    for (size_t cut : {size_t(2), size_t(30), size_t(90), b.size() - 1}) {
        TPicturaView v(nullptr);
        TIELayer* x = v.GetLayer(0);
        x->Name = "before";
        TMemoryStream c;
        c.WriteBuffer(b.data(), int32_t(cut));
        c.SetPosition(0);
        EXPECT_THROW(x->LoadFromStream(&c), Exception) << cut;
        EXPECT_EQ(x->Name, "before") << cut;
    }
}

TEST_F(LayersTest, CropLayersTransparentBorder) {
    auto view = ThreeLayers();
    TIEBitmap* b = view->GetLayer(1)->Bitmap;   // 5 x 4
    b->GetAlphaChannel()->Fill(0);
    b->SetAlpha(1, 1, 200);
    b->SetAlpha(3, 2, 255);
    const TIERGB keep = b->GetPixelRGB(1, 1);
    view->GetLayer(2)->Bitmap->GetAlphaChannel()->Fill(0);   // fully transparent: unchanged
    view->CropLayersTransparentBorder(-1);
    EXPECT_EQ(b->GetWidth(), 3);
    EXPECT_EQ(b->GetHeight(), 2);
    EXPECT_EQ(b->GetAlpha(0, 0), 200);
    EXPECT_EQ(b->GetAlpha(2, 1), 255);
    EXPECT_EQ(b->GetPixelRGB(0, 0).r, keep.r);
    EXPECT_EQ(view->GetLayer(2)->Bitmap->GetWidth(), 4);
    EXPECT_EQ(view->GetLayer(0)->Bitmap->GetWidth(), 12);   // no alpha channel: unchanged
}
