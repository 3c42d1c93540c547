/*
 * posix_files.cpp: files by handle and memory blocks on the host, with the
 * share modes, the read-only attribute and the creation times that a POSIX
 * system (and root above all) knows none of, kept by this layer; the block
 * read ahead for a file opened to read alone, which spares the archive's
 * many small reads their system calls; the file probe and directories.  The
 * file and memory operations are reached through the table posix_io.
 */
#include "platform/posix_internal.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <map>
#include <unistd.h>
#include <utility>
#include <vector>

using namespace posix_detail;

namespace {

struct share_entry { /* one open of a file, for share modes */
    int fd;          /* our descriptor */
    int access;      /* OF_READ, OF_WRITE or OF_READWRITE */
    int share;       /* OF_SHARE_* bits, 0 for compatibility */
};

typedef std::pair<dev_t, ino_t> file_id;

struct file_table {
    std::map<file_id, std::vector<share_entry>> shares; /* open files */
    std::map<file_id, plat_filetime> created;           /* creation times set */
    std::map<int, file_id> fd_ids;                      /* our fds to their files */
};

file_table &files() {
    static file_table table;
    return table;
}

bool writable(const struct stat &sb) { return (sb.st_mode & 0222) != 0; }

/* The parent directory of a host path, for the read-only checks. */
std::string parent_of(const std::string &p) {
    size_t k = p.find_last_of('/');
    if (k == std::string::npos) return ".";
    return k == 0 ? "/" : p.substr(0, k);
}

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
    files().shares[id].push_back(share_entry{fd, access, share});
    files().fd_ids[fd] = id;
}

/* The engine reads an archive in many small pieces (a local header, a name,
   a descriptor, a signature) and steps back over a few bytes now and then;
   served from a block read ahead, most of them cost no system call.  Only
   files opened by plat_lopen for reading alone have one; every plat_lread
   and plat_llseek still gives what the file holds at the position the
   program sees. */
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
   large rest goes straight to the caller's buffer, and the block, no longer
   just behind the descriptor's offset, is dropped: a step back would
   otherwise be served bytes from before that rest. */
