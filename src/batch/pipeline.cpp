// SPDX-License-Identifier: BSD-3-Clause
// pipeline.cpp - the send-and-receive loop of the batch command.
//
// Rows are queued a few dozen at a time while the socket takes them; each
// pass then reads whatever results have come in.  The loop waits on the
// socket only when libpq holds output the socket cannot take yet, or when
// everything is queued and results are awaited, so sending and receiving
// overlap and neither side's buffers grow with the row count.  Waits are
// server_wait.hpp's: an interrupt stops the stream, which is then brought
// to its end as after a failure, and raised once the connection is idle.
#include "batch/pipeline.hpp"

#include <poll.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "connection/server_wait.hpp"
#include "host/errors.hpp"
#include "host/owners.hpp"
#include "statements/lost_connection.hpp"
#include "statements/server_error.hpp"
#include "types/pqtypes_private.hpp"

namespace vorlex {

namespace {

// Rows queued between two looks at the socket: enough to keep the syscalls
// per row low, few enough that an error is seen soon.
constexpr size_t kRowsPerPass = 64;

// Queued when the stream must be given up before its end: its failure makes
// the server roll back the rows already run, up to the sync point.
constexpr char kAbandonSql[] = "SELECT 'batch abandoned by the client'::pg_catalog.int4";

// A statement's result that counts as done: a command's or rows.
bool isCommandOrTuples(ExecStatusType status) {
    return status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK;
}

// What was queued, in the order its results come back: the prepare, the
// rows, then the closing statement, the abandon statement and the sync
// point, each of the last three at most once.
enum class Item { prepare, row, closing, abandon, sync };

// Where the stream is.  It only moves forward, by the transition named:
//   outside    before pipeline mode; enter() moves to streaming
//   streaming  statements queued and their results read; queueSync(), after
//              the closing statement (or recover's abandon), to draining
//   draining   results only read, up to the sync point's; syncArrived() to
//              synced
//   synced     every result in
//   left       pipeline mode left: leave(), from any phase after outside
enum class Phase { outside, streaming, draining, synced, left };

class Pipeline {
  public:
    Pipeline(PGconn* conn, PGparam* param, const BatchStatement& statement, size_t rows,
             const RowBuilder& builder, Progress& progress)
        : conn_(conn),
          param_(param),
          statement_(statement),
          rows_(rows),
          builder_(builder),
          wait_(conn),
          progress_(progress) {
        progress_.wait = &wait_;
    }
    ~Pipeline() { progress_.wait = nullptr; }

    void run();
    void recover() noexcept;
    // Whether the user interrupted the stream (run returns early).
    bool interrupted() const { return wait_.interrupted(); }
    // Whether the server ran the whole stream: every statement accepted up
    // to the sync point.
    bool completed() const { return phase_ >= Phase::synced && !failureSeen_; }
    const ServerWait& serverWait() const { return wait_; }

  private:
    size_t queuedCount() const {
        return prepareQueued_ + rowsQueued_ + closingQueued_ + abandonQueued_ + syncIsQueued();
    }
    bool syncIsQueued() const { return phase_ >= Phase::draining; }
    bool inPipeline() const { return phase_ > Phase::outside && phase_ < Phase::left; }
    Item itemAt(size_t index) const;
    bool canQueue() const { return !syncIsQueued() && !outputPending_; }

    bool enter();
    bool queueSync();
    void syncArrived() { phase_ = Phase::synced; }
    bool leave();

    void queueSome();
    void queueRow(size_t row);
    void queuePrepare();
    void queueEnd();
    bool flush();
    bool waitAndRead(bool block);
    bool readReady();
    bool failLostResults();
    void reportRows();
    void take(PGresult* result);
    void leaveCopy(ExecStatusType status);
    void discardLeftovers();
    void awaitClose();
    void finishStream();
    void dropStream() noexcept;
    [[noreturn]] void raiseWithConnection(const char* check, const char* what);
    void fail(const char* check, const char* pattern, ...) __attribute__((format(printf, 3, 4)));

    PGconn* conn_;
    PGparam* param_;
    ParamArrays arrays_;  // the row's values as libpq takes them
    const BatchStatement& statement_;
    size_t rows_;
    const RowBuilder& builder_;
    ServerWait wait_;
    Progress& progress_;

