/*
 * edges_test.cpp: the decoder against zlib.  Streams from zlib's raw deflate
 * at every level and strategy decode to the data they were made from (text,
 * random bytes, long runs and mixtures, sizes around the output buffer's and
 * the window's edges, served whole and in odd chunks); hand-made streams
 * decode as zlib decodes them where the fast road's word copies, top-ups and
 * margins could go wrong: every distance up to 40 with every length, far
 * matches around the window's turn, and streams ending at every distance
 * from the end of the engine's input.  Canaries after the window block and
 * after the output buffer show one byte written too many, and the bytes past
 * each stream must be given back.
 */
#include "tests/inflate/fake_engine.h"
#include "tests/inflate/stream_writer.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdlib>
#include <cstring>
#include <random>

namespace {

enum { CANARY = 64, CANARY_BYTE = 0xA5 };

/* in through zlib: its raw deflate at level (0-9) and strategy, or with
   level ZLIB_INFLATE its raw inflate; limit bytes out at most. */
enum { ZLIB_INFLATE = -1 };
std::vector<uint8_t> zlib_raw(const std::vector<uint8_t> &in, int level, int strategy,
                              size_t limit) {
    z_stream z = {};
    EXPECT_EQ(Z_OK, level == ZLIB_INFLATE ? inflateInit2(&z, -15)
                                          : deflateInit2(&z, level, Z_DEFLATED, -15, 9, strategy));
    std::vector<uint8_t> out(limit);
    z.next_in = const_cast<Bytef *>(in.data());
    z.avail_in = (uInt)in.size();
    z.next_out = out.data();
    z.avail_out = (uInt)out.size();
    EXPECT_EQ(Z_STREAM_END, level == ZLIB_INFLATE ? inflate(&z, Z_FINISH) : deflate(&z, Z_FINISH));
    out.resize(z.total_out);
    level == ZLIB_INFLATE ? inflateEnd(&z) : deflateEnd(&z);
    return out;
}

/* Words from a small vocabulary with random bytes and runs mixed in. */
std::vector<uint8_t> make_data(size_t size, unsigned seed, int kind) {
    static const char *const words[] = {"setup ",    "archive ",   "window ", "member ", "tarvex ",
                                        "deflate\n", "0123456789", "the ",    "of ",     "; "};
    std::mt19937 rng(seed);
    std::vector<uint8_t> data;
    while (data.size() < size) {
        unsigned pick = rng() % 100;
        if (kind == 1 || (kind == 2 && pick < 10)) {
            data.push_back((uint8_t)rng());
        } else if (kind == 3 || (kind == 2 && pick < 15)) {
            data.insert(data.end(), 1 + rng() % 700, (uint8_t)rng());
        } else {
            const char *w = words[rng() % 10];
            data.insert(data.end(), w, w + strlen(w));
        }
    }
    data.resize(size);
    return data;
}

std::vector<uint8_t> random_bytes(size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::vector<uint8_t> v(n);
    for (uint8_t &b : v) b = (uint8_t)rng();
    return v;
}

uint8_t guarded_output[OUTPUT_CAPACITY + CANARY]; /* the output buffer and its canary */

/* Decodes stream served chunk bytes at a time into the guarded output
   buffer; expects zlib's output (or expected when given), whole buffers
   flushed, the stream's length used, and both canaries as they were. */
void expect_as_zlib(const std::vector<uint8_t> &stream, size_t length, size_t chunk,
                    const std::vector<uint8_t> *expected = nullptr) {
    memset(guarded_output + OUTPUT_CAPACITY, CANARY_BYTE, CANARY);
    fake_set_input(stream, chunk);
    output_buffer = guarded_output;
    ASSERT_EQ(INFLATE_OK, fake_finish(inflate_stream())) << "chunk " << chunk;
    std::vector<uint8_t> zlib_out;
    if (!expected)
        expected = &(zlib_out = zlib_raw(stream, ZLIB_INFLATE, 0, fake.output.size() + 1));
    ASSERT_TRUE(fake.output == *expected)
        << "chunk " << chunk << ", " << fake.output.size() << " bytes against " << expected->size();
    EXPECT_EQ(0, fake.bad_flushes) << "chunk " << chunk;
    EXPECT_EQ(length, fake.used) << "chunk " << chunk;
    for (unsigned i = 0; i < CANARY; i++) {
        ASSERT_EQ(CANARY_BYTE, deflate_window[WINDOW_SIZE + 8 + i]) << "past the window, " << i;
        ASSERT_EQ(CANARY_BYTE, guarded_output[OUTPUT_CAPACITY + i]) << "past the output, " << i;
    }
}

/* zlib's stream of data, with bytes after it, decodes to data. */
void expect_round_trip(const std::vector<uint8_t> &data, int level, int strategy, size_t chunk) {
    std::vector<uint8_t> stream = zlib_raw(data, level, strategy, data.size() * 2 + 64);
    const size_t length = stream.size();
    stream.insert(stream.end(), {0xDE, 0xAD, 0xBE, 0xEF});
    SCOPED_TRACE("size " + std::to_string(data.size()) + " level " + std::to_string(level) +
                 " strategy " + std::to_string(strategy));
    expect_as_zlib(stream, length, chunk, &data);
}

/* How a test stream's matches are read: the plain road alone (input a byte
   at a time), the fast road through the builder's tables (a first block
   that starts with less than 8 KiB of input), or through its packed tables
   (a block after an empty one). */
const struct {
    size_t chunk;     /* bytes the engine serves at a time, 0 all */
    bool after_empty; /* an empty stored block first */
} roads[] = {
    /* chunk  after_empty */
    {  1,     false },
    {  4096,  false },
    {  0,     true  },
};

/* Literal codes of one and two bits ('a', 'b'), so that dozens of literals
   come between two top-ups, and the longest length and distances 1 and 2. */
void short_codes(stream_writer &w) {
    std::vector<unsigned> lit(286, 0), dist = {1, 1};
    lit['a'] = 1, lit['b'] = 2, lit[256] = 3, lit[285] = 4, lit[257] = 5, lit[258] = 5;
    w.dynamic(1, lit, dist);
}

/* A stream of one block (fixed, or of short_codes), the prefix's literals
   and then what write_block writes, after an empty stored block if asked. */
template <typename F>
std::vector<uint8_t> make_stream(bool after_empty, const std::vector<uint8_t> &prefix,
                                 F write_block, bool short_literals = false) {
    stream_writer w;
    if (after_empty) w.stored(0, {});
    if (short_literals)
        short_codes(w);
    else
        w.fixed(1);
    for (uint8_t b : prefix) w.literal(b);
    write_block(w);
    w.end_block();
    return w.done();
}

/* One run for all of a test's streams: they share the window block, with
   its canary behind it. */
class ZlibStreams : public ::testing::Test {
  protected:
    void SetUp() override {
        deflate_window = (uint8_t *)calloc(WINDOW_SIZE + 8 + CANARY, 1);
        memset(deflate_window + WINDOW_SIZE + 8, CANARY_BYTE, CANARY);
    }
    void TearDown() override { fake_end_run(); }
};
using Edges = ZlibStreams;

} /* namespace */