uint32_t read_through(read_ahead &ra, int fd, char *buf, uint32_t count) {
    uint32_t done = 0;
    while (done < count) {
        if (ra.next == ra.end && count - done >= READ_AHEAD) {
            uint32_t n = read_fully(fd, buf + done, count - done);
            if (n == uint32_t(HFILE_ERROR)) return n;
            ra.next = ra.end = 0;
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

plat_file native_lopen(const char *path, int mode) {
    std::string p = posix_path(path);
    int access = mode & 3, share = mode & 0x70;
    struct stat sb;
    if (stat(p.c_str(), &sb) != 0 || S_ISDIR(sb.st_mode)) return HFILE_ERROR;
    if (access != OF_READ && !writable(sb)) return HFILE_ERROR;
    if (!shares_allow(files().shares[file_id(sb.st_dev, sb.st_ino)], access, share))
        return HFILE_ERROR;
    int flags = access == OF_READ ? O_RDONLY : access == OF_WRITE ? O_WRONLY : O_RDWR;
    int fd = open(p.c_str(), flags | O_CLOEXEC);
    if (fd < 0) return HFILE_ERROR;
    remember_open(fd, access, share);
    read_aheads().erase(fd);
    if (access == OF_READ) read_aheads()[fd].bytes.resize(READ_AHEAD);
    return fd;
}

plat_file native_lcreat(const char *path, int attributes) {
    (void)attributes;
    std::string p = posix_path(path);
    struct stat sb, db;
    if (stat(parent_of(p).c_str(), &db) != 0 || !writable(db)) return HFILE_ERROR;
    if (stat(p.c_str(), &sb) == 0) {
        if (S_ISDIR(sb.st_mode) || !writable(sb)) return HFILE_ERROR;
        if (!shares_allow(files().shares[file_id(sb.st_dev, sb.st_ino)], OF_READWRITE, 0))
            return HFILE_ERROR;
        files().created.erase(file_id(sb.st_dev, sb.st_ino));
    }
    int fd = open(p.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) return HFILE_ERROR;
    remember_open(fd, OF_READWRITE, 0);
    read_aheads().erase(fd);
    return fd;
}

uint32_t native_lread(plat_file f, void *buf, uint32_t count) {
    auto it = read_aheads().find(f);
    if (it != read_aheads().end())
        return read_through(it->second, f, static_cast<char *>(buf), count);
    return read_fully(f, static_cast<char *>(buf), count);
}

uint32_t native_lwrite(plat_file f, const void *buf, uint32_t count) {
    uint32_t done = 0;
    while (done < count) {
        ssize_t n = write(f, static_cast<const char *>(buf) + done, count - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return done > 0 ? done : uint32_t(HFILE_ERROR);
        done += uint32_t(n);
    }
    return done;
}

int32_t native_llseek(plat_file f, int32_t offset, int origin) {
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

plat_file native_lclose(plat_file f) {
    read_aheads().erase(f);
    auto it = files().fd_ids.find(f);
    if (it != files().fd_ids.end()) {
        std::vector<share_entry> &opens = files().shares[it->second];
        for (size_t i = 0; i < opens.size(); i++)
            if (opens[i].fd == f) {
                opens.erase(opens.begin() + long(i));
                break;
            }
        files().fd_ids.erase(it);
    }
    return close(f) == 0 ? 0 : HFILE_ERROR;
}

void *native_global_alloc(uint32_t size, int zeroed) {
    return zeroed ? calloc(1, size ? size : 1) : malloc(size ? size : 1);
}

void *native_malloc(size_t size) { return malloc(size ? size : 1); }

void native_free(void *block) { free(block); }

} /* namespace */

const posix_io_ops posix_io_native = {native_lopen,  native_lcreat,       native_lread,
                                      native_lwrite, native_llseek,       native_lclose,
                                      native_global_alloc, native_malloc, native_free};
posix_io_ops posix_io = {native_lopen,  native_lcreat,       native_lread,
                         native_lwrite, native_llseek,       native_lclose,
                         native_global_alloc, native_malloc, native_free};

plat_file plat_lopen(const char *path, int mode) { return posix_io.lopen(path, mode); }
plat_file plat_lcreat(const char *path, int attributes) { return posix_io.lcreat(path, attributes); }
uint32_t plat_lread(plat_file f, void *buf, uint32_t count) { return posix_io.lread(f, buf, count); }
uint32_t plat_lwrite(plat_file f, const void *buf, uint32_t count) {
    return posix_io.lwrite(f, buf, count);
}
int32_t plat_llseek(plat_file f, int32_t offset, int origin) {
    return posix_io.llseek(f, offset, origin);
}
plat_file plat_lclose(plat_file f) { return posix_io.lclose(f); }
void *plat_global_alloc(uint32_t size, int zeroed) { return posix_io.global_alloc(size, zeroed); }
void plat_global_free(void *block) { plat_free(block); } /* a global block is a heap block here */
void *plat_malloc(size_t size) { return posix_io.malloc(size); }
void plat_free(void *block) {
    if (block) posix_io.free(block);
}

int plat_remove(const char *path) { return remove(posix_path(path).c_str()); }

int plat_find_first(const char *path, plat_find_data *found) {
    std::string p = posix_path(path);
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
    auto c = files().created.find(file_id(sb.st_dev, sb.st_ino));
    found->ftCreationTime = c != files().created.end() ? c->second : found->ftLastWriteTime;
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
    auto c = files().created.find(file_id(sb.st_dev, sb.st_ino));
    if (created) *created = c != files().created.end() ? c->second : w;
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
    if (created && fstat(f, &sb) == 0) files().created[file_id(sb.st_dev, sb.st_ino)] = *created;
    return 1;
}

int plat_chdir(const char *path) { return chdir(posix_path(path).c_str()) == 0 ? 0 : -1; }

int plat_mkdir(const char *path) {
    std::string p = posix_path(path);
    struct stat db;
    if (stat(parent_of(p).c_str(), &db) != 0 || !writable(db)) return -1;
    return mkdir(p.c_str(), 0777) == 0 ? 0 : -1;
}


void posix_reset(void) {
    forget_drives();
    files().created.clear();
    posix_io = posix_io_native;
}
