// The download through WinInet, bound by name at run time. Every string handed to it is ANSI.
#include "picturaio_url.h"

#include <windows.h>
#include <wininet.h>

#include <algorithm>
#include <vector>

#include "Classes.h"
#include "SysUtils.h"

namespace {

struct TWinInet {
    HMODULE Module = nullptr;
    decltype(&::InternetOpenA) InternetOpenA = nullptr;
    decltype(&::InternetCloseHandle) InternetCloseHandle = nullptr;
    decltype(&::InternetConnectA) InternetConnectA = nullptr;
    decltype(&::HttpOpenRequestA) HttpOpenRequestA = nullptr;
    decltype(&::HttpSendRequestA) HttpSendRequestA = nullptr;
    decltype(&::HttpQueryInfoA) HttpQueryInfoA = nullptr;
    decltype(&::InternetReadFile) InternetReadFile = nullptr;
    decltype(&::InternetReadFileExA) InternetReadFileExA = nullptr;
    decltype(&::InternetQueryOptionA) InternetQueryOptionA = nullptr;
    decltype(&::InternetSetOptionA) InternetSetOptionA = nullptr;
    decltype(&::InternetGetLastResponseInfoA) InternetGetLastResponseInfoA = nullptr;
    decltype(&::FtpOpenFileA) FtpOpenFileA = nullptr;
};

TWinInet gWinInet;

template <class T>
void Bind(T& Entry, const char* Name) {
    Entry = reinterpret_cast<T>(reinterpret_cast<void*>(GetProcAddress(gWinInet.Module, Name)));
}

// Closes the request, connection and session handles that are open, on every path.
struct THandles {
    HINTERNET Session = nullptr, Connection = nullptr, Request = nullptr;
    ~THandles() {
        for (HINTERNET handle : {Request, Connection, Session})
            if (handle) gWinInet.InternetCloseHandle(handle);
    }
};

constexpr const char* kAgent = "Mozilla/4.*";
constexpr DWORD kBufferSize = 65536;
constexpr DWORD kUnknownLengthBlock = 1024;
constexpr DWORD kHttpFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_KEEP_CONNECTION;
// https: secure, and a certificate whose name or date does not fit, and redirects between http and
// https, are accepted.
constexpr DWORD kHttpsFlags = INTERNET_FLAG_SECURE | INTERNET_FLAG_IGNORE_CERT_CN_INVALID |
                              INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTP | INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTPS |
                              INTERNET_FLAG_IGNORE_CERT_DATE_INVALID;

const char* OrNull(const std::string& S) { return S.empty() ? nullptr : S.c_str(); }

void SetStringOption(HINTERNET Handle, DWORD Option, const std::string& Value) {
    if (Value.empty()) return;
    gWinInet.InternetSetOptionA(Handle, Option, const_cast<char*>(Value.c_str()),
                                static_cast<DWORD>(Value.size() + 1));
}

bool IsAborting(const std::atomic<bool>* Aborting) { return Aborting && Aborting->load(); }

// A header of the response as text ("" when it is missing).
std::string QueryText(HINTERNET Request, DWORD Level) {
    char text[256] = {};
    DWORD size = sizeof(text) - 1;
    if (!gWinInet.HttpQueryInfoA(Request, Level, text, &size, nullptr)) return "";
    return std::string(text, std::min<DWORD>(size, sizeof(text) - 1));
}

}  // namespace

void IEBindWinInet() {
    if (gWinInet.Module) return;
    gWinInet.Module = LoadLibraryW(L"wininet.dll");
    if (!gWinInet.Module) return;
    Bind(gWinInet.InternetOpenA, "InternetOpenA");
    Bind(gWinInet.InternetCloseHandle, "InternetCloseHandle");
    Bind(gWinInet.InternetConnectA, "InternetConnectA");
    Bind(gWinInet.HttpOpenRequestA, "HttpOpenRequestA");
    Bind(gWinInet.HttpSendRequestA, "HttpSendRequestA");
    Bind(gWinInet.HttpQueryInfoA, "HttpQueryInfoA");
    Bind(gWinInet.InternetReadFile, "InternetReadFile");
    Bind(gWinInet.InternetReadFileExA, "InternetReadFileExA");
    Bind(gWinInet.InternetQueryOptionA, "InternetQueryOptionA");
    Bind(gWinInet.InternetSetOptionA, "InternetSetOptionA");
    Bind(gWinInet.InternetGetLastResponseInfoA, "InternetGetLastResponseInfoA");
    Bind(gWinInet.FtpOpenFileA, "FtpOpenFileA");
}

void IEUnbindWinInet() {
    if (gWinInet.Module) FreeLibrary(gWinInet.Module);
    gWinInet = TWinInet();
}

bool IEWinInetBound() { return gWinInet.Module != nullptr; }

