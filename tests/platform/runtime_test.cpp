// SETUP.EXE's own memory and string functions give what the C library gives:
// texts with high-byte (ANSI) characters, the terminator as a searched-for
// character, overlapping moves both ways and unsigned comparison.
#include "platform/runtime.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

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
