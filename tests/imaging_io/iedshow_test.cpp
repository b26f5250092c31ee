// The DirectShow graph's tables, its answers without a graph, the grabber callback's frame
// messages, the copy of a frame buffer into a bitmap and the component's own graph.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "iecoredefs_settings.h"
#include "iedshow.h"
#include "picturaio.h"

namespace {

TIEDShowGuid Guid(uint32_t First, uint16_t Second, uint16_t Third, std::initializer_list<uint8_t> Rest) {
    TIEDShowGuid g{First, Second, Third, {}};
    std::copy(Rest.begin(), Rest.end(), g.Data4);
    return g;
}

TIEDShowGuid FourCC(const char* Code) {
    uint32_t first = 0;
    std::memcpy(&first, Code, 4);
    return Guid(first, 0, 0x10, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71});
}

struct TPost {
    void* Window;
    uint32_t Msg;
    uintptr_t WParam;
    intptr_t LParam;
};
std::vector<TPost> gPosts;
bool RecordPost(void* Window, uint32_t Msg, uintptr_t WParam, intptr_t LParam) {
    gPosts.push_back({Window, Msg, WParam, LParam});
    return true;
}

void FillGreen(TIEBitmap& Bitmap, uint8_t Green) {
    for (int32_t y = 0; y < Bitmap.GetHeight(); ++y)
        for (int32_t x = 0; x < Bitmap.GetWidth(); ++x) {
            TIERGB* p = Bitmap.GetPixelRGBPtr(x, y);
            p->r = 0;
            p->g = Green;
            p->b = 0;
        }
}

}  // namespace

TEST(DirectShowTables, SubtypeNames) {
    const TIEDShowGuid rgbBase = Guid(0, 0x524F, 0x11CE, {0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70});
    auto rgb = [&](uint32_t First) {
        TIEDShowGuid g = rgbBase;
        g.Data1 = First;
        return g;
    };
    const struct {
        TIEDShowGuid Subtype;
        const char* Name;
    } cases[] = {
        {FourCC("YUY2"), "YUY2"},
        {FourCC("Plum"), "Plum"},
        {FourCC("MDVF"), "MDVF"},
        {FourCC("IA44"), "IA44"},
        {rgb(0xE436EB78), "RGB1"},
        {rgb(0xE436EB7C), "RGB555"},
        {rgb(0xE436EB7D), "RGB24"},
        {rgb(0xE436EB7E), "RGB32"},
        {Guid(0x773C9AC0, 0x3274, 0x11D0, {0xB7, 0x24, 0x00, 0xAA, 0x00, 0x6C, 0x1A, 0x01}), "ARGB32"},
        {Guid(0x297C55AF, 0xE209, 0x4CB3, {0xB7, 0x57, 0xC7, 0x6D, 0x6B, 0x9C, 0x88, 0xA8}), "ARGB1555"},
        // Unknown: a FourCC outside the table, an RGB neighbour past the last, a changed tail.
        {FourCC("H264"), ""},
        {rgb(0xE436EB7F), ""},
        {Guid(0x32595559, 0, 0x10, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x72}), ""},
    };
    for (const auto& c : cases) EXPECT_EQ(IEDShowSubtypeName(c.Subtype), c.Name) << c.Name;
}

TEST(DirectShowTables, StandardsText) {
    EXPECT_EQ(IEDShowStandardsText(0x11), "NTSC_M PAL_B");
    EXPECT_EQ(IEDShowStandardsText(0), "");
    EXPECT_EQ(IEDShowStandardsText(0x100000), "PAL_N_COMBO");
    EXPECT_EQ(IEDShowStandardsText(0x8), "");   // no row has that bit
    EXPECT_EQ(IEDShowStandardsText(0x1FFFFF),
              "NTSC_M NTSC_M_J NTSC_433 PAL_B PAL_D PAL_H PAL_I PAL_M PAL_N PAL_60 SECAM_B SECAM_D SECAM_G "
              "SECAM_H SECAM_K SECAM_K1 SECAM_L SECAM_L1 PAL_N_COMBO");
}

TEST(DirectShowGraph, AnswersWithoutAGraph) {
    TIEDirectShow graph;
    EXPECT_FALSE(graph.Connected());
    EXPECT_TRUE(graph.FrameNotify);
    EXPECT_EQ(graph.ClockSlaveTolerance, -1);
    EXPECT_EQ(graph.ReferenceClock, 0);
    EXPECT_EQ(graph.GetState(), 0);
    graph.SetTimeFormat(1);
    EXPECT_EQ(graph.GetTimeFormat(), 0);
    EXPECT_EQ(graph.GetDuration(), 0);
    EXPECT_EQ(graph.GetCurrentPosition(), 0);
    EXPECT_EQ(graph.GetAverageTimePerFrame(), 0);
    graph.SetCurrentPosition(100);   // returns at once
    int32_t w = -1, h = -1;
    std::string format = "kept";
    graph.GetVideoRenderSize(w, h, format);
    EXPECT_EQ(w, 0);
    EXPECT_EQ(h, 0);
    graph.GetVideoSize(w, h);
    EXPECT_EQ(w, 0);
    TIEBitmap bitmap;
    bitmap.Allocate(4, 3, ie24RGB);
    graph.GetSample(&bitmap, true);
    graph.CopySampleToBitmap(nullptr, 0, &bitmap);
    EXPECT_EQ(bitmap.GetWidth(), 4);
    graph.Run();
    graph.Pause();
    graph.Disconnect();
    EXPECT_EQ(graph.GetState(), 0);
}

