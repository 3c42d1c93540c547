/*
 * progress_win32.h: the Win32 side of the progress display, for the process
 * entry and the setup driver: the registration of the Meter class and the
 * creation of the progress dialog (resource 300), which holds one Meter.
 */
#ifndef TARVEX_PROGRESS_PROGRESS_WIN32_H
#define TARVEX_PROGRESS_PROGRESS_WIN32_H

#include "platform/win32_native.h"

/* Registers the Meter window class with the program's instance.  Done once,
   before any dialog that holds a Meter is created; the result is not
   checked, as a failure shows itself when the dialog cannot be made. */
void register_meter_class(HINSTANCE instance);

/* Creates the progress dialog, hidden and without owner.  Showing it resets
   its lines, its bar and its Cancel button; null when it cannot be made. */
HWND create_progress_dialog(HINSTANCE instance);

#endif
