// SPDX-License-Identifier: BSD-3-Clause
// mex_backend.cpp - the host backend through documented MEX and MX
// functions only.
#include "backend/host_backend.hpp"

namespace vorlex {

// No MEX function reports a pending interrupt.
bool takeInterruptRequest() { return false; }

bool callFunctionHandle(const mxArray* handle, mxArray* input, std::string& message) {
    // feval only reads its inputs; the MEX interface takes them unqualified.
    mxArray* inputs[] = {const_cast<mxArray*>(handle), input};
    mxArray* failure = mexCallMATLABWithTrap(0, nullptr, 2, inputs, "feval");
    if (!failure) return true;
    // MATLAB gives an MException, Octave a struct with the same fields.
    mxArray* text = mxIsStruct(failure) ? mxGetField(failure, 0, "message")
                                        : mxGetProperty(failure, 0, "message");
    char* bytes = text && mxIsChar(text) ? mxArrayToString(text) : nullptr;
    message = bytes ? bytes : "";
    mxFree(bytes);
    return false;
}

// No MX function tells a literal's exact integer from a double.
const mxArray** exactInputs(int, const mxArray* prhs[]) { return prhs; }

void releaseInputs() {}

}  // namespace vorlex
