// SPDX-License-Identifier: BSD-3-Clause
// query_cursor.hpp - chunked reads: the rows of one statement, running as
// a COPY or in libpq's single-row mode, read a chunk at a time by fetch.
#pragma once

#include <libpq-fe.h>
#include <mex.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "host/owners.hpp"
#include "query/query_columns.hpp"

namespace vorlex {

// What fetch reads the statement's rows with.
struct CursorRead {
    ResultPlan plan;
    QueryOptions options;
    size_t chunk;  // rows per fetch
};

// Registers a cursor over the statement running on connection
// `connection` in single-row mode, whose first result is `first`; returns
// the cursor's handle output.
mxArray* openCursor(uint32_t connection, CursorRead read, ResultOwner first);
// Registers a cursor over the statement running on connection
// `connection` as a binary COPY TO that a session left running
// (CopySession::leaveRunning once this returns); returns the cursor's
// handle output.
mxArray* openCopyCursor(uint32_t connection, CursorRead read);

// What a failure of the server after `rowsRead` rows of a statement says:
// the row it was making, counted from 1.
std::string failedAtRow(size_t rowsRead);

}  // namespace vorlex
