/*
 * state.h: the setup state, the handful of process-wide values that the
 * setup sequence writes and the other subsystems read, and the two path
 * operations that fill it: the file probe and the long-name form.
 */
#ifndef TARVEX_SETUP_STATE_H
#define TARVEX_SETUP_STATE_H

#include "platform/platform.h"

/* Capacities, terminator included. */
enum {
    TITLE_SIZE = 29,         /* caption text and progress title text */
    SOURCE_DIR_SIZE = 66,    /* source directory: 65 characters */
    DEFAULT_DIR_SIZE = 104,  /* default directory: 103 characters */
    TARGET_DIR_SIZE = 66,    /* target directory: 65 characters */
    TARGET_PREFIX_SIZE = 67, /* target prefix: 66 characters */
    LONG_NAME_CAPACITY = 261 /* what the long-name form may produce */
};

struct setup_state {
    char caption[TITLE_SIZE];               /* string 1021, every title and caption */
    char progress_title[TITLE_SIZE];        /* string 1026, the progress title line */
    char source_dir[SOURCE_DIR_SIZE];       /* where SETUP.EXE lies; ends in '\' */
    plat_filetime reference_time;           /* last-write time of SETUP.EXE */
    plat_find_data find;                    /* what the latest file probe found */
    char default_dir[DEFAULT_DIR_SIZE];     /* proposal for the install directory */
    char target_dir[TARGET_DIR_SIZE];       /* the accepted install directory */
    char target_prefix[TARGET_PREFIX_SIZE]; /* target_dir with a trailing separator */
    uint32_t size_total;                    /* bytes while summed, then kilobytes */
    plat_window progress_dialog;            /* dialog 300 while it exists */
};

extern setup_state setup;

/* Looks path up and, when found, copies the match into setup.find.  Returns 1
   when found; a failed probe leaves setup.find as it was. */
int file_probe(const char *path);

/* Rewrites path so that every component carries the name the file system
   stores for it.  Writes at most capacity characters and a terminator into
   out (which must hold capacity + 1) and returns the length, or -1 when a
   component cannot be found or the result would not fit. */
int long_name_form(const char *path, char *out, int capacity);

/* Loads the caption text and the progress title text (step 1). */
void load_titles(void);

/* Takes the source directory and the reference time from the program's own
   path (step 4). */
void find_source_directory(void);

/* Works out the default directory from the built-in value, the program files
   directory and the zip association (step 5). */
void choose_default_directory(void);

/* Whether a main window of the product is open (step 2). */
int product_is_running(void);

#endif
