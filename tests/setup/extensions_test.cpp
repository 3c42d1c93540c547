// The exclusive-open wait and the File Manager extension unloading, on a
// clock that advances 100 ms at every reading.
#include "fakes.h"
#include "setup/extensions.h"

namespace {

struct Extensions : SetupTest {
    plat_window file_manager = nullptr;

    void SetUp() override {
        SetupTest::SetUp();
        write("tvfm.dll", 3);
        host_fake_clock(5000, 100);
    }
    int attempts() { return host_call_count(FAULT_OPEN); }
    void list_extension() { host_set_profile("winfile.ini", "AddOns", "Tarvex", "C:\\tvfm.dll"); }
    bool still_listed() { return host_profile_has("winfile.ini", "AddOns", "Tarvex"); }
};

// A free file is released at once and closed; 19 attempts fit in 2000 ms at
// 100 ms a reading, also across the wrap of the tick count; 0 makes none.
TEST_F(Extensions, TheWaitPollsAHeldOrMissingFileUntilTheTimeOut) {
    EXPECT_EQ(exclusive_open_wait("C:\\tvfm.dll", 2000), WAIT_RELEASED);
    EXPECT_EQ(attempts(), 1);
    EXPECT_EQ(host_drain_count(), 1);
    EXPECT_EQ(host_open_files(), 0);
    host_hold_file("C:\\tvfm.dll");
    const struct {
        const char *file;
        uint32_t timeout, clock;
        int attempts;
    } cases[] = {{"C:\\tvfm.dll", 2000, 5000, 19},
                 {"C:\\missing.dll", 2000, 5000, 19},
                 {"C:\\tvfm.dll", 0, 5000, 0},
                 {"C:\\tvfm.dll", 2000, 0xFFFFFF00u, 19}};
    for (const auto &c : cases) {
        int before = attempts();
        host_fake_clock(c.clock, 100);
        EXPECT_EQ(exclusive_open_wait(c.file, c.timeout), WAIT_HELD) << c.file;
        EXPECT_EQ(attempts() - before, c.attempts) << c.file << " " << c.timeout << " " << c.clock;
    }
}

// Without an entry nothing is touched; without the File Manager the entry
// stays; a released extension loses its entry after one message 1543.
TEST_F(Extensions, AnUnheldExtensionIsUnloadedAndSetupGoesOn) {
    file_manager = host_create_window("WFS_Frame", nullptr);
    EXPECT_EQ(unload_file_manager_extension(), 1);
    EXPECT_TRUE(host_window_log(file_manager).empty());
    EXPECT_EQ(attempts(), 0);
    list_extension();
    EXPECT_EQ(unload_file_manager_extension(), 1);
    EXPECT_FALSE(still_listed());
    ASSERT_EQ(host_window_log(file_manager).size(), 1u);
    const host_message &m = host_window_log(file_manager)[0];
    EXPECT_EQ(std::vector<uint64_t>({m.msg, m.wp, uint64_t(m.lp)}),
              std::vector<uint64_t>({1543, 0, 0}));
    host_destroy_window(file_manager);
    list_extension();
    EXPECT_EQ(unload_file_manager_extension(), 1);
    EXPECT_EQ(host_profile("winfile.ini", "AddOns", "Tarvex"), "C:\\tvfm.dll");
    EXPECT_TRUE(fakes.steps.empty());
}

TEST_F(Extensions, AHeldExtensionOffersTheRestartAndStops) {
    file_manager = host_create_window("WFS_Frame", nullptr);
    host_hold_file("C:\\tvfm.dll");
    for (int answer : {2, -1, 1}) {
        list_extension();
        fakes.steps.clear();
        fakes.restart_answer = answer;
        EXPECT_EQ(unload_file_manager_extension(), 0);
        EXPECT_EQ(fakes.steps, std::vector<std::string>{"restart"});
        EXPECT_FALSE(still_listed());
        EXPECT_EQ(host_exit_windows_count(), answer == 1 ? 1 : 0);
    }
}

} // namespace
