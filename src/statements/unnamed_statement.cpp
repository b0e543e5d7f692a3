// SPDX-License-Identifier: BSD-3-Clause
// unnamed_statement.cpp - the unnamed statement prepared and described in
// one pipelined round trip, every wait one of server_wait.hpp's.
#include "statements/unnamed_statement.hpp"

#include <string>
#include <utility>

#include "connection/server_wait.hpp"
#include "host/errors.hpp"
#include "statements/lost_connection.hpp"
#include "statements/server_error.hpp"

namespace vorlex {

namespace {

// The round's statements, in the order their results come back; the sync
// point's result follows them.
enum Step { kPrepare, kDescribe, kSteps };

bool isDone(const ResultOwner& result) {
    return result && PQresultStatus(result.get()) == PGRES_COMMAND_OK;
}

// Reads the results up to the sync point's, keeping each statement's first
// one.  After an interrupt (the server is asked to cancel) the reading goes
// on to the sync point all the same; a lost connection ends it early.
void collect(ServerWait& wait, ResultOwner (&first)[kSteps]) {
    PGconn* conn = wait.connection();
    int step = 0;
    bool taken = false;
    for (;;) {
        ResultOwner next;
        if (!nextResult(wait, next)) continue;
        if (!next) {
            // A null ends one statement's results; a null with none before it
            // means that libpq expects nothing more.
            if (!taken) return;
            taken = false;
            ++step;
            continue;
        }
        if (PQresultStatus(next.get()) == PGRES_PIPELINE_SYNC) return;
        if (!taken && step < kSteps) first[step] = std::move(next);
        taken = true;
        if (PQstatus(conn) == CONNECTION_BAD) return;
    }
}

// On a lost connection libpq still answers for what was queued, with
// failures; pipeline mode can be left once they are taken.
void discardLeftovers(PGconn* conn) {
    constexpr int kMostResults = 16;
    for (int nulls = 0, n = 0; nulls < 2 && n < kMostResults; ++n) {
        PGresult* result = PQgetResult(conn);
        nulls = result ? 0 : nulls + 1;
        PQclear(result);
    }
}

}  // namespace

void raiseQueryFailed(PGconn* conn, const PGresult* result, const std::string& what) {
    raiseOnConnection(conn, "queryFailed", what + ": " + failureText(conn, result), result);
}

ResultOwner describeUnnamed(PGconn* conn, const UnnamedStatement& statement) {
    std::string subject = statement.subject;
    std::string work = subject + "'s preparation";
    discardEarlierResults(conn);
    ServerWait wait(conn);
    ResultOwner first[kSteps];
    if (PQenterPipelineMode(conn)) {
        int queued = 0;
        if (PQsendPrepare(conn, "", statement.sql, statement.count, statement.types)) ++queued;
        if (queued && PQsendDescribePrepared(conn, "")) ++queued;
        if (queued && PQpipelineSync(conn)) collect(wait, first);
        if (PQstatus(conn) == CONNECTION_BAD) discardLeftovers(conn);
        PQexitPipelineMode(conn);
    }
    bool prepared = isDone(first[kPrepare]), described = isDone(first[kDescribe]);
    if (wait.interrupted()) raiseInterrupted(wait, !(prepared && described), work.c_str());
    if (!prepared) {
        if (statement.whenRefused) statement.whenRefused(statement.context);
        raiseQueryFailed(conn, first[kPrepare].get(), subject + " was refused");
    }
    if (!described)
        raiseQueryFailed(conn, first[kDescribe].get(), subject + " could not be described");
    return std::move(first[kDescribe]);
}

}  // namespace vorlex
