// SPDX-License-Identifier: BSD-3-Clause
// Pins the libpqtypes internals the module relies on against the installed
// library and a real server (the PG* variables name it).
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "types/pqtypes_layout.hpp"

namespace vorlex {
namespace {

struct Connection {
    PGconn* conn = PQconnectdb("");
    ~Connection() { PQfinish(conn); }
};

class ServerPqtypesPrivate : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(PQstatus(db.conn), CONNECTION_OK) << PQerrorMessage(db.conn);
        ASSERT_TRUE(PQinitTypes(db.conn));
        PQseterror(nullptr);
    }
    Connection db;
};

int putNothing(PGtypeArgs* args) {
    args->put.out = nullptr;
    return 0;
}

TEST_F(ServerPqtypesPrivate, TypeDataHoldsRegisteredHandlersAndSpecs) {
    // The self-test at connect finds the library as this header describes it.
    EXPECT_EQ(checkTypesLayout(db.conn), TypesLayout::known);
    PqtTypeData* data = connectionTypeData(db.conn);
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(data->typhcnt, 0);
    EXPECT_EQ(data->fmtinfo.sversion, PQserverVersion(db.conn));

    PGregisterType types[] = {{"probe.int4_array=int4", putNothing, nullptr}};
    ASSERT_TRUE(PQregisterTypes(db.conn, PQT_SUBCLASS, types, 1, 0)) << PQgeterror();
    ASSERT_EQ(data->typhcnt, 1);
    PGtypeHandler* handler =
        pqt_gethandler(data->typhandlers, data->typhcnt, "probe", "int4_array");
    ASSERT_EQ(handler, &data->typhandlers[0]);
    EXPECT_EQ(handler->id, kBuiltinHandlerCount);
    EXPECT_EQ(handler->typoid, 23u);
    EXPECT_EQ(handler->typoid_array, 1007u);
    EXPECT_STREQ(handler->typschema, "probe");
    EXPECT_EQ(pqt_gethandlerbyid(data->typhandlers, data->typhcnt, kBuiltinHandlerCount), handler);

    ASSERT_TRUE(PQspecPrepare(db.conn, "probe", "%int4_array", 0)) << PQgeterror();
    ASSERT_EQ(data->typspeccnt, 1);
    EXPECT_STREQ(data->typspecs[0].name, "probe");
    ASSERT_EQ(data->typspecs[0].idcnt, 1);
    EXPECT_EQ(data->typspecs[0].idlist[0], handler->id);

    // Results carry their own copy of the connection's type data.
    std::unique_ptr<PGresult, decltype(&PQclear)> result(PQexec(db.conn, "select 1"), PQclear);
    PqtTypeData* copy = resultTypeData(result.get());
    ASSERT_NE(copy, nullptr);
    EXPECT_NE(copy, data);
    EXPECT_EQ(copy->typhcnt, 1);
}

TEST_F(ServerPqtypesPrivate, ParamSetCopiesHandlersAndCountsValues) {
    PGregisterType types[] = {{"probe.t=text", nullptr, nullptr}};
    ASSERT_TRUE(PQregisterTypes(db.conn, PQT_SUBCLASS, types, 1, 0)) << PQgeterror();
    PGparam* param = PQparamCreate(db.conn);
    ASSERT_NE(param, nullptr);
    EXPECT_EQ(param->typhcnt, 1);
    EXPECT_STREQ(param->typhandlers[0].typname, "t");
    ASSERT_TRUE(PQputf(param, "%int4 %text", 7, "ab")) << PQgeterror();
    EXPECT_EQ(param->vcnt, PQparamCount(param));
    EXPECT_EQ(param->vals[0].oid, 23u);
    EXPECT_EQ(param->vals[0].datal, 4);
    EXPECT_EQ(param->vals[1].oid, 25u);
    PQparamReset(param);
    EXPECT_EQ(param->vcnt, 0);
    PQparamClear(param);
}

