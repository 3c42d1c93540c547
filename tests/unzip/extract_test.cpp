// The engine on archives that extract: members stored and deflated, their
// sizes and times, selection, the filter and output paths, test mode, and the
// record walk over junk, data descriptors and streamed members.  These run on
// real files through the platform layer, on the host and under Windows.
#include "tests/unzip/unzip_fixture.h"

namespace {

zip_member member(const std::string &name, const std::string &data, int method = 0) {
    zip_member m;
    m.name = name;
    m.data = data;
    m.method = method;
    return m;
}

zip_member streamed(const std::string &name, const std::string &data, bool signed_form) {
    zip_member m = member(name, data, 8);
    m.streamed = true;
    m.signed_descriptor = signed_form;
    return m;
}

using Members = UnzipTest;
TEST_F(Members, StoredAndDeflatedComeOutByteForByte) {
    std::string a = content(0x7000, 1), b = content(0x7001, 2), c = content(70000, 3);
    ASSERT_EQ(0, run({member("a.bin", a), member("b.bin", b), member("c.bin", c, 8),
                      member("empty", ""), member("e8", "", 8)}));
    EXPECT_EQ(a, out("a.bin"));
    EXPECT_EQ(b, out("b.bin"));
    EXPECT_EQ(c, out("c.bin"));
    EXPECT_EQ("", out("empty"));
    EXPECT_EQ("", out("e8"));
}

TEST_F(Members, CarryTheirTimeAsLocalTime) {
    ASSERT_EQ(0, run({member("t.txt", "time")}));
    plat_filetime local, expected;
    ASSERT_TRUE(plat_dos_to_file_time(DOS_DATE, DOS_TIME, &local));
    plat_local_to_file_time(&local, &expected);
    plat_find_data found;
    ASSERT_TRUE(plat_find_first((dest + "/t.txt").c_str(), &found));
    EXPECT_EQ(expected.dwLowDateTime, found.ftLastWriteTime.dwLowDateTime);
    EXPECT_EQ(expected.dwHighDateTime, found.ftLastWriteTime.dwHighDateTime);
}

TEST_F(Members, CrcMismatchPassesWhenTheCheckIsOff) {
    zip_member bad = member("bad.txt", "damaged", 0);
    bad.wrong_crc = true;
    request.crc_check = 0;
    ASSERT_EQ(0, run({bad, member("next.txt", "after")}));
    EXPECT_EQ("damaged", out("bad.txt"));
    EXPECT_EQ("after", out("next.txt"));
}

using Selection = UnzipTest;
TEST_F(Selection, BaseNamesGoIntoTheDestinationAndTheLaterOneWins) {
    ASSERT_EQ(0, run({member("docs\\readme.txt", "first"), member("docs/", ""),
                      member("other/readme.txt", "second")}));
    EXPECT_EQ("second", out("readme.txt"));
    EXPECT_FALSE(file_exists(dest + "/docs"));
}

TEST_F(Selection, KeptPathsLoseOneLeadingSeparator) {
    plat_mkdir((dest + "/sub").c_str());
    request.keep_paths = 1;
    ASSERT_EQ(0, run({member("/sub/a.txt", "a"), member("sub\\b.txt", "b")}));
    EXPECT_EQ("a", out("sub/a.txt"));
    EXPECT_EQ("b", out("sub/b.txt"));
}

TEST_F(Selection, TrailingSeparatorOfTheDestinationIsNotDoubled) {
    std::string with_sep = dest + "\\";
    request.dest_dir = with_sep.c_str();
    ASSERT_EQ(0, run({member("x.txt", "x")}));
    EXPECT_EQ("x", out("x.txt"));
}

TEST_F(Selection, FilterMatchesWithoutCaseAndWithEitherSeparator) {
    add_filter("nothing");
    add_filter("a/b.txt");
    ASSERT_EQ(0, run({member("A\\B.TXT", "wanted"), member("c.txt", "unwanted")}));
    EXPECT_EQ("wanted", out("B.TXT"));
    EXPECT_FALSE(file_exists(dest + "/c.txt"));
}

TEST_F(Selection, SkipEmptyPassesOverEmptyMembersOnly) {
    request.skip_empty = 1;
    ASSERT_EQ(0, run({member("empty", ""), member("full", "x")}));
    EXPECT_FALSE(file_exists(dest + "/empty"));
    EXPECT_EQ("x", out("full"));
}

TEST_F(Selection, TestModeWritesNothingAndIgnoresTheFilter) {
    request.dest_dir = nullptr;
    add_filter("none");
    ASSERT_EQ(0, run({member("a.txt", content(50000, 4), 8)}));
    EXPECT_FALSE(file_exists(dir + "/a.txt"));
    EXPECT_FALSE(file_exists(dest + "/a.txt"));
}

TEST_F(Selection, AnEncryptedMemberThatIsNotSelectedIsPassedOver) {
    zip_member secret = member("secret.txt", "xx");
    secret.flags = 1;
    add_filter("plain.txt");
    ASSERT_EQ(0, run({secret, member("plain.txt", "p")}));
    EXPECT_EQ("p", out("plain.txt"));
}

using Walk = UnzipTest;
TEST_F(Walk, JunkBetweenMembersAndBeforeTheFirstIsPassedOver) {
    zip_member a = member("a.txt", "alpha");
    a.junk_after = "junk!";
    std::string zip = "MZ self-extractor stub" + zip_archive({a, member("b.txt", "beta")});
    write_file(archive, zip);
    ASSERT_EQ(0, run_raw());
    EXPECT_EQ("alpha", out("a.txt"));
    EXPECT_EQ("beta", out("b.txt"));
}

TEST_F(Walk, StartOffsetSkipsWhatLiesBefore) {
    std::string zip = std::string(100, 'P') + zip_archive({member("a.txt", "alpha")});
    write_file(archive, zip);
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

TEST_F(Walk, NothingBehindTheEndRecordIsRead) {
    std::string zip = zip_archive({member("a.txt", "alpha")}) + "trailing garbage";
    write_file(archive, zip);
    ASSERT_EQ(0, run_raw());
}

using Streamed = UnzipTest;
TEST_F(Streamed, MembersEndWhereTheirStreamEndsWithEitherDescriptor) {
    std::string big = content(100000, 6);
    ASSERT_EQ(0, run({streamed("a.bin", big, true), streamed("b.txt", "beta", false),
                      streamed("empty", "", true), member("c.txt", "gamma")}));
    EXPECT_EQ(big, out("a.bin"));
    EXPECT_EQ("beta", out("b.txt"));
    EXPECT_EQ("", out("empty"));
    EXPECT_EQ("gamma", out("c.txt"));
}

TEST_F(Streamed, AreNeverTakenForEmpty) {
    request.skip_empty = 1;
    ASSERT_EQ(0, run({streamed("a.txt", "alpha", true)}));
    EXPECT_EQ("alpha", out("a.txt"));
}

TEST_F(Streamed, ThoseNotExtractedArePassedOverByTheirStream) {
    /* Data that holds a local header signature would mislead a search. */
    std::string tricky = "PK\x03\x04 inside the data";
    zip_member a = streamed("a.txt", tricky, false), dir_entry = streamed("d/", tricky, true);
    a.payload = dir_entry.payload = deflate_stored(tricky);
    add_filter("c.txt");
    ASSERT_EQ(0, run({a, dir_entry, member("c.txt", "gamma")}));
    EXPECT_FALSE(file_exists(dest + "/a.txt"));
    EXPECT_EQ("gamma", out("c.txt"));
}

} // namespace
