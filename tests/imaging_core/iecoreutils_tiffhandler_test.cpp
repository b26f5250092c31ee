// TIFF structures in memory: files written by libtiff's tools and exiftool read page by page with
// their strips and EXIF sub-IFDs, written back (the copies are checked by tiffcmp, tiffdump and
// exiftool in check_tiffhandler.sh), tags set, copied and deleted, hostile chains that loop or lie,
// and the maker-note layouts.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>
#include <vector>

#include "ByteOrder.h"
#include "SysUtils.h"
#include "TestSupport.h"
#include "iecoreutils_tiffhandler.h"

namespace {

std::wstring Fixture(const char* Name) { return Utf8ToWide(std::string(TEST_DATA_DIR "/tiff/") + Name); }

// Where the written copies go for the peer tools' check.
std::wstring OutPath(const char* Name) {
    return Utf8ToWide(std::string(TEST_BUILD_DIR "/tiffhandler-out-") + Name);
}

std::string Text(const TIETIFFHandler& h, const TIETIFFEntryList* list, uint16_t tag) {
    const int32_t i = h.FindTagInList(list, tag);
    if (i < 0) return "<absent>";
    const std::vector<uint8_t> d = h.GetTagData((*list)[i]);
    return std::string(d.begin(), d.end());
}

std::string Bytes(TMemoryStream& m) { return std::string(static_cast<const char*>(m.GetMemory()), (size_t)m.GetSize()); }

// A little-endian TIFF built by hand: header, then IFDs given as (position, entries, link).
struct TEntrySpec {
    uint16_t Tag, Type;
    uint32_t Count, Value;
};
void PutIFD(std::string& f, uint32_t pos, const std::vector<TEntrySpec>& entries, uint32_t link) {
    const size_t need = pos + 2 + entries.size() * 12 + 4;
    if (f.size() < need) f.resize(need, '\0');
    auto* p = reinterpret_cast<uint8_t*>(&f[pos]);
    ByteOrder::PutLE16(p, (uint16_t)entries.size());
    for (size_t i = 0; i < entries.size(); ++i) {
        uint8_t* e = p + 2 + i * 12;
        ByteOrder::PutLE16(e, entries[i].Tag);
        ByteOrder::PutLE16(e + 2, entries[i].Type);
        ByteOrder::PutLE32(e + 4, entries[i].Count);
        ByteOrder::PutLE32(e + 8, entries[i].Value);
    }
    ByteOrder::PutLE32(p + 2 + entries.size() * 12, link);
}
std::string Header(uint32_t first) {
    std::string f("II*\0\0\0\0\0", 8);
    f[2] = 42;
    ByteOrder::PutLE32(&f[4], first);
    return f;
}

int32_t Value(TIETIFFHandler& h, int32_t page, uint16_t tag, int32_t k = 0) { return h.GetTagValueByTag(page, tag, k); }

}  // namespace

