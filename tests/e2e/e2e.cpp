/*
 * e2e.cpp: the end-to-end tests' common ground: disks, the archive's local
 * headers, the comparison of an installed tree with its disk, and the run of
 * SETUP.EXE watched box by box.
 */
#include "tests/e2e/e2e.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

const char *const LOOSE[] = {"README.TXT",   "TARVEX.TXT",  "LICENSE.TXT", "VENDOR.TXT",
                             "WHATSNEW.TXT", "FILE_ID.DIZ", "ORDER.TXT",   nullptr};
const char NOT_INSTALLED[] = "The software has not been successfully installed.\nYou must run "
                             "Setup again before using the software.";
const char CAPTION[] = "Tarvex Setup";

namespace {

enum { LOCAL_HEADER = 0x04034B50, LOCAL_HEADER_SIZE = 30, STARTED_WAIT_MS = 5000 };

unsigned little16(const std::string &s, size_t at) {
    return unsigned(uint8_t(s[at])) | unsigned(uint8_t(s[at + 1])) << 8;
}

unsigned little32(const std::string &s, size_t at) {
    return little16(s, at) | little16(s, at + 2) << 16;
}

bool same_time(const FILETIME &a, const FILETIME &b) {
    return a.dwLowDateTime == b.dwLowDateTime && a.dwHighDateTime == b.dwHighDateTime;
}

struct file_times { /* the three times of a file */
    FILETIME created, accessed, written;
};

bool times_of(const std::string &path, file_times *t) {
    HANDLE f = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                           nullptr);
    if (f == INVALID_HANDLE_VALUE) return false;
    BOOL ok = GetFileTime(f, &t->created, &t->accessed, &t->written);
    CloseHandle(f);
    return ok != 0;
}

/* The name of the current test, fit for a file name. */
std::string test_label() {
    const ::testing::TestInfo *info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string label = std::string(info->test_suite_name()) + "." + info->name();
    for (char &c : label)
        if (!isalnum(uint8_t(c)) && c != '.' && c != '_') c = '_';
    return label;
}

/* Whether w lies in the list. */
bool listed(const std::vector<HWND> &list, HWND w) {
    for (HWND known : list)
        if (known == w) return true;
    return false;
}

struct dialog_hunt {               /* EnumWindows' state for setup_run::next */
    DWORD process_id;              /* whose dialogs */
    HWND previous;                 /* not this one */
    const std::vector<HWND> *gone; /* nor those already answered */
    HWND found;                    /* topmost other dialog */
};

BOOL CALLBACK hunt_dialog(HWND w, LPARAM lp) {
    dialog_hunt *h = reinterpret_cast<dialog_hunt *>(lp);
    DWORD owner_id = 0;
    char class_name[16];
    GetWindowThreadProcessId(w, &owner_id);
    if (owner_id != h->process_id || !IsWindowVisible(w) || w == h->previous ||
        listed(*h->gone, w) || !GetClassNameA(w, class_name, sizeof class_name) ||
        strcmp(class_name, "#32770") != 0)
        return TRUE;
    h->found = w;
    return FALSE;
}

std::vector<HWND> answered; /* boxes answered in this run, which may linger a moment */

} // namespace

std::string read_file(const std::string &path) {
    std::string data;
    FILE *f = fopen(path.c_str(), "rb");
    if (!f) return "<missing " + path + ">";
    char chunk[65536];
    for (size_t n; (n = fread(chunk, 1, sizeof chunk, f)) > 0;) data.append(chunk, n);
    fclose(f);
    return data;
}

bool write_file(const std::string &path, const std::string &data) {
    FILE *f = fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = fwrite(data.data(), 1, data.size(), f) == data.size();
    return fclose(f) == 0 && ok;
}

bool exists(const std::string &path) { return GetFileAttributesA(path.c_str()) != 0xFFFFFFFF; }

std::vector<zip_member> zip_members(const std::string &archive) {
    std::vector<zip_member> members;
    size_t at = 0;
    while (at + LOCAL_HEADER_SIZE <= archive.size() && little32(archive, at) == LOCAL_HEADER) {
        size_t name_length = little16(archive, at + 26), extra = little16(archive, at + 28);
        zip_member m = {archive.substr(at + LOCAL_HEADER_SIZE, name_length),
                        little16(archive, at + 10), little16(archive, at + 12), at + 14};
        members.push_back(m);
        at += LOCAL_HEADER_SIZE + name_length + extra + little32(archive, at + 18);
    }
    return members;
}

