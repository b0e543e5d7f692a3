// SPDX-License-Identifier: BSD-3-Clause
// connection_commands.hpp - the handlers of the commands on connections,
// and clear of results.
#pragma once

#include <mex.h>

namespace vorlex {

// connect.cpp
void commandConnect(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);

// connection_commands.cpp
void commandFinish(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);
void commandClear(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);
void commandReset(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);
void commandStatus(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);

// Every property query (properties.cpp): the running command's name
// selects the property.
void commandProperty(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);

}  // namespace vorlex
