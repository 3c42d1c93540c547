/*
 * win32.cpp: the platform operations on 32-bit Windows.
 *
 * Each operation is a thin call of the ANSI function named beside it in
 * platform.h.  The work done here beyond the call is only what keeps a
 * caller's buffer safe: texts that the platform may leave unterminated or
 * write past a capacity (the formatter, the module path, a registry value)
 * are cut and terminated within the caller's buffer.
 *
 * The runtime library's services (heap, directories, file removal, the
 * standard error stream) are Win32 calls too: SETUP.EXE links no C runtime,
 * and its memory and string functions are its own (runtime.cpp).
 *
 * <windows.h> comes before platform.h, so the constants are the platform's
 * own; the checks below make sure that the values portable code was written
 * against are the ones the platform uses.
 */
#include <windows.h>

#include "platform/platform.h"

#include <cstring>

/* ---- Our types and constants against the platform's ----------------------- */
static_assert(sizeof(plat_window) == sizeof(HWND), "window handle width");
static_assert(sizeof(plat_file) == sizeof(HFILE), "file handle width");
static_assert(sizeof(plat_wparam) == sizeof(WPARAM), "WPARAM width");
static_assert(sizeof(plat_lparam) == sizeof(LPARAM), "LPARAM width");
static_assert(sizeof(plat_lparam) == sizeof(LRESULT), "LRESULT width");
static_assert(sizeof(plat_filetime) == sizeof(FILETIME), "FILETIME layout");
static_assert(sizeof(plat_find_data::cFileName) == sizeof(WIN32_FIND_DATAA::cFileName),
              "file name capacity");

static_assert(HFILE_ERROR == -1, "HFILE_ERROR");
static_assert(OF_READ == 0x0000 && OF_WRITE == 0x0001 && OF_READWRITE == 0x0002, "OF_ access");
static_assert(OF_SHARE_EXCLUSIVE == 0x0010 && OF_SHARE_DENY_WRITE == 0x0020, "OF_SHARE_");
static_assert(FILE_BEGIN == 0 && FILE_CURRENT == 1 && FILE_END == 2, "seek origins");
static_assert(FILE_ATTRIBUTE_DIRECTORY == 0x10, "directory attribute");
static_assert(MB_OK == 0x0000 && MB_YESNO == 0x0004, "MB_ buttons");
static_assert(MB_ICONERROR == 0x0010 && MB_ICONQUESTION == 0x0020, "MB_ icons");
static_assert(MB_ICONINFORMATION == 0x0040 && MB_TASKMODAL == 0x2000, "MB_ icon, modality");
static_assert(IDOK == 1 && IDCANCEL == 2 && IDYES == 6 && IDNO == 7, "button codes");
static_assert(WM_USER == 0x0400 && WM_COMMAND == 0x0111, "window messages");
static_assert(SW_HIDE == 0 && SW_SHOW == 5, "show states");

namespace {

HANDLE file_handle(plat_file f) { return reinterpret_cast<HANDLE>(static_cast<intptr_t>(f)); }

FILETIME to_native(const plat_filetime &t) {
    FILETIME n;
    n.dwLowDateTime = t.dwLowDateTime;
    n.dwHighDateTime = t.dwHighDateTime;
    return n;
}

plat_filetime from_native(const FILETIME &n) {
    plat_filetime t;
    t.dwLowDateTime = n.dwLowDateTime;
    t.dwHighDateTime = n.dwHighDateTime;
    return t;
}

/* The platform's formatter writes up to this many characters and a NUL. */
enum { FORMAT_LIMIT = 1024 };

} /* namespace */

/* ========================================================================= */
/* Files                                                                      */

plat_file plat_lopen(const char *path, int mode) { return _lopen(path, mode); }
plat_file plat_lcreat(const char *path, int attributes) { return _lcreat(path, attributes); }

uint32_t plat_lread(plat_file f, void *buf, uint32_t count) { return _lread(f, buf, count); }

uint32_t plat_lwrite(plat_file f, const void *buf, uint32_t count) {
    return _lwrite(f, static_cast<LPCCH>(buf), count);
}

int32_t plat_llseek(plat_file f, int32_t offset, int origin) { return _llseek(f, offset, origin); }

plat_file plat_lclose(plat_file f) { return _lclose(f); }
int plat_remove(const char *path) { return DeleteFileA(path) ? 0 : -1; }

