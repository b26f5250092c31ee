// Background I/O threads: which calls run on the caller's thread and which on a worker, the
// registry of running workers, waiting for them, their failures, and the component's end.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <memory>
#include <mutex>
#include <set>
#include <stdexcept>
#include <thread>
#include <vector>

#include "Classes.h"
#include "SyncObjs.h"
#include "iebitmap.h"
#include "picturaio.h"
#include "picturaio_thread.h"
#include "picturaview.h"
#include "IOThreadTestUtil.h"
#include "support/TestSupport.h"

namespace {

class PicturaIOThreadTest : public ::testing::Test {
protected:
    void SetUp() override {
        IEPicturaViewInitialize();
        IEInitializePicturaIO();
    }
    void TearDown() override { IEFinalizePicturaIO(); }
};

// A PNG of W x H pixels whose pixel (x, y) is (x * 20, y * 30, 77).
std::vector<uint8_t> MakePNG(int32_t W, int32_t H) {
    TIEBitmap image(W, H, ie24RGB);
    for (int32_t y = 0; y < H; ++y)
        for (int32_t x = 0; x < W; ++x) {
            TIERGB* p = image.GetPixelRGBPtr(x, y);
            p->r = static_cast<uint8_t>(x * 20);
            p->g = static_cast<uint8_t>(y * 30);
            p->b = 77;
        }
    TPicturaIO io(nullptr);
    io.SetAttachedIEBitmap(&image);
    TMemoryStream out;
    io.SaveToStreamPNG(&out);
    std::vector<uint8_t> bytes(static_cast<size_t>(out.GetSize()));
    out.SetPosition(0);
    out.ReadBuffer(bytes.data(), static_cast<int32_t>(bytes.size()));
    return bytes;
}

void ExpectImage(TIEBitmap& Bitmap, int32_t W, int32_t H) {
    ASSERT_EQ(Bitmap.GetWidth(), W);
    ASSERT_EQ(Bitmap.GetHeight(), H);
    const TIERGB p = Bitmap.GetPixelAsRGB(W - 1, H - 1);
    EXPECT_EQ(p.r, (W - 1) * 20);
    EXPECT_EQ(p.g, (H - 1) * 30);
    EXPECT_EQ(p.b, 77);
}

// A stream over bytes whose reads wait until the gate opens (Slow: each read first sleeps a
// little) and that records the threads that read it.
class TWatchedStream : public TMemoryStream {
public:
    TWatchedStream(const std::vector<uint8_t>& Bytes, bool Gated, int SlowMs = 0) : FSlowMs(SlowMs) {
        WriteBuffer(Bytes.data(), static_cast<int32_t>(Bytes.size()));
        SetPosition(0);
        if (!Gated) Gate.SetEvent();
    }
    int32_t Read(void* Buffer, int32_t Count) override {
        Gate.WaitFor();
        if (FSlowMs) std::this_thread::sleep_for(std::chrono::milliseconds(FSlowMs));
        {
            std::lock_guard<std::mutex> lock(FLock);
            FReaders.insert(std::this_thread::get_id());
        }
        return TMemoryStream::Read(Buffer, Count);
    }
    std::set<std::thread::id> Readers() {
        std::lock_guard<std::mutex> lock(FLock);
        return FReaders;
    }
    TEvent Gate{true, false};
    std::atomic<bool> Finished{false};

private:
    int FSlowMs;
    std::mutex FLock;
    std::set<std::thread::id> FReaders;
};

// Where the events of a component ran.
struct TEventThreads {
    std::vector<std::thread::id> Finish;
    void Attach(TPicturaIO& IO) {
        IO.OnFinishWork = [this](TObject*) { Finish.push_back(std::this_thread::get_id()); };
    }
};

}  // namespace

