/*
 * e2e.h: what the end-to-end tests share: source disks laid out on drive C:
 * from the sample disk, the archive's members as setup meets them, the
 * installed tree compared with the disk, and one run of SETUP.EXE watched
 * from its first dialog to its exit, with a picture of every dialog and box
 * it showed kept among the build's artifacts.
 */
#ifndef TARVEX_TESTS_E2E_H
#define TARVEX_TESTS_E2E_H

#include "tools/driver/driver.h"

#include <string>
#include <vector>

extern const char *const LOOSE[];  /* the seven loose files, in copy order; null ends */
extern const char NOT_INSTALLED[]; /* message 1006 */
extern const char CAPTION[];       /* the caption text */

enum {
    IDC_DIR_EDIT = 101,  /* install directory dialog: the directory field */
    IDC_DIR_TEXT1 = 106, /* its upper text */
    IDC_DIR_TEXT2 = 107, /* its lower text */
    IDC_PRG_FILE = 104,  /* progress dialog: the file line */
    FM_RELOAD_EXTENSIONS = 0x400 + 0x207
};

struct zip_member {    /* a local header of "setup.tv" */
    std::string name;  /* as stored */
    unsigned dos_time; /* modification time, DOS form */
    unsigned dos_date; /* modification date, DOS form */
    size_t crc_at;     /* offset of its CRC-32 in the archive */
};

std::string read_file(const std::string &path);
bool write_file(const std::string &path, const std::string &data);
bool exists(const std::string &path);
/* The members of an archive, front to back. */
std::vector<zip_member> zip_members(const std::string &archive);

/* Copies a disk (the sample disk when null) to C:\name\, times kept, and
   returns that directory with its backslash; SETUP.EXE lies in it. */
std::string prepare_disk(const char *name, const char *disk = nullptr);
/* Gives path the last-write time of the disk's SETUP.EXE, moved by seconds. */
bool stamp_like_setup(const std::string &source_dir, const std::string &path, int seconds);

/* Every file of the installation in target (its prefix) compared with the
   disk it came from: bytes, the loose files' three times, the members'
   last-write times; only the first members_up_to members are looked at. */
void expect_installed(const std::string &target, const std::string &source_dir,
                      size_t members_up_to = size_t(-1));
/* The record the started product left in target, waited for briefly. */
std::string started_record(const std::string &target);

/* One run of SETUP.EXE from a source directory. */
struct setup_run {
    driver_process process = {nullptr, 0};
    HWND dialog = nullptr; /* the install directory dialog, once it is up */
    int shots = 0;         /* pictures kept so far */

    ~setup_run() { driver_end(&process); }
    /* Starts SETUP.EXE in source_dir and waits for its first dialog. */
    HWND start(const std::string &source_dir, const char *what = "the install directory dialog");
    /* Waits for a dialog other than previous. */
    HWND next(HWND previous, DWORD timeout_ms = DRIVER_WAIT_MS);
    /* Keeps a picture of the window among the artifacts. */
    void shot(HWND window, const char *what);
    /* Types into the directory field and presses OK. */
    void enter(const char *directory);
    /* Checks what a box shows and answers it with button; owner null means
       it has none. */
    void answer(HWND box, const std::string &text, const char *caption, const char *icon,
                HWND owner, int button = IDOK);
    /* Waits for the progress dialog (or any dialog other than previous). */
    HWND progress(HWND previous);
    /* Waits through the progress dialog to the end, with no box meanwhile. */
    void expect_installation_ends();
    void expect_installation_ends(HWND bar);
    /* Waits for the end with no dialog meanwhile; expects exit code 0. */
    void expect_exit(DWORD timeout_ms = DRIVER_WAIT_MS);
    /* Cancels the install directory dialog and answers message 1006. */
    void cancel_dialog();
};

#endif
