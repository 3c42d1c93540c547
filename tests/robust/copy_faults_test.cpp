// The copy pass against every fault the platform can report: for each call of
// each kind over the seven loose files, that call fails and the pass must
// stop with the copy's message shown once over the progress dialog, the files
// before it intact and stamped, the failing target as the copy leaves it (not
// created, or the part written so far, unstamped), none after it, nothing
// held, and the next pass must copy everything.
#include "tests/distfiles/dist_fixture.h"

#include "platform/host.h"
#include "resources/dialog.h"

#include <cstdio>

namespace {

const std::vector<size_t> SIZES = {40000, 3000, 0, 15360, 20000, 100, 31000};

struct CopyFaults : DistFiles {
    plat_window dialog = nullptr;
    int points = 0;

    void SetUp() override {
        DistFiles::SetUp();
        fresh_pass();
        make_sources(SIZES);
    }
    void fresh_pass() {
        host_reset();
        load_titles();
        cancel_flag = 0;
        dialog = setup.progress_dialog = host_create_window("#32770", nullptr);
        std::error_code ignored;
        for (const auto &e : fs::directory_iterator(target)) fs::remove(e.path(), ignored);
    }
    bool stamped(int i) {
        plat_find_data found;
        return plat_find_first(dst(i).c_str(), &found) == 1 &&
               same_time(found.ftLastWriteTime, REFERENCE);
    }
    /* The text the pass must show when file i fails with a fault of kind. */
    std::string message(host_fault_kind kind, int i) {
        switch (kind) {
        case FAULT_OPEN:
        case FAULT_GLOBAL_ALLOC:
            return "Cannot open " + src(i) + " for writing";
        case FAULT_CREATE:
            return "Cannot open " + dst(i) + " for writing";
        case FAULT_READ_ERROR:
            return "Error reading " + src(i);
        default:
            return "Error writing to " + dst(i);
        }
    }
    /* The target of a failed file: absent when it was never created, else
       a part of the source, without the source's time. */
    void expect_left_as_copied(host_fault_kind kind, int i, const std::string &where) {
        if (kind == FAULT_OPEN || kind == FAULT_GLOBAL_ALLOC || kind == FAULT_CREATE) {
            EXPECT_FALSE(fs::exists(dst(i))) << where;
            return;
        }
        std::string part = read_file(dst(i)), whole = pattern(SIZES[i], unsigned(i));
        EXPECT_LE(part.size(), whole.size()) << where;
        EXPECT_EQ(whole.substr(0, part.size()), part) << where;
        EXPECT_FALSE(stamped(i)) << where;
    }
    /* Index of the file that the boxes' text names, -1 for none. */
    int failed_file(host_fault_kind kind) {
        for (int i = 0; i < 7; i++)
            if (host_boxes()[0].text == message(kind, i)) return i;
        return -1;
    }
    void fail_at(host_fault_kind kind, int n) {
        std::string where = "kind " + std::to_string(kind) + " call " + std::to_string(n);
        fresh_pass();
        host_fail_call(kind, n);
        int passed = distribution_pass(dialog, DIST_COPY);
        int failed = 7;
        if (passed) {
            /* Only a fault that loses nothing may pass: a short read that the
               next read makes good, a short write of nothing. */
            EXPECT_TRUE(host_boxes().empty()) << where;
            EXPECT_TRUE(kind == FAULT_READ_SHORT || kind == FAULT_WRITE_SHORT) << where;
        } else {
            ASSERT_EQ(1u, host_boxes().size()) << where;
            EXPECT_EQ(dialog, host_boxes()[0].owner) << where;
            failed = failed_file(kind);
            ASSERT_GE(failed, 0) << where << ": " << host_boxes()[0].text;
            expect_left_as_copied(kind, failed, where);
        }
        for (int i = 0; i < 7; i++) {
            if (i < failed) {
                EXPECT_EQ(pattern(SIZES[i], unsigned(i)), read_file(dst(i))) << where << " " << i;
                EXPECT_TRUE(stamped(i)) << where << " " << i;
            } else if (i > failed) {
                EXPECT_FALSE(fs::exists(dst(i))) << where << " " << i;
            }
        }
        EXPECT_EQ(0, host_open_files()) << where;
        EXPECT_EQ(0, host_live_blocks()) << where;
        fresh_pass();
        EXPECT_EQ(1, distribution_pass(dialog, DIST_COPY)) << where;
        for (int i = 0; i < 7; i++) EXPECT_EQ(pattern(SIZES[i], unsigned(i)), read_file(dst(i)));
        points++;
    }
};

TEST_F(CopyFaults, EveryCallOfEveryKindStopsThePassCleanly) {
    fresh_pass();
    ASSERT_EQ(1, distribution_pass(dialog, DIST_COPY));
    int calls[FAULT_KINDS];
    for (int k = 0; k < FAULT_KINDS; k++) calls[k] = host_call_count(host_fault_kind(k));
    for (int k = 0; k < FAULT_KINDS; k++)
        for (int n = 1; n <= calls[k]; n++) fail_at(host_fault_kind(k), n);
    printf("[ fault points walked: %d ]\n", points);
    EXPECT_GT(points, 40);
}

} /* namespace */
