/*
 * driver.h: plays the user of SETUP.EXE from another process, under Wine.
 *
 * The end-to-end tests and the demonstration script prepare the machine (a
 * product window open, profile entries, registry values), start SETUP.EXE,
 * wait for its dialogs and message boxes, read what they say and which icon
 * they carry, type and press buttons, take screenshots, and collect the exit
 * code.  Every wait is bounded; a call that gives up says in driver_error()
 * what it was waiting for.
 */
#ifndef TARVEX_TESTS_DRIVER_H
#define TARVEX_TESTS_DRIVER_H

#include "platform/win32_native.h"

#include <string>

enum {
    DRIVER_WAIT_MS = 15000,   /* default bound of every wait */
    DRIVER_BOX_TEXT = 0xFFFF, /* the text control of a message box */
    DRIVER_BOX_ICON = 1088,   /* the icon control of a message box (Wine) */
    DRIVER_BOX_ICON_NT = 20   /* the same on Windows */
};

/* What a message box's icon control shows. */
enum driver_icon {
    DRIVER_ICON_NONE,        /* no icon control */
    DRIVER_ICON_HAND,        /* MB_ICONERROR */
    DRIVER_ICON_ASTERISK,    /* MB_ICONINFORMATION */
    DRIVER_ICON_QUESTION,    /* MB_ICONQUESTION */
    DRIVER_ICON_EXCLAMATION, /* MB_ICONWARNING */
    DRIVER_ICON_OTHER        /* an icon, but none of those */
};

struct driver_process { /* a program the driver started */
    HANDLE process;     /* its process handle, null when none */
    DWORD id;           /* its process id */
};

/* What the last call that failed could not do. */
const char *driver_error(void);

/* ---- Windows of our own -------------------------------------------------- */
/* A top-level window of this class (registered here), not shown; others find
   it with FindWindowA.  Null on failure. */
HWND driver_open_window(const char *class_name);
void driver_close_window(HWND window);
/* A window of the class that keeps path open for its own use only, as a
   loaded DLL is, until it receives release_message (0: never) or closes. */
HWND driver_open_holder(const char *class_name, const char *path, UINT release_message);
/* Whether the holder still keeps its file. */
int driver_holds(HWND holder);

/* ---- The machine's settings ---------------------------------------------- */
/* win.ini [extensions] key = value; a null value removes the key. */
int driver_set_extension(const char *key, const char *value);
/* winfile.ini [section] key = value in the Windows directory; null removes. */
int driver_set_winfile(const char *section, const char *key, const char *value);
/* root\key (HKEY_LOCAL_MACHINE or HKEY_CURRENT_USER), value name = data
   (REG_SZ); null data removes. */
int driver_set_value(HKEY root, const char *key, const char *name, const char *data);

/* ---- Processes ------------------------------------------------------------ */
/* Starts program (its path quoted on the command line) in directory, or in
   the program's own directory when directory is null. */
int driver_start(const char *program, const char *directory, driver_process *p);
/* Waits for the process to end and gives its exit code.  With watch set, a
   dialog of the process that shows meanwhile ends the wait as a failure (one
   already shown when the wait begins, such as a box just answered that is
   still going, does not). */
int driver_wait_exit(driver_process *p, DWORD timeout_ms, DWORD *exit_code, int watch);
/* Ends the process if it still runs and lets go of it. */
void driver_end(driver_process *p);
/* Serves this thread's messages while waiting for ms milliseconds or for
   the process to end, whichever comes first. */
void driver_pump(HANDLE process, DWORD ms);

/* ---- Dialogs and message boxes -------------------------------------------- */
/* A shown dialog ("#32770") of the process, or null. */
HWND driver_find_dialog(DWORD process_id);
/* Waits for one; what names it in the failure message. */
HWND driver_wait_dialog(DWORD process_id, DWORD timeout_ms, const char *what);
/* Number of shown top-level windows of the process. */
int driver_count_windows(DWORD process_id);
std::string driver_caption(HWND window);
std::string driver_item_text(HWND dialog, int item);
/* The text of a control that keeps it to itself, such as an edit field,
   asked for with WM_GETTEXT (the process must be serving its messages). */
std::string driver_field_text(HWND dialog, int item);
/* Which standard icon the box shows, by comparing its pixels with each,
   looking again for up to settle_ms while it shows none of them. */
driver_icon driver_box_icon(HWND box, DWORD settle_ms = DRIVER_WAIT_MS / 5);
const char *driver_icon_name(driver_icon icon);
/* WM_SETTEXT to a control of the dialog. */
int driver_type(HWND dialog, int item, const char *text);
/* A click on a button of the dialog (WM_COMMAND BN_CLICKED, posted). */
int driver_press(HWND dialog, int item);
/* Closes dialogs of the process as a user leaving would (OK on a message box,
   Cancel elsewhere) until it ends; every text met is added to seen. */
int driver_dismiss_until_exit(driver_process *p, DWORD timeout_ms, DWORD *exit_code,
                              std::string *seen);

/* ---- Screen --------------------------------------------------------------- */
/* The whole virtual screen as a 24-bit BMP file. */
int driver_screenshot(const char *path);
/* The part of the screen a window covers, as a 24-bit BMP file. */
int driver_screenshot_window(HWND window, const char *path);

#endif
