#include "install/download.h"

#include "app/state.h"
#include "base/held_folder.h"
#include "base/number_text.h"
#include "base/owners.h"
#include "base/path_name.h"
#include "install/download_progress.h"
#include "install/partial_download.h"
#include "install/proxy_logon.h"
#include "install/proxy_settings.h"
#include "install/resume_validator.h"
#include "install/transfer.h"

#include <chrono>
#include <memory>
#include <thread>

DownloadSeam g_downloadSeam;

namespace {

constexpr DWORD TRANSFER_BUFFER_SIZE = 65536;

using Clock = std::chrono::steady_clock;

const wchar_t* const NETWORK_ERROR_TEXT =
    L"Соединение с сервером прервано. Проверьте подключение к интернету.\n\n"
    L"Нажмите «Повтор», чтобы продолжить загрузку, или «Отмена», чтобы завершить установку "
    L"(прогресс загрузки сохранится).";
const wchar_t* const NETWORK_ERROR_CAPTION = L"ZENKA Setup - Ошибка сети";
const wchar_t* const HTTP_ERROR_TEXT = L"Сервер вернул код ошибки HTTP: ";
const wchar_t* const REDIRECT_FAILED_TEXT = L"Сервер перенаправляет запрос по кругу или слишком много раз: ";
const wchar_t* const EMPTY_FILE_TEXT = L"Сервер вернул пустой файл: ";

// Closes what `file` held first (it would refuse the share), then opens the partial file.
// Closing without a flush (Reset) is for a file about to be deleted or recreated.
bool OpenPartialFile(FileHandle& file, HANDLE folder, const std::wstring& name, DWORD disposition) {
    file.Reset();
    file = OpenOwnFile(folder, name, GENERIC_READ | GENERIC_WRITE, disposition);
    return file.IsValid();
}

void Flush(const FileHandle& file) {
    if (file) FlushFileBuffers(file.Get());
}

void FlushAndClose(FileHandle& file) {
    Flush(file);
    file.Reset();
}

// Everything one DownloadPackage run keeps; nothing of it outlives the run but the file on disk.
struct DownloadRun {
    HWND window = nullptr;
    std::wstring url;
    std::wstring partialPath; // for messages
    FileHandle folder;        // the folder of the partial file, held (base/held_folder.h)
    std::wstring partialName;
    TransferTarget target;
    TransferHandles handles;
    FileHandle file;
    uint64_t offset = 0;
    uint64_t expectedSize = 0;
    // Which server file the partial file holds the start of; empty when unknown. A ranged request
    // is only answered with a piece of the server's file while it still is that file.
    std::wstring validator;
    // Both counts start again only when the file grows past the furthest byte this run has had.
    int retryCount = 0;
    int restartsWithoutProgress = 0;
    FetchTally tally;
    bool firstResponse = true;
    std::unique_ptr<BYTE[]> buffer;
    // The way to the server, found again for every attempt except the one that answers a proxy's
    // question (it goes to the proxy that asked).
    RouteTarget routeTarget;
    std::vector<RouteEntry> route;
    size_t routeIndex = 0;
    bool keepRoute = false;
    ProxyUse proxy;
    ProxyLogon logon;

