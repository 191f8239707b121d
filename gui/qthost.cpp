// The Qt host as it starts and ends: the application, its translations and
// icon, the browser profile, the one-instance claim, and the message loop.

#include "gui/qthost.h"

#include "gui/application.h"
#include "gui/clipboardkeeper.h"
#include "gui/cookiebridge.h"
#include "gui/gbkstring.h"
#include "gui/hostwindow.h"
#include "gui/messagedialog.h"
#include "gui/downloads/pagedownloads.h"
#include "gui/programicon.h"
#include "gui/terminationsignals.h"
#include "gui/x11desktop.h"
#include "host/fatalerror.h"
#include "host/messagebox.h"
#include "host/templatecheck.h"
#include "text/codepage.h"

#include <QApplication>
#include <QDir>
#include <QIcon>
#include <QLibraryInfo>
#include <QLocale>
#include <QLoggingCategory>
#include <QNetworkProxyFactory>
#include <QPixmap>
#include <QStandardPaths>
#include <QTranslator>
#include <QWebEngineProfile>

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

void QtHost::FatalRuntimeError(std::optional<int> code, const text::Text& message) {
    RunMessageBox(nullptr, ToQString(host::FatalErrorText(code, message)),
                  ToQString(host::FatalErrorCaption()), host::BoxIconError);
    // No clean-up and no destructors: the process state is not to be trusted.
    std::fflush(nullptr);
    std::_Exit(-1);
}

} // namespace gui
