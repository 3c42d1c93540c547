/*
 * driver.h: plays the user of SETUP.EXE from another process, under Wine.
 *
 * driver.cpp starts programs, finds their dialogs and message boxes, reads
 * them, tells their icons and pictures them.  A scenario file is a list of
 * steps, one a line, that prepare the machine, start SETUP.EXE, answer what
 * it shows and check what it leaves behind: scenario.cpp reads and plays it
 * and owns the steps on setup's windows, scenario_files.cpp the steps on
 * disks, files and the machine's settings.  Every wait is bounded; a failed step says why and
 * abandons its scenario, and the next "scenario" line starts afresh with the
 * machine's settings as they were.
 */
#ifndef TARVEX_TOOLS_DRIVER_H
#define TARVEX_TOOLS_DRIVER_H

#include "platform/win32_native.h"

#include <map>
#include <string>
#include <vector>

enum {
    DRIVER_WAIT_MS = 15000,   /* default bound of every wait */
    DRIVER_POLL_MS = 20,      /* how often a wait looks again */
    DRIVER_BOX_TEXT = 0xFFFF, /* the text control of a message box */
};

typedef std::vector<std::string> words;

struct driver_process { /* a program the driver started */
    HANDLE process;     /* its process handle, null when none */
    DWORD id;           /* its process id */
};

struct step {                    /* one kind of scenario line */
    const char *name;            /* its first word */
    int min_args;                /* words after it */
    bool on_run;                 /* whether setup must be running */
    bool (*run)(const words &w); /* what it does */
    const char *help;            /* its words and what it does */
};

struct pixels {              /* a top-down DIB section, for pictures of windows */
    BITMAPINFOHEADER header; /* as made, which a BMP file holds too */
    HDC dc;                  /* memory DC with the bitmap selected */
    HBITMAP bitmap;          /* the DIB section */
    DWORD *bits;             /* the pixels, rows top first */
    int width, height;       /* in pixels and rows */
};

/* New pixels of that depth: blank, or with from, what it shows from left, top. */
inline bool make_pixels(pixels *p, int width, int height, int bits_per_pixel, HDC from = nullptr,
                        int left = 0, int top = 0) {
    BITMAPINFO info = {};
    info.bmiHeader = {
        sizeof info.bmiHeader, width, -height, 1, WORD(bits_per_pixel), BI_RGB, 0, 0, 0, 0, 0};
    void *bits = nullptr;
    p->header = info.bmiHeader;
    p->bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!p->bitmap) return false;
    p->dc = CreateCompatibleDC(nullptr);
    SelectObject(p->dc, p->bitmap);
    p->bits = static_cast<DWORD *>(bits);
    p->width = width, p->height = height;
    bool ok = !from || BitBlt(p->dc, 0, 0, width, height, from, left, top, SRCCOPY);
    GdiFlush();
    return ok;
}

inline void free_pixels(pixels *p) {
    DeleteDC(p->dc);
    DeleteObject(p->bitmap);
}

/* A pixel of 32-bit pixels (0x00RRGGBB) as a COLORREF. */
inline COLORREF pixel_at(const pixels &p, int x, int y) {
    DWORD v = p.bits[y * p.width + x];
    return RGB(v >> 16 & 0xFF, v >> 8 & 0xFF, v & 0xFF);
}

/* Serves this thread's messages for ms or until the process (if any) ends. */
inline void driver_pump(HANDLE process, DWORD ms) {
    for (DWORD start = GetTickCount(), spent = 0; spent < ms; spent = GetTickCount() - start) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        if (MsgWaitForMultipleObjects(process ? 1 : 0, &process, FALSE, ms - spent, QS_ALLINPUT) ==
                WAIT_OBJECT_0 &&
            process)
            return;
    }
}

/* Message boxes of this thread, answered from a timer, which runs inside a
   box's own modal loop too (answer_boxes_with starts it). */
struct box_answers {                /* what the timer has done */
    WPARAM answer;                  /* the button it presses */
    std::vector<std::string> texts; /* each box's text, in order */
    HWND last;                      /* the box answered last, which may still be closing */
};
inline box_answers boxes;

inline VOID CALLBACK answer_box(HWND, UINT, UINT_PTR, DWORD) {
    HWND box = GetActiveWindow(); /* a box of this thread takes the focus */
    if (box == boxes.last || !GetDlgItem(box, DRIVER_BOX_TEXT)) return;
    char text[1024] = "";
    GetDlgItemTextA(box, DRIVER_BOX_TEXT, text, sizeof text);
    boxes.texts.push_back(text), boxes.last = box;
    PostMessageA(box, WM_COMMAND, boxes.answer, 0);
}

/* Answers every box from now on with the button; returns the timer. */
inline UINT_PTR answer_boxes_with(WPARAM answer) {
    boxes = {answer, {}, nullptr};
    return SetTimer(nullptr, 0, 20, answer_box);
}

extern std::string step_error; /* why the last step failed */
/* Records why a step failed; returns false for the step to return. */
bool step_failed(const char *format, ...);
/* Whether seen equals expected, recording the difference when not. */
bool step_expect(const char *what, const std::string &seen, const std::string &expected);

/* Starts program (its path quoted on the command line) in its own directory. */
bool driver_start(const char *program, driver_process *p);
/* Ends the process if it still runs and lets go of it. */
void driver_end(driver_process *p);
/* The shown top-level windows of the process (only dialogs, "#32770", with
   dialogs_only), front to back. */
std::vector<HWND> driver_windows(DWORD process_id, bool dialogs_only);
/* A shown dialog of the process that is not in known, or null. */
HWND driver_new_dialog(DWORD process_id, const std::vector<HWND> &known);
std::string driver_caption(HWND window);
std::string driver_item_text(HWND dialog, int item);
/* The text of a control that keeps it to itself, such as an edit field,
   asked for with WM_GETTEXT (the process must be serving its messages). */
std::string driver_field_text(HWND dialog, int item);
/* Which standard icon the box shows ("hand", "asterisk", "question",
   "exclamation", "none", "other"); iconless when it should show none. */
const char *driver_box_icon(HWND box, bool iconless);
/* A click on a button of the dialog (WM_COMMAND BN_CLICKED, posted). */
bool driver_press(HWND dialog, int item);
/* The part of the screen a window covers, as a 24-bit BMP file. */
bool driver_picture(HWND window, const char *path);

/* Plays a scenario file, the name=value settings given as ${name}; 0 when
   every scenario in it passed. */
int scenario_play(const char *path, int count, char **settings);
/* The value of ${name}; empty when unset. */
std::string scenario_var(const char *name);
void scenario_set(const std::string &name, const std::string &value);
/* The words of a variable holding a list. */
words scenario_list(const char *name);
/* The disk's files in the order setup writes them: the loose files of
   ${loose}, then the product's files of ${product}, which the disk's archive
   holds in the order of their names. */
words scenario_files(void);
/* The file and machine steps; null name ends. */
extern const step FILE_STEPS[];
/* Closes our windows, lets go of held files and puts back every machine
   setting the scenario changed. */
void scenario_clean_files(void);

#endif
