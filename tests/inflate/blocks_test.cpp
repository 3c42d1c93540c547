/*
 * blocks_test.cpp: the block decoders on hand-made streams: stored, fixed and
 * dynamic blocks, every way a stream is refused, the window's wrap and its
 * hand-over to the output buffer, streams that run out of input, and the
 * bytes a stream gives back.  Every stream is decoded with its input served
 * at once, a byte at a time and in small chunks, and the three must agree.
 */
#include "tests/inflate/fake_engine.h"
#include "tests/inflate/stream_writer.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::vector<uint8_t> bytes_of(const std::string &s) {
    return std::vector<uint8_t>(s.begin(), s.end());
}

/* Decodes in a fresh run with each way of serving the input. */
int decode(const std::vector<uint8_t> &stream, std::vector<uint8_t> *out = nullptr) {
    int result = 0;
    std::vector<uint8_t> first;
    fake_record first_record;
    const size_t chunks[3] = {0, 1, 5};
    for (int i = 0; i < 3; i++) {
        fake_start_run();
        std::vector<uint8_t> got;
        int r = fake_inflate(stream, &got, chunks[i]);
        EXPECT_EQ(0, fake.bad_flushes);
        if (i == 0) {
            result = r;
            first = got;
            first_record = fake;
        } else {
            EXPECT_EQ(result, r) << "chunk " << chunks[i];
            EXPECT_EQ(first, got) << "chunk " << chunks[i];
            EXPECT_EQ(first_record.consumed, fake.consumed) << "chunk " << chunks[i];
        }
    }
    fake = first_record;
    if (out) *out = first;
    return result;
}

/* A complete literal/length code (every literal 9 bits, end of block and the
   first length symbol 5 bits, the other length symbols 6) and a complete
   distance code (0 and 1 4 bits, the others 5). */
std::vector<unsigned> full_literal_lengths() {
    std::vector<unsigned> len(286, 9);
    len[256] = len[257] = 5;
    for (unsigned i = 258; i < 286; i++) len[i] = 6;
    return len;
}
std::vector<unsigned> full_distance_lengths() {
    std::vector<unsigned> len(30, 5);
    len[0] = len[1] = 4;
    return len;
}

/* The code-length code the writer uses by default: 0-12 4 bits, 13-18 5. */
std::vector<unsigned> default_cl() {
    std::vector<unsigned> cl(19, 5);
    for (unsigned i = 0; i < 13; i++) cl[i] = 4;
    return cl;
}

std::vector<cl_item> plain_items(const std::vector<unsigned> &lit,
                                 const std::vector<unsigned> &dist) {
    std::vector<cl_item> items;
    for (unsigned l : lit) items.push_back({l, 0});
    for (unsigned l : dist) items.push_back({l, 0});
    return items;
}

/* A dynamic final block over the given codes holding "ab", a match and the
   end of block; the result of decoding it. */
int decode_dynamic_with(const std::vector<unsigned> &lit, const std::vector<unsigned> &dist,
                        std::vector<uint8_t> *out = nullptr) {
    stream_writer w;
    w.dynamic(1, lit, dist);
    w.literals("ab");
    w.match(4, 2);
    w.end_block();
    return decode(w.done(), out);
}

class Inflate : public ::testing::Test {
  protected:
    void TearDown() override { fake_end_run(); }
};

} /* namespace */

/* ---- Stored blocks ---------------------------------------------------- */

TEST_F(Inflate, EmptyStoredFinalBlockGivesNothing) {
    stream_writer w;
    w.stored(1, {});
    std::vector<uint8_t> out;
    EXPECT_EQ(INFLATE_OK, decode(w.done(), &out));
    EXPECT_TRUE(out.empty());
    EXPECT_EQ(5u, fake.consumed);
}

TEST_F(Inflate, BlocksOfEveryKindFollowEachOtherInOneStream) {
    stream_writer w;
    w.stored(0, bytes_of("Hello, "));
    w.stored(0, {});
    w.fixed(0);
    w.literals("wor");
    w.match(3, 3);
    w.end_block();
    w.stored(0, bytes_of("!"));
    w.dynamic(1, full_literal_lengths(), full_distance_lengths());
    w.literals("xy");
    w.match(10, 2);
    w.end_block();
    std::vector<uint8_t> out;
    EXPECT_EQ(INFLATE_OK, decode(w.done(), &out));
    EXPECT_EQ(bytes_of("Hello, worwor!xyxyxyxyxyxy"), out);
}

