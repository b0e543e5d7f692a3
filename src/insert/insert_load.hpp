// SPDX-License-Identifier: BSD-3-Clause
// insert_load.hpp - insert's load: each field of the data bound to its
// column, the type its values are sent as and how, and its values checked
// and prepared before the COPY starts.  The command (insert.cpp) runs the
// steps in the order of the files that hold them: binding, typing, values,
// rows.
#pragma once

#include <libpq-fe.h>
#include <libpqtypes.h>
#include <mex.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "columns/batch_columns.hpp"
#include "copy/copy_in.hpp"
#include "copy/copy_target.hpp"
#include "host/owners.hpp"
#include "insert/insert_casts.hpp"
#include "insert/insert_dates.hpp"
#include "params/param_building.hpp"
#include "types/type_catalogue.hpp"

namespace vorlex {

constexpr char kNullsOption[] = "nulls";

struct InsertOptions {
    bool exactNames = false;
    const mxArray* nulls = nullptr;  // null when absent or []
    DateOptions dates;               // date/time fields' numbers and timestamptz's zone
    bool nanIsNull = true;           // 'nan', 'null'; false: 'value'
    ProgressOption progress;
};

// How a column's values are sent.
enum class Sending {
    record,          // by the record's codec
    jsonb,           // as text after jsonb's version byte
    numericNumbers,  // numbers as decimal text, into numeric's binary form
    serverCast,      // texts the server converts before the COPY (insert_casts.hpp)
    exactDates,      // date/time values read by insert_dates.hpp
};

// What one row of a cell column holds, found before anything is sent.
enum CellForm : uint8_t { kCellValue, kCellVector, kCellNull };

struct InsertColumn {
    int field = 0;
    std::string label;  // names the field and its column in messages
    const TargetColumn* column = nullptr;
    const PgType* type = nullptr;  // the catalogue's row of the column's type, or of its elements
    bool isArray = false;
    Sending sending = Sending::record;
    ParamRecord record{};
    ParamRecord vectorRecord{};       // arrays: a vector as one dimension
    const mxArray* values = nullptr;  // the field, or its numbers converted
    const void* numbers = nullptr;    // numericNumbers: the field's elements, of numberClass
    mxClassID numberClass = mxUNKNOWN_CLASS;
    HostArrayOwner converted;
    BatchColumn prepared;
    const mxLogical* nullRows = nullptr;  // the 'nulls' option's flags
    bool nanIsNull = true;                // the 'nan' option: NaN numbers are NULL
    const void* nanRows = nullptr;        // where NaN rows are NULL: the field's doubles or singles
    bool nanRowsSingle = false;
    std::vector<uint8_t> cellForms;   // cell columns: a CellForm per row
    std::string castType;             // serverCast: the type as SQL names it
    bool castsArray = false;          // serverCast: an array type, whose rows may be cells
    CastValues cast;                  // serverCast: the server's values
    std::vector<int64_t> exactDates;  // exactDates: the values
};

struct InsertLoad {
    std::vector<InsertColumn> columns;
    const PGtypeFormatInfo* server = nullptr;
};

inline std::string fieldName(const mxArray* data, int field) {
    return mxGetFieldNameByNumber(data, field);
}

// An M-by-1 column (0-by-0 or 0-by-1 when M is 0).
inline bool isColumnOf(const mxArray* array, size_t rows) {
    return mxGetNumberOfDimensions(array) == 2 && mxGetM(array) == rows &&
           (mxGetN(array) == 1 || (rows == 0 && mxGetN(array) == 0));
}

inline bool isNanRow(const InsertColumn& bound, size_t row) {
    return bound.nanRowsSingle ? std::isnan(static_cast<const float*>(bound.nanRows)[row])
                               : std::isnan(static_cast<const double*>(bound.nanRows)[row]);
}

// Row `row`'s form: NULL where the 'nulls' option, a NaN or the cell says so.
inline uint8_t formOf(const InsertColumn& bound, size_t row) {
    if (bound.nullRows && bound.nullRows[row]) return kCellNull;
    if (bound.nanRows && isNanRow(bound, row)) return kCellNull;
    return bound.cellForms.empty() ? uint8_t{kCellValue} : bound.cellForms[row];
}

// The steps, in the order the command runs them.
// insert_binding.cpp: each field to the column of its name (an error names
// the field and the table's near names), and the 'nulls' option's flags,
// each an M-by-1 logical, to the fields they name.
void bindFields(InsertLoad& load, const mxArray* data, const CopyTarget& target,
                const InsertOptions& options);
void bindNulls(InsertLoad& load, const mxArray* data, const mxArray* nulls, size_t rows);

// insert_typing.cpp: the catalogue's row each column's values are sent as
// (its type, the element type of an array, or text for enums, jsonb and
// the types the server converts from texts), then one record per column.
void typeColumns(PGconn* conn, InsertLoad& load);
void buildColumnRecords(InsertLoad& load, PGparam* param, const mxArray* data);

// insert_values.cpp: a field's values checked against its column and
// prepared to be sent, before anything is sent; a date/time field read
// exactly (insert_dates.hpp) instead; then the texts the server converts,
// converted, after every other check and before the COPY.
void prepareValues(InsertColumn& bound, const mxArray* field, size_t rows,
                   const PGtypeFormatInfo& server);
void prepareExactDates(InsertColumn& bound, const mxArray* field, size_t rows,
                       const InsertOptions& options);
void castColumns(PGconn* conn, InsertLoad& load, size_t rows);

// insert_rows.cpp: row `row` of the COPY stream, copyRowsIn's callback
// (`context` is the InsertLoad).
void appendInsertRow(void* context, CopyBuffer& buffer, size_t row);

}  // namespace vorlex
