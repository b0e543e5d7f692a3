// SPDX-License-Identifier: BSD-3-Clause
// A COPY on a real connection: whatever ends it (its end, an error on
// the client in the middle of the stream, a refusal by the server), the
// connection is left idle in its own blocking mode with nothing of an
// unfinished COPY kept.  The PG* variables name the server.
#include "statements/copy_session.hpp"

#include <gtest/gtest.h>
#include <octave/quit.h>

#include <string>

#include "connection/libpq_private.hpp"
#include "host/errors.hpp"
#include "test_support.hpp"

namespace vorlex {
namespace {

// COPY's text format: one int4 per line.
std::string textRows(int first, int last) {
    std::string rows;
    for (int n = first; n <= last; ++n) rows += std::to_string(n) + "\n";
    return rows;
}

class ServerCopySessions : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(PQstatus(conn), CONNECTION_OK) << PQerrorMessage(conn);
        sql("CREATE TEMP TABLE copied (n int4 PRIMARY KEY)");
    }
    void TearDown() override { PQfinish(conn); }

    void sql(const char* text) {
        PGresult* result = PQexec(conn, text);
        EXPECT_EQ(PQresultStatus(result), PGRES_COMMAND_OK) << text << ": " << PQerrorMessage(conn);
        PQclear(result);
    }
    std::string value(const char* text) {
        PGresult* result = PQexec(conn, text);
        std::string first = PQntuples(result) == 1 ? PQgetvalue(result, 0, 0) : "?";
        PQclear(result);
        return first;
    }
    void expectReady(const char* rows) {
        EXPECT_EQ(PQtransactionStatus(conn), PQTRANS_IDLE);
        EXPECT_EQ(value("SELECT count(*) FROM copied"), rows);
    }

    CommandScope scope{"copyIn"};
    PGconn* conn = PQconnectdb("");
};

TEST_F(ServerCopySessions, ACopyInThatEndsKeepsItsRows) {
    {
        CopySession copy(conn);
        copy.start("COPY copied FROM STDIN", PGRES_COPY_IN, "copyFailed");
        std::string rows = textRows(1, 1000);
        copy.send(rows.data(), rows.size());
        ResultOwner result = copy.finishSending();
        EXPECT_EQ(PQresultStatus(result.get()), PGRES_COMMAND_OK);
        EXPECT_STREQ(PQcmdTuples(result.get()), "1000");
    }
    expectReady("1000");
}

TEST_F(ServerCopySessions, ACopyInLeftUnfinishedKeepsNothing) {
    for (bool inTransaction : {false, true}) {
        if (inTransaction) sql("BEGIN");
        expectRaises("vorlex:copyIn:valueFailed", [&] {
            CopySession copy(conn);
            copy.start("COPY copied FROM STDIN", PGRES_COPY_IN, "copyFailed");
            std::string rows = textRows(1, 5000);
            copy.send(rows.data(), rows.size());
            raiseError("valueFailed", "row 5001 cannot be built");
        });
        if (inTransaction) {
            // The server failed the COPY: the caller's transaction is aborted.
            EXPECT_EQ(PQtransactionStatus(conn), PQTRANS_INERROR);
            sql("ROLLBACK");
        }
        expectReady("0");
    }
}

TEST_F(ServerCopySessions, ACopyOutLeftUnfinishedIsCancelledAndDrained) {
    expectRaises("vorlex:copyIn:readFailed", [&] {
        CopySession copy(conn);
        copy.start("COPY (SELECT generate_series(1, 50000000)) TO STDOUT", PGRES_COPY_OUT,
                   "queryFailed");
        CopyData first = copy.receive();
        ASSERT_FALSE(first.atEnd());
        EXPECT_EQ(std::string(first.bytes(), first.length()), "1\n");
        raiseError("readFailed", "the first row cannot be decoded");
    });
    expectReady("0");
}

TEST_F(ServerCopySessions, CtrlCEndsTheCopyInEitherDirectionAndKeepsNothing) {
    // Octave's flag, raised as its SIGINT handler would on Ctrl-C, between
    // two chunks of rows and between two messages of the stream.
    expectRaises("vorlex:copyIn:interrupted", [&] {
        CopySession copy(conn);
        copy.start("COPY copied FROM STDIN", PGRES_COPY_IN, "copyFailed");
        std::string rows = textRows(1, 5000);
        copy.send(rows.data(), rows.size());
        octave_interrupt_state = 1;
        rows = textRows(5001, 10000);
        copy.send(rows.data(), rows.size());
    });
    EXPECT_EQ(octave_interrupt_state, 0);
    expectReady("0");
    expectRaises("vorlex:copyIn:interrupted", [&] {
        CopySession copy(conn);
        copy.start("COPY (SELECT generate_series(1, 50000000)) TO STDOUT", PGRES_COPY_OUT,
                   "queryFailed");
        ASSERT_FALSE(copy.receive().atEnd());
        octave_interrupt_state = 1;
        for (;;) ASSERT_FALSE(copy.receive().atEnd());
    });
    expectReady("0");
}

TEST_F(ServerCopySessions, ACopyOutReadToItsEndGivesItsResult) {
    CopySession copy(conn);
    copy.start("COPY (SELECT generate_series(1, 3)) TO STDOUT", PGRES_COPY_OUT, "queryFailed");
    std::string data;
    for (;;) {
        CopyData message = copy.receive();
        if (message.atEnd()) break;
        data.append(message.bytes(), message.length());
    }
    EXPECT_EQ(data, "1\n2\n3\n");
    ResultOwner result = copy.finishReceiving();
    EXPECT_EQ(PQresultStatus(result.get()), PGRES_COMMAND_OK);
}

TEST_F(ServerCopySessions, RefusalsAreRaisedWithTheServersMessage) {
    std::string message = raisedMessage([&] {
        CopySession copy(conn);
        copy.start("COPY no_such_table FROM STDIN", PGRES_COPY_IN, "copyFailed");
    });
    EXPECT_NE(message.find("no_such_table"), std::string::npos) << message;
    // A statement that is a COPY of the other direction is ended too.
    expectRaises("vorlex:copyIn:copyFailed", [&] {
        CopySession copy(conn);
        copy.start("COPY (SELECT generate_series(1, 10000000)) TO STDOUT", PGRES_COPY_IN,
                   "copyFailed");
    });
    expectReady("0");
}

TEST_F(ServerCopySessions, TheConnectionKeepsItsBlockingMode) {
    for (int nonblocking : {0, 1}) {
        ASSERT_EQ(PQsetnonblocking(conn, nonblocking), 0);
        {
            CopySession copy(conn);
            EXPECT_EQ(PQisnonblocking(conn), 1);
            copy.start("COPY copied FROM STDIN", PGRES_COPY_IN, "copyFailed");
        }
        EXPECT_EQ(PQisnonblocking(conn), nonblocking);
    }
    ASSERT_EQ(PQsetnonblocking(conn, 0), 0);
    expectReady("0");
}

// The mirror of libpq's connection agrees with the public API where copyIn
// reads it, idle and inside a COPY, and is trusted on libpq 15 only.
TEST_F(ServerCopySessions, TheConnectionMirrorFitsLibpq15Only) {
    bool libpq15 = PQlibVersion() / 10000 == 15;
    EXPECT_FALSE(connectionLayoutKnown(nullptr));
    EXPECT_EQ(connectionLayoutKnown(conn), libpq15);
    CopySession copy(conn);
    copy.start("COPY copied FROM STDIN", PGRES_COPY_IN, "copyFailed");
    EXPECT_EQ(connectionLayoutKnown(conn), libpq15);
}

}  // namespace
}  // namespace vorlex
