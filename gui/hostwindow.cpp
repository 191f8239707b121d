#include "gui/hostwindow.h"

#include "gui/browserframe.h"
#include "gui/gbkstring.h"
#include "gui/handlerrunner.h"
#include "gui/pagemenu.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QWebEngineView>
#include <QWindow>

#include <algorithm>
#include <utility>

namespace gui {

namespace {

constexpr Qt::WindowStates Enlarged = Qt::WindowMaximized | Qt::WindowFullScreen;

Qt::WindowFlags FlagsFor(const host::WindowTemplate& window) {
    Qt::WindowFlags flags = Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                            Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
    if (window.minimizeButton)
        flags |= Qt::WindowMinimizeButtonHint;
    if (window.maximizeButton && window.resizable)
        flags |= Qt::WindowMaximizeButtonHint;
    return flags;
}

int TrayEventFor(QSystemTrayIcon::ActivationReason reason) {
    switch (reason) {
    case QSystemTrayIcon::Trigger:
        return host::TrayLeftUp;
    case QSystemTrayIcon::DoubleClick:
        return host::TrayLeftDoubleClick;
    case QSystemTrayIcon::Context:
        return host::TrayContextMenu;
    default:
        return 0;
    }
}

QRect RectOf(const host::Rect& rect) {
    return {rect.left, rect.top, rect.width, rect.height};
}

// A Wayland compositor may enlarge a window whatever its limits say
// (Weston's maximise key), and ends the connection of one that then keeps its
// size; Qt holds a window to its limits. There the program keeps a fixed
// window's size itself instead.
bool LimitsKeepTheSize() {
    return QGuiApplication::platformName() != QStringLiteral("wayland");
}

bool InBrowser(const QWidget* widget) {
    for (; widget; widget = widget->parentWidget())
        if (qobject_cast<const BrowserFrame*>(widget))
            return true;
    return false;
}

} // namespace

HostWindow::HostWindow(const host::WindowTemplate& window, QWebEngineProfile& profile,
                       HandlerRunner& runner)
    : QWidget(nullptr, FlagsFor(window)), template_(window), runner_(runner) {
    setWindowTitle(ToQString(window.caption));
    for (const host::ComponentTemplate& component : window.components)
        BuildComponent(component, profile);
    // The template's position is the frame's; the size is the outer size too,
    // re-applied once the window manager has put its frame around the window.
    RequestPosition(window.rect.left, window.rect.top);
    RequestOuterSize(window.rect.width, window.rect.height);
}

HostWindow::~HostWindow() = default;

void HostWindow::BuildComponent(const host::ComponentTemplate& component,
                                QWebEngineProfile& profile) {
    QWidget* widget = nullptr;
    switch (component.type) {
    case host::ComponentType::TransLabel: {
        auto* label = new QLabel(ToQString(component.caption), this);
        // It is drawn under the browser and must never take its clicks.
        label->setAttribute(Qt::WA_TransparentForMouseEvents);
        label->setGeometry(RectOf(component.rect));
        // Without text it shows nothing, and a screen reader would list an
        // empty, nameless element.
        label->setVisible(component.visible && !label->text().isEmpty());
        widget = label;
        break;
    }
    case host::ComponentType::WebBrowserFrame: {
        auto* frame = new BrowserFrame(component, profile, runner_, this);
        if (const host::ComponentTemplate* menu = Menu(component.pageMenu))
            if (QWebEngineView* view = QWebEngineView::forPage(frame->page()))
                EndPageMenu(*view, *menu, runner_);
        widget = frame;
        break;
    }
    case host::ComponentType::Menu: // a pop-up only: it adds no menu bar
        return;
    }
    components_[component.unit] = widget;
}

void HostWindow::RaiseCreated() {
    reported_ = OuterRect();
    eventsOn_ = true;
    Raise(template_.onCreated);
}

void HostWindow::RaiseDestroying() {
    const bool created = eventsOn_ && !goingAway_;
    goingAway_ = true;
    if (created)
        runner_.Run(template_.onDestroying);
    tray_.reset();
    emit goneAway();
}

bool HostWindow::HasComponent(int unit) const {
    return components_.count(unit) != 0 || Menu(unit) != nullptr;
}

BrowserFrame* HostWindow::Frame(int unit) const {
    const auto found = components_.find(unit);
    return found == components_.end() ? nullptr : qobject_cast<BrowserFrame*>(found->second);
}

QWidget* HostWindow::TakeComponent(int unit) {
    const auto found = components_.find(unit);
    if (found == components_.end())
        return nullptr;
    QWidget* component = found->second;
    components_.erase(found);
    return component;
}

const host::ComponentTemplate* HostWindow::Menu(int unit) const {
    const auto& components = template_.components;
    const auto found = std::find_if(components.begin(), components.end(), [unit](const auto& c) {
        return c.unit == unit && c.type == host::ComponentType::Menu;
    });
    return found == components.end() ? nullptr : &*found;
}

std::int64_t HostWindow::ReadProperty(int unit, int property) const {
    const QWidget* component = nullptr;
    if (unit != host::WindowUnit) {
        const auto found = components_.find(unit);
        if (found == components_.end())
            return 0;
        component = found->second;
    }
    const QRect rect = component ? component->geometry() : OuterRect();
    switch (property) {
    case host::PropLeft:
        return rect.x();
    case host::PropTop:
        return rect.y();
    case host::PropWidth:
        return rect.width();
    case host::PropHeight:
        return rect.height();
    case host::PropVisible:
        return component ? !component->isHidden() : isVisible();
    case host::PropWindowState:
        if (component)
            return 0;
        return isMinimized()   ? host::StateMinimised
               : isMaximized() ? host::StateMaximised
                               : host::StateNormal;
    default:
        return 0;
    }
}

void HostWindow::WriteProperty(int unit, int property, std::int64_t value) {
    const int number = static_cast<int>(value);
    if (unit == host::WindowUnit) {
        switch (property) {
        case host::PropLeft:
            move(number, OuterRect().y());
            break;
        case host::PropTop:
            move(OuterRect().x(), number);
            break;
        case host::PropWidth:
            RequestOuterSize(number, std::nullopt);
            break;
        case host::PropHeight:
            RequestOuterSize(std::nullopt, number);
            break;
        case host::PropVisible:
            visibilityWritten_ = true;
            setVisible(value != 0);
            break;
        case host::PropWindowState: {
            const Qt::WindowStates normal =
                windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized);
            setWindowState(value == host::StateMinimised   ? normal | Qt::WindowMinimized
                           : value == host::StateMaximised ? normal | Qt::WindowMaximized
                                                           : normal);
            break;
        }
        default:
            break;
        }
        return;
    }
    const auto found = components_.find(unit);
    if (found == components_.end())
        return;
    QWidget& component = *found->second;
    switch (property) {
    case host::PropLeft:
        component.move(number, component.y());
        break;
    case host::PropTop:
        component.move(component.x(), number);
        break;
    case host::PropWidth:
        component.resize(number, component.height());
        break;
    case host::PropHeight:
        component.resize(component.width(), number);
        break;
    case host::PropVisible:
        component.setVisible(value != 0);
        break;
    default:
        break;
    }
}

