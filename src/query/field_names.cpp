// SPDX-License-Identifier: BSD-3-Clause
// field_names.cpp - valid and unique field names.
#include "query/field_names.hpp"

#include <algorithm>
#include <cctype>
#include <set>
#include <string_view>
#include <unordered_set>

namespace vorlex {

namespace {

// Octave's keywords and MATLAB's, which neither takes as a field name.
const char* const kKeywords[] = {"__FILE__",
                                 "__LINE__",
                                 "arguments",
                                 "break",
                                 "case",
                                 "catch",
                                 "classdef",
                                 "continue",
                                 "do",
                                 "else",
                                 "elseif",
                                 "end",
                                 "end_try_catch",
                                 "end_unwind_protect",
                                 "endarguments",
                                 "endclassdef",
                                 "endenumeration",
                                 "endevents",
                                 "endfor",
                                 "endfunction",
                                 "endif",
                                 "endmethods",
                                 "endparfor",
                                 "endproperties",
                                 "endspmd",
                                 "endswitch",
                                 "endwhile",
                                 "enumeration",
                                 "events",
                                 "for",
                                 "function",
                                 "global",
                                 "if",
                                 "methods",
                                 "otherwise",
                                 "parfor",
                                 "persistent",
                                 "properties",
                                 "return",
                                 "spmd",
                                 "switch",
                                 "try",
                                 "until",
                                 "unwind_protect",
                                 "unwind_protect_cleanup",
                                 "while"};

bool isKeyword(const std::string& name) {
    static const std::unordered_set<std::string_view> keywords(std::begin(kKeywords),
                                                               std::end(kKeywords));
    return keywords.count(name) != 0;
}

bool isSpace(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }
bool isLetter(char c) { return std::isalpha(static_cast<unsigned char>(c)) != 0; }
bool isWordChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

bool isValid(const std::string& name) {
    return !name.empty() && name.size() <= kMaxFieldName && isLetter(name[0]) &&
           std::all_of(name.begin(), name.end(), isWordChar) && !isKeyword(name);
}

// Drops whitespace; a letter that follows whitespace after the first
// non-space character is made upper case.
std::string joinWords(const std::string& name) {
    std::string joined;
    bool afterSpace = false;
    for (char c : name) {
        if (isSpace(c)) {
            afterSpace = true;
            continue;
        }
        joined += afterSpace && !joined.empty() && isLetter(c)
                      ? static_cast<char>(std::toupper(static_cast<unsigned char>(c)))
                      : c;
        afterSpace = false;
    }
    return joined;
}

}  // namespace

std::string validFieldName(const std::string& name) {
    if (isValid(name)) return name;
    std::string made = joinWords(name);
    if (made.empty()) made = "x";
    if (isKeyword(made))
        made = "x" + std::string(1, static_cast<char>(std::toupper(made[0]))) + made.substr(1);
    if (!isLetter(made[0])) made = "x" + made;
    std::replace_if(
        made.begin(), made.end(), [](char c) { return !isWordChar(c); }, '_');
    made.resize(std::min(made.size(), kMaxFieldName));
    return made;
}

std::vector<std::string> uniqueFieldNames(const std::vector<std::string>& names) {
    std::vector<std::string> made;
    made.reserve(names.size());
    for (const std::string& name : names) made.push_back(validFieldName(name));
    std::set<std::string> taken(made.begin(), made.end());
    std::set<std::string> seen;
    for (std::string& name : made) {
        if (seen.insert(name).second) continue;
        for (size_t n = 1;; ++n) {
            std::string suffix = "_" + std::to_string(n);
            std::string proposal =
                name.substr(0, std::min(name.size(), kMaxFieldName - suffix.size())) + suffix;
            if (taken.insert(proposal).second) {
                name = proposal;
                break;
            }
        }
    }
    return made;
}

}  // namespace vorlex
