#include "install/transfer.h"

#include "base/number_text.h"
#include "base/utf8.h"
#include "install/resume_validator.h"

#include <cwchar>

const wchar_t* const TRANSFER_USER_AGENT = L"ZENKA-Bootstrapper/1.0";

namespace {
constexpr int RESOLVE_TIMEOUT_MS = 10000;
constexpr int CONNECT_TIMEOUT_MS = 10000;
constexpr int SEND_TIMEOUT_MS = 15000;
constexpr int RECEIVE_TIMEOUT_MS = 15000;   // bounds each wait for headers and for body data
constexpr DWORD HEADER_BUFFER_CHARS = 1024; // far beyond any length, ETag, date or Content-Range
// "Proxy-Authorization: Basic <base64 of user:password in UTF-8>\r\n".
std::wstring BasicProxyHeader(const ProxyUse& route) {
    static const char digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string plain = EncodeUtf8(route.user + L":" + route.password);
    std::wstring header = L"Proxy-Authorization: Basic ";
    for (size_t i = 0; i < plain.size(); i += 3) {
        const size_t left = plain.size() - i;
        const unsigned bits = static_cast<unsigned char>(plain[i]) << 16 |
                              (left > 1 ? static_cast<unsigned char>(plain[i + 1]) << 8 : 0) |
                              (left > 2 ? static_cast<unsigned char>(plain[i + 2]) : 0);
        header += static_cast<wchar_t>(digits[bits >> 18 & 63]);
        header += static_cast<wchar_t>(digits[bits >> 12 & 63]);
        header += left > 1 ? static_cast<wchar_t>(digits[bits >> 6 & 63]) : L'=';
        header += left > 2 ? static_cast<wchar_t>(digits[bits & 63]) : L'=';
    }
    SecureZeroMemory(&plain[0], plain.size());
    return header + L"\r\n";
}

} // namespace

void CloseTransferHandles(TransferHandles& handles) {
    handles.request.Reset();
    handles.connection.Reset();
    handles.session.Reset();
}

bool SplitTransferUrl(const std::wstring& url, TransferTarget& target) {
    target = TransferTarget{};
    URL_COMPONENTS components{};
    components.dwStructSize = sizeof(components);
    components.lpszHostName = target.hostName;
    components.dwHostNameLength = static_cast<DWORD>(sizeof(target.hostName) / sizeof(wchar_t));
    components.lpszUrlPath = target.urlPath;
    components.dwUrlPathLength = static_cast<DWORD>(sizeof(target.urlPath) / sizeof(wchar_t));
    if (!WinHttpCrackUrl(url.c_str(), static_cast<DWORD>(url.size()), 0, &components)) return false;
    // Some WinHTTP versions crack "ftp:" or host-less URLs; the download can only speak HTTP(S).
    if (components.nScheme != INTERNET_SCHEME_HTTP && components.nScheme != INTERNET_SCHEME_HTTPS) return false;
    if (target.hostName[0] == L'\0') return false;
    target.port = components.nPort;
    target.scheme = components.nScheme;
    return true;
}

std::wstring BuildRangeHeader(uint64_t offset) { return L"Range: bytes=" + DecimalText(offset) + L"-\r\n"; }