TEST_F(PicturaIOThreadTest, SynchronousUnlessAsyncModeOnABorrowedBitmap) {
    const std::vector<uint8_t> png = MakePNG(5, 4);
    // Owning its bitmap, a component runs in place whatever AsyncMode says; so does one on a
    // borrowed bitmap without AsyncMode.
    for (const bool borrowed : {false, true}) {
        for (const bool async : {false, true}) {
            if (borrowed && async) continue;
            SCOPED_TRACE(testing::Message() << "borrowed " << borrowed << " async " << async);
            TIEBitmap image;
            TPicturaIO io(nullptr);
            if (borrowed) io.SetAttachedIEBitmap(&image);
            io.AsyncMode = async;
            TEventThreads events;
            events.Attach(io);
            TWatchedStream stream(png, false);
            io.LoadFromStreamPNG(&stream);
            ExpectImage(*io.GetIEBitmap(), 5, 4);
            EXPECT_EQ(stream.Readers(), std::set<std::thread::id>{std::this_thread::get_id()});
            EXPECT_EQ(events.Finish, std::vector<std::thread::id>{std::this_thread::get_id()});
            EXPECT_EQ(io.LoadFromStreamTIFF(&stream), 0);   // not a TIFF: no pages, but run here
        }
    }
}

TEST_F(PicturaIOThreadTest, AnAsynchronousLoadReturnsAtOnceAndFinishesOnOneWorker) {
    const std::vector<uint8_t> png = MakePNG(6, 3);
    TIEBitmap image;
    TPicturaIO io(nullptr);
    io.SetAttachedIEBitmap(&image);
    io.AsyncMode = true;
    TEventThreads events;
    events.Attach(io);
    TWatchedStream stream(png, true);
    io.LoadFromStreamPNG(&stream);
    // Back before anything was read: the worker waits at the gate.
    EXPECT_TRUE(image.IsEmpty());
    EXPECT_TRUE(stream.Readers().empty());
    EXPECT_FALSE(io.IsInsideAsyncThreads());
    stream.Gate.SetEvent();
    io.WaitThreads(false);
    ExpectImage(image, 6, 3);
    EXPECT_FALSE(io.Aborting);
    const std::set<std::thread::id> readers = stream.Readers();
    ASSERT_EQ(readers.size(), 1u);
    EXPECT_NE(*readers.begin(), std::this_thread::get_id());
    // The finish notification was handed to this (the main) thread, once.
    EXPECT_EQ(events.Finish, std::vector<std::thread::id>{std::this_thread::get_id()});

    // A counting loader gives -1 on the asynchronous road.
    TWatchedStream tiff(png, false);
    EXPECT_EQ(io.LoadFromStreamTIFF(&tiff), -1);
    io.WaitThreads(false);
    EXPECT_TRUE(io.Aborting);   // a PNG is not a TIFF
}

TEST_F(PicturaIOThreadTest, AnAsynchronousLoadByNameRunsOnAWorker) {
    const std::vector<uint8_t> png = MakePNG(5, 6);
    testsupport::TScratchDir dir(L"KWIOThread_");
    testsupport::WriteFileBytes(dir / L"image.png", std::string(png.begin(), png.end()));
    TIEBitmap image;
    TPicturaIO io(nullptr);
    io.SetAttachedIEBitmap(&image);
    io.AsyncMode = true;
    std::vector<bool> onMain;
    io.OnFinishWork = [&](TObject*) { onMain.push_back(IsMainThread()); };
    io.LoadFromFile(dir / L"image.png");
    io.WaitThreads(false);
    ExpectImage(image, 5, 6);
    EXPECT_EQ(io.Params->FileName, dir / L"image.png");
    EXPECT_EQ(onMain, std::vector<bool>{true});
}

TEST_F(PicturaIOThreadTest, AnAsynchronousSaveWritesOnAWorker) {
    const std::vector<uint8_t> png = MakePNG(4, 4);
    TIEBitmap image;
    TPicturaIO io(nullptr);
    io.SetAttachedIEBitmap(&image);
    io.LoadFromBuffer(png.data(), static_cast<int32_t>(png.size()));
    io.AsyncMode = true;
    TMemoryStream out;
    io.SaveToStream(&out, ioBMP);
    io.WaitThreads(false);
    ASSERT_GT(out.GetSize(), 2);
    char magic[2] = {};
    out.SetPosition(0);
    out.ReadBuffer(magic, 2);
    EXPECT_EQ(std::memcmp(magic, "BM", 2), 0);
}

