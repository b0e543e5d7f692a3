// SPDX-License-Identifier: BSD-3-Clause
// last_error.cpp - the last server error of a connection: kept where a
// failure is seen, given by lastError.
#include <libpq-fe.h>

#include <cmath>
#include <cstdlib>
#include <utility>

#include "handles/registry.hpp"
#include "host/command.hpp"
#include "host/host.hpp"
#include "statements/server_error.hpp"

namespace vorlex {

namespace {

// The fields lastError gives, in its order, with libpq's code of each; the
// condition name is named from the SQLSTATE, and the position is a number.
struct ErrorField {
    const char* name;
    int code;
};

constexpr int kNamedFromCode = 0;

const ErrorField kErrorFields[] = {
    {"sqlstate", PG_DIAG_SQLSTATE},
    {"conditionName", kNamedFromCode},
    {"severity", PG_DIAG_SEVERITY_NONLOCALIZED},
    {"message", PG_DIAG_MESSAGE_PRIMARY},
    {"detail", PG_DIAG_MESSAGE_DETAIL},
    {"hint", PG_DIAG_MESSAGE_HINT},
    {"position", PG_DIAG_STATEMENT_POSITION},
    {"schema", PG_DIAG_SCHEMA_NAME},
    {"table", PG_DIAG_TABLE_NAME},
    {"column", PG_DIAG_COLUMN_NAME},
    {"datatype", PG_DIAG_DATATYPE_NAME},
    {"constraint", PG_DIAG_CONSTRAINT_NAME},
    {"context", PG_DIAG_CONTEXT},
};
constexpr int kFieldCount = sizeof kErrorFields / sizeof kErrorFields[0];

// The statement's 1-based character position, NaN when the error has none.
mxArray* positionArray(const std::string& text) {
    return mxCreateDoubleScalar(text.empty() ? std::nan("") : std::strtod(text.c_str(), nullptr));
}

}  // namespace

void keepServerError(const PGconn* conn, const PGresult* result) {
    const char* code = PQresultErrorField(result, PG_DIAG_SQLSTATE);
    if (!code) return;
    ServerErrorFields fields;
    fields.reserve(kFieldCount);
    for (const ErrorField& field : kErrorFields) {
        const char* value = field.code == kNamedFromCode ? conditionName(code)
                                                         : PQresultErrorField(result, field.code);
        fields.emplace_back(value ? value : "");
    }
    keepLastError(conn, std::move(fields));
}

void commandLastError(const Command&, int, mxArray* plhs[], int, const mxArray* prhs[]) {
    const ServerErrorFields& fields = lastErrorOf(anyConnectionArg(prhs, 0, RowRule::oneRow));
    const char* names[kFieldCount];
    for (int k = 0; k < kFieldCount; ++k) names[k] = kErrorFields[k].name;
    if (fields.empty()) {
        plhs[0] = mxCreateStructMatrix(0, 0, kFieldCount, names);
        return;
    }
    HostArrayOwner error(mxCreateStructMatrix(1, 1, kFieldCount, names));
    for (int k = 0; k < kFieldCount; ++k)
        mxSetFieldByNumber(error.get(), 0, k,
                           kErrorFields[k].code == PG_DIAG_STATEMENT_POSITION
                               ? positionArray(fields[k])
                               : createCharRow(fields[k].data(), fields[k].size()));
    plhs[0] = error.release();
}

}  // namespace vorlex
