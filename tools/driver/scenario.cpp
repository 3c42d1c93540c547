/*
 * scenario.cpp: reads a scenario file and plays it: the words of each line,
 * ${name} values, "include" of a shared file, "define NAME ... end" steps
 * made of other steps (their words after the name as ${1}, ${2}, ...), and
 * "scenario NAME" lines, each of which begins afresh with nothing running.
 * Also the steps on setup's own windows: start it, wait for its dialogs and
 * boxes, read them, answer them, and see it end.  Every dialog and box met
 * is pictured in ${shots}.
 */
#include "tools/driver/driver.h"

#include "progress/progress.h"
#include "resources/dialog.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

enum {
    MACRO_DEPTH = 8, /* defined steps within defined steps */
    SETTLE_MS = 50,  /* for a dialog first seen to paint */
    WATCH_MS = 2,    /* between two looks at a dialog at work */
    METER_RANGE = 0, /* the Meter's window word holding its range: read */
    METER_POS = 4    /* directly, as setup serves no messages while busy */
};

struct line {          /* one line of a scenario file */
    std::string where; /* file:number, for messages */
    words tokens;      /* its words, before ${} */
};

/* The disk's loose files in copy order, from the product's one list: every
   scenario has them as ${loose}. */
const char *const LOOSE_FILES =
#define LOOSE(name, last) name " "
#include "distfiles/loose.def"
#undef LOOSE
    ;

std::map<std::string, std::string> vars;         /* ${name} values */
std::vector<line> lines;                         /* the script, includes laid in */
std::map<std::string, std::vector<line>> macros; /* define NAME ... end */
std::vector<words> calls;                        /* the words of each defined step playing */
std::string label;                               /* script.scenario playing, for pictures */
int shots;                                       /* pictures in this scenario */
bool failed;                                     /* whether a step of it failed */
DWORD began;                                     /* when it began */
int failures;                                    /* scenarios that failed */

/* ---- Reading -------------------------------------------------------------- */

/* Words split at blanks; "..." holds blanks and may be empty. */
words split(const std::string &text) {
    words w;
    for (size_t at = text.find_first_not_of(" \t\r\n"), end; at != std::string::npos;
         at = text.find_first_not_of(" \t\r\n", end + (text[at] == '"'))) {
        bool quoted = text[at] == '"';
        end = quoted ? text.find('"', at + 1) : text.find_first_of(" \t\r\n", at);
        if (end == std::string::npos) end = text.size();
        w.push_back(text.substr(at + quoted, end - at - quoted));
    }
    return w;
}

/* Files, lines and definitions; false when a file cannot be read. */
bool load(const std::string &path) {
    FILE *f = fopen(path.c_str(), "r");
    if (!f) return step_failed("cannot read %s", path.c_str());
    char text[2048];
    std::vector<line> *into = &lines;
    bool ok = true;
    for (int number = 1; ok && fgets(text, sizeof text, f); number++) {
        line l = {path + ":" + std::to_string(number), split(text)};
        const std::string first = l.tokens.empty() ? "#" : l.tokens[0];
        if (first[0] == '#') continue;
        if (first == "define" && l.tokens.size() > 1)
            into = &macros[l.tokens[1]];
        else if (first == "end")
            into = &lines;
        else if (first == "include" && l.tokens.size() > 1)
            ok = load(path.substr(0, path.find_last_of("/\\") + 1) + l.tokens[1]);
        else
            into->push_back(l);
    }
    fclose(f);
    return ok;
}

/* ${1}, ${2}, ... are the words of the defined step playing, and of no
   other: a call with fewer words finds nothing for the others. */
bool lookup(const std::string &name, std::string *value) {
    if (name.find_first_not_of("0123456789") != std::string::npos)
        return vars.count(name) && (*value = vars[name], true);
    size_t at = size_t(atoi(name.c_str()));
    return !calls.empty() && at > 0 && at < calls.back().size() &&
           (*value = calls.back()[at], true);
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
        std::string name = token.substr(open + 2, close - open - 2), value;
        if (!lookup(name, &value)) return step_failed("nothing is set as ${%s}", name.c_str());
        *out += token.substr(at, open - at) + value;
        at = close + 1;
    }
    return true;
}

/* ---- Setup's windows ------------------------------------------------------ */

