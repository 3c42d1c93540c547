/*
 * extensions.h: getting the product's DLLs released before setup replaces
 * any file.  The exclusive-open wait is the one way setup tells whether a DLL
 * is still loaded anywhere; the File Manager extension unloading asks the File
 * Manager to drop the product's extension and, when it cannot be freed, offers
 * to log the user off.
 */
#ifndef TARVEX_SETUP_EXTENSIONS_H
#define TARVEX_SETUP_EXTENSIONS_H

#include "platform/platform.h"

enum {
    WAIT_HELD = 0,    /* the time-out passed first */
    WAIT_RELEASED = 1 /* the file could be opened for exclusive use */
};

enum {
    FM_RELOAD_EXTENSIONS = WM_USER + 0x207, /* the File Manager re-reads "AddOns" */
    FM_RELEASE_TIMEOUT = 2000               /* ms the File Manager gets to unload */
};

/* Polls, draining the message queue before every attempt, until path can be
   opened for exclusive use (WAIT_RELEASED) or timeout ms have gone by
   (WAIT_HELD).  A time-out of 0 returns WAIT_HELD without an attempt. */
int exclusive_open_wait(const char *path, uint32_t timeout);

/* Has the File Manager unload the product's extension.  Returns 1 to go on,
   0 when setup must stop (the restart dialog has been shown). */
int unload_file_manager_extension(void);

#endif
