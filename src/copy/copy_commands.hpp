// copy_commands.hpp - the handlers of bulk COPY in binary format
// (copy_in.cpp, copy_out.cpp).
#pragma once

#include <mex.h>

namespace vorlex {

void commandCopyIn(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);
void commandCopyOut(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);

}  // namespace vorlex
