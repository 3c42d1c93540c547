/*
 * distfiles.h: the loose files of the installation (everything besides the
 * archive setup.tv), the pass that checks and sizes them or copies them, and
 * the copy of one file with the progress bar.
 *
 * The pass runs twice: from the install directory dialog to check that every
 * file is present, carries the time stamp of SETUP.EXE and to add up the
 * sizes; and under the progress dialog to check each file again and copy it
 * into the target directory.
 */
#ifndef TARVEX_DISTFILES_DISTFILES_H
#define TARVEX_DISTFILES_DISTFILES_H

#include "platform/platform.h"

struct dist_file {
    const char *name;        /* the name in the source directory; null ends the list */
    unsigned char last_char; /* replaces the target name's last character; 0 keeps it */
};

extern const dist_file dist_files[]; /* the loose files, in copying order */

enum {
    DIST_CHECK = 0, /* pass mode: check presence and time stamp, add sizes */
    DIST_COPY = 1   /* pass mode: check again and copy */
};

enum {
    DIST_PATH_SIZE = 68,      /* source path, target name and target path buffers */
    COPY_BUFFER_SIZE = 15360, /* one chunk of the copy */
    SZDD_HEADER_SIZE = 14     /* the part of a compressed file's header that is read */
};

/* Results of one copy; the failure codes are string ids. */
enum {
    COPY_OK = 0,               /* copied, or stopped early by the cancel flag */
    COPY_CANNOT_OPEN = 1017,   /* the source cannot be opened or no buffer can be had */
    COPY_CANNOT_CREATE = 1018, /* the target cannot be created */
    COPY_WRITE_ERROR = 1019,   /* a write stored fewer bytes than were read */
    COPY_READ_ERROR = 1020     /* a read of the source failed: "Error reading %s" */
};

/* The copy byte counter as it was when the bar was last moved; shared by all
   files and never reset. */
extern uint32_t last_bar_update;

/* Walks the list in mode DIST_CHECK or DIST_COPY; boxes belong to owner.
   Returns 1 when every file passed, 0 when the pass stopped: after a message
   shown to the user, or silently for a cancellation. */
int distribution_pass(plat_window owner, int mode);

/* The size that the file at path will have once installed: the expanded size
   that a compressed-file header announces, or fallback. */
uint32_t expanded_size(const char *path, uint32_t fallback);

/* Copies source_path into the target directory under the name of record
   index, moving the bar of the progress dialog.  Returns 1 when copied (or
   stopped by a cancellation), 0 after a failure has been shown. */
int copy_file(const char *source_path, int index);

#endif
