// SPDX-License-Identifier: BSD-3-Clause
// known_statements.hpp - the statements query has described, so that one
// run again on its connection skips the description's round trip.
//
// A statement is known by its connection's handle (never reused), its
// text, the parameter types a format named and the classes' types of the
// values left to the server (which it takes where the server cannot type
// them).  What the description
// gave can go stale (a table altered since): query checks every result
// against the plan it read it with, and forgets a plan that no longer
// fits.  A few dozen statements are kept, the least recently run given up
// first.
#pragma once

#include <libpq-fe.h>

#include <cstdint>
#include <string>
#include <vector>

#include "query/query_columns.hpp"
#include "query/query_params.hpp"

namespace vorlex {

struct StatementKey {
    uint32_t connection;
    std::string sql;
    std::vector<Oid> parameterTypes;  // named by a format; 0: left to the server
    // The classes' types of the values left to the server, which it takes
    // where it cannot type them.
    std::vector<Oid> classTypes;
};

struct KnownStatement {
    long parameters;  // the $n the statement takes
    ResultPlan plan;
    std::vector<ParamTarget> targets;  // the parameters' types, one per $n
    bool plainRead;                    // the text only reads (isPlainQuery)
};

// The statement's description, or null when it is not known.
const KnownStatement* findKnownStatement(const StatementKey& key);
void rememberStatement(StatementKey key, KnownStatement known);
void forgetStatement(const StatementKey& key);

}  // namespace vorlex
