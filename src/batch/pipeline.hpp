// SPDX-License-Identifier: BSD-3-Clause
// pipeline.hpp - one prepared statement run once per row in a single
// pipelined stream.
//
// The prepare, every row's execution, a closing DEALLOCATE and a sync point
// go to the server without waiting for each other, while results are read
// and checked as they arrive.  Before the sync the server runs everything
// as one implicit transaction (or inside the caller's own), so a batch is
// kept whole or not at all.
//
// Whatever fails (a row the server refuses, a row that cannot be built, a
// libpq refusal), the stream is first brought to its sync point and the
// connection back to its own modes, so that the next command on it works;
// only then is the error raised.  A connection that is gone is left for
// status and reset.
#pragma once

#include <libpq-fe.h>
#include <libpqtypes.h>

#include <cstddef>
#include <string>

#include "connection/progress.hpp"

namespace vorlex {

// Fills the parameter set with the values of one row, 0-based.  Rows are
// built in order, row 0 into the empty set and each later row over the
// values of the row before, so that the set keeps one value per parameter.
struct RowBuilder {
    void (*build)(void* context, PGparam* param, size_t row);
    void* context;  // the procedure's, which may change as rows are built
};

struct BatchStatement {
    std::string sql;
    std::string name;     // the prepared statement's name
    std::string closing;  // "DEALLOCATE <quoted name>"
};

// Runs `statement` for rows 0..rows-1 (rows >= 1).  The set is reused for
// every row; the caller owns it.  The rows whose results are in are
// reported to `progress`, finished when the last row's is.
void runPipeline(PGconn* conn, PGparam* param, const BatchStatement& statement, size_t rows,
                 const RowBuilder& builder, Progress& progress);

}  // namespace vorlex
