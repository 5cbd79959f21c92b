#include "support/zip_builder.h"

#include <miniz.h>

#include <windows.h>

#include <cstdlib>
#include <stdexcept>

namespace {

void Put16(std::string& out, uint32_t value) {
    out.push_back(static_cast<char>(value & 0xFF));
    out.push_back(static_cast<char>((value >> 8) & 0xFF));
}

void Put32(std::string& out, uint32_t value) {
    Put16(out, value & 0xFFFF);
    Put16(out, value >> 16);
}

uint32_t Get32(const std::string& in, size_t at) {
    uint32_t value = 0;
    for (int i = 3; i >= 0; --i) value = (value << 8) | static_cast<unsigned char>(in[at + i]);
    return value;
}

uint32_t Get16(const std::string& in, size_t at) {
    return static_cast<unsigned char>(in[at]) | (static_cast<unsigned char>(in[at + 1]) << 8);
}

std::string Deflate(const std::string& data) {
    size_t outLength = 0;
    void* out = tdefl_compress_mem_to_heap(data.data(), data.size(), &outLength, 128);
    if (out == nullptr && !data.empty()) throw std::runtime_error("deflate failed");
    std::string compressed(static_cast<const char*>(out), outLength);
    mz_free(out);
    return compressed;
}

} // namespace

std::string BuildZip(const std::vector<ZipEntrySpec>& entries) {
    std::string archive;
    std::string central;
    for (const ZipEntrySpec& entry : entries) {
        const uint32_t crc = static_cast<uint32_t>(
            mz_crc32(MZ_CRC32_INIT, reinterpret_cast<const unsigned char*>(entry.data.data()), entry.data.size()));
        const bool deflated = entry.deflate && !entry.directory;
        const std::string stored = deflated && entry.method < 0 ? Deflate(entry.data) : entry.data;
        const uint32_t method = entry.method >= 0 ? static_cast<uint32_t>(entry.method) : deflated ? 8 : 0;
        const uint32_t localOffset = static_cast<uint32_t>(archive.size());

        Put32(archive, 0x04034b50);
        Put16(archive, 20); // version needed
        Put16(archive, entry.flags);
        Put16(archive, method);
        Put16(archive, 0);    // time
        Put16(archive, 0x21); // date: 1980-01-01
        Put32(archive, crc);
        Put32(archive, static_cast<uint32_t>(stored.size()));
        Put32(archive, static_cast<uint32_t>(entry.data.size()));
        Put16(archive, static_cast<uint32_t>(entry.name.size()));
        Put16(archive, static_cast<uint32_t>(entry.extra.size()));
        archive += entry.name;
        archive += entry.extra;
        archive += stored;

        Put32(central, 0x02014b50);
        Put16(central, 20);
        Put16(central, 20);
        Put16(central, entry.flags);
        Put16(central, method);
        Put16(central, 0);
        Put16(central, 0x21);
        Put32(central, crc);
        Put32(central, static_cast<uint32_t>(stored.size()));
        Put32(central, static_cast<uint32_t>(entry.data.size()));
        Put16(central, static_cast<uint32_t>(entry.name.size()));
        Put16(central, static_cast<uint32_t>(entry.extra.size()));
        Put16(central, 0); // comment
        Put16(central, 0); // disk
        Put16(central, 0); // internal attributes
        Put32(central, entry.directory ? 0x10 : 0x20);
        Put32(central, localOffset);
        central += entry.name;
        central += entry.extra;
    }
    const uint32_t centralOffset = static_cast<uint32_t>(archive.size());
    archive += central;
    Put32(archive, 0x06054b50);
    Put16(archive, 0);
    Put16(archive, 0);
    Put16(archive, static_cast<uint32_t>(entries.size()));
    Put16(archive, static_cast<uint32_t>(entries.size()));
    Put32(archive, static_cast<uint32_t>(central.size()));
    Put32(archive, centralOffset);
    Put16(archive, 0);
    return archive;
}

std::string UnicodePathExtra(const std::string& storedName, const std::string& utf8Name) {
    std::string field;
    Put16(field, 0x7075);
    Put16(field, static_cast<uint32_t>(5 + utf8Name.size()));
    field.push_back(1); // version
    Put32(field, static_cast<uint32_t>(mz_crc32(
                     MZ_CRC32_INIT, reinterpret_cast<const unsigned char*>(storedName.data()), storedName.size())));
    return field + utf8Name;
}

size_t ZipDataOffset(const std::string& archive, size_t index) {
    size_t at = 0;
    for (size_t i = 0;; ++i) {
        if (Get32(archive, at) != 0x04034b50) throw std::runtime_error("no such entry");
        const size_t dataStart = at + 30 + Get16(archive, at + 26) + Get16(archive, at + 28);
        if (i == index) return dataStart;
        at = dataStart + Get32(archive, at + 18);
    }
}

std::string CompressibleText(size_t size, uint32_t seed) {
    static const char* const words[] = {"launcher ", "library ", "update ", "zenka ", "game ",
                                        "settings ", "profile ", "cache ",  "\n"};
    std::string text;
    uint32_t state = seed * 2654435761u + 1;
    while (text.size() < size) {
        state = state * 1103515245u + 12345u;
        text += words[(state >> 16) % 9];
    }
    text.resize(size);
    return text;
}

std::string RandomBytes(size_t size, uint32_t seed) {
    std::string bytes(size, '\0');
    uint64_t state = seed * 0x9E3779B97F4A7C15ull + 1;
    for (char& byte : bytes) {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        byte = static_cast<char>(state & 0xFF);
    }
    return bytes;
}
