// host.hpp - the module's side of the MEX interface.
//
// Reporting (warnings, notes) and the argument checks every handler makes,
// with messages that name the argument's position in the user's call.  Only
// MEX and MX functions that both Octave and MATLAB document are used in the
// module, so the same sources build for either host; errors are raised
// through raiseError (errors.hpp).
#pragma once

#include <mex.h>

namespace vorlex {

// Handlers see their inputs from index 0, which is the user's argument 2
// (argument 1 is the command name).
constexpr int argPosition(int index) { return index + 2; }

// Warning under "vorlex:<command>:<check>"; the command goes on.
void warn(const char* check, const char* format, ...) __attribute__((format(printf, 2, 3)));
// A plain note on the host's output.
void note(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Count checks, raised under the checks "nargin" and "nargout".  `usage`
// shows the call, for example "c = vorlex('connect' [, conninfo])".
// A negative `most` means no upper bound.
void requireInputCount(int nrhs, int least, int most, const char* usage);
void requireOutputCount(int nlhs, int least, int most, const char* usage);

}  // namespace vorlex
