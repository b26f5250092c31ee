// The TIFF structure handler and the maker-note handler on any input. A TIFF read from the input
// is written and read again (the same number of pages, each with as many entries); every tag of its first page is copied into a second handler
// that is written too. A maker note read from the input and saved reads back with the same entries
// and data.
//
// Input: a control byte (bit 0: maker note; bit 1: the enclosing file is little-endian; bits 2-7:
// the note's position in the enclosing stream, in units of 16 bytes), then the bytes.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "FuzzInput.h"
#include "iecoreutils_tiffhandler.h"

namespace {

std::string Bytes(TMemoryStream& m) { return std::string(static_cast<const char*>(m.GetMemory()), (size_t)m.GetSize()); }

void Check(bool ok) {
    if (!ok) std::abort();
}

// The entries page P of H has once written and read again. An old-style JPEG page (Compression 6
// with a JPEG interchange block) is written with a StripOffsets entry, and reading such a page
// deletes StripOffsets with the entries 519, 520 and 521.
size_t EntriesAfterRewrite(TIETIFFHandler& H, int32_t P) {
    const TIETIFFEntryList* page = H.GetPageList(P);
    size_t n = page->size();
    const int32_t c = H.FindTagInList(page, 259);
    if (c < 0 || H.GetTagValue(page, c, 0) != 6 || H.FindTagInList(page, 513) < 0) return n;
    for (uint16_t tag : {273, 519, 520, 521})
        if (H.FindTagInList(page, tag) >= 0) --n;
    return n;
}

void FuzzTIFF(const std::string& data) {
    TReadOnlyMemoryStream in(data.data(), (int64_t)data.size());
    TIETIFFHandler h;
    if (!h.ReadStream(&in)) return;
    TMemoryStream first;
    h.WriteStream(&first, -1);
    first.SetPosition(0);
    TIETIFFHandler again;
    Check(again.ReadStream(&first));
    Check(again.GetPageCount() == h.GetPageCount());
    for (int32_t p = 0; p < h.GetPageCount(); ++p) Check(again.GetPageList(p)->size() == EntriesAfterRewrite(h, p));

    in.SetPosition(0);
    TIETIFFHandler target;
    target.ReadStream(&in);
    if (const TIETIFFEntryList* page = h.GetPageList(0)) {
        const int32_t last = target.GetPageCount() - 1;
        for (int32_t i = 0; i < (int32_t)page->size(); ++i) target.CopyTag(0, i, &h, last);
        h.SortPageTags(0);
        if (!page->empty()) h.DeleteTagFromList(h.GetPageList(0), 0, true);
        h.DeletePage(0);
        TMemoryStream out;
        target.WriteStream(&out, -1);
    }
}

void FuzzNote(const std::string& data, bool little, int64_t at) {
    std::string all((size_t)at, '\0');
    all += data;
    TReadOnlyMemoryStream in(all.data(), (int64_t)all.size());
    in.SetPosition(at);
    TIETagsHandler h;
    h.LoadFromStream(&in, (int32_t)data.size(), little);
    TMemoryStream out;
    out.SetSize(at);
    out.SetPosition(at);
    const int32_t written = h.SaveToStream(&out);
    if (written <= 0 || h.GetEntryCount() == 0) return;
    const std::string saved = Bytes(out);
    TReadOnlyMemoryStream back(saved.data(), (int64_t)saved.size());
    back.SetPosition(at);
    TIETagsHandler again;
    again.LoadFromStream(&back, written, true);
    Check(again.GetEntryCount() == h.GetEntryCount());
    for (int32_t i = 0; i < h.GetEntryCount(); ++i) {
        const TIEMakerNoteEntry& a = h.GetEntry(i);
        const TIEMakerNoteEntry& b = again.GetEntry(i);
        Check(a.Tag == b.Tag && a.TagType == b.TagType && a.Count == b.Count);
        const size_t size = (size_t)a.Count * TIETagsHandler::TypeSize(a.TagType);
        const uint8_t* da = h.GetEntryData(i);
        const uint8_t* db = again.GetEntryData(i);
        Check(da && db);
        Check(std::memcmp(da, db, size) == 0);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TFuzzInput in(data, size);
    const uint8_t control = in.U8();
    const std::string rest = in.Rest();
    if (control & 1) FuzzNote(rest, (control & 2) != 0, (int64_t)(control >> 2) * 16);
    else FuzzTIFF(rest);
    return 0;
}
