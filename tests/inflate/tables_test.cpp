/*
 * tables_test.cpp: the lookup tables built from code lengths: the exact
 * results and root widths of small, fixed, empty, incomplete and
 * over-subscribed code sets, each checked code by code against its code
 * space (the table fuzzer does the same for arbitrary sets).  How the tables
 * lay their entries out is the decoder's own affair: the block tests decode
 * through them.
 */
#include "inflate/inflate.h"
#include "tests/inflate/stream_writer.h"
#include "tests/inflate/table_check.h"

#include <gtest/gtest.h>

#include <utility>
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

/* n lengths of 0 but for the given symbols' {symbol, length}. */
std::vector<unsigned> lengths_at(unsigned n,
                                 std::initializer_list<std::pair<unsigned, unsigned>> set) {
    std::vector<unsigned> len(n, 0);
    for (auto [at, l] : set) len[at] = l;
    return len;
}

} /* namespace */

/* Each set's result, root width and codes come from its code space. */
TEST(Tables, EachCodeSetGivesItsExactResultWidthAndCodes) {
    const struct {
        const char *name;
        std::vector<unsigned> lengths;
        unsigned s, width; /* simple symbols, root width asked for */
    } rows[] = {
        {"no lengths", std::vector<unsigned>(30, 0), 0, 6},
        {"over-subscribed 1 1 1", {1, 1, 1}, 3, 7},
        {"over-subscribed 2 2 2 2 2 3", {2, 2, 2, 2, 2, 3}, 6, 7},
        {"one code of length 1", lengths_at(19, {{7, 1}}), 19, 7},
        {"one valued code of length 2", lengths_at(30, {{3, 2}}), 0, 6},
        {"one code of length 16: a root of placeholders", lengths_at(288, {{40, 16}}), 257, 9},
        {"1 and 16: sub-tables of placeholders", lengths_at(288, {{0, 1}, {260, 16}}), 257, 9},
        {"mixed lengths replicated", {2, 1, 3, 3}, 4, 3},
        {"width lowered to the longest", {1, 2, 3, 4, 4}, 0, 6},
        {"width raised to the shortest", std::vector<unsigned>(256, 8), 256, 5},
        {"fixed distance code", std::vector<unsigned>(30, 5), 0, 5},
        {"fixed literal code", fixed_literal_lengths(), 257, 7},
    };
    for (const auto &r : rows) {
        build_kind kind = {r.s, ROWS.base, ROWS.extra};
        EXPECT_EQ(nullptr, check_build(r.lengths.data(), (unsigned)r.lengths.size(), kind, r.width))
            << r.name;
    }
    free_decode_tables(nullptr); /* no tables: nothing to release, no crash */
}
