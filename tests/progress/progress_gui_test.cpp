// The progress display on the real platform: the Meter's 16-bit values and
// the pixels it paints, and dialog 300 with its reset on showing, its advance
// and its Cancel question, answered from a timer inside the box's own loop.
#include "progress/progress.h"
#include "progress/progress_win32.h"
#include "resources/dialog.h"
#include "setup/state.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

HINSTANCE instance() { return GetModuleHandleA(nullptr); }

void register_once() {
    static bool done = (register_meter_class(instance()), load_titles(), true);
    (void)done;
}

COLORREF highlight() { return GetSysColor(COLOR_HIGHLIGHT) & 0xFFFFFF; }
COLORREF highlight_text() { return GetSysColor(COLOR_HIGHLIGHTTEXT) & 0xFFFFFF; }

struct picture {
    int w, h;                 // size in pixels
    std::vector<COLORREF> px; // row by row from the top left
    COLORREF at(int x, int y) const { return px[size_t(y * w + x)]; }
};

// Copies what a device context shows into a memory bitmap and reads it back.
picture grab(HDC from, int w, int h) {
    picture p = {w, h, {}};
    HDC mem = CreateCompatibleDC(from);
    HBITMAP bitmap = CreateCompatibleBitmap(from, w, h);
    HGDIOBJ old = SelectObject(mem, bitmap);
    BitBlt(mem, 0, 0, w, h, from, 0, 0, SRCCOPY);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) p.px.push_back(GetPixel(mem, x, y));
    SelectObject(mem, old);
    DeleteObject(bitmap);
    DeleteDC(mem);
    return p;
}

picture grab_client(HWND window) {
    UpdateWindow(window);
    RECT r;
    GetClientRect(window, &r);
    HDC dc = GetDC(window);
    picture p = grab(dc, r.right, r.bottom);
    ReleaseDC(window, dc);
    return p;
}

// The text's pixels: those that differ from the background of their part.
struct ink {
    std::vector<std::string> rows; // '#' for text, '.' for background, cut to the text
    int left = -1, right = -1;     // outermost text columns
    bool crosses_colour = false;   // each part's text in the other part's background colour
};

ink text_of(const picture &p, int edge, COLORREF fill, COLORREF rest) {
    ink t;
    int top = p.h, bottom = -1;
    bool left_part = false, right_part = false;
    for (int y = 0; y < p.h; y++)
        for (int x = 0; x < p.w; x++)
            if (p.at(x, y) != (x < edge ? fill : rest)) {
                if (t.left < 0 || x < t.left) t.left = x;
                if (x > t.right) t.right = x;
                if (y < top) top = y;
                bottom = y;
                (x < edge ? left_part : right_part) |= p.at(x, y) == (x < edge ? rest : fill);
            }
    for (int y = top; y <= bottom; y++) {
        std::string row;
        for (int x = t.left; x <= t.right; x++)
            row += p.at(x, y) != (x < edge ? fill : rest) ? '#' : '.';
        t.rows.push_back(row);
    }
    t.crosses_colour = left_part && right_part;
    return t;
}

// The oracle for the text: the same words drawn plainly in the system font.
ink expected_text(const char *words) {
    HDC screen = GetDC(nullptr);
    HDC mem = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, 100, 40);
    HGDIOBJ old = SelectObject(mem, bitmap);
    SelectObject(mem, GetStockObject(SYSTEM_FONT));
    RECT all = {0, 0, 100, 40};
    FillRect(mem, &all, HBRUSH(GetStockObject(WHITE_BRUSH)));
    SetBkMode(mem, TRANSPARENT);
    TextOutA(mem, 10, 10, words, int(strlen(words)));
    picture p = grab(mem, 100, 40);
    SelectObject(mem, old);
    DeleteObject(bitmap);
    DeleteDC(mem);
    ReleaseDC(nullptr, screen);
    return text_of(p, 0, 0, RGB(255, 255, 255));
}

// Checks the bar's edge on its bottom row, and the words centred across it.
void expect_meter_shows(HWND meter, int edge, const char *words) {
    picture p = grab_client(meter);
    for (int x = 0; x < p.w; x++)
        ASSERT_EQ(p.at(x, p.h - 1), x < edge ? highlight() : highlight_text()) << "x " << x;
    ink shown = text_of(p, edge, highlight(), highlight_text());
    EXPECT_EQ(shown.rows, expected_text(words).rows) << words;
    EXPECT_LE(abs(shown.left + shown.right + 1 - p.w), 3) << "text not centred";
}

