/*
 * host.cpp: the platform operations on a POSIX host, for the tests and the
 * host tools (tvunzip).
 *
 * Files are real files.  Windows paths are accepted as they are: '\' and '/'
 * both separate, a drive prefix is mapped to a directory (host_map_drive), and
 * each component is matched without regard to case, as the Windows file
 * system does, so that the stored spelling of a name can be seen.  Share
 * modes, the read-only attribute and creation times are kept by this layer,
 * because a POSIX system (and root above all) knows none of them.
 *
 * The user interface, the registry, the profiles and the clock are simulated
 * and controlled through host.h.
 */
#include "platform/host.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <map>
#include <memory>
#include <string>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

/* ---- Process-wide simulated state --------------------------------------- */

struct host_win {
    std::string class_name;           /* window class, compared without case */
    host_handler handler;             /* the test's handler, or null */
    std::vector<host_message> log;    /* every message received */
    std::map<int, std::string> texts; /* control texts by id */
    std::map<int, bool> disabled;     /* controls disabled by id */
    bool alive;                       /* false once destroyed */
};

struct posted { /* a message waiting in the queue */
    plat_window w;
    unsigned msg;
    plat_wparam wp;
    plat_lparam lp;
};

struct share_entry { /* one open of a file, for share modes */
    int fd;          /* our descriptor, -1 for a held file */
    int access;      /* OF_READ, OF_WRITE or OF_READWRITE */
    int share;       /* OF_SHARE_* bits, 0 for compatibility */
};

typedef std::pair<dev_t, ino_t> file_id;

struct host_state {
    std::vector<host_box> boxes;                        /* boxes shown */
    std::vector<int> answers;                           /* scripted answers, in order */
    std::vector<std::unique_ptr<host_win>> windows;     /* every window ever made */
    std::vector<posted> queue;                          /* posted messages */
    void (*drain_hook)(void) = nullptr;                 /* the test's user */
    int drains = 0;                                     /* drains so far */
    std::map<std::string, std::string> machine;         /* registry "key\value" */
    std::map<std::string, std::string> profiles;        /* "file|section|key" */
    std::string module_path;                            /* GetModuleFileNameA */
    std::map<char, std::string> drives;                 /* drive letter to dir */
    bool fake_clock = false;                            /* clock from the test */
    uint32_t clock = 0;                                 /* fake clock's time */
    uint32_t clock_step = 0;                            /* added at every read */
    std::vector<std::string> execs;                     /* WinExec command lines */
    std::vector<unsigned> exec_results;                 /* scripted WinExec results */
    int exit_windows = 0;                               /* ExitWindowsEx calls */
    std::vector<std::string> claimed_elsewhere;         /* names other processes hold */
    std::map<file_id, std::vector<share_entry>> shares; /* open files */
    std::map<file_id, plat_filetime> created;           /* creation times set */
    std::map<int, file_id> fd_ids;                      /* our fds to their files */
    int live_blocks = 0;                                /* allocations not freed */
    int fail_at[FAULT_KINDS] = {};                      /* call number to fail, 0 none */
    int calls[FAULT_KINDS] = {};                        /* calls of each kind */
    bool boxes_to_stderr = false;                       /* boxes also written out */
    bool quiet = false;                                 /* windows keep no message log */
};

host_state &st() {
    static host_state state;
    return state;
}

/* Counts a call of a kind and says whether it is the one to fail. */
bool fault(host_fault_kind kind) {
    host_state &s = st();
    s.calls[kind]++;
    if (s.fail_at[kind] != 0 && s.calls[kind] == s.fail_at[kind]) {
        s.fail_at[kind] = 0;
        return true;
    }
    return false;
}

std::string lower(std::string text) {
    for (char &c : text)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return text;
}

bool is_sep(char c) { return c == '\\' || c == '/'; }

/* The names of the directory searched last, by their lower-case form, kept
   current through inotify: creating many files in one directory would read
   the whole directory again for each.  Whatever the cache cannot follow (a
   queue overflow, the directory moved or gone, two spellings of one name)
   drops it, and the directory is read afresh. */
struct name_cache {
    std::string dir;                          /* the directory as searched; empty: none */
    dev_t device;                             /* its device and inode, to notice a */
    ino_t inode;                              /* different directory under that name */
    int fd = -1;                              /* the inotify instance, -1 when none */
    std::map<std::string, std::string> names; /* lower-case name -> a spelling with capitals */
};

name_cache &names_seen() {
    static name_cache c;
    return c;
}

void drop_names(name_cache &c) {
    if (c.fd >= 0) close(c.fd);
    c.fd = -1;
    c.dir.clear();
    c.names.clear();
}

/* Adds a stored spelling; false when another spelling of it is known.  A
   spelling in lower case is its own key and is found by trying the key, so
   only the others are kept: most directories then cost nothing. */
bool note_name(name_cache &c, const char *name) {
    std::string key = lower(name);
    if (key == name) return true;
    std::string &known = c.names[key];
    if (!known.empty() && known != name) return false;
    known = name;
    return true;
}

