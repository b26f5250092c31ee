// The operating-system half of SysUtils for the native build: code pages through the C
// library's iconv, error texts, the clock and files (names in Wine's shape, see PosixPlatform.h).
//
// The ANSI and OEM code pages are 932, as on the target systems. Code page 932 follows Windows
// where the C library's table differs: a lead byte with a bad or missing trail byte gives U+30FB
// (the trail byte is taken with it unless it is NUL), the single bytes 0x80, 0xA0 and 0xFD-0xFF
// map to U+0080 and U+F8F0-U+F8F3 and back, and U+2014 and U+301C have no code (the C library
// would give them the codes of U+2015 and U+FF5E). Characters without a code become "?". The
// best-fit substitutes Windows picks for some Latin letters ("a" for "ä") are not made here.
#include "SysUtils.h"

#include <fcntl.h>
#include <iconv.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>

#include "PosixPlatform.h"

namespace {

bool IsShiftJisLead(uint8_t b) {
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

// One conversion direction of iconv, opened once per thread and code page.
class TConverter {
public:
    TConverter(const char* to, const char* from) : FHandle(iconv_open(to, from)) {}
    ~TConverter() {
        if (Valid()) iconv_close(FHandle);
    }
    TConverter(const TConverter&) = delete;
    TConverter& operator=(const TConverter&) = delete;
    bool Valid() const { return FHandle != (iconv_t)-1; }

    // Converts as much as it can; returns false with errno set at the first bad or incomplete
    // sequence (in and inLeft then point at it).
    bool Run(const char*& in, size_t& inLeft, std::string& out) {
        iconv(FHandle, nullptr, nullptr, nullptr, nullptr);
        char buffer[1024];
        while (inLeft > 0) {
            char* o = buffer;
            size_t oLeft = sizeof buffer;
            char* i = const_cast<char*>(in);
            const size_t r = iconv(FHandle, &i, &inLeft, &o, &oLeft);
            in = i;
            out.append(buffer, (size_t)(o - buffer));
            if (r == (size_t)-1 && errno != E2BIG) return false;
        }
        return true;
    }

private:
    iconv_t FHandle;
};

std::string IconvName(uint32_t codePage) {
    if (codePage == cpACP || codePage == cpOEMCP || codePage == cpShiftJIS) return "CP932";
    return "CP" + std::to_string(codePage);
}

struct TCodePageConverters {
    uint32_t CodePage = 0xFFFFFFFFu;
    std::unique_ptr<TConverter> Decoder, Encoder;
};

TCodePageConverters& Converters(uint32_t codePage) {
    static thread_local TCodePageConverters cached;
    const uint32_t cp = codePage == cpACP || codePage == cpOEMCP ? cpShiftJIS : codePage;
    if (cached.CodePage != cp) {
        const std::string name = IconvName(cp);
        cached.Decoder = std::make_unique<TConverter>("UTF-16LE", name.c_str());
        cached.Encoder = std::make_unique<TConverter>(name.c_str(), "UTF-16LE");
        cached.CodePage = cp;
    }
    return cached;
}

void AppendUtf16(std::wstring& out, const std::string& utf16) {
    for (size_t i = 0; i + 1 < utf16.size(); i += 2)
        out += (wchar_t)((uint8_t)utf16[i] | (uint8_t)utf16[i + 1] << 8);
}

bool IsShiftJis(uint32_t codePage) {
    return codePage == cpACP || codePage == cpOEMCP || codePage == cpShiftJIS;
}

// The single bytes of code page 932 that Windows maps outside the C library's table.
wchar_t ShiftJisExtraByte(uint8_t b) {
    switch (b) {
    case 0x80: return 0x0080;
    case 0xA0: return 0xF8F0;
    case 0xFD: return 0xF8F1;
    case 0xFE: return 0xF8F2;
    case 0xFF: return 0xF8F3;
    default: return 0;
    }
}

int ShiftJisExtraChar(wchar_t c) {
    switch (c) {
    case 0x0080: return 0x80;
    case 0xF8F0: return 0xA0;
    case 0xF8F1: return 0xFD;
    case 0xF8F2: return 0xFE;
    case 0xF8F3: return 0xFF;
    case 0x2014:
    case 0x301C: return '?';
    default: return -1;
    }
}

}  // namespace

std::wstring AnsiToWide(const std::string& s, uint32_t codePage) {
    if (s.empty()) return {};
    if (codePage == cpUTF8) return Utf8ToWide(s);
    TConverter& decoder = *Converters(codePage).Decoder;
    std::wstring out;
    if (!decoder.Valid()) {   // an unknown code page: bytes as Latin-1
        for (char c : s) out += (wchar_t)(uint8_t)c;
        return out;
    }
    const bool sjis = IsShiftJis(codePage);
    const char* in = s.data();
    size_t left = s.size();
    while (left > 0) {
        std::string utf16;
        const bool done = decoder.Run(in, left, utf16);
        AppendUtf16(out, utf16);
        if (done) break;
        const uint8_t b = (uint8_t)*in;
        size_t skip = 1;
        if (!sjis) {
            out += (wchar_t)0xFFFD;
        } else if (IsShiftJisLead(b)) {
            out += (wchar_t)0x30FB;
            if (left > 1 && in[1] != '\0') skip = 2;
        } else {
            const wchar_t extra = ShiftJisExtraByte(b);
            out += extra ? extra : (wchar_t)0x30FB;
        }
        in += skip;
        left -= skip;
    }
    return out;
}

std::string WideToAnsi(const std::wstring& s, uint32_t codePage) {
    if (s.empty()) return {};
    if (codePage == cpUTF8) return WideToUtf8(s);
    TConverter& encoder = *Converters(codePage).Encoder;
    const bool sjis = IsShiftJis(codePage);
    std::string out;
    // Character by character through runs: the characters Windows treats apart end a run.
    std::string run;
    auto flush = [&] {
        const char* in = run.data();
        size_t left = run.size();
        while (left > 0) {
            if (encoder.Valid() && encoder.Run(in, left, out)) break;
            // One UTF-16 unit without a code (lone surrogates included).
            out += '?';
            in += 2;
            left -= 2;
        }
        run.clear();
    };
    for (wchar_t c : s) {
        const int extra = sjis ? ShiftJisExtraChar(c) : -1;
        if (extra >= 0) {
            flush();
            out += (char)extra;
            continue;
        }
        const uint16_t u = (uint16_t)c;
        run += (char)(u & 0xFF);
        run += (char)(u >> 8);
    }
    flush();
    return out;
}

std::wstring OemToWide(const std::string& s) { return AnsiToWide(s, cpOEMCP); }
std::string WideToOem(const std::wstring& s) { return WideToAnsi(s, cpOEMCP); }

// Letters compare by their lower-case forms in code-unit order; the case decides last.
int32_t CompareLocaleStrings(const std::wstring& S1, const std::wstring& S2, bool ACaseSensitive) {
    const size_t n = S1.size() < S2.size() ? S1.size() : S2.size();
    int32_t caseOrder = 0;
    for (size_t i = 0; i < n; ++i) {
        const wchar_t a = kwposix::LowerChar(S1[i]), b = kwposix::LowerChar(S2[i]);
        if (a != b) return (uint16_t)a < (uint16_t)b ? -1 : 1;
        if (ACaseSensitive && caseOrder == 0 && S1[i] != S2[i]) caseOrder = S1[i] == a ? -1 : 1;
    }
    if (S1.size() != S2.size()) return S1.size() < S2.size() ? -1 : 1;
    return caseOrder;
}

std::wstring SysErrorMessage(uint32_t errorCode) {
    char buffer[256];
    const char* text = strerror_r((int)errorCode, buffer, sizeof buffer);
    std::wstring message = Utf8ToWide(text ? text : "");
    while (!message.empty() && (message.back() <= L' ' || message.back() == L'.')) message.pop_back();
    return message;
}

void RaiseLastOSError() { RaiseLastOSError((uint32_t)errno); }

TDateTime Now() {
    struct timeval tv;
    gettimeofday(&tv, nullptr);
    const time_t t = tv.tv_sec;
    struct tm local;
    localtime_r(&t, &local);
    const TDateTime date = EncodeDate((uint16_t)(local.tm_year + 1900), (uint16_t)(local.tm_mon + 1),
                                      (uint16_t)local.tm_mday);
    const uint16_t sec = (uint16_t)(local.tm_sec > 59 ? 59 : local.tm_sec);
    const TDateTime time = EncodeTime((uint16_t)local.tm_hour, (uint16_t)local.tm_min, sec,
                                      (uint16_t)(tv.tv_usec / 1000));
    return date < 0 ? date - time : date + time;
}

TDateTime Date() {
    const time_t t = time(nullptr);
    struct tm local;
    localtime_r(&t, &local);
    return EncodeDate((uint16_t)(local.tm_year + 1900), (uint16_t)(local.tm_mon + 1), (uint16_t)local.tm_mday);
}

// ---- Files ----------------------------------------------------------------------------------

namespace {

// Closes a file descriptor on every exit path.
class TPosixFile {
public:
    explicit TPosixFile(int AFd) : FFd(AFd) {}
    ~TPosixFile() {
        if (FFd >= 0) close(FFd);
    }
    TPosixFile(const TPosixFile&) = delete;
    TPosixFile& operator=(const TPosixFile&) = delete;
    int Get() const { return FFd; }

private:
    int FFd;
};

bool StatName(const std::wstring& AName, struct stat& AInfo) {
    return stat(kwposix::PosixPath(AName).c_str(), &AInfo) == 0;
}

}  // namespace

uint32_t GetLastOSError() { return (uint32_t)errno; }

bool FileExists(const std::wstring& AFileName) {
    struct stat info;
    return StatName(AFileName, info) && !S_ISDIR(info.st_mode);
}

bool DirectoryExists(const std::wstring& ADirectory) {
    struct stat info;
    return StatName(ADirectory, info) && S_ISDIR(info.st_mode);
}

bool ReadWholeFile(const std::wstring& AFileName, std::string& AData, uint64_t AMaxSize) {
    TPosixFile file(open(kwposix::PosixPath(AFileName).c_str(), O_RDONLY | O_CLOEXEC));
    if (file.Get() < 0) return false;
    struct stat info;
    if (fstat(file.Get(), &info) != 0) return false;
    if (S_ISDIR(info.st_mode)) {
        errno = EISDIR;
        return false;
    }
    if (info.st_size < 0 || (uint64_t)info.st_size > AMaxSize || (uint64_t)info.st_size > SIZE_MAX) {
        errno = EFBIG;
        return false;
    }
    AData.resize((size_t)info.st_size);
    for (size_t done = 0; done < AData.size();) {
        const ssize_t got = read(file.Get(), &AData[done], AData.size() - done);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) {
            if (got == 0) errno = EIO;
            return false;
        }
        done += (size_t)got;
    }
    return true;
}

