// SPDX-License-Identifier: BSD-3-Clause
// test_support.hpp - helpers shared by the unit tests.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "host/errors.hpp"

namespace vorlex {

// Runs `action` and expects it to raise the error `id`.
template <typename Action>
void expectRaises(const std::string& id, Action action) {
    try {
        action();
        ADD_FAILURE() << "expected the error " << id << ", nothing was raised";
    } catch (const GatewayError& error) {
        EXPECT_EQ(error.id, id) << error.message;
    }
}

// The message of the error that `action` raises ("" if none).
template <typename Action>
std::string raisedMessage(Action action) {
    try {
        action();
    } catch (const GatewayError& error) {
        return error.message;
    }
    return std::string();
}

}  // namespace vorlex
