/*
 * archive_step.cpp: the setup sequence's extraction step, kept apart from
 * the sequence so that the host tests can stand in for it (tests/setup) and
 * the engine knows nothing of where setup keeps its disk.
 */
#include "setup/archive_step.h"

#include "common/state.h"
#include "unzip/unzip.h"

#include <cstring>

namespace {
const char SETUP_ARCHIVE[] = "%ssetup.tv";
enum { SETUP_PATH_SIZE = 260 };
} /* namespace */

int extract_setup_archive(plat_window progress_dialog) {
    char archive_path[SETUP_PATH_SIZE];
    extract_request request;
    memset(&request, 0, sizeof request);
    plat_format(archive_path, sizeof archive_path, SETUP_ARCHIVE, setup.source_dir);
    request.archive_path = archive_path;
    request.dest_dir = setup.target_dir;
    request.owner_window = progress_dialog;
    /* A damaged setup archive must not install damaged files as a success. */
    request.crc_check = 1;
    return extract_archive(&request) == 1 && request.result == EXTRACT_OK;
}
