// version.hpp - the module's version.
#pragma once

namespace vorlex {

constexpr int kVersionMajor = 1;
constexpr int kVersionMinor = 2;
constexpr int kVersionPatch = 0;

}  // namespace vorlex
