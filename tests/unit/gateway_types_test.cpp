// SPDX-License-Identifier: BSD-3-Clause
// The gateway's types on a real connection: registration, the array OID
// exchange, the prepared specifiers, and values sent and read through
// libpqtypes with the codecs.  The PG* variables name the server.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <string>

#include "connection/connect.hpp"
#include "types/pqtypes_layout.hpp"
#include "types/type_tables.hpp"

namespace vorlex {
namespace {

using ResultPtr = std::unique_ptr<PGresult, decltype(&PQclear)>;
using ParamPtr = std::unique_ptr<PGparam, decltype(&PQparamClear)>;

class ServerGatewayTypes : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(PQstatus(conn), CONNECTION_OK) << PQerrorMessage(conn);
        registerGatewayTypes(conn);
        param.reset(PQparamCreate(conn));
        ASSERT_NE(param, nullptr);
    }
    void TearDown() override {
        param.reset();
        PQfinish(conn);
    }

    // Runs `sql` with the values put so far and returns row 0 as text.
    std::string firstValueAsText(const char* sql, int column = 0) {
        ResultPtr result(PQparamExec(conn, param.get(), sql, 0), PQclear);
        EXPECT_NE(result, nullptr) << PQgeterror();
        if (!result) return "<no result>";
        if (PQgetisnull(result.get(), 0, column)) return "<NULL>";
        return PQgetvalue(result.get(), 0, column);
    }

    ResultPtr binary(const char* sql) {
        ResultPtr result(PQparamExec(conn, nullptr, sql, 1), PQclear);
        EXPECT_NE(result, nullptr) << PQgeterror();
        return result;
    }

    PGconn* conn = PQconnectdb("");
    ParamPtr param{nullptr, PQparamClear};
};

// The output struct an array get fills: one cell per row in `value` and
// `valueIsNull`.
struct ArrayOutput {
    mxArray* target;
    ArrayOutput() {
        const char* fields[] = {"value", "valueIsNull"};
        target = mxCreateStructMatrix(1, 1, 2, fields);
        mxSetField(target, 0, "value", mxCreateCellMatrix(1, 1));
        mxSetField(target, 0, "valueIsNull", mxCreateCellMatrix(1, 1));
    }
    ~ArrayOutput() { mxDestroyArray(target); }
    const mxArray* value() const { return mxGetCell(mxGetField(target, 0, "value"), 0); }
    const mxArray* nulls() const { return mxGetCell(mxGetField(target, 0, "valueIsNull"), 0); }
};

mxArray* textCell(std::initializer_list<const char*> texts) {
    mxArray* cell = mxCreateCellMatrix(1, texts.size());
    size_t i = 0;
    for (const char* text : texts) mxSetCell(cell, i++, mxCreateString(text));
    return cell;
}

TEST_F(ServerGatewayTypes, EveryTypeNameHasItsFourPreparedSpecifiers) {
    PqtTypeData* data = connectionTypeData(conn);
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(data->typspeccnt, 4 * static_cast<int>(typeCatalogue().count));
    for (const PgType& type : typeCatalogue()) {
        std::string base(type.name);
        for (const std::string& name : {base, base + kArraySuffix, base + "*", base + "[]*"}) {
            bool found = false;
            for (int i = 0; i < data->typspeccnt && !found; ++i)
                found = name == data->typspecs[i].name;
            EXPECT_TRUE(found) << name;
        }
    }
}

// The server's OIDs, as the registration found them, are the catalogue's.
TEST_F(ServerGatewayTypes, ArrayHandlersCarryTheArrayTypeOid) {
    PqtTypeData* data = connectionTypeData(conn);
    for (const PgType& type : typeCatalogue()) {
        std::string name = std::string(type.name) + kArraySuffix;
        PGtypeHandler* handler =
            pqt_gethandler(data->typhandlers, data->typhcnt, kTypeSchema, name.c_str());
        ASSERT_NE(handler, nullptr) << name;
        EXPECT_EQ(handler->typoid, type.arrayOid) << name;
        EXPECT_EQ(handler->typoid_array, type.oid) << name;
    }
    PGtypeHandler* handler = pqt_gethandler(data->typhandlers, data->typhcnt, nullptr, "numeric");
    ASSERT_NE(handler, nullptr);
    EXPECT_STREQ(handler->typschema, kTypeSchema);  // the gateway's, not libpqtypes'
}

