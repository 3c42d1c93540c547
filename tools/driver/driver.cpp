/*
 * driver.cpp: the user's side of SETUP.EXE for the scenario player and the
 * main job: windows of our own, processes, dialogs, icons, pictures.
 *
 * Waits poll a condition every DRIVER_POLL_MS while this thread's own
 * messages are served, so that a window of ours never holds up a broadcast;
 * each ends at its bound with a message naming what did not happen.
 */
#include "tools/driver/driver.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {

enum { ERROR_SIZE = 512, ICON_TOLERANCE_PERCENT = 3 };

char last_error[ERROR_SIZE];

int fail(const char *format, ...) {
    va_list args;
    va_start(args, format);
    vsnprintf(last_error, sizeof last_error, format, args);
    va_end(args);
    return 0;
}

struct window_list {         /* EnumWindows' state for one process */
    DWORD process_id;        /* whose windows */
    bool dialogs_only;       /* only "#32770" windows */
    std::vector<HWND> found; /* the matches, front to back */
};

BOOL CALLBACK list_window(HWND w, LPARAM lp) {
    window_list *l = reinterpret_cast<window_list *>(lp);
    DWORD owner_id = 0;
    char class_name[16];
    GetWindowThreadProcessId(w, &owner_id);
    if (owner_id == l->process_id && IsWindowVisible(w) &&
        (!l->dialogs_only ||
         (GetClassNameA(w, class_name, sizeof class_name) && strcmp(class_name, "#32770") == 0)))
        l->found.push_back(w);
    return TRUE;
}

/* ---- Pixels ---------------------------------------------------------------- */

struct pixels {              /* a top-down DIB section */
    BITMAPINFOHEADER header; /* as made, which a BMP file holds too */
    HDC dc;                  /* memory DC with the bitmap selected */
    HBITMAP bitmap;          /* the DIB section */
    HGDIOBJ previous;        /* what the DC held before */
    DWORD *bits;             /* the pixels, rows top first */
    int width;               /* in pixels */
    int height;              /* in rows */
};

bool make_pixels(pixels *p, int width, int height, int bits_per_pixel) {
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = WORD(bits_per_pixel);
    info.bmiHeader.biCompression = BI_RGB;
    p->header = info.bmiHeader;
    void *bits = nullptr;
    p->bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!p->bitmap) return false;
    p->dc = CreateCompatibleDC(nullptr);
    p->previous = SelectObject(p->dc, p->bitmap);
    p->bits = static_cast<DWORD *>(bits);
    p->width = width;
    p->height = height;
    return true;
}

void free_pixels(pixels *p) {
    SelectObject(p->dc, p->previous);
    DeleteDC(p->dc);
    DeleteObject(p->bitmap);
}

/* The part of the screen a window covers, in new pixels of that depth. */
bool capture(HWND window, int bits_per_pixel, pixels *p) {
    RECT r;
    if (!GetWindowRect(window, &r) || r.right <= r.left || r.bottom <= r.top ||
        !make_pixels(p, r.right - r.left, r.bottom - r.top, bits_per_pixel))
        return false;
    HDC screen = GetDC(nullptr);
    BOOL ok = BitBlt(p->dc, 0, 0, p->width, p->height, screen, r.left, r.top, SRCCOPY);
    ReleaseDC(nullptr, screen);
    GdiFlush();
    if (!ok) free_pixels(p);
    return ok != 0;
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
    const char *name; /* what the driver calls it */
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
    const char *best = "other";
    int best_mismatch = ICON_TOLERANCE_PERCENT + 1;
    for (const standard_icon *s = STANDARD_ICONS; s->resource; s++) {
        int mismatch = icon_mismatch(captured, LoadIconA(nullptr, s->resource));
        if (mismatch < best_mismatch) best = s->name, best_mismatch = mismatch;
    }
    free_pixels(&captured);
    return best;
}

bool write_all(FILE *f, const void *data, size_t size) { return fwrite(data, 1, size, f) == size; }

/* Writes the picture as a BMP file: its header, its rows top first as it
   holds them (each padded to four bytes). */
int write_bmp(const char *path, const pixels &picture) {
    DWORD stride = DWORD((picture.width * picture.header.biBitCount / 8 + 3) & ~3);
    DWORD image = stride * DWORD(picture.height);
    BITMAPFILEHEADER file = {};
    file.bfType = 0x4D42; /* "BM" */
    file.bfOffBits = sizeof file + sizeof picture.header;
    file.bfSize = file.bfOffBits + image;
    FILE *f = fopen(path, "wb");
    bool written = f && write_all(f, &file, sizeof file) &&
                   write_all(f, &picture.header, sizeof picture.header) &&
                   write_all(f, picture.bits, image);
    if (f && fclose(f) != 0) written = false;
    return written ? 1 : fail("cannot write the screenshot %s", path);
}

const char HELD_FILE[] = "tv_held_file";             /* property: the handle a holder keeps */
const char RELEASE_MESSAGE[] = "tv_release_message"; /* property: what makes it let go */

/* A window of ours; a holder among them closes its file on its message, as
   a program does that unloads a DLL when asked to. */
