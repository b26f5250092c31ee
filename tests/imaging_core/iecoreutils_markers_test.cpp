// JPEG marker lists, IPTC datasets and XMP blocks: the order markers are written in, the binary
// IPTC forms (sizes, padding, the extended length), blocks exiftool wrote read by us, and ours put
// into a JPEG file for exiftool to read (check_metadata_written.sh); the EXIF block probes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "SysUtils.h"
#include "TestSupport.h"
#include "iecoreutils_exif.h"
#include "iecoreutils_markers.h"
#include "tests/support/JpegMarkers.h"

namespace {

std::string Fixture(const char* Name) {
    return testsupport::ReadFileBytes(Utf8ToWide(std::string(TEST_DATA_DIR "/jpeg/") + Name));
}

std::string Payload(const TIEMarkerList& l, int32_t i) {
    return std::string(reinterpret_cast<const char*>(l.GetMarkerData(i)), (size_t)l.GetMarkerLength(i));
}

void Add(TIEMarkerList& l, uint8_t type, const std::string& payload) {
    l.AddMarker(type, payload.data(), (uint16_t)payload.size());
}

std::string ICCChunk(uint8_t seq) { return std::string("ICC_PROFILE\0", 12) + (char)seq + '\x02' + "profile"; }

std::string Str(const std::vector<uint8_t>& v) { return std::string(v.begin(), v.end()); }

}  // namespace

TEST(IEQuickSort, SortsEveryPermutationShape) {
    std::mt19937 rng(125);
    for (int n = 0; n <= 40; ++n)
        for (int round = 0; round < 20; ++round) {
            std::vector<int> v(n);
            for (int& x : v) x = (int)(rng() % (round % 2 ? 4 : 1000));   // many ties, or few
            std::vector<int> want = v;
            std::sort(want.begin(), want.end());
            IESort(
                n, [&](int32_t i, int32_t j) { std::swap(v[i], v[j]); },
                [&](int32_t i, int32_t j) { return v[i] - v[j]; });
            ASSERT_EQ(v, want) << n;
        }
}

TEST(TIEMarkerList, SortOrdersTypesICCChunksAndPutsEXIFFirst) {
    TIEMarkerList l;
    Add(l, 0xFE, "comment");
    Add(l, 0xE1, std::string("http://ns.adobe.com/xap/1.0/\0<x/>", 34));
    Add(l, 0xE0, std::string("JFIF\0", 5));
    Add(l, 0xE1, std::string("Exif\0\0II*\0", 10));
    Add(l, 0xE2, ICCChunk(2));
    Add(l, 0xE2, ICCChunk(1));
    l.Sort();
    ASSERT_EQ(l.GetCount(), 6);
    const uint8_t types[] = {0xE0, 0xE1, 0xE1, 0xE2, 0xE2, 0xFE};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(l.GetMarkerType(i), types[i]) << i;
    EXPECT_TRUE(IEIsEXIFBlock(l.GetMarkerData(1), l.GetMarkerLength(1)));
    EXPECT_EQ(l.GetMarkerData(3)[12], 1);
    EXPECT_EQ(l.GetMarkerData(4)[12], 2);
    EXPECT_EQ(Payload(l, 5), "comment");

    // The editing calls.
    EXPECT_EQ(l.IndexOf(0xE2), 3);
    EXPECT_EQ(l.IndexOf(0xED), -1);
    l.SetMarker(5, 0xED, "xyz", 3);
    EXPECT_EQ(l.GetMarkerType(5), 0xED);
    EXPECT_EQ(Payload(l, 5), "xyz");
    l.DeleteMarker(0);
    EXPECT_EQ(l.GetCount(), 5);
    TIEMarkerList copy;
    Add(copy, 0xE5, "gone");
    copy.Assign(&l);
    EXPECT_EQ(copy.GetCount(), 5);
    EXPECT_EQ(Payload(copy, 4), "xyz");
    copy.Assign(nullptr);
    EXPECT_EQ(copy.GetCount(), 5);
    copy.Clear();
    EXPECT_EQ(copy.GetCount(), 0);
    copy.Sort();   // empty: nothing
}

