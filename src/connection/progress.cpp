// SPDX-License-Identifier: BSD-3-Clause
// progress.cpp - reading the 'progress' option, the line on stderr and the
// calls of the user's function.
#include "connection/progress.hpp"

#include <cmath>
#include <cstdio>
#include <string>

#include "backend/host_backend.hpp"
#include "host/errors.hpp"
#include "host/host.hpp"
#include "host/options.hpp"

namespace vorlex {

namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kReportInterval = std::chrono::milliseconds(250);

// The rows between two looks at the clock adapt to the rows' pace: they
// double while looks come more often than this, and halve while they come
// less often, between 1 (slow rows: a clock read is nothing beside a row)
// and a count at which a clock read is lost in the rows' own cost.
constexpr auto kLookInterval = std::chrono::milliseconds(25);
constexpr size_t kMostRowsBetweenLooks = 4096;

struct Rates {
    double seconds;
    double rowsPerSecond;
};

Rates ratesOf(const Progress& progress, size_t rows) {
    double seconds = std::chrono::duration<double>(Clock::now() - progress.started).count();
    return {seconds, seconds > 0 ? static_cast<double>(rows) / seconds : 0};
}

// "vorlex copyIn: 120000 of 200000 rows, 95012 rows/s, 1.3 s"
std::string lineText(const Progress& progress, size_t rows, const Rates& rates) {
    char total[48] = "";
    if (!std::isnan(progress.total)) std::snprintf(total, sizeof total, " of %.0f", progress.total);
    char text[160];
    std::snprintf(text, sizeof text, "vorlex %s: %zu%s rows, %.0f rows/s, %.1f s", activeCommand(),
                  rows, total, rates.rowsPerSecond, rates.seconds);
    return text;
}

// The line rewritten in place, padded over a longer one before it; `end`
// ends it.
void showLine(Progress& progress, std::string text, const char* end) {
    size_t width = text.size();
    if (width < progress.lineWidth) text.append(progress.lineWidth - width, ' ');
    std::fputs(("\r" + text + end).c_str(), stderr);
    std::fflush(stderr);
    progress.lineWidth = *end ? 0 : width;
}

mxArray* reportStruct(const Progress& progress, size_t rows, const Rates& rates) {
    const char* names[] = {"rows", "total", "seconds", "rowsPerSecond"};
    mxArray* report = mxCreateStructMatrix(1, 1, 4, names);
    mxSetFieldByNumber(report, 0, 0, mxCreateDoubleScalar(static_cast<double>(rows)));
    mxSetFieldByNumber(report, 0, 1, mxCreateDoubleScalar(progress.total));
    mxSetFieldByNumber(report, 0, 2, mxCreateDoubleScalar(rates.seconds));
    mxSetFieldByNumber(report, 0, 3, mxCreateDoubleScalar(rates.rowsPerSecond));
    return report;
}

// fn's error stops the command as an interrupt would.
void callFunction(Progress& progress, size_t rows, const Rates& rates) {
    HostArrayOwner report(reportStruct(progress, rows, rates));
    std::string error;
    if (callFunctionHandle(progress.option.function, report.get(), error)) return;
    progress.finished = true;
    ServerWait* wait = progress.wait;
    progress.wait = nullptr;
    if (wait) wait->interrupt();
    raiseError("progressFailed", "the progress function failed: %s", error.c_str());
}

void report(Progress& progress, size_t rows, const char* end) {
    Rates rates = ratesOf(progress, rows);
    progress.rows = rows;
    progress.lastReport = Clock::now();
    if (progress.option.mode == ProgressMode::line)
        showLine(progress, lineText(progress, rows, rates), end);
    else
        callFunction(progress, rows, rates);
}

}  // namespace

ProgressOption progressArg(const mxArray* const prhs[], int index) {
    const mxArray* value = prhs[index];
    if (mxIsClass(value, "function_handle") && mxGetNumberOfElements(value) == 1)
        return {ProgressMode::function, value};
    if (!isFlag(value))
        raiseError("optionValue",
                   "argument %d: the value of 'progress' must be true, false or a function "
                   "handle, not a %s",
                   argPosition(index), shapeText(value).c_str());
    return {flagArg(prhs, index, "progress") ? ProgressMode::line : ProgressMode::off, nullptr};
}

// The state the failed command reached, as its last look saw it.
Progress::~Progress() {
    if (option.mode == ProgressMode::line && !finished)
        showLine(*this, lineText(*this, rows, ratesOf(*this, rows)) + ", stopped", "\n");
}

void startProgress(Progress& progress, const ProgressOption& option, double total) {
    progress.option = option;
    progress.total = total;
    progress.started = progress.lastLook = progress.lastReport = Clock::now();
    if (option.mode != ProgressMode::off) progress.nextLook = 1;
}

void lookAtProgress(Progress& progress, size_t rows) {
    if (progress.option.mode == ProgressMode::off || progress.finished) return;
    Clock::time_point now = Clock::now();
    size_t& stride = progress.rowsBetweenLooks;
    if (now - progress.lastLook < kLookInterval)
        stride = stride < kMostRowsBetweenLooks ? stride * 2 : kMostRowsBetweenLooks;
    else if (stride > 1)
        stride /= 2;
    progress.lastLook = now;
    progress.nextLook = rows + stride;
    progress.rows = rows;
    if (now - progress.lastReport >= kReportInterval) report(progress, rows, "");
}

void reportProgress(Progress& progress, size_t rows) {
    if (progress.option.mode == ProgressMode::off || progress.finished) return;
    report(progress, rows, "");
}

void finishProgress(Progress& progress, size_t rows) {
    if (progress.option.mode == ProgressMode::off || progress.finished) return;
    progress.finished = true;
    report(progress, rows, "\n");
    progress.wait = nullptr;
}

}  // namespace vorlex
