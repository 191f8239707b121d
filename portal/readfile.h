#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace portal {

// The whole content of a file; nothing when it cannot be read.
std::optional<std::string> ReadFile(const std::filesystem::path& path);

} // namespace portal
