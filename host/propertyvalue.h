#pragma once
// The range a written window or component property is held to.

#include <cstdint>

namespace host {

constexpr std::int64_t MaxCoordinate = 32627;

// Width and height are clamped to 0..32627, left and top to -32627..32627;
// other properties pass unchanged.
std::int64_t ClampPropertyValue(int property, std::int64_t value);

} // namespace host
