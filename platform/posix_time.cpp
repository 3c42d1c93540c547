/*
 * posix_time.cpp: file times as 100 ns counts from 1601, the DOS date and
 * time, local time by the host's current offset, and the system's clock.
 */
#include "platform/posix_internal.h"

#include <ctime>

namespace {

const uint64_t EPOCH_DIFF = 11644473600ULL; /* seconds from 1601 to 1970 */

uint64_t ft_value(const plat_filetime &t) {
    return (uint64_t(t.dwHighDateTime) << 32) | t.dwLowDateTime;
}

plat_filetime ft_make(uint64_t v) {
    plat_filetime t;
    t.dwLowDateTime = uint32_t(v);
    t.dwHighDateTime = uint32_t(v >> 32);
    return t;
}

} /* namespace */

namespace posix_detail {

plat_filetime ft_from_timespec(const struct timespec &ts) {
    return ft_make((uint64_t(ts.tv_sec) + EPOCH_DIFF) * 10000000ULL + uint64_t(ts.tv_nsec) / 100);
}

struct timespec timespec_from_ft(const plat_filetime &t) {
    uint64_t v = ft_value(t);
    struct timespec ts;
    ts.tv_sec = time_t(v / 10000000ULL - EPOCH_DIFF);
    ts.tv_nsec = long(v % 10000000ULL) * 100;
    return ts;
}

} /* namespace posix_detail */

using namespace posix_detail;

namespace {

int64_t days_from_civil(int y, unsigned m, unsigned d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = unsigned(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + int64_t(doe) - 719468;
}

unsigned days_in_month(int y, unsigned m) {
    static const unsigned days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    return m == 2 && leap ? 29 : days[m - 1];
}

/* The current offset of local time from UTC, in 100 ns units. */
int64_t local_bias(void) {
    time_t now = time(nullptr);
    struct tm tmv;
    localtime_r(&now, &tmv);
    return int64_t(tmv.tm_gmtoff) * 10000000LL;
}

} /* namespace */

int plat_dos_to_file_time(uint16_t dos_date, uint16_t dos_time, plat_filetime *out) {
    int year = 1980 + (dos_date >> 9);
    unsigned month = (dos_date >> 5) & 15, day = dos_date & 31;
    unsigned hour = dos_time >> 11, minute = (dos_time >> 5) & 63, second = (dos_time & 31) * 2;
    if (month < 1 || month > 12 || day < 1 || day > days_in_month(year, month)) return 0;
    if (hour > 23 || minute > 59 || second > 59) return 0;
    int64_t days = days_from_civil(year, month, day) + int64_t(EPOCH_DIFF / 86400);
    uint64_t seconds = uint64_t(days) * 86400 + hour * 3600 + minute * 60 + second;
    *out = ft_make(seconds * 10000000ULL);
    return 1;
}

int plat_local_to_file_time(const plat_filetime *local, plat_filetime *utc) {
    *utc = ft_make(uint64_t(int64_t(ft_value(*local)) - local_bias()));
    return 1;
}

uint32_t posix_ticks(void) {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return uint32_t(uint64_t(ts.tv_sec) * 1000 + uint64_t(ts.tv_nsec) / 1000000);
}
