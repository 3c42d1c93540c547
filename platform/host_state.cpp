/*
 * host_state.cpp: the host platform's process-wide state, its reset and the
 * injected faults (host.h), and the memory blocks, counted so that tests can
 * see every block given back.
 *
 * The host platform runs portable code on a POSIX host for the tests and the
 * host tools (tvunzip).  Files are real files (host_files.cpp, host_paths.cpp);
 * the user interface, the registry, the profiles and the clock are simulated
 * (host_windows.cpp, host_system.cpp, host_time.cpp) and controlled through
 * host.h.
 */
#include "platform/host_state.h"

#include <cstdio>
#include <cstdlib>

namespace host_detail {

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

} /* namespace host_detail */

void *plat_global_alloc(uint32_t size, int zeroed) {
    if (fault(FAULT_GLOBAL_ALLOC)) return nullptr;
    void *p = zeroed ? calloc(1, size ? size : 1) : malloc(size ? size : 1);
    if (p) st().live_blocks++;
    return p;
}

/* A global block is a heap block here: the same count of live blocks. */
void plat_global_free(void *block) { plat_free(block); }

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

void plat_write_stderr(const char *text) { fputs(text, stderr); }

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

int host_live_blocks(void) { return st().live_blocks; }

void host_fail_call(host_fault_kind kind, int nth) {
    st().fail_at[kind] = nth > 0 ? st().calls[kind] + nth : 0;
}

int host_call_count(host_fault_kind kind) { return st().calls[kind]; }