/* Applies the changes queued since the last search; false when it cannot. */
bool follow_changes(name_cache &c) {
    alignas(struct inotify_event) char buf[4096];
    for (;;) {
        ssize_t n = read(c.fd, buf, sizeof buf);
        if (n <= 0) return n < 0 && errno == EAGAIN;
        for (char *p = buf; p < buf + n;) {
            const struct inotify_event *ev = reinterpret_cast<struct inotify_event *>(p);
            p += sizeof *ev + ev->len;
            if (ev->mask & (IN_Q_OVERFLOW | IN_IGNORED | IN_DELETE_SELF | IN_MOVE_SELF))
                return false;
            if (ev->len == 0) continue;
            if ((ev->mask & (IN_CREATE | IN_MOVED_TO)) && !note_name(c, ev->name)) return false;
            if (ev->mask & (IN_DELETE | IN_MOVED_FROM)) {
                auto it = c.names.find(lower(ev->name));
                if (it != c.names.end() && it->second == ev->name) c.names.erase(it);
            }
        }
        /* A read that left room for one more event of any name emptied the
           queue: asking again would only be told so, a system call for
           every file created in the directory. */
        if (size_t(n) + sizeof(struct inotify_event) + NAME_MAX + 1 <= sizeof buf) return true;
    }
}

/* Reads dir into the cache, watching it first so that no change is missed. */
bool read_names(name_cache &c, const std::string &dir, const struct stat &sb) {
    const char *path = dir.empty() ? "." : dir.c_str();
    const uint32_t changes = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE_SELF |
                             IN_MOVE_SELF | IN_ONLYDIR;
    c.fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (c.fd < 0 || inotify_add_watch(c.fd, path, changes) < 0) return false;
    DIR *d = opendir(path);
    if (!d) return false;
    bool ok = true;
    while (struct dirent *e = readdir(d)) ok = ok && note_name(c, e->d_name);
    closedir(d);
    c.dir = dir;
    c.device = sb.st_dev;
    c.inode = sb.st_ino;
    return ok;
}

/* The cache of dir, made current; null when dir must be read the slow way. */
const name_cache *names_of(const std::string &dir) {
    name_cache &c = names_seen();
    struct stat sb;
    if (stat(dir.empty() ? "." : dir.c_str(), &sb) != 0) return nullptr;
    if (c.fd >= 0 && c.dir == dir && c.device == sb.st_dev && c.inode == sb.st_ino &&
        follow_changes(c))
        return &c;
    drop_names(c);
    if (read_names(c, dir, sb)) return &c;
    drop_names(c);
    return nullptr;
}

/* Finds the stored spelling of name in dir: exact first, then without case
   (*exact: it is there as given). */
std::string match_component(const std::string &dir, const std::string &name, bool *exact) {
    struct stat sb;
    std::string exact_path = dir + name;
    *exact = lstat(exact_path.c_str(), &sb) == 0;
    if (*exact) return name;
    if (const name_cache *c = names_of(dir)) {
        std::string key = lower(name);
        auto it = c->names.find(key);
        if (it != c->names.end()) return it->second;
        return key != name && lstat((dir + key).c_str(), &sb) == 0 ? key : name;
    }
    DIR *d = opendir(dir.empty() ? "." : dir.c_str());
    if (!d) return name;
    std::string want = lower(name), found = name;
    while (struct dirent *e = readdir(d)) {
        if (lower(e->d_name) == want) {
            found = e->d_name;
            break;
        }
    }
    closedir(d);
    return found;
}

/* The host root a Windows path starts from (a mapped drive, "/" or none),
   and in i where its components start. */
std::string turn_root(const std::string &p, size_t *i) {
    std::string out;
    if (p.size() >= 2 && p[1] == ':') {
        auto it = st().drives.find(char(toupper((unsigned char)p[0])));
        if (it != st().drives.end()) out = it->second + "/";
        *i = 2;
        if (out.empty() && (*i >= p.size() || !is_sep(p[*i]))) out = "";
    }
    if (*i < p.size() && is_sep(p[*i])) {
        if (out.empty()) out = "/";
        while (*i < p.size() && is_sep(p[*i])) (*i)++;
    }
    return out;
}

/* Appends the components of p from i up to end to out, each with its
   stored spelling; false when one of them is not there as given. */
bool turn_components(const std::string &p, size_t i, size_t end, std::string &out) {
    bool all_exact = true;
    while (i < end) {
        size_t j = i;
        while (j < p.size() && !is_sep(p[j])) j++;
        std::string comp = p.substr(i, j - i);
        bool exact = true;
        out += (comp == "." || comp == "..") ? comp : match_component(out, comp, &exact);
        all_exact = all_exact && exact;
        if (j < p.size()) out += "/";
        i = j;
        while (i < p.size() && is_sep(p[i])) i++;
    }
    return all_exact;
}

/* The directory part of the last path turned whose every component was
   there as given.  The same text then names the same host directory for
   as long as that stands, so the next path in it costs one stat instead of
   an lstat per component: extracting many files into one deep directory
   would otherwise walk the whole path for each. */
struct turned_dir {
    std::string root; /* the host root the path started from */
    std::string text; /* the Windows text of its components, up to the last separator */
    std::string host; /* the host directory they name, with its last '/' */
};

turned_dir &last_dir() {
    static turned_dir d;
    return d;
}

/* Turns a Windows path into the host path of the file it names. */
std::string host_path(const char *path) {
    std::string p(path ? path : "");
    size_t i = 0, k = p.find_last_of("\\/");
    std::string out = turn_root(p, &i);
    if (k != std::string::npos && k >= i) {
        turned_dir &d = last_dir();
        std::string text = p.substr(i, k + 1 - i), root = out;
        struct stat sb;
        if (root == d.root && text == d.text && stat(d.host.c_str(), &sb) == 0) {
            out = d.host;
        } else if (turn_components(p, i, k, out)) {
            d = turned_dir{root, text, out};
        }
        i = k + 1;
    }
    turn_components(p, i, p.size(), out);
    return out;
}

