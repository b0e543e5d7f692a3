// SPDX-License-Identifier: BSD-3-Clause
// known_statements.hpp - the statements query has described, so that one
// run again on its connection skips the description's round trip.
//
// A statement is known by its connection's handle (never reused), its
// text and the parameter types it was sent with.  What the description
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

namespace vorlex {

struct StatementKey {
    uint32_t connection;
    std::string sql;
    std::vector<Oid> parameterTypes;
};

struct KnownStatement {
    long parameters;  // the $n the statement takes
    ResultPlan plan;
};

// The statement's description, or null when it is not known.
const KnownStatement* findKnownStatement(const StatementKey& key);
void rememberStatement(StatementKey key, KnownStatement known);
void forgetStatement(const StatementKey& key);

}  // namespace vorlex
