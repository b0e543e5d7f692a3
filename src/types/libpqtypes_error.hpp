// libpqtypes_error.hpp - libpqtypes' pending error text, raised as the
// running command's error.
#pragma once

namespace vorlex {

// Raises libpqtypes' pending error text, if any, under `check`, and clears
// it.  Handlers call it after the libpqtypes calls whose failure they report
// under their own identifier.
void raisePendingTypesError(const char* check);

// Forgets a pending error text.  libpqtypes clears its whole error record
// (17 KB) on every clear; this clears it only when a text is pending.
void clearPendingTypesError();

}  // namespace vorlex