// The peer tools' files, both byte orders: every page, strip and tag, and the EXIF IFD with its
// interoperability IFD; the copies we write are read back the same and left for tiffcmp.
TEST(TIETIFFHandler, ReadsAndRewritesToolFiles) {
    for (const char* name : {"multipage_exif_ii.tif", "multipage_exif_mm.tif"}) {
        SCOPED_TRACE(name);
        auto h = TIETIFFHandler::CreateFromFile(Fixture(name));
        ASSERT_EQ(h->GetPageCount(), 2);
        EXPECT_EQ(h->GetBigEndian(), name[15] == 'm');
        EXPECT_EQ(h->GetMagic(), 42);
        EXPECT_EQ(Value(*h, 0, 256), 5);
        EXPECT_EQ(Value(*h, 0, 257), 7);
        EXPECT_EQ(Value(*h, 1, 256), 3);
        EXPECT_EQ(Text(*h, h->GetPageList(0), 270), std::string("two pages\0", 10));
        EXPECT_EQ(Text(*h, h->GetPageList(1), 315), std::string("Artist Name\0", 12));
        // Three strips of 3, 3 and 1 rows of 5 RGB pixels on page 0, one of 18 bytes on page 1.
        const int32_t s0 = h->FindTag(0, 273);
        ASSERT_GE(s0, 0);
        EXPECT_EQ(h->GetCount((*h->GetPageList(0))[s0]), 3u);
        EXPECT_EQ(h->GetType((*h->GetPageList(0))[s0]), 4);
        EXPECT_EQ(h->GetCount((*h->GetPageList(1))[h->FindTag(1, 273)]), 1u);
        EXPECT_GE(h->FindTag(0, 34665), 0);

        TMemoryStream m;
        h->WriteStream(&m, -1);
        m.SetPosition(0);
        auto back = TIETIFFHandler::CreateFromStream(&m);
        ASSERT_EQ(back->GetPageCount(), 2);
        for (int32_t p = 0; p < 2; ++p) {
            const TIETIFFEntryList& a = *h->GetPageList(p);
            const TIETIFFEntryList& b = *back->GetPageList(p);
            ASSERT_EQ(a.size(), b.size());
            for (size_t i = 0; i < a.size(); ++i) {
                EXPECT_EQ(h->GetTag(a[i]), back->GetTag(b[i]));
                EXPECT_EQ(h->GetCount(a[i]), back->GetCount(b[i]));
                const uint16_t tag = h->GetTag(a[i]);
                if (tag == 273 || TIETIFFHandler::IsSubIFDTag(tag)) continue;
                EXPECT_EQ(h->GetTagData(a[i]), back->GetTagData(b[i])) << "tag " << tag;
            }
        }
        // The EXIF IFD of the copy sits at an even position.
        const std::string bytes = Bytes(m);
        const uint32_t ifd0 = h->GetBigEndian() ? ByteOrder::GetBE32(&bytes[4]) : ByteOrder::GetLE32(&bytes[4]);
        const uint16_t n = h->GetBigEndian() ? ByteOrder::GetBE16(&bytes[ifd0]) : ByteOrder::GetLE16(&bytes[ifd0]);
        bool found = false;
        for (uint16_t i = 0; i < n; ++i) {
            const char* e = &bytes[ifd0 + 2 + i * 12];
            const uint16_t tag = h->GetBigEndian() ? ByteOrder::GetBE16(e) : ByteOrder::GetLE16(e);
            if (tag != 34665) continue;
            const uint32_t at = h->GetBigEndian() ? ByteOrder::GetBE32(e + 8) : ByteOrder::GetLE32(e + 8);
            EXPECT_EQ(at % 2, 0u);
            found = true;
        }
        EXPECT_TRUE(found);
        h->WriteFile(OutPath(name), -1);
        // One page alone.
        h->WriteFile(OutPath((std::string("page1_") + name).c_str()), 1);
    }
}

// A chain of many IFDs is read in time proportional to its length: 1 MB of empty IFDs, each
// linking to the next, is 174,761 pages (a search through every position read before for each
// one took minutes).
TEST(TIETIFFHandler, LongChainsReadInLinearTime) {
    const int64_t count = ((1 << 20) - 8) / 6;
    std::string f = "II*" + std::string(1, '\0') + std::string("\x08\0\0\0", 4);
    f.reserve((size_t)(8 + 6 * count));
    for (int64_t i = 0; i < count; ++i) {
        const uint32_t next = i + 1 < count ? (uint32_t)(8 + 6 * (i + 1)) : 0;
        uint8_t ifd[6] = {0, 0};
        ByteOrder::PutLE32(ifd + 2, next);
        f.append((const char*)ifd, 6);
    }
    TReadOnlyMemoryStream s(f.data(), (int64_t)f.size());
    TIETIFFHandler h;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(h.ReadStream(&s));
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 20.0);
    EXPECT_EQ(h.GetPageCount(), count);
}

TEST(TIETIFFHandler, RefusesForeignHeadersAndMissingFiles) {
    TIETIFFHandler h;
    std::string f = "XX*\0\x08\0\0\0";
    TReadOnlyMemoryStream s(f.data(), (int64_t)f.size());
    EXPECT_FALSE(h.ReadStream(&s));
    EXPECT_FALSE(h.ReadFile(Fixture("no_such_file.tif")));
    EXPECT_EQ(h.GetPageCount(), 0);
}

