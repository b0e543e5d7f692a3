// SPDX-License-Identifier: BSD-3-Clause
// result_commands.hpp - the handlers of the commands that read results.
#pragma once

#include <mex.h>

namespace vorlex {

// Whole result columns as Octave arrays (result_get.cpp).
void commandResultGet(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);

// Looking into results (result_inspection.cpp).
void commandRowCount(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);
void commandFieldCount(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);
void commandFieldName(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);
void commandFieldNumber(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);
void commandFieldSize(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);
void commandFieldType(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);
void commandIsNull(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);
void commandValueLength(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);
void commandGetValue(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);

}  // namespace vorlex
