// The download's arithmetic, texts and decisions, free of Win32 calls.
#pragma once

#include <cstdint>
#include <string>

constexpr int RECONNECT_ATTEMPTS_MAX = 5;           // failed requests in a row retried on their own
constexpr int RECONNECT_DELAY_MS = 2000;            // pause before every automatic retry
constexpr int64_t PROGRESS_INTERVAL_NS = 120000000; // least time between two progress reports
// Restarts from zero at full speed (416, a 206 that does not fit the partial file, a 206 whose
// partial file could not be opened, a body past the known size) with neither progress nor a paused
// retry in between. A sound server needs at most two in a row; past this many the server is
// misbehaving, and retrying at full speed would only hammer it. A paused retry in between is
// bounded by the reconnect count instead.
constexpr int IMMEDIATE_RESTARTS_MAX = 3;

// "0.0 Б" .. "5120.0 ГБ": one decimal, units of 1024, gigabytes the largest unit.
std::wstring FormatByteSize(uint64_t bytes);

// offset / expectedSize in thousandths, truncated, at most 1000; 0 while the size is unknown (0).
int DownloadThousandths(uint64_t offset, uint64_t expectedSize);

// Speed in megabytes (2^20 bytes) per second over `elapsedMs` whole milliseconds (> 0).
double TransferSpeedMbPerSecond(uint64_t bytes, int64_t elapsedMs);

// "40.9% (50.0 МБ / 122.0 МБ) — 3.00 МБ/с", or "50.0 МБ — 3.00 МБ/с" while the size is unknown.
std::wstring FormatDownloadDetail(uint64_t offset, uint64_t expectedSize, double speedMbPerSecond);

// "Восстановление подключения (попытка n из 5)..."
std::wstring FormatReconnectDetail(int attempt);

// What a response's status code asks of the download.
enum class StatusAction {
    ContinueRange, // 206: the rest of the file from the requested offset
    RestartWhole,  // 200: the whole body; the partial file starts again
    RestartEmpty,  // 416: the partial file cannot be continued; start from zero
    Fatal,         // anything else ends the installation
};
StatusAction ClassifyStatus(uint32_t status);

// Bytes a run may fetch again below the furthest byte it has had, in packages, before growing past
// that byte stops counting as progress until the user chooses Retry. Without it a server that
// ignores Range and breaks every body a little further on would have the package fetched whole
// again for every step.
constexpr uint64_t REFETCH_ALLOWANCE_PACKAGES = 2;

// How far a run has got, to tell progress from bytes fetched again.
struct FetchTally {
    uint64_t furthest = 0;  // the largest size the partial file has had in this run
    uint64_t refetched = 0; // bytes written below `furthest` since the run began or the last Retry
};

// Counts `bytes` just written at `offset` of the partial file of a package of `expectedSize` bytes
// (0: unknown). True when they carried the file past `furthest` while the refetch allowance lasts
// (REFETCH_ALLOWANCE_PACKAGES times the package's size, or the furthest size while that is
// unknown): progress, which starts the reconnect and restart counts again. Bytes fetched again
// below `furthest` are never progress, so answers that bring nothing new reach the network box.
bool TallyWrittenBytes(FetchTally& tally, uint64_t offset, uint64_t bytes, uint64_t expectedSize);

// True for a Content-Length header's text (empty when absent) that declares an empty body: a 200
// for the package that says so names a file no retry will fill.
bool DeclaresEmptyBody(const std::wstring& contentLength);

// True when a body that has ended leaves the package whole: the known size is reached, or, when
// the server announced no size, at least one byte arrived.
bool IsDownloadComplete(uint64_t offset, uint64_t expectedSize);
