// Stand-ins for the steps of setup that need the dialog manager, and for the
// copy pass and the extraction, so that the host tests can run the setup
// sequence and the install directory dialog's OK button without a screen.
#ifndef TARVEX_TESTS_SETUP_FAKES_H
#define TARVEX_TESTS_SETUP_FAKES_H

#include "platform/platform.h"

#include <cstdint>
#include <string>
#include <vector>

struct fake_state {
    int install_answer;             // 0: Cancel; 1: OK with the field below
    std::string field;              // text in the edit field; empty: the proposal
    int restart_answer;             // what the restart dialog ends with
    int pass_result[2];             // distribution_pass's result by mode
    uint32_t pass_bytes;            // what the check-and-size pass adds
    int extract_result;             // extract_setup_archive's result
    std::vector<std::string> steps; // every stand-in called, in order
    size_t boxes_at_close;          // boxes shown when the progress dialog went
    plat_window progress;           // the progress dialog last opened
    plat_window install_dialog;     // the install directory dialog last run
};

extern fake_state fakes;
void fakes_reset(void);

#endif
