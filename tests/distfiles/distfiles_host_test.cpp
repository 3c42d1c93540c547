// The loose files against the simulated user interface: which box each
// failure shows and over which window, where the bar moves, how a cancel
// stops the copy, and that no handle or block is left behind.
#include "dist_fixture.h"
#include "platform/host.h"
#include "resources/dialog.h"
#include "setup/messages.h"

#include <utility>

namespace {

std::vector<std::pair<uint32_t, std::string>> bar_moves; /* position, file line */
bool cancel_at_first_move;
int cancel_at_drain;

plat_lparam dialog_handler(plat_window w, int item, unsigned msg, plat_wparam wp, plat_lparam) {
    if (item != IDC_PRG_METER || msg != MTR_SETPOS) return 0;
    bar_moves.emplace_back(uint32_t(wp), host_item_text(w, IDC_PRG_FILE));
    if (cancel_at_first_move) cancel_flag = 1;
    return 0;
}

void cancel_on_drain() {
    if (host_drain_count() == cancel_at_drain) cancel_flag = 1;
}

struct HostDistFiles : DistFiles {
    plat_window dialog = nullptr, install = nullptr;

    void SetUp() override {
        DistFiles::SetUp();
        host_reset();
        load_titles();
        bar_moves.clear();
        cancel_at_first_move = false;
        dialog = setup.progress_dialog = host_create_window("#32770", dialog_handler);
        install = host_create_window("#32770", nullptr);
    }
    void TearDown() override {
        EXPECT_EQ(host_open_files(), 0);
        EXPECT_EQ(host_live_blocks(), 0);
        DistFiles::TearDown();
    }
    /* The one box shown, which must carry text and the error icon over owner. */
    void expect_one_box(plat_window owner, const std::string &text) {
        ASSERT_EQ(host_boxes().size(), 1u);
        EXPECT_EQ(host_boxes()[0].owner, owner);
        EXPECT_EQ(host_boxes()[0].text, text);
        EXPECT_EQ(host_boxes()[0].style, unsigned(MB_ICONERROR));
    }
};

TEST_F(HostDistFiles, MissingFileStopsTheCheckAfterAddingTheSizesBeforeIt) {
    make_sources({1000, 2345});
    EXPECT_EQ(distribution_pass(install, DIST_CHECK), 0);
    expect_one_box(install, "Cannot find required file LICENSE.TXT.  Please verify that the "
                            "file exists on the installation disk.");
    EXPECT_EQ(setup.size_total, 3345u);
}

TEST_F(HostDistFiles, TimeOffByOneUnitStopsBothPassesBeforeLaterFiles) {
    make_sources({10, 10, 10, 10, 10, 10, 10});
    plat_filetime later = REFERENCE;
    later.dwLowDateTime++;
    write_file(src(2), "late", later);
    const char *text = "Date/time stamp on the file LICENSE.TXT does not match the date/time "
                       "stamp on SETUP.EXE.";
    EXPECT_EQ(distribution_pass(install, DIST_CHECK), 0);
    expect_one_box(install, text);
    host_clear_boxes();
    EXPECT_EQ(distribution_pass(dialog, DIST_COPY), 0);
    expect_one_box(dialog, text);
    EXPECT_TRUE(fs::exists(dst(1)));
    EXPECT_FALSE(fs::exists(dst(2)));
    EXPECT_FALSE(fs::exists(dst(3)));
}

TEST_F(HostDistFiles, BarMovesOncePerUnitOverChunksAndFilesAndItsLastMoveIsKept) {
    write_file(src(0), pattern(25600, 0));
    ASSERT_EQ(copy_file(src(0).c_str(), 0), 1);
    EXPECT_EQ(bar_moves, (decltype(bar_moves){{1, "README.TXT"}, {2, "README.TXT"}}));
    EXPECT_EQ(copy_byte_counter, 25600u);
    EXPECT_EQ(last_bar_update, 25600u);

    copy_byte_counter = last_bar_update = 0;
    bar_moves.clear();
    make_sources(std::vector<size_t>(7, 3000));
    ASSERT_EQ(distribution_pass(dialog, DIST_COPY), 1);
    EXPECT_EQ(bar_moves, (decltype(bar_moves){{1, "VENDOR.TXT"}}));
    EXPECT_EQ(copy_byte_counter, 21000u);
    EXPECT_EQ(last_bar_update, 12000u); /* moved at the fourth file, not since */
    EXPECT_EQ(host_item_text(dialog, IDC_PRG_TITLE), "Installing");
    EXPECT_EQ(host_item_text(dialog, IDC_PRG_FILE), "ORDER.TXT");
    EXPECT_EQ(host_drain_count(), 7);
    EXPECT_TRUE(host_boxes().empty());
}

TEST_F(HostDistFiles, FilesOfWholeChunksEndWithAnEmptyReadAndNoExtraMove) {
    write_file(src(0), pattern(15360, 0));
    write_file(src(1), pattern(30720, 1));
    write_file(src(2), "");
    for (int i = 0; i < 3; i++) ASSERT_EQ(copy_file(src(i).c_str(), i), 1);
    EXPECT_EQ(host_call_count(FAULT_READ_ERROR), 2 + 3 + 1); /* each ends on a short read */
    EXPECT_EQ(bar_moves,
              (decltype(bar_moves){{1, "README.TXT"}, {3, "TARVEX.TXT"}, {4, "TARVEX.TXT"}}));
    EXPECT_EQ(fs::file_size(dst(0)) + fs::file_size(dst(1)) + fs::file_size(dst(2)), 46080u);
}

// A cancel in a drain lets that file copy one chunk, a cancel at the bar's
// first move stops within the file; the part copied keeps the source's time.
TEST_F(HostDistFiles, ACancelStopsSilentlyAfterTheChunkInHand) {
    for (int drain : {2, 0}) {
        fs::remove_all(target);
        fs::create_directories(target);
        make_sources({40000, 40000, 10, 10, 10, 10, 10});
        cancel_at_drain = drain;
        cancel_at_first_move = drain == 0;
        host_on_drain(cancel_on_drain);
        EXPECT_EQ(distribution_pass(dialog, DIST_COPY), 0);
        int cut = drain ? 1 : 0; /* the file cut after its first chunk */
        if (cut) {
            EXPECT_EQ(read_file(dst(0)), pattern(40000, 0));
        }
        EXPECT_EQ(read_file(dst(cut)), pattern(15360, unsigned(cut))) << drain;
        plat_find_data found;
        ASSERT_EQ(plat_find_first(dst(cut).c_str(), &found), 1);
        EXPECT_TRUE(same_time(found.ftLastWriteTime, REFERENCE));
        EXPECT_FALSE(fs::exists(dst(cut + 1)));
        EXPECT_TRUE(host_boxes().empty());
    }
}

/* A directory whose path with its separator takes exactly 56 characters:
   names of up to 11 characters fit the 68-character buffer, WHATSNEW.TXT
   does not. */
fs::path dir_of_56(const fs::path &root, const char *tag) {
    std::string base = (root / tag).string() + "-";
    if (base.size() > 54) return {};
    return fs::path(base + std::string(55 - base.size(), 'x'));
}

TEST_F(HostDistFiles, PathsTooLongForTheirBufferAreRefusedWholeNeverCut) {
    fs::path long_dst = dir_of_56(root, "dst"), long_src = dir_of_56(root, "src");
    if (long_dst.empty()) GTEST_SKIP() << "temporary directory too deep";
    use_dirs(root / "src", long_dst);
    ASSERT_EQ(target.size(), 56u);
    make_sources({10, 10, 10, 10, 10, 10, 10});
    EXPECT_EQ(distribution_pass(dialog, DIST_COPY), 0);
    expect_one_box(dialog, "Cannot open " + dst(4) + " for writing");
    EXPECT_EQ(std::distance(fs::directory_iterator(target), fs::directory_iterator()), 4);

    host_clear_boxes();
    use_dirs(long_src, root / "dst");
    make_sources({10, 20, 30, 40, 50, 60, 70});
    EXPECT_EQ(distribution_pass(install, DIST_CHECK), 0);
    expect_one_box(install, "Cannot open " + src(4));
    EXPECT_EQ(setup.size_total, 100u);
}

} // namespace
