// Dates, strings and paths of the in-house base unit.
#include <gtest/gtest.h>

#include <cmath>

#include "Classes.h"
#include "KWCommonLib.h"
#include "WinApi.h"

TEST(KWStrings, TrimRemovesBlankCharactersAtBothEnds) {
    struct Case { std::wstring in, out; } cases[] = {
        {L"\ta b\r\n ", L"a b"},
        {L" \t\r\n", L""},
        {std::wstring(L"\0x\0", 3), L"x"},
        {L"", L""},
        {L"\x3000x", L"\x3000x"},  // the ideographic space is no blank
    };
    for (const Case& c : cases) EXPECT_EQ(KWTrim(c.in), c.out) << c.in.size();
    EXPECT_TRUE(KWIsBlankChar(1, L"\tx"));
    EXPECT_FALSE(KWIsBlankChar(2, L"\tx"));
    EXPECT_FALSE(KWIsBlankChar(0, L"\tx"));
    EXPECT_FALSE(KWIsBlankChar(3, L"\tx"));
}

TEST(KWStrings, SameStringHonoursCaseAndTrimOptions) {
    struct Case { const wchar_t *a, *b; bool caseSensitive, trim, same; } cases[] = {
        {L"ABC", L"abc", false, false, true},
        {L"ABC", L"abc", true, false, false},
        {L" abc", L"abc", false, false, false},
        {L" abc", L"abc", false, true, true},
        {L"", L"", false, false, true},
        {L" ", L"", false, false, false},
        {L" ", L"", false, true, true},
        {L"x", L"", false, false, false},
        {L"ｱｲｳ", L"ｱｲｳ", true, false, true},
        {L"Ä", L"ä", false, false, true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(KWSameString(c.a, c.b, c.caseSensitive, c.trim), c.same) << c.a << L"|" << c.b;
}

TEST(KWStrings, CombinePathAddsDelimitersToEveryNonEmptyPart) {
    EXPECT_EQ(KWCombinePath({L"C:\\x", L"y"}), L"C:\\x\\y\\");
    EXPECT_EQ(KWCombinePath({L"C:\\x\\", L""}), L"C:\\x\\");
    EXPECT_EQ(KWCombinePath({L"", L"a", std::string("b")}), L"a\\b\\");
    EXPECT_EQ(KWCombinePath({"C:\\\x83\x65"}), L"C:\\テ\\");  // ANSI (CP932) part
    EXPECT_EQ(KWIncludeTrailingPathDelimiter(L""), L"");
    EXPECT_EQ(KWExcludeTrailingPathDelimiter(L"C:\\a\\"), L"C:\\a");
    EXPECT_EQ(KWExcludeTrailingPathDelimiter(L""), L"");
    EXPECT_EQ(KWRemoveFileExt(L"C:\\a.b\\c.txt"), L"C:\\a.b\\c");
    EXPECT_EQ(KWRemoveFileExt(L"C:\\a.b\\c"), L"C:\\a.b\\c");
}

TEST(KWStrings, SplitCutsAtEveryDelimiter) {
    struct Case { const wchar_t *text, *delim; bool keepEmpty; TKWStringArray out; } cases[] = {
        {L"a;;b", L";", false, {L"a", L"b"}},
        {L"a;;b", L";", true, {L"a", L"", L"b"}},
        {L" a ; ;b;", L";", false, {L" a ", L"b"}},
        {L"a::b", L"::", true, {L"a", L"b"}},
        {L"", L";", false, {}},
        {L"", L";", true, {L""}},
        {L"ab", L"", false, {L"ab"}},
    };
    for (const Case& c : cases) {
        TKWStringArray list{L"old"};
        EXPECT_EQ(KWSplit(c.text, c.delim, list, c.keepEmpty), !c.out.empty()) << c.text;
        EXPECT_EQ(list, c.out) << c.text;
    }
}

TEST(KWStrings, SplitKeyValueTakesTheTextAfterTheFirstDelimiter) {
    std::wstring key, value;
    ASSERT_TRUE(KWSplitKeyValue(L" k = v = w ", L"=", key, value));
    EXPECT_EQ(key, L"k");
    EXPECT_EQ(value, L"v = w");
    ASSERT_TRUE(KWSplitKeyValue(L"k=", L"=", key, value));
    EXPECT_EQ(key, L"k");
    EXPECT_EQ(value, L"");
    // A delimiter of two characters leaves nothing of itself in the value.
    ASSERT_TRUE(KWSplitKeyValue(L"k::v::w", L"::", key, value));
    EXPECT_EQ(key, L"k");
    EXPECT_EQ(value, L"v::w");
    EXPECT_FALSE(KWSplitKeyValue(L"no delimiter", L"=", key, value));
}

TEST(KWStrings, ReplaceSearchesFromTheLeftOutsideReplacedText) {
    struct Case { const wchar_t *text, *oldText, *newText; bool once, caseSensitive; const wchar_t* out; } cases[] = {
        {L"aaa", L"aa", L"b", false, true, L"ba"},
        {L"abab", L"b", L"bb", false, true, L"abbabb"},
        {L"abAB", L"ab", L"x", false, true, L"xAB"},
        {L"abAB", L"ab", L"x", false, false, L"xx"},
        {L"abAB", L"ab", L"x", true, false, L"xAB"},
        {L"abc", L"", L"x", false, false, L"abc"},
        {L"ÄÄ", L"ä", L"x", false, false, L"ÄÄ"},  // only A to Z fold
    };
    for (const Case& c : cases)
        EXPECT_EQ(KWReplace(c.text, c.oldText, c.newText, c.once, c.caseSensitive), c.out) << c.text;
    EXPECT_EQ(KWPosText(L"B", L"aab"), 3);
    EXPECT_EQ(KWPosText(L"", L"aab"), 0);
    EXPECT_EQ(KWNormalizeLineBreaks(L"a\r\nb\nc\rd", L"\r\n"), L"a\r\nb\r\nc\r\nd");
}

TEST(KWStrings, PrefixSuffixAndArrays) {
    EXPECT_EQ(KWRemovePrefix(L"HeadTail", L"head", false), L"Tail");
    EXPECT_EQ(KWRemovePrefix(L"HeadTail", L"head", true), L"HeadTail");
    EXPECT_TRUE(KWStartsWith(L"", L"", true));
    EXPECT_FALSE(KWStartsWith(L"x", L"", true));
    EXPECT_FALSE(KWStartsWith(L"a", L"ab", true));
    EXPECT_EQ(KWRemoveSuffix(L"abc", L"abc"), L"");
    EXPECT_EQ(KWRemoveSuffix(L"abc", L"bc"), L"a");
    EXPECT_EQ(KWRemoveSuffix(L"abc", L"BC"), L"abc");
    EXPECT_EQ(KWRemoveSuffix(L"bc", L"abc"), L"bc");

    TKWStringArray list;
    EXPECT_FALSE(KWReverseStrings(list));
    EXPECT_EQ(KWAddString(list, L"a"), 0);
    EXPECT_EQ(KWAddString(list, L" B "), 1);
    EXPECT_EQ(KWIndexOfString(list, L"b", false, true), 1);
    EXPECT_EQ(KWIndexOfString(list, L"b", false, false), -1);
    EXPECT_TRUE(KWReverseStrings(list));
    EXPECT_EQ(list, (TKWStringArray{L" B ", L"a"}));
}

TEST(KWStrings, PercentIsTruncatedAndCapped) {
    struct Case { int64_t total, value, percent; } cases[] = {
        {3, 2, 66}, {0, 5, 0}, {5, 9, 100}, {5, 5, 100}, {10, 7, 70}, {100, 29, 29},
        {INT64_C(10000000000), INT64_C(9999999999), 99},
    };
    for (const Case& c : cases) EXPECT_EQ(KWCalcPercent(c.total, c.value), c.percent) << c.total << "/" << c.value;
    EXPECT_DOUBLE_EQ(KWCalcPercentFloat(4, 1), 25.0);
    EXPECT_TRUE(KWIsInt64(L"-9223372036854775808"));
    EXPECT_TRUE(KWIsInt64(L"$7F"));
    EXPECT_FALSE(KWIsInt64(L"9223372036854775808"));
    EXPECT_FALSE(KWIsInt64(L"12a"));
    EXPECT_FALSE(KWIsInt64(L""));
}

TEST(KWStrings, DateTimeToStrUsesTheFixedFormat) {
    EXPECT_EQ(KWDateTimeToStr(NAN), L"");
    // 2016-03-01 09:05:07
    EXPECT_EQ(KWDateTimeToStr(42430.0 + (9 * 3600 + 5 * 60 + 7) / 86400.0), L"2016/03/01 09:05:07");
    EXPECT_EQ(KWDateTimeToStr(0), L"1899/12/30 00:00:00");
    EXPECT_EQ(KWDateTimeToStr(-1.25), L"1899/12/29 06:00:00");
    EXPECT_EQ(KWDateTimeToStr(2958465.0 + 86399.0 / 86400.0), L"9999/12/31 23:59:59");
    EXPECT_EQ(KWFormatDateTime(L"ddddd t", 42430.5), L"2016/03/01 12:00");
    EXPECT_EQ(KWFormatDateTime(L"yyyy", NAN), L"");
}

TEST(KWStrings, FileDatesAndDays) {
    // 2016-03-01 09:05:06 as a DOS date-time.
    const int32_t dos = int32_t((uint32_t((2016 - 1980) << 9 | 3 << 5 | 1) << 16) | (9 << 11 | 5 << 5 | 3));
    EXPECT_EQ(KWDateTimeToStr(KWFileDateToDateTime(dos)), L"2016/03/01 09:05:06");
    EXPECT_TRUE(std::isnan(KWFileDateToDateTime(0)));  // month 0
    EXPECT_TRUE(std::isnan(KWFileDateToDateTime(int32_t((uint32_t(36 << 9 | 2 << 5 | 30) << 16)))));  // Feb 30
    EXPECT_TRUE(KWSameDay(42430.1, 42430.9));
    EXPECT_FALSE(KWSameDay(42430.9, 42431.0));
    EXPECT_FALSE(KWSameDay(NAN, NAN));

    FILETIME ft{1, 1};
    KWDateTimeToFileTime(ft, NAN);
    EXPECT_EQ(ft.dwLowDateTime | ft.dwHighDateTime, 0u);
    KWDateTimeToFileTime(ft, 42430.5);
    FILETIME local{};
    SYSTEMTIME st{};
    ASSERT_TRUE(FileTimeToLocalFileTime(&ft, &local));
    ASSERT_TRUE(FileTimeToSystemTime(&local, &st));
    EXPECT_EQ(st.wYear, 2016);
    EXPECT_EQ(st.wMonth, 3);
    EXPECT_EQ(st.wDay, 1);
    EXPECT_EQ(st.wHour, 12);
}

TEST(KWStrings, RectanglesAndAnsiCopies) {
    RECT r{10, 20, 30, 60};
    EXPECT_EQ(KWRectWidth(r), 20);
    EXPECT_EQ(KWRectHeight(r), 40);
    RECT g = KWInflateRect(r, 2, -3);
    EXPECT_EQ(g.left, 8);
    EXPECT_EQ(g.top, 23);
    EXPECT_EQ(g.right, 32);
    EXPECT_EQ(g.bottom, 57);
    auto ansi = KWStrAllocAnsi(L"aテ");
    EXPECT_STREQ(ansi.get(), "a\x83\x65");
    EXPECT_STREQ(KWStrAllocAnsi(L"").get(), "");
}

TEST(KWStrings, MissingResourceGivesNoStream) {
    EXPECT_EQ(KWGetResourceStream(L"NO_SUCH_RESOURCE", L"DOCUMENT"), nullptr);
}
