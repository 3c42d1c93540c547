/*
 * tarvex32.cpp: a stand-in for the installed program, for the installation
 * tests and the demonstration disk.  Started with "/install" it writes
 * "started.txt" beside itself, recording where it lies, the directory it was
 * started in and its arguments, so that a test can see how setup handed over.
 * Without "/install" it does nothing.  It shows no window.
 */
#include "platform/win32_native.h"

#include <cstdio>
#include <cstring>

namespace {

enum { PATH_SIZE = MAX_PATH + 1 };

/* The directory of this program, with its trailing backslash. */
void own_directory(char *dir) {
    DWORD n = GetModuleFileNameA(nullptr, dir, PATH_SIZE - 1);
    dir[n < PATH_SIZE ? n : PATH_SIZE - 1] = 0;
    char *last = strrchr(dir, '\\');
    if (last) last[1] = 0;
}

void write_record(const char *dir, const char *arguments) {
    char path[PATH_SIZE + 16], current[PATH_SIZE];
    snprintf(path, sizeof path, "%sstarted.txt", dir);
    if (!GetCurrentDirectoryA(sizeof current, current)) current[0] = 0;
    FILE *f = fopen(path, "wb");
    if (!f) return;
    fprintf(f, "directory=%s\ncurrent=%s\narguments=%s\n", dir, current, arguments);
    fclose(f);
}

} /* namespace */

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR arguments, int show) {
    (void)instance;
    (void)previous;
    (void)show;
    if (!strstr(arguments, "/install")) return 0;
    char dir[PATH_SIZE];
    own_directory(dir);
    write_record(dir, arguments);
    return 0;
}
