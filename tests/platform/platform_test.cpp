// The platform operations as portable code relies on them where the setup
// and engine tests cannot tell: an archive's reading between moves, the DOS
// date and time, character sets, the registry, string resources and the
// formatter's limits; and SETUP.EXE's own memory and string functions.
// Files, their times, share modes and profiles are the other tests' and the
// end-to-end scenarios' own.
#include "platform/platform.h"
#include "platform/runtime.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>

namespace fs = std::filesystem;

namespace {

/* 2024-02-29 13:45:58 UTC. */
const uint64_t LEAP_DAY = 133536879580000000ULL;

uint64_t value(const plat_filetime &t) {
    return (uint64_t(t.dwHighDateTime) << 32) | t.dwLowDateTime;
}

/* An archive's reading: small and large pieces, steps back and jumps, each
   giving the file's own bytes from where the last move left off. */
TEST(Platform, PiecesReadBetweenMovesAreTheFilesOwnBytes) {
    const int64_t size = 200000;
    std::string bytes(size, '\0');
    for (size_t i = 0; i < bytes.size(); i++) bytes[i] = char(i * 7 + i / 251);
    fs::path path = fs::temp_directory_path() / ("tvp" + std::to_string(plat_tick_count()));
    std::string p = path.string();
    plat_file f = plat_lcreat(p.c_str(), 0);
    ASSERT_EQ(plat_lwrite(f, bytes.data(), uint32_t(size)), uint32_t(size));
    plat_lclose(f);
    f = plat_lopen(p.c_str(), OF_READ | OF_SHARE_DENY_WRITE);
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
    plat_remove(p.c_str());
}

// The DOS fields to a file time, refusing impossible ones.
TEST(Platform, DosDatesConvertAndRefuseImpossibleValues) {
    const uint16_t leap_day = (44 << 9) | (2 << 5) | 29, at = (13 << 11) | (45 << 5) | 29;
    plat_filetime t;
    ASSERT_EQ(plat_dos_to_file_time(leap_day, at, &t), 1);
    EXPECT_EQ(value(t), LEAP_DAY);
    ASSERT_EQ(plat_dos_to_file_time((0 << 9) | (1 << 5) | 1, 0, &t), 1);
    EXPECT_EQ(value(t), 119600064000000000ULL);                /* 1980-01-01, the first DOS day */
    const uint16_t bad[][2] = {{(44 << 9) | (13 << 5) | 1, 0}, /* month 13 */
                               {(44 << 9) | (1 << 5) | 0, 0},  /* day 0 */
                               {leap_day, 24 << 11},           /* hour 24 */
                               {leap_day, 60 << 5}};           /* minute 60 */
    for (const auto &b : bad) EXPECT_EQ(plat_dos_to_file_time(b[0], b[1], &t), 0) << b[0];
}

// Names go to the OEM character set and back; on Windows that is code page
// 437 (the host keeps names as they are).  Case is ignored in comparisons.
TEST(Platform, CharacterSetsRoundTrip) {
#ifdef _WIN32
    char high[] = "caf\xE9 \xFC\xDF\xC4 SETUP.EXE ~!@#$%^&()_+-=[]{};',.";
    plat_ansi_to_oem(high);
    EXPECT_STREQ(high, "caf\x82 \x81\xE1\x8E SETUP.EXE ~!@#$%^&()_+-=[]{};',.");
    char oem[] = "\x82t\x82 \x9A\x84"; /* a member name as an archiver on DOS stored it */
    plat_oem_to_ansi(oem);
    EXPECT_STREQ(oem, "\xE9t\xE9 \xDC\xE4");
#endif
    EXPECT_EQ(plat_compare_nocase("TarVex", "tarvex"), 0);
    EXPECT_LT(plat_compare_nocase("a", "B"), 0);
}

// Absent values and keys read nothing; a value too big for the buffer is
// refused, not cut.
TEST(Platform, MachineValuesAreReadWhenPresentAndWhole) {
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

TEST(Platform, TextsAreCutAndTerminatedWithinTheirBuffers) {
#ifdef _WIN32
    char text[300];
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
TEST(Platform, FormatterFillsThePlaceholdersAndNeverWritesPastItsCapacity) {
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

struct text_case {
    const char *text; /* the text searched and measured */
    int c;            /* the character looked for */
    const char *set;  /* the characters of strcspn and strpbrk */
};

const text_case TEXTS[] = {
    {"", 'a', ""},
    {"C:\\Program Files\\Tarvex", '\\', " \\"},
    {"a*b?c", '?', "*?"},
    {"abc", 0, "xyz"},
    {"caf\xe9 \xe9t\xe9", '\xe9', "\xe9"},
};

// SETUP.EXE's own text and memory functions give what the C library gives:
// high-byte (ANSI) characters, the terminator as a searched-for character,
// overlapping moves both ways and unsigned comparison.
TEST(Runtime, TextFunctionsAgreeWithTheCLibrary) {
    for (const text_case &t : TEXTS) {
        SCOPED_TRACE(t.text);
        EXPECT_EQ(rt_strlen(t.text), strlen(t.text));
        EXPECT_EQ(rt_strchr(t.text, t.c), strchr(t.text, t.c));
        EXPECT_EQ(rt_strrchr(t.text, t.c), strrchr(t.text, t.c));
        EXPECT_EQ(rt_strcspn(t.text, t.set), strcspn(t.text, t.set));
        EXPECT_EQ(rt_strpbrk(t.text, t.set), strpbrk(t.text, t.set));
        char ours[64] = "Z:\\", theirs[64] = "Z:\\";
        EXPECT_EQ(rt_strcat(ours, t.text), ours);
        EXPECT_STREQ(ours, strcat(theirs, t.text));
    }
}

struct move_case {
    size_t dest, src, count; /* offsets into a buffer of 0, 1, 2, ... */
};

const move_case MOVES[] = {{0, 8, 16}, {8, 0, 16}, {3, 4, 20}, {4, 3, 20}, {5, 5, 7}, {0, 16, 0}};

TEST(Runtime, MemoryFunctionsAgreeWithTheCLibrary) {
    for (const move_case &m : MOVES) {
        unsigned char ours[32], theirs[32];
        for (unsigned i = 0; i < sizeof ours; i++) ours[i] = theirs[i] = (unsigned char)(i * 37);
        EXPECT_EQ(rt_memmove(ours + m.dest, ours + m.src, m.count), ours + m.dest);
        memmove(theirs + m.dest, theirs + m.src, m.count);
        EXPECT_EQ(memcmp(ours, theirs, sizeof ours), 0) << m.dest << " " << m.src;
        EXPECT_EQ(rt_memset(ours + m.dest, 0x1E9, m.count), ours + m.dest);
        memset(theirs + m.dest, 0x1E9, m.count);
        EXPECT_EQ(rt_memcpy(ours + 24, ours + m.dest, 8), ours + 24);
        memcpy(theirs + 24, theirs + m.dest, 8);
        EXPECT_EQ(rt_memcmp(ours, theirs, sizeof ours), 0);
    }
    const unsigned char low[] = {1, 2, 0x7F}, high[] = {1, 2, 0x80};
    EXPECT_LT(rt_memcmp(low, high, 3), 0);
    EXPECT_GT(rt_memcmp(high, low, 3), 0);
    EXPECT_EQ(rt_memcmp(low, high, 2), 0);
}

} // namespace
