/*
 * member.cpp: the extraction of one member: the output file, the input
 * buffer that next_byte draws from, the writer of the decoder's chunks and
 * of the output buffer that flush_output empties, the Deflate decoder in
 * between, the file time, the
 * CRC-32 comparison, and the progress reports to the owner window, through
 * which the user's cancel reaches the engine.
 *
 * A member written by a streaming archiver (flag bit 3 and a compressed size
 * of 0 in its local header) carries its CRC-32 and sizes only in the data
 * descriptor behind its data.  Its data is therefore read until its Deflate
 * stream ends by itself; the bytes read past that end are given back to the
 * archive, and the descriptor is read and checked.  Stored data has no end
 * of its own: it ends at the first signed descriptor whose CRC-32 and both
 * sizes are those of the bytes before it, and anything else is data.
 */
#include "unzip/engine.h"

#include "common/messages.h"
#include "inflate/inflate.h"
#include "progress/progress.h"
#include "unzip/crc32.h"

#include <cstring>

namespace {

enum {
    DESCRIPTOR_SHORT = 12,                /* a descriptor without its mark */
    DESCRIPTOR_HELD = DESCRIPTOR_LONG - 1 /* last bytes read that may begin a descriptor */
};

/* A streamed stored member's data on its way through the input buffer. */
struct stored_scan {
    uint32_t before;  /* data bytes that came before the input buffer's first */
    uint32_t fill;    /* bytes in the input buffer */
    uint32_t checked; /* bytes of the buffer already folded into crc */
    uint32_t crc;     /* CRC register over the data up to checked */
};

void start_member(void) {
    input_cursor = engine.input_buffer;
    input_left = 0;
    output_fill = 0;
    engine.crc = 0xFFFFFFFF;
    engine.member_taken = 0;
    engine.member_out = 0;
}

/* Reads the next chunk of member data.  A streamed member's data has no
   known length, so a chunk may come short there, and an empty one means the
   archive has ended. */
void refill(void) {
    uint32_t want = IO_CHUNK;
    if (!engine.streamed && engine.header.compressed_size < want)
        want = engine.header.compressed_size;
    if (want == 0) return;
    uint32_t got = plat_lread(engine.archive, engine.input_buffer, want);
    if (engine.streamed ? got == uint32_t(HFILE_ERROR) : got != want) report_read_failure();
    report_progress(0, got);
    if (engine.streamed)
        engine.member_taken += got;
    else
        engine.header.compressed_size -= got;
    input_cursor = engine.input_buffer;
    input_left = got;
}

/* The output file under the member's path, with the file name proper turned
   from the archive's OEM characters into the ANSI ones of the file system. */
void create_output(void) {
    memcpy(engine.converted, engine.member_name, strlen(engine.member_name) + 1);
    char *name = strrchr(engine.converted, '\\');
    plat_oem_to_ansi(name ? name + 1 : engine.converted);
    engine.output = plat_lcreat(engine.converted, 0);
    if (engine.output == HFILE_ERROR) fail(MSG_CANT_CREATE_OUTPUT, engine.member_name);
}

/* Reads on behind the bytes held in the input buffer; 0 when the archive
   has ended. */
uint32_t read_on(stored_scan &s) {
    uint8_t *room = engine.input_buffer + s.fill;
    uint32_t got = plat_lread(engine.archive, room, IO_CHUNK - s.fill);
    if (got == uint32_t(HFILE_ERROR)) report_read_failure();
    report_progress(0, got);
    engine.member_taken += got;
    s.fill += got;
    return got;
}

/* Whether the 16 bytes at pos of the input buffer are a signed descriptor
   that closes the data before them: both sizes count that data and the
   CRC-32 is its own.  The CRC is folded up to pos only for such a candidate;
   the candidates come in order, so every byte is folded once. */
int closes_data(stored_scan &s, uint32_t pos) {
    const uint8_t *d = engine.input_buffer + pos;
    uint32_t size = s.before + pos;
    if (get32(d) != SIG_DESCRIPTOR || get32(d + 8) != size || get32(d + 12) != size) return 0;
    s.crc = crc_update(s.crc, engine.input_buffer + s.checked, pos - s.checked);
    s.checked = pos;
    return ~s.crc == get32(d + 4);
}

/* Passes on the bytes that can no longer begin a descriptor, and moves the
   rest, the last 15 read, to the front of the input buffer. */
void pass_on(stored_scan &s) {
    uint32_t done = s.fill - DESCRIPTOR_HELD;
    s.crc = crc_update(s.crc, engine.input_buffer + s.checked, done - s.checked);
    put_output(engine.input_buffer, done);
    memmove(engine.input_buffer, engine.input_buffer + done, DESCRIPTOR_HELD);
    s.before += done;
    s.fill = DESCRIPTOR_HELD;
    s.checked = 0;
}

/* A streamed stored member: its data is passed on up to its descriptor,
   which is left in the input buffer with whatever followed it, for
   finish_stream to give back and read.  No more than one buffer of the
   member is ever held.  0 when the archive ended first. */
int copy_to_descriptor(void) {
    stored_scan s = {0, 0, 0, 0xFFFFFFFF};
    while (read_on(s)) {
        for (uint32_t pos = 0; pos + DESCRIPTOR_LONG <= s.fill; pos++) {
            if (!closes_data(s, pos)) continue;
            put_output(engine.input_buffer, pos);
            input_left = s.fill - pos;
            return 1;
        }
        if (s.fill > DESCRIPTOR_HELD) pass_on(s);
    }
    return 0;
}

/* Stored data moves in runs rather than a byte at a time: after each byte
   that next_byte gives, whatever else the input buffer holds goes along, up
   to the room left in the output buffer.  Reads, writes and reports come at
   the same points as byte by byte: the buffer is flushed when it fills, and
   refilled only by next_byte when it is empty. */
void copy_stored(void) {
    uint16_t cell;
    while (next_byte(&cell)) {
        output_buffer[output_fill++] = uint8_t(cell);
        uint32_t run = IO_CHUNK - output_fill;
        if (run > input_left) run = input_left;
        memcpy(output_buffer + output_fill, input_cursor, run);
        input_cursor += run;
        input_left -= run;
        output_fill += run;
        if (output_fill == IO_CHUNK) flush_output();
    }
}

/* A stored member's data, whichever way its end is known.  A streamed one
   that the archive ends before its descriptor has no end: it is damaged. */
int copy_member(void) {
    if (!engine.streamed) {
        copy_stored();
        return INFLATE_OK;
    }
    return copy_to_descriptor() ? INFLATE_OK : INFLATE_BAD_DATA;
}

/* The member's time is local time in DOS form; an invalid one is not set,
   and the file keeps the time it was written. */
void set_member_time(void) {
    plat_filetime local, universal;
    if (!plat_dos_to_file_time(engine.header.dos_date, engine.header.dos_time, &local)) return;
    plat_local_to_file_time(&local, &universal);
    plat_set_file_time(engine.output, nullptr, nullptr, &universal);
}

/* After the last write: the time, then the close; from here an abandon no
   longer deletes the file. */
void finish_output(void) {
    if (engine.output == HFILE_ERROR) return;
    set_member_time();
    plat_lclose(engine.output);
    engine.output = HFILE_ERROR;
}

/* Puts the bytes read past the end of the member's data back into the
   archive: those still in the input buffer and, after a Deflate stream,
   those the decoder held unused. */
void give_back(void) {
    uint32_t back = input_left;
    if (engine.header.method == METHOD_DEFLATED) back += inflate_unused_bytes();
    if (back > engine.member_taken) back = engine.member_taken;
    if (back) plat_llseek(engine.archive, -int32_t(back), FILE_CURRENT);
    engine.member_taken -= back;
    engine.bytes_read -= back;
    if (engine.last_report > engine.bytes_read) engine.last_report = engine.bytes_read;
    input_left = 0;
}

int descriptor_matches(const uint8_t *sizes) {
    return get32(sizes) == engine.member_taken && get32(sizes + 4) == engine.member_out;
}

/* Reads the descriptor behind a streamed member, with or without its
   signature: the reading whose sizes are those just decoded wins.  Its
   CRC-32 becomes the member's stored one. */
void read_descriptor(void) {
    uint8_t d[DESCRIPTOR_LONG];
    uint32_t got = plat_lread(engine.archive, d, DESCRIPTOR_LONG);
    if (got == uint32_t(HFILE_ERROR)) got = 0;
    int signed_form = got == DESCRIPTOR_LONG && get32(d) == SIG_DESCRIPTOR;
    if (signed_form && descriptor_matches(d + 8)) {
        engine.header.crc = get32(d + 4);
    } else if (got >= DESCRIPTOR_SHORT && descriptor_matches(d + 4)) {
        engine.header.crc = get32(d);
        plat_llseek(engine.archive, -int32_t(got - DESCRIPTOR_SHORT), FILE_CURRENT);
    } else if (got < DESCRIPTOR_SHORT || (got < DESCRIPTOR_LONG && get32(d) == SIG_DESCRIPTOR)) {
        report_read_failure();
    } else {
        fail(MSG_BAD_HEADER);
    }
}

/* Some writers set flag bit 3 with the real sizes in the local header but
   leave its CRC-32 at 0, putting the CRC only in the descriptor.  When the
   descriptor behind the data repeats the header's sizes, its CRC-32 is the
   member's; otherwise the header's 0 stands. */
void take_descriptor_crc(uint32_t packed) {
    uint8_t d[DESCRIPTOR_LONG];
    uint32_t size = engine.header.uncompressed_size;
    uint32_t got = peek_descriptor(d);
    if (got == DESCRIPTOR_LONG && get32(d) == SIG_DESCRIPTOR && get32(d + 8) == packed &&
        get32(d + 12) == size)
        engine.header.crc = get32(d + 4);
    else if (got >= DESCRIPTOR_SHORT && get32(d + 4) == packed && get32(d + 8) == size)
        engine.header.crc = get32(d);
}

/* A streamed member's end: only a stream that ended well has one. */
void finish_stream(int status) {
    if (status != INFLATE_OK) fail(MSG_BAD_HEADER);
    give_back();
    read_descriptor();
}

/* Runs the decoder over the member.  A stream that could not be decoded for
   want of memory says nothing about the archive: the member cannot be had,
   so the run fails with that message and the part written is deleted,
   rather than a cut file passing as a damaged or a sound one. */
int decode_member(void) {
    int status = inflate_stream();
    if (status == INFLATE_NO_MEMORY) fail(MSG_NO_MEMORY);
    return status;
}

/* A stream that did not decode to its end is damaged even when the bytes it
   gave match the stored CRC-32, as an empty output matches the 0 that a
   header written by a streaming archiver holds. */
void check_crc(int status) {
    uint32_t crc = ~engine.crc;
    if ((crc != engine.header.crc || status != INFLATE_OK) && engine.request->crc_check == 1)
        fail(MSG_BAD_CRC, engine.member_name, crc, engine.header.crc);
}

} /* namespace */

