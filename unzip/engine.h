/*
 * engine.h: the extraction engine's state and the operations its three
 * parts share: the frame (extract.cpp: buffers, abandon, clean-up), the
 * record walk (walk.cpp) and the member extraction (member.cpp).
 *
 * There is one engine a process and its state is static.  A run ends early
 * through abandon(), a long jump back to extract_archive, so nothing in the
 * frames between may own a resource that needs a destructor: every resource
 * of a run is recorded here, and the frame's clean-up releases it.
 *
 * The jump is the compiler's own (__builtin_setjmp and __builtin_longjmp),
 * not the C runtime's, which SETUP.EXE does without: its buffer is five
 * words, and the jump must come from another function than the one that set
 * the landing place, which abandon() always is.
 */
#ifndef TARVEX_UNZIP_ENGINE_H
#define TARVEX_UNZIP_ENGINE_H

#include "unzip/unzip.h"

#include <cstdint>

enum {
    ARCHIVE_NAME_SIZE = 272,    /* the path plus a possible ".ZIP" */
    MEMBER_NAME_SIZE = 260,     /* stored name, then output path */
    OUTPUT_PATH_SIZE = 264,     /* work buffer of the output path */
    CONVERTED_PATH_SIZE = 260,  /* the output path as the file system gets it */
    SHOW_NAME_SIZE = 360,       /* the name sent with PRG_SHOWFILE */
    ENGINE_MESSAGE_SIZE = 1024, /* a formatted message: a template and a path fit */
    BUFFER_ALLOC = 28692,       /* bytes allocated for each of the two buffers */
    WINDOW_ALLOC = 32776,       /* bytes allocated for the Deflate window */
    IO_CHUNK = 0x7000,          /* bytes of each buffer in use */
    REPORT_STEP = 10240         /* archive bytes between two progress reports */
};

enum {
    FLAG_ENCRYPTED = 0x0001, /* general purpose flag bit 0 */
    FLAG_DESCRIPTOR = 0x0008 /* bit 3: a data descriptor follows the data */
};

enum { METHOD_STORED = 0, METHOD_DEFLATED = 8 };

/* Little-endian fields of the records, read byte by byte at any alignment. */
inline uint16_t get16(const uint8_t *p) { return uint16_t(p[0] | p[1] << 8); }
inline uint32_t get32(const uint8_t *p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

struct local_header {
    uint16_t flags;             /* general purpose flags */
    uint16_t method;            /* compression method */
    uint16_t dos_time;          /* last modification time, DOS format */
    uint16_t dos_date;          /* last modification date, DOS format */
    uint32_t crc;               /* CRC-32 of the data, or of the descriptor */
    uint32_t compressed_size;   /* data bytes not yet read; counts down */
    uint32_t uncompressed_size; /* only tested for 0, or against a descriptor */
    uint16_t name_length;       /* bytes of the stored name */
    uint16_t extra_length;      /* bytes of the extra field */
};

struct engine_state {
    int busy;                             /* a run is in progress */
    extract_request *request;             /* the caller's request, during a run */
    int test_mode;                        /* dest_dir is null: nothing written */
    char archive_name[ARCHIVE_NAME_SIZE]; /* the archive as opened */
    plat_file archive;                    /* open archive, HFILE_ERROR when none */
    plat_file output;                     /* open member file, HFILE_ERROR when none */
    char member_name[MEMBER_NAME_SIZE];   /* stored name, then output path */
    char converted[CONVERTED_PATH_SIZE];  /* output path in the ANSI character set */
    local_header header;                  /* the last local header read */
    int last_had_descriptor;              /* that header had flag bit 3 */
    int streamed;                         /* its sizes are only in the descriptor */
    uint8_t *input_buffer;                /* archive data on its way to the decoder */
    uint32_t member_taken;                /* bytes read for a streamed member */
    uint32_t member_out;                  /* bytes the member has produced */
    uint32_t crc;                         /* CRC register of the member */
    uint32_t bytes_read;                  /* member data read since the run began */
    uint32_t last_report;                 /* bytes_read at the last progress report */
    char message[ENGINE_MESSAGE_SIZE];    /* every formatted message is built here */
    int abandon_code;                     /* EXTRACT_FAILED or EXTRACT_CANCELLED */
    void *abandon_point[5];               /* extract_archive's landing place */
};

extern engine_state engine;

/* ---- The frame (extract.cpp) ---------------------------------------------- */
[[noreturn]] void abandon(int code);
/* Shows the template of id formatted with the arguments, then abandons with
   EXTRACT_FAILED. */
[[noreturn]] void fail(unsigned id, ...);
/* Shows a finished text, then abandons with EXTRACT_FAILED. */
[[noreturn]] void fail_text(const char *text);
[[noreturn]] void report_read_failure(void);
/* Reads exactly count bytes from the archive, or reports a read failure. */
void read_archive(void *buf, uint32_t count);
/* Moves the archive position forward by count bytes, however large. */
void skip_archive(uint32_t count);

/* ---- The walk (walk.cpp) --------------------------------------------------- */
void walk_archive(void);
const char *base_name(const char *path);

/* ---- Member extraction (member.cpp) ---------------------------------------- */
/* Counts count more archive bytes and, when forced or 10240 more have been
   read since the last report, sends PRG_ADVANCE and drains the queue; a
   cancel seen there abandons the run. */
void report_progress(int force, uint32_t count);
/* Announces the member's base name with PRG_SHOWFILE, then reports. */
void show_member(void);
/* Extracts (or tests) the member whose header and name are current. */
void extract_member(void);
const uint32_t SIG_DESCRIPTOR = 0x08074B50; /* the optional mark of a data descriptor */
enum { DESCRIPTOR_LONG = 16 };              /* a descriptor with that mark */
/* Reads the 16 bytes behind the current position without moving past them:
   the data descriptor, if one is there.  Returns how many could be read. */
uint32_t peek_descriptor(uint8_t *d);
/* Reads a streamed member through without output to find where it ends;
   0 when a stored one's end was not found and the archive is back at its
   data. */
int pass_over_streamed(void);
/* Whether the current member's end can only be found by reading its data
   through: a streamed member, stored or deflated, and not encrypted. */
int needs_reading_to_skip(void);

#endif
