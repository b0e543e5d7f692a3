// copy_types.cpp - the rule of which column takes which specifier's bytes.
#include "copy/copy_types.hpp"

namespace vorlex {

namespace {

// Types whose binary form is the text itself, which each reads alike
// (bpchar pads and name limits the length, as their casts from text do).
bool isCharacterType(Oid oid) {
    using namespace copy_oids;
    return oid == kText || oid == kVarchar || oid == kBpchar || oid == kName;
}

}  // namespace

bool columnTakesBinaryOf(Oid column, Oid sent) {
    return column == sent || (isCharacterType(column) && isCharacterType(sent));
}

}  // namespace vorlex
