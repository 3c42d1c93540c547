// Stand-ins for the steps of setup that need the dialog manager, and for the
// copy pass and the extraction, so that the host tests can run the setup
// sequence and the install directory dialog's OK button without a screen;
// and the tests' shared start: a fresh temporary directory as drive C.
#ifndef TARVEX_TESTS_SETUP_FAKES_H
#define TARVEX_TESTS_SETUP_FAKES_H

#include "common/state.h"
#include "platform/host.h"
#include "setup/startup.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

struct fake_state {
    int install_answer;             // 0: Cancel; 1: OK with the field below
    std::string field;              // text in the edit field; empty: the proposal
    int restart_answer;             // what the restart dialog ends with
    int pass_result[2];             // distribution_pass's result by mode
    uint32_t pass_bytes;            // what the check-and-size pass adds
    int extract_result;             // extract_setup_archive's result
    std::vector<std::string> steps; // every stand-in called, in order
    size_t boxes_at_close;          // boxes shown when the progress dialog went
    plat_window progress;           // the progress dialog last opened
};

extern fake_state fakes;
void fakes_reset(void);

// The host platform, the setup state and the stand-ins as at start, with a
// fresh temporary directory mapped as drive C.
struct SetupTest : ::testing::Test {
    std::string root; // the directory behind C:

    void SetUp() override {
        host_reset();
        fakes_reset();
        memset(&setup, 0, sizeof setup);
        char templ[] = "/tmp/tvsetupXXXXXX";
        root = mkdtemp(templ);
        host_map_drive('C', root.c_str());
    }
    void TearDown() override {
        std::filesystem::current_path("/");
        std::error_code ignored;
        std::filesystem::remove_all(root, ignored);
    }
    std::string at(const std::string &rel) { return root + "/" + rel; }
    void make_dir(const std::string &rel) { std::filesystem::create_directory(at(rel)); }
    void write(const std::string &rel, size_t size) {
        std::ofstream(at(rel), std::ios::binary) << std::string(size, 't');
    }
    bool exists(const std::string &rel) { return std::filesystem::exists(at(rel)); }
    std::string cwd() { return std::filesystem::current_path().string(); }
    void expect_box(const std::string &text, unsigned style, plat_window owner) {
        ASSERT_EQ(host_boxes().size(), 1u);
        EXPECT_EQ(host_boxes()[0].text, text);
        EXPECT_EQ(host_boxes()[0].style, style);
        EXPECT_EQ(host_boxes()[0].owner, owner);
    }
};

#endif
