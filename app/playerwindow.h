#pragma once
// The player window: streams a magnet link through the web player page.

#include "app/program.h"
#include "host/windowtemplate.h"

namespace app {

host::WindowTemplate PlayerWindowTemplate(Program& program);

text::Text PlayerUrlPrefix(const Sites& sites);

void OnPlayerWindowCreated(Program& program);
void OnPlayerWindowResized(Program& program);
void OnPlayerWindowDestroying(Program& program);
void OnPlayerBrowserNewWindow(Program& program, host::ComObject& slot, bool& cancel, bool byUser);

} // namespace app
