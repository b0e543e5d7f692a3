// dispatch.hpp - the command table and the running of one command.
#pragma once

#include <mex.h>

namespace vorlex {

// Every handler gets the call's outputs unchanged and the inputs after the
// command name: prhs[0] is the user's argument 2.  Handlers report failure
// only by raising (GatewayError).
using CommandHandler = void (*)(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);

struct Command {
    const char* name;
    CommandHandler handler;
};

constexpr int kCommandCount = 37;
extern const Command commandTable[kCommandCount];

// The first row whose name equals `name` ignoring ASCII case, or null.
const Command* findCommand(const char* name);

// Runs the command named by prhs[0] with the remaining inputs: the pending
// libpqtypes error text is cleared before the handler and raised verbatim
// after it if the handler left one.  nrhs must be at least 1.
void dispatchCommand(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);

}  // namespace vorlex
