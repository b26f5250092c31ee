// The Japanese text normalisers around CP932 reads and writes.
#include <gtest/gtest.h>

#include "KWZip.h"
#include "SysUtils.h"

namespace {

std::wstring ThroughCp932(const std::wstring& AText) {
    return AnsiToWide(WideToAnsi(AText, cpShiftJIS), cpShiftJIS);
}

}  // namespace

TEST(KWNormalize, SavedTextMapsUnitsAndCodePoints) {
    struct Case { std::wstring in, saved; } cases[] = {
        {L"", L""},
        {L"abc 写真", L"abc 写真"},
        {L"\x2011\x2012\x2013", L"---"},
        {L"a\x2014z", L"a\x2015z"},
        {L"\x203E", L"\xFFE3"},
        {L"\x2212\xFE58\xFE63", L"\xFF0D\xFF0D\xFF0D"},
        {L"\x525D\x5861\x9830", L"\x5265\x586B\x982C"},
        {L"x\xD842\xDF9Fy", L"x\x53F1y"},             // U+20B9F as a surrogate pair
        {L"\xD83D\xDE00", L"\xD83D\xDE00"},           // other pairs pass through whole
        {L"a\xD842" L"b\xDF9F" L"c\xD842", L"abc"},   // lone surrogates are dropped
    };
    for (const Case& c : cases) EXPECT_EQ(KWNormalizeSavedText(c.in), c.saved) << c.in.size();
}

TEST(KWNormalize, LoadedTextUndoesTheDashAndOverline) {
    EXPECT_EQ(KWNormalizeLoadedText(L"a\x2015\xFFE3z"), L"a\x2014\x203Ez");
    EXPECT_EQ(KWNormalizeLoadedText(L""), L"");
    // Through CP932 and back: U+2014 survives, U+2212 becomes U+FF0D for good.
    const std::wstring text = L"\x2014\x2212\x525D";
    const std::wstring back = KWNormalizeLoadedText(ThroughCp932(KWNormalizeSavedText(text)));
    EXPECT_EQ(back, L"\x2014\xFF0D\x5265");
}
