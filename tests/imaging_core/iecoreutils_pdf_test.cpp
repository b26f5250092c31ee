// The PDF object model's syntax, numbering, cross-reference table and filter encoders. Whole
// documents are checked by qpdf and Ghostscript in the native suite (tests/native/imaging_pdf_*).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "Classes.h"
#include "iecoreutils_pdf.h"

namespace {

std::string Syntax(TIEPDFObject& Obj) {
    TMemoryStream ms;
    Obj.WriteTo(&ms);
    return std::string(static_cast<const char*>(ms.GetMemory()), static_cast<size_t>(ms.GetSize()));
}

std::string Bytes(TMemoryStream& Ms) {
    return std::string(static_cast<const char*>(Ms.GetMemory()), static_cast<size_t>(Ms.GetSize()));
}

}   // namespace

TEST(IEPDFObjects, ValueSyntax) {
    TIEPDFStringObject str(std::string("a(b)c\\") + "\b\t\n\f\r\x01");
    EXPECT_EQ(Syntax(str), "(a\\(b\\)c\\\\\\b\\t\\n\\f\\r\x01)");
    TIEPDFNameObject name("A B\x7F#/");
    EXPECT_EQ(Syntax(name), "/A#20B#7F#23#2F");
    TIEPDFRefObject ref(12, 0);
    EXPECT_EQ(Syntax(ref), "12 0 R");
    TIEPDFBooleanObject yes(true), no(false);
    EXPECT_EQ(Syntax(yes) + Syntax(no), "truefalse");

    TIEPDFArrayObject arr;
    arr.Add(new TIEPDFNumericObject(1));
    arr.Add(new TIEPDFNumericObject(2.5));
    EXPECT_EQ(Syntax(arr), "[1 2.5 ]");

    TIEPDFDictionaryObject dict;
    dict.AddItem("Type", new TIEPDFNameObject("Page"));
    dict.AddItem("Count", new TIEPDFNumericObject(3));
    dict.InsertItem(0, "First", new TIEPDFBooleanObject(false));
    EXPECT_EQ(Syntax(dict), "<< /First false\n/Type /Page\n/Count 3\n>>");
    dict.SetItem("Type", new TIEPDFNameObject("Pages"));   // replaced in place
    EXPECT_EQ(Syntax(dict), "<< /First false\n/Type /Pages\n/Count 3\n>>");
}

TEST(IEPDFObjects, NumbersNeverInExponentForm) {
    struct { double value; const char* text; } cases[] = {
        {0, "0"}, {-0.5, "-0.5"}, {595, "595"}, {0.1, "0.1"}, {1e-5, "0.00001"}, {-1.5e-7, "-0.00000015"},
        {1e15, "1000000000000000"}, {2.5e20, "250000000000000000000"}, {123456.789, "123456.789"},
        {1.0 / 3, "0.333333333333333"}, {NAN, "0"}, {INFINITY, "0"},
    };
    for (const auto& c : cases) {
        TIEPDFNumericObject n(c.value);
        EXPECT_EQ(Syntax(n), c.text) << c.value;
    }
}

TEST(IEPDFObjects, KeptItemsOutliveTheirContainer) {
    auto kept = std::make_unique<TIEPDFDictionaryObject>();
    kept->Keep = true;
    kept->AddItem("X", new TIEPDFNumericObject(1));
    {
        TIEPDFArrayObject a, b;
        a.Add(kept.get());   // held by two containers and by this test
        b.Add(kept.get());
        a.Add(new TIEPDFNameObject("owned"));
    }
    EXPECT_EQ(Syntax(*kept), "<< /X 1\n>>");   // still alive (the sanitizers watch the rest)
}

TEST(IEPDFObjects, StreamLengthFollowsItsDataInMemoryOrInATemporaryFile) {
    const char data[] = "q 1 0 0 1 0 0 cm Q";
    TIEPDFStreamObject s(data, 18);
    EXPECT_EQ(Syntax(s), "<< /Length 18\n>>\nstream\nq 1 0 0 1 0 0 cm Q\nendstream");
    s.MoveToTempFile();
    EXPECT_EQ(s.GetDataSize(), 18);
    s.GetDictionary()->AddItem("Filter", new TIEPDFNameObject("None"));
    EXPECT_EQ(Syntax(s), "<< /Length 18\n/Filter /None\n>>\nstream\nq 1 0 0 1 0 0 cm Q\nendstream");
    TIEPDFStreamObject empty;
    EXPECT_EQ(Syntax(empty), "<< /Length 0\n>>\nstream\n\nendstream");
}

