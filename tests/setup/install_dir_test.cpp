// The install directory dialog's OK button: the form of the typed directory,
// where the target directory and prefix come from, the refusals that keep
// the dialog open, and the wait for the shell extension in the target.
#include "fakes.h"
#include "platform/host.h"
#include "resources/dialog.h"
#include "setup/install_dir.h"
#include "setup/state.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const unsigned SIZE_KB = (5000u + 3000u) >> 10; // loose files and setup.tv

struct InstallDir : ::testing::Test {
    std::string root;
    plat_window dialog = nullptr;

    void SetUp() override {
        host_reset();
        fakes_reset();
        memset(&setup, 0, sizeof setup);
        char templ[] = "/tmp/tvinstXXXXXX";
        root = mkdtemp(templ);
        host_map_drive('C', root.c_str());
        mkdir((root + "/DISK").c_str(), 0777);
        write_file("DISK/setup.tv", 3000);
        strcpy(setup.source_dir, "C:\\DISK\\");
        fakes.pass_bytes = 5000;
        dialog = host_create_window("#32770", nullptr);
    }
    void TearDown() override {
        if (chdir("/") != 0) ADD_FAILURE();
        std::system(("rm -rf " + root).c_str());
    }
    void write_file(const std::string &rel, size_t size) {
        FILE *f = fopen((root + "/" + rel).c_str(), "wb");
        fwrite(std::string(size, 't').data(), 1, size, f);
        fclose(f);
    }
    bool exists(const std::string &rel) {
        struct stat sb;
        return stat((root + "/" + rel).c_str(), &sb) == 0;
    }
    int press_ok(const std::string &field) {
        host_clear_boxes();
        plat_set_item_text(dialog, IDC_DIR_EDIT, field.c_str());
        return install_dir_ok(dialog);
    }
    // The dialog stayed open after one box, usable and with the field as typed.
    void expect_refused(const std::string &text, unsigned style, plat_window owner) {
        ASSERT_EQ(host_boxes().size(), 1u);
        EXPECT_EQ(host_boxes()[0].text, text);
        EXPECT_EQ(host_boxes()[0].style, style);
        EXPECT_EQ(host_boxes()[0].owner, owner);
        for (int id : {IDC_DIR_EDIT, IDC_OK, IDC_CANCEL})
            EXPECT_TRUE(host_item_enabled(dialog, id));
    }
};

std::string target_of(const char *field) {
    char text[DIR_FIELD_SIZE];
    snprintf(text, sizeof text, "%s", field);
    normalise_directory(text, sizeof text);
    set_target(text);
    return std::string(setup.target_dir) + "|" + setup.target_prefix;
}

TEST(DirectoryRules, FormAcceptsDrivesAndNetworkPathsOnly) {
    for (const char *good :
         {"C:\\Tarvex", "D:", "\\\\SERVER\\SHARE\\TARVEX", "//SERVER/SHARE/TARVEX/", "1:\\TARVEX"})
        EXPECT_TRUE(directory_form_ok(good)) << good;
    for (const char *bad : {"TARVEX", "\\TARVEX", "", "/TARVEX", "C", "\\/x"})
        EXPECT_FALSE(directory_form_ok(bad)) << bad;
}

TEST(DirectoryRules, TargetDirectoryAndPrefix) {
    EXPECT_EQ(target_of("C:\\Tarvex"), "C:\\Tarvex|C:\\Tarvex\\");
    EXPECT_EQ(target_of("C:\\Tarvex\\"), "C:\\Tarvex|C:\\Tarvex\\");
    EXPECT_EQ(target_of("D:"), "D:\\|D:\\");
    EXPECT_EQ(target_of("D:\\"), "D:|D:\\");
    EXPECT_EQ(target_of("\\\\SERVER\\SHARE\\TARVEX\\"),
              "\\\\SERVER\\SHARE\\TARVEX|\\\\SERVER\\SHARE\\TARVEX\\");
    EXPECT_EQ(target_of("//SERVER/SHARE/TARVEX/"), "//SERVER/SHARE/TARVEX/|//SERVER/SHARE/TARVEX/");
    std::string longest = "C:\\" + std::string(62, 'L');
    EXPECT_EQ(target_of(longest.c_str()), longest + "|" + longest + "\\");
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
    remove((root + "/DISK/setup.tv").c_str());
    EXPECT_EQ(press_ok("C:\\Tarvex"), 0);
    expect_refused("setup.tv is missing", MB_OK, nullptr);
    EXPECT_TRUE(host_boxes()[0].default_caption);
    EXPECT_FALSE(exists("Tarvex"));
}

