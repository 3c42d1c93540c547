/*
 * walk.cpp: the record walk.  The archive is read front to back from the
 * request's start offset, one record at a time, each recognised only by the
 * signature in front of it; the central directory is stepped over, never
 * used to find members, and the first end record ends the walk.  Where the
 * bytes are no known signature, the walk searches forward for the next one,
 * so that archives with junk between members (or self-extractors that start
 * with a program) still extract.
 *
 * Here each member is also selected, filtered and given its output path.  A
 * stored name that does not fit the member name buffer, an output path that
 * does not fit, a kept path that would leave the destination directory, and a
 * file name that Windows would open as a device or as another file's are
 * refused before anything is created for the member.
 *
 * A local header whose sizes are 0xFFFFFFFF keeps the real ones in a ZIP64
 * extra field, which the engine does not read: without them the member's
 * end cannot be found, so the run stops there, saying why, whether or not
 * the member was to be extracted.
 */
#include "unzip/engine.h"

#include "common/messages.h"

#include <cstring>

namespace {

const uint32_t SIG_LOCAL = 0x04034B50;   /* local file header */
const uint32_t SIG_CENTRAL = 0x02014B50; /* central directory file header */
const uint32_t SIG_END = 0x06054B50;     /* end of central directory record */
const uint32_t ZIP64_MARK = 0xFFFFFFFF;  /* a size that is in the ZIP64 extra field */
const char ENCRYPTED_TEXT[] = "Internal error 96";
const char CUT_MARK[] = "...";

enum {
    LOCAL_FIXED = 26,   /* local header after its signature */
    CENTRAL_FIXED = 42, /* central directory header after its signature */
    END_FIXED = 18,     /* end record after its signature */
    DESCRIPTOR_SKIP = 16,
    DESCRIPTOR_BACK = 17
};

int is_separator(char c) { return c == '/' || c == '\\'; }
int is_signature(uint32_t v) { return v == SIG_LOCAL || v == SIG_CENTRAL || v == SIG_END; }

/* Whether a run of the read name was kept whole in the member name buffer. */
int name_fits;
char name_last; /* the stored name's last character, kept or not */

/* Reads a stored name of length bytes into the member name buffer.  What does
   not fit is read through the input buffer (free between members) so that
   short reads are still seen; only the name's last character is kept. */
void read_name(uint32_t length) {
    uint32_t kept = length < MEMBER_NAME_SIZE ? length : uint32_t(MEMBER_NAME_SIZE - 1);
    read_archive(engine.member_name, kept);
    engine.member_name[kept] = 0;
    name_fits = kept == length;
    name_last = kept ? engine.member_name[kept - 1] : 0;
    for (uint32_t rest = length - kept; rest > 0;) {
        uint32_t piece = rest < IO_CHUNK ? rest : uint32_t(IO_CHUNK);
        read_archive(engine.input_buffer, piece);
        name_last = char(engine.input_buffer[piece - 1]);
        rest -= piece;
    }
}

/* Resynchronisation: looks for the next signature one byte at a time,
   starting where a skipped data descriptor would have begun.  1 found. */
int resynchronise(void) {
    plat_file f = engine.archive;
    if (engine.last_had_descriptor && plat_llseek(f, -DESCRIPTOR_BACK, FILE_CURRENT) < 0) return 0;
    for (;;) {
        uint8_t bytes[4];
        if (plat_llseek(f, -3, FILE_CURRENT) < 0) return 0;
        if (plat_lread(f, bytes, 4) != 4) return 0;
        if (is_signature(get32(bytes))) return plat_llseek(f, -4, FILE_CURRENT) >= 0;
    }
}

/* A stored member with flag bit 3 and sizes of 0 is empty, not streamed,
   when the descriptor right behind its header says so: signed, or unsigned
   and followed by the next record's signature.  Such a member then goes the
   way of every empty one. */
int descriptor_says_empty(void) {
    uint8_t d[DESCRIPTOR_LONG];
    if (peek_descriptor(d) < DESCRIPTOR_LONG) return 0;
    if (get32(d) == SIG_DESCRIPTOR)
        return get32(d + 4) == 0 && get32(d + 8) == 0 && get32(d + 12) == 0;
    return get32(d) == 0 && get32(d + 4) == 0 && get32(d + 8) == 0 && is_signature(get32(d + 12));
}

void read_local_header(void) {
    uint8_t fixed[LOCAL_FIXED];
    read_archive(fixed, LOCAL_FIXED);
    local_header &h = engine.header;
    h.flags = get16(fixed + 2);
    h.method = get16(fixed + 4);
    h.dos_time = get16(fixed + 6);
    h.dos_date = get16(fixed + 8);
    h.crc = get32(fixed + 10);
    h.compressed_size = get32(fixed + 14);
    h.uncompressed_size = get32(fixed + 18);
    h.name_length = get16(fixed + 22);
    h.extra_length = get16(fixed + 24);
    engine.last_had_descriptor = (h.flags & FLAG_DESCRIPTOR) != 0;
    /* A streaming writer leaves the sizes at 0 and puts them behind the
       data: such a member ends only where its stream ends. */
    engine.streamed = engine.last_had_descriptor && h.compressed_size == 0;
}

/* The member filter: '\' becomes '/' in the stored name, which is then
   compared with each node without regard to case. */
int passes_filter(void) {
    const filter_node *node = engine.request->filter_list;
    if (!node) return 1;
    for (; node; node = node->next) {
        for (char *p = engine.member_name; *p; p++)
            if (*p == '\\') *p = '/';
        if (plat_compare_nocase(node->name, engine.member_name) == 0) return 1;
    }
    return 0;
}

/* Shows "Can't create output file" with a path given in parts, as it would
   have been composed (a name that did not fit is shown cut, with a mark),
   and abandons. */
[[noreturn]] void refuse_path(const char *dir, const char *sep, const char *name, int cut) {
    char shown[ENGINE_MESSAGE_SIZE];
    plat_format(shown, sizeof shown, "%s%s%s%s", dir, sep, name, cut ? CUT_MARK : "");
    for (char *p = shown; *p; p++)
        if (*p == '/') *p = '\\';
    fail(MSG_CANT_CREATE_OUTPUT, shown);
}

/* Whether a path component would climb out of its directory: "..", and any
   name of dots and blanks alone with two dots or more, which the file system
   may read as "..". */
int climbs(const char *start, const char *end) {
    int dots = 0;
    for (const char *p = start; p < end; p++) {
        if (*p == '.')
            dots++;
        else if (*p != ' ')
            return 0;
    }
    return dots >= 2;
}

/* Whether a relative path stays below the directory it is appended to: no
   root, no drive prefix (no ':' at all) and no component that climbs. */
int stays_inside(const char *relative) {
    if (is_separator(relative[0]) || strchr(relative, ':')) return 0;
    const char *start = relative;
    for (const char *p = relative;; p++) {
        if (*p && !is_separator(*p)) continue;
        if (climbs(start, p)) return 0;
        if (!*p) return 1;
        start = p + 1;
    }
}

/* Names Windows opens as a device in any directory, whatever their case and
   whatever follows a dot: the stem alone, or with one digit 1-9 behind it. */
const struct {
    char stem[4]; /* upper case */
    int numbered; /* a digit 1-9 follows */
} DEVICES[] = {
    {"CON", 0}, {"PRN", 0}, {"AUX", 0}, {"NUL", 0}, {"COM", 1}, {"LPT", 1},
};

/* Whether creating this file name would give something other than a new
   file of that name: a device, or (a trailing dot or blank being dropped)
   the file of another name. */
int not_a_file_name(const char *name) {
    size_t length = strlen(name);
    if (length && (name[length - 1] == '.' || name[length - 1] == ' ')) return 1;
    size_t stem = strcspn(name, ".");
    while (stem && name[stem - 1] == ' ') stem--;
    for (const auto &d : DEVICES) {
        if (stem != 3u + d.numbered) continue;
        int same = 1;
        for (int i = 0; i < 3; i++) same &= (name[i] & 0xDF) == d.stem[i];
        if (same && (!d.numbered || (name[3] >= '1' && name[3] <= '9'))) return 1;
    }
    return 0;
}

/* The output path: dest_dir with a separator, then the stored name less one
   leading separator (keep_paths) or its base name.  It replaces the stored
   name in the member name buffer, with '\' as the only separator. */
void compose_output_path(void) {
    const char *dir = engine.request->dest_dir;
    const char *name = engine.member_name;
    if (engine.request->keep_paths)
        name += is_separator(name[0]) ? 1 : 0;
    else
        name = base_name(name);
    size_t dir_length = strlen(dir);
    const char *sep = dir_length && !is_separator(dir[dir_length - 1]) ? "\\" : "";
    /* A base name has no separator after its first character, but a ':' would
       still name a drive or a stream rather than a file in the directory. */
    int leaves = engine.request->keep_paths ? !stays_inside(name) : strchr(name, ':') != nullptr;
    if (leaves || not_a_file_name(base_name(name))) refuse_path(dir, sep, name, 0);
    if (dir_length + strlen(sep) + strlen(name) >= MEMBER_NAME_SIZE) refuse_path(dir, sep, name, 0);
    char work[OUTPUT_PATH_SIZE];
    plat_format(work, sizeof work, "%s%s%s", dir, sep, name);
    memcpy(engine.member_name, work, strlen(work) + 1);
    for (char *p = engine.member_name; *p; p++)
        if (*p == '/') *p = '\\';
}

/* Step 4 of a local header: 1 when the member is to be extracted. */
int selected(void) {
    if (name_last == '/' || name_last == '\\') return 0;
    if (engine.header.uncompressed_size == 0 && !engine.streamed && engine.request->skip_empty)
        return 0;
    if (!name_fits) refuse_path(engine.member_name, "", "", 1);
    if (engine.test_mode) return 1;
    if (!passes_filter()) return 0;
    compose_output_path();
    return 1;
}

/* A member whose sizes are in a ZIP64 extra field, named by its stored name
   before anything is created for it. */
void refuse_zip64(void) {
    const local_header &h = engine.header;
    if (h.compressed_size == ZIP64_MARK || h.uncompressed_size == ZIP64_MARK)
        fail(MSG_ZIP64, engine.request->archive_path, engine.member_name);
}

void process_local_header(void) {
    read_local_header();
    read_name(engine.header.name_length);
    skip_archive(engine.header.extra_length);
    refuse_zip64();
    if (engine.streamed && engine.header.method == METHOD_STORED && descriptor_says_empty())
        engine.streamed = 0;
    /* A streamed member that is read through ends with its descriptor read. */
    int end_found = 0;
    if (selected()) {
        if (engine.header.flags & FLAG_ENCRYPTED) fail_text(ENCRYPTED_TEXT);
        extract_member();
        end_found = engine.streamed;
    } else if (needs_reading_to_skip()) {
        end_found = pass_over_streamed();
    } else {
        skip_archive(engine.header.compressed_size);
    }
    if (engine.last_had_descriptor && !end_found) skip_archive(DESCRIPTOR_SKIP);
}

void process_central_header(void) {
    uint8_t fixed[CENTRAL_FIXED];
    read_archive(fixed, CENTRAL_FIXED);
    read_name(get16(fixed + 24));
    skip_archive(uint32_t(get16(fixed + 26)) + get16(fixed + 28));
}

void process_end_record(void) {
    uint8_t fixed[END_FIXED];
    read_archive(fixed, END_FIXED);
    skip_archive(get16(fixed + 16));
}

} /* namespace */

const char *base_name(const char *path) {
    size_t length = strlen(path);
    for (size_t i = length; i-- > 1;)
        if (is_separator(path[i])) return path + i + 1;
    return path;
}

void walk_archive(void) {
    for (;;) {
        uint8_t bytes[4];
        read_archive(bytes, 4);
        uint32_t signature = get32(bytes);
        if (signature == SIG_LOCAL)
            process_local_header();
        else if (signature == SIG_CENTRAL)
            process_central_header();
        else if (signature == SIG_END)
            return process_end_record();
        else if (!resynchronise())
            fail(MSG_BAD_HEADER);
    }
}