uint32_t peek_descriptor(uint8_t *d) {
    uint32_t got = plat_lread(engine.archive, d, DESCRIPTOR_LONG);
    if (got == uint32_t(HFILE_ERROR)) return 0;
    if (got) plat_llseek(engine.archive, -int32_t(got), FILE_CURRENT);
    return got;
}

int next_byte(uint16_t *cell) {
    if (input_left == 0) refill();
    if (input_left == 0) return 0;
    *cell = *input_cursor++;
    input_left--;
    return 8;
}

void write_output(const uint8_t *bytes, uint32_t count) {
    engine.crc = crc_update(engine.crc, bytes, count);
    engine.member_out += count;
    if (engine.output != HFILE_ERROR && plat_lwrite(engine.output, bytes, count) != count)
        fail(MSG_DISK_FULL, engine.member_name);
}

void flush_output(void) {
    write_output(output_buffer, output_fill);
    output_fill = 0;
}

void report_progress(int force, uint32_t count) {
    engine.bytes_read += count;
    if (!force && engine.bytes_read - engine.last_report < REPORT_STEP) return;
    plat_window owner = engine.request->owner_window;
    plat_wparam units = (engine.bytes_read / REPORT_STEP) & 0xFFFF;
    if (plat_send_message(owner, PRG_ADVANCE, units, 0) != 0) abandon(EXTRACT_CANCELLED);
    plat_drain_messages(1);
    if (cancel_flag) abandon(EXTRACT_CANCELLED);
    engine.last_report = engine.bytes_read;
}