// Chains that loop end; sub-IFDs that point back are dropped; data sizes beyond the file end the
// IFD; strips beyond the file are cut to what it holds.
TEST(TIETIFFHandler, HostileChainsEnd) {
    {   // IFD0 -> IFD1 -> IFD0.
        std::string f = Header(8);
        PutIFD(f, 8, {{256, 3, 1, 4}}, 40);
        PutIFD(f, 40, {{256, 3, 1, 5}}, 8);
        TReadOnlyMemoryStream s(f.data(), (int64_t)f.size());
        TIETIFFHandler h;
        EXPECT_TRUE(h.ReadStream(&s));
        EXPECT_EQ(h.GetPageCount(), 2);
    }
    {   // A link to itself, an EXIF IFD pointing at IFD0 and one pointing at itself.
        std::string f = Header(8);
        PutIFD(f, 8, {{256, 3, 1, 4}, {34665, 4, 1, 8}, {34853, 4, 1, 60}}, 8);
        PutIFD(f, 60, {{0, 2, 1, 0}, {40965, 4, 1, 60}}, 0);
        TReadOnlyMemoryStream s(f.data(), (int64_t)f.size());
        TIETIFFHandler h;
        EXPECT_TRUE(h.ReadStream(&s));
        ASSERT_EQ(h.GetPageCount(), 1);
        EXPECT_LT(h.FindTag(0, 34665), 0);
        EXPECT_GE(h.FindTag(0, 34853), 0);
        TMemoryStream m;
        h.WriteStream(&m, -1);   // and it writes
        EXPECT_GT(m.GetSize(), 8);
    }
    {   // A count whose data would exceed the file ends the IFD there; an unknown type too.
        std::string f = Header(8);
        PutIFD(f, 8, {{256, 3, 1, 4}, {270, 2, 0xFFFFFFF0u, 100}, {271, 2, 3, 0x00616263}}, 0);
        TReadOnlyMemoryStream s(f.data(), (int64_t)f.size());
        TIETIFFHandler h;
        h.ReadStream(&s);
        ASSERT_EQ(h.GetPageCount(), 1);
        EXPECT_EQ(h.GetPageList(0)->size(), 1u);
        std::string g = Header(8);
        PutIFD(g, 8, {{256, 3, 1, 4}, {257, 13, 1, 1}, {258, 3, 1, 8}}, 0);
        TReadOnlyMemoryStream t(g.data(), (int64_t)g.size());
        h.ReadStream(&t);
        EXPECT_EQ(h.GetPageList(0)->size(), 1u);
    }
    {   // A strip that runs past the end, and one that starts past it.
        std::string f = Header(8);
        PutIFD(f, 8, {{273, 4, 2, 100}, {279, 4, 2, 108}}, 0);
        f.resize(120, 'x');
        ByteOrder::PutLE32(&f[100], 116);
        ByteOrder::PutLE32(&f[104], 0x7FFFFFF0);
        ByteOrder::PutLE32(&f[108], 0xFFFFFFFFu);
        ByteOrder::PutLE32(&f[112], 0x10);
        TReadOnlyMemoryStream s(f.data(), (int64_t)f.size());
        TIETIFFHandler h;
        h.ReadStream(&s);
        ASSERT_EQ(h.GetPageCount(), 1);
        TMemoryStream m;
        h.WriteStream(&m, -1);
        EXPECT_LT(m.GetSize(), 200);
    }
}

// A strip cut short by the end of the file: its length (of any integer type) becomes what the
// handler holds, so the copy's strip is not followed into the data written after it, and a copy
// of the copy is the same bytes.
TEST(TIETIFFHandler, StripCutShortByTheEndKeepsItsLength) {
    const struct {
        uint16_t Type;
        uint32_t Length;
    } cases[] = {{3, 1000}, {4, 0xFFFFFFFFu}, {1, 200}, {6, 0xFF}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Type);
        std::string f = Header(8);
        PutIFD(f, 8, {{273, 4, 1, 62}, {279, c.Type, 1, c.Length}, {305, 2, 12, 50}}, 0);
        f += std::string("Lumi writer\0", 12) + "abcd";
        TReadOnlyMemoryStream s(f.data(), (int64_t)f.size());
        TIETIFFHandler h;
        ASSERT_TRUE(h.ReadStream(&s));
        EXPECT_EQ(Value(h, 0, 279), 4);
        TMemoryStream first;
        h.WriteStream(&first, -1);
        first.SetPosition(0);
        TIETIFFHandler back;
        ASSERT_TRUE(back.ReadStream(&first));
        EXPECT_EQ(Value(back, 0, 279), 4);
        EXPECT_EQ(Text(back, back.GetPageList(0), 305), std::string("Lumi writer\0", 12));
        TMemoryStream second;
        back.WriteStream(&second, -1);
        EXPECT_EQ(Bytes(second), Bytes(first));
    }
}

