/*
 * posix_internal.h: what the files of the POSIX port (posix_*.cpp) share:
 * the path and time helpers more than one service needs.  Private to the
 * port; tools use posix.h.
 */
#ifndef TARVEX_PLATFORM_POSIX_INTERNAL_H
#define TARVEX_PLATFORM_POSIX_INTERNAL_H

#include "platform/posix.h"

#include <ctime>
#include <string>
#include <sys/stat.h>

namespace posix_detail {

std::string lower(std::string text);
/* The parent directory of a host path, for the read-only checks. */
std::string parent_of(const std::string &p);
/* Forgets the drive maps (posix_paths.cpp). */
void forget_drives(void);
/* Forgets the creation times set (posix_files.cpp). */
void forget_creation_times(void);

const uint64_t EPOCH_DIFF = 11644473600ULL; /* seconds from 1601 to 1970 */
uint64_t ft_value(const plat_filetime &t);
plat_filetime ft_make(uint64_t v);
plat_filetime ft_from_timespec(const struct timespec &ts);
struct timespec timespec_from_ft(const plat_filetime &t);

} /* namespace posix_detail */

#endif
