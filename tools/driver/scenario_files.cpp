/*
 * scenario_files.cpp: the scenario steps on disks, files and the machine:
 * source disks laid out on drive C:, files damaged, moved, re-timed or held
 * open, windows of ours that stand for a running product or File Manager,
 * profile and registry entries, and the checks of what an installation left:
 * bytes and times compared with the disk, files that must not be there, the
 * record the started product wrote.
 */
#include "tools/driver/driver.h"

#include "unzip/engine.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

enum { LOCAL_HEADER = 0x04034B50, LOCAL_HEADER_SIZE = 30, STARTED_WAIT_MS = 5000 };

struct file_times { /* the three times of a file */
    FILETIME created, accessed, written;
};

struct setting {         /* one setting as it was before a step changed it */
    std::string profile; /* its profile file, "HKLM" for HKEY_LOCAL_MACHINE */
    std::string key;     /* registry key or profile section */
    std::string name;    /* value name or profile key */
    bool had;            /* whether it was there */
    std::string value;   /* what it held */
};

std::vector<setting> changed; /* latest last */
std::vector<HWND> windows;    /* windows of ours to close */
HWND holder;                  /* the window holding a file, one at a time */
HANDLE held;                  /* the file it holds, null once let go */
UINT release_message;         /* what makes it let go (0: only closing) */

/* A window of ours; the holder among them closes its file on its message, as
   a program does that unloads a DLL when asked to. */
LRESULT CALLBACK quiet_window(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
    if (w == holder && held && ((release_message && msg == release_message) || msg == WM_DESTROY))
        CloseHandle(held), held = nullptr;
    return DefWindowProcA(w, msg, wp, lp);
}

std::string read_file(const std::string &path) {
    std::string data;
    FILE *f = fopen(path.c_str(), "rb");
    if (!f) return "<missing " + path + ">";
    char chunk[65536];
    for (size_t n; (n = fread(chunk, 1, sizeof chunk, f)) > 0;) data.append(chunk, n);
    fclose(f);
    return data;
}

bool write_file(const std::string &path, const std::string &data) {
    FILE *f = fopen(path.c_str(), "wb");
    bool ok = f && fwrite(data.data(), 1, data.size(), f) == data.size();
    return (f && fclose(f) == 0 && ok) || step_failed("cannot write %s", path.c_str());
}

bool times_of(const std::string &path, file_times *t) {
    HANDLE f = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                           nullptr);
    BOOL ok = f != INVALID_HANDLE_VALUE && GetFileTime(f, &t->created, &t->accessed, &t->written);
    if (f != INVALID_HANDLE_VALUE) CloseHandle(f);
    return ok || step_failed("cannot read the times of %s", path.c_str());
}

ULONGLONG ticks(const FILETIME &t) { return ULONGLONG(t.dwHighDateTime) << 32 | t.dwLowDateTime; }

bool same_time(const char *what, const std::string &path, const FILETIME &seen,
               ULONGLONG expected) {
    return ticks(seen) == expected || step_failed("the %s time of %s differs", what, path.c_str());
}

bool same_bytes(const std::string &installed, const std::string &original) {
    return read_file(installed) == read_file(original) ||
           step_failed("%s differs from %s", installed.c_str(), original.c_str());
}

bool absent(const std::string &path) {
    return GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES ||
           step_failed("%s should not be there", path.c_str());
}

/* A loose file: the disk's bytes, and SETUP.EXE's last-write time as every
   one of its three times (times first: reading moves one). */
bool loose_installed(const std::string &target, const std::string &name) {
    std::string src = scenario_var("src");
    file_times setup, copy;
    return times_of(src + "SETUP.EXE", &setup) && times_of(target + name, &copy) &&
           same_time("last-write", name, copy.written, ticks(setup.written)) &&
           same_time("last-access", name, copy.accessed, ticks(setup.written)) &&
           same_time("creation", name, copy.created, ticks(setup.written)) &&
           same_bytes(target + name, src + name);
}

