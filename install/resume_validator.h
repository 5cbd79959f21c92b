// Whether a partial file may be continued: the validator that identifies the server's file it came
// from, and the checks a ranged answer has to pass. Pure functions, free of Win32 calls.
#pragma once

#include <cstdint>
#include <string>

// Longest validator kept or sent; real ETags and HTTP dates are far shorter.
constexpr size_t RESUME_VALIDATOR_LENGTH_MAX = 256;

// True for a strong entity tag as HTTP writes it: '"', then visible ASCII other than '"', then
// '"'. A weak one ("W/" in front) or an unquoted value is not strong.
bool IsStrongEtag(const std::wstring& etag);

// True for text that may go into a request header: 1..RESUME_VALIDATOR_LENGTH_MAX characters of
// printable ASCII (blanks included, line breaks and other control characters not).
bool IsUsableValidator(const std::wstring& text);

// True for a weak entity tag: "W/" in front of a strong one.
bool IsWeakEtag(const std::wstring& etag);

// The validator to remember for a partial file started by a whole-file answer: the ETag when it is
// strong or weak, Last-Modified only when the answer has no ETag at all, otherwise none (empty).
// Headers absent from the answer are empty. A weak ETag is never sent back (If-Range takes only a
// strong one), but a ranged answer is checked against it (RangeValidatorsAgree).
std::wstring ChooseResumeValidator(const std::wstring& etag, const std::wstring& lastModified);

// "If-Range: <validator>\r\n" for a strong ETag or a date; empty for a weak ETag, an empty or an
// unusable validator (the request then goes out as a plain ranged one). HTTP allows a date there
// only from a server that sends no ETag, which ChooseResumeValidator sees to.
std::wstring BuildIfRangeHeader(const std::wstring& validator);

// The validator stored in a validator file's bytes; empty (none) when they are not a usable
// validator: too long, a line break or other control byte, non-ASCII. A trailing line break is
// tolerated so a file written by hand still reads.
std::wstring ParseValidatorFileText(const std::string& bytes);
// The bytes a validator file holds for `validator` (usable by IsUsableValidator).
std::string FormatValidatorFileText(const std::wstring& validator);

// A Content-Range value "bytes <first>-<last>/<complete>".
struct ContentRange {
    uint64_t first = 0;
    uint64_t last = 0;
    uint64_t total = 0;
};
// False when the value is absent, malformed, names no complete length ("*") or a range that does
// not lie within it.
bool ParseContentRange(const std::wstring& value, ContentRange& range);

// Whether a 206 answering a request for the bytes from `offset` on may be written at `offset`: its
// Content-Range runs from exactly that byte to the last of the file, its complete length is
// `knownSize` when the run knows one (not 0), and its Content-Length, when announced (not 0), counts
// exactly those bytes. True sets `size` to the complete length. Anything else is a piece of some
// other place or some other file.
bool RangeAnswerFits(const std::wstring& contentRange, uint64_t offset, uint64_t contentLength, uint64_t knownSize,
                     uint64_t& size);

// Whether a 206's own ETag and Last-Modified (empty when absent) name the file the partial file was
// started from, as `validator` remembers it: an ETag is compared with a remembered ETag (strongly
// for a strong one, by its quoted text for a weak one), Last-Modified with a remembered date. An
// absent header, or no validator, leaves nothing to compare: true.
bool RangeValidatorsAgree(const std::wstring& validator, const std::wstring& etag, const std::wstring& lastModified);