LRESULT CALLBACK quiet_window(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
    HANDLE held = GetPropA(w, HELD_FILE);
    UINT release = UINT(UINT_PTR(GetPropA(w, RELEASE_MESSAGE)));
    if (held && ((release && msg == release) || msg == WM_DESTROY)) {
        CloseHandle(held);
        RemovePropA(w, HELD_FILE);
    }
    return DefWindowProcA(w, msg, wp, lp);
}

} /* namespace */

const char *driver_error(void) { return last_error; }

/* ---- Windows of our own, processes ---------------------------------------- */

HWND driver_open_window(const char *class_name, const char *path, UINT release_message) {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = quiet_window;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = class_name;
    HANDLE file =
        path ? CreateFileA(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr) : nullptr;
    if (file == INVALID_HANDLE_VALUE)
        return fail("cannot hold %s (error %lu)", path, GetLastError()), nullptr;
    RegisterClassA(&wc);
    HWND w = CreateWindowA(class_name, class_name, WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr,
                           nullptr, wc.hInstance, nullptr);
    if (!w) {
        if (file) CloseHandle(file);
        return fail("cannot create a window of class %s (error %lu)", class_name, GetLastError()),
               nullptr;
    }
    SetPropA(w, RELEASE_MESSAGE, reinterpret_cast<HANDLE>(UINT_PTR(release_message)));
    if (file) SetPropA(w, HELD_FILE, file);
    return w;
}

int driver_holds(HWND holder) { return GetPropA(holder, HELD_FILE) != nullptr; }

int driver_start(const char *program, driver_process *p) {
    p->process = nullptr;
    p->id = 0;
    std::string command = std::string("\"") + program + "\"", dir = program;
    dir = dir.substr(0, dir.find_last_of("\\/") + 1);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info;
    if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr,
                        dir.empty() ? nullptr : dir.c_str(), &startup, &info))
        return fail("cannot start %s (error %lu)", program, GetLastError());
    CloseHandle(info.hThread);
    p->process = info.hProcess;
    p->id = info.dwProcessId;
    return 1;
}

void driver_pump(HANDLE process, DWORD ms) {
    DWORD start = GetTickCount();
    for (;;) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        DWORD spent = GetTickCount() - start;
        if (spent >= ms) return;
        DWORD r =
            MsgWaitForMultipleObjects(process ? 1 : 0, &process, FALSE, ms - spent, QS_ALLINPUT);
        if (r == WAIT_OBJECT_0 && process) return;
    }
}

int driver_wait_exit(driver_process *p, DWORD timeout_ms, DWORD *exit_code,
                     const std::vector<HWND> &known) {
    for (DWORD start = GetTickCount(); WaitForSingleObject(p->process, 0) == WAIT_TIMEOUT;
         driver_pump(p->process, DRIVER_POLL_MS)) {
        if (HWND shown = driver_new_dialog(p->id, known))
            return fail("waiting for process %lu to end, it showed \"%s\": \"%s\"", p->id,
                        driver_caption(shown).c_str(),
                        driver_item_text(shown, DRIVER_BOX_TEXT).c_str());
        if (GetTickCount() - start >= timeout_ms)
            return fail("process %lu did not end within %lu ms", p->id, timeout_ms);
    }
    if (!GetExitCodeProcess(p->process, exit_code))
        return fail("cannot read the exit code of process %lu", p->id);
    return 1;
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
    HWND control = GetDlgItem(dialog, item);
    if (!control ||
        !SendMessageTimeoutA(control, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text),
                             SMTO_ABORTIFHUNG, DRIVER_WAIT_MS / 5, &length))
        fail("cannot read the text of control %d", item);
    return text;
}

/* The box may still be painting when it is first seen: the icon is looked at
   again until it is one of the standard ones or settle_ms runs out. */
const char *driver_box_icon(HWND box, DWORD settle_ms) {
    HWND control = GetDlgItem(box, DRIVER_BOX_ICON);
    if (!control) control = GetDlgItem(box, DRIVER_BOX_ICON_NT);
    if (!control || !IsWindowVisible(control)) return "none";
    DWORD start = GetTickCount();
    const char *seen = classify(control);
    while (!strcmp(seen, "other") && GetTickCount() - start < settle_ms) {
        driver_pump(nullptr, DRIVER_POLL_MS * 5);
        seen = classify(control);
    }
    return seen;
}

int driver_type(HWND dialog, int item, const char *text) {
    HWND control = GetDlgItem(dialog, item);
    if (!control) return fail("the dialog has no control %d to type into", item);
    SendMessageA(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
    return 1;
}

int driver_press(HWND dialog, int item) {
    HWND button = GetDlgItem(dialog, item);
    if (!button)
        return fail("the dialog \"%s\" has no button %d", driver_caption(dialog).c_str(), item);
    if (!PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(item, BN_CLICKED),
                      reinterpret_cast<LPARAM>(button)))
        return fail("cannot post the click on button %d (error %lu)", item, GetLastError());
    return 1;
}

int driver_picture(HWND window, const char *path) {
    pixels shot;
    if (!capture(window, 24, &shot))
        return fail("no window on the screen to take a picture of for %s", path);
    int ok = write_bmp(path, shot);
    free_pixels(&shot);
    return ok;
}
