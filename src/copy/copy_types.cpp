// SPDX-License-Identifier: BSD-3-Clause
// copy_types.cpp - the rule of which column takes which specifier's bytes.
#include "copy/copy_types.hpp"

#include "types/type_catalogue.hpp"

namespace vorlex {

bool columnTakesBinaryOf(Oid column, Oid sent) {
    // bpchar's bytes keep the trailing blanks its cast to the others drops.
    return column == sent || (isCharacterOid(column) && isCharacterOid(sent) && sent != kBpcharOid);
}

}  // namespace vorlex