TEST_F(InstallDir, AnAcceptedDirectoryIsCreatedOrKeptEnteredAndSized) {
    EXPECT_EQ(press_ok("C:\\Tarvex\\"), 1);
    EXPECT_TRUE(host_boxes().empty());
    EXPECT_STREQ(setup.target_prefix, "C:\\Tarvex\\");
    EXPECT_EQ(setup.size_total, SIZE_KB);
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    EXPECT_EQ(std::string(cwd), root + "/Tarvex");
    for (int id : {IDC_DIR_EDIT, IDC_OK, IDC_CANCEL}) EXPECT_FALSE(host_item_enabled(dialog, id));
    EXPECT_EQ(host_drain_count(), 0); // no shell extension: no wait
    write_file("Tarvex/keep.txt", 10);
    EXPECT_EQ(press_ok("C:\\TARVEX"), 1);
    EXPECT_TRUE(exists("Tarvex/keep.txt"));
}

TEST_F(InstallDir, ADirectoryThatCannotBeMadeGives1004AndARetryTheSameTotal) {
    host_map_drive('1', (root + "/no-such-drive").c_str());
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

TEST_F(InstallDir, OnlyTheFirst65CharactersOfTheFieldCount) {
    std::string field = "C:\\" + std::string(70, 'x');
    EXPECT_EQ(press_ok(field), 1);
    EXPECT_EQ(std::string(setup.target_dir), field.substr(0, DIR_FIELD_LIMIT));
}

// The shell extension wait runs on a clock that advances 100 ms a reading:
// 4 attempts in the first half second, 9 in each further second.
struct ShellExtension : InstallDir {
    static int flag_seen, release_at;
    void SetUp() override {
        InstallDir::SetUp();
        mkdir((root + "/Tarvex").c_str(), 0777);
        write_file("Tarvex/tvshlext.dll", 100);
        host_hold_file("C:\\Tarvex\\tvshlext.dll");
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

TEST_F(ShellExtension, AHeldExtensionIsWaitedForWithADotASecond) {
    EXPECT_EQ(press_ok("C:\\Tarvex"), 1);
    EXPECT_EQ(host_item_text(dialog, IDC_DIR_TEXT1),
              "Please wait a moment while the Tarvex Shell Extension is unloaded.");
    EXPECT_EQ(host_item_text(dialog, IDC_DIR_TEXT2), std::string(12, '.'));
    EXPECT_EQ(host_drain_count(), 4 + 12 * 9);
    EXPECT_TRUE(flag_seen);
    EXPECT_FALSE(wait_cursor_flag);
    EXPECT_TRUE(host_boxes().empty());
}

TEST_F(ShellExtension, AReleaseEndsTheWaitAtOnce) {
    release_at = 2; // within the first half second: the user sees nothing
    EXPECT_EQ(press_ok("C:\\Tarvex"), 1);
    EXPECT_FALSE(flag_seen);
    EXPECT_EQ(host_item_text(dialog, IDC_DIR_TEXT1), "");
    host_hold_file("C:\\Tarvex\\tvshlext.dll");
    release_at = host_drain_count() + 4 + 9 + 3; // in the second wait of a second
    EXPECT_EQ(press_ok("C:\\Tarvex"), 1);
    EXPECT_EQ(host_item_text(dialog, IDC_DIR_TEXT2), ".");
    EXPECT_EQ(host_drain_count(), release_at);
    EXPECT_EQ(host_open_files(), 0);
}

} // namespace
