// batch_command.cpp - batchExec: one parameterised statement run once for
// every row of a table of columns, in one pipelined stream.
//
//   vorlex('batchExec', conn, sql, spec, values [, elementNulls [, valueNulls [, namePrefix]]])
//
// `values` is a scalar struct with one field per parameter, each a column
// of M rows; `elementNulls` and `valueNulls` (or [] for none) have the same
// fields and mark NULL elements of array values and NULL values.  Every
// argument and column is checked before anything is sent.
#include <libpq-fe.h>
#include <libpqtypes.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "batch/batch_columns.hpp"
#include "batch/pipeline.hpp"
#include "convert/param_building.hpp"
#include "gateway/commands.hpp"
#include "gateway/errors.hpp"
#include "gateway/host.hpp"
#include "gateway/owners.hpp"
#include "gateway/registry.hpp"
#include "query/statement_args.hpp"

namespace vorlex {

namespace {

constexpr char kDefaultPrefix[] = "vorlex_batch";

// Statement names are "<prefix>_<counter>"; the server cuts SQL names at
// 63 bytes, and the closing DEALLOCATE names the statement in SQL, so the
// prefix leaves room for the longest counter.
constexpr size_t kMaxPrefixBytes = 63 - 1 - 20;

// Counts the calls that passed their argument checks since the module was
// loaded; each names its statement with the value before its increment.
long long statementCounter = 0;

enum Arg { kConn, kSql, kSpec, kValues, kElementNulls, kValueNulls, kNamePrefix };

std::string nameOf(const mxArray* structure, int field) {
    return mxGetFieldNameByNumber(structure, field);
}

const mxArray* valuesArg(const mxArray* const prhs[]) {
    const mxArray* values = prhs[kValues];
    if (!mxIsStruct(values) || mxGetNumberOfElements(values) != 1)
        raiseError("valuesNotStruct",
                   "argument %d (values) must be a scalar struct of columns, not a %zux%zu %s",
                   argPosition(kValues), static_cast<size_t>(mxGetM(values)),
                   static_cast<size_t>(mxGetN(values)), mxGetClassName(values));
    if (mxGetNumberOfFields(values) == 0)
        raiseError("valuesNoFields", "argument %d (values) has no fields: one column per parameter",
                   argPosition(kValues));
    return values;
}

// An optional NULL struct: null when absent or given as an empty array.
const mxArray* nullsArg(const mxArray* const prhs[], int nrhs, int index, const char* name,
                        int fields) {
    if (nrhs <= index || mxIsEmpty(prhs[index])) return nullptr;
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
    const Named structs[] = {{elementNulls, kElementNulls, "elementNulls"},
                             {valueNulls, kValueNulls, "valueNulls"}};
    for (int i = 0; i < mxGetNumberOfFields(values); ++i)
        for (const Named& named : structs)
            if (named.nulls && nameOf(named.nulls, i) != nameOf(values, i))
                raiseError("fieldNames",
                           "field %d of argument %d (%s) is '%s'; it must be '%s' as in values",
                           i + 1, argPosition(named.index), named.name,
                           nameOf(named.nulls, i).c_str(), nameOf(values, i).c_str());
}

std::string prefixArg(const mxArray* const prhs[], int nrhs) {
    if (nrhs <= kNamePrefix) return kDefaultPrefix;
    const mxArray* arg = prhs[kNamePrefix];
    if (mxIsEmpty(arg))
        raiseError("prefixEmpty", "argument %d (namePrefix) is empty", argPosition(kNamePrefix));
    if (!mxIsChar(arg))
        raiseError("prefixNotChar", "argument %d (namePrefix) must be char, not %s",
                   argPosition(kNamePrefix), mxGetClassName(arg));
    std::string prefix;
    if (!charArrayBytes(arg, prefix))
        raiseError("prefixUnreadable", "argument %d (namePrefix) could not be read",
                   argPosition(kNamePrefix));
    if (prefix.find('\0') != std::string::npos)
        raiseError("prefixHasNul", "argument %d (namePrefix) holds a NUL character",
                   argPosition(kNamePrefix));
    if (prefix.size() > kMaxPrefixBytes)
        raiseError("prefixTooLong", "argument %d (namePrefix) has %zu bytes; at most %zu",
                   argPosition(kNamePrefix), prefix.size(), kMaxPrefixBytes);
    return prefix;
}

struct EscapedText {
    void operator()(char* text) const { PQfreemem(text); }
};

// The statement's name and the DEALLOCATE that releases it.
BatchStatement namedStatement(PGconn* conn, std::string sql, const std::string& prefix) {
    BatchStatement statement;
    statement.sql = std::move(sql);
    statement.name = prefix + "_" + std::to_string(statementCounter);
    std::unique_ptr<char, EscapedText> quoted(
        PQescapeIdentifier(conn, statement.name.c_str(), statement.name.size()));
    if (!quoted)
        raiseError("prefixUnreadable", "argument %d (namePrefix) cannot name a statement: %s",
                   argPosition(kNamePrefix), libpqText(PQerrorMessage(conn)).c_str());
    statement.closing = std::string("DEALLOCATE ") + quoted.get();
    return statement;
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

}  // namespace

void commandBatchExec(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
    (void)plhs;
    const char* usage =
        "vorlex('batchExec', conn, sql, spec, values [, elementNulls [, valueNulls [, "
        "namePrefix]]])";
    requireInputCount(nrhs, 4, -1, usage);
    requireOutputCount(nlhs, 0, 0, usage);
    PGconn* conn = connectionArg(prhs, kConn, RowRule::anyRows);
    std::string sql = sqlRowArg(prhs, kSql);
    std::string spec = formatArg(prhs, kSpec);
    const mxArray* values = valuesArg(prhs);
    int fields = mxGetNumberOfFields(values);
    const mxArray* elementNulls = nullsArg(prhs, nrhs, kElementNulls, "elementNulls", fields);
    const mxArray* valueNulls = nullsArg(prhs, nrhs, kValueNulls, "valueNulls", fields);
    requireSameFieldNames(values, elementNulls, valueNulls);
    BatchStatement statement = namedStatement(conn, std::move(sql), prefixArg(prhs, nrhs));
    ++statementCounter;

    size_t rows = rowCountOf(values);
    ParamOwner param(PQparamCreate(conn));
    if (!param) raiseError("paramCreateFailed", "no parameter set could be made: %s", PQgeterror());
    std::vector<ParamRecord> records =
        buildRecords(spec.c_str(), param.get(), columnClassNames(values));
    BatchRows batch{&records, {}};
    prepareColumns(batch, values, elementNulls, valueNulls, rows);
    if (rows == 0) return;
    runPipeline(conn, param.get(), statement, rows, RowBuilder{putBatchRow, &batch});
}

}  // namespace vorlex
