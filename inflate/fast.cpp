/*
 * fast.cpp: the block decoder's fast road.
 *
 * Most of a stream lies well inside both the engine's input buffer and the
 * output ring, where the plain road's checks never fire: there a symbol is
 * decoded from a bit buffer topped up eight bytes at a time, and a match is
 * copied in words without the ring's end in the way.  Whenever either
 * margin runs short, one symbol goes by the plain road (inflate.cpp), which
 * draws through next_byte and turns at the ring's end, and the fast road
 * resumes; the windows it fills go out when it returns.  A long block is
 * read through packed tables of the fast road's own (see below); the one
 * short block of a small member, which would not repay their packing,
 * through the table builder's.
 */
#include "inflate/roads.h"

namespace {

/* The road's bit buffer is the processor's word: on a 32-bit processor a
   64-bit buffer costs two shifts and a branch for every shift by a code's
   length, and the loop's state no longer fits its registers.  A 32-bit
   buffer topped up holds 24 bits, enough for a length code and its extra
   bits, or for a distance code of the packed table and its extra bits; a
   longer distance code tops it up again before its extra bits. */
typedef size_t bits_t;

enum {
    WORD_BITS = 8 * sizeof(bits_t), /* bits of the road's bit buffer */
    WIDE = WORD_BITS >= 64,         /* one top-up serves a whole match */
    FAST_INPUT = WIDE ? 8 : 16,     /* input bytes a symbol's top-ups may read */
    FAST_ROOM = 264 + WORD_BITS,    /* ring bytes of a run of literals and a match's words */
    FAST_PLAIN = 3                  /* a code of no symbol, left to the plain road */
};

/* The next word of input, the first byte in the low byte. */
ROAD_STEP bits_t load_word(const uint8_t *p) {
    if (WIDE) return bits_t(load64(p));
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    uint32_t v;
    memcpy(&v, p, 4);
    return v;
#else
    return bits_t(p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24);
#endif
}

/* Takes whole bytes up to WORD_BITS - 8 or more pending bits, without a
   branch: taking them adds 8 * ((WORD_BITS - 1 - count) / 8) to count,
   which for a count below WORD_BITS is the same as setting the bits of
   WORD_BITS - 8.  The bits loaded above the pending ones are the next
   input's, loaded again alike by the next top-up. */
ROAD_STEP void top_up(bits_t *buffer, unsigned *count, const uint8_t **cursor) {
    *buffer |= load_word(*cursor) << *count;
    *cursor += (WORD_BITS - 1 - *count) >> 3;
    *count |= WORD_BITS - 8;
}

/* Tops the buffer up again inside a symbol where it is too narrow to hold
   the whole match at once; nothing on a 64-bit processor. */
ROAD_STEP void top_up_narrow(bits_t *buffer, unsigned *count, const uint8_t **cursor) {
    if (!WIDE) top_up(buffer, count, cursor);
}

void copy8(uint8_t *to, const uint8_t *from) {
    uint64_t v;
    memcpy(&v, from, 8);
    memcpy(to, &v, 8);
}

/* Copies a match from fewer than 8 bytes back, as a byte-by-byte copy in
   increasing order would: a distance of 1 repeats one byte, a shorter match
   than its distance is copied whole, and else a pattern doubles with each
   move. */
void copy_near(uint8_t *to, unsigned length, unsigned distance) {
    const uint8_t *from = to - distance;
    if (distance == 1) {
        memset(to, *from, length);
    } else if (distance >= length) {
        for (unsigned i = 0; i < length; i++) to[i] = from[i];
    } else {
        for (unsigned done = 0; done < length;) {
            unsigned n = distance + done < length - done ? distance + done : length - done;
            memcpy(to + done, from, n);
            done += n;
        }
    }
}

/* Looks a code up with at least its length of bits pending; an entry of no
   symbol gives null. */
ROAD_STEP const decode_entry *fast_lookup(bits_t *buffer, unsigned *count, const decode_entry *root,
                                          unsigned width) {
    const decode_entry *e = root + (*buffer & low_mask[width]);
    while (e->op > OP_LITERAL) {
        if (e->op == OP_INVALID) return nullptr;
        *buffer >>= e->bits;
        *count -= e->bits;
        e = e->link + (*buffer & low_mask[e->op - 16u]);
    }
    *buffer >>= e->bits;
    *count -= e->bits;
    return e;
}

/* Looks a literal/length code up as fast_lookup does, but an entry of no
   symbol gives null with no bit taken, for the plain road to refuse: the
   fixed code's plain tables have a narrower root than the fast road's, and
   a refused stream counts the bits it used alike on both roads. */
ROAD_STEP const decode_entry *lookup_symbol(bits_t *buffer, unsigned *count,
                                            const decode_entry *root, unsigned width) {
    bits_t held = *buffer;
    unsigned held_count = *count;
    const decode_entry *e = fast_lookup(buffer, count, root, width);
    if (!e) {
        *buffer = held;
        *count = held_count;
    }
    return e;
}

/* Copies a match inside the fast road's margins.  From at least a word
   back, in whole words that may run past the match's end into the ring's
   bytes after it, which hold nothing still needed (see output_ring): four
   words first, all that most matches need, without a branch on the length
   (with two, the loop's end was mispredicted at a third of the matches).
   Each word's source was complete before it is read.  From nearer, exactly;
   from before the ring's start, by copy_far. */
ROAD_STEP void put_match(uint8_t *ring, unsigned pos, unsigned length, unsigned distance) {
    uint8_t *to = ring + pos;
    if (distance >= 8 && distance <= pos) {
        const uint8_t *from = to - distance;
        copy8(to, from);
        copy8(to + 8, from + 8);
        copy8(to + 16, from + 16);
        copy8(to + 24, from + 24);
        for (unsigned i = 32; i < length; i += 8) copy8(to + i, from + i);
    } else if (distance <= pos) {
        copy_near(to, length, distance);
    } else {
        copy_far(pos, length, distance);
    }
}

/* Stores the road's locals back into the hot state, with the bits above
   the pending ones cleared for the plain road. */
void store_fast(hot_state *hs, bits_t buffer, unsigned count, unsigned pos, const uint8_t *cursor) {
    hs->buffer = uint64_t(buffer) & ((uint64_t(1) << count) - 1);
    hs->count = count;
    hs->pos = pos;
    hs->left -= uint32_t(cursor - hs->cursor);
    if (cursor != hs->cursor) hs->byte = cursor[-1];
    hs->cursor = cursor;
}

/* ---- Packed tables ---------------------------------------------------------
   Where a block is long enough to repay it, the fast road reads its codes
   through tables of its own, packed from the builder's tables once the
   builder has accepted the code, so that what the builder accepts or
   refuses stays its own decision.  One 32-bit entry per index of
   PACKED_LITERAL_BITS bits gives a literal, or a length's base with its
   extra-bit count, ready in one lookup, for every code of up to that many
   bits (the builder's root is narrower); the distance table likewise a
   distance's.  Entries of two literals were tried and dropped: in real
   archives two literal codes seldom fit in the index together, and the
   pairing cost more than it saved.  Whatever an entry cannot say (the end of the
   block, a code longer than the index, a placeholder) it leaves to the
   builder's tables, which decide as the plain road does. */

/* An entry: the code's bits in bits 0-4, the kind in bits 6-7, the
   extra-bit count in bits 8-15, and the base (or the literal) in bits
   16-31: whole bytes where a field is read in the loop, one move each. */
enum : uint32_t {
    PACK_OTHER = 0,       /* the builder's tables decide */
    PACK_MATCH = 0x40,    /* a length or distance base and its extra bits */
    PACK_LITERAL = 0x80,  /* a literal */
    PACK_CODE_BITS = 0x1F /* the mask of the code's bits */
};

enum {
    PACKED_LITERAL_BITS = 11, /* index width of the literal/length table */
    PACKED_DISTANCE_BITS = 8, /* index width of the distance table */
    /* pending bits that let a match after a run of literals go on without
       a top-up: its length, and on a wide buffer its distance as well */
    RUN_MATCH_BITS = WIDE ? 16 + 28 : 16,
    LINKED_RUN_MATCH_BITS = WIDE ? 20 + 28 : 20, /* the same through the builder's tables */
    PACK_WORTH = 8192 /* input bytes at a first block's start that repay a packing */
};

struct packed_tables {
    uint32_t literals[1 << PACKED_LITERAL_BITS];   /* the literal/length code */
    uint32_t distances[1 << PACKED_DISTANCE_BITS]; /* the distance code */
};
packed_tables packed;

/* The packed form of a builder's entry reached after dropped bits; a
   link's is PACK_OTHER. */
uint32_t pack_entry(const decode_entry *e, unsigned dropped) {
    uint32_t bits = dropped + e->bits;
    if (e->op == OP_LITERAL) return PACK_LITERAL | bits | uint32_t(e->value) << 16;
    if (e->op < OP_END_OF_BLOCK)
        return PACK_MATCH | uint32_t(e->op) << 8 | bits | uint32_t(e->value) << 16;
    return PACK_OTHER;
}

/* Packs the codes under the link at root index j: each index that ends in
   j reaches one entry of the linked table, packed if the whole code fits. */
void pack_link(uint32_t *out, unsigned width, const decode_entry *link, unsigned j, unsigned wl) {
    for (unsigned k = j; k < (1u << width); k += 1u << wl) {
        const decode_entry *e = link->link + ((k >> link->bits) & low_mask[link->op - 16u]);
        out[k] = link->bits + e->bits <= width ? pack_entry(e, link->bits) : PACK_OTHER;
    }
}

/* Packs a builder's tables of root width wl (at most width) into out, of
   width bits: the root's entries, links left to the builder's tables, then
   copies of them at every index that ends in their own (one block move a
   lap), then the codes under each link. */
void pack_table(uint32_t *out, unsigned width, const decode_entry *root, unsigned wl) {
    unsigned lap = 1u << wl;
    for (unsigned j = 0; j < lap; j++) out[j] = pack_entry(root + j, 0);
    for (unsigned k = lap; k < (1u << width); k += lap) memcpy(out + k, out, lap * sizeof *out);
    for (unsigned j = 0; j < lap; j++) {
        if (root[j].op > OP_LITERAL && root[j].op != OP_INVALID)
            pack_link(out, width, root + j, j, wl);
    }
}

/* A base plus the extra bits after its code, both dropped. */
ROAD_STEP unsigned take_packed(bits_t *buffer, unsigned *count, uint32_t e) {
    unsigned code = e & PACK_CODE_BITS, extra = (e >> 8) & 0xFF;
    unsigned value = (e >> 16) + unsigned((*buffer >> code) & low_mask[extra]);
    *buffer >>= code + extra;
    *count -= code + extra;
    return value;
}

/* A base plus the extra bits after a builder's entry, which fast_lookup
   has already dropped. */
ROAD_STEP unsigned take_extra(bits_t *buffer, unsigned *count, const decode_entry *e) {
    unsigned value = e->value + unsigned(*buffer & low_mask[e->op]);
    *buffer >>= e->op;
    *count -= e->op;
    return value;
}

/* Decodes symbols through the builder's tables alone: the road of a block
   too short to repay a packing, say the one block of a small member. */
int decode_linked(hot_state *hs, const fast_codes *c) {
    const decode_entry *literals = c->literals, *distances = c->distances;
    unsigned wl = c->wl, wd = c->wd;
    bits_t buffer = bits_t(hs->buffer);
    unsigned count = hs->count, pos = hs->pos;
    const uint8_t *cursor = hs->cursor;
    const uint8_t *last_load = cursor + (hs->left - FAST_INPUT); /* where a symbol still fits */
    uint8_t *ring = output_ring;
    const bits_t literal_mask = low_mask[wl];
    int exit = FAST_GO_ON;
    while (cursor <= last_load && pos < RING_SIZE - FAST_ROOM) {
        /* 56 pending bits hold a length, a distance and their extra bits
           (48 bits at most); 24 hold a length code and its extra bits. */
        top_up(&buffer, &count, &cursor);
        /* Literals of the root table come in runs: they go on while the
           pending bits hold a whole root index, fewer than 48 a top-up,
           well inside the ring's margin. */
        const decode_entry *e = literals + (buffer & literal_mask);
        if (e->op == OP_LITERAL) {
            do {
                buffer >>= e->bits;
                count -= e->bits;
                ring[pos++] = (uint8_t)e->value;
                e = literals + (buffer & literal_mask);
            } while (e->op == OP_LITERAL && count >= 16);
            /* A length of the root after the run goes on here, as in
               decode_packed. */
            if (e->op >= OP_END_OF_BLOCK || count < LINKED_RUN_MATCH_BITS) continue;
            buffer >>= e->bits;
            count -= e->bits;
        } else {
            e = lookup_symbol(&buffer, &count, literals, wl);
            if (!e) break; /* the plain road refuses it */
            if (e->op == OP_LITERAL) {
                ring[pos++] = (uint8_t)e->value;
                continue;
            }
            if (e->op == OP_END_OF_BLOCK) {
                exit = FAST_END;
                break;
            }
        }
        unsigned length = take_extra(&buffer, &count, e);
        top_up_narrow(&buffer, &count, &cursor);
        if (!distances || !(e = fast_lookup(&buffer, &count, distances, wd))) {
            exit = FAST_BAD;
            break;
        }
        top_up_narrow(&buffer, &count, &cursor);
        unsigned distance = take_extra(&buffer, &count, e);
        put_match(ring, pos, length, distance);
        pos += length;
    }
    store_fast(hs, buffer, count, pos, cursor);
    return exit;
}

/* Decodes a length or a literal by the builder's tables where the packed
   entry left it to them: FAST_GO_ON with *length set for a length, or with
   a literal written and *length 0, else FAST_END or FAST_PLAIN. */
ROAD_STEP int take_unpacked(bits_t *buffer, unsigned *count, const fast_codes *c, uint8_t *to,
                            unsigned *length) {
    const decode_entry *e = lookup_symbol(buffer, count, c->literals, c->wl);
    *length = 0;
    if (!e) return FAST_PLAIN;
    if (e->op == OP_END_OF_BLOCK) return FAST_END;
    if (e->op == OP_LITERAL)
        *to = (uint8_t)e->value;
    else
        *length = take_extra(buffer, count, e);
    return FAST_GO_ON;
}

/* Decodes a distance, through the packed table where it can: 0 for an
   invalid code or a block with no distance code (whose packed table sends
   every code here). */
ROAD_STEP unsigned take_distance(bits_t *buffer, unsigned *count, const uint8_t **cursor,
                                 const fast_codes *c) {
    uint32_t p = packed.distances[*buffer & low_mask[PACKED_DISTANCE_BITS]];
    if (p & PACK_MATCH) return take_packed(buffer, count, p);
    if (!c->distances) return 0;
    const decode_entry *e = fast_lookup(buffer, count, c->distances, c->wd);
    if (!e) return 0;
    top_up_narrow(buffer, count, cursor);
    return take_extra(buffer, count, e);
}

/* Decodes symbols through the packed tables, as decode_linked does through
   the builder's. */
int decode_packed(hot_state *hs, const fast_codes *c) {
    bits_t buffer = bits_t(hs->buffer);
    unsigned count = hs->count, pos = hs->pos;
    const uint8_t *cursor = hs->cursor;
    const uint8_t *last_load = cursor + (hs->left - FAST_INPUT); /* where a symbol still fits */
    uint8_t *ring = output_ring;
    const uint32_t *literals = packed.literals;
    const bits_t literal_mask = low_mask[PACKED_LITERAL_BITS];
    int exit = FAST_GO_ON;
    while (cursor <= last_load && pos < RING_SIZE - FAST_ROOM) {
        top_up(&buffer, &count, &cursor); /* as in decode_linked */
        uint32_t e = literals[buffer & literal_mask];
        if (e & PACK_LITERAL) {
            do {
                ring[pos++] = uint8_t(e >> 16);
                buffer >>= e & PACK_CODE_BITS;
                count -= e & PACK_CODE_BITS;
                e = literals[buffer & literal_mask];
            } while ((e & PACK_LITERAL) && count >= PACKED_LITERAL_BITS);
            /* A match after the run goes on here while its length fits the
               pending bits: most matches follow literals, and going round
               the loop for them cost a top-up and a lookup again.  The run
               may have written a literal for every pending bit: FAST_ROOM
               leaves room for them. */
            if (!(e & PACK_MATCH) || count < RUN_MATCH_BITS) continue;
        }
        unsigned length;
        if (e & PACK_MATCH) {
            length = take_packed(&buffer, &count, e);
        } else {
            exit = take_unpacked(&buffer, &count, c, ring + pos, &length);
            if (exit != FAST_GO_ON) break;
            if (length == 0) {
                pos++;
                continue;
            }
        }
        top_up_narrow(&buffer, &count, &cursor);
        unsigned distance = take_distance(&buffer, &count, &cursor, c);
        if (distance == 0) {
            exit = FAST_BAD;
            break;
        }
        put_match(ring, pos, length, distance);
        pos += length;
    }
    store_fast(hs, buffer, count, pos, cursor);
    return exit == FAST_PLAIN ? FAST_GO_ON : exit;
}

} /* namespace */

void prepare_fast(fast_codes *c, uint32_t left, unsigned blocks_before) {
    c->packed = (left >= PACK_WORTH || blocks_before > 0) && c->wl <= PACKED_LITERAL_BITS &&
                c->wd <= PACKED_DISTANCE_BITS;
    if (!c->packed) return;
    pack_table(packed.literals, PACKED_LITERAL_BITS, c->literals, c->wl);
    if (c->distances)
        pack_table(packed.distances, PACKED_DISTANCE_BITS, c->distances, c->wd);
    else
        memset(packed.distances, PACK_OTHER, sizeof packed.distances);
}

int decode_fast(hot_state *hs, const fast_codes *c) {
    /* A block's header may leave more bits pending than a narrow buffer
       holds: the plain road takes symbols until they fit. */
    if (hs->left < FAST_INPUT || hs->count >= WORD_BITS) return FAST_GO_ON;
    return c->packed ? decode_packed(hs, c) : decode_linked(hs, c);
}
