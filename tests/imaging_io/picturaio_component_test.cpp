// The image I/O component on its own bitmap and on a lent one: defaults, the bitmap's source,
// the progress record, the progress and finish events, acquired images, the resolution checks
// and the background-thread registry.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "iebitmap.h"
#include "picturaio.h"
#include "IOThreadTestUtil.h"
#include "picturaview.h"

namespace {

class PicturaIOTest : public ::testing::Test {
protected:
    void SetUp() override { IEPicturaViewInitialize(); }   // the default resolution, 300 x 300
};

// Every event of a component, in the order they came.
struct EventLog {
    std::vector<int32_t> progress;
    int finished = 0;
    std::vector<std::string> order;
    void Attach(TPicturaIO& io) {
        io.OnProgress = [this](TObject*, int32_t per) {
            progress.push_back(per);
            order.push_back("progress");
        };
        io.OnFinishWork = [this](TObject*) {
            ++finished;
            order.push_back("finish");
        };
    }
};

void FillGradient(TIEBitmap& b) {
    for (int32_t y = 0; y < b.GetHeight(); ++y)
        for (int32_t x = 0; x < b.GetWidth(); ++x) {
            TIERGB* p = b.GetPixelRGBPtr(x, y);
            p->r = static_cast<uint8_t>(x);
            p->g = static_cast<uint8_t>(y);
            p->b = 7;
        }
}

}  // namespace

TEST_F(PicturaIOTest, DefaultsOfANewComponent) {
    TPicturaIO io(nullptr);
    ASSERT_NE(io.GetIEBitmap(), nullptr);
    EXPECT_TRUE(io.GetOwnsIOBitmap());
    EXPECT_TRUE(io.GetIEBitmap()->IsEmpty());
    ASSERT_NE(io.GetParams(), nullptr);
    EXPECT_EQ(io.GetParams()->Owner, &io);
    // No legacy bitmap: the set keeps its size 0 and takes the library's default resolution.
    EXPECT_EQ(io.GetParams()->Width, 0);
    EXPECT_EQ(io.GetParams()->DpiX, 300);
    EXPECT_EQ(io.GetParams()->DpiY, 300);
    EXPECT_TRUE(io.SimplifiedParamsDialogs);
    EXPECT_EQ(io.GetDitherMethod(), iedmThreshold);
    EXPECT_EQ(io.MsgLanguage, msSystem);
    EXPECT_EQ(io.GetPreviewsParams(), 0);
    EXPECT_EQ(io.DialogsMeasureUnit, ieduInches);
    EXPECT_FALSE(io.AsyncMode || io.AutoAdjustDPI || io.FilteredAdjustDPI || io.StreamHeaders || io.Aborting);
    EXPECT_EQ(io.GetAttachedPictura(), nullptr);
    EXPECT_EQ(io.GetAttachedTImage(), nullptr);
    EXPECT_EQ(io.GetBitmap(), nullptr);
    EXPECT_EQ(io.GetBackground(), 0);

    io.SetPicturaVersion("9.9");
    EXPECT_EQ(io.GetPicturaVersion(), "4.1.0");
    io.SetBackground(0x123456);
    EXPECT_EQ(io.GetBackground(), 0x123456);
    io.SetNativePixelFormat(true);
    EXPECT_TRUE(io.GetParams()->NativePixelFormat);
    EXPECT_TRUE(io.GetNativePixelFormat());
}

