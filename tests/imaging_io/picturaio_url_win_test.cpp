// Loading images from URLs through WinInet, against the loopback servers that url_servers.py
// started for this run (HTTP, HTTPS and FTP on 127.0.0.1; their ports in url-servers/ports).
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "Classes.h"
#include "iebitmap.h"
#include "picturaio.h"
#include "picturaio_url.h"
#include "picturaview.h"

namespace {

// The image the servers hand out: 40 x 30, made by url_servers.py.
constexpr int32_t kWidth = 40, kHeight = 30;
TIERGB Expected(int32_t X, int32_t Y) {
    TIERGB c;
    c.r = static_cast<uint8_t>(X * 6);
    c.g = static_cast<uint8_t>(Y * 8);
    c.b = static_cast<uint8_t>(((static_cast<uint32_t>(X * Y) * 2654435761u) >> 13) & 255);
    return c;
}

void ExpectServedImage(TIEBitmap& Bitmap) {
    ASSERT_EQ(Bitmap.GetWidth(), kWidth);
    ASSERT_EQ(Bitmap.GetHeight(), kHeight);
    for (int32_t y = 0; y < kHeight; y += 7)
        for (int32_t x = 0; x < kWidth; x += 3) {
            const TIERGB a = Bitmap.GetPixelAsRGB(x, y), e = Expected(x, y);
            ASSERT_TRUE(a.r == e.r && a.g == e.g && a.b == e.b) << "pixel " << x << "," << y;
        }
}

class PicturaIOURLTest : public ::testing::Test {
protected:
    void SetUp() override {
        IEPicturaViewInitialize();
        // The I/O start-up binds WinInet.
        IEInitializePicturaIO();
        ASSERT_TRUE(IEWinInetBound()) << "wininet.dll did not load";
        std::ifstream in(std::string(TEST_BUILD_DIR) + "/url-servers/ports");
        std::string name;
        int32_t port = 0;
        while (in >> name >> port) FPorts[name] = port;
        ASSERT_EQ(FPorts.size(), 3u) << "the URL servers are not running (ctest's url_servers fixture starts them)";
    }

    void TearDown() override { IEFinalizePicturaIO(); }

    std::wstring Url(const std::string& Scheme, const std::string& Path, const std::string& Credentials = "") {
        const std::string text =
            Scheme + "://" + Credentials + "127.0.0.1:" + std::to_string(FPorts.at(Scheme)) + Path;
        return std::wstring(text.begin(), text.end());
    }

    // What the HTTP server kept ("key value" lines).
    std::map<std::string, std::string> Stats() {
        TMemoryStream stream;
        std::wstring type;
        EXPECT_TRUE(IEDownloadURL(Url("http", "/stats"), &stream, L"", type, nullptr, nullptr, nullptr, L"", L""));
        std::string text(static_cast<size_t>(stream.GetSize()), '\0');
        stream.SetPosition(0);
        if (!text.empty()) stream.ReadBuffer(&text[0], static_cast<int32_t>(text.size()));
        std::map<std::string, std::string> values;
        std::istringstream lines(text);
        std::string key, value;
        while (lines >> key >> value) values[key] = value;
        return values;
    }

    std::map<std::string, int32_t> FPorts;
};

struct TFinishCount {
    int Finished = 0;
    std::vector<int32_t> Progress;
    void Attach(TPicturaIO& IO) {
        IO.OnFinishWork = [this](TObject*) { ++Finished; };
        IO.OnProgress = [this](TObject*, int32_t per) { Progress.push_back(per); };
    }
};

}  // namespace

TEST_F(PicturaIOURLTest, LoadsAPNGOverHttpHttpsAndFtp) {
    const std::wstring urls[] = {Url("http", "/image.png"), Url("https", "/image.png"), Url("ftp", "/image.png"),
                                 Url("ftp", "/image.png", "kw:pw@")};
    for (const std::wstring& url : urls) {
        SCOPED_TRACE(std::string(url.begin(), url.end()));
        TPicturaIO io(nullptr);
        TFinishCount events;
        events.Attach(io);
        io.LoadFromURL(url);
        EXPECT_FALSE(io.Aborting);
        EXPECT_EQ(io.Params->FileType, ioPNG);
        ExpectServedImage(*io.GetIEBitmap());
        EXPECT_EQ(events.Finished, 1);
        ASSERT_FALSE(events.Progress.empty());
        for (int32_t per : events.Progress) EXPECT_LE(per, 100);
        EXPECT_EQ(events.Progress.back(), 100);
    }
    // A file name that is an address goes the same way.
    TPicturaIO io(nullptr);
    io.LoadFromFile(Url("http", "/image.png"));
    EXPECT_FALSE(io.Aborting);
    ExpectServedImage(*io.GetIEBitmap());
}

TEST_F(PicturaIOURLTest, ContentTypeFromTheHeaderOrTheExtension) {
    for (const char* scheme : {"http", "ftp"}) {
        TMemoryStream stream;
        std::wstring type;
        ASSERT_TRUE(IEDownloadURL(Url(scheme, "/image.png"), &stream, L"", type, nullptr, nullptr, nullptr, L"", L""))
            << scheme;
        EXPECT_EQ(type, L"png") << scheme;
    }
}

