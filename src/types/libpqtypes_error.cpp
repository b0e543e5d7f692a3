// SPDX-License-Identifier: BSD-3-Clause
// libpqtypes_error.cpp - libpqtypes' pending error text as a command's error.
#include "types/libpqtypes_error.hpp"

#include <libpqtypes.h>

#include <regex>

#include "host/errors.hpp"

namespace vorlex {

namespace {

// libpqtypes' texts (as its printf patterns make them) and the module's
// words for them.  Their positions are dropped: libpqtypes counts specifiers
// and characters in ways of its own, and the module's messages name the
// specifier already.
struct Rewording {
    const char* pattern;  // an ECMAScript regular expression for the whole text
    const char* words;    // its replacement, with $1... for the groups
};

const Rewording kRewordings[] = {
    {R"(Uknown type '(.*)' \(position \d+\))", "unknown type '$1'"},
    // A NUL after "%" or "#" (the format's end) ends libpqtypes' text there.
    {R"(Invalid first character for identifier ')", "a type name must follow % or #"},
    {R"(Invalid first character for identifier '(.)' \(pos:\d+\))",
     "a type name cannot start with '$1'"},
    {R"(Unterminated double quote '(.*)' \(pos:\d+\))", "unterminated double quote in $1"},
    {R"(Identifier out of range (\d+) \(pos:\d+\), range is 1 to (\d+))",
     "a type name of $1 characters is too long: at most $2"},
    {R"('\*' specifer flag cannot be used with arrays\[\] '(.*)' \(pos:\d+\))",
     "the pointer flag * cannot follow an array type: $1"},
    {R"(Type '(.*)' doesn't support put operations \(position \d+\))",
     "values of the type $1 cannot be put"},
    {R"(Type '(.*)' doesn't support putting pointers \(position \d+\))",
     "values of the type $1 cannot be put through a pointer (*)"},
    {R"(Trying to get type (\d+) '(.*)' but server returned (\d+) \(position \d+\))",
     "the column has type OID $3, not $2 (OID $1)"},
};

}  // namespace

std::string typesErrorText(const std::string& text) {
    std::smatch match;
    for (const Rewording& rewording : kRewordings)
        if (std::regex_match(text, match, std::regex(rewording.pattern)))
            return match.format(rewording.words);
    return text;
}

std::string takeTypesError() {
    const char* pending = PQgeterror();
    if (!pending || !*pending) return std::string();
    std::string text = typesErrorText(libpqText(pending));
    PQseterror(nullptr);
    return text;
}

void raisePendingTypesError(const char* check) {
    std::string text = takeTypesError();
    if (!text.empty()) raiseError(check, "%s", text.c_str());
}

void clearPendingTypesError() {
    const char* pending = PQgeterror();
    if (pending && *pending) PQseterror(nullptr);
}

}  // namespace vorlex
