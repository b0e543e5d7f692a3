// SPDX-License-Identifier: BSD-3-Clause
// Numeric codec: decodes numeric_send bytes to PostgreSQL's text form and encodes decimal text
// to the bytes the server would send for it.
#include "types/codec_numeric.hpp"

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "types/wire.hpp"

namespace vorlex {
namespace {

constexpr size_t kHeaderBytes = 8;
constexpr int kDigitsPerGroup = 4;
constexpr uint16_t kGroupBase = 10000;
constexpr int kPowersOfTen[kDigitsPerGroup] = {1, 10, 100, 1000};

// PostgreSQL's limits: 131072 digits before the point, 16383 after.
constexpr int64_t kMaxWeight = 32767;
constexpr int64_t kMaxScale = 16383;
// numeric_in refuses an exponent this large in magnitude whatever the digits, even for zero.
constexpr int64_t kExponentLimit = 1073741823;

constexpr uint16_t kSignPositive = 0x0000;
constexpr uint16_t kSignNegative = 0x4000;
constexpr uint16_t kSignNaN = 0xC000;
constexpr uint16_t kSignInfinity = 0xD000;
constexpr uint16_t kSignNegativeInfinity = 0xF000;
constexpr uint16_t kScaleIgnoredBit = 0x8000;
// numeric_send reports dscale 32 for both infinities (the server takes it from bits of its
// special-value header); written the same so that encoded bytes equal the server's.
constexpr uint16_t kInfinityScale = 32;

// Longest piece of the caller's text quoted in an error message.
constexpr size_t kMaxQuotedBytes = 60;

// ---------------------------------------------------------------------------------------------
// Shared helpers

uint16_t readBigEndian16(const unsigned char* at) {
    return loadBig16(reinterpret_cast<const char*>(at));
}

void appendBigEndian16(std::string& out, uint16_t value) {
    char bytes[2];
    storeBig16(bytes, value);
    out.append(bytes, 2);
}

int toSigned16(uint16_t word) { return word >= 0x8000 ? int(word) - 0x10000 : int(word); }

uint16_t toWord(int64_t signed16) { return static_cast<uint16_t>(signed16 & 0xFFFF); }

// Floor division and its remainder by the group size, right for negative decimal exponents.
int64_t groupOf(int64_t decimalExponent) {
    return decimalExponent >= 0 ? decimalExponent / kDigitsPerGroup
                                : -((-decimalExponent + kDigitsPerGroup - 1) / kDigitsPerGroup);
}

int placeInGroup(int64_t decimalExponent) {
    return static_cast<int>(decimalExponent - groupOf(decimalExponent) * kDigitsPerGroup);
}

std::string hexWord(uint16_t word) {
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, "0x%04X", static_cast<unsigned>(word));
    return buffer;
}

// ---------------------------------------------------------------------------------------------
// Decoding

struct NumericHeader {
    size_t groupCount;
    int weight;
    uint16_t sign;
    uint16_t scaleWord;
};

NumericHeader readHeader(const unsigned char* bytes) {
    return {readBigEndian16(bytes), toSigned16(readBigEndian16(bytes + 2)),
            readBigEndian16(bytes + 4), readBigEndian16(bytes + 6)};
}

bool readGroups(const unsigned char* bytes, size_t length, const NumericHeader& header,
                std::vector<uint16_t>& groups, std::string& error) {
    const size_t needed = kHeaderBytes + 2 * header.groupCount;
    if (length != needed) {
        error = "numeric value is " + std::to_string(length) + " bytes but its " +
                std::to_string(header.groupCount) + " digit groups make " + std::to_string(needed);
        return false;
    }
    groups.resize(header.groupCount);
    for (size_t i = 0; i < header.groupCount; ++i) {
        groups[i] = readBigEndian16(bytes + kHeaderBytes + 2 * i);
        if (groups[i] >= kGroupBase) {
            error = "numeric digit group " + std::to_string(i) + " holds " +
                    std::to_string(groups[i]) + ", above 9999";
            return false;
        }
    }
    return true;
}

bool readScale(uint16_t scaleWord, int& scale, std::string& error) {
    if (scaleWord & kScaleIgnoredBit) {
        scale = 0;
    } else if (scaleWord > kMaxScale) {
        error = "numeric display scale " + std::to_string(scaleWord) + " is above 16383";
        return false;
    } else {
        scale = scaleWord;
    }
    return true;
}

// Decimal digits of the magnitude at 10^(integerDigits - 1) down to 10^-(scale + 1), the last
// one being the first dropped digit, which alone decides half-up rounding.  Digits further down
// cannot change the result and are skipped.
std::string placeDigits(const std::vector<uint16_t>& groups, int weight, int64_t integerDigits,
                        int scale) {
    std::string digits(static_cast<size_t>(integerDigits + scale + 1), '0');
    const int64_t lowestKept = -(int64_t(scale) + 1);
    for (size_t i = 0; i < groups.size(); ++i) {
        const int64_t groupWeight = int64_t(weight) - int64_t(i);
        const int64_t topExponent = groupWeight * kDigitsPerGroup + kDigitsPerGroup - 1;
        if (topExponent < lowestKept) break;
        for (int place = kDigitsPerGroup - 1; place >= 0; --place) {
            const int64_t exponent = groupWeight * kDigitsPerGroup + place;
            if (exponent < lowestKept) break;
            const int digit = groups[i] / kPowersOfTen[place] % 10;
            digits[static_cast<size_t>(integerDigits - 1 - exponent)] =
                static_cast<char>('0' + digit);
        }
    }
    return digits;
}

// Drops the last (rounding) digit, adding one to the rest when it is 5 or more; returns whether
// the carry ran out of the top, needing a new leading "1".
bool roundOffLastDigit(std::string& digits) {
    const bool roundUp = digits.back() >= '5';
    digits.pop_back();
    if (!roundUp) return false;
    for (size_t i = digits.size(); i-- > 0;) {
        if (digits[i] != '9') {
            ++digits[i];
            return false;
        }
        digits[i] = '0';
    }
    return true;
}

// The weight is at most 32767, so the integer part stays within 131072 digits plus a carry.
std::string formatFinite(const std::vector<uint16_t>& groups, int weight, bool negative,
                         int scale) {
    int64_t integerDigits = weight >= 0 ? (int64_t(weight) + 1) * kDigitsPerGroup : 0;
    std::string digits = placeDigits(groups, weight, integerDigits, scale);
    if (roundOffLastDigit(digits)) {
        digits.insert(digits.begin(), '1');
        ++integerDigits;
    }
    const bool isZero = digits.find_first_not_of('0') == std::string::npos;
    size_t firstShown = 0;
    while (int64_t(firstShown) < integerDigits && digits[firstShown] == '0') ++firstShown;

    std::string text;
    text.reserve(digits.size() + 3);
    if (negative && !isZero) text += '-';
    if (int64_t(firstShown) == integerDigits) {
        text += '0';
    } else {
        text.append(digits, firstShown, static_cast<size_t>(integerDigits) - firstShown);
    }
    if (scale > 0) {
        text += '.';
        text.append(digits, static_cast<size_t>(integerDigits), std::string::npos);
    }
    return text;
}

// ---------------------------------------------------------------------------------------------
// Encoding

// Whitespace as numeric_in sees it in the C locale.
bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

char toLowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool equalsIgnoringCase(const char* begin, const char* end, const char* word) {
    for (; begin != end; ++begin, ++word) {
        if (*word == '\0' || toLowerAscii(*begin) != *word) return false;
    }
    return *word == '\0';
}

// The caller's text in double quotes for an error message: at most kMaxQuotedBytes bytes, cut
// at a UTF-8 character boundary, with control bytes escaped so the message stays one printable
// line.
std::string quoted(const char* text, size_t length) {
    size_t shown = length;
    if (shown > kMaxQuotedBytes) {
        shown = kMaxQuotedBytes;
        while (shown > 0 && (static_cast<unsigned char>(text[shown]) & 0xC0) == 0x80) --shown;
    }
    std::string out = "\"";
    for (size_t i = 0; i < shown; ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c < 0x20 || c == 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", static_cast<unsigned>(c));
            out += escaped;
        } else {
            out += static_cast<char>(c);
        }
    }
    out += shown < length ? "\"..." : "\"";
    return out;
}