// Setting, reading and deleting tags; the values survive a write and a read.
TEST(TIETIFFHandler, SetTagValues) {
    auto h = TIETIFFHandler::CreateFromFile(Fixture("multipage_exif_mm.tif"));
    ASSERT_EQ(h->GetPageCount(), 2);
    TIETIFFEntryList* page = h->GetPageList(1);
    h->SetTag(page, 282, 5, 72.5L);
    h->SetTag(page, 283, 5, 0.00001L);
    h->SetTag(page, 41988, 10, -1.25L);
    h->SetTag(page, 305, 2, std::string("our writer"));
    h->SetTag(page, 296, 3, 2.0L);
    h->SetTag(page, 315, 2, std::string("ab"));   // replaces the Artist
    h->SetTag(page, 50000, 12, 0.1L);
    h->SetTag(page, 50001, 9, -7.0L);
    h->SetTag(page, 50002, 6, -3.0L);
    TMemoryStream m;
    h->WriteStream(&m, -1);
    m.SetPosition(0);
    auto b = TIETIFFHandler::CreateFromStream(&m);
    ASSERT_EQ(b->GetPageCount(), 2);
    auto pair = [&](uint16_t tag) {
        const std::vector<uint8_t> d = b->GetTagData((*b->GetPageList(1))[b->FindTag(1, tag)]);
        return std::make_pair((int32_t)ByteOrder::GetBE32(d.data()), (int32_t)ByteOrder::GetBE32(d.data() + 4));
    };
    EXPECT_EQ(pair(282), std::make_pair(725000, 10000));
    EXPECT_EQ(pair(283), std::make_pair(0, 10000));
    EXPECT_EQ(pair(41988), std::make_pair(-12500, 10000));
    EXPECT_EQ(Text(*b, b->GetPageList(1), 305), std::string("our writer\0", 11));
    EXPECT_EQ(Text(*b, b->GetPageList(1), 315), std::string("ab\0", 3));
    EXPECT_EQ(Value(*b, 1, 296), 2);
    EXPECT_EQ(Value(*b, 1, 50001), -7);
    EXPECT_EQ(Value(*b, 1, 50002), -3);
    const std::vector<uint8_t> d = b->GetTagData((*b->GetPageList(1))[b->FindTag(1, 50000)]);
    ASSERT_EQ(d.size(), 8u);
    uint64_t bits = ByteOrder::GetBE64(d.data());
    double v;
    std::memcpy(&v, &bits, 8);
    EXPECT_EQ(v, 0.1);
    // Out-of-range value indexes read 0; deleting a tag removes it.
    EXPECT_EQ(b->GetTagValueByTag(1, 296, 1), 0);
    EXPECT_EQ(b->GetTagValueByTag(1, 9999, 0), 0);
    b->DeleteTagFromList(b->GetPageList(1), b->FindTag(1, 305), true);
    EXPECT_LT(b->FindTag(1, 305), 0);
    b->DeletePage(0);
    EXPECT_EQ(b->GetPageCount(), 1);
    b->WriteFile(OutPath("settags_mm.tif"), -1);
}

