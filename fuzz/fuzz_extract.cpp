/*
 * fuzz_extract.cpp: whole runs of extract_archive over arbitrary archives, in
 * test mode and into a directory, with options, a cancel or a platform fault
 * picked by the input's hash.  Each run must end with one message if and only
 * if it failed, nothing open, allocated or written outside the destination,
 * exactly the announced members after a success, and bounded output.
 */
#include "fuzz/fuzz_common.h"
#include "platform/host.h"
#include "progress/progress.h"
#include "tests/unzip/zip_writer.h"
#include "unzip/unzip.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

enum {
    MAX_MATCH = 258, /* longest output of one code */
    RESCAN = 20      /* bytes the walk may read twice per member */
};

struct run_log {                 /* what one run told its owner window */
    std::set<std::string> shown; /* PRG_SHOWFILE names, lower case */
    int cancel_at_drain;         /* drain that sets the cancel flag, 0 none */
} run;

fs::path root, dest, archive;

std::string lower(std::string s) {
    for (char &c : s) c = char(tolower((unsigned char)c));
    return s;
}

plat_lparam owner(plat_window, int item, unsigned msg, plat_wparam, plat_lparam lp) {
    if (item == -1 && msg == PRG_SHOWFILE) run.shown.insert(lower(reinterpret_cast<char *>(lp)));
    return 0;
}

void on_drain(void) {
    if (run.cancel_at_drain && host_drain_count() == run.cancel_at_drain) cancel_flag = 1;
}

/* A fresh directory under TMPDIR (run.sh picks a memory-backed one). */
void set_up(void) {
    root = make_temp_dir();
    dest = root / "out";
    archive = root / "a.zip";
    fs::create_directory(dest);
    atexit([] { clear_dir(root.string()); });
}

void empty_dest(void) {
    for (const auto &e : fs::directory_iterator(dest)) clear_dir(e.path().string());
}

/* Files in the destination by lower-case name, with their total size. */
std::set<std::string> dest_files(uintmax_t *total) {
    std::set<std::string> names;
    *total = 0;
    for (const auto &e : fs::directory_iterator(dest)) {
        if (!e.is_regular_file()) broken("something other than a file in the destination");
        names.insert(lower(e.path().filename().string()));
        *total += e.file_size();
    }
    return names;
}

void check_outside(void) {
    for (const auto &e : fs::directory_iterator(root))
        if (e.path() != dest && e.path() != archive) broken("a file outside the destination");
}

void fill_request(extract_request *r, uint32_t h, bool test) {
    static std::vector<std::vector<char>> filters;
    memset(r, 0, sizeof *r);
    r->crc_check = (h >> 2) & 1;
    r->archive_path = archive.c_str();
    r->dest_dir = test ? nullptr : dest.c_str();
    r->keep_paths = h & 1;
    r->skip_empty = (h >> 1) & 1;
    r->start_offset = (h >> 5) % 8 == 0 ? int32_t((h >> 8) % 64) : 0;
    if ((h >> 3) % 4 == 0) r->filter_list = filter_list(filters, {"a.txt", "dir/b.bin"});
}

/* Arms a cancel or a platform fault for some runs. */
void arm(uint32_t h) {
    run.cancel_at_drain = (h >> 14) % 16 == 0 ? int(1 + (h >> 18) % 8) : 0;
    if ((h >> 21) % 8 == 0)
        host_fail_call(host_fault_kind((h >> 24) % FAULT_KINDS), int(1 + (h >> 28) % 8));
}

void one_run(uint32_t h, bool test, size_t size) {
    host_reset(); /* every run starts as the program does, so a finding replays */
    plat_window window = host_create_window("owner", owner);
    host_on_drain(on_drain);
    cancel_flag = 0;
    run.shown.clear();
    arm(h);
    extract_request r;
    fill_request(&r, h, test);
    r.owner_window = window;
    if (extract_archive(&r) != 1) broken("the engine refused to start");
    for (int k = 0; k < FAULT_KINDS; k++) host_fail_call(host_fault_kind(k), 0);
    size_t boxes = host_boxes().size();
    if (r.result != 0 && r.result != 2 && r.result != 99) broken("result out of range");
    if (r.result == 99 && !run.cancel_at_drain) broken("cancelled with no cancel");
    if (boxes != (r.result == 2 ? 1u : 0u)) broken("messages do not match the result");
    if (host_open_files() != 0) broken("a file left open");
    if (host_live_blocks() != 0) broken("a block left allocated");
    check_outside();
    uintmax_t total;
    std::set<std::string> files = dest_files(&total);
    if (test && !files.empty()) broken("test mode wrote a file");
    if (total > uintmax_t(MAX_MATCH) * 8 * (size + RESCAN * (run.shown.size() + 1)))
        broken("more output than the archive's bits can yield");
    if (test) return;
    if (r.result == 0
            ? files != run.shown
            : !std::includes(run.shown.begin(), run.shown.end(), files.begin(), files.end()))
        broken("files differ from the members announced");
}

} /* namespace */

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static bool started = (set_up(), true);
    (void)started;
    FILE *f = fopen(archive.c_str(), "wb");
    if (!f || fwrite(data, 1, size, f) != size || fclose(f) != 0) broken("cannot write");
    uint32_t h = hash(data, size);
    one_run(h, true, size);
    empty_dest();
    one_run(h, false, size);
    empty_dest();
    return 0;
}