struct scenario_run {        /* one SETUP.EXE the scenario started */
    driver_process process;  /* the program */
    HWND dialog;             /* its first dialog that is not a message box */
    HWND bar;                /* its progress dialog, once up */
    HWND box;                /* the message box waiting for its answer */
    std::vector<HWND> known; /* every dialog and box met, which may linger */
};

std::vector<scenario_run> runs; /* started programs, latest last */

/* Serves our messages every every_ms until done() holds: false once
   timeout_ms have passed first. */
template <class F> bool until(DWORD every_ms, DWORD timeout_ms, F done) {
    HANDLE process = runs.empty() ? nullptr : runs.back().process.process;
    for (DWORD start = GetTickCount(); !done(); driver_pump(process, every_ms))
        if (GetTickCount() - start > timeout_ms) return false;
    return true;
}

/* A shown dialog of the latest run not met before, waited for up to
   timeout_ms; from then on it is known. */
HWND new_dialog(DWORD timeout_ms) {
    scenario_run &r = runs.back();
    HWND found = nullptr;
    until(DRIVER_POLL_MS, timeout_ms,
          [&] { return (found = driver_new_dialog(r.process.id, r.known)) != nullptr; });
    if (found) r.known.push_back(found);
    return found;
}

bool picture(HWND window, const char *what) {
    char path[MAX_PATH];
    snprintf(path, sizeof path, "%s/%s_%02d_%s.bmp", scenario_var("shots").c_str(), label.c_str(),
             ++shots, what);
    return driver_picture(window, path);
}

bool up(HWND w) { return IsWindow(w) && IsWindowVisible(w); }

/* The window the dialog steps read: the latest run's dialog, or its box when
   setup has shown nothing else. */
HWND shown() { return runs.back().dialog ? runs.back().dialog : runs.back().box; }

struct control_name { /* a control the scenarios name */
    const char *name; /* as written */
    int id;           /* its id */
};
// clang-format off
const control_name CONTROLS[] = {
    {"OK",        IDC_OK},
    {"Cancel",    IDC_CANCEL},
    {"Yes",       IDYES},
    {"No",        IDNO},
    {"directory", IDC_DIR_EDIT},
    {"upper",     IDC_DIR_TEXT1},
    {"lower",     IDC_DIR_TEXT2},
    {nullptr,     0}};
// clang-format on

int number(const std::string &text) { return int(strtol(text.c_str(), nullptr, 0)); }

/* A control by its name, or by its number where the resources give it none. */
int control(const std::string &name) {
    for (const control_name *c = CONTROLS; c->name; c++)
        if (name == c->name) return c->id;
    return number(name);
}

/* What a control of the dialog shows ("caption": the dialog itself), asked
   for as an edit field's text is: the steps that read it come while setup
   serves its messages. */
std::string text_of(const std::string &item) {
    return item == "caption" ? driver_caption(shown()) : driver_field_text(shown(), control(item));
}

/* start [WHAT [MS]]: SETUP.EXE of ${src} started and its first dialog
   awaited, no sooner than MS after the start. */
bool start(const words &w) {
    runs.push_back({{nullptr, 0}, nullptr, nullptr, nullptr, {}});
    scenario_run &r = runs.back();
    DWORD began = GetTickCount(), least = w.size() > 2 ? DWORD(number(w[2])) : 0;
    if (!driver_start((scenario_var("src") + "SETUP.EXE").c_str(), &r.process)) return false;
    HWND first = new_dialog(DRIVER_WAIT_MS);
    if (!first)
        return step_failed("%s did not appear", w.size() > 1 ? w[1].c_str() : "its first dialog");
    (GetDlgItem(first, DRIVER_BOX_TEXT) ? r.box : r.dialog) = first;
    DWORD ms = GetTickCount() - began;
    driver_pump(nullptr, SETTLE_MS);
    return (ms >= least || step_failed("the first dialog came after %lu ms", ms)) &&
           picture(first, "first");
}

/* box TEXT CAPTION ICON OWNER: the next box, owned by the run's "dialog",
   its "bar" or nothing ("none"; "alone": and setup shows no other window). */