TEST_F(Inflate, StoredLengthWithoutItsComplementIsRefused) {
    stream_writer w;
    w.header(1, 0);
    w.align();
    w.bits(3, 16);
    w.bits(0xFFFC ^ 1, 16);
    w.bits(0x616161, 24);
    std::vector<uint8_t> out;
    EXPECT_EQ(INFLATE_BAD_DATA, decode(w.done(), &out));
    EXPECT_TRUE(out.empty());
}

/* ---- Fixed blocks ------------------------------------------------------- */

TEST_F(Inflate, DistanceOneLength258RepeatsTheLastByte) {
    stream_writer w;
    w.fixed(1);
    w.literal('q');
    w.match(258, 1);
    w.end_block();
    std::vector<uint8_t> out;
    EXPECT_EQ(INFLATE_OK, decode(w.done(), &out));
    EXPECT_EQ(std::vector<uint8_t>(259, 'q'), out);
}

TEST_F(Inflate, CodesThatNoSymbolMayUseAreRefused) {
    for (unsigned sym : {286u, 287u}) {
        stream_writer w;
        w.fixed(1);
        w.literal('a');
        w.symbol(sym);
        w.bits(0, 16);
        std::vector<uint8_t> out;
        EXPECT_EQ(INFLATE_BAD_DATA, decode(w.done(), &out)) << sym;
        EXPECT_TRUE(out.empty()) << "nothing since the last emission is handed over";
    }
    for (unsigned dsym : {30u, 31u}) {
        stream_writer w;
        w.fixed(1);
        w.literal('a');
        w.symbol(257);
        w.code(dsym, 5);
        w.bits(0, 16);
        EXPECT_EQ(INFLATE_BAD_DATA, decode(w.done())) << dsym;
    }
}

TEST_F(Inflate, BlockTypeThreeIsRefusedWithoutReadingFurther) {
    stream_writer w;
    w.header(0, 3);
    w.bits(0, 5);
    w.bits(0xABCDEF, 24);
    EXPECT_EQ(INFLATE_BAD_INPUT, decode(w.done()));
    EXPECT_EQ(1u, fake.consumed);
}

/* ---- Dynamic blocks ----------------------------------------------------- */

TEST_F(Inflate, HeaderCountsBeyondTheAlphabetsAreRefused) {
    for (unsigned nl : {287u, 288u}) {
        stream_writer w;
        w.dynamic_raw(1, nl, 30, default_cl(), {});
        w.bits(0, 16);
        EXPECT_EQ(INFLATE_BAD_DATA, decode(w.done())) << nl;
    }
    for (unsigned nd : {31u, 32u}) {
        stream_writer w;
        w.dynamic_raw(1, 286, nd, default_cl(), {});
        w.bits(0, 16);
        EXPECT_EQ(INFLATE_BAD_DATA, decode(w.done())) << nd;
    }
}

TEST_F(Inflate, RunsPastTheLastLengthAreRefusedAndRunsUpToItPass) {
    std::vector<unsigned> lit = full_literal_lengths(), dist = full_distance_lengths();
    std::vector<cl_item> items = plain_items(lit, dist);
    items.resize(items.size() - 3); /* room for one run of 3 */
    for (unsigned sym : {16u, 17u, 18u}) {
        std::vector<cl_item> bad = items;
        bad.push_back({sym, sym == 18 ? 0u : 1u}); /* 4 (or 11) lengths where 3 are left */
        stream_writer w;
        w.dynamic_raw(1, 286, 30, default_cl(), bad);
        w.bits(0, 16);
        EXPECT_EQ(INFLATE_BAD_DATA, decode(w.done())) << sym;
    }
    std::vector<cl_item> good = items;
    good.push_back({16, 0}); /* the last length (5) three more times */
    stream_writer w;
    w.dynamic_raw(1, 286, 30, default_cl(), good);
    w.use_codes(lit, dist);
    w.literals("ok");
    w.end_block();
    std::vector<uint8_t> out;
    EXPECT_EQ(INFLATE_OK, decode(w.done(), &out));
    EXPECT_EQ(bytes_of("ok"), out);
}

