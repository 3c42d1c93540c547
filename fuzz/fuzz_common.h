/*
 * fuzz_common.h: what every fuzz target needs: a stop that names the promise
 * an input broke, and the hash that picks a run's options from its input.
 */
#ifndef TARVEX_FUZZ_FUZZ_COMMON_H
#define TARVEX_FUZZ_FUZZ_COMMON_H

#include "platform/platform.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

[[noreturn]] inline void broken(const char *why) {
    plat_write_stderr(why);
    plat_write_stderr("\n");
    abort();
}

inline uint32_t hash(const uint8_t *data, size_t size) {
    uint32_t h = 2166136261u;
    for (size_t i = 0; i < size; i++) h = (h ^ data[i]) * 16777619u;
    return h;
}

#endif
