/*
 * extract.cpp: the engine's frame: the entry extract_archive with its busy
 * flag, the three buffers of a run, the archive file, abandon and the one
 * clean-up that every way out of a run passes through.
 *
 * A failure anywhere in the walk or in a member is shown where it is found
 * and then unwinds straight back here with a long jump; the clean-up closes
 * what is open, deletes a member file that was being written, and frees the
 * buffers, so that no run leaves a handle or a block behind.
 */
#include "unzip/engine.h"

#include "common/messages.h"
#include "inflate/inflate.h"
#include "progress/progress.h"

#include <cstdarg>
#include <cstring>

engine_state engine = {};

const uint8_t *input_cursor;
uint32_t input_left;
uint8_t *output_buffer;
uint32_t output_fill;
uint8_t *deflate_window;

namespace {

const char ZIP_SUFFIX[] = ".ZIP";

/* The sizes the engine and the decoder each name, which must agree: the
   decoder writes whole chunks of the engine's capacity and fills its output
   buffer up to it, and keeps its window in the window block, whose 8 bytes
   of slack are allocated as they always were. */
static_assert(uint32_t(IO_CHUNK) == uint32_t(OUTPUT_CAPACITY), "a chunk is the decoder's capacity");
static_assert(BUFFER_ALLOC >= IO_CHUNK, "each buffer holds a whole chunk");
static_assert(WINDOW_ALLOC == WINDOW_SIZE + 8, "the window block is the window and its slack");
static_assert(uint32_t(REPORT_STEP) == uint32_t(PROGRESS_UNIT), "a report is one unit of the bar");

/* Copies the caller's archive path into the archive name, adding ".ZIP" to a
   path without any '.'.  A path that would not fit is refused whole rather
   than cut into the name of another file. */
void take_archive_name(void) {
    const char *path = engine.request->archive_path;
    size_t length = strlen(path);
    size_t need = length + (strchr(path, '.') ? 0 : sizeof ZIP_SUFFIX - 1);
    if (need >= ARCHIVE_NAME_SIZE) fail(MSG_CANT_OPEN_INPUT, path);
    memcpy(engine.archive_name, path, length + 1);
    if (need != length) memcpy(engine.archive_name + length, ZIP_SUFFIX, sizeof ZIP_SUFFIX);
}

/* The Deflate window first, and the two buffers only when it was had. */
void allocate_buffers(void) {
    deflate_window = static_cast<uint8_t *>(plat_global_alloc(WINDOW_ALLOC, 1));
    if (deflate_window) {
        engine.input_buffer = static_cast<uint8_t *>(plat_malloc(BUFFER_ALLOC));
        output_buffer = static_cast<uint8_t *>(plat_malloc(BUFFER_ALLOC));
    }
    if (!deflate_window || !engine.input_buffer || !output_buffer) fail(MSG_NO_MEMORY);
}

void open_archive(void) {
    engine.archive = plat_lopen(engine.archive_name, OF_READ | OF_SHARE_DENY_WRITE);
    if (engine.archive == HFILE_ERROR) {
        plat_ansi_to_oem(engine.archive_name);
        fail(MSG_CANT_OPEN_INPUT, engine.archive_name);
    }
    plat_llseek(engine.archive, engine.request->start_offset, FILE_BEGIN);
}

void run_extraction(void) {
    take_archive_name();
    allocate_buffers();
    open_archive();
    walk_archive();
    plat_lclose(engine.archive);
    engine.archive = HFILE_ERROR;
}

void release_buffers(void) {
    plat_global_free(deflate_window);
    plat_free(engine.input_buffer);
    plat_free(output_buffer);
    deflate_window = nullptr;
    engine.input_buffer = nullptr;
    output_buffer = nullptr;
    input_cursor = nullptr;
    input_left = 0;
    output_fill = 0;
}

/* Runs on every exit: a member file still open was cut short by an
   abandon, so it is deleted; finished members stay. */
void clean_up(void) {
    if (engine.archive != HFILE_ERROR) plat_lclose(engine.archive);
    engine.archive = HFILE_ERROR;
    if (engine.output != HFILE_ERROR) {
        plat_lclose(engine.output);
        engine.output = HFILE_ERROR;
        plat_remove(engine.converted);
    }
    inflate_release_tables();
    release_buffers();
}

/* Everything a run starts from, set before the abandon point is armed. */
void start_run(extract_request *request) {
    engine.busy = 1;
    engine.request = request;
    engine.test_mode = request->dest_dir == nullptr;
    engine.archive = HFILE_ERROR;
    engine.output = HFILE_ERROR;
    engine.bytes_read = 0;
    engine.last_report = 0;
    engine.last_had_descriptor = 0;
    engine.streamed = 0;
}

} /* namespace */

int extract_archive(extract_request *request) {
    if (engine.busy) return 0;
    start_run(request);
    if (__builtin_setjmp(engine.abandon_point) == 0)
        run_extraction();
    else
        request->result = engine.abandon_code;
    clean_up();
    engine.request = nullptr;
    engine.busy = 0;
    return 1;
}

void abandon(int code) {
    engine.abandon_code = code;
    __builtin_longjmp(engine.abandon_point, 1);
}

void fail_text(const char *text) {
    engine_error_box(engine.request->owner_window, text);
    abandon(EXTRACT_FAILED);
}

void fail(unsigned id, ...) {
    const char *format = engine_string(engine.request->owner_window, id);
    va_list args;
    va_start(args, id);
    plat_vformat(engine.message, sizeof engine.message, format, args);
    va_end(args);
    fail_text(engine.message);
}

void report_read_failure(void) { fail(MSG_READ_ERROR, engine.request->archive_path); }

void read_archive(void *buf, uint32_t count) {
    if (plat_lread(engine.archive, buf, count) != count) report_read_failure();
}

void skip_archive(uint32_t count) {
    /* Moves are signed; a huge size goes forward in steps, never back. */
    const uint32_t step = 0x40000000;
    for (; count > step; count -= step) plat_llseek(engine.archive, int32_t(step), FILE_CURRENT);
    plat_llseek(engine.archive, int32_t(count), FILE_CURRENT);
}
