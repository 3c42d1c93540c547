// host_fixture.h: an engine run over the host platform with an owner window
// that logs what it is sent and can answer Cancel, the one box a failed run
// shows, and nothing left open or allocated afterwards.
#ifndef TARVEX_TESTS_UNZIP_HOST_FIXTURE_H
#define TARVEX_TESTS_UNZIP_HOST_FIXTURE_H

#include "platform/host.h"
#include "progress/progress.h"
#include "tests/unzip/unzip_fixture.h"

#include <filesystem>
#include <set>

struct owner_log {
    std::vector<plat_wparam> advances; /* wParam of each PRG_ADVANCE */
    std::vector<std::string> shown;    /* the text of each PRG_SHOWFILE */
    size_t cancel_at_show = 0;         /* reply 1 to the report of this member start */
    extract_request *nested = nullptr; /* run from inside the first report */
    int nested_returned = -1;          /* what that run returned, -1 not run */
};
inline owner_log owner; /* what the owner window of the current run received */

inline plat_lparam owner_handler(plat_window, int, unsigned msg, plat_wparam wp, plat_lparam lp) {
    if (msg == PRG_SHOWFILE) owner.shown.push_back(reinterpret_cast<const char *>(lp));
    if (msg != PRG_ADVANCE) return 0;
    owner.advances.push_back(wp);
    if (owner.nested && owner.nested_returned < 0)
        owner.nested_returned = extract_archive(owner.nested);
    return owner.cancel_at_show && owner.shown.size() == owner.cancel_at_show && wp == 0;
}

class HostUnzip : public UnzipTest {
  protected:
    plat_window window;
    void SetUp() override {
        UnzipTest::SetUp();
        fresh_run();
    }
    /* Puts the platform, the owner's log and the request back for another run. */
    void fresh_run() {
        host_reset();
        cancel_flag = 0;
        owner = owner_log();
        window = host_create_window("owner", owner_handler);
        request.owner_window = window;
        request.result = 0;
    }
    void TearDown() override {
        EXPECT_EQ(0, host_live_blocks());
        EXPECT_EQ(0, host_open_files());
        cancel_flag = 0;
        UnzipTest::TearDown();
    }
    /* The one box of the run, with the engine's owner, caption and style;
       the record is cleared for the next run. */
    std::string box() {
        std::vector<host_box> boxes = host_boxes();
        host_clear_boxes();
        request.result = 0;
        EXPECT_EQ(1u, boxes.size());
        if (boxes.empty()) return "<none>";
        EXPECT_EQ(window, boxes[0].owner);
        EXPECT_TRUE(boxes[0].default_caption);
        EXPECT_EQ(unsigned(MB_ICONERROR), boxes[0].style);
        return boxes[0].text;
    }
    /* An output path as the engine writes it: '\' the only separator. */
    std::string at(const std::string &name) { return backslashed(dest + "\\" + name); }
    std::set<std::string> dest_names() const {
        std::set<std::string> names;
        for (const auto &e : std::filesystem::directory_iterator(dest))
            names.insert(e.path().filename().string());
        return names;
    }
};

#endif
