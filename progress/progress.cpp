/*
 * progress.cpp: the cancel flag, the copy byte counter and the sends to the
 * progress dialog's controls.
 */
#include "progress/progress.h"

#include "resources/dialog.h"

int cancel_flag;
uint32_t copy_byte_counter;

void progress_set_pos(plat_window dialog, uint32_t position) {
    plat_send_item_message(dialog, IDC_PRG_METER, MTR_SETPOS, position, 0);
}

void progress_set_range(plat_window dialog, uint32_t range) {
    plat_send_item_message(dialog, IDC_PRG_METER, MTR_SETRANGE, range, 0);
}

void progress_set_title(plat_window dialog, const char *text) {
    plat_set_item_text(dialog, IDC_PRG_TITLE, text);
}

void progress_set_file(plat_window dialog, const char *text) {
    plat_set_item_text(dialog, IDC_PRG_FILE, text);
}