TEST_F(ServerGatewayTypes, ArrayColumnsReachTheArrayDecoder) {
    ResultPtr result = binary(
        "select '{{1,2,3},{4,NULL,6}}'::int4[], '{a,\"b c\"}'::text[], "
        "'[0:1]={0.5,NaN}'::numeric[]");
    ASSERT_NE(result, nullptr);
    EXPECT_EQ(PQftype(result.get(), 0), 1007u);

    // A prepared specifier is a whole format: one column per call.
    ArrayOutput ints, texts, numerics;
    ASSERT_TRUE(PQgetf(result.get(), 0, "@int4_array", 0, ints.target, 0)) << PQgeterror();
    ASSERT_TRUE(PQgetf(result.get(), 0, "@text_array", 1, texts.target, 0)) << PQgeterror();
    ASSERT_TRUE(PQgetf(result.get(), 0, "@numeric_array", 2, numerics.target, 0)) << PQgeterror();
    ASSERT_EQ(mxGetClassID(ints.value()), mxINT32_CLASS);
    ASSERT_EQ(mxGetM(ints.value()), 2u);
    ASSERT_EQ(mxGetN(ints.value()), 3u);
    auto* data = static_cast<const int32_t*>(mxGetData(ints.value()));
    EXPECT_EQ(data[1], 4);
    EXPECT_EQ(data[2], 2);
    EXPECT_TRUE(mxGetLogicals(ints.nulls())[3]);

    char text[8];
    mxGetString(mxGetCell(texts.value(), 1), text, sizeof text);
    EXPECT_STREQ(text, "b c");
    mxGetString(mxGetCell(numerics.value(), 0), text, sizeof text);
    EXPECT_STREQ(text, "0.5");
    mxGetString(mxGetCell(numerics.value(), 1), text, sizeof text);
    EXPECT_STREQ(text, "NaN");
}

TEST_F(ServerGatewayTypes, ArraysAreSentThroughTheArrayEncoder) {
    mxArray* matrix = mxCreateDoubleMatrix(2, 3, mxREAL);
    const double values[] = {1, 4, 2, 5, 3, 6};
    std::memcpy(mxGetPr(matrix), values, sizeof values);
    const char mask[] = {0, 1, 0, 0, 0, 0};
    mxArray* texts = textCell({"a", "b c", ""});
    mxArray* numbers = textCell({"0.5", "-1e-3", "NaN"});
    mxArray* stamps = mxCreateDoubleScalar(730486.5);
    ASSERT_TRUE(PQputf(param.get(), "@int4_array", matrix, mask, 0, -1LL)) << PQgeterror();
    ASSERT_TRUE(PQputf(param.get(), "@int4_array", matrix, nullptr, 1, -1LL)) << PQgeterror();
    ASSERT_TRUE(PQputf(param.get(), "@text_array", texts, nullptr, 0, -1LL)) << PQgeterror();
    ASSERT_TRUE(PQputf(param.get(), "@numeric_array", numbers, nullptr, 0, -1LL)) << PQgeterror();
    ASSERT_TRUE(PQputf(param.get(), "@timestamp_array", stamps, nullptr, 0, -1LL)) << PQgeterror();
    EXPECT_EQ(firstValueAsText("select $1::text, $2::text, $3::text, $4::text, $5::text"),
              "{{1,2,3},{NULL,5,6}}");
    EXPECT_EQ(firstValueAsText("select $1::text, $2::text, $3::text, $4::text, $5::text", 1),
              "{1,4,2,5,3,6}");
    EXPECT_EQ(firstValueAsText("select $1::text, $2::text, $3::text, $4::text, $5::text", 2),
              "{{a,\"b c\",\"\"}}");
    EXPECT_EQ(firstValueAsText("select $1::text, $2::text, $3::text, $4::text, $5::text", 3),
              "{{0.5,-0.001,NaN}}");
    EXPECT_EQ(firstValueAsText("select $1::text, $2::text, $3::text, $4::text, $5::text", 4),
              "{{\"2000-01-01 12:00:00\"}}");
    for (mxArray* array : {matrix, texts, numbers, stamps}) mxDestroyArray(array);
}

