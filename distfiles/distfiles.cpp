/*
 * distfiles.cpp: the list of loose files, the pass over it, and the expanded
 * size of a compressed file.
 *
 * A file belongs to this release only if it carries exactly the last-write
 * time of SETUP.EXE, so a disk mixed from two releases is refused before
 * anything is copied.  The copy pass checks each file again right before
 * copying it and serves the progress dialog (its Cancel button) between
 * files; a file that fails stops the pass before any later file is touched.
 */
#include "distfiles/distfiles.h"

#include "common/messages.h"
#include "common/state.h"
#include "progress/progress.h"

#include <cstring>

#define LOOSE(name, last_char) {name, last_char},
const dist_file dist_files[] = {
#include "distfiles/loose.def"
    {nullptr, 0},
};
#undef LOOSE

namespace {

/* The header of a file compressed for expansion on installation. */
const unsigned char SZDD_MAGIC[8] = {'S', 'Z', 'D', 'D', 0x88, 0xF0, 0x27, 0x33};
enum { SZDD_SIZE_OFFSET = 10 }; /* where the expanded size lies, little-endian */

/* Builds the source path of a listed file.  A source directory too long for
   the path buffer is refused rather than cut, naming the whole path. */
int source_path_of(plat_window owner, const char *name, char *path) {
    if (strlen(setup.source_dir) + strlen(name) < DIST_PATH_SIZE) {
        plat_format(path, DIST_PATH_SIZE, "%s%s", setup.source_dir, name);
        return 1;
    }
    char whole[SOURCE_DIR_SIZE + DIST_PATH_SIZE];
    plat_format(whole, sizeof whole, "%s%s", setup.source_dir, name);
    setup_message_box(owner, MSG_CANNOT_OPEN, MB_ICONERROR, whole);
    return 0;
}

/* Whether the file at path is present and carries the reference time. */
int check_source(plat_window owner, const char *path, const char *name) {
    if (!file_probe(path)) {
        setup_message_box(owner, MSG_FILE_MISSING, MB_ICONERROR, name);
        return 0;
    }
    if (memcmp(&setup.find.ftLastWriteTime, &setup.reference_time, 8) != 0) {
        setup_message_box(owner, MSG_TIME_MISMATCH, MB_ICONERROR, name);
        return 0;
    }
    return 1;
}

/* One step of the copy pass: serve the dialog, then copy.  0 stops the pass. */
int copy_step(const char *path, int index) {
    plat_drain_messages(1);
    progress_set_title(setup.progress_dialog, setup.progress_title);
    if (!copy_file(path, index)) return 0;
    return cancel_flag ? 0 : 1;
}

} /* namespace */

int distribution_pass(plat_window owner, int mode) {
    for (int i = 0; dist_files[i].name; i++) {
        char path[DIST_PATH_SIZE];
        if (!source_path_of(owner, dist_files[i].name, path)) return 0;
        if (!check_source(owner, path, dist_files[i].name)) return 0;
        if (mode == DIST_CHECK)
            setup.size_total += expanded_size(path, setup.find.nFileSizeLow);
        else if (!copy_step(path, i))
            return 0;
    }
    return 1;
}

uint32_t expanded_size(const char *path, uint32_t fallback) {
    plat_file f = plat_lopen(path, OF_READ);
    if (f == HFILE_ERROR) return fallback;
    unsigned char head[SZDD_HEADER_SIZE];
    uint32_t size = fallback;
    if (plat_lread(f, head, sizeof head) == sizeof head &&
        memcmp(head, SZDD_MAGIC, sizeof SZDD_MAGIC) == 0) {
        const unsigned char *p = head + SZDD_SIZE_OFFSET;
        size = uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
    }
    plat_lclose(f);
    return size;
}
