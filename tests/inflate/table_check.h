/*
 * table_check.h: what any code length list must give the table builder,
 * worked out from the lengths alone: the result their code space calls for
 * (complete, incomplete, over-subscribed, empty), the root width, and, where
 * the layout promises it, every used symbol's canonical code decoded to that
 * symbol in exactly its length.  The table tests feed it random sets, the
 * table fuzzer arbitrary ones.
 */
#ifndef TARVEX_TESTS_INFLATE_TABLE_CHECK_H
#define TARVEX_TESTS_INFLATE_TABLE_CHECK_H

#include "inflate/inflate.h"

#include <cstdint>

enum { CHECK_MAX_BITS = 16 };

struct build_kind {        /* one way the decoder calls the build */
    unsigned s;            /* symbols below s are simple */
    const uint16_t *base;  /* values of the symbols from s on, or null */
    const uint16_t *extra; /* their extra-bit counts */
};

inline unsigned reversed(unsigned code, unsigned length) {
    unsigned r = 0;
    for (unsigned i = 0; i < length; i++) r |= ((code >> i) & 1u) << (length - 1 - i);
    return r;
}

/* Follows the tables for these bits (next bit lowest); the entry reached,
   and in *taken the bits dropped on the way. */
inline const decode_entry *look_up(const decode_entry *root, unsigned width, uint32_t bits,
                                   unsigned *taken) {
    const decode_entry *e = root + (bits & ((1u << width) - 1));
    unsigned consumed = 0;
    while (e->op > OP_LITERAL && e->op != OP_INVALID && consumed < 32) {
        if (e->op > 32 || e->bits != width) return nullptr; /* a bad link */
        consumed += e->bits;
        e = e->link + ((uint64_t(bits) >> consumed) & ((1u << (e->op - 16u)) - 1));
    }
    *taken = consumed + e->bits;
    return consumed >= 32 ? nullptr : e;
}

struct code_space {                     /* what the lengths alone say about the code */
    unsigned count[CHECK_MAX_BITS + 1]; /* codes of each length */
    unsigned used, kmin, kmax;          /* used symbols, shortest and longest length */
    long long left;                     /* free codes of the longest length; negative: over */
};

inline code_space measure(const unsigned *lengths, unsigned n) {
    code_space c = {};
    for (unsigned i = 0; i < n; i++) c.count[lengths[i]]++;
    c.used = n - c.count[0];
    for (unsigned l = 1; l <= CHECK_MAX_BITS; l++)
        if (c.count[l]) c.kmin = c.kmin ? c.kmin : l, c.kmax = l;
    long long space = 1;
    for (unsigned l = 1; l <= c.kmax; l++) space = space * 2 - c.count[l];
    c.left = c.used ? space : 0;
    return c;
}

/* Every used symbol's canonical code decodes to it in its own length, and
   every slot of the root (sampled when wide) leads to a built entry. */
inline const char *check_codes(const unsigned *lengths, unsigned n, const build_kind &k,
                               const decode_entry *root, unsigned width, const code_space &c) {
    unsigned next[CHECK_MAX_BITS + 2] = {}, code = 0, taken;
    for (unsigned l = 1; l <= CHECK_MAX_BITS; l++)
        next[l] = code = (code + c.count[l - 1] * (l > 1)) << 1;
    for (unsigned sym = 0; sym < n; sym++) {
        unsigned l = lengths[sym];
        if (!l) continue;
        const decode_entry *e = look_up(root, width, reversed(next[l]++, l), &taken);
        if (!e) return "links without end";
        if (taken != l) return "code decodes in the wrong number of bits";
        if (sym < k.s ? e->value != sym || e->op != (sym < 256 ? OP_LITERAL : OP_END_OF_BLOCK)
                      : e->value != k.base[sym - k.s] || e->op != (k.extra[sym - k.s] & 0xFF))
            return "symbol decodes wrong";
    }
    uint32_t step = width > 10 ? (1u << (width - 10)) - 1 : 1;
    for (uint32_t bits = 0; bits < (1u << width); bits += step) {
        const decode_entry *e = look_up(root, width, bits, &taken);
        if (!e || e->bits == 0 || taken > c.kmax) return "slot holds no built entry";
    }
    return nullptr;
}

/* Builds the tables for these lengths at this root width, checks them and
   releases them; what is wrong, or null.  Running out of memory is no fault. */
inline const char *check_build(const unsigned *lengths, unsigned n, const build_kind &k,
                               unsigned desired) {
    code_space c = measure(lengths, n);
    decode_entry sentinel, *root = &sentinel;
    unsigned width = desired;
    int r = build_decode_tables(lengths, n, k.s, k.base, k.extra, &root, &width);
    int expect = c.left < 0                  ? INFLATE_BAD_INPUT
                 : c.left > 0 && c.kmax != 1 ? INFLATE_BAD_DATA
                                             : INFLATE_OK;
    if (r == INFLATE_NO_MEMORY) return nullptr;
    if (r != expect) return "result does not match the code space";
    if (r == INFLATE_BAD_INPUT) return root == &sentinel ? nullptr : "over-subscribed build kept";
    if (c.used == 0) return root || width != 0 ? "empty code got a table" : nullptr;
    unsigned l = desired < c.kmin ? c.kmin : desired > c.kmax ? c.kmax : desired;
    if (!root || width != l) return "wrong root width";
    long long total = c.used + (c.left > 0 ? c.left : 0);
    const char *wrong = nullptr;
    if (total <= (1ll << l) || c.kmax <= 2 * l) wrong = check_codes(lengths, n, k, root, width, c);
    free_decode_tables(root);
    return wrong;
}

#endif
