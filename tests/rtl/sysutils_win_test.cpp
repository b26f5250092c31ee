// Format, integer conversion, dates, rounding and code pages.
#include <gtest/gtest.h>

#include "SysUtils.h"
#include "WinApi.h"

TEST(Format, Conversions) {
    struct Case { std::wstring got, want; } cases[] = {
        {Format(L"%s%s.zip.%.3d", L"C:\\a\\", L"vol", 7), L"C:\\a\\vol.zip.007"},
        {Format(L"%.3u", 12u), L"012"},
        {Format(L"%.3d", -5), L"-005"},
        {Format(L"%d%%", 42), L"42%"},
        {Format(L"[%5d][%-5d]", 42, 42), L"[   42][42   ]"},
        {Format(L"[%6s][%-6s][%.2s]", L"ab", L"ab", L"abcd"), L"[    ab][ab    ][ab]"},
        {Format(L"%x %x %.4X", 255, -1, 10), L"FF FFFFFFFF 000A"},
        {Format(L"%x", (int64_t)-1), L"FFFFFFFFFFFFFFFF"},
        {Format(L"%u", -1), L"4294967295"},
        {Format(L"%d", (int64_t)-9000000000LL), L"-9000000000"},
        {Format(L"%d", 4000000000u), L"4000000000"},
        {Format(L"%d 番目のタブに %1:d / %0:d", 3, 9), L"3 番目のタブに 9 / 3"},
        {Format(L"%s", std::string("abc")), L"abc"},
        {Format(L"%.2f|%f|%n", 3.14159, 2.0, 1234567.5), L"3.14|2.00|1,234,567.50"},
        {Format(L"%g|%g|%g", 0.5, 1e20, 100.0), L"0.5|1E20|100"},
        {Format(L"%e", 1234.5), L"1.23450000000000E+003"},
        {Format(L"no args"), L"no args"},
    };
    for (auto& c : cases) EXPECT_EQ(c.got, c.want);
}

TEST(Format, BadFormatOrArgumentRaisesEConvertError) {
    EXPECT_THROW(Format(L"%d"), EConvertError);
    EXPECT_THROW(Format(L"%d %d", 1), EConvertError);
    EXPECT_THROW(Format(L"%d", L"text"), EConvertError);
    EXPECT_THROW(Format(L"%s", 1), EConvertError);
    EXPECT_THROW(Format(L"%q", 1), EConvertError);
    EXPECT_THROW(Format(L"abc %", 1), EConvertError);
    try {
        Format(L"%d", L"x");
    } catch (const EConvertError& e) {
        EXPECT_EQ(e.Message(), L"Format '%d' invalid or incompatible with argument");
        EXPECT_STREQ(e.ClassName(), L"EConvertError");
    }
}

TEST(Integers, ToTextAndBack) {
    EXPECT_EQ(IntToStr(-2147483647 - 1), L"-2147483648");
    EXPECT_EQ(IntToStr(INT64_MIN), L"-9223372036854775808");
    EXPECT_EQ(IntToHex(255, 4), L"00FF");
    EXPECT_EQ(IntToHex(-1, 2), L"FFFFFFFF");
    EXPECT_EQ(IntToHex((int64_t)-1, 2), L"FFFFFFFFFFFFFFFF");

    struct Case { const wchar_t* text; bool ok32; int32_t v32; bool ok64; int64_t v64; } cases[] = {
        {L"123", true, 123, true, 123},
        {L"  -45", true, -45, true, -45},
        {L"+7", true, 7, true, 7},
        {L"$FF", true, 255, true, 255},
        {L"0x10", true, 16, true, 16},
        {L"$FFFFFFFF", true, -1, true, 4294967295LL},
        {L"2147483647", true, 2147483647, true, 2147483647},
        {L"-2147483648", true, -2147483647 - 1, true, -2147483648LL},
        {L"2147483648", false, 0, true, 2147483648LL},
        {L"9223372036854775807", false, 0, true, INT64_MAX},
        {L"9223372036854775808", false, 0, false, 0},
        {L"-9223372036854775808", false, 0, true, INT64_MIN},
        {L"", false, 0, false, 0},
        {L"-", false, 0, false, 0},
        {L"12 ", false, 0, false, 0},
        {L"1a", false, 0, false, 0},
        {L"$", false, 0, false, 0},
    };
    for (auto& c : cases) {
        int32_t v32 = 0;
        int64_t v64 = 0;
        EXPECT_EQ(TryStrToInt(c.text, v32), c.ok32) << c.text;
        if (c.ok32) {
            EXPECT_EQ(v32, c.v32) << c.text;
        }
        EXPECT_EQ(TryStrToInt64(c.text, v64), c.ok64) << c.text;
        if (c.ok64) {
            EXPECT_EQ(v64, c.v64) << c.text;
        }
    }
    try {
        StrToInt(L"1x");
        FAIL();
    } catch (const EConvertError& e) {
        EXPECT_EQ(e.Message(), L"'1x' is not a valid integer value");
    }
    EXPECT_THROW(StrToInt64(L"abc"), EConvertError);
}