TEST_F(Inflate, OverSubscribedCodesAreBadInputAndIncompleteOnesBadData) {
    std::vector<unsigned> lit = full_literal_lengths(), dist = full_distance_lengths();
    /* code-length code */
    std::vector<unsigned> cl = default_cl();
    cl[0] = 3;
    stream_writer over;
    over.dynamic_raw(1, 286, 30, cl, {});
    over.bits(0, 16);
    EXPECT_EQ(INFLATE_BAD_INPUT, decode(over.done()));
    cl = default_cl();
    cl[18] = 0;
    stream_writer under;
    under.dynamic_raw(1, 286, 30, cl, {});
    under.bits(0, 16);
    EXPECT_EQ(INFLATE_BAD_DATA, decode(under.done()));
    /* literal/length code */
    std::vector<unsigned> bad = lit;
    bad[0] = 8;
    EXPECT_EQ(INFLATE_BAD_INPUT, decode_dynamic_with(bad, dist));
    bad = lit;
    bad[285] = 0;
    EXPECT_EQ(INFLATE_BAD_DATA, decode_dynamic_with(bad, dist));
    /* distance code */
    bad = dist;
    bad[29] = 3;
    EXPECT_EQ(INFLATE_BAD_INPUT, decode_dynamic_with(lit, bad));
    bad = dist;
    bad[29] = 0;
    EXPECT_EQ(INFLATE_BAD_DATA, decode_dynamic_with(lit, bad));
    EXPECT_EQ(INFLATE_BAD_DATA, decode_dynamic_with(lit, {0, 2}));
}

TEST_F(Inflate, RepeatAtTheVeryStartRepeatsZero) {
    std::vector<unsigned> lit = full_literal_lengths();
    lit[0] = lit[1] = lit[2] = 0;
    lit[3] = lit[4] = lit[5] = 8;
    std::vector<unsigned> dist = full_distance_lengths();
    std::vector<cl_item> items = plain_items(lit, dist);
    items.erase(items.begin(), items.begin() + 3);
    items.insert(items.begin(), {16, 0});
    stream_writer w;
    w.dynamic_raw(1, 286, 30, default_cl(), items);
    w.use_codes(lit, dist);
    w.literals("\x03\x05");
    w.end_block();
    std::vector<uint8_t> out;
    EXPECT_EQ(INFLATE_OK, decode(w.done(), &out));
    EXPECT_EQ(bytes_of("\x03\x05"), out);
}

TEST_F(Inflate, SingleOneBitDistanceCodeDecodesAndItsOtherCodeIsRefused) {
    std::vector<unsigned> dist = {1};
    stream_writer good;
    good.dynamic(1, full_literal_lengths(), dist);
    good.literals("ab");
    good.match(4, 1);
    good.end_block();
    std::vector<uint8_t> out;
    EXPECT_EQ(INFLATE_OK, decode(good.done(), &out));
    EXPECT_EQ(bytes_of("abbbbb"), out);
    stream_writer w;
    w.dynamic(1, full_literal_lengths(), dist);
    w.literals("ab");
    w.symbol(258);
    w.bits(1, 1); /* the placeholder beside the one code */
    w.end_block();
    EXPECT_EQ(INFLATE_BAD_DATA, decode(w.done()));
}

TEST_F(Inflate, EmptyDistanceCodeServesLiteralsButNoMatch) {
    std::vector<unsigned> none(30, 0);
    stream_writer w;
    w.dynamic(1, full_literal_lengths(), none);
    w.literals("only literals");
    w.end_block();
    std::vector<uint8_t> out;
    EXPECT_EQ(INFLATE_OK, decode(w.done(), &out));
    EXPECT_EQ(bytes_of("only literals"), out);
    EXPECT_EQ(INFLATE_BAD_DATA, decode_dynamic_with(full_literal_lengths(), none));
}

TEST_F(Inflate, CodesWithNoLengthsAtAllAreRefused) {
    /* a code-length code whose lengths are all zero */
    stream_writer w;
    w.dynamic_raw(1, 257, 1, std::vector<unsigned>(19, 0), {});
    w.bits(0, 16);
    EXPECT_EQ(INFLATE_BAD_DATA, decode(w.done()));
    /* a literal/length code whose lengths are all zero */
    stream_writer z;
    z.dynamic_raw(1, 257, 1, default_cl(), {{18, 127}, {18, 109}});
    z.bits(0, 16);
    EXPECT_EQ(INFLATE_BAD_DATA, decode(z.done()));
}

/* ---- The window and the output buffer ---------------------------------- */

TEST_F(Inflate, ExactlyOneWindowIsHandedOverOnceWithAnEmptyFinalEmission) {
    std::vector<uint8_t> data(32768);
    for (size_t i = 0; i < data.size(); i++) data[i] = (uint8_t)(i * 7 + i / 251);
    stream_writer w;
    w.stored(0, std::vector<uint8_t>(data.begin(), data.begin() + 20000));
    w.stored(1, std::vector<uint8_t>(data.begin() + 20000, data.end()));
    std::vector<uint8_t> out;
    EXPECT_EQ(INFLATE_OK, decode(w.done(), &out));
    EXPECT_EQ(data, out);
    EXPECT_EQ(1, fake.flushes);
}

