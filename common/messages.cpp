/*
 * messages.cpp: the setup message box, the engine string lookup and the
 * engine error box, shown in boxes or, for the command-line tool, written to
 * standard error.  Every buffer here has a fixed size and every copy into
 * one is bounded, so no text of any length can overrun it.
 */
#include "common/messages.h"

#include "common/state.h"

#include <cstring>

namespace {
int on_console; /* messages go to standard error instead of boxes */

/* Every message of this file reaches the user here.  On the console nobody
   can press a button: the box's default answer is taken. */
int show(plat_window owner, const char *text, const char *caption, unsigned style) {
    if (!on_console) return plat_message_box(owner, text, caption, style);
    plat_write_stderr(text);
    plat_write_stderr("\n");
    return (style & 0xF) == MB_YESNO ? IDNO : IDOK;
}
} /* namespace */

void messages_on_console(int on) { on_console = on; }

int setup_message_box(plat_window owner, unsigned id, unsigned style, ...) {
    char loaded[MESSAGE_TEMPLATE_SIZE];
    char text[MESSAGE_TEXT_SIZE];
    if (plat_load_string(id, loaded, sizeof loaded) == 0) {
        plat_format(text, sizeof text, "%u", id);
    } else {
        va_list args;
        va_start(args, style);
        plat_vformat(text, sizeof text, loaded, args);
        va_end(args);
    }
    return show(owner, text, setup.caption, style);
}

namespace {
char engine_results[3][MESSAGE_TEXT_SIZE]; /* the rotating result buffers */
int engine_rotation;                       /* which one the next lookup takes */

/* Appends text to result, cutting it where the buffer ends. */
void append_bounded(char *result, const char *text) {
    size_t have = strlen(result);
    size_t room = MESSAGE_TEXT_SIZE - 1 - have;
    size_t n = strlen(text);
    if (n > room) n = room;
    memcpy(result + have, text, n);
    result[have + n] = 0;
}
} /* namespace */

const char *engine_string(plat_window owner, unsigned id) {
    char *result = engine_results[engine_rotation];
    engine_rotation = (engine_rotation + 1) % 3;
    result[0] = 0;
    for (;;) {
        char loaded[MESSAGE_TEXT_SIZE];
        if (plat_load_string(id, loaded, MESSAGE_TEXT_SIZE - 1) == 0) {
            char missing[NOT_FOUND_TEXT_SIZE];
            plat_format(missing, sizeof missing, "Error: String Resource not found: %d", int(id));
            engine_error_box(owner, missing);
            return result;
        }
        if (loaded[0] != '!') {
            append_bounded(result, loaded);
            return result;
        }
        append_bounded(result, loaded + 1);
        id = (id + 1) & 0xFFFF;
    }
}

void engine_error_box(plat_window owner, const char *text) {
    show(owner, text, nullptr, MB_ICONERROR);
}
