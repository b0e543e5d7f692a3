// SPDX-License-Identifier: BSD-3-Clause
// progress.hpp - the 'progress' option of the commands that move many rows
// (insert, copyIn, copyOut, batchExec, query).
//
//   'progress', false   nothing (default)
//   'progress', true    one line on stderr, rewritten in place (carriage
//                       return): rows done, "of N" where the total is
//                       known, rows per second and seconds; ended with a
//                       newline when the command ends, also when it fails
//   'progress', @fn     fn(p) instead, p a 1x1 struct with rows, total
//                       (NaN where unknown), seconds and rowsPerSecond
//
// Reports come at most every 0.25 s while the command works, and once at
// its end.  The line goes to the process's stderr (C stdio): mexPrintf
// writes to the host's output, which cannot be rewritten in place, and a
// progress line there would end up in evalc's text.  In MATLAB's desktop
// stderr is the terminal MATLAB started from; a function (waitbar) serves
// there.
//
// A command counts rows as it goes and calls advanceProgress, which only
// compares the count with the next one at which to look at the clock (at
// most every 4096 rows while rows come fast; every row when they come
// slowly): with the option off that count is never reached, so the rows
// cost nothing.
//
// An error raised by fn stops the command as an interrupt (Ctrl-C) does:
// the command's wait on the server, when it has one, is interrupted (the
// server asked to cancel), and "progressFailed" is raised with fn's
// message, so that the command's own unwinding ends its work on the server
// and keeps nothing of it.
#pragma once

#include <mex.h>

#include <chrono>
#include <cstddef>
#include <cstdint>

#include "connection/server_wait.hpp"

namespace vorlex {

enum class ProgressMode { off, line, function };

// The option's value.
struct ProgressOption {
    ProgressMode mode = ProgressMode::off;
    const mxArray* function = nullptr;  // the handle, for ProgressMode::function
};

// The value of 'progress' at the handler's input `index`: true or false
// as every option takes them (options.hpp), or a function handle
// ("optionValue" otherwise).
ProgressOption progressArg(const mxArray* const prhs[], int index);

// One command's reports.  Not copied: a line it left open (the command
// failed) is ended when it goes.
struct Progress {
    Progress() = default;
    ~Progress();
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    ProgressOption option;
    ServerWait* wait = nullptr;  // interrupted when fn fails; null when no wait is running
    double total = 0;            // NaN while unknown
    size_t rows = 0;             // at the last look
    size_t nextLook = SIZE_MAX;  // the count at which the clock is next read
    size_t rowsBetweenLooks = 1;
    std::chrono::steady_clock::time_point started;
    std::chrono::steady_clock::time_point lastLook;
    std::chrono::steady_clock::time_point lastReport;
    size_t lineWidth = 0;  // of the line on stderr, not yet ended; 0 when none
    bool finished = false;
};

// Starts the clock of a command that reports under `option`; `total` is
// the count of rows it will do, NaN when unknown.
void startProgress(Progress& progress, const ProgressOption& option, double total);

// Looks at the clock and reports `rows` when a report is due.
void lookAtProgress(Progress& progress, size_t rows);

// `rows` are done: at most a compare per call until a look is due.
inline void advanceProgress(Progress& progress, size_t rows) {
    if (rows >= progress.nextLook) lookAtProgress(progress, rows);
}

// Reports `rows` now, whatever the time since the last report.
void reportProgress(Progress& progress, size_t rows);

// The command's work is done with `rows`: the final report (fn's last
// call; the line ended with a newline).
void finishProgress(Progress& progress, size_t rows);

}  // namespace vorlex
