/*
 * driver.h: plays the user of SETUP.EXE from another process, under Wine.
 *
 * The scenario player and "tvdriver play" start SETUP.EXE, find its dialogs
 * and message boxes, read what they say and which icon they carry, type and
 * press buttons, and picture them; the scenario player also opens windows
 * that stand for a running product.  Every wait is bounded; a call that
 * gives up says in driver_error() what it was waiting for.
 */
#ifndef TARVEX_TESTS_DRIVER_H
#define TARVEX_TESTS_DRIVER_H

#include "platform/win32_native.h"

#include <string>
#include <vector>

enum {
    DRIVER_WAIT_MS = 15000,   /* default bound of every wait */
    DRIVER_POLL_MS = 20,      /* how often a wait looks again */
    DRIVER_BOX_TEXT = 0xFFFF, /* the text control of a message box */
    DRIVER_BOX_ICON = 1088,   /* the icon control of a message box (Wine) */
    DRIVER_BOX_ICON_NT = 20   /* the same on Windows */
};

struct driver_process { /* a program the driver started */
    HANDLE process;     /* its process handle, null when none */
    DWORD id;           /* its process id */
};

/* What the last call that failed could not do. */
const char *driver_error(void);

/* A top-level window of this class (registered here), not shown; others
   find it with FindWindowA.  With path, it keeps that file open for its own
   use only, as a loaded DLL is, until it receives release_message (0:
   never) or closes.  Null on failure. */
HWND driver_open_window(const char *class_name, const char *path = nullptr,
                        UINT release_message = 0);
/* Whether the window still keeps its file. */
int driver_holds(HWND holder);

/* Starts program (its path quoted on the command line) in its own
   directory. */
int driver_start(const char *program, driver_process *p);
/* Waits for the process to end and gives its exit code.  A dialog of the
   process not in known that shows meanwhile ends the wait as a failure. */
int driver_wait_exit(driver_process *p, DWORD timeout_ms, DWORD *exit_code,
                     const std::vector<HWND> &known);
/* Ends the process if it still runs and lets go of it. */
void driver_end(driver_process *p);
/* Serves this thread's messages while waiting for ms milliseconds or for
   the process to end, whichever comes first. */
void driver_pump(HANDLE process, DWORD ms);

/* The shown top-level windows of the process (only dialogs, "#32770", with
   dialogs_only), front to back. */
std::vector<HWND> driver_windows(DWORD process_id, bool dialogs_only);
/* A shown dialog of the process that is not in known, or null. */
HWND driver_new_dialog(DWORD process_id, const std::vector<HWND> &known);
std::string driver_caption(HWND window);
std::string driver_item_text(HWND dialog, int item);
/* The text of a control that keeps it to itself, such as an edit field,
   asked for with WM_GETTEXT (the process must be serving its messages). */
std::string driver_field_text(HWND dialog, int item);
/* Which standard icon the box shows ("hand", "asterisk", "question",
   "exclamation", "none" without an icon control, "other"), looking again
   for up to settle_ms while it shows none of them. */
const char *driver_box_icon(HWND box, DWORD settle_ms);
/* WM_SETTEXT to a control of the dialog. */
int driver_type(HWND dialog, int item, const char *text);
/* A click on a button of the dialog (WM_COMMAND BN_CLICKED, posted). */
int driver_press(HWND dialog, int item);
/* The part of the screen a window covers, as a 24-bit BMP file. */
int driver_picture(HWND window, const char *path);

#endif
