/*
 * driver.cpp: the user's side of SETUP.EXE for the scenario player:
 * processes, dialogs, icons, pictures; and tvdriver.exe's one command,
 * "scenario", which plays a scenario file (the end-to-end tests and the main
 * job's installations are such files).
 *
 * Waits serve this thread's own messages, so that a window of ours never
 * holds up a broadcast; what cannot be done is said through step_failed.
 */
#include "tools/driver/driver.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>

std::string step_error;

namespace {

enum {
    BOX_ICON = 1088,           /* the icon control of a message box (Wine) */
    BOX_ICON_NT = 20,          /* the same on Windows */
    ICON_TOLERANCE_PERCENT = 3 /* of a control's pixels that may differ from an icon */
};

struct window_list {         /* EnumWindows' state for one process */
    DWORD process_id;        /* whose windows */
    bool dialogs_only;       /* only "#32770" windows */
    std::vector<HWND> found; /* the matches, front to back */
};

BOOL CALLBACK list_window(HWND w, LPARAM lp) {
    window_list *l = reinterpret_cast<window_list *>(lp);
    DWORD owner_id = 0;
    char class_name[16] = "";
    GetWindowThreadProcessId(w, &owner_id);
    GetClassNameA(w, class_name, sizeof class_name);
    if (owner_id == l->process_id && IsWindowVisible(w) &&
        (!l->dialogs_only || strcmp(class_name, "#32770") == 0))
        l->found.push_back(w);
    return TRUE;
}

/* The part of the screen a window covers, in new pixels of that depth. */
bool capture(HWND window, int bits_per_pixel, pixels *p) {
    RECT r;
    HDC screen = GetDC(nullptr);
    bool ok = GetWindowRect(window, &r) && make_pixels(p, r.right - r.left, r.bottom - r.top,
                                                       bits_per_pixel, screen, r.left, r.top);
    ReleaseDC(nullptr, screen);
    return ok;
}

/* Percentage of the captured control's pixels that differ from the icon
   drawn over the control's own background (its top left pixel, which no
   standard icon covers). */
int icon_mismatch(const pixels &captured, HICON icon) {
    pixels drawn;
    if (!make_pixels(&drawn, captured.width, captured.height, 32)) return 100;
    DWORD corner = captured.bits[0];
    HBRUSH brush = CreateSolidBrush(RGB(corner >> 16 & 0xFF, corner >> 8 & 0xFF, corner & 0xFF));
    RECT all = {0, 0, drawn.width, drawn.height};
    FillRect(drawn.dc, &all, brush);
    DeleteObject(brush);
    DrawIcon(drawn.dc, 0, 0, icon);
    GdiFlush();
    int differ = 0, count = captured.width * captured.height;
    for (int i = 0; i < count; i++) differ += ((captured.bits[i] ^ drawn.bits[i]) & 0xFFFFFF) != 0;
    free_pixels(&drawn);
    return differ * 100 / count;
}

struct standard_icon {
    LPCSTR resource;  /* IDI_* */
    const char *name; /* what the scenarios call it */
};
// clang-format off
const standard_icon STANDARD_ICONS[] = {
    {IDI_HAND,        "hand"},
    {IDI_ASTERISK,    "asterisk"},
    {IDI_QUESTION,    "question"},
    {IDI_EXCLAMATION, "exclamation"},
    {nullptr,         "other"}};
// clang-format on

/* The best match for what the control shows now. */
const char *classify(HWND control) {
    pixels captured;
    if (!capture(control, 32, &captured)) return "other";
    const standard_icon *best = nullptr;
    int best_mismatch = ICON_TOLERANCE_PERCENT + 1;
    for (const standard_icon *s = STANDARD_ICONS; s->resource; s++) {
        int mismatch = icon_mismatch(captured, LoadIconA(nullptr, s->resource));
        if (mismatch < best_mismatch) best = s, best_mismatch = mismatch;
    }
    free_pixels(&captured);
    return best ? best->name : "other";
}

} /* namespace */

bool step_failed(const char *format, ...) {
    char text[1024];
    va_list args;
    va_start(args, format);
    vsnprintf(text, sizeof text, format, args);
    va_end(args);
    step_error = text;
    return false;
}

bool step_expect(const char *what, const std::string &seen, const std::string &expected) {
    return seen == expected ||
           step_failed("%s is \"%s\", not \"%s\"", what, seen.c_str(), expected.c_str());
}

/* ---- Processes ------------------------------------------------------------ */

