/*
 * sim_windows.cpp: the simulated user interface.  A message box is recorded
 * and answered from a script, a window is a handle with a message handler of
 * the test's own and a log of what it received, and posted messages wait in
 * one queue until the next drain.
 */
#include "platform/sim_internal.h"

#include <cstring>

using namespace sim_detail;

namespace {
sim_window *win(plat_window w) {
    sim_window *h = static_cast<sim_window *>(w);
    return h && h->alive ? h : nullptr;
}

plat_lparam deliver(plat_window w, int item, unsigned msg, plat_wparam wp, plat_lparam lp) {
    sim_window *h = win(w);
    if (!h) return 0;
    h->log.push_back(host_message{item, msg, wp, lp});
    return h->handler ? h->handler(w, item, msg, wp, lp) : 0;
}
} /* namespace */

int plat_message_box(plat_window owner, const char *text, const char *caption, unsigned style) {
    sim_state &s = st();
    s.boxes.push_back(
        host_box{owner, text ? text : "", caption == nullptr, caption ? caption : "", style});
    if (!s.answers.empty()) {
        int answer = s.answers.front();
        s.answers.erase(s.answers.begin());
        return answer;
    }
    return (style & 0xF) == MB_YESNO ? IDNO : IDOK;
}

plat_lparam plat_send_message(plat_window w, unsigned msg, plat_wparam wp, plat_lparam lp) {
    return deliver(w, -1, msg, wp, lp);
}

int plat_post_message(plat_window w, unsigned msg, plat_wparam wp, plat_lparam lp) {
    if (!win(w)) return 0;
    st().queue.push_back(sim_posted{w, msg, wp, lp});
    return 1;
}

plat_lparam plat_send_item_message(plat_window dialog, int item, unsigned msg, plat_wparam wp,
                                   plat_lparam lp) {
    return deliver(dialog, item, msg, wp, lp);
}

void plat_set_item_text(plat_window dialog, int item, const char *text) {
    sim_window *h = win(dialog);
    if (!h) return;
    h->texts[item] = text ? text : "";
    deliver(dialog, item, 0x000C /* WM_SETTEXT */, 0, plat_lparam(text));
}

int plat_get_item_text(plat_window dialog, int item, char *buf, int capacity) {
    sim_window *h = win(dialog);
    if (capacity <= 0) return 0;
    std::string text = h ? h->texts[item] : "";
    int n = int(text.size()) < capacity - 1 ? int(text.size()) : capacity - 1;
    memcpy(buf, text.data(), size_t(n));
    buf[n] = 0;
    return n;
}

void plat_enable_item(plat_window dialog, int item, int enable) {
    sim_window *h = win(dialog);
    if (!h) return;
    h->disabled[item] = !enable;
    deliver(dialog, item, 0x000A /* WM_ENABLE */, plat_wparam(enable != 0), 0);
}

void plat_update_item(plat_window dialog, int item) {
    deliver(dialog, item, 0x000F /* WM_PAINT */, 0, 0);
}

void plat_drain_messages(int translate) {
    (void)translate;
    sim_state &s = st();
    while (!s.queue.empty()) {
        sim_posted m = s.queue.front();
        s.queue.erase(s.queue.begin());
        deliver(m.w, -1, m.msg, m.wp, m.lp);
    }
    s.drains++;
    if (s.drain_hook) s.drain_hook();
}

plat_window plat_find_window(const char *class_name) {
    for (auto &w : st().windows)
        if (w->alive && plat_compare_nocase(w->class_name.c_str(), class_name) == 0) return w.get();
    return nullptr;
}

const std::vector<host_box> &host_boxes(void) { return st().boxes; }
void host_clear_boxes(void) { st().boxes.clear(); }
void host_answer_next_box(int answer) { st().answers.push_back(answer); }

/* A window of before the last reset is made anew before memory is asked. */
plat_window host_create_window(const char *class_name, host_handler handler) {
    sim_state &s = st();
    std::unique_ptr<sim_window> w;
    if (!s.retired.empty()) {
        w = std::move(s.retired.back());
        s.retired.pop_back();
        *w = sim_window{class_name, handler, {}, {}, {}, true};
    } else {
        w.reset(new sim_window{class_name, handler, {}, {}, {}, true});
    }
    s.windows.push_back(std::move(w));
    return s.windows.back().get();
}

void host_destroy_window(plat_window w) {
    if (sim_window *h = win(w)) h->alive = false;
}

const std::vector<host_message> &host_window_log(plat_window w) {
    return static_cast<sim_window *>(w)->log;
}

std::string host_item_text(plat_window w, int item) {
    sim_window *h = static_cast<sim_window *>(w);
    auto it = h->texts.find(item);
    return it == h->texts.end() ? "" : it->second;
}

bool host_item_enabled(plat_window w, int item) {
    sim_window *h = static_cast<sim_window *>(w);
    auto it = h->disabled.find(item);
    return it == h->disabled.end() || !it->second;
}

void host_on_drain(void (*hook)(void)) { st().drain_hook = hook; }
long long host_drain_count(void) { return st().drains; }
