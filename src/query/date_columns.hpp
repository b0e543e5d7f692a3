// SPDX-License-Identifier: BSD-3-Clause
// date_columns.hpp - the 'dates' and 'timeZone' options of query and
// insert, and query's date/time columns read in the form they ask for.
//
//   'dates'     'datenum'  date numbers (days, 730486 at 2000-01-01)
//               'posix'    seconds: since 1970-01-01 (date at its
//                          midnight, timestamps), since midnight (time,
//                          timetz)
//               'text'     ISO 8601 text to the microsecond (time_zones.hpp)
//   'timeZone'  'UTC', 'local' or an IANA name: the wall time of
//               timestamptz values (their texts carry its offset)
//
// time and timetz numbers are the time of day as the value writes it
// (timetz's offset dropped); date and timestamp values have no zone.
// With the default options ('datenum', 'UTC') the catalogue's readers
// read every column; otherwise date/time columns are read exactly (the
// binary int64 microseconds, or the ISO text of a text result) into an
// int64 column and then made the form asked for.
#pragma once

#include <libpq-fe.h>
#include <mex.h>

#include "types/codecs.hpp"
#include "types/time_zones.hpp"

namespace vorlex {

enum class DateForm { datenum, posix, text };

struct DateOptions {
    DateForm form = DateForm::datenum;
    TimeZone zone;
};

// The options' values at input `index`, raised under optionValue and
// timeZone.
DateForm dateFormArg(const mxArray* const prhs[], int index);
TimeZone timeZoneArg(const mxArray* const prhs[], int index);

// Whether a column of the date/time type `oid` is read exactly.
bool readsExactDates(Oid oid, const DateOptions& options);

// The element reader of a date/time type's exact values, from its binary
// form or (`textResult`) its ISO text; each stores one int64.
ElementReader exactDateTimeReader(Oid oid, bool textResult);

// The column of exact values `exact` (an int64 column, or a cell of int64
// arrays when `isArray`, with `masks` their elements' NULL flags) in the
// form `options` asks for: NaN for NULL in numbers, [] in texts and for a
// NULL array.
mxArray* datesOutput(const mxArray* exact, const mxArray* rowIsNull, const mxArray* masks,
                     bool isArray, Oid oid, const DateOptions& options);

}  // namespace vorlex
