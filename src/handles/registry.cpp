// SPDX-License-Identifier: BSD-3-Clause
// registry.cpp - handle numbers, live sets and the shared parameter set.
#include "handles/registry.hpp"

#include <cstdlib>
#include <iterator>
#include <limits>
#include <string>
#include <unordered_map>
#include <utility>

#include "backend/host_cells.hpp"
#include "handles/handle_set.hpp"
#include "host/errors.hpp"
#include "host/host.hpp"

namespace vorlex {

namespace {

struct KindInfo {
    const char* noun;
    const char* releaseCommand;  // the command that releases such a handle
    const char* noneLiveCheck;
    const char* notLiveCheck;
    const char* classCheck;
    const char* rowsCheck;
    const char* emptyCheck;
    void (*release)(void* object);
};

void finishConnection(void* object) { PQfinish(static_cast<PGconn*>(object)); }
void clearResult(void* object) { PQclear(static_cast<PGresult*>(object)); }
void clearParam(void* object) { PQparamClear(static_cast<PGparam*>(object)); }

// A cursor as the registry holds it; `state` is null once it has ended.
struct CursorEntry {
    void* state;
    CursorRelease release;
    uint32_t connection;
    const char* ended;  // why it ended
};

// The connection each open cursor reads on, by connection.
std::unordered_map<uint32_t, uint32_t> cursorOfConnection;

void releaseCursorState(CursorEntry& entry) {
    if (!entry.state) return;
    entry.release(std::exchange(entry.state, nullptr));
    cursorOfConnection.erase(entry.connection);
}

void closeCursor(void* object) {
    auto* entry = static_cast<CursorEntry*>(object);
    releaseCursorState(*entry);
    delete entry;
}

// Indexed by HandleKind.
const KindInfo kKinds[] = {
    {"connection", "finish", "noConnections", "unknownConnection", "connectionClass",
     "connectionRows", "connectionEmpty", finishConnection},
    {"result", "clear", "noResults", "unknownResult", "resultClass", "resultRows", "resultEmpty",
     clearResult},
    {"parameter set", "paramClear", "noParams", "unknownParam", "paramClass", "paramRows",
     "paramEmpty", clearParam},
    {"cursor", "close", "noCursors", "unknownCursor", "cursorClass", "cursorRows", "cursorEmpty",
     closeCursor},
};

struct KindRegistry {
    HandleSet* set;  // null while nothing of the kind is live
    int32_t live;
};

KindRegistry registries[std::size(kKinds)];
std::unordered_map<uint32_t, void*> objectsByHandle;
std::unordered_map<uint32_t, uint32_t> connectionOfResult;
// Only connections that saw an error have an entry.
std::unordered_map<const PGconn*, ServerErrorFields> lastErrors;

// A module loaded again in the same process (a rebuilt file the host
// reloads) goes on from the numbers the earlier load issued, which its exit
// left in the environment: a handle kept from before is refused, never
// taken for an object of the new load.
constexpr const char* kLastHandleVariable = "VORLEX_LAST_HANDLE";

uint32_t handlesIssuedBefore() {
    const char* text = std::getenv(kLastHandleVariable);
    unsigned long issued = text ? std::strtoul(text, nullptr, 10) : 0;
    return issued <= std::numeric_limits<uint32_t>::max() ? static_cast<uint32_t>(issued) : 0;
}

uint32_t lastHandle = handlesIssuedBefore();

const KindInfo& infoOf(HandleKind kind) { return kKinds[static_cast<int>(kind)]; }
KindRegistry& registryOf(HandleKind kind) { return registries[static_cast<int>(kind)]; }

// Keeps "no set while nothing is live" after a registration that failed.
void freeSetIfUnused(KindRegistry& registry) {
    if (registry.live == 0 && registry.set) {
        setFree(registry.set);
        registry.set = nullptr;
    }
}

uint32_t registerObject(HandleKind kind, void* object) {
    const KindInfo& info = infoOf(kind);
    KindRegistry& registry = registryOf(kind);
    if (lastHandle == std::numeric_limits<uint32_t>::max())
        raiseError("handlesExhausted", "all %u handle numbers of this session are used",
                   lastHandle);
    if (!registry.set) {
        registry.set = setNewOrdered();
        if (!registry.set)
            raiseError("registryCreate", "could not create the %s registry (error %d: %s)",
                       info.noun, setErrorCode, setErrorText);
    }
    uint32_t number = lastHandle + 1;
    if (setInsert(registry.set, number) < 0) {
        freeSetIfUnused(registry);
        raiseError("registryInsert", "could not register the new %s (error %d: %s)", info.noun,
                   setErrorCode, setErrorText);
    }
    try {
        objectsByHandle.emplace(number, object);
    } catch (...) {
        setRemove(registry.set, number);
        freeSetIfUnused(registry);
        throw;
    }
    lastHandle = number;
    registry.live++;
    return number;
}

// Registers what `owner` holds and takes it over only once that succeeded.
template <typename Owner>
uint32_t registerOwned(HandleKind kind, Owner owner) {
    uint32_t number = registerObject(kind, owner.get());
    owner.release();
    return number;
}

void requireLiveSet(HandleKind kind, int position) {
    const KindInfo& info = infoOf(kind);
    if (!registryOf(kind).set)
        raiseError(info.noneLiveCheck,
                   "argument %d: no %s is live (each was released with '%s' or never created)",
                   position, info.noun, info.releaseCommand);
}

[[noreturn]] void raiseNotLive(HandleKind kind, uint32_t number, int position) {
    const KindInfo& info = infoOf(kind);
    raiseError(info.notLiveCheck,
               "argument %d (%u) is not a live %s handle: never issued, released with '%s', "
               "or a handle of another kind",
               position, number, info.noun, info.releaseCommand);
}

uint32_t handleNumberArg(HandleKind kind, const mxArray* const prhs[], int index, RowRule rows) {
    const KindInfo& info = infoOf(kind);
    const mxArray* arg = prhs[index];
    int position = argPosition(index);
    requireHandleClass(kind, prhs, index);
    if (rows == RowRule::oneRow && mxGetM(arg) != 1)
        raiseError(info.rowsCheck, "argument %d must be one %s handle (1 row), not %zu rows",
                   position, info.noun, static_cast<size_t>(mxGetM(arg)));
    if (mxGetNumberOfElements(arg) == 0)
        raiseError(info.emptyCheck, "argument %d is an empty array, not a %s handle", position,
                   info.noun);
    // The value without the element pointer, which Octave records for the
    // call's end.
    return static_cast<uint32_t>(mxGetScalar(arg));
}

}  // namespace

void requireHandleClass(HandleKind kind, const mxArray* const prhs[], int index) {
    const KindInfo& info = infoOf(kind);
    if (!mxIsUint32(prhs[index]))
        raiseError(info.classCheck, "argument %d must be a %s handle (uint32), not %s",
                   argPosition(index), info.noun, mxGetClassName(prhs[index]));
}

uint32_t registerConnection(ConnectionOwner conn) {
    lastErrors.erase(conn.get());  // an address a finished connection had
    return registerOwned(HandleKind::connection, std::move(conn));
}

uint32_t registerResult(ResultOwner result, uint32_t connection) {
    uint32_t number = registerOwned(HandleKind::result, std::move(result));
    if (connection == 0) return number;
    try {
        connectionOfResult.emplace(number, connection);
    } catch (...) {  // the result goes, as it would had its registration failed
        releaseHandle(HandleKind::result, number, 0);
        throw;
    }
    return number;
}

uint32_t registerParam(ParamOwner param) {
    return registerOwned(HandleKind::param, std::move(param));
}

uint32_t registerCursor(void* state, CursorRelease release, uint32_t connection) {
    CursorEntry* entry;
    try {
        entry = new CursorEntry{state, release, connection, ""};
    } catch (...) {
        release(state);
        throw;
    }
    uint32_t number;
    try {
        number = registerObject(HandleKind::cursor, entry);
    } catch (...) {
        closeCursor(entry);
        throw;
    }
    try {
        cursorOfConnection[connection] = number;
    } catch (...) {
        releaseHandle(HandleKind::cursor, number, 0);
        throw;
    }
    return number;
}

void endCursor(uint32_t number, const char* why) {
    auto* entry = static_cast<CursorEntry*>(objectsByHandle.at(number));
    if (!entry->state) return;
    releaseCursorState(*entry);
    entry->ended = why;
}

void endConnectionCursor(uint32_t connection, const char* why) {
    auto open = cursorOfConnection.find(connection);
    if (open != cursorOfConnection.end()) endCursor(open->second, why);
}

void* findLive(HandleKind kind, uint32_t number, int position) {
    requireLiveSet(kind, position);
    if (!setContains(registryOf(kind).set, number)) raiseNotLive(kind, number, position);
    return objectsByHandle.at(number);
}

void releaseHandle(HandleKind kind, uint32_t number, int position) {
    requireLiveSet(kind, position);
    KindRegistry& registry = registryOf(kind);
    if (setRemove(registry.set, number) == 0) raiseNotLive(kind, number, position);
    auto entry = objectsByHandle.find(number);
    void* object = entry->second;
    objectsByHandle.erase(entry);
    if (kind == HandleKind::result) connectionOfResult.erase(number);
    if (kind == HandleKind::connection) {
        lastErrors.erase(static_cast<const PGconn*>(object));
        endConnectionCursor(number, "ended when its connection was finished");
    }
    infoOf(kind).release(object);
    if (--registry.live > 0) return;
    setFree(registry.set);
    registry.set = nullptr;
}

int32_t liveCount(HandleKind kind) { return registryOf(kind).live; }

void releaseEverything() {
    setenv(kLastHandleVariable, std::to_string(lastHandle).c_str(), 1);
    // Cursors, results and parameter sets first: none of them needs its
    // connection, but finishing connections last keeps the order of a
    // careful user.
    for (HandleKind kind :
         {HandleKind::cursor, HandleKind::result, HandleKind::param, HandleKind::connection}) {
        KindRegistry& registry = registryOf(kind);
        if (!registry.set) continue;
        for (auto entry = objectsByHandle.begin(); entry != objectsByHandle.end();) {
            if (!setContains(registry.set, entry->first)) {
                ++entry;
                continue;
            }
            infoOf(kind).release(entry->second);
            entry = objectsByHandle.erase(entry);
        }
        setFree(registry.set);
        registry.set = nullptr;
        registry.live = 0;
    }
    connectionOfResult.clear();
    cursorOfConnection.clear();
    lastErrors.clear();
}

void keepLastError(const PGconn* conn, ServerErrorFields fields) {
    lastErrors[conn] = std::move(fields);
}

const ServerErrorFields& lastErrorOf(const PGconn* conn) {
    static const ServerErrorFields none;
    auto entry = lastErrors.find(conn);
    return entry == lastErrors.end() ? none : entry->second;
}

namespace {

void requireNoCursor(uint32_t connection, const char* what) {
    auto open = cursorOfConnection.find(connection);
    if (open != cursorOfConnection.end())
        raiseError("cursorOpen",
                   "%s: connection %u is reading the rows of cursor %u; fetch them to the end "
                   "or close the cursor first",
                   what, connection, open->second);
}

}  // namespace

PGconn* resultConnection(uint32_t result) {
    auto link = connectionOfResult.find(result);
    HandleSet* connections = registryOf(HandleKind::connection).set;
    if (link == connectionOfResult.end() || !connections || !setContains(connections, link->second))
        return nullptr;
    requireNoCursor(link->second, "the result's connection");
    return static_cast<PGconn*>(objectsByHandle.at(link->second));
}

void* validateHandle(HandleKind kind, const mxArray* const prhs[], int index, RowRule rows) {
    uint32_t number = handleNumberArg(kind, prhs, index, rows);
    return findLive(kind, number, argPosition(index));
}

PGconn* anyConnectionArg(const mxArray* const prhs[], int index, RowRule rows) {
    return static_cast<PGconn*>(validateHandle(HandleKind::connection, prhs, index, rows));
}

PGconn* connectionArg(const mxArray* const prhs[], int index, RowRule rows) {
    PGconn* conn = anyConnectionArg(prhs, index, rows);
    std::string what = "argument " + std::to_string(argPosition(index));
    requireNoCursor(static_cast<uint32_t>(mxGetScalar(prhs[index])), what.c_str());
    return conn;
}

OpenCursor cursorArg(const mxArray* const prhs[], int index) {
    uint32_t number = handleNumberArg(HandleKind::cursor, prhs, index, RowRule::oneRow);
    auto* entry =
        static_cast<CursorEntry*>(findLive(HandleKind::cursor, number, argPosition(index)));
    if (!entry->state) return {number, nullptr, nullptr};
    return {number, entry->state, static_cast<PGconn*>(objectsByHandle.at(entry->connection))};
}

OpenCursor openCursorArg(const mxArray* const prhs[], int index) {
    OpenCursor cursor = cursorArg(prhs, index);
    if (!cursor.state)
        raiseError("cursorDone", "argument %d: cursor %u %s; close releases its handle",
                   argPosition(index), cursor.number,
                   static_cast<CursorEntry*>(objectsByHandle.at(cursor.number))->ended);
    return cursor;
}

PGresult* resultArg(const mxArray* const prhs[], int index, RowRule rows) {
    return static_cast<PGresult*>(validateHandle(HandleKind::result, prhs, index, rows));
}

PGparam* paramArg(const mxArray* const prhs[], int index, RowRule rows) {
    return static_cast<PGparam*>(validateHandle(HandleKind::param, prhs, index, rows));
}

void releaseHandleArg(HandleKind kind, const mxArray* const prhs[], int index, RowRule rows) {
    uint32_t number = handleNumberArg(kind, prhs, index, rows);
    releaseHandle(kind, number, argPosition(index));
}

mxArray* createHandle(uint32_t number) { return createUint32Scalar(number); }

}  // namespace vorlex
