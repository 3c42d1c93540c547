/*
 * sim_system.cpp: the simulated system around the program: the profiles
 * (win.ini and private ones), the machine's registry values, the module
 * path, the string table with the test's own strings over it, the clock,
 * starting a program, restarting Windows and the one-instance claim, with
 * the controls that set and read them (host.h).
 */
#include "platform/sim_internal.h"

#include <cstring>
#include <unistd.h>

using namespace sim_detail;

namespace {
/* The key of a profile value, without case. */
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
    sim_state &s = st();
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

int plat_load_string(unsigned id, char *buf, int capacity) {
    auto over = st().strings.find(id);
    const char *text = over != st().strings.end() ? over->second : posix_string(id);
    return copy_out(text ? text : "", buf, capacity);
}

void host_set_string(unsigned id, const char *text) { st().strings[id] = text; }

uint32_t plat_tick_count(void) {
    sim_state &s = st();
    if (!s.fake_clock) return posix_ticks();
    uint32_t now = s.clock;
    s.clock += s.clock_step;
    return now;
}

void host_fake_clock(uint32_t start, uint32_t step) {
    st().fake_clock = step != 0 || start != 0;
    st().clock = start;
    st().clock_step = step;
}

/* The host's system always keeps the SSE2 registers of its processes. */
int plat_sse2_usable(void) { return 1; }

void host_map_drive(char letter, const char *dir) { posix_map_drive(letter, dir); }

void host_set_module_path(const char *path) { st().module_path = path ? path : ""; }

const std::vector<std::string> &host_exec_log(void) { return st().execs; }
void host_exec_result_next(unsigned result) { st().exec_results.push_back(result); }
int host_exit_windows_count(void) { return st().exit_windows; }
void host_claim_elsewhere(const char *name) { st().claimed_elsewhere.push_back(name); }
