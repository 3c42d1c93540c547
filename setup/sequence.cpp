/*
 * sequence.cpp: the order of the installation steps, the progress phase and
 * the launch of the installed program.  Each step is a call of its own; a
 * step that ends setup has already shown why, and every path returns 0.
 */
#include "setup/sequence.h"

#include "common/messages.h"
#include "common/state.h"
#include "distfiles/distfiles.h"
#include "progress/progress.h"
#include "setup/archive_step.h"
#include "setup/dialogs.h"
#include "setup/extensions.h"
#include "setup/startup.h"

#include <cstring>

namespace {

const char MAIN_PROGRAM[] = "tarvex32.exe";
const char INSTALL_SWITCH[] = "/install";
const char SETUP_INSTANCE[] = "Tarvex Setup instance"; /* claimed while setup runs */
enum {
    COMMAND_SIZE = TARGET_PREFIX_SIZE + 32,    /* prefix, quotes, name, switch */
    ERROR_TEXT_SIZE = TARGET_PREFIX_SIZE + 32, /* "Error running " prefix name */
    EXEC_STARTED = 32                          /* WinExec results from here on */
};

void report_not_installed(void) {
    setup_message_box(nullptr, MSG_NOT_INSTALLED, MB_TASKMODAL | MB_ICONINFORMATION);
}

/* The progress phase: copies the loose files and extracts the archive
   under the progress dialog, which is gone before the caller reports a
   failure. */
int run_progress_phase(void) {
    plat_window dialog = open_progress_dialog();
    setup.progress_dialog = dialog;
    uint32_t full = setup.size_total / 10;
    progress_set_pos(dialog, 0);
    progress_set_range(dialog, full);
    int ok = distribution_pass(dialog, DIST_COPY) && extract_setup_archive(dialog);
    progress_set_pos(dialog, full);
    close_progress_dialog(dialog);
    setup.progress_dialog = nullptr;
    return ok;
}

/* The first command line: the program in the target directory, quoted when
   the directory holds a blank so that no other program along the path can
   be started in its place. */
void target_command_line(char *command, size_t size) {
    const char *quote = strchr(setup.target_prefix, ' ') ? "\"" : "";
    plat_format(command, size, "%s%s%s%s %s", quote, setup.target_prefix, MAIN_PROGRAM, quote,
                INSTALL_SWITCH);
}

/* The launch: hands over to the installed program. */
void launch_product(void) {
    char command[COMMAND_SIZE];
    target_command_line(command, sizeof command);
    plat_chdir(setup.target_dir);
    if (plat_win_exec(command, SW_SHOW) >= EXEC_STARTED) return;
    plat_format(command, sizeof command, "%s %s", MAIN_PROGRAM, INSTALL_SWITCH);
    if (plat_win_exec(command, SW_SHOW) >= EXEC_STARTED) return;
    char text[ERROR_TEXT_SIZE];
    plat_format(text, sizeof text, "Error running %s%s", setup.target_prefix, MAIN_PROGRAM);
    plat_message_box(nullptr, text, nullptr, MB_OK);
}

/* The checks before anything is prepared: whether setup may run at all.
   A second setup at the same time would copy into the same files as the
   first and unload what the first has just checked, so only one runs. */
int checks_pass(void) {
    load_titles();
    if (!plat_claim_instance(SETUP_INSTANCE)) {
        setup_message_box(nullptr, MSG_ALREADY_RUNNING, MB_ICONERROR);
        return 0;
    }
    if (product_is_running()) {
        setup_message_box(nullptr, MSG_PRODUCT_RUNNING, MB_ICONERROR);
        return 0;
    }
    return unload_file_manager_extension();
}

} /* namespace */

int run_setup(void) {
    if (!checks_pass()) return 0;
    find_source_directory();
    choose_default_directory();
    register_meter();
    if (!run_install_dir_dialog() || !run_progress_phase()) {
        report_not_installed();
        return 0;
    }
    launch_product();
    return 0;
}
