// The platform-neutral half of SysUtils: texts, formatting, integer conversion, date arithmetic,
// rounding and UTF-8. The operating-system calls live in SysUtils_win.cpp.
#include "SysUtils.h"

#include "CheckedMath.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

const wchar_t* const SFOpenErrorEx = L"Cannot open file \"%s\". %s";
const wchar_t* const SFCreateErrorEx = L"Cannot create file \"%s\". %s";
const wchar_t* const SReadError = L"Stream read error";
const wchar_t* const SWriteError = L"Stream write error";
const wchar_t* const SMemoryStreamError = L"Out of memory while expanding memory stream";
const wchar_t* const SListIndexError = L"List index out of bounds (%d)";
const wchar_t* const SDuplicateString = L"String list does not allow duplicates";
const wchar_t* const SSortedListError = L"Operation not allowed on sorted list";
const wchar_t* const SInvalidInteger = L"'%s' is not a valid integer value";
const wchar_t* const SInvalidFormat = L"Format '%s' invalid or incompatible with argument";
const wchar_t* const SArgumentMissing = L"No argument for format '%s'";
const wchar_t* const SDateEncodeError = L"Invalid argument to date encode";
const wchar_t* const STimeEncodeError = L"Invalid argument to time encode";
const wchar_t* const SOSError = L"System Error.  Code: %d.\r\n%s";
const wchar_t* const SUnkOSError = L"A call to an OS function failed";
const wchar_t* const SResNotFound = L"Resource %s not found";
const wchar_t* const SCantWriteResourceStream = L"Can't write to a read-only resource stream";
const wchar_t* const SCantWriteReadOnlyStream = L"Can't write to a read-only memory stream";
const wchar_t* const SAssignError = L"Cannot assign a %s to a %s";
const wchar_t* const SOperationAborted = L"Operation aborted";

Exception::Exception(std::wstring message, const wchar_t* className)
    : FMessage(std::move(message)), FWhat(WideToUtf8(FMessage)), FClassName(className) {}

void Exception::SetMessage(std::wstring message) {
    FMessage = std::move(message);
    FWhat = WideToUtf8(FMessage);
}

// ---------------------------------------------------------------------------------------------
// Format
// ---------------------------------------------------------------------------------------------

TFormatArg::TFormatArg(const char* s) : Kind(fkString), Str(AnsiToWide(s ? s : "")) {}
TFormatArg::TFormatArg(const std::string& s) : Kind(fkString), Str(AnsiToWide(s)) {}
TFormatArg::TFormatArg(char c) : Kind(fkString), Str(AnsiToWide(std::string(1, c))) {}

namespace {

std::wstring Widen(const char* s) {
    std::wstring out;
    while (*s) out += (wchar_t)(unsigned char)*s++;
    return out;
}

std::wstring Digits(uint64_t v, unsigned base) {
    wchar_t buf[24];
    int n = 0;
    do {
        unsigned d = (unsigned)(v % base);
        buf[n++] = (wchar_t)(d < 10 ? L'0' + d : L'A' + d - 10);
        v /= base;
    } while (v);
    std::wstring out;
    while (n) out += buf[--n];
    return out;
}

void PadDigits(std::wstring& digits, int precision) {
    if (precision > (int)digits.size()) digits.insert(0, precision - digits.size(), L'0');
}

// Significant digits and decimal exponent of v (v = 0.d1d2d3... * 10^(exp+1)).
void Decompose(double v, int precision, std::string& digits, int& exp) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*E", precision - 1, std::fabs(v));
    digits.clear();
    const char* p = buf;
    for (; *p && *p != 'E'; ++p)
        if (*p >= '0' && *p <= '9') digits += *p;
    exp = *p ? std::atoi(p + 1) : 0;
}

