// Streams, string lists, pointer lists, components, threads and events.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "Classes.h"
#include "SyncObjs.h"
#include "WinApi.h"

namespace {

// A fresh, empty folder under the temporary folder, removed with what it holds.
class TempFolder {
public:
    TempFolder() {
        wchar_t base[MAX_PATH];
        GetTempPathW(MAX_PATH, base);
        Path = std::wstring(base) + L"rtl_test_" + IntToStr(GetCurrentProcessId()) + L"\\";
        CreateDirectoryW(Path.c_str(), nullptr);
    }
    ~TempFolder() {
        WIN32_FIND_DATAW fd;
        HANDLE h = FindFirstFileW((Path + L"*").c_str(), &fd);
        if (h != INVALID_HANDLE_VALUE) {
            do DeleteFileW((Path + fd.cFileName).c_str());
            while (FindNextFileW(h, &fd));
            FindClose(h);
        }
        RemoveDirectoryW(Path.c_str());
    }
    std::wstring Path;
};

std::string ReadAll(TStream& s) {
    std::string bytes((size_t)s.GetSize(), '\0');
    s.SetPosition(0);
    if (!bytes.empty()) s.ReadBuffer(&bytes[0], (int32_t)bytes.size());
    return bytes;
}

}  // namespace

TEST(FileStream, CreateWriteReadAndErrors) {
    TempFolder dir;
    const std::wstring name = dir.Path + L"写真.bin";
    {
        TFileStream f(name, fmCreate);
        f.WriteBuffer("hello world", 11);
        EXPECT_EQ(f.GetSize(), 11);
        f.SetSize(5);
        EXPECT_EQ(f.GetSize(), 5);
        EXPECT_EQ(f.GetPosition(), 5);
    }
    {
        TFileStream f(name, fmOpenRead);
        char buf[8] = {};
        EXPECT_EQ(f.Read(buf, 8), 5);
        EXPECT_EQ(std::string(buf), "hello");
        EXPECT_EQ(f.Seek(-2, soEnd), 3);
        EXPECT_THROW(f.ReadBuffer(buf, 3), EReadError);
        EXPECT_THROW(f.WriteBuffer("x", 1), EWriteError);   // opened for reading only
    }
    try {
        TFileStream f(dir.Path + L"missing.bin", fmOpenRead);
        FAIL();
    } catch (const EFOpenError& e) {
        EXPECT_EQ(e.Message().rfind(L"Cannot open file \"" + dir.Path + L"missing.bin\". ", 0), 0u) << e.what();
        EXPECT_STREQ(e.ClassName(), L"EFOpenError");
    }
    try {
        TFileStream f(dir.Path + L"no\\such\\folder.bin", fmCreate);
        FAIL();
    } catch (const EFCreateError& e) {
        EXPECT_EQ(e.Message().rfind(L"Cannot create file \"", 0), 0u) << e.what();
    }
}

TEST(FileStream, ShareModes) {
    TempFolder dir;
    const std::wstring name = dir.Path + L"shared.bin";
    TFileStream(name, fmCreate).WriteBuffer("abc", 3);
    struct Case { uint16_t first, second; bool secondOpens; } cases[] = {
        {fmOpenRead | fmShareExclusive, fmOpenRead | fmShareDenyNone, false},
        {fmOpenRead | fmShareDenyWrite, fmOpenRead | fmShareDenyWrite, true},
        {fmOpenRead | fmShareDenyWrite, fmOpenReadWrite | fmShareDenyNone, false},
        {fmOpenReadWrite | fmShareDenyNone, fmOpenRead | fmShareDenyNone, true},
        {fmOpenReadWrite | fmShareDenyNone, fmOpenRead | fmShareDenyWrite, false},
        {fmCreate | fmShareDenyWrite, fmOpenRead | fmShareDenyNone, true},
        {fmCreate, fmOpenRead | fmShareDenyNone, false},
    };
    for (auto& c : cases) {
        TFileStream first(name, c.first);
        bool opened = true;
        try {
            TFileStream second(name, c.second);
        } catch (const EFOpenError&) {
            opened = false;
        }
        EXPECT_EQ(opened, c.secondOpens) << std::hex << c.first << " then " << c.second;
    }
}

