// SPDX-License-Identifier: BSD-3-Clause
// command_help.cpp - the topics, the overview and the help command; each
// command's own help is in its row of the command table.
#include "gateway/command_help.hpp"

#include <strings.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "host/errors.hpp"
#include "host/host.hpp"

namespace vorlex {

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
     "needs less memory: rows are decoded as they arrive, and so does query for a\n"
     "statement without parameters that only reads (it runs as a COPY).  query keeps the\n"
     "description of its last 64 statements per connection: a statement run again costs\n"
     "one round trip.  Results larger than memory: query with 'chunk', then fetch.\n"
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
     "results are in, copyOut and fetch the rows read, query the rows read of a plain\n"
     "read (a COPY), else its result when it has come and once converted.  An error\n"
     "raised by fn stops the command as Ctrl-C does (nothing of a load is kept; the\n"
     "connection is ready) and is raised as vorlex:<command>:progressFailed with fn's\n"
     "message.  'progress', false (the default) costs nothing.  stderr is the terminal\n"
     "Octave or MATLAB started from: in MATLAB's desktop use a function."},
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

// The overview's headings, one per CommandGroup in its order.
constexpr const char* kGroupHeadings[] = {
    "Connections", "Statements", "Parameter sets", "Results", "COPY", "Notifications", "Help"};

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
    std::vector<const Command*> listed;
    for (const Command& command : commandTable()) listed.push_back(&command);
    std::stable_sort(listed.begin(), listed.end(), [](const Command* a, const Command* b) {
        return std::make_pair(a->listed.group, a->listed.rank) <
               std::make_pair(b->listed.group, b->listed.rank);
    });
    const Command* previous = nullptr;
    for (const Command* command : listed) {
        if (!previous || previous->listed.group != command->listed.group)
            text +=
                std::string("\n") + kGroupHeadings[static_cast<int>(command->listed.group)] + "\n";
        previous = command;
        std::string name = command->name;
        if (name.size() < kNameWidth) name.resize(kNameWidth, ' ');
        text += "  " + name + " " + command->summary + "\n";
    }
    text += "\nTopics: vorlex('help', 'topic')\n";
    for (const HelpTopic& topic : helpTopics) {
        std::string name = topic.name;
        name.resize(kNameWidth, ' ');
        text += "  " + name + " " + topic.summary + "\n";
    }
    return text;
}

std::string commandHelpText(const Command& command) {
    std::string text =
        std::string(command.name) + ": " + command.summary + "\nusage: " + command.usage + "\n";
    if (command.options) text += "options:\n" + indented(command.options);
    return text + "example:\n" + indented(command.example);
}

void commandHelp(const Command&, int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
    std::string text;
    if (nrhs == 0) {
        text = overviewText();
    } else {
        std::string name = charArg(
            prhs, 0, {"command or topic", "nameNotChar", "nameUnreadable", "nameHasNul", true});
        const Command* command = findCommand(name.c_str());
        const HelpTopic* topic = command ? nullptr : findHelpTopic(name.c_str());
        if (!command && !topic)
            raiseError("unknownCommand",
                       "no command or topic '%s'; vorlex('help') lists the commands and topics",
                       name.c_str());
        text = command
                   ? commandHelpText(*command)
                   : std::string(topic->name) + ": " + topic->summary + "\n\n" + topic->text + "\n";
    }
    if (nlhs > 0)
        plhs[0] = createCharRow(text.c_str());
    else
        note("%s", text.c_str());
}

}  // namespace vorlex
