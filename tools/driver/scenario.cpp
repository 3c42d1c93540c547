/*
 * scenario.cpp: reads a scenario file and plays it: the words of each line,
 * ${name} values, "include" of a shared file, "define NAME ... end" steps
 * made of other steps (their words after the name as ${1}, ${2}, ...), and
 * "scenario NAME" lines, each of which begins afresh with nothing running.
 * Also the steps on setup's own windows: start it, wait for its dialogs and
 * boxes, read them, answer them, and see it end.  Every dialog and box met
 * is pictured in ${shots}.
 */
#include "tools/driver/scenario.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

scenario_state S;

namespace {

enum { PROGRESS_FILE = 104, DIRECTORY_FIELD = 101, MACRO_DEPTH = 8, SETTLE_MS = 50 };

struct line {          /* one line of a scenario file */
    std::string where; /* file:number, for messages */
    words tokens;      /* its words, before ${} */
};

std::vector<line> lines;                         /* the script, includes laid in */
std::map<std::string, std::vector<line>> macros; /* define NAME ... end */

/* ---- Reading -------------------------------------------------------------- */

/* Words split at blanks; "..." holds blanks and may be empty. */
words split(const std::string &text) {
    words w;
    for (size_t at = 0; at < text.size();) {
        if (isspace(uint8_t(text[at]))) {
            at++;
            continue;
        }
        bool quoted = text[at] == '"';
        size_t end = quoted ? text.find('"', at + 1) : text.find_first_of(" \t\r\n", at);
        if (end == std::string::npos) end = text.size();
        w.push_back(text.substr(at + quoted, end - at - quoted));
        at = end + quoted;
    }
    return w;
}

bool load(const std::string &path);

/* Files, lines and definitions; false when a file cannot be read. */
bool load_lines(FILE *f, const std::string &path) {
    char text[2048];
    std::vector<line> *into = &lines;
    for (int number = 1; fgets(text, sizeof text, f); number++) {
        line l = {path + ":" + std::to_string(number), split(text)};
        if (l.tokens.empty() || l.tokens[0][0] == '#') continue;
        if (l.tokens[0] == "define" && l.tokens.size() > 1)
            into = &macros[l.tokens[1]];
        else if (l.tokens[0] == "end")
            into = &lines;
        else if (l.tokens[0] == "include" && l.tokens.size() > 1) {
            std::string dir = path.substr(0, path.find_last_of("/\\") + 1);
            if (!load(dir + l.tokens[1])) return false;
        } else
            into->push_back(l);
    }
    return true;
}

bool load(const std::string &path) {
    FILE *f = fopen(path.c_str(), "r");
    if (!f) return step_failed("cannot read %s", path.c_str());
    bool ok = load_lines(f, path);
    fclose(f);
    return ok;
}

/* A word with its ${name} values laid in. */
bool substitute(const std::string &token, std::string *out) {
    out->clear();
    for (size_t at = 0; at < token.size();) {
        size_t open = token.find("${", at), close = token.find('}', open);
        if (open == std::string::npos || close == std::string::npos) {
            *out += token.substr(at);
            break;
        }
        std::string name = token.substr(open + 2, close - open - 2);
        if (!S.vars.count(name)) return step_failed("nothing is set as ${%s}", name.c_str());
        *out += token.substr(at, open - at) + S.vars[name];
        at = close + 1;
    }
    return true;
}

/* ---- Setup's windows ------------------------------------------------------ */

scenario_run *current() { return S.runs.empty() ? nullptr : &S.runs.back(); }

bool known(const scenario_run &r, HWND w) {
    for (HWND a : S.answered)
        if (a == w) return true;
    return w == r.dialog || w == r.bar || w == r.box;
}

struct dialog_hunt {         /* EnumWindows' state for new_dialog */
    const scenario_run *run; /* whose dialogs, and which are known */
    HWND found;              /* topmost other dialog */
};

BOOL CALLBACK hunt_dialog(HWND w, LPARAM lp) {
    dialog_hunt *h = reinterpret_cast<dialog_hunt *>(lp);
    DWORD owner_id = 0;
    char class_name[16];
    GetWindowThreadProcessId(w, &owner_id);
    if (owner_id != h->run->process.id || !IsWindowVisible(w) || known(*h->run, w) ||
        !GetClassNameA(w, class_name, sizeof class_name) || strcmp(class_name, "#32770") != 0)
        return TRUE;
    h->found = w;
    return FALSE;
}

/* A shown dialog of the run not met before, waited for up to timeout_ms. */
HWND new_dialog(const scenario_run &r, DWORD timeout_ms) {
    DWORD start = GetTickCount();
    do {
        dialog_hunt h = {&r, nullptr};
        EnumWindows(hunt_dialog, reinterpret_cast<LPARAM>(&h));
        if (h.found) return h.found;
        driver_pump(r.process.process, 20);
    } while (GetTickCount() - start < timeout_ms);
    return nullptr;
}

bool picture(HWND window, const char *what) {
    char path[MAX_PATH];
    snprintf(path, sizeof path, "%s/%s_%02d_%s.bmp", scenario_var("shots").c_str(), S.label.c_str(),
             ++S.shots, what);
    return driver_screenshot_window(window, path) || step_failed("%s", driver_error());
}

bool running(scenario_run **r) {
    *r = current();
    return *r || step_failed("no setup is running");
}

/* The window the dialog steps read: the dialog, or the box when setup has
   shown nothing else. */
HWND shown(const scenario_run &r) { return r.dialog ? r.dialog : r.box; }

int number(const std::string &text) { return int(strtol(text.c_str(), nullptr, 0)); }

/* A button by its name or its number. */
int button(const std::string &name) {
    static const char *const names[] = {"", "OK", "Cancel", "", "", "", "Yes", "No"};
    for (int id = 1; id < 8; id++)
        if (name == names[id]) return id;
    return number(name);
}

/* start [WHAT]: SETUP.EXE of ${src} started and its first dialog awaited. */
bool start(const words &w) {
    scenario_run r = {{nullptr, 0}, nullptr, nullptr, nullptr, 0};
    DWORD began = GetTickCount();
    if (!driver_start((scenario_var("src") + "SETUP.EXE").c_str(), nullptr, &r.process))
        return step_failed("%s", driver_error());
    S.runs.push_back(r);
    HWND first = new_dialog(S.runs.back(), DRIVER_WAIT_MS);
    if (!first)
        return step_failed("%s did not appear", w.size() > 1 ? w[1].c_str() : "its first dialog");
    (GetDlgItem(first, DRIVER_BOX_TEXT) ? S.runs.back().box : S.runs.back().dialog) = first;
    S.runs.back().first_ms = GetTickCount() - began;
    driver_pump(nullptr, SETTLE_MS);
    return picture(first, "first");
}

/* slow MS: the first dialog came no sooner than that after the start. */
bool slow(const words &w) {
    scenario_run *r;
    return running(&r) && (r->first_ms >= DWORD(number(w[1])) ||
                           step_failed("the first dialog came after %lu ms", r->first_ms));
}

/* What a box's icon shows; a box without one shows none of the standard
   ones, so it is not waited for. */
std::string icon_of(HWND box, const std::string &expected) {
    bool iconless = expected == "none";
    if (iconless) driver_pump(nullptr, 100);
    driver_icon shown = driver_box_icon(box, iconless ? 0 : DRIVER_WAIT_MS / 5);
    return driver_icon_name(shown == DRIVER_ICON_OTHER && iconless ? DRIVER_ICON_NONE : shown);
}

/* Whether the box's owner is the run's "dialog", its "bar" or "none". */
bool owned_by(const scenario_run &r, const std::string &name) {
    HWND owner = GetWindow(r.box, GW_OWNER);
    return name == "none" ? !owner : owner && owner == (name == "dialog" ? r.dialog : r.bar);
}

/* box TEXT CAPTION ICON OWNER: the next box, owned by "dialog", "bar" or
   "none" ("-": either). */
bool box(const words &w) {
    scenario_run *r;
    if (!running(&r)) return false;
    if (!r->box) r->box = new_dialog(*r, DRIVER_WAIT_MS * 2);
    if (!r->box) return step_failed("no box saying \"%s\" came", w[1].c_str());
    std::string icon = icon_of(r->box, w[3]);
    return picture(r->box, "box") &&
           step_expect("the box's text", driver_item_text(r->box, DRIVER_BOX_TEXT), w[1]) &&
           step_expect("the box's caption", driver_caption(r->box), w[2]) &&
           step_expect("the box's icon", icon, w[3]) &&
           (w[4] == "-" || owned_by(*r, w[4]) ||
            step_failed("the box is not owned by %s", w[4].c_str()));
}

/* press BUTTON: in the box waiting for its answer, else in the dialog. */
bool press(const words &w) {
    scenario_run *r;
    if (!running(&r)) return false;
    HWND target = r->box ? r->box : r->dialog;
    if (r->box) S.answered.push_back(r->box);
    r->box = nullptr;
    return driver_press(target, button(w[1])) || step_failed("%s", driver_error());
}

bool type(const words &w) {
    scenario_run *r;
    return running(&r) && (driver_type(r->dialog, number(w[1]), w[2].c_str()) ||
                           step_failed("%s", driver_error()));
}

/* enter DIRECTORY: typed into the directory field, then OK. */
bool enter(const words &w) {
    return type({"type", std::to_string(DIRECTORY_FIELD), w[1]}) && press({"press", "OK"});
}

/* progress [MS]: the progress dialog comes next, pictured at once; with MS,
   pictured again over the first after up to MS of its work, when it has
   painted what it is doing, unless it has gone by then. */
bool progress(const words &w) {
    scenario_run *r;
    if (!running(&r)) return false;
    HWND shown = new_dialog(*r, DRIVER_WAIT_MS);
    S.answered.push_back(r->dialog); /* it may linger while the next one shows */
    if (!shown) return step_failed("no progress dialog came");
    if (!GetDlgItem(shown, PROGRESS_FILE))
        return step_failed("a box instead of the progress dialog: %s",
                           driver_item_text(shown, DRIVER_BOX_TEXT).c_str());
    r->bar = shown;
    if (!picture(shown, "progress")) return false;
    if (w.size() < 2) return true;
    for (DWORD start = GetTickCount();
         IsWindowVisible(shown) && GetTickCount() - start < DWORD(number(w[1]));)
        driver_pump(r->process.process, 10);
    if (IsWindowVisible(shown)) {
        S.shots--; /* the first picture's name */
        picture(shown, "progress");
    }
    return true;
}

/* exit CODE: setup ends with it, showing nothing more meanwhile. */
bool exit_step(const words &w) {
    scenario_run *r;
    if (!running(&r)) return false;
    DWORD code = 0;
    bool ended = driver_wait_exit(&r->process, DRIVER_WAIT_MS, &code, 1);
    driver_end(&r->process);
    S.runs.pop_back();
    return (ended || step_failed("%s", driver_error())) &&
           step_expect("the exit code", std::to_string(code), w[1]);
}

/* ends: the progress dialog goes with no box meanwhile, and setup ends 0. */
bool ends(const words &) {
    scenario_run *r;
    if (!running(&r) || !r->bar) return r && step_failed("no progress dialog to watch");
    for (DWORD start = GetTickCount();
         IsWindow(r->bar) && IsWindowVisible(r->bar) && GetTickCount() - start < DRIVER_WAIT_MS * 2;
         driver_pump(r->process.process, 20)) {
        if (HWND shown = new_dialog(*r, 0)) {
            picture(shown, "unexpected");
            return step_failed("a box during the installation: %s",
                               driver_item_text(shown, DRIVER_BOX_TEXT).c_str());
        }
    }
    return exit_step({"exit", "0"});
}

bool bar_gone(const words &) {
    scenario_run *r;
    return running(&r) && (!(IsWindow(r->bar) && IsWindowVisible(r->bar)) ||
                           step_failed("the progress dialog is still up"));
}

/* cancel-during copy|extract: Cancel pressed once the file line shows a
   loose file or a member; the box that asks is then awaited, and ${file}
   is the file the line shows meanwhile. */
bool cancel_during(const words &w) {
    scenario_run *r;
    if (!running(&r) || !r->bar) return r && step_failed("no progress dialog to cancel");
    words names = w[1] == "copy" ? scenario_list("loose") : scenario_members();
    auto listed = [&names](const std::string &file) {
        for (const std::string &n : names)
            if (n == file) return true;
        return false;
    };
    for (DWORD start = GetTickCount(); !listed(driver_item_text(r->bar, PROGRESS_FILE));
         driver_pump(nullptr, 5))
        if (GetTickCount() - start > DRIVER_WAIT_MS || !IsWindow(r->bar))
            return step_failed("the file line never showed a file to %s", w[1].c_str());
    if (!driver_press(r->bar, IDCANCEL)) return step_failed("%s", driver_error());
    r->box = new_dialog(*r, DRIVER_WAIT_MS);
    S.vars["file"] = driver_item_text(r->bar, PROGRESS_FILE);
    return (r->box || step_failed("Cancel asked nothing")) &&
           (listed(S.vars["file"]) || step_failed("cancelled after %s", w[1].c_str()));
}

/* field ITEM TEXT: what an edit field of the dialog holds. */
bool field(const words &w) {
    scenario_run *r;
    return running(&r) &&
           step_expect("the field", driver_field_text(shown(*r), number(w[1])), w[2]);
}

bool text(const words &w) {
    scenario_run *r;
    return running(&r) &&
           step_expect("the control's text", driver_item_text(shown(*r), number(w[1])), w[2]);
}

bool caption(const words &w) {
    scenario_run *r;
    return running(&r) && step_expect("the caption", driver_caption(shown(*r)), w[1]);
}

bool enabled(const words &w) {
    scenario_run *r;
    return running(&r) &&
           step_expect("whether the control is enabled",
                       IsWindowEnabled(GetDlgItem(shown(*r), number(w[1]))) ? "1" : "0", w[2]);
}

bool has(const words &w) {
    scenario_run *r;
    return running(&r) && (GetDlgItem(shown(*r), number(w[1])) ||
                           step_failed("the dialog has no control %s", w[1].c_str()));
}

bool windows(const words &w) {
    scenario_run *r;
    return running(&r) && step_expect("the number of setup's windows",
                                      std::to_string(driver_count_windows(r->process.id)), w[1]);
}

/* screen NAME: the whole screen pictured. */
bool screen(const words &w) {
    std::string path = scenario_var("shots") + "/" + S.label + "_" + w[1] + ".bmp";
    return driver_screenshot(path.c_str()) || step_failed("%s", driver_error());
}

bool shot(const words &w) {
    scenario_run *r;
    return running(&r) && picture(r->dialog, w[1].c_str());
}

bool sleep_step(const words &w) {
    scenario_run *r = current();
    for (DWORD start = GetTickCount(); GetTickCount() - start < DWORD(number(w[1]));)
        driver_pump(r ? r->process.process : nullptr, 20);
    return true;
}

/* await ITEM TEXT: the dialog's control comes to show the text. */
bool await(const words &w) {
    scenario_run *r;
    if (!running(&r)) return false;
    for (DWORD start = GetTickCount(); driver_item_text(r->dialog, number(w[1])) != w[2];
         driver_pump(r->process.process, 20))
        if (GetTickCount() - start > DRIVER_WAIT_MS)
            return step_failed("control %s never said \"%s\"", w[1].c_str(), w[2].c_str());
    return picture(r->dialog, "waiting");
}

/* dots ITEM MIN: the control shows dots only, at least MIN of them. */
bool dots(const words &w) {
    scenario_run *r;
    if (!running(&r)) return false;
    std::string shown = driver_item_text(r->dialog, number(w[1]));
    return (shown.size() >= size_t(number(w[2])) &&
            shown.find_first_not_of('.') == std::string::npos) ||
           step_failed("\"%s\" is not a row of %s dots or more", shown.c_str(), w[2].c_str());
}

/* nodots ITEM: while the dialog shows, the control never counts a wait. */
bool nodots(const words &w) {
    scenario_run *r;
    if (!running(&r)) return false;
    for (DWORD start = GetTickCount(); IsWindow(r->dialog) && IsWindowVisible(r->dialog) &&
                                       GetTickCount() - start < DRIVER_WAIT_MS;
         driver_pump(r->process.process, 10))
        if (driver_item_text(r->dialog, number(w[1])).find('.') != std::string::npos)
            return step_failed("setup waited for a shell extension");
    return true;
}

bool set(const words &w) {
    S.vars[w[1]] = w[2];
    return true;
}

/* keep NAME ITEM: ${NAME} is what an edit field of the dialog holds, as the
   directory setup proposes before it is taken. */
bool keep(const words &w) {
    scenario_run *r;
    if (!running(&r)) return false;
    S.vars[w[1]] = driver_field_text(shown(*r), number(w[2]));
    return true;
}

/* say TEXT...: a line for whoever watches the play, as a script that needs
   what the scenario learnt reads it. */
bool say(const words &w) {
    for (size_t i = 1; i < w.size(); i++) printf(i > 1 ? " %s" : "%s", w[i].c_str());
    printf("\n");
    fflush(stdout);
    return true;
}

// clang-format off
const step WINDOW_STEPS[] = {
    {"set",            2, set,            "NAME VALUE          ${NAME} is VALUE from here on"},
    {"keep",           2, keep,           "NAME ITEM           ${NAME} is what an edit field of the dialog holds"},
    {"say",            1, say,            "TEXT...             print the words on a line of their own"},
    {"start",          0, start,          "[WHAT]              start ${src}SETUP.EXE, await its first dialog or box"},
    {"slow",           1, slow,           "MS                  the first dialog came no sooner than MS after the start"},
    {"box",            4, box,            "TEXT CAPTION ICON OWNER  the next box; OWNER dialog, bar, none or -"},
    {"press",          1, press,          "BUTTON              OK, Cancel, Yes, No or a number; in the box, else the dialog"},
    {"type",           2, type,           "ITEM TEXT           set a control of the dialog"},
    {"enter",          1, enter,          "DIRECTORY           type it in the directory field and press OK"},
    {"progress",       0, progress,       "[MS]                the progress dialog comes next, pictured after MS"},
    {"cancel-during",  1, cancel_during,  "copy|extract        Cancel once the file line shows such a file; ${file}"},
    {"ends",           0, ends,           "                    the progress dialog goes with no box, setup ends 0"},
    {"bar-gone",       0, bar_gone,       "                    the progress dialog is no longer shown"},
    {"exit",           1, exit_step,      "CODE                setup ends with CODE, showing nothing more"},
    {"field",          2, field,          "ITEM TEXT           an edit field of the dialog holds TEXT"},
    {"text",           2, text,           "ITEM TEXT           a control of the dialog shows TEXT"},
    {"caption",        1, caption,        "TEXT                the dialog's caption"},
    {"enabled",        2, enabled,        "ITEM 0|1            whether a control of the dialog is enabled"},
    {"has",            1, has,            "ITEM                the dialog has the control"},
    {"windows",        1, windows,        "N                   setup shows N top-level windows"},
    {"screen",         1, screen,         "NAME                picture the whole screen"},
    {"shot",           1, shot,           "WHAT                picture the dialog"},
    {"sleep",          1, sleep_step,     "MS                  wait, serving messages"},
    {"await",          2, await,          "ITEM TEXT           a control of the dialog comes to show TEXT"},
    {"dots",           2, dots,           "ITEM MIN            a control shows MIN dots or more and nothing else"},
    {"nodots",         1, nodots,         "ITEM                while the dialog shows, the control shows no dot"},
    {nullptr,          0, nullptr,        nullptr}};
// clang-format on

/* ---- Playing -------------------------------------------------------------- */

const step *find_step(const std::string &name) {
    for (const step *table : {WINDOW_STEPS, FILE_STEPS})
        for (const step *s = table; s->name; s++)
            if (name == s->name) return s;
    return nullptr;
}

bool play_line(const line &l, int depth);

/* A defined step: its words after the name become ${1}, ${2}, ... */
bool play_macro(const std::vector<line> &body, const words &w, int depth) {
    if (depth > MACRO_DEPTH) return step_failed("steps defined in themselves");
    for (size_t i = 1; i < w.size(); i++) S.vars[std::to_string(i)] = w[i];
    for (const line &l : body)
        if (!play_line(l, depth + 1)) return false;
    return true;
}

/* A step, a defined step, or a failure naming what it is not. */
bool run_words(const words &w, int depth) {
    if (const step *s = find_step(w[0]))
        return (int(w.size()) > s->min_args || step_failed("usage: %s %s", s->name, s->help)) &&
               s->run(w);
    if (macros.count(w[0])) return play_macro(macros[w[0]], w, depth);
    return step_failed("no step %s", w[0].c_str());
}

bool play_line(const line &l, int depth) {
    words w(l.tokens.size());
    for (size_t i = 0; i < w.size(); i++)
        if (!substitute(l.tokens[i], &w[i])) return false;
    bool ok = run_words(w, depth);
    if (!ok && depth > 0) S.error = l.where + ": " + S.error;
    return ok;
}

/* Ends what the last scenario left running; says how it went. */
void finish(const std::string &name, bool failed, DWORD began) {
    for (scenario_run &r : S.runs) driver_end(&r.process);
    S.runs.clear();
    S.answered.clear();
    scenario_clean_files();
    if (!name.empty())
        printf("%s: %s (%lu ms)\n", failed ? "FAILED" : "ok", name.c_str(), GetTickCount() - began);
    fflush(stdout);
}

} // namespace

