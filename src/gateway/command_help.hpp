// SPDX-License-Identifier: BSD-3-Clause
// command_help.hpp - what vorlex('help') and `help vorlex` say: an overview,
// each command's help from its row of the command table, and the topics.
//
// Topics (types, nulls, dates, errors, performance) are rows of a table of
// their own, shown by vorlex('help', topic) and listed in the overview.
// inst/vorlex.m holds the overview as comments, which Octave and MATLAB
// show for `help vorlex` (scripts/write_help_file.sh writes it).
#pragma once

#include <mex.h>

#include <cstddef>
#include <string>

#include "gateway/dispatch.hpp"

namespace vorlex {

struct HelpTopic {
    const char* name;
    const char* summary;  // one line, as a command's
    const char* text;     // lines of at most 90 characters
};

extern const HelpTopic helpTopics[];
extern const size_t kHelpTopicCount;

// The topic `name`, matched ignoring case; null when there is none.
const HelpTopic* findHelpTopic(const char* name);

// The overview: what the module is, how it is called, every command with
// its summary, under its group, and the topics.
std::string overviewText();

// One command's help: its summary, the usage of its row, its options and
// its example.
std::string commandHelpText(const Command& command);

}  // namespace vorlex
