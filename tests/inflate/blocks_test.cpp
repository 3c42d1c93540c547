/*
 * blocks_test.cpp: the block decoders on hand-made streams: what each stream
 * decodes to or why it is refused, and the input drawn and given back.
 * Every stream is decoded with its input served at once, a byte at a time
 * and in chunks of 5, and the three must agree.
 */
#include "tests/inflate/fake_engine.h"
#include "tests/inflate/stream_writer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace {

typedef std::vector<uint8_t> bytes;
typedef stream_writer sw; /* the cases write through one */
bytes text(const std::string &s) { return bytes(s.begin(), s.end()); }

/* Decodes in a fresh run with each way of serving the input. */
int decode(const bytes &stream, bytes *out = nullptr) {
    int result = 0;
    fake_record first;
    const size_t chunks[3] = {0, 1, 5};
    for (int i = 0; i < 3; i++) {
        fake_start_run();
        int r = fake_inflate(stream, nullptr, chunks[i]);
        EXPECT_EQ(0, fake.bad_flushes);
        if (i == 0) {
            result = r;
            first = fake;
        } else {
            EXPECT_EQ(result, r) << "chunk " << chunks[i];
            EXPECT_EQ(first.output, fake.output) << "chunk " << chunks[i];
            EXPECT_EQ(first.used, fake.used) << "chunk " << chunks[i];
        }
    }
    fake = first;
    if (out) *out = first.output;
    return result;
}

/* A final dynamic block over these codes: "ab", a match (4, 2), the end. */
void dynamic_ab(stream_writer &w, const std::vector<unsigned> &lit,
                const std::vector<unsigned> &dist) {
    w.dynamic(1, lit, dist);
    w.literals("ab");
    w.match(4, 2);
    w.end_block();
}
std::vector<unsigned> with(std::vector<unsigned> len, unsigned i, unsigned l) {
    len[i] = l;
    return len;
}
/* The full codes' items with a run in place of their last three lengths. */
void run_at_end(stream_writer &w, cl_item run) {
    std::vector<cl_item> items = plain_items(full_literal_lengths(), full_distance_lengths());
    items.resize(items.size() - 3);
    items.push_back(run);
    w.dynamic_raw(1, 286, 30, default_cl(), items);
    w.use_codes(full_literal_lengths(), full_distance_lengths());
    w.literals("ok");
    w.end_block();
}

/* A final fixed block with "a" and then this symbol and distance code. */
void fixed_symbols(stream_writer &w, unsigned symbol, unsigned distance_code) {
    w.fixed(1);
    w.literal('a');
    w.symbol(symbol);
    w.code(distance_code, 5);
}

/* Zero bytes after a refused code: input to spare keeps the decoder on its
   fast road, which reads a stream's later blocks through packed tables. */
void spare(stream_writer &w) {
    for (int i = 0; i < 12; i++) w.bits(0, 8);
}

struct stream_case {
    const char *name;                /* what the stream holds */
    void (*write)(stream_writer &w); /* writes it */
    int result;                      /* what decoding it gives */
    std::string output;              /* and the bytes it hands over */
    bool cut = false;                /* it ends short on purpose: nothing follows */
};

