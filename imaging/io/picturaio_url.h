// Loading images from "http://", "https://" and "ftp://" addresses: the address parser, the
// download into a memory stream, and the binding of the system's Internet client library
// (WinInet, loaded from "wininet.dll" at start-up; where it is missing nothing is bound and
// every download fails). The native build has no such library: there IEDownloadURL fails.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "picturaio_params.h"

class TMemoryStream;
class TObject;

// An address taken apart. Scheme: 1 http, 2 https, 3 ftp.
struct TIEURLParts {
    int32_t Scheme = 0;
    std::wstring User;
    std::wstring Password;
    std::wstring Host;
    int32_t Port = 0;
    std::wstring Path;   // from the "/" after the server part on
};

// Takes an address apart; False (and no connection should be tried) when the scheme is none of
// the three or no "/" follows the server part. The server part is split at its last "@" into
// the credentials and the host; the credentials at their first ":" into user and password (no
// ":": a user without password). A server part with "@" must contain a ":" somewhere. The host
// is split at its first ":" from the port; a port text that is not a number from 0 to 65535
// gives 80; without one the port is 80, 443 or 21 by scheme.
bool IEParseURL(const std::wstring& URL, TIEURLParts& Parts);

// Downloads the resource at URL into Stream (appended at its position). True when the transfer
// ran: for http and https only with a 2xx status. ContentType receives what follows the first
// "/" of the response's content type (http) or the file's extension without its dot, at most
// ten characters (ftp). With a Proxy, ProxyUser and ProxyPassword go to the proxy; credentials in
// the URL go to the server. Progress (when given) is called with Sender and the per cent of a
// known length read, never above 100; Aborting (when given) is polled between blocks and stops
// the transfer after the current one.
bool IEDownloadURL(const std::wstring& URL, TMemoryStream* Stream, const std::wstring& Proxy,
                   std::wstring& ContentType, std::atomic<bool>* Aborting, TObject* Sender,
                   const TIEProgressEvent& Progress, const std::wstring& ProxyUser,
                   const std::wstring& ProxyPassword);

// Binds the entry points of the Internet client library once; IEUnbindWinInet unloads it.
void IEBindWinInet();
void IEUnbindWinInet();
// True while the library is bound.
bool IEWinInetBound();
