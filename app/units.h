#pragma once
// The application's windows and their components.

#include "host/windowtemplate.h"

namespace app {

constexpr host::UnitRef MainWindow{1, host::WindowUnit};
constexpr host::UnitRef TransLabel1{1, 1};
constexpr host::UnitRef MainBrowser{1, 2};
constexpr host::UnitRef TrayMenu{1, 3};

constexpr host::UnitRef PlayerWindow{2, host::WindowUnit};
constexpr host::UnitRef PlayerBrowser{2, 1};

} // namespace app