/* A member: the product file's bytes, and its time as the disk builder
   stored it, to the even second below, as the last-write time. */
bool member_installed(const std::string &target, const std::string &name) {
    std::string original = scenario_var("product") + "/" + name;
    file_times product, installed;
    return same_bytes(target + name, original) && times_of(original, &product) &&
           times_of(target + name, &installed) &&
           same_time("last-write", name, installed.written,
                     ticks(product.written) / 20000000 * 20000000);
}

/* The setting's value now, or false when it is not there. */
bool read_setting(const setting &s, std::string *value) {
    char text[MAX_PATH] = "\x01";
    DWORD size = sizeof text;
    if (s.profile != "HKLM")
        GetPrivateProfileStringA(s.key.c_str(), s.name.c_str(), "\x01", text, size,
                                 s.profile.c_str());
    else if (RegGetValueA(HKEY_LOCAL_MACHINE, s.key.c_str(), s.name.c_str(), RRF_RT_REG_SZ, nullptr,
                          text, &size))
        return false;
    return *value = text, *value != "\x01";
}

/* Sets the setting, or removes it when value is null. */
bool write_setting(const setting &s, const char *value) {
    HKEY opened;
    if (s.profile != "HKLM")
        return WritePrivateProfileStringA(s.key.c_str(), s.name.c_str(), value,
                                          s.profile.c_str()) ||
               !value;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, s.key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                        &opened, nullptr))
        return false;
    LONG r = value ? RegSetValueExA(opened, s.name.c_str(), 0, REG_SZ,
                                    reinterpret_cast<const BYTE *>(value), DWORD(strlen(value) + 1))
                   : RegDeleteValueA(opened, s.name.c_str());
    RegCloseKey(opened);
    return r == ERROR_SUCCESS || (!value && r == ERROR_FILE_NOT_FOUND);
}

/* ---- Steps ---------------------------------------------------------------- */

/* disk NAME [FROM]: SETUP.EXE, the archive and the loose files copied to
   C:\NAME\ (times kept), which becomes ${src}. */
bool disk(const words &w) {
    std::string dir = "C:\\" + w[1] + "\\", from = w.size() > 2 ? w[2] : scenario_var("sample");
    CreateDirectoryA(dir.c_str(), nullptr);
    words files = scenario_list("loose");
    files.insert(files.end(), {"SETUP.EXE", "setup.tv"});
    for (const std::string &f : files)
        if (!CopyFileA((from + "/" + f).c_str(), (dir + f).c_str(), FALSE))
            return step_failed("cannot copy %s/%s to %s", from.c_str(), f.c_str(), dir.c_str());
    scenario_set("src", dir);
    return true;
}

/* write PATH TEXT [SIZE]: the text, or SIZE bytes of it repeated, in a
   directory made for it if need be. */
bool write(const words &w) {
    CreateDirectoryA(w[1].substr(0, w[1].find_last_of('\\')).c_str(), nullptr);
    std::string data(w.size() > 3 ? size_t(strtoul(w[3].c_str(), nullptr, 0)) : w[2].size(), 0);
    for (size_t i = 0; i < data.size(); i++) data[i] = w[2][i % w[2].size()];
    return write_file(w[1], data);
}

