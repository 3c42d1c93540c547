/*
 * host.h: the controls of the test simulator (sim_*.cpp), for the host
 * tests and fuzz targets only.
 *
 * The simulator is linked on top of the POSIX port (posix.h) and takes over
 * its desktop: a message box is recorded and answered from a script, a
 * window is a handle with a message handler of the test's own, and the
 * registry, the profiles, the module path and the clock come from the test.
 * It wraps the port's file and memory operations, so that every operation
 * of a kind that can fail can be made to fail on its Nth call, and tests
 * reach each failure path of the engine and the copy without a broken disk.
 */
#ifndef TARVEX_PLATFORM_HOST_H
#define TARVEX_PLATFORM_HOST_H

#include "platform/platform.h"

#include <string>
#include <vector>

/* Puts everything back as at program start: no boxes, answers, windows,
   values, strings of the test's, drive maps, creation times, faults, counts
   or held files; the real clock.  A window made before is gone. */
void host_reset(void);

/* Gives id this text in the string table from now on; null takes its text
   away.  host_reset restores the table as built. */
void host_set_string(unsigned id, const char *text);

/* ---- Message boxes ------------------------------------------------------- */
struct host_box {
    plat_window owner;    /* the owner passed, null for none */
    std::string text;     /* the text exactly as shown */
    bool default_caption; /* no caption given: the platform's own */
    std::string caption;  /* the caption, when one was given */
    unsigned style;       /* the MB_* style word */
};
const std::vector<host_box> &host_boxes(void);
void host_clear_boxes(void);
/* Queues the answer of the next box; without one a box answers IDOK, or
   IDNO for MB_YESNO. */
void host_answer_next_box(int answer);

/* ---- Windows ------------------------------------------------------------- */
typedef plat_lparam (*host_handler)(plat_window w, int item, unsigned msg, plat_wparam wp,
                                    plat_lparam lp);
struct host_message { /* one message a window received */
    int item;         /* the control it was sent to, -1 the window */
    unsigned msg;     /* the message number */
    plat_wparam wp;   /* its wParam */
    plat_lparam lp;   /* its lParam (pointers are not followed) */
};
/* Makes a window of a class; handler may be null (every message answers 0).
   The handler sees messages for the window (item -1) and for its controls. */
plat_window host_create_window(const char *class_name, host_handler handler);
void host_destroy_window(plat_window w);
const std::vector<host_message> &host_window_log(plat_window w);
std::string host_item_text(plat_window w, int item);
bool host_item_enabled(plat_window w, int item); /* true until disabled */
/* Called at every drain of the message queue, after the posted messages have
   been delivered; tests play the user from here (a click on Cancel). */
void host_on_drain(void (*hook)(void));
long long host_drain_count(void);

/* ---- Values the machine would hold --------------------------------------- */
void host_set_machine_value(const char *key, const char *value, const char *data);
/* file "win.ini" is the user's profile (GetProfileStringA). */
void host_set_profile(const char *file, const char *section, const char *key, const char *value);
std::string host_profile(const char *file, const char *section, const char *key);
bool host_profile_has(const char *file, const char *section, const char *key);
void host_set_module_path(const char *path);
/* A path that starts with "X:" is looked for under dir ('/' and '\' both
   separate); without a map the drive prefix is taken off. */
void host_map_drive(char letter, const char *dir);
/* From now on the clock advances by step ms at every read (0: real clock). */
void host_fake_clock(uint32_t start, uint32_t step);
/* WinExec: the command lines tried, and the result of each next call. */
const std::vector<std::string> &host_exec_log(void);
void host_exec_result_next(unsigned result);
int host_exit_windows_count(void);
/* Another process holds name, as plat_claim_instance sees it. */
void host_claim_elsewhere(const char *name);

/* Holds a file as another process would: opened with no sharing until
   released, so that _lopen with OF_SHARE_EXCLUSIVE and _lcreat fail. */
void host_hold_file(const char *path);
void host_release_files(void);
/* Number of files this process has open through plat_lopen / plat_lcreat. */
int host_open_files(void);
/* Number of blocks of plat_global_alloc and plat_malloc not yet freed. */
int host_live_blocks(void);

/* ---- Fault injection ----------------------------------------------------- */
enum host_fault_kind {
    FAULT_OPEN,         /* plat_lopen fails */
    FAULT_CREATE,       /* plat_lcreat fails */
    FAULT_READ_SHORT,   /* plat_lread returns half of what it could */
    FAULT_READ_ERROR,   /* plat_lread returns HFILE_ERROR */
    FAULT_WRITE_SHORT,  /* plat_lwrite stores half */
    FAULT_WRITE_ERROR,  /* plat_lwrite returns HFILE_ERROR */
    FAULT_SEEK,         /* plat_llseek returns HFILE_ERROR */
    FAULT_GLOBAL_ALLOC, /* plat_global_alloc returns null */
    FAULT_MALLOC,       /* plat_malloc returns null */
    FAULT_KINDS
};
/* The nth call (1 = the next one) of that kind from now fails; 0 disarms. */
void host_fail_call(host_fault_kind kind, long long nth);
/* Calls of that kind since host_reset (to walk n over every call). */
long long host_call_count(host_fault_kind kind);

#endif
