/*
 * state.cpp: the setup state, which the setup sequence fills and every
 * subsystem reads, the file probe that records its match there, and the two
 * titles that every box and the progress dialog are shown under.
 */
#include "common/state.h"

#include "common/messages.h"

setup_state setup = {"", "", "", {0, 0}, {}, "C:\\Tarvex", "", "", 0, nullptr};

int file_probe(const char *path) {
    plat_find_data found;
    if (!plat_find_first(path, &found)) return 0;
    setup.find = found;
    return 1;
}

void load_titles(void) {
    plat_load_string(MSG_CAPTION, setup.caption, TITLE_SIZE);
    plat_load_string(MSG_PROGRESS_TITLE, setup.progress_title, TITLE_SIZE);
}
