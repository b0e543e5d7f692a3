// SPDX-License-Identifier: BSD-3-Clause
// dispatch.cpp - the command table, lookup and the run of one command.
//
// A command is its row here and its handler in the folder of its feature;
// handlers are declared here, beside the table, and nowhere else.
#include "gateway/dispatch.hpp"

#include <strings.h>

#include <cctype>
#include <new>
#include <string>

#include "backend/host_backend.hpp"
#include "backend/host_cells.hpp"
#include "gateway/command_help.hpp"
#include "host/errors.hpp"
#include "host/host.hpp"
#include "types/libpqtypes_error.hpp"

namespace vorlex {

// The handlers, under the file that defines them.
// params/param_commands.cpp
CommandFunction commandParamCreate, commandParamClear, commandParamReset, commandParamCount,
    commandParamPut;
// connection/connect.cpp, connection_commands.cpp and properties.cpp
CommandFunction commandConnect, commandFinish, commandClear, commandReset, commandStatus;
CommandFunction commandErrorMessage, commandDb, commandHost, commandOptions, commandPass,
    commandPort, commandUser;
// statements/execute.cpp, last_error.cpp and notifications.cpp
CommandFunction commandExec, commandParamExec, commandExecText, commandLastError, commandListen,
    commandUnlisten, commandNotifications;
// results/result_get.cpp, result_inspection.cpp and result_properties.cpp
CommandFunction commandResultGet, commandRowCount, commandFieldCount, commandFieldName,
    commandFieldNumber, commandFieldSize, commandIsNull, commandFieldType, commandValueLength,
    commandGetValue;
CommandFunction commandResultErrorMessage, commandResultStatus, commandBinaryTuples,
    commandCmdStatus, commandCmdTuples;
// query/query_command.cpp and query_cursor.cpp
CommandFunction commandQuery, commandFetch, commandClose;
// batch/batch_command.cpp
CommandFunction commandBatchExec;
// copy/copy_in.cpp and copy_out.cpp
CommandFunction commandCopyIn, commandCopyOut;
// insert/insert.cpp
CommandFunction commandInsert;
// gateway/command_help.cpp
CommandFunction commandHelp;

namespace {

// One row per command.  The row order is part of the interface (the
// banner lists the rows in it): a new command goes at the end.  Lookup
// walks it from the top and the first match wins.  A row is its name, its
// place in the overview (heading and rank), its handler, its counts of
// inputs and outputs {least, most} (most -1 for no bound), its usage, its
// summary, its options (nullptr when none) and its example (command.hpp).
// After a change to the help, scripts/write_help_file.sh writes
// inst/vorlex.m and doc/reference.txt again.
// clang-format off
const Command kCommands[] = {
    {"exec", {CommandGroup::statements, 1}, commandExec, {2, 2}, {0, 1},
     "[result =] vorlex('exec', conn, sql)",
     "runs a statement; its result comes back in binary format",
     nullptr,
     "vorlex('exec', conn, 'INSERT INTO t VALUES (1, ''one'')');   % no output: run for effect\n"
     "res = vorlex('exec', conn, 'SELECT a, b FROM t');\n"
     "[a, b] = vorlex('resultGet', res, '%int4 %text', 0, 1);\n"
     "vorlex('clear', res);"},
    {"paramExec", {CommandGroup::statements, 3}, commandParamExec, {3, 3}, {0, 1},
     "[result =] vorlex('paramExec', conn, param, sql)",
     "runs a statement with the values of a parameter set",
     nullptr,
     "p = vorlex('paramCreate', conn);\n"
     "vorlex('paramPut', p, '%int4 %text', int32(2), 'two');\n"
     "vorlex('paramExec', conn, p, 'INSERT INTO t VALUES ($1, $2)');\n"
     "vorlex('paramClear', p);"},
    {"batchExec", {CommandGroup::statements, 4}, commandBatchExec, {4, -1}, {0, 0},
     "vorlex('batchExec', conn, sql, format, values [, elementNulls [, valueNulls [, "
     "namePrefix]]] [, 'progress', tf|fn])",
     "runs a statement for each row of a struct of columns",
     "elementNulls: masks of NULL elements of arrays and NULL values of scalars ([]: none)\n"
     "valueNulls: struct of logical columns; true makes that row's value NULL ([]: none)\n"
     "namePrefix: the prepared statement is <namePrefix>_<n> (default vorlex_batch)\n"
     "'progress', tf|fn: rows whose results are in, on stderr or to fn (help progress)",
     "rows = struct('a', int32([3; 4]), 'b', {{'three'; 'four'}});\n"
     "vorlex('batchExec', conn, 'INSERT INTO t VALUES ($1, $2)', '%int4 %text', rows);"},
    {"clear", {CommandGroup::results, 16}, commandClear, {1, 1}, {0, 0},
     "vorlex('clear', result)",
     "releases a result",
     nullptr,
     "res = vorlex('exec', conn, 'SELECT 1');\n"
     "vorlex('clear', res);"},
    {"paramPut", {CommandGroup::parameterSets, 2}, commandParamPut, {3, -1}, {0, 0},
     "vorlex('paramPut', param, format, value1, ...)",
     "appends values to a parameter set, one per specifier",
     nullptr,
     "p = vorlex('paramCreate', conn);\n"
     "vorlex('paramPut', p, '%int4 %float8[] %timestamp', int32(1), [1 2 3], now());\n"
     "vorlex('paramClear', p);"},
    {"resultGet", {CommandGroup::results, 1}, commandResultGet, {3, -1}, {1, -1},
     "[s1, ...] = vorlex('resultGet', result, format, column1, ... [, 'columnVectors', tf])",
     "whole columns of a binary result, a struct per specifier",
     "'columnVectors', tf: true (default) numbers as column vectors; false cells throughout",
     "res = vorlex('exec', conn, 'SELECT a, b FROM t');\n"
     "[a, b] = vorlex('resultGet', res, '%int4 #text', 0, 'b');   % column 0, column b\n"
     "% a.value holds the values; a.valueIsNull and a.rowIsNull the NULLs\n"
     "vorlex('clear', res);"},
    {"paramCreate", {CommandGroup::parameterSets, 1}, commandParamCreate, {1, 1}, {1, 1},
     "param = vorlex('paramCreate', conn)",
     "makes an empty parameter set with a connection's types",
     nullptr,
     "p = vorlex('paramCreate', conn);\n"
     "vorlex('paramClear', p);"},
    {"paramClear", {CommandGroup::parameterSets, 5}, commandParamClear, {1, 1}, {0, 0},
     "vorlex('paramClear', param)",
     "releases a parameter set",
     nullptr,
     "p = vorlex('paramCreate', conn);\n"
     "vorlex('paramClear', p);"},
    {"isNull", {CommandGroup::results, 14}, commandIsNull, {3, 3}, {0, 1},
     "tf = vorlex('isNull', result, row, column)",
     "true when a value of a result is NULL",
     nullptr,
     "res = vorlex('execText', conn, 'SELECT NULL::int4');\n"
     "tf = vorlex('isNull', res, 0, 0);   % true\n"
     "vorlex('clear', res);"},
    {"resultErrorMessage", {CommandGroup::results, 4}, commandResultErrorMessage, {1, 1}, {0, 1},
     "message = vorlex('resultErrorMessage', result)",
     "the error message a result carries, '' when none",
     nullptr,
     "res = vorlex('execText', conn, 'SELECT 1 / 0');\n"
     "text = vorlex('resultErrorMessage', res);   % 'ERROR:  division by zero ...'\n"
     "vorlex('clear', res);"},
    {"resultStatus", {CommandGroup::results, 3}, commandResultStatus, {1, 1}, {0, 1},
     "status = vorlex('resultStatus', result)",
     "a result's status: 1 command ok, 2 rows, 7 failed, ...",
     nullptr,
     "res = vorlex('execText', conn, 'SELECT 1');\n"
     "s = vorlex('resultStatus', res);   % 2\n"
     "vorlex('clear', res);"},
    {"fieldCount", {CommandGroup::results, 9}, commandFieldCount, {1, 1}, {0, 1},
     "n = vorlex('fieldCount', result)",
     "the number of columns of a result",
     nullptr,
     "res = vorlex('exec', conn, 'SELECT a, b FROM t');\n"
     "n = vorlex('fieldCount', res);   % 2\n"
     "vorlex('clear', res);"},
    {"rowCount", {CommandGroup::results, 8}, commandRowCount, {1, 1}, {0, 1},
     "n = vorlex('rowCount', result)",
     "the number of rows of a result",
     nullptr,
     "res = vorlex('exec', conn, 'SELECT a FROM t');\n"
     "n = vorlex('rowCount', res);\n"
     "vorlex('clear', res);"},
    {"fieldName", {CommandGroup::results, 10}, commandFieldName, {2, 2}, {0, 1},
     "name = vorlex('fieldName', result, column)",
     "the name of a result's column, numbered from 0",
     nullptr,
     "res = vorlex('exec', conn, 'SELECT a, b FROM t');\n"
     "name = vorlex('fieldName', res, 1);   % 'b'\n"
     "vorlex('clear', res);"},
    {"connect", {CommandGroup::connections, 1}, commandConnect, {0, 1}, {0, 1},
     "conn = vorlex('connect' [, conninfo])",
     "opens a connection from a libpq conninfo text",
     "conninfo: a libpq connection string; '' or none takes libpq's defaults and PG* variables",
     "conn2 = vorlex('connect', '');   % '' takes the PG* variables; or 'host=db1 dbname=sales'\n"
     "vorlex('finish', conn2);"},
    {"finish", {CommandGroup::connections, 2}, commandFinish, {1, 1}, {0, 0},
     "vorlex('finish', conn)",
     "closes a connection and releases its handle",
     nullptr,
     "conn2 = vorlex('connect', '');\n"
     "vorlex('finish', conn2);"},
    {"status", {CommandGroup::connections, 4}, commandStatus, {1, 1}, {0, 1},
     "status = vorlex('status', conn)",
     "0 when the connection is ok, 1 when it is bad",
     nullptr,
     "ok = vorlex('status', conn) == 0;"},
    {"errorMessage", {CommandGroup::connections, 5}, commandErrorMessage, {1, 1}, {0, 1},
     "message = vorlex('errorMessage', conn)",
     "libpq's latest error message for the connection",
     nullptr,
     "text = vorlex('errorMessage', conn);"},
    {"paramReset", {CommandGroup::parameterSets, 4}, commandParamReset, {1, 1}, {0, 0},
     "vorlex('paramReset', param)",
     "empties a parameter set, to fill it again",
     nullptr,
     "p = vorlex('paramCreate', conn);\n"
     "vorlex('paramPut', p, '%int4', int32(1));\n"
     "vorlex('paramReset', p);   % paramCount is 0\n"
     "vorlex('paramClear', p);"},
    {"paramCount", {CommandGroup::parameterSets, 3}, commandParamCount, {1, 1}, {1, 1},
     "n = vorlex('paramCount', param)",
     "the number of values a parameter set holds",
     nullptr,
     "p = vorlex('paramCreate', conn);\n"
     "vorlex('paramPut', p, '%text', 'x');\n"
     "n = vorlex('paramCount', p);   % 1\n"
     "vorlex('paramClear', p);"},
    {"fieldNumber", {CommandGroup::results, 11}, commandFieldNumber, {2, 2}, {0, 1},
     "column = vorlex('fieldNumber', result, name)",
     "the number of the column of a name, -1 when none",
     nullptr,
     "res = vorlex('exec', conn, 'SELECT a, b FROM t');\n"
     "k = vorlex('fieldNumber', res, 'b');   % 1\n"
     "vorlex('clear', res);"},
    {"binaryTuples", {CommandGroup::results, 7}, commandBinaryTuples, {1, 1}, {0, 1},
     "tf = vorlex('binaryTuples', result)",
     "true for a result of binary values (exec), false for text",
     nullptr,
     "res = vorlex('execText', conn, 'SELECT 1');\n"
     "tf = vorlex('binaryTuples', res);   % false\n"
     "vorlex('clear', res);"},
    {"cmdStatus", {CommandGroup::results, 5}, commandCmdStatus, {1, 1}, {0, 1},
     "text = vorlex('cmdStatus', result)",
     "the command tag of a result, such as 'INSERT 0 1'",
     nullptr,
     "res = vorlex('exec', conn, 'UPDATE t SET b = b');\n"
     "tag = vorlex('cmdStatus', res);   % 'UPDATE <rows>'\n"
     "vorlex('clear', res);"},
    {"cmdTuples", {CommandGroup::results, 6}, commandCmdTuples, {1, 1}, {0, 1},
     "text = vorlex('cmdTuples', result)",
     "the number of rows a statement affected, as text",
     nullptr,
     "res = vorlex('exec', conn, 'DELETE FROM t WHERE a < 0');\n"
     "n = str2double(vorlex('cmdTuples', res));\n"
     "vorlex('clear', res);"},
    {"db", {CommandGroup::connections, 7}, commandDb, {1, 1}, {0, 1},
     "name = vorlex('db', conn)",
     "the database of the connection",
     nullptr,
     "name = vorlex('db', conn);"},
    {"execText", {CommandGroup::statements, 2}, commandExecText, {2, 2}, {0, 1},
     "[result =] vorlex('execText', conn, sql)",
     "runs a statement; a text result, also when it fails",
     nullptr,
     "res = vorlex('execText', conn, 'SELECT 6 * 7');\n"
     "v = vorlex('getValue', res, 0, 0);   % 42\n"
     "vorlex('clear', res);"},
    {"fieldSize", {CommandGroup::results, 12}, commandFieldSize, {2, 2}, {0, 1},
     "size = vorlex('fieldSize', result, column)",
     "the size of a column's type in bytes, -1 when it varies",
     nullptr,
     "res = vorlex('exec', conn, 'SELECT a, b FROM t');\n"
     "n = vorlex('fieldSize', res, 0);   % 4, for int4\n"
     "vorlex('clear', res);"},
    {"valueLength", {CommandGroup::results, 15}, commandValueLength, {3, 3}, {0, 1},
     "n = vorlex('valueLength', result, row, column)",
     "the length of a value of a result in bytes, 0 for NULL",
     nullptr,
     "res = vorlex('execText', conn, 'SELECT ''abc''');\n"
     "n = vorlex('valueLength', res, 0, 0);   % 3\n"
     "vorlex('clear', res);"},
    {"getValue", {CommandGroup::results, 13}, commandGetValue, {3, 3}, {0, 1},
     "value = vorlex('getValue', result, row, column)",
     "one value of a text result, converted by its type",
     nullptr,
     "res = vorlex('execText', conn, 'SELECT 2.5::float8');\n"
     "x = vorlex('getValue', res, 0, 0);   % 2.5\n"
     "vorlex('clear', res);"},
    {"host", {CommandGroup::connections, 10}, commandHost, {1, 1}, {0, 1},
     "host = vorlex('host', conn)",
     "the server host of the connection",
     nullptr,
     "host = vorlex('host', conn);"},
    {"options", {CommandGroup::connections, 12}, commandOptions, {1, 1}, {0, 1},
     "options = vorlex('options', conn)",
     "the command-line options the connection sent to the server",
     nullptr,
     "options = vorlex('options', conn);"},
    {"pass", {CommandGroup::connections, 9}, commandPass, {1, 1}, {0, 1},
     "password = vorlex('pass', conn)",
     "the password of the connection",
     nullptr,
     "password = vorlex('pass', conn);"},
    {"port", {CommandGroup::connections, 11}, commandPort, {1, 1}, {0, 1},
     "port = vorlex('port', conn)",
     "the server port of the connection, as text",
     nullptr,
     "port = vorlex('port', conn);   % '5432'"},
    {"reset", {CommandGroup::connections, 3}, commandReset, {1, 1}, {0, 0},
     "vorlex('reset', conn)",
     "reconnects with the same parameters: after connectionLost",
     nullptr,
     "try\n"
     "  vorlex('exec', conn, 'SELECT 1');\n"
     "catch err\n"
     "  if strcmp(err.identifier, 'vorlex:exec:connectionLost'), vorlex('reset', conn); end\n"
     "end"},
    {"user", {CommandGroup::connections, 8}, commandUser, {1, 1}, {0, 1},
     "user = vorlex('user', conn)",
     "the user name of the connection",
     nullptr,
     "name = vorlex('user', conn);"},
    {"copyIn", {CommandGroup::copy, 1}, commandCopyIn, {4, 8}, {0, 1},
     "[n =] vorlex('copyIn', conn, target, format, values [, elementNulls [, valueNulls]] "
     "[, 'progress', tf|fn])",
     "loads columns into a table by binary COPY; the rows copied",
     "elementNulls: masks of NULL elements of arrays and NULL values of scalars ([]: none)\n"
     "valueNulls: struct of logical columns; true makes that row's value NULL ([]: none)\n"
     "'progress', tf|fn: rows sent, on stderr or to fn (help progress)",
     "rows = struct('a', int32([5; 6]), 'b', {{'five'; 'six'}});\n"
     "n = vorlex('copyIn', conn, 't', '%int4 %text', rows);   % 2\n"
     "n = vorlex('copyIn', conn, 't (a)', '%int4', struct('a', int32(7)));   % b takes its default"},
    {"copyOut", {CommandGroup::copy, 2}, commandCopyOut, {3, 7}, {1, -1},
     "[s1, ...] = vorlex('copyOut', conn, query, format [, 'columnVectors', tf] "
     "[, 'progress', tf|fn])",
     "a query's columns by binary COPY, as resultGet gives them",
     "'columnVectors', tf: true (default) numbers as column vectors; false cells throughout\n"
     "'progress', tf|fn: rows read, on stderr or to fn (help progress)",
     "[a, b] = vorlex('copyOut', conn, 'SELECT a, b FROM t', '%int4 %text');\n"
     "% a.value holds the values; a.valueIsNull and a.rowIsNull the NULLs"},
    {"query", {CommandGroup::statements, 5}, commandQuery, {2, -1}, {0, 2},
     "[data, info] = vorlex('query', conn, sql [, params] [, 'format', format] [, 'keepClass', "
     "tf] [, 'numeric', 'text'|'double'] [, 'output', 'struct'|'cell'] [, 'dates', "
     "'datenum'|'posix'|'text'] [, 'timeZone', 'UTC'|'local'|zone] [, 'chunk', n] "
     "[, 'progress', tf|fn])",
     "runs a query; a struct of its columns, converted by type",
     "params: a cell, one value per $n (or {}); [] is NULL\n"
     "'format', f: '%int4 %text' types every parameter; a cell, one per parameter, '' the server's\n"
     "'keepClass', tf: int2/int4/int8 and bool columns keep int16/int32/int64 and logical\n"
     "'numeric', 'text'|'double': numeric columns as text (default) or double\n"
     "'output', 'struct'|'cell': a struct of columns (default) or a rows-by-columns cell\n"
     "'timeZone', zone: 'UTC' (default), 'local' or an IANA name, for timestamptz values\n"
     "'dates', form: date/time values as 'datenum' (default), 'posix' seconds or ISO 'text'\n"
     "'chunk', n: starts the statement and gives a cursor; fetch reads n rows at a time\n"
     "'progress', tf|fn: the rows once the result is in and once converted (help progress)",
     "data = vorlex('query', conn, 'SELECT a, b FROM t');   % data.a, data.b\n"
     "% int and bool columns are double with NaN at NULL, texts cells with [] at NULL:\n"
     "% the class never depends on the values; timestamptz date numbers are UTC\n"
     "d = vorlex('query', conn, 'SELECT now() AS t', 'dates', 'text', 'timeZone', 'local');"},
    {"insert", {CommandGroup::copy, 3}, commandInsert, {3, 15}, {0, 1},
     "[n =] vorlex('insert', conn, table, data [, 'exactNames', tf] [, 'nulls', nulls] "
     "[, 'nan', 'null'|'value'] [, 'dates', 'datenum'|'posix'] [, 'timeZone', 'UTC'|'local'|zone] "
     "[, 'progress', tf|fn])",
     "loads a struct into a table by column name, through COPY; NaN and [] are NULL",
     "'exactNames', tf: a field binds the column of exactly its name, not of its lower case\n"
     "'nulls', s: logical columns named as data's fields; true makes that row's value NULL\n"
     "'nan', 'null'|'value': NaN stores NULL (default), or float/numeric NaN\n"
     "'timeZone', zone: 'UTC' (default), 'local' or an IANA name, for timestamptz values\n"
     "'dates', 'datenum'|'posix': what doubles for date/time columns are; ISO texts always go\n"
     "'progress', tf|fn: rows sent, on stderr or to fn (help progress)",
     "n = vorlex('insert', conn, 't', struct('a', [8; NaN], 'b', {{'eight'; []}}));   % row 2 NULL\n"
     "vorlex('exec', conn, 'CREATE TEMP TABLE log (t timestamptz)');\n"
     "vorlex('insert', conn, 'log', struct('t', {{'2024-06-01 14:00:00.123456+02'}}));\n"
     "vorlex('insert', conn, 'log', struct('t', 1717243200.5), 'dates', 'posix', 'timeZone', 'local');"},
    {"fieldType", {CommandGroup::results, 2}, commandFieldType, {2, 2}, {0, 2},
     "[oid, name] = vorlex('fieldType', result, column)",
     "the type OID and name of a result's column",
     nullptr,
     "res = vorlex('exec', conn, 'SELECT a FROM t');\n"
     "[oid, name] = vorlex('fieldType', res, 0);\n"
     "vorlex('clear', res);"},
    {"help", {CommandGroup::help, 1}, commandHelp, {0, 1}, {0, 1},
     "[text =] vorlex('help' [, command or topic])",
     "the overview and the commands, one command's help, or a topic",
     "name: a command, or a topic: types, nulls, dates, errors, performance, progress",
     "text = vorlex('help', 'copyIn');   % as text\n"
     "vorlex('help', 'types')   % printed"},
    {"lastError", {CommandGroup::connections, 6}, commandLastError, {1, 1}, {0, 1},
     "error = vorlex('lastError', conn)",
     "the last server error on the connection, field by field",
     nullptr,
     "try, vorlex('exec', conn, 'INSERT INTO t VALUES (''x'')'); catch, end\n"
     "e = vorlex('lastError', conn);   % e.sqlstate '22P02', e.position 23, ...\n"
     "% 0x0 when the connection saw none; vorlex('help', 'errors') lists the fields"},
    {"listen", {CommandGroup::notifications, 1}, commandListen, {2, 2}, {0, 0},
     "vorlex('listen', conn, channel)",
     "starts listening on a channel for the server's NOTIFY messages",
     "channel: a name of at most 63 bytes, taken exactly as given (quoted: case kept, so SQL\n"
     "must quote a name with capitals); inside a transaction it takes effect at COMMIT",
     "vorlex('listen', conn, 'new_data');\n"
     "vorlex('exec', conn, 'NOTIFY new_data, ''run 17''');\n"
     "notes = vorlex('notifications', conn);   % notes(1).payload is 'run 17'\n"
     "vorlex('unlisten', conn, 'new_data');"},
    {"unlisten", {CommandGroup::notifications, 2}, commandUnlisten, {2, 2}, {0, 0},
     "vorlex('unlisten', conn, channel)",
     "stops listening on a channel, or on every channel with '*'",
     "channel: as listen's; '*' is every channel",
     "vorlex('listen', conn, 'new_data');\n"
     "vorlex('unlisten', conn, 'new_data');   % or '*': every channel"},
    {"notifications", {CommandGroup::notifications, 3}, commandNotifications, {1, 2}, {0, 1},
     "notes = vorlex('notifications', conn [, timeout])",
     "the notifications received, an N-by-1 struct array",
     "timeout: seconds to wait for the first when none is here (default 0: no wait; Inf: until\n"
     "one comes); then all received are returned, those that came during other commands too",
     "vorlex('listen', conn, 'new_data');\n"
     "notes = vorlex('notifications', conn, 0.5);   % waits up to 0.5 s for the first\n"
     "for k = 1:numel(notes)   % 0x1 when none came\n"
     "  printf('%s: %s (pid %d)\\n', notes(k).channel, notes(k).payload, notes(k).pid);\n"
     "end\n"
     "vorlex('unlisten', conn, '*');"},
    {"fetch", {CommandGroup::statements, 6}, commandFetch, {1, 3}, {0, 3},
     "[data, info, done] = vorlex('fetch', cur [, 'progress', tf|fn])",
     "the next chunk of a cursor's rows, as query gives them",
     "done: true when these are the last rows: the cursor has ended, a further fetch is\n"
     "refused (vorlex:fetch:cursorDone); info.command is the tag then, '' before\n"
     "'progress', tf|fn: the statement's rows read so far, on stderr or to fn (help progress)",
     "cur = vorlex('query', conn, 'SELECT a, b FROM t', 'chunk', 1000);\n"
     "done = false;\n"
     "while ~done\n"
     "  [data, info, done] = vorlex('fetch', cur);   % at most 1000 rows\n"
     "end\n"
     "vorlex('close', cur);   % the handle; the cursor ended with its last rows"},
    {"close", {CommandGroup::statements, 7}, commandClose, {1, 1}, {0, 0},
     "vorlex('close', cur)",
     "ends a cursor early, dropping its rows, and releases its handle",
     nullptr,
     "cur = vorlex('query', conn, 'SELECT a FROM t', 'chunk', 10);\n"
     "first = vorlex('fetch', cur);\n"
     "vorlex('close', cur);   % the rest read and dropped; the connection is free again"},
};
// clang-format on

}  // namespace

CommandRows commandTable() { return {kCommands, sizeof kCommands / sizeof kCommands[0]}; }

const Command* findCommand(const char* name) {
    // Most rows differ in their first letter: compared first, cheaply.
    int first = std::tolower(static_cast<unsigned char>(name[0]));
    for (const Command& command : kCommands)
        if (std::tolower(static_cast<unsigned char>(command.name[0])) == first &&
            strcasecmp(command.name, name) == 0)
            return &command;
    return nullptr;
}

namespace {

// A NUL would cut the name short and let "exec\0x" pass for "exec".
std::string commandName(const mxArray* arg) {
    return charArgBytes(arg, 1,
                        {"command name", "commandNotChar", "commandUnreadable", "unknownCommand"});
}

void runHandler(const Command& command, int nlhs, mxArray* plhs[], int nrhs,
                const mxArray* prhs[]) {
    requireInputCount(nrhs - 1, command.inputs.least, command.inputs.most, command.usage);
    requireOutputCount(nlhs, command.outputs.least, command.outputs.most, command.usage);
    clearPendingTypesError();
    try {
        command.handler(command, nlhs, plhs, nrhs - 1, prhs + 1);
    } catch (const std::bad_alloc&) {
        raiseError("outOfMemory", "out of memory: what %s had made is freed", command.name);
    }
    raisePendingTypesError("libpqtypes");
}

}  // namespace

namespace {

// Commands call back into Octave to serialise and deserialise values.  A
// function there that called the module again could finish the connection,
// result or set the running command is using: such calls are refused.
bool commandRunning = false;

class RunningCommand {
  public:
    RunningCommand() { commandRunning = true; }
    ~RunningCommand() { commandRunning = false; }
    RunningCommand(const RunningCommand&) = delete;
    RunningCommand& operator=(const RunningCommand&) = delete;
};

}  // namespace

void dispatchCommand(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
    std::string name = commandName(prhs[0]);
    const Command* command = findCommand(name.c_str());
    if (!command)
        raiseError("unknownCommand",
                   "unknown command '%s'; vorlex with no arguments lists the commands",
                   name.c_str());
    CommandScope scope(command->name);
    if (commandRunning)
        raiseError("reentrant",
                   "vorlex cannot run '%s' while another vorlex command is running (from a "
                   "function that command calls, such as vorlex_serialize)",
                   command->name);
    RunningCommand running;
    releaseOutputs();  // the outputs of the calls before, which the host holds by now
    runHandler(*command, nlhs, plhs, nrhs, exactInputs(nrhs, prhs));
}

}  // namespace vorlex
