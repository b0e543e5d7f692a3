// SPDX-License-Identifier: BSD-3-Clause
// time_zones.hpp - time zones, the calendar, and date/time values as ISO
// 8601 text, on exact values: microseconds (timestamps, times) and days
// (dates) counted from PostgreSQL's epoch, 2000-01-01 00:00 UTC, as its
// binary forms carry them.  Plain C++ and the C library, for any host.
//
// A zone is 'UTC', 'local' (the process's zone: TZ, else /etc/localtime,
// read anew each time a clock is made) or an IANA name of the zone
// database (TZDIR, else /usr/share/zoneinfo).
//
// Texts print six fraction digits always: every value keeps its
// microseconds, and every text of a type has one width (years 1-9999).
//   date         2024-06-01            (0044-03-15 BC, infinity, -infinity)
//   time         14:00:00.123456
//   timetz       14:00:00.123456+02    (+05:30, -00:25:21 as the offset needs)
//   timestamp    2024-06-01 14:00:00.123456
//   timestamptz  2024-06-01 14:00:00.123456+02
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace vorlex {

constexpr int64_t kSecondMicros = 1000000;
constexpr int64_t kDaySeconds = 86400;
constexpr int64_t kDayMicros = kDaySeconds * kSecondMicros;
// 1970-01-01, the POSIX epoch, in days from 2000-01-01.
constexpr int64_t kPosixEpochDays = -10957;
// PostgreSQL's 'infinity' and '-infinity', as microseconds or days.
constexpr int64_t kInfinite = INT64_MAX;
constexpr int64_t kMinusInfinite = INT64_MIN;

// A timetz as one int64: its offset (seconds east, biased to be positive)
// above the 37 bits a day's microseconds take.
constexpr int kTimetzOffsetShift = 37;
constexpr int64_t kTimetzOffsetBias = int64_t{1} << 20;
constexpr int64_t packTimetz(int64_t micros, int32_t offset) {
    return ((offset + kTimetzOffsetBias) << kTimetzOffsetShift) | micros;
}
constexpr int64_t timetzMicros(int64_t packed) {
    return packed & ((int64_t{1} << kTimetzOffsetShift) - 1);
}
constexpr int32_t timetzOffset(int64_t packed) {
    return static_cast<int32_t>((packed >> kTimetzOffsetShift) - kTimetzOffsetBias);
}

// --- Zones ---------------------------------------------------------------

enum class ZoneKind { utc, local, named };

struct TimeZone {
    ZoneKind kind = ZoneKind::utc;
    std::string name;  // named zones: the IANA name
};

// The zone `text` names ('UTC' and 'local' in any case); false, with the
// reason, for a name the zone database does not hold or one that is not a
// plain relative name (no '..', no leading '/').
bool timeZoneNamed(const std::string& text, TimeZone& zone, std::string& error);

// A zone's offsets from UTC, read through the C library's localtime_r:
// while a clock of a named zone lives, TZ holds its name, and the
// process's TZ is put back when the clock goes (so one clock serves a
// whole column, and no two live at once).  Offsets are cached per 15
// minutes of UTC (every transition of the database's zones falls on
// one span only): a column of a million values asks the C library once
// per span it meets, not once per value.
class ZoneClock {
  public:
    explicit ZoneClock(const TimeZone& zone);
    ~ZoneClock();
    ZoneClock(const ZoneClock&) = delete;
    ZoneClock& operator=(const ZoneClock&) = delete;

    // Seconds east of UTC at a UTC instant, in seconds from the epoch.
    int32_t offsetAt(int64_t utcSeconds);
    // The wall time of a UTC instant, and the offset it has there.
    int64_t wallOf(int64_t utcMicros, int32_t& offset);
    // The UTC instant of a wall time, as PostgreSQL reads a timestamptz
    // without an offset: a wall time a transition skips (a gap) takes the
    // offset before it, one that comes twice (an overlap) the offset after.
    int64_t utcOf(int64_t wallMicros);

  private:
    struct Span {
        int64_t index = INT64_MIN;
        int32_t offset = 0;
    };
    int32_t libraryOffset(int64_t utcSeconds) const;

    ZoneKind kind_;
    bool restoreTz_ = false;
    bool hadTz_ = false;
    std::string savedTz_;
    Span spans_[64];
};

// A date number (Octave's days, 730486 at 2000-01-01) of a wall time in
// `zone` as the date number of its UTC instant (±Inf and NaN stay), and
// the same in microseconds.
double utcDatenumOfWall(double datenum, const TimeZone& zone);
int64_t utcMicrosOfWall(int64_t wallMicros, const TimeZone& zone);

// --- Calendar ------------------------------------------------------------

// Days from the epoch of a proleptic Gregorian date; `year` is
// astronomical (1 BC is 0).
int64_t daysFromCivil(int64_t year, int64_t month, int64_t day);
void civilFromDays(int64_t days, int64_t& year, int64_t& month, int64_t& day);

// floor(value / divisor) for a positive divisor.
constexpr int64_t floorDivide(int64_t value, int64_t divisor) {
    return value / divisor - (value % divisor < 0 ? 1 : 0);
}

// --- Text ----------------------------------------------------------------

// Room for the longest text below.
constexpr size_t kDateTimeTextRoom = 64;

// Each writes its text at `out` and returns its length.  `offset`
// (seconds east of UTC) is printed when not null.
size_t formatDate(int64_t days, char* out);
size_t formatTime(int64_t micros, const int32_t* offset, char* out);
size_t formatTimestamp(int64_t micros, const int32_t* offset, char* out);

}  // namespace vorlex
