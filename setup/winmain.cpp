/*
 * winmain.cpp: the process entry of SETUP.EXE.  The command line and the
 * show state are ignored; the exit code is 0 on every path.
 */
#include "platform/win32_native.h"
#include "setup/sequence.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR command_line, int show) {
    (void)instance;
    (void)previous;
    (void)command_line;
    (void)show;
    run_setup();
    return 0;
}
