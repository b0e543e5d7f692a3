// SPDX-License-Identifier: BSD-3-Clause
// query_commands.hpp - the handlers of query (query_command.cpp), fetch and
// close (query_cursor.cpp).
#pragma once

#include <mex.h>

namespace vorlex {

void commandQuery(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);
void commandFetch(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);
void commandClose(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);

}  // namespace vorlex
