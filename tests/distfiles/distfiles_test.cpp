// The loose files on a real file system, on the host and under Wine against
// the Win32 layer: sizes as the check counts them, and copies that are
// byte-identical and carry the source's times.  On the host also against the
// simulated user interface: which box each failure shows and over which
// window, where the bar moves, how a cancel stops the copy, that no handle or
// block is left behind, and the copy pass against every call of every kind
// failing in turn.
#include "common/state.h"
#include "distfiles/distfiles.h"
#include "progress/progress.h"
#include "tests/unzip/zip_writer.h"
#ifndef _WIN32
#include "common/messages.h"
#include "platform/host.h"
#include "resources/dialog.h"
#endif

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

namespace {

namespace fs = std::filesystem;

/* A reference time with a non-zero 100 ns part, so that no rounding hides. */
const plat_filetime REFERENCE = {0x12345677u, 0x01D3A1B2u};

void write_stamped(const std::string &path, const std::string &bytes,
                   plat_filetime time = REFERENCE) {
    plat_file f = plat_lcreat(path.c_str(), 0);
    ASSERT_NE(f, HFILE_ERROR) << path;
    ASSERT_EQ(plat_lwrite(f, bytes.data(), uint32_t(bytes.size())), bytes.size());
    plat_set_file_time(f, &time, &time, &time);
    plat_lclose(f);
}

/* Read past the platform layer, so that no injected fault meets it. */
std::string read_past(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return in ? std::string(std::istreambuf_iterator<char>(in), {}) : "<missing>";
}

bool same_time(const plat_filetime &a, const plat_filetime &b) { return !memcmp(&a, &b, sizeof a); }

struct DistFiles : ::testing::Test {
    fs::path root;
    std::string source, target; /* each ends in a separator */

