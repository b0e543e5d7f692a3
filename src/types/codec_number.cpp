// SPDX-License-Identifier: BSD-3-Clause
// codec_number.cpp - int2, int4, int8, float4, float8 and bool: their
// elements, the server's text of them, and insert's fit rules.
//
// Writers take the element from an array of the type's own class, or from
// a double array after converting it (truncation toward zero for the
// integers, low bits for int2 and bool, rounding for float4).  A double
// that is NaN or infinite has no integer or bool form: it is refused, not
// turned into 0 or a saturated value.  Readers check that the element has
// exactly the type's width.
#include "types/codec_number.hpp"

#include <charconv>
#include <cmath>
#include <cstring>

#include "types/element_access.hpp"
#include "types/wire.hpp"

namespace vorlex {

std::string refusedDoubleText(double value, const char* type) {
    return std::string(std::isnan(value) ? "NaN"
                       : value > 0       ? "Inf"
                                         : "-Inf") +
           " cannot be sent as " + type +
           ": it has no such value (send NULL with the wrapper struct's valueIsNull)";
}

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

// The double at `index` when it is finite; else false with the text.
bool finiteDoubleAt(const ElementSource& source, size_t index, const char* type, double& value,
                    std::string& error) {
    value = doubleAt(source, index);
    if (std::isfinite(value)) return true;
    error = refusedDoubleText(value, type);
    return false;
}

}  // namespace

bool writeInt2(char* out, const ElementSource& source, size_t index, const PGtypeFormatInfo&,
               std::string& error) {
    int16_t value = 0;
    double number = 0;
    if (!source.isDouble)
        value = elementAt<int16_t>(source, index);
    else if (finiteDoubleAt(source, index, "int2", number, error))
        value = static_cast<int16_t>(truncateToInt32(number) & 0xFFFF);
    else
        return false;
    storeBig16(out, static_cast<uint16_t>(value));
    return true;
}

bool writeInt4(char* out, const ElementSource& source, size_t index, const PGtypeFormatInfo&,
               std::string& error) {
    int32_t value = 0;
    double number = 0;
    if (!source.isDouble)
        value = elementAt<int32_t>(source, index);
    else if (finiteDoubleAt(source, index, "int4", number, error))
        value = truncateToInt32(number);
    else
        return false;
    storeBig32(out, static_cast<uint32_t>(value));
    return true;
}