// Copying the EXIF IFD into another handler's page, and refusing a copy across byte orders.
TEST(TIETIFFHandler, CopyTagCarriesSubIFDs) {
    auto src = TIETIFFHandler::CreateFromFile(Fixture("multipage_exif_ii.tif"));
    auto dst = TIETIFFHandler::CreateFromFile(Fixture("multipage_exif_ii.tif"));
    auto mm = TIETIFFHandler::CreateFromFile(Fixture("multipage_exif_mm.tif"));
    ASSERT_EQ(dst->GetPageCount(), 2);
    ASSERT_LT(dst->FindTag(1, 34665), 0);
    const size_t before = mm->GetPageList(1)->size();
    mm->CopyTag(0, src->FindTag(0, 34665), src.get(), 1);
    EXPECT_EQ(mm->GetPageList(1)->size(), before);
    dst->CopyTag(0, src->FindTag(0, 34665), src.get(), 1);
    dst->CopyTag(0, src->FindTag(0, 273), src.get(), 1);   // the strips replace page 1's own
    dst->CopyTag(0, src->FindTag(0, 279), src.get(), 1);
    dst->CopyTag(0, src->FindTag(0, 270), src.get(), 1);
    dst->CopyTag(5, 0, src.get(), 1);                       // no such page: nothing
    dst->CopyTag(0, -1, src.get(), 1);
    src.reset();   // the copies own their data
    TMemoryStream m;
    dst->WriteStream(&m, 1);
    m.SetPosition(0);
    auto b = TIETIFFHandler::CreateFromStream(&m);
    ASSERT_EQ(b->GetPageCount(), 1);
    EXPECT_GE(b->FindTag(0, 34665), 0);
    EXPECT_EQ(Text(*b, b->GetPageList(0), 270), std::string("two pages\0", 10));
    EXPECT_EQ(b->GetCount((*b->GetPageList(0))[b->FindTag(0, 273)]), 3u);
    dst->WriteFile(OutPath("copied_exif_ii.tif"), -1);
}

// An old-style JPEG page keeps only its interchange block; writing it adds a StripOffsets entry
// that points at the block's start-of-scan marker.
TEST(TIETIFFHandler, OldStyleJPEGPage) {
    std::string f = Header(8);
    PutIFD(f, 8, {{259, 3, 1, 6}, {273, 4, 1, 150}, {513, 4, 1, 100}, {514, 4, 1, 12}, {519, 4, 1, 0}}, 0);
    f.resize(112, '\0');
    const char jpeg[12] = {'\xFF', '\xD8', '\xFF', '\xDB', 0, 2, '\xFF', '\xDA', 0, 2, '\xFF', '\xD9'};
    std::memcpy(&f[100], jpeg, 12);
    TReadOnlyMemoryStream s(f.data(), (int64_t)f.size());
    TIETIFFHandler h;
    ASSERT_TRUE(h.ReadStream(&s));
    EXPECT_LT(h.FindTag(0, 273), 0);
    EXPECT_LT(h.FindTag(0, 519), 0);
    TMemoryStream m;
    h.WriteStream(&m, -1);
    const std::string out = Bytes(m);
    m.SetPosition(0);
    TIETIFFHandler b;
    ASSERT_TRUE(b.ReadStream(&m));
    // Read back, 273 and 513 are there again (and 273 is dropped by the reader once more); the
    // written 273 value points at FF DA.
    const uint32_t ifd = ByteOrder::GetLE32(&out[4]);
    const uint16_t n = ByteOrder::GetLE16(&out[ifd]);
    const char* last = &out[ifd + 2 + (n - 1) * 12];
    ASSERT_EQ(ByteOrder::GetLE16(last), 273);
    const uint32_t at = ByteOrder::GetLE32(last + 8);
    ASSERT_LT(at + 1, out.size());
    EXPECT_EQ((uint8_t)out[at], 0xFF);
    EXPECT_EQ((uint8_t)out[at + 1], 0xDA);
    EXPECT_EQ(h.FindTag(0, 273), -1);   // removed from the page again
}

// ---------------------------------------------------------------------------------------------

namespace {

// A maker note at position At of an enclosing stream (filled with zeros before it).
void LoadNote(TIETagsHandler& h, const std::string& note, int64_t at, bool little) {
    std::string all(at, '\0');
    all += note;
    TReadOnlyMemoryStream s(all.data(), (int64_t)all.size());
    s.SetPosition(at);
    h.LoadFromStream(&s, (int32_t)note.size(), little);
}

std::string Entry12(bool little, uint16_t tag, uint16_t type, uint32_t count, uint32_t value) {
    std::string e(12, '\0');
    if (little) {
        ByteOrder::PutLE16(&e[0], tag);
        ByteOrder::PutLE16(&e[2], type);
        ByteOrder::PutLE32(&e[4], count);
        ByteOrder::PutLE32(&e[8], value);
    } else {
        ByteOrder::PutBE16(&e[0], tag);
        ByteOrder::PutBE16(&e[2], type);
        ByteOrder::PutBE32(&e[4], count);
        ByteOrder::PutBE32(&e[8], value);
    }
    return e;
}
std::string LEEntry(uint16_t tag, uint16_t type, uint32_t count, uint32_t value) { return Entry12(true, tag, type, count, value); }

}  // namespace

