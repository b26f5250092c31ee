// Text, number and encoding helpers: Base64 lines, numbers with a dot, fractions, YCbCr and the
// byte-string functions.
#include <gtest/gtest.h>

#include <cmath>

#include "Classes.h"
#include "iecoreutils_text.h"

namespace {

std::string Base64Lines(const std::string& data, int32_t lineLength) {
    TMemoryStream in;
    in.WriteBuffer(data.data(), (int32_t)data.size());
    in.SetPosition(0);
    TMemoryStream out;
    IEBase64EncodeStream(in, out, lineLength);
    return std::string(static_cast<const char*>(out.GetMemory()), (size_t)out.GetSize());
}

}   // namespace

TEST(IEText, Base64GroupsAndLines) {
    char group[4];
    const uint8_t man[3] = {'M', 'a', 0};
    IEBase64EncodeGroup(man, group, 2);
    EXPECT_EQ(std::string(group, 4), "TWE=");
    EXPECT_EQ(Base64Lines("Man", 76), "TWFu\r\n");
    EXPECT_EQ(Base64Lines("Mane", 76), "TWFuZQ==\r\n");
    EXPECT_EQ(Base64Lines("", 76), "");
    const std::string two = Base64Lines(std::string(114, '\xFB'), 76);
    ASSERT_EQ(two.size(), 76u + 2 + 76 + 2);
    EXPECT_EQ(two.substr(76, 2), "\r\n");
    EXPECT_EQ(two.substr(0, 4), "+/v7");
    // A line length below one group still makes progress, one group per line.
    EXPECT_EQ(Base64Lines("abcdef", 0), "YWJj\r\nZGVm\r\n");
    // Streams longer than the internal block, with a partial group at the very end.
    const std::string big(3 * 1024 * 2 + 1, 'x');
    const std::string enc = Base64Lines(big, 64);
    EXPECT_EQ(enc.substr(enc.size() - 6), "eA==\r\n");
    EXPECT_EQ(enc.size(), (big.size() + 2) / 3 * 4 + ((big.size() + 2) / 3 + 15) / 16 * 2);
}

TEST(IEText, FloatToTextUsesTheDot) {
    struct { long double v; const char* text; } cases[] = {
        {1.5L, "1.5"}, {-0.25L, "-0.25"}, {0, "0"}, {1e20L, "1E20"}, {123456789012345.0L, "123456789012345"},
        {1.0L / 3, "0.333333333333333"}, {72.0L, "72"},
    };
    for (const auto& c : cases) {
        std::string a;
        IEFloatToStrDotA(a, c.v);
        EXPECT_EQ(a, c.text);
        std::wstring w;
        IEFloatToStrDot(w, c.v);
        EXPECT_EQ(w, std::wstring(c.text, c.text + strlen(c.text)));
    }
}

TEST(IEText, FloatToFraction) {
    struct { double v, tol; int32_t num, den; } cases[] = {
        {0.75, 0.0001, 3, 4}, {-2.5, 0.0001, -5, 2}, {3, 0.0001, 3, 1}, {0, 0.0001, 0, 1},
        {3.14159265358979, 1e-6, 355, 113}, {1e-20, 0.0001, 1, 999999999}, {-1e20, 0.0001, -999999999, 1},
        {NAN, 0.0001, 0, 1}, {INFINITY, 0.0001, 999999999, 1}, {72.0 / 7, 0, 72, 7},
    };
    for (const auto& c : cases) {
        int32_t num = -7, den = -7;
        IEFloatToFraction(num, den, c.v, c.tol);
        EXPECT_EQ(num, c.num) << c.v;
        EXPECT_EQ(den, c.den) << c.v;
    }
    // A tolerance of 0 on an irrational-looking value ends with the closest 32-bit fraction.
    int32_t num, den;
    IEFloatToFraction(num, den, std::sqrt(2.0), 0);
    EXPECT_GT(den, 0);
    EXPECT_NEAR((double)num / den, std::sqrt(2.0), 1e-12);
}

TEST(IEText, YCbCrToRGB) {
    TIERGB c;
    IEYCbCrToRGB(c, 255, 128, 255);
    EXPECT_EQ(c.r, 255);
    EXPECT_EQ(c.g, 164);
    EXPECT_EQ(c.b, 255);
    IEYCbCrToRGB(c, 0, 0, 0);
    EXPECT_EQ(c.r, 0);
    EXPECT_EQ(c.g, 135);   // 0 + 0.34414*128 + 0.71414*128 = 135.46
    EXPECT_EQ(c.b, 0);
    IEYCbCrToRGB(c, INT32_MAX, INT32_MIN, 0);   // far out of range clamps without overflow
    EXPECT_EQ(c.r, 255);
    EXPECT_EQ(c.b, 0);
}

