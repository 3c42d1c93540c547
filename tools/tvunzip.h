/*
 * tvunzip.h: what the command-line extractor needs from the platform it runs
 * on: an owner window for the engine whose messages reach tvunzip_progress,
 * and whether standard error is a terminal.  tvunzip_host.cpp gives them on
 * the host platform, tvunzip_win32.cpp under Windows.
 */
#ifndef TARVEX_TOOLS_TVUNZIP_H
#define TARVEX_TOOLS_TVUNZIP_H

#include "platform/platform.h"

/* Serves the engine's PRG_SHOWFILE and PRG_ADVANCE; the reply to PRG_ADVANCE
   is the cancel flag. */
plat_lparam tvunzip_progress(unsigned msg, plat_wparam wp, plat_lparam lp);

/* Makes the owner window of the run, which no box is shown over. */
plat_window tvunzip_open_owner(void);

int tvunzip_stderr_is_terminal(void);

#endif
