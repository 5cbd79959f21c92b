// Which way the download goes to its server: the proxies to try, in order, or straight there.
// Pure: the settings and the answers of proxy scripts come in as text, nothing is asked of Windows
// here (install/proxy_settings.cpp does that).
#pragma once

#include <functional>
#include <string>
#include <vector>

// One way to the server: a proxy as "host:port" (or "host"), or empty for straight to the server.
using RouteEntry = std::wstring;

// Where Windows keeps proxy settings, as read. A fixed proxy is a list ("a:1;b:2") or per-scheme
// entries ("http=a:1;https=b:2", each optionally "scheme://host:port"); a bypass list is ';' or
// blank separated, with "<local>" (any name without a dot) and '*' wildcards.
struct ProxySources {
    std::wstring machineProxy; // the machine's WinHTTP proxy; empty when none is set
    std::wstring machineBypass;
    bool autoDetect = false; // the user's "detect settings automatically"
    std::wstring pacUrl;     // the user's script address; empty when none
    std::wstring userProxy;  // the user's fixed proxy; empty when none
    std::wstring userBypass;
};

// The address being fetched, as far as the route depends on it.
struct RouteTarget {
    std::wstring scheme; // "http" or "https"
    std::wstring host;
    unsigned port = 0;
};

// Asks a proxy script for the target's route: `detect` true for the script found by automatic
// detection, false for the one at `pacUrl`. False when there is no answer (no script, a script
// error, nothing detected); otherwise `answer` holds the script's answer ("PROXY a:1; DIRECT") or
// a list of proxies ("a:1;b:2"), empty meaning straight to the server.
using ProxyScriptQuery = std::function<bool(bool detect, const std::wstring& pacUrl, std::wstring& answer)>;

// The route in the order sources count: the machine's proxy if one is set; else the user's
// settings: the detected script if detection is on, then the script at the user's address, each
// only when it answers, then the fixed proxy; else straight to the server. A fixed proxy whose
// bypass list names the host, or that has no entry for the target's scheme, means straight there.
// Never empty: the last resort is the one entry "" (direct).
std::vector<RouteEntry> ChooseRoute(const ProxySources& sources, const RouteTarget& target,
                                    const ProxyScriptQuery& askScript);

// The proxies a fixed setting gives for the target, in order; empty when the target goes
// straight to the server (bypassed, no entry for its scheme, or no proxy at all).
std::vector<RouteEntry> FixedProxyRoute(const std::wstring& proxy, const std::wstring& bypass,
                                        const RouteTarget& target);

// True when `bypass` names the target's host (or "host:port").
bool BypassesProxy(const std::wstring& bypass, const RouteTarget& target);

// The entries of a script's answer in order: "PROXY h:p" / "HTTP h:p" / a bare "h:p" give the
// proxy, "DIRECT" gives "", what cannot carry HTTP (SOCKS) is skipped. Separated by ';'.
std::vector<RouteEntry> ParseScriptAnswer(const std::wstring& answer);
