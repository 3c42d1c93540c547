/*
 * progress_phase_win32.cpp: the window side of the progress phase, which
 * registers the Meter class and creates, shows and takes down the modeless
 * progress dialog (resource 300) around the copy and the extraction.
 */
#include "platform/win32_native.h"

#include "progress/progress_win32.h"
#include "setup/dialogs.h"

void register_meter(void) { register_meter_class(GetModuleHandleA(nullptr)); }

plat_window open_progress_dialog(void) {
    HWND dialog = create_progress_dialog(GetModuleHandleA(nullptr));
    if (!dialog) return nullptr;
    /* Showing resets the dialog's lines and bar; painting at once puts it
       on screen before the first file is opened. */
    ShowWindow(dialog, SW_SHOW);
    UpdateWindow(dialog);
    return dialog;
}

void close_progress_dialog(plat_window dialog) {
    if (!dialog) return;
    HWND window = static_cast<HWND>(dialog);
    ShowWindow(window, SW_HIDE);
    DestroyWindow(window);
}
