/*
 * tvdriver.cpp: "scenario", which plays a scenario file (the end-to-end
 * tests and the main job's installation are such files), and "play", which
 * follows SETUP.EXE while the user at the display clicks through it,
 * picturing every dialog met, for the main job on the user's display.
 */
#include "tools/driver/scenario.h"

#include "resources/dialog.h"

#include <cstdio>
#include <cstring>

namespace {

enum { PLAY_SETTLE_MS = 60 };

struct play_state {         /* what play has met so far */
    const char *shots;      /* directory of the pictures */
    std::vector<HWND> seen; /* dialogs met, each pictured once */
    HWND install;           /* the install directory dialog, once met */
    std::string target;     /* its field's last text */
};

/* Pictures a dialog met for the first time and says what it shows. */
void meet(play_state *s, HWND d) {
    s->seen.push_back(d);
    bool directory = GetDlgItem(d, IDC_DIR_EDIT) != nullptr, box = GetDlgItem(d, DRIVER_BOX_TEXT);
    const char *kind = directory                     ? "install-directory"
                       : GetDlgItem(d, IDC_PRG_FILE) ? "progress"
                       : box                         ? "box"
                                                     : "restart";
    driver_pump(nullptr, PLAY_SETTLE_MS); /* painted */
    char path[MAX_PATH];
    snprintf(path, sizeof path, "%s\\%02d-%s.bmp", s->shots, int(s->seen.size()), kind);
    if (!driver_picture(d, path)) fprintf(stderr, "tvdriver: %s\n", driver_error());
    printf("dialog %d: %s [%s] %s\n", int(s->seen.size()), kind, driver_caption(d).c_str(),
           driver_item_text(d, box ? DRIVER_BOX_TEXT : IDC_DIR_TEXT1).c_str());
    fflush(stdout);
    if (directory) s->install = d;
}

/* play SETUP DIR: starts SETUP.EXE and follows it to its end, picturing
   every dialog in DIR while the user at the display answers.  Prints the
   directory the field held last, then the exit code. */
int play(char **argv) {
    play_state s = {argv[3], {}, nullptr, ""};
    driver_process p;
    DWORD code = 0;
    if (!driver_start(argv[2], &p)) return fprintf(stderr, "tvdriver: %s\n", driver_error()), 1;
    while (WaitForSingleObject(p.process, 0) == WAIT_TIMEOUT) {
        if (HWND d = driver_new_dialog(p.id, s.seen)) meet(&s, d);
        if (s.install && driver_windows(p.id, true) == std::vector<HWND>{s.install}) {
            std::string field = driver_field_text(s.install, IDC_DIR_EDIT);
            if (!field.empty()) s.target = field;
        }
        driver_pump(p.process, DRIVER_POLL_MS);
    }
    GetExitCodeProcess(p.process, &code);
    driver_end(&p);
    printf("target: %s\nexit %lu\n", s.target.c_str(), code);
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
