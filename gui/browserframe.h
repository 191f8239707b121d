#pragma once
// The browser frame component: a web view in a thin frame that reports the
// link under the pointer and hands the page's new-window requests to the
// application.

#include "host/windowtemplate.h"

#include <QFrame>

#include <memory>

class QUrl;
class QWebEngineNewWindowRequest;
class QWebEnginePage;
class QWebEngineProfile;
class QWebEngineView;

namespace gui {

class HandlerRunner;

class BrowserFrame final : public QFrame {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(BrowserFrame)

  public:
    // Loads "about:blank" at once; `component` outlives the frame.
    BrowserFrame(const host::ComponentTemplate& component, QWebEngineProfile& profile,
                 HandlerRunner& runner, QWidget* parent);
    ~BrowserFrame() override;

    void Navigate(const QUrl& url);
    // The object that stands for this frame's browser: a new-window request
    // whose slot holds it is delivered to this frame.
    host::ComObject BrowserObject();
    QWebEnginePage* page() const;

  private:
    void ReportHoveredLink(const QString& url);
    void HandleNewWindow(QWebEngineNewWindowRequest& request);
    void OpenInBrowserWindow(QWebEngineNewWindowRequest& request);

    const host::ComponentTemplate& component_;
    QWebEngineProfile& profile_;
    HandlerRunner& runner_;
    QWebEngineView* view_;
    host::ComObject object_;
};

} // namespace gui