// A finite number as written: all its digits with the point removed, how many of them stood
// before the point, and the exponent (clamped to kExponentLimit in magnitude, which is refused).
struct WrittenNumber {
    bool negative = false;
    std::string digits;
    int64_t integerDigits = 0;
    int64_t exponent = 0;
};

// Reads "[sign]digits[.digits][e[whitespace][sign]digits]" covering all of [begin, end).  The
// whitespace allowed after the exponent marker copies the server, which reads the exponent
// with strtol.  On failure, `problem` says what is wrong, giving offsets from `origin`.
bool parseWrittenNumber(const char* origin, const char* begin, const char* end,
                        WrittenNumber& number, std::string& problem) {
    const char* at = begin;
    if (at != end && (*at == '+' || *at == '-')) number.negative = *at++ == '-';
    bool sawPoint = false;
    for (; at != end && (isDigit(*at) || (*at == '.' && !sawPoint)); ++at) {
        if (*at == '.') {
            sawPoint = true;
        } else {
            number.digits += *at;
            if (!sawPoint) ++number.integerDigits;
        }
    }
    if (number.digits.empty()) {
        problem = "no digits";
        return false;
    }
    if (at != end && (*at == 'e' || *at == 'E')) {
        ++at;
        while (at != end && isSpace(*at)) ++at;
        bool negativeExponent = false;
        if (at != end && (*at == '+' || *at == '-')) negativeExponent = *at++ == '-';
        if (at == end || !isDigit(*at)) {
            problem = "exponent without digits";
            return false;
        }
        for (; at != end && isDigit(*at); ++at) {
            if (number.exponent < kExponentLimit)
                number.exponent = number.exponent * 10 + (*at - '0');
        }
        if (number.exponent > kExponentLimit) number.exponent = kExponentLimit;
        if (negativeExponent) number.exponent = -number.exponent;
    }
    if (at != end) {
        problem = "unexpected character at offset " + std::to_string(at - origin);
        return false;
    }
    return true;
}

