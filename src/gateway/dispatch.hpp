// SPDX-License-Identifier: BSD-3-Clause
// dispatch.hpp - the command table and the running of one command.
#pragma once

#include <mex.h>

namespace vorlex {

// Every handler gets the call's outputs unchanged and the inputs after the
// command name: prhs[0] is the user's argument 2.  Handlers report failure
// only by raising (GatewayError).
using CommandHandler = void (*)(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);

// How many arguments or outputs a command takes, both bounds inclusive; a
// negative `most` means no upper bound.
struct CountBounds {
    int least;
    int most;
};

// One row of the command table.  The dispatcher checks the counts against
// the row before the handler runs and shows `usage` when they do not fit;
// the handler checks what the counts alone cannot tell (an option's name
// without its value, one output per specifier).
struct Command {
    const char* name;
    CommandHandler handler;
    CountBounds inputs;  // after the command name
    CountBounds outputs;
    const char* usage;  // the call, for example "conn = vorlex('connect' [, conninfo])"
};

constexpr int kCommandCount = 47;
extern const Command commandTable[kCommandCount];

// The first row whose name equals `name` ignoring ASCII case, or null.
const Command* findCommand(const char* name);

// Runs the command named by prhs[0] with the remaining inputs: their
// counts are checked against the row, the pending libpqtypes error text is
// cleared before the handler and raised verbatim after it if the handler
// left one.  nrhs must be at least 1.
void dispatchCommand(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);

}  // namespace vorlex