std::wstring FormatFloat(wchar_t type, long double value, int precision) {
    const double v = (double)value;
    if (std::isnan(v)) return L"NAN";
    if (std::isinf(v)) return v < 0 ? L"-INF" : L"INF";
    char buf[400];
    switch (type) {
    case L'f':
    case L'n': {
        if (precision < 0) precision = 2;
        if (precision > 18) precision = 18;
        std::snprintf(buf, sizeof buf, "%.*f", precision, v);
        std::wstring s = Widen(buf);
        if (type == L'n') {
            size_t start = s[0] == L'-' ? 1 : 0;
            size_t dot = s.find(L'.');
            if (dot == std::wstring::npos) dot = s.size();
            for (size_t i = dot; i > start + 3; i -= 3) s.insert(i - 3, 1, L',');
        }
        return s;
    }
    case L'e': {
        if (precision < 0 || precision > 18) precision = 15;
        if (precision < 1) precision = 1;
        std::snprintf(buf, sizeof buf, "%.*E", precision - 1, v);
        std::wstring s = Widen(buf);
        size_t e = s.find(L'E');
        std::wstring expDigits = s.substr(e + 2);
        while (expDigits.size() < 3) expDigits.insert(0, 1, L'0');
        return s.substr(0, e + 2) + expDigits;
    }
    default: {   // 'g': the shortest of fixed and scientific, without trailing zeros
        if (precision < 1 || precision > 18) precision = 15;
        if (v == 0) return L"0";
        std::string digits;
        int exp;
        Decompose(v, precision, digits, exp);
        while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
        std::wstring out = v < 0 ? L"-" : L"";
        if (exp >= precision || exp < -5) {
            out += (wchar_t)digits[0];
            if (digits.size() > 1) out += L"." + Widen(digits.c_str() + 1);
            out += L"E";
            if (exp < 0) out += L"-";
            out += Digits((uint64_t)std::abs(exp), 10);
        } else if (exp < 0) {
            out += L"0." + std::wstring(-exp - 1, L'0') + Widen(digits.c_str());
        } else {
            digits.resize(std::max<size_t>(digits.size(), exp + 1), '0');
            out += Widen(digits.substr(0, exp + 1).c_str());
            if ((int)digits.size() > exp + 1) out += L"." + Widen(digits.c_str() + exp + 1);
        }
        return out;
    }
    }
}

[[noreturn]] void RaiseFormat(const wchar_t* text, const std::wstring& fmt) {
    std::wstring msg = text;
    msg.replace(msg.find(L"%s"), 2, fmt);
    throw EConvertError(msg);
}

bool ParseNumber(const std::wstring& fmt, size_t& i, int& value) {
    if (i >= fmt.size() || fmt[i] < L'0' || fmt[i] > L'9') return false;
    value = 0;
    while (i < fmt.size() && fmt[i] >= L'0' && fmt[i] <= L'9') {
        if (value < 100000) value = value * 10 + (fmt[i] - L'0');
        ++i;
    }
    return true;
}

}  // namespace

