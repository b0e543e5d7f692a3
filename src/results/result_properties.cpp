// SPDX-License-Identifier: BSD-3-Clause
// result_properties.cpp - the property queries of a result: one libpq
// accessor each, returned as text, a number or a logical.
//
// Each handler names its accessor; the handle is checked first.
#include <libpq-fe.h>

#include "handles/registry.hpp"
#include "host/command.hpp"
#include "host/host.hpp"

namespace vorlex {

namespace {

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

}  // namespace vorlex