TEST(MemoryStream, GrowthSeekAndFiles) {
    TMemoryStream m;
    for (int i = 0; i < 10000; ++i) m.WriteBuffer(&i, sizeof i);
    EXPECT_EQ(m.GetSize(), 40000);
    EXPECT_GE(m.GetCapacity(), 40000);
    EXPECT_EQ(static_cast<int*>(m.GetMemory())[9999], 9999);

    EXPECT_EQ(m.Seek(-8, soEnd), 39992);
    int v = 0;
    m.ReadBuffer(&v, 4);
    EXPECT_EQ(v, 9998);
    EXPECT_EQ(m.Seek(4, soCurrent), 40000);
    EXPECT_EQ(m.Read(&v, 4), 0);
    EXPECT_THROW(m.ReadBuffer(&v, 4), EReadError);

    // Writing past the end leaves a zero-filled gap.
    m.Clear();
    m.SetPosition(3);
    m.WriteBuffer("x", 1);
    EXPECT_EQ(ReadAll(m), std::string("\0\0\0x", 4));
    m.SetSize(2);
    EXPECT_EQ(m.GetPosition(), 2);
    EXPECT_THROW(m.SetSize(0x7FFFFFFFLL * 4), EStreamError);

    TempFolder dir;
    TMemoryStream src;
    src.WriteBuffer("payload", 7);
    src.SaveToFile(dir.Path + L"m.bin");
    TMemoryStream back;
    back.LoadFromFile(dir.Path + L"m.bin");
    EXPECT_EQ(ReadAll(back), "payload");
    EXPECT_EQ(back.GetPosition(), 7);

    TMemoryStream copy;
    src.SetPosition(3);
    EXPECT_EQ(copy.CopyFrom(&src, 2), 2);
    EXPECT_EQ(copy.CopyFrom(&src, 0), 7);   // whole source from its start
    EXPECT_EQ(ReadAll(copy), "lopayload");
    EXPECT_THROW(copy.CopyFrom(&src, 1), EReadError);   // src is at its end
}

TEST(ResourceStream, ReadsOwnModuleAndRaisesWhenMissing) {
    EXPECT_THROW(TResourceStream(nullptr, L"DOCUMENT", L"NO_SUCH_TYPE"), EResNotFound);
    try {
        TResourceStream r(nullptr, L"DOCUMENT", L"NO_SUCH_TYPE");
    } catch (const EResNotFound& e) {
        EXPECT_EQ(e.Message(), L"Resource DOCUMENT not found");
    }
    // Every system module carries a version resource (1 of type 16), named in UTF-16 at offset 6.
    TResourceStream version(GetModuleHandleW(L"kernel32.dll"), MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(16));
    const std::string bytes = ReadAll(version);
    ASSERT_GT(bytes.size(), 36u);
    EXPECT_EQ(std::wstring(reinterpret_cast<const wchar_t*>(bytes.data() + 6), 15), L"VS_VERSION_INFO");
    EXPECT_THROW(version.WriteBuffer("x", 1), EStreamError);
}

TEST(StringList, TextLinesAndSorting) {
    TStringList list;
    list.SetText(L"one\r\ntwo\nthree\rfour\r\n\r\nsix");
    ASSERT_EQ(list.GetCount(), 6);
    EXPECT_EQ(list.GetStrings(2), L"three");
    EXPECT_EQ(list.GetStrings(4), L"");
    EXPECT_EQ(list.GetText(), L"one\r\ntwo\r\nthree\r\nfour\r\n\r\nsix\r\n");
    EXPECT_EQ(list.IndexOf(L"TWO"), 1);   // case-insensitive by default
    list.Delete(0);
    list.Insert(0, L"zero");
    TObject marker;
    list.SetObjects(1, &marker);
    EXPECT_EQ(list.IndexOfObject(&marker), 1);
    EXPECT_THROW(list.GetStrings(6), EListError);
    EXPECT_THROW(list.Delete(-1), EListError);

    TStringList sorted;
    sorted.SetSorted(true);
    for (auto s : {L"b", L"C", L"a", L"B"}) sorted.Add(s);
    EXPECT_EQ(sorted.GetText(), L"a\r\nb\r\nC\r\n");   // "B" ignored as a duplicate of "b"
    sorted.Duplicates = dupError;
    EXPECT_THROW(sorted.Add(L"A"), EListError);
    EXPECT_THROW(sorted.Insert(0, L"x"), EListError);
    EXPECT_EQ(sorted.IndexOf(L"c"), 2);
}