std::wstring FormatArgs(const std::wstring& fmt, const TFormatArg* args, size_t count) {
    std::wstring out;
    size_t next = 0;
    size_t i = 0;
    while (i < fmt.size()) {
        if (fmt[i] != L'%') {
            out += fmt[i++];
            continue;
        }
        ++i;
        if (i < fmt.size() && fmt[i] == L'%') {
            out += L'%';
            ++i;
            continue;
        }
        int number = 0, width = 0, precision = -1;
        bool left = false;
        size_t save = i;
        if (ParseNumber(fmt, i, number) && i < fmt.size() && fmt[i] == L':') {
            next = (size_t)number;
            ++i;
        } else {
            i = save;
        }
        if (i < fmt.size() && fmt[i] == L'-') {
            left = true;
            ++i;
        }
        ParseNumber(fmt, i, width);
        if (i < fmt.size() && fmt[i] == L'.') {
            ++i;
            if (!ParseNumber(fmt, i, precision)) RaiseFormat(SInvalidFormat, fmt);
        }
        if (i >= fmt.size()) RaiseFormat(SInvalidFormat, fmt);
        wchar_t type = fmt[i++];
        if (type >= L'A' && type <= L'Z') type = (wchar_t)(type + 32);
        if (next >= count) RaiseFormat(SArgumentMissing, fmt);
        const TFormatArg& a = args[next++];
        const bool isInt = a.Kind == TFormatArg::fkInt32 || a.Kind == TFormatArg::fkInt64 ||
                           a.Kind == TFormatArg::fkUInt64;
        std::wstring text;
        switch (type) {
        case L'd':
        case L'u':
        case L'x': {
            if (!isInt) RaiseFormat(SInvalidFormat, fmt);
            uint64_t magnitude;
            bool negative = false;
            if (type == L'x' || type == L'u') {
                magnitude = a.Kind == TFormatArg::fkInt32 ? (uint64_t)(uint32_t)a.Int : (uint64_t)a.Int;
            } else if (a.Kind == TFormatArg::fkUInt64) {
                magnitude = (uint64_t)a.Int;
            } else {
                negative = a.Int < 0;
                magnitude = negative ? 0 - (uint64_t)a.Int : (uint64_t)a.Int;
            }
            text = Digits(magnitude, type == L'x' ? 16 : 10);
            PadDigits(text, precision);
            if (negative) text.insert(0, 1, L'-');
            break;
        }
        case L'e':
        case L'f':
        case L'g':
        case L'n':
            if (a.Kind == TFormatArg::fkFloat) text = FormatFloat(type, a.Float, precision);
            else if (a.Kind == TFormatArg::fkUInt64) text = FormatFloat(type, (long double)(uint64_t)a.Int, precision);
            else if (isInt) text = FormatFloat(type, (long double)a.Int, precision);
            else RaiseFormat(SInvalidFormat, fmt);
            break;
        case L's':
            if (a.Kind != TFormatArg::fkString) RaiseFormat(SInvalidFormat, fmt);
            text = precision >= 0 && (size_t)precision < a.Str.size() ? a.Str.substr(0, precision) : a.Str;
            break;
        case L'p':
            if (a.Kind != TFormatArg::fkPointer) RaiseFormat(SInvalidFormat, fmt);
            text = Digits((uint64_t)a.Int, 16);
            PadDigits(text, (int)sizeof(void*) * 2);
            break;
        default:
            RaiseFormat(SInvalidFormat, fmt);
        }
        if ((int)text.size() < width) {
            if (left) text.append(width - text.size(), L' ');
            else text.insert(0, width - text.size(), L' ');
        }
        out += text;
    }
    return out;
}

// ---------------------------------------------------------------------------------------------
// Integers and texts
// ---------------------------------------------------------------------------------------------

std::wstring IntToStr(int64_t value) {
    std::wstring s = Digits(value < 0 ? 0 - (uint64_t)value : (uint64_t)value, 10);
    return value < 0 ? L"-" + s : s;
}

std::wstring IntToHex(uint64_t value, int digits) {
    std::wstring s = Digits(value, 16);
    PadDigits(s, digits);
    return s;
}