int plat_find_first(const char *path, plat_find_data *found) {
    WIN32_FIND_DATAA data;
    HANDLE search = FindFirstFileA(path, &data);
    if (search == INVALID_HANDLE_VALUE) return 0;
    FindClose(search);
    found->dwFileAttributes = data.dwFileAttributes;
    found->ftCreationTime = from_native(data.ftCreationTime);
    found->ftLastAccessTime = from_native(data.ftLastAccessTime);
    found->ftLastWriteTime = from_native(data.ftLastWriteTime);
    found->nFileSizeHigh = data.nFileSizeHigh;
    found->nFileSizeLow = data.nFileSizeLow;
    memcpy(found->cFileName, data.cFileName, sizeof found->cFileName);
    found->cFileName[sizeof found->cFileName - 1] = 0;
    return 1;
}

int plat_get_file_time(plat_file f, plat_filetime *created, plat_filetime *accessed,
                       plat_filetime *written) {
    FILETIME c, a, w;
    if (!GetFileTime(file_handle(f), &c, &a, &w)) return 0;
    if (created) *created = from_native(c);
    if (accessed) *accessed = from_native(a);
    if (written) *written = from_native(w);
    return 1;
}

int plat_set_file_time(plat_file f, const plat_filetime *created, const plat_filetime *accessed,
                       const plat_filetime *written) {
    FILETIME c, a, w;
    if (created) c = to_native(*created);
    if (accessed) a = to_native(*accessed);
    if (written) w = to_native(*written);
    return SetFileTime(file_handle(f), created ? &c : nullptr, accessed ? &a : nullptr,
                       written ? &w : nullptr) != 0;
}

int plat_dos_to_file_time(uint16_t dos_date, uint16_t dos_time, plat_filetime *out) {
    FILETIME n;
    if (!DosDateTimeToFileTime(dos_date, dos_time, &n)) return 0;
    *out = from_native(n);
    return 1;
}

int plat_local_to_file_time(const plat_filetime *local, plat_filetime *utc) {
    FILETIME in = to_native(*local), out;
    if (!LocalFileTimeToFileTime(&in, &out)) return 0;
    *utc = from_native(out);
    return 1;
}

int plat_chdir(const char *path) { return SetCurrentDirectoryA(path) ? 0 : -1; }
int plat_mkdir(const char *path) { return CreateDirectoryA(path, nullptr) ? 0 : -1; }

/* ========================================================================= */
/* Memory                                                                     */

void *plat_global_alloc(uint32_t size, int zeroed) {
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | (zeroed ? GMEM_ZEROINIT : 0), size);
    if (!block) return nullptr;
    void *locked = GlobalLock(block);
    if (!locked) GlobalFree(block);
    return locked;
}

void plat_global_free(void *block) {
    if (!block) return;
    HGLOBAL handle = GlobalHandle(block);
    if (!handle) return;
    GlobalUnlock(handle);
    GlobalFree(handle);
}

void *plat_malloc(size_t size) { return HeapAlloc(GetProcessHeap(), 0, size); }

void plat_free(void *block) {
    if (block) HeapFree(GetProcessHeap(), 0, block);
}

/* ========================================================================= */
/* Texts                                                                      */

void plat_oem_to_ansi(char *text) { OemToCharA(text, text); }
void plat_ansi_to_oem(char *text) { CharToOemA(text, text); }
int plat_compare_nocase(const char *a, const char *b) { return lstrcmpiA(a, b); }

int plat_load_string(unsigned id, char *buf, int capacity) {
    if (capacity <= 0) return 0;
    buf[0] = 0;
    int n = LoadStringA(GetModuleHandleA(nullptr), id, buf, capacity);
    if (n < 0) n = 0;
    if (n > capacity - 1) n = capacity - 1;
    buf[n] = 0;
    return n;
}

/* The platform's formatter has no capacity of its own: it writes into a
   buffer that always holds its whole output, and the caller gets as much of
   that as fits. */
int plat_vformat(char *buf, size_t capacity, const char *format, va_list args) {
    if (capacity == 0) return 0;
    char whole[FORMAT_LIMIT + 1];
    whole[0] = 0;
    wvsprintfA(whole, format, args);
    whole[FORMAT_LIMIT] = 0;
    size_t n = strlen(whole);
    if (n > capacity - 1) n = capacity - 1;
    memcpy(buf, whole, n);
    buf[n] = 0;
    return int(n);
}

/* A program without a console has no handle here, and the text goes nowhere. */
void plat_write_stderr(const char *text) {
    HANDLE out = GetStdHandle(STD_ERROR_HANDLE);
    DWORD written;
    if (out && out != INVALID_HANDLE_VALUE) WriteFile(out, text, DWORD(lstrlenA(text)), &written, nullptr);
}

/* ========================================================================= */
/* Windows and messages                                                       */

int plat_message_box(plat_window owner, const char *text, const char *caption, unsigned style) {
    return MessageBoxA(static_cast<HWND>(owner), text, caption, style);
}

