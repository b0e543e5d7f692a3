// libpqtypes_error.cpp - libpqtypes' pending error text as a command's error.
#include "types/libpqtypes_error.hpp"

#include <libpqtypes.h>

#include <string>

#include "host/errors.hpp"

namespace vorlex {

void raisePendingTypesError(const char* check) {
    const char* pending = PQgeterror();
    if (!pending || !*pending) return;
    std::string text(pending);
    PQseterror(nullptr);
    raiseError(check, "%s", text.c_str());
}

void clearPendingTypesError() {
    const char* pending = PQgeterror();
    if (pending && *pending) PQseterror(nullptr);
}

}  // namespace vorlex
