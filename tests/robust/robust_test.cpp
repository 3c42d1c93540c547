// robust_test.cpp: the engine over the host platform against what can go
// wrong around it: every fault the platform can report and a cancel at every
// progress report, and hostile archives made at test time.  Every run ends
// with a sound result, one message at most, nothing written outside the
// destination and nothing held.  Deflate members are zlib's dynamic blocks.
#include "tests/unzip/host_fixture.h"

#include <zlib.h>

#include <cstdio>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

namespace {

/* Text that compresses well but not to nothing. */
std::string prose(size_t length, unsigned seed) {
    static const char *words[] = {"tarvex ", "archive ", "member ", "window ", "setup ", "disk "};
    std::string out;
    for (uint32_t x = seed; out.size() < length;) {
        x = x * 1103515245u + 12345u;
        out += words[(x >> 16) % 6];
    }
    out.resize(length);
    return out;
}

/* A member; Deflate ones as zlib makes them at level 6 (dynamic blocks):
   its stream less the two-byte header and four-byte check around it. */
zip_member make_member(const std::string &name, const std::string &data, int method) {
    zip_member m = member(name, data, method);
    uLongf size = compressBound(uLong(data.size()));
    std::string out(size, '\0');
    if (method == 8 &&
        compress2(reinterpret_cast<Bytef *>(&out[0]), &size,
                  reinterpret_cast<const Bytef *>(data.data()), uLong(data.size()), 6) == Z_OK)
        m.payload = out.substr(2, size - 6);
    return m;
}

class RobustTest : public HostUnzip {
  protected:
    std::vector<zip_member> members; /* what the archive holds, in order */

    void use(const std::vector<zip_member> &m) {
        members = m;
        write_file(archive, zip_archive(m));
    }
    /* The members with a file of their own (no directory entries). */
    std::vector<const zip_member *> files() const {
        std::vector<const zip_member *> out;
        for (const zip_member &m : members)
            if (m.name.back() != '/') out.push_back(&m);
        return out;
    }
    /* The destination holds exactly the first count member files, intact;
       returns count when so, -1 otherwise. */
    int intact_prefix() {
        std::set<std::string> names = dest_names();
        std::vector<const zip_member *> f = files();
        if (names.size() > f.size()) return -1;
        for (size_t i = 0; i < names.size(); i++) {
            const zip_member *m = f[i];
            std::string base = m->name.substr(m->name.find_last_of("/\\") + 1);
            if (!names.count(base) || read_file(dest + "/" + base) != m->data) return -1;
        }
        return int(names.size());
    }
    /* Nothing held, and the engine takes the next run: every member comes
       (to the destination when the run writes). */
    void expect_clean_and_ready(const std::string &where, bool writes) {
        EXPECT_EQ(0, host_open_files()) << where;
        EXPECT_EQ(0, host_live_blocks()) << where;
        empty_dest();
        fresh_run();
        EXPECT_EQ(0, run_raw()) << where;
        EXPECT_EQ(writes ? int(files().size()) : 0, intact_prefix()) << where;
        empty_dest();
    }
};

int cancel_at;
void cancel_on_drain(void) {
    if (host_drain_count() == cancel_at) cancel_flag = 1;
}

struct walk_mode {
    const char *name; /* for the failure messages */
    bool writes;      /* extracts to the destination; else test mode */
    bool cancels;     /* the points are progress reports to cancel at */
    size_t least;     /* fewest points the representative run must offer */
};
const walk_mode MODES[] = {
    {"extract",   true,  false, 60},
    {"test mode", false, false, 20},
    {"cancel",    true,  true,  5},
};

class EngineFaults : public RobustTest {
  protected:
    std::string path_of(const std::string &name) {
        return at(name.substr(name.find_last_of("/\\") + 1));
    }
    std::string last_path() { return owner.shown.empty() ? "?" : path_of(owner.shown.back()); }
    /* The member after the last one announced: a file is created before its
       member is announced. */
    std::string next_path() {
        size_t i = owner.shown.size();
        return i < files().size() ? path_of(files()[i]->name) : "?";
    }

    /* Whether text is what a failure of this kind may show.  Reads of a
       streamed member end only where its stream ends, so a failed one there
       shows as an invalid header; seeks steer the walk, so their failure
       shows as whatever the walk then meets. */
    bool right_message(host_fault_kind kind, const std::string &text) {
        switch (kind) {
        case FAULT_OPEN: return text == "Can't open input file: " + archive;
        case FAULT_CREATE: return text == "Can't create output file: " + next_path();
        case FAULT_WRITE_SHORT:
        case FAULT_WRITE_ERROR:
            return text == "Error writing to " + last_path() + ".  Possible cause: disk full";
        case FAULT_GLOBAL_ALLOC:
        case FAULT_MALLOC: return text == "Insufficient memory";
        default:
            return text == "Error reading " + archive + ".  Possible cause: bad disk" ||
                   text == "Invalid Zipfile Header";
        }
    }

