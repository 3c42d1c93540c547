// The progress phase under the user's hands: Cancel while the loose files
// are copied or the archive is extracted asks first; No lets the
// installation complete, Yes stops it, keeps what was finished, deletes the
// member cut short and says 1006 once the progress dialog is gone.  A damaged
// archive and a target file that cannot be written end it with their own box
// and 1006, and nothing is started.
#include "tests/e2e/e2e.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

const char CONFIRM[] =
    "Setup has not completed installing the software.\nAre you sure you want to cancel?";
const size_t BIG_LOOSE_FILE = 6 << 20; /* long enough to press Cancel during its copy */
const char DAMAGED_MEMBER[] = "TARVEX.HLP";

std::string source_dir;          /* the group's disk: a large first loose file */
std::vector<zip_member> members; /* its archive, front to back */

int loose_index(const std::string &name) {
    for (int i = 0; LOOSE[i]; i++)
        if (name == LOOSE[i]) return i;
    return -1;
}

int member_index(const std::string &name) {
    for (size_t i = 0; i < members.size(); i++)
        if (name == members[i].name) return int(i);
    return -1;
}

struct Progress : ::testing::Test {
    static void SetUpTestSuite() {
        source_dir = prepare_disk("tvprogress");
        std::string big(BIG_LOOSE_FILE, 0);
        for (size_t i = 0; i < big.size(); i++) big[i] = char("tarvex\r\n"[i % 8]);
        ASSERT_TRUE(write_file(source_dir + LOOSE[0], big));
        ASSERT_TRUE(stamp_like_setup(source_dir, source_dir + LOOSE[0], 0));
        members = zip_members(read_file(source_dir + "setup.tv"));
    }
    setup_run run;

    /* Presses Cancel of the progress dialog once its file line shows a file
       of the phase wanted, and returns the confirmation box. */
    HWND cancel_during(HWND bar, bool extracting) {
        DWORD start = GetTickCount();
        for (;;) {
            std::string file = driver_item_text(bar, IDC_PRG_FILE);
            if (extracting ? member_index(file) >= 0 : loose_index(file) >= 0) break;
            if (GetTickCount() - start > DRIVER_WAIT_MS || !IsWindow(bar)) {
                ADD_FAILURE() << "the file line never showed a file to cancel in";
                return nullptr;
            }
            driver_pump(nullptr, 5);
        }
        EXPECT_TRUE(driver_press(bar, IDCANCEL)) << driver_error();
        return run.next(bar);
    }

    /* The 1006 box that ends a stopped installation, after the progress
       dialog has gone. */
    void expect_not_installed(HWND bar, const std::string &target) {
        HWND box = run.next(bar, DRIVER_WAIT_MS * 2);
        EXPECT_FALSE(IsWindow(bar) && IsWindowVisible(bar)) << "the progress dialog is still up";
        run.answer(box, NOT_INSTALLED, CAPTION, "asterisk", nullptr);
        run.expect_exit();
        EXPECT_FALSE(exists(target + "started.txt"));
    }
};

TEST_F(Progress, NoToCancelDuringCopyingAndExtractionLetsTheInstallationComplete) {
    const std::string target = "C:\\TvGoesOn\\";
    ASSERT_NE(run.start(source_dir), nullptr);
    run.enter("C:\\TvGoesOn");
    HWND bar = run.progress(run.dialog);
    ASSERT_NE(bar, nullptr);
    for (bool extracting : {false, true}) {
        HWND box = cancel_during(bar, extracting);
        std::string file = driver_item_text(bar, IDC_PRG_FILE);
        EXPECT_EQ(extracting ? member_index(file) >= 0 : loose_index(file) >= 0, true) << file;
        run.answer(box, CONFIRM, CAPTION, "question", bar, IDNO);
    }
    run.expect_installation_ends(bar);
    expect_installed(target, source_dir);
    EXPECT_EQ(started_record(target),
              "directory=C:\\TvGoesOn\\\ncurrent=C:\\TvGoesOn\narguments=/install\n");
}

TEST_F(Progress, YesToCancelDuringCopyingKeepsTheFilesCopiedAndExtractsNothing) {
    const std::string target = "C:\\TvStopCopy\\";
    ASSERT_NE(run.start(source_dir), nullptr);
    run.enter("C:\\TvStopCopy");
    HWND bar = run.progress(run.dialog);
    ASSERT_NE(bar, nullptr);
    HWND box = cancel_during(bar, false);
    int copied = loose_index(driver_item_text(bar, IDC_PRG_FILE));
    ASSERT_GE(copied, 0);
    run.answer(box, CONFIRM, CAPTION, "question", bar, IDYES);
    expect_not_installed(bar, target);
    for (int i = 0; LOOSE[i]; i++) {
        if (i <= copied) {
            EXPECT_TRUE(read_file(target + LOOSE[i]) == read_file(source_dir + LOOSE[i]))
                << LOOSE[i];
        } else if (i > copied + 1) {
            EXPECT_FALSE(exists(target + LOOSE[i])) << LOOSE[i];
        }
    }
    for (const zip_member &m : members) EXPECT_FALSE(exists(target + m.name)) << m.name;
}

