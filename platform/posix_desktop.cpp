/*
 * posix_desktop.cpp: the POSIX port's desktop, which is the console: a box
 * is its text on standard error, answered with its default button; a window
 * is its procedure, its posted messages waiting in one queue until the next
 * drain; the string table is the one built in; there are no profiles, no
 * registry values, no other programs and no restart.
 *
 * These are the services a test simulator replaces as a whole: it is linked
 * on top of the port with each of them (host.h), and this file is then left
 * out of the program.
 */
#include "platform/posix.h"

#include <cstdio>
#include <cstring>
#include <unistd.h>
#include <vector>

namespace {

struct posted { /* a message waiting in the queue */
    plat_window w;  /* the window it is for */
    unsigned msg;   /* the message number */
    plat_wparam wp; /* its wParam */
    plat_lparam lp; /* its lParam */
};

std::vector<posted> &queue() {
    static std::vector<posted> waiting;
    return waiting;
}

plat_lparam deliver(plat_window w, int item, unsigned msg, plat_wparam wp, plat_lparam lp) {
    posix_procedure *procedure = static_cast<posix_procedure *>(w);
    return procedure && *procedure ? (*procedure)(w, item, msg, wp, lp) : 0;
}

/* Copies text into buf of capacity bytes, cut and terminated. */
int copy_out(const char *text, char *buf, int capacity) {
    if (capacity <= 0) return 0;
    int n = 0;
    for (; text && text[n] && n < capacity - 1; n++) buf[n] = text[n];
    buf[n] = 0;
    return n;
}

} /* namespace */

/* A window lives as long as the program, in a slot of its own, so that no
   block is left at exit: a tool makes one or two. */
plat_window posix_window(posix_procedure procedure) {
    static posix_procedure slots[4];
    static unsigned used;
    if (used == sizeof slots / sizeof slots[0]) return nullptr;
    slots[used] = procedure;
    return &slots[used++];
}

int plat_message_box(plat_window owner, const char *text, const char *caption, unsigned style) {
    (void)owner, (void)caption;
    fprintf(stderr, "%s\n", text ? text : "");
    return (style & 0xF) == MB_YESNO ? IDNO : IDOK;
}

plat_lparam plat_send_message(plat_window w, unsigned msg, plat_wparam wp, plat_lparam lp) {
    return deliver(w, -1, msg, wp, lp);
}

int plat_post_message(plat_window w, unsigned msg, plat_wparam wp, plat_lparam lp) {
    if (!w) return 0;
    queue().push_back(posted{w, msg, wp, lp});
    return 1;
}

plat_lparam plat_send_item_message(plat_window dialog, int item, unsigned msg, plat_wparam wp,
                                   plat_lparam lp) {
    return deliver(dialog, item, msg, wp, lp);
}

/* A console window has no controls to show a text or a state. */
void plat_set_item_text(plat_window dialog, int item, const char *text) {
    (void)dialog, (void)item, (void)text;
}
int plat_get_item_text(plat_window dialog, int item, char *buf, int capacity) {
    (void)dialog, (void)item;
    return copy_out("", buf, capacity);
}
void plat_enable_item(plat_window dialog, int item, int enable) {
    (void)dialog, (void)item, (void)enable;
}
void plat_update_item(plat_window dialog, int item) { (void)dialog, (void)item; }

void plat_drain_messages(int translate) {
    (void)translate;
    std::vector<posted> now;
    now.swap(queue());
    for (const posted &m : now) deliver(m.w, -1, m.msg, m.wp, m.lp);
}

plat_window plat_find_window(const char *class_name) {
    (void)class_name;
    return nullptr;
}

uint32_t plat_tick_count(void) { return posix_ticks(); }

/* The host's system always keeps the SSE2 registers of its processes. */
int plat_sse2_usable(void) { return 1; }

int plat_load_string(unsigned id, char *buf, int capacity) {
    return copy_out(posix_string(id), buf, capacity);
}

int plat_get_profile_string(const char *section, const char *key, const char *fallback, char *buf,
                            int capacity) {
    return plat_get_private_profile_string(section, key, fallback, buf, capacity, "win.ini");
}

int plat_get_private_profile_string(const char *section, const char *key, const char *fallback,
                                    char *buf, int capacity, const char *file) {
    (void)section, (void)key, (void)file;
    return copy_out(fallback ? fallback : "", buf, capacity);
}

int plat_write_private_profile_string(const char *section, const char *key, const char *value,
                                      const char *file) {
    (void)section, (void)key, (void)value, (void)file;
    return 0;
}

int plat_read_machine_value(const char *key, const char *value, char *buf, uint32_t *size) {
    (void)key, (void)value, (void)buf, (void)size;
    return 0;
}

uint32_t plat_module_file_name(char *buf, uint32_t capacity) {
    char self[4096];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    self[n > 0 ? n : 0] = 0;
    return uint32_t(copy_out(self, buf, int(capacity)));
}

/* 2: the file was not found, as WinExec says of a program it cannot start. */
unsigned plat_win_exec(const char *command_line, int show) {
    (void)command_line, (void)show;
    return 2;
}

int plat_exit_windows(void) { return 0; }

int plat_claim_instance(const char *name) {
    (void)name;
    return 1;
}
