// The whole setup sequence with stand-ins for the dialogs, the copy pass and
// the extraction: which steps run, in which order, and what the user reads
// when one fails.
#include "fakes.h"
#include "progress/progress.h"
#include "setup/sequence.h"

namespace {

typedef std::vector<std::string> steps;
const steps ALL = {"meter", "install_dir", "check",         "progress_open",
                   "copy",  "extract",     "progress_close"};

struct Sequence : SetupTest {
    void SetUp() override {
        SetupTest::SetUp();
        make_dir("DISK");
        write("DISK/setup.tv", 7);
        host_set_module_path("C:\\DISK\\SETUP.EXE");
        fakes.pass_bytes = 204800;
    }
};

TEST_F(Sequence, AFullRunFillsTheBarAndLaunchesTheProgramFromItsDirectory) {
    EXPECT_EQ(run_setup(), 0);
    EXPECT_EQ(fakes.steps, ALL);
    EXPECT_TRUE(host_boxes().empty());
    std::vector<std::pair<unsigned, plat_wparam>> bar;
    for (const host_message &m : host_window_log(fakes.progress))
        if (m.item == 100) bar.push_back({m.msg, m.wp});
    const plat_wparam full = (204800 + 7) / 1024 / 10; // units of 10 KB
    EXPECT_EQ(bar, (std::vector<std::pair<unsigned, plat_wparam>>{
                       {MTR_SETPOS, 0}, {MTR_SETRANGE, full}, {MTR_SETPOS, full}}));
    EXPECT_EQ(setup.progress_dialog, nullptr);
    EXPECT_EQ(host_exec_log(), steps{"C:\\Tarvex\\tarvex32.exe /install"});
    EXPECT_EQ(cwd(), at("Tarvex"));
}

TEST_F(Sequence, ACancelOrFailedStepEndsSetupWithOnly1006AfterTheDialogCloses) {
    const struct {
        int install_answer, copy_result, extract_result;
        steps ran;
    } cases[] = {
        {0, 1, 1, {"meter", "install_dir"}},
        {1, 0, 1, {"meter", "install_dir", "check", "progress_open", "copy", "progress_close"}},
        {1, 1, 0, ALL},
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
        expect_box("The software has not been successfully installed.\nYou must run Setup again "
                   "before using the software.",
                   MB_TASKMODAL | MB_ICONINFORMATION, nullptr);
        EXPECT_EQ(host_boxes()[0].caption, "Tarvex Setup");
        EXPECT_TRUE(host_exec_log().empty());
    }
}

// Tried by its path (quoted when it holds a blank), then by its name; when
// both fail the user is told what was run.
TEST_F(Sequence, TheProgramIsTriedByPathThenByNameAndAFailureIsShown) {
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
    expect_box("Error running C:\\Tarvex\\tarvex32.exe", MB_OK, nullptr);
    EXPECT_TRUE(host_boxes()[0].default_caption);
    TearDown();
    SetUp();
    make_dir("Program Files");
    fakes.field = "C:\\Program Files\\Tarvex";
    run_setup();
    EXPECT_EQ(host_exec_log(), steps{"\"C:\\Program Files\\Tarvex\\tarvex32.exe\" /install"});
}

// A second setup shows only 1025; an unreleased File Manager extension ends
// setup before any dialog.
TEST_F(Sequence, AnotherSetupOrAHeldExtensionEndsSetupAtOnce) {
    host_claim_elsewhere("Tarvex Setup instance");
    host_create_window("TarvexWClass", nullptr);
    EXPECT_EQ(run_setup(), 0);
    EXPECT_TRUE(fakes.steps.empty());
    expect_box("Setup is already running", MB_ICONERROR, nullptr);
    TearDown();
    SetUp();
    host_set_profile("winfile.ini", "AddOns", "Tarvex", "C:\\missing.dll");
    host_create_window("WFS_Frame", nullptr);
    host_fake_clock(1, 100);
    EXPECT_EQ(run_setup(), 0);
    EXPECT_EQ(fakes.steps, steps{"restart"});
    EXPECT_TRUE(host_boxes().empty());
}

} // namespace
