// The engine on archives that extract: members stored and deflated, their
// sizes and times, selection, the filter and output paths, test mode, and the
// record walk over junk, data descriptors and streamed members.  These run on
// real files through the platform layer, on the host and under Windows.
#include "tests/unzip/unzip_fixture.h"

namespace {

zip_member streamed_stored(const std::string &name, const std::string &data, bool signed_form) {
    zip_member m = streamed(name, data, signed_form);
    m.method = 0;
    return m;
}

using Members = UnzipTest;
TEST_F(Members, ComeOutByteForByteWithTheirTimeAsLocalTime) {
    std::string a = content(0x7000, 1), b = content(0x7001, 2), c = content(70000, 3);
    request.result = 7; /* success leaves it as the caller set it */
    EXPECT_EQ(7, run({member("a.bin", a), member("b.bin", b), member("c.bin", c, 8),
                      member("empty", ""), member("e8", "", 8)}));
    EXPECT_EQ(a, out("a.bin"));
    EXPECT_EQ(b, out("b.bin"));
    EXPECT_EQ(c, out("c.bin"));
    EXPECT_EQ("", out("empty") + out("e8"));
    plat_filetime local, expected;
    ASSERT_TRUE(plat_dos_to_file_time(DOS_DATE, DOS_TIME, &local));
    plat_local_to_file_time(&local, &expected);
    plat_find_data found;
    ASSERT_TRUE(plat_find_first((dest + "/c.bin").c_str(), &found));
    EXPECT_EQ(expected.dwLowDateTime, found.ftLastWriteTime.dwLowDateTime);
    EXPECT_EQ(expected.dwHighDateTime, found.ftLastWriteTime.dwHighDateTime);
}

TEST_F(Members, CrcMismatchPassesWhenTheCheckIsOff) {
    zip_member bad = member("bad.txt", "damaged");
    bad.wrong_crc = true;
    request.crc_check = 2; /* only 1 turns the check on */
    ASSERT_EQ(0, run({bad, member("next.txt", "after")}));
    EXPECT_EQ("damaged", out("bad.txt"));
    EXPECT_EQ("after", out("next.txt"));
}

using Selection = UnzipTest;
TEST_F(Selection, BaseNamesGoIntoTheDestinationAndTheLaterOneWins) {
    ASSERT_EQ(0, run({member("docs\\readme.txt", "first"), member("docs/", ""),
                      member("other/readme.txt", "second"), member("/rooted.txt", "r")}));
    EXPECT_EQ("second", out("readme.txt"));
    EXPECT_EQ("r", out("rooted.txt"));
    EXPECT_FALSE(file_exists(dest + "/docs"));
}

TEST_F(Selection, KeptPathsLoseOneLeadingSeparatorAndNoSeparatorIsDoubled) {
    plat_mkdir((dest + "/sub").c_str());
    plat_mkdir((dest + "/d\x82").c_str()); /* only the file name is turned to ANSI */
    std::string with_sep = dest + "\\";
    request.dest_dir = with_sep.c_str();
    request.keep_paths = 1;
    ASSERT_EQ(0, run({member("/sub/a.txt", "a"), member("sub\\b.txt", "b"),
                      member("d\x82\\c.txt", "c")}));
    EXPECT_EQ("a", out("sub/a.txt"));
    EXPECT_EQ("b", out("sub/b.txt"));
    EXPECT_EQ("c", out("d\x82/c.txt"));
}

TEST_F(Selection, FilterMatchesWithoutCaseAndPassesOverTheRest) {
    zip_member secret = member("secret.txt", "xx"); /* encrypted but not asked for */
    secret.flags = 1;
    add_filter("nothing");
    add_filter("a/b.txt");
    ASSERT_EQ(0, run({member("A\\B.TXT", "wanted"), member("c.txt", "unwanted"), secret}));
    EXPECT_EQ("wanted", out("B.TXT"));
    EXPECT_FALSE(file_exists(dest + "/c.txt"));
}

TEST_F(Selection, SkipEmptyPassesOverEmptyMembersButNotStreamedOnes) {
    request.skip_empty = 1; /* a stored one whose descriptor says empty is empty */
    ASSERT_EQ(0, run({member("empty", ""), streamed_stored("e1", "", true),
                      streamed_stored("e2", "", false), member("full", "x"), streamed("s.txt", "s")}));
    for (const char *name : {"empty", "e1", "e2"}) EXPECT_FALSE(file_exists(dest + "/" + name));
    EXPECT_EQ("x", out("full"));
    EXPECT_EQ("s", out("s.txt"));
}

TEST_F(Selection, TestModeWritesNothingAndIgnoresTheFilter) {
    request.dest_dir = nullptr;
    add_filter("none");
    ASSERT_EQ(0, run({member("a.txt", content(50000, 4), 8)}));
    EXPECT_FALSE(file_exists(dir + "/a.txt"));
}

using Walk = UnzipTest;
TEST_F(Walk, JunkAroundRecordsIsPassedOverAndTheEndRecordEndsTheWalk) {
    zip_member a = member("a.txt", "alpha");
    a.junk_after = "junk!";
    write_file(archive, "MZ stub" + zip_archive({a, member("b.txt", "beta")}) + "trailing");
    ASSERT_EQ(0, run_raw());
    EXPECT_EQ("alpha", out("a.txt"));
    EXPECT_EQ("beta", out("b.txt"));
}

TEST_F(Walk, StartOffsetSkipsWhatLiesBefore) {
    write_file(archive, std::string(100, 'P') + zip_archive({member("a.txt", "alpha")}));
    request.start_offset = 100;
    ASSERT_EQ(0, run_raw());
    EXPECT_EQ("alpha", out("a.txt"));
}

TEST_F(Walk, ShortDescriptorsAfterRealSizesAreFoundAgain) {
    zip_member a = member("a.txt", content(3000, 5), 8), b = member("b.txt", "beta");
    a.descriptor = b.descriptor = true;
    ASSERT_EQ(0, run({a, b, member("c.txt", "gamma")}));
    EXPECT_EQ(a.data, out("a.txt"));
    EXPECT_EQ("beta", out("b.txt"));
    EXPECT_EQ("gamma", out("c.txt"));
}

using Streamed = UnzipTest;
TEST_F(Streamed, MembersEndWhereTheirStreamEndsWithEitherDescriptor) {
    std::string big = content(100000, 6);
    /* Stored data that opens like an empty member's descriptor, but for one field. */
    std::string sig("PK\x07\x08", 4), zeros(12, '\0'), one("\x01\0\0\0", 4);
    std::string bare = zeros.substr(0, 11) + "\x01PK\x03\x04 bare";
    std::vector<zip_member> members = {
        streamed("a.bin", big), streamed("b.txt", "beta", false), streamed("empty", ""),
        streamed_stored("e1", "", true), streamed_stored("e2", "", false),
        streamed_stored("s1", sig + zeros.substr(0, 4) + one + zeros, true),
        streamed_stored("s2", sig + zeros.substr(0, 8) + one + "x", true),
        streamed_stored("s3", bare, true),
        member("c.txt", "gamma")};
    ASSERT_EQ(0, run(members));
    for (const zip_member &m : members) EXPECT_EQ(m.data, out(m.name)) << m.name;
}

} // namespace
