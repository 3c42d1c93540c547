/*
 * dialogs.h: the steps of setup that need the platform's dialog manager.
 *
 * SETUP.EXE implements them with dialog resources and dialog procedures
 * (install_dir_win32.cpp, restart_win32.cpp, progress_phase_win32.cpp); the
 * host tests link small stand-ins of their own instead, so that the order of
 * the steps around them can be run without a screen.
 */
#ifndef TARVEX_SETUP_DIALOGS_H
#define TARVEX_SETUP_DIALOGS_H

#include "platform/platform.h"

/* Runs the install directory dialog (resource 100) modally without owner:
   1 when the user's directory was accepted, 0 when cancelled. */
int run_install_dir_dialog(void);

/* Runs the restart dialog (resource 200) modally without owner: the id of
   the button that ended it, 1 Restart Windows or 2 Exit Setup. */
int run_restart_dialog(void);

/* Creates the progress dialog (resource 300) without owner, shows it and
   paints it at once; null when it cannot be created. */
plat_window open_progress_dialog(void);

/* Hides and destroys the progress dialog. */
void close_progress_dialog(plat_window dialog);

/* Registers the window class of the progress bar. */
void register_meter(void);

#endif
