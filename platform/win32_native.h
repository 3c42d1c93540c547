/*
 * win32_native.h: for the Win32-only GUI files (dialog procedures, the
 * Meter's painting, the process entry), which need the platform's own
 * declarations beside the portable ones.  <windows.h> comes first, so that
 * platform.h takes its constants from there.
 */
#ifndef TARVEX_PLATFORM_WIN32_NATIVE_H
#define TARVEX_PLATFORM_WIN32_NATIVE_H

#include <windows.h>

#include "platform/platform.h"

#endif