    ~DownloadRun() { WipeProxyCredentials(proxy); }
};

enum class BodyEnd {
    Complete,
    Lost,
    Overrun, // the body went on past the known size: not the bytes it claimed to be
    WriteError,
};

void Pause() {
    if (g_downloadSeam.pause != nullptr) {
        g_downloadSeam.pause();
        return;
    }
    std::this_thread::sleep_until(Clock::now() + std::chrono::milliseconds(RECONNECT_DELAY_MS));
}

bool AskRetry(HWND window) {
    if (g_downloadSeam.askRetry != nullptr) return g_downloadSeam.askRetry(window);
    return MessageBoxW(window, NETWORK_ERROR_TEXT, NETWORK_ERROR_CAPTION, MB_RETRYCANCEL | MB_ICONWARNING) == IDRETRY;
}

void PostReconnectNotice(const DownloadRun& run, int attempt) {
    PostProgress(run.window, L"Связь с сервером прервана...", FormatReconnectDetail(attempt),
                 DownloadThousandths(run.offset, run.expectedSize));
}

// The partial file cannot be continued: forget it and ask for the whole package again.
void ForgetPartialFile(DownloadRun& run) {
    run.file.Reset();
    DeletePartialDownload(run.folder.Get(), run.partialName);
    run.validator.clear();
    run.offset = 0;
    run.expectedSize = 0;
}

// Reads the body of the current response into the partial file at `offset`, reporting progress
// at most every PROGRESS_INTERVAL_NS and only right after a chunk was written. Only bytes that carry
// the file further than this run has had it set the counts back: an answer that brings none, or
// brings again what the run already had, is no progress. The file never grows past a known size.
BodyEnd ReceiveBody(DownloadRun& run) {
    Clock::time_point lastReportTime = Clock::now();
    uint64_t bytesSinceReport = 0;
    for (;;) {
        DWORD available = 0;
        if (!WinHttpQueryDataAvailable(run.handles.request.Get(), &available)) return BodyEnd::Lost;
        if (available == 0) {
            return IsDownloadComplete(run.offset, run.expectedSize) ? BodyEnd::Complete : BodyEnd::Lost;
        }
        DWORD received = 0;
        if (!WinHttpReadData(run.handles.request.Get(), run.buffer.get(),
                             available < TRANSFER_BUFFER_SIZE ? available : TRANSFER_BUFFER_SIZE, &received) ||
            received == 0) {
            return BodyEnd::Lost;
        }
        if (run.expectedSize != 0 && received > run.expectedSize - run.offset) return BodyEnd::Overrun;
        DWORD written = 0;
        if (!WriteFile(run.file.Get(), run.buffer.get(), received, &written, nullptr) || written != received) {
            return BodyEnd::WriteError;
        }
        if (TallyWrittenBytes(run.tally, run.offset, received, run.expectedSize)) {
            run.restartsWithoutProgress = 0;
            run.retryCount = 0;
        }
        run.offset += received;
        bytesSinceReport += received;

        const Clock::time_point now = Clock::now();
        if (now - lastReportTime < std::chrono::nanoseconds(PROGRESS_INTERVAL_NS)) continue;
        const int64_t elapsedMs = std::chrono::duration_cast<std::chrono::milliseconds>(now - lastReportTime).count();
        PostProgress(
            run.window, L"Загрузка компонентов ZENKA...",
            FormatDownloadDetail(run.offset, run.expectedSize, TransferSpeedMbPerSecond(bytesSinceReport, elapsedMs)),
            DownloadThousandths(run.offset, run.expectedSize));
        lastReportTime = now;
        bytesSinceReport = 0;
    }
}

// One more failed attempt in a row: a numbered notice and the pause while the automatic retries
// last, then the network-error box. False when the user chose Cancel (the window is being closed).
bool RetryAfterFailedAttempt(DownloadRun& run) {
    ++run.retryCount;
    // Restarts at full speed are counted up to the next paused retry; a loop with a pause in it is
    // bounded by this count instead.
    run.restartsWithoutProgress = 0;
    if (run.retryCount <= RECONNECT_ATTEMPTS_MAX) {
        PostReconnectNotice(run, run.retryCount);
        Pause();
        return true;
    }
    FlushAndClose(run.file);
    CloseTransferHandles(run.handles);
    if (AskRetry(run.window)) {
        run.retryCount = 0;
        run.tally.refetched = 0; // the user has agreed to what fetching again may cost
        return true;
    }
    // The window belongs to the main thread; only it may destroy it.
    PostMessageW(run.window, WM_CLOSE_REQUEST, 0, 0);
    return false;
}

enum class ResponseStep { Receive, RequestAgain, Failed };

// Ends the run with a fatal error; the partial file stays as it is, flushed and closed.
void FailDownload(DownloadRun& run, const std::wstring& text) {
    FlushAndClose(run.file);
    CloseTransferHandles(run.handles);
    PostFatalError(run.window, text);
}

// Failures that say this proxy (or the server) could not be reached, so the route's next entry may.
bool IsConnectFailure(DWORD error) {
    return error == ERROR_WINHTTP_CANNOT_CONNECT || error == ERROR_WINHTTP_NAME_NOT_RESOLVED ||
           error == ERROR_WINHTTP_TIMEOUT || error == ERROR_WINHTTP_CONNECTION_ERROR;
}

// One attempt's request along the route: each of its entries in turn while connecting fails.
bool SendAlongRoute(DownloadRun& run, DWORD& status, uint64_t& contentLength, DWORD& failure) {
    if (!run.keepRoute) {
        run.route = FindProxyRoute(run.url, run.routeTarget);
        run.routeIndex = 0;
    }
    run.keepRoute = false;
    for (; run.routeIndex < run.route.size(); ++run.routeIndex) {
        // What was given for one proxy is never sent to another.
        if (run.route[run.routeIndex] != run.proxy.proxy) {
            WipeProxyCredentials(run.proxy);
            run.proxy.proxy = run.route[run.routeIndex];
        }
        failure = 0;
        if (SendTransferRequest(run.handles, run.target, run.offset, status, contentLength, run.validator, &failure,
                                &run.proxy)) {
            return true;
        }
        if (!IsConnectFailure(failure) || run.routeIndex + 1 == run.route.size()) return false;
    }
    return false;
}

// The proxy of the current request asked who is there: true when the request is to go out again
// with an answer; false (with the refusal posted as a 407) when the person cancelled or none did.
bool AnswerProxy(DownloadRun& run, DWORD offered) {
    CloseTransferHandles(run.handles);
    if (!AnswerProxyChallenge(run.window, offered, run.logon, run.proxy)) {
        WipeProxyCredentials(run.proxy);
        FailDownload(run, HTTP_ERROR_TEXT + DecimalText(HTTP_STATUS_PROXY_AUTH_REQ));
        return false;
    }
    run.keepRoute = true;
    return true;
}

// Restarting at once costs a server nothing to provoke; a run of such restarts that brings nothing
// new ends the download instead of spinning against it. False (with the fatal error posted and the
// partial file left as it is) when the run is over.
bool AllowImmediateRestart(DownloadRun& run, DWORD status) {
    if (run.restartsWithoutProgress < IMMEDIATE_RESTARTS_MAX) {
        ++run.restartsWithoutProgress;
        return true;
    }
    FailDownload(run, HTTP_ERROR_TEXT + DecimalText(status));
    return false;
}

// Acts on the status of a response; Receive means the body is to be read into the open file.
ResponseStep HandleResponse(DownloadRun& run, DWORD status, uint64_t contentLength) {
    switch (ClassifyStatus(status)) {
    case StatusAction::ContinueRange: {
        // Written only where the server says its bytes belong: from exactly the offset asked for to
        // the end of a file of the size this run knows, and of the file the partial one came from.
        // Anything else (a range from another byte, a file of another size or validator: a server
        // or proxy that ignored the Range or If-Range, or a new release meanwhile) starts again.
        // The first announced size counts for the whole run; a 206 without Content-Length (chunked
        // or ended by the close) takes it from Content-Range.
        uint64_t size = 0;
        if (!RangeAnswerFits(QueryResponseHeader(run.handles, WINHTTP_QUERY_CONTENT_RANGE), run.offset, contentLength,
                             run.expectedSize, size) ||
            !RangeValidatorsAgree(run.validator, QueryResponseHeader(run.handles, WINHTTP_QUERY_ETAG),
                                  QueryResponseHeader(run.handles, WINHTTP_QUERY_LAST_MODIFIED))) {
            if (!AllowImmediateRestart(run, status)) return ResponseStep::Failed;
            ForgetPartialFile(run);
            CloseTransferHandles(run.handles);
            return ResponseStep::RequestAgain;
        }
        run.expectedSize = size;
        if (!run.file.IsValid() && !OpenPartialFile(run.file, run.folder.Get(), run.partialName, OPEN_EXISTING)) {
            if (!AllowImmediateRestart(run, status)) return ResponseStep::Failed;
            // Start a fresh file and ask for the whole package; the old validator spoke for the old bytes.
            OpenPartialFile(run.file, run.folder.Get(), run.partialName, CREATE_ALWAYS);
            DeleteResumeValidator(run.folder.Get(), run.partialName);
            run.validator.clear();
            run.offset = 0;
            CloseTransferHandles(run.handles);
            return ResponseStep::RequestAgain;
        }
        {
            LARGE_INTEGER position;
            position.QuadPart = static_cast<LONGLONG>(run.offset);
            SetFilePointerEx(run.file.Get(), position, nullptr, FILE_BEGIN);
        }
        return ResponseStep::Receive;
    }
    case StatusAction::RestartWhole:
        // Checked before the partial file goes: it may still be continued from a sound server.
        if (contentLength == 0 && DeclaresEmptyBody(QueryResponseHeader(run.handles, WINHTTP_QUERY_CONTENT_LENGTH))) {
            FailDownload(run, EMPTY_FILE_TEXT + run.url);
            return ResponseStep::Failed;
        }
        run.file.Reset();
        DeletePartialDownload(run.folder.Get(), run.partialName);
        run.validator.clear();
        if (!OpenPartialFile(run.file, run.folder.Get(), run.partialName, CREATE_ALWAYS)) {
            CloseTransferHandles(run.handles);
            PostFatalError(run.window, L"Не удалось создать файл для записи: " + run.partialPath);
            return ResponseStep::Failed;
        }
        // Remembered before the first body byte, so a partial file of this body never lies on disk
        // without the validator that tells a later run whether it may be continued.
        run.validator = ChooseResumeValidator(QueryResponseHeader(run.handles, WINHTTP_QUERY_ETAG),
                                              QueryResponseHeader(run.handles, WINHTTP_QUERY_LAST_MODIFIED));
        if (!run.validator.empty()) WriteResumeValidator(run.folder.Get(), run.partialName, run.validator);
        run.expectedSize = contentLength;
        run.offset = 0;
        return ResponseStep::Receive;
    case StatusAction::RestartEmpty:
        if (!AllowImmediateRestart(run, status)) return ResponseStep::Failed;
        ForgetPartialFile(run);
        CloseTransferHandles(run.handles);
        return ResponseStep::RequestAgain;
    case StatusAction::Fatal: break;
    }
    FailDownload(run, HTTP_ERROR_TEXT + DecimalText(status));
    return ResponseStep::Failed;
}

} // namespace

