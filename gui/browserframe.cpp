#include "gui/browserframe.h"

#include "gui/gbkstring.h"
#include "gui/handlerrunner.h"

#include <QAuthenticator>
#include <QPointer>
#include <QVBoxLayout>
#include <QWebEngineCertificateError>
#include <QWebEngineClientCertificateSelection>
#include <QWebEngineFileSystemAccessRequest>
#include <QWebEngineFullScreenRequest>
#include <QWebEngineNewWindowRequest>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineRegisterProtocolHandlerRequest>
#include <QWebEngineSettings>
#include <QWebEngineView>

namespace gui {

namespace {

// A page that, when silent, shows no dialog of its own and grants nothing it
// would have to ask the user about.
class SilentPage final : public QWebEnginePage {
  public:
    SilentPage(QWebEngineProfile& profile, bool silent, QObject* parent)
        : QWebEnginePage(&profile, parent), silent_(silent) {
        // The right-click menu offers only what works here: pages never get
        // a window or tab of their own, nothing is saved to disk and there
        // are no developer tools.
        for (const WebAction unavailable :
             {OpenLinkInNewWindow, OpenLinkInNewTab, OpenLinkInNewBackgroundTab, ViewSource,
              DownloadLinkToDisk, DownloadImageToDisk, DownloadMediaToDisk, SavePage,
              InspectElement})
            action(unavailable)->setVisible(false);
        if (!silent)
            return;
        connect(this, &QWebEnginePage::certificateError,
                [](QWebEngineCertificateError error) { error.rejectCertificate(); });
        connect(this, &QWebEnginePage::authenticationRequired,
                [](const QUrl&, QAuthenticator* authenticator) { *authenticator = {}; });
        connect(this, &QWebEnginePage::proxyAuthenticationRequired,
                [](const QUrl&, QAuthenticator* authenticator, const QString&) {
                    *authenticator = {};
                });
        connect(this, &QWebEnginePage::selectClientCertificate,
                [](QWebEngineClientCertificateSelection selection) { selection.selectNone(); });
        // Qt 6.8 replaced the feature permission calls with permission objects.
#if QT_VERSION >= QT_VERSION_CHECK(6, 8, 0)
        connect(this, &QWebEnginePage::permissionRequested,
                [](QWebEnginePermission permission) { permission.deny(); });
#else
        connect(this, &QWebEnginePage::featurePermissionRequested,
                [this](const QUrl& origin, Feature feature) {
                    setFeaturePermission(origin, feature, PermissionDeniedByUser);
                });
#endif
        connect(this, &QWebEnginePage::fullScreenRequested,
                [](QWebEngineFullScreenRequest request) { request.reject(); });
        connect(this, &QWebEnginePage::registerProtocolHandlerRequested,
                [](QWebEngineRegisterProtocolHandlerRequest request) { request.reject(); });
        connect(this, &QWebEnginePage::fileSystemAccessRequested,
                [](QWebEngineFileSystemAccessRequest request) { request.reject(); });
    }

  protected:
    void javaScriptAlert(const QUrl& origin, const QString& message) override {
        if (!silent_)
            QWebEnginePage::javaScriptAlert(origin, message);
    }
    bool javaScriptConfirm(const QUrl& origin, const QString& message) override {
        return !silent_ && QWebEnginePage::javaScriptConfirm(origin, message);
    }
    bool javaScriptPrompt(const QUrl& origin, const QString& message, const QString& defaultValue,
                          QString* result) override {
        return !silent_ && QWebEnginePage::javaScriptPrompt(origin, message, defaultValue, result);
    }
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level, const QString& message,
                                  int line, const QString& source) override {
        if (!silent_)
            QWebEnginePage::javaScriptConsoleMessage(level, message, line, source);
    }

