/*
 * dispatch_win32.h: the one shape of the program's dialog procedures (the
 * install directory, restart and progress dialogs): a table of the messages
 * the dialog handles, each with its handler, which the procedure only walks.
 */
#ifndef TARVEX_PROGRESS_DISPATCH_WIN32_H
#define TARVEX_PROGRESS_DISPATCH_WIN32_H

#include "platform/win32_native.h"

struct dialog_handler {
    UINT message;                                          /* the message handled */
    INT_PTR (*handler)(HWND dialog, WPARAM wp, LPARAM lp); /* what handles it; null ends the table */
};

/* Runs the handler of message in table; FALSE, as for any message a dialog
   leaves to the dialog manager, where the table has none. */
inline INT_PTR dispatch_dialog(const dialog_handler *table, HWND dialog, UINT message, WPARAM wp,
                               LPARAM lp) {
    for (; table->handler; table++)
        if (table->message == message) return table->handler(dialog, wp, lp);
    return FALSE;
}

#endif