uint64_t ft_value(const plat_filetime &t) {
    return (uint64_t(t.dwHighDateTime) << 32) | t.dwLowDateTime;
}

plat_filetime ft_make(uint64_t v) {
    plat_filetime t;
    t.dwLowDateTime = uint32_t(v);
    t.dwHighDateTime = uint32_t(v >> 32);
    return t;
}

const uint64_t EPOCH_DIFF = 11644473600ULL; /* seconds from 1601 to 1970 */

plat_filetime ft_from_timespec(const struct timespec &ts) {
    return ft_make((uint64_t(ts.tv_sec) + EPOCH_DIFF) * 10000000ULL + uint64_t(ts.tv_nsec) / 100);
}

struct timespec timespec_from_ft(const plat_filetime &t) {
    uint64_t v = ft_value(t);
    struct timespec ts;
    ts.tv_sec = time_t(v / 10000000ULL - EPOCH_DIFF);
    ts.tv_nsec = long(v % 10000000ULL) * 100;
    return ts;
}

bool writable(const struct stat &sb) { return (sb.st_mode & 0222) != 0; }

/* Whether an open of (access, share) may join the opens already there. */
bool shares_allow(const std::vector<share_entry> &opens, int access, int share) {
    bool reads = access != OF_WRITE, writes = access != OF_READ;
    for (const share_entry &e : opens) {
        bool e_reads = e.access != OF_WRITE, e_writes = e.access != OF_READ;
        if (e.share == OF_SHARE_EXCLUSIVE || share == OF_SHARE_EXCLUSIVE) return false;
        if (e.share == OF_SHARE_DENY_WRITE && writes) return false;
        if (share == OF_SHARE_DENY_WRITE && e_writes) return false;
        if (e.share == 0x30 && reads) return false; /* OF_SHARE_DENY_READ */
        if (share == 0x30 && e_reads) return false;
    }
    return true;
}

void remember_open(int fd, int access, int share) {
    struct stat sb;
    if (fstat(fd, &sb) != 0) return;
    file_id id(sb.st_dev, sb.st_ino);
    st().shares[id].push_back(share_entry{fd, access, share});
    st().fd_ids[fd] = id;
}

/* The parent directory of a host path, for the read-only check on creation. */
std::string parent_of(const std::string &p) {
    size_t k = p.find_last_of('/');
    if (k == std::string::npos) return ".";
    return k == 0 ? "/" : p.substr(0, k);
}

/* ---- Calendar arithmetic for the DOS date and time ---------------------- */

int64_t days_from_civil(int y, unsigned m, unsigned d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = unsigned(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + int64_t(doe) - 719468;
}

void civil_from_days(int64_t z, int *y, unsigned *m, unsigned *d) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = unsigned(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    *d = doy - (153 * mp + 2) / 5 + 1;
    *m = mp < 10 ? mp + 3 : mp - 9;
    *y = int(int64_t(yoe) + era * 400 + (*m <= 2));
}

unsigned days_in_month(int y, unsigned m) {
    static const unsigned days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    return m == 2 && leap ? 29 : days[m - 1];
}

/* The current offset of local time from UTC, in 100 ns units. */
int64_t local_bias(void) {
    time_t now = time(nullptr);
    struct tm tmv;
    localtime_r(&now, &tmv);
    return int64_t(tmv.tm_gmtoff) * 10000000LL;
}

/* ---- The formatter's output, cut at its capacity ------------------------ */

struct sink {
    char *buf;
    size_t cap; /* bytes, terminator included */
    size_t len;
    void put(char c) {
        if (len + 1 < cap) buf[len++] = c;
    }
    void pad(char c, int n) {
        while (n-- > 0) put(c);
    }
};

void put_field(sink &out, const char *text, size_t len, int width, bool left, char fill) {
    int padding = width > int(len) ? width - int(len) : 0;
    if (!left) out.pad(fill, padding);
    for (size_t i = 0; i < len; i++) out.put(text[i]);
    if (left) out.pad(' ', padding);
}

} /* namespace */

/* ---- Read-ahead of files opened to read --------------------------------- */

/* The engine reads an archive in many small pieces (a local header, a name,
   a descriptor, a signature) and steps back over a few bytes now and then;
   served from a block read ahead, most of them cost no system call.  Only
   files opened by plat_lopen for reading alone have one; every plat_lread
   and plat_llseek still counts for fault injection and gives what the file
   holds at the position the program sees. */
