// SPDX-License-Identifier: BSD-3-Clause
// known_statements.cpp - the described statements, least recently run
// given up first.
#include "query/known_statements.hpp"

#include <algorithm>
#include <list>
#include <utility>

namespace vorlex {

namespace {

// Enough for the statements of a script's loops; each holds its text and
// a plan of a few hundred bytes.
constexpr size_t kMostKnown = 64;

struct Entry {
    StatementKey key;
    KnownStatement known;
};

// Most recently run first.
std::list<Entry>& entries() {
    static std::list<Entry> known;
    return known;
}

bool sameKey(const StatementKey& a, const StatementKey& b) {
    return a.connection == b.connection && a.parameterTypes == b.parameterTypes &&
           a.classTypes == b.classTypes && a.sql == b.sql;
}

std::list<Entry>::iterator find(const StatementKey& key) {
    return std::find_if(entries().begin(), entries().end(),
                        [&](const Entry& entry) { return sameKey(entry.key, key); });
}

}  // namespace

const KnownStatement* findKnownStatement(const StatementKey& key) {
    auto found = find(key);
    if (found == entries().end()) return nullptr;
    entries().splice(entries().begin(), entries(), found);
    return &entries().front().known;
}

void rememberStatement(StatementKey key, KnownStatement known) {
    forgetStatement(key);
    entries().push_front(Entry{std::move(key), std::move(known)});
    if (entries().size() > kMostKnown) entries().pop_back();
}

void forgetStatement(const StatementKey& key) {
    auto found = find(key);
    if (found != entries().end()) entries().erase(found);
}

}  // namespace vorlex
