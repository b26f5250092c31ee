#include "iecoreutils_text.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "Classes.h"
#include "SysUtils.h"
#include "iecoreutils_general.h"

namespace {

const char kBase64Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

std::wstring Widen(const std::string& S) { return std::wstring(S.begin(), S.end()); }

// Texts made of ASCII characters only (numbers, hexadecimal) back to bytes.
std::string NarrowAscii(const std::wstring& S) {
    std::string out;
    out.reserve(S.size());
    for (wchar_t c : S) out += static_cast<char>(c);
    return out;
}

template <class TString>
TString LowerAscii(const TString& S) {
    TString r = S;
    for (auto& c : r)
        if (c >= 'A' && c <= 'Z') c = static_cast<typename TString::value_type>(c + 32);
    return r;
}

}   // namespace

// ---- Encoding and numbers ---------------------------------------------------------------------

void IEBase64EncodeGroup(const uint8_t* Src, char* Dst, int32_t Count) {
    const uint32_t v = static_cast<uint32_t>(Src[0]) << 16 | (Count > 1 ? static_cast<uint32_t>(Src[1]) << 8 : 0) |
                       (Count > 2 ? Src[2] : 0);
    Dst[0] = kBase64Alphabet[v >> 18 & 63];
    Dst[1] = kBase64Alphabet[v >> 12 & 63];
    Dst[2] = Count > 1 ? kBase64Alphabet[v >> 6 & 63] : '=';
    Dst[3] = Count > 2 ? kBase64Alphabet[v & 63] : '=';
}

void IEBase64EncodeStream(TStream& Stream, TStream& F, int32_t LineLength) {
    const int32_t groupsPerLine = std::max<int32_t>(1, LineLength / 4);
    std::vector<uint8_t> block(3 * 1024);
    size_t pending = 0;   // bytes of block not yet encoded (fewer than 3 between reads)
    std::string line;
    int32_t groups = 0;
    auto endLine = [&]() {
        line += "\r\n";
        F.WriteBuffer(line.data(), static_cast<int32_t>(line.size()));
        line.clear();
        groups = 0;
    };
    auto encode = [&](const uint8_t* p, int32_t count) {
        char out[4];
        IEBase64EncodeGroup(p, out, count);
        line.append(out, 4);
        if (++groups == groupsPerLine) endLine();
    };
    for (;;) {
        const int32_t got = Stream.Read(block.data() + pending, static_cast<int32_t>(block.size() - pending));
        if (got <= 0) break;
        const size_t have = pending + static_cast<size_t>(got);
        size_t pos = 0;
        for (; pos + 3 <= have; pos += 3) encode(block.data() + pos, 3);
        pending = have - pos;
        std::copy(block.begin() + pos, block.begin() + have, block.begin());
    }
    if (pending) {
        uint8_t last[3] = {0, 0, 0};
        std::copy(block.begin(), block.begin() + pending, last);
        encode(last, static_cast<int32_t>(pending));
    }
    if (groups) endLine();
}

void IEFloatToStrDot(std::wstring& S, long double Value) {
    S = Format(L"%g", Value);
    // The run-time layer writes "." already; a "," can only be a decimal comma.
    std::replace(S.begin(), S.end(), L',', L'.');
}

void IEFloatToStrDotA(std::string& S, long double Value) {
    std::wstring w;
    IEFloatToStrDot(w, Value);
    S = NarrowAscii(w);
}