namespace {

enum { READ_AHEAD = 65536 }; /* bytes one refill asks for */

struct read_ahead {
    std::vector<char> bytes; /* the block read ahead, READ_AHEAD bytes */
    size_t next = 0;         /* the next byte the program reads */
    size_t end = 0;          /* bytes of the block that hold data */
    off_t file_pos = 0;      /* the descriptor's own offset: just past the block */
};

std::map<int, read_ahead> &read_aheads() {
    static std::map<int, read_ahead> buffers;
    return buffers;
}

/* Reads count bytes or up to the end of the file, as ReadFile does. */
uint32_t read_fully(int fd, char *buf, uint32_t count) {
    uint32_t done = 0;
    while (done < count) {
        ssize_t n = read(fd, buf + done, count - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return uint32_t(HFILE_ERROR);
        if (n == 0) break;
        done += uint32_t(n);
    }
    return done;
}

/* Refills the empty block with one read: false on an error. */
bool refill(read_ahead &ra, int fd) {
    ssize_t n;
    do n = read(fd, ra.bytes.data(), READ_AHEAD);
    while (n < 0 && errno == EINTR);
    if (n < 0) return false;
    ra.next = 0;
    ra.end = size_t(n);
    ra.file_pos += n;
    return true;
}

/* Serves a read from the block, refilling it while the rest is small; a
   large rest goes straight to the caller's buffer. */
uint32_t read_through(read_ahead &ra, int fd, char *buf, uint32_t count) {
    uint32_t done = 0;
    while (done < count) {
        if (ra.next == ra.end && count - done >= READ_AHEAD) {
            uint32_t n = read_fully(fd, buf + done, count - done);
            if (n == uint32_t(HFILE_ERROR)) return n;
            ra.file_pos += n;
            return done + n;
        }
        if (ra.next == ra.end && !refill(ra, fd)) return uint32_t(HFILE_ERROR);
        if (ra.end == 0) break; /* the end of the file */
        size_t n = ra.end - ra.next < count - done ? ra.end - ra.next : count - done;
        memcpy(buf + done, ra.bytes.data() + ra.next, n);
        ra.next += n;
        done += uint32_t(n);
    }
    return done;
}

/* A move from the current position that stays inside the block: no system
   call.  False when it leaves the block or the program's range of offsets. */
bool seek_inside(read_ahead &ra, int32_t offset, int32_t *result) {
    int64_t inside = int64_t(ra.next) + offset;
    int64_t pos = int64_t(ra.file_pos) - int64_t(ra.end) + inside;
    if (inside < 0 || inside > int64_t(ra.end) || pos > INT32_MAX) return false;
    ra.next = size_t(inside);
    *result = int32_t(pos);
    return true;
}

/* Any other move: the descriptor goes where the program's position says,
   and the block is dropped once the move succeeded. */
off_t seek_outside(read_ahead &ra, int fd, int32_t offset, int whence) {
    off_t r = whence == SEEK_CUR ? lseek(fd, off_t(offset) - off_t(ra.end - ra.next), SEEK_CUR)
                                 : lseek(fd, offset, whence);
    if (r < 0) return r;
    ra.next = ra.end = 0;
    ra.file_pos = r;
    return r;
}

} /* namespace */

/* ========================================================================= */
/* Files                                                                      */

plat_file plat_lopen(const char *path, int mode) {
    if (fault(FAULT_OPEN)) return HFILE_ERROR;
    std::string p = host_path(path);
    int access = mode & 3, share = mode & 0x70;
    struct stat sb;
    if (stat(p.c_str(), &sb) != 0 || S_ISDIR(sb.st_mode)) return HFILE_ERROR;
    if (access != OF_READ && !writable(sb)) return HFILE_ERROR;
    if (!shares_allow(st().shares[file_id(sb.st_dev, sb.st_ino)], access, share))
        return HFILE_ERROR;
    int flags = access == OF_READ ? O_RDONLY : access == OF_WRITE ? O_WRONLY : O_RDWR;
    int fd = open(p.c_str(), flags | O_CLOEXEC);
    if (fd < 0) return HFILE_ERROR;
    remember_open(fd, access, share);
    read_aheads().erase(fd);
    if (access == OF_READ) read_aheads()[fd].bytes.resize(READ_AHEAD);
    return fd;
}

plat_file plat_lcreat(const char *path, int attributes) {
    (void)attributes;
    if (fault(FAULT_CREATE)) return HFILE_ERROR;
    std::string p = host_path(path);
    struct stat sb, db;
    if (stat(parent_of(p).c_str(), &db) != 0 || !writable(db)) return HFILE_ERROR;
    if (stat(p.c_str(), &sb) == 0) {
        if (S_ISDIR(sb.st_mode) || !writable(sb)) return HFILE_ERROR;
        if (!shares_allow(st().shares[file_id(sb.st_dev, sb.st_ino)], OF_READWRITE, 0))
            return HFILE_ERROR;
        st().created.erase(file_id(sb.st_dev, sb.st_ino));
    }
    int fd = open(p.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) return HFILE_ERROR;
    remember_open(fd, OF_READWRITE, 0);
    read_aheads().erase(fd);
    return fd;
}

uint32_t plat_lread(plat_file f, void *buf, uint32_t count) {
    if (fault(FAULT_READ_ERROR)) return uint32_t(HFILE_ERROR);
    if (fault(FAULT_READ_SHORT)) count /= 2;
    auto it = read_aheads().find(f);
    if (it != read_aheads().end())
        return read_through(it->second, f, static_cast<char *>(buf), count);
    return read_fully(f, static_cast<char *>(buf), count);
}

uint32_t plat_lwrite(plat_file f, const void *buf, uint32_t count) {
    if (fault(FAULT_WRITE_ERROR)) return uint32_t(HFILE_ERROR);
    if (fault(FAULT_WRITE_SHORT)) count /= 2;
    uint32_t done = 0;
    while (done < count) {
        ssize_t n = write(f, static_cast<const char *>(buf) + done, count - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return done > 0 ? done : uint32_t(HFILE_ERROR);
        done += uint32_t(n);
    }
    return done;
}

int32_t plat_llseek(plat_file f, int32_t offset, int origin) {
    if (fault(FAULT_SEEK)) return HFILE_ERROR;
    int whence = origin == FILE_BEGIN ? SEEK_SET : origin == FILE_CURRENT ? SEEK_CUR : SEEK_END;
    auto it = read_aheads().find(f);
    int32_t inside;
    if (it != read_aheads().end() && whence == SEEK_CUR && seek_inside(it->second, offset, &inside))
        return inside;
    off_t r = it != read_aheads().end() ? seek_outside(it->second, f, offset, whence)
                                        : lseek(f, offset, whence);
    if (r < 0 || r > INT32_MAX) return HFILE_ERROR;
    return int32_t(r);
}

plat_file plat_lclose(plat_file f) {
    read_aheads().erase(f);
    auto it = st().fd_ids.find(f);
    if (it != st().fd_ids.end()) {
        std::vector<share_entry> &opens = st().shares[it->second];
        for (size_t i = 0; i < opens.size(); i++)
            if (opens[i].fd == f) {
                opens.erase(opens.begin() + long(i));
                break;
            }
        st().fd_ids.erase(it);
    }
    return close(f) == 0 ? 0 : HFILE_ERROR;
}

int plat_remove(const char *path) { return remove(host_path(path).c_str()); }

int plat_find_first(const char *path, plat_find_data *found) {
    std::string p = host_path(path);
    if (p.empty() || p.back() == '/') return 0;
    std::string dir = parent_of(p), name = p.substr(p.find_last_of('/') + 1);
    if (p.find('/') == std::string::npos) dir = ".", name = p;
    std::string match;
    if (name.find_first_of("*?") != std::string::npos) {
        DIR *d = opendir(dir.c_str());
        if (!d) return 0;
        while (struct dirent *e = readdir(d))
            if (fnmatch(name.c_str(), e->d_name, FNM_CASEFOLD) == 0) {
                match = e->d_name;
                break;
            }
        closedir(d);
        if (match.empty()) return 0;
    } else {
        match = name;
    }
    std::string full = (p.find('/') == std::string::npos ? "" : dir + "/") + match;
    struct stat sb;
    if (stat(full.c_str(), &sb) != 0) return 0;
    memset(found, 0, sizeof *found);
    found->dwFileAttributes = S_ISDIR(sb.st_mode) ? 0x10 : 0x20;
    if (!writable(sb)) found->dwFileAttributes |= 0x01;
    found->ftLastWriteTime = ft_from_timespec(sb.st_mtim);
    found->ftLastAccessTime = ft_from_timespec(sb.st_atim);
    auto c = st().created.find(file_id(sb.st_dev, sb.st_ino));
    found->ftCreationTime = c != st().created.end() ? c->second : found->ftLastWriteTime;
    found->nFileSizeLow = uint32_t(sb.st_size);
    found->nFileSizeHigh = uint32_t(uint64_t(sb.st_size) >> 32);
    snprintf(found->cFileName, sizeof found->cFileName, "%s", match.c_str());
    return 1;
}

int plat_get_file_time(plat_file f, plat_filetime *created, plat_filetime *accessed,
                       plat_filetime *written) {
    struct stat sb;
    if (fstat(f, &sb) != 0) return 0;
    plat_filetime w = ft_from_timespec(sb.st_mtim);
    auto c = st().created.find(file_id(sb.st_dev, sb.st_ino));
    if (created) *created = c != st().created.end() ? c->second : w;
    if (accessed) *accessed = ft_from_timespec(sb.st_atim);
    if (written) *written = w;
    return 1;
}

int plat_set_file_time(plat_file f, const plat_filetime *created, const plat_filetime *accessed,
                       const plat_filetime *written) {
    struct timespec ts[2];
    ts[0].tv_nsec = ts[1].tv_nsec = UTIME_OMIT;
    if (accessed) ts[0] = timespec_from_ft(*accessed);
    if (written) ts[1] = timespec_from_ft(*written);
    if (futimens(f, ts) != 0) return 0;
    struct stat sb;
    if (created && fstat(f, &sb) == 0) st().created[file_id(sb.st_dev, sb.st_ino)] = *created;
    return 1;
}

int plat_dos_to_file_time(uint16_t dos_date, uint16_t dos_time, plat_filetime *out) {
    int year = 1980 + (dos_date >> 9);
    unsigned month = (dos_date >> 5) & 15, day = dos_date & 31;
    unsigned hour = dos_time >> 11, minute = (dos_time >> 5) & 63, second = (dos_time & 31) * 2;
    if (month < 1 || month > 12 || day < 1 || day > days_in_month(year, month)) return 0;
    if (hour > 23 || minute > 59 || second > 59) return 0;
    int64_t days = days_from_civil(year, month, day) + int64_t(EPOCH_DIFF / 86400);
    uint64_t seconds = uint64_t(days) * 86400 + hour * 3600 + minute * 60 + second;
    *out = ft_make(seconds * 10000000ULL);
    return 1;
}

int plat_file_to_dos_time(const plat_filetime *in, uint16_t *dos_date, uint16_t *dos_time) {
    uint64_t seconds = ft_value(*in) / 10000000ULL;
    int64_t days = int64_t(seconds / 86400) - int64_t(EPOCH_DIFF / 86400);
    unsigned rest = unsigned(seconds % 86400), month, day;
    int year;
    civil_from_days(days, &year, &month, &day);
    if (year < 1980 || year > 2107) return 0;
    *dos_date = uint16_t(((year - 1980) << 9) | (month << 5) | day);
    *dos_time = uint16_t(((rest / 3600) << 11) | (((rest / 60) % 60) << 5) | ((rest % 60) / 2));
    return 1;
}

int plat_local_to_file_time(const plat_filetime *local, plat_filetime *utc) {
    *utc = ft_make(uint64_t(int64_t(ft_value(*local)) - local_bias()));
    return 1;
}

int plat_file_to_local_time(const plat_filetime *utc, plat_filetime *local) {
    *local = ft_make(uint64_t(int64_t(ft_value(*utc)) + local_bias()));
    return 1;
}

int plat_chdir(const char *path) { return chdir(host_path(path).c_str()) == 0 ? 0 : -1; }

int plat_mkdir(const char *path) {
    std::string p = host_path(path);
    struct stat db;
    if (stat(parent_of(p).c_str(), &db) != 0 || !writable(db)) return -1;
    return mkdir(p.c_str(), 0777) == 0 ? 0 : -1;
}

/* ========================================================================= */
/* Memory                                                                     */

void *plat_global_alloc(uint32_t size, int zeroed) {
    if (fault(FAULT_GLOBAL_ALLOC)) return nullptr;
    void *p = zeroed ? calloc(1, size ? size : 1) : malloc(size ? size : 1);
    if (p) st().live_blocks++;
    return p;
}

void plat_global_free(void *block) {
    if (!block) return;
    st().live_blocks--;
    free(block);
}

void *plat_malloc(size_t size) {
    if (fault(FAULT_MALLOC)) return nullptr;
    void *p = malloc(size ? size : 1);
    if (p) st().live_blocks++;
    return p;
}

void plat_free(void *block) {
    if (!block) return;
    st().live_blocks--;
    free(block);
}

/* ========================================================================= */
/* Texts                                                                      */

/* The host keeps names as the bytes they are: no code page is converted. */
void plat_oem_to_ansi(char *text) { (void)text; }
void plat_ansi_to_oem(char *text) { (void)text; }

int plat_compare_nocase(const char *a, const char *b) {
    for (;; a++, b++) {
        int ca = tolower((unsigned char)*a), cb = tolower((unsigned char)*b);
        if (ca != cb) return ca < cb ? -1 : 1;
        if (ca == 0) return 0;
    }
}

namespace {
struct string_entry {
    unsigned id;
    const char *text;
};
#define STR(id, text) {id, text},
const string_entry string_table[] = {
#include "resources/strings.def"
    {0, nullptr}};
#undef STR

std::map<unsigned, const char *> &string_overrides() {
    static std::map<unsigned, const char *> overrides;
    return overrides;
}

/* The text of id as the program would load it, or null. */
const char *string_text(unsigned id) {
    auto over = string_overrides().find(id);
    if (over != string_overrides().end()) return over->second;
    for (const string_entry *e = string_table; e->text; e++)
        if (e->id == id) return e->text;
    return nullptr;
}
} /* namespace */

void host_set_string(unsigned id, const char *text) { string_overrides()[id] = text; }

int plat_load_string(unsigned id, char *buf, int capacity) {
    if (capacity <= 0) return 0;
    const char *text = string_text(id);
    int n = 0;
    for (; text && text[n] && n < capacity - 1; n++) buf[n] = text[n];
    buf[n] = 0;
    return n;
}

/* The formatter of wvsprintfA: flags '-', '#' and '0', a width, a precision,
   the size prefixes 'h' and 'l' (both 32 bits here, as on the platform), and
   the types c d i u x X s and %.  Its output stops at 1024 characters, like
   the platform's, and then at the caller's capacity. */
int plat_vformat(char *buf, size_t capacity, const char *format, va_list args) {
    if (capacity == 0) return 0;
    sink out{buf, capacity < 1025 ? capacity : 1025, 0};
    for (const char *f = format; *f; f++) {
        if (*f != '%') {
            out.put(*f);
            continue;
        }
        f++;
        bool left = false, alt = false;
        char fill = ' ';
        for (;; f++) {
            if (*f == '-')
                left = true;
            else if (*f == '#')
                alt = true;
            else if (*f == '0')
                fill = '0';
            else
                break;
        }
        int width = 0, precision = -1;
        while (*f >= '0' && *f <= '9') width = width * 10 + (*f++ - '0');
        if (*f == '.') {
            precision = 0;
            for (f++; *f >= '0' && *f <= '9'; f++) precision = precision * 10 + (*f - '0');
        }
        while (*f == 'l' || *f == 'h') f++;
        char num[40];
        switch (*f) {
        case 'c': {
            char c = char(va_arg(args, int));
            put_field(out, &c, 1, width, left, ' ');
            break;
        }
        case 's': {
            const char *s = va_arg(args, const char *);
            if (!s) s = "(null)";
            size_t n = strlen(s);
            if (precision >= 0 && size_t(precision) < n) n = size_t(precision);
            put_field(out, s, n, width, left, ' ');
            break;
        }
        case 'd':
        case 'i': {
            int v = va_arg(args, int);
            int n = snprintf(num, sizeof num, "%d", v);
            if (fill == '0' && !left && v < 0 && width > n) {
                out.put('-');
                put_field(out, num + 1, size_t(n - 1), width - 1, false, '0');
            } else {
                put_field(out, num, size_t(n), width, left, left ? ' ' : fill);
            }
            break;
        }
        case 'u':
        case 'x':
        case 'X': {
            unsigned v = va_arg(args, unsigned);
            const char *pattern = *f == 'u' ? "%u" : *f == 'x' ? "%x" : "%X";
            int n = snprintf(num, sizeof num, pattern, v);
            if (alt && *f != 'u' && v != 0) {
                out.put('0');
                out.put(*f);
                width -= 2;
            }
            put_field(out, num, size_t(n), width, left, left ? ' ' : fill);
            break;
        }
        case '\0':
            f--;
            break;
        default:
            out.put(*f);
            break;
        }
    }
    out.buf[out.len] = 0;
    return int(out.len);
}

/* ========================================================================= */
/* Windows and messages                                                       */

namespace {
host_win *win(plat_window w) {
    host_win *h = static_cast<host_win *>(w);
    return h && h->alive ? h : nullptr;
}

plat_lparam deliver(plat_window w, int item, unsigned msg, plat_wparam wp, plat_lparam lp) {
    host_win *h = win(w);
    if (!h) return 0;
    if (!st().quiet) h->log.push_back(host_message{item, msg, wp, lp});
    return h->handler ? h->handler(w, item, msg, wp, lp) : 0;
}
} /* namespace */

int plat_message_box(plat_window owner, const char *text, const char *caption, unsigned style) {
    host_state &s = st();
    s.boxes.push_back(
        host_box{owner, text ? text : "", caption == nullptr, caption ? caption : "", style});
    if (s.boxes_to_stderr) fprintf(stderr, "%s\n", text ? text : "");
    if (!s.answers.empty()) {
        int answer = s.answers.front();
        s.answers.erase(s.answers.begin());
        return answer;
    }
    return (style & 0xF) == MB_YESNO ? IDNO : IDOK;
}

plat_lparam plat_send_message(plat_window w, unsigned msg, plat_wparam wp, plat_lparam lp) {
    return deliver(w, -1, msg, wp, lp);
}

int plat_post_message(plat_window w, unsigned msg, plat_wparam wp, plat_lparam lp) {
    if (!win(w)) return 0;
    st().queue.push_back(posted{w, msg, wp, lp});
    return 1;
}

plat_lparam plat_send_item_message(plat_window dialog, int item, unsigned msg, plat_wparam wp,
                                   plat_lparam lp) {
    return deliver(dialog, item, msg, wp, lp);
}

void plat_set_item_text(plat_window dialog, int item, const char *text) {
    host_win *h = win(dialog);
    if (!h) return;
    h->texts[item] = text ? text : "";
    deliver(dialog, item, 0x000C /* WM_SETTEXT */, 0, plat_lparam(text));
}

int plat_get_item_text(plat_window dialog, int item, char *buf, int capacity) {
    host_win *h = win(dialog);
    if (capacity <= 0) return 0;
    std::string text = h ? h->texts[item] : "";
    int n = int(text.size()) < capacity - 1 ? int(text.size()) : capacity - 1;
    memcpy(buf, text.data(), size_t(n));
    buf[n] = 0;
    return n;
}

void plat_enable_item(plat_window dialog, int item, int enable) {
    host_win *h = win(dialog);
    if (!h) return;
    h->disabled[item] = !enable;
    deliver(dialog, item, 0x000A /* WM_ENABLE */, plat_wparam(enable != 0), 0);
}

void plat_update_item(plat_window dialog, int item) {
    deliver(dialog, item, 0x000F /* WM_PAINT */, 0, 0);
}

void plat_drain_messages(int translate) {
    (void)translate;
    host_state &s = st();
    while (!s.queue.empty()) {
        posted m = s.queue.front();
        s.queue.erase(s.queue.begin());
        deliver(m.w, -1, m.msg, m.wp, m.lp);
    }
    s.drains++;
    if (s.drain_hook) s.drain_hook();
}

plat_window plat_find_window(const char *class_name) {
    for (auto &w : st().windows)
        if (w->alive && plat_compare_nocase(w->class_name.c_str(), class_name) == 0) return w.get();
    return nullptr;
}

uint32_t plat_tick_count(void) {
    host_state &s = st();
    if (s.fake_clock) {
        uint32_t now = s.clock;
        s.clock += s.clock_step;
        return now;
    }
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return uint32_t(uint64_t(ts.tv_sec) * 1000 + uint64_t(ts.tv_nsec) / 1000000);
}

/* ========================================================================= */
/* Profiles, registry, process                                               */

namespace {
std::string profile_key(const char *file, const char *section, const char *key) {
    return lower(file) + "|" + lower(section) + "|" + lower(key);
}

int copy_out(const std::string &text, char *buf, int capacity) {
    if (capacity <= 0) return 0;
    int n = int(text.size()) < capacity - 1 ? int(text.size()) : capacity - 1;
    memcpy(buf, text.data(), size_t(n));
    buf[n] = 0;
    return n;
}
} /* namespace */

int plat_get_profile_string(const char *section, const char *key, const char *fallback, char *buf,
                            int capacity) {
    return plat_get_private_profile_string(section, key, fallback, buf, capacity, "win.ini");
}

int plat_get_private_profile_string(const char *section, const char *key, const char *fallback,
                                    char *buf, int capacity, const char *file) {
    auto it = st().profiles.find(profile_key(file, section, key));
    return copy_out(it != st().profiles.end() ? it->second : (fallback ? fallback : ""), buf,
                    capacity);
}

int plat_write_private_profile_string(const char *section, const char *key, const char *value,
                                      const char *file) {
    if (value)
        st().profiles[profile_key(file, section, key)] = value;
    else
        st().profiles.erase(profile_key(file, section, key));
    return 1;
}

int plat_read_machine_value(const char *key, const char *value, char *buf, uint32_t *size) {
    auto it = st().machine.find(lower(key) + "\\" + lower(value));
    if (it == st().machine.end() || it->second.size() + 1 > *size) return 0;
    memcpy(buf, it->second.c_str(), it->second.size() + 1);
    *size = uint32_t(it->second.size() + 1);
    return 1;
}

uint32_t plat_module_file_name(char *buf, uint32_t capacity) {
    std::string path = st().module_path;
    if (path.empty()) {
        char self[4096];
        ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
        path.assign(self, n > 0 ? size_t(n) : 0);
    }
    return uint32_t(copy_out(path, buf, int(capacity)));
}

unsigned plat_win_exec(const char *command_line, int show) {
    (void)show;
    host_state &s = st();
    s.execs.push_back(command_line);
    if (s.exec_results.empty()) return 33;
    unsigned r = s.exec_results.front();
    s.exec_results.erase(s.exec_results.begin());
    return r;
}

int plat_exit_windows(void) {
    st().exit_windows++;
    return 1;
}

int plat_claim_instance(const char *name) {
    for (const std::string &held : st().claimed_elsewhere)
        if (plat_compare_nocase(held.c_str(), name) == 0) return 0;
    return 1;
}

/* ========================================================================= */
/* Controls for the tests                                                     */

void host_reset(void) {
    host_state &s = st();
    host_release_files();
    s.boxes.clear();
    s.answers.clear();
    for (auto &w : s.windows) w->alive = false;
    s.queue.clear();
    s.drain_hook = nullptr;
    s.drains = 0;
    s.machine.clear();
    s.profiles.clear();
    s.module_path.clear();
    s.drives.clear();
    s.fake_clock = false;
    s.execs.clear();
    s.exec_results.clear();
    s.exit_windows = 0;
    s.claimed_elsewhere.clear();
    s.created.clear();
    s.quiet = false;
    string_overrides().clear();
    for (int k = 0; k < FAULT_KINDS; k++) s.fail_at[k] = s.calls[k] = 0;
}

const std::vector<host_box> &host_boxes(void) { return st().boxes; }
void host_clear_boxes(void) { st().boxes.clear(); }
void host_answer_next_box(int answer) { st().answers.push_back(answer); }
void host_boxes_to_stderr(bool on) { st().boxes_to_stderr = on; }
void host_quiet(bool on) { st().quiet = on; }

plat_window host_create_window(const char *class_name, host_handler handler) {
    st().windows.push_back(
        std::unique_ptr<host_win>(new host_win{class_name, handler, {}, {}, {}, true}));
    return st().windows.back().get();
}

void host_destroy_window(plat_window w) {
    if (host_win *h = win(w)) h->alive = false;
}

const std::vector<host_message> &host_window_log(plat_window w) {
    return static_cast<host_win *>(w)->log;
}

std::string host_item_text(plat_window w, int item) {
    host_win *h = static_cast<host_win *>(w);
    auto it = h->texts.find(item);
    return it == h->texts.end() ? "" : it->second;
}

bool host_item_enabled(plat_window w, int item) {
    host_win *h = static_cast<host_win *>(w);
    auto it = h->disabled.find(item);
    return it == h->disabled.end() || !it->second;
}

void host_on_drain(void (*hook)(void)) { st().drain_hook = hook; }
int host_drain_count(void) { return st().drains; }

void host_set_machine_value(const char *key, const char *value, const char *data) {
    st().machine[lower(key) + "\\" + lower(value)] = data;
}

void host_set_profile(const char *file, const char *section, const char *key, const char *value) {
    plat_write_private_profile_string(section, key, value, file);
}

std::string host_profile(const char *file, const char *section, const char *key) {
    auto it = st().profiles.find(profile_key(file, section, key));
    return it == st().profiles.end() ? "" : it->second;
}

bool host_profile_has(const char *file, const char *section, const char *key) {
    return st().profiles.count(profile_key(file, section, key)) != 0;
}

void host_set_module_path(const char *path) { st().module_path = path ? path : ""; }

void host_map_drive(char letter, const char *dir) {
    st().drives[char(toupper((unsigned char)letter))] = dir;
}

void host_fake_clock(uint32_t start, uint32_t step) {
    st().fake_clock = step != 0 || start != 0;
    st().clock = start;
    st().clock_step = step;
}

const std::vector<std::string> &host_exec_log(void) { return st().execs; }
void host_exec_result_next(unsigned result) { st().exec_results.push_back(result); }
int host_exit_windows_count(void) { return st().exit_windows; }
void host_claim_elsewhere(const char *name) { st().claimed_elsewhere.push_back(name); }

void host_hold_file(const char *path) {
    struct stat sb;
    if (stat(host_path(path).c_str(), &sb) != 0) return;
    st().shares[file_id(sb.st_dev, sb.st_ino)].push_back(
        share_entry{-1, OF_READWRITE, OF_SHARE_EXCLUSIVE});
}

void host_release_files(void) {
    for (auto &entry : st().shares) {
        std::vector<share_entry> &opens = entry.second;
        for (size_t i = opens.size(); i-- > 0;)
            if (opens[i].fd < 0) opens.erase(opens.begin() + long(i));
    }
}

int host_open_files(void) { return int(st().fd_ids.size()); }
int host_live_blocks(void) { return st().live_blocks; }

void host_fail_call(host_fault_kind kind, int nth) {
    st().fail_at[kind] = nth > 0 ? st().calls[kind] + nth : 0;
}

int host_call_count(host_fault_kind kind) { return st().calls[kind]; }
