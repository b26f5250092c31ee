// The rich-text control's text model and editing: formats shared by reference counts, insertion,
// deletion and selection over runs of formats, keys, formatting of the selection, and double-byte
// characters kept whole under code page 932.
#include <gtest/gtest.h>

#include "Forms.h"
#include "WinApi.h"
#include "ietextc_test_support.h"

namespace {

void Press(TIETextControl& c, uint16_t key, TShiftState shift = 0) { c.KeyDown(key, shift); }
void Type(TIETextControl& c, const std::wstring& s) {
    for (wchar_t ch : s) c.KeyPress(ch);
}

int32_t TotalRefs(const TIETextControl& c) {
    int32_t n = 0;
    for (const TIECharFormat& f : c.Formats) n += f.RefCount;
    return n;
}

}  // namespace

TEST(TIETextControl, LoadTextMakesOneSharedFormat) {
    TFixedTextMetrics m;
    auto c = MakeTextControl("hello", &m);
    EXPECT_EQ(c->TextLen, 5);
    ASSERT_EQ(c->Formats.size(), 1u);
    EXPECT_EQ(c->Formats[0].RefCount, 5);
    EXPECT_EQ(IECharFormatFontName(c->Formats[0]), "Tahoma");
    EXPECT_EQ(c->Formats[0].FontHeight, -20);
    EXPECT_TRUE(IESameCharFormat(c->Formats[0], c->CurrentFormat));
    EXPECT_EQ(c->CharX.size(), 6u);
    EXPECT_EQ(c->CharX[0], -1);

    // Indexes from a damaged stream that point at no record take the first one.
    TIETextControl d(nullptr);
    d.TextBuf = "ab";
    d.Formats = c->Formats;
    d.CharFormats = {7, -3};
    d.LoadText();
    EXPECT_EQ(d.CharFormats, (std::vector<int32_t>{0, 0}));
}

TEST(TIETextControl, TypingDeletingAndOverwrite) {
    TFixedTextMetrics m;
    auto c = MakeTextControl("", &m);
    Type(*c, L"ab");
    Press(*c, VK_LEFT);
    Press(*c, VK_INSERT);   // overwrite mode
    Type(*c, L"X");
    EXPECT_EQ(c->TextBuf, "aX");
    EXPECT_EQ(c->CaretPos, 2);

    // Backspace at index 0 without a selection changes nothing.
    c->CaretPos = 0;
    Press(*c, VK_BACK);
    EXPECT_EQ(c->TextBuf, "aX");
    Press(*c, VK_DELETE);
    EXPECT_EQ(c->TextBuf, "X");
    Press(*c, VK_END, ssCtrl);
    Press(*c, VK_BACK);
    EXPECT_EQ(c->TextBuf, "");
    // Control characters are not typed; Enter inserts a line feed.
    Type(*c, L"\x01");
    Press(*c, VK_RETURN);
    EXPECT_EQ(c->TextBuf, "\n");
    EXPECT_EQ(TotalRefs(*c), 1);
}

