// SPDX-License-Identifier: BSD-3-Clause
// Tests of zones, their offsets and wall times (gaps and overlaps as the
// server reads them), and the ISO 8601 texts of exact values.
#include "types/time_zones.hpp"

#include <gtest/gtest.h>

#include <string>

namespace vorlex {
namespace {

// Microseconds from 2000-01-01 of a UTC date and time.
int64_t at(int64_t year, int64_t month, int64_t day, int64_t hour, int64_t minute) {
    return (daysFromCivil(year, month, day) * 86400 + hour * 3600 + minute * 60) * kSecondMicros;
}

TEST(TimeZones, NamesWallTimesAndTexts) {
    struct Case {
        const char* zone;  // null: no zone, text only
        int64_t utc;       // the instant
        int64_t wall;      // its wall time in the zone; utcOf(wall) gives utc
        const char* text;  // formatTimestamp of the wall time with its offset
    };
    const Case cases[] = {
        {"UTC", at(2024, 6, 1, 12, 0) + 123456, at(2024, 6, 1, 12, 0) + 123456,
         "2024-06-01 12:00:00.123456+00"},
        {"Europe/Berlin", at(2024, 6, 1, 12, 0), at(2024, 6, 1, 14, 0),
         "2024-06-01 14:00:00.000000+02"},
        {"Europe/Berlin", at(2024, 1, 1, 0, 0), at(2024, 1, 1, 1, 0),
         "2024-01-01 01:00:00.000000+01"},
        {"Asia/Kolkata", at(2024, 1, 1, 0, 0), at(2024, 1, 1, 5, 30),
         "2024-01-01 05:30:00.000000+05:30"},
        // Gap: 02:30 does not exist; the offset before (+01) applies.
        {"Europe/Berlin", at(2024, 3, 31, 1, 30), at(2024, 3, 31, 2, 30), nullptr},
        // Overlap: 02:30 comes twice; the offset after (+01) applies.
        {"Europe/Berlin", at(2024, 10, 27, 1, 30), at(2024, 10, 27, 2, 30),
         "2024-10-27 02:30:00.000000+01"},
        {"America/New_York", at(2024, 3, 10, 7, 30), at(2024, 3, 10, 2, 30), nullptr},
        {"America/New_York", at(2024, 11, 3, 6, 30), at(2024, 11, 3, 1, 30),
         "2024-11-03 01:30:00.000000-05"},
        // Past the zone file's last transition: its rule.
        {"Europe/Berlin", at(2100, 7, 1, 0, 0), at(2100, 7, 1, 2, 0),
         "2100-07-01 02:00:00.000000+02"},
        // Local mean time, an offset of seconds.
        {"Europe/Amsterdam", at(1900, 1, 1, 0, 0), at(1900, 1, 1, 0, 19) + 32 * kSecondMicros,
         "1900-01-01 00:19:32.000000+00:19:32"},
    };
    for (const Case& c : cases) {
        TimeZone zone;
        std::string error;
        ASSERT_TRUE(timeZoneNamed(c.zone, zone, error)) << error;
        ZoneClock clock(zone);
        int32_t offset;
        EXPECT_EQ(clock.utcOf(c.wall), c.utc) << c.zone << " " << c.wall;
        if (!c.text) continue;
        EXPECT_EQ(clock.wallOf(c.utc, offset), c.wall) << c.zone;
        char text[kDateTimeTextRoom];
        EXPECT_EQ(std::string(text, formatTimestamp(c.wall, &offset, text)), c.text);
    }
}

TEST(TimeZones, RefusedNamesAndTZRestored) {
    setenv("TZ", "Asia/Tokyo", 1);
    for (const char* name : {"Mars/Olympus", "../etc/passwd", "/usr/share/zoneinfo/UTC",
                             "Europe/../Europe/Berlin", "Europe", ""}) {
        TimeZone zone;
        std::string error;
        EXPECT_FALSE(timeZoneNamed(name, zone, error)) << name;
    }
    TimeZone zone;
    std::string error;
    ASSERT_TRUE(timeZoneNamed("Europe/Berlin", zone, error));
    { ZoneClock clock(zone); }
    EXPECT_STREQ(getenv("TZ"), "Asia/Tokyo");
    ASSERT_TRUE(timeZoneNamed("local", zone, error));
    ZoneClock local(zone);
    EXPECT_EQ(local.offsetAt(0), 9 * 3600);
    unsetenv("TZ");
}

TEST(TimeZones, Texts) {
    char text[kDateTimeTextRoom];
    auto date = [&](int64_t days) { return std::string(text, formatDate(days, text)); };
    int32_t minus = -(3 * 3600 + 30 * 60);
    EXPECT_EQ(date(0), "2000-01-01");
    EXPECT_EQ(date(daysFromCivil(-43, 3, 15)), "0044-03-15 BC");
    EXPECT_EQ(date(daysFromCivil(12345, 12, 31)), "12345-12-31");
    EXPECT_EQ(date(kInfinite), "infinity");
    EXPECT_EQ(std::string(text, formatTimestamp(kMinusInfinite, nullptr, text)), "-infinity");
    EXPECT_EQ(std::string(text, formatTimestamp(-1, nullptr, text)), "1999-12-31 23:59:59.999999");
    EXPECT_EQ(std::string(text, formatTime(kDayMicros, &minus, text)), "24:00:00.000000-03:30");
    int64_t year, month, day;
    civilFromDays(daysFromCivil(2024, 2, 29), year, month, day);
    EXPECT_EQ(year * 10000 + month * 100 + day, 20240229);
}

}  // namespace
}  // namespace vorlex
