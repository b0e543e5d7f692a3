// SPDX-License-Identifier: BSD-3-Clause
// properties.cpp - the property queries of a connection: one libpq
// accessor each, returned as text.
//
// Each handler names its accessor; the handle is checked first.
#include <libpq-fe.h>

#include "handles/registry.hpp"
#include "host/command.hpp"
#include "host/host.hpp"

namespace vorlex {

namespace {

PGconn* connectionOf(const mxArray* prhs[]) {
    return static_cast<PGconn*>(validateHandle(HandleKind::connection, prhs, 0, RowRule::oneRow));
}

}  // namespace

void commandErrorMessage(const Command&, int, mxArray* plhs[], int, const mxArray* prhs[]) {
    plhs[0] = createCharRow(PQerrorMessage(connectionOf(prhs)));
}

void commandDb(const Command&, int, mxArray* plhs[], int, const mxArray* prhs[]) {
    plhs[0] = createCharRow(PQdb(connectionOf(prhs)));
}

void commandHost(const Command&, int, mxArray* plhs[], int, const mxArray* prhs[]) {
    plhs[0] = createCharRow(PQhost(connectionOf(prhs)));
}

void commandOptions(const Command&, int, mxArray* plhs[], int, const mxArray* prhs[]) {
    plhs[0] = createCharRow(PQoptions(connectionOf(prhs)));
}

void commandPass(const Command&, int, mxArray* plhs[], int, const mxArray* prhs[]) {
    plhs[0] = createCharRow(PQpass(connectionOf(prhs)));
}

void commandPort(const Command&, int, mxArray* plhs[], int, const mxArray* prhs[]) {
    plhs[0] = createCharRow(PQport(connectionOf(prhs)));
}

void commandUser(const Command&, int, mxArray* plhs[], int, const mxArray* prhs[]) {
    plhs[0] = createCharRow(PQuser(connectionOf(prhs)));
}

}  // namespace vorlex
