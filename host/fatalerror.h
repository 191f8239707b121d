#pragma once
// The text of the box that reports a fatal host error before the process ends.

#include "text/text.h"

#include <optional>
#include <string_view>

namespace host {

// "运行时出错!" and a blank line, then the code and the message when given,
// each introduced by its label; lines end in CR LF.
text::Text FatalErrorText(std::optional<int> code, std::string_view message);
text::Text FatalErrorCaption();

} // namespace host
