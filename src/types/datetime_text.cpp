// SPDX-License-Identifier: BSD-3-Clause
// datetime_text.cpp - ISO date and time text into date numbers.
#include "types/datetime_text.hpp"

#include <cctype>
#include <cmath>
#include <cstdint>
#include <limits>

#include "types/codec_datetime.hpp"
#include "types/element_access.hpp"
#include "types/time_zones.hpp"

namespace vorlex {

namespace {

// A cursor over the text that reads its fields.
class TextCursor {
  public:
    TextCursor(const char* text, size_t length) : at_(text), end_(text + length) {}

    bool atEnd() const { return at_ == end_; }
    bool take(char c) {
        if (at_ == end_ || *at_ != c) return false;
        ++at_;
        return true;
    }
    bool takeWord(const char* word) {
        const char* at = at_;
        for (; *word; ++word, ++at)
            if (at == end_ || *at != *word) return false;
        at_ = at;
        return true;
    }
    // At least `least` digits, as a number; false when fewer come.
    bool number(int least, int64_t& value) {
        value = 0;
        int count = 0;
        for (; at_ != end_ && std::isdigit(static_cast<unsigned char>(*at_)); ++at_, ++count) {
            if (value > std::numeric_limits<int64_t>::max() / 10 - 1) return false;
            value = value * 10 + (*at_ - '0');
        }
        return count >= least;
    }
    // ".ffffff" as microseconds (none: 0).
    int64_t fraction() {
        if (!take('.')) return 0;
        int64_t micros = 0, scale = 100000;
        for (; at_ != end_ && std::isdigit(static_cast<unsigned char>(*at_)); ++at_, scale /= 10)
            micros += (*at_ - '0') * scale;
        return micros;
    }

