// The general exception classes and the system utilities that the rest of the code takes for
// granted: formatting, integer conversion, dates and times, rounding and code-page conversion.
#pragma once
#include <cstdint>
#include <exception>
#include <functional>
#include <string>
#include <type_traits>

struct _SYSTEMTIME;

// ---------------------------------------------------------------------------------------------
// Exceptions
// ---------------------------------------------------------------------------------------------

// Base of every exception this code raises: a UTF-16 message, and the class name for logging
// (C++ base constructors cannot see the derived class, so each class passes its own name).
class Exception : public std::exception {
public:
    explicit Exception(std::wstring message, const wchar_t* className = L"Exception");
    ~Exception() override = default;

    const std::wstring& Message() const noexcept { return FMessage; }
    void SetMessage(std::wstring message);
    const wchar_t* ClassName() const noexcept { return FClassName; }
    // The message in UTF-8, for std::exception users (test output, terminate handlers).
    const char* what() const noexcept override { return FWhat.c_str(); }

private:
    std::wstring FMessage;
    std::string FWhat;
    const wchar_t* FClassName;
};

// Declares an exception class derived from Base that names itself, and lets its own
// descendants pass their names.
#define KW_DECLARE_EXCEPTION(Name, Base)                                                     \
    class Name : public Base {                                                               \
    public:                                                                                  \
        explicit Name(std::wstring message, const wchar_t* className = L## #Name)            \
            : Base(std::move(message), className) {}                                         \
    }

KW_DECLARE_EXCEPTION(EConvertError, Exception);
KW_DECLARE_EXCEPTION(EListError, Exception);
KW_DECLARE_EXCEPTION(EStreamError, Exception);
KW_DECLARE_EXCEPTION(EFCreateError, EStreamError);
KW_DECLARE_EXCEPTION(EFOpenError, EStreamError);
KW_DECLARE_EXCEPTION(EReadError, EStreamError);
KW_DECLARE_EXCEPTION(EWriteError, EStreamError);
KW_DECLARE_EXCEPTION(EResNotFound, Exception);
KW_DECLARE_EXCEPTION(EOutOfMemory, Exception);
// A picture that cannot be read, made or saved (the drawing layer and the image codecs raise it).
KW_DECLARE_EXCEPTION(EInvalidGraphic, Exception);

// The silent exception: callers that catch it end an operation without a message.
class EAbort : public Exception {
public:
    explicit EAbort(std::wstring message = L"Operation aborted", const wchar_t* className = L"EAbort")
        : Exception(std::move(message), className) {}
};

// A failed operating-system call, with the system's error code.
class EOSError : public Exception {
public:
    EOSError(std::wstring message, uint32_t errorCode, const wchar_t* className = L"EOSError")
        : Exception(std::move(message), className), ErrorCode(errorCode) {}
    uint32_t ErrorCode;
};

// The class library's standard message texts.
extern const wchar_t* const SFOpenErrorEx;     // Cannot open file "%s". %s
extern const wchar_t* const SFCreateErrorEx;   // Cannot create file "%s". %s
extern const wchar_t* const SReadError;        // Stream read error
extern const wchar_t* const SWriteError;       // Stream write error
extern const wchar_t* const SMemoryStreamError;
extern const wchar_t* const SListIndexError;   // List index out of bounds (%d)
extern const wchar_t* const SDuplicateString;
extern const wchar_t* const SSortedListError;
extern const wchar_t* const SInvalidInteger;   // '%s' is not a valid integer value
extern const wchar_t* const SInvalidFormat;
extern const wchar_t* const SArgumentMissing;
extern const wchar_t* const SDateEncodeError;
extern const wchar_t* const STimeEncodeError;
extern const wchar_t* const SOSError;          // System Error.  Code: %d.\r\n%s
extern const wchar_t* const SUnkOSError;
extern const wchar_t* const SResNotFound;
extern const wchar_t* const SCantWriteResourceStream;
extern const wchar_t* const SCantWriteReadOnlyStream;
extern const wchar_t* const SAssignError;
extern const wchar_t* const SOperationAborted;

// ---------------------------------------------------------------------------------------------
// Format
// ---------------------------------------------------------------------------------------------

// One argument of Format: an integer (32- or 64-bit, as the caller's type), a float, a text or a
// pointer. Built implicitly from the usual types.
struct TFormatArg {
    enum TKind { fkInt32, fkInt64, fkUInt64, fkFloat, fkString, fkPointer };

    template <class T, std::enable_if_t<(std::is_integral_v<T> || std::is_enum_v<T>) &&
                                            !std::is_same_v<T, bool> &&
                                            !std::is_same_v<T, wchar_t> && !std::is_same_v<T, char>,
                                        int> = 0>
    TFormatArg(T v) {
        using U = std::conditional_t<std::is_enum_v<T>, std::underlying_type<T>, std::common_type<T>>;
        using I = typename U::type;
        const I i = static_cast<I>(v);
        if constexpr (std::is_signed_v<I> && sizeof(I) <= 4) { Kind = fkInt32; Int = i; }
        else if constexpr (std::is_signed_v<I> || sizeof(I) <= 4) { Kind = fkInt64; Int = (int64_t)i; }
        else { Kind = fkUInt64; Int = (int64_t)(uint64_t)i; }
    }
    TFormatArg(float v) : Kind(fkFloat), Float(v) {}
    TFormatArg(double v) : Kind(fkFloat), Float(v) {}
    TFormatArg(long double v) : Kind(fkFloat), Float(v) {}
    TFormatArg(const wchar_t* s) : Kind(fkString), Str(s ? s : L"") {}
    TFormatArg(const std::wstring& s) : Kind(fkString), Str(s) {}
    TFormatArg(wchar_t c) : Kind(fkString), Str(1, c) {}
    // Byte strings are taken as ANSI text.
    TFormatArg(const char* s);
    TFormatArg(const std::string& s);
    TFormatArg(char c);
    TFormatArg(const void* p) : Kind(fkPointer), Int((int64_t)(uintptr_t)p) {}

    TKind Kind;
    int64_t Int = 0;
    long double Float = 0;
    std::wstring Str;
};

// Formats by the class library's rules: "%" [index ":"] ["-"] [width] ["." precision] type, with
// the types d, u, x (integers; the precision is the least number of digits, zero-padded),
// s (texts; the precision is the most characters), e, f, g, n (floats), p (pointers) and "%%".
// An explicit index sets the argument that this and the following conversions take. A bad format
// or a missing or unfit argument raises EConvertError.
std::wstring FormatArgs(const std::wstring& fmt, const TFormatArg* args, size_t count);

template <class... A>
std::wstring Format(const std::wstring& fmt, const A&... args) {
    const TFormatArg list[] = {TFormatArg(args)..., TFormatArg(0)};
    return FormatArgs(fmt, list, sizeof...(A));
}

// ---------------------------------------------------------------------------------------------
// Integers and texts
// ---------------------------------------------------------------------------------------------

std::wstring IntToStr(int64_t value);
// Upper-case hexadecimal with at least `digits` digits; negative 32-bit values give their
// 32-bit pattern, 64-bit values their 64-bit pattern.
std::wstring IntToHex(uint64_t value, int digits);
template <class T, std::enable_if_t<std::is_integral_v<T>, int> = 0>
std::wstring IntToHex(T value, int digits) {
    if constexpr (sizeof(T) <= 4) return IntToHex((uint64_t)(std::make_unsigned_t<T>)value, digits);
    else return IntToHex((uint64_t)value, digits);
}

// Decimal, or hexadecimal after "$", "0x" or "x"; leading blanks and a sign are allowed, nothing
// may follow. The raising forms raise EConvertError ("'%s' is not a valid integer value").
bool TryStrToInt(const std::wstring& s, int32_t& value);
bool TryStrToInt64(const std::wstring& s, int64_t& value);
int32_t StrToInt(const std::wstring& s);
int64_t StrToInt64(const std::wstring& s);
int32_t StrToIntDef(const std::wstring& s, int32_t def);
int64_t StrToInt64Def(const std::wstring& s, int64_t def);

// Texts compared by the user's locale: -1, 0 or 1. Without ACaseSensitive, letters that differ
// only in case are equal; with it, they are ordered after the rest of the text is.
int32_t CompareLocaleStrings(const std::wstring& S1, const std::wstring& S2, bool ACaseSensitive);

std::wstring UpperCase(const std::wstring& s);   // A..Z only
std::wstring LowerCase(const std::wstring& s);   // a..z only

// The system's text for an error code, without the trailing line break and full stop.
std::wstring SysErrorMessage(uint32_t errorCode);
// Raises EOSError for the calling thread's last error (or the given code).
[[noreturn]] void RaiseLastOSError();
[[noreturn]] void RaiseLastOSError(uint32_t errorCode);

// ---------------------------------------------------------------------------------------------
// Dates and times
// ---------------------------------------------------------------------------------------------

// Days since 1899-12-30; the fraction is the time of day.
using TDateTime = double;

constexpr int32_t HoursPerDay = 24;
constexpr int32_t MinsPerDay = 24 * 60;
constexpr int32_t SecsPerDay = MinsPerDay * 60;
constexpr int32_t MSecsPerDay = SecsPerDay * 1000;

struct TFormatSettings {
    wchar_t DateSeparator = L'/';
    wchar_t TimeSeparator = L':';
    std::wstring ShortDateFormat = L"yyyy/mm/dd";
    std::wstring ShortTimeFormat = L"h:mm";
    std::wstring LongTimeFormat = L"h:mm:ss";
};

// The settings FormatDateTime uses when none are given (fixed, not read from the locale).
extern TFormatSettings FormatSettings;

TDateTime Now();
TDateTime Date();
bool IsLeapYear(uint16_t year);
bool TryEncodeDate(uint16_t year, uint16_t month, uint16_t day, TDateTime& result);
bool TryEncodeTime(uint16_t hour, uint16_t min, uint16_t sec, uint16_t msec, TDateTime& result);
TDateTime EncodeDate(uint16_t year, uint16_t month, uint16_t day);                 // EConvertError
TDateTime EncodeTime(uint16_t hour, uint16_t min, uint16_t sec, uint16_t msec);    // EConvertError
void DecodeDate(TDateTime dt, uint16_t& year, uint16_t& month, uint16_t& day);
void DecodeTime(TDateTime dt, uint16_t& hour, uint16_t& min, uint16_t& sec, uint16_t& msec);
int32_t DayOfWeek(TDateTime dt);   // 1 = Sunday .. 7 = Saturday

void DateTimeToSystemTime(TDateTime dt, _SYSTEMTIME& st);
TDateTime SystemTimeToDateTime(const _SYSTEMTIME& st);
// DOS date-time: date in the high word, time (2-second steps) in the low word. Raises
// EConvertError for an invalid date or time.
TDateTime FileDateToDateTime(int32_t fileDate);
int32_t DateTimeToFileDate(TDateTime dt);

// Formats by the letters y, yy, yyyy, m, mm, mmm, mmmm (minutes right after an hour), d, dd,
// ddd, dddd, ddddd (short date), h, hh, n, nn, s, ss, z, zzz, t (short time), tt (long time),
// c (short date, then the long time unless midnight), "/" and ":" (the settings' separators) and
// literals in '..' or "..". Letters are case-insensitive. An empty format is "c".
std::wstring FormatDateTime(const std::wstring& fmt, TDateTime dt);
std::wstring FormatDateTime(const std::wstring& fmt, TDateTime dt, const TFormatSettings& settings);

// ---------------------------------------------------------------------------------------------
// Rounding
// ---------------------------------------------------------------------------------------------

// To the nearest integer, ties to even (Round(8.5) = 8, Round(9.5) = 10, Round(-2.5) = -2).
// Beyond the 64-bit range both saturate, and NaN gives 0.
int64_t Round(long double x);
// Toward zero.
int64_t Trunc(long double x);

// ---------------------------------------------------------------------------------------------
// Code pages
// ---------------------------------------------------------------------------------------------

// Our own names for the system's code-page identifiers (the Win32 macros clash with constants).
constexpr uint32_t cpACP = 0;         // the ANSI code page (932 on the target systems)
constexpr uint32_t cpOEMCP = 1;       // the OEM code page
constexpr uint32_t cpUTF8 = 65001;
constexpr uint32_t cpShiftJIS = 932;

// Characters the code page lacks become the code page's default character.
std::wstring AnsiToWide(const std::string& s, uint32_t codePage = cpACP);
std::string WideToAnsi(const std::wstring& s, uint32_t codePage = cpACP);
std::wstring OemToWide(const std::string& s);
std::string WideToOem(const std::wstring& s);
// Invalid sequences become U+FFFD.
std::wstring Utf8ToWide(const std::string& s);
std::string WideToUtf8(const std::wstring& s);

// ---------------------------------------------------------------------------------------------
// Debug trace
// ---------------------------------------------------------------------------------------------

// Writes one line for a debugger: the system's debug-string channel on Windows, standard error
// natively. A set DebugOutputHook receives the line instead (tests read what was traced there).
void OutputDebugText(const std::wstring& Text);
extern std::function<void(const std::wstring&)> DebugOutputHook;
// The platform half of OutputDebugText (SysUtils_win.cpp, SysUtils_posix.cpp).
void OutputDebugTextSystem(const std::wstring& Text);

// ---------------------------------------------------------------------------------------------
// Files
// ---------------------------------------------------------------------------------------------

// Whole files and the replacement of a file through a temporary one. Names are the system's
// (the native build takes Wine's shape: "Z:\..." for the root, "\" between folders). A false
// result leaves the system's error code for GetLastOSError.

// The calling thread's last system error code.
uint32_t GetLastOSError();

// True for an existing file, false for a folder or a name that does not exist.
bool FileExists(const std::wstring& AFileName);
// True for an existing folder.
bool DirectoryExists(const std::wstring& ADirectory);

// The whole file into AData (shared for reading and writing with other processes). False when it
// cannot be opened, is larger than AMaxSize bytes or cannot be read to its end; AData is then
// unspecified.
bool ReadWholeFile(const std::wstring& AFileName, std::string& AData, uint64_t AMaxSize);
// Creates the file, or empties an existing one, and writes AData; with AFlush the data has
// reached the disk when it returns true.
bool WriteWholeFile(const std::wstring& AFileName, const std::string& AData, bool AFlush = false);

// Creates a new empty file in AFolder whose name starts with APrefix (its first three
// characters) and is unique there; AFileName receives its full name.
bool CreateTempFileIn(const std::wstring& AFolder, const std::wstring& APrefix, std::wstring& AFileName);
// Moves ASource onto ATarget in one step, replacing ATarget when it exists, written through to
// the disk: a reader sees the old file or the new one, never a part.
bool ReplaceFileWith(const std::wstring& ATarget, const std::wstring& ASource);
bool RemoveFile(const std::wstring& AFileName);
