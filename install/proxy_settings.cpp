#include "install/proxy_settings.h"

#include "base/owners.h"
#include "install/transfer.h"

#include <windows.h>
#include <winhttp.h>

#include <process.h>

#include <memory>

namespace {

// Automatic detection that finds nothing, or a script address nobody answers, gives up after this.
constexpr DWORD SCRIPT_WAIT_MS = 5000;
constexpr int SCRIPT_TIMEOUT_MS = 4000;

// Takes a string WinHTTP allocated with GlobalAlloc and frees it.
std::wstring TakeGlobalString(LPWSTR text) {
    const GlobalString owner(text);
    return text == nullptr ? std::wstring() : std::wstring(text);
}

// One script question, shared by the thread that asks it and the one that waits for the answer:
// whichever is done last frees it, so a thread that outlasts the wait writes into memory it owns.
struct ScriptQuery {
    std::wstring url;
    bool detect = false;
    std::wstring pacUrl;
    KernelHandle done; // manual-reset event, set once `answered` and `answer` are written
    bool answered = false;
    std::wstring answer;
};

// Thread entry for _beginthreadex: takes ownership of `parameter`, a heap std::shared_ptr<ScriptQuery>.
unsigned __stdcall RunScriptQuery(void* parameter) {
    const std::unique_ptr<std::shared_ptr<ScriptQuery>> owned(static_cast<std::shared_ptr<ScriptQuery>*>(parameter));
    ScriptQuery& query = **owned;
    const WinHttpHandle session(WinHttpOpen(TRANSFER_USER_AGENT, WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME,
                                            WINHTTP_NO_PROXY_BYPASS, 0));
    if (session) {
        WinHttpSetTimeouts(session.Get(), SCRIPT_TIMEOUT_MS, SCRIPT_TIMEOUT_MS, SCRIPT_TIMEOUT_MS, SCRIPT_TIMEOUT_MS);
        WINHTTP_AUTOPROXY_OPTIONS options{};
        // One source per call: some WinHTTP versions refuse detection and an address together.
        if (query.detect) {
            options.dwFlags = WINHTTP_AUTOPROXY_AUTO_DETECT;
            options.dwAutoDetectFlags = WINHTTP_AUTO_DETECT_TYPE_DHCP | WINHTTP_AUTO_DETECT_TYPE_DNS_A;
        } else {
            options.dwFlags = WINHTTP_AUTOPROXY_CONFIG_URL;
            options.lpszAutoConfigUrl = query.pacUrl.c_str();
        }
        // The Windows logon goes to a script server only once it asks for it.
        for (BOOL logon : {FALSE, TRUE}) {
            options.fAutoLogonIfChallenged = logon;
            WINHTTP_PROXY_INFO info{};
            if (WinHttpGetProxyForUrl(session.Get(), query.url.c_str(), &options, &info)) {
                const std::wstring proxy = TakeGlobalString(info.lpszProxy);
                TakeGlobalString(info.lpszProxyBypass);
                query.answer = info.dwAccessType == WINHTTP_ACCESS_TYPE_NAMED_PROXY ? proxy : std::wstring();
                query.answered = true;
                break;
            }
            if (GetLastError() != ERROR_WINHTTP_LOGIN_FAILURE) break;
        }
    }
    SetEvent(query.done.Get());
    return 0;
}

// Asks a script on a thread of its own and waits SCRIPT_WAIT_MS at most: detection that searches
// the network for a script nobody offers may take far longer, and the download must not wait for
// it. A query that outlasts the wait finishes on its own and its answer is dropped.
bool AskProxyScript(const std::wstring& url, bool detect, const std::wstring& pacUrl, std::wstring& answer) {
    auto query = std::make_shared<ScriptQuery>();
    query->url = url;
    query->detect = detect;
    query->pacUrl = pacUrl;
    query->done.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!query->done) return false;
    auto reference = std::make_unique<std::shared_ptr<ScriptQuery>>(query);
    const uintptr_t thread = _beginthreadex(nullptr, 0, &RunScriptQuery, reference.get(), 0, nullptr);
    if (thread == 0) return false;
    reference.release(); // the thread owns it now
    CloseHandle(reinterpret_cast<HANDLE>(thread));
    // The wait orders the thread's writes before our reads.
    if (WaitForSingleObject(query->done.Get(), SCRIPT_WAIT_MS) != WAIT_OBJECT_0) return false;
    answer = query->answer;
    return query->answered;
}

} // namespace

std::vector<RouteEntry> FindProxyRoute(const std::wstring& url, const RouteTarget& target) {
    ProxySources sources;
    WINHTTP_PROXY_INFO machine{};
    if (WinHttpGetDefaultProxyConfiguration(&machine)) {
        const std::wstring proxy = TakeGlobalString(machine.lpszProxy);
        const std::wstring bypass = TakeGlobalString(machine.lpszProxyBypass);
        if (machine.dwAccessType == WINHTTP_ACCESS_TYPE_NAMED_PROXY) {
            sources.machineProxy = proxy;
            sources.machineBypass = bypass;
        }
    }
    if (sources.machineProxy.empty()) {
        WINHTTP_CURRENT_USER_IE_PROXY_CONFIG user{};
        if (WinHttpGetIEProxyConfigForCurrentUser(&user)) {
            sources.autoDetect = user.fAutoDetect != FALSE;
            sources.pacUrl = TakeGlobalString(user.lpszAutoConfigUrl);
            sources.userProxy = TakeGlobalString(user.lpszProxy);
            sources.userBypass = TakeGlobalString(user.lpszProxyBypass);
        }
    }
    return ChooseRoute(sources, target, [&url](bool detect, const std::wstring& pacUrl, std::wstring& answer) {
        return AskProxyScript(url, detect, pacUrl, answer);
    });
}
