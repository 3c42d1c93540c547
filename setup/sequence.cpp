/*
 * sequence.cpp: the order of the installation steps.  Each step is a call of
 * its own; a step that ends setup has already shown why.
 */
#include "setup/sequence.h"

#include "setup/messages.h"
#include "setup/state.h"

int run_setup(void) {
    load_titles();
    if (product_is_running()) {
        setup_message_box(nullptr, MSG_PRODUCT_RUNNING, MB_ICONERROR);
        return 0;
    }
    find_source_directory();
    choose_default_directory();
    return 0;
}
