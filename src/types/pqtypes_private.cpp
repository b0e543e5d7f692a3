// pqtypes_private.cpp - the named operations on libpqtypes' private
// structures: the only file that reads or writes them.
#include "types/pqtypes_private.hpp"

#include <climits>
#include <cstdlib>
#include <new>
#include <string>

#include "host/errors.hpp"
#include "types/pqtypes_layout.hpp"

namespace vorlex {

namespace {

TypeHandlers handlersOf(const PqtTypeData* data) {
    if (!data) return {nullptr, 0, nullptr};
    return {data->typhandlers, data->typhcnt, &data->fmtinfo};
}

PqtParamValue& valueAt(PGparam* param, int slot) { return param->vals[slot]; }

}  // namespace

TypeHandlers connectionTypeHandlers(const PGconn* conn) {
    return handlersOf(connectionTypeData(conn));
}

TypeHandlers resultTypeHandlers(const PGresult* result) {
    return handlersOf(resultTypeData(result));
}

TypeHandlers paramTypeHandlers(const PGparam* param) {
    return {param->typhandlers, param->typhcnt, &param->fmtinfo};
}

PGtypeHandler* findTypeHandler(const PGconn* conn, const char* schema, const char* name) {
    PqtTypeData* data = connectionTypeData(conn);
    if (!data) return nullptr;
    return pqt_gethandler(data->typhandlers, data->typhcnt, schema, name);
}

bool reserveTypeHandlers(PGconn* conn, int extra) {
    PqtTypeData* data = connectionTypeData(conn);
    if (!data || data->typhmax - data->typhcnt >= extra) return true;
    int wanted = data->typhcnt + extra;
    // libpqtypes allocates the array with malloc and grows it with realloc.
    void* grown = std::realloc(data->typhandlers, sizeof(PGtypeHandler) * wanted);
    if (!grown) return false;
    data->typhandlers = static_cast<PGtypeHandler*>(grown);
    data->typhmax = wanted;
    return true;
}

HiddenTypeHandlers::HiddenTypeHandlers(PGconn* conn) : data_(connectionTypeData(conn)) {
    auto* data = static_cast<PqtTypeData*>(data_);
    if (!data) return;
    handlers_ = data->typhcnt;
    specs_ = data->typspeccnt;
    data->typhcnt = 0;
    data->typspeccnt = 0;
}

HiddenTypeHandlers::~HiddenTypeHandlers() {
    auto* data = static_cast<PqtTypeData*>(data_);
    if (!data) return;
    data->typhcnt = handlers_;
    data->typspeccnt = specs_;
}

const char* parseTypeSpecifier(const char* format, const TypeHandlers& handlers,
                               SpecifierParse& parse) {
    parse.handler = nullptr;
    parse.flags = 0;
    size_t statementPosition = 0;
    return pqt_parse(format, handlers.handlers, handlers.count, nullptr, 0, &parse.handler,
                     &statementPosition, &parse.position, &parse.flags);
}

Oid paramValueOid(const PGparam* param, int slot) { return param->vals[slot].oid; }

ParamSlot paramSlot(PGparam* param, int slot) {
    return {&valueAt(param, slot), &param->fmtinfo};
}

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

}  // namespace vorlex
