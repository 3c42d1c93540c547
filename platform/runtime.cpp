/*
 * runtime.cpp: the memory and string functions of the C library that the
 * portable code calls, written out so that SETUP.EXE needs no C runtime DLL
 * (runtime.h says how the names are chosen).
 *
 * Byte at a time: the program copies and compares short paths and texts,
 * and the decoder's long copies are its window, which moves in a few large
 * blocks a member.  This file is built with loop pattern recognition off, so
 * that the compiler does not turn these loops back into calls of themselves.
 */
#include <cstddef>

#ifdef TV_OWN_RUNTIME
#define RT(name) name
#else
#define RT(name) rt_##name
#endif

extern "C" {

void *RT(memcpy)(void *dest, const void *src, size_t count) {
    unsigned char *d = static_cast<unsigned char *>(dest);
    const unsigned char *s = static_cast<const unsigned char *>(src);
    while (count--) *d++ = *s++;
    return dest;
}

/* Overlapping blocks are copied from the end that the copy moves away from. */
void *RT(memmove)(void *dest, const void *src, size_t count) {
    unsigned char *d = static_cast<unsigned char *>(dest);
    const unsigned char *s = static_cast<const unsigned char *>(src);
    if (d <= s || d >= s + count) return RT(memcpy)(dest, src, count);
    while (count--) d[count] = s[count];
    return dest;
}

void *RT(memset)(void *dest, int value, size_t count) {
    unsigned char *d = static_cast<unsigned char *>(dest);
    while (count--) *d++ = static_cast<unsigned char>(value);
    return dest;
}

int RT(memcmp)(const void *a, const void *b, size_t count) {
    const unsigned char *x = static_cast<const unsigned char *>(a);
    const unsigned char *y = static_cast<const unsigned char *>(b);
    for (; count; count--, x++, y++)
        if (*x != *y) return *x - *y;
    return 0;
}

size_t RT(strlen)(const char *text) {
    size_t n = 0;
    while (text[n]) n++;
    return n;
}

/* The terminator counts as part of the text: searching for 0 finds it. */
char *RT(strchr)(const char *text, int c) {
    for (;; text++) {
        if (*text == static_cast<char>(c)) return const_cast<char *>(text);
        if (!*text) return nullptr;
    }
}

char *RT(strrchr)(const char *text, int c) {
    const char *last = nullptr;
    for (;; text++) {
        if (*text == static_cast<char>(c)) last = text;
        if (!*text) return const_cast<char *>(last);
    }
}

char *RT(strcat)(char *dest, const char *src) {
    char *d = dest + RT(strlen)(dest);
    while ((*d++ = *src++) != 0) {
    }
    return dest;
}

size_t RT(strcspn)(const char *text, const char *reject) {
    size_t n = 0;
    while (text[n] && !RT(strchr)(reject, text[n])) n++;
    return n;
}

char *RT(strpbrk)(const char *text, const char *accept) {
    text += RT(strcspn)(text, accept);
    return *text ? const_cast<char *>(text) : nullptr;
}

} /* extern "C" */
