/*
 * restart_win32.cpp: the restart dialog (resource 200), offered when the
 * File Manager keeps the product's extension loaded.  Its result is the
 * button that ended it; a dialog that cannot be shown counts as Exit Setup.
 */
#include "platform/win32_native.h"

#include "common/state.h"
#include "progress/centre_win32.h"
#include "resources/dialog.h"
#include "setup/dialogs.h"

namespace {

INT_PTR CALLBACK restart_proc(HWND dialog, UINT msg, WPARAM wp, LPARAM lp) {
    (void)lp;
    if (msg == WM_INITDIALOG) {
        SetWindowTextA(dialog, setup.caption);
        centre_on_screen(dialog);
    } else if (msg == WM_COMMAND && (wp == IDC_OK || wp == IDC_CANCEL)) {
        EndDialog(dialog, INT_PTR(wp));
    }
    return FALSE;
}

} /* namespace */

int run_restart_dialog(void) {
    INT_PTR result = DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_RESTART),
                                     nullptr, restart_proc, 0);
    return result == IDC_OK ? IDC_OK : IDC_CANCEL;
}