TEST(TIEIPTCInfoList, BinaryForms) {
    TIEIPTCInfoList l;
    std::vector<uint8_t> buf;
    l.SaveToBuffer(buf, true);
    EXPECT_TRUE(buf.empty());
    l.AddData(2, 5, "abcd", 4);
    l.SaveToBuffer(buf, false);
    EXPECT_EQ(Str(buf), std::string("\x1C\x02\x00\x00\x02\x00\x02\x1C\x02\x05\x00\x04" "abcd", 16));
    l.SaveToBuffer(buf, true);
    ASSERT_EQ(buf.size(), 36u);
    EXPECT_EQ(Str(buf).substr(0, 22), std::string("Photoshop 3.0\0" "8BIM\x04\x04\0\0", 22));
    EXPECT_EQ(Str(buf).substr(22), std::string("\0\0\0\x09\x1C\x02\x05\x00\x04" "abcd\0", 14));
    // The record version and empty datasets are not written again.
    l.AddData(2, 0, "\x00\x04", 2);
    l.AddData(2, 25, "", 0);
    std::vector<uint8_t> same;
    l.SaveToBuffer(same, true);
    EXPECT_EQ(same, buf);

    // Read back: plain and wrapped.
    TIEIPTCInfoList r;
    ASSERT_TRUE(r.LoadFromBuffer(buf.data(), (int32_t)buf.size()));
    EXPECT_FALSE(r.GetModified());
    ASSERT_EQ(r.GetCount(), 1);
    EXPECT_EQ(r.GetRecordNumber(0), 2);
    EXPECT_EQ(r.GetDataSet(0), 5);
    EXPECT_EQ(Str(r.GetData(0)), "abcd");

    // 40,000 bytes take the extended length form.
    TIEIPTCInfoList big;
    const std::string data(40000, 'q');
    big.AddData(2, 120, data.data(), (int32_t)data.size());
    big.SaveToBuffer(buf, false);
    ASSERT_EQ(buf.size(), 7u + 9u + 40000u);
    EXPECT_EQ(Str(buf).substr(7, 9), std::string("\x1C\x02\x78\x80\x04\x00\x00\x9C\x40", 9));
    ASSERT_TRUE(r.LoadFromBuffer(buf.data(), (int32_t)buf.size()));
    ASSERT_EQ(r.GetCount(), 2);   // the record version and the caption
    EXPECT_EQ(r.GetData(1).size(), 40000u);
}

TEST(TIEIPTCInfoList, ForeignAndTruncatedData) {
    TIEIPTCInfoList l;
    l.AddData(2, 5, "x", 1);
    EXPECT_TRUE(l.GetModified());
    const std::string onlyHeader("Photoshop 3.0\0" "8BIM\x04\x0C\0\0\0\0\0\x04\x1C\x02\x05\x00", 30);
    EXPECT_FALSE(l.LoadFromBuffer(onlyHeader.data(), (int32_t)onlyHeader.size()));
    EXPECT_EQ(l.GetCount(), 0);
    EXPECT_FALSE(l.LoadFromBuffer("", 0));
    EXPECT_TRUE(l.GetModified());   // the clearing set it
    struct TCase {
        std::string Data;
        int32_t Count;
    };
    const TCase cases[] = {
        {std::string("\x1C\x02\x05\x00\x03" "abc" "\x1C\x02\x06\x00\x09" "short", 18), 1},   // second runs past the end
        {std::string("junk\x1C\x1C\x1C\x02\x05\x00\x01" "z", 12), 1},                       // junk and repeated 0x1C
        {std::string("\x1C\x02\x05\x80\x04\x7F\xFF\xFF\xFF" "a", 10), 0},                   // huge extended length
        {std::string("\x1C\x02\x05\x80\x04\x80\x00\x00\x00", 9), 0},                        // negative extended length
        {std::string("\x1C\x02\x05\x00", 4), 0},                                            // no room for a length
        {std::string("\x1C\x02\x05\x00\x00\x1C\x02\x06\x00\x01" "b", 11), 2},               // an empty dataset
    };
    for (const TCase& c : cases) {
        EXPECT_EQ(l.LoadFromBuffer(c.Data.data(), (int32_t)c.Data.size()), c.Count > 0);
        EXPECT_EQ(l.GetCount(), c.Count);
    }
}