void IEFloatToFraction(int32_t& Num, int32_t& Den, double Value, double Tolerance) {
    const int32_t sign = Value >= 0 ? 1 : -1;
    const long double x = std::fabs(static_cast<long double>(Value));
    if (std::isnan(x)) {
        Num = 0;
        Den = 1;
        return;
    }
    if (x > 2147483647.0L) {   // beyond 1e19, or no longer a 32-bit numerator
        Num = sign * 999999999;
        Den = 1;
        return;
    }
    if (x == std::trunc(x)) {
        Num = sign * static_cast<int32_t>(x);
        Den = 1;
        return;
    }
    if (x < 1e-19L) {
        Num = sign;
        Den = 999999999;
        return;
    }
    int64_t den = 1, prevDen = 0;
    int64_t num = static_cast<int64_t>(x + 0.5L);
    int32_t bestNum = static_cast<int32_t>(num), bestDen = 1;
    long double z = x;
    for (int term = 0; term < 64; ++term) {
        const long double frac = z - std::trunc(z);
        if (frac == 0) break;
        z = 1 / frac;
        if (!(z < 4294967296.0L)) break;   // the next denominator would leave 32 bits
        const int64_t nextDen = static_cast<int64_t>(std::trunc(z)) * den + prevDen;
        if (nextDen > 2147483647) break;
        prevDen = den;
        den = nextDen;
        num = static_cast<int64_t>(std::trunc(x * den + 0.5L));
        if (num > 2147483647) break;
        bestNum = static_cast<int32_t>(num);
        bestDen = static_cast<int32_t>(den);
        if (std::fabs(x - static_cast<long double>(num) / den) < Tolerance) break;
        if (z == std::trunc(z)) break;
    }
    Num = bestNum * sign;
    Den = bestDen;
}

void IEYCbCrToRGB(TIERGB& Dest, int32_t Y, int32_t Cb, int32_t Cr) {
    const double cb = Cb - 128.0, cr = Cr - 128.0;
    auto channel = [](double v) {
        if (!(v > -256.0)) return 0;     // far out of range (or NaN): clamp before the conversion
        if (!(v < 512.0)) return 255;
        return IEClampByte(static_cast<int32_t>(v));
    };
    Dest.r = static_cast<uint8_t>(channel(Y + 1.402 * cr));
    Dest.g = static_cast<uint8_t>(channel(Y - 0.34414 * cb - 0.71414 * cr));
    Dest.b = static_cast<uint8_t>(channel(Y + 1.772 * cb));
}

// ---- Texts ----------------------------------------------------------------------------------

void IEIntToStrA(int32_t Value, std::string& S) { S = std::to_string(Value); }

void IEIntToStrGrouped(int32_t Value, std::wstring& S) { S = Format(L"%.0n", static_cast<double>(Value)); }

void IESizeToStr(int32_t Size, int32_t Limit, std::wstring& S) {
    if (Size < Limit) {
        IEIntToStrGrouped(Size, S);
        S += L" bytes";
    } else {
        IEIntToStrGrouped(Size / 1024, S);
        S += L" KB";
    }
}

void IEIntToHexA(int32_t Value, int32_t Digits, std::string& S) { S = NarrowAscii(IntToHex(Value, Digits)); }

int32_t IEStrToIntDefA(const std::string& S, int32_t Default) { return StrToIntDef(Widen(S), Default); }

void IETrimA(const std::string& S, std::string& Res) {
    size_t first = 0, last = S.size();
    while (first < last && static_cast<uint8_t>(S[first]) <= ' ') ++first;
    while (last > first && static_cast<uint8_t>(S[last - 1]) <= ' ') --last;
    Res = S.substr(first, last - first);
}

void IEUpperCaseA(const std::string& S, std::string& Res) {
    Res = S;
    for (auto& c : Res)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
}

void IELowerCaseA(const std::string& S, std::string& Res) { Res = LowerAscii(S); }

void IECopyA(const std::string& S, int32_t Index, int32_t Count, std::string& Res) {
    const int64_t start = Index < 1 ? 0 : static_cast<int64_t>(Index) - 1;
    if (Count <= 0 || start >= static_cast<int64_t>(S.size())) {
        Res.clear();
        return;
    }
    Res = S.substr(static_cast<size_t>(start), static_cast<size_t>(Count));
}

int32_t IEPosA(const std::string& SubStr, const std::string& S) {
    if (SubStr.empty()) return 0;
    const size_t p = S.find(SubStr);
    return p == std::string::npos ? 0 : static_cast<int32_t>(p + 1);
}