void show_member(void) {
    char shown[SHOW_NAME_SIZE];
    const char *name = base_name(engine.member_name);
    size_t length = strlen(name);
    if (length >= sizeof shown) length = sizeof shown - 1;
    memcpy(shown, name, length);
    shown[length] = 0;
    plat_send_message(engine.request->owner_window, PRG_SHOWFILE, 0, plat_lparam(shown));
    report_progress(1, 0);
}

void extract_member(void) {
    start_member();
    const local_header &h = engine.header;
    uint32_t packed = h.compressed_size; /* counted down as the data is read */
    if (!engine.test_mode) create_output();
    int status = INFLATE_OK;
    if (h.method == METHOD_STORED) {
        show_member();
        status = copy_member();
    } else if (h.method == METHOD_DEFLATED) {
        show_member();
        status = decode_member();
    } else {
        fail(MSG_UNKNOWN_METHOD);
    }
    if (output_fill) flush_output();
    if (engine.streamed)
        finish_stream(status);
    else if ((h.flags & FLAG_DESCRIPTOR) && h.crc == 0)
        take_descriptor_crc(packed);
    finish_output();
    check_crc(status);
}

int needs_reading_to_skip(void) {
    const local_header &h = engine.header;
    int known = h.method == METHOD_DEFLATED || h.method == METHOD_STORED;
    return engine.streamed && known && !(h.flags & FLAG_ENCRYPTED);
}

/* A stored member passed over whose descriptor never came is not refused:
   the archive goes back to where its data began, so that the walk searches
   on from there for the next record, as for any member of unknown end. */
int pass_over_streamed(void) {
    start_member();
    int stored = engine.header.method == METHOD_STORED;
    int status = stored ? copy_member() : decode_member();
    if (output_fill) flush_output();
    if (stored && status != INFLATE_OK) {
        input_left = engine.member_taken;
        give_back();
        return 0;
    }
    finish_stream(status);
    return 1;
}
