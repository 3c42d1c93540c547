/*
 * centre_win32.h: placing a dialog in the middle of the screen, which every
 * dialog of the program does when it starts (install directory, restart and
 * progress dialogs).
 */
#ifndef TARVEX_PROGRESS_CENTRE_WIN32_H
#define TARVEX_PROGRESS_CENTRE_WIN32_H

#include "platform/win32_native.h"

/* Moves window so that its outer rectangle sits in the middle of the screen,
   keeping its size and its place in the Z order. */
void centre_on_screen(HWND window);

#endif
