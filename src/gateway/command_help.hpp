// SPDX-License-Identifier: BSD-3-Clause
// command_help.hpp - what vorlex('help') and `help vorlex` say: an overview,
// and a summary and an example for every command.
//
// Topics (types, nulls, dates, errors, performance) are rows of a table of
// their own, shown by vorlex('help', topic) and listed in the overview.
//
// A command's help is keyed by its name, so that help can be written before
// its row of the command table exists; a unit test holds every row to
// having help.  inst/vorlex.m holds the overview as comments, which Octave
// and MATLAB show for `help vorlex` (scripts/write_help_file.sh writes it).
#pragma once

#include <mex.h>

#include <cstddef>
#include <string>

#include "gateway/dispatch.hpp"

namespace vorlex {

struct CommandHelp {
    const char* group;    // the heading it is listed under in the overview
    const char* name;     // as in the command table
    const char* summary;  // one line: what the command does or gives
    // Lines of Octave that run as they stand, given a connection `conn` to
    // a database with a table t (a int4, b text).
    const char* example;
    // Its optional arguments and name-value options, a line each
    // ("name, values: what it does"); null when it has none.
    const char* options = nullptr;
};

struct HelpTopic {
    const char* name;
    const char* summary;  // one line, as a command's
    const char* text;     // lines of at most 90 characters
};

extern const CommandHelp commandHelps[];
extern const size_t kCommandHelpCount;
extern const HelpTopic helpTopics[];
extern const size_t kHelpTopicCount;

// The help of the command `name`, matched ignoring case as commands are;
// null when it has none.
const CommandHelp* findCommandHelp(const char* name);

// The topic `name`, matched ignoring case; null when there is none.
const HelpTopic* findHelpTopic(const char* name);

// The overview: what the module is, how it is called, every command with
// its summary, under its group, and the topics.
std::string overviewText();

// One command's help: its summary, the usage of its row, its options and
// its example.
std::string commandHelpText(const Command& command, const CommandHelp& help);

// vorlex('help' [, name]): the overview, one command's help or a topic; printed,
// or returned as text when an output is asked for.
void commandHelp(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);

}  // namespace vorlex