// Values appended past the set's room, beside libpqtypes' own, and sent
// by the server as it would send PQparamExec's; PQparamClear frees them
// all (the sanitizers' leak check holds it to that).
TEST_F(ServerPqtypesPrivate, AppendedValuesGrowTheSetAndGoOutAsLibpqTakesThem) {
    PGparam* param = PQparamCreate(db.conn);
    ASSERT_NE(param, nullptr);
    ASSERT_TRUE(PQputf(param, "%int4", 5)) << PQgeterror();
    constexpr int kAppended = 40;
    for (int i = 0; i < kAppended; ++i) {
        appendNullValue(param, 25);
        if (i % 2) {
            std::string text = std::to_string(i);
            std::memcpy(
                writeSlotValue(paramSlot(param, PQparamCount(param) - 1).value, text.size()),
                text.data(), text.size());
        }
    }
    ASSERT_TRUE(PQputf(param, "%int8", static_cast<PGint8>(7))) << PQgeterror();
    ASSERT_EQ(PQparamCount(param), kAppended + 2);

    ParamArrays arrays;
    fillParamArrays(param, arrays);
    ASSERT_EQ(arrays.count(), kAppended + 2);
    EXPECT_EQ(arrays.types[0], 23u);
    EXPECT_EQ(arrays.types[kAppended + 1], 20u);
    std::string sql = "select $1::text";
    for (int i = 2; i <= kAppended + 2; ++i)
        sql += " || coalesce($" + std::to_string(i) + "::text, '-')";
    std::unique_ptr<PGresult, decltype(&PQclear)> result(
        PQexecParams(db.conn, sql.c_str(), arrays.count(), arrays.types.data(),
                     arrays.values.data(), arrays.lengths.data(), arrays.wireFormats.data(), 0),
        PQclear);
    ASSERT_EQ(PQresultStatus(result.get()), PGRES_TUPLES_OK) << PQerrorMessage(db.conn);
    std::string expected = "5";
    for (int i = 0; i < kAppended; ++i) expected += i % 2 ? std::to_string(i) : "-";
    EXPECT_EQ(std::string(PQgetvalue(result.get(), 0, 0)), expected + "7");
    PQparamClear(param);
}

TEST_F(ServerPqtypesPrivate, ParsersSplitSpecifiersAndNames) {
    PqtTypeData* data = connectionTypeData(db.conn);
    PGtypeHandler* handler = nullptr;
    size_t position = 0;
    int typpos = 0, flags = 0;
    const char* rest = pqt_parse("%int4[]@ %text", data->typhandlers, data->typhcnt, nullptr, 0,
                                 &handler, &position, &typpos, &flags);
    ASSERT_NE(rest, nullptr);
    ASSERT_NE(handler, nullptr);
    EXPECT_STREQ(handler->typname, "int4");
    EXPECT_EQ(flags, kSpecCaseFolded | kSpecArray);
    EXPECT_EQ(typpos, 1);
    EXPECT_STREQ(rest, "@ %text");

    handler = nullptr;
    rest = pqt_parse("#text", data->typhandlers, data->typhcnt, nullptr, 0, &handler, &position,
                     &typpos, &flags);
    ASSERT_NE(handler, nullptr);
    EXPECT_EQ(flags, kSpecCaseFolded | kSpecByName);

    handler = nullptr;
    rest = pqt_parse("x", data->typhandlers, data->typhcnt, nullptr, 0, &handler, &position,
                     &typpos, &flags);
    EXPECT_EQ(handler, nullptr);
    EXPECT_STREQ(rest, "");

    EXPECT_EQ(pqt_parse("%nosuchtype", data->typhandlers, data->typhcnt, nullptr, 0, &handler,
                        &position, &typpos, &flags),
              nullptr);
    EXPECT_NE(std::string(PQgeterror()).find("nosuchtype"), std::string::npos);

    char schema[kTypeNameBuffer], name[kTypeNameBuffer];
    ASSERT_NE(pqt_parsetype("myschema.int4_arr", schema, name, &flags, 1), nullptr);
    EXPECT_STREQ(schema, "myschema");
    EXPECT_STREQ(name, "int4_arr");
}

using ResultPtr = std::unique_ptr<PGresult, decltype(&PQclear)>;

ResultPtr run(PGconn* conn, const char* sql) { return ResultPtr(PQexec(conn, sql), PQclear); }

std::string textAt(const PGresult* result, const char* format) {
    PGtext text = nullptr;
    if (!PQgetf(result, 0, format, 0, &text)) return std::string("error: ") + PQgeterror();
    return text;
}

