/*
 * posix_paths.cpp: Windows paths on the host.  '\\' and '/' both separate, a
 * drive prefix is mapped to a directory (posix_map_drive), and each component
 * is matched without regard to case, as the Windows file system does, so that
 * the stored spelling of a name can be seen.  The names of the directory
 * searched last, and the directory of the last path found as given, are
 * remembered, so that many files in one directory cost few system calls.
 */
#include "platform/posix_internal.h"

#include <cerrno>
#include <climits>
#include <dirent.h>
#include <map>
#include <string>
#include <sys/inotify.h>
#include <unistd.h>

using namespace posix_detail;

namespace {

std::map<char, std::string> &drives() {
    static std::map<char, std::string> mapped; /* drive letter to host directory */
    return mapped;
}

bool is_sep(char c) { return c == '\\' || c == '/'; }

std::string lower(std::string text) {
    for (char &c : text)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return text;
}

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
        auto it = drives().find(char(toupper((unsigned char)p[0])));
        if (it != drives().end()) out = it->second + "/";
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

} /* namespace */

std::string posix_path(const char *path) {
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

namespace posix_detail {

void forget_drives(void) { drives().clear(); }

} /* namespace posix_detail */

void posix_map_drive(char letter, const char *dir) {
    drives()[char(toupper((unsigned char)letter))] = dir;
}
