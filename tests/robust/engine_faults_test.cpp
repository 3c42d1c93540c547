// The engine against every fault the platform can report, and against a
// cancel at every progress report: for each call of each kind in a
// representative extraction, that call fails and the run must end with the
// message of that failure shown once, result 2, the members before intact,
// the member being written deleted, nothing held, and the engine ready.
#include "tests/robust/robust_fixture.h"

#include <cstdio>

namespace {

int cancel_at;
void cancel_on_drain(void) {
    if (host_drain_count() == cancel_at) cancel_flag = 1;
}

class EngineFaults : public RobustTest {
  protected:
    int points = 0; /* failure points walked */

    std::string read_error() { return "Error reading " + archive + ".  Possible cause: bad disk"; }
    std::string last_path() { return announced().empty() ? "?" : at(announced().back()); }
    /* The member after the last one announced: a file is created before its
       member is announced. */
    std::string next_path() {
        size_t i = announced().size();
        return i < files().size() ? at(files()[i]->name) : "?";
    }

    /* Whether text is what a failure of this kind may show.  Reads of a
       streamed member end only where its stream ends, so a failed one there
       shows as an invalid header; seeks steer the walk, so their failure
       shows as whatever the walk then meets. */
    bool right_message(host_fault_kind kind, const std::string &text) {
        switch (kind) {
        case FAULT_OPEN:
            return text == "Can't open input file: " + archive;
        case FAULT_CREATE:
            return text == "Can't create output file: " + next_path();
        case FAULT_WRITE_SHORT:
        case FAULT_WRITE_ERROR:
            return text == "Error writing to " + last_path() + ".  Possible cause: disk full";
        case FAULT_GLOBAL_ALLOC:
        case FAULT_MALLOC:
            return text == "Insufficient memory";
        default: /* reads and seeks */
            return text == read_error() || text == "Invalid Zipfile Header";
        }
    }

    /* One failure point: the nth call of kind fails. */
    void fail_at(host_fault_kind kind, int n) {
        std::string where = "kind " + std::to_string(kind) + " call " + std::to_string(n);
        fresh_run();
        host_fail_call(kind, n);
        ASSERT_EQ(1, extract_archive(&request)) << where;
        host_fail_call(kind, 0);
        const std::vector<host_box> &boxes = host_boxes();
        int kept = intact_prefix();
        EXPECT_GE(kept, 0) << where;
        if (request.result == EXTRACT_OK) {
            /* Only a fault that changes nothing may pass: a short piece of a
               streamed member, a seek that the walk does not depend on. */
            EXPECT_TRUE(kind == FAULT_READ_SHORT || kind == FAULT_SEEK) << where;
            EXPECT_EQ(int(files().size()), kept) << where;
            EXPECT_EQ(0u, boxes.size()) << where;
        } else {
            EXPECT_EQ(EXTRACT_FAILED, request.result) << where;
            ASSERT_EQ(1u, boxes.size()) << where;
            EXPECT_TRUE(right_message(kind, boxes[0].text)) << where << ": " << boxes[0].text;
            /* The member whose file failed is not left behind, cut or empty. */
            if (kind == FAULT_CREATE) {
                EXPECT_EQ(int(announced().size()), kept) << where;
            }
            if (kind == FAULT_WRITE_SHORT || kind == FAULT_WRITE_ERROR) {
                EXPECT_EQ(int(announced().size()) - 1, kept) << where;
            }
        }
        expect_clean_and_ready(where);
        points++;
    }
};

TEST_F(EngineFaults, EveryCallOfEveryKindFailsCleanly) {
    use(representative_members());
    fresh_run();
    ASSERT_EQ(0, run_raw());
    const auto points_of_run = calls_made();
    ASSERT_EQ(int(files().size()), intact_prefix());
    empty_dest();
    for (const auto &call : points_of_run) fail_at(call.first, call.second);
    printf("[ fault points walked: %d ]\n", points);
    EXPECT_GT(points, 60);
}

TEST_F(EngineFaults, TestModeFailsAsCleanlyWithNothingWritten) {
    use(representative_members());
    request.dest_dir = nullptr;
    fresh_run();
    ASSERT_EQ(0, run_raw());
    int walked = 0;
    for (const auto &call : calls_made()) {
        if (call.first != FAULT_READ_ERROR && call.first != FAULT_MALLOC) continue;
        fresh_run();
        host_fail_call(call.first, call.second);
        extract_archive(&request);
        EXPECT_EQ(EXTRACT_FAILED, request.result) << call.first << " " << call.second;
        EXPECT_EQ(1u, host_boxes().size()) << call.first << " " << call.second;
        EXPECT_EQ(0, host_open_files()) << call.first << " " << call.second;
        EXPECT_EQ(0, host_live_blocks()) << call.first << " " << call.second;
        walked++;
    }
    EXPECT_TRUE(dest_names().empty());
    printf("[ test-mode fault points walked: %d ]\n", walked);
}

TEST_F(EngineFaults, ACancelAtEveryReportDeletesOnlyTheMemberBeingWritten) {
    use(representative_members());
    fresh_run();
    ASSERT_EQ(0, run_raw());
    int drains = host_drain_count();
    ASSERT_GE(drains, 5);
    empty_dest();
    printf("[ cancel points walked: %d ]\n", drains);
    for (cancel_at = 1; cancel_at <= drains; cancel_at++) {
        std::string where = "drain " + std::to_string(cancel_at);
        fresh_run();
        host_on_drain(cancel_on_drain);
        ASSERT_EQ(1, extract_archive(&request)) << where;
        EXPECT_EQ(EXTRACT_CANCELLED, request.result) << where;
        EXPECT_TRUE(host_boxes().empty()) << where;
        /* Every member announced before the one being written stays. */
        EXPECT_EQ(int(announced().size()) - 1, intact_prefix()) << where;
        expect_clean_and_ready(where);
    }
}

} /* namespace */
