// SPDX-License-Identifier: BSD-3-Clause
// datetime_text.hpp - date and time values from the text the server writes
// in the ISO DateStyle (its default), into the date numbers the binary
// readers give: for a statement whose results come as text.
//
//   date         2024-02-29, 0044-03-15 BC, infinity, -infinity
//   time         13:45:00, 13:45:00.25 (timetz: a zone follows, dropped
//                as the binary reader drops it)
//   timestamp    2024-02-29 13:45:00.25 [BC]
//   timestamptz  2024-02-29 13:45:00.25+01[:30[:15]] [BC], taken to UTC
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "types/codecs.hpp"

namespace vorlex {

// The date number of one value; false, with the reason, for text of
// another form.
bool dateFromText(const char* text, size_t length, double& datenum, std::string& error);
bool timeFromText(const char* text, size_t length, bool withZone, double& datenum,
                  std::string& error);
bool timestampFromText(const char* text, size_t length, bool withZone, double& datenum,
                       std::string& error);

// Exact values, as time_zones.hpp counts them: days (date), microseconds
// from the epoch (timestamp: the wall time the text gives) or in the day
// (time).  Where the text has an offset ('Z' too), `hasOffset` is set and
// `offset` holds it in seconds east of UTC; a 'T' may part date and time.
// ±infinity: kInfinite and kMinusInfinite.
bool exactDateFromText(const char* text, size_t length, int64_t& days, std::string& error);
bool exactTimeFromText(const char* text, size_t length, int64_t& micros, int32_t& offset,
                       bool& hasOffset, std::string& error);
bool exactTimestampFromText(const char* text, size_t length, int64_t& micros, int32_t& offset,
                            bool& hasOffset, std::string& error);

}  // namespace vorlex
