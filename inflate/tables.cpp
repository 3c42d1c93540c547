/*
 * tables.cpp: the lookup tables through which the decoder reads Huffman codes.
 *
 * The bit buffer fills from its least significant bit while a Deflate code is
 * packed from its most significant bit, so a table is indexed by the next
 * bits of the buffer, that is by the code with its bits reversed.  One read
 * decodes any code up to the root width; longer codes go on in sub-tables
 * that are kept as small as the codes under them allow.  Every table of one
 * build is one heap block with a header entry in front that links the next
 * table of the build, so the caller holds only the root and releases the
 * whole chain through it.  Tables live for one block; nothing is kept here
 * between builds.  A code that never changes may instead be built once into
 * storage its caller keeps (build_decode_tables_in), by the same steps and
 * with the same results.
 */
#include "inflate/inflate.h"

#include "platform/platform.h"

#include <cstring>

namespace {

enum {
    MAX_SYMBOLS = 288,  /* the fixed literal/length alphabet */
    MAX_CODE_BITS = 16, /* longest code length a build accepts */
    MAX_LEVELS = 16     /* table levels one code can pass through */
};

struct table_build {                   /* working storage of one build */
    unsigned count[MAX_CODE_BITS + 1]; /* codes per length; placeholders in the longest */
    uint16_t symbols[MAX_SYMBOLS];     /* the used symbols in canonical order */
    unsigned used;                     /* how many symbols have a length */
    unsigned kmin;                     /* shortest code length */
    unsigned kmax;                     /* longest code length */
    int root_bits;                     /* bits every level consumes */
    int free_codes;                    /* code space filled with placeholders */
    unsigned simple;                   /* symbols below this decode to themselves */
    const uint16_t *base;              /* values of the other symbols */
    const uint16_t *extra;             /* their extra-bit counts */
    decode_entry *first;               /* first table allocated: the root */
    decode_entry *last;                /* table allocated most recently */
    decode_entry *store;               /* the caller's storage, or null: the heap */
    unsigned store_left;               /* entries still free in it */
    decode_entry *table[MAX_LEVELS];   /* the open table of each level */
    unsigned table_size[MAX_LEVELS];   /* its number of entries */
    uint32_t prefix[MAX_LEVELS];       /* the code bits that lead to it */
    int level;                         /* the current level, -1 before the root */
    int consumed;                      /* bits consumed by the levels above it */
    uint32_t code;                     /* the current code, bit-reversed */
    unsigned next_symbol;              /* next position in symbols */
    uint16_t last_value;               /* value of the entry built last */
};

/* Counts the codes of each length and finds the shortest and longest. */
void count_lengths(table_build *b, const unsigned *lengths, unsigned n) {
    for (unsigned i = 0; i < n; i++) b->count[lengths[i]]++;
    b->used = n - b->count[0];
    if (b->used == 0) return;
    b->kmin = 1;
    while (b->count[b->kmin] == 0) b->kmin++;
    b->kmax = MAX_CODE_BITS;
    while (b->count[b->kmax] == 0) b->kmax--;
}

/* Checks that the codes fit their code space and fills what they leave free
   with placeholder codes of the longest length: 0, or 2 when over-subscribed. */
int fill_code_space(table_build *b) {
    int left = 1 << b->kmin;
    for (unsigned len = b->kmin; len < b->kmax; len++) {
        left -= (int)b->count[len];
        if (left < 0) return INFLATE_BAD_INPUT;
        left *= 2;
    }
    left -= (int)b->count[b->kmax];
    if (left < 0) return INFLATE_BAD_INPUT;
    b->count[b->kmax] += (unsigned)left;
    b->free_codes = left;
    return INFLATE_OK;
}

/* Lists the used symbols by code length, and by symbol within a length.
   The unused ones are listed too, after the used, where nothing reads
   them: a test for a length of 0 was mispredicted at every few symbols. */
void sort_symbols(table_build *b, const unsigned *lengths, unsigned n) {
    unsigned start[MAX_CODE_BITS + 2];
    start[0] = b->used;
    start[1] = 0;
    for (unsigned len = 1; len < b->kmax; len++) start[len + 1] = start[len] + b->count[len];
    for (unsigned sym = 0; sym < n; sym++) b->symbols[start[lengths[sym]]++] = (uint16_t)sym;
}

/* Width of a table opened for a code of length len, left such codes still to
   come: the least width at which the codes to come fill it, at most cap. */
int table_width(const table_build *b, int len, unsigned left) {
    int cap = (int)b->kmax - b->consumed;
    if (cap > b->root_bits) cap = b->root_bits;
    int j = len - b->consumed;
    uint32_t f = 1u << j;
    if (f <= left) return j;
    f -= left;
    while (j < cap) {
        j++;
        f *= 2;
        if (f <= b->count[b->consumed + j]) break;
        f -= b->count[b->consumed + j];
    }
    return j;
}

/* Room for n entries: from the caller's storage when the build has one,
   else a heap block. */
decode_entry *take_storage(table_build *b, unsigned n) {
    if (!b->store) return (decode_entry *)plat_malloc(n * sizeof(decode_entry));
    if (n > b->store_left) return nullptr;
    decode_entry *block = b->store;
    b->store += n;
    b->store_left -= n;
    return block;
}

/* Allocates a table of 2^j entries behind its header and appends it to the
   chain.  The entries are left as they come: fill_code_space has made the
   code complete, so enter_codes writes every slot of every table (a code,
   a placeholder or a link), and a build that stops short frees them unread;
   filling them first as well cost a tenth of a small block's build. */
decode_entry *allocate_table(table_build *b, int j) {
    unsigned size = 1u << j;
    decode_entry *block = take_storage(b, size + 1);
    if (!block) return nullptr;
    block[0].op = 0;
    block[0].bits = 0;
    block[0].link = nullptr;
    if (b->last)
        b->last[-1].link = block + 1;
    else
        b->first = block + 1;
    b->last = block + 1;
    return block + 1;
}

/* Opens a table one level down for a code of length len. */
int open_table(table_build *b, int len, unsigned left) {
    b->level++;
    b->consumed += b->root_bits;
    int j = table_width(b, len, left);
    decode_entry *t = allocate_table(b, j);
    if (!t) return INFLATE_NO_MEMORY;
    b->table[b->level] = t;
    b->table_size[b->level] = 1u << j;
    if (b->level > 0) {
        b->prefix[b->level] = b->code;
        decode_entry *up = b->table[b->level - 1] + (b->code >> (b->consumed - b->root_bits));
        up->op = (uint8_t)(16 + j);
        up->bits = (uint8_t)b->root_bits;
        up->link = t;
    }
    return INFLATE_OK;
}

/* The entry of the next code in canonical order; a placeholder, when the
   symbols have run out, keeps the value of the entry built before it. */
decode_entry make_entry(table_build *b, int len) {
    decode_entry e;
    e.link = nullptr;
    e.bits = (uint8_t)(len - b->consumed);
    e.op = OP_INVALID;
    if (b->next_symbol < b->used) {
        unsigned sym = b->symbols[b->next_symbol++];
        if (sym < b->simple) {
            b->last_value = (uint16_t)sym;
            e.op = sym < 256 ? OP_LITERAL : OP_END_OF_BLOCK;
        } else {
            b->last_value = b->base[sym - b->simple];
            e.op = (uint8_t)(b->extra[sym - b->simple] & 0xFF);
        }
    }
    e.value = b->last_value;
    return e;
}

/* Stores the entry at every index of the current table whose low bits are
   the code's bits at this level.  The entry is copied whole, one move or
   two a slot: stored field by field, as an assignment compiles, a small
   block's build spent a third of its time here. */
void store_entry(table_build *b, decode_entry e, int len) {
    static_assert(sizeof e == 2 * sizeof(uintptr_t), "an entry is two words");
    uintptr_t low, high; /* the entry's two words */
    memcpy(&low, &e, sizeof low);
    memcpy(&high, reinterpret_cast<char *>(&e) + sizeof low, sizeof high);
    char *p = reinterpret_cast<char *>(b->table[b->level] + (b->code >> b->consumed));
    char *end = reinterpret_cast<char *>(b->table[b->level] + b->table_size[b->level]);
    for (size_t step = sizeof e << (len - b->consumed); p < end; p += step) {
        memcpy(p, &low, sizeof low);
        memcpy(p + sizeof low, &high, sizeof high);
    }
}

/* Steps to the next code of length len, in reversed bit order, and leaves
   the sub-tables that this fills.  The step clears the code's ones from its
   top bit down to its highest zero and sets that zero, found in one step:
   a loop over the bits ended at a mispredicted branch at every other code.
   The last code, all ones, has no zero and no code after it: it stays. */
void advance_code(table_build *b, int len) {
    uint32_t zeros = ~b->code & ((1u << len) - 1);
    uint32_t bit = zeros ? 1u << (31 - __builtin_clz(zeros)) : 0;
    b->code = (b->code & (bit - 1)) | bit;
    while ((b->code & ((1u << b->consumed) - 1)) != b->prefix[b->level]) {
        b->level--;
        b->consumed -= b->root_bits;
    }
}

/* Enters every code, placeholders last, into the tables. */
int enter_codes(table_build *b) {
    b->level = -1;
    b->consumed = -b->root_bits;
    b->prefix[0] = 0;
    for (int len = (int)b->kmin; len <= (int)b->kmax; len++) {
        for (unsigned left = b->count[len]; left > 0; left--) {
            while (len > b->consumed + b->root_bits) {
                if (open_table(b, len, left) != INFLATE_OK) return INFLATE_NO_MEMORY;
            }
            store_entry(b, make_entry(b, len), len);
            advance_code(b, len);
        }
    }
    return INFLATE_OK;
}

/* Builds the tables of one code into b's storage (see build_decode_tables). */
int build(table_build *b, const unsigned *lengths, unsigned n, unsigned s, const uint16_t *base,
          const uint16_t *extra, decode_entry **root_out, unsigned *width_inout) {
    count_lengths(b, lengths, n);
    if (b->used == 0) {
        *root_out = nullptr;
        *width_inout = 0;
        return INFLATE_OK;
    }
    unsigned width = *width_inout;
    if (width < b->kmin) width = b->kmin;
    if (width > b->kmax) width = b->kmax;
    *width_inout = width;
    if (fill_code_space(b) != INFLATE_OK) return INFLATE_BAD_INPUT;
    sort_symbols(b, lengths, n);
    b->root_bits = (int)width;
    b->simple = s;
    b->base = base;
    b->extra = extra;
    if (enter_codes(b) != INFLATE_OK) {
        if (!b->store) free_decode_tables(b->first);
        plat_write_stderr("\n*** inflate out of memory *** ");
        return INFLATE_NO_MEMORY;
    }
    *root_out = b->first;
    return (b->free_codes != 0 && b->kmax != 1) ? INFLATE_BAD_DATA : INFLATE_OK;
}

} /* namespace */

int build_decode_tables(const unsigned *lengths, unsigned n, unsigned s, const uint16_t *base,
                        const uint16_t *extra, decode_entry **root_out, unsigned *width_inout) {
    table_build b = {};
    return build(&b, lengths, n, s, base, extra, root_out, width_inout);
}

int build_decode_tables_in(decode_entry *store, unsigned capacity, const unsigned *lengths,
                           unsigned n, unsigned s, const uint16_t *base, const uint16_t *extra,
                           decode_entry **root_out, unsigned *width_inout) {
    table_build b = {};
    b.store = store;
    b.store_left = capacity;
    return build(&b, lengths, n, s, base, extra, root_out, width_inout);
}

int free_decode_tables(decode_entry *root) {
    while (root) {
        decode_entry *block = root - 1;
        root = block->link;
        plat_free(block);
    }
    return 0;
}
