// String formats: copy, hexadecimal, MIME base 64, UU and XX coding, and their registry.
#include <gtest/gtest.h>

#include <string>

#include "ZFDecUtil.h"

namespace {

std::string AllBytes(size_t n) {
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i) s[i] = (char)(i * 37 + 11);
    return s;
}

std::wstring ErrorOf(const std::string& text, int32_t id) {
    try {
        FormatToBytes(text, id);
    } catch (const EStringFormat& e) {
        return e.Message();
    }
    return L"<no error>";
}

}  // namespace

TEST(ZFStringFormat, HexadecimalSkipsSeparatorsAndDropsWhatCameBeforeThePrefix) {
    for (int32_t id : {fmtHEX, fmtHEXL}) {
        EXPECT_EQ(FormatToBytes("0x1A2b", id), "\x1A\x2B") << id;
        EXPECT_EQ(FormatToBytes("ABC", id), "\xAB") << id;
        EXPECT_EQ(FormatToBytes("$ff, 0e", id), "\xFF\x0E") << id;
        EXPECT_EQ(FormatToBytes("12 $34 x56", id), "\x34\x56") << id;  // later markers are ignored
        EXPECT_EQ(ErrorOf("12zz", id), id == fmtHEX ? L"Input is not an valid Hexadecimal Format."
                                                      : L"Input is not an valid Hexadecimal lowercase Format.");
    }
    EXPECT_EQ(BytesToFormat(std::string("\x1A\xBC\x00", 3), fmtHEX), "1ABC00");
    EXPECT_EQ(BytesToFormat(std::string("\x1A\xBC\x00", 3), fmtHEXL), "1abc00");
}

TEST(ZFStringFormat, Base64IsStandardWithPaddingAndNoLineBreaks) {
    EXPECT_EQ(BytesToFormat("Man", fmtMIME64), "TWFu");
    EXPECT_EQ(BytesToFormat("Ma", fmtMIME64), "TWE=");
    EXPECT_EQ(BytesToFormat("M", fmtMIME64), "TQ==");
    const std::string big = AllBytes(200);
    const std::string text = BytesToFormat(big, fmtMIME64);
    EXPECT_EQ(text.size(), 268u);
    EXPECT_EQ(text.find_first_of("\r\n"), std::string::npos);
    EXPECT_EQ(FormatToBytes(text, fmtMIME64), big);
    EXPECT_EQ(FormatToBytes("TWE", fmtMIME64), "Ma");       // missing padding is supplied
    EXPECT_EQ(FormatToBytes("TW\r\nFu", fmtMIME64), "Man");  // separators do not count
    EXPECT_EQ(ErrorOf("TW%u", fmtMIME64), L"Input is not an valid MIME Base 64 Format.");
}

TEST(ZFStringFormat, UuAndXxWriteLinesOfFortyFiveBytesWithoutBreaks) {
    EXPECT_EQ(BytesToFormat("Cat", fmtUU), "#0V%T");
    EXPECT_EQ(BytesToFormat("Cat", fmtXX), "1Eq3o");
    std::string bytes46(46, '\0');
    for (size_t i = 0; i < 46; ++i) bytes46[i] = (char)i;
    const std::string uu = BytesToFormat(bytes46, fmtUU);
    EXPECT_EQ(uu,
              "M``$\"`P0%!@<(\"0H+#`T.#Q`1$A,4%187&!D:&QP='A\\@(2(C)\"4F)R@I*BLL"
              "!+0``");
    for (int32_t id : {fmtUU, fmtXX})
        for (size_t n : {1u, 2u, 3u, 44u, 45u, 46u, 47u, 200u}) {
            const std::string data = AllBytes(n);
            EXPECT_EQ(FormatToBytes(BytesToFormat(data, id), id), data) << id << " " << n;
        }
}

TEST(ZFStringFormat, UuRefusesBadLineLengthsAndShortLines) {
    EXPECT_EQ(ErrorOf("N" + std::string(64, 'A'), fmtUU), L"Input is not an valid UU Coding Format.");  // 46
    EXPECT_EQ(ErrorOf("#0V%", fmtUU), L"Input is not an valid UU Coding Format.");   // a code missing
    EXPECT_EQ(ErrorOf("#0V%T\n", fmtUU), L"Input is not an valid UU Coding Format.");  // not at a line end
    EXPECT_EQ(ErrorOf("#0V%Ta", fmtUU), L"Input is not an valid UU Coding Format.");   // outside the alphabet
    EXPECT_EQ(ErrorOf("1Eq3", fmtXX), L"Input is not an valid XX Coding Format.");
    EXPECT_EQ(FormatToBytes("#0 V%\tT", fmtUU), "Cat");  // separators inside a line do not count
    EXPECT_EQ(ErrorOf("!", fmtUU), L"Input is not an valid UU Coding Format.");  // one byte takes four codes
}

TEST(ZFStringFormat, RegistryDefaultsToBase64AndNamesEveryFormat) {
    EXPECT_EQ(StringFormat(-1), &StringFormat_MIME64);
    EXPECT_EQ(BytesToFormat("Man", -1), "TWFu");
    EXPECT_EQ(BytesToFormat("Man", 0), "");
    EXPECT_EQ(FormatToBytes("", fmtHEX), "");
    struct Case {
        int32_t id;
        const wchar_t *name, *shortName;
    } cases[] = {
        {fmtCOPY, L"copy Input to Output", L"TStringFormat"}, {fmtHEX, L"Hexadecimal", L"HEX"},
        {fmtHEXL, L"Hexadecimal lowercase", L"HEXL"},         {fmtMIME64, L"MIME Base 64", L"MIME64"},
        {fmtUU, L"UU Coding", L"UU"},                         {fmtXX, L"XX Coding", L"XX"},
    };
    for (const Case& c : cases) {
        ASSERT_NE(StringFormat(c.id), nullptr) << c.id;
        EXPECT_EQ(StringFormat(c.id)->FormatId(), c.id);
        EXPECT_EQ(StringFormat(c.id)->FormatName(), c.name);
        EXPECT_EQ(ShortClassName(StringFormat(c.id)), c.shortName);
    }
    EXPECT_EQ(BytesToFormat(std::string("a\0b", 3), fmtCOPY), std::string("a\0b", 3));
    EXPECT_EQ(BytesToFormat("zero-terminated", -1, fmtCOPY), "zero-terminated");
}

TEST(ZFStringFormat, UnknownIdentifiersRaiseAndRegisteringReplacesInPlace) {
    try {
        BytesToFormat("x", 77);
        FAIL() << "no exception";
    } catch (const EStringFormat& e) {
        EXPECT_EQ(e.Message(), L"String Format \"77\" not exists.");
    }
    // A format with the identifier of a registered one takes its place.
    class TLowerBase64 : public TStringFormat_MIME64 {
    public:
        std::wstring FormatName() const override { return L"custom"; }
    } custom;
    RegisterStringFormats({&custom});
    EXPECT_EQ(StringFormat(fmtMIME64), &custom);
    RegisterStringFormats({&StringFormat_MIME64});
    EXPECT_EQ(StringFormat(fmtMIME64), &StringFormat_MIME64);
}
