// SPDX-License-Identifier: BSD-3-Clause
// param_commands.cpp - paramCreate, paramClear, paramReset, paramCount and
// paramPut: parameter sets filled from Octave values.
#include <libpqtypes.h>

#include <cstring>
#include <string>
#include <vector>

#include "handles/registry.hpp"
#include "host/command.hpp"
#include "host/errors.hpp"
#include "host/host.hpp"
#include "params/param_building.hpp"
#include "types/libpqtypes_error.hpp"
#include "types/pqtypes_private.hpp"
#include "types/type_tables.hpp"

namespace vorlex {

namespace {

// The class named in messages: of a wrapper's value field, else of the
// value itself.
std::string valueClassName(const mxArray* value) {
    if (mxIsStruct(value) && mxGetNumberOfElements(value) >= 1) {
        const mxArray* inner = mxGetField(value, 0, kValueField);
        if (inner) return mxGetClassName(inner);
    }
    return mxGetClassName(value);
}

bool isLogicalScalar(const mxArray* array) {
    return mxIsLogical(array) && mxGetNumberOfElements(array) == 1;
}

bool sameShape(const mxArray* a, const mxArray* b) {
    mwSize ndims = mxGetNumberOfDimensions(a);
    if (ndims != mxGetNumberOfDimensions(b)) return false;
    const mwSize* da = mxGetDimensions(a);
    const mwSize* db = mxGetDimensions(b);
    for (mwSize d = 0; d < ndims; ++d)
        if (da[d] != db[d]) return false;
    return true;
}

struct Unwrapped {
    const mxArray* value;
    const char* mask;
    bool isNull;
};

// A wrapper struct {value, valueIsNull [, rowIsNull]} carries a value with
// its element mask and NULL flag; anything else is the value itself.  A
// serbytea value is never unwrapped: it serialises any value, structs too.
Unwrapped unwrapValue(const ParamRecord& record, const mxArray* value) {
    Unwrapped plain{value, nullptr, false};
    if (!mxIsStruct(value) ||
        (record.isSerialised && std::strcmp(record.handler->typname, kSerializedTypeName) == 0))
        return plain;
    std::string name = contextOf(record);
    const char* context = name.c_str();
    if (mxGetNumberOfElements(value) != 1 || mxGetNumberOfDimensions(value) != 2 ||
        mxIsSparse(value))
        raiseError("wrapperShape", "%s: a value wrapper must be a 1x1 struct", context);
    const mxArray* inner = mxGetField(value, 0, kValueField);
    const mxArray* mask = mxGetField(value, 0, kMaskField);
    if (!inner)
        raiseError("wrapperNoValue", "%s: the wrapper has no field '%s'", context, kValueField);
    if (!mask)
        raiseError("wrapperNoMask", "%s: the wrapper has no field '%s'", context, kMaskField);
    if (!mxIsLogical(mask))
        raiseError("maskNotLogical", "%s: the wrapper's '%s' must be logical, not %s", context,
                   kMaskField, mxGetClassName(mask));
    const mxArray* nullFlag = mxGetField(value, 0, kNullFlagField);
    if (mxGetFieldNumber(value, kNullFlagField) >= 0 && (!nullFlag || !isLogicalScalar(nullFlag)))
        raiseError("nullFlagNotLogical", "%s: the wrapper's '%s' must be a logical scalar", context,
                   kNullFlagField);
    if (nullFlag && *mxGetLogicals(nullFlag)) return {inner, nullptr, true};

    if (record.isArray) {
        if (!sameShape(mask, inner))
            raiseError("maskShape", "%s: the wrapper's '%s' must have the shape of its '%s'",
                       context, kMaskField, kValueField);
        return {inner, reinterpret_cast<const char*>(mxGetLogicals(mask)), false};
    }
    if (mxGetNumberOfElements(mask) != 1)
        raiseError("maskShape", "%s: the wrapper's '%s' must be one logical for a scalar", context,
                   kMaskField);
    return {inner, nullptr, *mxGetLogicals(mask) != 0};
}

}  // namespace

void commandParamCreate(const Command&, int, mxArray* plhs[], int, const mxArray* prhs[]) {
    PGconn* conn = connectionArg(prhs, 0, RowRule::anyRows);
    ParamOwner param(createParam(conn));
    raisePendingTypesError("createFailed");
    if (!param) raiseError("createFailed", "the parameter set could not be created");
    plhs[0] = createHandle(registerParam(std::move(param)));
}

void commandParamClear(const Command&, int, mxArray*[], int, const mxArray* prhs[]) {
    releaseHandleArg(HandleKind::param, prhs, 0, RowRule::anyRows);
}

void commandParamReset(const Command&, int, mxArray*[], int, const mxArray* prhs[]) {
    PQparamReset(paramArg(prhs, 0, RowRule::anyRows));
}

void commandParamCount(const Command&, int, mxArray* plhs[], int, const mxArray* prhs[]) {
    int count = PQparamCount(paramArg(prhs, 0, RowRule::anyRows));
    plhs[0] = mxCreateNumericMatrix(1, 1, mxINT32_CLASS, mxREAL);
    *static_cast<int32_t*>(mxGetData(plhs[0])) = count;
}

void commandParamPut(const Command&, int, mxArray*[], int nrhs, const mxArray* prhs[]) {
    PGparam* param = paramArg(prhs, 0, RowRule::anyRows);
    std::string format = formatArg(prhs, 1);

    std::vector<std::string> classNames;
    for (int i = 2; i < nrhs; ++i) classNames.push_back(valueClassName(prhs[i]));
    std::vector<ParamRecord> records =
        buildRecords(format.c_str(), paramTypeHandlers(param), classNames);
    for (size_t i = 0; i < records.size(); ++i) {
        Unwrapped value = unwrapValue(records[i], prhs[i + 2]);
        ValueSource source;
        source.array = value.value;
        putValue(param, records[i], source, value.mask, value.isNull);
    }
}

}  // namespace vorlex
