/*
 * fuzz_tables.cpp: build_decode_tables fed with arbitrary code length lists.
 *
 * The first three bytes choose the kind of build (literal/length, distance,
 * code-length or all-simple symbols), the desired root width and an
 * allocation to fail; every further byte is one code length of 0 to 16.
 * Beyond not crashing, each build must give the result that the lengths'
 * code space calls for (complete, incomplete, over-subscribed), leave no
 * block behind on any way out, and, where the layout promises it, decode
 * every used symbol's canonical code to that symbol in exactly its length.
 */
#include "inflate/inflate.h"
#include "platform/host.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

enum { MAX_SYMBOLS = 288, MAX_BITS = 16 };

/* Values of symbols from s on, as the decoder's builds give them. */
const uint16_t length_base[31] = {3,  4,   5,   6,   7,   8,   9,   10, 11, 13, 15,
                                  17, 19,  23,  27,  31,  35,  43,  51, 59, 67, 83,
                                  99, 115, 131, 163, 195, 227, 258, 0,  0};
const uint16_t length_extra[31] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2,  2, 2,
                                   3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0, 99, 99};
const uint16_t distance_base[30] = {1,    2,    3,    4,    5,    7,    9,    13,    17,    25,
                                    33,   49,   65,   97,   129,  193,  257,  385,   513,   769,
                                    1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
const uint16_t distance_extra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                     6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

struct build_kind {       /* one way the decoder calls the build */
    unsigned max_n;       /* most symbols it passes */
    unsigned simple;      /* s; MAX_SYMBOLS + 1: s = n */
    const uint16_t *base; /* values from s on, or null */
    const uint16_t *extra;
};

/* clang-format off */
const build_kind KINDS[4] = {
    /* max_n        simple           base           extra */
    {MAX_SYMBOLS,   257,             length_base,   length_extra},
    {30,            0,               distance_base, distance_extra},
    {19,            19,              nullptr,       nullptr},
    {MAX_SYMBOLS,   MAX_SYMBOLS + 1, nullptr,       nullptr},
};
/* clang-format on */

[[noreturn]] void broken(const char *why) {
    plat_write_stderr(why);
    plat_write_stderr("\n");
    abort();
}

unsigned reverse(unsigned code, unsigned length) {
    unsigned r = 0;
    for (unsigned i = 0; i < length; i++) r |= ((code >> i) & 1u) << (length - 1 - i);
    return r;
}

/* Follows the tables for the bits bits (next bit lowest); the entry reached
   and in *taken the bits dropped on the way. */
const decode_entry *look_up(const decode_entry *root, unsigned width, uint32_t bits,
                            unsigned *taken) {
    const decode_entry *e = root + (bits & ((1u << width) - 1));
    unsigned consumed = 0;
    while (e->op > OP_LITERAL && e->op != OP_INVALID) {
        if (e->op > 32 || e->bits != width) broken("bad link entry");
        consumed += e->bits;
        unsigned j = e->op - 16u;
        e = e->link + ((bits >> consumed) & ((1u << j) - 1));
        if (consumed > 64) broken("links without end");
    }
    *taken = consumed + e->bits;
    return e;
}

struct code_space { /* what the lengths alone say about the code */
    unsigned count[MAX_BITS + 1];
    unsigned used, kmin, kmax;
    long long left; /* free codes of the longest length; negative: over */
};

code_space measure(const unsigned *lengths, unsigned n) {
    code_space c = {};
    for (unsigned i = 0; i < n; i++) c.count[lengths[i]]++;
    c.used = n - c.count[0];
    for (unsigned l = 1; l <= MAX_BITS; l++)
        if (c.count[l]) {
            if (!c.kmin) c.kmin = l;
            c.kmax = l;
        }
    long long space = 1;
    for (unsigned l = 1; l <= c.kmax; l++) space = space * 2 - c.count[l];
    c.left = c.used ? space : 0;
    return c;
}

/* Every used symbol's canonical code decodes to it in its own length. */
void check_codes(const unsigned *lengths, unsigned n, const build_kind &k, unsigned s,
                 const decode_entry *root, unsigned width, const code_space &c) {
    unsigned next[MAX_BITS + 2] = {};
    unsigned code = 0;
    for (unsigned l = 1; l <= MAX_BITS; l++) {
        code = (code + c.count[l - 1] * (l > 1)) << 1;
        next[l] = code;
    }
    for (unsigned sym = 0; sym < n; sym++) {
        unsigned l = lengths[sym];
        if (!l) continue;
        unsigned taken;
        const decode_entry *e = look_up(root, width, reverse(next[l]++, l), &taken);
        if (taken != l) broken("code decodes in the wrong number of bits");
        if (sym < s) {
            if (e->value != sym || e->op != (sym < 256 ? OP_LITERAL : OP_END_OF_BLOCK))
                broken("simple symbol decodes wrong");
        } else if (e->value != k.base[sym - s] || e->op != (k.extra[sym - s] & 0xFF)) {
            broken("valued symbol decodes wrong");
        }
    }
    /* Every slot of the root leads to an entry that was built (sampled
       when the root is wide, to keep the runs fast). */
    uint32_t step = width > 10 ? (1u << (width - 10)) - 1 : 1;
    for (uint32_t bits = 0; bits < (1u << width); bits += step) {
        unsigned taken;
        const decode_entry *e = look_up(root, width, bits, &taken);
        if (e->bits == 0 || taken > c.kmax) broken("slot holds no built entry");
    }
}

void check_build(const unsigned *lengths, unsigned n, const build_kind &k, unsigned desired,
                 int fail_nth) {
    unsigned s = k.simple > MAX_SYMBOLS ? n : k.simple;
    code_space c = measure(lengths, n);
    decode_entry sentinel;
    decode_entry *root = &sentinel;
    unsigned width = desired;
    host_fail_call(FAULT_MALLOC, fail_nth);
    int r = build_decode_tables(lengths, n, s, k.base, k.extra, &root, &width);
    host_fail_call(FAULT_MALLOC, 0);
    int expect = c.left < 0                  ? INFLATE_BAD_INPUT
                 : c.left > 0 && c.kmax != 1 ? INFLATE_BAD_DATA
                                             : INFLATE_OK;
    if (r == INFLATE_NO_MEMORY) {
        if (host_live_blocks() != 0) broken("blocks left after running out of memory");
        return;
    }
    if (r != expect) broken("result does not match the code space");
    if (r == INFLATE_BAD_INPUT) {
        if (root != &sentinel || host_live_blocks() != 0) broken("over-subscribed build kept");
        return;
    }
    if (c.used == 0) {
        if (root || width != 0) broken("empty code got a table");
        return;
    }
    unsigned l = desired < c.kmin ? c.kmin : desired;
    if (l > c.kmax) l = c.kmax;
    if (!root || width != l) broken("wrong root width");
    long long total = c.used + (c.left > 0 ? c.left : 0);
    if (total <= (1ll << l) || c.kmax <= 2 * l) check_codes(lengths, n, k, s, root, width, c);
    free_decode_tables(root);
    if (host_live_blocks() != 0) broken("tables left after release");
}

} /* namespace */

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 4) return 0;
    const build_kind &k = KINDS[data[0] & 3];
    unsigned desired = data[1] % 18;
    int fail_nth = data[2] < 0xE0 ? 0 : data[2] - 0xDF;
    unsigned n = unsigned(size - 3);
    if (n > k.max_n) n = k.max_n;
    unsigned lengths[MAX_SYMBOLS];
    for (unsigned i = 0; i < n; i++) lengths[i] = data[3 + i] % (MAX_BITS + 1);
    check_build(lengths, n, k, desired, fail_nth);
    return 0;
}
