/*
 * progress.h: what the rest of the program knows of the progress display:
 * the Meter's and the progress dialog's private messages, the cancel flag and
 * the copy byte counter, and the few sends through which the file copy and
 * the setup driver address the dialog, so that no caller spells out a
 * control id of its own.
 *
 * The dialog procedure and the Meter's painting are Win32 code
 * (dialog_win32.cpp, meter_win32.cpp); everything here is portable.
 */
#ifndef TARVEX_PROGRESS_PROGRESS_H
#define TARVEX_PROGRESS_PROGRESS_H

#include "platform/platform.h"

enum {
    MTR_SETRANGE = 0x400, /* wParam: the new range */
    MTR_GETRANGE = 0x401, /* result: the range, low 16 bits */
    MTR_SETPOS = 0x402,   /* wParam: the new position */
    MTR_GETPOS = 0x403,   /* result: the position, low 16 bits */
    PRG_SHOWFILE = 1302,  /* lParam: the name for the file line */
    PRG_ADVANCE = 1304    /* wParam: units of 10240 bytes; result: cancel flag */
};

enum { PROGRESS_UNIT = 10240 }; /* bytes per unit of the bar */

extern int cancel_flag;            /* 1 once the user confirmed Cancel; never reset */
extern uint32_t copy_byte_counter; /* bytes the file copy has written, all files */

/* Sets the bar of the dialog (its Meter) to a position or a range. */
void progress_set_pos(plat_window dialog, uint32_t position);
void progress_set_range(plat_window dialog, uint32_t range);
/* Sets the title line or the file line of the dialog. */
void progress_set_title(plat_window dialog, const char *text);
void progress_set_file(plat_window dialog, const char *text);

#endif
