// SPDX-License-Identifier: BSD-3-Clause
// libpqtypes_error.hpp - libpqtypes' pending error text, in the module's
// words, and raised as the running command's error.
#pragma once

#include <string>

namespace vorlex {

// libpqtypes' text in the module's words where libpqtypes' own are unclear:
// "Uknown type 'jsonb' (position 2)" becomes "unknown type 'jsonb'" (the
// module names the specifier itself, counted from 1); other texts are
// returned unchanged.
std::string typesErrorText(const std::string& text);

// libpqtypes' pending error text as typesErrorText gives it, without the
// newline libpq's texts in it end with; empty when none is pending.  Clears
// it.
std::string takeTypesError();

// Raises libpqtypes' pending error text, if any, under `check`, and clears
// it.  Handlers call it after the libpqtypes calls whose failure they report
// under their own identifier.
void raisePendingTypesError(const char* check);

// Forgets a pending error text.  libpqtypes clears its whole error record
// (17 KB) on every clear; this clears it only when a text is pending.
void clearPendingTypesError();

}  // namespace vorlex
