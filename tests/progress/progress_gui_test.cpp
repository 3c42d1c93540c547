// The progress display on the real platform: the Meter's 16-bit values and
// the pixels it paints, and dialog 300 with its reset on showing, its advance
// and its Cancel question, answered from a timer inside the box's own loop.
#include "common/state.h"
#include "progress/progress.h"
#include "progress/progress_win32.h"
#include "resources/dialog.h"
#include "tools/driver/driver.h"

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

// What the window's client area shows once painted.
pixels grab_client(HWND window) {
    UpdateWindow(window);
    RECT r;
    GetClientRect(window, &r);
    HDC dc = GetDC(window);
    pixels p = {};
    make_pixels(&p, r.right, r.bottom, 32, dc);
    ReleaseDC(window, dc);
    return p;
}

// The text's pixels: those that differ from the background of their part.
struct ink {
    std::vector<std::string> rows; // '#' for text, '.' for background, cut to the text
    int left = -1, right = -1;     // outermost text columns
    bool crosses_colour = false;   // each part's text in the other part's background colour
};

ink text_of(const pixels &p, int edge, COLORREF fill, COLORREF rest) {
    ink t;
    int top = p.height, bottom = -1;
    bool left_part = false, right_part = false;
    for (int y = 0; y < p.height; y++)
        for (int x = 0; x < p.width; x++)
            if (pixel_at(p, x, y) != (x < edge ? fill : rest)) {
                if (t.left < 0 || x < t.left) t.left = x;
                if (x > t.right) t.right = x;
                if (y < top) top = y;
                bottom = y;
                COLORREF other = x < edge ? rest : fill;
                (x < edge ? left_part : right_part) |= pixel_at(p, x, y) == other;
            }
    for (int y = top; y <= bottom; y++) {
        std::string row;
        for (int x = t.left; x <= t.right; x++)
            row += pixel_at(p, x, y) != (x < edge ? fill : rest) ? '#' : '.';
        t.rows.push_back(row);
    }
    t.crosses_colour = left_part && right_part;
    return t;
}

// The oracle for the text: the same words drawn plainly in the system font.
ink expected_text(const char *words) {
    pixels p;
    make_pixels(&p, 100, 40, 32);
    SelectObject(p.dc, GetStockObject(SYSTEM_FONT));
    RECT all = {0, 0, 100, 40};
    FillRect(p.dc, &all, HBRUSH(GetStockObject(WHITE_BRUSH)));
    SetBkMode(p.dc, TRANSPARENT);
    TextOutA(p.dc, 10, 10, words, int(strlen(words)));
    GdiFlush();
    ink t = text_of(p, 0, 0, RGB(255, 255, 255));
    free_pixels(&p);
    return t;
}

// Checks the bar's edge on its bottom row, and the words centred across it.
void expect_meter_shows(HWND meter, int edge, const char *words) {
    pixels p = grab_client(meter);
    for (int x = 0; x < p.width; x++)
        ASSERT_EQ(pixel_at(p, x, p.height - 1), x < edge ? highlight() : highlight_text())
            << "x " << x;
    ink shown = text_of(p, edge, highlight(), highlight_text());
    EXPECT_EQ(shown.rows, expected_text(words).rows) << words;
    EXPECT_LE(abs(shown.left + shown.right + 1 - p.width), 3) << "text not centred";
    free_pixels(&p);
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
    pixels crossed = grab_client(meter);
    EXPECT_TRUE(text_of(crossed, 150, highlight(), highlight_text()).crosses_colour);
    free_pixels(&crossed);
    SendMessageA(meter, MTR_SETRANGE, 3, 0);
    SendMessageA(meter, MTR_SETPOS, 1, 0);
    SetWindowPos(meter, nullptr, 0, 0, 302, 40, SWP_NOZORDER | SWP_NOMOVE);
    expect_meter_shows(meter, 100, "33%"); // 302 / 3, cut down
    DestroyWindow(frame);
}

// The confirmation box, seen and answered from a timer inside its own modal
// loop; its words, caption, icon and owner are the end-to-end scenarios'.
// Sends message to the dialog with a timer ready to answer any box with
// answer, then serves what the dialog posted itself; returns the boxes seen.
int ask(HWND dialog, UINT message, WPARAM wp, int answer) {
    UINT_PTR timer = answer_boxes_with(WPARAM(answer));
    SendMessageA(dialog, message, wp, 0);
    driver_pump(nullptr, 200);
    KillTimer(nullptr, timer);
    return int(boxes.texts.size());
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
        EXPECT_EQ(line(IDC_PRG_TITLE) + line(IDC_PRG_FILE), "");
        EXPECT_EQ(bar(MTR_GETRANGE) + bar(MTR_GETPOS), 0);
        expect_meter_shows(GetDlgItem(dialog, IDC_PRG_METER), 0, "0%");
    }
};

// Centred on the screen under its caption, the bar showing what was set;
// every showing empties it again and enables Cancel.  Then Cancel, command 1
// and the system menu's Close ask, other commands do not; a No leaves
// everything as it was.  Advance goes on from the copied bytes and answers
// whether Yes was said; a No after a confirmed cancellation could not undo
// it, so nothing asks again, and showing the dialog keeps Cancel off.
TEST_F(ProgressDialog, StartsCentredResetsOnShowingAndAsksBeforeCancelling) {
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
    fill_in();
    const struct {
        UINT message; // sent to the dialog
        WPARAM wp;    // its parameter
        int answer;   // IDYES or IDNO
        int boxes;    // questions asked
        int flag;     // the cancel flag after it
    } cases[] = {
        {WM_COMMAND,    IDCANCEL,                          IDNO,  1, 0},
        {WM_COMMAND,    IDOK,                              IDNO,  1, 0},
        {WM_SYSCOMMAND, SC_CLOSE,                          IDNO,  1, 0},
        {WM_COMMAND,    MAKEWPARAM(IDCANCEL, BN_SETFOCUS), IDYES, 0, 0},
        {WM_COMMAND,    3,                                 IDYES, 0, 0},
        {WM_COMMAND,    IDCANCEL,                          IDYES, 1, 1},
        {WM_COMMAND,    IDOK,                              IDNO,  0, 1},
        {WM_SYSCOMMAND, SC_CLOSE,                          IDNO,  0, 1},
    };
    copy_byte_counter = 30720;
    EXPECT_EQ(advance(5), 0);
    EXPECT_EQ(bar(MTR_GETPOS), 8);
    for (const auto &c : cases) {
        EXPECT_EQ(ask(dialog, c.message, c.wp, c.answer), c.boxes) << c.message << " " << c.wp;
        EXPECT_EQ(cancel_flag, c.flag) << c.message << " " << c.wp;
        EXPECT_EQ(cancel_enabled(), !c.flag);
    }
    EXPECT_EQ(line(IDC_PRG_FILE), "readme.txt");
    EXPECT_EQ(advance(6), 1);
    EXPECT_EQ(bar(MTR_GETPOS), 9);
    fill_in();
    expect_reset_on_showing();
    EXPECT_EQ(cancel_flag, 1);
    EXPECT_FALSE(cancel_enabled());
}

} // namespace
