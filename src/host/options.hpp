// SPDX-License-Identifier: BSD-3-Clause
// options.hpp - a command's name/value options, read through a table with
// one row per option: its name, matched ignoring case, and the reader of
// its value into the command's record of options.  Every command with
// options reads them here, and every true/false option through flagArg.
#pragma once

#include <mex.h>
#include <strings.h>

#include <cstddef>
#include <string>

namespace vorlex {

template <typename Options>
struct OptionRow {
    const char* name;
    // Reads the option's value, the handler's input `index`.
    void (*read)(Options& options, const mxArray* const prhs[], int index);
};

// The name of the option at the handler's input `index`, which must have a
// value after it among the `nrhs` inputs (optionNotChar, optionValue).
std::string optionNameArg(const mxArray* const prhs[], int index, int nrhs);

// Whether `value` is true or false the one way every option takes them: a
// logical or a real number, scalar, 0 or 1.
bool isFlag(const mxArray* value);

// The value of the true/false option `option` at the handler's input
// `index` (optionValue when it is not isFlag).
bool flagArg(const mxArray* const prhs[], int index, const char* option);

// Refuses the option `name` at input `index` as unknownOption, naming the
// `count` options there are.
[[noreturn]] void raiseUnknownOption(int index, const std::string& name, const char* const* names,
                                     size_t count);

// Reads the pairs of inputs `first` ... `nrhs - 1` into `options`.
template <typename Options, size_t N>
void readOptions(const mxArray* const prhs[], int first, int nrhs,
                 const OptionRow<Options> (&rows)[N], Options& options) {
    for (int index = first; index < nrhs; index += 2) {
        std::string name = optionNameArg(prhs, index, nrhs);
        const OptionRow<Options>* found = nullptr;
        for (const OptionRow<Options>& row : rows)
            if (strcasecmp(name.c_str(), row.name) == 0) found = &row;
        if (!found) {
            const char* names[N];
            for (size_t k = 0; k < N; ++k) names[k] = rows[k].name;
            raiseUnknownOption(index, name, names, N);
        }
        found->read(options, prhs, index + 1);
    }
}

}  // namespace vorlex
