/*
 * zip_writer.h: builds the ZIP archives that the engine's tests read, in
 * memory, byte by byte, so that every odd layout (junk between records,
 * descriptors of either form, streamed members, cut-off files) is written
 * on purpose rather than taken from a binary.
 */
#ifndef TARVEX_TESTS_UNZIP_ZIP_WRITER_H
#define TARVEX_TESTS_UNZIP_ZIP_WRITER_H

#include "unzip/unzip.h"

#include <cstdint>
#include <string>
#include <vector>

enum { DOS_DATE = (2004 - 1980) << 9 | 7 << 5 | 15, DOS_TIME = 13 << 11 | 45 << 5 | 10 };

struct zip_member {
    std::string name;              /* stored name */
    std::string data;              /* uncompressed content */
    int method = 0;                /* 0 stored, 8 Deflate (fixed codes), other: as given */
    uint16_t flags = 0;            /* general purpose flags as stored */
    bool streamed = false;         /* bit 3, zero sizes and CRC, descriptor behind */
    bool signed_descriptor = true; /* the descriptor starts with its signature */
    bool descriptor = false;       /* bit 3 with real sizes and a 12-byte descriptor */
    bool wrong_crc = false;        /* store a CRC-32 that does not match */
    std::string payload;           /* when not empty: the member data as stored */
    std::string junk_after;        /* bytes written after the member's record */
};

/* A member as most tests want it: stored (method 0) or Deflate (8). */
inline zip_member member(const std::string &name, const std::string &data, int method = 0) {
    zip_member m;
    m.name = name;
    m.data = data;
    m.method = method;
    return m;
}
/* A member written by a streaming archiver: its sizes only behind the data. */
inline zip_member streamed(const std::string &name, const std::string &data,
                           bool signed_form = true, int method = 8) {
    zip_member m = member(name, data, method);
    m.streamed = true;
    m.signed_descriptor = signed_form;
    return m;
}

/* The member with one field set otherwise, for a test's list of members. */
template <class T, class V> zip_member with(zip_member m, T zip_member::*field, V value) {
    m.*field = value;
    return m;
}

uint32_t crc32_of(const std::string &data);
/* A Deflate stream of one fixed-code block of literals. */
std::string deflate_fixed(const std::string &data);
/* Local records, then (unless bare) the central directory and end record. */
std::string zip_archive(const std::vector<zip_member> &members, bool bare = false);

/* The engine's filter list of these names, its nodes held in storage. */
filter_node *filter_list(std::vector<std::vector<char>> &storage,
                         const std::vector<const char *> &names);

/* Content that no two members share, of any length. */
std::string content(size_t length, unsigned seed);
/* Files in a fresh temporary directory, removed again by clear_dir. */
std::string make_temp_dir(void);
void clear_dir(const std::string &dir);
void write_file(const std::string &path, const std::string &data);
std::string read_file(const std::string &path);
bool file_exists(const std::string &path);

#endif
