/*
 * inflate.cpp: the block decoder of a member's Deflate stream.
 *
 * Compressed bytes come from the engine only when bits are needed, so that a
 * stream never draws past its end by more than its last lookup asks for.
 * While the engine's buffer holds enough, the fast road (fast.cpp) takes them
 * eight at a time straight from it and writes literals and matches without
 * the window's end checks; the plain road here takes over near the end of the
 * buffer or of the output ring, with the same results.  Decoded bytes go into
 * the output ring, 7 windows long: whenever a window of 32768 bytes is full,
 * the whole chunks of output it completes are written straight from the ring,
 * and the rest once at the end of the stream, with no copy into the engine's
 * output buffer.  The Huffman tables of a dynamic block
 * are built when it starts and released when it ends (the fixed code's are
 * built once and kept); the roots are kept here as well, so that tables left
 * behind by the engine's abandon (a jump out of next_byte or flush_output)
 * are released by the next stream or by the engine's clean-up.
 */
#include "inflate/roads.h"

namespace {

enum {
    FILLER_LIMIT = 2,        /* made-up bytes a valid stream can draw past its end */
    MAX_LENGTHS = 286 + 30,  /* literal/length and distance lengths of a header */
    FIXED_LITERAL_BITS = 7,  /* root width asked for the fixed literal/length code */
    FIXED_DISTANCE_BITS = 5, /* root width asked for the fixed distance code */
    CODE_LENGTH_BITS = 7     /* root width asked for the code-length code */
};

/* clang-format off */
/* Length symbols 257-285, then 286 and 287, which RFC 1951 lists but never
   lets occur: their 99 rows make them decode to no symbol. */
const uint16_t length_base[31] = {
      3,   4,   5,   6,   7,   8,   9,  10,   /* 257-264 */
     11,  13,  15,  17,  19,  23,  27,  31,   /* 265-272 */
     35,  43,  51,  59,  67,  83,  99, 115,   /* 273-280 */
    131, 163, 195, 227, 258,   0,   0         /* 281-287 */
};
const uint16_t length_extra[31] = {
      0,   0,   0,   0,   0,   0,   0,   0,   /* 257-264 */
      1,   1,   1,   1,   2,   2,   2,   2,   /* 265-272 */
      3,   3,   3,   3,   4,   4,   4,   4,   /* 273-280 */
      5,   5,   5,   5,   0,  99,  99         /* 281-287 */
};

/* Distance symbols 0-29. */
const uint16_t distance_base[30] = {
        1,     2,     3,     4,     5,     7,     9,    13,   /*  0-7  */
       17,    25,    33,    49,    65,    97,   129,   193,   /*  8-15 */
      257,   385,   513,   769,  1025,  1537,  2049,  3073,   /* 16-23 */
     4097,  6145,  8193, 12289, 16385, 24577                 /* 24-29 */
};
const uint16_t distance_extra[30] = {
        0,     0,     0,     0,     1,     1,     2,     2,   /*  0-7  */
        3,     3,     4,     4,     5,     5,     6,     6,   /*  8-15 */
        7,     7,     8,     8,     9,     9,    10,    10,   /* 16-23 */
       11,    11,    12,    12,    13,    13                  /* 24-29 */
};

/* The order in which a dynamic header gives the code-length code's lengths. */
const uint8_t code_length_order[19] = {
    16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15
};

/* The runs of the code-length code's symbols 16, 17 and 18 (and above, which
   the code never gives in a valid header): bits of the count that follow the
   symbol, the count's base, and whether zeros repeat or the last length. */
struct repeat_rule {
    unsigned count_bits;   /* bits that follow the symbol */
    unsigned count_base;   /* added to their value */
    int repeats_zero;      /* 1: zeros, 0: the last length */
};
const repeat_rule repeat_rules[3] = {
    /* bits  base  zero */
    {  2,     3,    0 },   /* 16: the last length again */
    {  3,     3,    1 },   /* 17: a short run of zeros */
    {  7,    11,    1 },   /* 18: a long run of zeros */
};

uint64_t bit_buffer;            /* pending input bits, the next one in bit 0 */
unsigned bit_count;             /* valid bits in bit_buffer (at most 63) */
unsigned ring_pos;              /* next write position in the output ring */
unsigned written_to;            /* ring position of the first byte not yet written */
uint16_t input_byte;            /* the last byte fetched, kept across streams */
unsigned filler_bytes;          /* bytes made up after the member's data ran out */
unsigned unused_bytes;          /* whole bytes of input the last stream left */
decode_entry *code_length_root; /* code-length tables while a header is read */
decode_entry *literal_root;     /* literal/length tables of the current block */
decode_entry *distance_root;    /* its distance tables, none for an empty code */
unsigned stream_blocks;         /* blocks of the current stream decoded so far */
/* clang-format on */

/* Releases the tables held in *slot, if any. */
void release(decode_entry **slot) {
    free_decode_tables(*slot);
    *slot = nullptr;
}

/* Puts the next input byte above the pending bits.  Once the member's data is
   used up the last byte counts again, but only as often as the lookahead of
   a valid stream's last code needs: 0 when the stream asks for more. */
int fetch_byte(void) {
    if (input_left) {
        input_byte = *input_cursor++;
        input_left--;
    } else if (!next_byte(&input_byte) && ++filler_bytes > FILLER_LIMIT) {
        return 0;
    }
    bit_buffer |= (uint64_t)input_byte << bit_count;
    bit_count += 8;
    return 1;
}

/* Makes n bits (n <= 16) pending: 0 when the input has run out.  While the
   engine's buffer holds more than a word, whole bytes are taken up to 56 or
   more pending bits in one load, so that the headers of the many small
   blocks of small members are not read a byte per call; the bits above the
   pending ones stay clear, as the plain road expects. */
int need_bits(unsigned n) {
    if (bit_count < n && input_left >= 8) {
        unsigned take = (63 - bit_count) >> 3;
        bit_buffer |= load64(input_cursor) << bit_count;
        bit_count += take * 8;
        bit_buffer &= (uint64_t(1) << bit_count) - 1;
        input_cursor += take;
        input_left -= take;
        input_byte = input_cursor[-1];
        return 1;
    }
    while (bit_count < n) {
        if (!fetch_byte()) return 0;
    }
    return 1;
}

void drop_bits(unsigned n) {
    bit_buffer >>= n;
    bit_count -= n;
}

/* Takes the next n bits into *value: 0 when the input has run out. */
int take_bits(unsigned n, unsigned *value) {
    if (!need_bits(n)) return 0;
    *value = bit_buffer & low_mask[n];
    drop_bits(n);
    return 1;
}

/* Fetches a byte through next_byte once the engine's buffer is empty, with
   the engine's cursor and the holder brought up to date around the call; as
   fetch_byte, 0 when the stream asks for more than its lookahead. */
int draw_byte(hot_state *h) {
    input_cursor = h->cursor;
    input_left = 0;
    input_byte = h->byte;
    if (!next_byte(&input_byte) && ++filler_bytes > FILLER_LIMIT) return 0;
    h->byte = input_byte;
    h->cursor = input_cursor;
    h->left = input_left;
    h->buffer |= (uint64_t)h->byte << h->count;
    h->count += 8;
    return 1;
}

void store_back(const hot_state *h) {
    bit_buffer = h->buffer;
    bit_count = h->count;
    ring_pos = h->pos;
    input_cursor = h->cursor;
    input_left = h->left;
    input_byte = h->byte;
}

/* Makes n bits pending in the hot state: taken straight from the engine's
   buffer while it has bytes, which are the bytes next_byte would give. */
#define HOT_NEED(h, n, fail)                                                                       \
    while ((h).count < (n)) {                                                                      \
        if ((h).left) {                                                                            \
            (h).byte = *(h).cursor++;                                                              \
            (h).left--;                                                                            \
            (h).buffer |= (uint64_t)(h).byte << (h).count;                                         \
            (h).count += 8;                                                                        \
        } else if (!draw_byte(&(h))) {                                                             \
            goto fail;                                                                             \
        }                                                                                          \
    }

#define HOT_DROP(h, n)                                                                             \
    do {                                                                                           \
        (h).buffer >>= (n);                                                                        \
        (h).count -= (n);                                                                          \
    } while (0)

/* Looks the next code up in the tables of root, width bits wide, into e and
   drops its bits; an entry of no symbol goes to fail. */
#define HOT_DECODE(h, e, root, width, fail)                                                        \
    HOT_NEED(h, width, fail);                                                                      \
    e = (root) + ((h).buffer & low_mask[width]);                                                   \
    while (e->op > OP_LITERAL) {                                                                   \
        if (e->op == OP_INVALID) goto fail;                                                        \
        HOT_DROP(h, e->bits);                                                                      \
        unsigned link_bits = e->op - 16u;                                                          \
        HOT_NEED(h, link_bits, fail);                                                              \
        e = e->link + ((h).buffer & low_mask[link_bits]);                                          \
    }                                                                                              \
    HOT_DROP(h, e->bits)

/* Writes the whole chunks of output before ring position end straight from
   the ring. */
void write_chunks(unsigned end) {
    while (end - written_to >= OUTPUT_CAPACITY) {
        write_output(output_ring + written_to, OUTPUT_CAPACITY);
        written_to += OUTPUT_CAPACITY;
    }
}

/* Writes the whole chunks that the full windows before pos hold: the window
   goes out when it is full, and what is left of a chunk waits for the next
   window or the stream's end. */
void release_windows(unsigned pos) { write_chunks(pos & ~unsigned(WINDOW_SIZE - 1)); }

/* At a window's end: its chunks go out, and at the ring's end, whose 8
   chunks are then all written, the writing goes on from the ring's start. */
void end_window(hot_state *h) {
    store_back(h);
    release_windows(h->pos);
    if (h->pos == RING_SIZE) {
        h->pos = ring_pos = 0;
        written_to = 0;
        ring_lapped = true;
    }
}

/* Copies n bytes to ring position pos from distance back, as a byte-by-byte
   copy in increasing order would: where the source runs into the bytes
   being written, each stride of the distance repeats the one before it, so
   whole strides are moved at once. */
void copy_exact(unsigned pos, unsigned n, unsigned distance) {
    if (distance > pos) {
        copy_far(pos, n, distance);
        return;
    }
    uint8_t *to = output_ring + pos;
    if (distance == 1) {
        memset(to, to[-1], n);
        return;
    }
    for (unsigned done = 0; done < n; done += distance) {
        unsigned piece = n - done < distance ? n - done : distance;
        memcpy(to + done, to + done - distance, piece);
    }
}

/* Copies a match of length bytes from distance back, a window's end at a
   time, so that every full window goes out before the next symbol. */
void copy_match(hot_state *h, unsigned length, unsigned distance) {
    while (length > 0) {
        unsigned piece = WINDOW_SIZE - (h->pos & (WINDOW_SIZE - 1));
        if (piece > length) piece = length;
        copy_exact(h->pos, piece, distance);
        h->pos += piece;
        length -= piece;
        if ((h->pos & (WINDOW_SIZE - 1)) == 0) end_window(h);
    }
}

/* ---- The plain road -------------------------------------------------------- */

/* The codes of a block: the plain road's tables, and the literal/length
   tables the fast road reads, which may have a wider root for the same code
   (the plain road's root width fixes how far it reads ahead). */
struct block_codes {
    const decode_entry *literals;      /* literal/length tables, wl bits wide */
    unsigned wl;                       /* their root width */
    const decode_entry *distances;     /* distance tables, or null */
    unsigned wd;                       /* their root width */
    const decode_entry *fast_literals; /* the fast road's literal/length tables */
    unsigned fast_wl;                  /* their root width */
};

/* Decodes literal/length and distance codes until the end of the block:
   0 then, 1 on an invalid code or when the input has run out. */
int decode_symbols(const block_codes *c) {
    const decode_entry *literals = c->literals, *distances = c->distances;
    unsigned wl = c->wl, wd = c->wd;
    hot_state h = {bit_buffer, bit_count, ring_pos, input_cursor, input_left, input_byte};
    const decode_entry *e;
    fast_codes fast_road = {c->fast_literals, c->fast_wl, distances, wd, false};
    prepare_fast(&fast_road, input_left, stream_blocks);
    for (;;) {
        int fast = decode_fast(&h, &fast_road);
        if ((h.pos & ~unsigned(WINDOW_SIZE - 1)) - written_to >= OUTPUT_CAPACITY) {
            store_back(&h); /* the fast road filled windows */
            release_windows(h.pos);
        }
        if (fast == FAST_END) break;
        if (fast == FAST_BAD) goto bad;
        HOT_DECODE(h, e, literals, wl, bad);
        if (e->op == OP_LITERAL) {
            output_ring[h.pos++] = (uint8_t)e->value;
            if ((h.pos & (WINDOW_SIZE - 1)) == 0) end_window(&h);
            continue;
        }
        if (e->op == OP_END_OF_BLOCK) break;
        unsigned extra = e->op;
        HOT_NEED(h, extra, bad);
        unsigned length = e->value + (h.buffer & low_mask[extra]);
        HOT_DROP(h, extra);
        if (!distances) goto bad; /* a length with no distance code to go with it */
        HOT_DECODE(h, e, distances, wd, bad);
        extra = e->op;
        HOT_NEED(h, extra, bad);
        unsigned distance = e->value + (h.buffer & low_mask[extra]);
        HOT_DROP(h, extra);
        copy_match(&h, length, distance);
    }
    store_back(&h);
    return INFLATE_OK;
bad:
    store_back(&h);
    return INFLATE_BAD_DATA;
}

/* Runs the block's symbols through its two codes and releases them. */
int decode_with_tables(unsigned wl, unsigned wd) {
    const block_codes codes = {literal_root, wl, distance_root, wd, literal_root, wl};
    int result = decode_symbols(&codes);
    release(&distance_root);
    release(&literal_root);
    return result;
}

/* Moves up to length stored bytes into the ring, up to the window's end,
   and returns how many: straight from the engine's buffer when no bits are
   pending, else one byte through the bit buffer (0 when the input has run
   out). */
unsigned store_bytes(unsigned length) {
    uint8_t *to = output_ring + ring_pos;
    uint32_t piece = WINDOW_SIZE - (ring_pos & (WINDOW_SIZE - 1));
    if (piece > length) piece = length;
    if (bit_count == 0 && input_left > 0) {
        if (piece > input_left) piece = input_left;
        memcpy(to, input_cursor, piece);
        input_cursor += piece;
        input_left -= piece;
        input_byte = to[piece - 1];
        return piece;
    }
    if (!need_bits(8)) return 0;
    *to = (uint8_t)bit_buffer;
    drop_bits(8);
    return 1;
}

/* Block type 0: LEN bytes as they stand, after the next byte boundary. */
int decode_stored_block(void) {
    unsigned length;
    drop_bits(bit_count % 8);
    if (!take_bits(16, &length) || !need_bits(16)) return INFLATE_BAD_DATA;
    if ((bit_buffer & low_mask[16]) != (~length & 0xFFFF)) return INFLATE_BAD_DATA;
    drop_bits(16);
    while (length > 0) {
        unsigned moved = store_bytes(length);
        if (moved == 0) return INFLATE_BAD_DATA;
        length -= moved;
        ring_pos += moved;
        if ((ring_pos & (WINDOW_SIZE - 1)) == 0) {
            hot_state h = {bit_buffer, bit_count, ring_pos, input_cursor, input_left, input_byte};
            end_window(&h);
        }
    }
    return INFLATE_OK;
}

/* The fixed code's tables, built on the first fixed block and kept for the
   rest of the run: the code never changes, and building it anew for every
   fixed block cost a small member more than decoding it.  They live here,
   not on the heap, so that no block is held between streams and a fixed
   block needs no memory.  The fast road reads the literal/length code
   through a 9-bit root of its own, where every code is one lookup: through
   the 7-bit root every literal took a sub-table. */
enum {
    FIXED_LITERAL_ENTRIES = 497, /* 105 tables of the 7-bit root, headers included */
    FIXED_FAST_ENTRIES = 513,    /* the 9-bit root and its header */
    FIXED_DISTANCE_ENTRIES = 33, /* one table of 32 entries and its header */
    FIXED_FAST_BITS = 9          /* the fast road's root: the longest code */
};
struct fixed_code {
    decode_entry literal_store[FIXED_LITERAL_ENTRIES];   /* the literal/length tables */
    decode_entry fast_store[FIXED_FAST_ENTRIES];         /* the fast road's */
    decode_entry distance_store[FIXED_DISTANCE_ENTRIES]; /* the distance table */
    block_codes codes;                                   /* the tables in the stores */
    int result;                                          /* the builds' result */
    bool built;                                          /* false until the first use */
};
fixed_code fixed;

/* Builds one of the fixed literal/length code's tables into store. */
int build_fixed_literals(decode_entry *store, unsigned capacity, const decode_entry **root,
                         unsigned *width) {
    unsigned lengths[288];
    unsigned i = 0;
    for (; i < 144; i++) lengths[i] = 8;
    for (; i < 256; i++) lengths[i] = 9;
    for (; i < 280; i++) lengths[i] = 7;
    for (; i < 288; i++) lengths[i] = 8;
    decode_entry *built_root = nullptr;
    int result = build_decode_tables_in(store, capacity, lengths, 288, 257, length_base,
                                        length_extra, &built_root, width);
    *root = built_root;
    return result;
}

/* Builds the fixed code's tables once; its distance code, 30 of 32 codes,
   is the incomplete set that the builder answers with INFLATE_BAD_DATA. */
const fixed_code *fixed_tables(void) {
    if (fixed.built) return &fixed;
    block_codes &c = fixed.codes;
    c.wl = FIXED_LITERAL_BITS;
    c.fast_wl = FIXED_FAST_BITS;
    c.wd = FIXED_DISTANCE_BITS;
    fixed.result =
        build_fixed_literals(fixed.literal_store, FIXED_LITERAL_ENTRIES, &c.literals, &c.wl);
    int fast =
        build_fixed_literals(fixed.fast_store, FIXED_FAST_ENTRIES, &c.fast_literals, &c.fast_wl);
    unsigned lengths[30];
    for (unsigned i = 0; i < 30; i++) lengths[i] = 5;
    decode_entry *distances = nullptr;
    int result = build_decode_tables_in(fixed.distance_store, FIXED_DISTANCE_ENTRIES, lengths, 30,
                                        0, distance_base, distance_extra, &distances, &c.wd);
    c.distances = distances;
    if (fixed.result == INFLATE_OK) fixed.result = fast;
    if (fixed.result == INFLATE_OK && result >= INFLATE_BAD_INPUT) fixed.result = result;
    fixed.built = true;
    return &fixed;
}

/* Block type 1: the codes of RFC 1951. */
int decode_fixed_block(void) {
    const fixed_code *f = fixed_tables();
    if (f->result != INFLATE_OK) return f->result;
    return decode_symbols(&f->codes);
}

/* Builds the code-length code of a dynamic header from its nb lengths. */
int read_code_length_code(unsigned nb, unsigned *width) {
    unsigned lengths[19] = {0};
    for (unsigned i = 0; i < nb; i++) {
        if (!take_bits(3, &lengths[code_length_order[i]])) return INFLATE_BAD_DATA;
    }
    *width = CODE_LENGTH_BITS;
    int result = build_decode_tables(lengths, 19, 19, nullptr, nullptr, &code_length_root, width);
    if (result == INFLATE_BAD_DATA) release(&code_length_root);
    if (result == INFLATE_OK && !code_length_root) result = INFLATE_BAD_DATA;
    return result;
}

/* Stores a run of the code-length code's symbol 16, 17 or 18 at *i. */
int read_repeat(unsigned symbol, unsigned *lengths, unsigned *i, unsigned total, unsigned *last) {
    const repeat_rule *rule = &repeat_rules[symbol > 18 ? 2 : symbol - 16];
    unsigned count;
    if (!take_bits(rule->count_bits, &count)) return INFLATE_BAD_DATA;
    count += rule->count_base;
    if (*i + count > total) return INFLATE_BAD_DATA;
    if (rule->repeats_zero) *last = 0;
    while (count-- > 0) lengths[(*i)++] = *last;
    return INFLATE_OK;
}

/* Reads the total literal/length and distance lengths through the
   code-length code, whose root alone holds every code. */
int read_lengths(unsigned *lengths, unsigned total, unsigned width) {
    unsigned i = 0, last = 0;
    while (i < total) {
        if (!need_bits(width)) return INFLATE_BAD_DATA;
        const decode_entry *e = code_length_root + (bit_buffer & low_mask[width]);
        drop_bits(e->bits);
        if (e->value < 16) {
            lengths[i++] = last = e->value;
        } else if (read_repeat(e->value, lengths, &i, total, &last) != INFLATE_OK) {
            return INFLATE_BAD_DATA;
        }
    }
    return INFLATE_OK;
}

/* Builds the block's literal/length and distance codes from its lengths. */
int build_dynamic_codes(const unsigned *lengths, unsigned nl, unsigned nd, unsigned *wl,
                        unsigned *wd) {
    *wl = LITERAL_LOOKUP_BITS;
    int result =
        build_decode_tables(lengths, nl, 257, length_base, length_extra, &literal_root, wl);
    if (result == INFLATE_OK && !literal_root) result = INFLATE_BAD_DATA;
    if (result != INFLATE_OK) {
        if (result == INFLATE_BAD_DATA) release(&literal_root);
        return result;
    }
    *wd = DISTANCE_LOOKUP_BITS;
    result =
        build_decode_tables(lengths + nl, nd, 0, distance_base, distance_extra, &distance_root, wd);
    if (result != INFLATE_OK) {
        if (result == INFLATE_BAD_DATA) release(&distance_root);
        release(&literal_root);
    }
    return result;
}

/* Block type 2: the codes come in the block's header. */
int decode_dynamic_block(void) {
    unsigned nl, nd, nb, width;
    if (!take_bits(5, &nl) || !take_bits(5, &nd) || !take_bits(4, &nb)) return INFLATE_BAD_DATA;
    nl += 257;
    nd += 1;
    nb += 4;
    if (nl > 286 || nd > 30) return INFLATE_BAD_DATA;
    int result = read_code_length_code(nb, &width);
    if (result != INFLATE_OK) return result;
    unsigned lengths[MAX_LENGTHS];
    result = read_lengths(lengths, nl + nd, width);
    release(&code_length_root);
    if (result != INFLATE_OK) return result;
    unsigned wl, wd;
    result = build_dynamic_codes(lengths, nl, nd, &wl, &wd);
    if (result != INFLATE_OK) return result;
    return decode_with_tables(wl, wd);
}

/* Reads one block header and decodes the block; *last gets its last-block
   flag. */
int decode_block(int *last) {
    unsigned flag, type;
    if (!take_bits(1, &flag) || !take_bits(2, &type)) return INFLATE_BAD_DATA;
    *last = (int)flag;
    switch (type) {
    case 0:
        return decode_stored_block();
    case 1:
        return decode_fixed_block();
    case 2:
        return decode_dynamic_block();
    default:
        return INFLATE_BAD_INPUT;
    }
}

/* The end of a stream's output.  A stream that ended well writes all it
   decoded: its whole chunks, then its last bytes, as the engine's final
   flush would have.  A failed one drops the bytes since its last full
   window and leaves the rest of a chunk before them in the engine's output
   buffer, for the engine to flush or not. */
void write_rest(bool good) {
    unsigned end = good ? ring_pos : ring_pos & ~unsigned(WINDOW_SIZE - 1);
    write_chunks(end);
    if (end > written_to && good) write_output(output_ring + written_to, end - written_to);
    if (end > written_to && !good) put_output(output_ring + written_to, end - written_to);
    written_to = end;
}

/* Keeps the stream's last window in the window block, each byte at its
   offset in a window, for the run's next streams; in pieces up to a
   window's end, which the ring's end is too. */
void keep_window(void) {
    unsigned left = ring_lapped || ring_pos >= WINDOW_SIZE ? unsigned(WINDOW_SIZE) : ring_pos;
    unsigned from = (ring_pos + RING_SIZE - left) % RING_SIZE;
    while (left > 0) {
        unsigned at = from & (WINDOW_SIZE - 1);
        unsigned piece = WINDOW_SIZE - at < left ? WINDOW_SIZE - at : left;
        memcpy(deflate_window + at, output_ring + from, piece);
        from = (from + piece) % RING_SIZE;
        left -= piece;
    }
}

/* Whole bytes pending at the end of a stream that really came from the
   engine: made-up bytes sit above them and are not given back. */
unsigned count_unused_bytes(void) {
    unsigned whole = bit_count / 8;
    return whole > filler_bytes ? whole - filler_bytes : 0;
}

} /* namespace */