TEST(IEText, NumberTexts) {
    std::wstring w;
    IESizeToStr(1023, 1024, w);
    EXPECT_EQ(w, L"1,023 bytes");
    IESizeToStr(4096, 1024, w);
    EXPECT_EQ(w, L"4 KB");
    IEIntToStrGrouped(-1234567, w);
    EXPECT_EQ(w, L"-1,234,567");
    std::string s;
    IEIntToStrA(-42, s);
    EXPECT_EQ(s, "-42");
    IEIntToHexA(255, 4, s);
    EXPECT_EQ(s, "00FF");
    IEIntToHexA(-1, 2, s);
    EXPECT_EQ(s, "FFFFFFFF");
    EXPECT_EQ(IEStrToIntDefA("123", -1), 123);
    EXPECT_EQ(IEStrToIntDefA("$1F", -1), 31);
    EXPECT_EQ(IEStrToIntDefA("12a", -1), -1);
    EXPECT_EQ(IEStrToIntDefA("", -1), -1);
    EXPECT_EQ(IEStrToIntDefA("99999999999", -1), -1);
    IEFloatToStrF(ffFixed, 15, 2, w, 1234.5L);
    EXPECT_EQ(w, L"1234.50");
    IEFloatToStrF(ffNumber, 15, 1, w, 1234567.26L);
    EXPECT_EQ(w, L"1,234,567.3");
    IEFloatToStrF(ffExponent, 4, 2, w, 1234.6L);
    EXPECT_EQ(w, L"1.235E+03");
    IEFloatToStrF(ffGeneral, 3, 0, w, 1234.5L);
    EXPECT_EQ(w, L"1.23E3");
}

TEST(IEText, ByteStringFunctions) {
    std::string r;
    IETrimA("\t  ab c \r\n", r);
    EXPECT_EQ(r, "ab c");
    IEUpperCaseA("abC\xE4", r);
    EXPECT_EQ(r, "ABC\xE4");
    IELowerCaseA("ABc", r);
    EXPECT_EQ(r, "abc");
    struct { int32_t index, count; const char* res; } copies[] = {
        {1, 3, "abc"}, {0, 2, "ab"}, {-5, 1, "a"}, {4, 10, "def"}, {7, 1, ""}, {2, -1, ""}, {2, INT32_MAX, "bcdef"},
    };
    for (const auto& c : copies) {
        IECopyA("abcdef", c.index, c.count, r);
        EXPECT_EQ(r, c.res) << c.index << "," << c.count;
    }
    EXPECT_EQ(IEPosA("cd", "abcdcd"), 3);
    EXPECT_EQ(IEPosA("x", "abc"), 0);
    EXPECT_EQ(IEPosA("", "abc"), 0);
    auto copy = IEStrNewA("xyz");
    ASSERT_TRUE(copy);
    EXPECT_STREQ(copy.get(), "xyz");
    EXPECT_FALSE(IEStrNewA(nullptr));
}

TEST(IEText, ExtensionsAndURLs) {
    std::wstring w;
    IEExtractFileExt(L"C:\\Pics\\Photo.JPG", true, w);
    EXPECT_EQ(w, L".jpg");
    IEExtractFileExtW(L"C:\\Pics\\Photo.Tiff", false, w);
    EXPECT_EQ(w, L"tiff");
    IEExtractFileExt(L"C:\\dir.x\\noext", true, w);
    EXPECT_EQ(w, L"");
    std::string a;
    IEExtractFileExtA("a.b.PNG", false, a);
    EXPECT_EQ(a, "png");
    EXPECT_EQ(IEGetURLTypeA("HTTPS://example"), 2);
    EXPECT_EQ(IEGetURLTypeA("http://x"), 1);
    EXPECT_EQ(IEGetURLType(L"Ftp://x"), 3);
    EXPECT_EQ(IEGetURLTypeA("file:///c:/x"), 0);
    EXPECT_EQ(IEGetURLTypeA("http:/"), 0);
    EXPECT_EQ(IEGetURLType(L""), 0);
    struct G { uint32_t a; uint16_t b, c; uint8_t d[8]; };
    G g1{1, 2, 3, {4, 5, 6, 7, 8, 9, 10, 11}}, g2 = g1;
    EXPECT_TRUE(IEEqualGUID(g1, g2));
    g2.d[7] = 0;
    EXPECT_FALSE(IEEqualGUID(g1, g2));
}
