// SPDX-License-Identifier: BSD-3-Clause
// baseline_common.hpp - what the baselines share: readers of PostgreSQL's
// big-endian binary values (the module's own, which need nothing of
// Octave), the date number of PostgreSQL's epoch, and the process's memory.
#pragma once

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "types/wire.hpp"

namespace baseline {

using vorlex::loadBig16;
using vorlex::loadBig32;
using vorlex::loadBig64;
using vorlex::loadBigDouble;

// Octave date number of 2000-01-01, PostgreSQL's epoch.
constexpr double kEpochDatenum = 730486.0;
constexpr double kMicrosecondsPerDay = 86400e6;

// A "VmRSS:" or "VmHWM:" line of /proc/self/status, in bytes; -1 when the
// line is missing.
inline long long statusBytes(const char* key) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.compare(0, std::strlen(key), key) == 0)
            return std::atoll(line.c_str() + std::strlen(key)) * 1024;
    return -1;
}

}  // namespace baseline
