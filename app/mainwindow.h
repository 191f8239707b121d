#pragma once
// The main window: the portal page, the tray icon and its menu.

#include "app/program.h"
#include "host/windowtemplate.h"

namespace app {

host::WindowTemplate MainWindowTemplate(Program& program);

text::Text PortalUrl(const Sites& sites);
text::Text ProductTitle();

void OnMainWindowCreated(Program& program);
void OnMainWindowMoved(Program& program);
void OnMainWindowTray(Program& program, int trayEvent);
void OnMainWindowDestroying(Program& program);
void OnAboutItem(Program& program);
void OnCheckUpdateItem(Program& program);
void OnExitItem(Program& program);

} // namespace app
