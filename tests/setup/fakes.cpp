// The stand-ins of fakes.h.  The install directory dialog is a simulated
// window whose OK button runs the real handler once.
#include "fakes.h"

#include "resources/dialog.h"
#include "setup/dialogs.h"
#include "setup/install_dir.h"

fake_state fakes;

void fakes_reset(void) { fakes = fake_state{1, "", 2, {1, 1}, 0, 1, {}, 0, nullptr}; }

int run_install_dir_dialog(void) {
    fakes.steps.push_back("install_dir");
    plat_window dialog = host_create_window("#32770", nullptr);
    plat_set_item_text(dialog, IDC_DIR_EDIT,
                       fakes.field.empty() ? setup.default_dir : fakes.field.c_str());
    return fakes.install_answer && install_dir_ok(dialog);
}

int run_restart_dialog(void) {
    fakes.steps.push_back("restart");
    return fakes.restart_answer;
}

plat_window open_progress_dialog(void) {
    fakes.steps.push_back("progress_open");
    fakes.progress = host_create_window("#32770", nullptr);
    return fakes.progress;
}

void close_progress_dialog(plat_window dialog) {
    fakes.steps.push_back("progress_close");
    fakes.boxes_at_close = host_boxes().size();
    host_destroy_window(dialog);
}

void register_meter(void) { fakes.steps.push_back("meter"); }

int distribution_pass(plat_window, int mode) {
    fakes.steps.push_back(mode ? "copy" : "check");
    if (!mode) setup.size_total += fakes.pass_bytes;
    return fakes.pass_result[mode ? 1 : 0];
}

int extract_setup_archive(plat_window) {
    fakes.steps.push_back("extract");
    return fakes.extract_result;
}
