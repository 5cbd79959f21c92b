// What the download answers a proxy that asks who is there (407): the person's Windows logon
// once, where the proxy takes it, then a name and password typed into the system's prompt.
#pragma once

#include "install/transfer.h"

#include <windows.h>

// What one download run has done so far to satisfy its proxy.
struct ProxyLogon {
    bool autologonTried = false;
    int prompts = 0; // the prompt was shown this many times; PROXY_PROMPTS_MAX at most
};

constexpr int PROXY_PROMPTS_MAX = 3;

// After the proxy in `use` refused a request: sets up `use` for the next one and returns true,
// or returns false when the person cancelled the prompt or it was refused PROXY_PROMPTS_MAX times.
// `offered` holds the schemes the 407 offered (QueryProxyAuthSchemes); 0, as when WinHTTP hides a
// tunnel's 407, means Basic. The prompt is modal over `window`, names the proxy, and keeps nothing:
// the password lives in `use` only, until WipeProxyCredentials.
bool AnswerProxyChallenge(HWND window, DWORD offered, ProxyLogon& logon, ProxyUse& use);

// Overwrites the typed password and forgets the credentials, as when the proxy changes.
void WipeProxyCredentials(ProxyUse& use);
