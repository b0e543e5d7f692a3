// SPDX-License-Identifier: BSD-3-Clause
// codec_number.cpp - int2, int4, int8, float4, float8 and bool elements.
//
// Writers take the element from an array of the type's own class, or from
// a double array after converting it (truncation toward zero for the
// integers, low bits for int2 and bool, rounding for float4).  Readers
// check that the element has exactly the type's width.
#include <cmath>
#include <cstring>

#include "types/codecs.hpp"
#include "types/element_access.hpp"
#include "types/wire.hpp"

namespace vorlex {

int32_t truncateToInt32(double value) {
    if (std::isnan(value)) return 0;
    if (value >= 2147483647.0) return INT32_MAX;
    if (value <= -2147483648.0) return INT32_MIN;
    return static_cast<int32_t>(value);
}

int64_t truncateToInt64(double value) {
    if (std::isnan(value)) return 0;
    if (value >= 9223372036854775807.0) return INT64_MAX;
    if (value <= -9223372036854775808.0) return INT64_MIN;
    return static_cast<int64_t>(value);
}

namespace {

double doubleAt(const ElementSource& source, size_t index) {
    return elementAt<double>(source, index);
}

}  // namespace

bool writeInt2(char* out, const ElementSource& source, size_t index, const PGtypeFormatInfo&,
               std::string&) {
    int16_t value = source.isDouble
                        ? static_cast<int16_t>(truncateToInt32(doubleAt(source, index)) & 0xFFFF)
                        : elementAt<int16_t>(source, index);
    storeBig16(out, static_cast<uint16_t>(value));
    return true;
}

bool writeInt4(char* out, const ElementSource& source, size_t index, const PGtypeFormatInfo&,
               std::string&) {
    int32_t value = source.isDouble ? truncateToInt32(doubleAt(source, index))
                                    : elementAt<int32_t>(source, index);
    storeBig32(out, static_cast<uint32_t>(value));
    return true;
}

bool writeInt8(char* out, const ElementSource& source, size_t index, const PGtypeFormatInfo&,
               std::string&) {
    int64_t value = source.isDouble ? truncateToInt64(doubleAt(source, index))
                                    : elementAt<int64_t>(source, index);
    storeBig64(out, static_cast<uint64_t>(value));
    return true;
}

bool writeFloat4(char* out, const ElementSource& source, size_t index, const PGtypeFormatInfo&,
                 std::string&) {
    float value = source.isDouble ? static_cast<float>(doubleAt(source, index))
                                  : elementAt<float>(source, index);
    storeBigFloat(out, value);
    return true;
}

bool writeFloat8(char* out, const ElementSource& source, size_t index, const PGtypeFormatInfo&,
                 std::string&) {
    storeBigDouble(out, doubleAt(source, index));
    return true;
}

bool writeBool(char* out, const ElementSource& source, size_t index, const PGtypeFormatInfo&,
               std::string&) {
    // Logical elements are one byte each; a double keeps its low 8 bits
    // after truncation, as an int2 keeps its low 16.
    *out = source.isDouble ? static_cast<char>(truncateToInt32(doubleAt(source, index)) & 0xFF)
                           : elementAt<char>(source, index);
    return true;
}

bool readInt2(const char* bytes, size_t length, const ElementTarget& target, size_t index,
              const PGtypeFormatInfo&, std::string& error) {
    if (!checkElementLength(length, 2, "int2", error)) return false;
    storeAt(target, index, static_cast<int16_t>(loadBig16(bytes)));
    return true;
}

bool readInt4(const char* bytes, size_t length, const ElementTarget& target, size_t index,
              const PGtypeFormatInfo&, std::string& error) {
    if (!checkElementLength(length, 4, "int4", error)) return false;
    storeAt(target, index, static_cast<int32_t>(loadBig32(bytes)));
    return true;
}

bool readInt8(const char* bytes, size_t length, const ElementTarget& target, size_t index,
              const PGtypeFormatInfo&, std::string& error) {
    if (!checkElementLength(length, 8, "int8", error)) return false;
    storeAt(target, index, static_cast<int64_t>(loadBig64(bytes)));
    return true;
}

bool readFloat4(const char* bytes, size_t length, const ElementTarget& target, size_t index,
                const PGtypeFormatInfo&, std::string& error) {
    if (!checkElementLength(length, 4, "float4", error)) return false;
    storeAt(target, index, loadBigFloat(bytes));
    return true;
}

bool readFloat8(const char* bytes, size_t length, const ElementTarget& target, size_t index,
                const PGtypeFormatInfo&, std::string& error) {
    if (!checkElementLength(length, 8, "float8", error)) return false;
    storeAt(target, index, loadBigDouble(bytes));
    return true;
}

bool readBool(const char* bytes, size_t length, const ElementTarget& target, size_t index,
              const PGtypeFormatInfo&, std::string& error) {
    if (!checkElementLength(length, 1, "bool", error)) return false;
    storeAt(target, index, static_cast<mxLogical>(*bytes != 0));
    return true;
}

}  // namespace vorlex
