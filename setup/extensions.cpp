/*
 * extensions.cpp: the exclusive-open wait and the File Manager extension
 * unloading.
 *
 * The wait measures the time gone by since it started rather than comparing
 * the tick count with a deadline, so that the 49.7-day wrap of the tick count
 * can neither end a wait before its first attempt nor stretch it.
 */
#include "setup/extensions.h"

#include "setup/dialogs.h"

namespace {
const char WINFILE_INI[] = "winfile.ini";
const char ADDONS_SECTION[] = "AddOns";
const char PRODUCT_KEY[] = "Tarvex";
const char FILE_MANAGER_CLASS[] = "WFS_Frame";
enum { ADDON_PATH_SIZE = 260, RESTART_WINDOWS = 1 };
} /* namespace */

int exclusive_open_wait(const char *path, uint32_t timeout) {
    uint32_t start = plat_tick_count();
    while (uint32_t(plat_tick_count() - start) < timeout) {
        plat_drain_messages(0);
        plat_file f = plat_lopen(path, OF_READ | OF_SHARE_EXCLUSIVE);
        if (f != HFILE_ERROR) {
            plat_lclose(f);
            return WAIT_RELEASED;
        }
    }
    return WAIT_HELD;
}

int unload_file_manager_extension(void) {
    char dll[ADDON_PATH_SIZE];
    plat_get_private_profile_string(ADDONS_SECTION, PRODUCT_KEY, "", dll, sizeof dll, WINFILE_INI);
    if (!dll[0]) return 1;
    plat_window file_manager = plat_find_window(FILE_MANAGER_CLASS);
    if (!file_manager) return 1;
    /* Removed for good: once the File Manager restarts it no longer loads the
       extension, and the next run of setup passes. */
    plat_write_private_profile_string(ADDONS_SECTION, PRODUCT_KEY, nullptr, WINFILE_INI);
    plat_post_message(file_manager, FM_RELOAD_EXTENSIONS, 0, 0);
    if (exclusive_open_wait(dll, FM_RELEASE_TIMEOUT) == WAIT_RELEASED) return 1;
    if (run_restart_dialog() == RESTART_WINDOWS) plat_exit_windows();
    return 0;
}
