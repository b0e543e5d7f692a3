// SPDX-License-Identifier: BSD-3-Clause
// dispatch.cpp - command table, lookup and the run of one command.
#include "gateway/dispatch.hpp"

#include <strings.h>

#include <cctype>
#include <new>
#include <string>

#include "backend/host_backend.hpp"
#include "backend/host_cells.hpp"
#include "batch/batch_commands.hpp"
#include "connection/connection_commands.hpp"
#include "copy/copy_commands.hpp"
#include "gateway/command_help.hpp"
#include "host/errors.hpp"
#include "host/host.hpp"
#include "params/param_commands.hpp"
#include "query/query_commands.hpp"
#include "results/result_commands.hpp"
#include "statements/statement_commands.hpp"
#include "types/libpqtypes_error.hpp"

namespace vorlex {

// The row order is part of the interface: lookup walks it from the top and
// the first match wins.  Counts are {least, most}, most -1 for no bound;
// one row per command, its usage on the next line when long.
// clang-format off
const Command commandTable[kCommandCount] = {
    {"exec", commandExec, {2, 2}, {0, 1}, "[result =] vorlex('exec', conn, sql)"},
    {"paramExec", commandParamExec, {3, 3}, {0, 1},
     "[result =] vorlex('paramExec', conn, param, sql)"},
    {"batchExec", commandBatchExec, {4, -1}, {0, 0},
     "vorlex('batchExec', conn, sql, format, values [, elementNulls [, valueNulls [, "
     "namePrefix]]] [, 'progress', tf|fn])"},
    {"clear", commandClear, {1, 1}, {0, 0}, "vorlex('clear', result)"},
    {"paramPut", commandParamPut, {3, -1}, {0, 0},
     "vorlex('paramPut', param, format, value1, ...)"},
    {"resultGet", commandResultGet, {3, -1}, {1, -1},
     "[s1, ...] = vorlex('resultGet', result, format, column1, ... [, 'columnVectors', tf])"},
    {"paramCreate", commandParamCreate, {1, 1}, {1, 1}, "param = vorlex('paramCreate', conn)"},
    {"paramClear", commandParamClear, {1, 1}, {0, 0}, "vorlex('paramClear', param)"},
    {"isNull", commandIsNull, {3, 3}, {0, 1}, "tf = vorlex('isNull', result, row, column)"},
    {"resultErrorMessage", commandProperty, {1, 1}, {0, 1},
     "message = vorlex('resultErrorMessage', result)"},
    {"resultStatus", commandProperty, {1, 1}, {0, 1}, "status = vorlex('resultStatus', result)"},
    {"fieldCount", commandFieldCount, {1, 1}, {0, 1}, "n = vorlex('fieldCount', result)"},
    {"rowCount", commandRowCount, {1, 1}, {0, 1}, "n = vorlex('rowCount', result)"},
    {"fieldName", commandFieldName, {2, 2}, {0, 1}, "name = vorlex('fieldName', result, column)"},
    {"connect", commandConnect, {0, 1}, {0, 1}, "conn = vorlex('connect' [, conninfo])"},
    {"finish", commandFinish, {1, 1}, {0, 0}, "vorlex('finish', conn)"},
    {"status", commandStatus, {1, 1}, {0, 1}, "status = vorlex('status', conn)"},
    {"errorMessage", commandProperty, {1, 1}, {0, 1}, "message = vorlex('errorMessage', conn)"},
    {"paramReset", commandParamReset, {1, 1}, {0, 0}, "vorlex('paramReset', param)"},
    {"paramCount", commandParamCount, {1, 1}, {1, 1}, "n = vorlex('paramCount', param)"},
    {"fieldNumber", commandFieldNumber, {2, 2}, {0, 1},
     "column = vorlex('fieldNumber', result, name)"},
    {"binaryTuples", commandProperty, {1, 1}, {0, 1}, "tf = vorlex('binaryTuples', result)"},
    {"cmdStatus", commandProperty, {1, 1}, {0, 1}, "text = vorlex('cmdStatus', result)"},
    {"cmdTuples", commandProperty, {1, 1}, {0, 1}, "text = vorlex('cmdTuples', result)"},
    {"db", commandProperty, {1, 1}, {0, 1}, "name = vorlex('db', conn)"},
    {"execText", commandExecText, {2, 2}, {0, 1}, "[result =] vorlex('execText', conn, sql)"},
    {"fieldSize", commandFieldSize, {2, 2}, {0, 1}, "size = vorlex('fieldSize', result, column)"},
    {"valueLength", commandValueLength, {3, 3}, {0, 1},
     "n = vorlex('valueLength', result, row, column)"},
    {"getValue", commandGetValue, {3, 3}, {0, 1},
     "value = vorlex('getValue', result, row, column)"},
    {"host", commandProperty, {1, 1}, {0, 1}, "host = vorlex('host', conn)"},
    {"options", commandProperty, {1, 1}, {0, 1}, "options = vorlex('options', conn)"},
    {"pass", commandProperty, {1, 1}, {0, 1}, "password = vorlex('pass', conn)"},
    {"port", commandProperty, {1, 1}, {0, 1}, "port = vorlex('port', conn)"},
    {"reset", commandReset, {1, 1}, {0, 0}, "vorlex('reset', conn)"},
    {"user", commandProperty, {1, 1}, {0, 1}, "user = vorlex('user', conn)"},
    {"copyIn", commandCopyIn, {4, 8}, {0, 1},
     "[n =] vorlex('copyIn', conn, target, format, values [, elementNulls [, valueNulls]] "
     "[, 'progress', tf|fn])"},
    {"copyOut", commandCopyOut, {3, 7}, {1, -1},
     "[s1, ...] = vorlex('copyOut', conn, query, format [, 'columnVectors', tf] "
     "[, 'progress', tf|fn])"},
    {"query", commandQuery, {2, -1}, {0, 2},
     "[data, info] = vorlex('query', conn, sql [, params] [, 'format', format] [, 'keepClass', "
     "tf] [, 'numeric', 'text'|'double'] [, 'output', 'struct'|'cell'] [, 'dates', "
     "'datenum'|'posix'|'text'] [, 'timeZone', 'UTC'|'local'|zone] [, 'chunk', n] "
     "[, 'progress', tf|fn])"},
    {"insert", commandInsert, {3, 15}, {0, 1},
     "[n =] vorlex('insert', conn, table, data [, 'exactNames', tf] [, 'nulls', nulls] "
     "[, 'nan', 'null'|'value'] [, 'dates', 'datenum'|'posix'] [, 'timeZone', 'UTC'|'local'|zone] "
     "[, 'progress', tf|fn])"},
    {"fieldType", commandFieldType, {2, 2}, {0, 2},
     "[oid, name] = vorlex('fieldType', result, column)"},
    {"help", commandHelp, {0, 1}, {0, 1}, "[text =] vorlex('help' [, command or topic])"},
    {"lastError", commandLastError, {1, 1}, {0, 1}, "error = vorlex('lastError', conn)"},
    {"listen", commandListen, {2, 2}, {0, 0}, "vorlex('listen', conn, channel)"},
    {"unlisten", commandUnlisten, {2, 2}, {0, 0}, "vorlex('unlisten', conn, channel)"},
    {"notifications", commandNotifications, {1, 2}, {0, 1},
     "notes = vorlex('notifications', conn [, timeout])"},
    {"fetch", commandFetch, {1, 3}, {0, 3},
     "[data, info, done] = vorlex('fetch', cur [, 'progress', tf|fn])"},
    {"close", commandClose, {1, 1}, {0, 0}, "vorlex('close', cur)"},
};
// clang-format on

const Command* findCommand(const char* name) {
    // Most rows differ in their first letter: compared first, cheaply.
    int first = std::tolower(static_cast<unsigned char>(name[0]));
    for (const Command& command : commandTable)
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
        command.handler(nlhs, plhs, nrhs - 1, prhs + 1);
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
    CommandScope scope(command->name, command->usage);
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