bool step_failed(const char *format, ...) {
    char text[1024];
    va_list args;
    va_start(args, format);
    vsnprintf(text, sizeof text, format, args);
    va_end(args);
    S.error = text;
    return false;
}

bool step_expect(const char *what, const std::string &seen, const std::string &expected) {
    return seen == expected ||
           step_failed("%s is \"%s\", not \"%s\"", what, seen.c_str(), expected.c_str());
}

std::string scenario_var(const char *name) {
    auto found = S.vars.find(name);
    return found == S.vars.end() ? std::string() : found->second;
}

words scenario_list(const char *name) { return split(scenario_var(name)); }

/* Plays the file with the name=value words given as ${name}; 0 when every
   scenario passed. */
int scenario_play(const char *path, int count, char **settings) {
    S.vars = {{"nl", "\n"}, {"cr", "\r"}, {"q", "\""}, {"shots", "."}};
    for (int i = 0; i < count; i++)
        if (const char *eq = strchr(settings[i], '='))
            S.vars[std::string(settings[i], size_t(eq - settings[i]))] = eq + 1;
    if (!load(path)) return fprintf(stderr, "tvdriver: %s\n", S.error.c_str()), 1;
    std::string base = path, name;
    base = base.substr(base.find_last_of("/\\") + 1);
    int failures = 0;
    bool failed = false;
    DWORD began = GetTickCount();
    for (const line &l : lines) {
        if (l.tokens[0] == "scenario") {
            finish(name, failed, began);
            began = GetTickCount();
            name = l.tokens.size() > 1 ? l.tokens[1] : "?";
            S.label = base.substr(0, base.find('.')) + "." + name;
            S.shots = 0;
            failed = false;
        } else if (!failed && !play_line(l, 0)) {
            failed = true;
            failures++;
            printf("%s: %s\n", l.where.c_str(), S.error.c_str());
        }
    }
    finish(name, failed, began);
    printf("%d scenario(s) failed\n", failures);
    return failures ? 1 : 0;
}