TEST(StringList, LoadDetectsByteOrderMarksAndSavesAnsi) {
    const std::wstring text = L"表示\r\nソフト";
    struct Case { std::string bytes; } cases[] = {
        {"\xEF\xBB\xBF" + WideToUtf8(text)},
        {std::string("\xFF\xFE\x68\x88\x3A\x79\r\0\n\0\xBD\x30\xD5\x30\xC8\x30", 16)},
        {std::string("\xFE\xFF\x88\x68\x79\x3A\0\r\0\n\x30\xBD\x30\xD5\x30\xC8", 16)},
        {WideToAnsi(text, cpShiftJIS)},
    };
    for (auto& c : cases) {
        TMemoryStream m;
        m.WriteBuffer("skip", 4);
        m.WriteBuffer(c.bytes.data(), (int32_t)c.bytes.size());
        m.SetPosition(4);   // loading reads the rest of the stream
        TStringList list;
        list.LoadFromStream(&m);
        ASSERT_EQ(list.GetCount(), 2);
        EXPECT_EQ(list.GetStrings(0), L"表示");
        EXPECT_EQ(list.GetStrings(1), L"ソフト");
    }

    TStringList list;
    list.SetText(text);
    TMemoryStream ansi, utf16;
    list.SaveToStream(&ansi);
    EXPECT_EQ(ReadAll(ansi), "\x95\x5C\x8E\xA6\r\n\x83\x5C\x83\x74\x83\x67\r\n");
    list.SaveToStream(&utf16, TTextEncoding::Unicode);
    EXPECT_EQ(ReadAll(utf16).substr(0, 4), std::string("\xFF\xFE\x68\x88", 4));

    TempFolder dir;
    list.SaveToFile(dir.Path + L"lines.txt");
    TStringList back;
    back.LoadFromFile(dir.Path + L"lines.txt");
    EXPECT_EQ(back.GetText(), list.GetText());
}

TEST(List, IndexErrorsAndOrder) {
    int a = 1, b = 2, c = 3;
    TList list;
    list.Add(&b);
    list.Add(&c);
    list.Insert(0, &a);
    EXPECT_EQ(list.GetItems(0), &a);
    EXPECT_EQ(list.IndexOf(&c), 2);
    list.Move(2, 0);
    EXPECT_EQ(list.First(), &c);
    list.Sort([](void* x, void* y) { return *static_cast<int*>(x) - *static_cast<int*>(y); });
    EXPECT_EQ(list.Last(), &c);
    EXPECT_EQ(list.Remove(&b), 1);
    EXPECT_EQ(list.Remove(&b), -1);
    try {
        list.GetItems(5);
        FAIL();
    } catch (const EListError& e) {
        EXPECT_EQ(e.Message(), L"List index out of bounds (5)");
    }
    EXPECT_THROW(list.Insert(3, &a), EListError);
}

namespace {

// Records its destruction and the removals it hears of, and drops its reference when told.
class TProbe : public TComponent {
public:
    KW_CLASS_NAME(TProbe)
    TProbe(TComponent* owner, std::wstring name, std::vector<std::wstring>& log)
        : TComponent(owner), FLog(log) {
        SetName(name);
    }
    ~TProbe() override { FLog.push_back(L"free " + GetName()); }
    TComponent* Peer = nullptr;

protected:
    void Notification(TComponent* c, TOperation op) override {
        if (op == opRemove && c == Peer) {
            FLog.push_back(GetName() + L" lost " + c->GetName());
            Peer = nullptr;
        }
        TComponent::Notification(c, op);
    }

private:
    std::vector<std::wstring>& FLog;
};

}  // namespace

