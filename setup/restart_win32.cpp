/*
 * restart_win32.cpp: the restart dialog (resource 200), offered when the
 * File Manager keeps the product's extension loaded.  Its result is the
 * button that ended it; a dialog that cannot be shown counts as Exit Setup.
 */
#include "platform/win32_native.h"

#include "common/state.h"
#include "progress/centre_win32.h"
#include "progress/dispatch_win32.h"
#include "resources/dialog.h"
#include "setup/dialogs.h"

namespace {

INT_PTR restart_init(HWND dialog, WPARAM, LPARAM) {
    SetWindowTextA(dialog, setup.caption);
    centre_on_screen(dialog);
    return FALSE;
}

/* Restart Windows and Exit Setup end the dialog with their own id. */
INT_PTR restart_command(HWND dialog, WPARAM wp, LPARAM) {
    if (wp == IDC_OK || wp == IDC_CANCEL) EndDialog(dialog, INT_PTR(wp));
    return FALSE;
}

/* clang-format off */
const dialog_handler RESTART_HANDLERS[] = {
    {WM_INITDIALOG, restart_init},
    {WM_COMMAND,    restart_command},
    {0,             nullptr}
};
/* clang-format on */

INT_PTR CALLBACK restart_proc(HWND dialog, UINT msg, WPARAM wp, LPARAM lp) {
    return dispatch_dialog(RESTART_HANDLERS, dialog, msg, wp, lp);
}

} /* namespace */

int run_restart_dialog(void) {
    INT_PTR result = DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_RESTART),
                                     nullptr, restart_proc, 0);
    return result == IDC_OK ? IDC_OK : IDC_CANCEL;
}