/* clang-format off */
const stream_case cases[] = {
    {"stored length without its complement", [](sw &w) {
         w.header(1, 0); w.align(); w.bits(3, 16); w.bits(0xFFFD, 16); w.bits(0x616161, 24);
     }, INFLATE_BAD_DATA, ""},
    {"a match reaching before the stream reads the run's zeroed window", [](sw &w) {
         w.fixed(1); w.literal('x'); w.match(5, 100); w.end_block();
     }, INFLATE_OK, std::string("x\0\0\0\0\0", 6)},
    {"distance 1, length 258", [](sw &w) {
         w.fixed(1); w.literal('q'); w.match(258, 1); w.end_block();
     }, INFLATE_OK, std::string(259, 'q')},
    {"fixed length symbol 286", [](sw &w) { fixed_symbols(w, 286, 0); }, INFLATE_BAD_DATA, ""},
    {"fixed length symbol 287", [](sw &w) { fixed_symbols(w, 287, 0); }, INFLATE_BAD_DATA, ""},
    {"fixed distance code 30", [](sw &w) { fixed_symbols(w, 257, 30); }, INFLATE_BAD_DATA, ""},
    {"fixed distance code 31", [](sw &w) { fixed_symbols(w, 257, 31); }, INFLATE_BAD_DATA, ""},
    {"block type 3", [](sw &w) { w.header(0, 3); }, INFLATE_BAD_INPUT, ""},
    {"287 literal/length lengths", [](sw &w) { w.dynamic_raw(1, 287, 30, default_cl(), {}); },
     INFLATE_BAD_DATA, ""},
    {"31 distance lengths, the last 0, with a valid block after them", [](sw &w) {
         std::vector<unsigned> dist = full_distance_lengths();
         dist.push_back(0);
         w.dynamic_raw(1, 286, 31, default_cl(), plain_items(full_literal_lengths(), dist));
         w.use_codes(full_literal_lengths(), full_distance_lengths());
         w.literals("ok"); w.end_block();
     }, INFLATE_BAD_DATA, ""},
    {"run of 16 past the last length", [](sw &w) { run_at_end(w, {16, 1}); }, INFLATE_BAD_DATA, ""},
    {"run of 17 past the last length", [](sw &w) { run_at_end(w, {17, 1}); }, INFLATE_BAD_DATA, ""},
    {"run of 18 past the last length", [](sw &w) { run_at_end(w, {18, 0}); }, INFLATE_BAD_DATA, ""},
    {"run of 16 up to the last length", [](sw &w) { run_at_end(w, {16, 0}); }, INFLATE_OK, "ok"},
    {"over-subscribed code-length code",
     [](sw &w) { w.dynamic_raw(1, 286, 30, with(default_cl(), 0, 3), {}); }, INFLATE_BAD_INPUT, ""},
    {"incomplete code-length code",
     [](sw &w) { w.dynamic_raw(1, 286, 30, with(default_cl(), 18, 0), {}); }, INFLATE_BAD_DATA, ""},
    {"code-length code with no lengths",
     [](sw &w) { w.dynamic_raw(1, 257, 1, std::vector<unsigned>(19, 0), {}); },
     INFLATE_BAD_DATA, ""},
    {"over-subscribed literal/length code",
     [](sw &w) { dynamic_ab(w, with(full_literal_lengths(), 0, 8), full_distance_lengths()); },
     INFLATE_BAD_INPUT, ""},
    {"incomplete literal/length code",
     [](sw &w) { dynamic_ab(w, with(full_literal_lengths(), 285, 0), full_distance_lengths()); },
     INFLATE_BAD_DATA, ""},
    {"literal/length code with no lengths",
     [](sw &w) { w.dynamic_raw(1, 257, 1, default_cl(), {{18, 127}, {18, 109}}); },
     INFLATE_BAD_DATA, ""},
    {"over-subscribed distance code",
     [](sw &w) { dynamic_ab(w, full_literal_lengths(), with(full_distance_lengths(), 29, 3)); },
     INFLATE_BAD_INPUT, ""},
    {"incomplete distance code",
     [](sw &w) { dynamic_ab(w, full_literal_lengths(), with(full_distance_lengths(), 29, 0)); },
     INFLATE_BAD_DATA, ""},
    {"one distance code of length 2", [](sw &w) { dynamic_ab(w, full_literal_lengths(), {0, 2}); },
     INFLATE_BAD_DATA, ""},
    {"repeat 16 as the very first length", [](sw &w) {
         std::vector<unsigned> lit = full_literal_lengths();
         lit[0] = lit[1] = lit[2] = 0; /* their 3 codes of 9 bits become */
         lit[3] = lit[4] = lit[5] = 8; /* 3 of 8 bits, still complete */
         std::vector<cl_item> items = plain_items(lit, full_distance_lengths());
         items.erase(items.begin(), items.begin() + 3);
         items.insert(items.begin(), cl_item{16, 0});
         w.dynamic_raw(1, 286, 30, default_cl(), items);
         w.use_codes(lit, full_distance_lengths());
         w.literals("\x03\x05"); w.end_block();
     }, INFLATE_OK, "\x03\x05"},
    {"one distance code of length 1", [](sw &w) {
         w.dynamic(1, full_literal_lengths(), {1}); w.literals("ab"); w.match(4, 1); w.end_block();
     }, INFLATE_OK, "abbbbb"},
    {"the unused code beside one distance code of length 1", [](sw &w) {
         w.dynamic(1, full_literal_lengths(), {1}); w.literal('a'); w.symbol(258); w.bits(1, 1);
     }, INFLATE_BAD_DATA, ""},
    {"literals only, with no distance lengths", [](sw &w) {
         w.dynamic(1, full_literal_lengths(), std::vector<unsigned>(30, 0));
         w.literals("only literals"); w.end_block();
     }, INFLATE_OK, "only literals"},
    {"a match with no distance lengths",
     [](sw &w) { dynamic_ab(w, full_literal_lengths(), std::vector<unsigned>(30, 0)); },
     INFLATE_BAD_DATA, ""},
    {"a run of FF bytes inside a fixed block", [](sw &w) {
         w.header(1, 1); w.bits(0xFF, 5);
         for (int i = 0; i < 64; i++) w.bits(0xFF, 8);
     }, INFLATE_BAD_DATA, "", true},
    {"stored data cut short", [](sw &w) { w.stored(1, bytes(100, 'c')); w.bytes.resize(50); },
     INFLATE_BAD_DATA, "", true},
    {"dynamic header cut short", [](sw &w) {
         w.dynamic(1, full_literal_lengths(), full_distance_lengths());
         w.bytes.resize(w.bytes.size() / 2); w.pending_bits = 0;
     }, INFLATE_BAD_DATA, "", true},
    {"later block, input to spare: fixed length symbol 287",
     [](sw &w) { w.stored(0, {}); fixed_symbols(w, 287, 0); spare(w); }, INFLATE_BAD_DATA, ""},
    {"later block, input to spare: fixed distance code 30",
     [](sw &w) { w.stored(0, {}); fixed_symbols(w, 257, 30); spare(w); }, INFLATE_BAD_DATA, ""},
    {"later block, input to spare: a match with no distance lengths", [](sw &w) {
         w.stored(0, {}); dynamic_ab(w, full_literal_lengths(), std::vector<unsigned>(30, 0));
         spare(w);
     }, INFLATE_BAD_DATA, ""},
    {"a bad code after more than a window", [](sw &w) {
         w.stored(0, bytes(40000, 'k')); w.fixed(1); w.literal('a'); w.symbol(287);
     }, INFLATE_BAD_DATA, std::string(32768, 'k')}, /* the full window, and nothing since */
};
/* clang-format on */

