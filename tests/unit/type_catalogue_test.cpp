// SPDX-License-Identifier: BSD-3-Clause
// Lookups in the type catalogue: by name, OID, array OID and handler, with
// the serialised types sharing bytea's OIDs.
#include "types/type_catalogue.hpp"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

namespace vorlex {
namespace {

struct Lookup {
    Oid oid;
    Oid arrayOid;
    const char* found;  // the row both OIDs find, null for none
};

TEST(TypeCatalogue, OidsFindTheirFirstRow) {
    const Lookup cases[] = {
        {kInt4Oid, kInt4ArrayOid, "int4"},
        {kTimetzOid, kTimetzArrayOid, "timetz"},
        {kNumericOid, kNumericArrayOid, "numeric"},
        {kXmlOid, kXmlArrayOid, "xml"},
        // bytea comes before the serialised types that share its OIDs.
        {kByteaOid, kByteaArrayOid, "bytea"},
        {0, 0, nullptr},
        {1186, 1187, nullptr},  // interval: not (yet) a row
    };
    for (const Lookup& c : cases) {
        const PgType* byOid = typeOfOid(c.oid);
        const PgType* byArray = typeOfArrayOid(c.arrayOid);
        if (!c.found) {
            EXPECT_EQ(byOid, nullptr) << c.oid;
            EXPECT_EQ(byArray, nullptr) << c.arrayOid;
            continue;
        }
        ASSERT_NE(byOid, nullptr) << c.found;
        EXPECT_STREQ(byOid->name, c.found);
        EXPECT_EQ(byArray, byOid) << c.found;
    }
}

TEST(TypeCatalogue, NamesAreUniqueAndFindTheirRow) {
    std::set<std::string> names;
    for (const PgType& type : typeCatalogue()) {
        EXPECT_TRUE(names.insert(type.name).second) << type.name;
        EXPECT_EQ(typeNamed(type.name), &type) << type.name;
        EXPECT_STREQ(type.codec.name, type.name);
        EXPECT_EQ(type.codec.baseOid, type.oid) << type.name;
    }
    EXPECT_EQ(typeNamed("int4_array"), nullptr);
    EXPECT_EQ(typeNamed(""), nullptr);
}

PGtypeHandler handlerOf(const char* schema, const char* name, Oid oid) {
    PGtypeHandler handler{};
    std::strcpy(handler.typschema, schema);
    std::strcpy(handler.typname, name);
    handler.typoid = oid;
    return handler;
}

// A handler stands for the row of its name only with the row's OID: the
// array handlers (whose OID is the array type's) and NULL carriers named
// directly stand for none.
TEST(TypeCatalogue, HandlersStandForTheRowOfTheirNameAndOid) {
    struct Case {
        PGtypeHandler handler;
        const char* found;
    };
    const Case cases[] = {
        {handlerOf("pg_catalog", "int4", kInt4Oid), "int4"},
        {handlerOf("vorlex", "serbytea", kByteaOid), "serbytea"},
        {handlerOf("vorlex", "int4_array", kInt4ArrayOid), nullptr},
        {handlerOf("vorlex", "int4_null", kInt4Oid), nullptr},
        {handlerOf("pg_catalog", "int4", kInt8Oid), nullptr},
        {handlerOf("pg_catalog", "interval", 1186), nullptr},
    };
    for (const Case& c : cases) {
        const PgType* type = typeOfHandler(&c.handler);
        if (c.found) {
            ASSERT_NE(type, nullptr) << c.handler.typname;
            EXPECT_STREQ(type->name, c.found);
        } else {
            EXPECT_EQ(type, nullptr) << c.handler.typname;
        }
    }
}

}  // namespace
}  // namespace vorlex
