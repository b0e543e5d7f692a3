// SPDX-License-Identifier: BSD-3-Clause
// command_help.cpp - the help texts, and the help command.
#include "gateway/command_help.hpp"

#include <strings.h>

#include "host/errors.hpp"
#include "host/host.hpp"

namespace vorlex {

// One row per command, in the order the overview lists them.  A new
// command gets its row here as in the command table; after a change,
// scripts/write_help_file.sh writes inst/vorlex.m again.
// clang-format off
const CommandHelp commandHelps[] = {
    {"Connections", "connect", "opens a connection from a libpq conninfo text",
     "conn2 = vorlex('connect', '');   % '' takes the PG* variables; or 'host=db1 dbname=sales'\n"
     "vorlex('finish', conn2);",
     "conninfo: a libpq connection string; '' or none takes libpq's defaults and PG* variables"},
    {"Connections", "finish", "closes a connection and releases its handle",
     "conn2 = vorlex('connect', '');\n"
     "vorlex('finish', conn2);"},
    {"Connections", "reset", "reconnects with the same parameters: after connectionLost",
     "try\n"
     "  vorlex('exec', conn, 'SELECT 1');\n"
     "catch err\n"
     "  if strcmp(err.identifier, 'vorlex:exec:connectionLost'), vorlex('reset', conn); end\n"
     "end"},
    {"Connections", "status", "0 when the connection is ok, 1 when it is bad",
     "ok = vorlex('status', conn) == 0;"},
    {"Connections", "errorMessage", "libpq's latest error message for the connection",
     "text = vorlex('errorMessage', conn);"},
    {"Connections", "lastError", "the last server error on the connection, field by field",
     "try, vorlex('exec', conn, 'INSERT INTO t VALUES (''x'')'); catch, end\n"
     "e = vorlex('lastError', conn);   % e.sqlstate '22P02', e.position 23, ...\n"
     "% 0x0 when the connection saw none; vorlex('help', 'errors') lists the fields"},
    {"Connections", "db", "the database of the connection",
     "name = vorlex('db', conn);"},
    {"Connections", "user", "the user name of the connection",
     "name = vorlex('user', conn);"},
    {"Connections", "pass", "the password of the connection",
     "password = vorlex('pass', conn);"},
    {"Connections", "host", "the server host of the connection",
     "host = vorlex('host', conn);"},
    {"Connections", "port", "the server port of the connection, as text",
     "port = vorlex('port', conn);   % '5432'"},
    {"Connections", "options", "the command-line options the connection sent to the server",
     "options = vorlex('options', conn);"},

    {"Statements", "exec", "runs a statement; its result comes back in binary format",
     "vorlex('exec', conn, 'INSERT INTO t VALUES (1, ''one'')');   % no output: run for effect\n"
     "res = vorlex('exec', conn, 'SELECT a, b FROM t');\n"
     "[a, b] = vorlex('resultGet', res, '%int4 %text', 0, 1);\n"
     "vorlex('clear', res);"},
    {"Statements", "execText", "runs a statement; a text result, also when it fails",
     "res = vorlex('execText', conn, 'SELECT 6 * 7');\n"
     "v = vorlex('getValue', res, 0, 0);   % 42\n"
     "vorlex('clear', res);"},
    {"Statements", "paramExec", "runs a statement with the values of a parameter set",
     "p = vorlex('paramCreate', conn);\n"
     "vorlex('paramPut', p, '%int4 %text', int32(2), 'two');\n"
     "vorlex('paramExec', conn, p, 'INSERT INTO t VALUES ($1, $2)');\n"
     "vorlex('paramClear', p);"},
    {"Statements", "batchExec", "runs a statement for each row of a struct of columns",
     "rows = struct('a', int32([3; 4]), 'b', {{'three'; 'four'}});\n"
     "vorlex('batchExec', conn, 'INSERT INTO t VALUES ($1, $2)', '%int4 %text', rows);",
     "elementNulls: masks of NULL elements of arrays and NULL values of scalars ([]: none)\n"
     "valueNulls: struct of logical columns; true makes that row's value NULL ([]: none)\n"
     "namePrefix: the prepared statement is <namePrefix>_<n> (default vorlex_batch)\n"
     "'progress', tf|fn: rows whose results are in, on stderr or to fn (help progress)"},
    {"Statements", "query", "runs a query; a struct of its columns, converted by type",
     "data = vorlex('query', conn, 'SELECT a, b FROM t');   % data.a, data.b\n"
     "% int and bool columns are double with NaN at NULL, texts cells with [] at NULL:\n"
     "% the class never depends on the values; timestamptz date numbers are UTC\n"
     "d = vorlex('query', conn, 'SELECT now() AS t', 'dates', 'text', 'timeZone', 'local');",
     "params: a cell, one value per $n (or {}); [] is NULL\n"
     "'format', f: '%int4 %text' types every parameter; a cell, one per parameter, '' the server's\n"
     "'keepClass', tf: int2/int4/int8 and bool columns keep int16/int32/int64 and logical\n"
     "'numeric', 'text'|'double': numeric columns as text (default) or double\n"
     "'output', 'struct'|'cell': a struct of columns (default) or a rows-by-columns cell\n"
     "'timeZone', zone: 'UTC' (default), 'local' or an IANA name, for timestamptz values\n"
     "'dates', form: date/time values as 'datenum' (default), 'posix' seconds or ISO 'text'\n"
     "'chunk', n: starts the statement and gives a cursor; fetch reads n rows at a time\n"
     "'progress', tf|fn: the rows once the result is in and once converted (help progress)"},
    {"Statements", "fetch", "the next chunk of a cursor's rows, as query gives them",
     "cur = vorlex('query', conn, 'SELECT a, b FROM t', 'chunk', 1000);\n"
     "done = false;\n"
     "while ~done\n"
     "  [data, info, done] = vorlex('fetch', cur);   % at most 1000 rows\n"
     "end\n"
     "vorlex('close', cur);   % the handle; the cursor ended with its last rows",
     "done: true when these are the last rows: the cursor has ended, a further fetch is\n"
     "refused (vorlex:fetch:cursorDone); info.command is the tag then, '' before\n"
     "'progress', tf|fn: the statement's rows read so far, on stderr or to fn (help progress)"},
    {"Statements", "close", "ends a cursor early, dropping its rows, and releases its handle",
     "cur = vorlex('query', conn, 'SELECT a FROM t', 'chunk', 10);\n"
     "first = vorlex('fetch', cur);\n"
     "vorlex('close', cur);   % the rest read and dropped; the connection is free again"},

    {"Parameter sets", "paramCreate", "makes an empty parameter set with a connection's types",
     "p = vorlex('paramCreate', conn);\n"
     "vorlex('paramClear', p);"},
    {"Parameter sets", "paramPut", "appends values to a parameter set, one per specifier",
     "p = vorlex('paramCreate', conn);\n"
     "vorlex('paramPut', p, '%int4 %float8[] %timestamp', int32(1), [1 2 3], now());\n"
     "vorlex('paramClear', p);"},
    {"Parameter sets", "paramCount", "the number of values a parameter set holds",
     "p = vorlex('paramCreate', conn);\n"
     "vorlex('paramPut', p, '%text', 'x');\n"
     "n = vorlex('paramCount', p);   % 1\n"
     "vorlex('paramClear', p);"},
    {"Parameter sets", "paramReset", "empties a parameter set, to fill it again",
     "p = vorlex('paramCreate', conn);\n"
     "vorlex('paramPut', p, '%int4', int32(1));\n"
     "vorlex('paramReset', p);   % paramCount is 0\n"
     "vorlex('paramClear', p);"},
    {"Parameter sets", "paramClear", "releases a parameter set",
     "p = vorlex('paramCreate', conn);\n"
     "vorlex('paramClear', p);"},

    {"Results", "resultGet", "whole columns of a binary result, a struct per specifier",
     "res = vorlex('exec', conn, 'SELECT a, b FROM t');\n"
     "[a, b] = vorlex('resultGet', res, '%int4 #text', 0, 'b');   % column 0, column b\n"
     "% a.value holds the values; a.valueIsNull and a.rowIsNull the NULLs\n"
     "vorlex('clear', res);",
     "'columnVectors', tf: true (default) numbers as column vectors; false cells throughout"},
    {"Results", "fieldType", "the type OID and name of a result's column",
     "res = vorlex('exec', conn, 'SELECT a FROM t');\n"
     "[oid, name] = vorlex('fieldType', res, 0);\n"
     "vorlex('clear', res);"},
    {"Results", "resultStatus", "a result's status: 1 command ok, 2 rows, 7 failed, ...",
     "res = vorlex('execText', conn, 'SELECT 1');\n"
     "s = vorlex('resultStatus', res);   % 2\n"
     "vorlex('clear', res);"},
    {"Results", "resultErrorMessage", "the error message a result carries, '' when none",
     "res = vorlex('execText', conn, 'SELECT 1 / 0');\n"
     "text = vorlex('resultErrorMessage', res);   % 'ERROR:  division by zero ...'\n"
     "vorlex('clear', res);"},
    {"Results", "cmdStatus", "the command tag of a result, such as 'INSERT 0 1'",
     "res = vorlex('exec', conn, 'UPDATE t SET b = b');\n"
     "tag = vorlex('cmdStatus', res);   % 'UPDATE <rows>'\n"
     "vorlex('clear', res);"},
    {"Results", "cmdTuples", "the number of rows a statement affected, as text",
     "res = vorlex('exec', conn, 'DELETE FROM t WHERE a < 0');\n"
     "n = str2double(vorlex('cmdTuples', res));\n"
     "vorlex('clear', res);"},
    {"Results", "binaryTuples", "true for a result of binary values (exec), false for text",
     "res = vorlex('execText', conn, 'SELECT 1');\n"
     "tf = vorlex('binaryTuples', res);   % false\n"
     "vorlex('clear', res);"},
    {"Results", "rowCount", "the number of rows of a result",
     "res = vorlex('exec', conn, 'SELECT a FROM t');\n"
     "n = vorlex('rowCount', res);\n"
     "vorlex('clear', res);"},
    {"Results", "fieldCount", "the number of columns of a result",
     "res = vorlex('exec', conn, 'SELECT a, b FROM t');\n"
     "n = vorlex('fieldCount', res);   % 2\n"
     "vorlex('clear', res);"},
    {"Results", "fieldName", "the name of a result's column, numbered from 0",
     "res = vorlex('exec', conn, 'SELECT a, b FROM t');\n"
     "name = vorlex('fieldName', res, 1);   % 'b'\n"
     "vorlex('clear', res);"},
    {"Results", "fieldNumber", "the number of the column of a name, -1 when none",
     "res = vorlex('exec', conn, 'SELECT a, b FROM t');\n"
     "k = vorlex('fieldNumber', res, 'b');   % 1\n"
     "vorlex('clear', res);"},
    {"Results", "fieldSize", "the size of a column's type in bytes, -1 when it varies",
     "res = vorlex('exec', conn, 'SELECT a, b FROM t');\n"
     "n = vorlex('fieldSize', res, 0);   % 4, for int4\n"
     "vorlex('clear', res);"},
    {"Results", "getValue", "one value of a text result, converted by its type",
     "res = vorlex('execText', conn, 'SELECT 2.5::float8');\n"
     "x = vorlex('getValue', res, 0, 0);   % 2.5\n"
     "vorlex('clear', res);"},
    {"Results", "isNull", "true when a value of a result is NULL",
     "res = vorlex('execText', conn, 'SELECT NULL::int4');\n"
     "tf = vorlex('isNull', res, 0, 0);   % true\n"
     "vorlex('clear', res);"},
    {"Results", "valueLength", "the length of a value of a result in bytes, 0 for NULL",
     "res = vorlex('execText', conn, 'SELECT ''abc''');\n"
     "n = vorlex('valueLength', res, 0, 0);   % 3\n"
     "vorlex('clear', res);"},
    {"Results", "clear", "releases a result",
     "res = vorlex('exec', conn, 'SELECT 1');\n"
     "vorlex('clear', res);"},

    {"COPY", "copyIn", "loads columns into a table by binary COPY; the rows copied",
     "rows = struct('a', int32([5; 6]), 'b', {{'five'; 'six'}});\n"
     "n = vorlex('copyIn', conn, 't', '%int4 %text', rows);   % 2\n"
     "n = vorlex('copyIn', conn, 't (a)', '%int4', struct('a', int32(7)));   % b takes its default",
     "elementNulls: masks of NULL elements of arrays and NULL values of scalars ([]: none)\n"
     "valueNulls: struct of logical columns; true makes that row's value NULL ([]: none)\n"
     "'progress', tf|fn: rows sent, on stderr or to fn (help progress)"},
    {"COPY", "copyOut", "a query's columns by binary COPY, as resultGet gives them",
     "[a, b] = vorlex('copyOut', conn, 'SELECT a, b FROM t', '%int4 %text');\n"
     "% a.value holds the values; a.valueIsNull and a.rowIsNull the NULLs",
     "'columnVectors', tf: true (default) numbers as column vectors; false cells throughout\n"
     "'progress', tf|fn: rows read, on stderr or to fn (help progress)"},
    {"COPY", "insert", "loads a struct into a table by column name, through COPY; NaN and [] are NULL",
     "n = vorlex('insert', conn, 't', struct('a', [8; NaN], 'b', {{'eight'; []}}));   % row 2 NULL\n"
     "vorlex('exec', conn, 'CREATE TEMP TABLE log (t timestamptz)');\n"
     "vorlex('insert', conn, 'log', struct('t', {{'2024-06-01 14:00:00.123456+02'}}));\n"
     "vorlex('insert', conn, 'log', struct('t', 1717243200.5), 'dates', 'posix', 'timeZone', 'local');",
     "'exactNames', tf: a field binds the column of exactly its name, not of its lower case\n"
     "'nulls', s: logical columns named as data's fields; true makes that row's value NULL\n"
     "'nan', 'null'|'value': NaN stores NULL (default), or float/numeric NaN\n"
     "'timeZone', zone: 'UTC' (default), 'local' or an IANA name, for timestamptz values\n"
     "'dates', 'datenum'|'posix': what doubles for date/time columns are; ISO texts always go\n"
     "'progress', tf|fn: rows sent, on stderr or to fn (help progress)"},

    {"Notifications", "listen", "starts listening on a channel for the server's NOTIFY messages",
     "vorlex('listen', conn, 'new_data');\n"
     "vorlex('exec', conn, 'NOTIFY new_data, ''run 17''');\n"
     "notes = vorlex('notifications', conn);   % notes(1).payload is 'run 17'\n"
     "vorlex('unlisten', conn, 'new_data');",
     "channel: a name of at most 63 bytes, taken exactly as given (quoted: case kept, so SQL\n"
     "must quote a name with capitals); inside a transaction it takes effect at COMMIT"},
    {"Notifications", "unlisten", "stops listening on a channel, or on every channel with '*'",
     "vorlex('listen', conn, 'new_data');\n"
     "vorlex('unlisten', conn, 'new_data');   % or '*': every channel",
     "channel: as listen's; '*' is every channel"},
    {"Notifications", "notifications", "the notifications received, an N-by-1 struct array",
     "vorlex('listen', conn, 'new_data');\n"
     "notes = vorlex('notifications', conn, 0.5);   % waits up to 0.5 s for the first\n"
     "for k = 1:numel(notes)   % 0x1 when none came\n"
     "  printf('%s: %s (pid %d)\\n', notes(k).channel, notes(k).payload, notes(k).pid);\n"
     "end\n"
     "vorlex('unlisten', conn, '*');",
     "timeout: seconds to wait for the first when none is here (default 0: no wait; Inf: until\n"
     "one comes); then all received are returned, those that came during other commands too"},

    {"Help", "help", "the overview and the commands, one command's help, or a topic",
     "text = vorlex('help', 'copyIn');   % as text\n"
     "vorlex('help', 'types')   % printed",
     "name: a command, or a topic: types, nulls, dates, errors, performance, progress"},
};
// clang-format on

const size_t kCommandHelpCount = sizeof commandHelps / sizeof commandHelps[0];

const CommandHelp* findCommandHelp(const char* name) {
    for (const CommandHelp& help : commandHelps)
        if (strcasecmp(help.name, name) == 0) return &help;
    return nullptr;
}

// One row per topic, in the order the overview lists them.
// clang-format off
const HelpTopic helpTopics[] = {
    {"types", "how each server type reads and is sent: query, its parameters, insert",
     "query reads each column by its type alone (default options; 'keepClass', true in [ ]):\n"
     "  bool                          double 0/1, NaN at NULL [logical, false at NULL]\n"
     "  int2, int4, int8              double, NaN at NULL [int16, int32, int64, 0 at NULL];\n"
     "                                an int8 beyond +-2^53 raises vorlex:query:int8Precision\n"
     "  float4 / float8               single / double, NaN at NULL\n"
     "  numeric                       cell of char rows ([] at NULL); double with 'numeric', 'double'\n"
     "  date, time, timetz,           date numbers, NaN at NULL; 'dates' gives POSIX seconds or\n"
     "  timestamp, timestamptz        ISO text; timestamptz in UTC or 'timeZone' (help dates)\n"
     "  text, varchar, bpchar, name,  cell of char rows, [] at NULL\n"
     "  json, jsonb, xml, uuid, interval, inet, cidr, macaddr, macaddr8, enums: the same\n"
     "  bytea                         cell of uint8 rows, [] at NULL\n"
     "  any other type                its text, a cell of char rows; the other columns keep\n"
     "                                their classes (the result comes in text and is parsed)\n"
     "  arrays of all these           cell of arrays in the element's class; [] a NULL array;\n"
     "                                text elements a cell of char rows, [] a NULL element\n"
     "A domain reads as its base type.\n"
     "\n"
     "query parameters ($n) take the type the server infers, unless 'format' names one:\n"
     "  double, integer classes       int2/int4/int8 (whole and in range), float4, float8,\n"
     "                                numeric, date/time/timestamp/timestamptz (date numbers),\n"
     "                                interval (days); uint64: numeric, or int8 in range\n"
     "  logical                       bool\n"
     "  char row                      any type, sent as text for the server to parse (uuid,\n"
     "                                jsonb, enums, inet, ranges, ...)\n"
     "  cell of texts                 any array type, [] a NULL element\n"
     "  uint8 row                     bytea\n"
     "  numeric or logical array      an array of a matching element type\n"
     "  []                            NULL\n"
     "Where the server cannot tell (SELECT $1) the class names it: double float8, single\n"
     "float4, int8/int16 int2, int32 int4, int64 int8, logical bool, char text, cell text[].\n"
     "A number the type cannot hold (2.5 or NaN into int4, 1e10 into int4, a double into\n"
     "text) is refused before anything runs: vorlex:query:paramValue or paramClass.\n"
     "\n"
     "insert sends each field as its column's type, which the server reports:\n"
     "  bool, int2, int4, int8,       numbers or logicals of any class; whole and in range\n"
     "  float4, float8                for the integers, 0 or 1 for bool\n"
     "  date, time, timetz,           date numbers (or as 'dates' says); Inf and -Inf are\n"
     "  timestamp, timestamptz        the infinities of date and timestamp\n"
     "  numeric                       numbers, or texts\n"
     "  text, varchar, bpchar, name,  a cell column of char rows, or an M-by-K char matrix\n"
     "  json, jsonb, xml, enums\n"
     "  bytea                         a cell column of uint8 rows, or an M-by-K uint8 matrix\n"
     "  arrays of these (not enums,   a cell column of arrays, or an M-by-k matrix (row r a\n"
     "  jsonb)                        vector)\n"
     "  any other type                texts as the server writes them, which it casts; an\n"
     "                                array's row may be a cell of its elements' texts\n"
     "What query reads goes back through insert as it is.\n"
     "\n"
     "paramPut, resultGet, batchExec, copyIn and copyOut name types in their format:\n"
     "  %bool logical, %bytea uint8, %text %varchar %bpchar %name %json %xml char,\n"
     "  %numeric char (or numbers sent), %int2 %int4 %int8 int16/int32/int64,\n"
     "  %float4 single, %float8 double, %date %time %timetz %timestamp %timestamptz date\n"
     "  numbers (timestamptz in UTC), %serbytea %serbytea_wn any Octave value in a bytea;\n"
     "  a type followed by [] is its array, '%' numbers a column, '#' names it."},
    {"nulls", "how NULL reads and how it is written",
     "A NULL never reads as a value one could take for data (no 0, no '').\n"
     "query:\n"
     "  numbers, bool, date/time      NaN ('keepClass', true: 0 or false; the mask tells)\n"
     "  texts, bytea, numeric text,   [] (a 0x0 double) in the cell\n"
     "  other types, arrays\n"
     "  array elements                NaN in numeric arrays ('keepClass': 0), [] in a cell\n"
     "                                of texts\n"
     "  info.columns(k).isNull        the column's NULL mask; elementIsNull, the elements'\n"
     "  query parameters              [] is NULL; [] in a cell of texts a NULL element\n"
     "insert:\n"
     "  NaN                           NULL in every column type, array elements included;\n"
     "                                'nan', 'value' stores float and numeric NaN instead\n"
     "                                (integer, bool and date/time columns then refuse NaN)\n"
     "  [] in a cell column           NULL; [] in a text array's cell a NULL element\n"
     "  'nulls', struct               logical columns named as the fields: true is NULL\n"
     "What query reads, NULLs and NaN included, goes back through insert as it is.\n"
     "resultGet and copyOut give each column's value with its masks valueIsNull and\n"
     "rowIsNull; paramPut, batchExec and copyIn take NULLs as masks (valueNulls,\n"
     "elementNulls, or a struct {value, valueIsNull [, rowIsNull]})."},
    {"dates", "date and time values: date numbers, UTC, the timeZone and dates options",
     "Date and time values are Octave date numbers by default (730486 is 2000-01-01):\n"
     "  date                          the day\n"
     "  time, timetz                  the fraction of a day (timetz written as UTC, its\n"
     "                                offset dropped when read)\n"
     "  timestamp                     the moment as written, without a zone\n"
     "  timestamptz                   the moment in UTC\n"
     "  Inf, -Inf                     infinity and -infinity of date and timestamp(tz)\n"
     "query and insert take two options:\n"
     "  'timeZone', zone              'UTC' (default), 'local' (the process's zone, TZ) or\n"
     "                                an IANA name ('Europe/Berlin'); timestamptz values\n"
     "                                are read and written in it, query parameters included;\n"
     "                                an unknown name is refused: vorlex:<command>:timeZone\n"
     "  'dates', form                 'datenum' (default); 'posix': seconds since\n"
     "                                1970-01-01 as double, exact to the microsecond for\n"
     "                                present dates (date: the day's midnight, time: seconds\n"
     "                                since midnight); 'text': ISO 8601 to the microsecond, a\n"
     "                                cell of char rows, [] at NULL (timetz and timestamptz\n"
     "                                with their offset)\n"
     "The other commands (paramPut, resultGet, getValue, batchExec, copyIn, copyOut) use\n"
     "date numbers, timestamptz in UTC."},
    {"errors", "error identifiers, SQLSTATEs, lastError, connectionLost, interrupted",
     "Every error has an identifier vorlex:<command>:<check> (vorlex:insert:badValue,\n"
     "vorlex:query:paramCount, ...): catch err, then test err.identifier.  Bad input is\n"
     "refused before anything is sent, the message naming the argument.\n"
     "\n"
     "A server error's message gives its severity, SQLSTATE and condition name, the\n"
     "server's message, then DETAIL and HINT lines, after the command's words:\n"
     "  row 2 of 2 failed: ERROR 23505 (unique_violation): duplicate key value violates ...\n"
     "  DETAIL: Key (a)=(1) already exists.\n"
     "execText never raises for a failed statement: resultStatus is 7 and\n"
     "resultErrorMessage holds libpq's text.\n"
     "\n"
     "e = vorlex('lastError', conn): the last server error on the connection, raised or\n"
     "returned in execText's result, as a 1x1 struct of its fields: sqlstate,\n"
     "conditionName, severity, message, detail, hint, position (the 1-based character of\n"
     "the statement, NaN when none), schema, table, column, datatype, constraint, context\n"
     "('' when absent).  A later success keeps it, reset keeps it; a connection that saw\n"
     "none gives a 0x0 struct with these fields.\n"
     "\n"
     "vorlex:<command>:connectionLost: the connection went with the failure (its backend\n"
     "ended, the network gone); vorlex('reset', conn) opens it again.  execText returns a\n"
     "failed result instead.\n"
     "vorlex:<command>:interrupted: Ctrl-C; the server was asked to cancel and the\n"
     "connection is ready for the next command; the message says when the server had\n"
     "completed the work already (its changes are kept)."},
    {"performance", "which command for which job, and what each costs",
     "  a query's rows as a struct of columns, converted by type     query\n"
     "  load a struct into a table by column name, the table's types  insert\n"
     "  load many rows as they are, with the types you name          copyIn\n"
     "  a statement per row (INSERT ... ON CONFLICT, UPDATE, a        batchExec\n"
     "  function call), or through a view's rules, which COPY skips\n"
     "  read a whole query result into columns                       copyOut\n"
     "  a result looked at more than once, columns by name, text     exec + resultGet\n"
     "  results, the status and counts of any statement\n"
     "copyIn is several times faster than batchExec for plain loads (no statement per\n"
     "row); insert runs at copyIn's speed after one catalog lookup (plus a round trip for\n"
     "columns of texts the server converts).  copyOut is faster than exec + resultGet and\n"
     "needs less memory: rows are decoded as they arrive.  query keeps the description of\n"
     "its last 64 statements per connection: a statement run again costs one round trip.\n"
     "batchExec sends every row in one pipelined stream.  Numbers read fastest as column\n"
     "vectors ('columnVectors', true, the default)."},
    {"progress", "the 'progress' option of insert, copyIn, copyOut, batchExec and query",
     "'progress', true prints one line on stderr, rewritten in place at most every 0.25 s:\n"
     "  vorlex copyIn: 120000 of 200000 rows, 95012 rows/s, 1.3 s\n"
     "and ends it with a newline when the command ends (', stopped' when it failed).\n"
     "'progress', @fn calls fn(p) as often, and once at the end, p a 1x1 struct:\n"
     "  rows           the rows done so far; at the last call, all of them\n"
     "  total          the rows the command will do; NaN where unknown (copyOut)\n"
     "  seconds        since the command began its work\n"
     "  rowsPerSecond  rows / seconds\n"
     "  p = @(s) waitbar (s.rows / s.total, h);   % a GUI's progress bar\n"
     "What counts as done: insert and copyIn the rows sent, batchExec the rows whose\n"
     "results are in, copyOut the rows read; query gets its result whole and reports it\n"
     "when it has come and once converted.  An error raised by fn stops the command as\n"
     "Ctrl-C does (nothing of a load is kept; the connection is ready) and is raised as\n"
     "vorlex:<command>:progressFailed with fn's message.  'progress', false (the\n"
     "default) costs nothing.  stderr is the terminal Octave or MATLAB started from: in\n"
     "MATLAB's desktop use a function."},
};
// clang-format on

const size_t kHelpTopicCount = sizeof helpTopics / sizeof helpTopics[0];

const HelpTopic* findHelpTopic(const char* name) {
    for (const HelpTopic& topic : helpTopics)
        if (strcasecmp(topic.name, name) == 0) return &topic;
    return nullptr;
}

namespace {

constexpr char kOverview[] =
    "vorlex: typed binary PostgreSQL access for Octave and MATLAB (libpq, libpqtypes)\n"
    "\n"
    "  vorlex('command', arguments...)   runs a command; names match ignoring case\n"
    "  vorlex()                          the version, the commands and the types\n"
    "  vorlex('help', 'command')         a command's usage, options and an example\n"
    "  vorlex('help', 'topic')           a topic, listed at the end\n"
    "\n"
    "Connections, results and parameter sets stay inside the module: Octave holds\n"
    "them as uint32 handles, which every command checks.  Errors have identifiers\n"
    "vorlex:<command>:<check>; an error from the server gives its SQLSTATE, and a\n"
    "lost connection is vorlex:<command>:connectionLost (reset restores it).\n";

// The overview's column of names: the longest and a space.
constexpr size_t kNameWidth = 19;

// The examples are shown indented by two spaces.
std::string indented(const char* lines) {
    std::string text = "  ";
    for (const char* c = lines; *c; ++c) {
        text += *c;
        if (*c == '\n') text += "  ";
    }
    return text + "\n";
}

}  // namespace

std::string overviewText() {
    std::string text = kOverview;
    const char* group = "";
    for (const CommandHelp& help : commandHelps) {
        if (strcasecmp(group, help.group) != 0) {
            group = help.group;
            text += std::string("\n") + group + "\n";
        }
        std::string name = help.name;
        if (name.size() < kNameWidth) name.resize(kNameWidth, ' ');
        text += "  " + name + " " + help.summary + "\n";
    }
    text += "\nTopics: vorlex('help', 'topic')\n";
    for (const HelpTopic& topic : helpTopics) {
        std::string name = topic.name;
        name.resize(kNameWidth, ' ');
        text += "  " + name + " " + topic.summary + "\n";
    }
    return text;
}

std::string commandHelpText(const Command& command, const CommandHelp& help) {
    std::string text =
        std::string(command.name) + ": " + help.summary + "\nusage: " + command.usage + "\n";
    if (help.options) text += "options:\n" + indented(help.options);
    return text + "example:\n" + indented(help.example);
}

void commandHelp(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
    std::string text;
    if (nrhs == 0) {
        text = overviewText();
    } else {
        std::string name = charArg(
            prhs, 0, {"command or topic", "nameNotChar", "nameUnreadable", "nameHasNul", true});
        const Command* command = findCommand(name.c_str());
        const CommandHelp* help = command ? findCommandHelp(command->name) : nullptr;
        const HelpTopic* topic = help ? nullptr : findHelpTopic(name.c_str());
        if (!help && !topic)
            raiseError("unknownCommand",
                       "no command or topic '%s'; vorlex('help') lists the commands and topics",
                       name.c_str());
        text = help
                   ? commandHelpText(*command, *help)
                   : std::string(topic->name) + ": " + topic->summary + "\n\n" + topic->text + "\n";
    }
    if (nlhs > 0)
        plhs[0] = createCharRow(text.c_str());
    else
        note("%s", text.c_str());
}

}  // namespace vorlex