DownloadResult DownloadPackage(HWND window, const std::wstring& downloadUrl, const std::wstring& partialPath) {
    PostProgress(window, L"Подключение к серверу обновлений...", L"Инициализация WinHTTP соединения...", 10);

    auto run = std::make_unique<DownloadRun>(); // the target's buffers are too big for a thread stack frame
    run->window = window;
    run->url = downloadUrl;
    run->partialPath = partialPath;
    if (!SplitTransferUrl(downloadUrl, run->target)) {
        PostFatalError(window, L"Некорректный URL загрузки: " + downloadUrl);
        return DownloadResult::Failed;
    }
    run->routeTarget.scheme = run->target.scheme == INTERNET_SCHEME_HTTPS ? L"https" : L"http";
    run->routeTarget.host = run->target.hostName;
    run->routeTarget.port = run->target.port;
    // Everything below is done relative to the folder, held, never again by the full path.
    const size_t slash = partialPath.find_last_of(L"\\/");
    std::wstring folderPath = slash == std::wstring::npos ? std::wstring() : partialPath.substr(0, slash);
    if (IsDriveDesignator(folderPath)) folderPath += L'\\';
    run->partialName = partialPath.substr(slash + 1);
    if (folderPath.empty() || OpenHeldFolder(folderPath, run->folder) != ERROR_SUCCESS) {
        PostFatalError(window, L"Не удалось создать файл для записи: " + partialPath);
        return DownloadResult::Failed;
    }
    run->offset = OwnFileSize(run->folder.Get(), run->partialName);
    run->tally.furthest = run->offset;
    // A partial file left by a setup that kept no validator is continued as before, unconditionally.
    // A validator without bytes to vouch for is stale and goes.
    if (run->offset != 0) {
        run->validator = ReadResumeValidator(run->folder.Get(), run->partialName);
    } else {
        DeleteResumeValidator(run->folder.Get(), run->partialName);
    }
    run->buffer = std::make_unique<BYTE[]>(TRANSFER_BUFFER_SIZE); // value-initialised: zero-filled

    for (;;) {
        DWORD status = 0;
        uint64_t contentLength = 0;
        DWORD failure = 0;
        if (!SendAlongRoute(*run, status, contentLength, failure)) {
            // A redirect that goes round, goes on too long or is refused stays so however often it
            // is asked for again.
            if (failure == ERROR_WINHTTP_REDIRECT_FAILED) {
                FailDownload(*run, REDIRECT_FAILED_TEXT + run->url);
                return DownloadResult::Failed;
            }
            // Some WinHTTP versions report a proxy's 407 to a tunnel (CONNECT) as a failed TLS
            // handshake without a status: through a proxy that may be its question, so it is asked.
            if (failure == ERROR_WINHTTP_SECURE_CHANNEL_ERROR && !run->proxy.proxy.empty() &&
                run->target.scheme == INTERNET_SCHEME_HTTPS) {
                if (!AnswerProxy(*run, 0)) return DownloadResult::Failed;
                continue;
            }
            if (!RetryAfterFailedAttempt(*run)) return DownloadResult::Abandoned;
            continue;
        }

        if (status == HTTP_STATUS_PROXY_AUTH_REQ && !run->proxy.proxy.empty()) {
            if (!AnswerProxy(*run, QueryProxyAuthSchemes(run->handles))) return DownloadResult::Failed;
            continue;
        }

        const ResponseStep step = HandleResponse(*run, status, contentLength);
        if (step == ResponseStep::Failed) return DownloadResult::Failed;
        if (step == ResponseStep::RequestAgain) continue;

        if (run->firstResponse) {
            PostLogLine(window, L"[OK] Соединение установлено (HTTP Range-streaming активен)");
            PostLogLine(window, L"[..] Загрузка компонентов дистрибутива ZENKA...");
            run->firstResponse = false;
        }
        switch (ReceiveBody(*run)) {
        case BodyEnd::Complete:
            FlushAndClose(run->file);
            CloseTransferHandles(run->handles);
            PostLogLine(window, L"[OK] Загрузка дистрибутива завершена успешно");
            return DownloadResult::Completed;
        case BodyEnd::WriteError:
            FailDownload(*run, L"Ошибка записи файла на диск (недостаточно места или ошибка доступа).");
            return DownloadResult::Failed;
        case BodyEnd::Overrun:
            if (!AllowImmediateRestart(*run, status)) return DownloadResult::Failed;
            ForgetPartialFile(*run);
            CloseTransferHandles(run->handles);
            break;
        case BodyEnd::Lost:
            // The file stays open at `offset` for the ranged request that continues it. After a body
            // that carried the file further this is notice 1; one that did not counts on from the last.
            Flush(run->file);
            CloseTransferHandles(run->handles);
            if (!RetryAfterFailedAttempt(*run)) return DownloadResult::Abandoned;
            break;
        }
    }
}