plat_lparam plat_send_message(plat_window w, unsigned msg, plat_wparam wp, plat_lparam lp) {
    return SendMessageA(static_cast<HWND>(w), msg, wp, lp);
}

int plat_post_message(plat_window w, unsigned msg, plat_wparam wp, plat_lparam lp) {
    return PostMessageA(static_cast<HWND>(w), msg, wp, lp) != 0;
}

plat_lparam plat_send_item_message(plat_window dialog, int item, unsigned msg, plat_wparam wp,
                                   plat_lparam lp) {
    return SendDlgItemMessageA(static_cast<HWND>(dialog), item, msg, wp, lp);
}

void plat_set_item_text(plat_window dialog, int item, const char *text) {
    SetDlgItemTextA(static_cast<HWND>(dialog), item, text);
}

int plat_get_item_text(plat_window dialog, int item, char *buf, int capacity) {
    if (capacity <= 0) return 0;
    buf[0] = 0;
    return int(GetDlgItemTextA(static_cast<HWND>(dialog), item, buf, capacity));
}

void plat_enable_item(plat_window dialog, int item, int enable) {
    EnableWindow(GetDlgItem(static_cast<HWND>(dialog), item), enable);
}

void plat_update_item(plat_window dialog, int item) {
    UpdateWindow(GetDlgItem(static_cast<HWND>(dialog), item));
}

void plat_drain_messages(int translate) {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (translate) TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

plat_window plat_find_window(const char *class_name) { return FindWindowA(class_name, nullptr); }
uint32_t plat_tick_count(void) { return GetTickCount(); }

/* ========================================================================= */
/* Profiles, registry, process                                               */

int plat_get_profile_string(const char *section, const char *key, const char *fallback, char *buf,
                            int capacity) {
    if (capacity <= 0) return 0;
    return int(GetProfileStringA(section, key, fallback, buf, DWORD(capacity)));
}

int plat_get_private_profile_string(const char *section, const char *key, const char *fallback,
                                    char *buf, int capacity, const char *file) {
    if (capacity <= 0) return 0;
    return int(GetPrivateProfileStringA(section, key, fallback, buf, DWORD(capacity), file));
}

int plat_write_private_profile_string(const char *section, const char *key, const char *value,
                                      const char *file) {
    return WritePrivateProfileStringA(section, key, value, file) != 0;
}

/* A value stored without its terminator, or filling the buffer to the last
   byte without one, is not handed out: the caller reads it as a text. */
int plat_read_machine_value(const char *key, const char *value, char *buf, uint32_t *size) {
    HKEY opened;
    if (*size == 0 || RegOpenKeyA(HKEY_LOCAL_MACHINE, key, &opened) != ERROR_SUCCESS) return 0;
    DWORD type, got = *size;
    LONG r = RegQueryValueExA(opened, value, nullptr, &type, reinterpret_cast<BYTE *>(buf), &got);
    RegCloseKey(opened);
    if (r != ERROR_SUCCESS || got > *size) return 0;
    if (got == 0 || buf[got - 1] != 0) {
        if (got >= *size) return 0;
        buf[got++] = 0;
    }
    *size = got;
    return 1;
}

/* A path longer than the buffer is cut to capacity - 1 characters, which
   the platform leaves unterminated on some versions. */
uint32_t plat_module_file_name(char *buf, uint32_t capacity) {
    if (capacity == 0) return 0;
    DWORD n = GetModuleFileNameA(nullptr, buf, capacity);
    if (n >= capacity) n = capacity - 1;
    buf[n] = 0;
    return n;
}

unsigned plat_win_exec(const char *command_line, int show) {
    return WinExec(command_line, UINT(show));
}

/* Windows 95's kernel lacks the function, NT 4.0's does not know the feature:
   on both the system does not keep the SSE registers across task switches. */
int plat_sse2_usable(void) {
    typedef BOOL(WINAPI * feature_query)(DWORD);
    FARPROC found = GetProcAddress(GetModuleHandleA("KERNEL32"), "IsProcessorFeaturePresent");
    if (!found) return 0;
    feature_query query = reinterpret_cast<feature_query>(reinterpret_cast<void (*)(void)>(found));
    return query(PF_XMMI64_INSTRUCTIONS_AVAILABLE) != 0;
}

int plat_exit_windows(void) { return ExitWindowsEx(0, 0xFFFFFFFF) != 0; }

/* A mutex that cannot be made tells nothing about other processes, so it
   counts as a claim. */
int plat_claim_instance(const char *name) {
    HANDLE mutex = CreateMutexA(nullptr, FALSE, name);
    if (mutex && GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(mutex);
        return 0;
    }
    return 1;
}
