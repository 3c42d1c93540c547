/*
 * platform.h: every service of the operating system that the portable code
 * uses, as one list of operations.
 *
 * Two layers implement it: win32.cpp, where each operation is a thin call of
 * the ANSI function named beside it, and the POSIX port (posix_*.cpp,
 * posix.h), which runs the same rules on POSIX files with the console as its
 * desktop.  The host tests link the simulator (sim_*.cpp) on top of the
 * port, so that they can script answers and see what was shown (host.h).
 * Nothing outside platform/ may include a system header for these services;
 * the Win32-only GUI files (dialog procedures, the Meter's painting, the
 * process entry) include win32_native.h instead.
 *
 * The types are the platform's in width and meaning, under names of our own,
 * so that this header never needs <windows.h>.  Constants keep the spelling
 * and value the platform gives them; when <windows.h> is already included
 * they come from there and are checked against ours in win32.cpp.
 */
#ifndef TARVEX_PLATFORM_H
#define TARVEX_PLATFORM_H

#include <cstdarg>
#include <cstddef>
#include <cstdint>

typedef void *plat_window;     /* a window (HWND); null is none */
typedef int plat_file;         /* a file opened by handle (HFILE) */
typedef uintptr_t plat_wparam; /* WPARAM */
typedef intptr_t plat_lparam;  /* LPARAM, and LRESULT */

struct plat_filetime {       /* FILETIME: 100 ns units since 1601 */
    uint32_t dwLowDateTime;  /* low 32 bits */
    uint32_t dwHighDateTime; /* high 32 bits */
};

struct plat_find_data {             /* what a file probe keeps of a match */
    uint32_t dwFileAttributes;      /* FILE_ATTRIBUTE_* bits */
    plat_filetime ftCreationTime;   /* creation time (UTC) */
    plat_filetime ftLastAccessTime; /* last access time (UTC) */
    plat_filetime ftLastWriteTime;  /* last write time (UTC) */
    uint32_t nFileSizeHigh;         /* size, high 32 bits */
    uint32_t nFileSizeLow;          /* size, low 32 bits */
    char cFileName[260];            /* the name as the file system stores it */
};

#ifndef _WINDOWS_ /* <windows.h> not included: give the platform's values */
#define HFILE_ERROR              (-1)
#define OF_READ                  0x0000
#define OF_WRITE                 0x0001
#define OF_READWRITE             0x0002
#define OF_SHARE_EXCLUSIVE       0x0010
#define OF_SHARE_DENY_WRITE      0x0020
#define FILE_BEGIN               0
#define FILE_CURRENT             1
#define FILE_END                 2
#define FILE_ATTRIBUTE_DIRECTORY 0x10

#define MB_OK              0x0000
#define MB_YESNO           0x0004
#define MB_ICONERROR       0x0010
#define MB_ICONQUESTION    0x0020
#define MB_ICONINFORMATION 0x0040
#define MB_TASKMODAL       0x2000
#define IDOK               1
#define IDCANCEL           2
#define IDYES              6
#define IDNO               7

#define WM_USER    0x0400
#define WM_COMMAND 0x0111
#define SW_HIDE    0
#define SW_SHOW    5
#endif

/* ---- Files by handle (_lopen and its family) ---------------------------- */
plat_file plat_lopen(const char *path, int mode);                   /* _lopen */
plat_file plat_lcreat(const char *path, int attributes);            /* _lcreat */
uint32_t plat_lread(plat_file f, void *buf, uint32_t count);        /* _lread */
uint32_t plat_lwrite(plat_file f, const void *buf, uint32_t count); /* _lwrite */
int32_t plat_llseek(plat_file f, int32_t offset, int origin);       /* _llseek */
plat_file plat_lclose(plat_file f);                                 /* _lclose */
int plat_remove(const char *path);                                  /* DeleteFileA: 0 done */

/* Looks a path up (FindFirstFileA, closed at once with FindClose): 1 found. */
int plat_find_first(const char *path, plat_find_data *found);

int plat_get_file_time(plat_file f, plat_filetime *created, plat_filetime *accessed,
                       plat_filetime *written); /* GetFileTime */
int plat_set_file_time(plat_file f, const plat_filetime *created, const plat_filetime *accessed,
                       const plat_filetime *written); /* SetFileTime */
int plat_dos_to_file_time(uint16_t dos_date, uint16_t dos_time,
                          plat_filetime *out); /* DosDateTimeToFileTime */
int plat_local_to_file_time(const plat_filetime *local,
                            plat_filetime *utc); /* LocalFileTimeToFileTime */

