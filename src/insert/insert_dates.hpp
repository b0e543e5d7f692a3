// SPDX-License-Identifier: BSD-3-Clause
// insert_dates.hpp - insert's date/time fields as exact values: numbers
// read by the 'dates' option (date numbers, or POSIX seconds as query's
// 'posix' gives them), or ISO 8601 texts, which every date/time column
// takes; timestamptz numbers, and texts without an offset, are wall
// times in the 'timeZone' zone.  A NaN or [] is NULL.
//
// Texts read as date_columns.hpp writes them ('T' or ' ' between date and
// time, an offset '+HH[:MM[:SS]]' or 'Z', 'infinity'); a timetz text
// without an offset is at +00, and timestamp and time ignore an offset,
// as the server does.  Numbers are rounded to the microsecond.
#pragma once

#include <libpq-fe.h>
#include <libpqtypes.h>
#include <mex.h>

#include <cstdint>
#include <string>
#include <vector>

#include "copy/copy_in.hpp"
#include "query/date_columns.hpp"

namespace vorlex {

// Whether a field for a column of the date/time type `oid` is read
// exactly here: a cell of texts, or numbers under non-default options.
bool insertsExactDates(Oid oid, const mxArray* field, const DateOptions& options);

// The exact values (time_zones.hpp's) of the field's `rows` rows, and
// which are NULL (`nullRows`, the 'nulls' option's flags, may be null).
// `label` names the field in messages.
void readExactDates(const mxArray* field, size_t rows, Oid oid, const DateOptions& options,
                    bool nanIsNull, const mxLogical* nullRows, const std::string& label,
                    std::vector<int64_t>& values, std::vector<uint8_t>& isNull);

// One value's field of a binary COPY row: its length and bytes.
void appendExactDate(CopyBuffer& buffer, Oid oid, int64_t value, const PGtypeFormatInfo& server);

}  // namespace vorlex
