// The route to the release server from the proxy settings, as one table: sources in order, fixed
// lists, per-scheme entries, bypass lists and the answers of proxy scripts.
#include "install/proxy_route.h"

#include <gtest/gtest.h>

namespace {

constexpr const wchar_t* NONE = L"(none)"; // the script gives no answer

struct RouteRow {
    const char* what;
    ProxySources sources;
    const wchar_t* url; // "scheme://host:port"
    const wchar_t* detected;
    const wchar_t* script;
    const wchar_t* expected; // entries joined by '|', "" for direct
};

ProxySources Machine(const wchar_t* proxy, const wchar_t* bypass = L"") {
    ProxySources s;
    s.machineProxy = proxy;
    s.machineBypass = bypass;
    return s;
}

ProxySources User(const wchar_t* proxy, const wchar_t* bypass = L"", bool detect = false, const wchar_t* pac = L"") {
    ProxySources s;
    s.userProxy = proxy;
    s.userBypass = bypass;
    s.autoDetect = detect;
    s.pacUrl = pac;
    return s;
}

} // namespace

TEST(ProxyRoute, ChoosesAsTheBrowserDoes) {
    ProxySources machineAndUser = User(L"u:1", L"", true, L"http://pac/x.pac");
    machineAndUser.machineProxy = L"m:1";
    const RouteRow rows[] = {
        {"nothing set", {}, L"http://h:80", NONE, NONE, L""},
        {"machine proxy wins over everything of the user", machineAndUser, L"http://h:80", L"PROXY d:1", L"", L"m:1"},
        {"machine bypass", Machine(L"m:1", L"127.0.0.1"), L"http://127.0.0.1:80", NONE, NONE, L""},
        {"fixed list with scheme", User(L"http://a:1/; b:2"), L"http://h:80", NONE, NONE, L"a:1|b:2"},
        {"per scheme: https", User(L"http=a:1;https=b:2"), L"https://h:443", NONE, NONE, L"b:2"},
        {"per scheme: http", User(L"HTTP=a:1 https=b:2"), L"http://h:80", NONE, NONE, L"a:1"},
        {"per scheme: none for ours", User(L"ftp=f:1;socks=s:1"), L"https://h:443", NONE, NONE, L""},
        {"bypass <local>", User(L"a:1", L"<local>"), L"http://intranet:80", NONE, NONE, L""},
        {"<local> only plain names", User(L"a:1", L"<local>"), L"http://cdn.test:80", NONE, NONE, L"a:1"},
        {"bypass wildcard among blanks", User(L"a:1", L"x.test  *.ZENKA.test"), L"http://cdn.zenka.test:80", NONE, NONE,
         L""},
        {"bypass host:port and scheme", User(L"a:1", L"http://h:8080"), L"http://h:8080", NONE, NONE, L""},
        {"bypass other port", User(L"a:1", L"h:8080"), L"http://h:80", NONE, NONE, L"a:1"},
        {"detected script first", User(L"u:1", L"", true, L"http://pac"), L"http://h:80", L"PROXY d:1", L"PROXY p:1",
         L"d:1"},
        {"script address after failed detection", User(L"u:1", L"", true, L"http://pac"), L"http://h:80", NONE,
         L"PROXY p:1; PROXY q:2; DIRECT", L"p:1|q:2|"},
        {"script DIRECT", User(L"u:1", L"", false, L"http://pac"), L"http://h:80", NONE, L"DIRECT", L""},
        {"script as WinHTTP lists it", User(L"", L"", false, L"http://pac"), L"http://h:80", NONE, L"p:1;q:2",
         L"p:1|q:2"},
        {"script empty answer is direct", User(L"u:1", L"", false, L"http://pac"), L"http://h:80", NONE, L"", L""},
        {"script only SOCKS falls through", User(L"u:1", L"", false, L"http://pac"), L"http://h:80", NONE, L"SOCKS s:1",
         L"u:1"},
        {"no script answer falls to fixed", User(L"u:1", L"", true, L"http://pac"), L"http://h:80", NONE, NONE, L"u:1"},
        {"detection off is not asked", User(L"", L"", false), L"http://h:80", L"PROXY d:1", NONE, L""},
    };
    for (const RouteRow& row : rows) {
        RouteTarget target;
        const std::wstring url = row.url;
        target.scheme = url.substr(0, url.find(L':'));
        const size_t hostStart = url.find(L"//") + 2;
        const size_t colon = url.rfind(L':');
        target.host = url.substr(hostStart, colon - hostStart);
        target.port = static_cast<unsigned>(std::stoul(url.substr(colon + 1)));
        const auto ask = [&row](bool detect, const std::wstring& pacUrl, std::wstring& answer) {
            const wchar_t* given = detect ? row.detected : row.script;
            EXPECT_TRUE(detect || pacUrl == row.sources.pacUrl) << row.what;
            if (given == NONE) return false;
            answer = given;
            return true;
        };
        std::wstring joined;
        const std::vector<RouteEntry> route = ChooseRoute(row.sources, target, ask);
        for (size_t i = 0; i < route.size(); ++i) joined += (i ? L"|" : L"") + route[i];
        EXPECT_EQ(joined, row.expected) << row.what;
    }
}
