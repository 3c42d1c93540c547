/*
 * inflate.h: the Deflate decoder's face towards the extraction engine.
 *
 * The decoder takes a member's compressed bytes from the engine, decodes them
 * into an output ring of its own, whose last 32768 bytes are the sliding
 * window, and hands whole chunks of the ring to the engine's writer; what
 * is left at a stream's end goes the same way, or through the engine's
 * output buffer after a failure.  The engine's window block keeps the window
 * of the run's earlier streams.  The first half of this header is what the
 * decoder offers; the second half is what the engine (unzip/) provides for
 * it, so that both sides are written against one list.
 */
#ifndef TARVEX_INFLATE_INFLATE_H
#define TARVEX_INFLATE_INFLATE_H

#include <cstdint>

/* ---- What the decoder offers --------------------------------------------- */

enum {
    INFLATE_OK = 0,        /* done, or a complete code set */
    INFLATE_BAD_DATA = 1,  /* an invalid or incomplete code, a bad stored length */
    INFLATE_BAD_INPUT = 2, /* block type 3, an over-subscribed code set */
    INFLATE_NO_MEMORY = 3  /* a table could not be allocated */
};

enum {
    OP_END_OF_BLOCK = 15, /* a simple symbol of 256 or more */
    OP_LITERAL = 16,      /* a simple symbol below 256 */
    OP_INVALID = 99       /* no symbol: a placeholder code */
};

enum {
    WINDOW_SIZE = 32768,     /* the sliding window */
    RING_SIZE = 7 * 32768,   /* the output ring: 7 windows, 8 output chunks */
    LITERAL_LOOKUP_BITS = 9, /* root width asked for dynamic literal/length codes */
    DISTANCE_LOOKUP_BITS = 6 /* root width asked for dynamic distance codes */
};

struct decode_entry {
    uint8_t op;   /* extra-bit count 0-13, OP_*, or 16 + index bits of a link */
    uint8_t bits; /* bits to drop when this entry is taken */
    union {
        uint16_t value;     /* the symbol, base length or base distance */
        decode_entry *link; /* a link's sub-table; a header's next table */
    };
};

/* Builds the lookup tables of a canonical code from its lengths (see the
   results above); the caller releases *root_out with free_decode_tables. */
int build_decode_tables(const unsigned *lengths, unsigned n, unsigned s, const uint16_t *base,
                        const uint16_t *extra, decode_entry **root_out, unsigned *width_inout);
int free_decode_tables(decode_entry *root);
/* The same build into the caller's storage of capacity entries (each table
   with its header), for a code built once and kept: never released. */
int build_decode_tables_in(decode_entry *store, unsigned capacity, const unsigned *lengths,
                           unsigned n, unsigned s, const uint16_t *base, const uint16_t *extra,
                           decode_entry **root_out, unsigned *width_inout);

/* Decodes the current member's whole stream; returns an INFLATE_ result. */
int inflate_stream(void);

/* Whole bytes that the last stream took from next_byte but did not use: the
   engine gives them back when a member's end is known only from its stream. */
unsigned inflate_unused_bytes(void);

/* Appends count bytes to the engine's output buffer, flushing it each time it
   fills: the engine's stored data, and what a failed stream leaves. */
void put_output(const uint8_t *bytes, uint32_t count);

/* Releases the tables of a block that the engine's abandon left behind (a
   jump out of next_byte or flush_output); the engine's clean-up calls it.
   Does nothing when no table is held. */
void inflate_release_tables(void);

/* ---- What the engine provides ---------------------------------------------- */

enum { OUTPUT_CAPACITY = 0x7000 }; /* bytes of the output buffer in use */

/* Stores the next byte of the member's data in *cell and returns 8, or
   returns 0 and leaves *cell alone once the data is used up.  May leave the
   decoder for good through the engine's abandon (cancel, read failure). */
int next_byte(uint16_t *cell);

/* The input buffer, for a decoder that takes several bytes at a time: bytes
   input_cursor[0 .. input_left - 1] are the next ones next_byte would give. */
extern const uint8_t *input_cursor;
extern uint32_t input_left;

/* Checks and writes count decoded bytes where they lie: a whole chunk of
   OUTPUT_CAPACITY bytes, or the last bytes of a stream that ended well, for
   which the engine's final flush then finds nothing.  May abandon on a
   write failure. */
void write_output(const uint8_t *bytes, uint32_t count);

/* The output buffer: bytes go to output_buffer + output_fill, in pieces
   that never pass OUTPUT_CAPACITY; when the fill reaches it, flush_output
   writes the buffer through write_output and empties it. */
extern uint8_t *output_buffer;
extern uint32_t output_fill;
void flush_output(void);

/* The window block (WINDOW_SIZE + 8 bytes), zero-filled once per run: each
   stream leaves its last bytes there at their offset modulo WINDOW_SIZE, so
   that a distance reaching before a stream's start reads the bytes of the
   run's earlier streams, or zeros. */
extern uint8_t *deflate_window;

#endif
