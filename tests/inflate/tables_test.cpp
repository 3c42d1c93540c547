/*
 * tables_test.cpp: the lookup tables built from code lengths: the exact
 * results, widths and root layouts of small, fixed, empty, incomplete and
 * over-subscribed code sets, each checked code by code against its code
 * space (the table fuzzer does the same for arbitrary sets).
 */
#include "inflate/inflate.h"
#include "tests/inflate/stream_writer.h"
#include "tests/inflate/table_check.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

/* Values and extra-bit counts for the symbols from s on, each telling its
   symbol apart; the last two rows have no symbol, as the length table's. */
struct value_rows {
    uint16_t base[31], extra[31];
    value_rows() {
        for (int i = 0; i < 31; i++) base[i] = (uint16_t)(1000 + i), extra[i] = (uint16_t)(i % 14);
        extra[29] = extra[30] = 99;
    }
} const ROWS;

/* "N tables, M entries", headers included. */
std::string shape(decode_entry *root, unsigned width) {
    int tables = 0;
    unsigned entries = 1u << width;
    for (decode_entry *t = root; t; t = t[-1].link) tables++;
    for (unsigned i = 0; i < (1u << width); i++)
        if (root[i].op > OP_LITERAL && root[i].op != OP_INVALID) entries += 1u << (root[i].op - 16);
    return std::to_string(tables) + " tables, " + std::to_string(entries + tables) + " entries";
}

/* The root's entries as op:value/bits, literals as L, placeholders as X. */
std::string layout(const decode_entry *root, unsigned width) {
    std::string s;
    for (unsigned i = 0; i < (1u << width); i++) {
        const decode_entry &e = root[i];
        s += e.op == OP_LITERAL ? "L" : e.op == OP_INVALID ? "X" : std::to_string(e.op) + ":";
        s += std::to_string(e.value) + "/" + std::to_string(e.bits) + " ";
    }
    return s;
}

std::vector<unsigned> one_length(unsigned n, unsigned at, unsigned l) {
    std::vector<unsigned> len(n, 0);
    len[at] = l;
    return len;
}

} /* namespace */

/* Each set's result and root width come from its code space (check_build);
   the rows say what the tables look like. */
TEST(Tables, EachCodeSetGivesItsExactResultWidthAndLayout) {
    const struct {
        const char *name;
        std::vector<unsigned> lengths;
        unsigned s, width;  /* simple symbols, root width asked for */
        const char *shape;  /* tables and entries, "" for no table */
        const char *layout; /* the root's entries, "" not checked */
    } rows[] = {
        /* clang-format off */
        {"no lengths", std::vector<unsigned>(30, 0), 0, 6, "", ""},
        {"over-subscribed 1 1 1", {1, 1, 1}, 3, 7, "", ""},
        {"over-subscribed 2 2 2 2 2 3", {2, 2, 2, 2, 2, 3}, 6, 7, "", ""},
        {"one code of length 1", one_length(19, 7, 1), 19, 7, "1 tables, 3 entries",
         "L7/1 X7/1 "}, /* the placeholder keeps the last value */
        {"one valued code of length 2", one_length(30, 3, 2), 0, 6, "1 tables, 5 entries",
         "3:1003/2 X1003/2 X1003/2 X1003/2 "},
        {"mixed lengths replicated", {2, 1, 3, 3}, 4, 3, "1 tables, 9 entries",
         "L1/1 L0/2 L1/1 L2/3 L1/1 L0/2 L1/1 L3/3 "},
        {"width lowered to the longest", {1, 2, 3, 4, 4}, 0, 6, "1 tables, 17 entries", ""},
        {"width raised to the shortest", std::vector<unsigned>(256, 8), 256, 5,
         "1 tables, 257 entries", ""},
        {"fixed distance code", std::vector<unsigned>(30, 5), 0, 5, "1 tables, 33 entries", ""},
        {"fixed literal code", fixed_literal_lengths(), 257, 7, "105 tables, 497 entries", ""},
        /* clang-format on */
    };
    for (const auto &r : rows) {
        build_kind kind = {r.s, ROWS.base, ROWS.extra};
        EXPECT_EQ(nullptr, check_build(r.lengths.data(), (unsigned)r.lengths.size(), kind, r.width))
            << r.name;
        if (!*r.shape) continue;
        decode_entry *root = nullptr;
        unsigned width = r.width;
        build_decode_tables(r.lengths.data(), (unsigned)r.lengths.size(), r.s, ROWS.base,
                            ROWS.extra, &root, &width);
        ASSERT_NE(nullptr, root) << r.name;
        EXPECT_EQ(r.shape, shape(root, width)) << r.name;
        EXPECT_EQ(r.layout, *r.layout ? layout(root, width) : "") << r.name;
        if (r.lengths.size() == 30 && width == 5) {
            EXPECT_EQ(OP_INVALID, root[15].op); /* the two unused codes, 30 and 31 */
            EXPECT_EQ(OP_INVALID, root[31].op);
        }
        free_decode_tables(root); /* the engine's fault tests count the blocks it gives back */
    }
    free_decode_tables(nullptr); /* no tables: nothing to release, no crash */
}