void HostWindow::SetTrayIcon(const QIcon& icon, const QString& tip) {
    if (icon.isNull()) {
        tray_.reset();
        return;
    }
    if (!tray_) {
        tray_ = std::make_unique<QSystemTrayIcon>();
        connect(tray_.get(), &QSystemTrayIcon::activated, this,
                [this](QSystemTrayIcon::ActivationReason reason) {
                    const int trayEvent = TrayEventFor(reason);
                    if (trayEvent == 0)
                        return;
                    // Handled after the tray icon's own event is over: the
                    // handler may pop up a menu or take the icon away.
                    QMetaObject::invokeMethod(
                        this,
                        [this, trayEvent] {
                            if (eventsOn_ && !goingAway_)
                                runner_.Run(template_.onTray, trayEvent);
                        },
                        Qt::QueuedConnection);
                });
    }
    tray_->setIcon(icon);
    tray_->setToolTip(tip);
    tray_->show();
}

QMargins HostWindow::CurrentMargins() const {
    const QWindow* handle = windowHandle();
    const QMargins margins = handle && isVisible() ? handle->frameMargins() : QMargins();
    // A window taken off the screen loses its frame for a while; its outer
    // size stays what it was.
    return margins.isNull() ? knownMargins_ : margins;
}

QRect HostWindow::OuterRect() const {
    return geometry().marginsAdded(CurrentMargins());
}

