/*
 * driver.cpp: the user's side of SETUP.EXE for the end-to-end tests and the
 * demonstration: machine settings, processes, dialogs, icons, screenshots.
 *
 * Waits poll a condition every POLL_MS while this thread's own messages are
 * served, so that a window of ours never holds up a broadcast; each ends at
 * its bound with a message naming what did not happen.
 */
#include "tools/driver/driver.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

enum { POLL_MS = 20, ERROR_SIZE = 512, ICON_TOLERANCE_PERCENT = 3, DIALOGS_KEPT = 8 };

char last_error[ERROR_SIZE];

int fail(const char *format, ...) {
    va_list args;
    va_start(args, format);
    vsnprintf(last_error, sizeof last_error, format, args);
    va_end(args);
    return 0;
}

struct dialog_search { /* EnumWindows' state for one process */
    DWORD process_id;  /* whose windows */
    int dialogs_only;  /* only "#32770" windows */
    HWND found;        /* first match */
    int count;         /* matches */
};

BOOL CALLBACK match_window(HWND w, LPARAM lp) {
    dialog_search *s = reinterpret_cast<dialog_search *>(lp);
    DWORD owner_id = 0;
    GetWindowThreadProcessId(w, &owner_id);
    if (owner_id != s->process_id || !IsWindowVisible(w)) return TRUE;
    char class_name[16];
    if (s->dialogs_only &&
        (!GetClassNameA(w, class_name, sizeof class_name) || strcmp(class_name, "#32770") != 0))
        return TRUE;
    if (!s->found) s->found = w;
    s->count++;
    return TRUE;
}

dialog_search search(DWORD process_id, int dialogs_only) {
    dialog_search s = {process_id, dialogs_only, nullptr, 0};
    EnumWindows(match_window, reinterpret_cast<LPARAM>(&s));
    return s;
}

struct dialog_list {            /* the shown dialogs of a process */
    DWORD process_id;           /* whose dialogs */
    HWND windows[DIALOGS_KEPT]; /* the first ones found */
    int count;                  /* how many are kept */
};

BOOL CALLBACK list_dialog(HWND w, LPARAM lp) {
    dialog_list *l = reinterpret_cast<dialog_list *>(lp);
    dialog_search one = {l->process_id, 1, nullptr, 0};
    match_window(w, reinterpret_cast<LPARAM>(&one));
    if (one.found && l->count < DIALOGS_KEPT) l->windows[l->count++] = w;
    return TRUE;
}

dialog_list list_dialogs(DWORD process_id) {
    dialog_list l = {process_id, {}, 0};
    EnumWindows(list_dialog, reinterpret_cast<LPARAM>(&l));
    return l;
}

/* A dialog shown now that was not in before, or null. */
HWND new_dialog(const dialog_list &before) {
    dialog_list now = list_dialogs(before.process_id);
    for (int i = 0; i < now.count; i++) {
        bool known = false;
        for (int j = 0; j < before.count; j++) known = known || now.windows[i] == before.windows[j];
        if (!known) return now.windows[i];
    }
    return nullptr;
}

bool process_ended(HANDLE process) {
    return process && WaitForSingleObject(process, 0) == WAIT_OBJECT_0;
}

/* ---- Pixels ---------------------------------------------------------------- */

struct pixels {       /* a 32-bit top-down DIB section */
    HDC dc;           /* memory DC with the bitmap selected */
    HBITMAP bitmap;   /* the DIB section */
    HGDIOBJ previous; /* what the DC held before */
    DWORD *bits;      /* the pixels, rows top first */
    int width;        /* in pixels */
    int height;       /* in rows */
};

