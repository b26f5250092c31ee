// The address parser and the I/O component's URL loader; the transfer itself is the platform's
// (picturaio_url_win.cpp, picturaio_url_posix.cpp).
#include "picturaio_url.h"

#include <memory>

#include "Classes.h"
#include "iecoreutils_text.h"
#include "picturaio.h"
#include "picturaio_thread.h"

namespace {

// The port of a port text: decimal digits for a number from 0 to 65535, anything else 80.
int32_t PortOf(const std::wstring& Text) {
    if (Text.empty() || Text.size() > 5) return 80;
    int32_t port = 0;
    for (wchar_t c : Text) {
        if (c < L'0' || c > L'9') return 80;
        port = port * 10 + (c - L'0');
    }
    return port <= 65535 ? port : 80;
}

}  // namespace

bool IEParseURL(const std::wstring& URL, TIEURLParts& Parts) {
    Parts = TIEURLParts();
    Parts.Scheme = IEGetURLType(URL);
    static const size_t kPrefix[] = {0, 7, 8, 6};   // "http://", "https://", "ftp://"
    if (Parts.Scheme < 1 || Parts.Scheme > 3) return false;
    const std::wstring rest = URL.substr(kPrefix[Parts.Scheme]);
    const size_t slash = rest.find(L'/');
    if (slash == std::wstring::npos) return false;
    std::wstring server = rest.substr(0, slash);
    Parts.Path = rest.substr(slash);

    const size_t at = server.rfind(L'@');
    if (at != std::wstring::npos) {
        if (server.find(L':') == std::wstring::npos) return false;
        // The host follows the last "@": a user name may itself hold one.
        const std::wstring credentials = server.substr(0, at);
        server = server.substr(at + 1);
        const size_t colon = credentials.find(L':');
        Parts.User = credentials.substr(0, colon);
        if (colon != std::wstring::npos) Parts.Password = credentials.substr(colon + 1);
    }
    const size_t colon = server.find(L':');
    if (colon != std::wstring::npos) {
        Parts.Host = server.substr(0, colon);
        Parts.Port = PortOf(server.substr(colon + 1));
    } else {
        Parts.Host = server;
        static const int32_t kDefaultPort[] = {0, 80, 443, 21};
        Parts.Port = kDefaultPort[Parts.Scheme];
    }
    return true;
}

void TPicturaIO::LoadFromURL(const std::wstring& URL) {
    if (IEStartIOThread(*this, &TPicturaIO::LoadFromURL, URL)) return;
    // A new piece of work: the abort state of an earlier one would stop this download after its
    // first block.
    Aborting = false;
    TMemoryStream stream;
    std::wstring contentType;
    if (!IEDownloadURL(URL, &stream, ProxyAddress, contentType, &Aborting, this, InternalProgress, ProxyUser,
                       ProxyPassword)) {
        Aborting = true;
        DoFinishWork();
        return;
    }
    // A transfer stopped by an abort request leaves a part of the resource: it is not loaded.
    if (Aborting) {
        DoFinishWork();
        return;
    }
    stream.SetPosition(0);
    LoadFromStream(&stream);
}
