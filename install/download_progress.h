// The download's arithmetic, texts and decisions, free of Win32 calls.
#pragma once

#include <cstdint>
#include <string>

constexpr int RECONNECT_ATTEMPTS_MAX = 5;           // failed requests in a row retried on their own
constexpr int RECONNECT_DELAY_MS = 2000;            // pause before every automatic retry
constexpr int64_t PROGRESS_INTERVAL_NS = 120000000; // least time between two progress reports
// Restarts from zero that follow one another without a single body byte (416, a 206 that does
// not fit the partial file, a 206 whose partial file could not be opened, a body past the known size). A sound server
// needs at most two in a row; past this many the server is misbehaving, and retrying at full speed would only hammer
// it.
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

// True when a body that has ended leaves the package whole: the known size is reached, or, when
// the server announced no size, at least one byte arrived.
bool IsDownloadComplete(uint64_t offset, uint64_t expectedSize);
