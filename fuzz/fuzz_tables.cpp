/*
 * fuzz_tables.cpp: build_decode_tables over arbitrary code length lists (the
 * first three bytes pick the kind of build, the root width and an allocation
 * to fail), each build checked against its code space by the table tests'
 * checker and leaving no block behind.
 */
#include "inflate/inflate.h"
#include "fuzz/fuzz_common.h"
#include "platform/host.h"
#include "tests/inflate/stream_writer.h"
#include "tests/inflate/table_check.h"


namespace {

enum {
    MAX_SYMBOLS = 288, /* the longest code length list */
    MAX_BITS = 16,     /* the longest code */
    /* Free codes of an incomplete set: the builder enters each as a
       placeholder, by the steps of a used code, so a set leaving tens of
       thousands free cost a run up to a thousand times a complete set's and
       held the target to a few hundred runs a second.  The table tests
       build the widest such sets. */
    PLACEHOLDER_LIMIT = 1024
};

/* clang-format off */
const struct {
    unsigned max_n;   /* most symbols the decoder passes */
    build_kind kind;  /* s (MAX_SYMBOLS + 1: s = n) and values */
} KINDS[4] = {
    /* max_n        s                base           extra */
    {MAX_SYMBOLS,   {257,             LENGTH_BASE,   LENGTH_EXTRA}},
    {30,            {0,               DISTANCE_BASE, DISTANCE_EXTRA}},
    {19,            {19,              nullptr,       nullptr}},
    {MAX_SYMBOLS,   {MAX_SYMBOLS + 1, nullptr,       nullptr}},
};
/* clang-format on */

} /* namespace */

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    host_reset(); /* every input starts as the program does */
    if (size < 4) return 0;
    build_kind k = KINDS[data[0] & 3].kind;
    unsigned desired = data[1] % 18;
    int fail_nth = data[2] < 0xE0 ? 0 : data[2] - 0xDF;
    unsigned n = unsigned(size - 3);
    if (n > KINDS[data[0] & 3].max_n) n = KINDS[data[0] & 3].max_n;
    if (k.s > MAX_SYMBOLS) k.s = n;
    unsigned lengths[MAX_SYMBOLS];
    for (unsigned i = 0; i < n; i++) lengths[i] = data[3 + i] % (MAX_BITS + 1);
    if (measure(lengths, n).left > PLACEHOLDER_LIMIT) return 0;
    host_fail_call(FAULT_MALLOC, fail_nth);
    const char *wrong = check_build(lengths, n, k, desired);
    host_fail_call(FAULT_MALLOC, 0);
    if (wrong) broken(wrong);
    if (host_live_blocks() != 0) broken("blocks left behind");
    return 0;
}
