/*
 * tables_test.cpp: the lookup tables built from code lengths: results,
 * widths and layouts on small code sets, the fixed codes, and every code of
 * random complete code sets found again through the tables.
 */
#include "inflate/inflate.h"
#include "tests/inflate/stream_writer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

namespace {

const decode_entry *const UNTOUCHED = reinterpret_cast<const decode_entry *>(0x10);

struct built {
    int result;
    decode_entry *root;
    unsigned width;
};

built build(const std::vector<unsigned> &lengths, unsigned s, unsigned width,
            const uint16_t *base = nullptr, const uint16_t *extra = nullptr) {
    built b = {0, const_cast<decode_entry *>(UNTOUCHED), width};
    b.result = build_decode_tables(lengths.data(), (unsigned)lengths.size(), s, base, extra,
                                   &b.root, &b.width);
    return b;
}

unsigned reversed(unsigned code, unsigned len) {
    unsigned r = 0;
    for (unsigned i = 0; i < len; i++) r |= ((code >> i) & 1) << (len - 1 - i);
    return r;
}

/* Follows a code (as the stream packs it) through the tables; *used gets
   the bits that the entries found drop. */
const decode_entry *lookup(const decode_entry *root, unsigned width, unsigned code, unsigned len,
                           unsigned *used) {
    uint32_t buffer = reversed(code, len);
    const decode_entry *e = root + (buffer & ((1u << width) - 1));
    *used = 0;
    while (e->op > OP_LITERAL && e->op != OP_INVALID) {
        *used += e->bits;
        buffer >>= e->bits;
        e = e->link + (buffer & ((1u << (e->op - 16)) - 1));
    }
    *used += e->bits;
    return e;
}

int chain_length(decode_entry *root) {
    int n = 0;
    for (decode_entry *t = root; t; t = t[-1].link) n++;
    return n;
}

/* Values and extra-bit counts for the symbols from s on, each telling its
   symbol apart; the last two rows have no symbol, as the length table's. */
struct value_rows {
    uint16_t base[31], extra[31];
    value_rows() {
        for (int i = 0; i < 31; i++) base[i] = (uint16_t)(1000 + i), extra[i] = (uint16_t)(i % 14);
        extra[29] = extra[30] = 99;
    }
} const ROWS;
const uint16_t *const BASE = ROWS.base;
const uint16_t *const EXTRA = ROWS.extra;

} /* namespace */

TEST(TableResults, NoLengthsGiveNoTableAndOverSubscribedOnesAllocateNothing) {
    built b = build(std::vector<unsigned>(30, 0), 0, 6, BASE, EXTRA);
    EXPECT_EQ(INFLATE_OK, b.result);
    EXPECT_EQ(nullptr, b.root);
    EXPECT_EQ(0u, b.width);
    EXPECT_EQ(0, free_decode_tables(nullptr));
    b = build({1, 1, 1}, 3, 7);
    EXPECT_EQ(INFLATE_BAD_INPUT, b.result);
    EXPECT_EQ(UNTOUCHED, b.root);
    b = build({2, 2, 2, 2, 2, 3}, 6, 7);
    EXPECT_EQ(INFLATE_BAD_INPUT, b.result);
}

TEST(TableResults, OneCodeOfLengthOneIsCompleteWithAPlaceholderBeside) {
    std::vector<unsigned> len(19, 0);
    len[7] = 1;
    built b = build(len, 19, 7);
    ASSERT_EQ(INFLATE_OK, b.result);
    EXPECT_EQ(1u, b.width);
    EXPECT_EQ(1, chain_length(b.root));
    EXPECT_EQ(OP_LITERAL, b.root[0].op);
    EXPECT_EQ(7, b.root[0].value);
    EXPECT_EQ(OP_INVALID, b.root[1].op);
    EXPECT_EQ(7, b.root[1].value) << "a placeholder keeps the value built before it";
    EXPECT_EQ(1, b.root[0].bits);
    EXPECT_EQ(1, b.root[1].bits);
    free_decode_tables(b.root);
}

TEST(TableResults, IncompleteSetIsBuiltAndReportedAsBadData) {
    std::vector<unsigned> len(30, 0);
    len[3] = 2;
    built b = build(len, 0, 6, BASE, EXTRA);
    EXPECT_EQ(INFLATE_BAD_DATA, b.result);
    ASSERT_NE(nullptr, b.root);
    EXPECT_EQ(2u, b.width);
    EXPECT_EQ(BASE[3], b.root[0].value);
    EXPECT_EQ(OP_INVALID, b.root[1].op);
    free_decode_tables(b.root);
}

TEST(TableLayout, MixedLengthsReplicateShortCodesAcrossTheRoot) {
    built b = build({2, 1, 3, 3}, 4, 3);
    ASSERT_EQ(INFLATE_OK, b.result);
    EXPECT_EQ(3u, b.width);
    EXPECT_EQ(1, chain_length(b.root));
    const unsigned symbol[8] = {1, 0, 1, 2, 1, 0, 1, 3};
    const unsigned bits[8] = {1, 2, 1, 3, 1, 2, 1, 3};
    for (int i = 0; i < 8; i++) {
        EXPECT_EQ(OP_LITERAL, b.root[i].op) << i;
        EXPECT_EQ(symbol[i], b.root[i].value) << i;
        EXPECT_EQ(bits[i], b.root[i].bits) << i;
    }
    free_decode_tables(b.root);
}