uint8_t output_ring[RING_SIZE];
bool ring_lapped;

void copy_far(unsigned pos, unsigned n, unsigned distance) {
    unsigned behind = distance - pos; /* bytes before the ring's start */
    const uint8_t *from =
        ring_lapped ? output_ring + RING_SIZE - behind : deflate_window + WINDOW_SIZE - behind;
    unsigned first = behind < n ? behind : n;
    memcpy(output_ring + pos, from, first);
    if (n > first) copy_exact(pos + first, n - first, distance); /* from the ring's start on */
}

void put_output(const uint8_t *bytes, uint32_t count) {
    while (count > 0) {
        uint32_t piece = OUTPUT_CAPACITY - output_fill;
        if (piece > count) piece = count;
        memcpy(output_buffer + output_fill, bytes, piece);
        output_fill += piece;
        bytes += piece;
        count -= piece;
        if (output_fill == OUTPUT_CAPACITY) flush_output();
    }
}

int inflate_stream(void) {
    inflate_release_tables();
    ring_pos = 0;
    written_to = 0;
    ring_lapped = false;
    bit_count = 0;
    bit_buffer = 0;
    filler_bytes = 0;
    unused_bytes = 0;
    stream_blocks = 0;
    int last = 0;
    do {
        int result = decode_block(&last);
        stream_blocks++;
        if (result != INFLATE_OK) {
            inflate_release_tables();
            write_rest(false);
            keep_window();
            unused_bytes = count_unused_bytes();
            return result;
        }
    } while (!last);
    write_rest(true);
    keep_window();
    unused_bytes = count_unused_bytes();
    return INFLATE_OK;
}

unsigned inflate_unused_bytes(void) { return unused_bytes; }

void inflate_release_tables(void) {
    release(&code_length_root);
    release(&distance_root);
    release(&literal_root);
}
