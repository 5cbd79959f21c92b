// Reads where Windows says the download should go (the machine's WinHTTP proxy, the user's proxy
// settings, proxy scripts) and turns it into a route with install/proxy_route.h.
#pragma once

#include "install/proxy_route.h"

#include <string>
#include <vector>

// The route to `url` as the user's browser would take it. Blocks for at most a few seconds while
// automatic detection or a script address finds nothing; never fails (the last resort is direct).
std::vector<RouteEntry> FindProxyRoute(const std::wstring& url, const RouteTarget& target);
