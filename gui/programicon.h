#pragma once
// The program's icon, built in: the PNG files the desktop entry installs.

#include <cstdint>
#include <vector>

namespace gui {

std::vector<std::uint8_t> ProgramIcon32();
std::vector<std::uint8_t> ProgramIcon256();

} // namespace gui
