// SPDX-License-Identifier: BSD-3-Clause
// entry.cpp - mexFunction, the module's only entry point and its one error
// boundary.
//
// Handlers raise GatewayError.  runAtBoundary (errors.hpp) catches it and
// hands it to the host only after the try block has been left, so that every
// owner of a libpq object on the way has already released it; the host's own
// errors (from mx calls or calls into the interpreter) pass through
// untouched.
#include <libpq-fe.h>
#include <mex.h>

#include <cstdio>

#include "backend/host_backend.hpp"
#include "backend/host_cells.hpp"
#include "gateway/dispatch.hpp"
#include "gateway/version.hpp"
#include "handles/registry.hpp"
#include "host/errors.hpp"
#include "host/host.hpp"
#include "types/type_catalogue.hpp"

namespace vorlex {
namespace {

bool firstCall = true;
char versionText[20];

// Runs when the host unloads the module (munlock, then clear): nothing it
// holds may outlive it, least of all a session open on the server.
void releaseAtExit() {
    releaseOutputs();
    releaseInputs();
    releaseEverything();
}

void initialiseOnce() {
    if (!firstCall) return;
    // Handles refer to objects in this module: it must stay loaded.
    mexLock();
    mexAtExit(releaseAtExit);
    std::snprintf(versionText, sizeof versionText, "%d.%d.%d", kVersionMajor, kVersionMinor,
                  kVersionPatch);
    firstCall = false;
}

void printBanner() {
    int libpq = PQlibVersion();
    note("vorlex %s: typed binary PostgreSQL access (libpq %d.%d)\n", versionText, libpq / 10000,
         libpq % 10000);
    note("usage: vorlex('command', arguments...); the commands are:\n");
    CommandRows commands = commandTable();
    for (size_t row = 0; row < commands.count; row++)
        note("  %s%s", commands[row].name, row % 6 == 5 || row + 1 == commands.count ? "\n" : "");
    // One line, so that scripts (and the tests) can read the list.
    note("types:");
    for (const PgType& type : typeCatalogue()) note(" %s", type.name);
    note("\n");
    note("help vorlex: the overview; vorlex('help', 'command'): one command and an example\n");
    note("vorlex('help', 'topic'): types, nulls, dates, errors or performance\n");
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
    runAtBoundary(dispatchCommand, "vorlex:dispatch:outOfMemory", nlhs, plhs, nrhs, prhs);
    settleOutputs(nlhs > 0 ? nlhs : 1, plhs);  // reached only when the call succeeded
}