TEST(TIETextControl, EditsOverRunsOfFormatsKeepCounts) {
    TFixedTextMetrics m;
    auto c = MakeTextControl("abcdef", &m);
    // Bold "cd": a second record used by two characters.
    c->SelStart = 2;
    c->SelEnd = 4;
    c->ToggleSelectionStyle(fsBold);
    ASSERT_EQ(c->Formats.size(), 2u);
    EXPECT_EQ(c->CharFormats, (std::vector<int32_t>{0, 0, 1, 1, 0, 0}));
    EXPECT_EQ(c->Formats[1].RefCount, 2);
    EXPECT_NE(c->CurrentFormat.FontStyle & fsBold, 0);

    // Typing inside the run with the bold current format shares the bold record.
    c->ClearSelection();
    c->CaretPos = 3;
    Type(*c, L"Z");
    EXPECT_EQ(c->TextBuf, "abcZdef");
    EXPECT_EQ(c->CharFormats[3], 1);
    EXPECT_EQ(c->Formats[1].RefCount, 3);

    // Deleting a selection across the run boundary drops one count per character.
    c->SelStart = 1;
    c->SelEnd = 4;   // "bcZ"
    Press(*c, VK_DELETE);
    EXPECT_EQ(c->TextBuf, "adef");
    EXPECT_EQ(c->CaretPos, 1);
    EXPECT_EQ(c->Formats[1].RefCount, 1);

    // A count never goes below 0, and compacting keeps every record a character still uses.
    c->Formats[1].RefCount = 0;   // as a stream with a wrong count would leave it
    c->DeleteChar(0);             // a plain character
    c->Formats[0].RefCount = 0;
    c->DeleteChar(0);             // "d" (bold) with a count already at 0
    EXPECT_EQ(c->Formats[1].RefCount, 0);
    c->CompactFormats();
    ASSERT_EQ(c->Formats.size(), 1u);   // the bold record is gone, the plain one is still in use
    EXPECT_EQ(c->TextBuf, "ef");
    EXPECT_EQ(c->CharFormats, (std::vector<int32_t>{0, 0}));
    EXPECT_EQ(c->Formats[0].RefCount, 2);
}

TEST(TIETextControl, SelectionWithShiftedMoves) {
    TFixedTextMetrics m;
    auto c = MakeTextControl("one two", &m);
    c->CaretPos = 1;
    Press(*c, VK_RIGHT, ssShift);
    Press(*c, VK_RIGHT, ssShift);
    EXPECT_EQ(c->SelStart, 1);
    EXPECT_EQ(c->SelEnd, 3);
    Press(*c, VK_LEFT, ssShift);   // back: the end follows the caret
    EXPECT_EQ(c->SelEnd, 2);
    Press(*c, VK_LEFT, ssShift);
    Press(*c, VK_LEFT, ssShift);   // past the anchor: the ends swap over
    EXPECT_EQ(c->SelStart, 0);
    EXPECT_EQ(c->SelEnd, 1);
    Press(*c, VK_RIGHT);   // a move without Shift clears it
    EXPECT_EQ(c->SelStart, 0);
    EXPECT_EQ(c->SelEnd, 0);

    // Typing replaces a selection.
    c->SelStart = 4;
    c->SelEnd = 7;
    Type(*c, L"2");
    EXPECT_EQ(c->TextBuf, "one 2");

    // Word moves: Ctrl+Left to the word's start, Ctrl+Right to its end (never past the last character).
    c->CaretPos = 5;
    Press(*c, VK_LEFT, ssCtrl);
    EXPECT_EQ(c->CaretPos, 4);
    Press(*c, VK_LEFT, ssCtrl);
    EXPECT_EQ(c->CaretPos, 0);
    Press(*c, VK_RIGHT, ssCtrl);
    EXPECT_EQ(c->CaretPos, 3);
}

TEST(TIETextControl, FormattingTheSelection) {
    TFixedTextMetrics m;
    auto c = MakeTextControl("abc", &m);
    // Ctrl+B with a selection whose first character is bold makes the whole selection non-bold.
    c->SelStart = 0;
    c->SelEnd = 1;
    Press(*c, 'B', ssCtrl);
    c->SelEnd = 3;
    Press(*c, 'B', ssCtrl);
    for (int i = 0; i < 3; ++i) {
        TIECharFormat f{};
        c->GetCharFormat(i, f);
        EXPECT_EQ(f.FontStyle & fsBold, 0) << i;
    }
    // Font size steps: -12 grows to -13; 1 shrinks to 1, never 0.
    c->CurrentFormat.FontHeight = -12;
    c->ClearSelection();
    Press(*c, VK_F2, ssShift);
    EXPECT_EQ(c->CurrentFormat.FontHeight, -13);
    c->CurrentFormat.FontHeight = 1;
    Press(*c, VK_F1, ssShift);
    EXPECT_EQ(c->CurrentFormat.FontHeight, 1);
    c->SelStart = 1;
    c->SelEnd = 2;
    c->GrowSelectionFont();
    TIECharFormat f{};
    c->GetCharFormat(1, f);
    EXPECT_EQ(f.FontHeight, -21);
    c->GetCharFormat(0, f);
    EXPECT_EQ(f.FontHeight, -20);

    // Ctrl+F and Ctrl+G ask nothing while the control keeps a single format.
    int dialogs = 0;
    c->ExecuteFontDialog = [&](TFont&) { return ++dialogs, false; };
    c->ExecuteColorDialog = [&](TColor&) { return ++dialogs, false; };
    c->SetSingleFormat(true);
    Press(*c, 'F', ssCtrl);
    Press(*c, 'G', ssCtrl);
    EXPECT_EQ(dialogs, 0);
    c->SetSingleFormat(false);
    c->ExecuteColorDialog = [&](TColor& color) { return color = clRed, true; };
    Press(*c, 'G', ssCtrl);
    c->GetCharFormat(1, f);
    EXPECT_EQ(f.BackColor, clRed);
}

