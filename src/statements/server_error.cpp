// SPDX-License-Identifier: BSD-3-Clause
// server_error.cpp - the server's error fields as one text.
#include "statements/server_error.hpp"

#include <cstring>

#include "host/errors.hpp"

namespace vorlex {

const char* conditionName(const char* code) {
    if (const char* name = sqlstateName(code)) return name;
    if (!code || std::strlen(code) != 5) return nullptr;
    std::string classCode = std::string(code, 2) + "000";
    return sqlstateName(classCode.c_str());
}

namespace {

void appendField(std::string& text, const PGresult* result, int field, const char* label) {
    const char* value = PQresultErrorField(result, field);
    if (value && *value) text += std::string("\n") + label + ": " + libpqText(value);
}

}  // namespace

std::string serverErrorText(PGconn* conn, const PGresult* result) {
    const char* code = PQresultErrorField(result, PG_DIAG_SQLSTATE);
    const char* primary = PQresultErrorField(result, PG_DIAG_MESSAGE_PRIMARY);
    if (!code || !primary) return libpqText(PQresultErrorMessage(result));
    keepServerError(conn, result);
    const char* severity = PQresultErrorField(result, PG_DIAG_SEVERITY_NONLOCALIZED);
    std::string text = std::string(severity ? severity : "ERROR") + " " + code;
    if (const char* name = conditionName(code)) text += std::string(" (") + name + ")";
    text += ": " + libpqText(primary);
    appendField(text, result, PG_DIAG_MESSAGE_DETAIL, "DETAIL");
    appendField(text, result, PG_DIAG_MESSAGE_HINT, "HINT");
    return text;
}

std::string failureText(PGconn* conn, const PGresult* result) {
    return result ? serverErrorText(conn, result) : libpqText(PQerrorMessage(conn));
}

}  // namespace vorlex