// Range and position are read as 16 bits; the bar fills the truncated share
// of its width, nothing for a range of 0, all of it beyond the range; each
// send has painted before it returns; the text changes colour across the edge.
TEST(Meter, ShowsItsValuesAsSixteenBitsAndFillsTheirShare) {
    register_once();
    HWND frame = CreateWindowA("Static", "", WS_POPUP | WS_VISIBLE, 0, 0, 320, 60, nullptr,
                               nullptr, instance(), nullptr);
    HWND meter = CreateWindowA("Meter", "", WS_CHILD | WS_VISIBLE, 0, 0, 300, 40, frame, nullptr,
                               instance(), nullptr);
    ASSERT_NE(meter, nullptr);
    const struct {
        WPARAM range, position;             // sent; 0, 0: the values at creation
        LRESULT read_range, read_position;  // read back
        int edge;                           // the bar's edge in pixels
        const char *words;                  // the text shown
    } cases[] = {
        {0,      0,     100,   50,            150,                 "50%"},
        {65536,  65537, 0,     1,             0,                   "0%"},
        {65535,  70000, 65535, 70000 - 65536, 300 * 4464 / 65535,  "6%"},
        {3,      1,     3,     1,             100,                 "33%"},
        {0,      5,     0,     5,             0,                   "0%"},
        {131072, 5,     0,     5,             0,                   "0%"},
        {2,      3,     2,     3,             300,                 "150%"},
        {7,      7,     7,     7,             300,                 "100%"},
        {2,      1,     2,     1,             150,                 "50%"},
    };
    for (const auto &c : cases) {
        if (c.range || c.position) {
            SendMessageA(meter, MTR_SETRANGE, c.range, 0);
            EXPECT_FALSE(GetUpdateRect(meter, nullptr, FALSE));
            InvalidateRect(meter, nullptr, FALSE);
            SendMessageA(meter, MTR_SETPOS, c.position, 0);
            EXPECT_FALSE(GetUpdateRect(meter, nullptr, FALSE));
        }
        EXPECT_EQ(SendMessageA(meter, MTR_GETRANGE, 0, 0), c.read_range) << c.range;
        EXPECT_EQ(SendMessageA(meter, MTR_GETPOS, 0, 0), c.read_position) << c.position;
        expect_meter_shows(meter, c.edge, c.words);
    }
    EXPECT_TRUE(text_of(grab_client(meter), 150, highlight(), highlight_text()).crosses_colour);
    SendMessageA(meter, MTR_SETRANGE, 3, 0);
    SendMessageA(meter, MTR_SETPOS, 1, 0);
    SetWindowPos(meter, nullptr, 0, 0, 302, 40, SWP_NOZORDER | SWP_NOMOVE);
    expect_meter_shows(meter, 100, "33%"); // 302 / 3, cut down
    DestroyWindow(frame);
}

// What the timer saw of the confirmation box it answered.
struct box_record {
    int shown = 0;        // boxes answered
    std::string text;     // the box's message
    std::string caption;  // its title
    HWND owner = nullptr; // the window it was modal to
    bool yes_no = false;  // Yes and No, and no OK
};

box_record box_seen;
int box_answer;    // IDYES or IDNO
HWND box_answered; // the box already answered, still closing

BOOL CALLBACK find_message_box(HWND window, LPARAM found) {
    char name[16];
    GetClassNameA(window, name, sizeof name);
    if (strcmp(name, "#32770") || !GetDlgItem(window, 0xFFFF) || window == box_answered)
        return TRUE;
    *reinterpret_cast<HWND *>(found) = window;
    return FALSE;
}

// Runs from the box's own modal loop: records the box and answers it.
VOID CALLBACK answer_box(HWND, UINT, UINT_PTR, DWORD) {
    HWND box = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), find_message_box, LPARAM(&box));
    if (!box) return;
    char text[600];
    box_answered = box;
    box_seen.shown++;
    GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
    box_seen.text = text;
    GetWindowTextA(box, text, sizeof text);
    box_seen.caption = text;
    box_seen.owner = GetWindow(box, GW_OWNER);
    box_seen.yes_no = GetDlgItem(box, IDYES) && GetDlgItem(box, IDNO) && !GetDlgItem(box, IDOK);
    PostMessageA(box, WM_COMMAND, WPARAM(box_answer), 0);
}

// Sends message to the dialog with a timer ready to answer any box with
// answer, then serves what the dialog posted itself; returns the boxes seen.
int ask(HWND dialog, UINT message, WPARAM wp, int answer) {
    box_seen = box_record();
    box_answer = answer;
    box_answered = nullptr;
    UINT_PTR timer = SetTimer(nullptr, 0, 20, answer_box);
    SendMessageA(dialog, message, wp, 0);
    MSG m;
    for (DWORD start = GetTickCount(); GetTickCount() - start < 200; Sleep(5))
        while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE))
            TranslateMessage(&m), DispatchMessageA(&m);
    KillTimer(nullptr, timer);
    return box_seen.shown;
}

