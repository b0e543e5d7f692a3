// SPDX-License-Identifier: BSD-3-Clause
// The MAT-file element decoder on damaged input, under the sanitizers: every
// prefix, every byte changed and random overwrites of a valid encoding must
// either decode or raise a vorlex_deserialize error, reading nothing outside
// the buffer and leaking none of the arrays made before the failure.
#include "matfile/mat_element.hpp"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "host/errors.hpp"
#include "test_support.hpp"

namespace vorlex {
namespace {

using Bytes = std::vector<unsigned char>;

Bytes encode(const mxArray* value) {
    mxArray* row = encodeMatElement(value);
    const auto* data = static_cast<const unsigned char*>(mxGetData(row));
    Bytes bytes(data, data + mxGetNumberOfElements(row));
    mxDestroyArray(row);
    return bytes;
}

// Decodes from a buffer of exactly the bytes' size, so that the sanitizer
// sees any read past the end.
mxArray* decode(const Bytes& bytes) {
    std::unique_ptr<unsigned char[]> exact(new unsigned char[bytes.size()]);
    if (!bytes.empty()) std::memcpy(exact.get(), bytes.data(), bytes.size());
    return decodeMatElement(exact.get(), bytes.size());
}

// True when the bytes decode; a failure must be one of the decoder's own.
bool decodesOrRaises(const Bytes& bytes) {
    try {
        mxDestroyArray(decode(bytes));
        return true;
    } catch (const GatewayError& error) {
        EXPECT_EQ(error.id.rfind("vorlex:vorlex_deserialize:", 0), 0u) << error.id;
        return false;
    }
}

mxArray* int64Row(std::initializer_list<int64_t> values) {
    mxArray* row = mxCreateNumericMatrix(1, values.size(), mxINT64_CLASS, mxREAL);
    std::memcpy(mxGetData(row), values.begin(), values.size() * sizeof(int64_t));
    return row;
}

mxArray* complexSingle(float real, float imaginary) {
    mxArray* value = mxCreateNumericMatrix(1, 1, mxSINGLE_CLASS, mxCOMPLEX);
    *static_cast<float*>(mxGetData(value)) = real;
    *static_cast<float*>(mxGetImagData(value)) = imaginary;
    return value;
}

// A 3-by-2 complex sparse array holding (1,1) and (3,2).
mxArray* sparseSample() {
    mxArray* value = mxCreateSparse(3, 2, 2, mxCOMPLEX);
    mwIndex* rows = mxGetIr(value);
    mwIndex* starts = mxGetJc(value);
    double* real = mxGetPr(value);
    double* imaginary = static_cast<double*>(mxGetImagData(value));
    const mwIndex sampleRows[] = {0, 2}, sampleStarts[] = {0, 1, 2};
    const double sampleReal[] = {1.5, -2}, sampleImaginary[] = {0, 4};
    std::memcpy(rows, sampleRows, sizeof sampleRows);
    std::memcpy(starts, sampleStarts, sizeof sampleStarts);
    std::memcpy(real, sampleReal, sizeof sampleReal);
    std::memcpy(imaginary, sampleImaginary, sizeof sampleImaginary);
    return value;
}

// Every kind of part: a 2-by-1 struct of cells, numbers, text that is not
// ASCII, logicals, a sparse array and a field never set.
mxArray* sample() {
    const char* fields[] = {"cells", "flags", "sparse", "text", "unset"};
    mxArray* value = mxCreateStructMatrix(2, 1, 5, fields);
    mxArray* cells = mxCreateCellMatrix(1, 3);
    mxSetCell(cells, 0, int64Row({INT64_MIN, -1, INT64_MAX}));
    mxSetCell(cells, 1, complexSingle(1, -2));
    mxSetCell(cells, 2, mxCreateString("abc"));
    mxSetField(value, 0, "cells", cells);
    mxArray* flags = mxCreateLogicalMatrix(2, 2);
    mxGetLogicals(flags)[1] = 1;
    mxSetField(value, 0, "flags", flags);
    mxSetField(value, 1, "sparse", sparseSample());
    mxSetField(value, 1, "text", mxCreateString("gr\xC3\xBC\xC3\x9F \xF0\x9F\x8E\x89"));
    return value;
}

class MatElementDecoder : public ::testing::Test {
  protected:
    void SetUp() override {
        mxArray* value = sample();
        encoded = encode(value);
        mxDestroyArray(value);
    }

    CommandScope scope{"vorlex_deserialize"};
    Bytes encoded;
};

TEST_F(MatElementDecoder, DecodesWhatItEncodesToTheSameBytes) {
    mxArray* decoded = decode(encoded);
    EXPECT_EQ(encode(decoded), encoded);
    mxDestroyArray(decoded);
}

TEST_F(MatElementDecoder, RefusesEveryPrefixAsTruncated) {
    for (size_t length = 0; length < encoded.size(); ++length)
        expectRaises("vorlex:vorlex_deserialize:truncated",
                     [&] { decode(Bytes(encoded.begin(), encoded.begin() + length)); });
}

TEST_F(MatElementDecoder, DecodesOrRaisesWithAnyOneByteChanged) {
    int decoded = 0;
    for (size_t at = 0; at < encoded.size(); ++at) {
        for (unsigned char change : {0x00, 0xFF, 0x80, 0x01}) {
            Bytes damaged = encoded;
            damaged[at] = change == 0x80 || change == 0x01 ? damaged[at] ^ change : change;
            decoded += decodesOrRaises(damaged);
        }
    }
    // Data bytes change freely; the rest mostly fails.
    EXPECT_GT(decoded, 0);
}

TEST_F(MatElementDecoder, DecodesOrRaisesWithRandomRunsOverwritten) {
    std::mt19937 random(20240611);
    for (int trial = 0; trial < 3000; ++trial) {
        Bytes damaged = encoded;
        size_t run = 1 + random() % 8;
        size_t at = random() % (damaged.size() - run);
        for (size_t k = 0; k < run; ++k) damaged[at + k] = static_cast<unsigned char>(random());
        decodesOrRaises(damaged);
    }
}

}  // namespace
}  // namespace vorlex
