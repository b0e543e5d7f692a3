// SPDX-License-Identifier: BSD-3-Clause
// column_reading.hpp - result columns into Octave arrays, shared by
// resultGet and query (a whole PGresult) and by copyOut and fetch (rows
// that arrive one at a time, growing_column.hpp).
//
// Each specifier fills one output struct {value, valueIsNull, rowIsNull}.
// `value` is a column vector of the type's class, or a cell column for
// arrays, variable-length types and when columnVectors is false;
// `valueIsNull` is a logical column, or a cell column of masks likewise.
// Binary values are decoded with the gateway's element codecs.
#pragma once

#include <libpqtypes.h>
#include <mex.h>

#include <cstddef>
#include <optional>
#include <string>

#include "columns/cell_column.hpp"
#include "host/owners.hpp"
#include "types/codecs.hpp"

namespace vorlex {

struct ResultColumn {
    const PGtypeHandler* handler;
    bool isArray;
    bool flatten;             // "@": an array's elements as one column
    int position;             // the specifier's, counted from 1
    int flags;                // the specifier's kSpec flags
    std::string description;  // names the column in messages; empty: its specifier
    int number;               // the result column read
    mxClassID classId;
    size_t elementSize;  // bytes per element of the class
    const ElementCodec* codec;
    bool cellValue;   // `value` is a cell: arrays, variable-length types, or columnVectors false
    bool cellMask;    // `valueIsNull` is a cell: arrays or columnVectors false
    bool textFormat;  // the column came in text format (a result of execText)
    // Texts of a binary form: a value's text (numeric's decimal digits, the
    // text forms of text_forms.hpp), or null for values that are their bytes.
    TextDecoder toText = nullptr;
    // What a NULL reads as where these are not set (resultGet, copyOut): 0
    // in a vector, an empty array of the class in a cell, 0 for a NULL
    // element.  nanAtNull: NaN for a NULL value or element of a double or
    // single column; emptyAtNull: [] (0-by-0 double) for a NULL in a cell.
    bool nanAtNull = false;
    bool emptyAtNull = false;
    // Arrays come as the server's text ("{1,NULL}", text_values.hpp) in a
    // column that is not textFormat: each element's text is read by the
    // codec's reader, or is a row of its cell (through toText when set).
    bool arrayText = false;
    // The number messages give the first row: resultGet's rows count from
    // 0, as getValue's do; query's from 1, as Octave's.
    size_t firstRow = 0;
};

// The column a specifier asks for, its type checked as one the gateway
// reads; `number` and `textFormat` are left for the caller.
ResultColumn describeSpecifier(const PGtypeHandler* handler, int flags, int position,
                               bool columnVectors);

// Names the column in messages: its description, else its specifier
// (made only when a message needs it).
std::string describe(const ResultColumn& column);

// The type the specifier reads must be the column's (`actual`, 0 when the
// column does not exist).
void requireColumnType(const ResultColumn& column, Oid actual);

// Where row `row` of a column goes: `valueData`/`maskData` when the value
// or mask is not a cell, else the cells gathered flat.
struct ColumnOutput {
    CellColumn* valueCells;
    void* valueData;
    CellColumn* maskCells;
    mxLogical* maskData;
    mxLogical* rowIsNull;
};

// The cells a column's value, or its mask, gathers when it is a cell.
std::optional<CellColumn> valueCellsOf(const ResultColumn& column);
std::optional<CellColumn> maskCellsOf(const ResultColumn& column);

// A finished column's arrays, as the output struct holds them.  A column
// whose valueIsNull is a vector has the same flags there as in rowIsNull:
// it has only rowIsNull, and valueIsNull is null.  A column of scalars
// made as its struct at once has only `whole`.
struct ColumnArrays {
    HostArrayOwner value, valueIsNull, rowIsNull;
    HostArrayOwner whole;
};

// How a column's arrays are wanted: apart, or as the output struct, which
// the host then makes at once for a column of scalars.
enum class ColumnForm { arrays, outputStruct };

// The output struct of a column of `rows` rows while they are filled:
// vectors at their full length, cells gathered flat.
class ColumnParts {
  public:
    ColumnParts(const ResultColumn& column, size_t rows, ColumnForm form);
    ColumnOutput output();
    // The column's arrays; the cells are made by the host.
    ColumnArrays finish();

  private:
    HostArrayOwner value_, valueIsNull_, rowIsNull_, whole_;
    void* valueData_ = nullptr;
    mxLogical* maskData_ = nullptr;
    mxLogical* rowIsNullData_ = nullptr;
    std::optional<CellColumn> valueCells_, maskCells_;
};

// The struct around finished columns; a null valueIsNull is rowIsNull.
mxArray* columnStruct(mxArray* value, mxArray* valueIsNull, mxArray* rowIsNull);
mxArray* columnStruct(ColumnArrays arrays);

// Fills row `row` with NULL.
void fillNullRow(const ResultColumn& column, const ColumnOutput& out, size_t row);

// Fills row `row` with the binary value at `bytes`.
void fillBinaryRow(const ResultColumn& column, const char* bytes, size_t length,
                   const PGtypeFormatInfo& server, const ColumnOutput& out, size_t row);

// Fills row `row` with the binary value at `bytes`, or with NULL when
// `bytes` is null: a field of a row that arrived alone.
void fillField(const ResultColumn& column, const char* bytes, size_t length,
               const PGtypeFormatInfo& server, const ColumnOutput& out, size_t row);

// Whether a column's binary values are scalars read straight into its
// vectors: fillScalarField then does fillField's work with nothing to
// look up, for streams that decode row by row.
bool readsScalarsIntoVectors(const ResultColumn& column);
void fillScalarField(const ResultColumn& column, const char* bytes, size_t length,
                     const PGtypeFormatInfo& server, const ColumnOutput& out, size_t row);

// Reads one scalar element into `target` at `index`: the codec's reader, or
// another for text-format values.
using ElementRead = bool (*)(const void* context, const ElementTarget& target, size_t index,
                             std::string& error);

// Fills row `row` with a scalar value of a fixed-width type read by `read`.
void fillScalarRow(const ResultColumn& column, const ColumnOutput& out, size_t row,
                   ElementRead read, const void* context);

// Fills row `row` with a text-like, bytea, numeric or serialised value:
// `bytes` as its cell holds them (a numeric's decimal text; a serialised
// value's bytes, which the Octave function restores here).
void fillVariableRow(const ResultColumn& column, const ColumnOutput& out, size_t row,
                     const char* bytes, size_t length);

// The arrays of a whole column of a result, in `form`: binary values
// through the codec, text-format values (textFormat) through libpqtypes.
ColumnArrays extractColumn(const PGresult* result, const ResultColumn& column,
                           const PGtypeFormatInfo& server, ColumnForm form);

// Raises a value's failure to decode under readFailed (deserialiseFailed
// for serialised values, which fail only in the Octave function).
[[noreturn]] void raiseReadFailure(const ResultColumn& column, size_t row,
                                   const std::string& error);

}  // namespace vorlex
