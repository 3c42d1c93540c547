// The install directory dialog's OK button: the form of the typed directory,
// where the target directory and prefix come from, the refusals that keep
// the dialog open, and the wait for the shell extension in the target.
#include "fakes.h"
#include "resources/dialog.h"
#include "setup/install_dir.h"

namespace {

const unsigned SIZE_KB = (5000u + 3000u) >> 10; // loose files and setup.tv

struct InstallDir : SetupTest {
    plat_window dialog = nullptr;

    void SetUp() override {
        SetupTest::SetUp();
        make_dir("DISK");
        write("DISK/setup.tv", 3000);
        strcpy(setup.source_dir, "C:\\DISK\\");
        fakes.pass_bytes = 5000;
        dialog = host_create_window("#32770", nullptr);
    }
    int press_ok(const std::string &field) {
        host_clear_boxes();
        plat_set_item_text(dialog, IDC_DIR_EDIT, field.c_str());
        return install_dir_ok(dialog);
    }
    // The dialog stayed open after one box, usable and with the field as typed.
    void expect_refused(const std::string &text, unsigned style, plat_window owner) {
        expect_box(text, style, owner);
        for (int id : {IDC_DIR_EDIT, IDC_OK, IDC_CANCEL})
            EXPECT_TRUE(host_item_enabled(dialog, id));
    }
};

TEST(DirectoryRules, FormAcceptsDrivesAndNetworkPathsOnlyAndGivesTargetAndPrefix) {
    // "\0:": a field emptied after a drive was typed, its colon still behind the end
    for (const char *bad : {"TARVEX", "\\TARVEX", "", "/TARVEX", "C", "\\/x", "\0:"})
        EXPECT_FALSE(directory_form_ok(bad)) << bad;
    const std::string longest = "C:\\" + std::string(62, 'L');
    const struct {
        std::string field, target, prefix;
    } cases[] = {
        {longest, longest, longest + "\\"}, // first: nothing it leaves may show later
        {longest + "MORE", longest, longest + "\\"}, // cut to the field's 65 characters
        {"C:\\Tarvex", "C:\\Tarvex", "C:\\Tarvex\\"},
        {"C:\\Tarvex\\", "C:\\Tarvex", "C:\\Tarvex\\"},
        {"D:", "D:\\", "D:\\"},
        {"D:\\", "D:", "D:\\"},
        {"1:\\TARVEX", "1:\\TARVEX", "1:\\TARVEX\\"},
        {"\\\\SERVER\\SHARE\\TARVEX\\", "\\\\SERVER\\SHARE\\TARVEX", "\\\\SERVER\\SHARE\\TARVEX\\"},
        {"//SERVER/SHARE/TARVEX/", "//SERVER/SHARE/TARVEX/", "//SERVER/SHARE/TARVEX/"},
    };
    for (const auto &c : cases) {
        EXPECT_TRUE(directory_form_ok(c.field.c_str())) << c.field;
        char text[100];
        snprintf(text, sizeof text, "%s", c.field.c_str());
        normalise_directory(text, sizeof text);
        set_target(text);
        EXPECT_EQ(setup.target_dir, c.target) << c.field;
        EXPECT_EQ(setup.target_prefix, c.prefix) << c.field;
    }
    // A lone backslash, an empty path behind one, a lone slash.
    char lone[8] = "\\", empty[8] = "\\", slash[8] = "/";
    normalise_directory(lone, sizeof lone);
    append_separator(empty + 1, sizeof empty - 1);
    append_separator(slash, sizeof slash);
    EXPECT_EQ(std::string(lone) + "|" + (empty + 1) + "|" + slash, "|\\|/");
}

TEST_F(InstallDir, TheSourceDirectoryInAnySpellingOrAMalformedFieldIsRefusedBeforeAnyCheck) {
    const char *same = "\"Install To\" directory must be different than \"Install From\" "
                       "directory.  Please specify a different directory.";
    const char *malformed = "Invalid destination directory";
    const struct {
        const char *field, *text;
    } cases[] = {{"c:\\disk", same},  {"C:\\DISK\\", same},  {"C:/disk/", same},
                 {"c:\\Disk/", same}, {"TARVEX", malformed}, {"\\TARVEX", malformed},
                 {"", malformed}};
    for (const auto &c : cases) {
        EXPECT_EQ(press_ok(c.field), 0) << c.field;
        expect_refused(c.text, MB_ICONERROR, dialog);
        EXPECT_EQ(host_item_text(dialog, IDC_DIR_EDIT), c.field);
    }
    EXPECT_TRUE(fakes.steps.empty());
}

TEST_F(InstallDir, MissingInstallationFilesKeepTheDialogOpen) {
    fakes.pass_result[0] = 0; // the pass has shown its own message
    EXPECT_EQ(press_ok("C:\\Tarvex"), 0);
    EXPECT_TRUE(host_boxes().empty());
    fakes.pass_result[0] = 1;
    remove(at("DISK/setup.tv").c_str());
    EXPECT_EQ(press_ok("C:\\Tarvex"), 0);
    expect_refused("setup.tv is missing", MB_OK, nullptr);
    EXPECT_TRUE(host_boxes()[0].default_caption);
    EXPECT_FALSE(exists("Tarvex"));
}

// Made or kept, entered and sized, with the dialog disabled; only the first
// 65 characters of the field count.
TEST_F(InstallDir, AnAcceptedDirectoryIsCreatedOrKeptEnteredAndSized) {
    EXPECT_EQ(press_ok("C:\\Tarvex\\"), 1);
    EXPECT_TRUE(host_boxes().empty());
    EXPECT_STREQ(setup.target_prefix, "C:\\Tarvex\\");
    EXPECT_EQ(setup.size_total, SIZE_KB);
    EXPECT_EQ(cwd(), at("Tarvex"));
    for (int id : {IDC_DIR_EDIT, IDC_OK, IDC_CANCEL}) EXPECT_FALSE(host_item_enabled(dialog, id));
    EXPECT_EQ(host_drain_count(), 0); // no shell extension: no wait
    write("Tarvex/keep.txt", 10);
    EXPECT_EQ(press_ok("C:\\TARVEX"), 1);
    EXPECT_TRUE(exists("Tarvex/keep.txt"));
    std::string field = "C:\\" + std::string(70, 'x');
    EXPECT_EQ(press_ok(field), 1);
    EXPECT_EQ(std::string(setup.target_dir), field.substr(0, DIR_FIELD_LIMIT));
}

TEST_F(InstallDir, ADirectoryThatCannotBeMadeGives1004AndARetryTheSameTotal) {
    host_map_drive('1', at("no-such-drive").c_str());
    for (std::string field : {"1:\\TARVEX", "C:\\A\\B"}) { // a missing drive or parent
        EXPECT_EQ(press_ok(field), 0);
        expect_refused("The " + field +
                           " directory cannot be created.\nEnter another directory or try "
                           "another drive.",
                       MB_ICONINFORMATION, dialog);
    }
    EXPECT_FALSE(exists("A"));
    EXPECT_EQ(press_ok("C:\\A"), 1);
    EXPECT_EQ(setup.size_total, SIZE_KB);
}

// The shell extension wait runs on a clock that advances 100 ms a reading:
// 4 attempts in the first half second, 9 in each further second.
struct ShellExtension : InstallDir {
    static int flag_seen, release_at;
    void SetUp() override {
        InstallDir::SetUp();
        host_fake_clock(1000, 100);
        flag_seen = 0;
        release_at = -1;
        host_on_drain([] {
            flag_seen |= wait_cursor_flag;
            if (host_drain_count() == release_at) host_release_files();
        });
    }
};
int ShellExtension::flag_seen, ShellExtension::release_at;

// Held throughout, a dot a second for 12 seconds and the wait cursor, also
// in the longest target directory; a release within the first half second
// shows nothing; a later one ends the wait at once.
TEST_F(ShellExtension, AHeldExtensionIsWaitedForWithADotASecondUntilReleased) {
    const struct {
        std::string dir; // the target directory on drive C
        int release_at;  // the reading that releases the file; -1: never
        size_t dots;     // dots shown
        bool shown;      // the explanation and the wait cursor shown
    } cases[] = {{"Tarvex", -1, 12, true},
                 {"Tarvex", 2, 0, false},
                 {"Tarvex", 4 + 9 + 3, 1, true},
                 {std::string(DIR_FIELD_LIMIT - 3, 'L'), -1, 12, true}};
    for (const auto &c : cases) {
        TearDown();
        SetUp();
        make_dir(c.dir);
        write(c.dir + "/tvshlext.dll", 100);
        host_hold_file(("C:\\" + c.dir + "\\tvshlext.dll").c_str());
        release_at = c.release_at;
        EXPECT_EQ(press_ok("C:\\" + c.dir), 1) << c.release_at;
        EXPECT_EQ(host_item_text(dialog, IDC_DIR_TEXT1),
                  c.shown ? "Please wait a moment while the Tarvex Shell Extension is unloaded." : "")
            << c.release_at;
        EXPECT_EQ(host_item_text(dialog, IDC_DIR_TEXT2), std::string(c.dots, '.')) << c.release_at;
        EXPECT_EQ(host_drain_count(), c.release_at < 0 ? 4 + 12 * 9 : c.release_at);
        EXPECT_EQ(bool(flag_seen), c.shown) << c.release_at;
        EXPECT_FALSE(wait_cursor_flag);
        EXPECT_TRUE(host_boxes().empty());
        EXPECT_EQ(host_open_files(), 0);
    }
}

} // namespace