bool stamp(const words &w) {
    file_times setup;
    if (!times_of(scenario_var("src") + "SETUP.EXE", &setup)) return false;
    ULONGLONG t = ticks(setup.written) + ULONGLONG(atoll(w[2].c_str()) * 10000000);
    FILETIME moved = {DWORD(t), DWORD(t >> 32)};
    HANDLE f = CreateFileA(w[1].c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    BOOL ok = f != INVALID_HANDLE_VALUE && SetFileTime(f, nullptr, nullptr, &moved);
    if (f != INVALID_HANDLE_VALUE) CloseHandle(f);
    return ok || step_failed("cannot set the time of %s", w[1].c_str());
}

bool move(const words &w) {
    return MoveFileA(w[1].c_str(), w[2].c_str()) ||
           step_failed("cannot move %s to %s", w[1].c_str(), w[2].c_str());
}

/* damage MEMBER: one bit of the CRC-32 in its local header turned; ${real}
   and ${stored} are then the true and the stored value, as eight hex
   digits.  The member's name comes first in its local header, right after
   the header's fixed part. */
bool damage(const words &w) {
    std::string path = scenario_var("src") + "setup.tv", archive = read_file(path);
    size_t at = archive.find(w[1]) - LOCAL_HEADER_SIZE;
    const uint8_t *h = reinterpret_cast<const uint8_t *>(archive.data()) + at;
    if (at >= archive.size() || get32(h) != LOCAL_HEADER || get16(h + 26) != w[1].size())
        return step_failed("the archive has no member %s", w[1].c_str());
    char real[16], stored[16];
    snprintf(real, sizeof real, "%08x", unsigned(get32(h + 14)));
    snprintf(stored, sizeof stored, "%08x", unsigned(get32(h + 14) ^ 0x00010000));
    scenario_set("real", real);
    scenario_set("stored", stored);
    archive[at + 16] ^= 0x01;
    return write_file(path, archive);
}

bool short_name(const words &w) {
    char name[MAX_PATH] = "";
    if (!GetShortPathNameA(w[2].c_str(), name, sizeof name))
        return step_failed("no short name for %s", w[2].c_str());
    scenario_set(w[1], CharUpperA(name));
    return true;
}

/* window CLASS [PATH MESSAGE]: a window of the class, not shown, as a
   running product has; with PATH, it keeps the file open for no one else
   until it gets the message (0: never) or closes, as a File Manager keeps an
   extension it loaded or any running program its files. */
bool window(const words &w) {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = quiet_window;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = w[1].c_str();
    RegisterClassA(&wc);
    HWND made = CreateWindowA(wc.lpszClassName, wc.lpszClassName, WS_OVERLAPPEDWINDOW, 0, 0, 200,
                              100, nullptr, nullptr, wc.hInstance, nullptr);
    if (!made) return step_failed("cannot open a window of class %s", w[1].c_str());
    windows.push_back(made);
    if (w.size() < 4) return true;
    if (held) return step_failed("a window of ours already holds a file");
    held = CreateFileA(w[2].c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (held == INVALID_HANDLE_VALUE)
        return held = nullptr, step_failed("cannot hold %s", w[2].c_str());
    release_message = UINT(strtoul(w[3].c_str(), nullptr, 0));
    holder = made;
    return true;
}

bool release(const words &) { return DestroyWindow(holder), holder = nullptr, true; }

bool holds(const words &w) {
    return step_expect("whether the holder keeps its file", held ? "1" : "0", w[1]);
}

/* setting WHERE KEY NAME [VALUE]: a profile entry of the file WHERE (a
   section and key) or, with WHERE HKLM, a registry value (a key and a
   value name); no VALUE or "-" removes it.  What it was is noted first. */
bool change(const words &w) {
    setting s = {w[1], w[2], w[3], false, ""};
    s.had = read_setting(s, &s.value);
    changed.push_back(s);
    const char *value = w.size() > 4 && w[4] != "-" ? w[4].c_str() : nullptr;
    return write_setting(s, value) || step_failed("cannot set [%s] %s (error %lu)", w[2].c_str(),
                                                  w[3].c_str(), GetLastError());
}

bool setting_is(const words &w) {
    setting s = {w[1], w[2], w[3], false, ""};
    return step_expect("the setting", read_setting(s, &s.value) ? s.value : "-", w[4]);
}

/* installed TARGET [UPTO]: everything of the disk in TARGET; with UPTO,
   what an installation stopped at that file leaves.  At a loose file: it
   and those before it copied (their bytes), the next one perhaps begun,
   nothing more.  At a member: the loose files and the members before it
   installed, nothing more. */
bool installed(const words &w) {
    words files = scenario_files();
    size_t loose = scenario_list("loose").size(), cut = files.size();
    if (w.size() > 2) cut = size_t(std::find(files.begin(), files.end(), w[2]) - files.begin());
    if (cut == files.size() && w.size() > 2)
        return step_failed("%s is no file of the disk", w[2].c_str());
    bool copying = cut < loose;
    for (size_t i = 0; i < files.size(); i++)
        if (!(copying && i <= cut     ? same_bytes(w[1] + files[i], scenario_var("src") + files[i])
              : i < loose && !copying ? loose_installed(w[1], files[i])
              : i < cut               ? member_installed(w[1], files[i])
                        : (copying && i == cut + 1 && i < loose) || absent(w[1] + files[i])))
            return false;
    return true;
}

bool absent_step(const words &w) { return absent(w[1]); }

/* started DIR: the product was started in DIR with "/install", as the record
   it left there says once it has closed it. */
bool started(const words &w) {
    std::string path = w[1] + "\\started.txt";
    for (DWORD start = GetTickCount(); GetTickCount() - start < STARTED_WAIT_MS; Sleep(50)) {
        HANDLE f = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        if (f != INVALID_HANDLE_VALUE && CloseHandle(f)) break;
    }
    return step_expect("the started record", read_file(path),
                       "directory=" + w[1] + "\\\ncurrent=" + w[1] + "\narguments=/install\n");
}

} // namespace

words scenario_files(void) {
    words files = scenario_list("loose"), members;
    WIN32_FIND_DATAA found;
    HANDLE all = FindFirstFileA((scenario_var("product") + "/*").c_str(), &found);
    for (BOOL more = all != INVALID_HANDLE_VALUE; more; more = FindNextFileA(all, &found))
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            members.push_back(found.cFileName);
    if (all != INVALID_HANDLE_VALUE) FindClose(all);
    std::sort(members.begin(), members.end());
    files.insert(files.end(), members.begin(), members.end());
    return files;
}

void scenario_clean_files(void) {
    for (HWND w : windows) DestroyWindow(w);
    windows.clear();
    holder = nullptr;
    for (; !changed.empty(); changed.pop_back())
        write_setting(changed.back(), changed.back().had ? changed.back().value.c_str() : nullptr);
}

// clang-format off
const step FILE_STEPS[] = {
    {"disk",        1, 0, disk,         "NAME [FROM]         copy a disk to C:\\NAME\\, which becomes ${src}"},
    {"write",       2, 0, write,        "PATH TEXT [SIZE]    write a file (and its directory): TEXT, or SIZE bytes of it"},
    {"stamp",       2, 0, stamp,        "PATH SECONDS        SETUP.EXE's last-write time, moved, as PATH's"},
    {"move",        2, 0, move,         "FROM TO             move a file"},
    {"damage",      1, 0, damage,       "MEMBER              turn a bit of its CRC-32; ${real} and ${stored}"},
    {"shortname",   2, 0, short_name,   "NAME PATH           ${NAME} is PATH's short form in capitals"},
    {"window",      1, 0, window,       "CLASS [PATH MSG]    a hidden window of the class, holding PATH until MSG"},
    {"release",     0, 0, release,      "                    close the last holder, letting go of its file"},
    {"holds",       1, 0, holds,        "0|1                 whether the holder still holds its file"},
    {"setting",     3, 0, change,       "WHERE KEY NAME [VALUE]  profile file's or HKLM's entry; no VALUE or - removes"},
    {"setting-is",  4, 0, setting_is,   "WHERE KEY NAME VALUE    the entry holds VALUE (-: nothing)"},
    {"installed",   1, 0, installed,    "TARGET [UPTO]       the disk installed in TARGET, or stopped at UPTO"},
    {"absent",      1, 0, absent_step,  "PATH                no such file or directory"},
    {"started",     1, 0, started,      "DIR                 the product was started in DIR with /install"},
    {nullptr,       0, 0, nullptr,      nullptr}};
// clang-format on
