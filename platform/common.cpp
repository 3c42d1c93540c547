/*
 * common.cpp: the operations that both platform layers build the same way
 * on top of the ones they implement themselves.
 */
#include "platform/platform.h"

int plat_format(char *buf, size_t capacity, const char *format, ...) {
    va_list args;
    va_start(args, format);
    int n = plat_vformat(buf, capacity, format, args);
    va_end(args);
    return n;
}
