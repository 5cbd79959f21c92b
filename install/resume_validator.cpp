#include "install/resume_validator.h"

namespace {
bool IsVisibleAscii(wchar_t c) { return c >= 0x21 && c <= 0x7E; }

bool ParseDecimal(const std::wstring& text, size_t begin, size_t end, uint64_t& value) {
    if (begin >= end) return false;
    value = 0;
    for (size_t i = begin; i < end; ++i) {
        if (text[i] < L'0' || text[i] > L'9') return false;
        const uint64_t digit = static_cast<uint64_t>(text[i] - L'0');
        if (value > (UINT64_MAX - digit) / 10) return false; // would not fit: not a size we can meet
        value = value * 10 + digit;
    }
    return true;
}
} // namespace

bool IsStrongEtag(const std::wstring& etag) {
    if (etag.size() < 2 || etag.size() > RESUME_VALIDATOR_LENGTH_MAX) return false;
    if (etag.front() != L'"' || etag.back() != L'"') return false;
    for (size_t i = 1; i + 1 < etag.size(); ++i) {
        if (!IsVisibleAscii(etag[i]) || etag[i] == L'"') return false;
    }
    return true;
}

bool IsUsableValidator(const std::wstring& text) {
    if (text.empty() || text.size() > RESUME_VALIDATOR_LENGTH_MAX) return false;
    for (const wchar_t c : text) {
        if (c != L' ' && !IsVisibleAscii(c)) return false;
    }
    return true;
}

std::wstring ChooseResumeValidator(const std::wstring& etag, const std::wstring& lastModified) {
    if (IsStrongEtag(etag)) return etag;
    if (IsUsableValidator(lastModified)) return lastModified;
    return std::wstring();
}

std::wstring BuildIfRangeHeader(const std::wstring& validator) {
    if (!IsUsableValidator(validator)) return std::wstring();
    return L"If-Range: " + validator + L"\r\n";
}

std::wstring ParseValidatorFileText(const std::string& bytes) {
    std::string text = bytes;
    if (!text.empty() && text.back() == '\n') text.pop_back();
    if (!text.empty() && text.back() == '\r') text.pop_back();
    if (text.size() > RESUME_VALIDATOR_LENGTH_MAX) return std::wstring();
    std::wstring validator;
    for (const char c : text) {
        const unsigned char byte = static_cast<unsigned char>(c);
        if (byte >= 0x80) return std::wstring();
        validator.push_back(static_cast<wchar_t>(byte));
    }
    return IsUsableValidator(validator) ? validator : std::wstring();
}

std::string FormatValidatorFileText(const std::wstring& validator) {
    std::string text;
    for (const wchar_t c : validator) text.push_back(static_cast<char>(c)); // ASCII, checked by the caller
    return text;
}

bool ParseContentRangeTotal(const std::wstring& contentRange, uint64_t& total) {
    const std::wstring unit = L"bytes ";
    if (contentRange.compare(0, unit.size(), unit) != 0) return false;
    const size_t dash = contentRange.find(L'-', unit.size());
    const size_t slash = contentRange.find(L'/', unit.size());
    if (dash == std::wstring::npos || slash == std::wstring::npos || dash > slash) return false;
    uint64_t first = 0;
    uint64_t last = 0;
    if (!ParseDecimal(contentRange, unit.size(), dash, first) ||
        !ParseDecimal(contentRange, dash + 1, slash, last) ||
        !ParseDecimal(contentRange, slash + 1, contentRange.size(), total)) {
        return false;
    }
    return first <= last && last < total;
}

bool RangeTotalDisagrees(const std::wstring& contentRange, uint64_t expectedSize) {
    uint64_t total = 0;
    if (expectedSize == 0 || !ParseContentRangeTotal(contentRange, total)) return false;
    return total != expectedSize;
}
