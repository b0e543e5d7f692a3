// SPDX-License-Identifier: BSD-3-Clause
// command.hpp - one row of the command table: the counts the dispatcher
// checks, the handler it runs, and the help vorlex('help') shows.
//
// The table itself is the gateway's (gateway/dispatch.cpp); the row is
// defined here, below every feature, because each handler is given its own.
#pragma once

#include <mex.h>

namespace vorlex {

struct Command;

// Every handler gets its row (its name and usage, for messages), the
// call's outputs unchanged and the inputs after the command name: prhs[0]
// is the user's argument 2.  Handlers report failure only by raising
// (GatewayError).
using CommandFunction = void(const Command& command, int nlhs, mxArray* plhs[], int nrhs,
                             const mxArray* prhs[]);
using CommandHandler = CommandFunction*;

// How many arguments or outputs a command takes, both bounds inclusive; a
// negative `most` means no upper bound.
struct CountBounds {
    int least;
    int most;
};

// The headings of the overview, in its order.
enum class CommandGroup {
    connections,
    statements,
    parameterSets,
    results,
    copy,
    notifications,
    help
};

// Where the overview lists a command: under its heading, by rank (rows of
// equal rank in the table's order).
struct OverviewPlace {
    CommandGroup group;
    int rank;
};

// The dispatcher checks the counts against the row before the handler runs
// and shows `usage` when they do not fit; the handler checks what the
// counts alone cannot tell (an option's name without its value, one output
// per specifier).
struct Command {
    const char* name;
    OverviewPlace listed;
    CommandHandler handler;
    CountBounds inputs;  // after the command name
    CountBounds outputs;
    const char* usage;    // the call, for example "conn = vorlex('connect' [, conninfo])"
    const char* summary;  // one line: what the command does or gives
    // Its optional arguments and name-value options, a line each ("name,
    // values: what it does"); null when it has none.
    const char* options;
    // Lines of Octave that run as they stand, given a connection `conn` to
    // a database with a table t (a int4, b text).
    const char* example;
};

}  // namespace vorlex
