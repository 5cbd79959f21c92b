#include "install/proxy_settings.h"

#include "base/owners.h"
#include "install/transfer.h"

#include <windows.h>
#include <winhttp.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

namespace {

// Automatic detection that finds nothing, or a script address nobody answers, gives up after this.
constexpr auto SCRIPT_WAIT = std::chrono::seconds(5);
constexpr int SCRIPT_TIMEOUT_MS = 4000;

// Takes a string WinHTTP allocated with GlobalAlloc and frees it.
std::wstring TakeGlobalString(LPWSTR text) {
    const GlobalString owner(text);
    return text == nullptr ? std::wstring() : std::wstring(text);
}

// The answer of one script, written by the thread that asks for it and read by the waiting one.
struct ScriptQuery {
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    bool answered = false;
    std::wstring answer;
};

void RunScriptQuery(const std::shared_ptr<ScriptQuery>& query, const std::wstring& url, bool detect,
                    const std::wstring& pacUrl) {
    bool answered = false;
    std::wstring answer;
    const WinHttpHandle session(WinHttpOpen(TRANSFER_USER_AGENT, WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME,
                                            WINHTTP_NO_PROXY_BYPASS, 0));
    if (session) {
        WinHttpSetTimeouts(session.Get(), SCRIPT_TIMEOUT_MS, SCRIPT_TIMEOUT_MS, SCRIPT_TIMEOUT_MS, SCRIPT_TIMEOUT_MS);
        WINHTTP_AUTOPROXY_OPTIONS options{};
        // One source per call: some WinHTTP versions refuse detection and an address together.
        if (detect) {
            options.dwFlags = WINHTTP_AUTOPROXY_AUTO_DETECT;
            options.dwAutoDetectFlags = WINHTTP_AUTO_DETECT_TYPE_DHCP | WINHTTP_AUTO_DETECT_TYPE_DNS_A;
        } else {
            options.dwFlags = WINHTTP_AUTOPROXY_CONFIG_URL;
            options.lpszAutoConfigUrl = pacUrl.c_str();
        }
        // The Windows logon goes to a script server only once it asks for it.
        for (BOOL logon : {FALSE, TRUE}) {
            options.fAutoLogonIfChallenged = logon;
            WINHTTP_PROXY_INFO info{};
            if (WinHttpGetProxyForUrl(session.Get(), url.c_str(), &options, &info)) {
                const std::wstring proxy = TakeGlobalString(info.lpszProxy);
                TakeGlobalString(info.lpszProxyBypass);
                answer = info.dwAccessType == WINHTTP_ACCESS_TYPE_NAMED_PROXY ? proxy : std::wstring();
                answered = true;
                break;
            }
            if (GetLastError() != ERROR_WINHTTP_LOGIN_FAILURE) break;
        }
    }
    const std::lock_guard<std::mutex> lock(query->mutex);
    query->finished = true;
    query->answered = answered;
    query->answer = answer;
    query->done.notify_one();
}

// Asks a script on a thread of its own and waits SCRIPT_WAIT at most: detection that searches the
// network for a script nobody offers may take far longer, and the download must not wait for it.
// A query that outlasts the wait finishes on its own and its answer is dropped.
bool AskProxyScript(const std::wstring& url, bool detect, const std::wstring& pacUrl, std::wstring& answer) {
    auto query = std::make_shared<ScriptQuery>();
    try {
        std::thread(RunScriptQuery, query, url, detect, pacUrl).detach();
    } catch (const std::system_error&) {
        return false;
    }
    std::unique_lock<std::mutex> lock(query->mutex);
    if (!query->done.wait_for(lock, SCRIPT_WAIT, [&] { return query->finished; })) return false;
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