int plat_chdir(const char *path); /* _chdir (SetCurrentDirectoryA): 0 done */
int plat_mkdir(const char *path); /* _mkdir (CreateDirectoryA): 0 done */

/* ---- Memory ------------------------------------------------------------- */
/* A moveable global block, locked for its whole life (GlobalAlloc with
   GMEM_MOVEABLE, and GMEM_ZEROINIT when zeroed, then GlobalLock). */
void *plat_global_alloc(uint32_t size, int zeroed);
/* Releases such a block by its locked address (GlobalHandle, GlobalUnlock,
   GlobalFree); null does nothing. */
void plat_global_free(void *block);
void *plat_malloc(size_t size); /* malloc (HeapAlloc of the process heap) */
void plat_free(void *block);    /* free (HeapFree); null does nothing */

/* ---- Texts -------------------------------------------------------------- */
void plat_oem_to_ansi(char *text);                     /* OemToCharA, in place */
void plat_ansi_to_oem(char *text);                     /* CharToOemA, in place */
int plat_compare_nocase(const char *a, const char *b); /* lstrcmpiA */
/* LoadStringA from the program's own module: the length loaded, 0 when the id
   has no text.  At most capacity - 1 characters, always terminated. */
int plat_load_string(unsigned id, char *buf, int capacity);
/* wvsprintfA / wsprintfA, never writing more than capacity bytes (the text is
   cut and terminated).  Returns the length written. */
int plat_vformat(char *buf, size_t capacity, const char *format, va_list args);
int plat_format(char *buf, size_t capacity, const char *format, ...);
void plat_write_stderr(const char *text); /* WriteFile to GetStdHandle(STD_ERROR_HANDLE) */

/* ---- Windows and messages ------------------------------------------------ */
/* MessageBoxA; a null caption gives the platform's default one. */
int plat_message_box(plat_window owner, const char *text, const char *caption, unsigned style);
plat_lparam plat_send_message(plat_window w, unsigned msg, plat_wparam wp,
                              plat_lparam lp); /* SendMessageA */
int plat_post_message(plat_window w, unsigned msg, plat_wparam wp,
                      plat_lparam lp); /* PostMessageA */
plat_lparam plat_send_item_message(plat_window dialog, int item, unsigned msg, plat_wparam wp,
                                   plat_lparam lp);                      /* SendDlgItemMessageA */
void plat_set_item_text(plat_window dialog, int item, const char *text); /* SetDlgItemTextA */
int plat_get_item_text(plat_window dialog, int item, char *buf, int capacity); /* GetDlgItemTextA */
void plat_enable_item(plat_window dialog, int item, int enable); /* EnableWindow(GetDlgItem) */
void plat_update_item(plat_window dialog, int item);             /* UpdateWindow(GetDlgItem) */
/* Takes every waiting message of the thread (PeekMessageA with PM_REMOVE) and
   dispatches it, through TranslateMessage first when translate is set. */
void plat_drain_messages(int translate);
plat_window plat_find_window(const char *class_name); /* FindWindowA(class, NULL) */
uint32_t plat_tick_count(void);                       /* GetTickCount */
/* 1 when the system keeps the SSE2 registers of a process, so that code using
   them may run once the processor has them (IsProcessorFeaturePresent with
   PF_XMMI64_INSTRUCTIONS_AVAILABLE, looked up: Windows 95 lacks it). */
int plat_sse2_usable(void);

/* ---- Profiles, registry, process ----------------------------------------- */
int plat_get_profile_string(const char *section, const char *key, const char *fallback, char *buf,
                            int capacity); /* GetProfileStringA */
int plat_get_private_profile_string(const char *section, const char *key, const char *fallback,
                                    char *buf, int capacity,
                                    const char *file); /* GetPrivateProfileStringA */
int plat_write_private_profile_string(const char *section, const char *key, const char *value,
                                      const char *file);
/* RegOpenKeyA(HKEY_LOCAL_MACHINE, key), RegQueryValueExA(value) into buf of
 *size bytes, RegCloseKey: 1 when the value was read (*size its length). */
int plat_read_machine_value(const char *key, const char *value, char *buf, uint32_t *size);
uint32_t plat_module_file_name(char *buf, uint32_t capacity); /* GetModuleFileNameA */
unsigned plat_win_exec(const char *command_line, int show);   /* WinExec */
int plat_exit_windows(void);                                  /* ExitWindowsEx(0, 0xFFFFFFFF) */
/* Claims name for this process until it ends (CreateMutexA, the handle kept
   open): 0 when another process holds it already, 1 otherwise. */
int plat_claim_instance(const char *name);

#endif
