/*
 * posix_internal.h: what one file of the POSIX port (posix_*.cpp) gives
 * another: the files' times from the time file, and the forgetting of the
 * drive maps from the paths file.  Private to the port; tools use posix.h.
 */
#ifndef TARVEX_PLATFORM_POSIX_INTERNAL_H
#define TARVEX_PLATFORM_POSIX_INTERNAL_H

#include "platform/posix.h"

#include <ctime>
#include <sys/stat.h>

namespace posix_detail {

/* Forgets the drive maps (posix_paths.cpp). */
void forget_drives(void);

/* A POSIX time as a file time and back (posix_time.cpp). */
plat_filetime ft_from_timespec(const struct timespec &ts);
struct timespec timespec_from_ft(const plat_filetime &t);

} /* namespace posix_detail */

#endif
