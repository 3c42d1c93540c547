/*
 * zlib_test.cpp: streams from zlib's raw deflate at every level and strategy
 * decode to the data they were made from: text, random bytes, long runs and
 * mixtures, with sizes around the output buffer's and the window's edges,
 * served whole and in odd chunks, with the bytes past each stream given back.
 */
#include "tests/inflate/fake_engine.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <random>
#include <string>

namespace {

/* zlib's raw deflate of in at this level and strategy. */
std::vector<uint8_t> through_zlib(const std::vector<uint8_t> &in, int level, int strategy) {
    z_stream z = {};
    EXPECT_EQ(Z_OK, deflateInit2(&z, level, Z_DEFLATED, -15, 9, strategy));
    std::vector<uint8_t> out(in.size() * 2 + 64);
    z.next_in = const_cast<Bytef *>(in.data());
    z.avail_in = (uInt)in.size();
    z.next_out = out.data();
    z.avail_out = (uInt)out.size();
    EXPECT_EQ(Z_STREAM_END, deflate(&z, Z_FINISH));
    out.resize(z.total_out);
    deflateEnd(&z);
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

void expect_round_trip(const std::vector<uint8_t> &data, int level, int strategy, size_t chunk) {
    std::vector<uint8_t> stream = through_zlib(data, level, strategy);
    const size_t length = stream.size();
    stream.insert(stream.end(), {0xDE, 0xAD, 0xBE, 0xEF});
    std::vector<uint8_t> out;
    ASSERT_EQ(INFLATE_OK, fake_inflate(stream, &out, chunk))
        << "size " << data.size() << " level " << level << " strategy " << strategy;
    ASSERT_TRUE(out == data) << "size " << data.size() << " level " << level << " strategy "
                             << strategy << " chunk " << chunk;
    EXPECT_EQ(0, fake.bad_flushes);
    EXPECT_EQ(length, fake.consumed - inflate_unused_bytes());
}

class ZlibStreams : public ::testing::Test {
  protected:
    void SetUp() override { fake_start_run(); }
    void TearDown() override { fake_end_run(); }
};

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