namespace {

// The class library's integer syntax; `bits` is 32 or 64. Hexadecimal may use the whole
// unsigned range and wraps into the signed one.
bool ParseInteger(const std::wstring& s, int bits, int64_t& value) {
    size_t i = 0;
    while (i < s.size() && s[i] == L' ') ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == L'-' || s[i] == L'+')) negative = s[i++] == L'-';
    unsigned base = 10;
    if (i < s.size() && (s[i] == L'$' || s[i] == L'x' || s[i] == L'X')) {
        base = 16;
        ++i;
    } else if (i + 1 < s.size() && s[i] == L'0' && (s[i + 1] == L'x' || s[i + 1] == L'X')) {
        base = 16;
        i += 2;
    }
    if (i >= s.size()) return false;
    const uint64_t limit = base == 16 ? (bits == 32 ? 0xFFFFFFFFull : ~0ull)
                                      : (bits == 32 ? 0x80000000ull : 0x8000000000000000ull);
    uint64_t v = 0;
    for (; i < s.size(); ++i) {
        wchar_t c = s[i];
        unsigned d;
        if (c >= L'0' && c <= L'9') d = c - L'0';
        else if (base == 16 && c >= L'a' && c <= L'f') d = c - L'a' + 10;
        else if (base == 16 && c >= L'A' && c <= L'F') d = c - L'A' + 10;
        else return false;
        if (v > (limit - d) / base) return false;
        v = v * base + d;
    }
    if (base == 10 && !negative && v == limit) return false;   // one past the largest
    if (bits == 32) v = (uint32_t)v, value = (int32_t)(uint32_t)v;
    else value = (int64_t)v;
    if (negative) value = (int64_t)(0 - (uint64_t)value);
    if (bits == 32) value = (int32_t)value;
    return true;
}

}  // namespace

bool TryStrToInt(const std::wstring& s, int32_t& value) {
    int64_t v;
    if (!ParseInteger(s, 32, v)) return false;
    value = (int32_t)v;
    return true;
}

bool TryStrToInt64(const std::wstring& s, int64_t& value) { return ParseInteger(s, 64, value); }

int32_t StrToInt(const std::wstring& s) {
    int32_t v;
    if (!TryStrToInt(s, v)) throw EConvertError(Format(SInvalidInteger, s));
    return v;
}

int64_t StrToInt64(const std::wstring& s) {
    int64_t v;
    if (!TryStrToInt64(s, v)) throw EConvertError(Format(SInvalidInteger, s));
    return v;
}

int32_t StrToIntDef(const std::wstring& s, int32_t def) {
    int32_t v;
    return TryStrToInt(s, v) ? v : def;
}

int64_t StrToInt64Def(const std::wstring& s, int64_t def) {
    int64_t v;
    return TryStrToInt64(s, v) ? v : def;
}

std::wstring UpperCase(const std::wstring& s) {
    std::wstring r = s;
    for (auto& c : r)
        if (c >= L'a' && c <= L'z') c = (wchar_t)(c - 32);
    return r;
}

std::wstring LowerCase(const std::wstring& s) {
    std::wstring r = s;
    for (auto& c : r)
        if (c >= L'A' && c <= L'Z') c = (wchar_t)(c + 32);
    return r;
}

void RaiseLastOSError(uint32_t errorCode) {
    if (errorCode == 0) throw EOSError(SUnkOSError, 0);
    throw EOSError(Format(SOSError, errorCode, SysErrorMessage(errorCode)), errorCode);
}

// ---------------------------------------------------------------------------------------------
// Dates and times
// ---------------------------------------------------------------------------------------------

TFormatSettings FormatSettings;

namespace {

constexpr int64_t UnixDateDelta = 25569;   // 1970-01-01 as a TDateTime

// Days since 1970-01-01 of a proleptic Gregorian date, and back.
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = (unsigned)(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + (int64_t)doe - 719468;
}

void CivilFromDays(int64_t z, int64_t& y, unsigned& m, unsigned& d) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = (unsigned)(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    y = (int64_t)yoe + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    y += m <= 2;
}

// Whole days (toward zero) and milliseconds of the day, after rounding to the millisecond. A
// negative date-time counts days backwards but its fraction is still the time of day.
void SplitDateTime(TDateTime dt, int64_t& days, int32_t& msec) {
    const int64_t total = Round((long double)dt * MSecsPerDay);
    days = total / MSecsPerDay;
    msec = (int32_t)((total < 0 ? -total : total) % MSecsPerDay);
}

const int DaysInMonth[2][12] = {{31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31},
                                {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31}};

}  // namespace

bool IsLeapYear(uint16_t year) { return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0); }