std::unique_ptr<char[]> IEStrNewA(const char* S) {
    if (!S) return nullptr;
    const size_t len = std::strlen(S);
    std::unique_ptr<char[]> copy(new char[len + 1]);
    std::memcpy(copy.get(), S, len + 1);
    return copy;
}

namespace {

std::wstring ExponentForm(double v, int32_t precision, int32_t digits) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*E", precision - 1, v);
    std::string s = buf;
    const size_t e = s.find('E');
    std::string expDigits = s.substr(e + 2);
    while (expDigits.size() > 1 && expDigits[0] == '0' && static_cast<int32_t>(expDigits.size()) > digits)
        expDigits.erase(0, 1);
    while (static_cast<int32_t>(expDigits.size()) < digits) expDigits.insert(0, 1, '0');
    return Widen(s.substr(0, e + 2) + expDigits);
}

void GroupThousands(std::wstring& s) {
    const size_t start = s[0] == L'-' ? 1 : 0;
    size_t dot = s.find(L'.');
    if (dot == std::wstring::npos) dot = s.size();
    for (size_t i = dot; i > start + 3; i -= 3) s.insert(i - 3, 1, L',');
}

}   // namespace

void IEFloatToStrF(int32_t Format, int32_t Precision, int32_t Digits, std::wstring& S, long double Value) {
    const double v = static_cast<double>(Value);
    Precision = std::clamp<int32_t>(Precision, 1, 18);
    if (!std::isfinite(v)) {
        S = std::isnan(v) ? L"NAN" : v < 0 ? L"-INF" : L"INF";
        return;
    }
    switch (Format) {
    case ffExponent:
        S = ExponentForm(v, Precision, std::clamp<int32_t>(Digits, 0, 4));
        return;
    case ffFixed:
    case ffNumber:
    case ffCurrency: {
        if (v != 0 && std::floor(std::log10(std::fabs(v))) + 1 > Precision) {
            S = ExponentForm(v, Precision, 0);
            return;
        }
        char buf[400];
        std::snprintf(buf, sizeof buf, "%.*f", std::clamp<int32_t>(Digits, 0, 18), v);
        S = Widen(buf);
        if (Format != ffFixed) GroupThousands(S);
        return;
    }
    default:
        S = ::Format(L"%." + std::to_wstring(Precision) + L"g", Value);
        return;
    }
}

namespace {

template <class TString>
void ExtractExt(const TString& FileName, bool WithDot, TString& Ext) {
    const TString name = LowerAscii(FileName);
    for (size_t i = name.size(); i-- > 0;) {
        const auto c = name[i];
        if (c == '\\' || c == '/' || c == ':') break;
        if (c == '.') {
            Ext = name.substr(WithDot ? i : i + 1);
            return;
        }
    }
    Ext.clear();
}

template <class TString>
int32_t URLType(const TString& S) {
    const TString s = LowerAscii(S.substr(0, 8));
    static const char* const kSchemes[] = {"http://", "https://", "ftp://"};
    for (int32_t i = 0; i < 3; ++i) {
        const size_t len = std::strlen(kSchemes[i]);
        if (s.size() >= len && std::equal(kSchemes[i], kSchemes[i] + len, s.begin())) return i + 1;
    }
    return 0;
}

}   // namespace

void IEExtractFileExt(const std::wstring& FileName, bool WithDot, std::wstring& Ext) {
    ExtractExt(FileName, WithDot, Ext);
}
void IEExtractFileExtA(const std::string& FileName, bool WithDot, std::string& Ext) {
    ExtractExt(FileName, WithDot, Ext);
}
void IEExtractFileExtW(const std::wstring& FileName, bool WithDot, std::wstring& Ext) {
    ExtractExt(FileName, WithDot, Ext);
}

int32_t IEGetURLType(const std::wstring& S) { return URLType(S); }
int32_t IEGetURLTypeA(const std::string& S) { return URLType(S); }
