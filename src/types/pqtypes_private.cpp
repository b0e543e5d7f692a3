// SPDX-License-Identifier: BSD-3-Clause
// pqtypes_private.cpp - the named operations on libpqtypes' private
// structures: the only file that reads or writes them.
#include "types/pqtypes_private.hpp"

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <map>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "host/errors.hpp"
#include "host/owners.hpp"
#include "types/pqtypes_layout.hpp"
#include "types/wire.hpp"

namespace vorlex {

// A specifier as parsed against a copy's handlers: what it consumed of the
// format, the handler found, its flags, and how far it moved the position.
// The handler is the copy's at `handler`, or libpqtypes' built-in of that
// id when `builtIn`; -1: none.
struct KnownSpecifier {
    size_t length;
    int handler;
    bool builtIn;
    int flags;
    int positionStep;
};

// The copy of a connection's handlers and prepared specifiers that the
// connection and its results share, and the specifiers parsed against it
// (the copy never changes), by the format from the specifier on.
struct SharedTypeData {
    int references;
    int handlerCount;
    PGtypeHandler* handlers;
    int specCount;
    PqtPreparedSpec* specs;
    std::map<std::string, KnownSpecifier, std::less<>> parsed;
};

namespace {

TypeHandlers handlersOf(const PqtTypeData* data) {
    if (!data) return {nullptr, 0, nullptr};
    return {data->typhandlers, data->typhcnt, &data->fmtinfo};
}

PqtParamValue& valueAt(PGparam* param, int slot) { return param->vals[slot]; }

int sharingAfter(PGEventId id, void* info, void*);
// The connection's type data, with any counts hidden from libpqtypes
// while it made a result given back.
PqtTypeData* visibleTypeData(const PGconn* conn);

// The shared copy that each parameter set made by createParam copies, index
// for index: a set copies its connection's handlers, which after connect
// are the shared copy's.  An entry of a set since cleared stays until
// createParam makes a set at its address or its copy goes; only sets made
// there are looked up.  Never destroyed: a copy may go after the module's
// static objects have.
std::unordered_map<const PGparam*, SharedTypeData*>& paramCopies() {
    static auto* copies = new std::unordered_map<const PGparam*, SharedTypeData*>();
    return *copies;
}

// Sets made and cleared by the thousand leave entries behind; forgetting
// them all now and then only costs the sets made before a parse or two.
constexpr size_t kMostParamCopies = 1024;

}  // namespace

TypeHandlers connectionTypeHandlers(const PGconn* conn) {
    return handlersOf(visibleTypeData(conn));
}

TypeHandlers resultTypeHandlers(const PGresult* result) {
    TypeHandlers handlers = handlersOf(resultTypeData(result));
    auto* shared = static_cast<SharedTypeData*>(PQresultInstanceData(result, sharingAfter));
    if (shared && shared->handlers == handlers.handlers) handlers.shared = shared;
    return handlers;
}

TypeHandlers paramTypeHandlers(const PGparam* param) {
    TypeHandlers handlers{param->typhandlers, param->typhcnt, &param->fmtinfo};
    auto& copies = paramCopies();
    auto found = copies.find(param);
    if (found != copies.end() && found->second->handlerCount == param->typhcnt)
        handlers.shared = found->second;
    return handlers;
}

PGtypeHandler* findTypeHandler(const PGconn* conn, const char* schema, const char* name) {
    PqtTypeData* data = visibleTypeData(conn);
    if (!data) return nullptr;
    return pqt_gethandler(data->typhandlers, data->typhcnt, schema, name);
}

bool reserveTypeHandlers(PGconn* conn, int extra) {
    PqtTypeData* data = visibleTypeData(conn);
    if (!data || data->typhmax - data->typhcnt >= extra) return true;
    int wanted = data->typhcnt + extra;
    // libpqtypes allocates the array with malloc and grows it with realloc.
    void* grown = std::realloc(data->typhandlers, sizeof(PGtypeHandler) * wanted);
    if (!grown) return false;
    data->typhandlers = static_cast<PGtypeHandler*>(grown);
    data->typhmax = wanted;
    return true;
}

namespace {

// Formats seen against one copy are few; an endless variety is forgotten
// now and then rather than kept.
constexpr size_t kMostKnownSpecifiers = 256;

void releaseShared(SharedTypeData* shared) {
    if (--shared->references > 0) return;
    auto& copies = paramCopies();
    for (auto entry = copies.begin(); entry != copies.end();)
        entry = entry->second == shared ? copies.erase(entry) : std::next(entry);
    pqt_freehandlers(shared->handlers, shared->handlerCount);
    pqt_freespecs(shared->specs, shared->specCount);
    delete shared;
}

SharedTypeData* copyTypeData(PqtTypeData& data) {
    auto* shared =
        new (std::nothrow) SharedTypeData{1, data.typhcnt, nullptr, data.typspeccnt, nullptr, {}};
    if (!shared) return nullptr;
    if (data.typhcnt > 0) shared->handlers = pqt_duphandlers(data.typhandlers, data.typhcnt);
    if (data.typspeccnt > 0) shared->specs = pqt_dupspecs(data.typspecs, data.typspeccnt);
    if ((data.typhcnt > 0 && !shared->handlers) || (data.typspeccnt > 0 && !shared->specs)) {
        releaseShared(shared);
        return nullptr;
    }
    return shared;
}

// A connection's side of the sharing: its copy (null until shareTypeData),
// and the counts hidden from libpqtypes while it makes a result.
struct ConnectionSharing {
    SharedTypeData* shared;
    bool hiding;
    int hiddenHandlers;
    int hiddenSpecs;
};

// libpq calls a connection's event procedures in the order they were
// registered: this one before libpqtypes', sharingAfter after it.  Around
// libpqtypes' handling of a new result, the connection's counts read 0, so
// that it copies nothing; then the result gets the shared copy.  When the
// result goes, the copy is taken back before libpqtypes frees the rest.
int sharingBefore(PGEventId id, void* info, void*);

// Gives the connection back the counts hidden from libpqtypes.  Older
// libpq stops calling a result's event procedures at the first that fails
// (libpqtypes' own, out of memory), so sharingAfter may not see that
// result: then the counts come back at the connection's next event or the
// module's next look at its type data, whichever is first.  Hidden for
// good, they would leave the connection without its types and its
// handlers unfreed.
void revealCounts(const PGconn* conn) {
    auto* sharing = static_cast<ConnectionSharing*>(PQinstanceData(conn, sharingBefore));
    if (!sharing || !sharing->hiding) return;
    PqtTypeData* data = connectionTypeData(conn);
    data->typhcnt = sharing->hiddenHandlers;
    data->typspeccnt = sharing->hiddenSpecs;
    sharing->hiding = false;
}

PqtTypeData* visibleTypeData(const PGconn* conn) {
    revealCounts(conn);
    return connectionTypeData(conn);
}

int sharingAfter(PGEventId id, void* info, void*) {
    if (id != PGEVT_RESULTCREATE) return 1;
    auto& event = *static_cast<PGEventResultCreate*>(info);
    auto* sharing = static_cast<ConnectionSharing*>(PQinstanceData(event.conn, sharingBefore));
    if (!sharing || !sharing->hiding) return 1;
    revealCounts(event.conn);
    PqtTypeData* own = resultTypeData(event.result);
    if (!own || own->typhandlers || own->typspecs) return 1;
    SharedTypeData* shared = sharing->shared;
    own->typhandlers = shared->handlers;
    own->typhcnt = own->typhmax = shared->handlerCount;
    own->typspecs = shared->specs;
    own->typspeccnt = own->typspecmax = shared->specCount;
    ++shared->references;
    PQresultSetInstanceData(event.result, sharingAfter, shared);
    return 1;
}

int sharingBefore(PGEventId id, void* info, void*) {
    switch (id) {
        case PGEVT_REGISTER: {
            PGconn* conn = static_cast<PGEventRegister*>(info)->conn;
            auto* sharing = new (std::nothrow) ConnectionSharing{nullptr, false, 0, 0};
            return sharing && PQsetInstanceData(conn, sharingBefore, sharing);
        }
        case PGEVT_CONNRESET:
            revealCounts(static_cast<PGEventConnReset*>(info)->conn);
            return 1;
        case PGEVT_CONNDESTROY: {
            PGconn* conn = static_cast<PGEventConnDestroy*>(info)->conn;
            revealCounts(conn);
            auto* sharing = static_cast<ConnectionSharing*>(PQinstanceData(conn, sharingBefore));
            if (!sharing) return 1;
            if (sharing->shared) releaseShared(sharing->shared);
            delete sharing;
            return 1;
        }
        case PGEVT_RESULTCREATE: {
            PGconn* conn = static_cast<PGEventResultCreate*>(info)->conn;
            auto* sharing = static_cast<ConnectionSharing*>(PQinstanceData(conn, sharingBefore));
            PqtTypeData* data = visibleTypeData(conn);
            if (!sharing || !sharing->shared || !data) return 1;
            sharing->hiding = true;
            sharing->hiddenHandlers = data->typhcnt;
            sharing->hiddenSpecs = data->typspeccnt;
            data->typhcnt = 0;
            data->typspeccnt = 0;
            return 1;
        }
        case PGEVT_RESULTDESTROY: {
            const PGresult* result = static_cast<PGEventResultDestroy*>(info)->result;
            auto* shared = static_cast<SharedTypeData*>(PQresultInstanceData(result, sharingAfter));
            PqtTypeData* own = resultTypeData(result);
            if (!shared || !own) return 1;
            own->typhandlers = nullptr;
            own->typhcnt = own->typhmax = 0;
            own->typspecs = nullptr;
            own->typspeccnt = own->typspecmax = 0;
            releaseShared(shared);
            return 1;
        }
        default:
            return 1;
    }
}

}  // namespace

TypeHandlers sharedTypeHandlers(const PGconn* conn) {
    TypeHandlers handlers = connectionTypeHandlers(conn);
    auto* sharing = static_cast<ConnectionSharing*>(PQinstanceData(conn, sharingBefore));
    if (!handlers.handlers || !sharing || !sharing->shared || !sharing->shared->handlers)
        return handlers;
    SharedTypeData* shared = sharing->shared;
    return {shared->handlers, shared->handlerCount, handlers.server, shared};
}

namespace {

constexpr Oid kInt4Oid = 23;
constexpr int32_t kProbeValue = 0x01020304;

// The probe value as the set holds it, and the set's type data as the
// connection's, both with the server's version.
bool probeFound(PGparam* param, const PqtTypeData* data, int serverVersion) {
    if (PQparamCount(param) != 1 || param->vcnt != 1 || param->vmax < 1 || !param->vals)
        return false;
    const PqtParamValue& value = param->vals[0];
    return value.oid == kInt4Oid && value.datal == 4 && value.format == 1 && value.data &&
           loadBig32(value.data) == static_cast<uint32_t>(kProbeValue) && data &&
           data->typhcnt == 0 && data->typspeccnt == 0 && param->typhcnt == 0 &&
           param->typspeccnt == 0 && data->fmtinfo.sversion == serverVersion &&
           param->fmtinfo.sversion == serverVersion &&
           param->fmtinfo.pversion == data->fmtinfo.pversion;
}

// Built-in handlers hold ids 0 up to kBuiltinHandlerCount, int4 among them.
bool builtInsAsCounted(const PqtTypeData& data) {
    PGtypeHandler* int4 = pqt_gethandler(data.typhandlers, data.typhcnt, "pg_catalog", "int4");
    PGtypeHandler* last =
        pqt_gethandlerbyid(data.typhandlers, data.typhcnt, kBuiltinHandlerCount - 1);
    return int4 && int4->typoid == kInt4Oid && int4->id >= 0 && int4->id < kBuiltinHandlerCount &&
           pqt_gethandlerbyid(data.typhandlers, data.typhcnt, int4->id) == int4 && last &&
           last->id == kBuiltinHandlerCount - 1 &&
           !pqt_gethandlerbyid(data.typhandlers, data.typhcnt, kBuiltinHandlerCount);
}

}  // namespace

TypesLayout checkTypesLayout(PGconn* conn) {
    const PqtTypeData* data = visibleTypeData(conn);
    if (!data) return TypesLayout::unknown;
    ParamOwner param(PQparamCreate(conn));
    if (!param) throw std::bad_alloc();
    if (!PQputf(param.get(), "%int4", kProbeValue) ||
        !probeFound(param.get(), data, PQserverVersion(conn)))
        return TypesLayout::unknown;
    return builtInsAsCounted(*data) ? TypesLayout::known : TypesLayout::builtInsDiffer;
}

bool prepareTypeSharing(PGconn* conn) {
    return PQregisterEventProc(conn, sharingBefore, "vorlex type sharing", nullptr) != 0;
}

PGparam* createParam(PGconn* conn) {
    revealCounts(conn);  // PQparamCreate copies the handlers it counts
    ParamOwner param(PQparamCreate(conn));
    if (!param) return nullptr;
    auto& copies = paramCopies();
    auto* sharing = static_cast<ConnectionSharing*>(PQinstanceData(conn, sharingBefore));
    SharedTypeData* shared = sharing ? sharing->shared : nullptr;
    if (shared && param->typhcnt == shared->handlerCount) {
        if (copies.size() >= kMostParamCopies) copies.clear();
        copies[param.get()] = shared;
    } else {
        copies.erase(param.get());
    }
    return param.release();
}

bool shareTypeData(PGconn* conn) {
    auto* sharing = static_cast<ConnectionSharing*>(PQinstanceData(conn, sharingBefore));
    PqtTypeData* data = visibleTypeData(conn);
    if (!sharing || !data || sharing->shared) return false;
    if (!PQregisterEventProc(conn, sharingAfter, "vorlex shared types", nullptr)) return false;
    sharing->shared = copyTypeData(*data);
    return sharing->shared != nullptr;
}

namespace {

PGtypeHandler* knownHandler(const TypeHandlers& handlers, const KnownSpecifier& specifier) {
    if (specifier.handler < 0) return nullptr;
    if (specifier.builtIn)
        return pqt_gethandlerbyid(handlers.handlers, handlers.count, specifier.handler);
    return &handlers.handlers[specifier.handler];
}

// What to keep of a parse, or nothing when its handler is neither the
// copy's nor a built-in.
std::optional<KnownSpecifier> keptParse(const TypeHandlers& handlers, const SpecifierParse& parse,
                                        size_t length, int positionStep) {
    KnownSpecifier kept{length, -1, false, parse.flags, positionStep};
    const PGtypeHandler* found = parse.handler;
    if (!found) return kept;
    if (found >= handlers.handlers && found < handlers.handlers + handlers.count) {
        kept.handler = static_cast<int>(found - handlers.handlers);
    } else if (found->id >= 0 && found->id < kBuiltinHandlerCount &&
               pqt_gethandlerbyid(handlers.handlers, handlers.count, found->id) == found) {
        kept.handler = found->id;
        kept.builtIn = true;
    } else {
        return std::nullopt;
    }
    return kept;
}

const char* parseWithLibpqtypes(const char* format, const TypeHandlers& handlers,
                                SpecifierParse& parse) {
    parse.handler = nullptr;
    parse.flags = 0;
    size_t statementPosition = 0;
    return pqt_parse(format, handlers.handlers, handlers.count, nullptr, 0, &parse.handler,
                     &statementPosition, &parse.position, &parse.flags);
}

}  // namespace

const char* parseTypeSpecifier(const char* format, const TypeHandlers& handlers,
                               SpecifierParse& parse) {
    SharedTypeData* shared = handlers.shared;
    if (!shared) return parseWithLibpqtypes(format, handlers, parse);
    auto known = shared->parsed.find(std::string_view(format));
    if (known != shared->parsed.end()) {
        const KnownSpecifier& specifier = known->second;
        parse.handler = knownHandler(handlers, specifier);
        parse.flags = specifier.flags;
        parse.position += specifier.positionStep;
        return format + specifier.length;
    }
    int position = parse.position;
    const char* rest = parseWithLibpqtypes(format, handlers, parse);
    if (!rest) return rest;
    std::optional<KnownSpecifier> kept =
        keptParse(handlers, parse, static_cast<size_t>(rest - format), parse.position - position);
    if (!kept) return rest;
    if (shared->parsed.size() >= kMostKnownSpecifiers) shared->parsed.clear();
    shared->parsed.emplace(format, *kept);
    return rest;
}

Oid paramValueOid(const PGparam* param, int slot) { return param->vals[slot].oid; }

ParamSlot paramSlot(PGparam* param, int slot) { return {&valueAt(param, slot), &param->fmtinfo}; }

char* writeSlotValue(void* slot, size_t size) {
    auto& value = *static_cast<PqtParamValue*>(slot);
    // libpq sends a value with a null data pointer as NULL, whatever its
    // length: an empty value points at an empty text.
    static char empty[1] = "";
    if (size > static_cast<size_t>(INT_MAX)) throw std::bad_alloc();
    if (static_cast<size_t>(value.ptrl) < size) {
        void* grown = std::realloc(value.ptr, size);
        if (!grown) throw std::bad_alloc();
        value.ptr = grown;
        value.ptrl = static_cast<int>(size);
    }
    value.data = size ? static_cast<char*>(value.ptr) : empty;
    value.datal = static_cast<int>(size);
    value.format = 1;  // every value the module puts travels in binary
    return value.data;
}

void setSlotNull(PGparam* param, int slot) {
    PqtParamValue& value = valueAt(param, slot);
    value.datal = -1;
    value.data = nullptr;
}

void dropLastValue(PGparam* param) {
    if (param->vcnt > 0) --param->vcnt;
}

void appendNullValue(PGparam* param, Oid oid) {
    if (param->vcnt == param->vmax) {
        // Grown as libpqtypes grows it, by half, new slots zeroed: its
        // PQparamClear frees every slot's buffer up to vmax, then the array.
        int vmax = param->vmax ? param->vmax + param->vmax / 2 + 1 : 16;
        auto* vals = static_cast<PqtParamValue*>(
            std::realloc(param->vals, sizeof(PqtParamValue) * static_cast<size_t>(vmax)));
        if (!vals) throw std::bad_alloc();
        std::memset(vals + param->vmax, 0,
                    sizeof(PqtParamValue) * static_cast<size_t>(vmax - param->vmax));
        param->vals = vals;
        param->vmax = vmax;
    }
    PqtParamValue& value = param->vals[param->vcnt++];
    value.datal = -1;
    value.data = nullptr;
    value.format = 1;
    value.oid = oid;
}

void fillParamArrays(const PGparam* param, ParamArrays& arrays) {
    size_t count = param ? static_cast<size_t>(param->vcnt) : 0;
    arrays.types.resize(count);
    arrays.values.resize(count);
    arrays.lengths.resize(count);
    arrays.wireFormats.resize(count);
    for (size_t i = 0; i < count; ++i) {
        const PqtParamValue& value = param->vals[i];
        arrays.types[i] = value.oid;
        arrays.values[i] = value.datal < 0 ? nullptr : value.data;
        arrays.lengths[i] = value.datal < 0 ? 0 : value.datal;
        arrays.wireFormats[i] = value.format;
    }
}

}  // namespace vorlex
