// SPDX-License-Identifier: BSD-3-Clause
// dispatch.hpp - the command table and the running of one command.
#pragma once

#include <mex.h>

#include <cstddef>

#include "host/command.hpp"

namespace vorlex {

// The rows, in their fixed order, which the banner lists.
struct CommandRows {
    const Command* rows;
    size_t count;
    const Command* begin() const { return rows; }
    const Command* end() const { return rows + count; }
    const Command& operator[](size_t k) const { return rows[k]; }
};
CommandRows commandTable();

// The first row whose name equals `name` ignoring ASCII case, or null.
const Command* findCommand(const char* name);

// Runs the command named by prhs[0] with the remaining inputs: their
// counts are checked against the row, the pending libpqtypes error text is
// cleared before the handler and raised verbatim after it if the handler
// left one.  nrhs must be at least 1.
void dispatchCommand(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);

}  // namespace vorlex
