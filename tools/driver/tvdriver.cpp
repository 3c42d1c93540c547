/*
 * tvdriver.cpp: "scenario", which plays a scenario file (the end-to-end
 * tests and the main job's installation are such files), and "play", which
 * follows SETUP.EXE while the user at the display clicks through it,
 * picturing every dialog met, for the main job on the user's display.
 */
#include "tools/driver/driver.h"

#include "resources/dialog.h"

#include <cstdio>
#include <cstring>

namespace {

enum { PLAY_SETTLE_MS = 60 };

/* Pictures a dialog met for the first time in dir and says what it shows. */
void meet(const char *dir, int count, HWND d) {
    bool box = GetDlgItem(d, DRIVER_BOX_TEXT);
    const char *kind = GetDlgItem(d, IDC_DIR_EDIT)   ? "install-directory"
                       : GetDlgItem(d, IDC_PRG_FILE) ? "progress"
                       : box                         ? "box"
                                                     : "restart";
    driver_pump(nullptr, PLAY_SETTLE_MS); /* painted */
    char path[MAX_PATH];
    snprintf(path, sizeof path, "%s\\%02d-%s.bmp", dir, count, kind);
    if (!driver_picture(d, path)) fprintf(stderr, "tvdriver: %s\n", step_error.c_str());
    printf("dialog %d: %s [%s] %s\n", count, kind, driver_caption(d).c_str(),
           driver_item_text(d, box ? DRIVER_BOX_TEXT : IDC_DIR_TEXT1).c_str());
    fflush(stdout);
}

/* play SETUP DIR: starts SETUP.EXE and follows it to its end, picturing
   every dialog in DIR while the user at the display answers.  Prints the
   directory the install directory dialog's field held last while it was
   setup's only dialog, then the exit code. */
int play(char **argv) {
    std::vector<HWND> seen;
    HWND install = nullptr;
    std::string target;
    driver_process p;
    DWORD code = 0;
    if (!driver_start(argv[2], &p)) return fprintf(stderr, "tvdriver: %s\n", step_error.c_str()), 1;
    for (; WaitForSingleObject(p.process, 0) == WAIT_TIMEOUT;
         driver_pump(p.process, DRIVER_POLL_MS)) {
        if (HWND d = driver_new_dialog(p.id, seen)) {
            seen.push_back(d);
            meet(argv[3], int(seen.size()), d);
            if (GetDlgItem(d, IDC_DIR_EDIT)) install = d;
        }
        std::string field = install ? driver_field_text(install, IDC_DIR_EDIT) : "";
        if (driver_windows(p.id, true) == std::vector<HWND>{install} && !field.empty())
            target = field;
    }
    GetExitCodeProcess(p.process, &code);
    driver_end(&p);
    printf("target: %s\nexit %lu\n", target.c_str(), code);
    return 0;
}

} /* namespace */

int main(int argc, char **argv) {
    if (argc > 3 && strcmp(argv[1], "play") == 0) return play(argv);
    if (argc > 2 && strcmp(argv[1], "scenario") == 0)
        return scenario_play(argv[2], argc - 3, argv + 3);
    fprintf(stderr,
            "usage: tvdriver scenario FILE [NAME=VALUE]...   play FILE, NAME=VALUE as ${NAME}\n"
            "       tvdriver play SETUP.EXE DIR              follow setup, picturing each dialog "
            "in DIR\n");
    return 2;
}
