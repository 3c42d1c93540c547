/*
 * fake_engine.cpp: the engine's side of inflate.h over a byte array, for the
 * decoder's tests.  next_byte refills the input buffer in chunks as the real
 * engine does, so both of the decoder's ways of taking bytes are exercised.
 */
#include "tests/inflate/fake_engine.h"

#include <cstdlib>
#include <memory>
#include <cstring>

const uint8_t *input_cursor;
uint32_t input_left;
uint8_t *output_buffer;
uint32_t output_fill;
uint8_t *deflate_window;

fake_record fake;

namespace {
uint8_t output_block[OUTPUT_CAPACITY]; /* the output buffer */
std::vector<uint8_t> source;           /* the stream's compressed data */
std::unique_ptr<uint8_t[]> served;     /* the input buffer, chunk_size bytes */
size_t source_pos;                     /* bytes of it moved to the input buffer */
size_t chunk_size;                     /* bytes moved per refill */
std::jmp_buf *abandon_target;          /* where an abandon jumps, or none */
int abandon_flush;                     /* flush_output call that abandons */
} /* namespace */

void fake_start_run(void) {
    fake_end_run();
    deflate_window = (uint8_t *)calloc(WINDOW_SIZE + 8, 1);
}

void fake_end_run(void) {
    free(deflate_window);
    deflate_window = nullptr;
}

void fake_set_input(const std::vector<uint8_t> &data, size_t chunk) {
    source = data;
    source_pos = 0;
    chunk_size = chunk ? chunk : data.size();
    served.reset(new uint8_t[chunk_size + !chunk_size]);
    input_cursor = source.data();
    input_left = 0;
    output_buffer = output_block;
    output_fill = 0;
    fake = fake_record();
    abandon_target = nullptr;
}

void fake_abandon_at_flush(std::jmp_buf *target, int nth) {
    abandon_target = target;
    abandon_flush = nth;
}

int next_byte(uint16_t *cell) {
    if (input_left == 0) {
        size_t n = source.size() - source_pos;
        if (n > chunk_size) n = chunk_size;
        if (n) memcpy(served.get(), source.data() + source_pos, n);
        input_cursor = served.get();
        input_left = (uint32_t)n;
        source_pos += n;
    }
    if (input_left == 0) {
        fake.empty_draws++;
        return 0;
    }
    *cell = *input_cursor++;
    input_left--;
    return 8;
}

/* Only a stream's last write may be short, and nothing may follow it. */
void write_output(const uint8_t *bytes, uint32_t count) {
    fake.flushes++;
    if (fake.short_write || count == 0 || count > OUTPUT_CAPACITY) fake.bad_flushes++;
    fake.short_write = count != OUTPUT_CAPACITY;
    if (abandon_target && fake.flushes == abandon_flush) std::longjmp(*abandon_target, 1);
    fake.output.insert(fake.output.end(), bytes, bytes + count);
}

void flush_output(void) {
    if (output_fill != OUTPUT_CAPACITY) fake.bad_flushes++;
    write_output(output_buffer, output_fill);
    output_fill = 0;
}

int fake_finish(int result) {
    if (output_fill && fake.short_write) fake.bad_flushes++;
    fake.output.insert(fake.output.end(), output_buffer, output_buffer + output_fill);
    output_fill = 0;
    fake.consumed = source_pos - input_left;
    fake.used = fake.consumed - inflate_unused_bytes();
    return result;
}

int fake_inflate(const std::vector<uint8_t> &data, std::vector<uint8_t> *out, size_t chunk) {
    fake_set_input(data, chunk);
    int result = fake_finish(inflate_stream());
    if (out) *out = fake.output;
    return result;
}
