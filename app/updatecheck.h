#pragma once
// The update check: reads the notice page, compares version stamps, and on
// the user's consent starts downloading the new build.

#include "app/program.h"

#include <string_view>

namespace app {

// This build's version stamp: an eight-digit date, compared byte by byte.
constexpr std::string_view BuildVersion = "20130906";

void CheckForUpdate(Program& program);
void StartFileDownload(host::Notices& notices, const text::Text& link);

} // namespace app
