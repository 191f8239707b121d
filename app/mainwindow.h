#pragma once
// The main window: the portal page, the tray icon and its menu.

#include "app/program.h"
#include "host/windowtemplate.h"

namespace app {

host::WindowTemplate MainWindowTemplate(Program& program);

text::Text PortalUrl(const Sites& sites);
text::Text ProductTitle();

void OnMainWindowCreated(host::Windows& windows, host::Tray& tray, host::BrowserFrames& frames,
                         const Sites& sites);
void OnMainWindowMoved(host::Windows& windows, host::Tray& tray);
void OnMainWindowTray(host::Windows& windows, host::Tray& tray, int trayEvent);
void OnMainWindowDestroying(Program& program);
void OnAboutItem(host::Notices& notices);
void OnCheckUpdateItem(Program& program);
void OnExitItem(host::Windows& windows);

} // namespace app