bool box(const words &w) {
    scenario_run &r = runs.back();
    if (!r.box) r.box = new_dialog(DRIVER_WAIT_MS * 2);
    if (!r.box) return step_failed("no box saying \"%s\" came", w[1].c_str());
    HWND owner = GetWindow(r.box, GW_OWNER);
    HWND expected = w[4] == "dialog" ? r.dialog : w[4] == "bar" ? r.bar : nullptr;
    bool alone = w[4] == "alone", unowned = alone || w[4] == "none";
    size_t windows = alone ? driver_windows(r.process.id, false).size() : 1;
    std::string icon = driver_box_icon(r.box, w[3] == "none");
    return picture(r.box, "box") &&
           step_expect("the box's text", driver_item_text(r.box, DRIVER_BOX_TEXT), w[1]) &&
           step_expect("the box's caption", driver_caption(r.box), w[2]) &&
           step_expect("the box's icon", icon, w[3]) &&
           ((owner == expected && (expected || unowned)) ||
            step_failed("the box is not owned by %s", w[4].c_str())) &&
           (windows == 1 || step_failed("setup shows %u windows with the box", unsigned(windows)));
}

bool press(const words &w) {
    scenario_run &r = runs.back();
    HWND target = r.box ? r.box : r.dialog;
    r.box = nullptr;
    return driver_press(target, control(w[1]));
}

bool type(const words &w) {
    return SetDlgItemTextA(runs.back().dialog, control(w[1]), w[2].c_str()) ||
           step_failed("the dialog has no control %s to type into", w[1].c_str());
}

/* enter DIRECTORY [nowait]: typed into the directory field, then OK.  With
   nowait, the lower line is watched from before the press until the dialog
   goes: setup goes on without counting a wait in dots. */
bool enter(const words &w) {
    scenario_run &r = runs.back();
    if (!type({"type", "directory", w[1]}) || !press({"press", "OK"})) return false;
    bool dots = false;
    auto gone = [&] {
        dots = driver_item_text(r.dialog, IDC_DIR_TEXT2).find('.') != std::string::npos;
        return dots || !up(r.dialog);
    };
    if (w.size() < 3) return true;
    if (!until(WATCH_MS, DRIVER_WAIT_MS, gone)) return step_failed("the dialog stayed up");
    return !dots || step_failed("setup waited for a shell extension");
}

bool progress(const words &) {
    scenario_run &r = runs.back();
    HWND shown = new_dialog(DRIVER_WAIT_MS);
    if (!shown) return step_failed("no progress dialog came");
    if (!GetDlgItem(shown, IDC_PRG_FILE))
        return step_failed("a box instead of the progress dialog: %s",
                           driver_item_text(shown, DRIVER_BOX_TEXT).c_str());
    r.bar = shown;
    return picture(shown, "progress");
}

bool exit_step(const words &w) {
    scenario_run &r = runs.back();
    HWND shown = nullptr;
    DWORD code = 0;
    bool ok = until(DRIVER_POLL_MS, DRIVER_WAIT_MS,
                    [&] {
                        shown = driver_new_dialog(r.process.id, r.known);
                        return shown || WaitForSingleObject(r.process.process, 0) != WAIT_TIMEOUT;
                    }) ||
              step_failed("setup did not end");
    ok = ok && (!shown || step_failed("setup showed \"%s\": \"%s\" before its end",
                                      driver_caption(shown).c_str(),
                                      driver_item_text(shown, DRIVER_BOX_TEXT).c_str()));
    GetExitCodeProcess(r.process.process, &code);
    driver_end(&r.process);
    runs.pop_back();
    return ok && step_expect("the exit code", std::to_string(code), w[1]);
}

struct bar_watch {           /* what ends has seen of the progress dialog */
    words files;             /* the disk's files in the order they are written */
    words named;             /* each as the file line names it: as the archive holds it */
    std::vector<bool> there; /* which of them the target held before */
    size_t at;               /* the one the file line showed last */
    bool fresh;              /* whether the line showed it first at the last look */
    int early;               /* looks that found the next file begun under it */
    int position, range;     /* the bar's last reading */
    size_t settled_at;       /* the file the line showed at two looks running */
    int settled;             /* the bar's reading at the second of them */
    bool pictured;           /* whether it was pictured half-way */
};

/* One look at the bar, unless it went meanwhile: it never goes back and
   stays within its range. */
bool watch_bar(const scenario_run &r, bar_watch *b) {
    HWND meter = GetDlgItem(r.bar, IDC_PRG_METER);
    int range = int(GetWindowLongA(meter, METER_RANGE) & 0xFFFF);
    int position = int(GetWindowLongA(meter, METER_POS) & 0xFFFF);
    if (!up(meter) || !range) return true;
    if (position < b->position || position > range || (b->range && range != b->range))
        return step_failed("the bar went from %d of %d to %d of %d", b->position, b->range,
                           position, range);
    b->range = range, b->position = position;
    if (!b->fresh) b->settled_at = b->at, b->settled = position;
    return true;
}

