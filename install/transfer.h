// The HTTP layer under the download: one fresh WinHTTP session, connection and GET request per
// attempt, asking for the bytes from a given offset on. The body is read by the caller through the
// request handle left open in TransferHandles.
#pragma once

#include "base/owners.h"

#include <windows.h>
#include <winhttp.h>

#include <cstdint>
#include <string>

// The parts of the download URL, split once and used unchanged by every attempt.
struct TransferTarget {
    wchar_t hostName[256] = {};
    INTERNET_PORT port = 0; // the URL's explicit port, else the scheme's default
    INTERNET_SCHEME scheme = 0;
    wchar_t urlPath[1024] = {};
};

struct WinHttpHandleTraits : NullIsInvalid<HINTERNET> {
    static void Close(Type handle) { WinHttpCloseHandle(handle); }
};
using WinHttpHandle = UniqueAny<WinHttpHandleTraits>;

// The handles of the current attempt, each null or owned by this record. They are released in the
// order request, connection, session by CloseTransferHandles, by the next SendTransferRequest, or at
// the latest when the record goes out of scope (they are declared in the order they are opened).
struct TransferHandles {
    WinHttpHandle session;
    WinHttpHandle connection;
    WinHttpHandle request;
};

// How one request goes out: straight to the server, or through a proxy with what answers its
// question who is asking (nothing, the Windows logon, or a typed name and password).
struct ProxyUse {
    std::wstring proxy;   // "host:port"; empty: straight to the server
    DWORD authScheme = 0; // WINHTTP_AUTH_SCHEME_*, 0 while the proxy has asked nothing
    bool autologon = false;
    // Basic credentials also as a header of the request itself: where WinHTTP hides a tunnel's 407
    // it sends the request's headers with the CONNECT but not the credentials it was given.
    bool basicHeader = false;
    std::wstring user;
    std::wstring password;
};

extern const wchar_t* const TRANSFER_USER_AGENT; // "ZENKA-Bootstrapper/1.0"

// Splits `url` with WinHttpCrackUrl. False for a URL without scheme and host, with a scheme other
// than http/https, or with a host name or path too long for its buffer.
bool SplitTransferUrl(const std::wstring& url, TransferTarget& target);

// "Range: bytes=<offset>-\r\n": the one header a resuming request adds.
std::wstring BuildRangeHeader(uint64_t offset);

// Closes whatever `handles` holds, then opens a session, connection and GET request for `target`,
// with a Range header only when `offset` is not 0, sends it and waits for the response headers
// (each wait bounded by the time-outs). A ranged request also carries If-Range with `validator`
// when there is one (BuildIfRangeHeader), so a server whose file has changed answers with the whole
// new file instead of a piece of it. True when a status code could be read: `status` holds it,
// `contentLength` the announced body size (0 when absent or unreadable), and the request handle
// stays open for the body. False on any failure before that, with the error of the call that
// failed in `*failure` when it is given (ERROR_WINHTTP_REDIRECT_FAILED for a redirect loop, too many
// redirects or one WinHTTP refuses to follow); the handles opened so far stay in the record until
// the next call or CloseTransferHandles.
// Without `route` the session takes WinHTTP's default proxy; with it, the session goes through
// route->proxy alone (or straight to the server), and a proxy is given the credentials in it up
// front.
bool SendTransferRequest(TransferHandles& handles, const TransferTarget& target, uint64_t offset, DWORD& status,
                         uint64_t& contentLength, const std::wstring& validator = std::wstring(),
                         DWORD* failure = nullptr, const ProxyUse* route = nullptr);

// The authentication schemes (WINHTTP_AUTH_SCHEME_*) a proxy's 407 to the last request offers;
// 0 when it names none this WinHTTP knows.
DWORD QueryProxyAuthSchemes(const TransferHandles& handles);

// A header of the response to the last successful SendTransferRequest (WINHTTP_QUERY_ETAG,
// WINHTTP_QUERY_LAST_MODIFIED, WINHTTP_QUERY_CONTENT_RANGE ...); empty when absent, unreadable or
// longer than any header the download uses.
std::wstring QueryResponseHeader(const TransferHandles& handles, DWORD query);

// Closes request, connection, session in this order and empties the slots; an empty record is fine.
void CloseTransferHandles(TransferHandles& handles);