TEST_F(ZlibStreams, EveryLevelDecodesSizesAroundTheBufferAndWindowEdges) {
    const size_t sizes[] = {0, 1, 28671, 28672, 28673, 32767, 32768, 32769, 61440, 65536, 100003};
    for (int level = 0; level <= 9; level++) {
        for (size_t size : sizes) {
            for (int kind = 0; kind < 4; kind++) {
                expect_round_trip(make_data(size, (unsigned)(size + kind), kind), level,
                                  Z_DEFAULT_STRATEGY, 0);
                if (HasFatalFailure()) return;
            }
        }
    }
}

TEST_F(ZlibStreams, EveryStrategyOddChunksAndManyMembersOfOneRunDecode) {
    for (int strategy : {Z_FILTERED, Z_HUFFMAN_ONLY, Z_RLE, Z_FIXED}) {
        for (int kind = 0; kind < 4; kind++) {
            expect_round_trip(make_data(150000, 77u + (unsigned)kind, kind), 6, strategy, 0);
            if (HasFatalFailure()) return;
        }
    }
    for (size_t chunk : {1, 2, 3, 1000, 28672}) {
        expect_round_trip(make_data(90000, 5, 2), 9, Z_DEFAULT_STRATEGY, chunk);
        expect_round_trip(make_data(90000, 6, 1), 0, Z_DEFAULT_STRATEGY, chunk);
        if (HasFatalFailure()) return;
    }
    for (unsigned member = 0; member < 20; member++) { /* members of one run share the window */
        expect_round_trip(make_data(1000 + member * 3001, member, (int)member % 4),
                          (int)member % 10, Z_DEFAULT_STRATEGY, 0);
        if (HasFatalFailure()) return;
    }
}