bool TryEncodeDate(uint16_t year, uint16_t month, uint16_t day, TDateTime& result) {
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 ||
        day > DaysInMonth[IsLeapYear(year)][month - 1])
        return false;
    result = (TDateTime)(DaysFromCivil(year, month, day) + UnixDateDelta);
    return true;
}

bool TryEncodeTime(uint16_t hour, uint16_t min, uint16_t sec, uint16_t msec, TDateTime& result) {
    if (hour >= 24 || min >= 60 || sec >= 60 || msec >= 1000) return false;
    result = (TDateTime)(((hour * 60 + min) * 60 + sec) * 1000 + msec) / MSecsPerDay;
    return true;
}

TDateTime EncodeDate(uint16_t year, uint16_t month, uint16_t day) {
    TDateTime r;
    if (!TryEncodeDate(year, month, day, r)) throw EConvertError(SDateEncodeError);
    return r;
}

TDateTime EncodeTime(uint16_t hour, uint16_t min, uint16_t sec, uint16_t msec) {
    TDateTime r;
    if (!TryEncodeTime(hour, min, sec, msec, r)) throw EConvertError(STimeEncodeError);
    return r;
}

void DecodeDate(TDateTime dt, uint16_t& year, uint16_t& month, uint16_t& day) {
    int64_t days;
    int32_t msec;
    SplitDateTime(dt, days, msec);
    int64_t y;
    unsigned m, d;
    CivilFromDays(days - UnixDateDelta, y, m, d);
    year = (uint16_t)y;
    month = (uint16_t)m;
    day = (uint16_t)d;
}

void DecodeTime(TDateTime dt, uint16_t& hour, uint16_t& min, uint16_t& sec, uint16_t& msec) {
    int64_t days;
    int32_t ms;
    SplitDateTime(dt, days, ms);
    hour = (uint16_t)(ms / 3600000);
    min = (uint16_t)(ms / 60000 % 60);
    sec = (uint16_t)(ms / 1000 % 60);
    msec = (uint16_t)(ms % 1000);
}

int32_t DayOfWeek(TDateTime dt) {
    int64_t days;
    int32_t ms;
    SplitDateTime(dt, days, ms);
    // 0001-01-01 (a Monday) is day 1 of the count the class library uses for this.
    return (int32_t)((days + 693594) % 7) + 1;
}

TDateTime FileDateToDateTime(int32_t fileDate) {
    const uint32_t hi = ((uint32_t)fileDate >> 16) & 0xFFFF, lo = (uint32_t)fileDate & 0xFFFF;
    return EncodeDate((uint16_t)((hi >> 9) + 1980), (uint16_t)((hi >> 5) & 15), (uint16_t)(hi & 31)) +
           EncodeTime((uint16_t)(lo >> 11), (uint16_t)((lo >> 5) & 63), (uint16_t)((lo & 31) * 2), 0);
}

int32_t DateTimeToFileDate(TDateTime dt) {
    uint16_t y, m, d, h, n, s, ms;
    DecodeDate(dt, y, m, d);
    if (y < 1980 || y > 2107) return 0;
    DecodeTime(dt, h, n, s, ms);
    const uint32_t hi = ((uint32_t)(y - 1980) << 9) | ((uint32_t)m << 5) | d;
    const uint32_t lo = ((uint32_t)h << 11) | ((uint32_t)n << 5) | (s / 2u);
    return (int32_t)((hi << 16) | lo);
}

