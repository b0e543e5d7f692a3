// SPDX-License-Identifier: BSD-3-Clause
// errors.hpp - how every failure of a command is raised.
//
// Handlers and the helpers below them throw GatewayError; the entry point
// catches it once every owner of a libpq object has been destroyed and hands
// it to the host.  Identifiers read "vorlex:<command>:<check>", where the
// command is the one being run (see CommandScope) and the check names the
// test that failed.
#pragma once

#include <mex.h>

#include <cstdarg>
#include <string>

namespace vorlex {

struct GatewayError {
    std::string id;
    std::string message;
};

// The command whose errors are being raised: the dispatcher itself
// ("dispatch") until it has found a row, then that row's command.
const char* activeCommand();

class CommandScope {
  public:
    explicit CommandScope(const char* command);
    ~CommandScope();
    CommandScope(const CommandScope&) = delete;
    CommandScope& operator=(const CommandScope&) = delete;

  private:
    const char* previous_;
};

// Builds "vorlex:<active command>:<check>".
std::string errorId(const char* check);

// Throws GatewayError with the message made by printf from `pattern`.
// Texts from libpq, libpqtypes or the caller are passed as arguments, never
// as the pattern.
[[noreturn]] void raiseError(const char* check, const char* pattern, ...)
    __attribute__((format(printf, 2, 3)));

// A text from libpq without the newline its messages end with.
std::string libpqText(const char* text);

// The one place a failure becomes a host error: runs `run` and raises a
// GatewayError it throws (or running out of memory, under `outOfMemoryId`)
// through the host once the try block, and every owner in it, is gone.
using EntryHandler = void (*)(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);
void runAtBoundary(EntryHandler run, const char* outOfMemoryId, int nlhs, mxArray* plhs[], int nrhs,
                   const mxArray* prhs[]);

// The printf-style formatting used for errors, warnings and notes.
std::string formatText(const char* pattern, va_list args);

}  // namespace vorlex