TEST(Exceptions, ClassNamesAndStandardTexts) {
    EXPECT_STREQ(EFOpenError(L"m").ClassName(), L"EFOpenError");
    EXPECT_STREQ(EReadError(L"m").ClassName(), L"EReadError");
    EXPECT_STREQ(EAbort().ClassName(), L"EAbort");
    try {
        RaiseLastOSError(ERROR_FILE_NOT_FOUND);
    } catch (const EOSError& e) {
        EXPECT_EQ(e.ErrorCode, 2u);
        EXPECT_EQ(e.Message().rfind(L"System Error.  Code: 2.\r\n", 0), 0u) << e.what();
        EXPECT_GT(e.Message().size(), std::wstring(L"System Error.  Code: 2.\r\n").size());
    }
    const std::wstring text = SysErrorMessage(ERROR_ACCESS_DENIED);
    ASSERT_FALSE(text.empty());
    EXPECT_NE(text.back(), L'.');
    EXPECT_NE(text.back(), L'\n');
}

TEST(Dates, EncodeDecodeAndDosDates) {
    EXPECT_EQ(EncodeDate(1899, 12, 30), 0.0);
    EXPECT_EQ(EncodeDate(1900, 1, 1), 2.0);
    EXPECT_EQ(EncodeDate(2016, 3, 1), 42430.0);
    EXPECT_EQ(EncodeDate(1899, 12, 29), -1.0);
    EXPECT_THROW(EncodeDate(2015, 2, 29), EConvertError);
    EXPECT_THROW(EncodeTime(24, 0, 0, 0), EConvertError);

    uint16_t y, m, d, h, n, s, ms;
    DecodeDate(EncodeDate(2000, 2, 29), y, m, d);
    EXPECT_EQ(y * 10000 + m * 100 + d, 20000229);
    // 23:59:59.9996 rounds to the next midnight.
    DecodeDate(EncodeDate(2016, 12, 31) + 86399.9996 / 86400, y, m, d);
    EXPECT_EQ(y * 10000 + m * 100 + d, 20170101);
    DecodeTime(EncodeTime(9, 5, 7, 123), h, n, s, ms);
    EXPECT_EQ(h * 10000000 + n * 100000 + s * 1000 + ms, 90507123);
    EXPECT_EQ(DayOfWeek(EncodeDate(2016, 3, 1)), 3);   // a Tuesday

    // 2016-03-01 09:05:06 as a DOS date-time.
    const int32_t dos = (int32_t)((((2016 - 1980) << 9 | 3 << 5 | 1) << 16) | (9 << 11 | 5 << 5 | 3));
    EXPECT_EQ(FileDateToDateTime(dos), EncodeDate(2016, 3, 1) + EncodeTime(9, 5, 6, 0));
    EXPECT_EQ(DateTimeToFileDate(EncodeDate(2016, 3, 1) + EncodeTime(9, 5, 7, 0)), dos);
    EXPECT_THROW(FileDateToDateTime(0), EConvertError);   // month 0
    EXPECT_EQ(DateTimeToFileDate(EncodeDate(1979, 12, 31)), 0);

    SYSTEMTIME st{};
    DateTimeToSystemTime(EncodeDate(2016, 3, 1) + EncodeTime(9, 5, 7, 8), st);
    EXPECT_EQ(st.wYear, 2016); EXPECT_EQ(st.wMonth, 3); EXPECT_EQ(st.wDay, 1);
    EXPECT_EQ(st.wDayOfWeek, 2); EXPECT_EQ(st.wHour, 9); EXPECT_EQ(st.wMilliseconds, 8);
    EXPECT_DOUBLE_EQ(SystemTimeToDateTime(st), EncodeDate(2016, 3, 1) + EncodeTime(9, 5, 7, 8));
    EXPECT_GT(Now(), EncodeDate(2020, 1, 1));
}

