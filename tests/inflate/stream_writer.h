/*
 * stream_writer.h: a small Deflate writer for hand-made test streams.  It
 * packs bits least significant first and Huffman codes most significant
 * first, derives canonical codes from lengths, and writes block headers and
 * symbols, so that each test states the stream it means in a few lines,
 * including streams no real compressor would produce.
 */
#ifndef TARVEX_TESTS_INFLATE_STREAM_WRITER_H
#define TARVEX_TESTS_INFLATE_STREAM_WRITER_H

#include <cstddef>
#include <cstdint>
#include <vector>

/* Base values and extra-bit counts of the length symbols from 257 on and of
   the distance symbols, as the decoder's builds give them (99: no symbol). */
const uint16_t LENGTH_BASE[31] = {3,  4,   5,   6,   7,   8,   9,   10, 11, 13, 15,
                                  17, 19,  23,  27,  31,  35,  43,  51, 59, 67, 83,
                                  99, 115, 131, 163, 195, 227, 258, 0,  0};
const uint16_t LENGTH_EXTRA[31] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2,  2, 2,
                                   3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0, 99, 99};
const uint16_t DISTANCE_BASE[30] = {1,    2,    3,    4,    5,    7,    9,    13,    17,    25,
                                    33,   49,   65,   97,   129,  193,  257,  385,   513,   769,
                                    1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
const uint16_t DISTANCE_EXTRA[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                     6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

struct cl_item {
    unsigned symbol; /* a symbol of the code-length code */
    unsigned extra;  /* the value of its repeat bits (16, 17, 18) */
};

/* A complete literal/length code over 286 symbols (literals 9 bits, 256 and
   257 5 bits, the other lengths 6) and distance code over 30 (0 and 1 4 bits,
   the others 5); the code-length code 0-12 of 4 bits and 13-18 of 5. */
inline std::vector<unsigned> full_literal_lengths() {
    std::vector<unsigned> len(286, 9);
    len[256] = len[257] = 5;
    for (unsigned i = 258; i < 286; i++) len[i] = 6;
    return len;
}
/* The fixed literal/length code's lengths, over all 288 symbols. */
inline std::vector<unsigned> fixed_literal_lengths() {
    std::vector<unsigned> len(288, 8);
    for (unsigned i = 144; i < 256; i++) len[i] = 9;
    for (unsigned i = 256; i < 280; i++) len[i] = 7;
    return len;
}
inline std::vector<unsigned> full_distance_lengths() {
    std::vector<unsigned> len(30, 5);
    len[0] = len[1] = 4;
    return len;
}
inline std::vector<unsigned> default_cl() {
    std::vector<unsigned> cl(19, 5);
    for (unsigned i = 0; i < 13; i++) cl[i] = 4;
    return cl;
}
/* The code-length code's items that give these lengths one by one. */
inline std::vector<cl_item> plain_items(const std::vector<unsigned> &lit,
                                        const std::vector<unsigned> &dist) {
    std::vector<cl_item> items;
    for (unsigned l : lit) items.push_back({l, 0});
    for (unsigned l : dist) items.push_back({l, 0});
    return items;
}

struct stream_writer {
    std::vector<uint8_t> bytes;                                   /* whole bytes written */
    uint32_t pending = 0;                                         /* bits not yet a whole byte */
    unsigned pending_bits = 0;                                    /* how many */
    std::vector<unsigned> lit_len, lit_code, dist_len, dist_code; /* the block's codes */

    void bits(unsigned value, unsigned count) {
        pending |= value << pending_bits;
        pending_bits += count;
        while (pending_bits >= 8) {
            bytes.push_back((uint8_t)pending);
            pending >>= 8;
            pending_bits -= 8;
        }
    }
    void code(unsigned c, unsigned len) {
        for (unsigned i = len; i-- > 0;) bits((c >> i) & 1, 1);
    }
    void align() {
        if (pending_bits) bits(0, 8 - pending_bits);
    }
    std::vector<uint8_t> done() {
        align();
        return bytes;
    }

    static std::vector<unsigned> canonical(const std::vector<unsigned> &len) {
        unsigned count[17] = {0}, next[17] = {0};
        for (unsigned l : len) count[l]++;
        count[0] = 0;
        for (unsigned l = 1, c = 0; l <= 16; l++) next[l] = c = (c + count[l - 1]) << 1;
        std::vector<unsigned> codes(len.size());
        for (size_t i = 0; i < len.size(); i++) codes[i] = len[i] ? next[len[i]]++ : 0;
        return codes;
    }

    void header(int last, unsigned type) {
        bits(last ? 1 : 0, 1);
        bits(type, 2);
    }
    void stored(int last, const std::vector<uint8_t> &data) {
        header(last, 0);
        align();
        bits(data.size() & 0xFFFF, 16);
        bits(~data.size() & 0xFFFF, 16);
        for (uint8_t b : data) bits(b, 8);
    }
    void fixed(int last) {
        header(last, 1);
        use_codes(fixed_literal_lengths(), std::vector<unsigned>(30, 5));
    }
    /* A dynamic header giving the code-length code's lengths in order and the
       items read through it; nl and nd as the header states them. */
    void dynamic_raw(int last, unsigned nl, unsigned nd, const std::vector<unsigned> &cl_len,
                     const std::vector<cl_item> &items) {
        static const unsigned order[19] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                           11, 4,  12, 3, 13, 2, 14, 1, 15};
        header(last, 2);
        bits(nl - 257, 5);
        bits(nd - 1, 5);
        unsigned nb = 19;
        while (nb > 4 && cl_len[order[nb - 1]] == 0) nb--;
        bits(nb - 4, 4);
        for (unsigned i = 0; i < nb; i++) bits(cl_len[order[i]], 3);
        std::vector<unsigned> cl_code = canonical(cl_len);
        static const unsigned repeat_bits[3] = {2, 3, 7};
        for (const cl_item &it : items) {
            code(cl_code[it.symbol], cl_len[it.symbol]);
            if (it.symbol >= 16) bits(it.extra, repeat_bits[it.symbol - 16]);
        }
    }
    /* A dynamic header for these codes, each length written as it stands
       through the code-length code default_cl. */
    void dynamic(int last, const std::vector<unsigned> &lit, const std::vector<unsigned> &dist) {
        dynamic_raw(last, (unsigned)lit.size(), (unsigned)dist.size(), default_cl(),
                    plain_items(lit, dist));
        use_codes(lit, dist);
    }
    void use_codes(const std::vector<unsigned> &lit, const std::vector<unsigned> &dist) {
        lit_len = lit;
        dist_len = dist;
        lit_code = canonical(lit);
        dist_code = canonical(dist);
    }

    void symbol(unsigned s) { code(lit_code[s], lit_len[s]); }
    void literal(uint8_t b) { symbol(b); }
    void end_block() { symbol(256); }
    void literals(const char *text) {
        while (*text) literal((uint8_t)*text++);
    }
    void match(unsigned length, unsigned distance) {
        unsigned l = 28, d = 29;
        while (LENGTH_BASE[l] > length) l--;
        symbol(257 + l);
        bits(length - LENGTH_BASE[l], LENGTH_EXTRA[l]);
        while (DISTANCE_BASE[d] > distance) d--;
        code(dist_code[d], dist_len[d]);
        bits(distance - DISTANCE_BASE[d], DISTANCE_EXTRA[d]);
    }
};

#endif
