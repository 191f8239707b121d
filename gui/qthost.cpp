#include "gui/qthost.h"

#include "gui/application.h"
#include "gui/browserframe.h"
#include "gui/clipboardkeeper.h"
#include "gui/cookiebridge.h"
#include "gui/downloadwindow.h"
#include "gui/eventwatch.h"
#include "gui/gbkstring.h"
#include "gui/hostwindow.h"
#include "gui/messagedialog.h"
#include "gui/pagedownloads.h"
#include "gui/programicon.h"
#include "gui/terminationsignals.h"
#include "gui/x11desktop.h"
#include "host/fatalerror.h"
#include "host/messagebox.h"
#include "host/propertyvalue.h"
#include "host/templatecheck.h"
#include "host/traytip.h"
#include "text/codepage.h"

#include <QApplication>
#include <QBuffer>
#include <QClipboard>
#include <QCursor>
#include <QDir>
#include <QEventLoop>
#include <QIcon>
#include <QImageReader>
#include <QLibraryInfo>
#include <QLocale>
#include <QLoggingCategory>
#include <QMenu>
#include <QNetworkProxyFactory>
#include <QPixmap>
#include <QStandardPaths>
#include <QSystemTrayIcon>
#include <QTranslator>
#include <QUrl>
#include <QWebEngineProfile>
#include <QWindow>

#include <cstdio>
#include <cstdlib>

namespace gui {

namespace {

// Every window carries the program's icon, the one its desktop entry names.
QIcon ProgramIcon() {
    QIcon icon;
    for (const std::vector<std::uint8_t>& png : {ProgramIcon32(), ProgramIcon256()}) {
        QPixmap image;
        if (image.loadFromData(png.data(), static_cast<uint>(png.size())))
            icon.addPixmap(image);
    }
    return icon;
}

// Every image of an icon file, so that the tray takes the size it asks for
// rather than a scaled one.
QIcon IconOfAllSizes(const text::ByteSet& bytes) {
    QIcon icon;
    if (bytes.empty())
        return icon;
    QByteArray data(reinterpret_cast<const char*>(bytes.data()),
                    static_cast<qsizetype>(bytes.size()));
    QBuffer buffer(&data);
    QImageReader reader(&buffer);
    do {
        const QImage image = reader.read();
        if (!image.isNull())
            icon.addPixmap(QPixmap::fromImage(image));
    } while (reader.jumpToNextImage());
    return icon;
}

} // namespace

QtHost::QtHost(int& argc, char** argv, net::CookieStore& cookies) : cookies_(cookies) {
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QCoreApplication::setApplicationName(QStringLiteral("lodestone"));
    // The whole interface is Chinese, so Qt's own buttons (是, 否, 取消) and
    // dialogs, the browser's menu and its error pages are too, whatever the
    // user's locale. The web engine takes its language from the default
    // locale when it starts.
    QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China));
    // The browser reads the system's proxies (the environment, or KDE's
    // settings) only while Qt uses the system configuration, which Qt turns
    // on by itself only when built to; the program's own requests read the
    // same environment.
    QNetworkProxyFactory::setUseSystemConfiguration(true);
    application_ = StartApplication(argc, argv);
    for (const char* catalogue : {"qtbase_zh_CN", "qtwebengine_zh_CN"}) {
        auto translator = std::make_unique<QTranslator>();
        if (translator->load(QLatin1String(catalogue),
                             QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
            QCoreApplication::installTranslator(translator.get());
            translators_.push_back(std::move(translator));
        }
    }
    QApplication::setWindowIcon(ProgramIcon());
    // The program ends when its last template window is gone, not when Qt
    // thinks so (a window hidden in the tray is still there).
    QApplication::setQuitOnLastWindowClosed(false);
    // The engine reports its set-up on every start; that is no news.
    QLoggingCategory::setFilterRules(QStringLiteral("qt.webenginecontext.info=false"));
    desktop_ = std::make_unique<X11Desktop>();
    desktop_->WatchFrameExtents([this](host::WindowHandle handle) {
        if (HostWindow* window = OwnWindow(handle))
            window->CheckFrame();
    });
}

