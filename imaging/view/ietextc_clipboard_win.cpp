// The rich-text control's clipboard: plain text (CF_TEXT, line breaks as CR LF) beside the private
// format "PICTURA TEXTMEMO" (the characters, a NUL, then each character's 280-byte format).
#include <algorithm>
#include <cstring>

#include "WinApi.h"
#include "iecoreutils_threads.h"
#include "ietextc_control.h"

namespace {

// A moveable shared block holding Data, or nullptr when memory is short.
HGLOBAL GlobalBlock(const std::string& Data) {
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_DDESHARE, Data.size());
    if (!block) return nullptr;
    void* p = GlobalLock(block);
    if (!p) {
        GlobalFree(block);
        return nullptr;
    }
    std::memcpy(p, Data.data(), Data.size());
    GlobalUnlock(block);
    return block;
}

// The bytes of a clipboard format (empty when there are none); the clipboard is open.
std::string ClipboardBytes(UINT Format) {
    HANDLE data = GetClipboardData(Format);
    if (!data) return std::string();
    const size_t size = GlobalSize(data);
    const void* p = GlobalLock(data);
    if (!p) return std::string();
    std::string bytes(static_cast<const char*>(p), size);
    GlobalUnlock(data);
    return bytes;
}

}   // namespace

void TIETextControl::CopyToClipboard() {
    const int32_t n = SelEnd - SelStart;
    if (n <= 0 || SelStart < 0 || SelEnd > TextLen) return;
    if (!IEOpenClipboard()) return;
    EmptyClipboard();

    std::string text;
    text.reserve(2 * n + 1);
    for (int32_t i = SelStart; i < SelEnd; ++i) {
        if (TextBuf[i] == '\n') text += '\r';
        text += TextBuf[i];
    }
    text.resize(2 * static_cast<size_t>(n) + 1, '\0');   // the block's size; a NUL ends the text

    std::string memo(TextBuf, SelStart, n);
    memo += '\0';
    for (int32_t i = SelStart; i < SelEnd; ++i) {
        TIECharFormat f = CurrentFormat;
        GetCharFormat(i, f);
        memo.append(reinterpret_cast<const char*>(&f), sizeof f);
    }

    if (HGLOBAL block = GlobalBlock(text)) {
        if (!SetClipboardData(CF_TEXT, block)) GlobalFree(block);
    }
    if (IETextControlClipboardFormat) {
        if (HGLOBAL block = GlobalBlock(memo)) {
            if (!SetClipboardData(IETextControlClipboardFormat, block)) GlobalFree(block);
        }
    }
    CloseClipboard();
}

void TIETextControl::PasteFromClipboard() {
    if (!IEOpenClipboard()) return;
    std::string insert;
    std::vector<TIECharFormat> formats;
    if (IETextControlClipboardFormat && IsClipboardFormatAvailable(IETextControlClipboardFormat)) {
        const std::string memo = ClipboardBytes(IETextControlClipboardFormat);
        const size_t n = std::min(memo.find('\0'), memo.size());
        // Only characters whose format lies inside the block are taken (another program may have
        // put a shorter block under the same name).
        for (size_t i = 0; i < n; ++i) {
            const size_t at = n + 1 + sizeof(TIECharFormat) * i;
            if (at + sizeof(TIECharFormat) > memo.size()) break;
            TIECharFormat f;
            std::memcpy(&f, memo.data() + at, sizeof f);
            insert += memo[i];
            formats.push_back(f);
        }
    } else if (IsClipboardFormatAvailable(CF_TEXT)) {
        const std::string text = ClipboardBytes(CF_TEXT);
        for (char c : text) {
            if (c == '\0') break;
            if (c != '\r') insert += c;
        }
    }
    CloseClipboard();

    // A lead byte whose trail did not come along is dropped, not stored as half a character.
    const size_t count = IEWholeCharBytes(insert);
    for (size_t i = 0; i < count; ++i) {
        if (i < formats.size()) CurrentFormat = formats[i];
        InsertChar(insert[i]);
    }
}