  private:
    bool silent_;
};

class FrameObject final : public host::BrowserObject {
  public:
    explicit FrameObject(BrowserFrame* frame) : frame(frame) {}
    const QPointer<BrowserFrame> frame;
};

void ApplyBorder(QFrame& frame, host::FrameBorder border) {
    switch (border) {
    case host::FrameBorder::None:
        frame.setFrameStyle(QFrame::NoFrame);
        return;
    case host::FrameBorder::SunkenClient:
        frame.setFrameStyle(QFrame::Panel | QFrame::Sunken);
        break;
    case host::FrameBorder::RaisedDialog:
        frame.setFrameStyle(QFrame::Panel | QFrame::Raised);
        break;
    case host::FrameBorder::ThinStatic:
        frame.setFrameStyle(QFrame::Panel | QFrame::Sunken);
        break;
    case host::FrameBorder::SunkenInDialog:
        frame.setFrameStyle(QFrame::WinPanel | QFrame::Sunken);
        break;
    case host::FrameBorder::SingleLine:
        frame.setFrameStyle(QFrame::Box | QFrame::Plain);
        break;
    }
    const bool thin =
        border == host::FrameBorder::ThinStatic || border == host::FrameBorder::SingleLine;
    frame.setLineWidth(thin ? 1 : 2);
}

} // namespace

BrowserFrame::BrowserFrame(const host::ComponentTemplate& component, QWebEngineProfile& profile,
                           HandlerRunner& runner, QWidget* parent)
    : QFrame(parent), component_(component), profile_(profile), runner_(runner),
      view_(new QWebEngineView(this)) {
    ApplyBorder(*this, component.border);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(view_);

    auto* page = new SilentPage(profile, component.silent, view_);
    page->settings()->setAttribute(QWebEngineSettings::PlaybackRequiresUserGesture,
                                   !component.playsOnItsOwn);
    view_->setPage(page);
    view_->setAcceptDrops(component.dropTarget);
    connect(page, &QWebEnginePage::linkHovered, this, &BrowserFrame::ReportHoveredLink);
    connect(page, &QWebEnginePage::newWindowRequested, this, &BrowserFrame::HandleNewWindow);

    setGeometry(component.rect.left, component.rect.top, component.rect.width,
                component.rect.height);
    setVisible(component.visible);
    Navigate(QUrl(QStringLiteral("about:blank")));
}

BrowserFrame::~BrowserFrame() = default;

void BrowserFrame::Navigate(const QUrl& url) {
    view_->page()->load(url);
}

host::ComObject BrowserFrame::BrowserObject() {
    if (!object_)
        object_ = std::make_shared<FrameObject>(this);
    return object_;
}

QWebEnginePage* BrowserFrame::page() const {
    return view_->page();
}

void BrowserFrame::ReportHoveredLink(const QString& url) {
    text::Text statusText = ToGbk(url);
    runner_.Run(component_.onStatusText, statusText);
}

// The request has to be answered before this returns: the engine drops the
// new page's contents once the signal is over. The page's script waits for
// the answer meanwhile, so the handler only decides; what the link leads to
// runs later, from the event loop.
void BrowserFrame::HandleNewWindow(QWebEngineNewWindowRequest& request) {
    host::ComObject slot;
    bool cancel = false;
    runner_.Run(component_.onNewWindow, slot, cancel, request.isUserInitiated());
    if (cancel)
        return;
    if (!slot) {
        OpenInBrowserWindow(request);
        return;
    }
    const auto* target = dynamic_cast<const FrameObject*>(slot.get());
    if (!target || !target->frame)
        return;
    if (target->frame == this)
        Navigate(request.requestedUrl());
    else
        request.openIn(target->frame->page());
}

// With nobody to take it, the new content gets a plain browser window of its
// own, which goes with the frame's window.
void BrowserFrame::OpenInBrowserWindow(QWebEngineNewWindowRequest& request) {
    auto* view = new QWebEngineView(window());
    view->setWindowFlag(Qt::Window);
    view->setAttribute(Qt::WA_DeleteOnClose);
    auto* page = new SilentPage(profile_, component_.silent, view);
    view->setPage(page);
    connect(page, &QWebEnginePage::windowCloseRequested, view, &QWidget::close);
    request.openIn(page);
    const QRect geometry = request.requestedGeometry();
    view->resize(geometry.isEmpty() ? QSize(800, 600) : geometry.size());
    view->show();
}

} // namespace gui