TEST(TIETagsHandler, FujifilmNoteIsLittleEndianWhateverTheFile) {
    // "FUJIFILM", IFD offset 12, two entries: a SHORT inline and a 6-byte ASCII out of line at 42
    // (relative to the note), then a DOUBLE of its true 8 bytes at 48.
    std::string note = "FUJIFILM";
    note += std::string("\x0C\0\0\0", 4);
    note += std::string("\x03\0", 2);
    note += LEEntry(0x1000, 3, 1, 7);
    note += LEEntry(0x1001, 2, 6, 50);
    note += LEEntry(0x1002, 12, 1, 56);
    note += std::string(4, '\0');
    note.resize(50, '\0');
    note += std::string("abcde\0", 6);
    note += std::string(8, '\0');
    const double d = 2.5;
    std::memcpy(&note[56], &d, 8);
    TIETagsHandler h;
    LoadNote(h, note, 100, false);
    EXPECT_EQ(h.GetDeviceRow(), 8);
    ASSERT_EQ(h.GetEntryCount(), 3);
    EXPECT_EQ(h.GetEntry(0).Tag, 0x1000);
    EXPECT_EQ(h.GetEntry(0).Value, 7u);
    EXPECT_EQ(std::string((const char*)h.GetEntryData(1), 6), std::string("abcde\0", 6));
    double got;
    std::memcpy(&got, h.GetEntryData(2), 8);
    EXPECT_EQ(got, 2.5);

    // Saved and loaded again the note keeps its entries.
    TMemoryStream m;
    m.SetSize(100);
    m.SetPosition(100);
    const int32_t written = h.SaveToStream(&m);
    ASSERT_GT(written, 0);
    EXPECT_EQ(Bytes(m).substr(100, 12), std::string("FUJIFILM\x0C\0\0\0", 12));
    TIETagsHandler again;
    LoadNote(again, Bytes(m).substr(100), 100, false);
    ASSERT_EQ(again.GetEntryCount(), 3);
    std::memcpy(&got, again.GetEntryData(2), 8);
    EXPECT_EQ(got, 2.5);
    EXPECT_EQ(std::string((const char*)again.GetEntryData(1), 6), std::string("abcde\0", 6));
}

TEST(TIETagsHandler, BadNotes) {
    TIETagsHandler h;
    LoadNote(h, "F", 0, true);   // one byte: empty
    EXPECT_TRUE(h.IsEmpty());
    EXPECT_EQ(h.GetEntryCount(), 0);
    // An unknown note (offset mode 0): an entry pointing outside keeps count 0.
    std::string note = std::string("\x02\0", 2) + LEEntry(1, 2, 20, 5000) + LEEntry(2, 3, 1, 9) + std::string(4, '\0');
    LoadNote(h, note, 40, true);
    ASSERT_EQ(h.GetEntryCount(), 2);
    EXPECT_EQ(h.GetDeviceRow(), 0);
    EXPECT_EQ(h.GetEntry(0).Count, 0u);
    EXPECT_EQ(h.GetEntry(0).Value, 0u);
    EXPECT_EQ(h.GetEntry(1).Value, 9u);
    // Too many entries for the note's size: empty.
    std::string big = std::string("\x00\x01", 2) + std::string(30, '\0');
    LoadNote(h, big, 0, true);
    EXPECT_EQ(h.GetEntryCount(), 0);
    EXPECT_TRUE(h.IsEmpty());
    // Truncated headers of each kind: empty, nothing raised.
    for (const char* head : {"Nikon\0\x02\x10\0\0II", "FUJIFILM\x0C"}) {
        LoadNote(h, std::string(head, std::strlen(head) + (head[0] == 'N' ? 8 : 0)), 0, true);
        EXPECT_EQ(h.GetEntryCount(), 0);
    }
}