    Phase phase_ = Phase::outside;
    int savedNonblocking_ = 0;
    bool prepareQueued_ = false;
    size_t rowsQueued_ = 0;
    bool closingQueued_ = false;
    bool abandonQueued_ = false;
    size_t received_ = 0;       // items whose results are all in
    bool resultTaken_ = false;  // the next item's first result is in
    bool prepareOk_ = false;
    bool closingOk_ = false;
    bool outputPending_ = false;
    bool recovering_ = false;  // failures are no longer raised
    bool copyInStarted_ = false;
    bool failureSeen_ = false;
};

Item Pipeline::itemAt(size_t index) const {
    if (index == 0) return Item::prepare;
    if (index <= rowsQueued_) return Item::row;
    index -= rowsQueued_ + 1;
    if (closingQueued_ && index-- == 0) return Item::closing;
    if (abandonQueued_ && index-- == 0) return Item::abandon;
    return Item::sync;
}

void Pipeline::raiseWithConnection(const char* check, const char* what) {
    std::string reason = libpqText(PQerrorMessage(conn_));
    if (reason.empty()) raiseError(check, "%s", what);
    raiseError(check, "%s: %s", what, reason.c_str());
}

// Raises the first failure; while recovering, results are only read.
void Pipeline::fail(const char* check, const char* pattern, ...) {
    if (recovering_) return;
    va_list args;
    va_start(args, pattern);
    std::string message = formatText(pattern, args);
    va_end(args);
    raiseError(check, "%s", message.c_str());
}

bool Pipeline::enter() {
    if (!PQenterPipelineMode(conn_)) return false;
    phase_ = Phase::streaming;
    return true;
}

bool Pipeline::queueSync() {
    if (!PQpipelineSync(conn_)) return false;
    phase_ = Phase::draining;
    return true;
}

// Stays in its phase when libpq refuses (results still unread), so that
// recover tries again.
bool Pipeline::leave() {
    if (!PQexitPipelineMode(conn_)) return false;
    phase_ = Phase::left;
    return true;
}

void Pipeline::run() {
    if (!enter())
        raiseWithConnection("pipelineFailed", "the connection could not enter pipeline mode");
    savedNonblocking_ = PQisnonblocking(conn_);
    // In blocking mode both sides could wait on full buffers at once.
    if (PQsetnonblocking(conn_, 1) != 0)
        raiseWithConnection("pipelineFailed", "the connection could not be made non-blocking");

    while (phase_ != Phase::synced) {
        if (canQueue()) queueSome();
        // Outside recovery a failure raises: false means interrupted.
        if (!waitAndRead(!canQueue())) return;
    }

    if (!leave())
        raiseWithConnection("pipelineFailed", "the connection could not leave pipeline mode");
    if (!savedNonblocking_ && PQsetnonblocking(conn_, 0) != 0)
        raiseWithConnection("pipelineFailed", "the connection could not be made blocking again");
}

void Pipeline::queueSome() {
    for (size_t n = 0; n < kRowsPerPass && !syncIsQueued(); ++n) {
        if (rowsQueued_ < rows_)
            queueRow(rowsQueued_);
        else
            queueEnd();
    }
    flush();
}

void Pipeline::queueRow(size_t row) {
    builder_.build(builder_.context, param_, row);
    if (row == 0) queuePrepare();
    fillParamArrays(param_, arrays_);
    if (!PQsendQueryPrepared(conn_, statement_.name.c_str(), arrays_.count(), arrays_.values.data(),
                             arrays_.lengths.data(), arrays_.wireFormats.data(), 0))
        raiseError("sendFailed", "row %zu could not be queued: %s", row + 1,
                   libpqText(PQerrorMessage(conn_)).c_str());
    ++rowsQueued_;
}

// The statement is prepared with the types of row 1's values; every row's
// values have the same types, as the same records put them.
void Pipeline::queuePrepare() {
    int count = PQparamCount(param_);
    std::vector<Oid> types(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) types[static_cast<size_t>(i)] = paramValueOid(param_, i);
    if (!PQsendPrepare(conn_, statement_.name.c_str(), statement_.sql.c_str(), count, types.data()))
        raiseWithConnection("prepareFailed", "the statement could not be prepared");
    prepareQueued_ = true;
}

void Pipeline::queueEnd() {
    if (!PQsendQueryParams(conn_, statement_.closing.c_str(), 0, nullptr, nullptr, nullptr, nullptr,
                           0))
        raiseWithConnection("sendFailed", "the closing statement could not be queued");
    closingQueued_ = true;
    if (!queueSync()) raiseWithConnection("sendFailed", "the sync point could not be queued");
}

bool Pipeline::flush() {
    int flushed = PQflush(conn_);
    if (flushed < 0) {
        fail("connectionLost", "sending to the server failed: %s",
             libpqText(PQerrorMessage(conn_)).c_str());
        return false;
    }
    outputPending_ = flushed == 1;
    return true;
}

// Waits (or, unless `block`, only looks) for the socket, sends what libpq
// holds when it can take more, and reads every complete result.  False
// when the user interrupted, or nothing more can come: the connection is
// lost, or libpq expects no more results although some are outstanding.
bool Pipeline::waitAndRead(bool block) {
    // libpq may already hold input, read while it was sending.
    if (block && !readReady()) return failLostResults();
    if (phase_ == Phase::synced) return true;
    size_t outstanding = queuedCount() - received_;
    pollfd socket{PQsocket(conn_), POLLIN, 0};
    if (socket.fd < 0) {
        fail("connectionLost", "the connection was lost with %zu result(s) outstanding",
             outstanding);
        return false;
    }
    if (outputPending_) socket.events |= POLLOUT;
    if (block) {
        // The wait reads what has come in; a failed read marks the
        // connection bad.
        if (!wait_.await(socket.events)) return false;
        if (outputPending_ && !flush()) return false;
        if (PQstatus(conn_) == CONNECTION_BAD) {
            fail("connectionLost", "the connection was lost with %zu result(s) outstanding: %s",
                 outstanding, libpqText(PQerrorMessage(conn_)).c_str());
            return false;
        }
        return readReady() || failLostResults();
    }
    if (wait_.interruptedNow()) return false;
    int ready = poll(&socket, 1, 0);
    if (ready < 0) {
        if (errno == EINTR) return true;
        fail("pollFailed", "waiting for the server failed: %s", std::strerror(errno));
        return false;
    }
    if ((socket.revents & POLLOUT) && !flush()) return false;
    if ((socket.revents & (POLLIN | POLLHUP | POLLERR)) && !PQconsumeInput(conn_)) {
        fail("connectionLost", "the connection was lost with %zu result(s) outstanding: %s",
             outstanding, libpqText(PQerrorMessage(conn_)).c_str());
        return false;
    }
    return readReady() || failLostResults();
}

bool Pipeline::failLostResults() {
    fail("resultsLost", "the server's results ended with %zu result(s) outstanding",
         queuedCount() - received_);
    return false;
}

// Takes every result libpq has complete.  False when libpq has nothing
// more queued although the sync point's result is still to come.
bool Pipeline::readReady() {
    while (received_ < queuedCount() && !PQisBusy(conn_)) {
        PGresult* result = PQgetResult(conn_);
        if (result) {
            take(result);
            continue;
        }
        // A null ends one statement's results; a null with no result before
        // it means that libpq has nothing more queued, which before the sync
        // point is queued only says that every result so far is in.
        if (!resultTaken_) return !syncIsQueued();
        resultTaken_ = false;
        ++received_;
    }
    if (!recovering_) reportRows();
    return true;
}

// Items after the prepare are rows, up to the rows queued.
void Pipeline::reportRows() {
    size_t back = received_ > rowsQueued_ ? rowsQueued_ : (received_ > 0 ? received_ - 1 : 0);
    if (back == rows_)
        finishProgress(progress_, back);
    else
        advanceProgress(progress_, back);
}

// Why a statement's result was refused.
std::string failureReason(PGconn* conn, const PGresult* result, bool isCopy) {
    if (isCopy) return "a COPY cannot run in a batch";
    if (*PQresultErrorMessage(result)) return serverErrorText(conn, result);
    return "the statement did not return a command or query result";
}

void Pipeline::take(PGresult* result) {
    ResultOwner owner(result);
    ExecStatusType status = PQresultStatus(result);
    if (!isCommandOrTuples(status) && status != PGRES_PIPELINE_SYNC) failureSeen_ = true;
    size_t index = received_;
    Item item = itemAt(index);
    bool isCopy = status == PGRES_COPY_IN || status == PGRES_COPY_OUT || status == PGRES_COPY_BOTH;
    if (isCopy) leaveCopy(status);
    if (item == Item::sync) {  // no null follows the sync point's result
        syncArrived();
        ++received_;
        if (status != PGRES_PIPELINE_SYNC && !recovering_)
            fail("syncFailed", "the sync point failed (%s): %s", PQresStatus(status),
                 serverErrorText(conn_, result).c_str());
        return;
    }
    // Only a statement's first result counts: a COPY has a second.
    if (resultTaken_) return;
    resultTaken_ = true;
    bool accepted = isCommandOrTuples(status);
    if (item == Item::prepare) prepareOk_ = accepted;
    if (item == Item::closing) closingOk_ = accepted;
    // While recovering, results are only read: no failure's text is built.
    if (accepted || recovering_) return;
    switch (item) {
        case Item::prepare:
            fail("prepareFailed", "the statement could not be prepared (%s): %s",
                 PQresStatus(status), failureReason(conn_, result, isCopy).c_str());
            return;
        case Item::row:
            fail("rowFailed", "row %zu of %zu failed (%s): %s", index, rows_, PQresStatus(status),
                 failureReason(conn_, result, isCopy).c_str());
            return;
        case Item::closing:
            fail("closeFailed", "the prepared statement could not be released (%s): %s",
                 PQresStatus(status), failureReason(conn_, result, isCopy).c_str());
            return;
        default:
            return;
    }
}

// A statement that starts a COPY holds the connection in copy mode; end it
// so that the rest of the stream can be read.
void Pipeline::leaveCopy(ExecStatusType status) {
    if (status == PGRES_COPY_OUT) {
        char* row = nullptr;
        while (PQgetCopyData(conn_, &row, 0) > 0) PQfreemem(row);
        if (row) PQfreemem(row);
    } else {
        PQputCopyEnd(conn_, "COPY cannot run in a batch");
        copyInStarted_ = true;
    }
}

// A COPY FROM STDIN reads the next statement of the stream as copy data,
// and the server ends the connection over it: wait (a while) for that, so
// that the connection reports itself lost instead of failing later.
void Pipeline::awaitClose() {
    constexpr int kWaitMilliseconds = 10000;
    while (PQstatus(conn_) == CONNECTION_OK && PQsocket(conn_) >= 0 &&
           waitOnSocket(PQsocket(conn_), POLLIN, kWaitMilliseconds) == SocketWait::ready &&
           PQconsumeInput(conn_)) {
        while (!PQisBusy(conn_)) {
            PGresult* result = PQgetResult(conn_);
            if (!result) break;
            PQclear(result);
        }
    }
}

// On a lost connection libpq still answers for what was queued, with
// errors; pipeline mode can be left once they are taken.
void Pipeline::discardLeftovers() {
    size_t bound = 2 * queuedCount() + 8;
    for (size_t nulls = 0, n = 0; nulls < 2 && n < bound; ++n) {
        PGresult* result = PQgetResult(conn_);
        nulls = result ? 0 : nulls + 1;
        PQclear(result);
    }
}

// recover runs while an error unwinds, so it must not throw: it reads the
// rest of the stream without building text, and should memory run out all
// the same, it drops what libpq holds instead.
void Pipeline::recover() noexcept {
    bool entered = inPipeline();
    try {
        finishStream();
    } catch (...) {
        if (entered) dropStream();
    }
}

// Without allocating: a connection still in the stream afterwards refuses
// the next command with libpq's own error instead of ending the process.
void Pipeline::dropStream() noexcept {
    if (PQstatus(conn_) == CONNECTION_BAD) discardLeftovers();
    PQexitPipelineMode(conn_);
    if (!savedNonblocking_) PQsetnonblocking(conn_, 0);
}

void Pipeline::finishStream() {
    recovering_ = true;
    wait_.beginCleanup();
    if (!inPipeline()) return;
    bool alive = PQstatus(conn_) == CONNECTION_OK;
    if (alive && !syncIsQueued() && queuedCount() > 0) {
        if (prepareQueued_ && !closingQueued_)
            closingQueued_ = PQsendQueryParams(conn_, statement_.closing.c_str(), 0, nullptr,
                                               nullptr, nullptr, nullptr, 0) == 1;
        abandonQueued_ =
            PQsendQueryParams(conn_, kAbandonSql, 0, nullptr, nullptr, nullptr, nullptr, 0) == 1;
        queueSync();
    }
    if (syncIsQueued() && alive && flush())
        while (phase_ != Phase::synced && waitAndRead(true)) {
        }
    if (copyInStarted_) awaitClose();
    if (PQstatus(conn_) == CONNECTION_BAD) discardLeftovers();
    leave();
    // The prepared statement outlives a failed stream unless the closing
    // statement ran; it can be released now when no transaction is open.
    if (prepareOk_ && !closingOk_ && PQstatus(conn_) == CONNECTION_OK &&
        PQtransactionStatus(conn_) == PQTRANS_IDLE && PQpipelineStatus(conn_) == PQ_PIPELINE_OFF &&
        PQsendQuery(conn_, statement_.closing.c_str()))
        drainToIdle(wait_);
    if (!savedNonblocking_) PQsetnonblocking(conn_, 0);
}

}  // namespace

void runPipeline(PGconn* conn, PGparam* param, const BatchStatement& statement, size_t rows,
                 const RowBuilder& builder, Progress& progress) {
    Pipeline pipeline(conn, param, statement, rows, builder, progress);
    try {
        pipeline.run();
    } catch (GatewayError& error) {
        pipeline.recover();
        noteLostConnection(conn, error);
        // A progress function's error interrupted the stream, which the
        // server may have completed by then.
        if (pipeline.interrupted())
            error.message += pipeline.completed()
                                 ? "; the server had already completed the batch: its changes "
                                   "are kept"
                                 : "; the server stopped the batch";
        throw;
    } catch (...) {
        pipeline.recover();
        throw;
    }
    if (pipeline.interrupted()) {
        pipeline.recover();
        raiseInterrupted(pipeline.serverWait(), !pipeline.completed(), "the batch");
    }
}

}  // namespace vorlex