QWebEngineProfile* QtHost::profile() {
    if (!profile_) {
        profile_ = std::make_unique<QWebEngineProfile>(QStringLiteral("lodestone"));
        cookieBridge_ = std::make_unique<CookieBridge>(profile_->cookieStore(), cookies_);
        pageDownloads_ = std::make_unique<PageDownloads>(*profile_);
    }
    return profile_.get();
}

InstanceClaim QtHost::ClaimInstance() {
    // Where the runtime folder cannot hold the lock, the folder of the
    // browser profile does: it is the profile the lock keeps to one instance.
    const QString dataFolder = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    QDir().mkpath(dataFolder);
    instance_ = std::make_unique<SingleInstance>(
        QStringList{QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation), dataFolder});
    return instance_->Claim(
        [this](const QByteArray& token) { return BringStartupWindowForward(token); });
}

QtHost::~QtHost() {
    for (const auto& [id, window] : std::exchange(windows_, {}))
        delete window;
    // Windows closed earlier wait in the deferred deletions; the pages must be
    // gone before their profile.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    cookieBridge_.reset();
    pageDownloads_.reset();
    profile_.reset();
    // Held until the profile is closed, so that a new start never shares it.
    instance_.reset();
    KeepClipboardText();
}

void QtHost::StartRuntime(std::vector<host::WindowTemplate> templates) {
    if (!host::TemplatesWellFormed(templates))
        FatalRuntimeError(std::nullopt, text::Gbk(u8"载入窗口模板数据段出错!"));
    templates_ = std::move(templates);
    QDir::setCurrent(QCoreApplication::applicationDirPath());
}

void QtHost::RegisterCleanup(std::function<void()> routine) {
    cleanup_ = std::move(routine);
}

void QtHost::LoadStartupWindow(int window) {
    startupWindow_ = window;
    if (!LoadWindow({window, host::WindowUnit}))
        FatalRuntimeError(std::nullopt, text::Gbk(u8"载入启动窗口失败"));
}

void QtHost::RunMessageLoop() {
    if (!windows_.empty()) {
        loopRunning_ = true;
        // As the Exit item does: the start-up window's close is posted, and
        // its handlers close the rest.
        const TerminationSignals termination([this] {
            if (Window(startupWindow_))
                DestroyUnit({startupWindow_, host::WindowUnit});
        });
        QApplication::exec();
        loopRunning_ = false;
        if (instance_)
            instance_->StopAnswering();
    }
    if (auto cleanup = std::exchange(cleanup_, nullptr))
        cleanup();
}

void QtHost::ProcessEvents() {
    QCoreApplication::processEvents();
    // Called from work that itself runs from a posted event (a menu item),
    // processEvents leaves the posted events waiting, and the browser's own
    // work with them: its page would stall for the whole wait.
    QCoreApplication::sendPostedEvents();
}

void QtHost::PostWork(std::function<void()> work) {
    // Run as a handler: a window it closes in a box's or menu's nested loop
    // waits until it has returned.
    QMetaObject::invokeMethod(
        application_.get(), [this, work = std::move(work)] { runner_.Run(work); },
        Qt::QueuedConnection);
}

std::unique_ptr<host::Watch> QtHost::WatchSocket(int socket, int events,
                                                 std::function<void(int ready)> ready) {
    return gui::WatchSocket(socket, events, std::move(ready));
}

std::unique_ptr<host::Watch> QtHost::StartTimer(std::chrono::milliseconds delay,
                                                std::function<void()> due) {
    return gui::StartTimer(delay, std::move(due));
}

