// SPDX-License-Identifier: BSD-3-Clause
// insert_numbers.cpp - numbers against the types of insert's columns.
#include "insert/insert_numbers.hpp"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

#include "backend/host_classes.hpp"

namespace vorlex {

namespace {

template <typename T>
T elementOf(const void* data, size_t index) {
    return static_cast<const T*>(data)[index];
}

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