bool IEDownloadURL(const std::wstring& URL, TMemoryStream* Stream, const std::wstring& Proxy,
                   std::wstring& ContentType, std::atomic<bool>* Aborting, TObject* Sender,
                   const TIEProgressEvent& Progress, const std::wstring& ProxyUser,
                   const std::wstring& ProxyPassword) {
    TIEURLParts url;
    if (!IEParseURL(URL, url) || !Stream) return false;
    // A library without one of the entries used here is as good as none.
    const TWinInet& api = gWinInet;
    if (!api.Module || !api.InternetOpenA || !api.InternetCloseHandle || !api.InternetConnectA ||
        !api.HttpOpenRequestA || !api.HttpSendRequestA || !api.HttpQueryInfoA || !api.InternetReadFile ||
        !api.InternetReadFileExA || !api.InternetQueryOptionA || !api.InternetSetOptionA || !api.FtpOpenFileA)
        return false;

    const bool ftp = url.Scheme == 3;
    const std::string host = WideToAnsi(url.Host), user = WideToAnsi(url.User),
                      password = WideToAnsi(url.Password), proxy = WideToAnsi(Proxy);
    THandles h;
    if (proxy.empty())
        h.Session = api.InternetOpenA(kAgent, INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
    else
        h.Session = api.InternetOpenA(kAgent, INTERNET_OPEN_TYPE_PROXY, proxy.c_str(), nullptr, 0);
    if (!h.Session) return false;
    h.Connection = api.InternetConnectA(h.Session, host.c_str(), static_cast<INTERNET_PORT>(url.Port), OrNull(user),
                                        OrNull(password), ftp ? INTERNET_SERVICE_FTP : INTERNET_SERVICE_HTTP, 0, 0);
    if (!h.Connection) return false;

    int64_t expected = 0;
    if (!ftp) {
        const std::string path = WideToAnsi(url.Path);
        const DWORD flags = kHttpFlags | (url.Scheme == 2 ? kHttpsFlags : 0);
        h.Request = api.HttpOpenRequestA(h.Connection, "GET", path.c_str(), "HTTP/1.1", nullptr, nullptr, flags, 0);
        if (!h.Request) return false;
        DWORD security = 0, size = sizeof(security);
        if (api.InternetQueryOptionA(h.Request, INTERNET_OPTION_SECURITY_FLAGS, &security, &size)) {
            security |= SECURITY_FLAG_IGNORE_UNKNOWN_CA | SECURITY_FLAG_IGNORE_REVOCATION | SECURITY_FLAG_IGNORE_WRONG_USAGE;
            api.InternetSetOptionA(h.Request, INTERNET_OPTION_SECURITY_FLAGS, &security, sizeof(security));
        }
        // The proxy's own credentials go to the proxy, never to the server.
        if (!proxy.empty()) {
            SetStringOption(h.Request, INTERNET_OPTION_PROXY_USERNAME, WideToAnsi(ProxyUser));
            SetStringOption(h.Request, INTERNET_OPTION_PROXY_PASSWORD, WideToAnsi(ProxyPassword));
        }
        if (!api.HttpSendRequestA(h.Request, nullptr, 0, nullptr, 0)) return false;
        // An error page (404, 500, a refused login) is not the resource.
        DWORD status = 0;
        size = sizeof(status);
        if (!api.HttpQueryInfoA(h.Request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr) ||
            status < 200 || status > 299)
            return false;
        const std::string type = QueryText(h.Request, HTTP_QUERY_CONTENT_TYPE);
        const size_t slash = type.find('/');
        ContentType = slash == std::string::npos ? L"" : AnsiToWide(type.substr(slash + 1));
        int64_t length = 0;
        if (TryStrToInt64(AnsiToWide(QueryText(h.Request, HTTP_QUERY_CONTENT_LENGTH)), length) && length > 0)
            expected = length;
    } else {
        std::wstring path = url.Path.substr(1);
        h.Request = api.FtpOpenFileA(h.Connection, WideToAnsi(path).c_str(), GENERIC_READ, FTP_TRANSFER_TYPE_BINARY, 0);
        if (!h.Request) return false;
        // The extension without its dot, at most ten characters.
        const size_t dot = path.rfind(L'.');
        const bool hasExt = dot != std::wstring::npos && path.find(L'/', dot) == std::wstring::npos;
        ContentType = hasExt ? path.substr(dot + 1, 10) : L"";
    }

    std::vector<char> buffer(kBufferSize);
    if (expected > 0) {
        do {
            INTERNET_BUFFERSA block{};
            block.dwStructSize = sizeof(block);
            block.lpvBuffer = buffer.data();
            block.dwBufferLength = kBufferSize;
            if (!api.InternetReadFileExA(h.Request, &block, IRF_NO_WAIT, 0) || block.dwBufferLength == 0) break;
            Stream->WriteBuffer(buffer.data(), static_cast<int32_t>(block.dwBufferLength));
            if (Progress) {
                // A server that sends more than it announced does not take the report past 100.
                const int64_t percent = std::min<int64_t>(Stream->GetSize() * 100 / expected, 100);
                Progress(Sender, static_cast<int32_t>(percent));
            }
        } while (Stream->GetSize() < expected && !IsAborting(Aborting));
    } else {
        for (;;) {
            DWORD read = 0;
            if (!api.InternetReadFile(h.Request, buffer.data(), kUnknownLengthBlock, &read) || read == 0) break;
            Stream->WriteBuffer(buffer.data(), static_cast<int32_t>(read));
            if (IsAborting(Aborting)) break;
        }
    }
    return true;
}
