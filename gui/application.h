#pragma once
// The Qt application object and what has to be settled before it exists:
// the environment the web engine reads when it starts, and a plain word and
// exit code 1 where there is no display to open a window on.

#include <QApplication>

#include <memory>

namespace gui {

// Ends the process with exit code 1 when Qt cannot reach a display.
std::unique_ptr<QApplication> StartApplication(int& argc, char** argv);

} // namespace gui
