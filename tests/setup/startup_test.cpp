// The first steps of setup on the host: the product check, the source
// directory and reference time, and where the proposed directory comes from.
#include "fakes.h"
#include "setup/sequence.h"

namespace {

using Startup = SetupTest;

TEST_F(Startup, ARunningProductShowsOnlyMessage1022) {
    for (const char *cls : {"TarvexWClass", "Tarvex2WClass"}) {
        host_reset();
        plat_window product = host_create_window(cls, nullptr);
        EXPECT_EQ(run_setup(), 0);
        expect_box("Another version of Tarvex is running.  Please close it and re-run SETUP",
                   MB_ICONERROR, nullptr);
        EXPECT_EQ(host_boxes()[0].caption, "Tarvex Setup");
        EXPECT_TRUE(host_window_log(product).empty());
    }
}

TEST_F(Startup, SourceDirectoryAndReferenceTimeComeFromTheProgramsPathCutToItsCapacity) {
    make_dir("DISK");
    write("DISK/SETUP.EXE", 1);
    host_set_module_path("C:\\DISK\\SETUP.EXE");
    find_source_directory();
    EXPECT_STREQ(setup.source_dir, "C:\\DISK\\");
    plat_find_data found;
    ASSERT_TRUE(plat_find_first("C:\\DISK\\SETUP.EXE", &found));
    EXPECT_EQ(setup.reference_time.dwLowDateTime, found.ftLastWriteTime.dwLowDateTime);
    EXPECT_EQ(setup.reference_time.dwHighDateTime, found.ftLastWriteTime.dwHighDateTime);
    /* Started from a deep directory below another disk: the path is cut to
       its capacity, and with no time to match, that disk's files cannot
       pass for this release's. */
    memset(&setup, 0, sizeof setup);
    host_set_module_path(("C:\\DISK\\" + std::string(70, 'D') + "\\SETUP.EXE").c_str());
    find_source_directory();
    EXPECT_EQ(setup.reference_time.dwLowDateTime, 0u);
    EXPECT_EQ(setup.reference_time.dwHighDateTime, 0u);
    EXPECT_STREQ(setup.source_dir, "C:\\DISK\\");
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
        choose_default_directory();
        EXPECT_STREQ(setup.default_dir, c.proposal) << (c.program_files ? c.program_files : "-")
                                                    << " " << (c.association ? c.association : "-");
    }
}

// Every component gets its stored name, but a share's server and name stay
// as typed (on the host a share \\SERVER\SHARE is the directory /SERVER/SHARE);
// missing parts, roots and a small capacity fail.
TEST_F(Startup, LongNameFormGivesEveryComponentItsStoredNameOrFails) {
    make_dir("Program Files");
    make_dir("Program Files/Tarvex");
    make_dir("Tarvex");
    std::string share = "\\\\TMP\\" + root.substr(5); // root is /tmp/...
    for (char &c : share) c = char(toupper(c));
    const std::string typed = share + "\\TARVEX", shown = share + "\\Tarvex";
    const struct {
        const char *path;
        int capacity, length;
        const char *form;
    } cases[] = {
        {"C:\\PROGRAM FILES\\TARVEX", LONG_NAME_CAPACITY, 23, "C:\\Program Files\\Tarvex"},
        {"C:\\PROGRAM FILES\\TARV*", LONG_NAME_CAPACITY, 22, "C:\\Program Files\\TARV*"},
        {"C:\\MISSING\\TARVEX", LONG_NAME_CAPACITY, -1, nullptr},
        {"C:\\TARVEX\\", LONG_NAME_CAPACITY, -1, nullptr},
        {"C:\\", LONG_NAME_CAPACITY, -1, nullptr},
        {"C:\\TARVEX", 8, -1, nullptr},
        {"C:\\TARVEX", 9, 9, "C:\\Tarvex"},
        {typed.c_str(), LONG_NAME_CAPACITY, int(typed.size()), shown.c_str()},
    };
    for (const auto &c : cases) {
        char out[LONG_NAME_CAPACITY + 1];
        EXPECT_EQ(long_name_form(c.path, out, c.capacity), c.length) << c.path << " " << c.capacity;
        if (c.form) {
            EXPECT_STREQ(out, c.form) << c.path;
        }
    }
}

} // namespace
