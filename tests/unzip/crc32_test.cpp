// CRC-32 of the ZIP format: its check values, and its three roads (byte-wise,
// table, sliced) agreeing at every alignment and length.  Every table entry
// is held to the bit-wise rule of the tests' ZIP writer by each extraction.
#include "unzip/crc32.h"

#include "tests/unzip/unzip_fixture.h"

namespace {

TEST(Crc32, GivesTheCheckValues) {
    const struct {
        std::string data;
        uint32_t crc;
    } values[] = {{"123456789", 0xCBF43926}, {"abc", 0x352441C2}, {"", 0}};
    for (const auto &v : values) {
        const uint8_t *bytes = reinterpret_cast<const uint8_t *>(v.data.data());
        EXPECT_EQ(v.crc, ~crc_update(0xFFFFFFFF, bytes, v.data.size())) << v.data;
    }
}

TEST(Crc32, EveryRoadGivesTheOneTableValueAtEveryAlignmentAndLength) {
    std::string data = content(5000, 11);
    const uint8_t *bytes = reinterpret_cast<const uint8_t *>(data.data());
    std::vector<size_t> lengths;
    for (size_t n = 0; n <= 64; n++) lengths.push_back(n);
    for (size_t n : {127, 128, 129, 191, 255, 256, 1000, 4096 + 7}) lengths.push_back(n);
    for (size_t align = 0; align < 16; align++) {
        for (size_t n : lengths) {
            uint32_t expected = crc_update_bytewise(0x89ABCDEF, bytes + align, n);
            EXPECT_EQ(expected, crc_update(0x89ABCDEF, bytes + align, n)) << align << " " << n;
            EXPECT_EQ(expected, crc_update_sliced(0x89ABCDEF, bytes + align, n))
                << align << " " << n;
        }
    }
}

} // namespace
