// SPDX-License-Identifier: BSD-3-Clause
// text_forms.cpp - binary forms of jsonb, uuid, interval, the network
// types and the MAC addresses, turned into the server's text.
#include "types/text_forms.hpp"

#include <climits>
#include <cstdio>
#include <cstdlib>

#include "host/host.hpp"
#include "types/wire.hpp"

namespace vorlex {

namespace {

const unsigned char* unsignedBytes(const char* bytes) {
    return reinterpret_cast<const unsigned char*>(bytes);
}

bool requireLength(size_t length, size_t wanted, const char* type, std::string& error) {
    if (length == wanted) return true;
    error = std::string("a ") + type + " value must have " + std::to_string(wanted) +
            " bytes, the server sent " + std::to_string(length);
    return false;
}

void appendHexByte(std::string& text, unsigned char byte) {
    static const char digits[] = "0123456789abcdef";
    text += digits[byte >> 4];
    text += digits[byte & 15];
}

// --- interval -------------------------------------------------------------------

constexpr int64_t kMicrosecondsPerHour = 3600000000LL;
constexpr int64_t kMicrosecondsPerMinute = 60000000LL;
constexpr int64_t kMicrosecondsPerSecond = 1000000LL;

// A nonzero part such as "-3 days": a space after an earlier part, and a
// plus sign when the part before was negative.
void appendPart(std::string& text, int64_t value, const char* unit, bool& first,
                bool& afterNegative) {
    if (value == 0) return;
    if (!first) text += ' ';
    if (afterNegative && value > 0) text += '+';
    text += std::to_string(value) + " " + unit + (value != 1 ? "s" : "");
    afterNegative = value < 0;
    first = false;
}

// Seconds as two digits, then the microseconds without trailing zeros.
void appendSeconds(std::string& text, long long seconds, long long microseconds) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%02lld", seconds);
    text += buffer;
    if (microseconds == 0) return;
    std::snprintf(buffer, sizeof buffer, ".%06lld", microseconds);
    std::string fraction(buffer);
    fraction.erase(fraction.find_last_not_of('0') + 1);
    text += fraction;
}

// --- inet and cidr ----------------------------------------------------------------

// The address families of the network types' binary form.
constexpr unsigned char kFamilyInet4 = 2;
constexpr unsigned char kFamilyInet6 = 3;

std::string ipv4Text(const unsigned char* address) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%u.%u.%u.%u", address[0], address[1], address[2],
                  address[3]);
    return buffer;
}

// Eight groups in hex, the longest run of two or more zero groups written
// as "::", and the last 32 bits as an IPv4 address where the server writes
// them so (::a.b.c.d, ::ffff:a.b.c.d; not ::0.0.0.n).
std::string ipv6Text(const unsigned char* address) {
    unsigned groups[8];
    for (int i = 0; i < 8; ++i) groups[i] = (address[2 * i] << 8) | address[2 * i + 1];
    int bestStart = -1, bestLength = 0;
    for (int i = 0; i < 8;) {
        if (groups[i] != 0) {
            ++i;
            continue;
        }
        int start = i;
        while (i < 8 && groups[i] == 0) ++i;
        if (i - start > bestLength) {
            bestStart = start;
            bestLength = i - start;
        }
    }
    if (bestLength < 2) bestStart = -1;
    std::string text;
    for (int i = 0; i < 8; ++i) {
        if (bestStart >= 0 && i >= bestStart && i < bestStart + bestLength) {
            if (i == bestStart) text += ':';
            continue;
        }
        if (i != 0) text += ':';
        bool embedsIpv4 = i == 6 && bestStart == 0 &&
                          (bestLength == 6 || (bestLength == 5 && groups[5] == 0xffff));
        if (embedsIpv4) return text + ipv4Text(address + 12);
        char buffer[8];
        std::snprintf(buffer, sizeof buffer, "%x", groups[i]);
        text += buffer;
    }
    if (bestStart >= 0 && bestStart + bestLength == 8) text += ':';
    return text;
}

}  // namespace

