// SPDX-License-Identifier: BSD-3-Clause
// Tests of command lookup, the pending libpqtypes error and error texts.
#include "gateway/dispatch.hpp"

#include <gtest/gtest.h>
#include <libpqtypes.h>

#include <set>
#include <string>
#include <vector>

#include "gateway/command_help.hpp"
#include "host/host.hpp"
#include "test_support.hpp"
#include "types/libpqtypes_error.hpp"

namespace vorlex {
namespace {

TEST(CommandTable, HasDistinctRowsInTheirFixedPlaces) {
    CommandRows commandTable = vorlex::commandTable();
    std::set<std::string> names;
    for (const Command& command : commandTable) {
        ASSERT_NE(command.handler, nullptr) << command.name;
        EXPECT_LE(std::string(command.name).size(), 29u);
        names.insert(command.name);
    }
    EXPECT_EQ(names.size(), commandTable.count);
    EXPECT_STREQ(commandTable[0].name, "exec");
    EXPECT_STREQ(commandTable[5].name, "resultGet");
    EXPECT_STREQ(commandTable[14].name, "connect");
    EXPECT_STREQ(commandTable[25].name, "execText");
    EXPECT_STREQ(commandTable[34].name, "user");
    EXPECT_STREQ(commandTable[37].name, "query");
    EXPECT_STREQ(commandTable[38].name, "insert");
    EXPECT_STREQ(commandTable[39].name, "fieldType");
    EXPECT_STREQ(commandTable[40].name, "help");
    EXPECT_STREQ(commandTable[41].name, "lastError");
    EXPECT_STREQ(commandTable[44].name, "notifications");
    EXPECT_STREQ(commandTable[45].name, "fetch");
    EXPECT_STREQ(commandTable[46].name, "close");
}

TEST(CommandTable, EveryRowHasCountBoundsAndAUsageThatNamesItsCommand) {
    for (const Command& command : commandTable()) {
        for (CountBounds bounds : {command.inputs, command.outputs}) {
            EXPECT_GE(bounds.least, 0) << command.name;
            EXPECT_TRUE(bounds.most < 0 || bounds.most >= bounds.least) << command.name;
        }
        ASSERT_NE(command.usage, nullptr) << command.name;
        EXPECT_NE(std::string(command.usage).find(std::string("vorlex('") + command.name + "'"),
                  std::string::npos)
            << command.usage;
    }
}

// Runs `name` with `inputs` arguments after it (empty doubles) and `outputs`
// outputs; the error it raises.
GatewayError dispatchError(const char* name, int inputs, int outputs) {
    std::vector<const mxArray*> prhs{mxCreateString(name)};
    for (int i = 0; i < inputs; ++i) prhs.push_back(mxCreateDoubleMatrix(0, 0, mxREAL));
    std::vector<mxArray*> plhs(static_cast<size_t>(outputs) + 1, nullptr);
    GatewayError raised;
    try {
        dispatchCommand(outputs, plhs.data(), static_cast<int>(prhs.size()), prhs.data());
    } catch (const GatewayError& error) {
        raised = error;
    }
    for (const mxArray* arg : prhs) mxDestroyArray(const_cast<mxArray*>(arg));
    return raised;
}

// A count outside the bounds: one below, or above when nothing is below.
int countOutside(CountBounds bounds) {
    return bounds.least > 0 ? bounds.least - 1 : bounds.most + 1;
}

TEST(CommandTable, CountsOutsideTheRowAreRefusedWithItsUsageBeforeTheHandlerRuns) {
    for (const Command& command : commandTable()) {
        std::string prefix = std::string("vorlex:") + command.name + ":";
        GatewayError inputs =
            dispatchError(command.name, countOutside(command.inputs), command.outputs.least);
        EXPECT_EQ(inputs.id, prefix + "nargin") << inputs.message;
        EXPECT_NE(inputs.message.find(command.usage), std::string::npos) << inputs.message;
        GatewayError outputs =
            dispatchError(command.name, command.inputs.least, countOutside(command.outputs));
        EXPECT_EQ(outputs.id, prefix + "nargout") << outputs.message;
        EXPECT_NE(outputs.message.find(command.usage), std::string::npos) << outputs.message;
    }
}

TEST(CommandHelp, EveryRowHasAOneLineSummaryAnExampleAndAHeadingOfTheOverview) {
    std::string overview = overviewText();
    for (const Command& command : commandTable()) {
        ASSERT_NE(command.summary, nullptr) << command.name;
        ASSERT_NE(command.example, nullptr) << command.name;
        EXPECT_NE(std::string(command.summary), "") << command.name;
        EXPECT_EQ(std::string(command.summary).find('\n'), std::string::npos) << command.name;
        EXPECT_NE(std::string(command.example), "") << command.name;
        EXPECT_TRUE(!command.options || *command.options) << command.name;
        // Listed once in the overview, under its heading.
        std::string line = std::string("\n  ") + command.name + " ";
        size_t at = overview.find(line);
        EXPECT_NE(at, std::string::npos) << command.name;
        EXPECT_EQ(overview.find(line, at + 1), std::string::npos) << command.name;
    }
}

TEST(CommandTable, LookupIgnoresCaseButNothingElse) {
    const Command* paramExec = &commandTable()[1];
    EXPECT_EQ(findCommand("paramExec"), paramExec);
    EXPECT_EQ(findCommand("PARAMEXEC"), paramExec);
    EXPECT_EQ(findCommand("pArAmExEc"), paramExec);
    EXPECT_EQ(findCommand(" paramExec"), nullptr);
    EXPECT_EQ(findCommand("paramExec "), nullptr);
    EXPECT_EQ(findCommand("param"), nullptr);
    EXPECT_EQ(findCommand(""), nullptr);
}

TEST(PendingTypesError, IsRaisedVerbatimAndCleared) {
    CommandScope scope("exec");
    raisePendingTypesError("typesCheck");  // nothing pending: no error
    PQseterror("%s", "100% wrong: %d %s");
    std::string message = raisedMessage([] { raisePendingTypesError("typesCheck"); });
    EXPECT_EQ(message, "100% wrong: %d %s");
    EXPECT_STREQ(PQgeterror(), "");
    PQseterror("%s", "again");
    expectRaises("vorlex:exec:typesCheck", [] { raisePendingTypesError("typesCheck"); });
}

TEST(RaiseError, IdentifierFollowsTheActiveCommand) {
    expectRaises("vorlex:dispatch:x", [] { raiseError("x", "%s", "m"); });
    {
        CommandScope outer("connect");
        expectRaises("vorlex:connect:x", [] { raiseError("x", "%s", "m"); });
    }
    expectRaises("vorlex:dispatch:x", [] { raiseError("x", "%s", "m"); });
    std::string longText(10000, 'a');
    EXPECT_EQ(raisedMessage([&] { raiseError("x", "<%s>", longText.c_str()); }).size(), 10002u);
}

TEST(CountChecks, BoundsAreInclusiveAndNegativeMeansUnbounded) {
    CommandScope scope("resultGet");
    requireInputCount(2, 2, 4, "usage");
    requireInputCount(4, 2, 4, "usage");
    requireOutputCount(9, 1, -1, "usage");
    expectRaises("vorlex:resultGet:nargin", [] { requireInputCount(1, 2, 4, "usage"); });
    expectRaises("vorlex:resultGet:nargin", [] { requireInputCount(5, 2, 4, "usage"); });
    expectRaises("vorlex:resultGet:nargout", [] { requireOutputCount(0, 1, -1, "usage"); });
    EXPECT_NE(raisedMessage([] {
                  requireInputCount(0, 1, 1, "c = vorlex('x')");
              }).find("c = vorlex('x')"),
              std::string::npos);
}

}  // namespace
}  // namespace vorlex
