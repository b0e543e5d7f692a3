// Tests of command lookup, the pending libpqtypes error and error texts.
#include "gateway/dispatch.hpp"

#include <gtest/gtest.h>
#include <libpqtypes.h>

#include <set>
#include <string>

#include "host/host.hpp"
#include "types/pqtypes_private.hpp"
#include "test_support.hpp"

namespace vorlex {
namespace {

TEST(CommandTable, HasThirtyFiveDistinctRowsInTheirFixedPlaces) {
    std::set<std::string> names;
    for (const Command& command : commandTable) {
        ASSERT_NE(command.handler, nullptr) << command.name;
        EXPECT_LE(std::string(command.name).size(), 29u);
        names.insert(command.name);
    }
    EXPECT_EQ(names.size(), 37u);
    EXPECT_STREQ(commandTable[0].name, "exec");
    EXPECT_STREQ(commandTable[5].name, "resultGet");
    EXPECT_STREQ(commandTable[14].name, "connect");
    EXPECT_STREQ(commandTable[25].name, "execText");
    EXPECT_STREQ(commandTable[34].name, "user");
}

TEST(CommandTable, LookupIgnoresCaseButNothingElse) {
    EXPECT_EQ(findCommand("paramExec"), &commandTable[1]);
    EXPECT_EQ(findCommand("PARAMEXEC"), &commandTable[1]);
    EXPECT_EQ(findCommand("pArAmExEc"), &commandTable[1]);
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
