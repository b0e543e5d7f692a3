// SPDX-License-Identifier: BSD-3-Clause
// batch_input.hpp - the columns argument of the commands that send a table
// of rows (batchExec, copyIn): a struct of columns and its NULL structs.
//
//   vorlex(command, conn, statement, format, values [, elementNulls [, valueNulls ...]]
//          [, name, value ...])
//
// `values` is a scalar struct with one field per specifier, each a column
// of M rows; `elementNulls` and `valueNulls` (or [] for none) have the same
// fields and mark NULL elements of array values and NULL values.  Options
// by name and value follow them: a char where a NULL struct would stand
// (a struct or []) is the first option's name.
#pragma once

#include <libpq-fe.h>
#include <mex.h>

#include <cstddef>
#include <string>
#include <vector>

#include "columns/batch_columns.hpp"
#include "connection/progress.hpp"
#include "host/owners.hpp"
#include "params/param_building.hpp"

namespace vorlex {

// The handler's input positions the commands share.
enum BatchArg {
    kConnArg,
    kStatementArg,
    kFormatArg,
    kValuesArg,
    kElementNullsArg,
    kValueNullsArg,
    kBatchArgCount
};

struct BatchInput {
    const mxArray* values;
    const mxArray* elementNulls;  // null when absent
    const mxArray* valueNulls;    // null when absent
    int optionsAt;                // the input after the NULL structs given
};

// The three structs, checked as structs: one element each, as many fields
// as values, named alike position by position.
BatchInput batchInputArgs(const mxArray* const prhs[], int nrhs);

// The options from input `first` on, in pairs: 'progress' (progress.hpp).
ProgressOption batchOptionArgs(const mxArray* const prhs[], int nrhs, int first);

// What a command sends: the set (which carries the connection's types),
// one record per specifier, and the checked, prepared columns.
// Not copied or moved: `batch` points at `records`.
struct PreparedBatch {
    PreparedBatch() = default;
    PreparedBatch(const PreparedBatch&) = delete;
    PreparedBatch& operator=(const PreparedBatch&) = delete;

    size_t rows = 0;  // M
    ParamOwner param;
    std::vector<ParamRecord> records;
    BatchRows batch{&records, {}};
};

// Checks the columns against `format` and prepares them, before anything is
// sent.
void prepareBatch(PGconn* conn, const std::string& format, const BatchInput& input,
                  PreparedBatch& prepared);

}  // namespace vorlex