void appendHeader(std::string& wire, size_t groupCount, int64_t weight, uint16_t sign,
                  int64_t scale) {
    appendBigEndian16(wire, static_cast<uint16_t>(groupCount));
    appendBigEndian16(wire, toWord(weight));
    appendBigEndian16(wire, sign);
    appendBigEndian16(wire, static_cast<uint16_t>(scale));
}

// Lays the digits out as base-10000 groups without leading or trailing zero groups; returns
// false when the value is outside PostgreSQL's range.
bool buildWire(const WrittenNumber& number, std::string& wire) {
    const int64_t fractionDigits = int64_t(number.digits.size()) - number.integerDigits;
    const int64_t scale = fractionDigits > number.exponent ? fractionDigits - number.exponent : 0;
    if (number.exponent >= kExponentLimit || number.exponent <= -kExponentLimit ||
        scale > kMaxScale) {
        return false;
    }
    const size_t first = number.digits.find_first_not_of('0');
    if (first == std::string::npos) {
        appendHeader(wire, 0, 0, kSignPositive, scale);
        return true;
    }
    const size_t last = number.digits.find_last_not_of('0');
    // Decimal exponent of digits[i] is topExponent - (i - first).
    const int64_t topExponent = number.integerDigits - 1 - int64_t(first) + number.exponent;
    const int64_t weight = groupOf(topExponent);
    if (weight > kMaxWeight) {
        return false;
    }
    const int64_t bottomExponent = topExponent - int64_t(last - first);
    std::vector<uint16_t> groups(static_cast<size_t>(weight - groupOf(bottomExponent) + 1), 0);
    for (size_t i = first; i <= last; ++i) {
        const int64_t exponent = topExponent - int64_t(i - first);
        groups[static_cast<size_t>(weight - groupOf(exponent))] +=
            static_cast<uint16_t>((number.digits[i] - '0') * kPowersOfTen[placeInGroup(exponent)]);
    }
    appendHeader(wire, groups.size(), weight, number.negative ? kSignNegative : kSignPositive,
                 scale);
    for (uint16_t group : groups) appendBigEndian16(wire, group);
    return true;
}

