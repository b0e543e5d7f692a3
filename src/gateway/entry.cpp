// entry.cpp - mexFunction, the module's only entry point and its one error
// boundary.
//
// Handlers raise GatewayError.  It is caught here and handed to the host only
// after the try block has been left, so that every owner of a libpq object
// on the way has already released it; the host's own errors (from mx calls
// or calls into the interpreter) pass through untouched.
#include <libpq-fe.h>
#include <mex.h>

#include <cstdio>
#include <new>
#include <string>

#include "gateway/dispatch.hpp"
#include "gateway/errors.hpp"
#include "gateway/host.hpp"
#include "gateway/version.hpp"

namespace vorlex {
namespace {

bool firstCall = true;
char versionText[20];

// Module-wide so that nothing needs freeing when the host's error call does
// not return to us.
std::string raisedId;
std::string raisedMessage;

void initialiseOnce() {
    if (!firstCall) return;
    // Handles refer to objects in this module: it must stay loaded.
    mexLock();
    std::snprintf(versionText, sizeof versionText, "%d.%d.%d", kVersionMajor, kVersionMinor,
                  kVersionPatch);
    firstCall = false;
}

void printBanner() {
    int libpq = PQlibVersion();
    note("vorlex %s: typed binary PostgreSQL access (libpq %d.%d)\n", versionText, libpq / 10000,
         libpq % 10000);
    note("usage: vorlex('command', arguments...); the commands are:\n");
    for (int row = 0; row < kCommandCount; row++)
        note("  %s%s", commandTable[row].name,
             row % 6 == 5 || row + 1 == kCommandCount ? "\n" : "");
}

}  // namespace
}  // namespace vorlex

void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
    using namespace vorlex;
    initialiseOnce();
    if (nrhs < 1) {
        printBanner();
        return;
    }
    bool failed = false;
    try {
        dispatchCommand(nlhs, plhs, nrhs, prhs);
    } catch (const GatewayError& error) {
        raisedId = error.id;
        raisedMessage = error.message;
        failed = true;
    } catch (const std::bad_alloc&) {
        raisedId = "vorlex:dispatch:outOfMemory";
        raisedMessage = "out of memory";
        failed = true;
    }
    if (failed) mexErrMsgIdAndTxt(raisedId.c_str(), "%s", raisedMessage.c_str());
}
