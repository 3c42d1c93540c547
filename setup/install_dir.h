/*
 * install_dir.h: the rules behind the install directory dialog's OK button,
 * which turn the text the user typed into the target directory, check that
 * the installation files are complete, enter or create the directory and
 * wait for the product's shell extension there to be released.
 *
 * Everything here is portable and works on a dialog handle through the
 * platform layer; the dialog procedure itself (install_dir_win32.cpp) only
 * dispatches to it.
 */
#ifndef TARVEX_SETUP_INSTALL_DIR_H
#define TARVEX_SETUP_INSTALL_DIR_H

#include "platform/platform.h"

#include <cstddef>

enum {
    DIR_FIELD_SIZE = 66,        /* the edit field as read: 65 characters */
    DIR_FIELD_LIMIT = 65,       /* what the user may type */
    WAIT_TEXT_SIZE = 256,       /* text 1029, and line 107 with its dots */
    SHELL_EXT_FIRST_WAIT = 500, /* ms before the user is told of the wait */
    SHELL_EXT_WAIT = 1000,      /* ms of each further wait */
    SHELL_EXT_WAITS = 12        /* further waits, one dot each */
};

/* True only while the shell extension wait runs: the dialog shows the wait
   cursor then. */
extern int wait_cursor_flag;

/* Whether the text has the form of a directory setup can install into: a
   network path (two backslashes or two slashes) or a drive (colon second). */
int directory_form_ok(const char *text);

/* Makes a bare drive its root and takes one trailing backslash off any other
   text, in place; text must have room for one more character. */
void normalise_directory(char *text, size_t size);

/* Appends a backslash unless path already ends in a separator; a path that
   would not fit is left as it is. */
void append_separator(char *path, size_t size);

/* Sets the target directory and the target prefix from a normalised text. */
void set_target(const char *dir);

/* Whether the target prefix names the source directory: compared without
   regard to case, '/' and '\' counting as the same separator. */
int target_is_source(void);

/* The OK button: runs every check and preparation in order.  Returns 1 when
   the dialog is to end with 1, 0 when it stays open for another attempt. */
int install_dir_ok(plat_window dialog);

/* The shell extension wait: returns when "tvshlext.dll" in the target
   directory has been released, is absent, or has been waited for long
   enough, telling the user about the wait in the dialog's two lines. */
void wait_for_shell_extension(plat_window dialog);

#endif
