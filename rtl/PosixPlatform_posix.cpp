#include "PosixPlatform.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <cwctype>
#include <vector>

#include <locale.h>

#include "SysUtils.h"

namespace kwposix {

namespace {

bool IsSeparator(wchar_t c) {
    return c == L'\\' || c == L'/';
}

bool HasDriveZ(const std::wstring& name) {
    return name.size() >= 2 && (name[0] == L'Z' || name[0] == L'z') && name[1] == L':';
}

std::wstring CurrentDir() {
    std::vector<char> buffer(4096);
    while (!getcwd(buffer.data(), buffer.size())) {
        if (errno != ERANGE) return L"Z:\\";
        buffer.resize(buffer.size() * 2);
    }
    return WinePath(buffer.data());
}

locale_t Utf8Locale() {
    static const locale_t locale = [] {
        locale_t l = newlocale(LC_CTYPE_MASK, "C.UTF-8", (locale_t)0);
        return l ? l : newlocale(LC_CTYPE_MASK, "C", (locale_t)0);
    }();
    return locale;
}

wchar_t MapChar(wchar_t c, bool upper) {
    if (c < 0x80) {
        if (upper) return c >= L'a' && c <= L'z' ? (wchar_t)(c - 32) : c;
        return c >= L'A' && c <= L'Z' ? (wchar_t)(c + 32) : c;
    }
    if (c == 0x212B || (c >= 0xD800 && c <= 0xDFFF)) return c;
    const wchar_t m = (wchar_t)(upper ? towupper_l((wint_t)c, Utf8Locale()) : towlower_l((wint_t)c, Utf8Locale()));
    return m < 0x80 ? c : m;
}

}  // namespace

std::string PosixPath(const std::wstring& name) {
    std::wstring n = HasDriveZ(name) ? name.substr(2) : name;
    for (wchar_t& c : n)
        if (c == L'\\') c = L'/';
    return WideToUtf8(n);
}

std::wstring WinePath(const std::string& posixPath) {
    std::wstring n = Utf8ToWide(posixPath);
    for (wchar_t& c : n)
        if (c == L'/') c = L'\\';
    return !n.empty() && n[0] == L'\\' ? L"Z:" + n : n;
}

std::wstring FullPath(const std::wstring& name) {
    if (name.empty()) return name;
    std::wstring drive, rest;
    if (name.size() >= 2 && IsSeparator(name[0]) && IsSeparator(name[1])) {
        drive = L"\\\\";   // a network path: its server and share stay as they are
        rest = name.substr(2);
    } else if (name.size() >= 2 && name[1] == L':') {
        drive = name.substr(0, 2);
        rest = name.substr(2);
        if (rest.empty() || !IsSeparator(rest[0])) rest = CurrentDir().substr(2) + L'\\' + rest;
    } else if (IsSeparator(name[0])) {
        drive = L"Z:";
        rest = name;
    } else {
        const std::wstring cwd = CurrentDir();
        drive = cwd.substr(0, 2);
        rest = cwd.substr(2) + L'\\' + name;
    }
    std::vector<std::wstring> parts;
    std::wstring part;
    for (size_t i = 0; i <= rest.size(); ++i) {
        if (i < rest.size() && !IsSeparator(rest[i])) {
            part += rest[i];
            continue;
        }
        if (part == L"..") {
            if (!parts.empty() && drive != L"\\\\") parts.pop_back();
            else if (drive == L"\\\\") parts.push_back(part);
        } else if (!part.empty() && part != L".") {
            parts.push_back(part);
        }
        part.clear();
    }
    std::wstring out = drive;
    for (size_t i = 0; i < parts.size(); ++i) {
        if (i > 0 || drive != L"\\\\") out += L'\\';
        out += parts[i];
    }
    if (parts.empty() && drive != L"\\\\") out += L'\\';
    else if (IsSeparator(name.back()) && out.back() != L'\\') out += L'\\';
    return out;
}

wchar_t LowerChar(wchar_t c) {
    return MapChar(c, false);
}

wchar_t UpperChar(wchar_t c) {
    return MapChar(c, true);
}

int32_t DosDateTime(int64_t unixTime) {
    const time_t t = (time_t)unixTime;
    struct tm local;
    if (!localtime_r(&t, &local)) return -1;
    const int year = local.tm_year + 1900;
    if (year < 1980 || year > 2107) return -1;
    const uint32_t date = (uint32_t)(year - 1980) << 9 | (uint32_t)(local.tm_mon + 1) << 5 | (uint32_t)local.tm_mday;
    const uint32_t time = (uint32_t)local.tm_hour << 11 | (uint32_t)local.tm_min << 5 | (uint32_t)local.tm_sec / 2;
    return (int32_t)(date << 16 | time);
}

bool FileFacts(const std::string& posixPath, TFileFacts& facts) {
    struct stat st;
    if (stat(posixPath.c_str(), &st) != 0) return false;
    facts = TFileFacts();
    if (S_ISDIR(st.st_mode)) {
        facts.Attr = 0x10;
    } else {
        facts.Attr = 0x20;
        if (!(st.st_mode & S_IWUSR)) facts.Attr |= 0x01;
        facts.Size = (int64_t)st.st_size;
    }
    std::string base = posixPath;
    while (base.size() > 1 && base.back() == '/') base.pop_back();
    base = base.substr(base.find_last_of('/') + 1);
    if (base.size() > 1 && base[0] == '.' && base != "..") facts.Attr |= 0x02;
    facts.DosTime = DosDateTime((int64_t)st.st_mtime);
    return true;
}

}  // namespace kwposix