TEST_F(PicturaIOTest, ALentBitmapIsUsedAndNeverFreed) {
    auto lent = std::make_unique<TIEBitmap>(4, 3, ie24RGB);
    {
        auto io = TPicturaIO::CreateFromBitmap(lent.get());
        EXPECT_EQ(io->GetIEBitmap(), lent.get());
        EXPECT_FALSE(io->GetOwnsIOBitmap());
        // The dither method reaches the bitmap the component works on.
        io->SetDitherMethod(iedmOrdered);
        EXPECT_EQ(lent->DitherMethod, iedmOrdered);

        // Another lent bitmap replaces the first; nil leaves the component without a bitmap, and
        // every operation that needs one then gives up.
        TIEBitmap other(2, 2, ie8g);
        io->SetAttachedIEBitmap(&other);
        EXPECT_EQ(io->GetIEBitmap(), &other);
        io->SetAttachedIEBitmap(nullptr);
        EXPECT_EQ(io->GetIEBitmap(), nullptr);
        EXPECT_FALSE(io->MakeConsistentBitmap(0));
        TIOParamsVals* params = nullptr;
        io->ReceiveAcquiredBitmap(lent.get(), params);
        EXPECT_EQ(params, nullptr);
        io->AdjustDPI();
        io->SetAttachedIEBitmap(lent.get());
    }
    // The component is gone; the caller's bitmap is intact (the sanitizers watch the memory).
    EXPECT_EQ(lent->GetWidth(), 4);
    EXPECT_EQ(lent->GetHeight(), 3);
}

TEST_F(PicturaIOTest, MakeConsistentBitmapChecksTheAllowedFormats) {
    TPicturaIO io(nullptr);
    io.GetIEBitmap()->Allocate(2, 2, ie8g);
    struct Case {
        TIEPixelFormatSet allowed;
        bool expected;
    } cases[] = {
        {0, true},
        {IEPixelFormatBit(ie8g), true},
        {static_cast<TIEPixelFormatSet>(IEPixelFormatBit(ie24RGB) | IEPixelFormatBit(ie8g)), true},
        {IEPixelFormatBit(ie24RGB), false},
        {IEPixelFormatBit(ie1g), false},
    };
    for (const Case& c : cases) EXPECT_EQ(io.MakeConsistentBitmap(c.allowed), c.expected) << c.allowed;
    // No ordinal above 15 fits in the set.
    EXPECT_EQ(IEPixelFormatBit(static_cast<TIEPixelFormat>(16)), 0);
}

TEST_F(PicturaIOTest, FinishWorkReportsOneHundredThenFiresOnce) {
    TPicturaIO io(nullptr);
    int finished = 0;
    io.OnFinishWork = [&](TObject* sender) {
        EXPECT_EQ(sender, &io);
        ++finished;
    };
    // Without OnProgress the end of work still fires OnFinishWork exactly once.
    io.DoFinishWork();
    EXPECT_EQ(finished, 1);

    EventLog log;
    log.Attach(io);
    io.DoFinishWork();
    EXPECT_EQ(log.progress, std::vector<int32_t>{100});
    EXPECT_EQ(log.order, (std::vector<std::string>{"progress", "finish"}));

    // No events at all: nothing to call, nothing fails.
    io.OnProgress = nullptr;
    io.OnFinishWork = nullptr;
    io.DoFinishWork();
}

TEST_F(PicturaIOTest, TheProgressRecordCarriesTheComponentAndItsAbortFlag) {
    TPicturaIO io(nullptr);
    EventLog log;
    log.Attach(io);
    TObject* seenSender = nullptr;
    io.OnProgress = [&](TObject* sender, int32_t per) {
        seenSender = sender;
        log.progress.push_back(per);
    };
    TIOProgressRecord rec = io.MakeProgressRecord();
    EXPECT_EQ(rec.Sender, &io);
    ASSERT_EQ(rec.Aborting, &io.Aborting);
    ASSERT_TRUE(rec.OnProgress);
    // A codec reports through the record and flags bad data through it.
    rec.OnProgress(rec.Sender, 42);
    EXPECT_EQ(seenSender, &io);
    EXPECT_EQ(log.progress, std::vector<int32_t>{42});
    *rec.Aborting = true;
    EXPECT_TRUE(io.Aborting);
    io.SetAborting(false);
    EXPECT_FALSE(io.Aborting);

    // Without OnProgress the internal handler does nothing.
    io.OnProgress = nullptr;
    rec.OnProgress(rec.Sender, 50);
    EXPECT_EQ(log.progress.size(), 1u);
}

