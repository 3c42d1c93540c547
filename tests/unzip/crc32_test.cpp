// CRC-32 of the ZIP format: its check values, its table and its independence
// of how the data is cut into blocks.
#include "unzip/crc32.h"

#include "tests/unzip/unzip_fixture.h"

namespace {

uint32_t crc_of(const std::string &data) {
    return ~crc_update(0xFFFFFFFF, reinterpret_cast<const uint8_t *>(data.data()), data.size());
}

TEST(Crc32, GivesTheStandardCheckValues) {
    EXPECT_EQ(0xCBF43926u, crc_of("123456789"));
    EXPECT_EQ(0x352441C2u, crc_of("abc"));
    EXPECT_EQ(0u, crc_of(""));
}

TEST(Crc32, TableEntriesAreThoseOfTheReflectedPolynomial) {
    const struct {
        uint8_t byte;
        uint32_t entry;
    } cases[] = {{0, 0}, {1, 0x77073096}, {128, 0xEDB88320}, {255, 0x2D02EF8D}};
    for (const auto &c : cases) EXPECT_EQ(c.entry, crc_update(0, &c.byte, 1)) << int(c.byte);
}

TEST(Crc32, AnyCutIntoBlocksGivesTheSameValue) {
    std::string data = content(100000, 7);
    const uint8_t *bytes = reinterpret_cast<const uint8_t *>(data.data());
    uint32_t whole = crc_of(data);
    EXPECT_EQ(crc32_of(data), whole);
    for (size_t block : {size_t(1), size_t(3), size_t(4096), size_t(0x7000), size_t(65537)}) {
        uint32_t reg = 0xFFFFFFFF;
        for (size_t at = 0; at < data.size(); at += block) {
            reg = crc_update(reg, bytes + at, std::min(block, data.size() - at));
            reg = crc_update(reg, bytes, 0); /* an empty block changes nothing */
        }
        EXPECT_EQ(whole, ~reg) << block;
    }
}

} // namespace