TEST_F(Edges, EveryDistanceUpTo40WithEveryLengthCopiesAsZlib) {
    for (const auto &road : roads) {
        for (unsigned distance = 1; distance <= 40; distance++) {
            std::vector<uint8_t> stream =
                make_stream(road.after_empty, random_bytes(40, distance), [&](stream_writer &w) {
                    for (unsigned length = 3; length <= 258; length++) {
                        w.match(length, distance);
                        w.literal((uint8_t)length);
                    }
                });
            expect_as_zlib(stream, stream.size(), road.chunk);
            if (HasFatalFailure()) return;
        }
    }
}

TEST_F(Edges, FarMatchesAroundTheWindowsTurnCopyAsZlib) {
    const unsigned distances[] = {32768, 32767, 32761, 32760, 32700, 30000, 16384,
                                  4096,  1000,  300,   259,   258,   257,   41};
    for (const auto &road : roads) {
        std::mt19937 rng(7);
        std::vector<uint8_t> stream =
            make_stream(road.after_empty, random_bytes(33000, 3), [&](stream_writer &w) {
                for (unsigned i = 0; i < 3000; i++) {
                    w.match(3 + rng() % 256, distances[rng() % 14]);
                    if (rng() % 4 == 0) w.literal((uint8_t)i);
                }
            });
        expect_as_zlib(stream, stream.size(), road.chunk);
        if (HasFatalFailure()) return;
    }
}

/* A window's end, where its output goes out, and the output ring's end,
   where the writing turns and the fast road's margin lies. */
const unsigned ends[] = {WINDOW_SIZE, RING_SIZE};

TEST_F(Edges, LongMatchesMeetTheWindowsAndTheRingsEndAtEveryOffset) {
    for (const auto &road : roads) {
        for (unsigned end : ends) {
            for (unsigned start = end - 270; start <= end + 8; start++) {
                std::vector<uint8_t> stream =
                    make_stream(road.after_empty, random_bytes(40, start), [&](stream_writer &w) {
                        unsigned pos = 40;
                        for (; pos + 258 + 3 <= start; pos += 258) w.match(258, 40);
                        for (; pos < start; pos++) w.literal((uint8_t)pos);
                        for (unsigned distance : {40, 1, 300, 8}) w.match(258, distance);
                    });
                expect_as_zlib(stream, stream.size(), road.chunk);
                if (HasFatalFailure()) return;
            }
        }
    }
}

TEST_F(Edges, LongRunsOfShortLiteralsBeforeAMatchAtTheRingsEnd) {
    for (const auto &road : roads) {
        for (unsigned end : ends) {
            for (unsigned start = end - 300; start <= end; start++) {
                std::vector<uint8_t> stream = make_stream(
                    road.after_empty, {'a'},
                    [&](stream_writer &w) {
                        unsigned pos = 1;
                        for (; pos + 258 + 64 <= start; pos += 258) w.match(258, 1);
                        for (; pos < start; pos++) w.literal(pos % 7 ? 'a' : 'b');
                        for (int i = 0; i < 4; i++) w.match(258, 2);
                        for (int i = 0; i < 400; i++)
                            w.literal('b'); /* the fast road's input margin */
                    },
                    true);
                expect_as_zlib(stream, stream.size(), road.chunk);
                if (HasFatalFailure()) return;
            }
        }
    }
}

TEST_F(Edges, StreamsEndingAtEveryDistanceFromTheInputsEndDecodeAsZlib) {
    for (unsigned pieces : {20, 600, 2100}) { /* output about 24 bytes a piece */
        std::vector<uint8_t> stream =
            make_stream(pieces > 1000, random_bytes(8, pieces), [&](stream_writer &w) {
                for (unsigned i = 0; i < pieces; i++) {
                    for (uint8_t b : random_bytes(8, i)) w.literal(b);
                    w.match(8 + i % 20, 1 + i % 19);
                }
            });
        const size_t length = stream.size();
        for (unsigned tail = 0; tail <= 24; tail++) { /* bytes in the buffer after the stream */
            for (size_t chunk : {size_t(0), size_t(9), size_t(12), size_t(13)}) {
                expect_as_zlib(stream, length, chunk);
                if (HasFatalFailure()) return;
            }
            stream.push_back(0xEE);
        }
    }
}
