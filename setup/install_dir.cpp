/*
 * install_dir.cpp: the OK button of the install directory dialog and the
 * path rules it applies.
 *
 * Each attempt starts from scratch: the target directory, the target prefix
 * and the size total are computed again from the field, so that pressing OK
 * after a failed attempt gives what a first attempt would have given.  The
 * file paths built here (a directory of up to 66 characters and a name of up
 * to 12) get buffers that hold them whole, and every copy is bounded.
 */
#include "setup/install_dir.h"

#include "common/messages.h"
#include "common/state.h"
#include "distfiles/distfiles.h"
#include "resources/dialog.h"
#include "setup/extensions.h"

#include <cstring>

int wait_cursor_flag;

namespace {

const char ARCHIVE_NAME[] = "setup.tv";
const char ARCHIVE_MISSING[] = "setup.tv is missing";
const char SHELL_EXTENSION[] = "tvshlext.dll";
enum { FILE_PATH_SIZE = TARGET_PREFIX_SIZE + 12 }; /* a prefix and an 8.3 name */
const int LOCKED_CONTROLS[] = {IDC_DIR_EDIT, IDC_OK, IDC_CANCEL, 0};

bool is_separator(char c) { return c == '\\' || c == '/'; }

/* Copies text into dst of size bytes, cut where dst ends. */
void copy_bounded(char *dst, size_t size, const char *text) {
    size_t n = strlen(text);
    if (n >= size) n = size - 1;
    memcpy(dst, text, n);
    dst[n] = 0;
}

/* Writes '\' for every '/' of text, in place. */
void unify_separators(char *text) {
    for (; *text; text++)
        if (*text == '/') *text = '\\';
}

/* The archive must lie beside SETUP.EXE; its size completes the total,
   which from here on counts kilobytes. */
int check_archive(void) {
    char path[FILE_PATH_SIZE];
    plat_format(path, sizeof path, "%s%s", setup.source_dir, ARCHIVE_NAME);
    if (!file_probe(path)) {
        plat_message_box(nullptr, ARCHIVE_MISSING, nullptr, MB_OK);
        return 0;
    }
    setup.size_total += setup.find.nFileSizeLow;
    setup.size_total >>= 10;
    return 1;
}

/* Enters the target directory, creating it (one level) if needed. */
int enter_target(plat_window dialog) {
    if (plat_chdir(setup.target_dir) == 0) return 1;
    if (plat_mkdir(setup.target_dir) == 0 && plat_chdir(setup.target_dir) == 0) return 1;
    setup_message_box(dialog, MSG_CANNOT_CREATE_DIR, MB_ICONINFORMATION, setup.target_dir);
    return 0;
}

/* One more dot in the lower line: the user sees that the wait goes on. */
void add_dot(plat_window dialog) {
    char text[WAIT_TEXT_SIZE];
    int n = plat_get_item_text(dialog, IDC_DIR_TEXT2, text, sizeof text);
    if (n + 1 < int(sizeof text)) {
        text[n] = '.';
        text[n + 1] = 0;
    }
    plat_set_item_text(dialog, IDC_DIR_TEXT2, text);
}

} /* namespace */

int directory_form_ok(const char *text) {
    if (text[0] == '\\' && text[1] == '\\') return 1;
    if (text[0] == '/' && text[1] == '/') return 1;
    return text[0] != 0 && text[1] == ':';
}

void normalise_directory(char *text, size_t size) {
    size_t len = strlen(text);
    if (len == 2 && text[1] == ':') {
        if (size > 3) text[2] = '\\', text[3] = 0;
    } else if (len > 0 && text[len - 1] == '\\') {
        text[len - 1] = 0;
    }
}

void append_separator(char *path, size_t size) {
    size_t len = strlen(path);
    if (len > 0 && is_separator(path[len - 1])) return;
    if (len + 1 >= size) return;
    path[len] = '\\';
    path[len + 1] = 0;
}

void set_target(const char *dir) {
    copy_bounded(setup.target_dir, sizeof setup.target_dir, dir);
    copy_bounded(setup.target_prefix, sizeof setup.target_prefix, setup.target_dir);
    append_separator(setup.target_prefix, sizeof setup.target_prefix);
}

int target_is_source(void) {
    char target[TARGET_PREFIX_SIZE], source[SOURCE_DIR_SIZE];
    copy_bounded(target, sizeof target, setup.target_prefix);
    copy_bounded(source, sizeof source, setup.source_dir);
    unify_separators(target);
    unify_separators(source);
    return plat_compare_nocase(target, source) == 0;
}

int install_dir_ok(plat_window dialog) {
    char field[DIR_FIELD_SIZE];
    plat_get_item_text(dialog, IDC_DIR_EDIT, field, sizeof field);
    if (!directory_form_ok(field)) {
        setup_message_box(dialog, MSG_INVALID_DIR, MB_ICONERROR);
        return 0;
    }
    normalise_directory(field, sizeof field);
    set_target(field);
    if (target_is_source()) {
        setup_message_box(dialog, MSG_SAME_DIRECTORY, MB_ICONERROR);
        return 0;
    }
    setup.size_total = 0;
    if (!distribution_pass(dialog, DIST_CHECK) || !check_archive() || !enter_target(dialog))
        return 0;
    /* From here on the dialog always ends; nothing in it may start this
       handler again or end it while the wait dispatches messages. */
    for (const int *id = LOCKED_CONTROLS; *id; id++) plat_enable_item(dialog, *id, 0);
    wait_for_shell_extension(dialog);
    return 1;
}

void wait_for_shell_extension(plat_window dialog) {
    char path[FILE_PATH_SIZE];
    plat_format(path, sizeof path, "%s%s", setup.target_prefix, SHELL_EXTENSION);
    if (!file_probe(path) || exclusive_open_wait(path, SHELL_EXT_FIRST_WAIT) == WAIT_RELEASED)
        return;
    char text[WAIT_TEXT_SIZE];
    plat_load_string(MSG_SHELL_EXT_WAIT, text, sizeof text);
    plat_set_item_text(dialog, IDC_DIR_TEXT1, text);
    plat_set_item_text(dialog, IDC_DIR_TEXT2, "");
    wait_cursor_flag = 1;
    for (int i = 0; i < SHELL_EXT_WAITS; i++) {
        if (exclusive_open_wait(path, SHELL_EXT_WAIT) == WAIT_RELEASED) break;
        add_dot(dialog);
    }
    wait_cursor_flag = 0;
}
