// The exclusive-open wait and the File Manager extension unloading, on a
// clock that advances 100 ms at every reading.
#include "fakes.h"
#include "platform/host.h"
#include "setup/extensions.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

struct Extensions : ::testing::Test {
    std::string root;

    void SetUp() override {
        host_reset();
        fakes_reset();
        char templ[] = "/tmp/tvextXXXXXX";
        root = mkdtemp(templ);
        host_map_drive('C', root.c_str());
        FILE *f = fopen((root + "/tvfm.dll").c_str(), "wb");
        fputs("dll", f);
        fclose(f);
        host_fake_clock(5000, 100);
    }
    void TearDown() override { std::system(("rm -rf " + root).c_str()); }

    int attempts() { return host_call_count(FAULT_OPEN); }
};

TEST_F(Extensions, AFreeFileIsReleasedOnTheFirstAttemptAndClosed) {
    EXPECT_EQ(exclusive_open_wait("C:\\tvfm.dll", 2000), WAIT_RELEASED);
    EXPECT_EQ(attempts(), 1);
    EXPECT_EQ(host_drain_count(), 1);
    EXPECT_EQ(host_open_files(), 0);
}

// 19 attempts fit in 2000 ms at 100 ms a reading, also across the wrap of
// the tick count; a time-out of 0 makes none.
TEST_F(Extensions, AHeldOrMissingFileIsPolledUntilTheTimeOut) {
    host_hold_file("C:\\tvfm.dll");
    EXPECT_EQ(exclusive_open_wait("C:\\tvfm.dll", 2000), WAIT_HELD);
    EXPECT_EQ(attempts(), 19);
    EXPECT_EQ(exclusive_open_wait("C:\\missing.dll", 2000), WAIT_HELD);
    EXPECT_EQ(attempts(), 38);
    EXPECT_EQ(exclusive_open_wait("C:\\tvfm.dll", 0), WAIT_HELD);
    EXPECT_EQ(attempts(), 38);
    host_fake_clock(0xFFFFFF00u, 100);
    EXPECT_EQ(exclusive_open_wait("C:\\tvfm.dll", 2000), WAIT_HELD);
    EXPECT_EQ(attempts(), 57);
}

struct Unloading : Extensions {
    plat_window file_manager = nullptr;
    void list_extension() { host_set_profile("winfile.ini", "AddOns", "Tarvex", "C:\\tvfm.dll"); }
    bool still_listed() { return host_profile_has("winfile.ini", "AddOns", "Tarvex"); }
};

TEST_F(Unloading, NoListedExtensionOrNoFileManagerGoesOnTouchingNothing) {
    file_manager = host_create_window("WFS_Frame", nullptr);
    EXPECT_EQ(unload_file_manager_extension(), 1);
    EXPECT_FALSE(still_listed());
    EXPECT_TRUE(host_window_log(file_manager).empty());
    EXPECT_EQ(attempts(), 0);
    host_destroy_window(file_manager); /* without the File Manager the entry stays */
    list_extension();
    EXPECT_EQ(unload_file_manager_extension(), 1);
    EXPECT_EQ(host_profile("winfile.ini", "AddOns", "Tarvex"), "C:\\tvfm.dll");
    EXPECT_TRUE(fakes.steps.empty());
}

TEST_F(Unloading, AReleasedExtensionLosesItsEntryAndSetupGoesOn) {
    list_extension();
    file_manager = host_create_window("WFS_Frame", nullptr);
    EXPECT_EQ(unload_file_manager_extension(), 1);
    EXPECT_FALSE(still_listed());
    ASSERT_EQ(host_window_log(file_manager).size(), 1u);
    EXPECT_EQ(host_window_log(file_manager)[0].msg, 1543u);
    EXPECT_EQ(host_window_log(file_manager)[0].wp, 0u);
    EXPECT_EQ(host_window_log(file_manager)[0].lp, 0);
    EXPECT_TRUE(fakes.steps.empty());
}

TEST_F(Unloading, AHeldExtensionOffersTheRestartAndStops) {
    list_extension();
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
