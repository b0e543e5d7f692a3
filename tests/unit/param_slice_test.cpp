// SPDX-License-Identifier: BSD-3-Clause
// The put of one value in its slice form: a row's value read in place from
// a column that holds every row's values back to back, as the batch command
// puts them.  Checked on a real connection by the server's text of what
// arrived.  The PG* variables name the server.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "connection/connect.hpp"
#include "host/errors.hpp"
#include "params/param_building.hpp"
#include "types/type_catalogue.hpp"
#include "value_sources.hpp"

namespace vorlex {
namespace {

class ServerParamSlices : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(PQstatus(conn), CONNECTION_OK) << PQerrorMessage(conn);
        registerGatewayTypes(conn);
        param = PQparamCreate(conn);
        ASSERT_NE(param, nullptr);
    }
    void TearDown() override {
        PQparamClear(param);
        PQfinish(conn);
    }

    ParamRecord record(const char* format) {
        std::vector<ParamRecord> records =
            buildRecords(format, paramTypeHandlers(param), {"column"});
        return records.at(0);
    }

    // The server's text of parameter 1 after the put, "<NULL>" for NULL.
    std::string sentText() {
        PGresult* result = PQparamExec(conn, param, "select $1::text", 0);
        EXPECT_NE(result, nullptr) << PQgeterror();
        std::string text = !result                     ? "<no result>"
                           : PQgetisnull(result, 0, 0) ? "<NULL>"
                                                       : PQgetvalue(result, 0, 0);
        PQclear(result);
        PQparamReset(param);
        return text;
    }

    PGconn* conn = PQconnectdb("");
    PGparam* param = nullptr;
};

TEST_F(ServerParamSlices, ScalarsAreReadAtTheirRowFromTheColumnData) {
    const int32_t ints[] = {10, 20, 30};
    putValue(param, record("%int4"), rawRow(ints, 2, false), nullptr, false);
    EXPECT_EQ(sentText(), "30");
    const double doubles[] = {1.9, -2.9, 40000};
    putValue(param, record("%int4"), rawRow(doubles, 1, true), nullptr, false);
    EXPECT_EQ(sentText(), "-2");
    putValue(param, record("%int2"), rawRow(doubles, 2, true), nullptr, false);
    EXPECT_EQ(sentText(), "-25536");
    const mxLogical flags[] = {false, true};
    putValue(param, record("%bool"), rawRow(flags, 1, false), nullptr, false);
    EXPECT_EQ(sentText(), "true");
    putValue(param, record("%timestamp"), rawRow(doubles, 0, false), nullptr, true);
    EXPECT_EQ(sentText(), "<NULL>");
}

TEST_F(ServerParamSlices, TextAndByteaRowsAreCountCharactersAtTheOffset) {
    // Rows of a 3-by-4 char matrix, transposed so that each row's
    // characters lie together.
    const char rows[] = "abcdEFGHijkl";
    uint32_t dims[] = {4};
    mxArray* scratch = mxCreateCharMatrixFromStrings(1, std::vector<const char*>{"...."}.data());
    ColumnSlice text{rows, 0, 4, 1, dims, scratch};
    putValue(param, record("%text"), sliceAt(text, 4), nullptr, false);
    EXPECT_EQ(sentText(), "EFGH");
    ColumnSlice bytes{rows, 0, 4, 1, dims, nullptr};
    putValue(param, record("%bytea"), sliceAt(bytes, 8), nullptr, false);
    EXPECT_EQ(sentText(), "\\x696a6b6c");
    ColumnSlice empty{rows, 0, 0, 1, dims, nullptr};
    putValue(param, record("%bytea"), sliceAt(empty, 0), nullptr, false);
    EXPECT_EQ(sentText(), "\\x");
    mxDestroyArray(scratch);
}

TEST_F(ServerParamSlices, ArrayRowsComeFromTheSliceWithTheirMask) {
    // Two rows of 2-by-3 int4 arrays, each row's six elements together in
    // column-major order.
    const int32_t values[] = {0, 0, 0, 0, 0, 0, 1, 4, 2, 5, 3, 6};
    const char mask[] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0};
    uint32_t dims[] = {2, 3};
    ColumnSlice slice{values, 0, 6, 2, dims, nullptr};
    putValue(param, record("%int4[]"), sliceAt(slice, 6), nullptr, false);
    EXPECT_EQ(sentText(), "{{1,2,3},{4,5,6}}");
    putValue(param, record("%int4[]"), sliceAt(slice, 6), mask, false);
    EXPECT_EQ(sentText(), "{{1,2,3},{4,NULL,6}}");
    putValue(param, record("%int4[]@"), sliceAt(slice, 6), nullptr, false);
    EXPECT_EQ(sentText(), "{1,4,2,5,3,6}");
}

TEST_F(ServerParamSlices, SliceFormsThatCannotHoldTheValueAreRefused) {
    const char data[] = "x";
    uint32_t dims[] = {1, 0};
    ColumnSlice slice{data, 0, 1, 1, dims, nullptr};
    EXPECT_THROW(putValue(param, record("%text[]"), sliceAt(slice, 0), nullptr, false),
                 GatewayError);
    EXPECT_THROW(putValue(param, record("%serbytea"), sliceAt(slice, 0), nullptr, false),
                 GatewayError);
    ColumnSlice zeroExtent{data, 0, 0, 2, dims, nullptr};
    EXPECT_THROW(putValue(param, record("%int4[]"), sliceAt(zeroExtent, 0), nullptr, false),
                 GatewayError);
    EXPECT_EQ(PQparamCount(param), 0);
}

// Parameters are checked against the class that results of the same type
// come back as: a row's class, its codec and its OID's class must agree.
TEST(TypeClasses, EveryElementTypeHasTheClassItsValuesComeBackAs) {
    for (const PgType& type : typeCatalogue()) {
        const ElementCodec& codec = type.codec;
        mwSize dims[2] = {1, 1};
        mxArray* created = codec.create(2, dims);
        if (codec.width > 0) {
            EXPECT_EQ(classForTypeOid(codec.baseOid), mxGetClassID(created)) << codec.name;
        } else {
            EXPECT_TRUE(isVariableLengthOid(codec.baseOid)) << codec.name;
            EXPECT_TRUE(classForTypeOid(codec.baseOid) == mxCHAR_CLASS ||
                        classForTypeOid(codec.baseOid) == mxUINT8_CLASS)
                << codec.name;
        }
        EXPECT_EQ(classForTypeOid(type.oid), type.classId) << type.name;
        mxDestroyArray(created);
    }
}

}  // namespace
}  // namespace vorlex
