/*
 * scenario_files.cpp: the scenario steps on disks, files and the machine:
 * source disks laid out on drive C:, files damaged, moved, re-timed or held
 * open, windows of ours that stand for a running product or File Manager,
 * profile and registry entries, and the checks of what an installation left:
 * bytes and times compared with the disk, files that must not be there, the
 * record the started product wrote.
 */
#include "tools/driver/scenario.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

enum { LOCAL_HEADER = 0x04034B50, LOCAL_HEADER_SIZE = 30, STARTED_WAIT_MS = 5000 };

struct zip_member {    /* a local header of the archive */
    std::string name;  /* as stored */
    unsigned dos_time; /* modification time, DOS form */
    unsigned dos_date; /* modification date, DOS form */
    size_t crc_at;     /* offset of its CRC-32 in the archive */
};

struct file_times { /* the three times of a file */
    FILETIME created, accessed, written;
};

const char *value_or_null(const std::string &v) { return v == "-" ? nullptr : v.c_str(); }

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
    if (!f) return step_failed("cannot write %s", path.c_str());
    bool ok = fwrite(data.data(), 1, data.size(), f) == data.size();
    return (fclose(f) == 0 && ok) || step_failed("cannot write %s", path.c_str());
}

bool exists(const std::string &path) { return GetFileAttributesA(path.c_str()) != 0xFFFFFFFF; }

unsigned little16(const std::string &s, size_t at) {
    return unsigned(uint8_t(s[at])) | unsigned(uint8_t(s[at + 1])) << 8;
}

unsigned little32(const std::string &s, size_t at) {
    return little16(s, at) | little16(s, at + 2) << 16;
}

/* The members of an archive, front to back. */
std::vector<zip_member> zip_members(const std::string &archive) {
    std::vector<zip_member> members;
    size_t at = 0;
    while (at + LOCAL_HEADER_SIZE <= archive.size() && little32(archive, at) == LOCAL_HEADER) {
        size_t name_length = little16(archive, at + 26), extra = little16(archive, at + 28);
        zip_member m = {archive.substr(at + LOCAL_HEADER_SIZE, name_length),
                        little16(archive, at + 10), little16(archive, at + 12), at + 14};
        members.push_back(m);
        at += LOCAL_HEADER_SIZE + name_length + extra + little32(archive, at + 18);
    }
    return members;
}

std::vector<zip_member> source_members() {
    return zip_members(read_file(scenario_var("src") + "setup.tv"));
}

bool times_of(const std::string &path, file_times *t) {
    HANDLE f = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                           nullptr);
    if (f == INVALID_HANDLE_VALUE) return step_failed("cannot open %s", path.c_str());
    BOOL ok = GetFileTime(f, &t->created, &t->accessed, &t->written);
    CloseHandle(f);
    return ok != 0 || step_failed("cannot read the times of %s", path.c_str());
}

bool same_time(const char *what, const std::string &path, const FILETIME &seen,
               const FILETIME &expected) {
    return (seen.dwLowDateTime == expected.dwLowDateTime &&
            seen.dwHighDateTime == expected.dwHighDateTime) ||
           step_failed("the %s time of %s differs", what, path.c_str());
}

bool same_bytes(const std::string &installed, const std::string &original) {
    return read_file(installed) == read_file(original) ||
           step_failed("%s differs from %s", installed.c_str(), original.c_str());
}

bool absent(const std::string &path) {
    return !exists(path) || step_failed("%s should not be there", path.c_str());
}

/* A loose file: the disk's bytes, and SETUP.EXE's last-write time as every
   one of its three times (times first: reading moves one). */
bool loose_installed(const std::string &target, const std::string &name) {
    std::string src = scenario_var("src");
    file_times setup, copy;
    return times_of(src + "SETUP.EXE", &setup) && times_of(target + name, &copy) &&
           same_time("last-write", name, copy.written, setup.written) &&
           same_time("last-access", name, copy.accessed, setup.written) &&
           same_time("creation", name, copy.created, setup.written) &&
           same_bytes(target + name, src + name);
}

/* A member: the product's bytes, and the local header's time as its
   last-write time. */
bool member_installed(const std::string &target, const zip_member &m) {
    FILETIME local, universal;
    file_times installed;
    if (!DosDateTimeToFileTime(WORD(m.dos_date), WORD(m.dos_time), &local))
        return step_failed("%s has no valid time in the archive", m.name.c_str());
    LocalFileTimeToFileTime(&local, &universal);
    return same_bytes(target + m.name, scenario_var("product") + "/" + m.name) &&
           times_of(target + m.name, &installed) &&
           same_time("last-write", m.name, installed.written, universal);
}

int index_of(const std::vector<std::string> &names, const std::string &name) {
    for (size_t i = 0; i < names.size(); i++)
        if (names[i] == name) return int(i);
    return -1;
}

/* Stopped while copying loose file `copied`: those before and it are whole,
   those after the next one were never begun, no member was extracted. */
