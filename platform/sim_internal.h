/*
 * sim_internal.h: the test simulator's process-wide state behind host.h,
 * shared by its files (sim_*.cpp).  Private to the simulator; tests use
 * host.h.
 */
#ifndef TARVEX_PLATFORM_SIM_INTERNAL_H
#define TARVEX_PLATFORM_SIM_INTERNAL_H

#include "platform/host.h"
#include "platform/posix.h"

#include <map>
#include <memory>
#include <set>
#include <string>
#include <sys/stat.h>
#include <utility>
#include <vector>

namespace sim_detail {

struct sim_window {
    std::string class_name;           /* window class, compared without case */
    host_handler handler;             /* the test's handler, or null */
    std::vector<host_message> log;    /* every message received */
    std::map<int, std::string> texts; /* control texts by id */
    std::map<int, bool> disabled;     /* controls disabled by id */
    bool alive;                       /* false once destroyed */
};

struct sim_posted {     /* a message waiting in the queue */
    plat_window w;      /* the window it is for */
    unsigned msg;       /* the message number */
    plat_wparam wp;     /* its wParam */
    plat_lparam lp;     /* its lParam */
};

typedef std::pair<dev_t, ino_t> sim_file_id;

struct sim_state {
    std::vector<host_box> boxes;                      /* boxes shown */
    std::vector<int> answers;                         /* scripted answers, in order */
    std::vector<std::unique_ptr<sim_window>> windows; /* every window made since the reset */
    std::vector<std::unique_ptr<sim_window>> retired; /* windows of before, to be made anew */
    std::vector<sim_posted> queue;                    /* posted messages */
    void (*drain_hook)(void) = nullptr;               /* the test's user */
    long long drains = 0;                             /* drains so far */
    std::map<std::string, std::string> machine;       /* registry "key\value" */
    std::map<std::string, std::string> profiles;      /* "file|section|key" */
    std::map<unsigned, const char *> strings;         /* the test's strings over the table */
    std::string module_path;                          /* GetModuleFileNameA */
    bool fake_clock = false;                          /* clock from the test */
    uint32_t clock = 0;                               /* fake clock's time */
    uint32_t clock_step = 0;                          /* added at every read */
    std::vector<std::string> execs;                   /* WinExec command lines */
    std::vector<unsigned> exec_results;               /* scripted WinExec results */
    int exit_windows = 0;                             /* ExitWindowsEx calls */
    std::vector<std::string> claimed_elsewhere;       /* names other processes hold */
    std::set<sim_file_id> held;                       /* files another process holds */
    int open_files = 0;                               /* files opened and not closed */
    int live_blocks = 0;                              /* allocations not freed */
    long long fail_at[FAULT_KINDS] = {};              /* call number to fail, 0 none */
    long long calls[FAULT_KINDS] = {};                /* calls of each kind */
};

sim_state &st();
std::string lower(std::string text);

} /* namespace sim_detail */

#endif