TEST_F(PicturaIOTest, AnAcquiredImageReplacesTheComponentsImageUnlessAHandlerTakesIt) {
    TPicturaIO io(nullptr);
    io.GetIEBitmap()->Allocate(3, 3, ie8g);
    TIEBitmap acquired(5, 4, ie24RGB);
    FillGradient(acquired);

    // A handler that takes the image keeps the component's image and parameter target unchanged.
    int offered = 0;
    io.OnAcquireBitmap = [&](TObject* sender, TIEBitmap* b, bool& handled) {
        EXPECT_EQ(sender, &io);
        EXPECT_EQ(b, &acquired);
        ++offered;
        handled = true;
    };
    TIOParamsVals* target = nullptr;
    io.ReceiveAcquiredBitmap(&acquired, target);
    EXPECT_EQ(offered, 1);
    EXPECT_EQ(target, nullptr);
    EXPECT_EQ(io.GetIEBitmap()->GetWidth(), 3);
    EXPECT_EQ(io.GetIEBitmap()->GetPixelFormat(), ie8g);

    // A handler that leaves it: the component copies it and names its own set as the target.
    io.OnAcquireBitmap = [&](TObject*, TIEBitmap*, bool&) { ++offered; };
    io.ReceiveAcquiredBitmap(&acquired, target);
    EXPECT_EQ(offered, 2);
    EXPECT_EQ(target, io.GetParams());
    ASSERT_EQ(io.GetIEBitmap()->GetWidth(), 5);
    EXPECT_EQ(io.GetIEBitmap()->GetHeight(), 4);
    EXPECT_EQ(io.GetIEBitmap()->GetPixelRGBPtr(4, 3)->r, 4);
    EXPECT_EQ(io.GetIEBitmap()->GetPixelRGBPtr(4, 3)->g, 3);

    int closed = 0;
    io.OnAcquireClose = [&](TObject* sender) { closed += sender == &io; };
    io.DoAcquireClose();
    EXPECT_EQ(closed, 1);
}

TEST_F(PicturaIOTest, AdjustDPIScalesTheShorterSideToTheOtherResolution) {
    struct Case {
        int32_t w, h, dpiX, dpiY;
        int32_t expW, expH, expDpiX, expDpiY;
        bool refused = false;   // the resized image cannot be allocated: reported, nothing changed
    } cases[] = {
        {600, 400, 300, 150, 600, 800, 300, 300},   // height < width: the height follows DpiX
        {400, 600, 300, 150, 200, 600, 150, 150},   // otherwise the width follows DpiY
        {300, 300, 72, 96, 400, 300, 96, 96},    // a square: the width follows
        {600, 400, 300, 300, 600, 400, 300, 300},   // equal: nothing
        {600, 400, 0, 150, 600, 400, 0, 150},       // a resolution of 0: nothing
        {600, 400, -5, 150, 600, 400, -5, 150},
        // 300,000,000 pixels are more than a row of 8 (or 24) bits may hold.
        {1, 2, 1, 300000000, 1, 2, 1, 300000000, true},
    };
    for (const Case& c : cases) {
        for (bool filtered : {false, true}) {
            TPicturaIO io(nullptr);
            io.FilteredAdjustDPI = filtered;
            io.GetIEBitmap()->Allocate(c.w, c.h, ie8g);
            io.GetIEBitmap()->Fill(200);
            TIOParamsVals& p = *io.GetParams();
            p.Width = c.w;
            p.Height = c.h;
            p.SetDpiX(c.dpiX);
            p.SetDpiY(c.dpiY);
            io.AdjustDPI();
            SCOPED_TRACE(testing::Message() << c.w << "x" << c.h << " @" << c.dpiX << "/" << c.dpiY << " filtered " << filtered);
            EXPECT_EQ(io.Aborting, c.refused);
            EXPECT_EQ(p.Width, c.expW);
            EXPECT_EQ(p.Height, c.expH);
            EXPECT_EQ(p.DpiX, c.expDpiX);
            EXPECT_EQ(p.DpiY, c.expDpiY);
            EXPECT_EQ(io.GetIEBitmap()->GetWidth(), c.expW);
            EXPECT_EQ(io.GetIEBitmap()->GetHeight(), c.expH);
            const bool changed = c.expW != c.w || c.expH != c.h;
            // The filtered road works in 24 bits; the plain one keeps the format.
            EXPECT_EQ(io.GetIEBitmap()->GetPixelFormat(), filtered && changed ? ie24RGB : ie8g);
            // The EXIF resolution is not touched by the adjustment.
            EXPECT_EQ(p.EXIFXResolution, c.dpiX);
        }
    }
}