void QtHost::FatalRuntimeError(std::optional<int> code, const text::Text& message) {
    RunMessageBox(nullptr, ToQString(host::FatalErrorText(code, message)),
                  ToQString(host::FatalErrorCaption()), host::BoxIconError);
    // No clean-up and no destructors: the process state is not to be trusted.
    std::fflush(nullptr);
    std::_Exit(-1);
}

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

void QtHost::SetTrayIcon(host::UnitRef window, const text::ByteSet& icon, const text::Text& tip) {
    HostWindow& owner = LoadedWindow(window.window, u8"指定窗口或窗口组件不存在或尚未载入");
    // Away from X11, Qt's stand-in for a missing notification area is an X11
    // window; there the icon is left out until the desktop offers a tray.
    const bool trayPossible = QGuiApplication::platformName() == QStringLiteral("xcb") ||
                              QSystemTrayIcon::isSystemTrayAvailable();
    owner.SetTrayIcon(trayPossible ? IconOfAllSizes(icon) : QIcon(), ToQString(host::TrayTip(tip)));
}

bool QtHost::HasSystemTray() {
    const bool available = QSystemTrayIcon::isSystemTrayAvailable();
    if (!available && !std::exchange(trayWarned_, true))
        std::fputs("lodestone: the desktop has no notification area for the tray icon\n", stderr);
    return available;
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

bool QtHost::SetClipboardText(const text::Text& text) {
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (!clipboard)
        return false;
    const QString unicode = ToQString(text);
    clipboard->setText(unicode);
    // Qt only warns when it cannot take the clipboard over; reading back tells.
    return clipboard->text() == unicode;
}

int QtHost::ShowMessageBox(const text::Text& content, int style, const text::Text& caption) {
    return host::ButtonResult(
        RunMessageBox(nullptr, ToQString(content), ToQString(caption), style));
}

HostWindow* QtHost::OwnWindow(host::WindowHandle handle) const {
    for (const auto& [id, window] : windows_)
        if (window->internalWinId() == handle)
            return window;
    return nullptr;
}

std::vector<host::WindowHandle> QtHost::TopLevelWindows() {
    if (auto stacking = desktop_->StackingOrder())
        return *stacking;
    // Without a window manager's list only the program's own windows are
    // known: the active one first.
    std::vector<host::WindowHandle> handles;
    for (const auto& [id, window] : windows_) {
        const host::WindowHandle handle = window->winId();
        if (window->isActiveWindow())
            handles.insert(handles.begin(), handle);
        else
            handles.push_back(handle);
    }
    return handles;
}

bool QtHost::IsWindowVisible(host::WindowHandle window) {
    if (const HostWindow* own = OwnWindow(window))
        return own->isVisible();
    return desktop_->IsShown(window);
}

std::uint32_t QtHost::WindowProcessId(host::WindowHandle window) {
    if (OwnWindow(window))
        return CurrentProcessId();
    return desktop_->ProcessId(window);
}

std::uint32_t QtHost::CurrentProcessId() {
    return static_cast<std::uint32_t>(QCoreApplication::applicationPid());
}

int QtHost::OwnedMessageBox(host::WindowHandle owner, const text::Text& text,
                            const text::Text& caption, int style) {
    HostWindow* ownWindow = owner ? OwnWindow(owner) : nullptr;
    // A box for a window that does not exist cannot be shown; one for another
    // program's window is shown on its own.
    if (owner && !ownWindow && !desktop_->Exists(owner))
        return 0;
    return RunMessageBox(ownWindow, ToQString(text), ToQString(caption), style);
}

void QtHost::StartDownload(const text::Text& url) {
    // It opens over the program's window that the user sees, if any.
    const QWidget* near = nullptr;
    for (const auto& [id, window] : windows_)
        if (window->isVisible() && !window->isMinimized() && (!near || window->isActiveWindow()))
            near = window;
    StartDownloadWindow(QString::fromStdString(text::GbkToUtf8(url)), cookies_, nullptr, near);
}

} // namespace gui