bool writeInt8(char* out, const ElementSource& source, size_t index, const PGtypeFormatInfo&,
               std::string& error) {
    int64_t value = 0;
    double number = 0;
    if (!source.isDouble)
        value = elementAt<int64_t>(source, index);
    else if (finiteDoubleAt(source, index, "int8", number, error))
        value = truncateToInt64(number);
    else
        return false;
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
               std::string& error) {
    // Logical elements are one byte each; a double keeps its low 8 bits
    // after truncation, as an int2 keeps its low 16.
    if (!source.isDouble) {
        *out = elementAt<char>(source, index);
        return true;
    }
    double number = 0;
    if (!finiteDoubleAt(source, index, "bool", number, error)) return false;
    *out = static_cast<char>(truncateToInt32(number) & 0xFF);
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

namespace {

// Doubles hold every integer up to 2^53 exactly.
constexpr int64_t kExactDoubleLimit = int64_t{1} << 53;
constexpr char kInt8PrecisionText[] = " has no exact double (beyond +-2^53)";

}  // namespace

bool storeInt8AsDouble(int64_t value, const ElementTarget& target, size_t index,
                       std::string& error) {
    if (value > kExactDoubleLimit || value < -kExactDoubleLimit) {
        error = "int8 " + std::to_string(value) + kInt8PrecisionText +
                "; 'keepClass', true reads int8 as int64, exactly";
        return false;
    }
    storeAt(target, index, static_cast<double>(value));
    return true;
}

bool isInt8PrecisionError(const std::string& error) {
    return error.find(kInt8PrecisionText) != std::string::npos;
}

bool readInt2AsDouble(const char* bytes, size_t length, const ElementTarget& target, size_t index,
                      const PGtypeFormatInfo&, std::string& error) {
    if (!checkElementLength(length, 2, "int2", error)) return false;
    storeAt(target, index, static_cast<double>(static_cast<int16_t>(loadBig16(bytes))));
    return true;
}

bool readInt4AsDouble(const char* bytes, size_t length, const ElementTarget& target, size_t index,
                      const PGtypeFormatInfo&, std::string& error) {
    if (!checkElementLength(length, 4, "int4", error)) return false;
    storeAt(target, index, static_cast<double>(static_cast<int32_t>(loadBig32(bytes))));
    return true;
}

bool readInt8AsDouble(const char* bytes, size_t length, const ElementTarget& target, size_t index,
                      const PGtypeFormatInfo&, std::string& error) {
    if (!checkElementLength(length, 8, "int8", error)) return false;
    return storeInt8AsDouble(static_cast<int64_t>(loadBig64(bytes)), target, index, error);
}

bool readBoolAsDouble(const char* bytes, size_t length, const ElementTarget& target, size_t index,
                      const PGtypeFormatInfo&, std::string& error) {
    if (!checkElementLength(length, 1, "bool", error)) return false;
    storeAt(target, index, *bytes != 0 ? 1.0 : 0.0);
    return true;
}

namespace {

const char* integerMisfit(long double value, long double least, long double most) {
    if (std::isnan(value)) return "is NaN, which no integer column holds";
    if (value != std::trunc(value)) return "is not a whole number";
    if (value < least || value > most) return "is outside the column type's range";
    return nullptr;
}

}  // namespace

const char* fitInt2(long double value) { return integerMisfit(value, INT16_MIN, INT16_MAX); }
const char* fitInt4(long double value) { return integerMisfit(value, INT32_MIN, INT32_MAX); }
const char* fitInt8(long double value) {
    return integerMisfit(value, static_cast<long double>(INT64_MIN),
                         static_cast<long double>(INT64_MAX));
}
const char* fitBool(long double value) {
    return value == 0 || value == 1 ? nullptr : "is not 0 or 1 (false or true)";
}
const char* fitFloat4(long double value) {
    return std::isfinite(value) && std::isinf(static_cast<float>(value))
               ? "is outside the range of real (float4)"
               : nullptr;
}

// --- The server's text -------------------------------------------------------

namespace {

bool notOfForm(const char* text, size_t length, const char* type, std::string& error) {
    error = "'" + std::string(text, length) + "' is not " + type + " text";
    return false;
}

template <typename T>
bool parseInteger(const char* text, size_t length, const char* type, T& value, std::string& error) {
    auto parsed = std::from_chars(text, text + length, value);
    if (parsed.ec == std::errc() && parsed.ptr == text + length) return true;
    return notOfForm(text, length, type, error);
}

}  // namespace

template <typename T, typename Stored>
bool readIntegerText(const char* text, size_t length, const ElementTarget& target, size_t index,
                     const PGtypeFormatInfo&, std::string& error) {
    T value = 0;
    if (!parseInteger(text, length, "integer", value, error)) return false;
    storeAt(target, index, static_cast<Stored>(value));
    return true;
}

bool readInt8TextAsDouble(const char* text, size_t length, const ElementTarget& target,
                          size_t index, const PGtypeFormatInfo&, std::string& error) {
    int64_t value = 0;
    return parseInteger(text, length, "int8", value, error) &&
           storeInt8AsDouble(value, target, index, error);
}

// The server writes Infinity, -Infinity and NaN, which from_chars reads.
template <typename T, typename Stored>
bool readFloatingText(const char* text, size_t length, const ElementTarget& target, size_t index,
                      const PGtypeFormatInfo&, std::string& error) {
    T value = 0;
    auto parsed = std::from_chars(text, text + length, value);
    // Out of range: a float4 written in a double's digits; never sent.
    if (parsed.ec != std::errc() || parsed.ptr != text + length)
        return notOfForm(text, length, "float", error);
    storeAt(target, index, static_cast<Stored>(value));
    return true;
}

template <typename Stored>
bool readBoolText(const char* text, size_t length, const ElementTarget& target, size_t index,
                  const PGtypeFormatInfo&, std::string& error) {
    if (length != 1 || (text[0] != 't' && text[0] != 'f'))
        return notOfForm(text, length, "bool", error);
    storeAt(target, index, static_cast<Stored>(text[0] == 't'));
    return true;
}

// The forms the catalogue's rows name.
template bool readIntegerText<int16_t, int16_t>(const char*, size_t, const ElementTarget&, size_t,
                                                const PGtypeFormatInfo&, std::string&);
template bool readIntegerText<int16_t, double>(const char*, size_t, const ElementTarget&, size_t,
                                               const PGtypeFormatInfo&, std::string&);
template bool readIntegerText<int32_t, int32_t>(const char*, size_t, const ElementTarget&, size_t,
                                                const PGtypeFormatInfo&, std::string&);
template bool readIntegerText<int32_t, double>(const char*, size_t, const ElementTarget&, size_t,
                                               const PGtypeFormatInfo&, std::string&);
template bool readIntegerText<int64_t, int64_t>(const char*, size_t, const ElementTarget&, size_t,
                                                const PGtypeFormatInfo&, std::string&);
template bool readFloatingText<float, float>(const char*, size_t, const ElementTarget&, size_t,
                                             const PGtypeFormatInfo&, std::string&);
template bool readFloatingText<double, double>(const char*, size_t, const ElementTarget&, size_t,
                                               const PGtypeFormatInfo&, std::string&);
template bool readBoolText<mxLogical>(const char*, size_t, const ElementTarget&, size_t,
                                      const PGtypeFormatInfo&, std::string&);
template bool readBoolText<double>(const char*, size_t, const ElementTarget&, size_t,
                                   const PGtypeFormatInfo&, std::string&);

}  // namespace vorlex
