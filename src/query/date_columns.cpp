// SPDX-License-Identifier: BSD-3-Clause
// date_columns.cpp - date/time columns read exactly, and made date
// numbers, POSIX seconds or ISO text.
#include "query/date_columns.hpp"

#include <strings.h>

#include <cmath>
#include <limits>
#include <string>

#include "backend/host_cells.hpp"
#include "columns/cell_column.hpp"
#include "host/errors.hpp"
#include "host/host.hpp"
#include "host/owners.hpp"
#include "types/datetime_text.hpp"
#include "types/element_access.hpp"
#include "types/type_oids.hpp"
#include "types/wire.hpp"

namespace vorlex {

namespace {

// Microseconds of a binary timestamp or time: an int64, or seconds in a
// float8 on servers built without integer date/times.
int64_t wireMicros(const char* in, bool integerDatetimes) {
    if (integerDatetimes) return static_cast<int64_t>(loadBig64(in));
    double seconds = loadBigDouble(in);
    if (std::isinf(seconds)) return seconds > 0 ? kInfinite : kMinusInfinite;
    return std::llround(seconds * kSecondMicros);
}

bool readDateBinary(const char* bytes, size_t length, const ElementTarget& target, size_t index,
                    const PGtypeFormatInfo&, std::string& error) {
    if (!checkElementLength(length, 4, "date", error)) return false;
    auto days = static_cast<int32_t>(loadBig32(bytes));
    storeAt<int64_t>(target, index,
                     days == INT32_MAX   ? kInfinite
                     : days == INT32_MIN ? kMinusInfinite
                                         : days);
    return true;
}

bool readTimestampBinary(const char* bytes, size_t length, const ElementTarget& target,
                         size_t index, const PGtypeFormatInfo& server, std::string& error) {
    if (!checkElementLength(length, 8, "timestamp", error)) return false;
    storeAt<int64_t>(target, index, wireMicros(bytes, server.integer_datetimes != 0));
    return true;
}

bool readTimeBinary(const char* bytes, size_t length, const ElementTarget& target, size_t index,
                    const PGtypeFormatInfo& server, std::string& error) {
    if (!checkElementLength(length, 8, "time", error)) return false;
    storeAt<int64_t>(target, index, wireMicros(bytes, server.integer_datetimes != 0));
    return true;
}

// timetz's zone is seconds west of UTC.
bool readTimetzBinary(const char* bytes, size_t length, const ElementTarget& target, size_t index,
                      const PGtypeFormatInfo& server, std::string& error) {
    if (!checkElementLength(length, 12, "timetz", error)) return false;
    int64_t micros = wireMicros(bytes, server.integer_datetimes != 0);
    auto west = static_cast<int32_t>(loadBig32(bytes + 8));
    storeAt<int64_t>(target, index, packTimetz(micros, -west));
    return true;
}

bool readDateText(const char* bytes, size_t length, const ElementTarget& target, size_t index,
                  const PGtypeFormatInfo&, std::string& error) {
    int64_t days;
    if (!exactDateFromText(bytes, length, days, error)) return false;
    storeAt<int64_t>(target, index, days);
    return true;
}

// A timestamptz's text has its offset, which takes it to UTC.
bool readTimestampText(const char* bytes, size_t length, const ElementTarget& target, size_t index,
                       const PGtypeFormatInfo&, std::string& error) {
    int64_t micros;
    int32_t offset;
    bool hasOffset;
    if (!exactTimestampFromText(bytes, length, micros, offset, hasOffset, error)) return false;
    if (hasOffset) micros -= offset * kSecondMicros;
    storeAt<int64_t>(target, index, micros);
    return true;
}

bool readTimeText(const char* bytes, size_t length, const ElementTarget& target, size_t index,
                  const PGtypeFormatInfo&, std::string& error) {
    int64_t micros;
    int32_t offset = 0;
    bool hasOffset;
    if (!exactTimeFromText(bytes, length, micros, offset, hasOffset, error)) return false;
    storeAt<int64_t>(target, index, micros);
    return true;
}

bool readTimetzText(const char* bytes, size_t length, const ElementTarget& target, size_t index,
                    const PGtypeFormatInfo&, std::string& error) {
    int64_t micros;
    int32_t offset = 0;
    bool hasOffset;
    if (!exactTimeFromText(bytes, length, micros, offset, hasOffset, error)) return false;
    storeAt<int64_t>(target, index, packTimetz(micros, offset));
    return true;
}

// --- Output forms -----------------------------------------------------------------

constexpr double kEpochDatenum = 730486.0;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

// Microseconds from the POSIX epoch of microseconds from PostgreSQL's.
constexpr int64_t kPosixShift = kPosixEpochDays * kDayMicros;

// One column's conversion: its type, the form and the zone's clock.
struct DateConversion {
    Oid oid;
    DateForm form;
    ZoneClock* clock;
};

// A date number or POSIX seconds of microseconds since an epoch
// (`datenumBase` days for date numbers).
double numberOfMicros(int64_t micros, DateForm form, double datenumBase) {
    if (form == DateForm::posix) return static_cast<double>(micros) / kSecondMicros;
    // Rounded to the resolution of date numbers near the epoch, as the
    // catalogue's time reader rounds.
    volatile double shifted =
        static_cast<double>(micros) / static_cast<double>(kDayMicros) + kEpochDatenum;
    return shifted - kEpochDatenum + datenumBase;
}

double numberOf(int64_t exact, const DateConversion& conversion) {
    bool posix = conversion.form == DateForm::posix;
    switch (conversion.oid) {
        case kDateOid:
            if (exact == kInfinite || exact == kMinusInfinite) return exact > 0 ? kInf : -kInf;
            return posix ? static_cast<double>((exact - kPosixEpochDays) * kDaySeconds)
                         : static_cast<double>(exact) + kEpochDatenum;
        case kTimeOid:
            return numberOfMicros(exact, conversion.form, 0);
        case kTimetzOid:
            return numberOfMicros(timetzMicros(exact), conversion.form, 0);
        default: {
            if (exact == kInfinite || exact == kMinusInfinite) return exact > 0 ? kInf : -kInf;
            int32_t offset = 0;
            int64_t wall =
                conversion.oid == kTimestamptzOid ? conversion.clock->wallOf(exact, offset) : exact;
            if (posix) return static_cast<double>(wall - kPosixShift) / kSecondMicros;
            return static_cast<double>(wall) / static_cast<double>(kDayMicros) + kEpochDatenum;
        }
    }
}

size_t textOf(int64_t exact, const DateConversion& conversion, char* out) {
    switch (conversion.oid) {
        case kDateOid:
            return formatDate(exact, out);
        case kTimeOid:
            return formatTime(exact, nullptr, out);
        case kTimetzOid: {
            int32_t offset = timetzOffset(exact);
            return formatTime(timetzMicros(exact), &offset, out);
        }
        case kTimestampOid:
            return formatTimestamp(exact, nullptr, out);
        default: {
            if (exact == kInfinite || exact == kMinusInfinite)
                return formatTimestamp(exact, nullptr, out);
            int32_t offset;
            int64_t wall = conversion.clock->wallOf(exact, offset);
            return formatTimestamp(wall, &offset, out);
        }
    }
}

const int64_t* exactValues(const mxArray* exact) {
    return static_cast<const int64_t*>(mxGetData(exact));
}

mxArray* numberColumn(const mxArray* exact, const mxLogical* nulls,
                      const DateConversion& conversion) {
    size_t rows = mxGetNumberOfElements(exact);
    void* data;
    mxArray* column = createColumnArray(mxDOUBLE_CLASS, rows, data);
    const int64_t* values = exactValues(exact);
    auto* out = static_cast<double*>(data);
    for (size_t row = 0; row < rows; ++row)
        out[row] = nulls[row] ? kNaN : numberOf(values[row], conversion);
    return column;
}

mxArray* textColumn(const mxArray* exact, const mxLogical* nulls,
                    const DateConversion& conversion) {
    size_t rows = mxGetNumberOfElements(exact);
    CellColumn cells(mxCHAR_CLASS, mxDOUBLE_CLASS);
    cells.reserve(rows);
    const int64_t* values = exactValues(exact);
    char text[kDateTimeTextRoom];
    for (size_t row = 0; row < rows; ++row) {
        if (nulls[row])
            cells.addMissing();
        else
            cells.addRow(text, textOf(values[row], conversion, text));
    }
    return cells.make();
}

// One array value: doubles, or a cell of texts, of its shape; NULL
// elements NaN or [].
mxArray* arrayValue(const mxArray* exact, const mxLogical* nulls,
                    const DateConversion& conversion) {
    mwSize ndims = mxGetNumberOfDimensions(exact);
    const mwSize* dims = mxGetDimensions(exact);
    size_t count = mxGetNumberOfElements(exact);
    const int64_t* values = exactValues(exact);
    if (conversion.form != DateForm::text) {
        mxArray* array = mxCreateNumericArray(ndims, dims, mxDOUBLE_CLASS, mxREAL);
        double* out = mxGetPr(array);
        for (size_t k = 0; k < count; ++k)
            out[k] = nulls[k] ? kNaN : numberOf(values[k], conversion);
        return array;
    }
    HostArrayOwner cell(mxCreateCellArray(ndims, dims));
    char text[kDateTimeTextRoom];
    for (size_t k = 0; k < count; ++k)
        if (!nulls[k])
            mxSetCell(cell.get(), k, createCharRow(text, textOf(values[k], conversion, text)));
    return cell.release();
}

mxArray* arrayColumn(const mxArray* exact, const mxLogical* rowIsNull, const mxArray* masks,
                     const DateConversion& conversion) {
    size_t rows = mxGetNumberOfElements(exact);
    HostArrayOwner column(mxCreateCellMatrix(rows, 1));
    for (size_t row = 0; row < rows; ++row) {
        mxArray* value = rowIsNull[row]
                             ? mxCreateDoubleMatrix(0, 0, mxREAL)
                             : arrayValue(mxGetCell(exact, row),
                                          mxGetLogicals(mxGetCell(masks, row)), conversion);
        mxSetCell(column.get(), row, value);
    }
    return column.release();
}

}  // namespace

DateForm dateFormArg(const mxArray* const prhs[], int index) {
    std::string value =
        charArg(prhs, index, {"the value of 'dates'", "optionValue", "optionValue", "optionValue"});
    const char* forms[] = {"datenum", "posix", "text"};
    for (int form = 0; form < 3; ++form)
        if (strcasecmp(value.c_str(), forms[form]) == 0) return static_cast<DateForm>(form);
    raiseError("optionValue", "argument %d: 'dates' takes 'datenum', 'posix', 'text', not '%s'",
               argPosition(index), value.c_str());
}

TimeZone timeZoneArg(const mxArray* const prhs[], int index) {
    std::string name =
        charArg(prhs, index, {"the value of 'timeZone'", "timeZone", "timeZone", "timeZone"});
    TimeZone zone;
    std::string error;
    if (!timeZoneNamed(name, zone, error))
        raiseError("timeZone", "argument %d: %s", argPosition(index), error.c_str());
    return zone;
}

bool readsExactDates(Oid oid, const DateOptions& options) {
    return options.form != DateForm::datenum ||
           (oid == kTimestamptzOid && options.zone.kind != ZoneKind::utc);
}

ElementReader exactDateTimeReader(Oid oid, bool textResult) {
    switch (oid) {
        case kDateOid:
            return textResult ? readDateText : readDateBinary;
        case kTimeOid:
            return textResult ? readTimeText : readTimeBinary;
        case kTimetzOid:
            return textResult ? readTimetzText : readTimetzBinary;
        default:
            return textResult ? readTimestampText : readTimestampBinary;
    }
}

mxArray* datesOutput(const mxArray* exact, const mxArray* rowIsNull, const mxArray* masks,
                     bool isArray, Oid oid, const DateOptions& options) {
    ZoneClock clock(oid == kTimestamptzOid ? options.zone : TimeZone{});
    DateConversion conversion{oid, options.form, &clock};
    const mxLogical* nulls = mxGetLogicals(rowIsNull);
    if (isArray) return arrayColumn(exact, nulls, masks, conversion);
    if (options.form == DateForm::text) return textColumn(exact, nulls, conversion);
    return numberColumn(exact, nulls, conversion);
}

}  // namespace vorlex