namespace {

const wchar_t* const ShortMonthNames[12] = {L"Jan", L"Feb", L"Mar", L"Apr", L"May", L"Jun",
                                            L"Jul", L"Aug", L"Sep", L"Oct", L"Nov", L"Dec"};
const wchar_t* const LongMonthNames[12] = {L"January", L"February", L"March",     L"April",
                                           L"May",     L"June",     L"July",      L"August",
                                           L"September", L"October", L"November", L"December"};
const wchar_t* const ShortDayNames[7] = {L"Sun", L"Mon", L"Tue", L"Wed", L"Thu", L"Fri", L"Sat"};
const wchar_t* const LongDayNames[7] = {L"Sunday",   L"Monday", L"Tuesday", L"Wednesday",
                                        L"Thursday", L"Friday", L"Saturday"};

void AppendNumber(std::wstring& out, unsigned value, int digits) {
    std::wstring s = Digits(value, 10);
    PadDigits(s, digits);
    out += s;
}

void AppendDateTime(std::wstring& out, const std::wstring& fmt, TDateTime dt,
                    const TFormatSettings& fs, int depth) {
    // Nested formats (c, ddddd, t, tt) may refer to one another; two levels suffice.
    if (depth > 2) return;
    uint16_t year, month, day, hour, min, sec, msec;
    DecodeDate(dt, year, month, day);
    DecodeTime(dt, hour, min, sec, msec);
    wchar_t lastToken = 0;
    size_t i = 0;
    while (i < fmt.size()) {
        wchar_t c = fmt[i];
        wchar_t token = (c >= L'a' && c <= L'z') ? (wchar_t)(c - 32) : c;
        if (token >= L'A' && token <= L'Z') {
            if (token == L'M' && lastToken == L'H') token = L'N';
            lastToken = token;
        }
        size_t count = 1;
        auto takeRun = [&] {
            while (i + count < fmt.size() && (fmt[i + count] | 0x20) == (c | 0x20)) ++count;
        };
        switch (token) {
        case L'Y':
            takeRun();
            if (count <= 2) AppendNumber(out, year % 100, 2);
            else AppendNumber(out, year, 4);
            break;
        case L'M':
            takeRun();
            if (count <= 2) AppendNumber(out, month, (int)count);
            else out += count == 3 ? ShortMonthNames[month - 1] : LongMonthNames[month - 1];
            break;
        case L'D':
            takeRun();
            if (count <= 2) AppendNumber(out, day, (int)count);
            else if (count == 3) out += ShortDayNames[DayOfWeek(dt) - 1];
            else if (count == 4) out += LongDayNames[DayOfWeek(dt) - 1];
            else AppendDateTime(out, fs.ShortDateFormat, dt, fs, depth + 1);
            break;
        case L'H':
            takeRun();
            AppendNumber(out, hour, count > 2 ? 2 : (int)count);
            break;
        case L'N':
            takeRun();
            AppendNumber(out, min, count > 2 ? 2 : (int)count);
            break;
        case L'S':
            takeRun();
            AppendNumber(out, sec, count > 2 ? 2 : (int)count);
            break;
        case L'Z':
            takeRun();
            AppendNumber(out, msec, count > 3 ? 3 : (int)count);
            break;
        case L'T':
            takeRun();
            AppendDateTime(out, count == 1 ? fs.ShortTimeFormat : fs.LongTimeFormat, dt, fs, depth + 1);
            break;
        case L'C':
            AppendDateTime(out, fs.ShortDateFormat, dt, fs, depth + 1);
            if (hour || min || sec || msec) {
                out += L' ';
                AppendDateTime(out, fs.LongTimeFormat, dt, fs, depth + 1);
            }
            break;
        case L'/':
            out += fs.DateSeparator;
            break;
        case L':':
            out += fs.TimeSeparator;
            break;
        case L'\'':
        case L'"': {
            size_t end = fmt.find(c, i + 1);
            if (end == std::wstring::npos) end = fmt.size();
            out.append(fmt, i + 1, end - i - 1);
            count = end < fmt.size() ? end - i + 1 : end - i;
            break;
        }
        default:
            out += c;
        }
        i += count;
    }
}

}  // namespace

std::wstring FormatDateTime(const std::wstring& fmt, TDateTime dt, const TFormatSettings& settings) {
    std::wstring out;
    AppendDateTime(out, fmt.empty() ? L"c" : fmt, dt, settings, 0);
    return out;
}

std::wstring FormatDateTime(const std::wstring& fmt, TDateTime dt) {
    return FormatDateTime(fmt, dt, FormatSettings);
}

