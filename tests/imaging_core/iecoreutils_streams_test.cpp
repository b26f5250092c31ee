// The stream helpers: the buffered view's positions and buffer reuse, the counting stream, the
// copy, length-prefixed strings, files by wide name, temporary files and the file store.
#include <gtest/gtest.h>

#include <string>

#include "SysUtils.h"
#include "iecoreutils_streams.h"
#include "iezlib.h"

namespace {

std::string Pattern(size_t n) {
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i) s[i] = (char)(i * 7 + 3);
    return s;
}

TMemoryStream* Filled(TMemoryStream& m, const std::string& s) {
    m.WriteBuffer(s.data(), (int32_t)s.size());
    m.SetPosition(0);
    return &m;
}

// A memory stream that counts the reads it serves.
class TCountingStream : public TMemoryStream {
public:
    int32_t Read(void* Buffer, int32_t Count) override {
        ++Reads;
        return TMemoryStream::Read(Buffer, Count);
    }
    int Reads = 0;
};

// A fresh name in the system's temporary folder, deleted at the end of the test.
class TScratchName {
public:
    explicit TScratchName(const std::wstring& Prefix = L"iecore") { IETempFileName(Prefix, IESystemTempFolder(), FName); }
    ~TScratchName() { ieplatform::DeleteFileByName(FName); }
    const std::wstring& Name() const { return FName; }

private:
    std::wstring FName;
};

}  // namespace

TEST(IEBufferedReadStream, RelativeViewReadsAndSeeks) {
    const std::string data = Pattern(300);
    TCountingStream under;
    Filled(under, data);
    under.SetPosition(100);
    TIEBufferedReadStream s(&under, 64, true);
    EXPECT_EQ(s.GetPosition(), 0);
    EXPECT_EQ(s.GetSize(), 200);
    char b[300];
    ASSERT_EQ(s.Read(b, 10), 10);
    EXPECT_EQ(std::string(b, 10), data.substr(100, 10));
    // Inside the buffer: only the index moves.
    const int reads = under.Reads;
    EXPECT_EQ(s.Seek(3, soBeginning), 3);
    EXPECT_EQ(s.Seek(50, soCurrent), 53);
    EXPECT_EQ(under.Reads, reads);
    ASSERT_EQ(s.Read(b, 1), 1);
    EXPECT_EQ(b[0], data[153]);
    // Single bytes and blocks across buffer boundaries.
    std::string got(b, 1);
    while (got.size() < 100) {
        ASSERT_EQ(s.Read(b, 1), 1);
        got += b[0];
        ASSERT_EQ(s.Read(b, 13), 13);
        got.append(b, 13);
    }
    EXPECT_EQ(got, data.substr(153, got.size()));
    // Reading 10 with 4 left gives 4, then nothing.
    EXPECT_EQ(s.Seek(-4, soEnd), 196);
    EXPECT_EQ(s.Read(b, 10), 4);
    EXPECT_EQ(std::string(b, 4), data.substr(296, 4));
    EXPECT_EQ(s.Read(b, 10), 0);
    EXPECT_EQ(s.Read(b, 1), 0);
    // Targets past the end stop there; back to 0 is byte 100 of the underlying stream.
    EXPECT_EQ(s.Seek(1000, soBeginning), 200);
    EXPECT_EQ(s.Seek(0, soBeginning), 0);
    ASSERT_EQ(s.Read(b, 2), 2);
    EXPECT_EQ(b[0], data[100]);
    try {
        s.Write("x", 1);
        ADD_FAILURE();
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), L"TIEBufferedReadStream cannot write!");
    }
    // Absolute view; a buffer of one byte still reads everything.
    under.SetPosition(0);
    TIEBufferedReadStream whole(&under, 0);
    std::string all(300, '\0');
    EXPECT_EQ(whole.Read(&all[0], 300), 300);
    EXPECT_EQ(all, data);
}

