// SPDX-License-Identifier: BSD-3-Clause
// scalar_text.cpp - number, bool and bytea text into values.
#include "types/scalar_text.hpp"

#include <charconv>
#include <cstdint>
#include <limits>

#include "types/codec_number.hpp"
#include "types/element_access.hpp"

namespace vorlex {

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

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
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

bool byteaFromText(const char* text, size_t length, std::string& bytes, std::string& error) {
    if (length < 2 || text[0] != '\\' || text[1] != 'x' || length % 2 != 0) {
        error = "bytea text must be hex (\\x...), as the server writes it with bytea_output hex";
        return false;
    }
    bytes.resize((length - 2) / 2);
    for (size_t k = 0; k < bytes.size(); ++k) {
        int high = hexDigit(text[2 + 2 * k]), low = hexDigit(text[3 + 2 * k]);
        if (high < 0 || low < 0) {
            error = "bytea text holds a character that is not a hex digit";
            return false;
        }
        bytes[k] = static_cast<char>(high * 16 + low);
    }
    return true;
}

}  // namespace vorlex
