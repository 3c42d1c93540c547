/*
 * tvunzip.cpp: the extraction engine as a command-line tool, for testing the
 * engine against other archivers' output and for extracting by hand.
 *
 *   tvunzip [-t] [-C] [-k] [-e] [-v] [-s OFFSET] [-n NAME]... ARCHIVE [DEST]
 *
 * Each option sets one field of the extraction request; the exit status is
 * the request's result (0 success, 2 failure, 99 cancelled), or 64 for a
 * command line that cannot be understood.  The engine's messages go to
 * standard error, one line each; on a terminal a progress bar follows the
 * engine's PRG_ADVANCE reports, and an interrupt cancels as the Cancel
 * button of the progress dialog does.
 */
#include "tools/tvunzip.h"

#include "common/messages.h"
#include "progress/progress.h"
#include "unzip/unzip.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

enum { EXIT_USAGE = 64, BAR_WIDTH = 40 };

const char USAGE[] =
    "usage: tvunzip [-t] [-C] [-k] [-e] [-v] [-s OFFSET] [-n NAME]... ARCHIVE [DEST]\n"
    "  -t         test the members, write nothing (no DEST)\n"
    "  -C         let a CRC-32 mismatch pass\n"
    "  -k         keep the stored directories below DEST\n"
    "  -e         pass over empty members\n"
    "  -v         print each member's name as it is extracted\n"
    "  -s OFFSET  begin reading the archive at byte OFFSET\n"
    "  -n NAME    extract only NAME ('/' separates); may be repeated\n"
    "exit status: 0 done, 2 failed, 99 interrupted, 64 usage error\n";

struct options {
    extract_request request; /* what the engine is asked to do */
    filter_node *last_node;  /* the filter list's tail, for appending */
    int verbose;             /* -v */
    int test_only;           /* -t */
    int positional;          /* ARCHIVE and DEST seen so far */
};

options opts;
uint32_t archive_size; /* for the bar's percentage; 0 unknown */
int bar_on;            /* standard error is a terminal */
int bar_shown;         /* a bar is on the line now */

void on_interrupt(int) { cancel_flag = 1; }

void clear_bar(void) {
    if (!bar_shown) return;
    fprintf(stderr, "\r%*s\r", BAR_WIDTH + 8, "");
    bar_shown = 0;
}

void draw_bar(uint32_t units) {
    if (!bar_on || archive_size == 0) return;
    uint64_t done = uint64_t(units) * PROGRESS_UNIT;
    unsigned percent = done >= archive_size ? 100 : unsigned(done * 100 / archive_size);
    char bar[BAR_WIDTH + 1];
    unsigned filled = percent * BAR_WIDTH / 100;
    for (unsigned i = 0; i < BAR_WIDTH; i++) bar[i] = i < filled ? '#' : '.';
    bar[BAR_WIDTH] = 0;
    fprintf(stderr, "\r[%s] %3u%%", bar, percent);
    bar_shown = 1;
}

/* The archive's size, looked up under the name the engine will open. */
uint32_t size_of_archive(const char *path) {
    char name[1024];
    plat_format(name, sizeof name, strchr(path, '.') ? "%s" : "%s.ZIP", path);
    plat_find_data found;
    return plat_find_first(name, &found) ? found.nFileSizeLow : 0;
}

[[noreturn]] void usage_error(const char *why) {
    fprintf(stderr, "tvunzip: %s\n%s", why, USAGE);
    exit(EXIT_USAGE);
}

void add_filter(const char *name) {
    size_t length = strlen(name);
    filter_node *node = static_cast<filter_node *>(malloc(sizeof(filter_node) + length));
    if (!node) usage_error("out of memory");
    node->next = nullptr;
    memcpy(node->name, name, length + 1);
    if (opts.last_node)
        opts.last_node->next = node;
    else
        opts.request.filter_list = node;
    opts.last_node = node;
}

void set_offset(const char *text) {
    char *end;
    long value = strtol(text, &end, 0);
    if (*text == 0 || *end != 0 || value < 0 || value > 0x7FFFFFFFL)
        usage_error("OFFSET must be a number of bytes");
    opts.request.start_offset = int32_t(value);
}

/* One cluster of letters after '-'; returns how many arguments it used. */
int take_flags(const char *flags, const char *next) {
    for (const char *f = flags; *f; f++) {
        switch (*f) {
        case 't':
            opts.test_only = 1;
            break;
        case 'C':
            opts.request.crc_check = 0;
            break;
        case 'k':
            opts.request.keep_paths = 1;
            break;
        case 'e':
            opts.request.skip_empty = 1;
            break;
        case 'v':
            opts.verbose = 1;
            break;
        case 'h':
            fputs(USAGE, stdout);
            exit(0);
        case 's':
        case 'n': {
            const char *value = f[1] ? f + 1 : next;
            if (!value) usage_error("an option needs a value");
            if (*f == 's')
                set_offset(value);
            else
                add_filter(value);
            return f[1] ? 1 : 2;
        }
        default:
            usage_error("unknown option");
        }
    }
    return 1;
}

void take_positional(const char *arg) {
    if (opts.positional == 0)
        opts.request.archive_path = arg;
    else if (opts.positional == 1)
        opts.request.dest_dir = arg;
    else
        usage_error("too many arguments");
    opts.positional++;
}

void parse(int argc, char **argv) {
    opts.request.crc_check = 1;
    int only_names = 0;
    for (int i = 1; i < argc;) {
        const char *arg = argv[i];
        if (!only_names && strcmp(arg, "--help") == 0) take_flags("h", nullptr);
        if (!only_names && strcmp(arg, "--") == 0)
            only_names = 1, i++;
        else if (!only_names && arg[0] == '-' && arg[1])
            i += take_flags(arg + 1, argv[i + 1]);
        else
            take_positional(arg), i++;
    }
    if (opts.positional == 0) usage_error("no ARCHIVE given");
    if (opts.test_only && opts.request.dest_dir) usage_error("-t takes no DEST");
    if (!opts.test_only && !opts.request.dest_dir) usage_error("no DEST given");
}

void free_filters(void) {
    for (filter_node *node = opts.request.filter_list; node;) {
        filter_node *next = node->next;
        free(node);
        node = next;
    }
}

} /* namespace */

plat_lparam tvunzip_progress(unsigned msg, plat_wparam wp, plat_lparam lp) {
    if (msg == PRG_SHOWFILE && opts.verbose) {
        clear_bar();
        printf("%s\n", reinterpret_cast<const char *>(lp));
        fflush(stdout);
    } else if (msg == PRG_ADVANCE) {
        draw_bar(uint32_t(wp));
        return cancel_flag;
    }
    return 0;
}

int main(int argc, char **argv) {
    parse(argc, argv);
    messages_on_console(1);
    bar_on = tvunzip_stderr_is_terminal();
    archive_size = size_of_archive(opts.request.archive_path);
    opts.request.owner_window = tvunzip_open_owner();
    signal(SIGINT, on_interrupt);
    extract_archive(&opts.request);
    clear_bar();
    free_filters();
    return opts.request.result;
}