TEST(TableLayout, WidthIsLoweredToTheLongestAndRaisedToTheShortestCode) {
    built b = build({1, 2, 3, 4, 4}, 0, 6, BASE, EXTRA);
    EXPECT_EQ(INFLATE_OK, b.result);
    EXPECT_EQ(4u, b.width);
    EXPECT_EQ(1, chain_length(b.root));
    free_decode_tables(b.root);
    b = build(std::vector<unsigned>(256, 8), 256, 5);
    EXPECT_EQ(INFLATE_OK, b.result);
    EXPECT_EQ(8u, b.width);
    EXPECT_EQ(1, chain_length(b.root));
    free_decode_tables(b.root);
}

TEST(FixedCodes, DistanceCodeIsOneTableWithPlaceholdersAt15And31) {
    built b = build(std::vector<unsigned>(30, 5), 0, 5, BASE, EXTRA);
    ASSERT_EQ(INFLATE_BAD_DATA, b.result);
    EXPECT_EQ(5u, b.width);
    EXPECT_EQ(1, chain_length(b.root));
    for (unsigned sym = 0; sym < 30; sym++) {
        const decode_entry &e = b.root[reversed(sym, 5)];
        EXPECT_EQ(BASE[sym], e.value) << sym;
        EXPECT_EQ(EXTRA[sym], e.op) << sym;
        EXPECT_EQ(5, e.bits);
    }
    EXPECT_EQ(OP_INVALID, b.root[15].op);
    EXPECT_EQ(OP_INVALID, b.root[31].op);
    free_decode_tables(b.root);
}

TEST(FixedCodes, LiteralCodeTakes105TablesOf497EntriesAndDecodesEverySymbol) {
    std::vector<unsigned> len = fixed_literal_lengths();
    built b = build(len, 257, 7, BASE, EXTRA);
    ASSERT_EQ(INFLATE_OK, b.result);
    ASSERT_EQ(7u, b.width);
    EXPECT_EQ(105, chain_length(b.root));
    unsigned entries = 105 + 128;
    for (int i = 0; i < 128; i++) {
        if (b.root[i].op > OP_LITERAL && b.root[i].op != OP_INVALID)
            entries += 1u << (b.root[i].op - 16);
    }
    EXPECT_EQ(497u, entries);
    std::vector<unsigned> code = stream_writer::canonical(len);
    for (unsigned sym = 0; sym < 288; sym++) {
        unsigned used;
        const decode_entry *e = lookup(b.root, 7, code[sym], len[sym], &used);
        EXPECT_EQ(len[sym], used) << sym;
        if (sym < 256) {
            EXPECT_EQ(OP_LITERAL, e->op);
            EXPECT_EQ(sym, e->value);
        } else if (sym == 256) {
            EXPECT_EQ(OP_END_OF_BLOCK, e->op);
        } else if (sym >= 286) {
            EXPECT_EQ(OP_INVALID, e->op) << sym;
        } else {
            EXPECT_EQ(BASE[sym - 257], e->value);
            EXPECT_EQ(EXTRA[sym - 257], e->op);
        }
    }
    EXPECT_EQ(0xC6u, code[286]);
    free_decode_tables(b.root);
}

/* Random complete code sets of the sizes the decoder builds: every symbol's
   code, read from the stream's bit order, finds that symbol with its length. */
TEST(RandomCodes, EveryCodeOfACompleteSetIsFoundThroughTheTables) {
    std::mt19937 rng(1951);
    struct shape {
        unsigned n, max_codes, width;
    };
    const shape shapes[] = {{286, 286, 9}, {30, 30, 6}, {30, 30, 5}, {19, 19, 7}};
    for (const shape &sh : shapes) {
        for (int round = 0; round < 300; round++) {
            /* split random leaves of a code tree until it has k codes */
            unsigned k = 2 + rng() % (sh.max_codes - 1);
            std::vector<unsigned> leaves = {1, 1};
            while (leaves.size() < k) {
                size_t i = rng() % leaves.size();
                if (leaves[i] >= (sh.n == 19 ? 7u : 15u)) continue;
                leaves[i]++;
                leaves.push_back(leaves[i]);
            }
            std::vector<unsigned> len(sh.n, 0);
            std::vector<unsigned> order(sh.n);
            for (unsigned i = 0; i < sh.n; i++) order[i] = i;
            std::shuffle(order.begin(), order.end(), rng);
            for (unsigned i = 0; i < k; i++) len[order[i]] = leaves[i];
            built b = build(len, sh.n, sh.width);
            ASSERT_EQ(INFLATE_OK, b.result);
            std::vector<unsigned> code = stream_writer::canonical(len);
            for (unsigned sym = 0; sym < sh.n; sym++) {
                if (!len[sym]) continue;
                unsigned used;
                const decode_entry *e = lookup(b.root, b.width, code[sym], len[sym], &used);
                ASSERT_EQ(sym, e->value) << "n " << sh.n << " round " << round;
                ASSERT_EQ(len[sym], used);
            }
            free_decode_tables(b.root);
        }
    }
}