TEST_F(PicturaIOTest, AdjustDPIKeepsTheAlphaChannelStretched) {
    TPicturaIO io(nullptr);
    TIEBitmap* b = io.GetIEBitmap();
    b->Allocate(4, 2, ie24RGB);
    FillGradient(*b);
    // Alpha: left half transparent, right half opaque.
    for (int32_t y = 0; y < 2; ++y)
        for (int32_t x = 0; x < 4; ++x) b->SetAlpha(x, y, x < 2 ? 0 : 255);
    TIOParamsVals& p = *io.GetParams();
    p.Width = 4;
    p.Height = 2;
    p.SetDpiX(200);
    p.SetDpiY(100);
    io.AdjustDPI();
    ASSERT_EQ(b->GetWidth(), 4);
    ASSERT_EQ(b->GetHeight(), 4);
    ASSERT_TRUE(b->HasAlphaChannel());
    EXPECT_EQ(b->GetAlphaChannel()->GetWidth(), 4);
    EXPECT_EQ(b->GetAlphaChannel()->GetHeight(), 4);
    for (int32_t y = 0; y < 4; ++y) {
        EXPECT_EQ(b->GetAlpha(0, y), 0);
        EXPECT_EQ(b->GetAlpha(3, y), 255);
    }
    // Nearest pixel: row 3 of the new image is row 1 of the old one.
    EXPECT_EQ(b->GetPixelRGBPtr(3, 3)->r, 3);
    EXPECT_EQ(b->GetPixelRGBPtr(3, 3)->g, 1);
}

TEST_F(PicturaIOTest, AutoAdjustDPIAppliesToAcquiredImages) {
    TPicturaIO io(nullptr);
    io.AutoAdjustDPI = true;
    TIEBitmap acquired(60, 40, ie24RGB);
    io.OnAcquireBitmap = [&](TObject*, TIEBitmap*, bool&) {
        // What an acquisition source has written into the component's set before.
        io.GetParams()->Width = 60;
        io.GetParams()->Height = 40;
        io.GetParams()->SetDpiX(300);
        io.GetParams()->SetDpiY(150);
    };
    TIOParamsVals* target = nullptr;
    io.ReceiveAcquiredBitmap(&acquired, target);
    EXPECT_EQ(io.GetIEBitmap()->GetWidth(), 60);
    EXPECT_EQ(io.GetIEBitmap()->GetHeight(), 80);
    EXPECT_EQ(io.GetParams()->DpiY, 300);
}

TEST_F(PicturaIOTest, CheckDPIReplacesResolutionsBelowTwo) {
    TPicturaIO io(nullptr);
    struct Case {
        int32_t x, y, expX, expY;
    } cases[] = {{0, 1, 300, 300}, {1, 72, 300, 72}, {2, 0, 2, 300}, {-3, 96, 300, 96}};
    for (const Case& c : cases) {
        io.GetParams()->SetDpiX(c.x);
        io.GetParams()->SetDpiY(c.y);
        io.CheckDPI();
        EXPECT_EQ(io.GetParams()->DpiX, c.expX);
        EXPECT_EQ(io.GetParams()->DpiY, c.expY);
        EXPECT_EQ(io.GetParams()->EXIFXResolution, c.expX);
    }
    // Without a viewer there is nobody to tell.
    io.UpdateViewDPI();
}

