// Builds ZIP archives byte by byte for tests, so that names, attributes and data can be anything
// an archive might hold: hostile names, invalid UTF-8, damaged data, forged sizes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct ZipEntrySpec {
    std::string name;             // stored as is (no validation, no normalisation)
    std::string data;             // uncompressed contents
    bool deflate = true;          // deflated, or stored
    bool directory = false;       // sets the DOS directory attribute 0x10
};

// The whole archive: local headers with data, central directory, end record.
std::string BuildZip(const std::vector<ZipEntrySpec>& entries);

// Offset of entry `index`'s compressed data inside an archive made by BuildZip.
size_t ZipDataOffset(const std::string& archive, size_t index);

// Text that deflates well / barely at all, made deterministically from `seed`.
std::string CompressibleText(size_t size, uint32_t seed);
std::string RandomBytes(size_t size, uint32_t seed);
