// SPDX-License-Identifier: BSD-3-Clause
// insert_dates.cpp - date/time fields as exact values, and their binary
// COPY fields.
#include "insert/insert_dates.hpp"

#include <cmath>

#include "host/errors.hpp"
#include "host/host.hpp"
#include "types/datetime_text.hpp"
#include "types/type_oids.hpp"
#include "types/wire.hpp"

namespace vorlex {

namespace {

constexpr double kEpochDatenum = 730486.0;
// Beyond this many microseconds (about 290000 years) an int64 ends.
constexpr double kMostMicros = 9.2e18;

// A value of the field, or why it has none.
struct Reading {
    Oid oid;
    DateForm form;
    ZoneClock* clock;
    const char* reason = nullptr;
};

bool isInfinite(int64_t value) { return value == kInfinite || value == kMinusInfinite; }

// `value` (days or microseconds) as a whole number of the unit `perUnit`
// microseconds make, rounded; false beyond an int64.
bool roundedMicros(double value, double perUnit, int64_t& micros) {
    double scaled = std::round(value * perUnit);
    if (!(std::fabs(scaled) < kMostMicros)) return false;
    micros = static_cast<int64_t>(scaled);
    return true;
}

// A number: days of a date number, or seconds of POSIX seconds.
bool valueOfNumber(double number, Reading& reading, int64_t& value) {
    if (std::isnan(number)) {
        reading.reason = "is NaN, which no date/time column holds (with 'nan', 'value')";
        return false;
    }
    bool posix = reading.form == DateForm::posix;
    bool isTime = reading.oid == kTimeOid || reading.oid == kTimetzOid;
    if (std::isinf(number) && !isTime) {
        value = number > 0 ? kInfinite : kMinusInfinite;
        return true;
    }
    // Days (date numbers) or seconds (POSIX) from PostgreSQL's epoch, or
    // of the day.
    double perDay = posix ? kDaySeconds : 1;
    double since = posix ? number + kPosixEpochDays * perDay : number - kEpochDatenum;
    if (isTime) since -= std::floor(since / perDay) * perDay;
    reading.reason = "is out of range";
    if (!std::isfinite(number)) {
        reading.reason = "has no time of day";
        return false;
    }
    if (reading.oid == kDateOid) {
        double days = std::floor(since / perDay);
        if (!(std::fabs(days) < INT32_MAX)) return false;
        value = static_cast<int64_t>(days);
        return true;
    }
    if (!roundedMicros(since, posix ? kSecondMicros : kDayMicros, value)) return false;
    if (reading.oid == kTimestamptzOid) value = reading.clock->utcOf(value);
    if (reading.oid == kTimetzOid) value = packTimetz(value, 0);
    return true;
}

// A text, of the forms insert_dates.hpp lists.
bool valueOfText(const char* text, size_t length, Reading& reading, int64_t& value,
                 std::string& error) {
    int32_t offset = 0;
    bool hasOffset = false;
    switch (reading.oid) {
        case kDateOid:
            return exactDateFromText(text, length, value, error);
        case kTimeOid:
        case kTimetzOid:
            if (!exactTimeFromText(text, length, value, offset, hasOffset, error)) return false;
            if (reading.oid == kTimetzOid) value = packTimetz(value, offset);
            return true;
        default:
            if (!exactTimestampFromText(text, length, value, offset, hasOffset, error))
                return false;
            if (reading.oid != kTimestamptzOid || isInfinite(value)) return true;
            value = hasOffset ? value - offset * kSecondMicros : reading.clock->utcOf(value);
            return true;
    }
}

void requireColumn(const mxArray* field, size_t rows, const std::string& label) {
    bool isColumn = mxGetNumberOfDimensions(field) == 2 && mxGetM(field) == rows &&
                    (mxGetN(field) == 1 || (rows == 0 && mxGetN(field) == 0));
    if (!isColumn)
        raiseError("columnShape", "%s: a %zu-by-1 column is needed, not %s", label.c_str(), rows,
                   shapeText(field).c_str());
}

}  // namespace

bool insertsExactDates(Oid oid, const mxArray* field, const DateOptions& options) {
    return mxIsCell(field) || readsExactDates(oid, options);
}

void readExactDates(const mxArray* field, size_t rows, Oid oid, const DateOptions& options,
                    bool nanIsNull, const mxLogical* nullRows, const std::string& label,
                    std::vector<int64_t>& values, std::vector<uint8_t>& isNull) {
    bool isCell = mxIsCell(field);
    if ((!isCell && !mxIsDouble(field)) || mxIsSparse(field) || mxIsComplex(field))
        raiseError("columnClass",
                   "%s: date and time values are doubles (%s) or a cell of ISO 8601 texts "
                   "([] for NULL), not %s",
                   label.c_str(),
                   options.form == DateForm::posix ? "POSIX seconds" : "date numbers",
                   shapeText(field).c_str());
    requireColumn(field, rows, label);
    ZoneClock clock(oid == kTimestamptzOid ? options.zone : TimeZone{});
    Reading reading{oid, options.form, &clock};
    values.assign(rows, 0);
    isNull.assign(rows, 0);
    const double* numbers = isCell ? nullptr : mxGetPr(field);
    std::string text, error;
    for (size_t row = 0; row < rows; ++row) {
        if (nullRows && nullRows[row]) {
            isNull[row] = 1;
            continue;
        }
        if (numbers) {
            if (std::isnan(numbers[row]) && nanIsNull) {
                isNull[row] = 1;
            } else if (!valueOfNumber(numbers[row], reading, values[row])) {
                raiseError("badValue", "%s, row %zu: %.17g %s", label.c_str(), row + 1,
                           numbers[row], reading.reason);
            }
            continue;
        }
        const mxArray* cell = mxGetCell(field, row);
        if (!cell || (mxIsDouble(cell) && mxIsEmpty(cell))) {
            isNull[row] = 1;
            continue;
        }
        bool isRow = mxGetNumberOfDimensions(cell) == 2 && mxGetM(cell) == 1;
        if (!mxIsChar(cell) || !isRow || !charRowBytes(cell, text))
            raiseError("cellClass",
                       "%s, row %zu: the cell holds a %s; this column takes ISO 8601 texts "
                       "(char rows), [] for NULL",
                       label.c_str(), row + 1, shapeText(cell).c_str());
        if (!valueOfText(text.data(), text.size(), reading, values[row], error))
            raiseError("badValue", "%s, row %zu: %s", label.c_str(), row + 1, error.c_str());
    }
}

void appendExactDate(CopyBuffer& buffer, Oid oid, int64_t value, const PGtypeFormatInfo& server) {
    bool integerDatetimes = server.integer_datetimes != 0;
    auto storeMicros = [&](char* out, int64_t micros) {
        if (integerDatetimes)
            storeBig64(out, static_cast<uint64_t>(micros));
        else
            storeBigDouble(out, isInfinite(micros) ? (micros > 0 ? HUGE_VAL : -HUGE_VAL)
                                                   : static_cast<double>(micros) / kSecondMicros);
    };
    switch (oid) {
        case kDateOid: {
            appendInt32(buffer, 4);
            int32_t days = value == kInfinite        ? INT32_MAX
                           : value == kMinusInfinite ? INT32_MIN
                                                     : static_cast<int32_t>(value);
            storeBig32(buffer.append(4), static_cast<uint32_t>(days));
            return;
        }
        case kTimetzOid: {
            appendInt32(buffer, 12);
            char* out = buffer.append(12);
            storeMicros(out, timetzMicros(value));
            storeBig32(out + 8, static_cast<uint32_t>(-timetzOffset(value)));  // seconds west
            return;
        }
        default:
            appendInt32(buffer, 8);
            storeMicros(buffer.append(8), value);
    }
}

}  // namespace vorlex
