/*
 * centre_win32.cpp: centring a dialog on the screen.  Shared by every dialog
 * of the program so that all of them land on the same spot for the same
 * size; a window larger than the screen gets a negative offset and keeps its
 * middle on the screen's middle.
 */
#include "progress/centre_win32.h"

void centre_on_screen(HWND window) {
    RECT outer;
    GetWindowRect(window, &outer);
    int width = outer.right - outer.left;
    int height = outer.bottom - outer.top;
    int left = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
    int top = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
    SetWindowPos(window, nullptr, left, top, 0, 0, SWP_NOZORDER | SWP_NOSIZE);
}
