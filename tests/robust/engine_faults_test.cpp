// The engine against every fault the platform can report and a cancel at
// every progress report, in one walk over a representative run in each mode
// (extraction, test mode, cancel): at each point the run must end with the
// message of that failure shown once (none for a cancel), the members before
// intact, the member being written deleted, nothing held, and the engine
// ready for the next run.
#include "tests/robust/robust_fixture.h"

#include <cstdio>

namespace {

/* Every call of every kind that the last run made, as (kind, call number):
   the fault points of a walk that fails each in turn. */
inline std::vector<std::pair<host_fault_kind, int>> calls_made() {
    std::vector<std::pair<host_fault_kind, int>> points;
    for (int k = 0; k < FAULT_KINDS; k++)
        for (int n = 1; n <= host_call_count(host_fault_kind(k)); n++)
            points.push_back({host_fault_kind(k), n});
    return points;
}

int cancel_at;
void cancel_on_drain(void) {
    if (host_drain_count() == cancel_at) cancel_flag = 1;
}

struct walk_mode {
    const char *name; /* for the failure messages */
    bool writes;      /* extracts to the destination; else test mode */
    bool cancels;     /* the points are progress reports to cancel at */
    size_t least;     /* fewest points the representative run must offer */
};
const walk_mode MODES[] = {
    {"extract",   true,  false, 60},
    {"test mode", false, false, 20},
    {"cancel",    true,  true,  5},
};

class EngineFaults : public RobustTest {
  protected:
    /* The output path of a member as the engine writes it. */
    std::string path_of(const std::string &name) {
        return at(name.substr(name.find_last_of("/\\") + 1));
    }
    std::string read_error() { return "Error reading " + archive + ".  Possible cause: bad disk"; }
    std::string last_path() { return owner.shown.empty() ? "?" : path_of(owner.shown.back()); }
    /* The member after the last one announced: a file is created before its
       member is announced. */
    std::string next_path() {
        size_t i = owner.shown.size();
        return i < files().size() ? path_of(files()[i]->name) : "?";
    }

    /* Whether text is what a failure of this kind may show.  Reads of a
       streamed member end only where its stream ends, so a failed one there
       shows as an invalid header; seeks steer the walk, so their failure
       shows as whatever the walk then meets. */
    bool right_message(host_fault_kind kind, const std::string &text) {
        switch (kind) {
        case FAULT_OPEN: return text == "Can't open input file: " + archive;
        case FAULT_CREATE: return text == "Can't create output file: " + next_path();
        case FAULT_WRITE_SHORT:
        case FAULT_WRITE_ERROR:
            return text == "Error writing to " + last_path() + ".  Possible cause: disk full";
        case FAULT_GLOBAL_ALLOC:
        case FAULT_MALLOC: return text == "Insufficient memory";
        default: return text == read_error() || text == "Invalid Zipfile Header";
        }
    }

    /* A failed run: one box with the right text, and the member whose file
       failed not left behind, cut or empty. */
    void expect_failure(host_fault_kind kind, int kept, const std::string &where) {
        EXPECT_EQ(EXTRACT_FAILED, request.result) << where;
        ASSERT_EQ(1u, host_boxes().size()) << where;
        EXPECT_TRUE(right_message(kind, host_boxes()[0].text)) << where << ": "
                                                               << host_boxes()[0].text;
        if (kind == FAULT_CREATE) {
            EXPECT_EQ(int(owner.shown.size()), kept) << where;
        }
        if (kind == FAULT_WRITE_SHORT || kind == FAULT_WRITE_ERROR) {
            EXPECT_EQ(int(owner.shown.size()) - 1, kept) << where;
        }
    }

    /* One point: the nth call of kind fails, or the nth report cancels. */
    void walk_point(const walk_mode &mode, host_fault_kind kind, int n) {
        std::string where = std::string(mode.name) + " kind " + std::to_string(kind) + " at " +
                            std::to_string(n);
        fresh_run();
        cancel_at = n;
        if (mode.cancels) host_on_drain(cancel_on_drain);
        else host_fail_call(kind, n);
        ASSERT_EQ(1, extract_archive(&request)) << where;
        int kept = intact_prefix();
        EXPECT_GE(kept, 0) << where;
        if (mode.cancels) {
            EXPECT_EQ(EXTRACT_CANCELLED, request.result) << where;
            EXPECT_TRUE(host_boxes().empty()) << where;
            EXPECT_EQ(int(owner.shown.size()) - 1, kept) << where;
        } else if (request.result == EXTRACT_OK) {
            /* Only a fault that changes nothing may pass: a short piece of a
               streamed member, a seek that the walk does not depend on. */
            EXPECT_TRUE(kind == FAULT_READ_SHORT || kind == FAULT_SEEK) << where;
            EXPECT_EQ(mode.writes ? int(files().size()) : 0, kept) << where;
            EXPECT_EQ(0u, host_boxes().size()) << where;
        } else {
            expect_failure(kind, kept, where);
        }
        expect_clean_and_ready(where, mode.writes);
    }
};

TEST_F(EngineFaults, EveryFaultAndEveryCancelInEveryModeEndsTheRunCleanly) {
    /* Stored over four chunks, a directory entry, dynamic Deflate, streamed. */
    zip_member streamed = make_member("third.txt", prose(25000, 3), 8);
    streamed.streamed = true;
    use({make_member("first.txt", content(100000, 1), 0), make_member("docs/", "", 0),
         make_member("docs/second.txt", prose(60000, 2), 8), streamed});
    for (const walk_mode &mode : MODES) {
        request.dest_dir = mode.writes ? dest.c_str() : nullptr;
        fresh_run();
        ASSERT_EQ(0, run_raw()) << mode.name;
        std::vector<std::pair<host_fault_kind, int>> points = calls_made();
        if (mode.cancels) {
            points.clear();
            for (int n = 1; n <= host_drain_count(); n++) points.push_back({FAULT_KINDS, n});
        }
        EXPECT_EQ(mode.writes ? int(files().size()) : 0, intact_prefix()) << mode.name;
        empty_dest();
        for (const auto &point : points) walk_point(mode, point.first, point.second);
        printf("[ %s points walked: %zu ]\n", mode.name, points.size());
        EXPECT_GE(points.size(), mode.least) << mode.name;
    }
}

} /* namespace */
