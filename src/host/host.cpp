// SPDX-License-Identifier: BSD-3-Clause
// host.cpp - warnings, notes, argument-count checks, char arguments and text.
#include "host/host.hpp"

#include <algorithm>
#include <cstdarg>
#include <cstring>
#include <string>

#include "host/errors.hpp"
#include "host/options.hpp"

namespace vorlex {

void warn(const char* check, const char* pattern, ...) {
    va_list args;
    va_start(args, pattern);
    std::string text = formatText(pattern, args);
    va_end(args);
    mexWarnMsgIdAndTxt(errorId(check).c_str(), "%s", text.c_str());
}

void note(const char* pattern, ...) {
    va_list args;
    va_start(args, pattern);
    std::string text = formatText(pattern, args);
    va_end(args);
    mexPrintf("%s", text.c_str());
}

namespace {

bool countFits(int count, int least, int most) {
    return count >= least && (most < 0 || count <= most);
}

}  // namespace

void requireInputCount(int nrhs, int least, int most, const char* usage) {
    if (!countFits(nrhs, least, most))
        raiseError("nargin", "wrong number of arguments after the command name (%d); usage: %s",
                   nrhs, usage);
}

void requireOutputCount(int nlhs, int least, int most, const char* usage) {
    if (!countFits(nlhs, least, most))
        raiseError("nargout", "wrong number of outputs (%d); usage: %s", nlhs, usage);
}

namespace {

// The message of the error a trapped call raised: MATLAB gives an
// MException, Octave a struct with the same fields.
std::string trappedMessage(const mxArray* failure) {
    std::string text;
    mxArray* message = mxIsStruct(failure) ? mxGetField(failure, 0, "message")
                                           : mxGetProperty(failure, 0, "message");
    if (message && mxIsChar(message)) charArrayBytes(message, text);
    return text;
}

}  // namespace

bool callHostFunction(const char* name, mxArray* input, mxArray*& output, std::string& error) {
    output = nullptr;
    mxArray* failure = mexCallMATLABWithTrap(1, &output, 1, &input, name);
    if (!failure && output) return true;
    error = std::string("the Octave function ") + name + " failed";
    std::string text = failure ? trappedMessage(failure) : "it returned no value";
    if (!text.empty()) error += ": " + text;
    return false;
}

bool charArrayBytes(const mxArray* array, std::string& bytes) {
    size_t count = mxGetNumberOfElements(array);
    if constexpr (sizeof(mxChar) == 1) {
        const mxChar* chars = mxGetChars(array);
        if (count > 0 && !chars) return false;
        bytes.assign(reinterpret_cast<const char*>(chars), count);
        return true;
    } else {
        if (count == 0) {
            bytes.clear();
            return true;
        }
        char* converted = mxArrayToString(array);
        if (!converted) return false;
        bytes.assign(converted);
        mxFree(converted);
        return true;
    }
}

bool charRowBytes(const mxArray* row, std::string& bytes) {
    if constexpr (sizeof(mxChar) == 1) {
        size_t count = mxGetNumberOfElements(row);
        bytes.resize(count + 1);
        if (mxGetString(row, &bytes[0], count + 1) != 0) return false;
        bytes.resize(count);
        return true;
    } else {
        return charArrayBytes(row, bytes);
    }
}

namespace {

// Looked for in the host's chars: on MATLAB the conversion to bytes stops
// at the first NUL.
bool holdsNul(const mxArray* array) {
    const mxChar* chars = mxGetChars(array);
    const mxChar* end = chars ? chars + mxGetNumberOfElements(array) : chars;
    return std::find(chars, end, mxChar{0}) != end;
}

}  // namespace

std::string charArgBytes(const mxArray* arg, int position, const CharArgChecks& checks) {
    if (checks.row && (!mxIsChar(arg) || mxGetM(arg) != 1))
        raiseError(checks.notChar, "argument %d (%s) must be a char row, not a %zux%zu %s",
                   position, checks.name, static_cast<size_t>(mxGetM(arg)),
                   static_cast<size_t>(mxGetN(arg)), mxGetClassName(arg));
    if (!mxIsChar(arg))
        raiseError(checks.notChar, "argument %d (%s) must be char, not %s", position, checks.name,
                   mxGetClassName(arg));
    std::string bytes;
    bool read = charArrayBytes(arg, bytes);
    // Where chars are bytes, a NUL is among the bytes read.
    bool nul = sizeof(mxChar) == 1 ? bytes.find('\0') != std::string::npos : holdsNul(arg);
    if (checks.hasNul && nul)
        raiseError(checks.hasNul, "argument %d (%s) holds a NUL character", position, checks.name);
    if (!read)
        raiseError(checks.unreadable, "argument %d (%s) could not be read", position, checks.name);
    return bytes;
}

mxArray* createCharRow(const char* bytes, size_t length) {
    if (length == 0) {
        mwSize empty[2] = {0, 0};
        return mxCreateCharArray(2, empty);
    }
    if constexpr (sizeof(mxChar) == 1) {
        mwSize dims[2] = {1, static_cast<mwSize>(length)};
        mxArray* row = mxCreateCharArray(2, dims);
        std::memcpy(mxGetChars(row), bytes, length);
        return row;
    } else {
        return mxCreateString(std::string(bytes, length).c_str());
    }
}

mxArray* createCharRow(const char* text) {
    return text ? createCharRow(text, std::strlen(text)) : createCharRow("", 0);
}

std::string shapeText(const mxArray* array) {
    std::string text;
    mwSize ndims = mxGetNumberOfDimensions(array);
    const mwSize* dims = mxGetDimensions(array);
    for (mwSize d = 0; d < ndims; ++d)
        text += (d ? "x" : "") + std::to_string(static_cast<size_t>(dims[d]));
    return text + " " + mxGetClassName(array);
}

std::string optionNameArg(const mxArray* const prhs[], int index, int nrhs) {
    std::string name = charArg(
        prhs, index, {"option name", "optionNotChar", "unknownOption", "unknownOption", true});
    if (index + 1 >= nrhs)
        raiseError("optionValue", "argument %d: option '%s' has no value", argPosition(index),
                   name.c_str());
    return name;
}

bool isFlag(const mxArray* value) {
    bool real = mxIsLogical(value) || (mxIsNumeric(value) && !mxIsComplex(value));
    if (!real || mxGetNumberOfElements(value) != 1 || mxIsSparse(value)) return false;
    double number = mxGetScalar(value);
    return number == 0 || number == 1;
}

bool flagArg(const mxArray* const prhs[], int index, const char* option) {
    if (!isFlag(prhs[index]))
        raiseError("optionValue",
                   "argument %d: the value of '%s' must be true or false (a logical, or 0 or 1)",
                   argPosition(index), option);
    return mxGetScalar(prhs[index]) == 1;
}

void raiseUnknownOption(int index, const std::string& name, const char* const* names,
                        size_t count) {
    std::string list;
    for (size_t k = 0; k < count; ++k)
        list += std::string(k == 0 ? "'" : k + 1 == count ? " and '" : ", '") + names[k] + "'";
    raiseError("unknownOption", "argument %d: unknown option '%s'; the option%s %s",
               argPosition(index), name.c_str(), count == 1 ? " is" : "s are", list.c_str());
}

}  // namespace vorlex
