// SPDX-License-Identifier: BSD-3-Clause
// Wire bytes of the number, bool and date/time element codecs.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "types/codec_datetime.hpp"
#include "types/codec_number.hpp"
#include "types/wire.hpp"

namespace vorlex {
namespace {

PGtypeFormatInfo formatInfo(bool integerDatetimes) {
    PGtypeFormatInfo info{};
    info.sversion = 150000;
    info.integer_datetimes = integerDatetimes ? 1 : 0;
    return info;
}

// Writes element 0 of `values` (doubles) with `write` and returns the bytes.
std::string writtenFromDouble(ElementWriter write, double value, size_t width,
                              bool integerDatetimes = true) {
    std::string out(width, '\x55');
    ElementSource source{&value, nullptr, true};
    std::string error;
    EXPECT_TRUE(write(&out[0], source, 0, formatInfo(integerDatetimes), error)) << error;
    return out;
}

int64_t asInt64(const std::string& bytes) { return static_cast<int64_t>(loadBig64(bytes.data())); }
int32_t asInt32(const std::string& bytes) { return static_cast<int32_t>(loadBig32(bytes.data())); }

TEST(NumberCodec, DoublesAreTruncatedTowardZeroAndCutToWidth) {
    EXPECT_EQ(asInt32(writtenFromDouble(writeInt4, 1.9, 4)), 1);
    EXPECT_EQ(asInt32(writtenFromDouble(writeInt4, -1.9, 4)), -1);
    EXPECT_EQ(static_cast<int16_t>(loadBig16(writtenFromDouble(writeInt2, 40000.0, 2).data())),
              -25536);
    EXPECT_EQ(asInt64(writtenFromDouble(writeInt8, -9007199254740993.0, 8)), -9007199254740992);
    EXPECT_EQ(writtenFromDouble(writeBool, 256.0, 1), std::string(1, '\0'));
    EXPECT_EQ(writtenFromDouble(writeBool, 2.0, 1), std::string(1, '\2'));
    EXPECT_EQ(loadBigFloat(writtenFromDouble(writeFloat4, 0.1, 4).data()), 0.1f);
    EXPECT_EQ(writtenFromDouble(writeFloat8, -2.5, 8), std::string("\xC0\x04\0\0\0\0\0\0", 8));
}

TEST(NumberCodec, OutOfRangeDoublesSaturateAndNaNIsZero) {
    EXPECT_EQ(truncateToInt32(1e12), INT32_MAX);
    EXPECT_EQ(truncateToInt32(-1e12), INT32_MIN);
    EXPECT_EQ(truncateToInt32(std::nan("")), 0);
    EXPECT_EQ(truncateToInt64(1e300), INT64_MAX);
    EXPECT_EQ(truncateToInt64(-std::numeric_limits<double>::infinity()), INT64_MIN);
}

TEST(NumberCodec, DoublesWithoutAValueOfTheTypeAreRefused) {
    const double nan = std::nan(""), inf = std::numeric_limits<double>::infinity();
    struct Case {
        ElementWriter write;
        double value;
        const char* text;
    } cases[] = {
        {writeInt2, nan, "NaN cannot be sent as int2"},
        {writeInt4, inf, "Inf cannot be sent as int4"},
        {writeInt8, -inf, "-Inf cannot be sent as int8"},
        {writeBool, nan, "NaN cannot be sent as bool"},
        {writeBool, -inf, "-Inf cannot be sent as bool"},
        {writeDate, nan, "NaN cannot be sent as a date"},
        {writeTime, inf, "Inf cannot be sent as a time"},
        {writeTimetz, nan, "NaN cannot be sent as a time"},
        {writeTimestamp, nan, "NaN cannot be sent as a timestamp"},
    };
    for (const Case& c : cases) {
        std::string out(12, '\0'), error;
        ElementSource source{&c.value, nullptr, true};
        EXPECT_FALSE(c.write(&out[0], source, 0, formatInfo(true), error)) << c.text;
        EXPECT_EQ(error.rfind(c.text, 0), 0u) << error;
        EXPECT_NE(error.find("valueIsNull"), std::string::npos) << error;
    }
    // timestamp and date have infinities of their own.
    EXPECT_EQ(asInt64(writtenFromDouble(writeTimestamp, inf, 8)), INT64_MAX);
    EXPECT_EQ(asInt32(writtenFromDouble(writeDate, -inf, 4)), INT32_MIN);
}

TEST(NumberCodec, OwnClassElementsAreCopiedBitForBit) {
    int64_t values[] = {0, INT64_MIN + 1};
    ElementSource source{values, nullptr, false};
    std::string out(8, '\0'), error;
    ASSERT_TRUE(writeInt8(&out[0], source, 1, formatInfo(true), error));
    EXPECT_EQ(out, std::string("\x80\0\0\0\0\0\0\x01", 8));

    int16_t shorts[] = {7, -2};
    ElementSource shortSource{shorts, nullptr, false};
    ASSERT_TRUE(writeInt2(&out[0], shortSource, 1, formatInfo(true), error));
    EXPECT_EQ(out.substr(0, 2), "\xFF\xFE");
}

TEST(NumberCodec, ReadersStoreHostValuesAndRefuseWrongWidths) {
    int32_t ints[2] = {};
    ElementTarget target{nullptr, ints};
    std::string error;
    ASSERT_TRUE(readInt4("\xFF\xFF\xFF\xFE", 4, target, 1, formatInfo(true), error));
    EXPECT_EQ(ints[1], -2);
    EXPECT_FALSE(readInt4("\0\0\0", 3, target, 0, formatInfo(true), error));
    EXPECT_NE(error.find("4 bytes"), std::string::npos);

    mxLogical flags[1] = {};
    ElementTarget flagTarget{nullptr, flags};
    ASSERT_TRUE(readBool("\x02", 1, flagTarget, 0, formatInfo(true), error));
    EXPECT_TRUE(flags[0]);
    EXPECT_FALSE(readBool("\x01\x00", 2, flagTarget, 0, formatInfo(true), error));

    double doubles[1];
    ElementTarget doubleTarget{nullptr, doubles};
    ASSERT_TRUE(readFloat8("\x40\x09\x21\xFB\x54\x44\x2D\x18", 8, doubleTarget, 0, formatInfo(true),
                           error));
    EXPECT_DOUBLE_EQ(doubles[0], M_PI);
}

TEST(DateTimeCodec, TimestampsCountMicrosecondsFromTheEpoch) {
    std::string bytes = writtenFromDouble(writeTimestamp, 730486.5, 8);
    EXPECT_EQ(asInt64(bytes), 43200000000);
    EXPECT_EQ(decodeTimestamp(bytes.data(), true), 730486.5);
    EXPECT_EQ(asInt64(writtenFromDouble(writeTimestamp, 730485.0, 8)), -86400000000);
}

TEST(DateTimeCodec, FloatServersCountSecondsFromTheEpoch) {
    std::string bytes = writtenFromDouble(writeTimestamp, 730487.25, 8, false);
    EXPECT_EQ(loadBigDouble(bytes.data()), 1.25 * 86400);
    EXPECT_EQ(decodeTimestamp(bytes.data(), false), 730487.25);
    bytes = writtenFromDouble(writeTime, 0.5, 8, false);
    EXPECT_EQ(loadBigDouble(bytes.data()), 43200.0);
}

TEST(DateTimeCodec, DatesDropTheFractionAndTimesKeepOnlyIt) {
    EXPECT_EQ(asInt32(writtenFromDouble(writeDate, 730486 + 1.25, 4)), 1);
    EXPECT_EQ(asInt64(writtenFromDouble(writeTime, 730486 + 1.25, 8)), 21600000000);
    std::string date = writtenFromDouble(writeDate, 730486 + 1.25, 4);
    EXPECT_EQ(decodeDate(date.data()), 730487.0);
}

TEST(DateTimeCodec, TimetzSendsZoneZeroAndItsZoneIsDroppedOnRead) {
    std::string bytes = writtenFromDouble(writeTimetz, 0.25, 12);
    EXPECT_EQ(asInt64(bytes), 21600000000);
    EXPECT_EQ(bytes.substr(8), std::string(4, '\0'));

    // 06:00 in a zone 2 hours east (offset -7200 s): read as 06:00.
    std::string received = bytes.substr(0, 8) + std::string("\xFF\xFF\xE3\xE0", 4);
    double value = -1;
    ElementTarget target{nullptr, &value};
    std::string error;
    ASSERT_TRUE(readTime(received.data(), 12, target, 0, formatInfo(true), error)) << error;
    EXPECT_EQ(value, 0.25);
    EXPECT_FALSE(readTime(received.data(), 10, target, 0, formatInfo(true), error));
}

TEST(DateTimeCodec, TimeOfADateNumberMatchesTheTimeAlone) {
    // The fraction is rounded to what date numbers near the epoch resolve,
    // so 13:37 taken from a full date number and given alone agree.
    double alone = 13.0 / 24 + 37.0 / 1440;
    EXPECT_EQ(writtenFromDouble(writeTime, 738000 + alone, 8),
              writtenFromDouble(writeTime, 730486 + alone, 8));
}

TEST(DateTimeCodec, InfinitiesTravelAsPostgresInfinity) {
    double inf = std::numeric_limits<double>::infinity();
    std::string bytes = writtenFromDouble(writeTimestamp, inf, 8);
    EXPECT_EQ(asInt64(bytes), INT64_MAX);
    EXPECT_EQ(decodeTimestamp(bytes.data(), true), inf);
    bytes = writtenFromDouble(writeTimestamp, -inf, 8);
    EXPECT_EQ(decodeTimestamp(bytes.data(), true), -inf);
    bytes = writtenFromDouble(writeDate, -inf, 4);
    EXPECT_EQ(asInt32(bytes), INT32_MIN);
    EXPECT_EQ(decodeDate(bytes.data()), -inf);
}

TEST(DateTimeCodec, ReadersRefuseWrongLengths) {
    double value;
    ElementTarget target{nullptr, &value};
    std::string error;
    EXPECT_FALSE(readTimestamp("\0\0\0\0", 4, target, 0, formatInfo(true), error));
    EXPECT_FALSE(readDate("\0\0\0\0\0\0\0\0", 8, target, 0, formatInfo(true), error));
}

}  // namespace
}  // namespace vorlex
