// SPDX-License-Identifier: BSD-3-Clause
// The batch pipeline on a real connection: whatever ends a stream, the
// connection comes back in its own modes, out of pipeline mode, with nothing
// of the failed stream kept and no prepared statement left behind.  The PG*
// variables name the server.
#include "batch/pipeline.hpp"

#include <gtest/gtest.h>
#include <octave/quit.h>

#include <string>

#include "host/errors.hpp"

namespace vorlex {
namespace {

// Puts the row number + 1 as an int4, and raises at `failAt` (0-based).
// At `interruptAt` it raises Octave's interrupt flag, as Ctrl-C would.
struct CountingRows {
    size_t failAt = SIZE_MAX;
    size_t interruptAt = SIZE_MAX;
};

void putCountingRow(void* context, PGparam* param, size_t row) {
    const auto& rows = *static_cast<const CountingRows*>(context);
    if (row == rows.failAt) raiseError("valueFailed", "row %zu cannot be built", row + 1);
    if (row == rows.interruptAt) octave_interrupt_state = 1;
    if (row > 0) PQparamReset(param);
    PQputf(param, "%int4", static_cast<int>(row + 1));
}

class ServerPipelines : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(PQstatus(conn), CONNECTION_OK) << PQerrorMessage(conn);
        PQinitTypes(conn);
        param = PQparamCreate(conn);
        sql("CREATE TEMP TABLE batch_rows (n int4 PRIMARY KEY)");
    }
    void TearDown() override {
        PQparamClear(param);
        PQfinish(conn);
    }

    std::string sql(const char* text) {
        PGresult* result = PQexec(conn, text);
        EXPECT_TRUE(PQresultStatus(result) == PGRES_TUPLES_OK ||
                    PQresultStatus(result) == PGRES_COMMAND_OK)
            << text << ": " << PQerrorMessage(conn);
        std::string value = PQntuples(result) ? PQgetvalue(result, 0, 0) : "";
        PQclear(result);
        return value;
    }

    // Runs the stream and returns the error's identifier ("" for none).
    std::string run(const char* statementSql, size_t rows, CountingRows counting = {}) {
        BatchStatement statement{statementSql, "pipeline_test_" + std::to_string(++runs),
                                 "DEALLOCATE pipeline_test_" + std::to_string(runs)};
        PQparamReset(param);
        Progress progress;
        try {
            runPipeline(conn, param, statement, rows, RowBuilder{putCountingRow, &counting},
                        progress);
        } catch (const GatewayError& error) {
            message = error.message;
            return error.id;
        }
        return "";
    }

    void expectConnectionBackToNormal(int nonblocking) {
        EXPECT_EQ(PQpipelineStatus(conn), PQ_PIPELINE_OFF);
        EXPECT_EQ(PQisnonblocking(conn), nonblocking);
        EXPECT_EQ(PQtransactionStatus(conn), PQTRANS_IDLE);
        EXPECT_EQ(sql("SELECT count(*) FROM pg_prepared_statements"), "0");
    }

    CommandScope scope{"batchExec"};
    PGconn* conn = PQconnectdb("");
    PGparam* param = nullptr;
    int runs = 0;
    std::string message;
    const char* insert = "INSERT INTO batch_rows VALUES ($1)";
};

TEST_F(ServerPipelines, EveryRowArrivesAndTheConnectionKeepsItsBlockingMode) {
    for (int nonblocking : {0, 1}) {
        SCOPED_TRACE(nonblocking);
        sql("TRUNCATE batch_rows");
        ASSERT_EQ(PQsetnonblocking(conn, nonblocking), 0);
        EXPECT_EQ(run(insert, 5000), "");
        expectConnectionBackToNormal(nonblocking);
        PQsetnonblocking(conn, 0);
        EXPECT_EQ(sql("SELECT count(*) || ' ' || sum(n) FROM batch_rows"), "5000 12502500");
        sql("TRUNCATE batch_rows");
        EXPECT_EQ(run(insert, 1), "");  // one row: four results
        EXPECT_EQ(sql("SELECT count(*) FROM batch_rows"), "1");
    }
}

TEST_F(ServerPipelines, AFailingRowRollsTheStreamBackInEitherMode) {
    sql("INSERT INTO batch_rows VALUES (5)");
    for (int nonblocking : {0, 1}) {
        SCOPED_TRACE(nonblocking);
        ASSERT_EQ(PQsetnonblocking(conn, nonblocking), 0);
        EXPECT_EQ(run(insert, 10), "vorlex:batchExec:rowFailed");
        EXPECT_NE(message.find("row 5 of 10"), std::string::npos) << message;
        expectConnectionBackToNormal(nonblocking);
        PQsetnonblocking(conn, 0);
        EXPECT_EQ(sql("SELECT count(*) FROM batch_rows"), "1");
    }
}

TEST_F(ServerPipelines, ARowThatCannotBeBuiltAbandonsTheRowsAlreadySent) {
    // Row 3000 fails long after the first rows have run on the server.
    for (size_t failAt : {size_t{0}, size_t{1}, size_t{2999}}) {
        SCOPED_TRACE(failAt);
        EXPECT_EQ(run(insert, 5000, {failAt}), "vorlex:batchExec:valueFailed");
        expectConnectionBackToNormal(0);
        EXPECT_EQ(sql("SELECT count(*) FROM batch_rows"), "0");
    }
    // Inside the caller's transaction the failure aborts it, as a failing
    // statement would.
    sql("BEGIN");
    EXPECT_EQ(run(insert, 100, {50}), "vorlex:batchExec:valueFailed");
    EXPECT_EQ(PQtransactionStatus(conn), PQTRANS_INERROR);
    sql("ROLLBACK");
    expectConnectionBackToNormal(0);
}

TEST_F(ServerPipelines, CtrlCAbandonsTheStreamAndKeepsNoRow) {
    for (size_t at : {size_t{0}, size_t{2999}}) {
        SCOPED_TRACE(at);
        EXPECT_EQ(run(insert, 5000, {SIZE_MAX, at}), "vorlex:batchExec:interrupted");
        EXPECT_NE(message.find("the server stopped the batch"), std::string::npos) << message;
        EXPECT_EQ(octave_interrupt_state, 0);
        expectConnectionBackToNormal(0);
        EXPECT_EQ(sql("SELECT count(*) FROM batch_rows"), "0");
    }
}

TEST_F(ServerPipelines, APrepareTheServerRefusesNamesNoRow) {
    EXPECT_EQ(run("INSERT INTO no_such_table VALUES ($1)", 3), "vorlex:batchExec:prepareFailed");
    EXPECT_NE(message.find("no_such_table"), std::string::npos) << message;
    EXPECT_EQ(message.find("row"), std::string::npos) << message;
    expectConnectionBackToNormal(0);
}

TEST_F(ServerPipelines, ACopyOutIsRefusedAndTheStreamStillEnds) {
    EXPECT_EQ(run("COPY (SELECT $1::int4) TO STDOUT", 3), "vorlex:batchExec:rowFailed");
    expectConnectionBackToNormal(0);
}

}  // namespace
}  // namespace vorlex
