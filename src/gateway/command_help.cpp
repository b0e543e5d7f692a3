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
     "vorlex('finish', conn2);"},
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
     "vorlex('batchExec', conn, 'INSERT INTO t VALUES ($1, $2)', '%int4 %text', rows);"},
    {"Statements", "query", "runs a query; a struct of its columns, converted by type",
     "data = vorlex('query', conn, 'SELECT a, b FROM t');   % data.a, data.b\n"
     "% int and bool columns double with NaN at NULL ('keepClass', true: int32...),\n"
     "% texts cells with [] at NULL; the class never depends on the values\n"
     "% timestamptz date numbers are UTC unless 'timeZone' says otherwise:\n"
     "%   'timeZone'  'UTC' (default), 'local' (TZ) or a zone name such as 'Europe/Berlin'\n"
     "%   'dates'     'datenum' (default), 'posix' (seconds) or 'text' (ISO 8601, to the microsecond)\n"
     "d = vorlex('query', conn, 'SELECT now() AS t', 'dates', 'text', 'timeZone', 'local');"},

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
     "vorlex('clear', res);"},
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
     "n = vorlex('copyIn', conn, 't (a)', '%int4', struct('a', int32(7)));   % b takes its default"},
    {"COPY", "copyOut", "a query's columns by binary COPY, as resultGet gives them",
     "[a, b] = vorlex('copyOut', conn, 'SELECT a, b FROM t', '%int4 %text');\n"
     "% a.value holds the values; a.valueIsNull and a.rowIsNull the NULLs"},
    {"COPY", "insert", "loads a struct into a table by column name, through COPY; NaN and [] are NULL "
     "('nan', 'value': float NaN stays NaN)",
     "n = vorlex('insert', conn, 't', struct('a', int32([8; 9]), 'b', {{'eight'; 'nine'}}));\n"
     "n = vorlex('insert', conn, 't', struct('a', [8; NaN], 'b', {{'eight'; []}}));   % row 2 NULL\n"
     "% timestamptz date numbers are UTC unless 'timeZone' says otherwise (wall time there):\n"
     "%   'timeZone'  'UTC' (default), 'local' (TZ) or a zone name such as 'Europe/Berlin'\n"
     "%   'dates'     'datenum' (default) or 'posix': what doubles for date/time columns are;\n"
     "%               ISO 8601 texts (a cell of char rows) are always taken\n"
     "vorlex('exec', conn, 'CREATE TEMP TABLE log (t timestamptz)');\n"
     "vorlex('insert', conn, 'log', struct('t', {{'2024-06-01 14:00:00.123456+02'}}));\n"
     "vorlex('insert', conn, 'log', struct('t', 1717243200.5), 'dates', 'posix', 'timeZone', 'local');"},

    {"Help", "help", "the overview and the commands, or one command's help",
     "text = vorlex('help', 'copyIn');   % as text\n"
     "vorlex('help', 'copyIn')   % printed"},
};
// clang-format on

const size_t kCommandHelpCount = sizeof commandHelps / sizeof commandHelps[0];

const CommandHelp* findCommandHelp(const char* name) {
    for (const CommandHelp& help : commandHelps)
        if (strcasecmp(help.name, name) == 0) return &help;
    return nullptr;
}

namespace {

constexpr char kOverview[] =
    "vorlex: typed binary PostgreSQL access for Octave and MATLAB (libpq, libpqtypes)\n"
    "\n"
    "  vorlex('command', arguments...)   runs a command; names match ignoring case\n"
    "  vorlex()                          the version, the commands and the types\n"
    "  vorlex('help', 'command')         a command's usage and an example\n"
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
    return text;
}

std::string commandHelpText(const Command& command, const CommandHelp& help) {
    return std::string(command.name) + ": " + help.summary + "\nusage: " + command.usage +
           "\nexample:\n" + indented(help.example);
}

void commandHelp(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
    std::string text;
    if (nrhs == 0) {
        text = overviewText();
    } else {
        std::string name =
            charArg(prhs, 0, {"command name", "nameNotChar", "nameUnreadable", "nameHasNul", true});
        const Command* command = findCommand(name.c_str());
        const CommandHelp* help = command ? findCommandHelp(command->name) : nullptr;
        if (!help)
            raiseError("unknownCommand", "no command '%s'; vorlex('help') lists the commands",
                       name.c_str());
        text = commandHelpText(*command, *help);
    }
    if (nlhs > 0)
        plhs[0] = createCharRow(text.c_str());
    else
        note("%s", text.c_str());
}

}  // namespace vorlex
