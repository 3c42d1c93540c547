// The whole setup sequence with stand-ins for the dialogs, the copy pass and
// the extraction: which steps run, in which order, and what the user reads
// when one fails.
#include "fakes.h"
#include "platform/host.h"
#include "progress/progress.h"
#include "setup/sequence.h"
#include "setup/state.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

typedef std::vector<std::string> steps;
const char NOT_INSTALLED[] = "The software has not been successfully installed.\nYou must run "
                             "Setup again before using the software.";

struct Sequence : ::testing::Test {
    std::string root;

    void SetUp() override {
        host_reset();
        fakes_reset();
        memset(&setup, 0, sizeof setup);
        char templ[] = "/tmp/tvseqXXXXXX";
        root = mkdtemp(templ);
        host_map_drive('C', root.c_str());
        mkdir((root + "/DISK").c_str(), 0777);
        FILE *f = fopen((root + "/DISK/setup.tv").c_str(), "wb");
        fputs("archive", f);
        fclose(f);
        host_set_module_path("C:\\DISK\\SETUP.EXE");
        fakes.pass_bytes = 204800;
    }
    void TearDown() override {
        if (chdir("/") != 0) ADD_FAILURE();
        std::system(("rm -rf " + root).c_str());
    }

    void expect_not_installed_only() {
        ASSERT_EQ(host_boxes().size(), 1u);
        EXPECT_EQ(host_boxes()[0].text, NOT_INSTALLED);
        EXPECT_EQ(host_boxes()[0].caption, "Tarvex Setup");
        EXPECT_EQ(host_boxes()[0].style, unsigned(MB_TASKMODAL | MB_ICONINFORMATION));
        EXPECT_EQ(host_boxes()[0].owner, nullptr);
        EXPECT_TRUE(host_exec_log().empty());
    }
};

TEST_F(Sequence, AFullRunFillsTheBarAndLaunchesTheProgramFromItsDirectory) {
    EXPECT_EQ(run_setup(), 0);
    EXPECT_EQ(fakes.steps, (steps{"meter", "install_dir", "check", "progress_open", "copy",
                                  "extract", "progress_close"}));
    EXPECT_TRUE(host_boxes().empty());
    std::vector<std::pair<unsigned, plat_wparam>> bar;
    for (const host_message &m : host_window_log(fakes.progress))
        if (m.item == 100) bar.push_back({m.msg, m.wp});
    const plat_wparam full = (204800 + 7) / 1024 / 10; // units of 10 KB
    EXPECT_EQ(bar, (std::vector<std::pair<unsigned, plat_wparam>>{
                       {MTR_SETPOS, 0}, {MTR_SETRANGE, full}, {MTR_SETPOS, full}}));
    EXPECT_EQ(setup.progress_dialog, nullptr);
    EXPECT_EQ(host_exec_log(), steps{"C:\\Tarvex\\tarvex32.exe /install"});
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    EXPECT_EQ(std::string(cwd), root + "/Tarvex");
}

TEST_F(Sequence, ACancelOrFailedStepEndsSetupWithOnly1006AfterTheDialogCloses) {
    const steps all = {"meter", "install_dir", "check",         "progress_open",
                       "copy",  "extract",     "progress_close"};
    const struct {
        int install_answer, copy_result, extract_result;
        steps ran;
    } cases[] = {
        {0, 1, 1, {"meter", "install_dir"}},
        {1, 0, 1, {"meter", "install_dir", "check", "progress_open", "copy", "progress_close"}},
        {1, 1, 0, all},
    };
    for (const auto &c : cases) {
        TearDown();
        SetUp();
        fakes.install_answer = c.install_answer;
        fakes.pass_result[1] = c.copy_result;
        fakes.extract_result = c.extract_result;
        EXPECT_EQ(run_setup(), 0);
        EXPECT_EQ(fakes.steps, c.ran);
        EXPECT_EQ(fakes.boxes_at_close, 0u);
        expect_not_installed_only();
    }
}

TEST_F(Sequence, TheProgramIsTriedByNameAndThenTheUserIsToldWhatWasRun) {
    host_exec_result_next(0);
    run_setup();
    EXPECT_EQ(host_exec_log().size(), 2u);
    EXPECT_TRUE(host_boxes().empty());

    TearDown();
    SetUp();
    host_exec_result_next(2);
    host_exec_result_next(31);
    EXPECT_EQ(run_setup(), 0);
    EXPECT_EQ(host_exec_log(),
              (steps{"C:\\Tarvex\\tarvex32.exe /install", "tarvex32.exe /install"}));
    ASSERT_EQ(host_boxes().size(), 1u);
    EXPECT_EQ(host_boxes()[0].text, "Error running C:\\Tarvex\\tarvex32.exe");
    EXPECT_TRUE(host_boxes()[0].default_caption);
    EXPECT_EQ(host_boxes()[0].style, unsigned(MB_OK));
    EXPECT_EQ(host_boxes()[0].owner, nullptr);
}

TEST_F(Sequence, ADirectoryWithABlankIsQuotedInTheCommandLine) {
    mkdir((root + "/Program Files").c_str(), 0777);
    fakes.field = "C:\\Program Files\\Tarvex";
    run_setup();
    EXPECT_EQ(host_exec_log(), steps{"\"C:\\Program Files\\Tarvex\\tarvex32.exe\" /install"});
}

TEST_F(Sequence, ASecondSetupShowsOnly1025) {
    host_claim_elsewhere("Tarvex Setup instance");
    host_create_window("TarvexWClass", nullptr);
    EXPECT_EQ(run_setup(), 0);
    EXPECT_TRUE(fakes.steps.empty());
    ASSERT_EQ(host_boxes().size(), 1u);
    EXPECT_EQ(host_boxes()[0].text, "Setup is already running");
    EXPECT_EQ(host_boxes()[0].style, unsigned(MB_ICONERROR));
    EXPECT_EQ(host_boxes()[0].owner, nullptr);
}

TEST_F(Sequence, AnUnreleasedFileManagerExtensionEndsSetupBeforeAnyDialog) {
    host_set_profile("winfile.ini", "AddOns", "Tarvex", "C:\\missing.dll");
    host_create_window("WFS_Frame", nullptr);
    host_fake_clock(1, 100);
    EXPECT_EQ(run_setup(), 0);
    EXPECT_EQ(fakes.steps, steps{"restart"});
    EXPECT_TRUE(host_boxes().empty());
}

} // namespace
