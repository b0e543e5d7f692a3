// SPDX-License-Identifier: BSD-3-Clause
// copy_target.hpp - the table a COPY ... FROM STDIN fills, and the types
// of the columns it fills, as the server resolves the target.
//
// A target is a relation name and an optional column list, as COPY takes
// them: "t", "s.t", "\"T\" (a, \"B\")".  The text is only split into the
// name and the column names; the server resolves them (search_path,
// quoting, case folding) from parameters, reading nothing but the
// catalogs, so that INSERT on the table is all a copyIn needs.
#pragma once

#include <libpq-fe.h>

#include <string>
#include <vector>

#include "params/param_building.hpp"

namespace vorlex {

// The target as written: the relation's name and the column list's names,
// each trimmed, not yet resolved.
struct TargetText {
    std::string relation;
    bool hasColumnList = false;
    std::vector<std::string> columns;
};

// Splits at the first "(" outside double quotes; the list ends at its ")"
// outside quotes, with only white space after it.  A list that is not
// closed, is followed by more text, or has an empty name raises
// "copyFailed".
TargetText splitCopyTarget(const std::string& target);

struct TargetColumn {
    std::string name;      // the column's name as SQL writes it; the list's text if no column
    std::string ownName;   // its name unquoted, as the catalog holds it; empty if no column
    std::string typeName;  // the server's name of its type ("character varying(3)")
    Oid baseType;          // the type under any domains; 0 if there is no such column
    Oid ownType;           // the column's declared type (a domain's own); 0 likewise
    int number;            // attnum; 0 if there is no such column
};

// The columns a COPY of the target fills, in order: the listed ones, or
// without a list every column but dropped and generated ones.
struct CopyTarget {
    std::string relation;      // as the server names it
    std::string relationName;  // unquoted, unqualified, as its messages name it
    char kind;                 // pg_class.relkind
    bool insteadOfInsert;      // it has an INSTEAD OF INSERT row trigger
    std::vector<TargetColumn> columns;
};

// Asks the server for the target's columns.  A name the server cannot
// resolve raises `check` with the server's message.
CopyTarget lookUpCopyTarget(PGconn* conn, const TargetText& target,
                            const char* check = "copyFailed");

// Refuses (under `check`) a target that COPY cannot fill: no table, nor a
// view that redirects its inserts.
void requireFillable(const CopyTarget& target, const char* check);

// Refuses, before anything is sent, a target that is no table, a column
// list with unknown or repeated names ("copyFailed"), a format with more
// or fewer specifiers than the target has columns ("columnCount"), and a
// specifier whose binary form its column does not read as the same value
// ("typeMismatch").
void requireCopyTarget(PGconn* conn, const CopyTarget& target,
                       const std::vector<ParamRecord>& records);

}  // namespace vorlex
