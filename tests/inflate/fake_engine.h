/*
 * fake_engine.h: a stand-in for the extraction engine, so that the decoder is
 * tested and fuzzed alone: it serves a byte array in chunks of its own (a read
 * past one is caught), collects the output, and can abandon the decoder by a
 * jump out of write_output as the engine does.
 */
#ifndef TARVEX_TESTS_INFLATE_FAKE_ENGINE_H
#define TARVEX_TESTS_INFLATE_FAKE_ENGINE_H

#include "inflate/inflate.h"

#include <csetjmp>
#include <cstddef>
#include <cstdint>
#include <vector>

/* Starts an extraction run: a zero-filled window kept for all its streams. */
void fake_start_run(void);
void fake_end_run(void);

/* Gives the next stream's compressed data, served chunk bytes at a time
   (0: all at once), and empties the output. */
void fake_set_input(const std::vector<uint8_t> &data, size_t chunk = 0);

/* After inflate_stream: collects the partly filled buffer the decoder left
   and counts the bytes it took; returns result. */
int fake_finish(int result);

/* fake_set_input, inflate_stream and fake_finish, with the output in *out. */
int fake_inflate(const std::vector<uint8_t> &data, std::vector<uint8_t> *out, size_t chunk = 0);

struct fake_record {
    std::vector<uint8_t> output; /* every byte handed over, in order */
    int flushes;                 /* write_output calls, flush_output's too */
    int bad_flushes;             /* writes not whole chunks, but a stream's last */
    bool short_write;            /* the last write was less than a chunk */
    int empty_draws;             /* next_byte calls that found the data used up */
    size_t consumed;             /* bytes of the data taken by the decoder */
    size_t used;                 /* of those, the ones it did not give back */
};
extern fake_record fake;

/* Abandons the decoder with longjmp(*target, 1) from the nth write_output
   call of the stream, as the engine does on a failed write. */
void fake_abandon_at_flush(std::jmp_buf *target, int nth);

#endif
