// SPDX-License-Identifier: BSD-3-Clause
// host.hpp - the module's side of the MEX interface.
//
// Reporting (warnings, notes) and the argument checks every handler makes,
// with messages that name the argument's position in the user's call.  Only
// MEX and MX functions that both Octave and MATLAB document are used in the
// module, so the same sources build for either host; errors are raised
// through raiseError (errors.hpp).
#pragma once

#include <mex.h>

#include <cstddef>
#include <string>

namespace vorlex {

// Handlers see their inputs from index 0, which is the user's argument 2
// (argument 1 is the command name).
constexpr int argPosition(int index) { return index + 2; }

// Warning under "vorlex:<command>:<check>"; the command goes on.
void warn(const char* check, const char* pattern, ...) __attribute__((format(printf, 2, 3)));
// A plain note on the host's output.
void note(const char* pattern, ...) __attribute__((format(printf, 1, 2)));

// Count checks, raised under the checks "nargin" and "nargout".  `usage`
// shows the call, for example "c = vorlex('connect' [, conninfo])".
// A negative `most` means no upper bound.
void requireInputCount(int nrhs, int least, int most, const char* usage);
void requireOutputCount(int nlhs, int least, int most, const char* usage);

// Calls the Octave function `name` with one input and one output.  A
// failing function comes back as false with its message in `error` instead
// of unwinding through the caller, so it is safe inside library callbacks.
bool callHostFunction(const char* name, mxArray* input, mxArray*& output, std::string& error);

// --- Char arguments ----------------------------------------------------------

// The checks of a char argument: `name` names the argument in messages
// ("argument 3 (SQL) holds a NUL character"), the others are the
// identifiers its command raises them under.
struct CharArgChecks {
    const char* name;
    const char* notChar;     // not char; with `row`, not one row of chars
    const char* unreadable;  // the host could not convert the text
    // A NUL character: libpq and libpqtypes read a text up to its first
    // NUL and would drop the rest unseen.  Null for a caller to whom a NUL
    // means something (a name that matches nothing).
    const char* hasNul;
    bool row = false;
};

// The bytes of a char argument, in column-major order whatever its shape.
// `position` is its place in the user's call (argument 1 is the command).
std::string charArgBytes(const mxArray* arg, int position, const CharArgChecks& checks);

// The same for a handler's input `index`.
inline std::string charArg(const mxArray* const prhs[], int index, const CharArgChecks& checks) {
    return charArgBytes(prhs[index], argPosition(index), checks);
}

// An array's size and class as messages show them: "3x2 double".
std::string shapeText(const mxArray* array);

// --- Text ------------------------------------------------------------------
// Octave's char arrays hold UTF-8 bytes one per element; MATLAB's hold
// UTF-16 units.  These helpers are the only places that care.

// The bytes of a char array in column-major order.  False when the host
// cannot convert the text.
bool charArrayBytes(const mxArray* array, std::string& bytes);

// The bytes of a char array known to be one row or empty, copied out: on
// Octave mxGetChars on an element of a cell costs an allocation that lives
// until the call returns, mxGetString none.  False when the host cannot
// convert the text.
bool charRowBytes(const mxArray* row, std::string& bytes);

// A 1-by-n char row holding `length` bytes of text (0-by-0 when empty).
// Embedded NULs are kept where the host's chars are bytes.
mxArray* createCharRow(const char* bytes, size_t length);

// A char row of a NUL-terminated text; a null text gives an empty row.
mxArray* createCharRow(const char* text);

}  // namespace vorlex
