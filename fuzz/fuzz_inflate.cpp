/*
 * fuzz_inflate.cpp: inflate_stream over arbitrary bytes, with a small stand-in
 * for the extraction engine around it (next_byte over the input, served in
 * chunks as the engine's input buffer serves them, and an output buffer whose
 * flushes are counted).
 *
 * Beyond not crashing, every stream must end (the decoder asks for input past
 * the end at most as often as a valid stream's lookahead needs), must yield
 * no more than its bits can (a code takes at least one bit and a match yields
 * at most 258 bytes), must hand over only full output buffers, must release
 * its tables on every way out, and must decode exactly as zlib does whatever
 * zlib decodes to its end.  A hash of the input picks the chunk size, an
 * allocation to fail and a flush from which the engine abandons the stream.
 */
#include "inflate/inflate.h"
#include "platform/host.h"

#include <zlib.h>

#include <csetjmp>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

const uint8_t *input_cursor;
uint32_t input_left;
uint8_t *output_buffer;
uint32_t output_fill;
uint8_t *deflate_window;

namespace {

enum {
    MAX_MATCH = 258, /* longest output of one code */
    LOOKAHEAD = 2,   /* bytes a valid stream may ask for past its end */
    CHUNK_KINDS = 4
};
const size_t CHUNKS[CHUNK_KINDS] = {1, 3, 512, 0x7000};

struct stand_in {        /* the engine's side of one stream */
    const uint8_t *data; /* the compressed stream */
    size_t size, taken;  /* its length and the bytes served */
    size_t chunk;        /* bytes served per refill */
    uint8_t *input;      /* the input buffer, chunk bytes */
    int empty_draws;     /* next_byte calls after the end */
    int abandon_at;      /* flush that abandons, 0 none */
    int flushes;
    std::string out; /* every byte handed over */
    std::jmp_buf abandon_point;
} engine;

[[noreturn]] void broken(const char *why) {
    plat_write_stderr(why);
    plat_write_stderr("\n");
    abort();
}

uint32_t hash(const uint8_t *data, size_t size) {
    uint32_t h = 2166136261u;
    for (size_t i = 0; i < size; i++) h = (h ^ data[i]) * 16777619u;
    return h;
}

/* What zlib makes of the stream: true and its output when it reaches the
   end of the last block. */
bool zlib_decodes(const uint8_t *data, size_t size, std::string *out) {
    z_stream z;
    memset(&z, 0, sizeof z);
    if (inflateInit2(&z, -15) != Z_OK) return false;
    z.next_in = const_cast<Bytef *>(data);
    z.avail_in = uInt(size);
    unsigned char piece[16384];
    int r;
    do {
        z.next_out = piece;
        z.avail_out = sizeof piece;
        r = inflate(&z, Z_NO_FLUSH);
        out->append(reinterpret_cast<char *>(piece), sizeof piece - z.avail_out);
    } while (r == Z_OK && out->size() < (64u << 20));
    inflateEnd(&z);
    return r == Z_STREAM_END;
}

void run_stream(void) {
    int result = inflate_stream();
    engine.out.append(reinterpret_cast<char *>(output_buffer), output_fill);
    output_fill = 0;
    if (result < INFLATE_OK || result > INFLATE_NO_MEMORY) broken("result out of range");
    if (engine.empty_draws > LOOKAHEAD + 1) broken("stream asked past its end without limit");
    if (getenv("TV_FUZZ_VERBOSE"))
        fprintf(stderr, "result %d unused %u taken %zu draws %d\n", result, inflate_unused_bytes(),
                engine.taken, engine.empty_draws);
    if (inflate_unused_bytes() > engine.taken) broken("more unused bytes than were taken");
    if (host_live_blocks() != 0) broken("tables left after the stream");
    std::string expected;
    if (result != INFLATE_NO_MEMORY && zlib_decodes(engine.data, engine.size, &expected)) {
        if (result != INFLATE_OK) broken("a stream zlib decodes was refused");
        if (engine.out != expected) broken("output differs from zlib's");
    }
}

} /* namespace */

int next_byte(uint16_t *cell) {
    if (input_left == 0 && engine.taken < engine.size) {
        size_t n = engine.size - engine.taken;
        if (n > engine.chunk) n = engine.chunk;
        memcpy(engine.input, engine.data + engine.taken, n);
        engine.taken += n;
        input_cursor = engine.input;
        input_left = uint32_t(n);
    }
    if (input_left == 0) {
        engine.empty_draws++;
        return 0;
    }
    *cell = *input_cursor++;
    input_left--;
    return 8;
}

void flush_output(void) {
    if (output_fill != OUTPUT_CAPACITY) broken("a flush of a buffer not full");
    engine.out.append(reinterpret_cast<char *>(output_buffer), output_fill);
    output_fill = 0;
    if (++engine.flushes == engine.abandon_at) std::longjmp(engine.abandon_point, 1);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static uint8_t *window = static_cast<uint8_t *>(calloc(WINDOW_SIZE + 8, 1));
    static uint8_t *output = static_cast<uint8_t *>(malloc(OUTPUT_CAPACITY));
    uint32_t h = hash(data, size);
    engine.data = data;
    engine.size = size;
    engine.taken = 0;
    engine.chunk = CHUNKS[h % CHUNK_KINDS];
    engine.input = static_cast<uint8_t *>(malloc(engine.chunk));
    engine.empty_draws = 0;
    engine.flushes = 0;
    engine.abandon_at = (h >> 4) % 8 == 0 ? int(1 + (h >> 8) % 3) : 0;
    engine.out.clear();
    deflate_window = window;
    output_buffer = output;
    output_fill = 0;
    input_cursor = nullptr;
    input_left = 0;
    host_fail_call(FAULT_MALLOC, (h >> 12) % 16 == 0 ? int(1 + (h >> 16) % 64) : 0);
    if (setjmp(engine.abandon_point) == 0) {
        run_stream();
    } else {
        inflate_release_tables(); /* as the engine's clean-up does */
        if (host_live_blocks() != 0) broken("tables left after an abandon");
    }
    host_fail_call(FAULT_MALLOC, 0);
    if (engine.out.size() > MAX_MATCH * 8 * (size + LOOKAHEAD))
        broken("more output than the stream's bits can yield");
    free(engine.input);
    return 0;
}
