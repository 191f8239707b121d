#pragma once
// Whether the Wayland compositor named by the environment offers a seat
// (keyboard and pointer). Asked over a connection of its own, before Qt
// connects: Qt's wayland plugin (6.4) follows a null seat into its text
// input when a page's input-method state changes, and ends in a
// segmentation fault on a compositor without one (a headless one).

#include <optional>

namespace gui {

// Empty when no compositor is named or it cannot be reached in time.
std::optional<bool> WaylandCompositorHasSeat();

} // namespace gui
