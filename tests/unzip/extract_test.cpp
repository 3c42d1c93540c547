// The engine on archives that extract: members stored and deflated,
// selection, the filter and output paths, test mode, and the record walk over
// junk, data descriptors and streamed members.  These run on real files
// through the platform layer, on the host and under Windows; whole archives
// of other writers, a start offset and member times (in a zone east of UTC,
// across summer time) are the round trip's.
#include "tests/unzip/unzip_fixture.h"

namespace {

struct extract_case {
    const char *what;                                      /* the behaviour */
    std::vector<zip_member> members;                       /* the archive */
    std::vector<std::pair<std::string, std::string>> out; /* file under the destination: data */
    const char *options = "";     /* k keep paths, e skip empty, C check off, t test mode,
                                     \\ destination ending in a separator */
    std::vector<const char *> filter = {}; /* the names asked for */
    std::string before = "", after = "";    /* bytes around the archive */
    std::vector<std::pair<std::string, std::string>> old = {}; /* files there before the run */
};

const zip_member SECRET = with(member("secret.txt", "xx"), &zip_member::flags, 1); /* encrypted */
const std::string BIG = content(100000, 6), A = content(0x7000, 1), B = content(0x7001, 2);
/* Stored data that opens like an empty member's descriptor, but for one field. */
const std::string SIG("PK\x07\x08", 4), ZEROS(12, '\0'), ONE("\x01\0\0\0", 4);
const std::string MISSING = "<missing>"; /* what out() reads of no file */
/* d\x82\c\x82.txt kept: Windows makes the file name (not the directory's)
   ANSI, code page 437's e acute becoming 1252's; the host keeps both. */
#ifdef _WIN32
const std::string OEM_NAMED = "d\x82/c\xE9.txt";
#else
const std::string OEM_NAMED = "d\x82/c\x82.txt";
#endif

/* clang-format off */
const extract_case CASES[] = {
    {"a CRC-32 mismatch passes when the check is off (only 1 turns it on)",
     {with(member("bad.txt", "damaged"), &zip_member::wrong_crc, true),
      member("next.txt", "after")},
     {{"bad.txt", "damaged"}, {"next.txt", "after"}}, "C"},
    {"base names go into the destination and the later one wins",
     {member("docs\\readme.txt", "first"), member("docs/", ""),
      member("other/readme.txt", "second"), member("/rooted.txt", "r")},
     {{"readme.txt", "second"}, {"rooted.txt", "r"}, {"docs", MISSING}}},
    {"kept paths lose one leading separator, none is doubled, only the file name is made ANSI",
     {member("/sub/a.txt", "a"), member("sub\\b.txt", "b"), member("d\x82\\c\x82.txt", "c")},
     {{"sub/a.txt", "a"}, {"sub/b.txt", "b"}, {OEM_NAMED, "c"}}, "k\\"},
    {"the filter matches without case and passes over the rest",
     {member("A\\B.TXT", "wanted"), member("c.txt", "unwanted"), SECRET},
     {{"B.TXT", "wanted"}, {"c.txt", MISSING}}, "", {"nothing", "a/b.txt"}},
    {"skip empty passes over empty members, stored streamed ones whose descriptor says so too",
     {member("empty", ""), streamed("e1", "", true, 0), streamed("e2", "", false, 0),
      member("full", "x"), streamed("s.txt", "s")},
     {{"empty", MISSING}, {"e1", MISSING}, {"e2", MISSING}, {"full", "x"}, {"s.txt", "s"}}, "e"},
    {"test mode writes nothing and ignores the filter", {member("a.txt", content(50000, 4), 8)},
     {{"a.txt", MISSING}, {"../a.txt", MISSING}}, "t", {"none"}},
    {"junk around records is passed over and the end record ends the walk",
     {with(member("a.txt", "alpha"), &zip_member::junk_after, "junk!"), member("b.txt", "beta")},
     {{"a.txt", "alpha"}, {"b.txt", "beta"}}, "", {}, "MZ stub", "trailing"},
    {"an earlier installation's files are replaced, longer ones cut to the new size",
     {member("a.bin", "new"), member("b.bin", B, 8)}, {{"a.bin", "new"}, {"b.bin", B}}, "", {},
     "", "", {{"a.bin", BIG}, {"b.bin", BIG}}},
    {"short descriptors after real sizes are found again",
     {with(member("a.txt", A, 8), &zip_member::descriptor, true),
      with(member("b.txt", "beta"), &zip_member::descriptor, true), member("c.txt", "gamma")},
     {{"a.txt", A}, {"b.txt", "beta"}, {"c.txt", "gamma"}}},
    {"streamed members end where their stream ends, with either descriptor",
     {streamed("a.bin", BIG), streamed("b.txt", "beta", false), streamed("empty", ""),
      streamed("e1", "", true, 0), streamed("e2", "", false, 0),
      streamed("s1", SIG + ZEROS.substr(0, 4) + ONE + ZEROS, true, 0),
      streamed("s2", SIG + ZEROS.substr(0, 8) + ONE + "x", true, 0),
      streamed("s3", ZEROS.substr(0, 11) + "\x01PK\x03\x04 bare", true, 0),
      member("c.txt", "gamma")},
     {{"a.bin", BIG}, {"b.txt", "beta"}, {"empty", ""}, {"e1", ""}, {"e2", ""},
      {"s1", SIG + ZEROS.substr(0, 4) + ONE + ZEROS}, {"s2", SIG + ZEROS.substr(0, 8) + ONE + "x"},
      {"s3", ZEROS.substr(0, 11) + "\x01PK\x03\x04 bare"}, {"c.txt", "gamma"}}},
};
/* clang-format on */

using Extract = UnzipTest;
TEST_F(Extract, EachArchiveGivesItsFilesAndLeavesTheResultAsTheCallerSetIt) {
    std::string dest_sep = dest + "\\";
    for (const extract_case &c : CASES) {
        SCOPED_TRACE(c.what);
        empty_dest();
        plat_mkdir((dest + "/sub").c_str());
        plat_mkdir((dest + "/d\x82").c_str());
        std::string opts = c.options;
        request.keep_paths = opts.find('k') != std::string::npos;
        request.skip_empty = opts.find('e') != std::string::npos;
        request.crc_check = opts.find('C') != std::string::npos ? 2 : 1;
        request.dest_dir = opts.find('t') != std::string::npos   ? nullptr
                           : opts.find('\\') != std::string::npos ? dest_sep.c_str()
                                                                  : dest.c_str();
        request.filter_list = filter_list(nodes, c.filter);
        for (const auto &file : c.old) write_file(dest + "/" + file.first, file.second);
        write_file(archive, c.before + zip_archive(c.members) + c.after);
        request.result = 7;
        EXPECT_EQ(7, run_raw());
        for (const auto &file : c.out) EXPECT_EQ(file.second, out(file.first)) << file.first;
    }
}

} // namespace
