/*
 * meter_win32.cpp: the Meter window class, the percentage bar of the
 * progress dialog.
 *
 * Range and position live in the window's two extra slots.  They are stored
 * whole as sent but read back through their low 16 bits only, and the
 * painting reads them through the same messages, so what a caller gets back
 * is always what the bar shows.  A change repaints before the send returns:
 * the working code keeps the thread busy between its pumps, and the user
 * must still see the bar move.
 *
 * The control paints every pixel of its client area itself, as two opaque
 * text outputs of the same centred text: over the filled part in the
 * highlight colours, over the rest in the same colours swapped.  The text
 * therefore changes colour exactly where the bar's edge crosses it, and no
 * background erase is needed (erasing would only make the bar flicker).
 */
#include "progress/progress_win32.h"

#include "progress/progress.h"

namespace {

const char METER_CLASS[] = "Meter";

enum {
    METER_RANGE_SLOT = 0,  /* byte offset of the range in the extra bytes */
    METER_POS_SLOT = 4,    /* byte offset of the position */
    METER_EXTRA_BYTES = 8, /* both slots */
    METER_FIRST_RANGE = 100,
    METER_FIRST_POS = 50,
    METER_TEXT_SIZE = 16 /* "%d%%" of any 32-bit value */
};

typedef LRESULT (*meter_handler)(HWND meter, WPARAM wp);

LRESULT meter_read_slot(HWND meter, int slot) {
    return LRESULT(uint32_t(GetWindowLongA(meter, slot)) & 0xFFFF);
}

/* Stores a value whole and repaints at once, even when it did not change. */
LRESULT meter_store_slot(HWND meter, int slot, WPARAM value) {
    SetWindowLongA(meter, slot, LONG(value));
    InvalidateRect(meter, nullptr, FALSE);
    UpdateWindow(meter);
    return 0;
}

LRESULT meter_set_range(HWND meter, WPARAM range) {
    return meter_store_slot(meter, METER_RANGE_SLOT, range);
}

LRESULT meter_get_range(HWND meter, WPARAM) { return meter_read_slot(meter, METER_RANGE_SLOT); }

LRESULT meter_set_pos(HWND meter, WPARAM position) {
    return meter_store_slot(meter, METER_POS_SLOT, position);
}

LRESULT meter_get_pos(HWND meter, WPARAM) { return meter_read_slot(meter, METER_POS_SLOT); }

/* A new bar shows half of a hundred until its owner says otherwise. */
LRESULT meter_create(HWND meter, WPARAM) {
    SendMessageA(meter, MTR_SETRANGE, METER_FIRST_RANGE, 0);
    SendMessageA(meter, MTR_SETPOS, METER_FIRST_POS, 0);
    return 0;
}

/* Draws the text at (x, y), clipped to part and filling it first. */
void meter_draw_part(HDC dc, int x, int y, const RECT *part, const char *text, int length) {
    ExtTextOutA(dc, x, y, ETO_OPAQUE | ETO_CLIPPED, part, text, UINT(length), nullptr);
}

/* The filled part of a bar w pixels wide.  A position beyond the range
   fills the whole bar rather than a part outside it, so that the unfilled
   rectangle is never turned inside out. */
int meter_fill_width(int w, int position, int range) {
    int fill = w * position / range;
    return fill < w ? fill : w;
}

LRESULT meter_paint(HWND meter, WPARAM) {
    int range = int(SendMessageA(meter, MTR_GETRANGE, 0, 0));
    int position = int(SendMessageA(meter, MTR_GETPOS, 0, 0));
    if (range == 0) { /* an unset bar shows 0% and nothing filled */
        range = 1;
        position = 0;
    }
    char text[METER_TEXT_SIZE];
    int length = wsprintfA(text, "%d%%", position * 100 / range);

    PAINTSTRUCT paint;
    HDC dc = BeginPaint(meter, &paint);
    SetTextAlign(dc, TA_CENTER | TA_TOP);
    SetTextColor(dc, GetSysColor(COLOR_HIGHLIGHTTEXT));
    SetBkColor(dc, GetSysColor(COLOR_HIGHLIGHT));
    RECT client;
    GetClientRect(meter, &client);
    int w = client.right, h = client.bottom;
    SIZE letter;
    GetTextExtentPointA(dc, "X", 1, &letter);
    int x = w / 2, y = (h - letter.cy) / 2;

    RECT filled = {0, 0, meter_fill_width(w, position, range), h};
    meter_draw_part(dc, x, y, &filled, text, length);
    RECT unfilled = {filled.right, 0, w, h};
    SetBkColor(dc, SetTextColor(dc, GetBkColor(dc)));
    meter_draw_part(dc, x, y, &unfilled, text, length);
    EndPaint(meter, &paint);
    return 0;
}

/* The control paints every pixel itself. */
LRESULT meter_erase(HWND, WPARAM) { return 1; }

/* The dialog manager treats the bar as a static control: no focus, no keys. */
LRESULT meter_dialog_code(HWND, WPARAM) { return DLGC_STATIC; }

struct meter_entry {
    UINT message;          /* the message handled */
    meter_handler handler; /* what handles it; null ends the table */
};

/* clang-format off */
const meter_entry METER_HANDLERS[] = {
    {MTR_SETRANGE,  meter_set_range},
    {MTR_GETRANGE,  meter_get_range},
    {MTR_SETPOS,    meter_set_pos},
    {MTR_GETPOS,    meter_get_pos},
    {WM_CREATE,     meter_create},
    {WM_PAINT,      meter_paint},
    {WM_ERASEBKGND, meter_erase},
    {WM_GETDLGCODE, meter_dialog_code},
    {0,             nullptr}
};
/* clang-format on */

LRESULT CALLBACK meter_procedure(HWND meter, UINT message, WPARAM wp, LPARAM lp) {
    for (const meter_entry *e = METER_HANDLERS; e->handler; e++) {
        if (e->message == message) return e->handler(meter, wp);
    }
    return DefWindowProcA(meter, message, wp, lp);
}

} /* namespace */

void register_meter_class(HINSTANCE instance) {
    WNDCLASSA meter_class = {};
    meter_class.style = CS_HREDRAW | CS_VREDRAW;
    meter_class.lpfnWndProc = meter_procedure;
    meter_class.cbWndExtra = METER_EXTRA_BYTES;
    meter_class.hInstance = instance;
    meter_class.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    meter_class.lpszClassName = METER_CLASS;
    RegisterClassA(&meter_class);
}