TEST_F(ServerGatewayTypes, ScalarDateTimeAndNumericValuesRoundTrip) {
    ASSERT_TRUE(PQputf(param.get(), "@timestamp", 730486.5)) << PQgeterror();
    ASSERT_TRUE(PQputf(param.get(), "@date", 730486 + 1.25)) << PQgeterror();
    ASSERT_TRUE(PQputf(param.get(), "@time", 730486 + 1.25)) << PQgeterror();
    ASSERT_TRUE(PQputf(param.get(), "@timetz", 0.5)) << PQgeterror();
    ASSERT_TRUE(PQputf(param.get(), "@numeric", "0.5")) << PQgeterror();
    ASSERT_TRUE(PQputf(param.get(), "@json", "{\"a\": 1}")) << PQgeterror();
    const char* sql = "select $1::text, $2::text, $3::text, $4::text, $5::text, $6::text";
    EXPECT_EQ(firstValueAsText(sql, 0), "2000-01-01 12:00:00");
    EXPECT_EQ(firstValueAsText(sql, 1), "2000-01-02");
    EXPECT_EQ(firstValueAsText(sql, 2), "06:00:00");
    EXPECT_EQ(firstValueAsText(sql, 3), "12:00:00+00");
    EXPECT_EQ(firstValueAsText(sql, 4), "0.5");
    EXPECT_EQ(firstValueAsText(sql, 5), "{\"a\": 1}");

    ResultPtr result = binary(
        "select '2000-01-01 12:00'::timestamp, '2000-01-02'::date, "
        "'06:00'::time, '06:00+02'::timetz, 12.500::numeric(6,3), "
        "'infinity'::timestamp");
    ASSERT_NE(result, nullptr);
    double stamp = 0, date = 0, time = 0, timetz = 0, infinite = 0;
    char* numeric = nullptr;
    ASSERT_TRUE(PQgetf(result.get(), 0, "@timestamp", 0, &stamp)) << PQgeterror();
    ASSERT_TRUE(PQgetf(result.get(), 0, "@date", 1, &date)) << PQgeterror();
    ASSERT_TRUE(PQgetf(result.get(), 0, "@time", 2, &time)) << PQgeterror();
    ASSERT_TRUE(PQgetf(result.get(), 0, "@timetz", 3, &timetz)) << PQgeterror();
    ASSERT_TRUE(PQgetf(result.get(), 0, "@numeric", 4, &numeric)) << PQgeterror();
    ASSERT_TRUE(PQgetf(result.get(), 0, "@timestamp", 5, &infinite)) << PQgeterror();
    EXPECT_EQ(stamp, 730486.5);
    EXPECT_EQ(date, 730487.0);
    EXPECT_EQ(time, 0.25);
    EXPECT_EQ(timetz, 0.25);
    EXPECT_STREQ(numeric, "12.500");
    EXPECT_TRUE(std::isinf(infinite) && infinite > 0);
}