class Inflate : public ::testing::Test {
  protected:
    void TearDown() override { fake_end_run(); }
};

} /* namespace */

TEST_F(Inflate, EachStreamDecodesOrIsRefusedAsItShould) {
    for (const stream_case &c : cases) {
        stream_writer w;
        c.write(w);
        if (c.result != INFLATE_OK && !c.cut) w.bits(0, 16); /* refused before the end */
        bytes out;
        EXPECT_EQ(c.result, decode(w.done(), &out)) << c.name;
        EXPECT_EQ(text(c.output), out) << c.name;
    }
}

TEST_F(Inflate, AMatchBeforeTheStreamReadsTheRunsEarlierStreams) {
    /* Streams of stored bytes, the first going round the output ring with
       its last window across the ring's turn, a short one, a failed one;
       the window block keeps each byte at its offset in a window. */
    fake_start_run();
    bytes window(32768, 0), out;
    for (size_t size : {240000, 1000, 20}) {
        stream_writer a;
        bytes data(size);
        for (size_t i = 0; i < size; i++) data[i] = (uint8_t)(1 + (i + size) % 199);
        for (size_t at = 0; at < size; at += 60000)
            a.stored(size == 20 || at + 60000 < size ? 0 : 1,
                     bytes(data.begin() + at, data.begin() + std::min(size, at + 60000)));
        if (size == 20) a.header(1, 3);
        EXPECT_EQ(size == 20 ? INFLATE_BAD_INPUT : INFLATE_OK, fake_inflate(a.done(), &out));
        for (size_t i = 0; i < size; i++) window[i % 32768] = data[i];
    }
    stream_writer b; /* from the failed stream, the short one and the first */
    b.fixed(1), b.literal('Z'), b.match(8, 32760), b.match(4, 32277), b.match(4, 22);
    b.end_block();
    EXPECT_EQ(INFLATE_OK, fake_inflate(b.done(), &out));
    bytes expect = {'Z'};
    const size_t read[3][2] = {{9, 8}, {500, 4}, {32759, 4}}; /* window offset, length */
    for (const auto &r : read)
        expect.insert(expect.end(), window.begin() + r[0], window.begin() + r[0] + r[1]);
    EXPECT_EQ(expect, out);
}

TEST_F(Inflate, InputIsDrawnOnlyAsNeededAndTheRestGivenBack) {
    stream_writer ff; /* made-up bytes: two for the lookahead, refused at the third */
    ff.header(1, 1);
    ff.bits(0x1FFFFF, 21);
    EXPECT_EQ(INFLATE_BAD_DATA, decode(ff.done()));
    EXPECT_EQ(3, fake.empty_draws);
    stream_writer stored, bad; /* what a coded block gives back: edges_test */
    stored.stored(1, text("abc"));
    bytes stream = stored.done();
    stream.push_back(0x77);
    EXPECT_EQ(INFLATE_OK, decode(stream));
    EXPECT_EQ(stream.size() - 1, fake.consumed);
    EXPECT_EQ(0u, inflate_unused_bytes());
    bad.header(0, 3);
    bad.bits(0xABCDEF, 24);
    EXPECT_EQ(INFLATE_BAD_INPUT, decode(bad.done()));
    EXPECT_EQ(1u, fake.consumed);
}
