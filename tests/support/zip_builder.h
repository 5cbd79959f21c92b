// Builds ZIP archives byte by byte for tests, so that names, attributes and data can be anything
// an archive might hold: hostile names, invalid UTF-8, damaged data, forged sizes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct ZipEntrySpec {
    std::string name;        // stored as is (no validation, no normalisation)
    std::string data;        // uncompressed contents
    bool deflate = true;     // deflated, or stored
    bool directory = false;  // sets the DOS directory attribute 0x10
    int method = -1;         // when set: recorded as this method, `data` stored as it is
    uint16_t flags = 0x0800; // general purpose bits: UTF-8 names
    std::string extra{};     // the extra field, local and central
};

// The whole archive: local headers with data, central directory, end record.
std::string BuildZip(const std::vector<ZipEntrySpec>& entries);

// An Info-ZIP Unicode path field (0x7075) naming `storedName`'s entry `utf8Name`.
std::string UnicodePathExtra(const std::string& storedName, const std::string& utf8Name);

// Offset of entry `index`'s compressed data inside an archive made by BuildZip.
size_t ZipDataOffset(const std::string& archive, size_t index);

// Text that deflates well / barely at all, made deterministically from `seed`.
std::string CompressibleText(size_t size, uint32_t seed);
std::string RandomBytes(size_t size, uint32_t seed);
