/*
 * winmain.cpp: the process entry of SETUP.EXE, which the linker names as the
 * program's entry point: there is no C runtime to start the program, so
 * nothing runs before it and nothing after it but ExitProcess.
 *
 * The command line and the show state are ignored; the exit code is 0 on
 * every path.  The entry is called with a stack aligned to four bytes only,
 * so it aligns the stack for the code below it.
 */
#include "platform/win32_native.h"
#include "setup/sequence.h"

extern "C" __attribute__((force_align_arg_pointer, noreturn)) void setup_entry(void) {
    STARTUPINFOA startup;
    startup.cb = sizeof startup;
    GetStartupInfoA(&startup);
    HINSTANCE instance = GetModuleHandleA(nullptr);
    int show = startup.dwFlags & STARTF_USESHOWWINDOW ? startup.wShowWindow : SW_SHOWDEFAULT;
    (void)instance; /* every resource is loaded from the module by name */
    (void)show;     /* every window is shown in its normal state */
    run_setup();
    ExitProcess(0);
}