/* One look at the file line: the files show in the order they are written,
   each one before it shows is there, and the next one is not being written
   under it (the engine creates a member just before naming it, so one look
   may find that). */
bool watch_line(const scenario_run &r, const std::string &target, bar_watch *b) {
    std::string line = driver_item_text(r.bar, IDC_PRG_FILE);
    size_t at =
        size_t(std::find(b->named.begin() + long(b->at), b->named.end(), line) - b->named.begin());
    b->fresh = !line.empty() && at != b->at;
    if (line.empty()) return true;
    if (at == b->files.size())
        return step_failed("the file line showed \"%s\" out of turn", line.c_str());
    for (; b->at < at; b->at++)
        if (GetFileAttributesA((target + b->files[b->at]).c_str()) == INVALID_FILE_ATTRIBUTES)
            return step_failed("%s was not written before %s showed", b->files[b->at].c_str(),
                               line.c_str());
    bool next = ++at < b->files.size() && !b->there[at] &&
                GetFileAttributesA((target + b->files[at]).c_str()) != INVALID_FILE_ATTRIBUTES;
    b->early += next && driver_item_text(r.bar, IDC_PRG_FILE) == line;
    return b->early < 2 || step_failed("%s was begun while the file line showed %s",
                                       b->files[at].c_str(), line.c_str());
}

DWORD size_of(const std::string &path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    return GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data) ? data.nFileSizeLow : 0;
}

/* The bar counts the disk in tens of kilobytes: the loose files and the
   archive.  Its last step, to the end as the dialog goes, is too quick to
   be seen from here: the last reading taken while the file line had shown
   the same file for a while must have come within the share of that file
   and those after it (at most their own sizes and a header each). */
bool bar_came_to_end(const bar_watch &b) {
    std::string src = scenario_var("src");
    size_t loose = scenario_list("loose").size();
    DWORD disk = size_of(src + "setup.tv");
    int share = 1;
    for (size_t i = 0; i < b.files.size(); i++) {
        DWORD size =
            size_of(i < loose ? src + b.files[i] : scenario_var("product") + "/" + b.files[i]);
        disk += i < loose ? size : 0;
        share += i >= b.settled_at ? int(size / PROGRESS_UNIT) + 1 : 0;
    }
    int range = int((disk >> 10) / 10);
    return (b.range == range || step_failed("the bar's range is %d, not %d", b.range, range)) &&
           (b.settled + share >= range ||
            step_failed("the bar stopped at %d of %d with %s on the line", b.settled, range,
                        b.files[b.settled_at].c_str()));
}

/* ends TARGET: the progress dialog goes with no box meanwhile, its bar
   moving forward to its end and its file line naming each file of the disk
   as it is written into TARGET, a member by its name in the archive, which
   holds it in the OEM characters. */
bool ends(const words &w) {
    scenario_run &r = runs.back();
    if (!r.bar) return step_failed("no progress dialog to watch");
    bar_watch b = {scenario_files(), {}, {}, 0, false, 0, 0, 0, 0, 0, false};
    for (std::string f : b.files) {
        b.there.push_back(GetFileAttributesA((w[1] + f).c_str()) != INVALID_FILE_ATTRIBUTES);
        CharToOemA(&f[0], &f[0]);
        b.named.push_back(f);
    }
    for (DWORD start = GetTickCount(); up(r.bar); driver_pump(r.process.process, WATCH_MS)) {
        HWND shown = driver_new_dialog(r.process.id, r.known);
        if (shown && up(r.bar))
            return picture(shown, "unexpected"),
                   step_failed("a box during the installation: %s",
                               driver_item_text(shown, DRIVER_BOX_TEXT).c_str());
        if (GetTickCount() - start > DRIVER_WAIT_MS * 2)
            return step_failed("the installation goes on");
        if (!watch_line(r, w[1], &b) || !watch_bar(r, &b)) return false;
        if (!b.pictured && b.range && b.position * 2 >= b.range)
            b.pictured = picture(r.bar, "working");
    }
    return bar_came_to_end(b);
}

/* cancel-during copy|extract: Cancel pressed once the file line shows a
   loose file or a member; the box that asks is then awaited, and ${file}
   is the file the line shows meanwhile. */
