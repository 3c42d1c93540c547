/*
 * scenario.h: the scenario player's shared state and steps.
 *
 * A scenario file is a list of steps, one a line, that prepare the machine,
 * start SETUP.EXE, answer what it shows and check what it leaves behind, as
 * a user and an inspector beside the user would.  scenario.cpp reads and
 * plays the file and owns the steps on setup's windows; scenario_files.cpp
 * owns the steps on disks, files and the machine's settings.  A failed step
 * abandons its scenario; the next "scenario" line starts afresh, with the
 * machine's settings as they were before the last one.
 */
#ifndef TARVEX_TOOLS_SCENARIO_H
#define TARVEX_TOOLS_SCENARIO_H

#include "tools/driver/driver.h"

#include <map>
#include <string>
#include <vector>

typedef std::vector<std::string> words;

struct scenario_state {                      /* the player's process-wide state */
    std::map<std::string, std::string> vars; /* ${name} values */
    std::vector<HWND> windows;               /* windows of ours to close */
    HWND holder;                             /* the last file-holding window */
    std::string label;                       /* script and scenario, for pictures */
    int shots;                               /* pictures in this scenario */
    std::string error;                       /* why the last step failed */
};

extern scenario_state S;

/* Records why a step failed; returns false for the step to return. */
bool step_failed(const char *format, ...);
/* Whether seen equals expected, recording the difference when not. */
bool step_expect(const char *what, const std::string &seen, const std::string &expected);
/* The value of ${name}; empty when unset. */
std::string scenario_var(const char *name);
/* The words of a variable holding a list. */
words scenario_list(const char *name);
/* The disk's files in the order setup writes them: the loose files of
   ${loose}, then the product's files of ${product}, which the disk's archive
   holds in the order of their names. */
words scenario_files(void);

typedef bool (*step_fn)(const words &w);
struct step {         /* one kind of line */
    const char *name; /* its first word */
    int min_args;     /* words after it */
    bool on_run;      /* whether setup must be running */
    step_fn run;      /* what it does */
    const char *help; /* its words and what it does */
};
/* Plays a scenario file, the name=value settings given as ${name}; 0 when
   every scenario in it passed. */
int scenario_play(const char *path, int count, char **settings);

/* The file and machine steps; null name ends. */
extern const step FILE_STEPS[];

/* Closes our windows, lets go of held files and puts back every machine
   setting the scenario changed. */
void scenario_clean_files(void);

#endif
