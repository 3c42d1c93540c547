/*
 * state.h: the setup state, the handful of process-wide values that the
 * setup sequence writes and the other subsystems read, the file probe that
 * fills it, and the titles that every box is shown under.  The steps that
 * work out the directories are setup's own (setup/startup.h).
 */
#ifndef TARVEX_COMMON_STATE_H
#define TARVEX_COMMON_STATE_H

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

/* Loads the caption text and the progress title text (step 1). */
void load_titles(void);

#endif
