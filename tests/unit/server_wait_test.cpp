// SPDX-License-Identifier: BSD-3-Clause
// Waits on the server and the user's interrupt.  The unit tests link
// Octave's host backend, so a test raises Octave's interrupt flag where its
// SIGINT handler would on Ctrl-C.  The PG* variables name the server.
#include "connection/server_wait.hpp"

#include <gtest/gtest.h>
#include <octave/quit.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

#include "host/errors.hpp"
#include "test_support.hpp"

namespace vorlex {
namespace {

TEST(SocketWaits, EndWhenTheSocketIsReadyTheTimeIsUpOrTheUserInterrupts) {
    int ends[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, ends), 0);
    struct Case {
        const char* name;
        bool dataWaiting;
        bool interrupt;
        SocketWait expected;
    };
    const Case cases[] = {
        {"nothing comes", false, false, SocketWait::timedOut},
        {"data waits", true, false, SocketWait::ready},
        {"Ctrl-C", false, true, SocketWait::interrupted},
        {"Ctrl-C with data waiting", true, true, SocketWait::interrupted},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.dataWaiting) {
            ASSERT_EQ(write(ends[1], "x", 1), 1);
        }
        if (c.interrupt) octave_interrupt_state = 1;
        EXPECT_EQ(waitOnSocket(ends[0], POLLIN, 50), c.expected);
        EXPECT_EQ(octave_interrupt_state, 0);  // the request was taken, or none was made
        char byte;
        if (c.dataWaiting) {
            ASSERT_EQ(read(ends[0], &byte, 1), 1);
        }
    }
    // A connection without a socket leaves the report to libpq.
    EXPECT_EQ(waitOnSocket(-1, POLLIN, -1), SocketWait::ready);
    close(ends[0]);
    close(ends[1]);
}

class ServerStatements : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(PQstatus(conn), CONNECTION_OK) << PQerrorMessage(conn);
        ASSERT_EQ(PQsetnonblocking(conn, 1), 0);
    }
    void TearDown() override { PQfinish(conn); }

    std::string value(const char* sql) {
        discardEarlierResults(conn);
        EXPECT_TRUE(PQsendQuery(conn, sql));
        ResultOwner result = awaitStatement(conn, "the statement");
        return PQntuples(result.get()) == 1 ? PQgetvalue(result.get(), 0, 0) : "?";
    }

    CommandScope scope{"exec"};
    PGconn* conn = PQconnectdb("");
};

TEST_F(ServerStatements, CtrlCCancelsTheStatementAndLeavesTheConnectionReady) {
    // A cancel that reaches the server before the statement runs is dropped
    // there: the request is repeated until the server stops.
    for (bool inTransaction : {false, true}) {
        SCOPED_TRACE(inTransaction);
        if (inTransaction) value("BEGIN");
        ASSERT_TRUE(PQsendQuery(conn, "SELECT pg_sleep(30)"));
        octave_interrupt_state = 1;
        std::string message;
        expectRaises("vorlex:exec:interrupted", [&] {
            try {
                awaitStatement(conn, "the statement");
            } catch (const GatewayError& error) {
                message = error.message;
                throw;
            }
        });
        EXPECT_NE(message.find("the server stopped the statement"), std::string::npos) << message;
        EXPECT_EQ(octave_interrupt_state, 0);
        if (inTransaction) {
            EXPECT_EQ(PQtransactionStatus(conn), PQTRANS_INERROR);
            EXPECT_NE(message.find("transaction is aborted"), std::string::npos) << message;
            value("ROLLBACK");
        }
        EXPECT_EQ(PQtransactionStatus(conn), PQTRANS_IDLE);
        EXPECT_EQ(value("SELECT 7"), "7");
    }
}

TEST_F(ServerStatements, ASecondCtrlCGivesUpAConnectionWhoseServerDoesNotStop) {
    value(
        "CREATE FUNCTION pg_temp.stubborn() RETURNS int4 LANGUAGE plpgsql AS $$ BEGIN "
        "LOOP BEGIN PERFORM pg_sleep(60); EXCEPTION WHEN query_canceled THEN END; END LOOP; "
        "END $$");
    std::string pid = value("SELECT pg_backend_pid()");
    ASSERT_TRUE(PQsendQuery(conn, "SELECT pg_temp.stubborn()"));
    octave_interrupt_state = 1;
    // The second press, while the module still waits for the server.
    std::thread secondPress([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(2500));
        octave_interrupt_state = 1;
    });
    std::string message = raisedMessage([&] { awaitStatement(conn, "the statement"); });
    secondPress.join();
    EXPECT_NE(message.find("gave the connection up"), std::string::npos) << message;
    EXPECT_EQ(PQstatus(conn), CONNECTION_BAD);
    // The server goes on with the statement: end its session.
    PGconn* other = PQconnectdb("");
    PQclear(PQexec(other, ("SELECT pg_terminate_backend(" + pid + ")").c_str()));
    PQfinish(other);
}

TEST_F(ServerStatements, ACopyAnEarlierStatementLeftRunningIsEndedBeforeTheNext) {
    value("CREATE TEMP TABLE left_open (n int4)");
    for (const char* copy : {"COPY left_open FROM STDIN", "COPY (SELECT 1) TO STDOUT"}) {
        SCOPED_TRACE(copy);
        ASSERT_TRUE(PQsendQuery(conn, copy));
        ResultOwner started = awaitStatement(conn, "the statement");
        EXPECT_TRUE(PQresultStatus(started.get()) == PGRES_COPY_IN ||
                    PQresultStatus(started.get()) == PGRES_COPY_OUT);
        EXPECT_EQ(value("SELECT 8"), "8");
    }
    EXPECT_EQ(value("SELECT count(*) FROM left_open"), "0");
}

}  // namespace
}  // namespace vorlex
