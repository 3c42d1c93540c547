/*
 * runtime.h: the memory and string functions that SETUP.EXE carries itself,
 * under the names the host tests call them by.
 *
 * A fresh Windows 95 or NT 3.51 has no C runtime DLL, so SETUP.EXE links
 * runtime.cpp built with TV_OWN_RUNTIME, which gives these functions their
 * standard names (memcpy, strlen, ...) for the whole program and for the
 * copies and fills the compiler emits on its own.  Everywhere else the same
 * code is built under the rt_ names below, so that the host tests hold it to
 * the C library's results without replacing the C library.
 */
#ifndef TARVEX_PLATFORM_RUNTIME_H
#define TARVEX_PLATFORM_RUNTIME_H

#include <cstddef>

extern "C" {
void *rt_memcpy(void *dest, const void *src, size_t count);
void *rt_memmove(void *dest, const void *src, size_t count);
void *rt_memset(void *dest, int value, size_t count);
int rt_memcmp(const void *a, const void *b, size_t count);
size_t rt_strlen(const char *text);
char *rt_strchr(const char *text, int c);
char *rt_strrchr(const char *text, int c);
char *rt_strcat(char *dest, const char *src);
size_t rt_strcspn(const char *text, const char *reject);
char *rt_strpbrk(const char *text, const char *accept);
}

#endif