bool HostWindow::InNormalState() const {
    return !(windowState() & (Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen));
}

void HostWindow::RequestPosition(std::optional<int> left, std::optional<int> top) {
    if (left)
        requestedPosition_.setX(*left);
    if (top)
        requestedPosition_.setY(*top);
    ApplyRequested();
    ReportGeometry();
}

void HostWindow::RequestOuterSize(std::optional<int> width, std::optional<int> height) {
    knownMargins_ = CurrentMargins();
    QSize outer = requestedOuter_.value_or(OuterRect().size());
    if (width)
        outer.setWidth(*width);
    if (height)
        outer.setHeight(*height);
    requestedOuter_ = outer;
    KeepOnScreen();
    ApplyRequested();
    ReportGeometry();
}

// A window that the screen's free area cannot hold is made to fit it, and
// one that reaches past it is moved in, so that all of it stays within reach
// (a small screen, a large scale factor).
void HostWindow::KeepOnScreen() {
    const QScreen* shown = screen();
    const QRect area = shown ? shown->availableGeometry() : QRect();
    if (area.isEmpty() || !requestedOuter_)
        return;
    const QSize outer = requestedOuter_->boundedTo(area.size());
    requestedOuter_ = outer;
    const QRect wanted(requestedPosition_, outer);
    if (!area.contains(wanted))
        requestedPosition_ = {
            std::clamp(wanted.x(), area.left(), area.right() + 1 - outer.width()),
            std::clamp(wanted.y(), area.top(), area.bottom() + 1 - outer.height())};
}

void HostWindow::ApplyOuterSize(QSize outer) {
    const QSize client(std::max(0, outer.width() - knownMargins_.left() - knownMargins_.right()),
                       std::max(0, outer.height() - knownMargins_.top() - knownMargins_.bottom()));
    if (template_.resizable || !LimitsKeepTheSize()) {
        resize(client);
        return;
    }
    // A fixed border is a minimum and maximum size; the window manager judges
    // the resize by the limits it has, so they let it through first.
    setMinimumSize(minimumSize().boundedTo(client));
    setMaximumSize(maximumSize().expandedTo(client));
    resize(client);
    setFixedSize(client);
}

void HostWindow::CheckFrame() {
    const QMargins margins = CurrentMargins();
    if (margins != knownMargins_) {
        knownMargins_ = margins;
        if (InNormalState())
            ApplyRequested();
    } else if (InNormalState() && isVisible() && !restoring_) {
        const QRect outer = OuterRect();
        const bool asRequested = outer.topLeft() == requestedPosition_ &&
                                 (!requestedOuter_ || outer.size() == *requestedOuter_);
        if (unconfirmedTries_ > 0 && !asRequested) {
            // A request made while the window manager was still taking the
            // window over may have been lost: ask again, a few times.
            --unconfirmedTries_;
            ApplyRequested(false);
        } else {
            // Follows what the user or the window manager made of the window;
            // a fixed window's size is the program's own (a window manager
            // may resize it on its way to a state it does not keep).
            unconfirmedTries_ = 0;
            requestedPosition_ = outer.topLeft();
            if (template_.resizable || !requestedOuter_)
                requestedOuter_ = outer.size();
        }
    }
    ReportGeometry();
}

