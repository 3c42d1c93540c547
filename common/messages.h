/*
 * messages.h: the three ways a text of the string table reaches the screen.
 *
 * The setup message box serves the setup driver, the distribution files and
 * the progress dialog: a string id, a style and printf-style arguments, shown
 * under the caption text.  The extraction engine instead looks its templates
 * up (engine_string), formats them itself and shows them with the engine
 * error box, which carries the platform's default caption.
 */
#ifndef TARVEX_COMMON_MESSAGES_H
#define TARVEX_COMMON_MESSAGES_H

#include "platform/platform.h"

/* String ids of the table (resources/strings.def). */
enum {
    MSG_CANNOT_CREATE_DIR = 1004,  /* "The %s directory cannot be created..." */
    MSG_CONFIRM_CANCEL = 1005,     /* "Setup has not completed installing..." */
    MSG_NOT_INSTALLED = 1006,      /* "The software has not been successfully installed..." */
    MSG_FILE_MISSING = 1013,       /* "Cannot find required file %s..." */
    MSG_SAME_DIRECTORY = 1016,     /* ""Install To" directory must be different..." */
    MSG_CANNOT_OPEN = 1017,        /* "Cannot open %s": a source path too long to build */
    MSG_CANNOT_WRITE = 1018,       /* "Cannot open %s for writing" */
    MSG_WRITE_ERROR = 1019,        /* "Error writing to %s" */
    MSG_CAPTION = 1021,            /* "Tarvex Setup" */
    MSG_PRODUCT_RUNNING = 1022,    /* "Another version of Tarvex is running..." */
    MSG_TIME_MISMATCH = 1023,      /* "Date/time stamp on the file %s does not match..." */
    MSG_INVALID_DIR = 1024,        /* "Invalid destination directory" */
    MSG_ALREADY_RUNNING = 1025,    /* "Setup is already running" */
    MSG_PROGRESS_TITLE = 1026,     /* "Installing" */
    MSG_SHELL_EXT_WAIT = 1029,     /* "Please wait a moment while the Tarvex Shell Extension..." */
    MSG_CANT_CREATE_OUTPUT = 1030, /* "Can't create output file: %s" */
    MSG_CANT_OPEN_INPUT = 1031,    /* "Can't open input file: %s" */
    MSG_UNKNOWN_METHOD = 1032,     /* "unknown compression" */
    MSG_BAD_CRC = 1033,            /* "ZIP damaged: file %s: Bad CRC %08lx (should be %08lx)" */
    MSG_BAD_HEADER = 1034,         /* "Invalid Zipfile Header" */
    MSG_NO_MEMORY = 1035,          /* "Insufficient memory" */
    MSG_DISK_FULL = 1036,          /* "Error writing to %s.  Possible cause: disk full" */
    MSG_READ_ERROR = 1037,         /* "Error reading %s.  Possible cause: bad disk" */
    MSG_ZIP64 = 1038               /* "ZIP file %s: member %s is in the ZIP64 format..." */
};

/* Buffer sizes of the message operations, terminator included. */
enum {
    MESSAGE_TEMPLATE_SIZE = 512, /* a text as loaded for the setup message box */
    MESSAGE_TEXT_SIZE = 516,     /* a formatted text, and each engine result */
    NOT_FOUND_TEXT_SIZE = 128    /* the engine's "String Resource not found" text */
};

/* From now on (on non-zero) every message of this file is written to
   standard error with a line feed instead of being shown in a box, and a
   question takes the box's default answer: the command-line tool's way, so
   that it never waits for a click.  Off at program start. */
void messages_on_console(int on);

/* Shows text id, formatted with the arguments, in a box of the given style
   owned by owner (null for none) under the caption text.  Returns the button
   the user chose.  An id the table lacks shows the id's number instead of
   formatting a text that was never loaded. */
int setup_message_box(plat_window owner, unsigned id, unsigned style, ...);

/* The text of id, with texts beginning with "!" continued by the next id.
   The result lives in one of three rotating buffers until the third call
   after this one.  An id without text shows "Error: String Resource not
   found: %d" in the engine error box of owner and yields what was joined. */
const char *engine_string(plat_window owner, unsigned id);

/* Shows a finished engine text over owner, with the error icon and the
   platform's default caption. */
void engine_error_box(plat_window owner, const char *text);

#endif