TEST_F(Progress, YesToCancelDuringExtractionDeletesTheMemberCutShortAndKeepsTheRest) {
    const std::string target = "C:\\TvStopUnzip\\";
    ASSERT_NE(run.start(source_dir), nullptr);
    run.enter("C:\\TvStopUnzip");
    HWND bar = run.progress(run.dialog);
    ASSERT_NE(bar, nullptr);
    HWND box = cancel_during(bar, true);
    int cut = member_index(driver_item_text(bar, IDC_PRG_FILE));
    ASSERT_GE(cut, 0);
    run.answer(box, CONFIRM, CAPTION, "question", bar, IDYES);
    expect_not_installed(bar, target);
    expect_installed(target, source_dir, size_t(cut));
    for (size_t i = size_t(cut); i < members.size(); i++)
        EXPECT_FALSE(exists(target + members[i].name)) << members[i].name;
}

/* ---- Failures with a box of their own ------------------------------------- */

enum failure_kind { DAMAGED_ARCHIVE, TARGET_FILE_LOCKED };

struct failure_case {
    const char *label;  /* what the case shows */
    failure_kind kind;  /* what is wrong */
    const char *target; /* the directory typed */
};

const failure_case FAILURES[] = {
    {"damaged_archive", DAMAGED_ARCHIVE, "C:\\TvCrcTarget"},
    {"target_file_locked", TARGET_FILE_LOCKED, "C:\\TvLockTarget"},
};

struct Failure : Progress, ::testing::WithParamInterface<failure_case> {
    HANDLE locked = INVALID_HANDLE_VALUE; /* a target file kept open */
    void TearDown() override {
        if (locked != INVALID_HANDLE_VALUE) CloseHandle(locked);
    }
};

/* Changes the stored CRC-32 of one member; returns the box's text. */
std::string damage_archive(const std::string &dir, const std::string &target) {
    std::string archive = read_file(dir + "setup.tv");
    for (const zip_member &m : zip_members(archive)) {
        if (m.name != DAMAGED_MEMBER) continue;
        unsigned real = 0;
        memcpy(&real, &archive[m.crc_at], 4);
        unsigned stored = real ^ 0x00010000;
        memcpy(&archive[m.crc_at], &stored, 4);
        EXPECT_TRUE(write_file(dir + "setup.tv", archive));
        char text[256];
        snprintf(text, sizeof text, "ZIP damaged: file %s%s: Bad CRC %08x (should be %08x)",
                 target.c_str(), DAMAGED_MEMBER, real, stored);
        return text;
    }
    ADD_FAILURE() << "no member " << DAMAGED_MEMBER;
    return "";
}

TEST_P(Failure, EndsWithItsBoxThen1006AndStartsNothing) {
    const failure_case &c = GetParam();
    std::string target = std::string(c.target) + "\\", dir = source_dir, text;
    const char *caption = CAPTION;
    if (c.kind == DAMAGED_ARCHIVE) {
        dir = prepare_disk("tvdamaged");
        text = damage_archive(dir, target);
        caption = "Error";
    } else {
        /* Open for no one else, as a running program keeps it.  (The read-only
           attribute would do on Windows; Wine run as root writes over it.) */
        CreateDirectoryA(target.c_str(), nullptr);
        std::string path = target + LOOSE[2];
        ASSERT_TRUE(write_file(path, "kept"));
        locked = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(locked, INVALID_HANDLE_VALUE);
        text = "Cannot open " + path + " for writing";
    }
    ASSERT_NE(run.start(dir), nullptr);
    run.enter(c.target);
    HWND bar = run.progress(run.dialog);
    ASSERT_NE(bar, nullptr);
    run.answer(run.next(bar, DRIVER_WAIT_MS * 2), text, caption, "hand", bar);
    expect_not_installed(bar, target);
    EXPECT_FALSE(exists(target + "tarvex32.exe"));
}

INSTANTIATE_TEST_SUITE_P(Cases, Failure, ::testing::ValuesIn(FAILURES),
                         [](const ::testing::TestParamInfo<failure_case> &info) {
                             return std::string(info.param.label);
                         });

} // namespace
