// dispatch.cpp - command table, lookup and the run of one command.
#include "gateway/dispatch.hpp"

#include <libpqtypes.h>
#include <strings.h>

#include <new>
#include <string>

#include "gateway/commands.hpp"
#include "host/errors.hpp"
#include "types/pqtypes_private.hpp"

namespace vorlex {

// The row order is part of the interface: lookup walks it from the top and
// the first match wins.
const Command commandTable[kCommandCount] = {
    {"exec", commandExec},                    // 0
    {"paramExec", commandParamExec},          // 1
    {"batchExec", commandBatchExec},          // 2
    {"clear", commandClear},                  // 3
    {"paramPut", commandParamPut},            // 4
    {"resultGet", commandResultGet},          // 5
    {"paramCreate", commandParamCreate},      // 6
    {"paramClear", commandParamClear},        // 7
    {"isNull", commandIsNull},                // 8
    {"resultErrorMessage", commandProperty},  // 9
    {"resultStatus", commandProperty},        // 10
    {"fieldCount", commandFieldCount},        // 11
    {"rowCount", commandRowCount},            // 12
    {"fieldName", commandFieldName},          // 13
    {"connect", commandConnect},              // 14
    {"finish", commandFinish},                // 15
    {"status", commandStatus},                // 16
    {"errorMessage", commandProperty},        // 17
    {"paramReset", commandParamReset},        // 18
    {"paramCount", commandParamCount},        // 19
    {"fieldNumber", commandFieldNumber},      // 20
    {"binaryTuples", commandProperty},        // 21
    {"cmdStatus", commandProperty},           // 22
    {"cmdTuples", commandProperty},           // 23
    {"db", commandProperty},                  // 24
    {"execText", commandExecText},            // 25
    {"fieldSize", commandFieldSize},          // 26
    {"valueLength", commandValueLength},      // 27
    {"getValue", commandGetValue},            // 28
    {"host", commandProperty},                // 29
    {"options", commandProperty},             // 30
    {"pass", commandProperty},                // 31
    {"port", commandProperty},                // 32
    {"reset", commandReset},                  // 33
    {"user", commandProperty},                // 34
    {"copyIn", commandCopyIn},                // 35
    {"copyOut", commandCopyOut},              // 36
};

const Command* findCommand(const char* name) {
    for (const Command& command : commandTable)
        if (strcasecmp(command.name, name) == 0) return &command;
    return nullptr;
}

void commandNotAvailable(int, mxArray*[], int, const mxArray*[]) {
    raiseError("notAvailable", "the command '%s' is not available yet in this build",
               activeCommand());
}

namespace {

std::string commandName(const mxArray* arg) {
    if (!mxIsChar(arg))
        raiseError("commandNotChar", "argument 1 must be a command name (char), not %s",
                   mxGetClassName(arg));
    char* converted = mxArrayToString(arg);
    if (!converted) raiseError("commandUnreadable", "argument 1 could not be read as text");
    std::string name(converted);
    mxFree(converted);
    // A NUL inside the array would cut the text short and let "exec\0x"
    // pass for "exec".
    if (name.size() < mxGetNumberOfElements(arg))
        raiseError("unknownCommand", "unknown command '%s...': the name holds a NUL character",
                   name.c_str());
    return name;
}

void runHandler(const Command& command, int nlhs, mxArray* plhs[], int nrhs,
                const mxArray* prhs[]) {
    PQseterror(nullptr);
    try {
        command.handler(nlhs, plhs, nrhs - 1, prhs + 1);
    } catch (const std::bad_alloc&) {
        raiseError("outOfMemory", "out of memory");
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
    runHandler(*command, nlhs, plhs, nrhs, prhs);
}

}  // namespace vorlex