bool WriteWholeFile(const std::wstring& AFileName, const std::string& AData, bool AFlush) {
    TPosixFile file(open(kwposix::PosixPath(AFileName).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    if (file.Get() < 0) return false;
    for (size_t done = 0; done < AData.size();) {
        const ssize_t written = write(file.Get(), AData.data() + done, AData.size() - done);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) {
            if (written == 0) errno = EIO;
            return false;
        }
        done += (size_t)written;
    }
    return !AFlush || fsync(file.Get()) == 0;
}

// Names as Windows makes them: the prefix's first three characters, four hexadecimal digits and
// ".tmp", the first free one after a starting point taken from the clock.
bool CreateTempFileIn(const std::wstring& AFolder, const std::wstring& APrefix, std::wstring& AFileName) {
    std::wstring folder = AFolder;
    if (!folder.empty() && folder.back() != L'\\' && folder.back() != L'/') folder += L'\\';
    const std::wstring prefix = APrefix.substr(0, 3);
    struct timeval tv;
    gettimeofday(&tv, nullptr);
    const uint32_t start = (uint32_t)(tv.tv_usec ^ getpid());
    for (uint32_t n = 0; n < 0x10000; ++n) {
        const uint32_t unique = (start + n) & 0xFFFF;
        if (unique == 0) continue;
        const std::wstring name = folder + prefix + IntToHex(unique, 4) + L".tmp";
        const int fd = open(kwposix::PosixPath(name).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd >= 0) {
            close(fd);
            AFileName = name;
            return true;
        }
        if (errno != EEXIST) return false;
    }
    errno = EEXIST;
    return false;
}

bool ReplaceFileWith(const std::wstring& ATarget, const std::wstring& ASource) {
    const std::string target = kwposix::PosixPath(ATarget);
    if (rename(kwposix::PosixPath(ASource).c_str(), target.c_str()) != 0) return false;
    // The new name itself reaches the disk with its folder.
    const size_t slash = target.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : target.substr(0, slash);
    TPosixFile dir(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.Get() >= 0) fsync(dir.Get());
    return true;
}

bool RemoveFile(const std::wstring& AFileName) { return unlink(kwposix::PosixPath(AFileName).c_str()) == 0; }

void OutputDebugTextSystem(const std::wstring& Text) { std::fprintf(stderr, "%s\n", WideToUtf8(Text).c_str()); }
