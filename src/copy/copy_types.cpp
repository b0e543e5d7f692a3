// copy_types.cpp - the rule of which column takes which specifier's bytes.
#include "copy/copy_types.hpp"

namespace vorlex {

namespace {

using namespace copy_oids;

// Types whose binary form is the text itself.  A column of one stores
// those bytes as the cast from text does (bpchar pads to its length,
// varchar and bpchar refuse a text too long for it), but for a text too
// long for a name, which the cast cuts and the column refuses.
bool isCharacterType(Oid oid) {
    return oid == kText || oid == kVarchar || oid == kBpchar || oid == kName;
}

}  // namespace

bool columnTakesBinaryOf(Oid column, Oid sent) {
    return column == sent || (isCharacterType(column) && isCharacterType(sent) && sent != kBpchar);
}

}  // namespace vorlex
