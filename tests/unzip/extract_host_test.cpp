// The engine's failures, refusals, progress reports and cancellation, seen
// through the host platform: every box with its text, the messages the owner
// window received, injected faults, and no file or block left behind.
#include "tests/unzip/host_fixture.h"

#include "common/state.h"
#include "setup/archive_step.h"

namespace {

using Failures = HostUnzip;
TEST_F(Failures, AMissingArchiveNamesTheSuffixedPathACutOneTheGivenAndJunkIsNoHeader) {
    host_map_drive('A', dir.c_str());
    request.archive_path = "A:\\SETUP";
    EXPECT_EQ(2, run_raw());
    EXPECT_EQ("Can't open input file: A:\\SETUP.ZIP", box());
    write_file(dir + "/SETUP.ZIP", "");
    EXPECT_EQ(2, run_raw());
    EXPECT_EQ("Error reading A:\\SETUP.  Possible cause: bad disk", box());
    request.archive_path = archive.c_str(); /* a cut archive is a read failure too */
    write_file(archive, zip_archive({member("a.txt", "alpha")}, true));
    EXPECT_EQ(2, run_raw());
    EXPECT_EQ("Error reading " + archive + ".  Possible cause: bad disk", box());
    EXPECT_EQ("alpha", out("a.txt"));
    write_file(archive, "this is not an archive at all");
    EXPECT_EQ(2, run_raw());
    EXPECT_EQ("Invalid Zipfile Header", box());
}

TEST_F(Failures, AnUnknownMethodLeavesNoFile) {
    EXPECT_EQ(2, run({member("b.txt", "x", 6)}));
    EXPECT_EQ("unknown compression", box());
    EXPECT_TRUE(dest_names().empty());
}

TEST_F(Failures, ABadCrcNamesTheFileAndBothValuesAndKeepsIt) {
    zip_member bad = with(member("bad.txt", "damaged", 8), &zip_member::wrong_crc, true);
    uint32_t crc = crc32_of("damaged");
    EXPECT_EQ(2, run({bad, member("x.txt", "never")}));
    char text[600];
    snprintf(text, sizeof text, "ZIP damaged: file %s: Bad CRC %08x (should be %08x)",
             at("bad.txt").c_str(), crc, crc ^ 1);
    EXPECT_EQ(text, box());
    EXPECT_EQ("damaged", out("bad.txt"));
    EXPECT_FALSE(file_exists(dest + "/x.txt"));
}

using Refusals = HostUnzip;
TEST_F(Refusals, NamesThatLeaveTheDestinationOrNameNoFileAreRefusedOrCutToTheirBase) {
    const struct {
        std::string name;
        int keep_paths;
        const char *file; /* what the destination gets; null: refused */
    } rows[] = {
        {"../evil.txt", 1, nullptr},         {"sub/../../evil.txt", 1, nullptr},
        {"C:evil.txt", 1, nullptr},          {"//root/evil.txt", 1, nullptr},
        {"\\\\server\\evil.txt", 1, nullptr}, {"sub/.. /evil.txt", 1, nullptr},
        {"sub/.../evil.txt", 1, nullptr},    {"C:\\evil.txt", 1, nullptr},
        {"d/C:evil.txt", 0, nullptr},        {"C:evil.txt", 0, nullptr}, /* base name, drive */
        {std::string("ok.txt\0../../evil.txt", 21), 1, "ok.txt"},
        {"../../evil.txt", 0, "evil.txt"},   {"/etc/evil.txt", 0, "evil.txt"},
        {"\\evil.txt", 1, "evil.txt"},
        /* devices in any case and with any extension, names Windows would cut */
        {"CON", 0, nullptr},                 {"d/aux.txt", 0, nullptr},
        {"NUL.log", 1, nullptr},             {"Com1", 0, nullptr},
        {"lpt9.dat", 1, nullptr},            {"prn .txt", 0, nullptr},
        {"trailing_dot.txt.", 0, nullptr},   {"trailing_space.txt ", 1, nullptr},
        {"console.log", 0, "console.log"},   {"COM0.txt", 1, "COM0.txt"},
        {"lpt10", 0, "lpt10"},               {"nul_x.txt", 1, "nul_x.txt"},
        {"COX.txt", 0, "COX.txt"},           {"lpt", 1, "lpt"},
    };
    for (const auto &r : rows) {
        request.keep_paths = r.keep_paths;
        EXPECT_EQ(r.file ? 0 : 2, run({member(r.name, "bad")})) << r.name;
        if (r.file) {
            EXPECT_EQ("bad", out(r.file)) << r.name;
            empty_dest();
            continue;
        }
        size_t rooted = r.name[0] == '/' || r.name[0] == '\\';
        std::string shown = r.keep_paths ? r.name.substr(rooted)
                                         : r.name.substr(r.name.find_last_of("/\\") + 1);
        EXPECT_EQ("Can't create output file: " + at(shown), box());
        EXPECT_TRUE(dest_names().empty()) << r.name;
    }
    EXPECT_FALSE(file_exists(dir + "/evil.txt"));
}

TEST_F(Refusals, NamesAndPathsThatDoNotFitAreNotCut) {
    // The directory's name differs from the file's within its first 259 bytes,
    // so the box tells which of the two was refused.
    std::string long_name(300, 'n');
    EXPECT_EQ(2, run({member(std::string(300, 'd') + "/", ""), member(long_name, "x")}));
    EXPECT_EQ("Can't create output file: " + long_name.substr(0, 259) + "...", box());
    std::string deep = dest + "/" + std::string(250, 'd');
    request.dest_dir = deep.c_str();
    EXPECT_EQ(2, run({member("a.txt", "alpha")}));
    EXPECT_EQ("Can't create output file: " + backslashed(deep + "/a.txt"), box());
    std::string long_archive = dir + "/" + std::string(300, 'z');
    request.archive_path = long_archive.c_str();
    EXPECT_EQ(2, run_raw());
    EXPECT_EQ("Can't open input file: " + long_archive, box());
}

TEST_F(Refusals, BrokenStreamedMembersAreDeletedAndEndTheRun) {
    const struct {
        std::string payload;
        int method;
        size_t cut;       /* bytes cut off the end of an archive with no directory, 0: whole */
        bool signed_form; /* the descriptor starts with its signature */
        const char *text;
    } cases[] = {
        {"alphx", 0, 0, true, "Invalid Zipfile Header"}, /* stored: no descriptor closes it */
        {"\x07", 8, 0, true, "Invalid Zipfile Header"},  /* block type 3 */
        {"", 8, 2, true, "Error reading %s.  Possible cause: bad disk"},  /* descriptor cut */
        {"", 8, 1, false, "Error reading %s.  Possible cause: bad disk"}, /* and without its signature */
        {deflate_fixed("alpha") + "xx", 8, 0, true, "Invalid Zipfile Header"}}; /* sizes differ */
    for (const auto &c : cases) {
        zip_member s = streamed("a.txt", "alpha", c.signed_form);
        s.payload = c.payload;
        s.method = c.method;
        std::string zip = c.cut ? zip_archive({s}, true) : zip_archive({s, member("b.txt", "b")});
        zip.resize(zip.size() - c.cut);
        write_file(archive, zip);
        EXPECT_EQ(2, run_raw()) << c.text;
        char text[600];
        snprintf(text, sizeof text, c.text, archive.c_str());
        EXPECT_EQ(text, box());
        EXPECT_TRUE(dest_names().empty());
    }
    EXPECT_EQ(2, run({with(streamed("bad.txt", "damaged"), &zip_member::wrong_crc, true)}));
    EXPECT_EQ(0u, box().find("ZIP damaged: file " + at("bad.txt") + ": Bad CRC"));
}

TEST_F(Refusals, TheSetupArchiveIsCheckedForDamage) {
    write_file(dir + "/setup.tv",
               zip_archive({with(member("bad.txt", "damaged"), &zip_member::wrong_crc, true)}));
    snprintf(setup.source_dir, sizeof setup.source_dir, "%s/", dir.c_str());
    snprintf(setup.target_dir, sizeof setup.target_dir, "%s", dest.c_str());
    EXPECT_EQ(0, extract_setup_archive(window));
    EXPECT_EQ(0u, box().find("ZIP damaged: file "));
    write_file(dir + "/setup.tv", zip_archive({member("a.txt", "alpha")}));
    EXPECT_EQ(1, extract_setup_archive(window));
    EXPECT_EQ("alpha", out("a.txt"));
}

using Progress = HostUnzip;
TEST_F(Progress, ReportsEachMemberStartAndEvery10240BytesReadSinceTheLastReport) {
    const struct {
        std::vector<zip_member> members;
        std::vector<plat_wparam> advances; /* wParam of each report */
        std::vector<std::string> shown;    /* names announced */
    } rows[] = { /* in test mode, which reads and reports alike */
        {{member("docs/readme.txt", content(100000, 1))}, {0, 2, 5, 8, 9}, {"readme.txt"}},
        {{member("a.txt", content(10240, 2))}, {0, 1}, {"a.txt"}},
        {{member("a", content(4000, 3)), member("b", content(8000, 4))}, {0, 0}, {"a", "b"}},
        /* the archive read past a streamed member is given back, uncounted */
        {{streamed("s", "s"), member("b", content(20000, 5))}, {0, 1, 0, 1}, {"s", "b"}},
        /* a stored one is read on in pieces until its descriptor: the last is short */
        {{streamed("t", content(62000, 6), true, 0)}, {0, 2, 5}, {"t"}},
    };
    request.dest_dir = nullptr;
    for (const auto &r : rows) {
        owner = owner_log();
        EXPECT_EQ(0, run(r.members));
        EXPECT_EQ(r.advances, owner.advances) << r.shown[0];
        EXPECT_EQ(r.shown, owner.shown);
        EXPECT_TRUE(host_boxes().empty());
    }
}

TEST_F(Progress, TestModeAnnouncesStoredNamesAndStillChecksTheCrc) {
    request.dest_dir = nullptr;
    zip_member bad = with(member("d\\bad.txt", "damaged"), &zip_member::wrong_crc, true);
    EXPECT_EQ(2, run({member("d/a.txt", "alpha"), member("/c.txt", "c"), bad}));
    /* A separator in first place never counts. */
    EXPECT_EQ((std::vector<std::string>{"a.txt", "/c.txt", "bad.txt"}), owner.shown);
    EXPECT_EQ(0u, box().find("ZIP damaged: file d\\bad.txt: Bad CRC"));
}

TEST_F(Progress, TheOwnersCancelAtAMemberStartKeepsTheMembersBefore) {
    std::vector<zip_member> members = {member("a.txt", "a"), member("b.txt", "b"),
                                       member("c.bin", content(100000, 3), 8)};
    owner.cancel_at_show = 3;
    EXPECT_EQ(99, run(members));
    EXPECT_EQ("a", out("a.txt"));
    EXPECT_EQ("b", out("b.txt"));
    EXPECT_FALSE(file_exists(dest + "/c.bin"));
    EXPECT_TRUE(host_boxes().empty());
    owner.cancel_at_show = 0;
    request.result = 0;
    cancel_flag = 1; /* a flag still set ends the next run at its first report */
    EXPECT_EQ(99, run({member("a.txt", "a")}));
}

TEST_F(Progress, ARunStartedDuringARunIsRefusedUntouched) {
    extract_request inner;
    memset(&inner, 0, sizeof inner);
    inner.result = 1234;
    owner.nested = &inner;
    EXPECT_EQ(0, run({member("a.txt", "a")}));
    EXPECT_EQ(0, owner.nested_returned);
    EXPECT_EQ(1234, inner.result);
}

} // namespace
