// SPDX-License-Identifier: BSD-3-Clause
// errors.cpp - identifiers and messages of raised errors.
#include "host/errors.hpp"

#include <cstdarg>
#include <cstdio>
#include <new>

namespace vorlex {

namespace {
const char* currentCommand = "dispatch";

// Module-wide so that nothing needs freeing when the host's error call does
// not return to us.
std::string raisedId;
std::string raisedMessage;
}  // namespace

void runAtBoundary(EntryHandler run, const char* outOfMemoryId, int nlhs, mxArray* plhs[], int nrhs,
                   const mxArray* prhs[]) {
    bool failed = false;
    try {
        run(nlhs, plhs, nrhs, prhs);
    } catch (const GatewayError& error) {
        raisedId = error.id;
        raisedMessage = error.message;
        failed = true;
    } catch (const std::bad_alloc&) {
        raisedId = outOfMemoryId;
        raisedMessage = "out of memory";
        failed = true;
    }
    if (!failed) return;
    // Outputs made before the failure: the host frees those the MX
    // functions made, but not the ones the host backend made itself.
    for (int k = 0; k < (nlhs > 0 ? nlhs : 1); ++k) {
        if (plhs[k]) mxDestroyArray(plhs[k]);
        plhs[k] = nullptr;
    }
    mexErrMsgIdAndTxt(raisedId.c_str(), "%s", raisedMessage.c_str());
}

const char* activeCommand() { return currentCommand; }

CommandScope::CommandScope(const char* command) : previous_(currentCommand) {
    currentCommand = command;
}

CommandScope::~CommandScope() { currentCommand = previous_; }

std::string errorId(const char* check) {
    return std::string("vorlex:") + currentCommand + ":" + check;
}

std::string formatText(const char* pattern, va_list args) {
    va_list measure;
    va_copy(measure, args);
    int length = std::vsnprintf(nullptr, 0, pattern, measure);
    va_end(measure);
    if (length <= 0) return std::string();
    std::string text(static_cast<size_t>(length), '\0');
    std::vsnprintf(&text[0], text.size() + 1, pattern, args);
    return text;
}

void raiseError(const char* check, const char* pattern, ...) {
    va_list args;
    va_start(args, pattern);
    GatewayError error{errorId(check), formatText(pattern, args)};
    va_end(args);
    throw error;
}

std::string libpqText(const char* text) {
    std::string value(text ? text : "");
    while (!value.empty() && (value.back() == '\n' || value.back() == ' ')) value.pop_back();
    return value;
}

}  // namespace vorlex