TEST(XMPBlocks, DetectReadAndBuild) {
    const std::string packet = "<x:xmpmeta xmlns:x='adobe:ns:meta/'/>";
    const std::vector<uint8_t> block = IEBuildXMPMarker(packet);
    ASSERT_EQ(block.size(), 29 + packet.size());
    EXPECT_EQ(Str(block).substr(0, 29), std::string("http://ns.adobe.com/xap/1.0/\0", 29));
    std::string got;
    ASSERT_TRUE(IEReadXMPMarker(block.data(), (int32_t)block.size(), got));
    EXPECT_EQ(got, packet);
    EXPECT_EQ(IEXMPPayload(block.data(), 29), nullptr);   // shorter than 30 bytes
    const std::string exif("Exif\0\0II*\0\x08\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0", 32);
    EXPECT_EQ(IEXMPPayload(reinterpret_cast<const uint8_t*>(exif.data()), (int32_t)exif.size()), nullptr);
    // No zero byte at all: nothing.
    std::string noZero(40, 'a');
    std::memcpy(&noZero[0], "http://ns.adobe.com/xap/1.0/", 28);
    EXPECT_EQ(IEXMPPayload(reinterpret_cast<const uint8_t*>(noZero.data()), (int32_t)noZero.size()), nullptr);
}

TEST(EXIFBlocks, IdentifierAndTIFFHeaderProbe) {
    struct TCase {
        std::string Data;
        bool IsExif;
    };
    const TCase cases[] = {{std::string("Exif\0\0", 6), true}, {std::string("Exifx\0", 6), false},
                           {std::string("Exi", 3), false}, {std::string("Exif", 4), false}};
    for (const TCase& c : cases)
        EXPECT_EQ(IEIsEXIFBlock(reinterpret_cast<const uint8_t*>(c.Data.data()), (int32_t)c.Data.size()), c.IsExif);

    std::string mm("MM\0\x2A\0\0\0\x08" "rest....", 16);
    TReadOnlyMemoryStream s(mm.data(), (int64_t)mm.size());
    EXPECT_EQ(IEFindTIFFHeader(&s), 0);
    // Behind junk, the raw variants' magics; the position is kept; an offset past the end refuses.
    std::string raw = std::string(37, 'j') + std::string("II\x52\x4F\x08\0\0\0", 8) + std::string(20, '\0');
    TReadOnlyMemoryStream r(raw.data(), (int64_t)raw.size());
    r.SetPosition(5);
    EXPECT_EQ(IEFindTIFFHeader(&r), 32);
    EXPECT_EQ(r.GetPosition(), 5);
    std::string far = std::string("II*\0\xFF\0\0\0", 8) + std::string(20, '\0');
    TReadOnlyMemoryStream f(far.data(), (int64_t)far.size());
    EXPECT_EQ(IEFindTIFFHeader(&f), -1);
}

