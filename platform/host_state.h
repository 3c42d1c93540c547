/*
 * host_state.h: what the files of the host platform share (host_*.cpp):
 * the process-wide simulated state behind host.h, the fault counter, and
 * the path and time helpers more than one service needs.  Private to the
 * platform layer; tests use host.h.
 */
#ifndef TARVEX_PLATFORM_HOST_STATE_H
#define TARVEX_PLATFORM_HOST_STATE_H

#include "platform/host.h"

#include <map>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <utility>
#include <vector>

namespace host_detail {

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

host_state &st();
/* Counts a call of a kind and says whether it is the one to fail. */
bool fault(host_fault_kind kind);
std::string lower(std::string text);
/* Turns a Windows path into the host path of the file it names. */
std::string host_path(const char *path);
/* The parent directory of a host path, for the read-only checks. */
std::string parent_of(const std::string &p);
bool writable(const struct stat &sb);

const uint64_t EPOCH_DIFF = 11644473600ULL; /* seconds from 1601 to 1970 */
uint64_t ft_value(const plat_filetime &t);
plat_filetime ft_make(uint64_t v);
plat_filetime ft_from_timespec(const struct timespec &ts);
struct timespec timespec_from_ft(const plat_filetime &t);

/* Strings set by host_set_string over the table as built. */
std::map<unsigned, const char *> &string_overrides();
/* The key of a profile value, without case. */
std::string profile_key(const char *file, const char *section, const char *key);

} /* namespace host_detail */

using namespace host_detail;

#endif
