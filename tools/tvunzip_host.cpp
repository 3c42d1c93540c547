/*
 * tvunzip_host.cpp: tvunzip's owner window on the POSIX port: a console
 * window whose procedure passes the engine's progress messages on.
 */
#include "tools/tvunzip.h"

#include "platform/posix.h"

#include <unistd.h>

namespace {

plat_lparam owner_procedure(plat_window w, int item, unsigned msg, plat_wparam wp,
                            plat_lparam lp) {
    (void)w;
    return item == -1 ? tvunzip_progress(msg, wp, lp) : 0;
}

} /* namespace */

plat_window tvunzip_open_owner(void) { return posix_window(owner_procedure); }

int tvunzip_stderr_is_terminal(void) { return isatty(2); }
