// commands.hpp - the handlers of the command table, one per row.
#pragma once

#include <mex.h>

namespace vorlex {

// Stands in for a command whose handler is not part of this build yet.
void commandNotAvailable(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);

}  // namespace vorlex
