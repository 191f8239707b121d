// The Qt host's windows: the registry of loaded template windows, their
// lifetimes, properties, pop-up menus and browser frames.

#include "gui/qthost.h"

#include "gui/browserframe.h"
#include "gui/gbkstring.h"
#include "gui/hostwindow.h"
#include "host/propertyvalue.h"
#include "text/codepage.h"

#include <QCoreApplication>
#include <QCursor>
#include <QEventLoop>
#include <QGuiApplication>
#include <QMenu>
#include <QUrl>
#include <QWindow>

namespace gui {

const host::WindowTemplate* QtHost::Template(int window) const {
    for (const host::WindowTemplate& candidate : templates_)
        if (candidate.window == window)
            return &candidate;
    return nullptr;
}

HostWindow* QtHost::Window(int window) const {
    const auto found = windows_.find(window);
    return found == windows_.end() ? nullptr : found->second;
}

HostWindow& QtHost::LoadedWindow(int window, const char8_t* message) {
    HostWindow* loaded = Window(window);
    if (!loaded)
        FatalRuntimeError(std::nullopt, text::Gbk(message));
    return *loaded;
}

bool QtHost::LoadWindow(host::UnitRef window, std::optional<host::UnitRef> parent, bool modal) {
    const host::WindowTemplate* windowTemplate = Template(window.window);
    HostWindow* owner = parent ? Window(parent->window) : nullptr;
    if (!windowTemplate || (parent && !owner))
        return false;
    if (HostWindow* open = Window(window.window)) {
        if (!open->IsClosing()) {
            Activate(*open);
            return true;
        }
        Destroy(*open);
    }

    auto* loaded = new HostWindow(*windowTemplate, *profile(), runner_);
    windows_[window.window] = loaded;
    QObject::connect(loaded, &HostWindow::closeRequested, loaded,
                     [this, loaded] { Destroy(*loaded); });
    if (owner) {
        loaded->winId();
        owner->winId();
        loaded->windowHandle()->setTransientParent(owner->windowHandle());
    }
    if (modal)
        loaded->setWindowModality(Qt::ApplicationModal);
    loaded->RaiseCreated();
    if (Window(window.window) != loaded)
        return false; // its created handler closed it
    if (!loaded->VisibilityWritten())
        loaded->show();
    if (modal) {
        QEventLoop untilClosed;
        QObject::connect(loaded, &HostWindow::goneAway, &untilClosed, &QEventLoop::quit);
        untilClosed.exec();
    }
    return true;
}

void QtHost::Activate(HostWindow& window) {
    if (window.isMinimized())
        window.setWindowState(window.windowState() & ~Qt::WindowMinimized);
    window.raise();
    window.activateWindow();
}

// Shown again if it was hidden in the tray, and restored if minimised. A
// Wayland client cannot restore its own window: the compositor does, for the
// activation token the desktop gave the later start, which Qt's wayland
// plugin takes from the environment.
bool QtHost::BringStartupWindowForward(const QByteArray& activationToken) {
    HostWindow* window = Window(startupWindow_);
    if (!window || window->IsClosing())
        return false;
    if (!activationToken.isEmpty() && QGuiApplication::platformName() == QStringLiteral("wayland"))
        qputenv("XDG_ACTIVATION_TOKEN", activationToken);
    window->show();
    Activate(*window);
    return true;
}

void QtHost::Destroy(HostWindow& window) {
    if (window.IsGoingAway())
        return;
    window.RaiseDestroying();
    window.hide();
    const auto found = windows_.find(window.Template().window);
    if (found != windows_.end() && found->second == &window)
        windows_.erase(found);
    runner_.Retire(&window);
    if (windows_.empty() && loopRunning_)
        QCoreApplication::exit(0);
}

bool QtHost::IsCreated(host::UnitRef unit) {
    const HostWindow* window = Window(unit.window);
    return window && (unit.unit == host::WindowUnit || window->HasComponent(unit.unit));
}

void QtHost::DestroyUnit(host::UnitRef unit, bool immediately) {
    HostWindow& window = LoadedWindow(unit.window, u8"指定窗口或窗口组件不存在或尚未载入");
    if (unit.unit != host::WindowUnit) {
        if (QWidget* component = window.TakeComponent(unit.unit)) {
            component->hide();
            runner_.Retire(component);
        }
        return;
    }
    if (immediately) {
        Destroy(window);
        return;
    }
    window.MarkClosing();
    QMetaObject::invokeMethod(
        &window, [this, &window] { Destroy(window); }, Qt::QueuedConnection);
}

std::int64_t QtHost::ReadProperty(host::UnitRef unit, int property, int /*element*/) {
    return LoadedWindow(unit.window, u8"未载入欲访问窗口组件所在的窗口")
        .ReadProperty(unit.unit, property);
}

void QtHost::WriteProperty(host::UnitRef unit, int property, int /*element*/, std::int64_t value) {
    LoadedWindow(unit.window, u8"未载入欲访问窗口组件所在的窗口")
        .WriteProperty(unit.unit, property, host::ClampPropertyValue(property, value));
}

void QtHost::PopupMenu(host::UnitRef window, host::UnitRef menu, std::optional<int> x,
                       std::optional<int> y) {
    HostWindow& owner = LoadedWindow(window.window, u8"指定窗口或窗口组件不存在或尚未载入");
    const host::ComponentTemplate* items =
        menu.window == window.window ? owner.Menu(menu.unit) : nullptr;
    if (!items || items->items.empty())
        return;
    QMenu popup;
    for (const host::MenuItemTemplate& item : items->items)
        popup.addAction(ToQString(item.caption))
            ->setData(QVariant::fromValue(&item - &items->items[0]));
    QPoint position = QCursor::pos() + QPoint(3, 3);
    if (x)
        position.setX(*x);
    if (y)
        position.setY(*y);
    const QAction* chosen = popup.exec(position);
    if (!chosen)
        return;
    // The item's handler runs once the menu is gone, as a posted command would.
    const host::MenuItemTemplate* item = &items->items[chosen->data().toLongLong()];
    QMetaObject::invokeMethod(
        &owner, [this, item] { runner_.Run(item->onChosen); }, Qt::QueuedConnection);
}

void QtHost::Navigate(host::UnitRef frame, const text::Text& url) {
    const HostWindow* window = Window(frame.window);
    if (BrowserFrame* browser = window ? window->Frame(frame.unit) : nullptr)
        browser->Navigate(QUrl(ToQString(url), QUrl::TolerantMode));
}

void QtHost::AdoptNewWindow(host::UnitRef frame, host::ComObject& slot) {
    const HostWindow* window = Window(frame.window);
    if (BrowserFrame* browser = window ? window->Frame(frame.unit) : nullptr)
        slot = browser->BrowserObject();
}

} // namespace gui
