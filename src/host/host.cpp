// SPDX-License-Identifier: BSD-3-Clause
// host.cpp - warnings, notes, argument-count checks, char arguments and text.
#include "host/host.hpp"

#include <algorithm>
#include <cstdarg>
#include <cstring>
#include <string>

#include "host/errors.hpp"

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

mxArray* createHostColumn(mxClassID classId, size_t rows) {
    const char* className = nullptr;
    switch (classId) {
        case mxLOGICAL_CLASS:
            className = "logical";
            break;
        case mxDOUBLE_CLASS:
            className = "double";
            break;
        case mxSINGLE_CLASS:
            className = "single";
            break;
        case mxINT16_CLASS:
            className = "int16";
            break;
        case mxINT32_CLASS:
            className = "int32";
            break;
        case mxINT64_CLASS:
            className = "int64";
            break;
        case mxUINT8_CLASS:
            className = "uint8";
            break;
        default:
            return nullptr;
    }
    bool logical = classId == mxLOGICAL_CLASS;
    mxArray* inputs[4] = {mxCreateString(logical ? "false" : "zeros"),
                          mxCreateDoubleScalar(static_cast<double>(rows)), mxCreateDoubleScalar(1),
                          logical ? nullptr : mxCreateString(className)};
    int count = logical ? 3 : 4;
    mxArray* column = nullptr;
    // "builtin" passes over any function of the same name on the path.
    mxArray* failure = mexCallMATLABWithTrap(1, &column, count, inputs, "builtin");
    for (int i = 0; i < count; ++i) mxDestroyArray(inputs[i]);
    bool made = !failure && column && mxGetClassID(column) == classId &&
                mxGetNumberOfDimensions(column) == 2 && mxGetM(column) == rows &&
                mxGetN(column) == 1 && !mxIsComplex(column) && !mxIsSparse(column) &&
                (rows == 0 || mxGetData(column));
    if (failure) mxDestroyArray(failure);
    if (made) return column;
    if (column) mxDestroyArray(column);
    return nullptr;
}

mxArray* createHostSliceCells(mxArray* array, int sliceDims, size_t count) {
    mxArray* dims = mxCreateDoubleMatrix(1, sliceDims, mxREAL);
    for (int d = 0; d < sliceDims; ++d) mxGetPr(dims)[d] = d + 1;
    mxArray* inputs[3] = {mxCreateString("num2cell"), array, dims};
    mxArray* slices = nullptr;
    mxArray* failure = mexCallMATLABWithTrap(1, &slices, 3, inputs, "builtin");
    mxDestroyArray(inputs[0]);
    mxDestroyArray(dims);
    if (failure) mxDestroyArray(failure);
    if (failure || !slices || !mxIsCell(slices) || mxGetNumberOfElements(slices) != count) {
        if (slices) mxDestroyArray(slices);
        return nullptr;
    }
    mxArray* shape[4] = {mxCreateString("reshape"), slices,
                         mxCreateDoubleScalar(static_cast<double>(count)), mxCreateDoubleScalar(1)};
    mxArray* column = nullptr;
    failure = mexCallMATLABWithTrap(1, &column, 4, shape, "builtin");
    for (mxArray* input : shape) mxDestroyArray(input);
    if (failure) mxDestroyArray(failure);
    bool made = !failure && column && mxIsCell(column) && mxGetM(column) == count &&
                mxGetN(column) == 1 && mxGetNumberOfDimensions(column) == 2;
    if (made) return column;
    if (column) mxDestroyArray(column);
    return nullptr;
}

namespace {

// builtin('cellfun', name, cells [, extra]) as doubles, one per element.
bool cellfunNumbers(const char* name, const mxArray* cells, const mxArray* extra,
                    std::vector<double>& numbers) {
    mxArray* inputs[4] = {mxCreateString("cellfun"), mxCreateString(name),
                          const_cast<mxArray*>(cells), const_cast<mxArray*>(extra)};
    int count = extra ? 4 : 3;
    mxArray* output = nullptr;
    mxArray* failure = mexCallMATLABWithTrap(1, &output, count, inputs, "builtin");
    mxDestroyArray(inputs[0]);
    mxDestroyArray(inputs[1]);
    bool answered = !failure && output && mxIsDouble(output) && !mxIsComplex(output) &&
                    !mxIsSparse(output) &&
                    mxGetNumberOfElements(output) == mxGetNumberOfElements(cells);
    if (answered) {
        const double* values = mxGetPr(output);
        numbers.assign(values, values + mxGetNumberOfElements(output));
    }
    if (failure) mxDestroyArray(failure);
    if (output) mxDestroyArray(output);
    return answered;
}

}  // namespace

std::vector<uint8_t> oneRowElements(const mxArray* cells) {
    std::vector<double> ndims, rows;
    mxArray* first = mxCreateDoubleScalar(1);
    bool answered = cellfunNumbers("ndims", cells, nullptr, ndims) &&
                    cellfunNumbers("size", cells, first, rows);
    mxDestroyArray(first);
    std::vector<uint8_t> flags;
    if (!answered) return flags;
    flags.resize(ndims.size());
    for (size_t i = 0; i < flags.size(); ++i) flags[i] = ndims[i] == 2 && rows[i] == 1;
    return flags;
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
    if (checks.hasNul && holdsNul(arg))
        raiseError(checks.hasNul, "argument %d (%s) holds a NUL character", position, checks.name);
    std::string bytes;
    if (!charArrayBytes(arg, bytes))
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

}  // namespace vorlex