TEST(Component, OwnedFreedInReverseAndNotified) {
    std::vector<std::wstring> log;
    auto outsider = std::make_unique<TProbe>(nullptr, L"outsider", log);
    {
        TProbe owner(nullptr, L"owner", log);
        auto* a = new TProbe(&owner, L"a", log);
        auto* b = new TProbe(&owner, L"b", log);
        new TProbe(&owner, L"c", log);
        EXPECT_EQ(owner.GetComponentCount(), 3);
        EXPECT_EQ(a->GetOwner(), &owner);
        EXPECT_EQ(owner.FindComponent(L"B"), b);
        EXPECT_STREQ(b->ClassName(), L"TProbe");

        // A sibling hears of the removal through the owner; an outsider through FreeNotification.
        a->Peer = b;
        outsider->Peer = a;
        a->FreeNotification(outsider.get());
        delete b;
        EXPECT_EQ(owner.GetComponentCount(), 2);
        EXPECT_EQ(a->Peer, nullptr);
        log.push_back(L"-");
    }
    EXPECT_EQ(outsider->Peer, nullptr);
    const std::vector<std::wstring> want = {L"free b", L"a lost b", L"-", L"free owner",
                                            L"free c", L"free a", L"outsider lost a"};
    EXPECT_EQ(log, want);
}

TEST(Component, FreeNotificationIsMutual) {
    std::vector<std::wstring> log;
    auto x = std::make_unique<TProbe>(nullptr, L"x", log);
    auto y = std::make_unique<TProbe>(nullptr, L"y", log);
    x->Peer = y.get();
    y->Peer = x.get();
    x->FreeNotification(y.get());
    x.reset();
    EXPECT_EQ(y->Peer, nullptr);
    y.reset();   // must not reach the freed x
    EXPECT_EQ(log, (std::vector<std::wstring>{L"free x", L"y lost x", L"free y"}));
}

namespace {

class TCounter : public TThread {
public:
    KW_CLASS_NAME(TCounter)
    ~TCounter() override {
        Terminate();
        WaitFor();
    }
    std::atomic<int> Loops{0};
    TEvent Running;
    bool Raise = false;

protected:
    void Execute() override {
        Running.SetEvent();
        if (Raise) throw EAbort();
        while (!Terminated()) {
            ++Loops;
            Sleep(1);
        }
        ReturnValue = 7;
    }
};

}  // namespace

TEST(Thread, StartTerminateWait) {
    auto t = NewThread<TCounter>(true);
    t->SetPriority(tpLower);
    EXPECT_EQ(t->GetPriority(), tpLower);
    Sleep(20);
    EXPECT_EQ(t->Loops, 0);   // suspended
    t->Start();
    EXPECT_EQ(t->Running.WaitFor(5000), wrSignaled);
    for (int i = 0; i < 5000 && t->Loops == 0; ++i) Sleep(1);
    EXPECT_FALSE(t->Finished());
    t->Terminate();
    EXPECT_EQ(t->WaitFor(), 7u);
    EXPECT_TRUE(t->Finished());
    EXPECT_GT(t->Loops, 0);

    auto running = NewThread<TCounter>(false);
    EXPECT_EQ(running->Running.WaitFor(5000), wrSignaled);
    running.reset();   // the destructor stops and waits

    auto neverStarted = NewThread<TCounter>(true);
    neverStarted.reset();

    auto raising = std::make_unique<TCounter>();
    raising->Raise = true;
    raising->Start();
    raising->WaitFor();
    EXPECT_TRUE(raising->GetFatalException() != nullptr);
}

TEST(SyncObjs, EventsAndCriticalSection) {
    TEvent manual(true, false);
    EXPECT_EQ(manual.WaitFor(10), wrTimeout);
    manual.SetEvent();
    EXPECT_EQ(manual.WaitFor(0), wrSignaled);
    EXPECT_EQ(manual.WaitFor(0), wrSignaled);
    manual.ResetEvent();
    EXPECT_EQ(manual.WaitFor(0), wrTimeout);

    TEvent automatic(false, true);
    EXPECT_EQ(automatic.WaitFor(0), wrSignaled);
    EXPECT_EQ(automatic.WaitFor(0), wrTimeout);

    TCriticalSection cs;
    int counter = 0;
    class TAdder : public TThread {
    public:
        TAdder(TCriticalSection& c, int& n) : FCs(c), FN(n) {}
        ~TAdder() override { WaitFor(); }

    protected:
        void Execute() override {
            for (int i = 0; i < 10000; ++i) {
                TCriticalSectionGuard guard(FCs);
                TCriticalSectionGuard again(FCs);   // recursive
                ++FN;
            }
        }
        TCriticalSection& FCs;
        int& FN;
    };
    {
        auto a = NewThread<TAdder>(false, cs, counter);
        auto b = NewThread<TAdder>(false, cs, counter);
    }
    EXPECT_EQ(counter, 20000);
}
