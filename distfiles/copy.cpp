/*
 * copy.cpp: the copy of one loose file into the target directory, byte for
 * byte in chunks of 15360 bytes, with the progress bar moved as the bytes go
 * by and the source's time stamp given to the copy.
 *
 * The copy does not pump messages (the pass serves the dialog between
 * files); the bar still moves during a long file because the Meter repaints
 * before its MTR_SETPOS returns.  The bar is moved only once at least one
 * unit of 10240 bytes has gone by since its last move, over all files, so
 * small files move it only every few files.
 *
 * Failures are shown here, once, and only then passed up.  A target that was
 * created before a failed read or write stays as it is, without the source's
 * time stamp; a cancellation keeps the part copied so far, stamped, and counts
 * as success.  A target path too long for its buffer is refused before
 * anything is opened, so no file is ever created under a cut name.
 */
#include "distfiles/distfiles.h"

#include "common/messages.h"
#include "common/state.h"
#include "progress/progress.h"

#include <cstring>

uint32_t last_bar_update;

namespace {

enum { ARG_SOURCE, ARG_TARGET }; /* which path a failure names */

struct copy_report {  /* how a failed copy reaches the user */
    int result;       /* the copy result; COPY_OK ends the table */
    unsigned message; /* the string shown */
    int argument;     /* the path in its %s: ARG_SOURCE or ARG_TARGET */
};

/* clang-format off */
const copy_report COPY_REPORTS[] = {
    /* result              message            argument */
    {COPY_CANNOT_OPEN,     MSG_CANNOT_WRITE,  ARG_SOURCE},
    {COPY_CANNOT_CREATE,   MSG_CANNOT_WRITE,  ARG_TARGET},
    {COPY_WRITE_ERROR,     MSG_WRITE_ERROR,   ARG_TARGET},
    {COPY_READ_ERROR,      COPY_READ_ERROR,   ARG_SOURCE},
    {COPY_OK,              0,                 0},
};
/* clang-format on */

struct copy_job {     /* one file on its way from source to target */
    plat_file source; /* the source, HFILE_ERROR until opened */
    plat_file target; /* the target, HFILE_ERROR until created */
    char *buffer;     /* the copy buffer while held, else null */
};

/* Counts a chunk and moves the bar once a unit has gone by since its last
   move.  The distance is taken by subtraction, so that it holds across the
   counter's wrap. */
void advance_bar(uint32_t count) {
    copy_byte_counter += count;
    if (copy_byte_counter - last_bar_update < PROGRESS_UNIT) return;
    progress_set_pos(setup.progress_dialog, copy_byte_counter / PROGRESS_UNIT);
    last_bar_update = copy_byte_counter;
}

int open_job(copy_job *job, const char *source_path, const char *target_path) {
    job->source = plat_lopen(source_path, OF_READ);
    if (job->source == HFILE_ERROR) return COPY_CANNOT_OPEN;
    job->buffer = static_cast<char *>(plat_global_alloc(COPY_BUFFER_SIZE, 0));
    if (!job->buffer) return COPY_CANNOT_OPEN;
    job->target = plat_lcreat(target_path, 0);
    if (job->target == HFILE_ERROR) return COPY_CANNOT_CREATE;
    return COPY_OK;
}

/* Copies chunk after chunk until a read brings nothing, or the cancel flag is
   set.  A short read is not taken for the end of the file: a medium that
   hands over less than was asked would otherwise leave a cut file counted as
   copied.  A failed read returns HFILE_ERROR, which no chunk can hold, so it
   is told apart from the end of the file and nothing of it is written. */
int copy_chunks(copy_job *job) {
    for (;;) {
        uint32_t got = plat_lread(job->source, job->buffer, COPY_BUFFER_SIZE);
        if (got > COPY_BUFFER_SIZE) return COPY_READ_ERROR;
        if (plat_lwrite(job->target, job->buffer, got) != got) return COPY_WRITE_ERROR;
        advance_bar(got);
        if (got == 0 || cancel_flag) return COPY_OK;
    }
}

/* Gives the target the source's last-write time as all three of its times. */
void stamp_time(const copy_job *job) {
    plat_filetime created, accessed, written;
    if (!plat_get_file_time(job->source, &created, &accessed, &written)) return;
    plat_set_file_time(job->target, &written, &written, &written);
}

void close_job(copy_job *job) {
    if (job->source != HFILE_ERROR) plat_lclose(job->source);
    if (job->target != HFILE_ERROR) plat_lclose(job->target);
    plat_global_free(job->buffer);
}

/* Copies source_path to target_path; returns the copy result. */
int copy_between(const char *source_path, const char *target_path) {
    copy_job job = {HFILE_ERROR, HFILE_ERROR, nullptr};
    int result = open_job(&job, source_path, target_path);
    if (result == COPY_OK) result = copy_chunks(&job);
    if (result == COPY_OK) stamp_time(&job);
    close_job(&job);
    return result;
}

/* Shows the message of a failed copy; returns the pass's verdict. */
int report_copy(int result, const char *source_path, const char *target_path) {
    for (const copy_report *r = COPY_REPORTS; r->result != COPY_OK; r++) {
        if (r->result != result) continue;
        const char *path = r->argument == ARG_SOURCE ? source_path : target_path;
        setup_message_box(setup.progress_dialog, r->message, MB_ICONERROR, path);
        return 0;
    }
    return 1;
}

/* The target name of record index: its name, with the last character
   replaced when the record asks for it. */
void target_name_of(int index, char *name) {
    const dist_file *file = &dist_files[index];
    plat_format(name, DIST_PATH_SIZE, "%s", file->name);
    size_t len = strlen(name);
    if (file->last_char != 0 && len > 0) name[len - 1] = char(file->last_char);
}

/* Builds the target path of name; a path that would not fit is refused with
   the whole of it in the message, so that the user sees what was meant. */
int target_path_of(const char *name, char *path) {
    if (strlen(setup.target_prefix) + strlen(name) < DIST_PATH_SIZE) {
        plat_format(path, DIST_PATH_SIZE, "%s%s", setup.target_prefix, name);
        return 1;
    }
    char whole[TARGET_PREFIX_SIZE + DIST_PATH_SIZE];
    plat_format(whole, sizeof whole, "%s%s", setup.target_prefix, name);
    setup_message_box(setup.progress_dialog, MSG_CANNOT_WRITE, MB_ICONERROR, whole);
    return 0;
}

} /* namespace */

int copy_file(const char *source_path, int index) {
    char name[DIST_PATH_SIZE], target_path[DIST_PATH_SIZE];
    target_name_of(index, name);
    progress_set_file(setup.progress_dialog, name);
    if (!target_path_of(name, target_path)) return 0;
    int result = copy_between(source_path, target_path);
    return report_copy(result, source_path, target_path);
}