// The results of a sharing connection point at one copy of its type data,
// which libpqtypes reads as their own and which outlives the connection.
TEST(ServerTypeSharing, ResultsShareOneCopyThatOutlivesTheirConnection) {
    PGconn* conn = PQconnectdb("");
    ASSERT_EQ(PQstatus(conn), CONNECTION_OK) << PQerrorMessage(conn);
    ASSERT_TRUE(prepareTypeSharing(conn));
    ASSERT_TRUE(PQinitTypes(conn));
    PGregisterType types[] = {{"probe.t=text", pqt_put_text, pqt_get_text}};
    ASSERT_TRUE(PQregisterTypes(conn, PQT_SUBCLASS, types, 1, 0)) << PQgeterror();
    ASSERT_TRUE(PQspecPrepare(conn, "probe", "%t", 0)) << PQgeterror();
    ResultPtr unshared = run(conn, "select 'unshared'::text");
    ASSERT_TRUE(shareTypeData(conn));
    EXPECT_FALSE(shareTypeData(conn));  // once per connection

    ResultPtr first = run(conn, "select 'first'::text");
    ResultPtr second = run(conn, "select 'second'::text");
    PqtTypeData* connection = connectionTypeData(conn);
    PqtTypeData* a = resultTypeData(first.get());
    PqtTypeData* b = resultTypeData(second.get());
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(a->typhandlers, b->typhandlers);
    EXPECT_EQ(a->typspecs, b->typspecs);
    EXPECT_NE(a->typhandlers, connection->typhandlers);
    EXPECT_NE(a->typhandlers, resultTypeData(unshared.get())->typhandlers);
    EXPECT_EQ(a->typhcnt, 1);
    EXPECT_EQ(a->typspeccnt, 1);
    EXPECT_EQ(a->fmtinfo.sversion, PQserverVersion(conn));
    EXPECT_EQ(connection->typhcnt, 1);  // given back after each result
    EXPECT_EQ(connection->typspeccnt, 1);

    // Specifiers parsed against the copy, or a parameter set's copy of it,
    // the second time from what a first parse kept, come out as libpqtypes
    // parses them, with the handlers of the copy parsed against.
    PGparam* param = createParam(conn);
    ASSERT_NE(param, nullptr);
    for (TypeHandlers shared : {resultTypeHandlers(first.get()), paramTypeHandlers(param)}) {
        TypeHandlers plain = shared;
        plain.shared = nullptr;
        ASSERT_NE(shared.shared, nullptr);
        for (int pass = 0; pass < 2; ++pass) {
            SpecifierParse kept, parsed;
            const char* format = "%probe.t[]@ #int4 x%t";
            for (const char *rest = format, *expected = format; *expected;) {
                rest = parseTypeSpecifier(rest, shared, kept);
                expected = parseTypeSpecifier(expected, plain, parsed);
                ASSERT_NE(rest, nullptr) << PQgeterror();
                EXPECT_EQ(rest, expected);
                EXPECT_EQ(kept.handler, parsed.handler);
                EXPECT_EQ(kept.flags, parsed.flags);
                EXPECT_EQ(kept.position, parsed.position);
            }
        }
    }

    PQfinish(conn);
    second.reset();
    EXPECT_EQ(textAt(first.get(), "@probe"), "first");
    EXPECT_EQ(textAt(first.get(), "%probe.t"), "first");
    EXPECT_EQ(textAt(unshared.get(), "@probe"), "unshared");
    // A copy of a result (as libpqtypes makes to read arrays) takes its own.
    ResultPtr copy(
        PQcopyResult(first.get(), PG_COPYRES_ATTRS | PG_COPYRES_TUPLES | PG_COPYRES_EVENTS),
        PQclear);
    ASSERT_NE(copy, nullptr);
    EXPECT_NE(resultTypeData(copy.get())->typhandlers, a->typhandlers);
    first.reset();
    EXPECT_EQ(textAt(copy.get(), "@probe"), "first");
    // The shared copy gone, the set's own handlers are parsed as they are.
    EXPECT_EQ(paramTypeHandlers(param).shared, nullptr);
    PQparamClear(param);
}

}  // namespace
}  // namespace vorlex