TEST(IEStreams, NulStreamMemStreamAndCopy) {
    TNulStream nul;
    EXPECT_EQ(nul.Write(nullptr, 10), 10);
    EXPECT_EQ(nul.Seek(4, soBeginning), 4);
    EXPECT_EQ(nul.Write(nullptr, 2), 2);
    EXPECT_EQ(nul.GetPosition(), 6);
    EXPECT_EQ(nul.GetSize(), 10);
    EXPECT_EQ(nul.Seek(0, soEnd), 10);
    EXPECT_EQ(nul.Seek(5, soCurrent), 15);
    EXPECT_EQ(nul.GetSize(), 15);

    const std::string data = Pattern(500);
    TIEMemStream mem(data.data(), 500);
    EXPECT_EQ(mem.Write("abc", 3), 0);
    mem.SetSize(10);
    EXPECT_EQ(mem.GetSize(), 500);

    // Count 0 copies the whole source from its start, whatever its position.
    TMemoryStream source, dest;
    Filled(source, data);
    source.SetPosition(350);
    EXPECT_EQ(IECopyStream(&dest, &source, 0), 500);
    EXPECT_EQ(std::string(static_cast<char*>(dest.GetMemory()), 500), data);
    // A count past the end is cut to what is left.
    source.SetPosition(480);
    EXPECT_EQ(IECopyStream(&nul, &source, 100), 20);
    EXPECT_EQ(IECopyStream(&nul, &source, 100), 0);
    // A zlib stream cannot tell its size: the count stands.
    TMemoryStream packed;
    {
        TZCompressionStream z(&packed, 2);
        z.WriteBuffer(data.data(), 500);
    }
    packed.SetPosition(0);
    TZDecompressionStream unz(&packed);
    TMemoryStream out;
    EXPECT_EQ(IECopyStream(&out, &unz, 300), 300);
    EXPECT_EQ(std::string(static_cast<char*>(out.GetMemory()), 300), data.substr(0, 300));
    EXPECT_THROW(IECopyStream(&out, &unz, 300), EReadError);
}

TEST(IEStreams, LengthPrefixedStringsAndLines) {
    TMemoryStream m;
    const std::string big = Pattern(200000);
    for (const std::string& s : {std::string(), std::string("abc"), big}) IESaveStringToStream(&m, s);
    IEWriteLineCRLF(&m, "%!PS");
    m.SetPosition(0);
    std::string s = "old";
    IELoadStringFromStream(&m, s);
    EXPECT_EQ(s, "");
    IELoadStringFromStream(&m, s);
    EXPECT_EQ(s, "abc");
    IELoadStringFromStream(&m, s);
    EXPECT_EQ(s, big);
    char line[7];
    m.ReadBuffer(line, 6);
    EXPECT_EQ(std::string(line, 6), "%!PS\r\n");

    // Lengths from a damaged file: negative, or far more than the stream holds.
    const std::string negative("\xFF\xFF\xFF\xFF" "abc", 7), huge("\x00\x00\x00\x40" "abc", 7);
    for (const std::string& bad : {negative, huge}) {
        TReadOnlyMemoryStream r(bad.data(), (int64_t)bad.size());
        s = "kept";
        EXPECT_THROW(IELoadStringFromStream(&r, s), EReadError);
        EXPECT_EQ(s, "kept");
    }
}

