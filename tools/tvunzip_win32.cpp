/*
 * tvunzip_win32.cpp: tvunzip's owner window under Windows: a window of its
 * own class, never shown, whose procedure passes the engine's progress
 * messages on.  No box appears over it: the engine's messages go to
 * standard error (messages_on_console).
 */
#include "platform/win32_native.h"

#include "progress/progress.h"
#include "tools/tvunzip.h"

#include <io.h>

namespace {

const char OWNER_CLASS[] = "TvunzipOwner";

LRESULT CALLBACK owner_procedure(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == PRG_SHOWFILE || msg == PRG_ADVANCE) return tvunzip_progress(msg, wp, lp);
    return DefWindowProcA(w, msg, wp, lp);
}

} /* namespace */

plat_window tvunzip_open_owner(void) {
    WNDCLASSA wc;
    ZeroMemory(&wc, sizeof wc);
    wc.lpfnWndProc = owner_procedure;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = OWNER_CLASS;
    RegisterClassA(&wc);
    /* A message-only window (parent HWND_MESSAGE, -3) needs no display. */
    HWND message_only = reinterpret_cast<HWND>(static_cast<INT_PTR>(-3));
    return CreateWindowA(OWNER_CLASS, "", 0, 0, 0, 0, 0, message_only, nullptr, wc.hInstance,
                         nullptr);
}

int tvunzip_stderr_is_terminal(void) { return _isatty(2); }
