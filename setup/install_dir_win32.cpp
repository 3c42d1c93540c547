/*
 * install_dir_win32.cpp: the install directory dialog (resource 100) as the
 * platform's dialog manager runs it.  The procedure only dispatches: what the
 * OK button does is the portable install_dir_ok.
 */
#include "platform/win32_native.h"

#include "common/state.h"
#include "progress/centre_win32.h"
#include "progress/dispatch_win32.h"
#include "resources/dialog.h"
#include "setup/dialogs.h"
#include "setup/install_dir.h"

namespace {

HCURSOR wait_cursor; /* IDC_WAIT, shown while the shell extension wait runs */
int ok_running;      /* the OK handler is active: a second OK is not started */

INT_PTR on_init_dialog(HWND dialog, WPARAM, LPARAM) {
    wait_cursor = LoadCursorA(nullptr, IDC_WAIT);
    SetWindowTextA(dialog, setup.caption);
    centre_on_screen(dialog);
    SetDlgItemTextA(dialog, IDC_DIR_EDIT, setup.default_dir);
    SendDlgItemMessageA(dialog, IDC_DIR_EDIT, EM_LIMITTEXT, DIR_FIELD_LIMIT, 0);
    return TRUE;
}

/* Only while waiting does the dialog choose the cursor; otherwise each
   control keeps its own (the edit field its text cursor). */
INT_PTR on_set_cursor(HWND, WPARAM, LPARAM) {
    if (!wait_cursor_flag) return FALSE;
    SetCursor(wait_cursor);
    return TRUE;
}

/* OK may be pressed again while a box without owner is open; that press is
   ignored rather than running the checks inside themselves. */
void on_ok(HWND dialog) {
    if (ok_running) return;
    ok_running = 1;
    int accepted = install_dir_ok(dialog);
    ok_running = 0;
    if (accepted) EndDialog(dialog, 1);
}

/* Cancel, Escape and Close end the dialog unless the OK handler has locked
   its controls for the shell extension wait. */
void on_cancel(HWND dialog) {
    if (IsWindowEnabled(GetDlgItem(dialog, IDC_CANCEL))) EndDialog(dialog, 0);
}

void on_field_changed(HWND dialog) {
    LRESULT length = SendDlgItemMessageA(dialog, IDC_DIR_EDIT, EM_LINELENGTH, 0, 0);
    EnableWindow(GetDlgItem(dialog, IDC_OK), length > 0);
}

INT_PTR on_command(HWND dialog, WPARAM wp, LPARAM) {
    switch (LOWORD(wp)) {
    case IDC_OK:
        on_ok(dialog);
        return FALSE;
    case IDC_CANCEL:
        on_cancel(dialog);
        return TRUE;
    case IDC_DIR_EDIT:
        on_field_changed(dialog);
        return TRUE;
    default:
        return TRUE;
    }
}

/* clang-format off */
const dialog_handler INSTALL_DIR_HANDLERS[] = {
    {WM_INITDIALOG, on_init_dialog},
    {WM_SETCURSOR,  on_set_cursor},
    {WM_COMMAND,    on_command},
    {0,             nullptr}
};
/* clang-format on */

INT_PTR CALLBACK install_dir_proc(HWND dialog, UINT msg, WPARAM wp, LPARAM lp) {
    return dispatch_dialog(INSTALL_DIR_HANDLERS, dialog, msg, wp, lp);
}

} /* namespace */

int run_install_dir_dialog(void) {
    INT_PTR result = DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_INSTALL_DIR),
                                     nullptr, install_dir_proc, 0);
    return result == 1;
}
