// The archive reader's CRC-32 must equal the plain bit-by-bit definition for every length and
// alignment, and chain across calls, or every extraction would fail its check.
#include <miniz.h>

#include <gtest/gtest.h>

#include <string>

namespace {

uint32_t ReferenceCrc(uint32_t crc, const unsigned char* data, size_t length) {
    crc = ~crc;
    for (size_t i = 0; i < length; ++i) {
        crc ^= data[i];
        for (int k = 0; k < 8; ++k) crc = (crc & 1) ? 0xEDB88320u ^ (crc >> 1) : crc >> 1;
    }
    return ~crc;
}

TEST(Crc32, MatchesTheDefinition) {
    const std::string check = "123456789";
    EXPECT_EQ(mz_crc32(MZ_CRC32_INIT, reinterpret_cast<const unsigned char*>(check.data()), check.size()),
              0xCBF43926u);
    EXPECT_EQ(mz_crc32(MZ_CRC32_INIT, nullptr, 0), MZ_CRC32_INIT);

    std::string data(300, '\0');
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 131 + 7);
    const auto* bytes = reinterpret_cast<const unsigned char*>(data.data());
    for (size_t offset = 0; offset < 9; ++offset) {
        for (size_t length = 0; length + offset <= data.size(); length += 7) {
            ASSERT_EQ(mz_crc32(MZ_CRC32_INIT, bytes + offset, length),
                      ReferenceCrc(0, bytes + offset, length))
                << offset << "+" << length;
        }
    }
    // Chained over pieces, as the reader feeds it chunk by chunk.
    const mz_ulong first = mz_crc32(MZ_CRC32_INIT, bytes, 13);
    EXPECT_EQ(mz_crc32(first, bytes + 13, 287), ReferenceCrc(0, bytes, 300));
}

} // namespace
