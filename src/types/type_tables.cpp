// SPDX-License-Identifier: BSD-3-Clause
// type_tables.cpp - the registration tables, built from the catalogue's
// rows the first time they are asked for.
#include "types/type_tables.hpp"

#include <cstring>
#include <utility>
#include <vector>

#include "types/type_procedures.hpp"

namespace vorlex {

namespace {

// "schema.name=base": a sub-class of `base` under the module's schema.
std::string subclassName(const std::string& name, const char* base) {
    return std::string(kTypeSchema) + "." + name + "=" + base;
}

// Registration names live as long as the module: libpqtypes reads them
// during every registration.
struct NamedTable {
    std::vector<std::string> names;
    std::vector<PGregisterType> entries;

    void add(std::string name, PGtypeProc put, PGtypeProc get) {
        names.push_back(std::move(name));
        entries.push_back({nullptr, put, get});
    }
    TypeTable table() {
        for (size_t row = 0; row < entries.size(); ++row) entries[row].typname = names[row].c_str();
        return {entries.data(), static_cast<int>(entries.size())};
    }
};

NamedTable scalarTable(Registration registration) {
    NamedTable table;
    for (const PgType& type : typeCatalogue()) {
        if (type.scalar.registration != registration) continue;
        std::string name = registration == Registration::serverType
                               ? std::string(type.baseName)
                               : subclassName(type.name, type.baseName);
        table.add(std::move(name), type.scalar.put, type.scalar.get);
    }
    return table;
}

NamedTable arrayTable() {
    NamedTable table;
    for (const PgType& type : typeCatalogue()) {
        ArrayProcedures procedures = arrayProceduresOf(type);
        table.add(subclassName(std::string(type.name) + kArraySuffix, type.baseName),
                  procedures.put, procedures.get);
    }
    return table;
}

NamedTable nullCarrierTable() {
    NamedTable table;
    for (const PgType& type : typeCatalogue())
        if (type.nullCarrier)
            table.add(subclassName(std::string(type.name) + kNullCarrierSuffix, type.name),
                      putNullOnly, getRefused);
    return table;
}

}  // namespace

TypeTable serverTypes() {
    static NamedTable table = scalarTable(Registration::serverType);
    return table.table();
}

TypeTable gatewayTypes() {
    static NamedTable table = scalarTable(Registration::gatewayType);
    return table.table();
}

TypeTable arrayTypes() {
    static NamedTable table = arrayTable();
    return table.table();
}

TypeTable nullCarrierTypes() {
    static NamedTable table = nullCarrierTable();
    return table.table();
}

bool isGatewayHandler(const PGtypeHandler* handler) {
    return std::strcmp(handler->typschema, kTypeSchema) == 0;
}

std::string pointerFormat(const PgType& type) {
    if (type.nullCarrier)
        return std::string("%") + kTypeSchema + "." + type.name + kNullCarrierSuffix + "*";
    return std::string("%") + type.name + "*";
}

}  // namespace vorlex