TEST_F(PicturaIOThreadTest, AnAsynchronousBufferLoadKeepsItsOwnCopyOfTheBytes) {
    TIEBitmap image;
    TPicturaIO io(nullptr);
    io.SetAttachedIEBitmap(&image);
    io.AsyncMode = true;
    {
        std::vector<uint8_t> bytes = MakePNG(7, 2);
        io.LoadFromBuffer(bytes.data(), static_cast<int32_t>(bytes.size()));
        // The caller's bytes change and go at once; the worker still reads the image.
        std::memset(bytes.data(), 0, bytes.size());
    }
    io.WaitThreads(false);
    ExpectImage(image, 7, 2);
    EXPECT_FALSE(io.Aborting);
}

TEST_F(PicturaIOThreadTest, AnExceptionInAWorkerSetsAbortingAndEmptiesTheRegistry) {
    TScriptedIO io;
    io.Body = [&] { throw std::runtime_error("lost"); };
    RunInIOThread(io);
    io.WaitThreads(false);   // returns: the failed worker left the registry
    EXPECT_TRUE(io.Aborting);
    // The component goes on: a next worker runs and is waited for as well.
    std::atomic<int> runs{0};
    io.Body = [&] { ++runs; };
    RunInIOThread(io);
    io.WaitThreads(false);
    EXPECT_EQ(runs, 1);
}

TEST_F(PicturaIOThreadTest, WaitThreadsWaitsForEveryWorker) {
    TScriptedIO io;
    std::atomic<int> done{0};
    std::atomic<int> delay{40};
    io.Body = [&] {
        const int ms = delay.exchange(5);   // the first worker takes longer than the second
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        ++done;
    };
    RunInIOThread(io);
    RunInIOThread(io);
    io.WaitThreads(false);
    EXPECT_EQ(done, 2);
}

TEST_F(PicturaIOThreadTest, DestroyingTheComponentWaitsForASlowReader) {
    const std::vector<uint8_t> png = MakePNG(3, 3);
    TIEBitmap image;
    TWatchedStream stream(png, false, 2);
    {
        TPicturaIO io(nullptr);
        io.SetAttachedIEBitmap(&image);
        io.AsyncMode = true;
        io.LoadFromStreamPNG(&stream);
    }
    // The destructor returned only after the worker had read the whole image.
    ExpectImage(image, 3, 3);
    EXPECT_EQ(stream.Readers().size(), 1u);
}

TEST_F(PicturaIOThreadTest, SourceTextEncodesInPlaceOnAnAsynchronousComponent) {
    // The source text is made of the encoded bytes: handing the encoding to a worker would leave
    // the text empty and the worker writing into a stream that is gone.
    const std::vector<uint8_t> png = MakePNG(4, 3);
    testsupport::TScratchDir dir(L"KWIOThreadSrc_");
    TIEBitmap image;
    TPicturaIO io(nullptr);
    io.SetAttachedIEBitmap(&image);
    io.LoadFromBuffer(png.data(), static_cast<int32_t>(png.size()));
    io.AsyncMode = true;
    io.SaveToSourceFile(dir / L"image.txt", ioBMP, 1);
    EXPECT_TRUE(io.AsyncMode);
    const std::string text = testsupport::ReadFileBytes(dir / L"image.txt");
    EXPECT_EQ(text.rfind("\\\\ Size=", 0), 0u);
    EXPECT_NE(text.rfind("\\\\ Size=0", 0), 0u) << text.substr(0, 40);
    EXPECT_NE(text.find("0x42,0x4D"), std::string::npos);   // "BM"
    io.WaitThreads(false);
}
