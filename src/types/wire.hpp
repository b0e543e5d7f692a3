// SPDX-License-Identifier: BSD-3-Clause
// wire.hpp - big-endian loads and stores, and a bounds-checked reader.
//
// PostgreSQL's binary formats are big-endian.  These helpers shift bytes
// explicitly, so the same code is right on any host and every line of it is
// compiled on every build.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace vorlex {

// PostgreSQL takes at most 1 GB - 1 byte for one value (its MaxAllocSize);
// a longer one fails on the server as "out of memory".
constexpr size_t kMostValueBytes = 0x3fffffff;

inline void storeBig16(char* out, uint16_t value) {
    auto* p = reinterpret_cast<unsigned char*>(out);
    p[0] = static_cast<unsigned char>(value >> 8);
    p[1] = static_cast<unsigned char>(value);
}

inline void storeBig32(char* out, uint32_t value) {
    auto* p = reinterpret_cast<unsigned char*>(out);
    p[0] = static_cast<unsigned char>(value >> 24);
    p[1] = static_cast<unsigned char>(value >> 16);
    p[2] = static_cast<unsigned char>(value >> 8);
    p[3] = static_cast<unsigned char>(value);
}

// High half first, each half big-endian.
inline void storeBig64(char* out, uint64_t value) {
    storeBig32(out, static_cast<uint32_t>(value >> 32));
    storeBig32(out + 4, static_cast<uint32_t>(value));
}

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

// IEEE floats travel as the big-endian bytes of their bit patterns.
inline void storeBigFloat(char* out, float value) {
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    storeBig32(out, bits);
}

inline void storeBigDouble(char* out, double value) {
    uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    storeBig64(out, bits);
}

inline float loadBigFloat(const char* in) {
    uint32_t bits = loadBig32(in);
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

inline double loadBigDouble(const char* in) {
    uint64_t bits = loadBig64(in);
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

// Reads a value that came from the server: every take checks what is left
// first, so no field, however it is filled, leads outside the buffer.
class WireReader {
  public:
    WireReader(const char* data, size_t length) : next_(data), left_(length) {}

    size_t left() const { return left_; }

    // The next n bytes, or null (and nothing consumed) when fewer are left.
    const char* take(size_t n) {
        if (n > left_) return nullptr;
        const char* at = next_;
        next_ += n;
        left_ -= n;
        return at;
    }

    bool readInt32(int32_t& value) {
        const char* at = take(4);
        if (!at) return false;
        value = static_cast<int32_t>(loadBig32(at));
        return true;
    }

  private:
    const char* next_;
    size_t left_;
};

}  // namespace vorlex