    void SetUp() override {
        root = make_temp_dir();
        use_dirs(root / "src", root / "dst");
        setup.reference_time = REFERENCE;
        setup.size_total = 0;
        setup.progress_dialog = nullptr;
        cancel_flag = 0;
        copy_byte_counter = 0;
        last_bar_update = 0;
    }
    void TearDown() override {
        clear_dir(root.string());
    }
    void use_dirs(const fs::path &src, const fs::path &dst) {
        fs::create_directories(src);
        fs::create_directories(dst);
        source = (src / "").string();
        target = (dst / "").string();
        snprintf(setup.source_dir, sizeof setup.source_dir, "%s", source.c_str());
        snprintf(setup.target_prefix, sizeof setup.target_prefix, "%s", target.c_str());
    }
    /* Writes the seven listed files with these sizes and distinct contents. */
    void make_sources(const std::vector<size_t> &sizes) {
        for (size_t i = 0; i < sizes.size(); i++)
            write_stamped(source + dist_files[i].name, content(sizes[i], unsigned(i)));
    }
    std::string src(int i) const { return source + dist_files[i].name; }
    std::string dst(int i) const { return target + dist_files[i].name; }
    bool stamped(int i) {
        plat_find_data found;
        return plat_find_first(dst(i).c_str(), &found) == 1 &&
               same_time(found.ftLastWriteTime, REFERENCE);
    }
};

/* An SZDD header announcing size bytes once expanded, then a little data. */
std::string szdd(uint32_t size, size_t total) {
    std::string bytes = "SZDD\x88\xF0\x27\x33\x41_"; /* mode 'A', missing last character */
    for (int k = 0; k < 4; k++) bytes += char((size >> (8 * k)) & 0xFF);
    bytes.resize(total, 'z');
    return bytes;
}

TEST_F(DistFiles, CheckPassAddsExpandedSizesOfCompressedFilesAndDiskSizesOfOthers) {
    write_stamped(src(0), content(100, 0));
    write_stamped(src(1), szdd(123456, 40));            /* compressed: its expanded size */
    write_stamped(src(2), szdd(999, 40).substr(0, 13)); /* too short for a header */
    write_stamped(src(3), szdd(0x89ABCDEFu, 14));       /* header alone, all 32 bits */
    write_stamped(src(4), "");
    std::string wrong = szdd(777, 20);
    wrong[7] = 0x34; /* second magic does not match */
    write_stamped(src(5), wrong);
    write_stamped(src(6), content(5000, 6));
    EXPECT_EQ(distribution_pass(nullptr, DIST_CHECK), 1);
    EXPECT_EQ(setup.size_total, 100u + 123456u + 13u + 0x89ABCDEFu + 0u + 20u + 5000u);
    EXPECT_TRUE(fs::is_empty(target));
    EXPECT_EQ(expanded_size((source + "NOSUCH.TXT").c_str(), 42), 42u);
}

TEST_F(DistFiles, CopyPassMakesByteIdenticalCopiesCarryingTheSourcesLastWriteTime) {
    const std::vector<size_t> sizes = {0, 1, 15359, 15360, 15361, 30720, 40000};
    make_sources(sizes);
    ASSERT_EQ(distribution_pass(nullptr, DIST_COPY), 1);
    uint32_t total = 0;
    for (int i = 0; i < 7; i++) {
        plat_find_data found;
        ASSERT_EQ(plat_find_first(dst(i).c_str(), &found), 1) << dst(i);
        EXPECT_TRUE(same_time(found.ftCreationTime, REFERENCE)) << dst(i);
        EXPECT_TRUE(same_time(found.ftLastAccessTime, REFERENCE)) << dst(i);
        EXPECT_TRUE(same_time(found.ftLastWriteTime, REFERENCE)) << dst(i);
        EXPECT_EQ(read_past(dst(i)), read_past(src(i))) << dst(i);
        total += uint32_t(sizes[size_t(i)]);
    }
    EXPECT_EQ(copy_byte_counter, total);
}

#ifndef _WIN32

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
        fresh_pass();
    }
    /* The platform, the counters and the windows as at start, the target empty. */
    void fresh_pass() {
        host_reset();
        load_titles();
        bar_moves.clear();
        cancel_flag = 0;
        cancel_at_first_move = false;
        dialog = setup.progress_dialog = host_create_window("#32770", dialog_handler);
        install = host_create_window("#32770", nullptr);
        std::error_code ignored;
        for (const auto &e : fs::directory_iterator(target)) fs::remove(e.path(), ignored);
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
    write_stamped(src(2), "late", later);
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

TEST_F(HostDistFiles, BarMovesOncePerUnitOverFilesAndItsLastMoveIsKept) {
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

// A unit's worth since the last move moves the bar, a whole unit too; a file
// ends with an empty read, a file of whole chunks with no extra move.
TEST_F(HostDistFiles, BarMovesOncePerUnitOverChunksAndFilesOfWholeChunksEndWithAnEmptyRead) {
    write_stamped(src(0), content(25600, 0));
    write_stamped(src(1), content(30720, 1));
    write_stamped(src(2), "");
    for (int i = 0; i < 3; i++) ASSERT_EQ(copy_file(src(i).c_str(), i), 1);
    EXPECT_EQ(host_call_count(FAULT_READ_ERROR), 3 + 3 + 1); /* each ends on an empty read */
    EXPECT_EQ(bar_moves, (decltype(bar_moves){{1, "README.TXT"}, {2, "README.TXT"},
                                              {4, "TARVEX.TXT"}, {5, "TARVEX.TXT"}}));
    EXPECT_EQ(fs::file_size(dst(0)) + fs::file_size(dst(1)) + fs::file_size(dst(2)), 56320u);
    EXPECT_EQ(copy_byte_counter, 56320u);
    EXPECT_EQ(last_bar_update, 56320u);
}

// A cancel in a drain lets that file copy one chunk, a cancel at the bar's
// first move stops within the file; the part copied keeps the source's time.
TEST_F(HostDistFiles, ACancelStopsSilentlyAfterTheChunkInHand) {
    for (int drain : {2, 0}) {
        fresh_pass();
        make_sources({40000, 40000, 10, 10, 10, 10, 10});
        cancel_at_drain = drain;
        cancel_at_first_move = drain == 0;
        host_on_drain(cancel_on_drain);
        EXPECT_EQ(distribution_pass(dialog, DIST_COPY), 0);
        int cut = drain ? 1 : 0; /* the file cut after its first chunk */
        if (cut) {
            EXPECT_EQ(read_past(dst(0)), content(40000, 0));
        }
        EXPECT_EQ(read_past(dst(cut)), content(15360, unsigned(cut))) << drain;
        EXPECT_TRUE(stamped(cut)) << drain;
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

const std::vector<size_t> SIZES = {40000, 3000, 0, 15360, 20000, 100, 31000};

// For each call of each kind over the seven files, that call fails and the
// pass must stop with the copy's message shown once over the progress
// dialog, the files before it intact and stamped, the failing target as the
// copy leaves it (not created, or the part written so far, unstamped), none
// after it, nothing held, and the next pass must copy everything.
struct CopyFaults : HostDistFiles {
    int points = 0;

    std::string message(host_fault_kind kind, int i) {
        if (kind == FAULT_READ_ERROR) return "Error reading " + src(i);
        if (kind == FAULT_CREATE) return "Cannot open " + dst(i) + " for writing";
        if (kind == FAULT_OPEN || kind == FAULT_GLOBAL_ALLOC)
            return "Cannot open " + src(i) + " for writing";
        return "Error writing to " + dst(i);
    }
    /* The target of a failed file: absent when it was never created, else
       a part of the source, without the source's time. */
    void expect_left_as_copied(host_fault_kind kind, int i, const std::string &where) {
        if (kind == FAULT_OPEN || kind == FAULT_GLOBAL_ALLOC || kind == FAULT_CREATE) {
            EXPECT_FALSE(fs::exists(dst(i))) << where;
            return;
        }
        std::string part = read_past(dst(i)), whole = content(SIZES[i], unsigned(i));
        EXPECT_LE(part.size(), whole.size()) << where;
        EXPECT_EQ(whole.substr(0, part.size()), part) << where;
        EXPECT_FALSE(stamped(i)) << where;
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
            for (failed = 0; failed < 7 && host_boxes()[0].text != message(kind, failed);) failed++;
            ASSERT_LT(failed, 7) << where << ": " << host_boxes()[0].text;
            expect_left_as_copied(kind, failed, where);
        }
        for (int i = 0; i < 7; i++) {
            if (i < failed) {
                EXPECT_EQ(content(SIZES[i], unsigned(i)), read_past(dst(i))) << where << " " << i;
                EXPECT_TRUE(stamped(i)) << where << " " << i;
            } else if (i > failed) {
                EXPECT_FALSE(fs::exists(dst(i))) << where << " " << i;
            }
        }
        EXPECT_EQ(0, host_open_files()) << where;
        EXPECT_EQ(0, host_live_blocks()) << where;
        fresh_pass();
        EXPECT_EQ(1, distribution_pass(dialog, DIST_COPY)) << where;
        for (int i = 0; i < 7; i++) EXPECT_EQ(content(SIZES[i], unsigned(i)), read_past(dst(i)));
        points++;
    }
};

TEST_F(CopyFaults, EveryCallOfEveryKindStopsThePassCleanly) {
    make_sources(SIZES);
    fresh_pass(); /* count only the pass's own calls */
    ASSERT_EQ(1, distribution_pass(dialog, DIST_COPY));
    int calls[FAULT_KINDS];
    for (int k = 0; k < FAULT_KINDS; k++) calls[k] = host_call_count(host_fault_kind(k));
    for (int k = 0; k < FAULT_KINDS; k++)
        for (int n = 1; n <= calls[k]; n++) fail_at(host_fault_kind(k), n);
    printf("[ fault points walked: %d ]\n", points);
    EXPECT_GT(points, 40);
}

#endif

} // namespace
