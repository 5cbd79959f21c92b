#include "install/download_progress.h"

#include "base/number_text.h"

std::wstring FormatByteSize(uint64_t bytes) {
    static const wchar_t* const UNITS[] = {L"Б", L"КБ", L"МБ", L"ГБ"};
    double value = static_cast<double>(bytes);
    int unit = 0;
    while (value >= 1024.0 && unit < 3) {
        value *= 1.0 / 1024.0;
        ++unit;
    }
    return FixedText(value, 1) + L' ' + UNITS[unit];
}

int DownloadThousandths(uint64_t offset, uint64_t expectedSize) {
    if (expectedSize == 0) return 0;
    const double fraction = static_cast<double>(offset) / static_cast<double>(expectedSize);
    const double thousandths = fraction * 100.0 * 10.0;
    if (thousandths >= 1000.0) return 1000; // also keeps the int conversion in range
    return static_cast<int>(thousandths);
}

double TransferSpeedMbPerSecond(uint64_t bytes, int64_t elapsedMs) {
    if (elapsedMs <= 0) return 0.0;
    return (static_cast<double>(bytes) * (1.0 / 1048576.0)) / (static_cast<double>(elapsedMs) / 1000.0);
}

std::wstring FormatDownloadDetail(uint64_t offset, uint64_t expectedSize, double speedMbPerSecond) {
    std::wstring text;
    if (expectedSize != 0) {
        text = FixedText(DownloadThousandths(offset, expectedSize) / 10.0, 1) + L"% (" + FormatByteSize(offset) +
               L" / " + FormatByteSize(expectedSize) + L") \u2014 ";
    } else {
        text = FormatByteSize(offset) + L" \u2014 ";
    }
    return text + FixedText(speedMbPerSecond, 2) + L" МБ/с";
}

std::wstring FormatReconnectDetail(int attempt) {
    return L"Восстановление подключения (попытка " + DecimalText(attempt) + L" из " +
           DecimalText(RECONNECT_ATTEMPTS_MAX) + L")...";
}

StatusAction ClassifyStatus(uint32_t status) {
    switch (status) {
    case 206: return StatusAction::ContinueRange;
    case 200: return StatusAction::RestartWhole;
    case 416: return StatusAction::RestartEmpty;
    default: return StatusAction::Fatal;
    }
}

bool IsDownloadComplete(uint64_t offset, uint64_t expectedSize) {
    return expectedSize != 0 ? offset >= expectedSize : offset != 0;
}

bool TallyWrittenBytes(FetchTally& tally, uint64_t offset, uint64_t bytes, uint64_t expectedSize) {
    const uint64_t end = offset + bytes;
    if (end <= tally.furthest) {
        tally.refetched += bytes;
        return false;
    }
    if (offset < tally.furthest) tally.refetched += tally.furthest - offset;
    tally.furthest = end;
    const uint64_t size = expectedSize > end ? expectedSize : end;
    return tally.refetched / REFETCH_ALLOWANCE_PACKAGES <= size; // divided: a product could overflow
}

bool DeclaresEmptyBody(const std::wstring& contentLength) {
    return !contentLength.empty() && contentLength.find_first_not_of(L'0') == std::wstring::npos;
}
