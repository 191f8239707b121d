#pragma once
// The tray icon: a 32 × 32 icon file's bytes, built into the program.

#include "text/byteset.h"

namespace app {

text::ByteSet TrayIconImage();

} // namespace app
