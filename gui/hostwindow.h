#pragma once
// A top-level window built from its template, with its components and its
// tray icon. It raises the template's window events; the host decides when it
// goes away.

#include "host/windowtemplate.h"

#include <QElapsedTimer>
#include <QMargins>
#include <QWidget>

#include <cstdint>
#include <map>
#include <memory>
#include <optional>

class QSystemTrayIcon;
class QWebEngineProfile;

namespace gui {

class BrowserFrame;
class HandlerRunner;

class HostWindow final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(HostWindow)

  public:
    // `window` outlives the window.
    HostWindow(const host::WindowTemplate& window, QWebEngineProfile& profile,
               HandlerRunner& runner);
    ~HostWindow() override;

    const host::WindowTemplate& Template() const { return template_; }

    // Window events are raised from the created event on until the window
    // starts going away.
    void RaiseCreated();
    // Raises the being-destroyed event and takes the tray icon away.
    void RaiseDestroying();
    bool IsGoingAway() const { return goingAway_; }
    // A posted close is pending.
    void MarkClosing() { closing_ = true; }
    bool IsClosing() const { return closing_ || goingAway_; }
    // Whether the created event's handler set the visibility itself.
    bool VisibilityWritten() const { return visibilityWritten_; }

    bool HasComponent(int unit) const;
    BrowserFrame* Frame(int unit) const;
    const host::ComponentTemplate* Menu(int unit) const;
    // Hands the component's widget over to be deleted; null when none.
    QWidget* TakeComponent(int unit);
    // Values are clamped by the caller.
    std::int64_t ReadProperty(int unit, int property) const;
    void WriteProperty(int unit, int property, std::int64_t value);

    // A null icon removes the tray icon.
    void SetTrayIcon(const QIcon& icon, const QString& tip);
    bool HasTrayIcon() const { return tray_ != nullptr; }
    const QSystemTrayIcon* TrayIcon() const { return tray_.get(); }

    // The frame's rectangle on the screen.
    QRect OuterRect() const;
    // Re-applies the size the application asked for once the window manager's
    // frame around the window is known or has changed.
    void CheckFrame();

  signals:
    // The user closes the window: close button, window menu, Esc.
    void closeRequested();
    // The being-destroyed event is over.
    void goneAway();

  protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;

  private:
    void BuildComponent(const host::ComponentTemplate& component, QWebEngineProfile& profile);
    QMargins CurrentMargins() const;
    bool InNormalState() const;
    void RequestPosition(std::optional<int> left, std::optional<int> top);
    void RequestOuterSize(std::optional<int> width, std::optional<int> height);
    void KeepOnScreen();
    // Asks for the requested position and size; a new request is checked
    // against the geometry the window manager reports back.
    void ApplyRequested(bool newRequest = true);
    void ApplyOuterSize(QSize outer);
    void ReportGeometry();
    void Raise(const std::function<void()>& handler);

    const host::WindowTemplate& template_;
    HandlerRunner& runner_;
    std::map<int, QWidget*> components_;
    std::unique_ptr<QSystemTrayIcon> tray_;
    bool eventsOn_ = false;
    bool goingAway_ = false;
    bool closing_ = false;
    bool visibilityWritten_ = false;
    bool restoring_ = false; // from a maximised or full-screen state
    QElapsedTimer lastUndone_;
    Qt::WindowStates lastUndoneState_;
    // The frame position and outer size the application set, kept while the
    // frame may change.
    QPoint requestedPosition_;
    std::optional<QSize> requestedOuter_;
    static constexpr int MaxUnconfirmedTries = 3;
    int unconfirmedTries_ = 0;
    QMargins knownMargins_;
    QRect reported_;
};

} // namespace gui