bool driver_start(const char *program, driver_process *p) {
    std::string command = std::string("\"") + program + "\"", dir = program;
    dir = dir.substr(0, dir.find_last_of("\\/") + 1);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info;
    if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr,
                        dir.empty() ? nullptr : dir.c_str(), &startup, &info))
        return step_failed("cannot start %s (error %lu)", program, GetLastError());
    CloseHandle(info.hThread);
    *p = {info.hProcess, info.dwProcessId};
    return true;
}

void driver_end(driver_process *p) {
    if (!p->process) return;
    /* A setup just past its progress dialog is starting the product: cut
       short there, Wine may leave the start hanging. */
    if (WaitForSingleObject(p->process, DRIVER_WAIT_MS / 5) == WAIT_TIMEOUT) {
        TerminateProcess(p->process, 255);
        WaitForSingleObject(p->process, DRIVER_WAIT_MS);
    }
    CloseHandle(p->process);
    p->process = nullptr;
}

/* ---- Dialogs and message boxes --------------------------------------------- */

std::vector<HWND> driver_windows(DWORD process_id, bool dialogs_only) {
    window_list l = {process_id, dialogs_only, {}};
    EnumWindows(list_window, reinterpret_cast<LPARAM>(&l));
    return l.found;
}

HWND driver_new_dialog(DWORD process_id, const std::vector<HWND> &known) {
    for (HWND w : driver_windows(process_id, true))
        if (std::find(known.begin(), known.end(), w) == known.end()) return w;
    return nullptr;
}

std::string driver_caption(HWND window) {
    char text[1024] = "";
    GetWindowTextA(window, text, sizeof text);
    return text;
}

std::string driver_item_text(HWND dialog, int item) {
    HWND control = GetDlgItem(dialog, item);
    return control ? driver_caption(control) : std::string();
}

std::string driver_field_text(HWND dialog, int item) {
    char text[1024] = "";
    DWORD_PTR length = 0;
    SendMessageTimeoutA(GetDlgItem(dialog, item), WM_GETTEXT, sizeof text,
                        reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, DRIVER_WAIT_MS / 5,
                        &length);
    return text;
}

/* The box may still be painting when it is first seen: the icon is looked at
   again until it is one of the standard ones, for a while; a box that should
   have none is given a moment to paint, and shows none of them. */
const char *driver_box_icon(HWND box, bool iconless) {
    HWND control = GetDlgItem(box, BOX_ICON);
    if (!control) control = GetDlgItem(box, BOX_ICON_NT);
    DWORD settle_ms = iconless ? 0 : DRIVER_WAIT_MS / 5;
    if (iconless) driver_pump(nullptr, 100);
    if (!control || !IsWindowVisible(control)) return "none";
    const char *seen = classify(control);
    for (DWORD start = GetTickCount(); !strcmp(seen, "other") && GetTickCount() - start < settle_ms;
         seen = classify(control))
        driver_pump(nullptr, DRIVER_POLL_MS * 5);
    return iconless && !strcmp(seen, "other") ? "none" : seen;
}

bool driver_press(HWND dialog, int item) {
    HWND button = GetDlgItem(dialog, item);
    return (button && PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(item, BN_CLICKED),
                                   reinterpret_cast<LPARAM>(button))) ||
           step_failed("cannot press button %d of \"%s\"", item, driver_caption(dialog).c_str());
}

/* A BMP file holds the picture's header and its rows top first as the
   picture holds them, each padded to four bytes. */
bool driver_picture(HWND window, const char *path) {
    pixels shot;
    if (!capture(window, 24, &shot))
        return step_failed("no window on the screen to take a picture of for %s", path);
    DWORD image = DWORD((shot.width * 3 + 3) & ~3) * DWORD(shot.height);
    BITMAPFILEHEADER file = {0x4D42 /* "BM" */, 0, 0, 0, sizeof file + sizeof shot.header};
    file.bfSize = file.bfOffBits + image;
    FILE *f = fopen(path, "wb");
    bool written = f && fwrite(&file, sizeof file, 1, f) == 1 &&
                   fwrite(&shot.header, sizeof shot.header, 1, f) == 1 &&
                   fwrite(shot.bits, image, 1, f) == 1;
    if (f && fclose(f) != 0) written = false;
    free_pixels(&shot);
    return written || step_failed("cannot write the picture %s", path);
}

/* tvdriver scenario FILE [NAME=VALUE]... */
int main(int argc, char **argv) {
    if (argc > 2 && strcmp(argv[1], "scenario") == 0)
        return scenario_play(argv[2], argc - 3, argv + 3);
    fprintf(stderr,
            "usage: tvdriver scenario FILE [NAME=VALUE]...   play FILE, NAME=VALUE as ${NAME}\n");
    return 2;
}