bool SendTransferRequest(TransferHandles& handles, const TransferTarget& target, uint64_t offset, DWORD& status,
                         uint64_t& contentLength, const std::wstring& validator, DWORD* failure,
                         const ProxyUse* route) {
    // The error of the call that failed, read before anything else can change the last error.
    const auto fail = [failure] {
        if (failure != nullptr) *failure = GetLastError();
        return false;
    };
    // Nothing is reused across attempts: a broken connection must not be picked up again.
    CloseTransferHandles(handles);

    // A session of its own per route: the per-request proxy option is not honoured everywhere.
    DWORD access = WINHTTP_ACCESS_TYPE_DEFAULT_PROXY;
    const wchar_t* proxyName = WINHTTP_NO_PROXY_NAME;
    if (route != nullptr) {
        access = route->proxy.empty() ? WINHTTP_ACCESS_TYPE_NO_PROXY : WINHTTP_ACCESS_TYPE_NAMED_PROXY;
        if (!route->proxy.empty()) proxyName = route->proxy.c_str();
    }
    handles.session.Reset(WinHttpOpen(TRANSFER_USER_AGENT, access, proxyName, WINHTTP_NO_PROXY_BYPASS, 0));
    if (!handles.session) return fail();
    WinHttpSetTimeouts(handles.session.Get(), RESOLVE_TIMEOUT_MS, CONNECT_TIMEOUT_MS, SEND_TIMEOUT_MS,
                       RECEIVE_TIMEOUT_MS);
    // Some WinHTTP implementations wait for the response headers under a separate limit that is
    // unbounded by default, so a server that accepts the request and then stays silent would hang
    // the installation; the receive time-out is meant to bound that wait too.
    DWORD headersTimeout = RECEIVE_TIMEOUT_MS;
    WinHttpSetOption(handles.session.Get(), WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &headersTimeout,
                     sizeof(headersTimeout));

    handles.connection.Reset(WinHttpConnect(handles.session.Get(), target.hostName, target.port, 0));
    if (!handles.connection) return fail();

    const DWORD flags = target.scheme == INTERNET_SCHEME_HTTPS ? WINHTTP_FLAG_SECURE : 0;
    handles.request.Reset(WinHttpOpenRequest(handles.connection.Get(), L"GET", target.urlPath, nullptr,
                                             WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES, flags));
    if (!handles.request) return fail();

    if (route != nullptr && !route->proxy.empty() && route->authScheme != 0) {
        if (route->autologon) {
            // The person's own Windows logon, for this request only.
            DWORD policy = WINHTTP_AUTOLOGON_SECURITY_LEVEL_LOW;
            WinHttpSetOption(handles.request.Get(), WINHTTP_OPTION_AUTOLOGON_POLICY, &policy, sizeof(policy));
            WinHttpSetCredentials(handles.request.Get(), WINHTTP_AUTH_TARGET_PROXY, route->authScheme, nullptr, nullptr,
                                  nullptr);
        } else {
            WinHttpSetCredentials(handles.request.Get(), WINHTTP_AUTH_TARGET_PROXY, route->authScheme,
                                  route->user.c_str(), route->password.c_str(), nullptr);
            if (route->basicHeader && route->authScheme == WINHTTP_AUTH_SCHEME_BASIC) {
                std::wstring header = BasicProxyHeader(*route);
                WinHttpAddRequestHeaders(handles.request.Get(), header.c_str(), static_cast<DWORD>(header.size()),
                                         WINHTTP_ADDREQ_FLAG_ADD | WINHTTP_ADDREQ_FLAG_REPLACE);
                SecureZeroMemory(&header[0], header.size() * sizeof(wchar_t));
            }
        }
    }

    if (offset != 0) {
        // Without the header the server sends the whole resource; a failure here only costs the resume.
        const std::wstring range = BuildRangeHeader(offset);
        WinHttpAddRequestHeaders(handles.request.Get(), range.c_str(), static_cast<DWORD>(range.size()),
                                 WINHTTP_ADDREQ_FLAG_ADD);
        const std::wstring ifRange = BuildIfRangeHeader(validator);
        if (!ifRange.empty() &&
            !WinHttpAddRequestHeaders(handles.request.Get(), ifRange.c_str(), static_cast<DWORD>(ifRange.size()),
                                      WINHTTP_ADDREQ_FLAG_ADD)) {
            // A range without its condition could splice two different files: rather no request.
            return fail();
        }
    }

    if (!WinHttpSendRequest(handles.request.Get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0,
                            0)) {
        return fail();
    }
    if (!WinHttpReceiveResponse(handles.request.Get(), nullptr)) return fail();

    DWORD code = 0;
    DWORD codeSize = sizeof(code);
    if (!WinHttpQueryHeaders(handles.request.Get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                             WINHTTP_HEADER_NAME_BY_INDEX, &code, &codeSize, WINHTTP_NO_HEADER_INDEX)) {
        return fail();
    }
    status = code;

    // Absent or unreadable reads as "", which is 0: unknown.
    contentLength = _wcstoui64(QueryResponseHeader(handles, WINHTTP_QUERY_CONTENT_LENGTH).c_str(), nullptr, 10);
    return true;
}

DWORD QueryProxyAuthSchemes(const TransferHandles& handles) {
    DWORD supported = 0;
    DWORD first = 0;
    DWORD target = 0;
    if (!handles.request || !WinHttpQueryAuthSchemes(handles.request.Get(), &supported, &first, &target)) return 0;
    return target == WINHTTP_AUTH_TARGET_PROXY ? supported : 0;
}

std::wstring QueryResponseHeader(const TransferHandles& handles, DWORD query) {
    if (!handles.request) return std::wstring();
    wchar_t text[HEADER_BUFFER_CHARS] = {};
    DWORD size = sizeof(text);
    if (!WinHttpQueryHeaders(handles.request.Get(), query, WINHTTP_HEADER_NAME_BY_INDEX, text, &size,
                             WINHTTP_NO_HEADER_INDEX)) {
        return std::wstring();
    }
    text[HEADER_BUFFER_CHARS - 1] = L'\0';
    return std::wstring(text);
}