std::string prepare_disk(const char *name, const char *disk) {
    std::string dir = std::string("C:\\") + name + "\\",
                from = std::string(disk ? disk : TV_SAMPLE_DIR "/disk") + "/";
    CreateDirectoryA(dir.c_str(), nullptr);
    for (const char *file : {"SETUP.EXE", "setup.tv"})
        EXPECT_TRUE(CopyFileA((from + file).c_str(), (dir + file).c_str(), FALSE)) << from + file;
    for (const char *const *file = LOOSE; *file; file++)
        EXPECT_TRUE(CopyFileA((from + *file).c_str(), (dir + *file).c_str(), FALSE)) << *file;
    return dir;
}

bool stamp_like_setup(const std::string &source_dir, const std::string &path, int seconds) {
    file_times setup;
    if (!times_of(source_dir + "SETUP.EXE", &setup)) return false;
    ULARGE_INTEGER t;
    t.LowPart = setup.written.dwLowDateTime;
    t.HighPart = setup.written.dwHighDateTime;
    t.QuadPart += ULONGLONG(int64_t(seconds) * 10000000);
    FILETIME moved = {t.LowPart, t.HighPart};
    HANDLE f = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE) return false;
    BOOL ok = SetFileTime(f, nullptr, nullptr, &moved);
    CloseHandle(f);
    return ok != 0;
}

/* The loose files: the disk's bytes, and SETUP.EXE's last-write time as
   every one of the three times. */
void expect_loose_files(const std::string &target, const std::string &source_dir) {
    file_times setup, copy;
    ASSERT_TRUE(times_of(source_dir + "SETUP.EXE", &setup));
    for (const char *const *file = LOOSE; *file; file++) { /* times first: reading moves one */
        ASSERT_TRUE(times_of(target + *file, &copy)) << *file;
        EXPECT_TRUE(same_time(copy.written, setup.written)) << *file;
        EXPECT_TRUE(same_time(copy.accessed, setup.written)) << *file;
        EXPECT_TRUE(same_time(copy.created, setup.written)) << *file;
        EXPECT_TRUE(read_file(target + *file) == read_file(source_dir + *file)) << *file;
    }
}

/* The members: the product's bytes, and the local header's time as the
   last-write time. */
void expect_members(const std::string &target, const std::string &source_dir, size_t up_to) {
    std::vector<zip_member> members = zip_members(read_file(source_dir + "setup.tv"));
    ASSERT_FALSE(members.empty());
    for (size_t i = 0; i < members.size() && i < up_to; i++) {
        const std::string &name = members[i].name;
        EXPECT_TRUE(read_file(target + name) == read_file(TV_SAMPLE_DIR "/product/" + name))
            << name;
        FILETIME local, universal;
        file_times installed;
        ASSERT_TRUE(
            DosDateTimeToFileTime(WORD(members[i].dos_date), WORD(members[i].dos_time), &local));
        LocalFileTimeToFileTime(&local, &universal);
        ASSERT_TRUE(times_of(target + name, &installed)) << name;
        EXPECT_TRUE(same_time(installed.written, universal)) << name;
    }
}

void expect_installed(const std::string &target, const std::string &source_dir, size_t up_to) {
    expect_loose_files(target, source_dir);
    expect_members(target, source_dir, up_to);
}

std::string started_record(const std::string &target) {
    std::string path = target + "started.txt";
    for (DWORD start = GetTickCount(); !exists(path) && GetTickCount() - start < STARTED_WAIT_MS;)
        Sleep(50);
    for (int i = 0; i < 20; i++) { /* until the product has closed it */
        HANDLE f = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        if (f != INVALID_HANDLE_VALUE) {
            CloseHandle(f);
            break;
        }
        Sleep(50);
    }
    return read_file(path);
}

/* ========================================================================= */

