// SPDX-License-Identifier: BSD-3-Clause
// wire_read.hpp - the baselines' readers of PostgreSQL's big-endian binary
// values, and the date number of its epoch.
#pragma once

#include <cstdint>
#include <cstring>

namespace baseline {

// Octave date number of 2000-01-01, PostgreSQL's epoch.
constexpr double kEpochDatenum = 730486.0;
constexpr double kMicrosecondsPerDay = 86400e6;

inline uint16_t loadBig16(const char* in) {
    auto* p = reinterpret_cast<const unsigned char*>(in);
    return static_cast<uint16_t>((p[0] << 8) | p[1]);
}

inline uint32_t loadBig32(const char* in) {
    auto* p = reinterpret_cast<const unsigned char*>(in);
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

inline uint64_t loadBig64(const char* in) {
    return (uint64_t{loadBig32(in)} << 32) | loadBig32(in + 4);
}

inline double loadBigDouble(const char* in) {
    uint64_t bits = loadBig64(in);
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

}  // namespace baseline
