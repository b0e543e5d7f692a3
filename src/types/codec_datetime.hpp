// SPDX-License-Identifier: BSD-3-Clause
// codec_datetime.hpp - the procedures of date, time, timetz, timestamp and
// timestamptz (codec_datetime.cpp, and datetime_text.cpp for the server's
// text), named by the type catalogue's rows.
#pragma once

#include "types/codecs.hpp"

namespace vorlex {

// Dates and times, from and to date numbers.
bool writeTimestamp(char*, const ElementSource&, size_t, const PGtypeFormatInfo&, std::string&);
bool writeTime(char*, const ElementSource&, size_t, const PGtypeFormatInfo&, std::string&);
bool writeTimetz(char*, const ElementSource&, size_t, const PGtypeFormatInfo&, std::string&);
bool writeDate(char*, const ElementSource&, size_t, const PGtypeFormatInfo&, std::string&);
bool readTimestamp(const char*, size_t, const ElementTarget&, size_t, const PGtypeFormatInfo&,
                   std::string&);
bool readTime(const char*, size_t, const ElementTarget&, size_t, const PGtypeFormatInfo&,
              std::string&);
bool readDate(const char*, size_t, const ElementTarget&, size_t, const PGtypeFormatInfo&,
              std::string&);
// The server's text in the ISO DateStyle (datetime_text.hpp), as date numbers.
bool readDateText(const char*, size_t, const ElementTarget&, size_t, const PGtypeFormatInfo&,
                  std::string&);
bool readTimeText(const char*, size_t, const ElementTarget&, size_t, const PGtypeFormatInfo&,
                  std::string&);
bool readTimetzText(const char*, size_t, const ElementTarget&, size_t, const PGtypeFormatInfo&,
                    std::string&);
bool readTimestampText(const char*, size_t, const ElementTarget&, size_t, const PGtypeFormatInfo&,
                       std::string&);
bool readTimestamptzText(const char*, size_t, const ElementTarget&, size_t, const PGtypeFormatInfo&,
                         std::string&);

// insert's rules for a date number in a column of the type.
const char* fitDate(long double value);
const char* fitTimestamp(long double value);
const char* fitTime(long double value);

}  // namespace vorlex