TEST(TIETagsHandler, NikonNoteKeepsItsOrderAndOffsets) {
    // "Nikon" type 3: a big-endian TIFF header after the 10-byte string; offsets relative to it.
    std::string note("Nikon\0\x02\x10\0\0", 10);
    note += std::string("MM\0\x2A\0\0\0\x08", 8);
    std::string ifd(2 + 24 + 4, '\0');
    ByteOrder::PutBE16(&ifd[0], 2);
    auto be = [](uint16_t tag, uint16_t type, uint32_t count, uint32_t value) { return Entry12(false, tag, type, count, value); };
    ifd.replace(2, 12, be(1, 7, 4, 0x30323130));
    ifd.replace(14, 12, be(2, 2, 8, 38));   // at 8 + 30 relative to the TIFF header
    note += ifd;
    note += std::string("NIKON D\0", 8);
    TIETagsHandler h;
    LoadNote(h, note, 0, true);
    EXPECT_EQ(h.GetDeviceRow(), 3);
    ASSERT_EQ(h.GetEntryCount(), 2);
    EXPECT_EQ(std::string((const char*)h.GetEntryData(1), 8), std::string("NIKON D\0", 8));
    TMemoryStream m;
    ASSERT_EQ(h.SaveToStream(&m), (int32_t)note.size());
    EXPECT_EQ(Bytes(m), note);
    // A copy made by Assign saves the same bytes.
    TIETagsHandler c;
    c.Assign(&h);
    TMemoryStream m2;
    c.SaveToStream(&m2);
    EXPECT_EQ(Bytes(m2), note);
}

// A note of the caller's order read from a big-endian file keeps its values, inline and out of
// line, when the system's writer saves it little-endian.
TEST(TIETagsHandler, BigEndianNoteSavedLittleEndian) {
    std::string note(2 + 24 + 4, '\0');
    ByteOrder::PutBE16(&note[0], 2);
    auto be = [&](size_t at, uint16_t tag, uint16_t type, uint32_t count) {
        ByteOrder::PutBE16(&note[at], tag);
        ByteOrder::PutBE16(&note[at + 2], type);
        ByteOrder::PutBE32(&note[at + 4], count);
    };
    be(2, 1, 3, 2);                       // two SHORTs inline: 0x0102, 0x0304
    ByteOrder::PutBE16(&note[10], 0x0102);
    ByteOrder::PutBE16(&note[12], 0x0304);
    be(14, 2, 4, 2);                      // two LONGs at 1000 + 30 in the enclosing file
    ByteOrder::PutBE32(&note[22], 1030);
    note.resize(38, '\0');
    ByteOrder::PutBE32(&note[30], 0x11223344);
    ByteOrder::PutBE32(&note[34], 0x55667788);
    TIETagsHandler h;
    LoadNote(h, note, 1000, false);
    ASSERT_EQ(h.GetEntryCount(), 2);
    EXPECT_EQ(ByteOrder::GetLE16(h.GetEntryData(0) + 2), 0x0304);
    EXPECT_EQ(ByteOrder::GetLE32(h.GetEntryData(1) + 4), 0x55667788u);
    TMemoryStream m;
    m.SetSize(1000);
    m.SetPosition(1000);
    ASSERT_GT(h.SaveToStream(&m), 0);
    const std::string out = Bytes(m).substr(1000);
    EXPECT_EQ(ByteOrder::GetLE16(&out[10]), 0x0102);
    EXPECT_EQ(ByteOrder::GetLE16(&out[12]), 0x0304);
    const uint32_t at = ByteOrder::GetLE32(&out[22]);
    ASSERT_GE(at, 1000u);
    EXPECT_EQ(ByteOrder::GetLE32(&out[at - 1000 + 4]), 0x55667788u);
    TIETagsHandler again;
    LoadNote(again, out, 1000, true);
    ASSERT_EQ(again.GetEntryCount(), 2);
    EXPECT_EQ(ByteOrder::GetLE32(again.GetEntryData(1)), 0x11223344u);
}

TEST(TIETagsHandler, OversizedNoteIsNotSaved) {
    // One UNDEFINED entry of 65000 bytes: the saved note would pass 65000 bytes.
    std::string note = std::string("\x01\0", 2) + LEEntry(1, 7, 65000, 18) + std::string(4, '\0');
    note += std::string(65000, 'z');
    TIETagsHandler h;
    LoadNote(h, note, 0, true);
    ASSERT_EQ(h.GetEntryCount(), 1);
    TMemoryStream m;
    m.WriteBuffer("abc", 3);
    EXPECT_EQ(h.SaveToStream(&m), 0);
    EXPECT_EQ(m.GetPosition(), 3);
    EXPECT_EQ(m.GetSize(), 3);
}
