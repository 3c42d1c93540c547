/*
 * posix.h: what the POSIX port of the platform (posix_*.cpp) offers beyond
 * platform.h, for the host tools that run on it and for the test simulator
 * (host.h) that is linked on top of it.
 *
 * The port runs the portable code on real files with the rules of the
 * platform (share modes, creation times, names without case, drive
 * letters); its desktop is the console: a box is a line on standard error
 * answered with its default button, a window is its procedure, and there are
 * no profiles, registry values or other programs.
 */
#ifndef TARVEX_PLATFORM_POSIX_H
#define TARVEX_PLATFORM_POSIX_H

#include "platform/platform.h"

#include <string>

/* The file and memory operations of platform.h go through this table, so
   that a simulator can wrap them (to count calls and make one fail) while
   the port itself carries none of that. */
struct posix_io_ops {
    plat_file (*lopen)(const char *path, int mode);                   /* plat_lopen */
    plat_file (*lcreat)(const char *path, int attributes);            /* plat_lcreat */
    uint32_t (*lread)(plat_file f, void *buf, uint32_t count);        /* plat_lread */
    uint32_t (*lwrite)(plat_file f, const void *buf, uint32_t count); /* plat_lwrite */
    int32_t (*llseek)(plat_file f, int32_t offset, int origin);       /* plat_llseek */
    plat_file (*lclose)(plat_file f);                                 /* plat_lclose */
    void *(*global_alloc)(uint32_t size, int zeroed);                 /* plat_global_alloc */
    void *(*malloc)(size_t size);                                     /* plat_malloc */
    void (*free)(void *block); /* plat_free and plat_global_free */
};
extern const posix_io_ops posix_io_native; /* the port's own operations */
extern posix_io_ops posix_io;              /* the ones in use; the native ones at start */

/* A window's procedure: item -1 for the window, else the control's id. */
typedef plat_lparam (*posix_procedure)(plat_window w, int item, unsigned msg, plat_wparam wp,
                                       plat_lparam lp);
/* A console window: every message sent or posted to it goes to procedure. */
plat_window posix_window(posix_procedure procedure);

/* Turns a Windows path into the host path of the file it names. */
std::string posix_path(const char *path);
/* A path that starts with "X:" is looked for under dir ('/' and '\' both
   separate); without a map the drive prefix is taken off. */
void posix_map_drive(char letter, const char *dir);
/* The text of id in the string table built into the program, or null. */
const char *posix_string(unsigned id);
/* Milliseconds of the system's monotonic clock, cut to 32 bits. */
uint32_t posix_ticks(void);

/* Forgets the drive maps and the creation times set, and puts the native
   operations back: the port as at program start. */
void posix_reset(void);

#endif
