#include "gui/pagemenu.h"

#include "gui/gbkstring.h"
#include "gui/handlerrunner.h"

#include <QMenu>
#include <QSystemTrayIcon>
#include <QWebEngineView>

namespace gui {

void EndPageMenuWithoutTray(QWebEngineView& view, const host::ComponentTemplate& menu,
                            HandlerRunner& runner) {
    view.setContextMenuPolicy(Qt::CustomContextMenu);
    QObject::connect(&view, &QWidget::customContextMenuRequested, &view,
                     [&view, &menu, &runner](const QPoint& position) {
                         QMenu* popup = view.createStandardContextMenu();
                         popup->setAttribute(Qt::WA_DeleteOnClose);
                         // Asked at every opening: a notification area can come or go
                         // while the program runs.
                         if (!QSystemTrayIcon::isSystemTrayAvailable() && !menu.items.empty()) {
                             popup->addSeparator();
                             for (const host::MenuItemTemplate& item : menu.items) {
                                 const QAction* action = popup->addAction(ToQString(item.caption));
                                 QObject::connect(
                                     action, &QAction::triggered, &view, [&view, &item, &runner] {
                                         QMetaObject::invokeMethod(
                                             &view, [&item, &runner] { runner.Run(item.onChosen); },
                                             Qt::QueuedConnection);
                                     });
                             }
                         }
                         popup->popup(view.mapToGlobal(position));
                     });
}

} // namespace gui
