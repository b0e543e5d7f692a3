// SPDX-License-Identifier: BSD-3-Clause
// Tests of the text made of binary jsonb, uuid, interval, network and MAC
// values, and of the date numbers read from ISO date/time text.  The
// expected texts are what the server's output functions write.
#include "types/text_forms.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "types/datetime_text.hpp"
#include "types/type_catalogue.hpp"
#include "types/type_oids.hpp"
#include "types/wire.hpp"

namespace vorlex {
namespace {

std::string bytes(std::initializer_list<int> values) {
    std::string out;
    for (int value : values) out += static_cast<char>(value);
    return out;
}

std::string interval(int64_t micros, int32_t days, int32_t months) {
    char out[16];
    storeBig64(out, static_cast<uint64_t>(micros));
    storeBig32(out + 8, static_cast<uint32_t>(days));
    storeBig32(out + 12, static_cast<uint32_t>(months));
    return std::string(out, sizeof out);
}

std::string decoded(TextDecoder decode, const std::string& wire) {
    std::string text, error;
    EXPECT_TRUE(decode(wire.data(), wire.size(), text, error)) << error;
    return text;
}

TEST(TextForms, DecodeAsTheServerWrites) {
    struct Case {
        TextDecoder decode;
        std::string wire;
        const char* text;
    };
    constexpr int64_t kHour = 3600000000LL, kSecond = 1000000;
    const Case cases[] = {
        {jsonbText, "\x01{\"a\": 1}", "{\"a\": 1}"},
        {uuidText,
         bytes({0xa0, 0xee, 0xbc, 0x99, 0x9c, 0x0b, 0x4e, 0xf8, 0xbb, 0x6d, 0x6b, 0xb9, 0xbd, 0x38,
                0x0a, 0x11}),
         "a0eebc99-9c0b-4ef8-bb6d-6bb9bd380a11"},
        {intervalText, interval(0, 0, 0), "00:00:00"},
        {intervalText, interval(-kSecond, 0, 0), "-00:00:01"},
        {intervalText, interval(0, 1, 0), "1 day"},
        {intervalText, interval(0, -1, 0), "-1 days"},
        {intervalText, interval(0, 0, 14), "1 year 2 mons"},
        {intervalText, interval(0, 0, -1), "-1 mons"},
        {intervalText, interval(4 * kHour + 5 * 60 * kSecond + 6500000, -3, 14),
         "1 year 2 mons -3 days +04:05:06.5"},
        {intervalText, interval(-(4 * kHour + 1), 3, -14),
         "-1 years -2 mons +3 days -04:00:00.000001"},
        {intervalText, interval(100 * kHour, 0, 0), "100:00:00"},
        {intervalText, interval(kSecond, 1, 0), "1 day 00:00:01"},
        {intervalText, interval(-kSecond / 2, 0, 0), "-00:00:00.5"},
        {inetText, bytes({2, 32, 0, 4, 192, 168, 0, 1}), "192.168.0.1"},
        {inetText, bytes({2, 24, 0, 4, 192, 168, 0, 1}), "192.168.0.1/24"},
        {inetText, bytes({2, 32, 1, 4, 10, 0, 0, 1}), "10.0.0.1/32"},  // cidr
        {inetText, bytes({3, 128, 0, 16, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}), "::1"},
        {inetText, bytes({3, 128, 0, 16, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 2, 3, 4}),
         "::1.2.3.4"},
        {inetText, bytes({3, 128, 0, 16, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2}), "::2"},
        {inetText, bytes({3, 128, 0, 16, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff, 1, 2, 3, 4}),
         "::ffff:1.2.3.4"},
        {inetText,
         bytes({3, 32, 1, 16, 0x20, 0x01, 0x0d, 0xb8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}),
         "2001:db8::/32"},
        {inetText, bytes({3, 128, 0, 16, 0, 1, 0, 0, 0, 0, 0, 5, 0, 0, 0, 0, 0, 0, 0, 8}),
         "1:0:0:5::8"},  // the longer run of zeros
        {inetText, bytes({3, 128, 0, 16, 0, 1, 0, 0, 0, 2, 0, 3, 0, 4, 0, 5, 0, 6, 0, 7}),
         "1:0:2:3:4:5:6:7"},  // a single zero group stays
        {macaddrText, bytes({8, 0, 0x2b, 1, 2, 3}), "08:00:2b:01:02:03"},
        {macaddrText, bytes({8, 0, 0x2b, 1, 2, 3, 4, 5}), "08:00:2b:01:02:03:04:05"},
    };
    for (const Case& c : cases) EXPECT_EQ(decoded(c.decode, c.wire), c.text);
}

TEST(TextForms, RefuseValuesOfAnotherForm) {
    struct Case {
        TextDecoder decode;
        std::string wire;
    };
    const Case cases[] = {
        {jsonbText, ""},
        {jsonbText, "\x02{}"},
        {uuidText, std::string(15, 'a')},
        {intervalText, std::string(12, '\0')},
        {inetText, bytes({2, 32, 0, 4, 1, 2, 3})},
        {inetText, bytes({2, 33, 0, 4, 1, 2, 3, 4})},
        {inetText, bytes({4, 32, 0, 4, 1, 2, 3, 4})},
        {macaddrText, bytes({1, 2, 3, 4, 5, 6, 7})},
    };
    for (const Case& c : cases) {
        std::string text, error;
        EXPECT_FALSE(c.decode(c.wire.data(), c.wire.size(), text, error));
        EXPECT_FALSE(error.empty());
    }
}

TEST(TextForms, NamesOfKnownTypes) {
    EXPECT_EQ(knownTypeName(kInt4Oid), "int4");
    EXPECT_EQ(knownTypeName(kInt4ArrayOid), "_int4");
    EXPECT_EQ(knownTypeName(kByteaOid), "bytea");
    EXPECT_EQ(knownTypeName(kUuidArrayOid), "_uuid");
    EXPECT_EQ(knownTypeName(kIntervalOid), "interval");
    EXPECT_EQ(knownTypeName(600), "");  // point
}

TEST(DateTimeText, IsoTextGivesTheBinaryReadersDateNumbers) {
    struct Case {
        Oid oid;
        const char* text;
        double datenum;
    };
    const double inf = HUGE_VAL;
    const Case cases[] = {
        {kDateOid, "2000-01-01", 730486},
        {kDateOid, "2024-02-29", 739311},
        {kDateOid, "0001-01-01", 367},
        {kDateOid, "0001-12-31 BC", 366},
        {kDateOid, "infinity", inf},
        {kDateOid, "-infinity", -inf},
        {kTimestampOid, "2000-01-01 12:00:00", 730486.5},
        {kTimestampOid, "2000-01-01 06:00:00.25", 730486.25 + 0.25 / 86400},
        {kTimestampOid, "0001-12-31 18:00:00 BC", 366.75},
        {kTimestamptzOid, "2000-01-01 12:00:00+06", 730486.25},
        {kTimestamptzOid, "2000-01-01 00:00:00-05:30", 730486 + 5.5 / 24},
        {kTimestamptzOid, "infinity", inf},
        {kTimeOid, "18:00:00", 0.75},
        {kTimeOid, "24:00:00", 1},
        {kTimetzOid, "06:00:00+02", 0.25},  // the zone is dropped
    };
    for (const Case& c : cases) {
        ElementReader read = typeOfOid(c.oid)->reading.text;
        ASSERT_NE(read, nullptr);
        double datenum = 0;
        std::string error;
        ASSERT_TRUE(
            read(c.text, std::strlen(c.text), {nullptr, &datenum}, 0, PGtypeFormatInfo{}, error))
            << c.text << ": " << error;
        EXPECT_DOUBLE_EQ(datenum, c.datenum) << c.text;
    }
}

TEST(DateTimeText, RefusesOtherStyles) {
    const char* const texts[] = {"01/02/2000",
                                 "2000-13-01",
                                 "2000-01-01 12:00",
                                 "Sat Jan 01",
                                 "2000-01-01 12:00:00 BCE",
                                 ""};
    for (const char* text : texts) {
        double datenum;
        std::string error;
        EXPECT_FALSE(timestampFromText(text, std::strlen(text), false, datenum, error)) << text;
    }
}

}  // namespace
}  // namespace vorlex
