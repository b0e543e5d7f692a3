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

// A preparation that may be refused inside the user's transaction block is
// guarded by a savepoint, so that the refusal leaves the transaction as it
// was; it is released with the description or rolled back to on a refusal.
constexpr char kGuard[] = "vorlex_describe";
constexpr char kSetGuard[] = "SAVEPOINT vorlex_describe";
constexpr char kReleaseGuard[] = "RELEASE SAVEPOINT vorlex_describe";
constexpr char kUndoGuard[] =
    "ROLLBACK TO SAVEPOINT vorlex_describe; RELEASE SAVEPOINT vorlex_describe";

// The round's statements, in the order their results come back; the sync
// point's result follows them.  The guard's steps are sent only with one.
enum Step { kSetGuardStep, kPrepare, kDescribe, kReleaseStep, kSteps };

bool isDone(const ResultOwner& result) {
    return result && PQresultStatus(result.get()) == PGRES_COMMAND_OK;
}

// Reads the results up to the sync point's, keeping each statement's first
// one in `first`, from step `step` on.  After an interrupt (the server is
// asked to cancel) the reading goes on to the sync point all the same; a
// lost connection ends it early.
void collect(ServerWait& wait, ResultOwner (&first)[kSteps], int step) {
    PGconn* conn = wait.connection();
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

namespace {

bool sendGuardStep(PGconn* conn, const char* sql) {
    return PQsendQueryParams(conn, sql, 0, nullptr, nullptr, nullptr, nullptr, 0) != 0;
}

// Sends the round and collects its results into `first`.
void runRound(PGconn* conn, ServerWait& wait, const UnnamedStatement& statement, bool guarded,
              ResultOwner (&first)[kSteps]) {
    if (!PQenterPipelineMode(conn)) return;
    bool sent = !guarded || sendGuardStep(conn, kSetGuard);
    sent = sent && PQsendPrepare(conn, "", statement.sql, statement.count, statement.types);
    sent = sent && PQsendDescribePrepared(conn, "");
    sent = sent && (!guarded || sendGuardStep(conn, kReleaseGuard));
    if (sent && PQpipelineSync(conn)) collect(wait, first, guarded ? kSetGuardStep : kPrepare);
    if (PQstatus(conn) == CONNECTION_BAD) discardLeftovers(conn);
    PQexitPipelineMode(conn);
}

// Takes the transaction back to the guard's savepoint after a refusal.
void undoGuard(PGconn* conn, const std::string& work) {
    ResultOwner undone;
    if (PQsendQuery(conn, kUndoGuard)) undone = awaitStatement(conn, work.c_str());
    if (PQresultStatus(undone.get()) != PGRES_COMMAND_OK)
        raiseQueryFailed(conn, undone.get(),
                         "the savepoint " + std::string(kGuard) + " of " + work);
}

}  // namespace

ResultOwner tryDescribeUnnamed(PGconn* conn, const UnnamedStatement& statement,
                               ResultOwner& refusal) {
    std::string subject = statement.subject;
    std::string work = subject + "'s preparation";
    discardEarlierResults(conn);
    bool guarded = statement.guardInTransaction && PQtransactionStatus(conn) == PQTRANS_INTRANS;
    ServerWait wait(conn);
    ResultOwner first[kSteps];
    runRound(conn, wait, statement, guarded, first);
    bool prepared = isDone(first[kPrepare]), described = isDone(first[kDescribe]);
    if (wait.interrupted()) raiseInterrupted(wait, !(prepared && described), work.c_str());
    if (guarded && !isDone(first[kSetGuardStep]))
        raiseQueryFailed(conn, first[kSetGuardStep].get(), subject + " was refused");
    if (!prepared) {
        refusal = std::move(first[kPrepare]);
        if (guarded && PQstatus(conn) != CONNECTION_BAD) undoGuard(conn, work);
        return ResultOwner();
    }
    if (!described)
        raiseQueryFailed(conn, first[kDescribe].get(), subject + " could not be described");
    if (guarded && !isDone(first[kReleaseStep]))
        raiseQueryFailed(conn, first[kReleaseStep].get(), subject + " could not be described");
    return std::move(first[kDescribe]);
}

ResultOwner describeUnnamed(PGconn* conn, const UnnamedStatement& statement) {
    ResultOwner refusal;
    ResultOwner described = tryDescribeUnnamed(conn, statement, refusal);
    if (described) return described;
    if (statement.whenRefused) statement.whenRefused(statement.context);
    raiseQueryFailed(conn, refusal.get(), std::string(statement.subject) + " was refused");
}

}  // namespace vorlex
