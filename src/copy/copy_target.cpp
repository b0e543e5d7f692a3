// SPDX-License-Identifier: BSD-3-Clause
// copy_target.cpp - the target's columns from the catalogs, checked
// against the format.
#include "copy/copy_target.hpp"

#include <cstdlib>
#include <cstring>

#include "connection/server_wait.hpp"
#include "copy/copy_types.hpp"
#include "host/errors.hpp"
#include "host/owners.hpp"
#include "statements/lost_connection.hpp"
#include "statements/server_error.hpp"
#include "types/text_values.hpp"

namespace vorlex {

namespace {

std::string trimmed(const std::string& text, size_t begin, size_t end) {
    const char* space = " \t\n\r\f\v";
    size_t first = text.find_first_not_of(space, begin);
    if (first == std::string::npos || first >= end) return std::string();
    size_t last = text.find_last_not_of(space, end - 1);
    return text.substr(first, last + 1 - first);
}

// The columns of the target, in order: the listed ones (row per name, its
// attnum NULL when the relation has no such column) or, without a list,
// those COPY fills.  Each with its type, its type's name and the type under its
// domains.  One row with NULL columns when there are none.  With the
// relation's kind, and whether it has an INSTEAD OF INSERT row trigger
// (tgtype bits row 1, insert 4, instead 64), which lets a view be filled.
constexpr char kTargetQuery[] = R"SQL(
WITH RECURSIVE
target AS (SELECT $1::regclass AS rel),
listed AS (
  SELECT l.k, coalesce(quote_ident(a.attname), l.ident) AS name, a.attname, a.attnum,
         a.atttypid, a.atttypmod
  FROM unnest($2::text[]) WITH ORDINALITY AS l(ident, k)
  CROSS JOIN target t
  LEFT JOIN pg_attribute a
    ON a.attrelid = t.rel AND a.attnum > 0 AND NOT a.attisdropped
   AND ARRAY[a.attname::text] = parse_ident(l.ident)),
taken AS (
  SELECT a.attnum AS k, quote_ident(a.attname) AS name, a.attname, a.attnum, a.atttypid,
         a.atttypmod
  FROM target t JOIN pg_attribute a ON a.attrelid = t.rel
  WHERE $2::text[] IS NULL AND a.attnum > 0 AND NOT a.attisdropped AND a.attgenerated = ''),
filled AS (SELECT * FROM listed UNION ALL SELECT * FROM taken),
under AS (
  SELECT c.k, c.atttypid AS typid FROM filled c WHERE c.atttypid IS NOT NULL
  UNION ALL
  SELECT u.k, ty.typbasetype FROM under u JOIN pg_type ty ON ty.oid = u.typid
  WHERE ty.typtype = 'd')
SELECT t.rel::text, r.relkind,
       EXISTS (SELECT FROM pg_trigger g WHERE g.tgrelid = t.rel AND g.tgtype & 69 = 69),
       c.name, c.attnum,
       format_type(c.atttypid, c.atttypmod),
       (SELECT u.typid FROM under u JOIN pg_type ty ON ty.oid = u.typid
        WHERE u.k = c.k AND ty.typtype <> 'd'),
       c.attname, c.atttypid, r.relname
FROM target t JOIN pg_class r ON r.oid = t.rel LEFT JOIN filled c ON true
ORDER BY c.k
)SQL";

enum TargetField {
    kRelation,
    kKind,
    kInsteadOfInsert,
    kName,
    kNumber,
    kTypeName,
    kBaseType,
    kOwnName,
    kOwnType,
    kRelationName
};

// A text[] literal of `names`, each element quoted.
std::string textArrayLiteral(const std::vector<std::string>& names) {
    std::string literal = "{";
    for (const std::string& name : names) {
        if (literal.size() > 1) literal += ',';
        appendQuotedElement(literal, name);
    }
    return literal + "}";
}

// The server's own words (without the statement position they would point
// into: serverErrorText leaves it out).
[[noreturn]] void raiseLookUpFailure(PGconn* conn, const PGresult* result,
                                     const std::string& relation, const char* check) {
    std::string reason = result ? serverErrorText(conn, result) : libpqText(PQerrorMessage(conn));
    if (reason.empty()) reason = "no such relation";
    raiseOnConnection(conn, check, "target " + relation + ": " + reason, result);
}

// "a sequence", ...: what a relation the COPY cannot fill is; null for
// tables and views that redirect their inserts (the COPY's own rule).
const char* unfillableKind(const CopyTarget& target) {
    if (target.insteadOfInsert) return nullptr;
    switch (target.kind) {
        case 'r':
        case 'p':
        case 'f':
            return nullptr;
        case 'v':
            return "a view without an INSTEAD OF INSERT trigger";
        case 'S':
            return "a sequence";
        case 'm':
            return "a materialized view";
        case 'c':
            return "a composite type";
        case 'i':
        case 'I':
            return "an index";
        default:
            return "not a table";
    }
}

// The server's name of a type, for a message; its OID if it has none.
std::string typeNameOf(PGconn* conn, Oid oid) {
    std::string text = std::to_string(oid);
    const char* values[] = {text.c_str()};
    ResultOwner result =
        execParams(conn, "SELECT format_type($1::oid, -1)", 1, values, "the type's name");
    if (PQresultStatus(result.get()) == PGRES_TUPLES_OK && PQntuples(result.get()) == 1)
        return PQgetvalue(result.get(), 0, 0);
    return "type OID " + text;
}

Oid sentType(const ParamRecord& record) {
    return record.isArray ? record.handler->typoid_array : record.handler->typoid;
}

}  // namespace

