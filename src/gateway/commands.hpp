// commands.hpp - the handlers of the command table, one per row.
#pragma once

#include <mex.h>

namespace vorlex {

// Connections and results (connection/connection_commands.cpp).
void commandFinish(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);
void commandClear(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);
void commandReset(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);
void commandStatus(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);

// Every property query (connection/properties.cpp): the running command's
// name selects the property.
void commandProperty(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);

// Connecting (connection/connect.cpp) and running SQL (statements/execute.cpp).
void commandConnect(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);
void commandExec(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);
void commandExecText(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);
void commandParamExec(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);

// Batches (batch/batch_command.cpp).
void commandBatchExec(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);

// Bulk COPY in binary format (copy/copy_in.cpp, copy/copy_out.cpp).
void commandCopyIn(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);
void commandCopyOut(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);

// Parameter sets (params/param_commands.cpp).
void commandParamCreate(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);
void commandParamClear(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);
void commandParamReset(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);
void commandParamCount(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);
void commandParamPut(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);

// Whole result columns as Octave arrays (results/result_get.cpp).
void commandResultGet(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);

// Looking into results (results/result_inspection.cpp).
void commandRowCount(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);
void commandFieldCount(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);
void commandFieldName(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);
void commandFieldNumber(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);
void commandFieldSize(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);
void commandIsNull(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);
void commandValueLength(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);
void commandGetValue(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);

// Stands in for a command whose handler is not part of this build yet.
void commandNotAvailable(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);

}  // namespace vorlex
