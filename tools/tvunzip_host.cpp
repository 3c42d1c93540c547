/*
 * tvunzip_host.cpp: tvunzip's owner window on the host platform: a simulated
 * window whose handler passes the engine's progress messages on, with the
 * engine's message boxes written to standard error.
 */
#include "tools/tvunzip.h"

#include "platform/host.h"

#include <unistd.h>

namespace {

plat_lparam owner_handler(plat_window w, int item, unsigned msg, plat_wparam wp, plat_lparam lp) {
    (void)w;
    return item == -1 ? tvunzip_progress(msg, wp, lp) : 0;
}

} /* namespace */

plat_window tvunzip_open_owner(void) {
    host_boxes_to_stderr(true);
    host_quiet(true); /* nothing reads the owner window's log */
    return host_create_window("tvunzip", owner_handler);
}

int tvunzip_stderr_is_terminal(void) { return isatty(2); }
