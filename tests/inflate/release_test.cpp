/*
 * release_test.cpp: the decoder's tables are released on every way out: when
 * memory runs out part-way through a build,
 * and when the engine's abandon jumps out of next_byte or flush_output in
 * the middle of a block.  Host only: it counts live blocks and injects
 * allocation failures through the host platform.
 */
#include "platform/host.h"
#include "tests/inflate/fake_engine.h"
#include "tests/inflate/stream_writer.h"

#include <gtest/gtest.h>

namespace {

/* A stored block, a fixed block, then a dynamic block of 40000 bytes whose
   long codes sit in sub-tables. */
std::vector<uint8_t> three_block_stream() {
    stream_writer w;
    w.stored(0, {'s', 't'});
    w.fixed(0);
    w.literals("fixed");
    w.match(30, 5);
    w.end_block();
    w.dynamic_full(1);
    for (int i = 0; i < 40000 / 200; i++) {
        w.literals("dyn");
        w.match(197, 3);
    }
    w.end_block();
    return w.done();
}

class Release : public ::testing::Test {
  protected:
    void SetUp() override {
        host_reset();
        fake_start_run();
        baseline = host_live_blocks();
    }
    void TearDown() override {
        inflate_release_tables();
        fake_end_run();
        host_reset();
    }
    int baseline = 0;
};

} /* namespace */

TEST_F(Release, EveryAllocationFailureGivesNoMemoryWithItsLineAndNoLeak) {
    std::vector<uint8_t> stream = three_block_stream();
    EXPECT_EQ(INFLATE_OK, fake_inflate(stream, nullptr));
    const int calls = host_call_count(FAULT_MALLOC);
    ASSERT_GE(calls, 3) << "the dynamic block's code-length, literal and distance tables";
    for (int nth = 1; nth <= calls; nth++) {
        host_fail_call(FAULT_MALLOC, nth);
        testing::internal::CaptureStderr();
        int result = fake_inflate(stream, nullptr);
        std::string said = testing::internal::GetCapturedStderr();
        EXPECT_EQ(INFLATE_NO_MEMORY, result) << nth;
        EXPECT_EQ("\n*** inflate out of memory *** ", said) << nth;
        EXPECT_EQ(baseline, host_live_blocks()) << nth;
    }
    stream_writer fixed; /* its code never changes: built once, in place */
    fixed.fixed(1);
    fixed.literals("abc");
    fixed.end_block();
    host_fail_call(FAULT_MALLOC, 1);
    EXPECT_EQ(INFLATE_OK, fake_inflate(fixed.done(), nullptr));
    host_fail_call(FAULT_MALLOC, 0);
}

TEST_F(Release, AbandonInsideABlockLeavesTablesForTheCleanUpAndTheNextStream) {
    std::vector<uint8_t> stream = three_block_stream();
    for (int via_next_stream = 0; via_next_stream < 2; via_next_stream++) {
        std::jmp_buf abandon;
        fake_set_input(stream, 64);
        fake_abandon_after(&abandon, stream.size() - 100, 0);
        if (setjmp(abandon) == 0) {
            inflate_stream();
            FAIL() << "the abandon did not leave the decoder";
        }
        EXPECT_GT(host_live_blocks(), baseline) << "the dynamic block's tables are held";
        if (via_next_stream) {
            std::vector<uint8_t> out;
            EXPECT_EQ(INFLATE_OK, fake_inflate(stream, &out));
            EXPECT_EQ(40037u, out.size());
        } else {
            inflate_release_tables();
        }
        EXPECT_EQ(baseline, host_live_blocks());
    }
    std::jmp_buf abandon;
    fake_set_input(stream, 0);
    fake_abandon_after(&abandon, 0, 1);
    if (setjmp(abandon) == 0) {
        inflate_stream();
        FAIL() << "the failed write did not leave the decoder";
    }
    inflate_release_tables();
    EXPECT_EQ(baseline, host_live_blocks());
}
