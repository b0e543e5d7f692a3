// SPDX-License-Identifier: BSD-3-Clause
// insert_values.cpp - numbers against the types of insert's columns.
#include "copy/insert_values.hpp"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

#include "backend/host_classes.hpp"
#include "types/codecs.hpp"
#include "types/type_oids.hpp"

namespace vorlex {

namespace {

template <typename T>
T elementOf(const void* data, size_t index) {
    return static_cast<const T*>(data)[index];
}

bool inRange(long double value, long double least, long double most) {
    return value >= least && value <= most;
}

const char* integerMisfit(long double value, long double least, long double most) {
    if (std::isnan(value)) return "is NaN, which no integer column holds";
    if (value != std::trunc(value)) return "is not a whole number";
    if (!inRange(value, least, most)) return "is outside the column type's range";
    return nullptr;
}

// Microseconds from PostgreSQL's epoch must fit an int64 below its largest
// value, which stands for infinity.
constexpr long double kMostMicroseconds = 9.2e18L;

}  // namespace

long double numberAt(const void* data, mxClassID classId, size_t index) {
    switch (classId) {
        case mxDOUBLE_CLASS:
            return elementOf<double>(data, index);
        case mxSINGLE_CLASS:
            return elementOf<float>(data, index);
        case mxLOGICAL_CLASS:
            return elementOf<mxLogical>(data, index) ? 1 : 0;
        case mxINT8_CLASS:
            return elementOf<int8_t>(data, index);
        case mxUINT8_CLASS:
            return elementOf<uint8_t>(data, index);
        case mxINT16_CLASS:
            return elementOf<int16_t>(data, index);
        case mxUINT16_CLASS:
            return elementOf<uint16_t>(data, index);
        case mxINT32_CLASS:
            return elementOf<int32_t>(data, index);
        case mxUINT32_CLASS:
            return elementOf<uint32_t>(data, index);
        case mxINT64_CLASS:
            return elementOf<int64_t>(data, index);
        case mxUINT64_CLASS:
            return elementOf<uint64_t>(data, index);
        default:
            return std::numeric_limits<long double>::quiet_NaN();
    }
}

bool isNumberClass(mxClassID classId) {
    return isNumericClass(classId) || classId == mxLOGICAL_CLASS;
}

const char* misfitReason(long double value, const PgType& type) {
    switch (type.oid) {
        case kInt2Oid:
            return integerMisfit(value, INT16_MIN, INT16_MAX);
        case kInt4Oid:
            return integerMisfit(value, INT32_MIN, INT32_MAX);
        case kInt8Oid:
            return integerMisfit(value, static_cast<long double>(INT64_MIN),
                                 static_cast<long double>(INT64_MAX));
        case kBoolOid:
            return value == 0 || value == 1 ? nullptr : "is not 0 or 1 (false or true)";
        case kFloat4Oid:
            return std::isfinite(value) && std::isinf(static_cast<float>(value))
                       ? "is outside the range of real (float4)"
                       : nullptr;
        case kDateOid:
            if (std::isnan(value)) return "is NaN, not a date number";
            return std::isfinite(value) && !inRange(value, INT32_MIN, INT32_MAX)
                       ? "is outside the range of date"
                       : nullptr;
        case kTimestampOid:
        case kTimestamptzOid:
            if (std::isnan(value)) return "is NaN, not a date number";
            return std::isfinite(value) && std::fabs((value - kPostgresEpochDatenum) *
                                                     kMicrosecondsPerDay) >= kMostMicroseconds
                       ? "is outside the range of timestamp"
                       : nullptr;
        case kTimeOid:
        case kTimetzOid:
            return std::isfinite(value) && std::fabs(value) < INT32_MAX
                       ? nullptr
                       : "is not a finite date number";
        default:
            return nullptr;
    }
}

size_t numberText(const void* data, mxClassID classId, size_t index, char* out) {
    char* end = out + kNumberTextRoom;
    // A NaN's sign means nothing, and numeric's text has none.
    if (classId == mxDOUBLE_CLASS || classId == mxSINGLE_CLASS) {
        if (std::isnan(numberAt(data, classId, index))) {
            std::memcpy(out, "nan", 3);
            return 3;
        }
    }
    std::to_chars_result written;
    switch (classId) {
        case mxDOUBLE_CLASS:
            written = std::to_chars(out, end, elementOf<double>(data, index));
            break;
        case mxSINGLE_CLASS:
            written = std::to_chars(out, end, elementOf<float>(data, index));
            break;
        case mxUINT64_CLASS:
            written = std::to_chars(out, end, elementOf<uint64_t>(data, index));
            break;
        default:  // every other class holds whole numbers an int64 holds
            written = std::to_chars(out, end, static_cast<int64_t>(numberAt(data, classId, index)));
            break;
    }
    return static_cast<size_t>(written.ptr - out);
}

}  // namespace vorlex
