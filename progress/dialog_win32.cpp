/*
 * dialog_win32.cpp: the progress dialog (resource 300), the one window the
 * user sees while the loose files are copied and the archive is extracted,
 * and the place where the user's Cancel becomes the cancel flag.
 *
 * The dialog is modeless and runs only inside the working code's message
 * pumps and sends, on the one thread.  The extraction engine talks to it with
 * PRG_SHOWFILE and PRG_ADVANCE; the answer to PRG_ADVANCE is the cancel flag,
 * which a dialog procedure can only hand back through the dialog's result
 * slot, so every handler with a result puts it there.
 *
 * Once the user has confirmed the cancellation, nothing asks again: the
 * Cancel button stays disabled, and the other ways to the same command (the
 * system menu's Close, command 1) are ignored, because a No at that point
 * would not undo the cancellation the user was being asked about.
 */
#include "progress/progress_win32.h"

#include "common/messages.h"
#include "common/state.h"
#include "progress/centre_win32.h"
#include "progress/dispatch_win32.h"
#include "progress/progress.h"
#include "resources/dialog.h"

namespace {

/* Hands result to whoever sent the message being handled. */
INT_PTR progress_result(HWND dialog, LRESULT result) {
    SetWindowLongPtrA(dialog, DWLP_MSGRESULT, result);
    return TRUE;
}

void progress_enable_cancel(HWND dialog, int enable) {
    EnableWindow(GetDlgItem(dialog, IDC_CANCEL), enable);
}

INT_PTR progress_init(HWND dialog, WPARAM, LPARAM) {
    SetWindowTextA(dialog, setup.caption);
    centre_on_screen(dialog);
    return TRUE; /* the dialog manager sets the first focus */
}

/* Each showing starts from an empty dialog and an unset bar (0%).  The
   cancel flag stays as it is, and with it a disabled Cancel button. */
INT_PTR progress_show(HWND dialog, WPARAM showing, LPARAM) {
    if (!showing) return FALSE;
    progress_enable_cancel(dialog, !cancel_flag);
    progress_set_title(dialog, "");
    progress_set_file(dialog, "");
    progress_set_pos(dialog, 0);
    progress_set_range(dialog, 0);
    return FALSE;
}

/* OK and Cancel, whether a button, a key or the system menu's Close sent
   them, ask the user to confirm; only the plain commands count, not a
   notification that happens to carry their id. */
INT_PTR progress_command(HWND dialog, WPARAM command, LPARAM) {
    if (command != IDC_OK && command != IDC_CANCEL) return FALSE;
    if (cancel_flag) return progress_result(dialog, 1);
    if (setup_message_box(dialog, MSG_CONFIRM_CANCEL, MB_YESNO | MB_ICONQUESTION) == IDYES) {
        progress_enable_cancel(dialog, 0);
        cancel_flag = 1;
    }
    return progress_result(dialog, 1);
}

/* The file line copies the text, so the sender's buffer may go at once. */
INT_PTR progress_show_file(HWND dialog, WPARAM, LPARAM text) {
    progress_set_file(dialog, reinterpret_cast<const char *>(text));
    return progress_result(dialog, 1);
}

/* The engine's share in units, after the share of the loose files copied
   before it; the answer tells the engine whether to stop. */
INT_PTR progress_advance(HWND dialog, WPARAM units, LPARAM) {
    progress_set_pos(dialog, uint32_t(units) + copy_byte_counter / PROGRESS_UNIT);
    UpdateWindow(GetDlgItem(dialog, IDC_PRG_METER));
    return progress_result(dialog, cancel_flag);
}

/* clang-format off */
const dialog_handler PROGRESS_HANDLERS[] = {
    {WM_INITDIALOG, progress_init},
    {WM_SHOWWINDOW, progress_show},
    {WM_COMMAND,    progress_command},
    {PRG_SHOWFILE,  progress_show_file},
    {PRG_ADVANCE,   progress_advance},
    {0,             nullptr}
};
/* clang-format on */

INT_PTR CALLBACK progress_procedure(HWND dialog, UINT message, WPARAM wp, LPARAM lp) {
    return dispatch_dialog(PROGRESS_HANDLERS, dialog, message, wp, lp);
}

} /* namespace */

HWND create_progress_dialog(HINSTANCE instance) {
    return CreateDialogParamA(instance, MAKEINTRESOURCEA(IDD_PROGRESS), nullptr, progress_procedure,
                              0);
}
