// copy_session.cpp - the COPY's start, its stream, and its end on every path.
#include "copy/copy_session.hpp"

#include <utility>

#include "host/errors.hpp"
#include "statements/lost_connection.hpp"

namespace vorlex {

namespace {

constexpr char kAbandonMessage[] = "the client stopped the COPY";

// Reads a COPY TO stream to its end, dropping its data.
void dropCopyData(PGconn* conn) {
    char* bytes = nullptr;
    while (PQgetCopyData(conn, &bytes, 0) > 0) PQfreemem(bytes);
}

bool isFailure(const PGresult* result) {
    ExecStatusType status = PQresultStatus(result);
    return status == PGRES_FATAL_ERROR || status == PGRES_BAD_RESPONSE;
}

}  // namespace

CopySession::CopySession(PGconn* conn) : conn_(conn), savedNonblocking_(PQisnonblocking(conn)) {
    if (savedNonblocking_) PQsetnonblocking(conn_, 0);
}

CopySession::~CopySession() {
    abandon();
    drainResults();
    if (savedNonblocking_) PQsetnonblocking(conn_, 1);
}

void CopySession::raiseFailure(const char* what) {
    GatewayError error{errorId(check_),
                       std::string(what) + ": " + libpqText(PQerrorMessage(conn_))};
    noteLostConnection(conn_, error);
    throw error;
}

void CopySession::start(const std::string& sql, ExecStatusType expected, const char* check) {
    check_ = check;
    ResultOwner result(PQexecParams(conn_, sql.c_str(), 0, nullptr, nullptr, nullptr, nullptr, 0));
    if (!result) raiseFailure("the COPY could not be sent");
    ExecStatusType status = PQresultStatus(result.get());
    if (status == PGRES_COPY_IN || status == PGRES_COPY_OUT) state_ = status;
    if (status != expected) {
        GatewayError error{errorId(check), libpqText(PQresultErrorMessage(result.get()))};
        if (error.message.empty())
            error.message = std::string("the COPY gave ") + PQresStatus(status);
        noteLostConnection(conn_, error);
        throw error;
    }
}

void CopySession::send(const char* data, size_t size) {
    // PQputCopyData takes an int: a buffer past 2 GB goes in pieces.
    constexpr size_t kMostPerCall = size_t{1} << 30;
    while (size > 0) {
        size_t piece = size < kMostPerCall ? size : kMostPerCall;
        if (PQputCopyData(conn_, data, static_cast<int>(piece)) != 1)
            raiseFailure("the rows could not be sent");
        data += piece;
        size -= piece;
    }
}

ResultOwner CopySession::finishSending() {
    if (PQputCopyEnd(conn_, nullptr) != 1) raiseFailure("the COPY could not be ended");
    state_ = PGRES_COMMAND_OK;
    return takeResult();
}

CopyData CopySession::receive() {
    char* bytes = nullptr;
    int length = PQgetCopyData(conn_, &bytes, 0);
    if (length == -1) state_ = PGRES_COMMAND_OK;
    if (length == -2) raiseFailure("the rows could not be read");
    return CopyData(length > 0 ? bytes : nullptr, length);
}

ResultOwner CopySession::finishReceiving() { return takeResult(); }

// The COPY's own result, unless a later one failed: the implicit
// transaction the COPY ran in commits after it, and a deferred constraint
// can fail there.
ResultOwner CopySession::takeResult() {
    ResultOwner result(PQgetResult(conn_));
    if (!result) raiseFailure("the COPY gave no result");
    while (PGresult* next = PQgetResult(conn_)) {
        ExecStatusType status = PQresultStatus(next);
        if (isFailure(next) && !isFailure(result.get()))
            result.reset(next);
        else
            PQclear(next);
        endCopy(status);
        if (PQstatus(conn_) == CONNECTION_BAD) break;
    }
    return result;
}

void CopySession::abandon() {
    if (state_ == PGRES_COPY_IN) {
        PQputCopyEnd(conn_, kAbandonMessage);
    } else if (state_ == PGRES_COPY_OUT) {
        // Without a cancel the server would send every remaining row.
        if (PGcancel* cancel = PQgetCancel(conn_)) {
            char reason[256];
            PQcancel(cancel, reason, sizeof reason);
            PQfreeCancel(cancel);
        }
        dropCopyData(conn_);
    }
    state_ = PGRES_COMMAND_OK;
}

// A result that starts another COPY (a statement the caller did not
// expect) is ended at once.
void CopySession::endCopy(ExecStatusType status) {
    if (status == PGRES_COPY_IN)
        PQputCopyEnd(conn_, kAbandonMessage);
    else if (status == PGRES_COPY_OUT)
        dropCopyData(conn_);
}

// Reads every result until libpq has none.
void CopySession::drainResults() {
    while (PGresult* result = PQgetResult(conn_)) {
        ExecStatusType status = PQresultStatus(result);
        PQclear(result);
        endCopy(status);
        if (PQstatus(conn_) == CONNECTION_BAD) return;
    }
}

}  // namespace vorlex