TEST(DirectShowGraph, BufferCallbackPostsOnlyWhenAsked) {
    const TIEDShowPostMessage saved = IEDShowPostMessage;
    IEDShowPostMessage = RecordPost;
    gPosts.clear();
    TIEDirectShow graph;
    int window = 0;
    graph.SetNotifyWindow(&window, IEMSG_DSHOW_FRAME, IEMSG_DSHOW_EVENT);
    TIESampleGrabberCB callback(&graph);
    const uint8_t frame[12] = {};
    EXPECT_EQ(callback.BufferCB(0.04, frame, 12), 0);
    graph.FrameNotify = false;
    EXPECT_EQ(callback.BufferCB(0.08, frame, 12), 0);
    EXPECT_EQ(callback.SampleCB(0.08, nullptr), 0);
    IEDShowPostMessage = saved;
    ASSERT_EQ(gPosts.size(), 1u);
    EXPECT_EQ(gPosts[0].Window, &window);
    EXPECT_EQ(gPosts[0].Msg, IEMSG_DSHOW_FRAME);
    EXPECT_EQ(gPosts[0].WParam, 0u);
    EXPECT_EQ(gPosts[0].LParam, reinterpret_cast<intptr_t>(&graph));
}

TEST(DirectShowGraph, FrameRowsGoBottomUpIntoA24BitBitmap) {
    // 3 x 2, rows of 9 bytes padded to 12; the first buffer row is the image's last.
    std::vector<uint8_t> buffer(24, 0);
    for (int r = 0; r < 2; ++r)
        for (int i = 0; i < 9; ++i) buffer[r * 12 + i] = static_cast<uint8_t>(r * 100 + i);
    for (int32_t height : {2, -2}) {
        TIEBitmap bitmap;
        bitmap.Allocate(7, 7, ie8g);
        IEDShowCopyRows(buffer.data(), 24, 3, height, &bitmap);
        ASSERT_EQ(bitmap.GetPixelFormat(), ie24RGB);
        ASSERT_EQ(bitmap.GetWidth(), 3);
        ASSERT_EQ(bitmap.GetHeight(), 2);
        const int32_t firstRow = height > 0 ? 1 : 0;
        EXPECT_EQ(bitmap.GetScanline(firstRow)[0], 0);
        EXPECT_EQ(bitmap.GetScanline(firstRow)[8], 8);
        EXPECT_EQ(bitmap.GetScanline(1 - firstRow)[0], 100);
    }
    // A buffer short of the second row fills only the first (no read past its end).
    TIEBitmap bitmap;
    bitmap.Allocate(3, 2, ie24RGB);
    FillGreen(bitmap, 7);
    IEDShowCopyRows(buffer.data(), 20, 3, 2, &bitmap);
    EXPECT_EQ(bitmap.GetScanline(1)[0], 0);
    EXPECT_EQ(bitmap.GetPixelRGBPtr(0, 0)->g, 7);
}

TEST(DirectShowGraph, KeepSizeScalesTheFrameBack) {
    TIEBitmap bitmap;
    bitmap.Allocate(640, 480, ie24RGB);
    FillGreen(bitmap, 20);
    IEDShowKeepSize(&bitmap, 320, 240);
    EXPECT_EQ(bitmap.GetWidth(), 320);
    EXPECT_EQ(bitmap.GetHeight(), 240);
    EXPECT_EQ(bitmap.GetPixelRGBPtr(319, 239)->g, 20);
    IEDShowKeepSize(&bitmap, 0, 240);   // an empty bitmap before the grab keeps the frame's size
    EXPECT_EQ(bitmap.GetWidth(), 320);
}

TEST(DirectShowGraph, ComponentGraphIsMadeOnceWithoutAWindow) {
    TPicturaIO io(nullptr);
    TIEDirectShow* graph = io.GetDShowParams();
    ASSERT_NE(graph, nullptr);
    EXPECT_EQ(io.GetDShowParams(), graph);
    EXPECT_EQ(graph->GetNotifyWindow(), nullptr);
    io.UpdateDShowNotifyWindow();   // no viewer: nothing to point at
    EXPECT_EQ(graph->GetNotifyWindow(), nullptr);
}

TEST(DirectShowGraph, MediaFrameWithoutAnOpenFileDoesNothing) {
    TPicturaIO io(nullptr);
    int finished = 0;
    io.OnFinishWork = [&](TObject*) { ++finished; };
    io.LoadMediaFileFrame(0);
    EXPECT_EQ(finished, 0);
    io.CloseMediaFile();
    io.CloseAVIFile();
    io.LoadFromAVIFrame(0);   // no AVI open: refused, but finished
    EXPECT_TRUE(io.Aborting);
    EXPECT_EQ(finished, 1);
}