// exiftool's IPTC (with its envelope record) and XMP read by us.
TEST(MetadataInterchange, ReadsBlocksExiftoolWrote) {
    const std::string jpeg = Fixture("iptc_xmp_exiftool.jpg");
    TIEMarkerList l;
    ASSERT_TRUE(testsupport::WalkJpegMarkers(reinterpret_cast<const uint8_t*>(jpeg.data()), jpeg.size(), l));
    const int32_t app13 = l.IndexOf(0xED);
    ASSERT_GE(app13, 0);
    TIEIPTCInfoList iptc;
    ASSERT_TRUE(iptc.LoadFromBuffer(l.GetMarkerData(app13), l.GetMarkerLength(app13)));
    std::vector<std::string> keywords;
    std::string name, byline;
    for (int32_t i = 0; i < iptc.GetCount(); ++i) {
        if (iptc.GetRecordNumber(i) != 2) continue;
        if (iptc.GetDataSet(i) == 25) keywords.push_back(Str(iptc.GetData(i)));
        if (iptc.GetDataSet(i) == 5) name = Str(iptc.GetData(i));
        if (iptc.GetDataSet(i) == 80) byline = Str(iptc.GetData(i));
    }
    EXPECT_EQ(keywords, (std::vector<std::string>{"alpha", "beta"}));
    EXPECT_EQ(name, "写真");
    EXPECT_EQ(byline, "Tool Author");
    std::string xmp;
    bool found = false;
    for (int32_t i = 0; i < l.GetCount(); ++i)
        if (l.GetMarkerType(i) == 0xE1) found = IEReadXMPMarker(l.GetMarkerData(i), l.GetMarkerLength(i), xmp) || found;
    ASSERT_TRUE(found);
    EXPECT_NE(xmp.find("Tool title"), std::string::npos);
    EXPECT_EQ(Payload(l, l.IndexOf(0xFE)), "a comment");
}

// Our IPTC (Photoshop-wrapped, with a caption in the extended form) and XMP put into a JPEG file
// for exiftool (check_metadata_written.sh).
TEST(MetadataInterchange, WritesBlocksForExiftool) {
    TIEIPTCInfoList iptc;
    iptc.AddData(1, 90, "\x1B%G", 3);   // UTF-8
    iptc.AddData(2, 5, "写真館", (int32_t)std::strlen("写真館"));
    iptc.AddData(2, 25, "one", 3);
    iptc.AddData(2, 25, "two", 3);
    iptc.AddData(2, 80, "Our Author", 10);
    const std::string caption(40000, 'c');
    iptc.AddData(2, 120, caption.data(), (int32_t)caption.size());
    std::vector<uint8_t> wrapped;
    iptc.SaveToBuffer(wrapped, true);
    // A marker payload is limited to 65533 bytes: this one fits.
    ASSERT_LT(wrapped.size(), 65533u);
    const std::vector<uint8_t> xmp = IEBuildXMPMarker(
        "<?xpacket begin='' id='W5M0MpCehiHzreSzNTczkc9d'?><x:xmpmeta xmlns:x='adobe:ns:meta/'>"
        "<rdf:RDF xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'><rdf:Description rdf:about='' "
        "xmlns:dc='http://purl.org/dc/elements/1.1/'><dc:title><rdf:Alt><rdf:li xml:lang='x-default'>Our "
        "title</rdf:li></rdf:Alt></dc:title></rdf:Description></rdf:RDF></x:xmpmeta><?xpacket end='w'?>");
    TIEMarkerList l;
    l.AddMarker(0xED, wrapped.data(), (uint16_t)wrapped.size());
    l.AddMarker(0xE1, xmp.data(), (uint16_t)xmp.size());
    l.AddMarker(0xFE, "our comment", 11);
    l.Sort();
    const std::string jpeg = testsupport::InsertJpegMarkers(Fixture("plain_8x8.jpg"), l);
    testsupport::WriteFileBytes(Utf8ToWide(TEST_BUILD_DIR "/metadata-out-ours.jpg"), jpeg);
    // And we read our own file back the same.
    TIEMarkerList back;
    ASSERT_TRUE(testsupport::WalkJpegMarkers(reinterpret_cast<const uint8_t*>(jpeg.data()), jpeg.size(), back));
    TIEIPTCInfoList again;
    ASSERT_TRUE(again.LoadFromBuffer(back.GetMarkerData(back.IndexOf(0xED)), back.GetMarkerLength(back.IndexOf(0xED))));
    ASSERT_EQ(again.GetCount(), 6);
    EXPECT_EQ(again.GetData(5).size(), 40000u);
}
