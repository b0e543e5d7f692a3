// SPDX-License-Identifier: BSD-3-Clause
// param_commands.hpp - the handlers of the parameter set commands
// (param_commands.cpp).
#pragma once

#include <mex.h>

namespace vorlex {

void commandParamCreate(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);
void commandParamClear(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);
void commandParamReset(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);
void commandParamCount(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);
void commandParamPut(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);

}  // namespace vorlex