HWND setup_run::start(const std::string &source_dir, const char *what) {
    answered.clear();
    std::string program = source_dir + "SETUP.EXE";
    if (!driver_start(program.c_str(), nullptr, &process)) {
        ADD_FAILURE() << driver_error();
        return nullptr;
    }
    dialog = driver_wait_dialog(process.id, DRIVER_WAIT_MS, what);
    if (!dialog) {
        ADD_FAILURE() << driver_error();
        return nullptr;
    }
    driver_pump(nullptr, 50); /* let it paint before its picture */
    shot(dialog, "first");
    return dialog;
}

HWND setup_run::next(HWND previous, DWORD timeout_ms) {
    DWORD start = GetTickCount();
    do {
        dialog_hunt h = {process.id, previous, &answered, nullptr};
        EnumWindows(hunt_dialog, reinterpret_cast<LPARAM>(&h));
        if (h.found) return h.found;
        driver_pump(process.process, 20);
    } while (GetTickCount() - start < timeout_ms);
    return nullptr;
}

void setup_run::shot(HWND window, const char *what) {
    char path[MAX_PATH];
    snprintf(path, sizeof path, "%s/%s_%02d_%s.bmp", TV_ARTIFACTS_DIR, test_label().c_str(),
             ++shots, what);
    EXPECT_TRUE(driver_screenshot_window(window, path)) << driver_error();
}

void setup_run::enter(const char *directory) {
    ASSERT_TRUE(driver_type(dialog, IDC_DIR_EDIT, directory)) << driver_error();
    ASSERT_TRUE(driver_press(dialog, IDOK)) << driver_error();
}

void setup_run::answer(HWND box, const std::string &text, const char *caption, const char *icon,
                       HWND owner, int button) {
    ASSERT_NE(box, nullptr) << "no box saying " << text;
    /* A box without an icon shows none of the standard ones: no settling. */
    bool iconless = strcmp(icon, "none") == 0;
    if (iconless) driver_pump(nullptr, 100);
    driver_icon shown = driver_box_icon(box, iconless ? 0 : DRIVER_WAIT_MS / 5);
    const char *seen_icon =
        driver_icon_name(shown == DRIVER_ICON_OTHER && iconless ? DRIVER_ICON_NONE : shown);
    shot(box, "box");
    EXPECT_EQ(driver_item_text(box, DRIVER_BOX_TEXT), text);
    EXPECT_EQ(driver_caption(box), caption) << text;
    EXPECT_STREQ(seen_icon, icon) << text;
    EXPECT_EQ(GetWindow(box, GW_OWNER), owner) << text;
    answered.push_back(box);
    ASSERT_TRUE(driver_press(box, button)) << driver_error();
}

void setup_run::expect_exit(DWORD timeout_ms) {
    DWORD code = 1;
    EXPECT_TRUE(driver_wait_exit(&process, timeout_ms, &code, 1)) << driver_error();
    EXPECT_EQ(code, 0u);
}

HWND setup_run::progress(HWND previous) {
    HWND shown = next(previous);
    answered.push_back(previous); /* it may linger while the next one shows */
    if (!shown)
        ADD_FAILURE() << "no progress dialog came";
    else if (!GetDlgItem(shown, IDC_PRG_FILE))
        ADD_FAILURE() << "a box instead of the progress dialog: "
                      << driver_item_text(shown, DRIVER_BOX_TEXT);
    else
        shot(shown, "progress");
    return shown;
}

void setup_run::expect_installation_ends() { expect_installation_ends(progress(dialog)); }

void setup_run::expect_installation_ends(HWND bar) {
    if (!bar || !GetDlgItem(bar, IDC_PRG_FILE)) return;
    DWORD start = GetTickCount();
    while (IsWindow(bar) && IsWindowVisible(bar) && GetTickCount() - start < DRIVER_WAIT_MS * 2) {
        if (HWND box = next(bar, 0)) {
            ADD_FAILURE() << "a box during the installation: "
                          << driver_item_text(box, DRIVER_BOX_TEXT);
            shot(box, "unexpected");
            return;
        }
        driver_pump(process.process, 20);
    }
    expect_exit();
}

void setup_run::cancel_dialog() {
    ASSERT_TRUE(driver_press(dialog, IDCANCEL)) << driver_error();
    answer(next(dialog), NOT_INSTALLED, CAPTION, "asterisk", nullptr);
    expect_exit();
}
