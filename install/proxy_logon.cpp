#include "install/proxy_logon.h"

#include <wincred.h>

namespace {

const wchar_t* const PROMPT_CAPTION = L"ZENKA Setup - Прокси-сервер";

// Typed credentials go with the strongest scheme the proxy offers: Basic sends them readable.
DWORD TypedScheme(DWORD offered) {
    for (DWORD scheme : {WINHTTP_AUTH_SCHEME_NEGOTIATE, WINHTTP_AUTH_SCHEME_NTLM, WINHTTP_AUTH_SCHEME_DIGEST}) {
        if ((offered & scheme) != 0) return scheme;
    }
    return WINHTTP_AUTH_SCHEME_BASIC;
}

void Wipe(std::wstring& text) {
    if (!text.empty()) SecureZeroMemory(&text[0], text.size() * sizeof(wchar_t));
    text.clear();
}

// The system's credential prompt, modal over `window`: it masks the password and, told not to,
// stores nothing. False when the person cancelled.
bool PromptCredentials(HWND window, ProxyUse& use, bool refusedBefore) {
    // Short: some prompts show the message on one line only.
    const std::wstring message = L"Вход на прокси-сервер " + use.proxy;
    CREDUI_INFOW info{};
    info.cbSize = sizeof(info);
    info.hwndParent = window;
    info.pszMessageText = message.c_str();
    info.pszCaptionText = PROMPT_CAPTION;
    wchar_t user[CREDUI_MAX_USERNAME_LENGTH + 1] = {};
    wchar_t password[CREDUI_MAX_PASSWORD_LENGTH + 1] = {};
    BOOL save = FALSE;
    DWORD flags = CREDUI_FLAGS_DO_NOT_PERSIST | CREDUI_FLAGS_GENERIC_CREDENTIALS | CREDUI_FLAGS_ALWAYS_SHOW_UI |
                  CREDUI_FLAGS_EXCLUDE_CERTIFICATES;
    if (refusedBefore) flags |= CREDUI_FLAGS_INCORRECT_PASSWORD;
    const DWORD result = CredUIPromptForCredentialsW(
        &info, use.proxy.c_str(), nullptr, refusedBefore ? ERROR_LOGON_FAILURE : 0, user,
        CREDUI_MAX_USERNAME_LENGTH + 1, password, CREDUI_MAX_PASSWORD_LENGTH + 1, &save, flags);
    const bool given = result == NO_ERROR;
    if (given) {
        use.user = user;
        // Some prompts put the target before a name typed without a domain, as if it were one;
        // the proxy would take it for part of the name.
        const std::wstring added = use.proxy + L"\\";
        if (use.user.compare(0, added.size(), added) == 0) use.user.erase(0, added.size());
        use.password = password;
    }
    SecureZeroMemory(user, sizeof(user));
    SecureZeroMemory(password, sizeof(password));
    return given;
}

} // namespace

void WipeProxyCredentials(ProxyUse& use) {
    Wipe(use.password);
    Wipe(use.user);
    use.authScheme = 0;
    use.autologon = false;
    use.basicHeader = false;
}

bool AnswerProxyChallenge(HWND window, DWORD offered, ProxyLogon& logon, ProxyUse& use) {
    const DWORD integrated = offered & (WINHTTP_AUTH_SCHEME_NEGOTIATE | WINHTTP_AUTH_SCHEME_NTLM);
    if (integrated != 0 && !logon.autologonTried) {
        // The person is signed in to Windows already: that answers a company proxy without asking.
        logon.autologonTried = true;
        WipeProxyCredentials(use);
        use.autologon = true;
        use.authScheme = (integrated & WINHTTP_AUTH_SCHEME_NEGOTIATE) != 0 ? WINHTTP_AUTH_SCHEME_NEGOTIATE
                                                                           : WINHTTP_AUTH_SCHEME_NTLM;
        return true;
    }
    if (logon.prompts >= PROXY_PROMPTS_MAX) return false;
    const bool refusedBefore = logon.prompts > 0;
    ++logon.prompts;
    WipeProxyCredentials(use);
    if (!PromptCredentials(window, use, refusedBefore)) return false;
    use.authScheme = TypedScheme(offered);
    // No scheme named: WinHTTP hid the 407 of a tunnel, and gives the tunnel only headers.
    use.basicHeader = offered == 0;
    return true;
}