bool cancel_during(const words &w) {
    scenario_run &r = runs.back();
    if (!r.bar) return step_failed("no progress dialog to cancel");
    words all = scenario_files();
    auto split = all.begin() + long(scenario_list("loose").size());
    auto first = w[1] == "copy" ? all.begin() : split, last = w[1] == "copy" ? split : all.end();
    auto listed = [&] {
        return std::find(first, last, driver_item_text(r.bar, IDC_PRG_FILE)) != last;
    };
    if (!until(5, DRIVER_WAIT_MS, [&] { return listed() || !IsWindow(r.bar); }) || !listed())
        return step_failed("the file line never showed a file to %s", w[1].c_str());
    if (!driver_press(r.bar, IDC_CANCEL)) return false;
    r.box = new_dialog(DRIVER_WAIT_MS);
    vars["file"] = driver_item_text(r.bar, IDC_PRG_FILE);
    return (r.box || step_failed("Cancel asked nothing")) &&
           (listed() || step_failed("cancelled after %s", w[1].c_str()));
}

bool text(const words &w) { return step_expect("the control's text", text_of(w[1]), w[2]); }

bool enabled(const words &w) {
    return step_expect("whether the control is enabled",
                       IsWindowEnabled(GetDlgItem(shown(), control(w[1]))) ? "1" : "0", w[2]);
}

/* await ITEM TEXT: the dialog's control comes to show the text; a text of
   dots, at least as many dots and nothing but dots meanwhile. */
bool await(const words &w) {
    bool dots = w[2].find_first_not_of('.') == std::string::npos;
    std::string seen;
    auto done = [&] {
        seen = text_of(w[1]);
        bool other = seen.find_first_not_of('.') != std::string::npos;
        return seen == w[2] || (dots && (other || seen.size() >= w[2].size()));
    };
    if (!until(DRIVER_POLL_MS, DRIVER_WAIT_MS, done))
        return step_failed("control %s said \"%s\", never \"%s\"", w[1].c_str(), seen.c_str(),
                           w[2].c_str());
    return (!dots || seen.find_first_not_of('.') == std::string::npos ||
            step_failed("\"%s\" is not a row of dots", seen.c_str())) &&
           picture(shown(), "waiting");
}

/* follow: setup followed to its end while the user at the display answers
   it, every dialog met pictured; ${target} is then what the directory field
   held last while its dialog was setup's only one, said for the main job. */
bool follow(const words &) {
    scenario_run &r = runs.back();
    until(DRIVER_POLL_MS, INFINITE, [&] {
        if (HWND d = new_dialog(0)) driver_pump(nullptr, SETTLE_MS), picture(d, "dialog");
        std::vector<HWND> shown = driver_windows(r.process.id, true);
        std::string field = shown.size() == 1 ? driver_field_text(shown[0], IDC_DIR_EDIT) : "";
        if (!field.empty()) vars["target"] = field;
        return WaitForSingleObject(r.process.process, 0) != WAIT_TIMEOUT;
    });
    printf("target: %s\n", vars["target"].c_str());
    return true;
}

bool set(const words &w) { return vars[w[1]] = w[2], true; }

/* keep NAME ITEM: ${NAME} is what an edit field of the dialog holds, as the
   directory setup proposes before it is taken; a line "NAME: VALUE" says it
   to a script that needs it. */
bool keep(const words &w) {
    vars[w[1]] = driver_field_text(shown(), control(w[2]));
    printf("%s: %s\n", w[1].c_str(), vars[w[1]].c_str());
    fflush(stdout);
    return true;
}