    /* A failed run: one box with the right text, and the member whose file
       failed not left behind, cut or empty. */
    void expect_failure(host_fault_kind kind, int kept, const std::string &where) {
        EXPECT_EQ(EXTRACT_FAILED, request.result) << where;
        ASSERT_EQ(1u, host_boxes().size()) << where;
        EXPECT_TRUE(right_message(kind, host_boxes()[0].text)) << where << ": "
                                                               << host_boxes()[0].text;
        bool writing = kind == FAULT_WRITE_SHORT || kind == FAULT_WRITE_ERROR;
        if (kind == FAULT_CREATE || writing) {
            EXPECT_EQ(int(owner.shown.size()) - writing, kept) << where;
        }
    }

    /* One point: the nth call of kind fails, or the nth report cancels. */
    void walk_point(const walk_mode &mode, host_fault_kind kind, int n) {
        std::string where = std::string(mode.name) + " kind " + std::to_string(kind) + " at " +
                            std::to_string(n);
        fresh_run();
        cancel_at = n;
        if (mode.cancels) host_on_drain(cancel_on_drain);
        else host_fail_call(kind, n);
        ASSERT_EQ(1, extract_archive(&request)) << where;
        int kept = intact_prefix();
        EXPECT_GE(kept, 0) << where;
        if (mode.cancels) {
            EXPECT_EQ(EXTRACT_CANCELLED, request.result) << where;
            EXPECT_TRUE(host_boxes().empty()) << where;
            EXPECT_EQ(int(owner.shown.size()) - 1, kept) << where;
        } else if (request.result == EXTRACT_OK) {
            /* Only a fault that changes nothing may pass: a short piece of a
               streamed member, a seek that the walk does not depend on. */
            EXPECT_TRUE(kind == FAULT_READ_SHORT || kind == FAULT_SEEK) << where;
            EXPECT_EQ(mode.writes ? int(files().size()) : 0, kept) << where;
            EXPECT_EQ(0u, host_boxes().size()) << where;
        } else {
            expect_failure(kind, kept, where);
        }
        expect_clean_and_ready(where, mode.writes);
    }
};

TEST_F(EngineFaults, EveryFaultAndEveryCancelInEveryModeEndsTheRunCleanly) {
    /* Stored over four chunks, a directory entry, dynamic Deflate, streamed. */
    zip_member streamed = make_member("third.txt", prose(25000, 3), 8);
    streamed.streamed = true;
    use({make_member("first.txt", content(100000, 1), 0), make_member("docs/", "", 0),
         make_member("docs/second.txt", prose(60000, 2), 8), streamed});
    for (const walk_mode &mode : MODES) {
        request.dest_dir = mode.writes ? dest.c_str() : nullptr;
        fresh_run();
        ASSERT_EQ(0, run_raw()) << mode.name;
        /* Every call of every kind the run made, or every progress report. */
        std::vector<std::pair<host_fault_kind, int>> points;
        for (int k = mode.cancels ? FAULT_KINDS : 0; k <= FAULT_KINDS - !mode.cancels; k++) {
            int calls = k < FAULT_KINDS ? host_call_count(host_fault_kind(k)) : host_drain_count();
            for (int n = 1; n <= calls; n++) points.push_back({host_fault_kind(k), n});
        }
        EXPECT_EQ(mode.writes ? int(files().size()) : 0, intact_prefix()) << mode.name;
        empty_dest();
        for (const auto &point : points) walk_point(mode, point.first, point.second);
        printf("[ %s points walked: %zu ]\n", mode.name, points.size());
        EXPECT_GE(points.size(), mode.least) << mode.name;
    }
}

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

/* At most so many reads, writes and moves in the last run. */
void expect_io_within(int reads, int writes, int moves, const char *where) {
    EXPECT_LE(host_call_count(FAULT_READ_ERROR), reads) << where;
    EXPECT_LE(host_call_count(FAULT_WRITE_ERROR), writes) << where;
    EXPECT_LE(host_call_count(FAULT_SEEK), moves) << where;
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
    expect_io_within(16, 732, 8, "bomb"); /* 20 MiB in whole blocks of 0x7000 and a part */
    request.crc_check = 0;
    EXPECT_EQ(EXTRACT_OK, run_members({endless, make_member("after.txt", "after", 0)}, "endless"));
    /* Each bit of the stream yields at most one literal byte here. */
    EXPECT_LE(std::filesystem::file_size(dest + "/endless.bin"), 8u * (4001 + 2));
    EXPECT_EQ("after", read_file(dest + "/after.txt"));
    expect_io_within(32, 3, 16, "endless");
    EXPECT_EQ(EXTRACT_FAILED, run_members({streamed}, "streamed endless"));
    EXPECT_EQ("Invalid Zipfile Header", box());
    EXPECT_TRUE(dest_names().empty());
    expect_io_within(16, 0, 8, "streamed endless");
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
    EXPECT_EQ("Internal error 96", box());
    EXPECT_EQ(std::set<std::string>{"a.txt"}, dest_names());
    request.filter_list = filter_list(nodes, {"a.txt"});
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
        EXPECT_EQ("Insufficient memory", box());
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
    EXPECT_EQ(0u, box().find("ZIP damaged: file "));
    request.crc_check = 0;
    EXPECT_EQ(EXTRACT_OK, run_bytes(zip_archive(members), "type 3 unchecked"));
}

} /* namespace */
