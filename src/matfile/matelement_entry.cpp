// SPDX-License-Identifier: BSD-3-Clause
// matelement_entry.cpp - mexFunction of vorlex_matelement, the module behind
// the function files vorlex_serialize and vorlex_deserialize:
//
//   bytes = vorlex_matelement('serialize', value)
//   value = vorlex_matelement('deserialize', bytes)
//
// Its errors carry the identifier of the function file the command serves
// ("vorlex:vorlex_deserialize:truncated"); a wrong call of the module itself
// is reported under "vorlex:vorlex_matelement:<check>".  Errors reach the
// host through the same boundary as the main module's (runAtBoundary).
#include <mex.h>

#include <cstring>

#include "host/errors.hpp"
#include "matfile/mat_element.hpp"

namespace vorlex {
namespace {

mxArray* serialize(const mxArray* value) { return encodeMatElement(value); }

mxArray* deserialize(const mxArray* bytes) {
    bool isByteRow = mxIsUint8(bytes) && !mxIsComplex(bytes) &&
                     mxGetNumberOfDimensions(bytes) == 2 &&
                     (mxGetM(bytes) == 1 || mxIsEmpty(bytes));
    if (!isByteRow)
        raiseError("notByteRow", "the serialised value must be a uint8 row vector, not %s",
                   mxGetClassName(bytes));
    return decodeMatElement(static_cast<const unsigned char*>(mxGetData(bytes)),
                            mxGetNumberOfElements(bytes));
}

struct MatCommand {
    const char* name;
    const char* errorScope;  // the function file whose identifiers it raises
    mxArray* (*run)(const mxArray* argument);
};

constexpr MatCommand matCommands[] = {
    {"serialize", "vorlex_serialize", serialize},
    {"deserialize", "vorlex_deserialize", deserialize},
};

constexpr char kUsage[] =
    "bytes = vorlex_matelement('serialize', value) or "
    "value = vorlex_matelement('deserialize', bytes)";

const MatCommand& findCommand(const mxArray* name) {
    char text[16] = "";
    if (mxIsChar(name) && mxGetNumberOfElements(name) < sizeof text)
        mxGetString(name, text, sizeof text);
    for (const MatCommand& command : matCommands)
        if (std::strcmp(text, command.name) == 0) return command;
    raiseError("unknownCommand", "the command is 'serialize' or 'deserialize'; usage: %s", kUsage);
}

void runCommand(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
    CommandScope scope("vorlex_matelement");
    if (nrhs != 2)
        raiseError("nargin", "two arguments are needed (%d given); usage: %s", nrhs, kUsage);
    if (nlhs > 1)
        raiseError("nargout", "one output at most (%d asked for); usage: %s", nlhs, kUsage);
    const MatCommand& command = findCommand(prhs[0]);
    CommandScope commandScope(command.errorScope);
    plhs[0] = command.run(prhs[1]);
}

}  // namespace
}  // namespace vorlex

void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
    using namespace vorlex;
    runAtBoundary(runCommand, "vorlex:vorlex_matelement:outOfMemory", nlhs, plhs, nrhs, prhs);
}
