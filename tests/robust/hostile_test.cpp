// Hostile archives made at test time: cut at every offset, a byte changed at
// every offset, outputs capped only by their streams, headers that overlap or
// lie about sizes, and encrypted members.  Every run must end with a sound
// result and one message at most, write nothing outside the destination, and
// hold nothing afterwards.
#include "tests/robust/robust_fixture.h"

#include <cstdio>

namespace {

/* A small archive with one member of each kind. */
std::vector<zip_member> small_members() {
    return {make_member("a.txt", "alpha alpha alpha", 0), make_member("b.txt", prose(300, 5), 8),
            with(make_member("c.txt", prose(200, 6), 8), &zip_member::streamed, true)};
}

class Hostile : public RobustTest {
  protected:
    int cases = 0;

    /* Runs the engine over bytes into an empty destination; checks what
       every run must give, whatever the bytes.  Returns the result. */
    int run_bytes(const std::string &bytes, const std::string &where) {
        empty_dest();
        write_file(archive, bytes);
        fresh_run();
        EXPECT_EQ(1, extract_archive(&request)) << where;
        int result = request.result;
        EXPECT_TRUE(result == EXTRACT_OK || result == EXTRACT_FAILED) << where;
        EXPECT_EQ(result == EXTRACT_FAILED ? 1u : 0u, host_boxes().size()) << where;
        EXPECT_EQ(0, host_open_files()) << where;
        EXPECT_EQ(0, host_live_blocks()) << where;
        EXPECT_EQ(2, std::distance(std::filesystem::directory_iterator(dir),
                                   std::filesystem::directory_iterator()))
            << where << ": something written beside the destination";
        cases++;
        return result;
    }
    int run_members(const std::vector<zip_member> &m, const std::string &where) {
        use(m);
        return run_bytes(zip_archive(members), where);
    }
    /* After a success each file in the destination holds the data of a
       member; a failed CRC-32 check keeps its damaged file and says so. */
    void expect_only_member_data(const std::string &where) {
        if (request.result != EXTRACT_OK) return;
        for (const std::string &name : dest_names()) {
            bool known = false;
            for (const zip_member &m : members) known |= read_file(dest + "/" + name) == m.data;
            EXPECT_TRUE(known) << where << ": " << name;
        }
    }
    std::string message() { return host_boxes().empty() ? "" : host_boxes()[0].text; }
};

// Cut anywhere it fails, keeping only whole members; with a byte changed
// anywhere the files it makes hold member data.
TEST_F(Hostile, AnArchiveCutOrChangedAtAnyOffsetEndsTheRunSoundly) {
    use(small_members());
    std::string whole = zip_archive(members);
    for (size_t at = 0; at < whole.size(); at++) {
        std::string where = "cut at " + std::to_string(at);
        EXPECT_EQ(EXTRACT_FAILED, run_bytes(whole.substr(0, at), where));
        EXPECT_GE(intact_prefix(), 0) << where;
        for (int pattern : {0xFF, 0x01, 0x80}) {
            std::string bytes = whole;
            bytes[at] = char(bytes[at] ^ pattern);
            where = "byte " + std::to_string(at) + " ^ " + std::to_string(pattern);
            run_bytes(bytes, where);
            expect_only_member_data(where);
        }
    }
    printf("[ hostile cases: %d ]\n", cases);
}

/* The file operations of the last run, counted: reads, writes, moves. */
struct io_count {
    int reads, writes, moves;
};
void expect_io_within(io_count most, const char *where) {
    EXPECT_LE(host_call_count(FAULT_READ_ERROR), most.reads) << where;
    EXPECT_LE(host_call_count(FAULT_WRITE_ERROR), most.writes) << where;
    EXPECT_LE(host_call_count(FAULT_SEEK), most.moves) << where;
}

// Work bounded by what there is, counted in file operations: output written
// in whole blocks of 0x7000 bytes, the archive read in large pieces, never a
// byte at a time through member data.
TEST_F(Hostile, OutputCappedOnlyByItsStreamEndsInBoundedWorkAndSpace) {
    /* Twenty megabytes of zeros in a few kilobytes, and a fixed block of
       literal 0xFF bytes with no end of block, which runs dry. */
    std::string zeros(20u << 20, '\0');
    zip_member bomb = make_member("bomb.bin", zeros, 8);
    zip_member endless = make_member("endless.bin", "x", 8);
    endless.payload = std::string("\x02", 1) + std::string(4000, '\xff');
    zip_member streamed = endless;
    streamed.name = "streamed.bin";
    streamed.streamed = true;
    EXPECT_EQ(EXTRACT_OK, run_members({bomb}, "bomb"));
    EXPECT_EQ(zeros.size(), std::filesystem::file_size(dest + "/bomb.bin"));
    expect_io_within({16, 732, 8}, "bomb"); /* 20 MiB in whole blocks of 0x7000 and a part */
    request.crc_check = 0;
    EXPECT_EQ(EXTRACT_OK, run_members({endless, make_member("after.txt", "after", 0)}, "endless"));
    /* Each bit of the stream yields at most one literal byte here. */
    EXPECT_LE(std::filesystem::file_size(dest + "/endless.bin"), 8u * (4001 + 2));
    EXPECT_EQ("after", read_file(dest + "/after.txt"));
    expect_io_within({32, 3, 16}, "endless");
    EXPECT_EQ(EXTRACT_FAILED, run_members({streamed}, "streamed endless"));
    EXPECT_EQ("Invalid Zipfile Header", message());
    EXPECT_TRUE(dest_names().empty());
    expect_io_within({16, 0, 8}, "streamed endless");
}

TEST_F(Hostile, OverlappingHeadersAndLyingSizesNeverLoopOrLeak) {
    /* A stored member whose data is an archive is one file, not its members. */
    EXPECT_EQ(EXTRACT_OK,
              run_members({make_member("nested.zip", zip_archive(small_members()), 0)}, "nested"));
    EXPECT_EQ(std::set<std::string>{"nested.zip"}, dest_names());
    /* Sizes that swallow the next header, stop short of the data's end, or
       point far past the end of the file. */
    for (uint32_t size : {30u, 5u, 0u, 0x7FFFFFF0u, 0xFFFFFFF0u}) {
        members = {make_member("liar.txt", prose(100, 7), 0), make_member("next.txt", "next", 0)};
        std::string bytes = zip_archive(members);
        for (int i = 0; i < 4; i++) bytes[18 + i] = char(size >> (8 * i));
        for (uint16_t crc_check : {0, 1}) {
            request.crc_check = crc_check;
            std::string where =
                "size " + std::to_string(size) + " crc " + std::to_string(crc_check);
            int result = run_bytes(bytes, where);
            if (crc_check == 1) {
                EXPECT_TRUE(size == 0 || result == EXTRACT_FAILED) << where;
                expect_only_member_data(where);
            }
        }
    }
    /* A header with a data descriptor, then junk: the scan steps back to
       where the descriptor began, and must still move forward. */
    zip_member described = make_member("d.txt", "", 0);
    described.flags = 8;
    std::string bytes = zip_archive({described}, true) + std::string(40, 'J');
    request.crc_check = 1;
    EXPECT_EQ(EXTRACT_FAILED, run_bytes(bytes, "descriptor then junk"));
    /* Local headers packed inside each other's names and extra fields. */
    std::string sig("PK\x03\x04", 4);
    EXPECT_EQ(EXTRACT_FAILED, run_bytes(sig + sig + sig + sig + sig + sig, "signatures only"));
    printf("[ hostile cases: %d ]\n", cases);
}

TEST_F(Hostile, EncryptedMembersAreRefusedWhenSelectedAndPassedOverOtherwise) {
    zip_member secret = with(make_member("secret.txt", "hidden", 0), &zip_member::flags, 1);
    zip_member secret_deflated =
        with(make_member("secret2.txt", prose(500, 8), 8), &zip_member::flags, 1);
    secret_deflated.streamed = true;
    EXPECT_EQ(EXTRACT_FAILED,
              run_members({make_member("a.txt", "plain", 0), secret, secret_deflated}, "selected"));
    EXPECT_EQ("Internal error 96", message());
    EXPECT_EQ(std::set<std::string>{"a.txt"}, dest_names());
    add_filter("a.txt");
    EXPECT_EQ(EXTRACT_OK, run_bytes(zip_archive(members), "filtered out"));
    EXPECT_EQ(std::set<std::string>{"a.txt"}, dest_names());
}

using Mended = Hostile;

TEST_F(Mended, AStreamThatRunsOutOfMemoryFailsTheRunAndLeavesNoPart) {
    use({make_member("a.txt", "kept", 0), make_member("b.txt", prose(5000, 9), 8)});
    for (uint16_t crc_check : {0, 1}) {
        request.crc_check = crc_check;
        write_file(archive, zip_archive(members));
        fresh_run();
        host_fail_call(FAULT_MALLOC, 3); /* the first table of the stream */
        testing::internal::CaptureStderr();
        extract_archive(&request);
        EXPECT_EQ("\n*** inflate out of memory *** ", testing::internal::GetCapturedStderr());
        EXPECT_EQ(EXTRACT_FAILED, request.result);
        EXPECT_EQ("Insufficient memory", message());
        EXPECT_EQ(std::set<std::string>{"a.txt"}, dest_names());
        EXPECT_EQ(0, host_live_blocks());
        empty_dest();
    }
}

TEST_F(Mended, AStreamThatFailsToDecodeFailsTheCheckThoughItsOutputMatches) {
    /* No output, whose CRC-32 is the 0 the header holds. */
    zip_member broken = make_member("broken.txt", "", 8);
    broken.payload = "\x07"; /* block type 3 */
    EXPECT_EQ(EXTRACT_FAILED, run_members({broken}, "type 3"));
    EXPECT_EQ(0u, message().find("ZIP damaged: file "));
    request.crc_check = 0;
    EXPECT_EQ(EXTRACT_OK, run_bytes(zip_archive(members), "type 3 unchecked"));
}

} /* namespace */