TEST_F(PicturaIOURLTest, NoPathAfterTheServerFailsWithoutAConnection) {
    const std::string before = Stats()["requests"];
    TPicturaIO io(nullptr);
    TFinishCount events;
    events.Attach(io);
    const std::wstring url = Url("http", "");
    io.LoadFromURL(url);
    EXPECT_TRUE(io.Aborting);
    EXPECT_EQ(events.Finished, 1);
    EXPECT_TRUE(io.GetIEBitmap()->IsEmpty());
    EXPECT_EQ(Stats()["requests"], before);
}

TEST_F(PicturaIOURLTest, CredentialsOfTheURLReachTheServer) {
    TPicturaIO io(nullptr);
    io.LoadFromURL(Url("http", "/secret.png", "kw:s3cret@"));
    EXPECT_FALSE(io.Aborting);
    ExpectServedImage(*io.GetIEBitmap());
    EXPECT_EQ(Stats()["credentials"], "kw:s3cret");
}

TEST_F(PicturaIOURLTest, ProxyCredentialsGoToTheProxy) {
    TPicturaIO io(nullptr);
    io.ProxyAddress = L"127.0.0.1:" + std::to_wstring(FPorts.at("http"));
    io.ProxyUser = L"pu";
    io.ProxyPassword = L"pp";
    io.LoadFromURL(L"http://images.example/image.png");
    EXPECT_FALSE(io.Aborting);
    ExpectServedImage(*io.GetIEBitmap());
    const auto stats = Stats();
    EXPECT_EQ(stats.at("proxy_credentials"), "pu:pp");
    EXPECT_EQ(stats.at("proxy_server_credentials"), "-");   // never handed on as the server's
}

TEST_F(PicturaIOURLTest, ABodyIsReadWholeWhetherOrNotItsLengthIsKnown) {
    // /paced.png has a length and a pause in the middle of its body: a read that finds nothing
    // there yet must wait, not take the pause for the end.
    for (const char* path : {"/nolength.png", "/paced.png"}) {
        SCOPED_TRACE(path);
        TPicturaIO io(nullptr);
        io.LoadFromURL(Url("http", path));
        EXPECT_FALSE(io.Aborting);
        ExpectServedImage(*io.GetIEBitmap());
    }
}

TEST_F(PicturaIOURLTest, AnErrorStatusFailsTheLoad) {
    TMemoryStream stream;
    std::wstring type;
    EXPECT_FALSE(IEDownloadURL(Url("http", "/missing.png"), &stream, L"", type, nullptr, nullptr, nullptr, L"", L""));
    TPicturaIO io(nullptr);
    TFinishCount events;
    events.Attach(io);
    io.LoadFromURL(Url("https", "/missing.png"));
    EXPECT_TRUE(io.Aborting);
    EXPECT_EQ(events.Finished, 1);
    // A login the server refuses (no credentials) is an error status too.
    io.LoadFromURL(Url("http", "/secret.png"));
    EXPECT_TRUE(io.Aborting);
    // The failures leave nothing behind: the next load of the component succeeds.
    io.LoadFromURL(Url("http", "/image.png"));
    EXPECT_FALSE(io.Aborting);
    ExpectServedImage(*io.GetIEBitmap());
}

TEST_F(PicturaIOURLTest, AbortFromTheProgressHandlerStopsAfterTheCurrentBlock) {
    TMemoryStream stream;
    std::wstring type;
    std::atomic<bool> aborting{false};
    int calls = 0;
    const bool ran = IEDownloadURL(Url("http", "/big.bin"), &stream, L"", type, &aborting, nullptr,
                                   [&](TObject*, int32_t) {
                                       ++calls;
                                       aborting = true;
                                   },
                                   L"", L"");
    EXPECT_TRUE(ran);
    EXPECT_EQ(calls, 1);
    EXPECT_GT(stream.GetSize(), 0);
    EXPECT_LE(stream.GetSize(), 65536);
    // The server got far less than the 8 MiB out before the client went.
    const int64_t sent = std::stoll(Stats()["big_sent"]);
    EXPECT_LT(sent, int64_t(4) << 20);

    // Through the component: the part that came is not loaded, and the load reports failure.
    TPicturaIO io(nullptr);
    TFinishCount events;
    events.Attach(io);
    io.OnProgress = [&](TObject*, int32_t) { io.Aborting = true; };
    io.LoadFromURL(Url("http", "/big.bin"));
    EXPECT_TRUE(io.Aborting);
    EXPECT_EQ(events.Finished, 1);
}

TEST_F(PicturaIOURLTest, AnAsynchronousURLLoadRunsOnAWorker) {
    TIEBitmap image;
    TPicturaIO io(nullptr);
    io.SetAttachedIEBitmap(&image);
    io.AsyncMode = true;
    io.LoadFromURL(Url("http", "/image.png"));
    io.WaitThreads(false);
    EXPECT_FALSE(io.Aborting);
    ExpectServedImage(image);
}
