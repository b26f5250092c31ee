// The rich-text control's clipboard: plain text with CR LF beside the private format that carries
// each character's format. One group, so that its tests never share the clipboard at once.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "WinApi.h"
#include "iecoreutils_threads.h"
#include "ietextc_test_support.h"

namespace {

class TIETextClipboard : public ::testing::Test {
protected:
    void SetUp() override {
        IETextControlInitialize();
        ASSERT_NE(IETextControlClipboardFormat, 0u);
    }
};

std::string ClipboardBytes(UINT format) {
    std::string bytes;
    if (!IEOpenClipboard()) return bytes;
    if (HANDLE h = GetClipboardData(format)) {
        if (const void* p = GlobalLock(h)) {
            bytes.assign(static_cast<const char*>(p), GlobalSize(h));
            GlobalUnlock(h);
        }
    }
    CloseClipboard();
    return bytes;
}

void PutClipboard(UINT format, const std::string& bytes) {
    ASSERT_TRUE(IEOpenClipboard());
    EmptyClipboard();
    HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, bytes.size());
    std::memcpy(GlobalLock(h), bytes.data(), bytes.size());
    GlobalUnlock(h);
    SetClipboardData(format, h);
    CloseClipboard();
}

}  // namespace

TEST_F(TIETextClipboard, CopyWritesTextAndFormats) {
    TFixedTextMetrics m;
    auto c = MakeTextControl("a\nb", &m);
    // A selection that is a single LF: CR LF and a NUL.
    c->SelStart = 1;
    c->SelEnd = 2;
    c->CopyToClipboard();
    const std::string text = ClipboardBytes(CF_TEXT);
    ASSERT_GE(text.size(), 3u);
    EXPECT_EQ(text.substr(0, 3), std::string("\r\n\0", 3));
    const std::string memo = ClipboardBytes(IETextControlClipboardFormat);
    ASSERT_EQ(memo.size(), 282u);   // 281 n + 1
    EXPECT_EQ(memo.substr(0, 2), std::string("\n\0", 2));
    TIECharFormat f;
    std::memcpy(&f, memo.data() + 2, sizeof f);
    EXPECT_TRUE(IESameCharFormat(f, c->Formats[0]));
    EXPECT_EQ(f.RefCount, 3);   // stored as it is

    // Nothing selected: the clipboard stays as it was.
    c->ClearSelection();
    c->CopyToClipboard();
    EXPECT_EQ(ClipboardBytes(IETextControlClipboardFormat).size(), 282u);
}

TEST_F(TIETextClipboard, PasteKeepsEachCharactersFormat) {
    TFixedTextMetrics m;
    auto source = MakeTextControl("xyz", &m);
    source->SelStart = 1;
    source->SelEnd = 2;
    source->ToggleSelectionStyle(fsBold);
    source->SetSelectionBackColor(clRed);
    source->SelStart = 0;
    source->SelEnd = 3;
    uint16_t key = 'X';
    source->KeyDown(key, ssCtrl);   // cut
    EXPECT_EQ(source->TextBuf, "");

    auto target = MakeTextControl("12", &m);
    target->CaretPos = 1;
    key = 'V';
    target->KeyDown(key, ssCtrl);
    EXPECT_EQ(target->TextBuf, "1xyz2");
    EXPECT_EQ(target->CaretPos, 4);
    TIECharFormat plain{}, bold{};
    target->GetCharFormat(0, plain);
    target->GetCharFormat(2, bold);
    EXPECT_NE(bold.FontStyle & fsBold, 0);
    EXPECT_EQ(bold.BackColor, clRed);
    for (int i : {1, 3, 4}) {
        TIECharFormat f{};
        target->GetCharFormat(i, f);
        EXPECT_TRUE(IESameCharFormat(f, plain)) << i;
    }
    // The pasted formats are shared records with true counts.
    int32_t total = 0;
    for (const TIECharFormat& f : target->Formats) total += f.RefCount;
    EXPECT_EQ(total, 5);
    EXPECT_EQ(target->Formats.size(), 2u);
}

TEST_F(TIETextClipboard, PlainTextUsesTheCurrentFormatAndDropsCR) {
    TFixedTextMetrics m;
    PutClipboard(CF_TEXT, std::string("ab\r\ncd\0zz", 9));
    auto c = MakeTextControl("", &m);
    c->CurrentFormat.FontStyle = fsItalic;
    c->PasteFromClipboard();
    EXPECT_EQ(c->TextBuf, "ab\ncd");
    ASSERT_EQ(c->Formats.size(), 1u);
    EXPECT_EQ(c->Formats[0].FontStyle, fsItalic);
    EXPECT_EQ(c->Formats[0].RefCount, 5);
}

TEST_F(TIETextClipboard, ShortPrivateBlockPastesOnlyWholeRecords) {
    TFixedTextMetrics m;
    // Three characters but the formats of only one and a half: another program's short block.
    std::string memo("abc", 4);
    TIECharFormat f = IEEmptyCharFormat();
    IESetCharFormatFontName(f, "Tahoma");
    f.FontHeight = -30;
    memo.append(reinterpret_cast<const char*>(&f), sizeof f);
    memo.append(reinterpret_cast<const char*>(&f), sizeof f / 2);
    PutClipboard(IETextControlClipboardFormat, memo);
    auto c = MakeTextControl("", &m);
    c->PasteFromClipboard();
    EXPECT_EQ(c->TextBuf, "a");
    ASSERT_EQ(c->Formats.size(), 1u);
    EXPECT_EQ(c->Formats[0].FontHeight, -30);

    // A double-byte character cut in half at the block's end is not pasted as half a character.
    ASSERT_EQ(GetACP(), 932u);
    PutClipboard(CF_TEXT, std::string("q\x82\xa0\x82", 5));
    auto d = MakeTextControl("", &m);
    d->PasteFromClipboard();
    EXPECT_EQ(d->TextBuf, "q\x82\xa0");
}