TEST_F(PicturaIOTest, DoPreviewsCanBeTakenOverByAHandler) {
    TPicturaIO io(nullptr);
    EXPECT_FALSE(io.DoPreviews(1));
    int asked = 0;
    io.OnDoPreviews = [&](TObject*, bool& handled) {
        ++asked;
        handled = true;
    };
    EXPECT_TRUE(io.DoPreviews(1));
    EXPECT_EQ(asked, 1);
}

TEST_F(PicturaIOTest, BackgroundThreadsAreRecognisedAndWaitedFor) {
    TScriptedIO io;
    EXPECT_FALSE(io.IsInsideAsyncThreads());
    io.WaitThreads(false);   // none: returns at once

    std::atomic<bool> registered{false}, inside{false}, sawAbort{false};
    std::vector<int32_t> progressSeen;
    std::thread::id progressThread;
    io.OnProgress = [&](TObject*, int32_t per) {
        progressSeen.push_back(per);
        progressThread = std::this_thread::get_id();
    };
    io.Body = [&] {
        inside = io.IsInsideAsyncThreads();
        // Without a viewer, progress is handed to the main thread and reported there.
        io.DoIntProgress(&io, 30);
        registered = true;
        // Runs until someone asks it to stop.
        while (!io.Aborting) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        sawAbort = true;
    };
    RunInIOThread(io);
    while (!registered) CheckSynchronize(1);
    EXPECT_FALSE(io.IsInsideAsyncThreads());
    // Waiting with the abort request returns once the worker has seen it and left.
    io.WaitThreads(true);
    EXPECT_TRUE(sawAbort);
    EXPECT_TRUE(inside);
    EXPECT_EQ(progressSeen, std::vector<int32_t>{30});
    EXPECT_EQ(progressThread, std::this_thread::get_id());
    EXPECT_FALSE(io.IsInsideAsyncThreads());
}

TEST_F(PicturaIOTest, DestructionWaitsForRunningThreads) {
    auto io = std::make_unique<TScriptedIO>();
    std::atomic<bool> started{false}, done{false};
    io->Body = [&] {
        started = true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        done = true;
    };
    RunInIOThread(*io);
    while (!started) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    io.reset();   // returns only after the worker ended
    EXPECT_TRUE(done);
}

TEST_F(PicturaIOTest, OwnedByAnotherComponent) {
    TComponent owner(nullptr);
    auto* io = new TPicturaIO(&owner);
    EXPECT_EQ(owner.GetComponentCount(), 1);
    EXPECT_EQ(io->GetOwner(), &owner);
    // The owner frees it (the sanitizers report a leak otherwise).
}

TEST_F(PicturaIOTest, EventsOfABackgroundThreadRunOnTheMainThread) {
    TScriptedIO io;
    std::vector<int32_t> progress;
    int finished = 0;
    bool allOnMain = true;
    io.OnProgress = [&](TObject*, int32_t per) {
        allOnMain = allOnMain && IsMainThread();
        progress.push_back(per);
    };
    io.OnFinishWork = [&](TObject*) {
        allOnMain = allOnMain && IsMainThread();
        ++finished;
    };
    io.Body = [&] {
        io.DoIntProgress(&io, 40);
        io.DoFinishWork();
    };
    RunInIOThread(io);
    // The component's wait runs the handed-over events.
    io.WaitThreads(false);
    EXPECT_TRUE(allOnMain);
    EXPECT_EQ(progress, (std::vector<int32_t>{40, 100}));   // the finish reports 100 first
    EXPECT_EQ(finished, 1);
}
