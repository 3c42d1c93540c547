// The first steps of setup on the host: the product check, the source
// directory and reference time, and where the proposed directory comes from.
#include "platform/host.h"
#include "setup/sequence.h"
#include "setup/state.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct Startup : ::testing::Test {
    std::string root;

    void SetUp() override {
        host_reset();
        char templ[] = "/tmp/tvsetupXXXXXX";
        root = mkdtemp(templ);
        host_map_drive('C', root.c_str());
        memset(&setup, 0, sizeof setup);
    }
    void TearDown() override { std::system(("rm -rf " + root).c_str()); }

    void make_dir(const std::string &rel) { mkdir((root + "/" + rel).c_str(), 0777); }
    void make_file(const std::string &rel) {
        FILE *f = fopen((root + "/" + rel).c_str(), "w");
        fputs("x", f);
        fclose(f);
    }
    std::string proposal() {
        choose_default_directory();
        return setup.default_dir;
    }
};

TEST_F(Startup, ARunningProductShowsOnlyMessage1022) {
    for (const char *cls : {"TarvexWClass", "Tarvex2WClass"}) {
        host_reset();
        plat_window product = host_create_window(cls, nullptr);
        EXPECT_EQ(run_setup(), 0);
        ASSERT_EQ(host_boxes().size(), 1u) << cls;
        EXPECT_EQ(host_boxes()[0].text,
                  "Another version of Tarvex is running.  Please close it and re-run SETUP");
        EXPECT_EQ(host_boxes()[0].caption, "Tarvex Setup");
        EXPECT_EQ(host_boxes()[0].owner, nullptr);
        EXPECT_EQ(host_boxes()[0].style, unsigned(MB_ICONERROR));
        EXPECT_TRUE(host_window_log(product).empty());
    }
}

TEST_F(Startup, SourceDirectoryAndReferenceTimeComeFromTheProgramsPathCutToItsCapacity) {
    make_dir("DISK");
    make_file("DISK/SETUP.EXE");
    host_set_module_path("C:\\DISK\\SETUP.EXE");
    find_source_directory();
    EXPECT_STREQ(setup.source_dir, "C:\\DISK\\");
    plat_find_data found;
    ASSERT_TRUE(plat_find_first("C:\\DISK\\SETUP.EXE", &found));
    EXPECT_EQ(setup.reference_time.dwLowDateTime, found.ftLastWriteTime.dwLowDateTime);
    EXPECT_EQ(setup.reference_time.dwHighDateTime, found.ftLastWriteTime.dwHighDateTime);
    memset(&setup, 0, sizeof setup); /* an overlong path is cut to its capacity */
    std::string dir = "C:\\" + std::string(70, 'D') + "\\SETUP.EXE";
    host_set_module_path(dir.c_str());
    find_source_directory();
    EXPECT_EQ(setup.reference_time.dwLowDateTime, 0u);
    EXPECT_STREQ(setup.source_dir, "C:\\");
}

TEST_F(Startup, TheProposalComesFromTheAssociationProgramFilesOrTheBuiltInName) {
    const std::string too_long = "C:\\" + std::string(250, 'p');
    const std::string no_room = "C:\\" + std::string(97, 'p'); // fits the value, not \\Tarvex
    const std::string long_entry = "D:\\" + std::string(150, 'a') + "\\TARVEX32.EXE";
    const struct {
        const char *program_files; /* the machine value; null: absent */
        const char *association;   /* win.ini's zip extension; null: absent */
        const char *proposal;
    } cases[] = {
        {nullptr, nullptr, "C:\\Tarvex"},
        {"C:\\Program Files", nullptr, "C:\\Program Files\\Tarvex"},
        {too_long.c_str(), nullptr, "C:\\Tarvex"},
        {no_room.c_str(), nullptr, "C:\\Tarvex"},
        {"C:\\Program Files", "C:\\TARVEX\\TARVEX32.EXE ^.ZIP", "C:\\Tarvex"}, // stored spelling
        {nullptr, "C:\\TOOLS\\TV.EXE ^.ZIP", "C:\\Tarvex"},                    // another program
        {nullptr, "TARVEX32.EXE ^.ZIP", "C:\\Tarvex"},
        {nullptr, "C:\\MY TOOLS\\TARVEX32.EXE ^.ZIP", "C:\\Tarvex"},   // a blank before it
        {nullptr, "D:\\APPS\\TV\\tarvex32.exe ^.ZIP", "D:\\APPS\\TV"}, // missing: as written
        {nullptr, long_entry.c_str(), "C:\\Tarvex"},                   // too long: dropped
    };
    make_dir("Tarvex");
    for (const auto &c : cases) {
        host_reset();
        host_map_drive('C', root.c_str());
        if (c.program_files)
            host_set_machine_value("Software\\Microsoft\\Windows\\CurrentVersion",
                                   "ProgramFilesDir", c.program_files);
        if (c.association) host_set_profile("win.ini", "extensions", "zip", c.association);
        EXPECT_EQ(proposal(), c.proposal) << (c.program_files ? c.program_files : "-") << " "
                                          << (c.association ? c.association : "-");
    }
}

TEST_F(Startup, LongNameFormGivesEveryComponentItsStoredNameOrFails) {
    make_dir("Program Files");
    make_dir("Program Files/Tarvex");
    char out[LONG_NAME_CAPACITY + 1];
    EXPECT_EQ(long_name_form("C:\\PROGRAM FILES\\TARVEX", out, LONG_NAME_CAPACITY), 23);
    EXPECT_STREQ(out, "C:\\Program Files\\Tarvex");
    EXPECT_EQ(long_name_form("C:\\PROGRAM FILES\\TARV*", out, LONG_NAME_CAPACITY), 22);
    EXPECT_STREQ(out, "C:\\Program Files\\TARV*");
    make_dir("Tarvex"); /* it fails on missing parts, roots and a small capacity */
    EXPECT_EQ(long_name_form("C:\\MISSING\\TARVEX", out, LONG_NAME_CAPACITY), -1);
    EXPECT_EQ(long_name_form("C:\\TARVEX\\", out, LONG_NAME_CAPACITY), -1);
    EXPECT_EQ(long_name_form("C:\\", out, LONG_NAME_CAPACITY), -1);
    EXPECT_EQ(long_name_form("C:\\TARVEX", out, 8), -1);
    EXPECT_EQ(long_name_form("C:\\TARVEX", out, 9), 9);
}

} // namespace