bool make_pixels(pixels *p, int width, int height, int bits_per_pixel) {
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = WORD(bits_per_pixel);
    info.bmiHeader.biCompression = BI_RGB;
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

/* Copies a rectangle of the screen into p. */
bool grab(pixels *p, int left, int top) {
    HDC screen = GetDC(nullptr);
    BOOL ok = BitBlt(p->dc, 0, 0, p->width, p->height, screen, left, top, SRCCOPY);
    ReleaseDC(nullptr, screen);
    GdiFlush();
    return ok != 0;
}

/* Draws icon over a background of one colour. */
void draw_icon_on(pixels *p, HICON icon, COLORREF background) {
    HBRUSH brush = CreateSolidBrush(background);
    RECT all = {0, 0, p->width, p->height};
    FillRect(p->dc, &all, brush);
    DeleteObject(brush);
    DrawIcon(p->dc, 0, 0, icon);
    GdiFlush();
}

/* Percentage of the icon's opaque pixels (the same on black and on white)
   that differ in the captured control; 100 when the icon has none. */
int icon_mismatch(const pixels &captured, HICON icon) {
    pixels black, white;
    if (!make_pixels(&black, captured.width, captured.height, 32)) return 100;
    if (!make_pixels(&white, captured.width, captured.height, 32)) {
        free_pixels(&black);
        return 100;
    }
    draw_icon_on(&black, icon, RGB(0, 0, 0));
    draw_icon_on(&white, icon, RGB(255, 255, 255));
    int opaque = 0, differ = 0;
    for (int i = 0; i < captured.width * captured.height; i++) {
        DWORD b = black.bits[i] & 0xFFFFFF, w = white.bits[i] & 0xFFFFFF;
        if (b != w) continue;
        opaque++;
        differ += (captured.bits[i] & 0xFFFFFF) != b;
    }
    free_pixels(&black);
    free_pixels(&white);
    return opaque ? differ * 100 / opaque : 100;
}

struct standard_icon {
    LPCSTR resource;  /* IDI_* */
    driver_icon icon; /* what the driver calls it */
};
// clang-format off
const standard_icon STANDARD_ICONS[] = {
    {IDI_HAND,        DRIVER_ICON_HAND},
    {IDI_ASTERISK,    DRIVER_ICON_ASTERISK},
    {IDI_QUESTION,    DRIVER_ICON_QUESTION},
    {IDI_EXCLAMATION, DRIVER_ICON_EXCLAMATION},
    {nullptr,         DRIVER_ICON_OTHER}};
// clang-format on

/* The best match for what the control shows now. */
driver_icon classify(HWND control) {
    RECT client;
    GetClientRect(control, &client);
    POINT origin = {0, 0};
    ClientToScreen(control, &origin);
    pixels captured;
    if (client.right <= 0 || client.bottom <= 0 ||
        !make_pixels(&captured, client.right, client.bottom, 32))
        return DRIVER_ICON_OTHER;
    driver_icon best = DRIVER_ICON_OTHER;
    int best_mismatch = ICON_TOLERANCE_PERCENT + 1;
    if (grab(&captured, origin.x, origin.y)) {
        for (const standard_icon *s = STANDARD_ICONS; s->resource; s++) {
            int mismatch = icon_mismatch(captured, LoadIconA(nullptr, s->resource));
            if (mismatch < best_mismatch) best = s->icon, best_mismatch = mismatch;
        }
    }
    free_pixels(&captured);
    return best;
}

bool write_all(FILE *f, const void *data, size_t size) { return fwrite(data, 1, size, f) == size; }

/* Writes a 24-bit picture as a BMP file, rows top first as it holds them. */
int write_bmp(const char *path, const pixels &picture) {
    DWORD stride = DWORD((picture.width * 3 + 3) & ~3), image = stride * DWORD(picture.height);
    BITMAPFILEHEADER file = {};
    BITMAPINFOHEADER header = {};
    file.bfType = 0x4D42; /* "BM" */
    file.bfOffBits = sizeof file + sizeof header;
    file.bfSize = file.bfOffBits + image;
    header.biSize = sizeof header;
    header.biWidth = picture.width;
    header.biHeight = -picture.height;
    header.biPlanes = 1;
    header.biBitCount = 24;
    header.biCompression = BI_RGB;
    header.biSizeImage = image;
    FILE *f = fopen(path, "wb");
    bool written = f && write_all(f, &file, sizeof file) && write_all(f, &header, sizeof header) &&
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

/* ========================================================================= */
/* Windows of our own                                                         */

HWND driver_open_window(const char *class_name) {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = quiet_window;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = class_name;
    if (!RegisterClassA(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
        fail("cannot register the window class %s (error %lu)", class_name, GetLastError());
        return nullptr;
    }
    HWND w = CreateWindowA(class_name, class_name, WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr,
                           nullptr, wc.hInstance, nullptr);
    if (!w) fail("cannot create a window of class %s (error %lu)", class_name, GetLastError());
    return w;
}

HWND driver_open_holder(const char *class_name, const char *path, UINT release_message) {
    HANDLE file = CreateFileA(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        fail("cannot hold %s (error %lu)", path, GetLastError());
        return nullptr;
    }
    HWND w = driver_open_window(class_name);
    if (!w) {
        CloseHandle(file);
        return nullptr;
    }
    SetPropA(w, RELEASE_MESSAGE, reinterpret_cast<HANDLE>(UINT_PTR(release_message)));
    SetPropA(w, HELD_FILE, file);
    return w;
}

int driver_holds(HWND holder) { return GetPropA(holder, HELD_FILE) != nullptr; }

void driver_close_window(HWND window) {
    if (window) DestroyWindow(window);
}

/* ========================================================================= */
/* The machine's settings                                                     */

int driver_set_extension(const char *key, const char *value) {
    if (WriteProfileStringA("extensions", key, value)) return 1;
    if (!value && GetLastError() == ERROR_FILE_NOT_FOUND) return 1; /* nothing to remove */
    return fail("cannot write win.ini [extensions] %s (error %lu)", key, GetLastError());
}

int driver_set_winfile(const char *section, const char *key, const char *value) {
    if (WritePrivateProfileStringA(section, key, value, "winfile.ini")) return 1;
    return fail("cannot write winfile.ini [%s] %s (error %lu)", section, key, GetLastError());
}

int driver_set_value(HKEY root, const char *key, const char *name, const char *data) {
    HKEY opened;
    const char *root_name = root == HKEY_CURRENT_USER ? "HKCU" : "HKLM";
    LONG r = RegCreateKeyExA(root, key, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &opened, nullptr);
    if (r != ERROR_SUCCESS) return fail("cannot open %s\\%s (error %ld)", root_name, key, r);
    if (data)
        r = RegSetValueExA(opened, name, 0, REG_SZ, reinterpret_cast<const BYTE *>(data),
                           DWORD(strlen(data) + 1));
    else
        r = RegDeleteValueA(opened, name);
    RegCloseKey(opened);
    if (r != ERROR_SUCCESS && !(data == nullptr && r == ERROR_FILE_NOT_FOUND))
        return fail("cannot set %s\\%s value %s (error %ld)", root_name, key, name, r);
    return 1;
}

/* ========================================================================= */
/* Processes                                                                  */

int driver_start(const char *program, const char *directory, driver_process *p) {
    p->process = nullptr;
    p->id = 0;
    std::string command = std::string("\"") + program + "\"";
    std::string dir = directory ? directory : program;
    if (!directory) dir = dir.substr(0, dir.find_last_of("\\/") + 1);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info;
    if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr,
                        dir.empty() ? nullptr : dir.c_str(), &startup, &info))
        return fail("cannot start %s in %s (error %lu)", program, dir.c_str(), GetLastError());
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

int driver_wait_exit(driver_process *p, DWORD timeout_ms, DWORD *exit_code, int watch) {
    DWORD start = GetTickCount();
    dialog_list before = list_dialogs(p->id);
    while (!process_ended(p->process)) {
        if (watch) {
            if (HWND shown = new_dialog(before))
                return fail("waiting for process %lu to end, it showed \"%s\": \"%s\"", p->id,
                            driver_caption(shown).c_str(),
                            driver_item_text(shown, DRIVER_BOX_TEXT).c_str());
        }
        if (GetTickCount() - start >= timeout_ms)
            return fail("process %lu did not end within %lu ms", p->id, timeout_ms);
        driver_pump(p->process, POLL_MS);
    }
    if (!GetExitCodeProcess(p->process, exit_code))
        return fail("cannot read the exit code of process %lu", p->id);
    return 1;
}

void driver_end(driver_process *p) {
    if (!p->process) return;
    if (!process_ended(p->process)) {
        TerminateProcess(p->process, 255);
        WaitForSingleObject(p->process, DRIVER_WAIT_MS);
    }
    CloseHandle(p->process);
    p->process = nullptr;
}

/* ========================================================================= */
/* Dialogs and message boxes                                                  */

HWND driver_find_dialog(DWORD process_id) { return search(process_id, 1).found; }

int driver_count_windows(DWORD process_id) { return search(process_id, 0).count; }

HWND driver_wait_dialog(DWORD process_id, DWORD timeout_ms, const char *what) {
    DWORD start = GetTickCount();
    for (;;) {
        if (HWND found = driver_find_dialog(process_id)) return found;
        if (GetTickCount() - start >= timeout_ms) {
            fail("%s did not appear within %lu ms (process %lu)", what, timeout_ms, process_id);
            return nullptr;
        }
        driver_pump(nullptr, POLL_MS);
    }
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
driver_icon driver_box_icon(HWND box, DWORD settle_ms) {
    HWND control = GetDlgItem(box, DRIVER_BOX_ICON);
    if (!control) control = GetDlgItem(box, DRIVER_BOX_ICON_NT);
    if (!control || !IsWindowVisible(control)) return DRIVER_ICON_NONE;
    DWORD start = GetTickCount();
    driver_icon seen = classify(control);
    while (seen == DRIVER_ICON_OTHER && GetTickCount() - start < settle_ms) {
        driver_pump(nullptr, POLL_MS * 5);
        seen = classify(control);
    }
    return seen;
}

const char *driver_icon_name(driver_icon icon) {
    static const char *const names[] = {"none",     "hand",        "asterisk",
                                        "question", "exclamation", "other"};
    return names[icon];
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

int driver_dismiss_until_exit(driver_process *p, DWORD timeout_ms, DWORD *exit_code,
                              std::string *seen) {
    DWORD start = GetTickCount();
    HWND last = nullptr;
    while (!process_ended(p->process)) {
        if (GetTickCount() - start >= timeout_ms)
            return fail("process %lu did not end within %lu ms", p->id, timeout_ms);
        HWND shown = driver_find_dialog(p->id);
        if (shown && shown != last) {
            last = shown;
            *seen += "[" + driver_caption(shown) + "] " + driver_item_text(shown, DRIVER_BOX_TEXT) +
                     "\n";
            driver_press(shown, GetDlgItem(shown, DRIVER_BOX_TEXT) && GetDlgItem(shown, IDOK)
                                    ? IDOK
                                    : IDCANCEL);
        }
        driver_pump(p->process, POLL_MS);
    }
    return driver_wait_exit(p, 0, exit_code, 0);
}

/* ========================================================================= */
/* Screen                                                                     */

int driver_screenshot(const char *path) {
    int left = GetSystemMetrics(SM_XVIRTUALSCREEN), top = GetSystemMetrics(SM_YVIRTUALSCREEN);
    int width = GetSystemMetrics(SM_CXVIRTUALSCREEN), height = GetSystemMetrics(SM_CYVIRTUALSCREEN);
    if (width <= 0 || height <= 0) {
        left = top = 0;
        width = GetSystemMetrics(SM_CXSCREEN);
        height = GetSystemMetrics(SM_CYSCREEN);
    }
    pixels shot;
    if (!make_pixels(&shot, width, height, 24))
        return fail("cannot make a %dx%d bitmap", width, height);
    int ok = grab(&shot, left, top) ? write_bmp(path, shot) : fail("cannot copy the screen");
    free_pixels(&shot);
    return ok;
}

int driver_screenshot_window(HWND window, const char *path) {
    RECT r;
    if (!GetWindowRect(window, &r) || r.right <= r.left || r.bottom <= r.top)
        return fail("no window to take a picture of for %s", path);
    pixels shot;
    if (!make_pixels(&shot, r.right - r.left, r.bottom - r.top, 24))
        return fail("cannot make a bitmap for %s", path);
    int ok = grab(&shot, r.left, r.top) ? write_bmp(path, shot) : fail("cannot copy the screen");
    free_pixels(&shot);
    return ok;
}
