// The install directory dialog under the user's hands: every refused entry
// gets its box and leaves the dialog open for the next attempt, all in one
// run of setup; a held shell extension in the target is waited for in the
// dialog, which then lets the installation go on.
#include "tests/e2e/e2e.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const char SOURCE[] = "tvdialog";
const char MISSING_LOOSE[] = "VENDOR.TXT";
const char SHIFTED_LOOSE[] = "LICENSE.TXT";
const char SHELL_EXT_WAIT[] = "Please wait a moment while the Tarvex Shell Extension is unloaded.";

enum disk_change { AS_IS, LOOSE_FILE_GONE, LOOSE_FILE_ONE_SECOND_OFF, ARCHIVE_GONE };

struct dialog_case {
    const char *typed;  /* the field's text when OK is pressed */
    disk_change change; /* what is wrong with the disk meanwhile */
    const char *text;   /* the box's text */
    bool owned;         /* owned by the dialog, under the caption text; else the literal box */
    const char *icon;   /* its icon */
};

const char INVALID[] = "Invalid destination directory";
const char SAME_PLACE[] = "\"Install To\" directory must be different than \"Install From\" "
                          "directory.  Please specify a different directory.";
#define NOT_CREATED(dir)                                                                           \
    "The " dir " directory cannot be created.\nEnter another directory or try another drive."

// clang-format off
const dialog_case REFUSALS[] = {
    {"TARVEX",              AS_IS,                     INVALID,                   true,  "hand"},
    {"\\TARVEX",            AS_IS,                     INVALID,                   true,  "hand"},
    {"c:\\tvdialog\\",      AS_IS,                     SAME_PLACE,                true,  "hand"},
    {"C:\\TVDIALOG",        AS_IS,                     SAME_PLACE,                true,  "hand"},
    {"C:\\TvDlgTarget",     LOOSE_FILE_GONE,           "Cannot find required file VENDOR.TXT.  "
                                                       "Please verify that the file exists on "
                                                       "the installation disk.",  true,  "hand"},
    {"C:\\TvDlgTarget",     LOOSE_FILE_ONE_SECOND_OFF, "Date/time stamp on the file LICENSE.TXT "
                                                       "does not match the date/time stamp on "
                                                       "SETUP.EXE.",              true,  "hand"},
    {"C:\\TvDlgTarget",     ARCHIVE_GONE,              "setup.tv is missing",     false, "none"},
    {"C:\\TvNoParent\\Sub", AS_IS,                     NOT_CREATED("C:\\TvNoParent\\Sub"),
                                                                                  true,  "asterisk"},
    {"C:\\TvNoParent\\Sub", AS_IS,                     NOT_CREATED("C:\\TvNoParent\\Sub"),
                                                                                  true,  "asterisk"},
    {"1:\\TARVEX",          AS_IS,                     NOT_CREATED("1:\\TARVEX"), true,  "asterisk"},
    {"Q:",                  AS_IS,                     NOT_CREATED("Q:\\"),       true,  "asterisk"},
    {"Q:\\",                AS_IS,                     NOT_CREATED("Q:"),         true,  "asterisk"},
};
// clang-format on

std::string source_dir;

/* Makes the disk as the case wants it (undo false) or puts it back. */
void change_disk(disk_change change, bool undo) {
    std::string loose = source_dir + MISSING_LOOSE, archive = source_dir + "setup.tv";
    switch (change) {
    case AS_IS:
        return;
    case LOOSE_FILE_GONE:
        ASSERT_TRUE(undo ? MoveFileA((loose + ".away").c_str(), loose.c_str())
                         : MoveFileA(loose.c_str(), (loose + ".away").c_str()));
        return;
    case LOOSE_FILE_ONE_SECOND_OFF:
        ASSERT_TRUE(stamp_like_setup(source_dir, source_dir + SHIFTED_LOOSE, undo ? 0 : 1));
        return;
    case ARCHIVE_GONE:
        ASSERT_TRUE(undo ? MoveFileA((archive + ".away").c_str(), archive.c_str())
                         : MoveFileA(archive.c_str(), (archive + ".away").c_str()));
        return;
    }
}

struct Dialog : ::testing::Test {
    static void SetUpTestSuite() { source_dir = prepare_disk(SOURCE); }
    setup_run run;
};

TEST_F(Dialog, EachRefusedEntryGetsItsBoxAndTheDialogStaysForTheNext) {
    ASSERT_NE(run.start(source_dir), nullptr);
    for (const dialog_case &c : REFUSALS) {
        SCOPED_TRACE(c.typed);
        change_disk(c.change, false);
        run.enter(c.typed);
        run.answer(run.next(run.dialog), c.text, c.owned ? CAPTION : "Error", c.icon,
                   c.owned ? run.dialog : nullptr);
        change_disk(c.change, true);
        EXPECT_TRUE(IsWindowEnabled(GetDlgItem(run.dialog, IDOK)));
        EXPECT_EQ(driver_field_text(run.dialog, IDC_DIR_EDIT), c.typed);
    }
    EXPECT_FALSE(exists("C:\\TvNoParent"));
    EXPECT_FALSE(exists("C:\\TvDlgTarget"));

    ASSERT_TRUE(driver_type(run.dialog, IDC_DIR_EDIT, ""));
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(run.dialog, IDOK))) << "OK on an empty field";
    ASSERT_TRUE(driver_type(run.dialog, IDC_DIR_EDIT, "C"));
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(run.dialog, IDOK)));
    run.shot(run.dialog, "after");
    run.cancel_dialog();
}

/* The product's shell extension in the target, held by this process for
   three seconds: the dialog says it waits, counts the seconds in dots, and
   goes on to install once it is released. */
TEST_F(Dialog, AHeldShellExtensionIsWaitedForAndTheInstallationGoesOn) {
    const std::string target = "C:\\TvShellExt\\", dll = target + "tvshlext.dll";
    CreateDirectoryA(target.c_str(), nullptr);
    ASSERT_TRUE(write_file(dll, "loaded"));
    HANDLE held = CreateFileA(dll.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    ASSERT_NE(run.start(source_dir), nullptr);
    run.enter("C:\\TvShellExt");
    DWORD pressed = GetTickCount();
    std::string dots;
    bool waiting = false;
    while (GetTickCount() - pressed < 3000 && IsWindowVisible(run.dialog)) {
        driver_pump(run.process.process, 50);
        if (driver_item_text(run.dialog, IDC_DIR_TEXT1) != SHELL_EXT_WAIT) continue;
        if (!waiting) run.shot(run.dialog, "waiting");
        waiting = true;
        dots = driver_item_text(run.dialog, IDC_DIR_TEXT2);
        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(run.dialog, IDCANCEL)));
    }
    EXPECT_EQ(driver_item_text(run.dialog, IDC_DIR_TEXT1), SHELL_EXT_WAIT);
    run.shot(run.dialog, "dots");
    CloseHandle(held);
    EXPECT_GE(dots.size(), 2u) << dots;
    EXPECT_EQ(dots.find_first_not_of('.'), std::string::npos) << dots;

    run.expect_installation_ends();
    expect_installed(target, source_dir);
    EXPECT_EQ(started_record(target),
              "directory=C:\\TvShellExt\\\ncurrent=C:\\TvShellExt\narguments=/install\n");
}

} // namespace
