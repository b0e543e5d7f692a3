// SPDX-License-Identifier: BSD-3-Clause
// query_columns.hpp - a query's result columns read by their types, with
// no specifier: what each column's type OID reads as, and the data and
// info outputs made of the result.
//
// A column's class follows from its type and the options alone (the
// table of classes in query_columns.cpp): a column of a catalogue type (or
// its array) reads as resultGet reads it, but integers and bool as doubles
// with NaN at NULL unless keepClass, and cells with [] at NULL; jsonb,
// uuid, interval, inet, cidr, macaddr and macaddr8 read as their text
// (the catalogue's text forms); enums read as their labels; arrays of all
// of these as cells of arrays.  Types the module does not know are looked up on the
// server: a domain reads as its base type.  Any other type (geometric
// types, money, ranges, composites, ...) has no binary reader and reads as
// its text: the statement then returns text, which every other column,
// arrays included, is parsed from into what its binary value gives.
#pragma once

#include <libpq-fe.h>
#include <mex.h>

#include <cstddef>
#include <string>
#include <vector>

#include "columns/column_reading.hpp"
#include "columns/copy_stream.hpp"
#include "columns/growing_column.hpp"
#include "connection/progress.hpp"
#include "query/date_columns.hpp"
#include "statements/copy_session.hpp"
#include "types/pqtypes_private.hpp"
#include "types/type_catalogue.hpp"

namespace vorlex {

struct QueryOptions {
    bool keepClass = false;        // integer and bool columns in their classes, not double
    bool numericAsDouble = false;  // numeric columns as doubles instead of text
    bool cellOutput = false;       // data as a rows-by-columns cell
    DateOptions dates;             // date/time columns' form and timestamptz's zone
};

// How one column is read (its name is the result's).  Without a type or form the value is read as
// text: an enum's label, or (when !binary) the server's text.
struct ColumnPlan {
    Oid oid;               // the column's type
    std::string typeName;  // the server's name of that type; empty when unknown
    const PgType* type = nullptr;
    const TextForm* form = nullptr;
    bool isArray = false;
    Oid elementOid = 0;  // the element type an array's binary frame names
    bool binary = true;  // the type has a binary reader
};

struct ResultPlan {
    std::vector<ColumnPlan> columns;
    bool binary = true;  // every column has a binary reader
    // The described columns' names and the struct fields made of them.
    std::vector<std::string> names;
    std::vector<std::string> fields;
};

// The plan of a described statement's columns.  Types the module does not
// know are looked up on `conn` in a statement of their own.
ResultPlan planColumns(PGconn* conn, const PGresult* described);

// Gives the plan the names of `result`'s columns: a plan of an earlier run
// may hold old ones.
void nameColumns(ResultPlan& plan, const PGresult* result);

// Reads `result`, which the plan's statement gave, into the data output
// and, when `info` is not null, the info output.
void readResult(PGconn* conn, const PGresult* result, const ResultPlan& plan,
                const QueryOptions& options, mxArray*& data, mxArray** info);

// How one column is read: resultGet's reading, with a codec and handler of
// the column's own where they differ from the catalogue's.
struct ColumnReader {
    PGtypeHandler handler;
    ElementCodec codec;
    ResultColumn column;
    bool exactDates = false;  // read as int64 values for datesOutput
};

// Rows that arrive one at a time, as single-row results of the plan's
// statement (PQsetSingleRowMode) or as the rows of a binary COPY TO of it,
// read into the outputs readResult makes of the same rows in one result.
class ChunkColumns {
  public:
    ChunkColumns(PGconn* conn, const ResultPlan& plan, const QueryOptions& options, size_t most);
    ChunkColumns(const ChunkColumns&) = delete;
    ChunkColumns& operator=(const ChunkColumns&) = delete;

    size_t rows() const { return rows_; }
    // Reads the row of a single-row result; at most `most` rows in all.
    void add(const PGresult* row);
    // Reads the rows of the plan's statement run as a binary COPY TO on
    // `copy`, decoded by `stream`, as they arrive, until `most` rows are
    // read (the next one held by `stream`) or the stream ends: returns the
    // COPY's result then, else null.  Progress counts `rowsBefore` too.
    ResultOwner addCopyRows(CopySession& copy, CopyStreamDecoder& stream, Progress& progress,
                            size_t rowsBefore = 0);
    // The data and, when `info` is not null, the info output of the rows
    // read: info.command is `command` ('' while the statement has rows
    // left), info.rowCount the count of the rows read.
    void finish(const char* command, mxArray*& data, mxArray** info);

  private:
    const ResultPlan& plan_;
    const QueryOptions& options_;
    TypeHandlers handlers_;
    std::vector<ColumnReader> readers_;  // never resized: the columns point into them
    std::vector<GrowingColumn> columns_;
    size_t most_;
    size_t rows_ = 0;
    size_t capacity_ = 0;
};

}  // namespace vorlex
