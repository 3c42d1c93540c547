// The loose files on a real file system, with no window and no box shown:
// sizes as the check counts them, copies that are byte-identical and carry
// the source's time, and a cancel before the first file.  Runs on the host
// and under Wine against the Win32 platform layer.
#include "dist_fixture.h"

namespace {

/* An SZDD header announcing size bytes once expanded, then a little data. */
std::string szdd(uint32_t size, size_t total) {
    std::string bytes = "SZDD\x88\xF0\x27\x33\x41_"; /* mode 'A', missing last character */
    for (int k = 0; k < 4; k++) bytes += char((size >> (8 * k)) & 0xFF);
    bytes.resize(total, 'z');
    return bytes;
}

TEST_F(DistFiles, CheckPassAddsExpandedSizesOfCompressedFilesAndDiskSizesOfOthers) {
    write_file(src(0), pattern(100, 0));
    write_file(src(1), szdd(123456, 40));            /* compressed: its expanded size */
    write_file(src(2), szdd(999, 40).substr(0, 13)); /* too short for a header */
    write_file(src(3), szdd(0x89ABCDEFu, 14));       /* header alone, all 32 bits */
    write_file(src(4), "");
    std::string wrong = szdd(777, 20);
    wrong[7] = 0x34; /* second magic does not match */
    write_file(src(5), wrong);
    write_file(src(6), pattern(5000, 6));
    EXPECT_EQ(distribution_pass(nullptr, DIST_CHECK), 1);
    EXPECT_EQ(setup.size_total, 100u + 123456u + 13u + 0x89ABCDEFu + 0u + 20u + 5000u);
    EXPECT_TRUE(fs::is_empty(target));
    EXPECT_EQ(expanded_size((source + "NOSUCH.TXT").c_str(), 42), 42u);
}

TEST_F(DistFiles, CopyPassMakesByteIdenticalCopiesCarryingTheSourcesLastWriteTime) {
    const std::vector<size_t> sizes = {0, 1, 15359, 15360, 15361, 30720, 40000};
    make_sources(sizes);
    ASSERT_EQ(distribution_pass(nullptr, DIST_COPY), 1);
    uint32_t total = 0;
    for (int i = 0; i < 7; i++) {
        plat_find_data found;
        ASSERT_EQ(plat_find_first(dst(i).c_str(), &found), 1) << dst(i);
        EXPECT_TRUE(same_time(found.ftCreationTime, REFERENCE)) << dst(i);
        EXPECT_TRUE(same_time(found.ftLastAccessTime, REFERENCE)) << dst(i);
        EXPECT_TRUE(same_time(found.ftLastWriteTime, REFERENCE)) << dst(i);
        EXPECT_EQ(read_file(dst(i)), read_file(src(i))) << dst(i);
        total += uint32_t(sizes[size_t(i)]);
    }
    EXPECT_EQ(copy_byte_counter, total);
}

TEST_F(DistFiles, CancelBeforeTheFirstFileStillCopiesItsFirstChunkStamped) {
    make_sources({40000, 100, 100, 100, 100, 100, 100});
    cancel_flag = 1;
    EXPECT_EQ(distribution_pass(nullptr, DIST_COPY), 0);
    EXPECT_EQ(read_file(dst(0)), pattern(15360, 0));
    plat_find_data found;
    ASSERT_EQ(plat_find_first(dst(0).c_str(), &found), 1);
    EXPECT_TRUE(same_time(found.ftLastWriteTime, REFERENCE));
    EXPECT_FALSE(fs::exists(dst(1)));
}

} // namespace
