/*
 * fuzz_inflate.cpp: inflate_stream over arbitrary bytes through the decoder
 * tests' stand-in engine, with the chunk size, a failed allocation and an
 * abandoning flush picked by the input's hash.  Each stream must end, yield
 * no more than its bits can, flush only full buffers, release its tables and
 * decode as zlib does whatever zlib decodes.
 */
#include "inflate/inflate.h"
#include "fuzz/fuzz_common.h"
#include "platform/host.h"
#include "tests/inflate/fake_engine.h"

#include <zlib.h>

#include <csetjmp>
#include <cstring>

namespace {

enum {
    MAX_MATCH = 258, /* longest output of one code */
    LOOKAHEAD = 2,   /* bytes a valid stream may ask for past its end */
    CHUNK_KINDS = 4
};
const size_t CHUNKS[CHUNK_KINDS] = {1, 3, 512, 0x7000};

/* What zlib makes of the stream: true and its output when it reaches the
   end of the last block. */
bool zlib_decodes(const std::vector<uint8_t> &data, std::vector<uint8_t> *out) {
    z_stream z;
    memset(&z, 0, sizeof z);
    if (inflateInit2(&z, -15) != Z_OK) return false;
    z.next_in = const_cast<Bytef *>(data.data());
    z.avail_in = uInt(data.size());
    unsigned char piece[16384];
    int r;
    do {
        z.next_out = piece;
        z.avail_out = sizeof piece;
        r = inflate(&z, Z_NO_FLUSH);
        out->insert(out->end(), piece, piece + sizeof piece - z.avail_out);
    } while (r == Z_OK && out->size() < (64u << 20));
    inflateEnd(&z);
    return r == Z_STREAM_END;
}

void check_stream(const std::vector<uint8_t> &data, int result) {
    if (result < INFLATE_OK || result > INFLATE_NO_MEMORY) broken("result out of range");
    if (fake.empty_draws > LOOKAHEAD + 1) broken("stream asked past its end without limit");
    if (fake.used > fake.consumed) broken("more unused bytes than were taken");
    if (host_live_blocks() != 0) broken("tables left after the stream");
    std::vector<uint8_t> expected;
    if (result != INFLATE_NO_MEMORY && zlib_decodes(data, &expected)) {
        if (result != INFLATE_OK) broken("a stream zlib decodes was refused");
        if (fake.output != expected) broken("output differs from zlib's");
    }
}

} /* namespace */

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    host_reset(); /* every input starts as the program does */
    static bool started = (fake_start_run(), true);
    (void)started;
    uint32_t h = hash(data, size);
    std::vector<uint8_t> stream(data, data + size);
    fake_set_input(stream, CHUNKS[h % CHUNK_KINDS]);
    std::jmp_buf abandon;
    if ((h >> 4) % 8 == 0) fake_abandon_at_flush(&abandon, int(1 + (h >> 8) % 3));
    host_fail_call(FAULT_MALLOC, (h >> 12) % 16 == 0 ? int(1 + (h >> 16) % 64) : 0);
    if (setjmp(abandon) == 0) {
        check_stream(stream, fake_finish(inflate_stream()));
    } else {
        inflate_release_tables(); /* as the engine's clean-up does */
        if (host_live_blocks() != 0) broken("tables left after an abandon");
    }
    host_fail_call(FAULT_MALLOC, 0);
    if (fake.bad_flushes) broken("a flush of a buffer not full");
    if (fake.output.size() > MAX_MATCH * 8 * (size + LOOKAHEAD))
        broken("more output than the stream's bits can yield");
    return 0;
}
