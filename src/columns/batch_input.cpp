// SPDX-License-Identifier: BSD-3-Clause
// batch_input.cpp - checks of the struct of columns and its NULL structs.
#include "columns/batch_input.hpp"

#include <libpqtypes.h>

#include <string>
#include <vector>

#include "host/errors.hpp"
#include "host/host.hpp"
#include "host/options.hpp"
#include "types/pqtypes_private.hpp"

namespace vorlex {

namespace {

std::string nameOf(const mxArray* structure, int field) {
    return mxGetFieldNameByNumber(structure, field);
}

const mxArray* valuesArg(const mxArray* const prhs[]) {
    const mxArray* values = prhs[kValuesArg];
    if (!mxIsStruct(values) || mxGetNumberOfElements(values) != 1)
        raiseError("valuesNotStruct",
                   "argument %d (values) must be a scalar struct of columns, not a %zux%zu %s",
                   argPosition(kValuesArg), static_cast<size_t>(mxGetM(values)),
                   static_cast<size_t>(mxGetN(values)), mxGetClassName(values));
    if (mxGetNumberOfFields(values) == 0)
        raiseError("valuesNoFields", "argument %d (values) has no fields: one column per parameter",
                   argPosition(kValuesArg));
    return values;
}

// An optional NULL struct: null when absent (at or past input `end`) or
// given as an empty array.
const mxArray* nullsArg(const mxArray* const prhs[], int end, int index, const char* name,
                        int fields) {
    if (end <= index || mxIsEmpty(prhs[index])) return nullptr;
    const mxArray* nulls = prhs[index];
    std::string check = name;
    if (!mxIsStruct(nulls) || mxGetNumberOfElements(nulls) != 1)
        raiseError((check + "NotStruct").c_str(),
                   "argument %d (%s) must be a scalar struct or [], not a %zux%zu %s",
                   argPosition(index), name, static_cast<size_t>(mxGetM(nulls)),
                   static_cast<size_t>(mxGetN(nulls)), mxGetClassName(nulls));
    if (mxGetNumberOfFields(nulls) != fields)
        raiseError((check + "Fields").c_str(), "argument %d (%s) has %d fields; values has %d",
                   argPosition(index), name, mxGetNumberOfFields(nulls), fields);
    return nulls;
}

// Field i of each NULL struct, in turn, must be named as field i of values.
void requireSameFieldNames(const mxArray* values, const mxArray* elementNulls,
                           const mxArray* valueNulls) {
    struct Named {
        const mxArray* nulls;
        int index;
        const char* name;
    };
    const Named structs[] = {{elementNulls, kElementNullsArg, "elementNulls"},
                             {valueNulls, kValueNullsArg, "valueNulls"}};
    for (int i = 0; i < mxGetNumberOfFields(values); ++i)
        for (const Named& named : structs)
            if (named.nulls && nameOf(named.nulls, i) != nameOf(values, i))
                raiseError("fieldNames",
                           "field %d of argument %d (%s) is '%s'; it must be '%s' as in values",
                           i + 1, argPosition(named.index), named.name,
                           nameOf(named.nulls, i).c_str(), nameOf(values, i).c_str());
}

// M, the row count of the first column; every column must have as many.
size_t rowCountOf(const mxArray* values) {
    int fields = mxGetNumberOfFields(values);
    for (int i = 0; i < fields; ++i)
        if (!mxGetFieldByNumber(values, 0, i))
            raiseError("missingColumn", "field %d ('%s') of values holds no column", i + 1,
                       nameOf(values, i).c_str());
    size_t rows = mxGetM(mxGetFieldByNumber(values, 0, 0));
    for (int i = 1; i < fields; ++i) {
        size_t other = mxGetM(mxGetFieldByNumber(values, 0, i));
        if (other != rows)
            raiseError("rowCounts",
                       "the columns of values differ in row count: '%s' has %zu, '%s' %zu",
                       nameOf(values, 0).c_str(), rows, nameOf(values, i).c_str(), other);
    }
    return rows;
}

std::vector<std::string> columnClassNames(const mxArray* values) {
    std::vector<std::string> names;
    for (int i = 0; i < mxGetNumberOfFields(values); ++i)
        names.push_back(mxGetClassName(mxGetFieldByNumber(values, 0, i)));
    return names;
}

// batchExec's and copyIn's one option.
const OptionRow<ProgressOption> kBatchOptions[] = {
    {"progress", [](ProgressOption& option, const mxArray* const prhs[],
                    int index) { option = progressArg(prhs, index); }},
};

}  // namespace

BatchInput batchInputArgs(const mxArray* const prhs[], int nrhs) {
    BatchInput input{valuesArg(prhs), nullptr, nullptr, kValuesArg + 1};
    while (input.optionsAt < kBatchArgCount && input.optionsAt < nrhs &&
           !mxIsChar(prhs[input.optionsAt]))
        ++input.optionsAt;
    int fields = mxGetNumberOfFields(input.values);
    input.elementNulls = nullsArg(prhs, input.optionsAt, kElementNullsArg, "elementNulls", fields);
    input.valueNulls = nullsArg(prhs, input.optionsAt, kValueNullsArg, "valueNulls", fields);
    requireSameFieldNames(input.values, input.elementNulls, input.valueNulls);
    return input;
}

ProgressOption batchOptionArgs(const mxArray* const prhs[], int nrhs, int first) {
    ProgressOption progress;
    readOptions(prhs, first, nrhs, kBatchOptions, progress);
    return progress;
}

void prepareBatch(PGconn* conn, const std::string& format, const BatchInput& input,
                  PreparedBatch& prepared) {
    prepared.rows = rowCountOf(input.values);
    prepared.param.reset(createParam(conn));
    if (!prepared.param)
        raiseError("paramCreateFailed", "no parameter set could be made: %s", PQgeterror());
    prepared.records = buildRecords(format.c_str(), paramTypeHandlers(prepared.param.get()),
                                    columnClassNames(input.values));
    prepareColumns(prepared.batch, input.values, input.elementNulls, input.valueNulls,
                   prepared.rows);
}

}  // namespace vorlex