TEST_F(ServerGatewayTypes, EveryTypeCanBeSentAsNullOfItsOwnType) {
    std::string sql = "select ";
    int position = 1;
    for (const PgType& type : typeCatalogue()) {
        for (const char* form : {"*", "[]*"}) {
            std::string format = std::string("@") + type.name + form;
            ASSERT_TRUE(PQputf(param.get(), format.c_str(), nullptr))
                << format << ": " << PQgeterror();
            if (position > 1) sql += " || ";
            sql += "(($" + std::to_string(position) + ") is null)::text || pg_typeof($" +
                   std::to_string(position) + ")::text";
            ++position;
        }
    }
    std::string all = firstValueAsText(sql.c_str());
    EXPECT_EQ(all.find("false"), std::string::npos) << all;
    EXPECT_NE(all.find("trueinteger[]"), std::string::npos) << all;
    EXPECT_NE(all.find("truetimestamp without time zone"), std::string::npos) << all;
}

TEST_F(ServerGatewayTypes, ResetKeepsTheRegisteredTypes) {
    PQreset(conn);
    ASSERT_EQ(PQstatus(conn), CONNECTION_OK) << PQerrorMessage(conn);
    ResultPtr result = binary("select '{7}'::int4[]");
    ArrayOutput ints;
    ASSERT_TRUE(PQgetf(result.get(), 0, "@int4_array", 0, ints.target, 0)) << PQgeterror();
    EXPECT_EQ(*static_cast<const int32_t*>(mxGetData(ints.value())), 7);
}

TEST_F(ServerGatewayTypes, BadValuesAreRefusedWithLibpqtypesErrorText) {
    EXPECT_FALSE(PQputf(param.get(), "@numeric", "12abc"));
    EXPECT_NE(std::string(PQgeterror()).find("12abc"), std::string::npos) << PQgeterror();
    mxArray* notText = mxCreateCellMatrix(1, 1);
    mxSetCell(notText, 0, mxCreateDoubleScalar(1));
    EXPECT_FALSE(PQputf(param.get(), "@text_array", notText, nullptr, 0, -1LL));
    EXPECT_NE(std::string(PQgeterror()).find("char"), std::string::npos) << PQgeterror();
    double value = 1;
    EXPECT_FALSE(PQputf(param.get(), "@timestamp*", &value));
    EXPECT_EQ(PQparamCount(param.get()), 0);
    mxDestroyArray(notText);

    ResultPtr result = binary("select '{1,2}'::int8[]");
    ArrayOutput wrong;
    // A column of another element type is refused by the decoder.
    EXPECT_FALSE(PQgetf(result.get(), 0, "@int4_array", 0, wrong.target, 0));
}

// Sub-classes of a registered type (json's array type) must not make
// libpqtypes move the handler array under its own feet.
TEST(ServerTypeRegistration, RoomIsMadeSoThatRegisteringNeverMovesTheHandlers) {
    PGconn* conn = PQconnectdb("");
    ASSERT_EQ(PQstatus(conn), CONNECTION_OK) << PQerrorMessage(conn);
    ASSERT_TRUE(PQinitTypes(conn));
    PGregisterType json{"json", pqt_put_text, pqt_get_text};
    ASSERT_TRUE(PQregisterTypes(conn, PQT_USERDEFINED, &json, 1, 0)) << PQgeterror();
    constexpr int kCount = 20;
    reserveTypeHandlers(conn, kCount);
    const PGtypeHandler* before = connectionTypeData(conn)->typhandlers;
    std::string names[kCount];
    for (int i = 0; i < kCount; ++i) {
        names[i] = "probe.json" + std::to_string(i) + "=json";
        PGregisterType subclass{names[i].c_str(), pqt_put_text, pqt_get_text};
        ASSERT_TRUE(PQregisterTypes(conn, PQT_SUBCLASS, &subclass, 1, 0)) << PQgeterror();
    }
    PqtTypeData* data = connectionTypeData(conn);
    EXPECT_EQ(data->typhandlers, before);
    EXPECT_EQ(data->typhandlers[data->typhcnt - 1].typoid, 114u);
    PQfinish(conn);
}

}  // namespace
}  // namespace vorlex
