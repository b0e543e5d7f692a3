// SPDX-License-Identifier: BSD-3-Clause
// properties.cpp - the property queries: one libpq accessor each, on a
// connection or a result, returned as text, a number or a logical.
//
// Each handler names its accessor; the handle is checked first.
#include <libpq-fe.h>

#include "host/command.hpp"
#include "host/host.hpp"
#include "handles/registry.hpp"

namespace vorlex {

namespace {

PGconn* connectionOf(const mxArray* prhs[]) {
    return static_cast<PGconn*>(validateHandle(HandleKind::connection, prhs, 0, RowRule::oneRow));
}

PGresult* resultOf(const mxArray* prhs[]) {
    return static_cast<PGresult*>(validateHandle(HandleKind::result, prhs, 0, RowRule::oneRow));
}

mxArray* numberOutput(int value) { return mxCreateDoubleScalar(static_cast<double>(value)); }

}  // namespace

void commandResultErrorMessage(const Command&, int, mxArray* plhs[], int, const mxArray* prhs[]) {
    plhs[0] = createCharRow(PQresultErrorMessage(resultOf(prhs)));
}

void commandResultStatus(const Command&, int, mxArray* plhs[], int, const mxArray* prhs[]) {
    plhs[0] = numberOutput(PQresultStatus(resultOf(prhs)));
}

void commandBinaryTuples(const Command&, int, mxArray* plhs[], int, const mxArray* prhs[]) {
    plhs[0] = mxCreateLogicalScalar(PQbinaryTuples(resultOf(prhs)) != 0);
}

void commandCmdStatus(const Command&, int, mxArray* plhs[], int, const mxArray* prhs[]) {
    plhs[0] = createCharRow(PQcmdStatus(resultOf(prhs)));
}

void commandCmdTuples(const Command&, int, mxArray* plhs[], int, const mxArray* prhs[]) {
    plhs[0] = createCharRow(PQcmdTuples(resultOf(prhs)));
}

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
