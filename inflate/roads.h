/*
 * roads.h: what the block decoder's two roads share inside the decoder.
 *
 * The plain road (inflate.cpp) reads the engine's bytes through next_byte and
 * checks the window's end at every byte; the fast road (fast.cpp) runs while
 * the engine's buffer and the output ring have room to spare.  They hand the decoder's hot state to
 * each other in one holder, and read bits with the same masks and word loads.
 */
#ifndef TARVEX_INFLATE_ROADS_H
#define TARVEX_INFLATE_ROADS_H

#include "inflate/inflate.h"

#include <cstring>

/* The small steps of the fast road's loops are written as functions but
   must be compiled into the loops: called, or left to a compiler that
   weighs size first (the 32-bit build is made for size), they cost more
   than the work they do. */
#define ROAD_STEP inline __attribute__((always_inline))

/* clang-format off */
/* Entry n masks the low n bits of the bit buffer. */
inline constexpr uint16_t low_mask[17] = {
    0x0000, 0x0001, 0x0003, 0x0007, 0x000F, 0x001F, 0x003F, 0x007F, 0x00FF,
            0x01FF, 0x03FF, 0x07FF, 0x0FFF, 0x1FFF, 0x3FFF, 0x7FFF, 0xFFFF
};
/* clang-format on */

/* The next eight input bytes, the first in the low byte: one load where the
   processor stores the low byte first, as every target of this program does. */
inline uint64_t load64(const uint8_t *p) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    uint64_t v;
    memcpy(&v, p, 8);
    return v;
#else
    uint64_t v = 0;
    for (int i = 7; i >= 0; i--) v = v << 8 | p[i];
    return v;
#endif
}

/* The output ring (inflate.cpp).  A stream starts at its start, so that
   a position's offset in a window is its stream offset's, and whole chunks
   of OUTPUT_CAPACITY bytes lie whole in it; the WINDOW_SIZE bytes before
   the write position are the window.  The bytes after the write position
   are neither window nor output still to write, so a copy may run past a
   match's end into them. */
extern uint8_t output_ring[RING_SIZE];
extern bool ring_lapped; /* the stream went round the ring: its window lies in it */

/* Copies n bytes to ring position pos from distance bytes back, where that
   lies before the ring's start: in the ring's previous lap, or, in a
   stream's first window, in the window block. */
void copy_far(unsigned pos, unsigned n, unsigned distance);

/* Where the block decoder keeps its hot state while it runs. */
struct hot_state {
    uint64_t buffer;       /* the pending input bits, the next one in bit 0 */
    unsigned count;        /* how many bits are pending */
    unsigned pos;          /* the next write position in the output ring */
    const uint8_t *cursor; /* input_cursor */
    uint32_t left;         /* input_left */
    uint16_t byte;         /* the last byte taken, kept across streams */
};

enum {
    FAST_GO_ON = 0, /* a margin ran short: one symbol by the plain road */
    FAST_END = 1,   /* the end-of-block code */
    FAST_BAD = 2    /* an invalid code, or a length with no distance code */
};

/* The codes of a block as the fast road reads them. */
struct fast_codes {
    const decode_entry *literals;  /* the builder's literal/length tables */
    unsigned wl;                   /* their root width */
    const decode_entry *distances; /* its distance tables, or null */
    unsigned wd;                   /* their root width */
    bool packed;                   /* the fast road's packed tables hold them too */
};

/* Readies the fast road for a block at its start, left input bytes in the
   engine's buffer, after blocks_before blocks of its stream: packs its codes
   into the fast road's own tables where the block is likely long enough to
   repay it (a later block of a long stream, or a first one with plenty of
   input), not for the one short block of a small member. */
void prepare_fast(fast_codes *c, uint32_t left, unsigned blocks_before);

/* Decodes a block's symbols while the engine's buffer and the output ring
   both have room for the longest one; returns a FAST_ result, with the hot
   state stored back and the bits above the pending ones clear. */
int decode_fast(hot_state *hs, const fast_codes *c);

#endif
