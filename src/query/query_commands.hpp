// SPDX-License-Identifier: BSD-3-Clause
// query_commands.hpp - the handler of query (query_command.cpp).
#pragma once

#include <mex.h>

namespace vorlex {

void commandQuery(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);

}  // namespace vorlex