TEST(TIETextControl, ParagraphAlignmentCoversTheCaretsParagraph) {
    TFixedTextMetrics m;
    auto c = MakeTextControl("ab\ncd\nef", &m);
    c->CaretPos = 4;
    Press(*c, 'E', ssCtrl);
    const uint8_t expected[] = {0, 0, 0, 2, 2, 0, 0, 0};
    for (int i = 0; i < 8; ++i) {
        TIECharFormat f{};
        c->GetCharFormat(i, f);
        EXPECT_EQ(f.Alignment, expected[i]) << i;
    }
    EXPECT_EQ(c->CurrentFormat.Alignment, 2);
}

// Under code page 932 a lead byte and its trail stay together.
TEST(TIETextControl, DoubleByteCharactersStayWhole) {
    ASSERT_EQ(GetACP(), 932u) << "the tests run with LANG=ja_JP.UTF-8";
    TFixedTextMetrics m;
    const std::string a = "\x82\xa0";   // HIRAGANA LETTER A in Shift-JIS
    auto c = MakeTextControl("x" + a + "y", &m);
    c->CaretPos = 1;
    Press(*c, VK_RIGHT);
    EXPECT_EQ(c->CaretPos, 3);
    Press(*c, VK_LEFT);
    EXPECT_EQ(c->CaretPos, 1);
    Press(*c, VK_DELETE);
    EXPECT_EQ(c->TextBuf, "xy");
    Type(*c, L"\u3042");   // typed: both bytes go in
    EXPECT_EQ(c->TextBuf, "x" + a + "y");
    EXPECT_EQ(c->CaretPos, 3);
    Press(*c, VK_BACK);
    EXPECT_EQ(c->TextBuf, "xy");
    EXPECT_EQ(TotalRefs(*c), 2);

    // A wrap never parts the two bytes: with 10-pixel characters a box of 30 holds "ab" and the
    // wide character goes to the next line whole.
    c->TextBuf = "ab" + a + "c";
    c->Formats.clear();
    c->CharFormats.clear();
    c->LoadText();
    c->CaptureText = true;
    Layout(*c, 30, 200);
    EXPECT_EQ(c->CapturedText, "ab\n" + a + "c\n");
    EXPECT_EQ(c->CharY[2], c->CharY[3]);
}

// A control of 300 x 100 on a form (hidden unless shown), its window made before any layout
// (making it resizes the control, which discards the layout).
struct TControlOnForm {
    TFixedTextMetrics Metrics;
    TForm Form{nullptr};
    std::unique_ptr<TIETextControl> C;
    explicit TControlOnForm(const std::string& Text) {
        Form.SetClientSize(300, 100);
        C = MakeTextControl(Text, &Metrics);
        C->SetParent(&Form);
        C->SetBounds(0, 0, 300, 100);
        C->HandleNeeded();
    }
    ~TControlOnForm() { C->SetParent(nullptr); }
};

