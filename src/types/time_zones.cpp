// SPDX-License-Identifier: BSD-3-Clause
// time_zones.cpp - zones through the C library, the proleptic Gregorian
// calendar, and ISO 8601 text.
//
// The C library reads the zone database itself, footers for dates past
// its last transition included; reading TZif files here would repeat
// that.  What it costs, a setenv and tzset per clock and a localtime_r per
// 15 minutes of UTC met, is paid once per column.
#include "types/time_zones.hpp"

#include <strings.h>

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace vorlex {

namespace {

constexpr int64_t kSpanSeconds = 15 * 60;
// 2000-01-01 as a time_t.
constexpr int64_t kEpochTime = 946684800;
constexpr double kEpochDatenum = 730486.0;

const char* zoneFolder() {
    const char* folder = std::getenv("TZDIR");
    return folder && *folder ? folder : "/usr/share/zoneinfo";
}

// Letters, digits, '_', '-', '+' in components parted by '/', none empty,
// '.' or '..'.
bool isPlainName(const std::string& name) {
    if (name.empty() || name.size() > 255) return false;
    size_t start = 0;
    while (start <= name.size()) {
        size_t end = name.find('/', start);
        if (end == std::string::npos) end = name.size();
        std::string part = name.substr(start, end - start);
        if (part.empty() || part == "." || part == "..") return false;
        for (char c : part)
            if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_' && c != '-' && c != '+')
                return false;
        start = end + 1;
    }
    return true;
}

// Whether the zone database holds a zone file of that name.
bool isZoneFile(const std::string& name) {
    std::string path = std::string(zoneFolder()) + "/" + name;
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return false;
    char magic[4] = {};
    bool isZone = std::fread(magic, 1, 4, file) == 4 && std::memcmp(magic, "TZif", 4) == 0;
    std::fclose(file);
    return isZone;
}

char* putDigits(char* out, int64_t value, int width) {
    for (int k = width - 1; k >= 0; --k, value /= 10) out[k] = static_cast<char>('0' + value % 10);
    return out + width;
}

// "HH:MM:SS.ffffff" of microseconds in a day (24:00:00 included).
char* putClock(char* out, int64_t micros) {
    int64_t seconds = micros / kSecondMicros;
    out = putDigits(out, seconds / 3600, 2);
    *out++ = ':';
    out = putDigits(out, seconds / 60 % 60, 2);
    *out++ = ':';
    out = putDigits(out, seconds % 60, 2);
    *out++ = '.';
    return putDigits(out, micros % kSecondMicros, 6);
}

// "+HH", "+HH:MM" or "+HH:MM:SS", as PostgreSQL prints an offset.
char* putOffset(char* out, int32_t offset) {
    *out++ = offset < 0 ? '-' : '+';
    int32_t seconds = offset < 0 ? -offset : offset;
    out = putDigits(out, seconds / 3600, 2);
    if (seconds % 3600 == 0) return out;
    *out++ = ':';
    out = putDigits(out, seconds / 60 % 60, 2);
    if (seconds % 60 == 0) return out;
    *out++ = ':';
    return putDigits(out, seconds % 60, 2);
}

// "YYYY-MM-DD" with at least four year digits; BC years set `bc`.
char* putDate(char* out, int64_t days, bool& bc) {
    int64_t year, month, day;
    civilFromDays(days, year, month, day);
    bc = year <= 0;
    if (bc) year = 1 - year;
    int width = 4;
    for (int64_t rest = year / 10000; rest > 0; rest /= 10) ++width;
    out = putDigits(out, year, width);
    *out++ = '-';
    out = putDigits(out, month, 2);
    *out++ = '-';
    return putDigits(out, day, 2);
}

size_t putInfinity(int64_t value, char* out) {
    const char* text = value == kInfinite ? "infinity" : "-infinity";
    std::strcpy(out, text);
    return std::strlen(text);
}

}  // namespace

// --- Zones ---------------------------------------------------------------

bool timeZoneNamed(const std::string& text, TimeZone& zone, std::string& error) {
    zone = TimeZone{};
    if (strcasecmp(text.c_str(), "UTC") == 0) return true;
    if (strcasecmp(text.c_str(), "local") == 0) {
        zone.kind = ZoneKind::local;
        return true;
    }
    if (!isPlainName(text) || !isZoneFile(text)) {
        error = "'" + text +
                "' is not a time zone: 'UTC', 'local' or a name of the zone database "
                "in " +
                zoneFolder() + " such as 'Europe/Berlin'";
        return false;
    }
    zone.kind = ZoneKind::named;
    zone.name = text;
    return true;
}

ZoneClock::ZoneClock(const TimeZone& zone) : kind_(zone.kind) {
    if (kind_ == ZoneKind::named) {
        const char* tz = std::getenv("TZ");
        hadTz_ = tz != nullptr;
        if (tz) savedTz_ = tz;
        setenv("TZ", zone.name.c_str(), 1);
        restoreTz_ = true;
    }
    if (kind_ != ZoneKind::utc) tzset();
}

ZoneClock::~ZoneClock() {
    if (!restoreTz_) return;
    if (hadTz_)
        setenv("TZ", savedTz_.c_str(), 1);
    else
        unsetenv("TZ");
    tzset();
}

int32_t ZoneClock::libraryOffset(int64_t utcSeconds) const {
    time_t instant = static_cast<time_t>(utcSeconds + kEpochTime);
    struct tm wall;
    if (!localtime_r(&instant, &wall)) return 0;
    return static_cast<int32_t>(wall.tm_gmtoff);
}

int32_t ZoneClock::offsetAt(int64_t utcSeconds) {
    if (kind_ == ZoneKind::utc) return 0;
    int64_t index = floorDivide(utcSeconds, kSpanSeconds);
    Span& span = spans_[static_cast<uint64_t>(index) % (sizeof spans_ / sizeof spans_[0])];
    if (span.index == index) return span.offset;
    int32_t first = libraryOffset(index * kSpanSeconds);
    // A span a transition falls in is not kept.
    if (libraryOffset(index * kSpanSeconds + kSpanSeconds - 1) != first)
        return libraryOffset(utcSeconds);
    span = {index, first};
    return first;
}

int64_t ZoneClock::wallOf(int64_t utcMicros, int32_t& offset) {
    offset = offsetAt(floorDivide(utcMicros, kSecondMicros));
    return utcMicros + offset * kSecondMicros;
}

int64_t ZoneClock::utcOf(int64_t wallMicros) {
    if (kind_ == ZoneKind::utc) return wallMicros;
    // The offsets a day either side: no offset reaches a day, and no two
    // transitions come within two days.
    int64_t wall = floorDivide(wallMicros, kSecondMicros);
    int32_t before = offsetAt(wall - kDaySeconds);
    int32_t after = offsetAt(wall + kDaySeconds);
    int32_t offset = before;
    if (before != after && offsetAt(wall - after) == after) offset = after;
    return wallMicros - offset * kSecondMicros;
}

double utcDatenumOfWall(double datenum, const TimeZone& zone) {
    if (!std::isfinite(datenum) || zone.kind == ZoneKind::utc) return datenum;
    double micros = std::round((datenum - kEpochDatenum) * static_cast<double>(kDayMicros));
    if (std::fabs(micros) >= 9.2e18) return datenum;  // beyond any zone's reach
    int64_t utc = utcMicrosOfWall(static_cast<int64_t>(micros), zone);
    return static_cast<double>(utc) / static_cast<double>(kDayMicros) + kEpochDatenum;
}

int64_t utcMicrosOfWall(int64_t wallMicros, const TimeZone& zone) {
    ZoneClock clock(zone);
    return clock.utcOf(wallMicros);
}

// --- Calendar ------------------------------------------------------------

int64_t daysFromCivil(int64_t year, int64_t month, int64_t day) {
    year -= month <= 2;
    int64_t era = (year >= 0 ? year : year - 399) / 400;
    int64_t yearOfEra = year - era * 400;
    int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 730425;
}

void civilFromDays(int64_t days, int64_t& year, int64_t& month, int64_t& day) {
    int64_t shifted = days + 730425;  // days from 0000-03-01
    int64_t era = floorDivide(shifted, 146097);
    int64_t dayOfEra = shifted - era * 146097;
    int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    int64_t monthFromMarch = (5 * dayOfYear + 2) / 153;
    day = dayOfYear - (153 * monthFromMarch + 2) / 5 + 1;
    month = monthFromMarch < 10 ? monthFromMarch + 3 : monthFromMarch - 9;
    year = yearOfEra + era * 400 + (month <= 2);
}

// --- Text ----------------------------------------------------------------

size_t formatDate(int64_t days, char* out) {
    if (days == kInfinite || days == kMinusInfinite) return putInfinity(days, out);
    bool bc;
    char* end = putDate(out, days, bc);
    if (bc) end = static_cast<char*>(std::memcpy(end, " BC", 3)) + 3;
    return static_cast<size_t>(end - out);
}

size_t formatTime(int64_t micros, const int32_t* offset, char* out) {
    char* end = putClock(out, micros);
    if (offset) end = putOffset(end, *offset);
    return static_cast<size_t>(end - out);
}

size_t formatTimestamp(int64_t micros, const int32_t* offset, char* out) {
    if (micros == kInfinite || micros == kMinusInfinite) return putInfinity(micros, out);
    bool bc;
    char* end = putDate(out, floorDivide(micros, kDayMicros), bc);
    *end++ = ' ';
    end = putClock(end, micros - floorDivide(micros, kDayMicros) * kDayMicros);
    if (offset) end = putOffset(end, *offset);
    if (bc) end = static_cast<char*>(std::memcpy(end, " BC", 3)) + 3;
    return static_cast<size_t>(end - out);
}

}  // namespace vorlex