// clang-format off
const step WINDOW_STEPS[] = {
    {"set",            2, 0, set,            "NAME VALUE          ${NAME} is VALUE from here on"},
    {"keep",           2, 1, keep,           "NAME ITEM           ${NAME} is what an edit field holds; print it"},
    {"start",          0, 0, start,          "[WHAT [MS]]         start ${src}SETUP.EXE, await its first dialog, no sooner than MS"},
    {"box",            4, 1, box,            "TEXT CAPTION ICON OWNER  the next box; OWNER dialog, bar, none or alone"},
    {"press",          1, 1, press,          "BUTTON              OK, Cancel, Yes, No or a number; in the box, else the dialog"},
    {"type",           2, 1, type,           "ITEM TEXT           set a control of the dialog"},
    {"enter",          1, 1, enter,          "DIRECTORY [nowait]  type it in the directory field, press OK; no wait counted"},
    {"progress",       0, 1, progress,       "                    the progress dialog comes next"},
    {"cancel-during",  1, 1, cancel_during,  "copy|extract        Cancel once the file line shows such a file; ${file}"},
    {"ends",           1, 1, ends,           "TARGET              the bar and file line go to the end, no box"},
    {"follow",         0, 1, follow,         "                    follow setup to its end as the user answers; ${target}"},
    {"exit",           1, 1, exit_step,      "CODE                setup ends with CODE, showing nothing more"},
    {"text",           2, 1, text,           "ITEM TEXT           a control, an edit field or the caption shows TEXT"},
    {"enabled",        2, 1, enabled,        "ITEM 0|1            whether a control of the dialog is enabled"},
    {"await",          2, 1, await,          "ITEM TEXT           a control comes to show TEXT (dots: as many, nothing else)"},
    {nullptr,          0, 0, nullptr,        nullptr}};
// clang-format on

/* ---- Playing -------------------------------------------------------------- */

const step *find_step(const std::string &name) {
    for (const step *table : {WINDOW_STEPS, FILE_STEPS})
        for (const step *s = table; s->name; s++)
            if (name == s->name) return s;
    return nullptr;
}

bool play_line(const line &l, int depth);

/* A step, or a defined step, whose words after the name are its ${1}, ${2},
   ... while it plays, and its caller's again once it is done. */
bool run_words(const words &w, int depth) {
    if (const step *s = find_step(w[0]))
        return (int(w.size()) > s->min_args || step_failed("usage: %s %s", s->name, s->help)) &&
               (!s->on_run || !runs.empty() || step_failed("no setup is running")) && s->run(w);
    if (!macros.count(w[0])) return step_failed("no step %s", w[0].c_str());
    if (depth > MACRO_DEPTH) return step_failed("steps defined in themselves");
    const std::vector<line> &body = macros[w[0]];
    calls.push_back(w);
    bool ok = true;
    for (size_t i = 0; ok && i < body.size(); i++) ok = play_line(body[i], depth + 1);
    calls.pop_back();
    return ok;
}

bool play_line(const line &l, int depth) {
    words w(l.tokens.size());
    for (size_t i = 0; i < w.size(); i++)
        if (!substitute(l.tokens[i], &w[i])) return false;
    bool ok = run_words(w, depth);
    if (!ok && depth > 0) step_error = l.where + ": " + step_error;
    return ok;
}

/* Ends what the last scenario left running, puts the machine back and says
   how it went; then the next one, NAME, begins. */
void next_scenario(const std::string &base, const std::string &name) {
    for (scenario_run &r : runs) driver_end(&r.process);
    runs.clear();
    calls.clear();
    scenario_clean_files();
    if (!label.empty())
        printf("%s: %s (%lu ms)\n", failed ? "FAILED" : "ok",
               label.substr(label.find('.') + 1).c_str(), GetTickCount() - began);
    fflush(stdout);
    failures += failed, failed = false, began = GetTickCount(), shots = 0;
    label = name.empty() ? "" : base.substr(0, base.find('.')) + "." + name;
}

} // namespace

std::string scenario_var(const char *name) { return vars.count(name) ? vars[name] : ""; }

void scenario_set(const std::string &name, const std::string &value) { vars[name] = value; }

words scenario_list(const char *name) { return split(scenario_var(name)); }

int scenario_play(const char *path, int count, char **settings) {
    vars = {{"nl", "\n"}, {"cr", "\r"}, {"q", "\""}, {"shots", "."}, {"loose", LOOSE_FILES}};
    for (int i = 0; i < count; i++)
        if (const char *eq = strchr(settings[i], '='))
            vars[std::string(settings[i], size_t(eq - settings[i]))] = eq + 1;
    if (!load(path)) return fprintf(stderr, "tvdriver: %s\n", step_error.c_str()), 1;
    std::string base = path;
    base = base.substr(base.find_last_of("/\\") + 1);
    for (const line &l : lines)
        if (l.tokens[0] == "scenario")
            next_scenario(base, l.tokens.size() > 1 ? l.tokens[1] : "?");
        else if (!failed && !play_line(l, 0))
            failed = true, printf("%s: %s\n", l.where.c_str(), step_error.c_str());
    next_scenario(base, "");
    printf("%d scenario(s) failed\n", failures);
    return failures ? 1 : 0;
}