void HostWindow::ApplyRequested(bool newRequest) {
    if (newRequest)
        unconfirmedTries_ = MaxUnconfirmedTries;
    move(requestedPosition_);
    if (requestedOuter_)
        ApplyOuterSize(*requestedOuter_);
}

void HostWindow::ReportGeometry() {
    const QRect outer = OuterRect();
    // What a window manager does to a minimised window moves nothing as far
    // as the application is concerned; minimising itself is raised apart.
    const bool report = !isMinimized();
    const bool moved = report && outer.topLeft() != reported_.topLeft();
    const bool resized = report && outer.size() != reported_.size();
    reported_ = outer;
    if (moved)
        Raise(template_.onMoved);
    if (resized)
        Raise(template_.onResized);
}

void HostWindow::Raise(const std::function<void()>& handler) {
    if (eventsOn_ && !goingAway_)
        runner_.Run(handler);
}

void HostWindow::closeEvent(QCloseEvent* event) {
    // The host closes the window itself, so that every way of closing it
    // raises the same events.
    event->ignore();
    if (!goingAway_)
        emit closeRequested();
}

// Esc closes the window only when the key reaches the window itself. A key
// the page did not use still comes up from the browser, but the page may have
// acted on it all the same (its search box, its own dialog): the page keeps it.
void HostWindow::keyPressEvent(QKeyEvent* event) {
    if (template_.escCloses && event->key() == Qt::Key_Escape &&
        event->modifiers() == Qt::NoModifier && !InBrowser(focusWidget())) {
        if (!goingAway_)
            emit closeRequested();
        return;
    }
    QWidget::keyPressEvent(event);
}

void HostWindow::moveEvent(QMoveEvent* event) {
    QWidget::moveEvent(event);
    CheckFrame();
}

void HostWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    // The fixed size comes back only with the size of the normal state: on
    // Wayland, a size of its own before the compositor has answered the
    // restore would be taken as the enlarged state's.
    if (std::exchange(restoring_, restoring_ && !InNormalState()) && InNormalState())
        ApplyRequested();
    else if (!template_.resizable && !LimitsKeepTheSize() && InNormalState() && !restoring_ &&
             requestedOuter_ && OuterRect().size() != *requestedOuter_)
        ApplyOuterSize(*requestedOuter_); // a resize by the user's hand
    CheckFrame();
}

void HostWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // Shown again, the window goes back where it was when it was hidden.
    if (InNormalState())
        ApplyRequested();
    CheckFrame();
}

void HostWindow::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() != QEvent::WindowStateChange)
        return;
    const auto* change = static_cast<const QWindowStateChangeEvent*>(event);
    // A fixed window offers no maximise or full screen, but a compositor's
    // own decorations (Qt's on Wayland), its keys or a window manager may
    // enlarge it all the same: the new state is taken, then left again.
    if (!template_.resizable && (windowState() & Enlarged)) {
        // A compositor that insists (a kiosk's full screen comes straight
        // back) has its way rather than an endless exchange.
        constexpr qint64 InsistingMs = 2000;
        const Qt::WindowStates state = windowState() & Enlarged;
        const bool insists = lastUndone_.isValid() && lastUndone_.elapsed() < InsistingMs &&
                             state == lastUndoneState_;
        restoring_ = !insists;
        if (!insists) {
            lastUndone_.start();
            lastUndoneState_ = state;
            QMetaObject::invokeMethod(
                this, [this] { setWindowState(windowState() & ~Enlarged); }, Qt::QueuedConnection);
        }
    } else if (restoring_ && requestedOuter_ && OuterRect().size() == *requestedOuter_) {
        // Never enlarged after all: no resize is coming.
        restoring_ = false;
        ApplyRequested();
    }
    const bool wasMinimised = change->oldState() & Qt::WindowMinimized;
    // Minimising and restoring count as moving and resizing the window.
    if (wasMinimised != isMinimized()) {
        Raise(template_.onMoved);
        Raise(template_.onResized);
    }
    CheckFrame();
}

} // namespace gui