TEST(TIETextControl, DoubleClickSelectsTheWordWithoutSpaces) {
    TControlOnForm f("one two  three");
    TIETextControl* c = f.C.get();
    Layout(*c, 300, 100);
    // Inside "two" (characters 4..6 at x 41..71).
    c->Perform(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(55, 10));
    c->Perform(WM_LBUTTONUP, 0, MAKELPARAM(55, 10));
    Layout(*c, 300, 100);   // the repaint between the clicks
    c->Perform(WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(55, 10));
    c->Perform(WM_LBUTTONUP, 0, MAKELPARAM(55, 10));
    EXPECT_EQ(c->SelStart, 4);
    EXPECT_EQ(c->SelEnd, 7);
    EXPECT_EQ(c->CaretPos, 7);
}

// Dragging with the button held selects from the press to the pointer, in either direction;
// once the button is up, moving the mouse leaves the selection alone.
TEST(TIETextControl, DraggingWithTheButtonHeldSelects) {
    TControlOnForm f("one two three");
    TIETextControl* c = f.C.get();
    int moved = 0;
    c->OnCursorMoved = [&](TObject*) { ++moved; };
    Layout(*c, 300, 100);
    // Characters are 10 wide from x 1: a point lands before the character under it.
    c->Perform(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(45, 10));   // before "t" of "two"
    EXPECT_EQ(c->CaretPos, 4);
    const struct {
        int X;
        WPARAM Buttons;
        int32_t SelStart, SelEnd, Caret;
    } kMoves[] = {
        {75, MK_LBUTTON, 4, 7, 7},     // to the end of "two"
        {3, MK_LBUTTON, 0, 4, 0},      // back past the press
        {45, MK_LBUTTON, 0, 0, 4},     // back to the press: nothing selected
        {135, MK_LBUTTON, 4, 13, 13},  // to the end of the text
        {15, 0, 4, 13, 13},            // the button is up: nothing changes
    };
    for (const auto& k : kMoves) {
        if (!k.Buttons) c->Perform(WM_LBUTTONUP, 0, MAKELPARAM(135, 10));
        Layout(*c, 300, 100);   // the repaint between the moves
        c->Perform(WM_MOUSEMOVE, k.Buttons, MAKELPARAM(k.X, 10));
        EXPECT_EQ(c->SelStart, k.SelStart) << k.X;
        EXPECT_EQ(c->SelEnd, k.SelEnd) << k.X;
        EXPECT_EQ(c->CaretPos, k.Caret) << k.X;
    }
    EXPECT_EQ(moved, 5);   // the press and each move with the button held
}

// Mouse moves follow each other faster than the control repaints: a move must not find the
// positions the previous one discarded (the selection would jump to the end of the text).
TEST(TIETextControl, DragMovesWithoutARepaintBetweenThem) {
    TControlOnForm f("one two three");
    TIETextControl* c = f.C.get();
    f.Form.Show();
    c->Perform(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(45, 10));
    c->Perform(WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(65, 10));
    c->Perform(WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(75, 10));
    EXPECT_EQ(c->SelStart, 4);
    EXPECT_EQ(c->SelEnd, 7);
    c->Perform(WM_LBUTTONUP, 0, MAKELPARAM(75, 10));
    // Keys that move by lines need the positions too.
    c->TextBuf = "ab\ncd";
    c->Formats.clear();
    c->CharFormats.clear();
    c->LoadText();
    c->CaretPos = 1;
    Press(*c, VK_DOWN);
    EXPECT_EQ(c->CaretPos, 4);
    Press(*c, VK_UP);
    EXPECT_EQ(c->CaretPos, 1);
    f.Form.Hide();
}

TEST(TIEEdit, TabIsNotTyped) {
    TIEEdit edit(nullptr);
    wchar_t key = L'\t';
    edit.KeyPress(key);
    EXPECT_EQ(key, 0);
    key = L'a';
    edit.KeyPress(key);
    EXPECT_EQ(key, L'a');
}
