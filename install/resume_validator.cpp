#include "install/resume_validator.h"

namespace {
bool IsVisibleAscii(wchar_t c) { return c >= 0x21 && c <= 0x7E; }

// An entity tag, well formed or not, as opposed to a date: dates never start with a quote or "W/".
bool IsEntityTag(const std::wstring& validator) {
    return !validator.empty() && (validator.front() == L'"' || validator.compare(0, 2, L"W/") == 0);
}

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

bool IsWeakEtag(const std::wstring& etag) { return etag.compare(0, 2, L"W/") == 0 && IsStrongEtag(etag.substr(2)); }

std::wstring ChooseResumeValidator(const std::wstring& etag, const std::wstring& lastModified) {
    if (IsStrongEtag(etag) || IsWeakEtag(etag)) return etag;
    // A server that sends an entity tag, even one we cannot use, must not get a date in If-Range.
    if (etag.empty() && IsUsableValidator(lastModified)) return lastModified;
    return std::wstring();
}

std::wstring BuildIfRangeHeader(const std::wstring& validator) {
    if (!IsUsableValidator(validator)) return std::wstring();
    // A weak tag never matches in If-Range; the answer's own ETag is checked instead.
    if (IsEntityTag(validator) && !IsStrongEtag(validator)) return std::wstring();
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

bool ParseContentRange(const std::wstring& value, ContentRange& range) {
    const std::wstring unit = L"bytes ";
    if (value.compare(0, unit.size(), unit) != 0) return false;
    const size_t dash = value.find(L'-', unit.size());
    const size_t slash = value.find(L'/', unit.size());
    if (dash == std::wstring::npos || slash == std::wstring::npos || dash > slash) return false;
    if (!ParseDecimal(value, unit.size(), dash, range.first) || !ParseDecimal(value, dash + 1, slash, range.last) ||
        !ParseDecimal(value, slash + 1, value.size(), range.total)) {
        return false;
    }
    return range.first <= range.last && range.last < range.total;
}

bool RangeAnswerFits(const std::wstring& contentRange, uint64_t offset, uint64_t contentLength, uint64_t knownSize,
                     uint64_t& size) {
    ContentRange range;
    if (!ParseContentRange(contentRange, range)) return false;
    if (range.first != offset || range.last != range.total - 1) return false;
    if (knownSize != 0 && range.total != knownSize) return false;
    if (contentLength != 0 && contentLength != range.last - range.first + 1) return false;
    size = range.total;
    return true;
}

bool RangeValidatorsAgree(const std::wstring& validator, const std::wstring& etag, const std::wstring& lastModified) {
    if (validator.empty()) return true;
    if (!IsEntityTag(validator)) return lastModified.empty() || lastModified == validator;
    if (etag.empty()) return true;
    if (IsStrongEtag(validator)) return etag == validator;
    // Weak comparison: the quoted text decides, whichever side says "W/".
    const auto opaque = [](const std::wstring& tag) { return tag.compare(0, 2, L"W/") == 0 ? tag.substr(2) : tag; };
    return opaque(etag) == opaque(validator);
}
