/*
 * unzip.h: the extraction engine's face towards its callers: the request by
 * which a caller describes one extraction, the member filter and the entry
 * extract_archive.
 *
 * The engine reads one ZIP archive front to back, writes or tests its
 * members, reports progress to the owner window and can be cancelled from
 * it.  Every failure is shown in a message box over the owner window before
 * the run ends, so a caller only looks at result.
 */
#ifndef TARVEX_UNZIP_UNZIP_H
#define TARVEX_UNZIP_UNZIP_H

#include "platform/platform.h"

#include <cstdint>

enum {
    EXTRACT_OK = 0,        /* result left as the caller set it: success */
    EXTRACT_FAILED = 2,    /* a failure, already shown to the user */
    EXTRACT_CANCELLED = 99 /* the user cancelled; nothing shown */
};

/* One member name to extract; the name follows the link directly, with '/'
   as separator, so a node is allocated with room for its name. */
struct filter_node {
    filter_node *next; /* the next node; null ends the list */
    char name[1];      /* the member name, NUL-terminated, runs on */
};

struct extract_request {
    uint16_t crc_check;       /* 1: a CRC-32 mismatch is a failure */
    const char *archive_path; /* the archive; ".ZIP" is added when it has no '.' */
    const char *dest_dir;     /* destination directory; null tests only */
    filter_node *filter_list; /* names to extract; null extracts every member */
    int32_t keep_paths;       /* non-zero: keep the stored directory part */
    int32_t start_offset;     /* where in the file the walk begins */
    plat_window owner_window; /* owner of the boxes, receiver of PRG_ messages */
    int32_t result;           /* EXTRACT_*: written only on failure or cancel */
    int32_t skip_empty;       /* non-zero: members of size 0 are passed over */
};

/* Runs one extraction.  Returns 0, touching nothing, when a run is already in
   progress; otherwise 1, with the outcome in request->result. */
int extract_archive(extract_request *request);

#endif
