// SPDX-License-Identifier: BSD-3-Clause
// batch_commands.hpp - the handler of batchExec (batch_command.cpp).
#pragma once

#include <mex.h>

namespace vorlex {

void commandBatchExec(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);

}  // namespace vorlex