// ---------------------------------------------------------------------------------------------
// Rounding
// ---------------------------------------------------------------------------------------------

// Values beyond the 64-bit range (and NaN, as 0) saturate: converting them is undefined in C++,
// and the arguments often come from files.
// (A plain range test first: both sit in per-pixel loops.)
namespace {
constexpr long double kInt64Bound = 9223372036854775808.0L;   // 2^63
int64_t Saturated(long double x) { return std::isnan(x) ? 0 : x > 0 ? INT64_MAX : INT64_MIN; }
}  // namespace

int64_t Round(long double x) {   // the default mode: ties to even
    return x > -kInt64Bound && x < kInt64Bound ? std::llrint(x) : Saturated(x);
}

int64_t Trunc(long double x) { return x > -kInt64Bound && x < kInt64Bound ? (int64_t)x : Saturated(x); }

// ---------------------------------------------------------------------------------------------
// UTF-8
// ---------------------------------------------------------------------------------------------

std::wstring Utf8ToWide(const std::string& s) {
    std::wstring out;
    out.reserve(s.size());
    const size_t n = s.size();
    size_t i = 0;
    while (i < n) {
        const unsigned char b = (unsigned char)s[i];
        if (b < 0x80) {
            out += (wchar_t)b;
            ++i;
            continue;
        }
        int extra = b >= 0xF0 && b <= 0xF4 ? 3 : b >= 0xE0 ? (b <= 0xEF ? 2 : -1) : b >= 0xC2 ? 1 : -1;
        uint32_t cp = extra == 3 ? b & 0x07 : extra == 2 ? b & 0x0F : b & 0x1F;
        size_t j = i + 1;
        bool ok = extra > 0;
        for (int k = 0; ok && k < extra; ++k, ++j) {
            if (j >= n || ((unsigned char)s[j] & 0xC0) != 0x80) ok = false;
            else cp = (cp << 6) | ((unsigned char)s[j] & 0x3F);
        }
        // Overlong forms, surrogates and values past U+10FFFF are invalid.
        if (ok && ((extra == 2 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) ||
                   (extra == 3 && (cp < 0x10000 || cp > 0x10FFFF))))
            ok = false;
        if (!ok) {
            out += (wchar_t)0xFFFD;
            ++i;
            while (i < n && ((unsigned char)s[i] & 0xC0) == 0x80 && extra-- > 0) ++i;
            continue;
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out += (wchar_t)(0xD800 + (cp >> 10));
            out += (wchar_t)(0xDC00 + (cp & 0x3FF));
        } else {
            out += (wchar_t)cp;
        }
        i = j;
    }
    return out;
}

std::string WideToUtf8(const std::wstring& s) {
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size(); ++i) {
        uint32_t cp = (uint16_t)s[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < s.size() && (uint16_t)s[i + 1] >= 0xDC00 &&
            (uint16_t)s[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + ((uint16_t)s[++i] - 0xDC00);
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = 0xFFFD;   // a lone surrogate
        }
        if (cp < 0x80) {
            out += (char)cp;
        } else if (cp < 0x800) {
            out += (char)(0xC0 | (cp >> 6));
            out += (char)(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += (char)(0xE0 | (cp >> 12));
            out += (char)(0x80 | ((cp >> 6) & 0x3F));
            out += (char)(0x80 | (cp & 0x3F));
        } else {
            out += (char)(0xF0 | (cp >> 18));
            out += (char)(0x80 | ((cp >> 12) & 0x3F));
            out += (char)(0x80 | ((cp >> 6) & 0x3F));
            out += (char)(0x80 | (cp & 0x3F));
        }
    }
    return out;
}

std::function<void(const std::wstring&)> DebugOutputHook;

void OutputDebugText(const std::wstring& Text) {
    if (DebugOutputHook) {
        DebugOutputHook(Text);
        return;
    }
    OutputDebugTextSystem(Text);
}