TEST(IEPDFObjects, DocumentNumberingTableAndTrailer) {
    TIEPDFObjectList objects, pages;
    TIEPDFDictionaryObject* catalog = IEPDFAddCatalog(objects);
    auto* contents = new TIEPDFStreamObject("", 0);
    auto* media = new TIEPDFArrayObject;
    for (double v : {0.0, 0.0, 595.0, 842.0}) media->Add(new TIEPDFNumericObject(v));
    TIEPDFDictionaryObject* tree = nullptr;
    // Pages are added after their page: the tree is numbered when the document closes.
    TIEPDFDictionaryObject* page = IEPDFAddPage(objects, pages, nullptr, media, 4);
    tree = IEPDFAddPages(objects, pages);
    IEPDFAddObject(objects, contents);
    auto* info = new TIEPDFDictionaryObject;
    info->AddItem("Title", new TIEPDFStringObject("t"));
    IEPDFAddObject(objects, info);
    ASSERT_EQ(objects.size(), 5u);
    EXPECT_EQ(catalog->ObjectNumber, 1);
    EXPECT_EQ(page->ObjectNumber, 2);
    EXPECT_EQ(tree->ObjectNumber, 3);
    EXPECT_EQ(contents->ObjectNumber, 4);
    EXPECT_EQ(info->ObjectNumber, 5);

    TMemoryStream ms;
    IEPDFWriteHeader(&ms);
    IEPDFWriteObjects(&ms, objects);
    IEPDFWriteTrailer(&ms, objects, info);
    const std::string doc = Bytes(ms);
    EXPECT_EQ(doc.substr(0, 15), "%PDF-1.4\n%\xC8\xD2\xF0\xFE\n");
    EXPECT_NE(doc.find("1 0 obj\n<< /Type /Catalog\n/Pages 3 0 R\n>>\nendobj\n"), std::string::npos);
    EXPECT_NE(doc.find("/Contents 4 0 R\n/Parent 3 0 R\n>>"), std::string::npos);
    EXPECT_NE(doc.find("<< /Type /Pages\n/Kids [2 0 R ]\n/Count 1\n>>"), std::string::npos);

    const size_t xref = doc.find("xref\n");
    ASSERT_NE(xref, std::string::npos);
    EXPECT_EQ(doc.substr(xref, 29), "xref\n0 6\n0000000000 65535 f \n");
    for (int i = 0; i < 5; ++i) {
        const std::string entry = doc.substr(xref + 29 + 20 * i, 20);
        const size_t pos = std::stoul(entry.substr(0, 10));
        EXPECT_EQ(entry.substr(10), " 00000 n \n");
        EXPECT_EQ(doc.compare(pos, std::to_string(i + 1).size() + 6, std::to_string(i + 1) + " 0 obj"), 0) << i;
    }
    EXPECT_EQ(doc.substr(xref + 129), "trailer\n<< /Size 6\n/Root 1 0 R\n/Info 5 0 R\n>>\nstartxref\n" +
                                          std::to_string(xref) + "\n%%EOF\n");
    for (TIEPDFObject* o : objects) delete o;
}

TEST(IEPDFFilters, RunLength) {
    struct { std::string in; std::vector<uint8_t> out; } cases[] = {
        {"AAAB", {254, 'A', 0, 'B', 128}},
        {"", {128}},
        {"A", {0, 'A', 128}},
        // A literal ends with the first byte of an equal pair.
        {"ABCC", {2, 'A', 'B', 'C', 0, 'C', 128}},
        {"ABCCC", {2, 'A', 'B', 'C', 255, 'C', 128}},
    };
    for (const auto& c : cases) {
        std::vector<uint8_t> dst(2 * c.in.size() + 1);
        const int32_t n = IERunLengthEncode(reinterpret_cast<const uint8_t*>(c.in.data()),
                                            static_cast<int32_t>(c.in.size()), dst.data());
        dst.resize(static_cast<size_t>(n));
        EXPECT_EQ(dst, c.out) << c.in;
    }
    // Runs and literals are cut at 128 bytes.
    std::vector<uint8_t> src(300, 7);
    for (int i = 0; i < 130; ++i) src.push_back(static_cast<uint8_t>(i));
    std::vector<uint8_t> dst(2 * src.size() + 1);
    const int32_t n = IERunLengthEncode(src.data(), static_cast<int32_t>(src.size()), dst.data());
    const std::vector<uint8_t> head = {129, 7, 129, 7, 213, 7, 127, 0};
    EXPECT_TRUE(std::equal(head.begin(), head.end(), dst.begin()));
    EXPECT_EQ(dst[7 + 127], 127);   // the 128th literal byte
    EXPECT_EQ(dst[7 + 128], 1);     // a second literal of the last two bytes
    EXPECT_EQ(n, 6 + 129 + 3 + 1);
}

TEST(IEPDFFilters, Ascii85) {
    char g[5];
    const uint8_t zeros[4] = {0, 0, 0, 0};
    EXPECT_EQ(IEAscii85EncodeGroup(zeros, 4, g), 1);
    EXPECT_EQ(g[0], 'z');
    EXPECT_EQ(IEAscii85EncodeGroup(zeros, 1, g), 2);
    EXPECT_EQ(std::string(g, 2), "!!");
    // "Man " is the classic "9jqo^".
    const std::string man = "Man is distinguished";
    std::vector<char> out(static_cast<size_t>(IEAscii85EncodedBound(static_cast<int32_t>(man.size()))));
    int32_t written = 0;
    int32_t n = IEAscii85Encode(reinterpret_cast<const uint8_t*>(man.data()), static_cast<int32_t>(man.size()),
                                out.data(), written);
    EXPECT_EQ(std::string(out.data(), static_cast<size_t>(n)), "9jqo^BlbD-BleB1DJ+*+F(f,q~>\r\n");
    EXPECT_EQ(written, 25);
    // Lines break after the group that takes them above 74 characters: 15 groups of 5 = 75.
    std::vector<uint8_t> ones(64, 1);
    out.assign(static_cast<size_t>(IEAscii85EncodedBound(64)), 0);
    written = 0;
    n = IEAscii85Encode(ones.data(), 64, out.data(), written);
    const std::string text(out.data(), static_cast<size_t>(n));
    EXPECT_EQ(text.find("\r\n"), 75u);
    EXPECT_EQ(written, 80);
    EXPECT_EQ(n, 80 + 2 + 4);
}
