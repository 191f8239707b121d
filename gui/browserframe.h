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

namespace host::gui {

class HandlerRunner;

class BrowserFrame final : public QFrame {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(BrowserFrame)

  public:
    // Loads "about:blank" at once; `component` outlives the frame.
    BrowserFrame(const ComponentTemplate& component, QWebEngineProfile& profile,
                 HandlerRunner& runner, QWidget* parent);
    ~BrowserFrame() override;

    void Navigate(const QUrl& url);
    // The object that stands for this frame's browser: a new-window request
    // whose slot holds it is delivered to this frame.
    ComObject BrowserObject();
    QWebEnginePage* page() const;

  private:
    void ReportHoveredLink(const QString& url);
    void HandleNewWindow(QWebEngineNewWindowRequest& request);
    void OpenInBrowserWindow(QWebEngineNewWindowRequest& request);

    const ComponentTemplate& component_;
    QWebEngineProfile& profile_;
    HandlerRunner& runner_;
    QWebEngineView* view_;
    ComObject object_;
};

} // namespace host::gui
