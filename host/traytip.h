#pragma once
// The tip of a tray icon holds at most 62 bytes of text.

#include "text/text.h"

#include <string_view>

namespace host {

constexpr int MaxTrayTipBytes = 62;

// The tip's first 62 bytes; a double-byte character that would straddle the
// cut is left out whole rather than split.
text::Text TrayTip(std::string_view tip);

} // namespace host
