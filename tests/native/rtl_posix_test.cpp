// The POSIX twins of the run-time layer: code page 932 as Wine converts it, file streams over
// Wine-shaped paths, string-list order and threads.
#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <string>

#include "Classes.h"
#include "NativeTestUtil.h"
#include "SysUtils.h"

using nativetest::TScratchDir;

// Each pair as Wine's MultiByteToWideChar and WideCharToMultiByte for code page 932 gave it.
TEST(PosixCodePages, ShiftJisDecodesAsWineDoes) {
    const struct {
        const char* bytes;
        size_t size;
        std::wstring text;
    } cases[] = {
        {"\x81\x5C\x81\x60\x5C\x7E", 6, L"\x2015\xFF5E\\~"},
        {"\xA6\xB1\x87\x40\xED\x40\xFA\x40\xF0\x40", 10, L"\xFF66\xFF71\x2460\x7E8A\x2170\xE000"},
        {"\x80\xA0\xFD\xFE\xFF", 5, L"\x0080\xF8F0\xF8F1\xF8F2\xF8F3"},
        {"A\x82", 2, L"A\x30FB"},                 // a lead byte at the end
        {"\x82\x20" "b", 3, L"\x30FB" L"b"},      // a bad trail byte goes with its lead byte
        {"\x82\x00" "b", 3, std::wstring(L"\x30FB\0b", 3)},   // ... unless it is NUL
        {"\x85\x40", 2, L"\x30FB"},               // an unassigned pair
    };
    for (const auto& c : cases) EXPECT_EQ(AnsiToWide(std::string(c.bytes, c.size)), c.text) << c.bytes;
    EXPECT_EQ(OemToWide("\x8E\xCA\x90\x5E"), L"写真");
}

TEST(PosixCodePages, ShiftJisEncodesAsWineDoes) {
    const struct {
        std::wstring text;
        std::string bytes;
    } cases[] = {
        {L"写真\x2015\xFF5E", "\x8E\xCA\x90\x5E\x81\x5C\x81\x60"},
        {L"\x0080\xF8F0\xF8F3", "\x80\xA0\xFF"},
        {L"\x2014\x301C\x20AC", "???"},           // no code in Windows' table
        {std::wstring(L"a\xD800" L"b"), "a?b"},   // a lone surrogate
    };
    for (const auto& c : cases) EXPECT_EQ(WideToAnsi(c.text), c.bytes);
    EXPECT_EQ(WideToAnsi(L"写真", cpUTF8), "写真");
    EXPECT_EQ(AnsiToWide("\xC3", cpUTF8), L"\xFFFD");
}

TEST(PosixFileStream, ReadsAndWritesThroughWineShapedPaths) {
    TScratchDir dir;
    const std::wstring name = dir.Path() + L"写真.bin";
    {
        TFileStream f(name, fmCreate);
        f.WriteBuffer("0123456789", 10);
        f.SetSize(4);
        EXPECT_EQ(f.GetSize(), 4);
        EXPECT_EQ(f.GetPosition(), 4);
    }
    TFileStream f(name, fmOpenRead | fmShareDenyWrite);
    char buffer[8] = {};
    EXPECT_EQ(f.Read(buffer, 8), 4);
    EXPECT_EQ(std::string(buffer, 4), "0123");
    EXPECT_EQ(f.Seek(-2, soEnd), 2);
    EXPECT_THROW(f.WriteBuffer("x", 1), EWriteError);   // opened for reading only
}

TEST(PosixFileStream, FailuresNameTheFullPath) {
    TScratchDir dir;
    try {
        TFileStream f(dir.Path() + L"sub\\..\\missing.bin", fmOpenRead);
        FAIL() << "opened a missing file";
    } catch (const EFOpenError& e) {
        EXPECT_NE(e.Message().find(L"Cannot open file \"" + dir.Path() + L"missing.bin\"."), std::wstring::npos)
            << e.what();
    }
    EXPECT_THROW(TFileStream(dir.Path() + L"no\\such.bin", fmCreate), EFCreateError);
    EXPECT_THROW(TFileStream(dir.Path(), fmOpenRead), EFOpenError);   // a folder is no file
}

TEST(PosixStringList, SortsCaseFoldedWithLowerCaseFirst) {
    TStringList list;
    list.SetCaseSensitive(true);
    for (const wchar_t* s : {L"b", L"B", L"a", L"Ä", L"A", L"ä"}) list.Add(s);
    list.SetSorted(true);
    EXPECT_EQ(list.GetText(), L"a\r\nA\r\nb\r\nB\r\nä\r\nÄ\r\n");
    TStringList folded;
    EXPECT_EQ(folded.CompareStrings(L"abc", L"ABC"), 0);
    EXPECT_LT(folded.CompareStrings(L"ab", L"ABC"), 0);
}

namespace {

std::atomic<int> Executions{0};

class TWorker : public TThread {
public:
    explicit TWorker(bool fail) : FFail(fail) {}
    ~TWorker() override {
        Terminate();
        WaitFor();
    }
protected:
    void Execute() override {
        ++Executions;
        if (FFail) throw std::runtime_error("worker failed");
        ReturnValue = 42;
    }

private:
    bool FFail;
};

}  // namespace

TEST(PosixThread, RunsOnStartAndKeepsResultAndFailure) {
    auto worker = NewThread<TWorker>(false, false);
    EXPECT_EQ(worker->WaitFor(), 42u);
    EXPECT_EQ(worker->WaitFor(), 42u);   // a second wait returns at once
    EXPECT_TRUE(worker->Finished());

    auto failing = NewThread<TWorker>(false, true);
    failing->WaitFor();
    EXPECT_TRUE(failing->GetFatalException() != nullptr);

    const int before = Executions;
    auto idle = NewThread<TWorker>(true, false);
    EXPECT_FALSE(idle->Started());
    idle.reset();   // never started: let go without running Execute
    EXPECT_EQ(Executions, before);
}
