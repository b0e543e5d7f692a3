// SPDX-License-Identifier: BSD-3-Clause
// statement_commands.hpp - the handlers of the commands that run SQL
// (execute.cpp), lastError (last_error.cpp), and listen, unlisten and
// notifications (notifications.cpp).
#pragma once

#include <mex.h>

namespace vorlex {

void commandExec(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);
void commandExecText(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);
void commandParamExec(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);
void commandLastError(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);
void commandListen(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);
void commandUnlisten(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);
void commandNotifications(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);

}  // namespace vorlex