bool copy_stopped(const std::string &target, int copied) {
    words loose = scenario_list("loose");
    for (int i = 0; i < int(loose.size()); i++)
        if (i <= copied ? !same_bytes(target + loose[i], scenario_var("src") + loose[i])
                        : i > copied + 1 && !absent(target + loose[i]))
            return false;
    for (const std::string &name : scenario_members())
        if (!absent(target + name)) return false;
    return true;
}

/* ---- Steps ---------------------------------------------------------------- */

/* disk NAME [FROM]: SETUP.EXE, the archive and the loose files copied to
   C:\NAME\ (times kept), which becomes ${src}. */
bool disk(const words &w) {
    std::string dir = "C:\\" + w[1] + "\\", from = w.size() > 2 ? w[2] : scenario_var("sample");
    CreateDirectoryA(dir.c_str(), nullptr);
    words files = scenario_list("loose");
    files.push_back("SETUP.EXE");
    files.push_back("setup.tv");
    for (const std::string &f : files)
        if (!CopyFileA((from + "/" + f).c_str(), (dir + f).c_str(), FALSE))
            return step_failed("cannot copy %s/%s to %s", from.c_str(), f.c_str(), dir.c_str());
    S.vars["src"] = dir;
    return true;
}

bool make_dir(const words &w) {
    return CreateDirectoryA(w[1].c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS ||
           step_failed("cannot make %s", w[1].c_str());
}

bool write(const words &w) { return write_file(w[1], w[2]); }

/* fill PATH SIZE PATTERN: SIZE bytes of the pattern repeated. */
bool fill(const words &w) {
    std::string data(size_t(strtoul(w[2].c_str(), nullptr, 0)), 0);
    for (size_t i = 0; i < data.size(); i++) data[i] = w[3][i % w[3].size()];
    return write_file(w[1], data);
}

/* stamp PATH SECONDS: the last-write time of ${src}SETUP.EXE, moved. */
bool stamp(const words &w) {
    file_times setup;
    if (!times_of(scenario_var("src") + "SETUP.EXE", &setup)) return false;
    ULARGE_INTEGER t;
    t.LowPart = setup.written.dwLowDateTime;
    t.HighPart = setup.written.dwHighDateTime;
    t.QuadPart += ULONGLONG(atoll(w[2].c_str()) * 10000000);
    FILETIME moved = {t.LowPart, t.HighPart};
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

/* hold PATH: open for no one else, as a running program keeps it. */
bool hold(const words &w) {
    HANDLE f = CreateFileA(w[1].c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE) return step_failed("cannot hold %s", w[1].c_str());
    S.held.push_back(f);
    return true;
}

bool release(const words &) {
    for (HANDLE f : S.held) CloseHandle(f);
    S.held.clear();
    return true;
}

/* damage MEMBER: one bit of its stored CRC-32 turned; ${real} and ${stored}
   are then the true and the stored value, as eight hex digits. */
bool damage(const words &w) {
    std::string path = scenario_var("src") + "setup.tv", archive = read_file(path);
    for (const zip_member &m : zip_members(archive)) {
        if (m.name != w[1]) continue;
        unsigned real = little32(archive, m.crc_at), stored = real ^ 0x00010000;
        for (int i = 0; i < 4; i++) archive[m.crc_at + i] = char(stored >> (8 * i));
        char hex[2][16];
        snprintf(hex[0], sizeof hex[0], "%08x", real);
        snprintf(hex[1], sizeof hex[1], "%08x", stored);
        S.vars["real"] = hex[0];
        S.vars["stored"] = hex[1];
        return write_file(path, archive);
    }
    return step_failed("the archive has no member %s", w[1].c_str());
}

/* shortname VAR PATH: the path's short form, in capitals. */
bool short_name(const words &w) {
    char name[MAX_PATH] = "";
    if (!GetShortPathNameA(w[2].c_str(), name, sizeof name))
        return step_failed("no short name for %s", w[2].c_str());
    CharUpperA(name);
    S.vars[w[1]] = name;
    return true;
}

bool window(const words &w) {
    HWND made = driver_open_window(w[1].c_str());
    if (made) S.windows.push_back(made);
    return made || step_failed("%s", driver_error());
}

/* holder CLASS PATH MESSAGE: a window keeping the file until it gets the
   message (0: never), as a File Manager keeps an extension it loaded. */
bool holder(const words &w) {
    S.holder = driver_open_holder(w[1].c_str(), w[2].c_str(), UINT(strtoul(w[3].c_str(), 0, 0)));
    if (S.holder) S.windows.push_back(S.holder);
    return S.holder || step_failed("%s", driver_error());
}

bool holds(const words &w) {
    return step_expect("whether the holder keeps its file", driver_holds(S.holder) ? "1" : "0",
                       w[1]);
}

bool machine(const words &w) {
    return driver_set_value(HKEY_LOCAL_MACHINE, w[1].c_str(), w[2].c_str(),
                            w.size() > 3 ? value_or_null(w[3]) : nullptr) ||
           step_failed("%s", driver_error());
}

/* The version Wine reports to every program started from here on. */
bool version(const words &w) {
    return driver_set_value(HKEY_CURRENT_USER, "Software\\Wine", "Version",
                            value_or_null(w[1])) ||
           step_failed("%s", driver_error());
}

bool extension(const words &w) {
    return driver_set_extension(w[1].c_str(), w.size() > 2 ? value_or_null(w[2]) : nullptr) ||
           step_failed("%s", driver_error());
}

bool winfile(const words &w) {
    return driver_set_winfile(w[1].c_str(), w[2].c_str(),
                              w.size() > 3 ? value_or_null(w[3]) : nullptr) ||
           step_failed("%s", driver_error());
}

/* winfile-is SECTION KEY VALUE: what winfile.ini lists ("-": nothing). */
bool winfile_is(const words &w) {
    char value[MAX_PATH] = "";
    GetPrivateProfileStringA(w[1].c_str(), w[2].c_str(), "", value, sizeof value, "winfile.ini");
    return step_expect("the winfile.ini entry", value, w[3] == "-" ? "" : w[3]);
}

/* installed TARGET [UPTO]: everything of the disk in TARGET; with UPTO,
   what an installation stopped at that loose file or member leaves. */
bool installed(const words &w) {
    words loose = scenario_list("loose");
    std::vector<zip_member> members = source_members();
    int copied = w.size() > 2 ? index_of(loose, w[2]) : -1;
    if (copied >= 0) return copy_stopped(w[1], copied);
    for (const std::string &name : loose)
        if (!loose_installed(w[1], name)) return false;
    int cut = w.size() > 2 ? index_of(scenario_members(), w[2]) : int(members.size());
    if (cut < 0) return step_failed("%s is no file of the disk", w[2].c_str());
    for (int i = 0; i < int(members.size()); i++)
        if (i < cut ? !member_installed(w[1], members[i]) : !absent(w[1] + members[i].name))
            return false;
    return true;
}

bool absent_step(const words &w) { return absent(w[1]); }

/* started TARGET TEXT: the record the started product left, once it has
   closed it. */
bool started(const words &w) {
    std::string path = w[1] + "started.txt";
    for (DWORD start = GetTickCount(); !exists(path) && GetTickCount() - start < STARTED_WAIT_MS;)
        Sleep(50);
    for (int i = 0; i < 20; i++) {
        HANDLE f = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        if (f != INVALID_HANDLE_VALUE) {
            CloseHandle(f);
            break;
        }
        Sleep(50);
    }
    return step_expect("the started record", read_file(path), w[2]);
}

} // namespace

words scenario_members(void) {
    words names;
    for (const zip_member &m : source_members()) names.push_back(m.name);
    return names;
}

void scenario_clean_files(void) {
    release(words());
    for (HWND w : S.windows) driver_close_window(w);
    S.windows.clear();
    S.holder = nullptr;
}

// clang-format off
const step FILE_STEPS[] = {
    {"disk",        1, disk,         "NAME [FROM]         copy a disk to C:\\NAME\\, which becomes ${src}"},
    {"mkdir",       1, make_dir,     "PATH                make a directory"},
    {"write",       2, write,        "PATH TEXT           write a file"},
    {"fill",        3, fill,         "PATH SIZE PATTERN   write SIZE bytes of the pattern repeated"},
    {"stamp",       2, stamp,        "PATH SECONDS        SETUP.EXE's last-write time, moved, as PATH's"},
    {"move",        2, move,         "FROM TO             move a file"},
    {"hold",        1, hold,         "PATH                keep a file open for no one else"},
    {"release",     0, release,      "                    let go of the held files"},
    {"damage",      1, damage,       "MEMBER              turn a bit of its CRC-32; ${real} and ${stored}"},
    {"shortname",   2, short_name,   "NAME PATH           ${NAME} is PATH's short form in capitals"},
    {"window",      1, window,       "CLASS               a hidden window of the class"},
    {"holder",      3, holder,       "CLASS PATH MESSAGE  a window holding PATH until MESSAGE (0: never)"},
    {"holds",       1, holds,        "0|1                 whether the holder still holds its file"},
    {"machine",     2, machine,      "KEY NAME [DATA]     HKEY_LOCAL_MACHINE value; no DATA or - removes"},
    {"version",     1, version,      "NAME                the Windows version Wine reports; - its own"},
    {"extension",   1, extension,    "KEY [VALUE]         win.ini [extensions]; no VALUE or - removes"},
    {"winfile",     2, winfile,      "SECTION KEY [VALUE] winfile.ini entry; no VALUE or - removes"},
    {"winfile-is",  3, winfile_is,   "SECTION KEY VALUE   winfile.ini holds VALUE (-: nothing)"},
    {"installed",   1, installed,    "TARGET [UPTO]       the disk installed in TARGET, or stopped at UPTO"},
    {"absent",      1, absent_step,  "PATH                no such file or directory"},
    {"started",     2, started,      "TARGET TEXT         the started product's record in TARGET"},
    {nullptr,       0, nullptr,      nullptr}};
// clang-format on