TEST(IEStreams, FilesByWideNameAndTemporaryFiles) {
    TScratchName name(L"ie写真");
    EXPECT_FALSE(IEFileExists(name.Name()));
    {
        TIEWideFileStream f(name.Name(), 0xFFFF);
        f.WriteBuffer("pixels", 6);
    }
    EXPECT_TRUE(IEFileExists(name.Name()));
    EXPECT_TRUE(IEFileExistsW(name.Name()));
    EXPECT_FALSE(IEFileExists(IESystemTempFolder()));   // a folder is no file
    {
        TIEWideFileStream f(name.Name(), 0x20);   // read, others may read
        char b[6];
        f.ReadBuffer(b, 6);
        EXPECT_EQ(std::string(b, 6), "pixels");
    }
    EXPECT_EQ(IEFileOpenW(name.Name(), 0x50), IEInvalidHandle);
    EXPECT_EQ(IEFileOpenW(name.Name(), 0x03), IEInvalidHandle);

    const std::wstring missing = IESystemTempFolder() + L"no-such-folder-iecore\\x.bin";
    try {
        TIEWideFileStream f(missing, 0);
        ADD_FAILURE();
    } catch (const EFOpenError& e) {
        EXPECT_EQ(e.Message().rfind(L"Cannot open file \"" + missing + L"\". ", 0), 0u) << WideToUtf8(e.Message());
    }
    EXPECT_THROW(TIEWideFileStream(missing, 0xFFFF), EFCreateError);
    try {
        TIETemporaryFileStream t(missing);
        ADD_FAILURE();
    } catch (const EInOutError& e) {
        EXPECT_EQ(e.Message(), L"Unable to create " + missing);
    }

    TScratchName temp;
    {
        TIETemporaryFileStream t(temp.Name());
        t.WriteBuffer("abc", 3);
        t.SetPosition(0);
        char back[3] = {};
        EXPECT_EQ(t.Read(back, 3), 3);
        EXPECT_EQ(std::string(back, 3), "abc");
    }
    EXPECT_FALSE(IEFileExists(temp.Name()));

    std::wstring made;
    IETempFileName(L"IMG", L"C:\\x\\", made);
    ASSERT_EQ(made.size(), std::wstring(L"C:\\x\\IMG-12345678.tmp").size());
    EXPECT_EQ(made.substr(0, 9), L"C:\\x\\IMG-");
    EXPECT_EQ(made.find_first_not_of(L"0123456789ABCDEF", 9), 17u);
    IEGetTempFileName(made);
    EXPECT_EQ(made.rfind(IESystemTempFolder() + L"ietemp-", 0), 0u);
}

TEST(IEFileBuffer, ViewsStoresAndCopies) {
    for (bool useFile : {true, false}) {
        SCOPED_TRACE(useFile ? "file" : "memory");
        TIEFileBuffer a, b;
        EXPECT_FALSE(a.IsAllocated());
        ASSERT_TRUE(a.AllocateFile(L"IMG", useFile, 3000000));
        ASSERT_TRUE(b.AllocateFile(L"IMG", useFile, 3000000));
        if (!useFile) EXPECT_FALSE(IEFileExists(a.GetFileName()));   // a file's name may be gone already
        auto* w = static_cast<uint8_t*>(a.MapView(iedRead | iedWrite, 1000, 2000000));
        for (int i = 0; i < 2000000; ++i) w[i] = (uint8_t)(i % 251);
        auto* r = static_cast<uint8_t*>(a.MapView(iedRead, 0, 10));
        r[0] = 99;   // a read-only view does not go back
        a.UnmapAll();
        auto* check = static_cast<uint8_t*>(a.MapView(iedRead, 0, 1002));
        EXPECT_EQ(check[0], 0);
        EXPECT_EQ(check[1000], 0);
        EXPECT_EQ(check[1001], 1);
        a.UnmapView(check);
        a.UnmapView(nullptr);   // unknown: ignored

        a.CopyTo(&b, 1500000, 1100000);
        auto* copied = static_cast<uint8_t*>(b.MapView(iedRead, 1500000, 4));
        EXPECT_EQ(copied[0], (uint8_t)((1500000 - 1000) % 251));
        auto* before = static_cast<uint8_t*>(b.MapView(iedRead, 1499999, 1));
        EXPECT_EQ(before[0], 0);   // outside the copied range
        const std::wstring file = a.GetFileName();
        a.Clear();
        EXPECT_FALSE(a.IsAllocated());
        EXPECT_FALSE(IEFileExists(file));
    }
    // A store that cannot be made: False, the name stays.
    IETempFolder = IESystemTempFolder() + L"no-such-folder-iecore\\";
    TIEFileBuffer c;
    EXPECT_FALSE(c.AllocateFile(L"IMG", true, 100));
    EXPECT_FALSE(c.IsAllocated());
    EXPECT_EQ(c.GetFileName().rfind(IETempFolder + L"IMG-", 0), 0u);
    IETempFolder.clear();
}
