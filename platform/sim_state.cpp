/*
 * sim_state.cpp: the simulator's process-wide state and its reset, the
 * injected faults and the files other processes hold, both by wrapping the
 * port's file and memory operations (posix_io), and the count of open files
 * and memory blocks, so that tests can see every one given back.
 *
 * The simulator runs on the POSIX port: files are real files; the user
 * interface, the registry, the profiles and the clock are simulated
 * (sim_windows.cpp, sim_system.cpp) and controlled through host.h.
 */
#include "platform/sim_internal.h"

namespace sim_detail {

sim_state &st() {
    static sim_state state;
    return state;
}

std::string lower(std::string text) {
    for (char &c : text)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return text;
}

} /* namespace sim_detail */

using namespace sim_detail;

namespace {

/* Counts a call of a kind and says whether it is the one to fail.  A count
   of 64 bits does not run over in any run a test or a fuzzer makes. */
bool fault(host_fault_kind kind) {
    sim_state &s = st();
    s.calls[kind]++;
    if (s.fail_at[kind] != 0 && s.calls[kind] == s.fail_at[kind]) {
        s.fail_at[kind] = 0;
        return true;
    }
    return false;
}

/* Whether another process holds the file at path. */
bool held(const char *path) {
    struct stat sb;
    if (st().held.empty() || stat(posix_path(path).c_str(), &sb) != 0) return false;
    return st().held.count(sim_file_id(sb.st_dev, sb.st_ino)) != 0;
}

plat_file counted_open(plat_file f) {
    if (f != HFILE_ERROR) st().open_files++;
    return f;
}

plat_file sim_lopen(const char *path, int mode) {
    if (fault(FAULT_OPEN) || held(path)) return HFILE_ERROR;
    return counted_open(posix_io_native.lopen(path, mode));
}

plat_file sim_lcreat(const char *path, int attributes) {
    if (fault(FAULT_CREATE) || held(path)) return HFILE_ERROR;
    return counted_open(posix_io_native.lcreat(path, attributes));
}

uint32_t sim_lread(plat_file f, void *buf, uint32_t count) {
    if (fault(FAULT_READ_ERROR)) return uint32_t(HFILE_ERROR);
    if (fault(FAULT_READ_SHORT)) count /= 2;
    return posix_io_native.lread(f, buf, count);
}

uint32_t sim_lwrite(plat_file f, const void *buf, uint32_t count) {
    if (fault(FAULT_WRITE_ERROR)) return uint32_t(HFILE_ERROR);
    if (fault(FAULT_WRITE_SHORT)) count /= 2;
    return posix_io_native.lwrite(f, buf, count);
}

int32_t sim_llseek(plat_file f, int32_t offset, int origin) {
    if (fault(FAULT_SEEK)) return HFILE_ERROR;
    return posix_io_native.llseek(f, offset, origin);
}

plat_file sim_lclose(plat_file f) {
    plat_file r = posix_io_native.lclose(f);
    if (r == 0) st().open_files--;
    return r;
}

void *counted_block(void *p) {
    if (p) st().live_blocks++;
    return p;
}

void *sim_global_alloc(uint32_t size, int zeroed) {
    if (fault(FAULT_GLOBAL_ALLOC)) return nullptr;
    return counted_block(posix_io_native.global_alloc(size, zeroed));
}

void *sim_malloc(size_t size) {
    if (fault(FAULT_MALLOC)) return nullptr;
    return counted_block(posix_io_native.malloc(size));
}

void sim_free(void *block) {
    st().live_blocks--;
    posix_io_native.free(block);
}

const posix_io_ops SIM_IO = {sim_lopen,  sim_lcreat,       sim_lread,
                             sim_lwrite, sim_llseek,       sim_lclose,
                             sim_global_alloc, sim_malloc, sim_free};

/* The simulator is in from the program's start: every call is counted. */
[[maybe_unused]] const bool installed = (posix_io = SIM_IO, true);

} /* namespace */

void host_reset(void) {
    posix_reset();
    posix_io = SIM_IO;
    sim_state &s = st();
    sim_state fresh;
    fresh.open_files = s.open_files; /* what is still open stays counted */
    fresh.live_blocks = s.live_blocks;
    /* The windows made before are gone, but a handle a test still holds
       must not point at freed memory: they wait, dead, to be made anew. */
    fresh.windows.swap(s.windows);
    for (auto &w : fresh.windows) w->alive = false;
    fresh.retired.swap(s.retired);
    for (auto &w : fresh.windows) fresh.retired.push_back(std::move(w));
    fresh.windows.clear();
    s = std::move(fresh);
}

int host_live_blocks(void) { return st().live_blocks; }
int host_open_files(void) { return st().open_files; }

void host_fail_call(host_fault_kind kind, long long nth) {
    st().fail_at[kind] = nth > 0 ? st().calls[kind] + nth : 0;
}

long long host_call_count(host_fault_kind kind) { return st().calls[kind]; }

void host_hold_file(const char *path) {
    struct stat sb;
    if (stat(posix_path(path).c_str(), &sb) != 0) return;
    st().held.insert(sim_file_id(sb.st_dev, sb.st_ino));
}

void host_release_files(void) { st().held.clear(); }
