// Whole installations from the sample disk, seen from the user's side: the
// directory typed in the install directory dialog receives the loose files
// and the archive's members unchanged and with their times, and the installed
// tarvex32.exe is started there with "/install"; Cancel in the dialog
// installs nothing; a second setup is turned away; a product that cannot be
// started is named in a box of its own.
#include "tests/e2e/e2e.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string source_dir; /* the sample disk, shared by the group */

struct Install : ::testing::Test {
    static void SetUpTestSuite() { source_dir = prepare_disk("tvinstall"); }
    setup_run run;
};

TEST_F(Install, ANewDirectoryReceivesEveryFileAndTheProductIsStartedThere) {
    ASSERT_NE(run.start(source_dir), nullptr);
    EXPECT_EQ(driver_caption(run.dialog), CAPTION);
    run.enter("C:\\TvNew\\");
    /* No shell extension in the new directory: nothing to wait for. */
    while (IsWindow(run.dialog) && IsWindowVisible(run.dialog)) {
        EXPECT_EQ(driver_item_text(run.dialog, IDC_DIR_TEXT2).find('.'), std::string::npos)
            << "waited for a shell extension";
        driver_pump(run.process.process, 10);
    }
    run.expect_installation_ends();
    expect_installed("C:\\TvNew\\", source_dir);
    EXPECT_EQ(started_record("C:\\TvNew\\"),
              "directory=C:\\TvNew\\\ncurrent=C:\\TvNew\narguments=/install\n");
}

TEST_F(Install, CancelInTheDialogInstallsNothingAndSays1006) {
    ASSERT_NE(run.start(source_dir), nullptr);
    ASSERT_TRUE(driver_type(run.dialog, IDC_DIR_EDIT, "C:\\TvCancelled"));
    run.cancel_dialog();
    EXPECT_FALSE(exists("C:\\TvCancelled"));
}

TEST_F(Install, ASecondSetupWhileOneRunsSays1025AndEnds) {
    ASSERT_NE(run.start(source_dir), nullptr);
    setup_run second;
    ASSERT_NE(second.start(source_dir, "the box of message 1025"), nullptr);
    second.answer(second.dialog, "Setup is already running", CAPTION, "hand", nullptr);
    second.expect_exit();
    run.cancel_dialog();
}

/* A disk whose archive holds no tarvex32.exe: both ways of starting it fail
   and one box with the system's caption names the program in the target. */
TEST_F(Install, AProductThatCannotBeStartedIsNamedInABox) {
    std::string bare = prepare_disk("tvbare", TV_BARE_DISK);
    ASSERT_NE(run.start(bare), nullptr);
    run.enter("C:\\TvNoProgram");
    HWND bar = run.progress(run.dialog);
    run.answer(run.next(bar, DRIVER_WAIT_MS * 2), "Error running C:\\TvNoProgram\\tarvex32.exe",
               "Error", "none", nullptr);
    run.expect_exit();
    expect_installed("C:\\TvNoProgram\\", bare);
    EXPECT_FALSE(exists("C:\\TvNoProgram\\started.txt"));
}

} // namespace
