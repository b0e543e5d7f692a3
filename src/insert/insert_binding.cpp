// SPDX-License-Identifier: BSD-3-Clause
// insert_binding.cpp - insert's fields bound to the table's columns by
// name, and the 'nulls' option's flags to the fields they name.
#include <strings.h>

#include <string>

#include "host/errors.hpp"
#include "host/host.hpp"
#include "insert/insert_load.hpp"

namespace vorlex {

namespace {

// A field's name as PostgreSQL folds an unquoted identifier.
std::string folded(std::string name) {
    for (char& c : name)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return name;
}

const TargetColumn* columnNamed(const CopyTarget& target, const std::string& name) {
    for (const TargetColumn& column : target.columns)
        if (column.ownName == name) return &column;
    return nullptr;
}

// A column whose name differs from the field's in case alone, if any.
const TargetColumn* columnNamedIgnoringCase(const CopyTarget& target, const std::string& name) {
    for (const TargetColumn& column : target.columns)
        if (strcasecmp(column.ownName.c_str(), name.c_str()) == 0) return &column;
    return nullptr;
}

[[noreturn]] void raiseUnknownField(const CopyTarget& target, const std::string& field,
                                    bool exactNames) {
    std::string rule = exactNames ? "with 'exactNames' a field binds the column of exactly its name"
                                  : "a field binds the column of its name in lower case, as SQL "
                                    "folds an unquoted name";
    const TargetColumn* near = columnNamedIgnoringCase(target, field);
    std::string hint;
    if (near && !exactNames && near->ownName == field)
        hint = "; 'exactNames', true binds it to column " + near->name;
    else if (near)
        hint = "; the table has column " + near->name;
    raiseError("unknownField",
               "field '%s' of data names no column of %s: %s (generated columns "
               "take no values)%s",
               field.c_str(), target.relation.c_str(), rule.c_str(), hint.c_str());
}

}  // namespace

void bindFields(InsertLoad& load, const mxArray* data, const CopyTarget& target,
                const InsertOptions& options) {
    for (size_t i = 0; i < load.columns.size(); ++i) {
        InsertColumn& bound = load.columns[i];
        std::string field = fieldName(data, static_cast<int>(i));
        bound.field = static_cast<int>(i);
        bound.nanIsNull = options.nanIsNull;
        bound.column = columnNamed(target, options.exactNames ? field : folded(field));
        if (!bound.column) raiseUnknownField(target, field, options.exactNames);
        for (size_t j = 0; j < i; ++j)
            if (load.columns[j].column == bound.column)
                raiseError("duplicateField", "fields '%s' and '%s' of data both name column %s",
                           fieldName(data, static_cast<int>(j)).c_str(), field.c_str(),
                           bound.column->name.c_str());
        bound.label = "field '" + field + "' (column " + bound.column->name + ", " +
                      bound.column->typeName + ")";
    }
}

// The 'nulls' option's fields name fields of data, each an M-by-1 logical.
void bindNulls(InsertLoad& load, const mxArray* data, const mxArray* nulls, size_t rows) {
    if (!nulls) return;
    for (int k = 0; k < mxGetNumberOfFields(nulls); ++k) {
        std::string name = fieldName(nulls, k);
        int field = mxGetFieldNumber(data, name.c_str());
        if (field < 0)
            raiseError("nullsField", "field '%s' of '%s' names no field of data", name.c_str(),
                       kNullsOption);
        const mxArray* flags = mxGetFieldByNumber(nulls, 0, k);
        if (!flags || !mxIsLogical(flags) || mxIsSparse(flags) || !isColumnOf(flags, rows))
            raiseError("nullsShape", "field '%s' of '%s' must be a %zu-by-1 logical column, not %s",
                       name.c_str(), kNullsOption, rows, flags ? shapeText(flags).c_str() : "none");
        load.columns[static_cast<size_t>(field)].nullRows = rows ? mxGetLogicals(flags) : nullptr;
    }
}

}  // namespace vorlex
