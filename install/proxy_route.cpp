#include "install/proxy_route.h"

#include "base/number_text.h"

#include <cwctype>

namespace {

std::wstring Lower(std::wstring text) {
    for (wchar_t& c : text) c = static_cast<wchar_t>(std::towlower(c));
    return text;
}

// The non-empty pieces of `text` between any of `separators`, without surrounding blanks.
std::vector<std::wstring> SplitList(const std::wstring& text, const wchar_t* separators) {
    std::vector<std::wstring> pieces;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find_first_of(separators, start);
        if (end == std::wstring::npos) end = text.size();
        const size_t first = text.find_first_not_of(L" \t\r\n", start);
        if (first != std::wstring::npos && first < end) {
            const size_t last = text.find_last_not_of(L" \t\r\n", end - 1);
            pieces.push_back(text.substr(first, last - first + 1));
        }
        start = end + 1;
    }
    return pieces;
}

// "http://proxy:8080/" as the "proxy:8080" WinHTTP wants.
std::wstring WithoutScheme(std::wstring entry) {
    const size_t mark = entry.find(L"://");
    if (mark != std::wstring::npos) entry.erase(0, mark + 3);
    while (!entry.empty() && entry.back() == L'/') entry.pop_back();
    return entry;
}

// '*' stands for any run of characters; both sides already lower case.
bool WildcardMatch(const wchar_t* pattern, const wchar_t* text) {
    if (*pattern == L'\0') return *text == L'\0';
    if (*pattern == L'*') {
        for (const wchar_t* rest = text;; ++rest) {
            if (WildcardMatch(pattern + 1, rest)) return true;
            if (*rest == L'\0') return false;
        }
    }
    return *pattern == *text && WildcardMatch(pattern + 1, text + 1);
}

} // namespace

bool BypassesProxy(const std::wstring& bypass, const RouteTarget& target) {
    const std::wstring host = Lower(target.host);
    const std::wstring hostAndPort = host + L":" + DecimalText(target.port);
    for (const std::wstring& raw : SplitList(bypass, L"; \t")) {
        const std::wstring entry = Lower(raw);
        if (entry == L"<local>") {
            if (host.find(L'.') == std::wstring::npos) return true;
            continue;
        }
        const std::wstring pattern = WithoutScheme(entry);
        if (WildcardMatch(pattern.c_str(), host.c_str()) || WildcardMatch(pattern.c_str(), hostAndPort.c_str())) {
            return true;
        }
    }
    return false;
}

std::vector<RouteEntry> FixedProxyRoute(const std::wstring& proxy, const std::wstring& bypass,
                                        const RouteTarget& target) {
    std::vector<RouteEntry> route;
    if (BypassesProxy(bypass, target)) return route;
    const std::wstring scheme = Lower(target.scheme);
    for (const std::wstring& entry : SplitList(proxy, L"; \t")) {
        const size_t equals = entry.find(L'=');
        // An entry without a scheme serves every scheme; "ftp=..." and the like serve none of ours.
        if (equals != std::wstring::npos && Lower(entry.substr(0, equals)) != scheme) continue;
        const std::wstring address = WithoutScheme(equals == std::wstring::npos ? entry : entry.substr(equals + 1));
        if (!address.empty()) route.push_back(address);
    }
    return route;
}

std::vector<RouteEntry> ParseScriptAnswer(const std::wstring& answer) {
    const std::vector<std::wstring> entries = SplitList(answer, L";");
    if (entries.empty()) return {RouteEntry()}; // an empty answer is WinHTTP's way of saying DIRECT
    std::vector<RouteEntry> route;
    for (const std::wstring& entry : entries) {
        const size_t blank = entry.find_first_of(L" \t");
        const std::wstring keyword = Lower(entry.substr(0, blank));
        const size_t restStart = blank == std::wstring::npos ? entry.size() : entry.find_first_not_of(L" \t", blank);
        const std::wstring rest = restStart == std::wstring::npos ? std::wstring() : entry.substr(restStart);
        if (keyword == L"direct") {
            route.push_back(RouteEntry());
        } else if ((keyword == L"proxy" || keyword == L"http") && !rest.empty()) {
            route.push_back(WithoutScheme(rest));
        } else if (blank == std::wstring::npos) {
            route.push_back(WithoutScheme(entry)); // WinHTTP's own form: a bare "host:port"
        }
        // SOCKS and HTTPS proxies cannot be reached through WinHTTP: left out.
    }
    return route;
}

std::vector<RouteEntry> ChooseRoute(const ProxySources& sources, const RouteTarget& target,
                                    const ProxyScriptQuery& askScript) {
    const std::vector<RouteEntry> direct{RouteEntry()};
    if (!sources.machineProxy.empty()) {
        std::vector<RouteEntry> route = FixedProxyRoute(sources.machineProxy, sources.machineBypass, target);
        return route.empty() ? direct : route;
    }
    std::wstring answer;
    // A script that gives no answer, or none WinHTTP can use, leaves the choice to the next source.
    if (sources.autoDetect && askScript(true, std::wstring(), answer)) {
        std::vector<RouteEntry> route = ParseScriptAnswer(answer);
        if (!route.empty()) return route;
    }
    if (!sources.pacUrl.empty() && askScript(false, sources.pacUrl, answer)) {
        std::vector<RouteEntry> route = ParseScriptAnswer(answer);
        if (!route.empty()) return route;
    }
    if (!sources.userProxy.empty()) {
        std::vector<RouteEntry> route = FixedProxyRoute(sources.userProxy, sources.userBypass, target);
        if (!route.empty()) return route;
    }
    return direct;
}
