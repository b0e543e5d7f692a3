// SPDX-License-Identifier: BSD-3-Clause
// copy_commands.hpp - the handlers of bulk COPY in binary format
// (copy_in.cpp, copy_out.cpp) and of insert (insert.cpp), which loads
// rows through COPY by column name.
#pragma once

#include <mex.h>

namespace vorlex {

void commandCopyIn(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);
void commandCopyOut(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);
void commandInsert(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);

}  // namespace vorlex
