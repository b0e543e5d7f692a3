// host.cpp - warnings, notes and argument-count checks.
#include "gateway/host.hpp"

#include <cstdarg>
#include <string>

#include "gateway/errors.hpp"

namespace vorlex {

void warn(const char* check, const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = formatText(format, args);
    va_end(args);
    mexWarnMsgIdAndTxt(errorId(check).c_str(), "%s", text.c_str());
}

void note(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = formatText(format, args);
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

}  // namespace vorlex
