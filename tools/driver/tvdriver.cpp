/*
 * tvdriver.cpp: the driver's operations as commands, for scripts that show
 * SETUP.EXE at work under Wine, and "scenario", which plays a scenario file
 * (the end-to-end tests are such files).  Each command prints what it found
 * on standard output and ends with 0, or says on standard error why not and
 * ends with 1.
 */
#include "tools/driver/scenario.h"

#include <tlhelp32.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

typedef int (*command_fn)(int argc, char **argv);

int usage(void);

DWORD number(const char *text) { return DWORD(strtoul(text, nullptr, 0)); }
DWORD timeout_arg(int argc, char **argv, int at) {
    return argc > at ? number(argv[at]) : DWORD(DRIVER_WAIT_MS);
}

int report(int ok) {
    if (!ok) fprintf(stderr, "tvdriver: %s\n", driver_error());
    return ok ? 0 : 1;
}

/* Starts the program, prints "pid N" at once, then "exit N" when it ends. */
int run_program(const char *program, const char *directory) {
    driver_process p;
    if (!driver_start(program, directory, &p)) return report(0);
    printf("pid %lu\n", p.id);
    fflush(stdout);
    DWORD code = 0;
    int ok = driver_wait_exit(&p, INFINITE, &code, 0);
    driver_end(&p);
    if (ok) printf("exit %lu\n", code);
    return report(ok);
}

/* Keeps a window of the class open while the program runs, or until this
   program is ended when none is given. */
int cmd_window(int argc, char **argv) {
    HWND w = driver_open_window(argv[2]);
    if (!w) return report(0);
    int r = 0;
    if (argc > 3)
        r = run_program(argv[3], nullptr);
    else
        for (;;) driver_pump(nullptr, INFINITE);
    driver_close_window(w);
    return r;
}

int cmd_extension(int argc, char **argv) {
    return report(driver_set_extension(argv[2], argc > 3 ? argv[3] : nullptr));
}

int cmd_winfile(int argc, char **argv) {
    return report(driver_set_winfile(argv[2], argv[3], argc > 4 ? argv[4] : nullptr));
}

int cmd_machine(int argc, char **argv) {
    return report(
        driver_set_value(HKEY_LOCAL_MACHINE, argv[2], argv[3], argc > 4 ? argv[4] : nullptr));
}

int cmd_run(int argc, char **argv) { return run_program(argv[2], argc > 3 ? argv[3] : nullptr); }

/* A process named by its id or by its program's file name (SETUP.EXE). */
DWORD process_named(const char *name) {
    if (strspn(name, "0123456789") == strlen(name)) return number(name);
    HANDLE all = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (all == INVALID_HANDLE_VALUE) return 0;
    PROCESSENTRY32 entry;
    entry.dwSize = sizeof entry;
    DWORD found = 0;
    for (BOOL more = Process32First(all, &entry); more && !found;
         more = Process32Next(all, &entry)) {
        const char *base = strrchr(entry.szExeFile, '\\');
        if (lstrcmpiA(base ? base + 1 : entry.szExeFile, name) == 0) found = entry.th32ProcessID;
    }
    CloseHandle(all);
    return found;
}

/* The dialog of the named process, waiting for the process to start too. */
HWND dialog_of(char **argv, DWORD timeout) {
    DWORD start = GetTickCount(), id;
    while ((id = process_named(argv[2])) == 0 && GetTickCount() - start < timeout)
        driver_pump(nullptr, 50);
    if (!id) {
        fprintf(stderr, "tvdriver: no process %s\n", argv[2]);
        return nullptr;
    }
    DWORD spent = GetTickCount() - start;
    std::string what = std::string("a dialog of ") + argv[2];
    HWND d = driver_wait_dialog(id, spent < timeout ? timeout - spent : 0, what.c_str());
    if (!d) report(0);
    return d;
}