std::string specialWire(uint16_t sign, uint16_t scale) {
    std::string wire;
    appendHeader(wire, 0, 0, sign, scale);
    return wire;
}

// Recognises NaN and the infinities in [begin, end); returns false when the text is neither.
bool matchSpecialValue(const char* begin, const char* end, uint16_t& sign) {
    if (equalsIgnoringCase(begin, end, "nan")) {
        sign = kSignNaN;
        return true;
    }
    bool negative = false;
    if (begin != end && (*begin == '+' || *begin == '-')) negative = *begin++ == '-';
    if (equalsIgnoringCase(begin, end, "infinity") || equalsIgnoringCase(begin, end, "inf")) {
        sign = negative ? kSignNegativeInfinity : kSignInfinity;
        return true;
    }
    return false;
}

}  // namespace

bool decodeNumeric(const unsigned char* bytes, size_t length, std::string& text,
                   std::string& error) {
    if (length < kHeaderBytes) {
        error = "numeric value is " + std::to_string(length) + " bytes, shorter than its " +
                std::to_string(kHeaderBytes) + "-byte header";
        return false;
    }
    const NumericHeader header = readHeader(bytes);
    std::vector<uint16_t> groups;
    if (!readGroups(bytes, length, header, groups, error)) return false;
    switch (header.sign) {
        case kSignNaN:
            text = kNumericNaNText;
            return true;
        case kSignInfinity:
            text = "Infinity";
            return true;
        case kSignNegativeInfinity:
            text = "-Infinity";
            return true;
        case kSignPositive:
        case kSignNegative:
            break;
        default:
            error = "numeric sign word " + hexWord(header.sign) + " is not one PostgreSQL uses";
            return false;
    }
    int scale = 0;
    if (!readScale(header.scaleWord, scale, error)) return false;
    text = formatFinite(groups, header.weight, header.sign == kSignNegative, scale);
    return true;
}

bool encodeNumeric(const char* text, size_t length, bool allowInfinity, std::string& wire,
                   std::string& error) {
    const char* begin = text;
    const char* end = text + length;
    while (begin != end && isSpace(*begin)) ++begin;
    while (end != begin && isSpace(end[-1])) --end;
    if (begin == end) {
        error = "invalid input syntax for type numeric (empty text): " + quoted(text, length);
        return false;
    }
    uint16_t specialSign = 0;
    if (matchSpecialValue(begin, end, specialSign)) {
        if (specialSign == kSignNaN) {
            wire = specialWire(kSignNaN, 0);
            return true;
        }
        if (!allowInfinity) {
            error = "the server does not support numeric infinity (PostgreSQL 14 on does): " +
                    quoted(text, length);
            return false;
        }
        wire = specialWire(specialSign, kInfinityScale);
        return true;
    }
    WrittenNumber number;
    std::string problem;
    if (!parseWrittenNumber(text, begin, end, number, problem)) {
        error = "invalid input syntax for type numeric (" + problem + "): " + quoted(text, length);
        return false;
    }
    std::string encoded;
    if (!buildWire(number, encoded)) {
        error =
            "numeric value out of range (PostgreSQL allows 131072 digits before the decimal "
            "point and 16383 after): " +
            quoted(text, length);
        return false;
    }
    wire.swap(encoded);
    return true;
}

}  // namespace vorlex
