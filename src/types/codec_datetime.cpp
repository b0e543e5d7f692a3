// SPDX-License-Identifier: BSD-3-Clause
// codec_datetime.cpp - timestamp, timestamptz, time, timetz and date as
// Octave date numbers, and insert's fit rules for them.
//
// Date numbers count days with 730486 at PostgreSQL's epoch, 2000-01-01.
// Servers built with integer date/times send microseconds in an int64,
// older ones seconds in a float8; both are handled.  PostgreSQL's
// 'infinity' and '-infinity' (the extreme int64 and int32 values) become
// Inf and -Inf, and back.  time and timetz have no infinity, and no type
// here has a NaN: the writers refuse those.
#include "types/codec_datetime.hpp"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

#include "types/element_access.hpp"
#include "types/wire.hpp"

namespace vorlex {

namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();

// Microseconds since the epoch, or seconds for float date/times.
void encodeSinceEpoch(char* out, double days, bool integerDatetimes) {
    if (!integerDatetimes) {
        storeBigDouble(out, days * kSecondsPerDay);
        return;
    }
    int64_t micros = std::isinf(days) ? (days > 0 ? INT64_MAX : INT64_MIN)
                                      : truncateToInt64(days * kMicrosecondsPerDay);
    storeBig64(out, static_cast<uint64_t>(micros));
}

double decodeSinceEpoch(const char* in, bool integerDatetimes) {
    if (!integerDatetimes) return loadBigDouble(in) / kSecondsPerDay;
    auto micros = static_cast<int64_t>(loadBig64(in));
    if (micros == INT64_MAX) return kInfinity;
    if (micros == INT64_MIN) return -kInfinity;
    return static_cast<double>(micros) / kMicrosecondsPerDay;
}

// Rounds a fraction of a day to the resolution date numbers near the epoch
// have, so that a time taken from a full date number and one given alone
// agree.
double roundNearEpoch(double fraction) {
    volatile double shifted = fraction + kPostgresEpochDatenum;
    return shifted - kPostgresEpochDatenum;
}

bool refuse(double datenum, const char* type, std::string& error) {
    error = refusedDoubleText(datenum, type);
    return false;
}

}  // namespace

void encodeTimestamp(char* out, double datenum, bool integerDatetimes) {
    encodeSinceEpoch(out, datenum - kPostgresEpochDatenum, integerDatetimes);
}

double decodeTimestamp(const char* in, bool integerDatetimes) {
    return decodeSinceEpoch(in, integerDatetimes) + kPostgresEpochDatenum;
}

void encodeTime(char* out, double datenum, bool integerDatetimes) {
    double fraction = roundNearEpoch(datenum - truncateToInt32(datenum));
    encodeSinceEpoch(out, fraction, integerDatetimes);
}

double decodeTime(const char* in, bool integerDatetimes) {
    return roundNearEpoch(decodeSinceEpoch(in, integerDatetimes));
}

void encodeDate(char* out, double datenum) {
    int64_t days;
    if (std::isinf(datenum))
        days = datenum > 0 ? INT32_MAX : INT32_MIN;
    else
        days = int64_t{truncateToInt32(datenum)} - kPostgresEpochDays;
    storeBig32(out, static_cast<uint32_t>(static_cast<int32_t>(days)));
}

void encodeIntervalDays(char* out, double days, bool integerDatetimes) {
    double whole = std::trunc(days);
    double fraction = days - whole;
    if (integerDatetimes)
        storeBig64(out, static_cast<uint64_t>(std::llround(fraction * kMicrosecondsPerDay)));
    else
        storeBigDouble(out, fraction * kSecondsPerDay);
    storeBig32(out + 8, static_cast<uint32_t>(static_cast<int32_t>(whole)));
    storeBig32(out + 12, 0);
}

double decodeDate(const char* in) {
    auto days = static_cast<int32_t>(loadBig32(in));
    if (days == INT32_MAX) return kInfinity;
    if (days == INT32_MIN) return -kInfinity;
    return static_cast<double>(days) + kPostgresEpochDatenum;
}

bool writeTimestamp(char* out, const ElementSource& source, size_t index,
                    const PGtypeFormatInfo& server, std::string& error) {
    double datenum = elementAt<double>(source, index);
    if (std::isnan(datenum)) return refuse(datenum, "a timestamp", error);
    encodeTimestamp(out, datenum, server.integer_datetimes != 0);
    return true;
}

bool writeTime(char* out, const ElementSource& source, size_t index, const PGtypeFormatInfo& server,
               std::string& error) {
    double datenum = elementAt<double>(source, index);
    if (!std::isfinite(datenum)) return refuse(datenum, "a time", error);
    encodeTime(out, datenum, server.integer_datetimes != 0);
    return true;
}

bool writeTimetz(char* out, const ElementSource& source, size_t index,
                 const PGtypeFormatInfo& server, std::string& error) {
    double datenum = elementAt<double>(source, index);
    if (!std::isfinite(datenum)) return refuse(datenum, "a time", error);
    encodeTime(out, datenum, server.integer_datetimes != 0);
    storeBig32(out + 8, 0);  // zone offset: always UTC
    return true;
}

bool writeDate(char* out, const ElementSource& source, size_t index, const PGtypeFormatInfo&,
               std::string& error) {
    double datenum = elementAt<double>(source, index);
    if (std::isnan(datenum)) return refuse(datenum, "a date", error);
    encodeDate(out, datenum);
    return true;
}

bool readTimestamp(const char* bytes, size_t length, const ElementTarget& target, size_t index,
                   const PGtypeFormatInfo& server, std::string& error) {
    if (!checkElementLength(length, 8, "timestamp", error)) return false;
    storeAt<double>(target, index, decodeTimestamp(bytes, server.integer_datetimes != 0));
    return true;
}

// Reads time, and timetz without its zone.
bool readTime(const char* bytes, size_t length, const ElementTarget& target, size_t index,
              const PGtypeFormatInfo& server, std::string& error) {
    if (length != 8 && length != 12) {
        error = "a time value must have 8 bytes (12 with its zone), the server sent " +
                std::to_string(length);
        return false;
    }
    storeAt<double>(target, index, decodeTime(bytes, server.integer_datetimes != 0));
    return true;
}

bool readDate(const char* bytes, size_t length, const ElementTarget& target, size_t index,
              const PGtypeFormatInfo&, std::string& error) {
    if (!checkElementLength(length, 4, "date", error)) return false;
    storeAt<double>(target, index, decodeDate(bytes));
    return true;
}

namespace {

// Microseconds from PostgreSQL's epoch must fit an int64 below its largest
// value, which stands for infinity.
constexpr long double kMostMicroseconds = 9.2e18L;

}  // namespace

const char* fitDate(long double value) {
    if (std::isnan(value)) return "is NaN, not a date number";
    return std::isfinite(value) && (value < INT32_MIN || value > INT32_MAX)
               ? "is outside the range of date"
               : nullptr;
}

const char* fitTimestamp(long double value) {
    if (std::isnan(value)) return "is NaN, not a date number";
    return std::isfinite(value) && std::fabs((value - kPostgresEpochDatenum) *
                                             kMicrosecondsPerDay) >= kMostMicroseconds
               ? "is outside the range of timestamp"
               : nullptr;
}

const char* fitTime(long double value) {
    return std::isfinite(value) && std::fabs(value) < INT32_MAX ? nullptr
                                                                : "is not a finite date number";
}

}  // namespace vorlex