bool jsonbText(const char* bytes, size_t length, std::string& text, std::string& error) {
    constexpr unsigned char kJsonbVersion = 1;
    if (length == 0 || unsignedBytes(bytes)[0] != kJsonbVersion) {
        error = length ? "jsonb version " + std::to_string(unsignedBytes(bytes)[0]) +
                             " is not read; version 1 is"
                       : std::string("a jsonb value is empty");
        return false;
    }
    text.assign(bytes + 1, length - 1);
    return true;
}

bool uuidText(const char* bytes, size_t length, std::string& text, std::string& error) {
    if (!requireLength(length, 16, "uuid", error)) return false;
    text.clear();
    for (size_t i = 0; i < 16; ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) text += '-';
        appendHexByte(text, unsignedBytes(bytes)[i]);
    }
    return true;
}

// Years, months and days as counted parts, then the time as [-]hh:mm:ss
// with its fraction; the signs of the time's parts follow the time's.
bool intervalText(const char* bytes, size_t length, std::string& text, std::string& error) {
    if (!requireLength(length, 16, "interval", error)) return false;
    int64_t time = static_cast<int64_t>(loadBig64(bytes));
    int32_t days = static_cast<int32_t>(loadBig32(bytes + 8));
    int32_t months = static_cast<int32_t>(loadBig32(bytes + 12));
    if (months == INT32_MAX && days == INT32_MAX && time == INT64_MAX) {
        text = "infinity";
        return true;
    }
    if (months == INT32_MIN && days == INT32_MIN && time == INT64_MIN) {
        text = "-infinity";
        return true;
    }
    text.clear();
    bool first = true, afterNegative = false;
    appendPart(text, months / 12, "year", first, afterNegative);
    appendPart(text, months % 12, "mon", first, afterNegative);
    appendPart(text, days, "day", first, afterNegative);
    int64_t hours = time / kMicrosecondsPerHour;
    time -= hours * kMicrosecondsPerHour;
    int64_t minutes = time / kMicrosecondsPerMinute;
    time -= minutes * kMicrosecondsPerMinute;
    int64_t seconds = time / kMicrosecondsPerSecond;
    int64_t microseconds = time - seconds * kMicrosecondsPerSecond;
    if (!first && hours == 0 && minutes == 0 && seconds == 0 && microseconds == 0) return true;
    bool minus = hours < 0 || minutes < 0 || seconds < 0 || microseconds < 0;
    if (!first) text += ' ';
    text += minus ? "-" : (afterNegative ? "+" : "");
    char buffer[48];
    std::snprintf(buffer, sizeof buffer,
                  "%02lld:%02lld:", std::llabs(static_cast<long long>(hours)),
                  std::llabs(static_cast<long long>(minutes)));
    text += buffer;
    appendSeconds(text, std::llabs(static_cast<long long>(seconds)),
                  std::llabs(static_cast<long long>(microseconds)));
    return true;
}

// family, bits, is-cidr flag, address length, address: the address, then
// "/bits" unless an inet covers the whole address.
bool inetText(const char* bytes, size_t length, std::string& text, std::string& error) {
    const unsigned char* in = unsignedBytes(bytes);
    size_t size = length >= 4 && in[0] == kFamilyInet4 ? 4 : 16;
    bool known = length >= 4 && (in[0] == kFamilyInet4 || in[0] == kFamilyInet6);
    if (!known || in[3] != size || length != 4 + size || in[1] > size * 8) {
        error = "the network address has a form that is not read";
        return false;
    }
    unsigned bits = in[1];
    bool isCidr = in[2] != 0;
    text = size == 4 ? ipv4Text(in + 4) : ipv6Text(in + 4);
    if (isCidr || bits != size * 8) text += "/" + std::to_string(bits);
    return true;
}

bool macaddrText(const char* bytes, size_t length, std::string& text, std::string& error) {
    if (length != 6 && !requireLength(length, 8, "macaddr8", error)) return false;
    text.clear();
    for (size_t i = 0; i < length; ++i) {
        if (i) text += ':';
        appendHexByte(text, unsignedBytes(bytes)[i]);
    }
    return true;
}

}  // namespace vorlex
