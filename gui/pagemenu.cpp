#include "gui/pagemenu.h"

#include "gui/gbkstring.h"
#include "gui/handlerrunner.h"

#include <QMenu>
#include <QPointer>
#include <QShortcut>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QWebEngineScript>
#include <QWebEngineView>

#include <algorithm>
#include <memory>
#include <utility>

namespace gui {

namespace {

void AddItems(QMenu& popup, QWebEngineView& view, const host::ComponentTemplate& menu,
              HandlerRunner& runner) {
    // Asked at every opening: a notification area can come or go while the
    // program runs.
    const bool tray = QSystemTrayIcon::isSystemTrayAvailable();
    bool first = true;
    for (const host::MenuItemTemplate& item : menu.items) {
        if (item.onlyWithoutTray && tray)
            continue;
        if (std::exchange(first, false))
            popup.addSeparator();
        const QAction* action = popup.addAction(ToQString(item.caption));
        QObject::connect(action, &QAction::triggered, &view, [&view, &item, &runner] {
            QMetaObject::invokeMethod(
                &view, [&item, &runner] { runner.Run(item.onChosen); }, Qt::QueuedConnection);
        });
    }
}

// The focused element's lower left corner in CSS pixels, asked in a world of
// the program's own, where the page's scripts cannot change the answer.
const char* const FocusedElementCorner = R"(
(function () {
    const element = document.activeElement;
    if (!element || element === document.body || element === document.documentElement)
        return null;
    const box = element.getBoundingClientRect();
    return [box.left, box.bottom];
})())";

// How long the menu waits for the page to say where its focus is: a page
// that is busy must not keep the program's items away.
constexpr int FocusAnswerMs = 300;

void PopUpAtFocus(QWebEngineView& view, const host::ComponentTemplate& menu,
                  HandlerRunner& runner) {
    auto opened = std::make_shared<bool>(false);
    const auto open = [view = QPointer<QWebEngineView>(&view), &menu, &runner,
                       opened](QPoint position) {
        if (!view || std::exchange(*opened, true))
            return;
        auto* popup = new QMenu(view);
        popup->setAttribute(Qt::WA_DeleteOnClose);
        for (const auto action :
             {QWebEnginePage::Back, QWebEnginePage::Forward, QWebEnginePage::Reload})
            popup->addAction(view->pageAction(action));
        AddItems(*popup, *view, menu, runner);
        const QRect inside = view->rect().adjusted(0, 0, -1, -1);
        popup->popup(view->mapToGlobal(QPoint(std::clamp(position.x(), 0, inside.right()),
                                              std::clamp(position.y(), 0, inside.bottom()))));
    };
    const QPoint corner(5, 5);
    QTimer::singleShot(FocusAnswerMs, &view, [open, corner] { open(corner); });
    const qreal zoom = view.zoomFactor();
    view.page()->runJavaScript(QString::fromLatin1(FocusedElementCorner),
                               QWebEngineScript::ApplicationWorld,
                               [open, corner, zoom](const QVariant& answer) {
                                   const QVariantList xy = answer.toList();
                                   open(xy.size() == 2 ? QPoint(qRound(xy[0].toDouble() * zoom),
                                                                qRound(xy[1].toDouble() * zoom))
                                                       : corner);
                               });
}

} // namespace

void EndPageMenu(QWebEngineView& view, const host::ComponentTemplate& menu, HandlerRunner& runner) {
    view.setContextMenuPolicy(Qt::CustomContextMenu);
    QObject::connect(&view, &QWidget::customContextMenuRequested, &view,
                     [&view, &menu, &runner](const QPoint& position) {
                         QMenu* popup = view.createStandardContextMenu();
                         popup->setAttribute(Qt::WA_DeleteOnClose);
                         AddItems(*popup, view, menu, runner);
                         popup->popup(view.mapToGlobal(position));
                     });
    // Taken before the page sees the key: a page that cancels its context
    // menu (and draws a look-alike) would otherwise hide the program's items.
    for (const QKeySequence& key :
         {QKeySequence(Qt::Key_Menu), QKeySequence(Qt::SHIFT | Qt::Key_F10)}) {
        auto* shortcut = new QShortcut(key, &view);
        shortcut->setContext(Qt::WidgetWithChildrenShortcut);
        QObject::connect(shortcut, &QShortcut::activated, &view,
                         [&view, &menu, &runner] { PopUpAtFocus(view, menu, runner); });
    }
}

} // namespace gui