  private:
    const char* at_;
    const char* end_;
};

struct CivilDate {
    int64_t year, month, day;
};

bool readDate(TextCursor& cursor, CivilDate& date) {
    return cursor.number(4, date.year) && cursor.take('-') && cursor.number(2, date.month) &&
           cursor.take('-') && cursor.number(2, date.day) && date.month >= 1 && date.month <= 12 &&
           date.day >= 1 && date.day <= 31;
}

// The date's days from the epoch, after a " BC", which makes year y the
// astronomical year 1 - y.
int64_t daysOf(TextCursor& cursor, const CivilDate& date) {
    int64_t year = cursor.takeWord(" BC") ? 1 - date.year : date.year;
    return daysFromCivil(year, date.month, date.day);
}

bool readTime(TextCursor& cursor, int64_t& micros) {
    int64_t hours, minutes, seconds;
    if (!cursor.number(2, hours) || !cursor.take(':') || !cursor.number(2, minutes) ||
        !cursor.take(':') || !cursor.number(2, seconds))
        return false;
    micros = ((hours * 60 + minutes) * 60 + seconds) * kSecondMicros + cursor.fraction();
    return true;
}

// "+HH[:MM[:SS]]", "-..." or "Z": the offset east of UTC.
bool readZone(TextCursor& cursor, int64_t& micros) {
    micros = 0;
    if (cursor.take('Z')) return true;
    int sign = cursor.take('+') ? 1 : cursor.take('-') ? -1 : 0;
    int64_t hours, minutes = 0, seconds = 0;
    if (sign == 0 || !cursor.number(2, hours)) return false;
    if (cursor.take(':') && !cursor.number(2, minutes)) return false;
    if (cursor.take(':') && !cursor.number(2, seconds)) return false;
    micros = sign * ((hours * 60 + minutes) * 60 + seconds) * kSecondMicros;
    return true;
}

bool infinity(const char* text, size_t length, double& datenum) {
    std::string word(text, length);
    if (word != "infinity" && word != "-infinity") return false;
    datenum = word[0] == '-' ? -HUGE_VAL : HUGE_VAL;
    return true;
}

bool refuse(const char* text, size_t length, const char* what, std::string& error) {
    error = "'" + std::string(text, length) + "' is not a " + what + " in the ISO DateStyle";
    return false;
}

template <bool (*parse)(const char*, size_t, bool, double&, std::string&), bool withZone>
bool readText(const char* bytes, size_t length, const ElementTarget& target, size_t index,
              const PGtypeFormatInfo&, std::string& error) {
    double datenum;
    if (!parse(bytes, length, withZone, datenum, error)) return false;
    storeAt(target, index, datenum);
    return true;
}

bool dateWithoutZone(const char* text, size_t length, bool, double& datenum, std::string& error) {
    return dateFromText(text, length, datenum, error);
}

}  // namespace

bool dateFromText(const char* text, size_t length, double& datenum, std::string& error) {
    if (infinity(text, length, datenum)) return true;
    TextCursor cursor(text, length);
    CivilDate date;
    if (!readDate(cursor, date)) return refuse(text, length, "date", error);
    int64_t days = daysOf(cursor, date);
    if (!cursor.atEnd()) return refuse(text, length, "date", error);
    datenum = static_cast<double>(days) + kPostgresEpochDatenum;
    return true;
}

bool timeFromText(const char* text, size_t length, bool withZone, double& datenum,
                  std::string& error) {
    TextCursor cursor(text, length);
    int64_t micros, zone;
    if (!readTime(cursor, micros) || (withZone && !readZone(cursor, zone)) || !cursor.atEnd())
        return refuse(text, length, "time", error);
    // As the binary reader rounds it (decodeTime).
    volatile double shifted =
        static_cast<double>(micros) / kMicrosecondsPerDay + kPostgresEpochDatenum;
    datenum = shifted - kPostgresEpochDatenum;
    return true;
}

bool timestampFromText(const char* text, size_t length, bool withZone, double& datenum,
                       std::string& error) {
    if (infinity(text, length, datenum)) return true;
    TextCursor cursor(text, length);
    CivilDate date;
    int64_t micros, zone = 0;
    if (!readDate(cursor, date) || !cursor.take(' ') || !readTime(cursor, micros) ||
        (withZone && !readZone(cursor, zone)))
        return refuse(text, length, "timestamp", error);
    int64_t days = daysOf(cursor, date);
    if (!cursor.atEnd()) return refuse(text, length, "timestamp", error);
    int64_t total = days * kDayMicros + micros - zone;
    datenum = static_cast<double>(total) / kMicrosecondsPerDay + kPostgresEpochDatenum;
    return true;
}

bool exactDateFromText(const char* text, size_t length, int64_t& days, std::string& error) {
    double datenum;
    if (infinity(text, length, datenum)) {
        days = datenum > 0 ? kInfinite : kMinusInfinite;
        return true;
    }
    TextCursor cursor(text, length);
    CivilDate date;
    if (!readDate(cursor, date)) return refuse(text, length, "date", error);
    days = daysOf(cursor, date);
    return cursor.atEnd() || refuse(text, length, "date", error);
}

bool exactTimeFromText(const char* text, size_t length, int64_t& micros, int32_t& offset,
                       bool& hasOffset, std::string& error) {
    TextCursor cursor(text, length);
    int64_t zone = 0;
    if (!readTime(cursor, micros) || micros > kDayMicros)
        return refuse(text, length, "time", error);
    hasOffset = !cursor.atEnd();
    if ((hasOffset && !readZone(cursor, zone)) || !cursor.atEnd())
        return refuse(text, length, "time", error);
    offset = static_cast<int32_t>(zone / kSecondMicros);
    return true;
}

bool exactTimestampFromText(const char* text, size_t length, int64_t& micros, int32_t& offset,
                            bool& hasOffset, std::string& error) {
    double datenum;
    hasOffset = false;
    if (infinity(text, length, datenum)) {
        micros = datenum > 0 ? kInfinite : kMinusInfinite;
        return true;
    }
    TextCursor cursor(text, length);
    CivilDate date;
    int64_t time, zone = 0;
    if (!readDate(cursor, date) || !(cursor.take(' ') || cursor.take('T')) ||
        !readTime(cursor, time))
        return refuse(text, length, "timestamp", error);
    hasOffset = readZone(cursor, zone);
    int64_t days = daysOf(cursor, date);
    if (!cursor.atEnd()) return refuse(text, length, "timestamp", error);
    micros = days * kDayMicros + time;
    offset = static_cast<int32_t>(zone / kSecondMicros);
    return true;
}

bool readDateText(const char* bytes, size_t length, const ElementTarget& target, size_t index,
                  const PGtypeFormatInfo& server, std::string& error) {
    return readText<dateWithoutZone, false>(bytes, length, target, index, server, error);
}

bool readTimeText(const char* bytes, size_t length, const ElementTarget& target, size_t index,
                  const PGtypeFormatInfo& server, std::string& error) {
    return readText<timeFromText, false>(bytes, length, target, index, server, error);
}

bool readTimetzText(const char* bytes, size_t length, const ElementTarget& target, size_t index,
                    const PGtypeFormatInfo& server, std::string& error) {
    return readText<timeFromText, true>(bytes, length, target, index, server, error);
}

bool readTimestampText(const char* bytes, size_t length, const ElementTarget& target, size_t index,
                       const PGtypeFormatInfo& server, std::string& error) {
    return readText<timestampFromText, false>(bytes, length, target, index, server, error);
}

bool readTimestamptzText(const char* bytes, size_t length, const ElementTarget& target,
                         size_t index, const PGtypeFormatInfo& server, std::string& error) {
    return readText<timestampFromText, true>(bytes, length, target, index, server, error);
}

}  // namespace vorlex