// Dialog 300 as the setup driver makes it: created hidden, then shown.
struct ProgressDialog : ::testing::Test {
    HWND dialog = nullptr;
    void SetUp() override {
        register_once();
        cancel_flag = 0;
        copy_byte_counter = 0;
        dialog = create_progress_dialog(instance());
        ASSERT_NE(dialog, nullptr);
        EXPECT_FALSE(IsWindowVisible(dialog));
        ShowWindow(dialog, SW_SHOW);
    }
    void TearDown() override { DestroyWindow(dialog); }
    std::string line(int id) {
        char text[100];
        GetDlgItemTextA(dialog, id, text, sizeof text);
        return text;
    }
    LRESULT bar(UINT message) { return SendDlgItemMessageA(dialog, IDC_PRG_METER, message, 0, 0); }
    LRESULT advance(WPARAM units) { return SendMessageA(dialog, PRG_ADVANCE, units, 0); }
    bool cancel_enabled() { return IsWindowEnabled(GetDlgItem(dialog, IDC_CANCEL)); }
    void fill_in() {
        progress_set_title(dialog, "Installing");
        progress_set_file(dialog, "readme.txt");
        progress_set_range(dialog, 10);
        progress_set_pos(dialog, 4);
    }
    // Shows the dialog again: its lines empty, its bar unset.
    void expect_reset_on_showing() {
        ShowWindow(dialog, SW_HIDE);
        ShowWindow(dialog, SW_SHOW);
        EXPECT_EQ(line(IDC_PRG_TITLE), "");
        EXPECT_EQ(line(IDC_PRG_FILE), "");
        EXPECT_EQ(bar(MTR_GETRANGE), 0);
        EXPECT_EQ(bar(MTR_GETPOS), 0);
        expect_meter_shows(GetDlgItem(dialog, IDC_PRG_METER), 0, "0%");
    }
};

// Centred on the screen under its caption, the bar showing what was set;
// every showing empties it again and enables Cancel.
TEST_F(ProgressDialog, StartsCentredAndEveryShowingResetsIt) {
    char title[64];
    GetWindowTextA(dialog, title, sizeof title);
    EXPECT_STREQ(title, "Tarvex Setup");
    RECT r, client;
    GetWindowRect(dialog, &r);
    EXPECT_EQ(r.left, (GetSystemMetrics(SM_CXSCREEN) - (r.right - r.left)) / 2);
    EXPECT_EQ(r.top, (GetSystemMetrics(SM_CYSCREEN) - (r.bottom - r.top)) / 2);
    fill_in();
    HWND meter = GetDlgItem(dialog, IDC_PRG_METER);
    GetClientRect(meter, &client);
    expect_meter_shows(meter, client.right * 4 / 10, "40%");
    EnableWindow(GetDlgItem(dialog, IDC_CANCEL), FALSE);
    expect_reset_on_showing();
    EXPECT_TRUE(cancel_enabled());
}

// Cancel, command 1 and the system menu's Close ask; a No leaves everything
// as it was, other commands ask nothing.
TEST_F(ProgressDialog, CancelAsksAndNoLeavesEverythingAsItWas) {
    fill_in();
    const struct {
        UINT message; // sent to the dialog
        WPARAM wp;    // its parameter
        int boxes;    // questions asked
    } cases[] = {
        {WM_COMMAND,    IDCANCEL,                            1},
        {WM_COMMAND,    IDOK,                                1},
        {WM_SYSCOMMAND, SC_CLOSE,                            1},
        {WM_COMMAND,    MAKEWPARAM(IDCANCEL, BN_SETFOCUS),   0},
        {WM_COMMAND,    3,                                   0},
    };
    for (const auto &c : cases) {
        ASSERT_EQ(ask(dialog, c.message, c.wp, IDNO), c.boxes) << c.message << " " << c.wp;
        if (!c.boxes) continue;
        EXPECT_EQ(box_seen.text, "Setup has not completed installing the software.\n"
                                 "Are you sure you want to cancel?");
        EXPECT_EQ(box_seen.caption, "Tarvex Setup");
        EXPECT_EQ(box_seen.owner, dialog);
        EXPECT_TRUE(box_seen.yes_no);
    }
    EXPECT_EQ(cancel_flag, 0);
    EXPECT_TRUE(cancel_enabled());
    EXPECT_EQ(line(IDC_PRG_FILE), "readme.txt");
    EXPECT_EQ(advance(4), 0);
}

// Advance goes on from the copied bytes and answers whether Yes was said; a
// No after the cancellation was confirmed could not undo it, so nothing asks
// again, and showing the dialog again keeps Cancel disabled.
TEST_F(ProgressDialog, AYesIsAnsweredByAdvanceAndNeverAskedAgain) {
    copy_byte_counter = 30720;
    EXPECT_EQ(advance(5), 0);
    EXPECT_EQ(bar(MTR_GETPOS), 8);
    ASSERT_EQ(ask(dialog, WM_COMMAND, IDCANCEL, IDYES), 1);
    EXPECT_EQ(cancel_flag, 1);
    EXPECT_FALSE(cancel_enabled());
    EXPECT_EQ(advance(6), 1);
    EXPECT_EQ(bar(MTR_GETPOS), 9);
    EXPECT_EQ(ask(dialog, WM_COMMAND, IDOK, IDNO), 0);
    EXPECT_EQ(ask(dialog, WM_SYSCOMMAND, SC_CLOSE, IDNO), 0);
    fill_in();
    expect_reset_on_showing();
    EXPECT_EQ(cancel_flag, 1);
    EXPECT_FALSE(cancel_enabled());
}

} // namespace
