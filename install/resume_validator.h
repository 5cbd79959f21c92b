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

// The validator to remember for a partial file started by a whole-file answer: the ETag when it is
// strong, otherwise Last-Modified, otherwise none (empty). Headers absent from the answer are empty.
// A weak ETag is never used: it may stay the same while the bytes change.
std::wstring ChooseResumeValidator(const std::wstring& etag, const std::wstring& lastModified);

// "If-Range: <validator>\r\n", or empty for an empty or unusable validator (the request then goes
// out as a plain ranged one).
std::wstring BuildIfRangeHeader(const std::wstring& validator);

// The validator stored in a validator file's bytes; empty (none) when they are not a usable
// validator: too long, a line break or other control byte, non-ASCII. A trailing line break is
// tolerated so a file written by hand still reads.
std::wstring ParseValidatorFileText(const std::string& bytes);
// The bytes a validator file holds for `validator` (usable by IsUsableValidator).
std::string FormatValidatorFileText(const std::wstring& validator);

// The complete length of a Content-Range value "bytes <first>-<last>/<complete>"; false when the
// value is absent, malformed or names no complete length ("*").
bool ParseContentRangeTotal(const std::wstring& contentRange, uint64_t& total);

// True when a 206's Content-Range names a complete length other than `expectedSize`, the size the
// current partial file was started with. False while that size is unknown (0) or the answer names
// no complete length: nothing to compare, the other checks decide.
bool RangeTotalDisagrees(const std::wstring& contentRange, uint64_t expectedSize);
