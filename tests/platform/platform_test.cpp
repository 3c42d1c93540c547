// The platform operations as portable code relies on them: files by handle
// with their share modes, the file probe, file times to the 100 ns, the DOS
// date and time, character sets, profiles, the registry, string resources
// and the formatter's limits.
#include "platform/platform.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>

namespace fs = std::filesystem;

namespace {

/* A time with a non-zero 100 ns part: 2024-02-29 13:45:58.1234567 UTC. */
const uint64_t LEAP_DAY = 133536879580000000ULL;
const plat_filetime PRECISE = {uint32_t(LEAP_DAY + 1234567), uint32_t((LEAP_DAY + 1234567) >> 32)};

uint64_t value(const plat_filetime &t) {
    return (uint64_t(t.dwHighDateTime) << 32) | t.dwLowDateTime;
}

struct Platform : ::testing::Test {
    fs::path root;
    void SetUp() override {
        for (unsigned n = plat_tick_count();; n++) {
            root = fs::temp_directory_path() / ("tvp" + std::to_string(n % 1000000));
            if (fs::create_directory(root)) break;
        }
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(root, ignored);
    }
    std::string path(const char *name) { return (root / name).string(); }
    /* Creates a file with these bytes and returns its path. */
    std::string make(const char *name, const std::string &bytes) {
        std::string p = path(name);
        plat_file f = plat_lcreat(p.c_str(), 0);
        EXPECT_NE(f, HFILE_ERROR) << p;
        EXPECT_EQ(plat_lwrite(f, bytes.data(), uint32_t(bytes.size())), bytes.size());
        plat_lclose(f);
        return p;
    }
};

TEST_F(Platform, FilesAreReadWrittenAndSeekedByHandle) {
    std::string p = make("data.bin", "hello, world");
    plat_file f = plat_lopen(p.c_str(), OF_READWRITE);
    ASSERT_NE(f, HFILE_ERROR);
    EXPECT_EQ(plat_llseek(f, 0, FILE_END), 12);
    EXPECT_EQ(plat_llseek(f, 7, FILE_BEGIN), 7);
    char got[8] = {};
    EXPECT_EQ(plat_lread(f, got, 8), 5u);
    EXPECT_STREQ(got, "world");
    EXPECT_EQ(plat_llseek(f, -5, FILE_CURRENT), 7);
    EXPECT_EQ(plat_lwrite(f, "W", 1), 1u);
    EXPECT_EQ(plat_lclose(f), 0);
    EXPECT_EQ(plat_lopen(path("absent.bin").c_str(), OF_READ), HFILE_ERROR);
    EXPECT_EQ(plat_remove(p.c_str()), 0);
    EXPECT_EQ(plat_lopen(p.c_str(), OF_READ), HFILE_ERROR);
}

/* An archive's reading: small and large pieces, steps back and jumps, each
   giving the file's own bytes from where the last move left off. */
TEST_F(Platform, PiecesReadBetweenMovesAreTheFilesOwnBytes) {
    const int64_t size = 200000;
    std::string bytes(size, '\0');
    for (size_t i = 0; i < bytes.size(); i++) bytes[i] = char(i * 7 + i / 251);
    std::string p = make("pieces.bin", bytes);
    plat_file f = plat_lopen(p.c_str(), OF_READ | OF_SHARE_DENY_WRITE);
    ASSERT_NE(f, HFILE_ERROR);
    const struct {
        int origin;     /* the move's origin */
        int32_t offset; /* and offset */
        uint32_t count; /* then bytes asked */
    } steps[] = {
        {FILE_CURRENT, 0, 30},       /* a header */
        {FILE_CURRENT, -4, 4},       /* back over a signature */
        {FILE_CURRENT, 100, 0x7000}, /* an input buffer's worth */
        {FILE_CURRENT, -3, 4},       /* back over part of it */
        {FILE_CURRENT, 65000, 10},   /* past what a small read may bring along */
        {FILE_BEGIN, 5, 70000},      /* more than that at once */
        {FILE_CURRENT, -70000, 16},  /* back across it */
        {FILE_BEGIN, 0, 10},         /* a fresh block */
        {FILE_CURRENT, 0, 65526},    /* the rest of it */
        {FILE_CURRENT, 0, 70000},    /* a large piece after it, */
        {FILE_CURRENT, -4, 4},       /* then back into that piece */
        {FILE_END, -10, 20},         /* fewer bytes left than asked */
        {FILE_CURRENT, -199999, 3},  /* from the end to near the start */
    };
    int64_t pos = 0;
    for (const auto &s : steps) {
        int64_t at = s.origin == FILE_BEGIN ? 0 : s.origin == FILE_END ? size : pos;
        at += s.offset;
        EXPECT_EQ(plat_llseek(f, s.offset, s.origin), at) << s.offset;
        std::string got(s.count, '\0');
        uint32_t n = plat_lread(f, &got[0], s.count);
        ASSERT_EQ(int64_t(n), std::min<int64_t>(s.count, size - at)) << s.offset;
        EXPECT_EQ(got.substr(0, n), bytes.substr(size_t(at), n)) << s.offset;
        pos = at + n;
    }
    plat_lclose(f);
}

TEST_F(Platform, AnExclusiveOpenShutsOutEveryOtherOpenAndDenyWriteOnlyWriters) {
    std::string p = make("held.dll", "x");
    plat_file held = plat_lopen(p.c_str(), OF_READ | OF_SHARE_EXCLUSIVE);
    ASSERT_NE(held, HFILE_ERROR);
    EXPECT_EQ(plat_lopen(p.c_str(), OF_READ), HFILE_ERROR);
    EXPECT_EQ(plat_lopen(p.c_str(), OF_READ | OF_SHARE_EXCLUSIVE), HFILE_ERROR);
    EXPECT_EQ(plat_lcreat(p.c_str(), 0), HFILE_ERROR);
    plat_lclose(held);
    plat_file again = plat_lopen(p.c_str(), OF_READ | OF_SHARE_EXCLUSIVE);
    EXPECT_NE(again, HFILE_ERROR);
    plat_lclose(again);
    /* Deny-write lets readers in and keeps writers out. */
    plat_file reader = plat_lopen(p.c_str(), OF_READ | OF_SHARE_DENY_WRITE);
    ASSERT_NE(reader, HFILE_ERROR);
    plat_file second = plat_lopen(p.c_str(), OF_READ | OF_SHARE_DENY_WRITE);
    EXPECT_NE(second, HFILE_ERROR);
    EXPECT_EQ(plat_lopen(p.c_str(), OF_WRITE), HFILE_ERROR);
    plat_lclose(second);
    plat_lclose(reader);
}

TEST_F(Platform, ProbeGivesTheStoredNameSizeAndKind) {
    make("MixedCase.Txt", std::string(70000, 'a'));
    plat_find_data found;
    ASSERT_EQ(plat_find_first(path("mixedcase.txt").c_str(), &found), 1);
    EXPECT_STREQ(found.cFileName, "MixedCase.Txt");
    EXPECT_EQ(found.nFileSizeLow, 70000u);
    EXPECT_EQ(found.nFileSizeHigh, 0u);
    EXPECT_EQ(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY, 0u);
    ASSERT_EQ(plat_find_first(root.string().c_str(), &found), 1);
    EXPECT_NE(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY, 0u);
    EXPECT_EQ(plat_find_first(path("absent.txt").c_str(), &found), 0);
    EXPECT_EQ(plat_find_first((root.string() + "\\").c_str(), &found), 0);
}

TEST_F(Platform, FileTimesAreKeptToThe100nsAlsoThroughLocalTime) {
    std::string p = make("stamped.txt", "x");
    plat_file f = plat_lopen(p.c_str(), OF_READWRITE);
    ASSERT_NE(f, HFILE_ERROR);
    ASSERT_EQ(plat_set_file_time(f, nullptr, &PRECISE, &PRECISE), 1);
    plat_lclose(f);
    f = plat_lopen(p.c_str(), OF_READ);
    plat_filetime accessed, written;
    ASSERT_EQ(plat_get_file_time(f, nullptr, &accessed, &written), 1);
    plat_lclose(f);
    EXPECT_EQ(value(written), value(PRECISE));
    EXPECT_EQ(value(accessed), value(PRECISE));
    plat_find_data found;
    ASSERT_EQ(plat_find_first(p.c_str(), &found), 1);
    EXPECT_EQ(value(found.ftLastWriteTime), value(PRECISE));
    plat_filetime local, back; /* and through local time back to UTC */
    ASSERT_EQ(plat_file_to_local_time(&PRECISE, &local), 1);
    ASSERT_EQ(plat_local_to_file_time(&local, &back), 1);
    EXPECT_EQ(value(back), value(PRECISE));
}

TEST_F(Platform, DosDatesConvertBothWaysAndRefuseImpossibleValues) {
    const uint16_t leap_day = (44 << 9) | (2 << 5) | 29, at = (13 << 11) | (45 << 5) | 29;
    plat_filetime t;
    ASSERT_EQ(plat_dos_to_file_time(leap_day, at, &t), 1);
    EXPECT_EQ(value(t), LEAP_DAY);
    uint16_t date = 0, time = 0;
    ASSERT_EQ(plat_file_to_dos_time(&PRECISE, &date, &time), 1);
    EXPECT_EQ(date, leap_day);
    EXPECT_EQ(time, at); /* the fraction of the second goes */
    ASSERT_EQ(plat_dos_to_file_time((0 << 9) | (1 << 5) | 1, 0, &t), 1);
    EXPECT_EQ(value(t), 119600064000000000ULL);                /* 1980-01-01, the first DOS day */
    const uint16_t bad[][2] = {{(44 << 9) | (13 << 5) | 1, 0}, /* month 13 */
                               {(44 << 9) | (1 << 5) | 0, 0},  /* day 0 */
                               {leap_day, 24 << 11},           /* hour 24 */
                               {leap_day, 60 << 5}};           /* minute 60 */
    for (const auto &b : bad) EXPECT_EQ(plat_dos_to_file_time(b[0], b[1], &t), 0) << b[0];
    const plat_filetime before_1980 = {uint32_t(119600064000000000ULL - 1),
                                       uint32_t((119600064000000000ULL - 1) >> 32)};
    EXPECT_EQ(plat_file_to_dos_time(&before_1980, &date, &time), 0);
}

TEST_F(Platform, CharacterSetsRoundTrip) {
    char ascii[] = "SETUP.EXE readme.txt ~!@#$%^&()_+-=[]{};',.";
    plat_ansi_to_oem(ascii);
    EXPECT_STREQ(ascii, "SETUP.EXE readme.txt ~!@#$%^&()_+-=[]{};',.");
    char high[] = "caf\xE9 \xFC\xDF\xC4";
    plat_ansi_to_oem(high);
#ifdef _WIN32
    EXPECT_STREQ(high, "caf\x82 \x81\xE1\x8E"); /* the same letters in code page 437 */
#endif
    plat_oem_to_ansi(high);
    EXPECT_STREQ(high, "caf\xE9 \xFC\xDF\xC4");
    EXPECT_EQ(plat_compare_nocase("TarVex", "tarvex"), 0);
    EXPECT_LT(plat_compare_nocase("a", "B"), 0);
}

TEST_F(Platform, PrivateProfileKeysAreWrittenReadAndDeleted) {
    std::string ini = path("test.ini");
    char got[16];
    EXPECT_EQ(plat_write_private_profile_string("Addons", "tarvex", "C:\\T\\tvfm.dll", ini.c_str()),
              1);
    EXPECT_EQ(plat_get_private_profile_string("addons", "TARVEX", "", got, sizeof got, ini.c_str()),
              13);
    EXPECT_STREQ(got, "C:\\T\\tvfm.dll");
    EXPECT_EQ(plat_get_private_profile_string("Addons", "tarvex", "", got, 6, ini.c_str()), 5);
    EXPECT_STREQ(got, "C:\\T\\");
    plat_write_private_profile_string("Addons", "tarvex", nullptr, ini.c_str());
    plat_get_private_profile_string("Addons", "tarvex", "none", got, sizeof got, ini.c_str());
    EXPECT_STREQ(got, "none");
}

// Absent values and keys read nothing; a value too big for the buffer is
// refused, not cut.
TEST_F(Platform, MachineValuesAreReadWhenPresentAndWhole) {
    const char *version = "Software\\Microsoft\\Windows\\CurrentVersion";
    char buf[200];
    uint32_t size = sizeof buf;
    EXPECT_EQ(plat_read_machine_value(version, "NoSuchValueHere", buf, &size), 0);
    EXPECT_EQ(plat_read_machine_value("Software\\NoSuchKeyHere", "ProgramFilesDir", buf, &size), 0);
#ifdef _WIN32
    ASSERT_EQ(plat_read_machine_value(version, "ProgramFilesDir", buf, &size), 1);
    EXPECT_STREQ(buf, "C:\\Program Files");
    EXPECT_EQ(size, strlen(buf) + 1);
    size = 8;
    EXPECT_EQ(plat_read_machine_value(version, "ProgramFilesDir", buf, &size), 0);
#endif
}

TEST_F(Platform, TextsAreCutAndTerminatedWithinTheirBuffers) {
#ifdef _WIN32
    char text[300];
    EXPECT_EQ(plat_load_string(1006, text, sizeof text), 101);
    EXPECT_STREQ(text, "The software has not been successfully installed.\nYou must run Setup "
                       "again before using the software.");
    EXPECT_EQ(plat_load_string(1021, text, 7), 6);
    EXPECT_STREQ(text, "Tarvex");
    EXPECT_EQ(plat_load_string(999, text, sizeof text), 0);
    EXPECT_STREQ(text, "");
#endif
    char module[8];
    memset(module, 'x', sizeof module);
    EXPECT_EQ(plat_module_file_name(module, 6), 5u);
    EXPECT_EQ(strlen(module), 5u);
    EXPECT_EQ(module[6], 'x');
}

// Every placeholder of the messages is filled, and no capacity is overrun:
// the output stops at the capacity, and at 1024 as the platform's does.
TEST_F(Platform, FormatterFillsThePlaceholdersAndNeverWritesPastItsCapacity) {
    char out[256];
    plat_format(out, sizeof out, "Drive %c: %ldK.  %s: Bad CRC %08lx (should be %08lx) %d %d%%",
                'C', int32_t(-5), "a.txt", uint32_t(0xABCDEF), uint32_t(0xDEADBEEF), -96, 42);
    EXPECT_STREQ(out, "Drive C: -5K.  a.txt: Bad CRC 00abcdef (should be deadbeef) -96 42%");
    std::string arg(1500, 'y');
    for (size_t cap = 1; cap <= 1100; cap += (cap < 40 || cap > 1020) ? 1 : 97) {
        std::string buf(cap + 16, '#');
        int n = plat_format(&buf[0], cap, "x%s", arg.c_str());
        size_t want = cap - 1 < 1024 ? cap - 1 : 1024;
        ASSERT_EQ(size_t(n), want) << cap;
        ASSERT_EQ(buf[want], '\0') << cap;
        ASSERT_EQ(buf.find_first_not_of('#', want + 1), std::string::npos) << cap;
    }
    EXPECT_EQ(plat_format(out, 0, "abc"), 0);
    EXPECT_EQ(out[0], 'D');
}

TEST_F(Platform, GlobalBlocksComeZeroedWhenAsked) {
    unsigned char *block = static_cast<unsigned char *>(plat_global_alloc(40000, 1));
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(std::count(block, block + 40000, 0), 40000);
    plat_global_free(block);
    plat_global_free(nullptr);
}

} // namespace