TEST(Dates, FormatDateTime) {
    const TDateTime dt = EncodeDate(2016, 3, 1) + EncodeTime(9, 5, 7, 45);
    TFormatSettings fs;
    fs.DateSeparator = L'-';
    fs.TimeSeparator = L'.';
    fs.ShortDateFormat = L"yyyy/MM/dd";
    fs.LongTimeFormat = L"hh:nn:ss";
    fs.ShortTimeFormat = L"h:mm";
    struct Case { const wchar_t* fmt; const wchar_t* want; } cases[] = {
        {L"yyyy/mm/dd hh:nn:ss", L"2016-03-01 09.05.07"},
        {L"yy/m/d h:n:s", L"16-3-1 9.5.7"},
        {L"h:m", L"9.5"},                  // m right after h is the minute
        {L"hh mm", L"09 05"},
        {L"mm/dd hh", L"03-01 09"},
        {L"YYYY MMM MMMM ddd dddd", L"2016 Mar March Tue Tuesday"},
        {L"z zzz", L"45 045"},
        {L"'yyyy'\"/\" yyyy", L"yyyy/ 2016"},
        {L"c", L"2016-03-01 09.05.07"},
        {L"ddddd t tt", L"2016-03-01 9.05 09.05.07"},
    };
    for (auto& c : cases) EXPECT_EQ(FormatDateTime(c.fmt, dt, fs), c.want) << c.fmt;
    EXPECT_EQ(FormatDateTime(L"c", EncodeDate(2016, 3, 1), fs), L"2016-03-01");
    EXPECT_EQ(FormatDateTime(L"", EncodeDate(2016, 3, 1), fs), L"2016-03-01");
    EXPECT_EQ(FormatDateTime(L"yyyy/mm/dd hh:nn:ss", dt), L"2016/03/01 09:05:07");
}

TEST(Rounding, TiesToEvenAndTruncTowardZero) {
    struct Case { long double x; int64_t round, trunc; } cases[] = {
        {8.5L, 8, 8}, {9.5L, 10, 9}, {-8.5L, -8, -8}, {-9.5L, -10, -9}, {0.5L, 0, 0},
        {1.5L, 2, 1}, {2.4999L, 2, 2}, {-2.6L, -3, -2}, {4294967296.5L, 4294967296LL, 4294967296LL},
    };
    for (auto& c : cases) {
        EXPECT_EQ(Round(c.x), c.round) << (double)c.x;
        EXPECT_EQ(Trunc(c.x), c.trunc) << (double)c.x;
    }
    // A product that is a tie only in extended precision.
    EXPECT_EQ(Round((long double)0.5 * 5), 2);
}

TEST(CodePages, Cp932AndUtf8RoundTrips) {
    const std::wstring japanese = L"写真の注文―ソフト表示";   // 表 and ソ end in 0x5C
    const std::string ansi = WideToAnsi(japanese);
    EXPECT_EQ(ansi, WideToAnsi(japanese, cpShiftJIS));
    EXPECT_NE(ansi.find("\x95\x5C"), std::string::npos);   // 表
    EXPECT_NE(ansi.find("\x83\x5C"), std::string::npos);   // ソ
    EXPECT_NE(ansi.find("\x81\x5C"), std::string::npos);   // ―
    EXPECT_EQ(AnsiToWide(ansi), japanese);
    EXPECT_EQ(OemToWide(WideToOem(japanese)), japanese);
    EXPECT_EQ(WideToAnsi(L"\xAC00"), "?");   // Hangul is not in CP932

    const std::wstring mixed = L"a\x00E9\x65E5\xD83D\xDE00";
    const std::string utf8 = WideToUtf8(mixed);
    EXPECT_EQ(utf8, "a\xC3\xA9\xE6\x97\xA5\xF0\x9F\x98\x80");
    EXPECT_EQ(Utf8ToWide(utf8), mixed);
    EXPECT_EQ(AnsiToWide(utf8, cpUTF8), mixed);
    EXPECT_EQ(Utf8ToWide("a\xC0\xAF" "b\xE6\x97"), L"a\xFFFD\xFFFD" L"b\xFFFD");
    EXPECT_EQ(WideToUtf8(L"\xD800x"), "\xEF\xBF\xBDx");
}