TargetText splitCopyTarget(const std::string& target) {
    TargetText text;
    bool quoted = false;
    size_t open = std::string::npos;
    for (size_t i = 0; i < target.size() && open == std::string::npos; ++i) {
        if (target[i] == '"') quoted = !quoted;
        if (target[i] == '(' && !quoted) open = i;
    }
    text.relation = trimmed(target, 0, open == std::string::npos ? target.size() : open);
    if (open == std::string::npos) return text;
    text.hasColumnList = true;
    size_t start = open + 1;
    for (size_t i = start; i < target.size(); ++i) {
        char c = target[i];
        if (c == '"') quoted = !quoted;
        if (quoted || (c != ',' && c != ')')) continue;
        std::string name = trimmed(target, start, i);
        if (name.empty())
            raiseError("copyFailed", "the target's column list has an empty name: %s",
                       target.c_str());
        text.columns.push_back(name);
        start = i + 1;
        if (c != ')') continue;
        if (!trimmed(target, start, target.size()).empty())
            raiseError("copyFailed", "the target has text after its column list: %s",
                       target.c_str());
        return text;
    }
    raiseError("copyFailed", "the target's column list is not closed: %s", target.c_str());
}

CopyTarget lookUpCopyTarget(PGconn* conn, const TargetText& target, const char* check) {
    std::string list = textArrayLiteral(target.columns);
    const char* values[] = {target.relation.c_str(), target.hasColumnList ? list.c_str() : nullptr};
    ResultOwner result = execParams(conn, kTargetQuery, 2, values, "the target's lookup");
    if (PQresultStatus(result.get()) != PGRES_TUPLES_OK || PQntuples(result.get()) < 1)
        raiseLookUpFailure(conn, result.get(), target.relation, check);
    const PGresult* rows = result.get();
    CopyTarget found;
    found.relation = PQgetvalue(rows, 0, kRelation);
    found.relationName = PQgetvalue(rows, 0, kRelationName);
    found.kind = *PQgetvalue(rows, 0, kKind);
    found.insteadOfInsert = *PQgetvalue(rows, 0, kInsteadOfInsert) == 't';
    for (int row = 0; row < PQntuples(rows); ++row) {
        if (PQgetisnull(rows, row, kName)) break;  // the row of a relation without columns
        TargetColumn column;
        column.name = PQgetvalue(rows, row, kName);
        column.ownName = PQgetvalue(rows, row, kOwnName);
        column.number = std::atoi(PQgetvalue(rows, row, kNumber));
        column.typeName = PQgetvalue(rows, row, kTypeName);
        column.baseType =
            static_cast<Oid>(std::strtoul(PQgetvalue(rows, row, kBaseType), nullptr, 10));
        column.ownType =
            static_cast<Oid>(std::strtoul(PQgetvalue(rows, row, kOwnType), nullptr, 10));
        found.columns.push_back(column);
    }
    return found;
}

void requireFillable(const CopyTarget& target, const char* check) {
    if (const char* kind = unfillableKind(target))
        raiseError(check, "cannot copy into %s: it is %s", target.relation.c_str(), kind);
}

void requireCopyTarget(PGconn* conn, const CopyTarget& target,
                       const std::vector<ParamRecord>& records) {
    requireFillable(target, "copyFailed");
    const std::vector<TargetColumn>& columns = target.columns;
    for (size_t k = 0; k < columns.size(); ++k) {
        if (columns[k].number == 0)
            raiseError("copyFailed", "the target's column list names %s, which %s does not have",
                       columns[k].name.c_str(), target.relation.c_str());
        for (size_t j = 0; j < k; ++j)
            if (columns[j].number == columns[k].number)
                raiseError("copyFailed", "the target's column list names %s twice",
                           columns[k].name.c_str());
    }
    if (columns.size() != records.size())
        raiseError("columnCount",
                   "the target %s takes %zu column(s); the format has %zu specifier(s)",
                   target.relation.c_str(), columns.size(), records.size());
    for (size_t k = 0; k < columns.size(); ++k) {
        Oid sent = sentType(records[k]);
        if (!columnTakesBinaryOf(columns[k].baseType, sent))
            raiseError("typeMismatch",
                       "specifier %zu (%s) sends %s, but column %s of %s is %s: a binary COPY "
                       "would not store the same values; use a specifier of the column's type, "
                       "or batchExec, which converts",
                       k + 1, specifierOf(records[k]).c_str(), typeNameOf(conn, sent).c_str(),
                       columns[k].name.c_str(), target.relation.c_str(),
                       columns[k].typeName.c_str());
    }
}

}  // namespace vorlex
