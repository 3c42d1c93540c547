/*
 * fast.cpp: the block decoder's fast road.
 *
 * Most of a stream lies well inside both the engine's input buffer and the
 * window, where the plain road's checks never fire: there a symbol is
 * decoded from a bit buffer topped up eight bytes at a time, and a match is
 * copied in words without the window's end in the way.  Whenever either
 * margin runs short, one symbol goes by the plain road (inflate.cpp), which
 * draws through next_byte and hands a full window over, and the fast road
 * resumes.
 */
#include "inflate/roads.h"

namespace {

enum {
    FAST_INPUT = 8, /* input bytes a top-up reads */
    FAST_ROOM = 258 /* window bytes the longest match writes */
};

void copy8(uint8_t *to, const uint8_t *from) {
    uint64_t v;
    memcpy(&v, from, 8);
    memcpy(to, &v, 8);
}

void copy4(uint8_t *to, const uint8_t *from) {
    uint32_t v;
    memcpy(&v, from, 4);
    memcpy(to, &v, 4);
}

/* Copies a match of at least 8 bytes from a source at least 8 bytes back
   (or, in the previous lap, ahead) in words, the last one overlapping the
   one before it rather than writing past the match: the bytes after it are
   history that a later match may still read.  Each word's source was
   complete before it is read. */
inline void copy_words(uint8_t *to, const uint8_t *from, unsigned length) {
    copy8(to, from);
    if (length > 16) { /* most matches are shorter: two words, no loop */
        for (unsigned i = 8; i + 8 < length; i += 8) copy8(to + i, from + i);
    }
    copy8(to + length - 8, from + length - 8);
}

/* Copies a match of at most 16 bytes from 8 or more bytes back, the
   commonest kind, without a branch on its length: two words are copied and
   the 16 bytes after the match, history that a later match may still read,
   are put back as they were. */
inline void copy_short(uint8_t *to, unsigned length, unsigned distance) {
    uint64_t after[2];
    memcpy(after, to + length, 16);
    copy8(to, to - distance);
    copy8(to + 8, to + 8 - distance);
    memcpy(to + length, after, 16);
}

/* Copies a match whose source lies wholly before to in the window, as a
   byte-by-byte copy in increasing order would: words when the source is at
   least a word behind (the last word may overlap the one before it), else a
   pattern that doubles with each move. */
void copy_near(uint8_t *to, unsigned length, unsigned distance) {
    const uint8_t *from = to - distance;
    if (distance >= 8 && length >= 8) {
        copy_words(to, from, length);
    } else if (distance >= 8 && length >= 4) {
        copy4(to, from);
        copy4(to + length - 4, from + length - 4);
    } else if (distance == 1) {
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

/* Copies a match whose source lies wholly in the window's previous lap, at
   least a word ahead of to, without a call: the commonest kind of match
   near a lap's start.  Every source word is read before a write reaches it. */
inline void copy_ahead(uint8_t *to, const uint8_t *from, unsigned length) {
    if (length >= 8) {
        copy_words(to, from, length);
    } else if (length >= 4) {
        copy4(to, from);
        copy4(to + length - 4, from + length - 4);
    } else {
        for (unsigned i = 0; i < length; i++) to[i] = from[i];
    }
}

/* Copies a match whose source starts in the window's previous lap, behind
   its end: that part runs ahead of the bytes written, and what goes on from
   the window's start is a near copy at the same distance. */
void copy_wrapped(uint8_t *window, unsigned pos, unsigned length, unsigned distance) {
    unsigned from = pos + WINDOW_SIZE - distance;
    unsigned first = WINDOW_SIZE - from < length ? WINDOW_SIZE - from : length;
    memmove(window + pos, window + from, first);
    if (length > first) copy_near(window + pos + first, length - first, distance);
}

/* Looks a code up with at least its length of bits pending; an entry of no
   symbol gives null. */
inline const decode_entry *fast_lookup(uint64_t *buffer, unsigned *count, const decode_entry *root,
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

} /* namespace */

int decode_fast(hot_state *hs, const decode_entry *literals, unsigned wl,
                const decode_entry *distances, unsigned wd) {
    uint64_t buffer = hs->buffer;
    unsigned count = hs->count, pos = hs->pos;
    const uint8_t *cursor = hs->cursor, *start = hs->cursor;
    if (hs->left < FAST_INPUT) return FAST_GO_ON;
    const uint8_t *last_load = start + (hs->left - FAST_INPUT); /* where a word still fits */
    uint8_t *window = deflate_window;
    const uint64_t literal_mask = low_mask[wl];
    int exit = FAST_GO_ON;
    while (cursor <= last_load && pos < WINDOW_SIZE - FAST_ROOM) {
        /* Whole bytes up to 56 or more pending bits: room for a length, a
           distance and their extra bits, 48 bits at most.  Taking them adds
           8 * ((63 - count) / 8) to count, which for a count below 64 is
           the same as setting its bits 3 to 5: one step instead of three. */
        buffer |= load64(cursor) << count;
        cursor += (63 - count) >> 3;
        count |= 56;
        /* Literals of the root table come in runs: they go on while the
           pending bits hold a whole root index, fewer than 48 a top-up,
           well inside the window's margin. */
        const decode_entry *e = literals + (buffer & literal_mask);
        if (e->op == OP_LITERAL) {
            do {
                buffer >>= e->bits;
                count -= e->bits;
                window[pos++] = (uint8_t)e->value;
                e = literals + (buffer & literal_mask);
            } while (e->op == OP_LITERAL && count >= 16);
            continue;
        }
        e = fast_lookup(&buffer, &count, literals, wl);
        if (!e) {
            exit = FAST_BAD;
            break;
        }
        if (e->op == OP_LITERAL) {
            window[pos++] = (uint8_t)e->value;
            continue;
        }
        if (e->op == OP_END_OF_BLOCK) {
            exit = FAST_END;
            break;
        }
        unsigned length = e->value + unsigned(buffer & low_mask[e->op]);
        buffer >>= e->op;
        count -= e->op;
        if (!distances || !(e = fast_lookup(&buffer, &count, distances, wd))) {
            exit = FAST_BAD;
            break;
        }
        unsigned distance = e->value + unsigned(buffer & low_mask[e->op]);
        buffer >>= e->op;
        count -= e->op;
        uint8_t *to = window + pos;
        if (distance >= 8 && distance <= pos && length <= 16)
            copy_short(to, length, distance);
        else if (distance <= pos && distance >= 8 && length >= 8)
            copy_words(to, to - distance, length);
        else if (distance <= pos)
            copy_near(to, length, distance);
        else if (pos + length <= distance && distance <= WINDOW_SIZE - 8)
            copy_ahead(to, to + WINDOW_SIZE - distance, length);
        else
            copy_wrapped(window, pos, length, distance);
        pos += length;
    }
    hs->buffer = buffer & ((uint64_t(1) << count) - 1);
    hs->count = count;
    hs->pos = pos;
    hs->cursor = cursor;
    hs->left -= uint32_t(cursor - start);
    if (cursor != start) hs->byte = cursor[-1];
    return exit;
}