TEST_F(Inflate, SourcesBeforeTheStreamReadZerosThenTheRunsEarlierMembers) {
    fake_start_run();
    std::vector<uint8_t> first(40000);
    for (size_t i = 0; i < first.size(); i++) first[i] = (uint8_t)(1 + i % 199);
    stream_writer a;
    a.fixed(1);
    a.literal('x');
    a.match(5, 100);
    a.end_block();
    std::vector<uint8_t> out;
    EXPECT_EQ(INFLATE_OK, fake_inflate(a.done(), &out));
    EXPECT_EQ(bytes_of(std::string("x\0\0\0\0\0", 6)), out);
    stream_writer b;
    b.stored(1, first);
    EXPECT_EQ(INFLATE_OK, fake_inflate(b.done(), &out));
    stream_writer c;
    c.fixed(1);
    c.literal('Z');
    c.match(4, 10);
    c.end_block();
    EXPECT_EQ(INFLATE_OK, fake_inflate(c.done(), &out));
    std::vector<uint8_t> expect = {'Z'};
    expect.insert(expect.end(), first.begin() + 32759, first.begin() + 32763);
    EXPECT_EQ(expect, out);
}

TEST_F(Inflate, FailureHandsOverNothingDecodedSinceTheLastFullWindow) {
    stream_writer w;
    w.stored(0, std::vector<uint8_t>(40000, 'k'));
    w.fixed(1);
    w.literal('a');
    w.symbol(287);
    w.bits(0, 16);
    std::vector<uint8_t> out;
    EXPECT_EQ(INFLATE_BAD_DATA, decode(w.done(), &out));
    EXPECT_EQ(std::vector<uint8_t>(32768, 'k'), out) << "the full window only";
}

/* ---- Running out of input, and bytes given back ----------------------- */

TEST_F(Inflate, LastCodeEndingAtTheLastByteDecodesFromItsLookahead) {
    std::vector<unsigned> lit(257, 0);
    const char *syms = "abcdefghi";
    for (unsigned i = 0; i < 9; i++) lit[(uint8_t)syms[i]] = i < 1 ? 1 : i + 2;
    lit['i'] = 9;
    lit[256] = 2;
    stream_writer w;
    w.dynamic(1, lit, {0});
    w.literals("hib");
    while ((w.pending_bits + 2) % 8 != 0) w.literal('a');
    w.end_block();
    ASSERT_EQ(0u, w.pending_bits);
    std::vector<uint8_t> stream = w.done();
    std::vector<uint8_t> out;
    EXPECT_EQ(INFLATE_OK, decode(stream, &out));
    EXPECT_EQ(bytes_of("hib"), std::vector<uint8_t>(out.begin(), out.begin() + 3));
    EXPECT_GT(fake.empty_draws, 0);
    EXPECT_EQ(stream.size(), fake.consumed);
    EXPECT_EQ(0u, inflate_unused_bytes());
}

TEST_F(Inflate, StreamsThatKeepAskingAfterTheirDataEndAreRefused) {
    stream_writer ff;
    ff.header(1, 1);
    ff.bits(0xFF, 5);
    for (int i = 0; i < 64; i++) ff.bits(0xFF, 8);
    EXPECT_EQ(INFLATE_BAD_DATA, decode(ff.done()));
    EXPECT_EQ(3, fake.empty_draws) << "two made-up bytes, refused at the third";
    stream_writer cut;
    cut.stored(1, std::vector<uint8_t>(100, 'c'));
    std::vector<uint8_t> stream = cut.done();
    stream.resize(50);
    EXPECT_EQ(INFLATE_BAD_DATA, decode(stream));
    stream_writer header_only;
    header_only.dynamic(1, full_literal_lengths(), full_distance_lengths());
    stream = header_only.done();
    stream.resize(stream.size() / 2);
    EXPECT_EQ(INFLATE_BAD_DATA, decode(stream));
}

TEST_F(Inflate, BytesReadPastTheLastBlockAreGivenBack) {
    stream_writer w;
    w.fixed(1);
    w.literals("abc");
    w.end_block();
    std::vector<uint8_t> stream = w.done();
    const size_t length = stream.size();
    stream.insert(stream.end(), 10, 0x5A);
    EXPECT_EQ(INFLATE_OK, decode(stream));
    EXPECT_LE(fake.consumed, length + 2);
    EXPECT_EQ(length, fake.consumed - inflate_unused_bytes());
    stream_writer s;
    s.stored(1, bytes_of("abc"));
    stream = s.done();
    stream.push_back(0x77);
    EXPECT_EQ(INFLATE_OK, decode(stream));
    EXPECT_EQ(stream.size() - 1, fake.consumed);
    EXPECT_EQ(0u, inflate_unused_bytes());
}