/* Prints the caption, the message text, the icon and every control's text. */
int cmd_dialog(int argc, char **argv) {
    HWND d = dialog_of(argv, timeout_arg(argc, argv, 3));
    if (!d) return 1;
    printf("caption: %s\n", driver_caption(d).c_str());
    printf("text: %s\n", driver_item_text(d, DRIVER_BOX_TEXT).c_str());
    printf("icon: %s\n", driver_icon_name(driver_box_icon(d)));
    for (HWND c = GetWindow(d, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
        printf("control %d: %s\n", GetDlgCtrlID(c), driver_caption(c).c_str());
    return 0;
}

int cmd_type(int, char **argv) {
    HWND d = dialog_of(argv, DRIVER_WAIT_MS);
    return d ? report(driver_type(d, int(number(argv[3])), argv[4])) : 1;
}

int cmd_press(int, char **argv) {
    HWND d = dialog_of(argv, DRIVER_WAIT_MS);
    return d ? report(driver_press(d, int(number(argv[3])))) : 1;
}

int cmd_shot(int, char **argv) { return report(driver_screenshot(argv[2])); }

/* ---- play: one installation from start to end ------------------------------- */

enum { PLAY_SEEN_MAX = 64, PLAY_SETTLE_MS = 60, PLAY_POLL_MS = 20 };

struct play_state {           /* what play has met so far */
    const char *shots;        /* directory of the pictures */
    int drive;                /* press the defaults (else the user does) */
    HWND seen[PLAY_SEEN_MAX]; /* dialogs met, each pictured once */
    int count;                /* how many */
    HWND install;             /* the install directory dialog, once met */
    std::string target;       /* its field's last text */
};

/* What a dialog of setup is, by its controls. */
const char *dialog_kind(HWND d) {
    if (GetDlgItem(d, 101)) return "install-directory";
    if (GetDlgItem(d, 104)) return "progress";
    if (GetDlgItem(d, DRIVER_BOX_TEXT)) return "box";
    return "restart";
}

/* Pictures a dialog met for the first time, says what it shows and, when
   driving, answers it as a user taking every default would. */
void meet(play_state *s, HWND d) {
    for (int i = 0; i < s->count; i++)
        if (s->seen[i] == d) return;
    if (s->count < PLAY_SEEN_MAX) s->seen[s->count++] = d;
    const char *kind = dialog_kind(d);
    driver_pump(nullptr, PLAY_SETTLE_MS); /* painted */
    char path[MAX_PATH];
    snprintf(path, sizeof path, "%s\\%02d-%s.bmp", s->shots, s->count, kind);
    if (!driver_screenshot_window(d, path)) fprintf(stderr, "tvdriver: %s\n", driver_error());
    int text_item = !strcmp(kind, "box") ? DRIVER_BOX_TEXT : !strcmp(kind, "restart") ? -1 : 106;
    printf("dialog %d: %s [%s] %s\n", s->count, kind, driver_caption(d).c_str(),
           driver_item_text(d, text_item).c_str());
    fflush(stdout);
    if (!strcmp(kind, "install-directory")) {
        s->install = d;
        s->target = driver_field_text(d, 101);
        printf("proposed: %s\n", s->target.c_str());
    }
    if (!s->drive) return;
    if (!strcmp(kind, "box"))
        driver_press(d, GetDlgItem(d, IDOK) ? IDOK : IDCANCEL);
    else if (strcmp(kind, "progress") != 0)
        driver_press(d, !strcmp(kind, "restart") ? IDCANCEL : IDOK);
}

/* Starts SETUP.EXE and follows it to its end, picturing every dialog in the
   directory given; with "drive" it takes every default, otherwise the user
   at the display answers.  Prints the directory the field held last, then
   the exit code. */
int cmd_play(int argc, char **argv) {
    play_state s = {argv[3], argc > 4 && !strcmp(argv[4], "drive"), {}, 0, nullptr, ""};
    driver_process p;
    if (!driver_start(argv[2], nullptr, &p)) return report(0);
    DWORD start = GetTickCount(), limit = s.drive ? 120000 : INFINITE;
    while (WaitForSingleObject(p.process, 0) == WAIT_TIMEOUT) {
        if (GetTickCount() - start >= limit) {
            fprintf(stderr, "tvdriver: setup did not end within %lu ms\n", limit);
            driver_end(&p);
            return 1;
        }
        if (HWND d = driver_find_dialog(p.id)) meet(&s, d);
        if (s.install && IsWindowVisible(s.install) && driver_find_dialog(p.id) == s.install) {
            std::string field = driver_field_text(s.install, 101);
            if (!field.empty()) s.target = field;
        }
        driver_pump(p.process, PLAY_POLL_MS);
    }
    DWORD code = 0;
    int ok = driver_wait_exit(&p, 0, &code, 0);
    driver_end(&p);
    printf("target: %s\n", s.target.c_str());
    if (ok) printf("exit %lu\n", code);
    return report(ok);
}

/* Plays a scenario file; the settings after it are its ${name}=value. */
int cmd_scenario(int argc, char **argv) { return scenario_play(argv[2], argc - 3, argv + 3); }

struct command {
    const char *name; /* as typed */
    int min_args;     /* arguments after the name */
    command_fn run;   /* what does it */
    const char *help; /* its arguments and what it does */
};
// clang-format off
const command COMMANDS[] = {
    {"window",    1, cmd_window,    "CLASS [PROGRAM]     a window of CLASS open while PROGRAM runs (or for ever)"},
    {"extension", 1, cmd_extension, "KEY [VALUE]         win.ini [extensions]; no VALUE removes"},
    {"winfile",   2, cmd_winfile,   "SECTION KEY [VALUE] winfile.ini; no VALUE removes"},
    {"machine",   2, cmd_machine,   "KEY NAME [DATA]     HKEY_LOCAL_MACHINE value; no DATA removes"},
    {"run",       1, cmd_run,       "PROGRAM [DIR]       start, print pid, wait, print exit code"},
    {"dialog",    1, cmd_dialog,    "PROC [TIMEOUT_MS]   wait for a dialog and print what it shows"},
    {"type",      3, cmd_type,      "PROC ITEM TEXT      set the text of a control of its dialog"},
    {"press",     2, cmd_press,     "PROC ITEM           press a button of its dialog"},
    {"shot",      1, cmd_shot,      "FILE.BMP            screenshot of the whole screen"},
    {"play",      2, cmd_play,      "SETUP DIR [drive]   follow setup, picturing each dialog in DIR; drive: take the defaults"},
    {"scenario",  1, cmd_scenario,  "FILE [NAME=VALUE]   play the scenarios of FILE, NAME=VALUE as ${NAME}"},
    {nullptr,     0, nullptr,       nullptr}};
// clang-format on

int usage(void) {
    fprintf(stderr, "usage: tvdriver COMMAND ARGS (PROC: a process id or a program name)\n");
    for (const command *c = COMMANDS; c->name; c++)
        fprintf(stderr, "  %-9s %s\n", c->name, c->help);
    return 2;
}

} /* namespace */

int main(int argc, char **argv) {
    for (const command *c = COMMANDS; argc > 1 && c->name; c++)
        if (strcmp(argv[1], c->name) == 0)
            return argc - 2 >= c->min_args ? c->run(argc, argv) : usage();
    return usage();
}
