// SPDX-License-Identifier: BSD-3-Clause
// Tests of the handle registry on real libpq objects made without a server:
// issuing, lookup, refusal of foreign and released handles, release and the
// shared parameter set; and the checks made on handle arguments.
#include "handles/registry.hpp"

#include <gtest/gtest.h>

#include <vector>

#include "handles/handle_set.hpp"
#include "host/errors.hpp"
#include "test_support.hpp"

namespace vorlex {
namespace {

ResultOwner newResult() { return ResultOwner(PQmakeEmptyPGresult(nullptr, PGRES_COMMAND_OK)); }
ConnectionOwner newConnection() {
    // Never reaches a server: enough for an object that PQfinish releases
    // and that parameter sets can be made for.
    ConnectionOwner conn(PQconnectStart("host=/nonexistent-vorlex-test dbname=none"));
    PQinitTypes(conn.get());
    return conn;
}

class Registry : public ::testing::Test {
  protected:
    CommandScope scope{"status"};
    void TearDown() override {
        EXPECT_EQ(liveCount(HandleKind::connection), 0);
        EXPECT_EQ(liveCount(HandleKind::result), 0);
        EXPECT_EQ(liveCount(HandleKind::param), 0);
        EXPECT_EQ(liveCount(HandleKind::cursor), 0);
    }
};

TEST_F(Registry, IssuesFreshNumbersThatMapBackToTheirObjects) {
    ResultOwner first = newResult();
    PGresult* firstObject = first.get();
    uint32_t a = registerResult(std::move(first));
    uint32_t b = registerResult(newResult());
    EXPECT_NE(a, 0u);
    EXPECT_GT(b, a);
    EXPECT_EQ(findLive(HandleKind::result, a, 2), firstObject);
    EXPECT_EQ(liveCount(HandleKind::result), 2);
    releaseHandle(HandleKind::result, a, 2);
    // Never reused, even though the same address may come back.
    uint32_t c = registerResult(newResult());
    EXPECT_GT(c, b);
    expectRaises("vorlex:status:unknownResult", [&] { findLive(HandleKind::result, a, 2); });
    releaseHandle(HandleKind::result, b, 2);
    releaseHandle(HandleKind::result, c, 2);
}

TEST_F(Registry, RefusesUnknownNumbersWithNoneLiveOrNotLive) {
    expectRaises("vorlex:status:noConnections", [] { findLive(HandleKind::connection, 12345, 2); });
    expectRaises("vorlex:status:noConnections",
                 [] { releaseHandle(HandleKind::connection, 12345, 2); });
    uint32_t conn = registerConnection(newConnection());
    expectRaises("vorlex:status:unknownConnection",
                 [] { findLive(HandleKind::connection, 12345, 2); });
    EXPECT_NE(raisedMessage([] {
                  findLive(HandleKind::connection, 12345, 3);
              }).find("argument 3 (12345)"),
              std::string::npos);
    releaseHandle(HandleKind::connection, conn, 2);
    expectRaises("vorlex:status:noConnections",
                 [&] { releaseHandle(HandleKind::connection, conn, 2); });
}

TEST_F(Registry, HandlesOfOneKindAreRefusedAsAnother) {
    uint32_t conn = registerConnection(newConnection());
    uint32_t result = registerResult(newResult());
    uint32_t param = registerParam(
        ParamOwner(PQparamCreate(static_cast<PGconn*>(findLive(HandleKind::connection, conn, 2)))));
    expectRaises("vorlex:status:unknownResult", [&] { findLive(HandleKind::result, conn, 2); });
    expectRaises("vorlex:status:unknownConnection",
                 [&] { findLive(HandleKind::connection, result, 2); });
    expectRaises("vorlex:status:unknownParam", [&] { findLive(HandleKind::param, result, 2); });
    expectRaises("vorlex:status:unknownResult",
                 [&] { releaseHandle(HandleKind::result, param, 2); });
    EXPECT_EQ(liveCount(HandleKind::param), 1);
    releaseHandle(HandleKind::param, param, 2);
    releaseHandle(HandleKind::result, result, 2);
    releaseHandle(HandleKind::connection, conn, 2);
}

// Registration that fails releases the object it was given (the sanitizer
// run reports it otherwise) and leaves no set behind.
TEST_F(Registry, FailedRegistrationReleasesTheObject) {
    void* (*savedAllocate)(size_t) = setAllocate;
    setAllocate = [](size_t) -> void* { return nullptr; };
    expectRaises("vorlex:status:registryCreate", [] { registerResult(newResult()); });
    setAllocate = savedAllocate;
    EXPECT_EQ(liveCount(HandleKind::result), 0);
    expectRaises("vorlex:status:noResults", [] { findLive(HandleKind::result, 1, 2); });

    uint32_t first = registerResult(newResult());
    setAllocate = [](size_t) -> void* { return nullptr; };
    std::string message = raisedMessage([] { registerResult(newResult()); });
    setAllocate = savedAllocate;
    EXPECT_NE(message.find("error 1001"), std::string::npos) << message;
    EXPECT_EQ(liveCount(HandleKind::result), 1);
    releaseHandle(HandleKind::result, first, 2);
}

// --- handle arguments, on real mxArrays ---------------------------------------

// Owns the arrays a test makes, as the host would at the end of a call.
struct ArrayPool {
    std::vector<mxArray*> arrays;
    ~ArrayPool() {
        for (mxArray* array : arrays) mxDestroyArray(array);
    }
    mxArray* keep(mxArray* array) {
        arrays.push_back(array);
        return array;
    }
    mxArray* uint32Array(size_t rows, size_t cols, uint32_t first) {
        mxArray* array = keep(mxCreateNumericMatrix(rows, cols, mxUINT32_CLASS, mxREAL));
        if (rows > 0 && cols > 0) static_cast<uint32_t*>(mxGetData(array))[0] = first;
        return array;
    }
};

TEST_F(Registry, HandleArgumentsAreCheckedInOrder) {
    uint32_t conn = registerConnection(newConnection());
    PGconn* object = static_cast<PGconn*>(findLive(HandleKind::connection, conn, 2));
    const mxArray* args[1];
    ArrayPool pool;

    args[0] = pool.keep(mxCreateDoubleScalar(conn));
    expectRaises("vorlex:status:connectionClass", [&] { connectionArg(args, 0, RowRule::oneRow); });
    args[0] = pool.keep(mxCreateString("1"));
    expectRaises("vorlex:status:connectionClass",
                 [&] { connectionArg(args, 0, RowRule::anyRows); });

    args[0] = pool.uint32Array(2, 1, conn);
    expectRaises("vorlex:status:connectionRows", [&] { connectionArg(args, 0, RowRule::oneRow); });
    EXPECT_EQ(connectionArg(args, 0, RowRule::anyRows), object);  // first element only

    args[0] = pool.uint32Array(1, 3, conn);
    EXPECT_EQ(connectionArg(args, 0, RowRule::oneRow), object);

    args[0] = pool.uint32Array(1, 0, 0);
    expectRaises("vorlex:status:connectionEmpty", [&] { connectionArg(args, 0, RowRule::oneRow); });
    args[0] = pool.uint32Array(0, 0, 0);
    expectRaises("vorlex:status:connectionEmpty",
                 [&] { connectionArg(args, 0, RowRule::anyRows); });
    expectRaises("vorlex:status:connectionRows", [&] { connectionArg(args, 0, RowRule::oneRow); });

    args[0] = pool.uint32Array(1, 1, conn);
    expectRaises("vorlex:status:noResults", [&] { resultArg(args, 0, RowRule::oneRow); });
    uint32_t result = registerResult(newResult());
    expectRaises("vorlex:status:unknownResult", [&] { resultArg(args, 0, RowRule::oneRow); });
    EXPECT_NE(raisedMessage([&] { resultArg(args, 0, RowRule::oneRow); }).find("argument 2"),
              std::string::npos);
    releaseHandle(HandleKind::result, result, 2);

    releaseHandleArg(HandleKind::connection, args, 0, RowRule::anyRows);
    expectRaises("vorlex:status:noConnections", [&] { connectionArg(args, 0, RowRule::oneRow); });
}

// A cursor holds its connection until it ends, which releases its state
// once; its handle lives until close.  Each row: how the cursor ends.
TEST_F(Registry, CursorsHoldTheirConnectionUntilTheyEnd) {
    enum class Ending { itself, finish, close };
    for (Ending ending : {Ending::itself, Ending::finish, Ending::close}) {
        static int released;
        released = 0;
        uint32_t conn = registerConnection(newConnection());
        uint32_t cursor = registerCursor(
            new int(0), [](void* state) { delete static_cast<int*>(state), ++released; }, conn);
        ArrayPool pool;
        const mxArray* connArgs[] = {pool.uint32Array(1, 1, conn)};
        const mxArray* cursorArgs[] = {pool.uint32Array(1, 1, cursor)};
        expectRaises("vorlex:status:cursorOpen",
                     [&] { connectionArg(connArgs, 0, RowRule::oneRow); });
        EXPECT_NE(anyConnectionArg(connArgs, 0, RowRule::oneRow), nullptr);
        EXPECT_EQ(openCursorArg(cursorArgs, 0).conn,
                  anyConnectionArg(connArgs, 0, RowRule::oneRow));
        if (ending == Ending::itself) endCursor(cursor, "has returned its last rows");
        if (ending == Ending::finish) releaseHandle(HandleKind::connection, conn, 2);
        if (ending == Ending::close) releaseHandle(HandleKind::cursor, cursor, 2);
        EXPECT_EQ(released, 1);
        if (ending != Ending::close) {
            expectRaises("vorlex:status:cursorDone", [&] { openCursorArg(cursorArgs, 0); });
            releaseHandle(HandleKind::cursor, cursor, 2);
            EXPECT_EQ(released, 1);
        }
        if (ending != Ending::finish) {
            EXPECT_NE(connectionArg(connArgs, 0, RowRule::oneRow), nullptr);
            releaseHandle(HandleKind::connection, conn, 2);
        }
    }
}

TEST_F(Registry, CreatedHandleIsOneByOneUint32) {
    mxArray* handle = createHandle(77);
    EXPECT_TRUE(mxIsUint32(handle));
    EXPECT_EQ(mxGetM(handle), 1u);
    EXPECT_EQ(mxGetN(handle), 1u);
    EXPECT_EQ(*static_cast<uint32_t*>(mxGetData(handle)), 77u);
    mxDestroyArray(handle);
}

}  // namespace
}  // namespace vorlex
