// The Qt host on a real X display with a window manager (see with-desktop.sh).

#include "gui/browserframe.h"
#include "gui/hostwindow.h"
#include "gui/qthost.h"
#include "net/cookiestore.h"
#include "text/codepage.h"

#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QCursor>
#include <QElapsedTimer>
#include <QFile>
#include <QKeyEvent>
#include <QMenu>
#include <QMessageBox>
#include <QProcess>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QWebEnginePage>
#include <QWindow>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace gui {
namespace {

constexpr int First = 1;
constexpr int Second = 2;
constexpr int Browser = 1;
constexpr int Menu = 2;
constexpr int Label = 3;

// What the handlers of a test window saw.
struct Events {
    int created = 0;
    int moved = 0;
    int resized = 0;
    int destroying = 0;
    std::vector<int> tray;
    std::vector<text::Text> statusTexts;
    int newWindows = 0;
    std::vector<bool> newWindowsByUser;
    std::vector<int> chosen;
    // What the new-window handler does; by default it cancels.
    std::function<void(host::ComObject&, bool&)> onNewWindow = [](host::ComObject&, bool& cancel) {
        cancel = true;
    };
};

host::WindowTemplate TestWindow(int id, Events& events, bool resizable) {
    host::WindowTemplate window;
    window.window = id;
    window.caption = text::Gbk(u8"测试窗口");
    window.rect = {60, 70, 226, 202};
    window.resizable = resizable;
    window.maximizeButton = resizable;
    window.onCreated = [&events] { ++events.created; };
    window.onMoved = [&events] { ++events.moved; };
    window.onResized = [&events] { ++events.resized; };
    window.onTray = [&events](int trayEvent) { events.tray.push_back(trayEvent); };
    window.onDestroying = [&events] { ++events.destroying; };

    host::ComponentTemplate browser;
    browser.unit = Browser;
    browser.type = host::ComponentType::WebBrowserFrame;
    browser.rect = {-1, -1, 100, 100};
    browser.onStatusText = [&events](text::Text& text) { events.statusTexts.push_back(text); };
    browser.onNewWindow = [&events](host::ComObject& slot, bool& cancel, bool byUser) {
        ++events.newWindows;
        events.newWindowsByUser.push_back(byUser);
        events.onNewWindow(slot, cancel);
    };

    host::ComponentTemplate menu;
    menu.unit = Menu;
    menu.type = host::ComponentType::Menu;
    menu.visible = false;
    for (int item = 0; item < 3; ++item)
        menu.items.push_back(
            {"item" + std::to_string(item), [&events, item] { events.chosen.push_back(item); }});

    host::ComponentTemplate label;
    label.unit = Label;
    label.type = host::ComponentType::TransLabel;
    label.rect = {5, 5, 50, 20};

    window.components = {browser, menu, label};
    return window;
}

class QtHostTest : public ::testing::Test {
  public:
    static QtHost& Host() {
        static int argc = 1;
        static char name[] = "qthost_tests";
        static char* argv[] = {name, nullptr};
        if (!host_)
            host_ = std::make_unique<QtHost>(argc, argv, cookies_);
        return *host_;
    }
    static void Shutdown() { host_.reset(); }

  protected:
    void SetUp() override {
        Host().StartRuntime({TestWindow(First, first_, false), TestWindow(Second, second_, true)});
    }

    void TearDown() override {
        for (int window : {First, Second})
            if (Host().IsCreated({window, host::WindowUnit}))
                Host().DestroyUnit({window, host::WindowUnit}, true);
        Spin(std::chrono::milliseconds(50));
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    // Runs the event loop until `done` holds; false when time ran out. The
    // limit only keeps a failing test from hanging: generous for a busy machine.
    static bool WaitFor(const std::function<bool()>& done,
                        std::chrono::milliseconds limit = std::chrono::seconds(30)) {
        QElapsedTimer timer;
        timer.start();
        while (!done()) {
            if (timer.elapsed() > limit.count())
                return false;
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        }
        return true;
    }
    static void Spin(std::chrono::milliseconds time) {
        WaitFor([] { return false; }, time);
    }

    HostWindow& Loaded(int window) {
        EXPECT_TRUE(Host().LoadWindow({window, host::WindowUnit}));
        HostWindow* loaded = Host().Window(window);
        EXPECT_NE(loaded, nullptr);
        return *loaded;
    }

    // Loaded and framed by the window manager.
    HostWindow& Framed(int window) {
        HostWindow& loaded = Loaded(window);
        EXPECT_TRUE(WaitFor([&loaded] {
            return loaded.windowHandle() && loaded.windowHandle()->isExposed() &&
                   !loaded.windowHandle()->frameMargins().isNull();
        }));
        return loaded;
    }

    static int VisibleTopLevels() {
        int count = 0;
        for (const QWidget* widget : QApplication::topLevelWidgets())
            count += widget->isVisible() && widget->isWindow() && !widget->inherits("QMenu");
        return count;
    }

    static text::ByteSet IconBytes() {
        QFile file(QStringLiteral(LODESTONE_TEST_ICON));
        EXPECT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        return text::ByteSet(bytes.begin(), bytes.end());
    }

  public:
    // Acts on the next pop-up or modal widget of type T once it is shown.
    template <typename T> static void WhenShown(std::function<void(T&)> action) {
        auto* timer = new QTimer;
        QObject::connect(timer, &QTimer::timeout, [timer, action] {
            QWidget* shown = QApplication::activePopupWidget();
            if (!shown)
                shown = QApplication::activeModalWidget();
            auto* widget = qobject_cast<T*>(shown);
            if (!widget || !widget->isVisible())
                return;
            timer->stop();
            timer->deleteLater();
            action(*widget);
        });
        timer->start(50);
    }

  protected:
    // Closes the message box that appears next with the given button.
    static void AnswerNextBox(QMessageBox::StandardButton button) {
        WhenShown<QMessageBox>([button](QMessageBox& box) { box.button(button)->click(); });
    }

    Events first_;
    Events second_;

  private:
    static inline net::CookieStore cookies_;
    static inline std::unique_ptr<QtHost> host_;
};

TEST_F(QtHostTest, PostedCloseKeepsWindowCreatedUntilDispatched) {
    Loaded(First);
    Host().DestroyUnit({First, host::WindowUnit});
    EXPECT_TRUE(Host().IsCreated({First, host::WindowUnit}));
    EXPECT_TRUE(Host().IsCreated({First, Browser}));
    EXPECT_EQ(first_.destroying, 0);
    Host().ProcessEvents();
    EXPECT_FALSE(Host().IsCreated({First, host::WindowUnit}));
    EXPECT_FALSE(Host().IsCreated({First, Browser}));
    EXPECT_EQ(first_.destroying, 1);
}

TEST_F(QtHostTest, ImmediateCloseHappensBeforeReturning) {
    Loaded(First);
    Host().DestroyUnit({First, host::WindowUnit}, true);
    EXPECT_FALSE(Host().IsCreated({First, host::WindowUnit}));
    EXPECT_EQ(first_.destroying, 1);
}

TEST_F(QtHostTest, LoadingAnOpenWindowOnlyActivatesIt) {
    HostWindow& window = Framed(First);
    window.showMinimized();
    ASSERT_TRUE(WaitFor([&window] { return window.isMinimized(); }));
    EXPECT_TRUE(Host().LoadWindow({First, host::WindowUnit}));
    EXPECT_EQ(Host().Window(First), &window);
    EXPECT_EQ(first_.created, 1);
    EXPECT_TRUE(WaitFor([&window] { return !window.isMinimized(); }));
    EXPECT_EQ(VisibleTopLevels(), 1);
}

TEST_F(QtHostTest, LoadingAWindowWhoseCloseIsPendingLoadsItAnew) {
    HostWindow& old = Loaded(First);
    Host().DestroyUnit({First, host::WindowUnit});
    EXPECT_TRUE(Host().LoadWindow({First, host::WindowUnit}));
    EXPECT_EQ(first_.destroying, 1);
    EXPECT_EQ(first_.created, 2);
    EXPECT_NE(Host().Window(First), &old);
    Host().ProcessEvents(); // the stale posted close must not touch the new window
    EXPECT_TRUE(Host().IsCreated({First, host::WindowUnit}));
}

TEST_F(QtHostTest, LoadingFailsForUnknownWindowOrMissingParent) {
    EXPECT_FALSE(Host().LoadWindow({7, host::WindowUnit}));
    EXPECT_FALSE(
        Host().LoadWindow({First, host::WindowUnit}, host::UnitRef{Second, host::WindowUnit}));
    EXPECT_FALSE(Host().IsCreated({First, host::WindowUnit}));
    Loaded(Second);
    EXPECT_TRUE(
        Host().LoadWindow({First, host::WindowUnit}, host::UnitRef{Second, host::WindowUnit}));
}

TEST_F(QtHostTest, ModalLoadReturnsOnlyOnceTheWindowHasClosed) {
    bool shownWhileWaiting = false;
    QTimer::singleShot(300, [&shownWhileWaiting] {
        shownWhileWaiting = Host().Window(First) && Host().Window(First)->isVisible();
        Host().DestroyUnit({First, host::WindowUnit});
    });
    EXPECT_TRUE(Host().LoadWindow({First, host::WindowUnit}, std::nullopt, true));
    EXPECT_TRUE(shownWhileWaiting);
    EXPECT_FALSE(Host().IsCreated({First, host::WindowUnit}));
    EXPECT_EQ(first_.created, 1);
    EXPECT_EQ(first_.destroying, 1);
}

TEST_F(QtHostTest, DestroyedComponentGoesAloneAndReadsAsZero) {
    Loaded(First);
    Host().DestroyUnit({First, Label});
    EXPECT_FALSE(Host().IsCreated({First, Label}));
    EXPECT_EQ(Host().ReadProperty({First, Label}, host::PropWidth), 0);
    Host().WriteProperty({First, Label}, host::PropWidth, -1, 40); // must not bring it back
    EXPECT_FALSE(Host().IsCreated({First, Label}));
    EXPECT_TRUE(Host().IsCreated({First, Browser}));
    EXPECT_TRUE(Host().IsCreated({First, host::WindowUnit}));
    EXPECT_EQ(first_.destroying, 0);
}

TEST_F(QtHostTest, WidthAndHeightAreTheOuterSizeOnceFramed) {
    HostWindow& window = Framed(First);
    Host().WriteProperty({First, host::WindowUnit}, host::PropWidth, -1, 796);
    Host().WriteProperty({First, host::WindowUnit}, host::PropHeight, -1, 603);
    EXPECT_EQ(Host().ReadProperty({First, host::WindowUnit}, host::PropWidth), 796);
    EXPECT_EQ(Host().ReadProperty({First, host::WindowUnit}, host::PropHeight), 603);
    ASSERT_TRUE(WaitFor([&window] {
        return window.windowHandle()->frameGeometry().size() == QSize(796, 603);
    })) << "frame "
        << window.windowHandle()->frameGeometry().width() << "x"
        << window.windowHandle()->frameGeometry().height();
    EXPECT_LT(window.width(), 796);
    EXPECT_LT(window.height(), 603);
    EXPECT_GT(first_.resized, 0);
}

TEST_F(QtHostTest, SizeWrittenBeforeMappingIsTheFramedOuterSize) {
    // The frame is unknown while the created handler runs.
    first_ = Events{};
    HostWindow& window = Loaded(First);
    Host().WriteProperty({First, host::WindowUnit}, host::PropWidth, -1, 500);
    Host().WriteProperty({First, host::WindowUnit}, host::PropHeight, -1, 400);
    EXPECT_TRUE(WaitFor([&window] {
        return window.windowHandle()->isExposed() &&
               window.windowHandle()->frameGeometry().size() == QSize(500, 400);
    }));
    EXPECT_EQ(Host().ReadProperty({First, host::WindowUnit}, host::PropWidth), 500);
    EXPECT_EQ(window.windowHandle()->framePosition(), QPoint(60, 70));
    EXPECT_EQ(Host().ReadProperty({First, host::WindowUnit}, host::PropLeft), 60);
    EXPECT_EQ(Host().ReadProperty({First, host::WindowUnit}, host::PropTop), 70);
}

TEST_F(QtHostTest, PropertiesAreClampedAndComponentsMayReachPastTheWindow) {
    Loaded(Second);
    const host::UnitRef browser{Second, Browser};
    Host().WriteProperty(browser, host::PropWidth, -1, 40000);
    Host().WriteProperty(browser, host::PropHeight, -1, -7);
    Host().WriteProperty(browser, host::PropLeft, -1, -40000);
    Host().WriteProperty(browser, host::PropTop, -1, -3);
    EXPECT_EQ(Host().ReadProperty(browser, host::PropWidth), 32627);
    EXPECT_EQ(Host().ReadProperty(browser, host::PropHeight), 0);
    EXPECT_EQ(Host().ReadProperty(browser, host::PropLeft), -32627);
    EXPECT_EQ(Host().ReadProperty(browser, host::PropTop), -3);
}

TEST_F(QtHostTest, MinimisingRaisesMovedAndResizedAndReadsAsState2) {
    HostWindow& window = Framed(Second);
    const int moved = second_.moved;
    const int resized = second_.resized;
    window.showMinimized();
    ASSERT_TRUE(WaitFor([&window] { return window.isMinimized(); }));
    EXPECT_GT(second_.moved, moved);
    EXPECT_GT(second_.resized, resized);
    EXPECT_EQ(Host().ReadProperty({Second, host::WindowUnit}, host::PropWindowState),
              host::StateMinimised);
    EXPECT_EQ(Host().ReadProperty({Second, host::WindowUnit}, host::PropVisible), 1);
    Host().WriteProperty({Second, host::WindowUnit}, host::PropVisible, -1, 0);
    EXPECT_EQ(Host().ReadProperty({Second, host::WindowUnit}, host::PropVisible), 0);
}

TEST_F(QtHostTest, TrayIconIsModifiedNotDuplicatedAndGoesWithTheWindow) {
    HostWindow& window = Loaded(First);
    const text::ByteSet icon = IconBytes();
    Host().SetTrayIcon({First, host::WindowUnit}, icon, "tip");
    const QSystemTrayIcon* tray = window.TrayIcon();
    ASSERT_NE(tray, nullptr);
    // Every image of the icon file, so that the tray takes the size it asks for.
    const QList<QSize> sizes = tray->icon().availableSizes();
    for (const int size : {16, 24, 32, 48, 64})
        EXPECT_TRUE(sizes.contains(QSize(size, size))) << size;
    const std::string longTip = std::string(60, 'a') + text::Gbk(u8"种子");
    Host().SetTrayIcon({First, host::WindowUnit}, icon, longTip);
    EXPECT_EQ(window.TrayIcon(), tray);
    EXPECT_EQ(tray->toolTip(), QString(60, 'a') + QString::fromUtf8(u8"种"));
    Host().SetTrayIcon({First, host::WindowUnit}, text::ByteSet{1, 2, 3}, "undecodable");
    EXPECT_EQ(window.TrayIcon(), nullptr);
    Host().SetTrayIcon({First, host::WindowUnit}, icon, "again");
    EXPECT_NE(window.TrayIcon(), nullptr);
    Host().SetTrayIcon({First, host::WindowUnit}, {}, "gone");
    EXPECT_EQ(window.TrayIcon(), nullptr);
    Host().SetTrayIcon({First, host::WindowUnit}, icon, "tip");
    Host().DestroyUnit({First, host::WindowUnit}, true);
    EXPECT_FALSE(window.HasTrayIcon());
}

TEST_F(QtHostTest, TrayActivationReachesTheTrayHandlerAfterwards) {
    HostWindow& window = Loaded(First);
    Host().SetTrayIcon({First, host::WindowUnit}, IconBytes(), "tip");
    auto* tray = const_cast<QSystemTrayIcon*>(window.TrayIcon());
    emit tray->activated(QSystemTrayIcon::Trigger);
    emit tray->activated(QSystemTrayIcon::DoubleClick);
    emit tray->activated(QSystemTrayIcon::Context);
    emit tray->activated(QSystemTrayIcon::MiddleClick);
    EXPECT_TRUE(first_.tray.empty());
    Host().ProcessEvents();
    EXPECT_EQ(first_.tray, (std::vector<int>{host::TrayLeftUp, host::TrayLeftDoubleClick,
                                             host::TrayContextMenu}));
}

TEST_F(QtHostTest, PopupMenuRunsTheChosenItemAfterClosing) {
    Loaded(First);
    QPoint at;
    WhenShown<QMenu>([&at](QMenu& menu) {
        at = menu.pos();
        ASSERT_EQ(menu.actions().size(), 3);
        EXPECT_EQ(menu.actions()[0]->text(), QStringLiteral("item0"));
        menu.setActiveAction(menu.actions()[2]);
        QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
        QCoreApplication::sendEvent(&menu, &enter);
    });
    Host().PopupMenu({First, host::WindowUnit}, {First, Menu}, 100, 120);
    EXPECT_EQ(at, QPoint(100, 120));
    EXPECT_TRUE(first_.chosen.empty());
    Host().ProcessEvents();
    EXPECT_EQ(first_.chosen, std::vector<int>{2});
    // A menu of another window, or no menu at all, pops nothing up.
    Loaded(Second);
    Host().PopupMenu({First, host::WindowUnit}, {Second, Menu});
    Host().PopupMenu({First, host::WindowUnit}, {First, Browser});
}

TEST_F(QtHostTest, MessageBoxReturnsTheButtonMinusOne) {
    AnswerNextBox(QMessageBox::Yes);
    EXPECT_EQ(Host().ShowMessageBox("question", 0x24), 5);
    AnswerNextBox(QMessageBox::No);
    EXPECT_EQ(Host().ShowMessageBox("question", 0x24), 6);
    AnswerNextBox(QMessageBox::Ok);
    EXPECT_EQ(Host().ShowMessageBox("<b>not markup</b>", 0x40, text::Gbk(u8"软件信息")), 0);
}

// A hovered address of a megabyte: the box shows it cut down, fits the
// screen with its button, and the clipboard still takes all of it.
TEST_F(QtHostTest, HugeTextBoxFitsTheScreenAndTheClipboardTakesItWhole) {
    Loaded(First);
    const text::Text address = "http://127.0.0.1:9/torrent?info_hash=" + text::Text(1 << 20, 'A');
    const text::Text copy = "magnet\r\n" + address + "\r\n" + address;
    EXPECT_TRUE(Host().SetClipboardText(copy));
    EXPECT_EQ(QGuiApplication::clipboard()->text().size(), qsizetype(copy.size()));
    for (const text::Text& content : {copy, text::Text(100000, '\n') + address}) {
        bool fits = false;
        WhenShown<QMessageBox>([&fits](QMessageBox& box) {
            const QRect screen = box.screen()->availableGeometry();
            QAbstractButton* ok = box.button(QMessageBox::Ok);
            const QRect button(ok->mapToGlobal(QPoint(0, 0)), ok->size());
            fits =
                screen.contains(box.frameGeometry()) && screen.contains(button) && ok->isVisible();
            ok->click();
        });
        EXPECT_EQ(Host().ShowMessageBox(content, 0x40), 0);
        EXPECT_TRUE(fits);
    }
}

TEST_F(QtHostTest, OwnedMessageBoxReturnsTheButtonAndFailsForNoWindow) {
    HostWindow& window = Framed(First);
    AnswerNextBox(QMessageBox::No);
    EXPECT_EQ(Host().OwnedMessageBox(window.winId(), "text", "caption", 0x4), 7);
    EXPECT_EQ(Host().OwnedMessageBox(0x7ffffff0, "text", "caption", 0x40), 0);
}

TEST_F(QtHostTest, ClipboardHoldsTheTextForOtherPrograms) {
    Loaded(First);
    const text::Text text = text::Gbk(u8"磁力链接：magnet:?xt=urn:btih:ABC\r\n种子地址");
    ASSERT_TRUE(Host().SetClipboardText(text));
    QProcess xclip;
    xclip.start(QStringLiteral("xclip"),
                {QStringLiteral("-o"), QStringLiteral("-selection"), QStringLiteral("clipboard")});
    ASSERT_TRUE(WaitFor([&xclip] { return xclip.state() == QProcess::NotRunning; }));
    EXPECT_EQ(QString::fromUtf8(xclip.readAllStandardOutput()),
              QString::fromUtf8(u8"磁力链接：magnet:?xt=urn:btih:ABC\r\n种子地址"));
}

TEST_F(QtHostTest, TopLevelWindowsListOwnWindowsWithOurProcess) {
    HostWindow& window = Framed(First);
    ASSERT_TRUE(WaitFor([&window] {
        const auto windows = Host().TopLevelWindows();
        return std::find(windows.begin(), windows.end(), window.winId()) != windows.end();
    }));
    EXPECT_TRUE(Host().IsWindowVisible(window.winId()));
    EXPECT_EQ(Host().WindowProcessId(window.winId()), Host().CurrentProcessId());
    window.hide();
    EXPECT_FALSE(Host().IsWindowVisible(window.winId()));
}

// Loads a page into a frame and waits until it shows: its title is "ready".
void LoadPage(BrowserFrame& frame, const QString& html) {
    frame.page()->setHtml(html, QUrl(QStringLiteral("http://127.0.0.1/")));
    QElapsedTimer timer;
    timer.start();
    while (frame.page()->title() != QStringLiteral("ready") && timer.elapsed() < 60000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    ASSERT_EQ(frame.page()->title(), QStringLiteral("ready"));
}

// Rests the pointer on the frame's point until the frame reports `expected`;
// the pointer is nudged meanwhile, as the page may still be laying out.
bool HoverUntil(BrowserFrame& frame, QPoint point, const Events& events,
                const text::Text& expected) {
    QElapsedTimer timer;
    timer.start();
    for (int nudge = 0; timer.elapsed() < 30000; nudge = (nudge + 1) % 2) {
        QCursor::setPos(frame.mapToGlobal(point + QPoint(nudge, nudge)));
        QElapsedTimer step;
        step.start();
        while (step.elapsed() < 200) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            if (!events.statusTexts.empty() && events.statusTexts.back() == expected)
                return true;
        }
    }
    return false;
}

const QString LinkPage = QStringLiteral(
    "<title>ready</title><body style='margin:0'><a id=l "
    "href='http://127.0.0.1:9/torrent?info_hash=AB' "
    "target=_blank style='display:block;width:60px;height:60px;background:#8cf'>x</a></body>");

// Runs a script in the frame's page and waits for its result.
QVariant RunScript(BrowserFrame& frame, const QString& script) {
    std::optional<QVariant> result;
    frame.page()->runJavaScript(script, [&result](const QVariant& value) { result = value; });
    QElapsedTimer timer;
    timer.start();
    while (!result && timer.elapsed() < 30000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return result.value_or(QVariant());
}

bool InBrowser(const QWidget* widget) {
    for (; widget; widget = widget->parentWidget())
        if (qobject_cast<const BrowserFrame*>(widget))
            return true;
    return false;
}

void Xdotool(const QStringList& arguments) {
    QProcess::execute(QStringLiteral("xdotool"), arguments);
}

TEST_F(QtHostTest, EscInThePageStaysThereAndClosesTheWindowOnlyWhenItReachesIt) {
    HostWindow& window = Framed(First);
    window.activateWindow();
    ASSERT_TRUE(WaitFor([&window] { return window.isActiveWindow(); }));
    LoadPage(*window.Frame(Browser), LinkPage);
    ASSERT_TRUE(InBrowser(QApplication::focusWidget()));
    Xdotool({QStringLiteral("key"), QStringLiteral("Escape")});
    Spin(std::chrono::milliseconds(500));
    EXPECT_TRUE(Host().IsCreated({First, host::WindowUnit}));

    window.setFocus();
    Xdotool({QStringLiteral("key"), QStringLiteral("Escape")});
    EXPECT_TRUE(WaitFor([] { return !Host().IsCreated({First, host::WindowUnit}); }));
    EXPECT_EQ(first_.destroying, 1);
}

bool HasChinese(const QString& text) {
    return std::any_of(text.begin(), text.end(),
                       [](QChar c) { return c.unicode() >= 0x4E00 && c.unicode() <= 0x9FFF; });
}

TEST_F(QtHostTest, LinkMenuIsChineseAndOffersNoWindowOrTabOfItsOwn) {
    HostWindow& window = Framed(First);
    window.activateWindow();
    BrowserFrame& frame = *window.Frame(Browser);
    LoadPage(frame, LinkPage);
    ASSERT_TRUE(HoverUntil(frame, {20, 20}, first_, "http://127.0.0.1:9/torrent?info_hash=AB"));
    Xdotool({QStringLiteral("click"), QStringLiteral("3")});
    QMenu* menu = nullptr;
    ASSERT_TRUE(WaitFor([&menu] {
        menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        return menu && menu->isVisible();
    }));
    QStringList texts;
    for (const QAction* action : menu->actions())
        if (action->isVisible() && !action->isSeparator())
            texts << action->text();
    menu->close();
    EXPECT_TRUE(texts.contains(frame.page()->action(QWebEnginePage::CopyLinkToClipboard)->text()))
        << texts.join(QLatin1Char('|')).toStdString();
    for (const auto gone : {QWebEnginePage::OpenLinkInNewWindow, QWebEnginePage::OpenLinkInNewTab,
                            QWebEnginePage::DownloadLinkToDisk})
        EXPECT_FALSE(texts.contains(frame.page()->action(gone)->text()))
            << texts.join(QLatin1Char('|')).toStdString();
    for (const QString& text : texts)
        EXPECT_TRUE(HasChinese(text)) << text.toStdString();
}

// A loopback port that refuses every connection: bound, never listened on,
// so no other program takes it while the test runs.
class RefusingPort {
  public:
    RefusingPort() : socket_(::socket(AF_INET, SOCK_STREAM, 0)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (::bind(socket_, reinterpret_cast<sockaddr*>(&address), length) == 0 &&
            ::getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &length) == 0)
            port_ = ntohs(address.sin_port);
    }
    ~RefusingPort() { ::close(socket_); }
    RefusingPort(const RefusingPort&) = delete;
    RefusingPort& operator=(const RefusingPort&) = delete;
    int Port() const { return port_; }

  private:
    int socket_;
    int port_ = 0;
};

TEST_F(QtHostTest, AnUnreachablePageShowsTheEnginesChineseErrorPageWithReload) {
    BrowserFrame& frame = *Framed(First).Frame(Browser);
    const RefusingPort refusing;
    ASSERT_NE(refusing.Port(), 0);
    Host().Navigate({First, Browser},
                    "http://127.0.0.1:" + std::to_string(refusing.Port()) + "/client");
    QString shown;
    EXPECT_TRUE(WaitFor([&] {
        shown = RunScript(frame, QStringLiteral("document.body ? document.body.innerText : ''"))
                    .toString();
        return shown.contains(QStringLiteral("重新加载"));
    })) << shown.toStdString();
    EXPECT_TRUE(HasChinese(shown.remove(QStringLiteral("重新加载")))) << shown.toStdString();
}

TEST_F(QtHostTest, HoveringALinkReportsItsAddressThenEmptyText) {
    HostWindow& window = Framed(First);
    window.activateWindow();
    BrowserFrame& frame = *window.Frame(Browser);
    LoadPage(frame, LinkPage);
    EXPECT_TRUE(HoverUntil(frame, {20, 20}, first_, "http://127.0.0.1:9/torrent?info_hash=AB"));
    EXPECT_TRUE(HoverUntil(frame, {90, 90}, first_, ""));
}

TEST_F(QtHostTest, CancelledNewWindowOpensNothingAndKeepsThePage) {
    HostWindow& window = Framed(First);
    BrowserFrame& frame = *window.Frame(Browser);
    LoadPage(frame, LinkPage);
    const QUrl before = frame.page()->url();
    const int windows = VisibleTopLevels();
    frame.page()->runJavaScript(QStringLiteral("window.open('http://127.0.0.1:9/popup')"));
    ASSERT_TRUE(WaitFor([this] { return first_.newWindows == 1; }));
    EXPECT_EQ(first_.newWindowsByUser, std::vector<bool>{false}) << "a script's own pop-up";
    Spin(std::chrono::milliseconds(500));
    EXPECT_EQ(VisibleTopLevels(), windows);
    EXPECT_EQ(frame.page()->url(), before);
}

TEST_F(QtHostTest, ClickedNewWindowLinkComesAfterItsStatusText) {
    HostWindow& window = Framed(First);
    BrowserFrame& frame = *window.Frame(Browser);
    LoadPage(frame, LinkPage);
    bool statusFirst = false;
    first_.onNewWindow = [this, &statusFirst](host::ComObject& slot, bool& cancel) {
        statusFirst = !first_.statusTexts.empty() &&
                      first_.statusTexts.back() == "http://127.0.0.1:9/torrent?info_hash=AB";
        Host().AdoptNewWindow({First, Browser}, slot);
        cancel = true;
    };
    ASSERT_TRUE(HoverUntil(frame, {20, 20}, first_, "http://127.0.0.1:9/torrent?info_hash=AB"));
    QProcess::execute(QStringLiteral("xdotool"), {QStringLiteral("click"), QStringLiteral("1")});
    ASSERT_TRUE(WaitFor([this] { return first_.newWindows == 1; }));
    EXPECT_TRUE(statusFirst);
    EXPECT_EQ(first_.newWindowsByUser, std::vector<bool>{true}) << "the user's click";
}

TEST_F(QtHostTest, NewWindowGoesToTheFrameLeftInTheSlot) {
    Loaded(First);
    BrowserFrame& target = *Loaded(Second).Frame(Browser);
    BrowserFrame& source = *Host().Window(First)->Frame(Browser);
    LoadPage(source, LinkPage);
    first_.onNewWindow = [](host::ComObject& slot, bool&) {
        Host().AdoptNewWindow({Second, Browser}, slot);
    };
    const int windows = VisibleTopLevels();
    source.page()->runJavaScript(QStringLiteral("window.open('http://127.0.0.1:9/adopted')"));
    EXPECT_TRUE(WaitFor([&target] {
        return target.page()->requestedUrl() == QUrl(QStringLiteral("http://127.0.0.1:9/adopted"));
    }));
    EXPECT_EQ(VisibleTopLevels(), windows);
}

TEST_F(QtHostTest, UncancelledNewWindowWithEmptySlotOpensABrowserWindow) {
    BrowserFrame& frame = *Loaded(First).Frame(Browser);
    LoadPage(frame, LinkPage);
    first_.onNewWindow = [](host::ComObject&, bool&) {};
    const int windows = VisibleTopLevels();
    frame.page()->runJavaScript(QStringLiteral("window.open('http://127.0.0.1:9/own')"));
    EXPECT_TRUE(WaitFor([windows] { return VisibleTopLevels() == windows + 1; }));
}

TEST_F(QtHostTest, AdoptedObjectIsReleasedOnceWhenTheSlotIsReused) {
    Loaded(First);
    Loaded(Second);
    host::ComObject slot;
    Host().AdoptNewWindow({First, Browser}, slot);
    const std::weak_ptr<host::BrowserObject> firstObject = slot;
    const long held = firstObject.use_count();
    Host().AdoptNewWindow({Second, Browser}, slot);
    EXPECT_EQ(firstObject.use_count(), held - 1);
    EXPECT_NE(slot.get(), firstObject.lock().get());
}

// The handler of a new-window request runs nested event loops inside the
// engine's notification: a message box, the event pump, and the closing of
// its own window.
TEST_F(QtHostTest, NewWindowHandlerMaySpinNestedLoopsAndCloseItsWindow) {
    BrowserFrame& frame = *Framed(First).Frame(Browser);
    LoadPage(frame, LinkPage);
    first_.onNewWindow = [](host::ComObject& slot, bool& cancel) {
        Host().AdoptNewWindow({First, Browser}, slot);
        AnswerNextBox(QMessageBox::Ok);
        Host().ShowMessageBox("nested", 0x40);
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < 1000)
            Host().ProcessEvents();
        Host().DestroyUnit({First, host::WindowUnit}, true);
        Host().ProcessEvents();
        cancel = true;
    };
    frame.page()->runJavaScript(QStringLiteral("window.open('http://127.0.0.1:9/nested')"));
    ASSERT_TRUE(WaitFor([this] { return first_.destroying == 1; }));
    Spin(std::chrono::milliseconds(500));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(Host().IsCreated({First, host::WindowUnit}));
    EXPECT_EQ(first_.newWindows, 1);
}

// Reports the text of the error box on stderr, then closes the box.
void ReportAndCloseErrorBox() {
    QtHostTest::WhenShown<QMessageBox>([](QMessageBox& box) {
        std::fprintf(stderr, "box [%s] [%s]\n", qPrintable(box.windowTitle()),
                     qPrintable(QString(box.text()).replace('\n', '|')));
        box.button(QMessageBox::Ok)->click();
    });
}

TEST_F(QtHostTest, FatalErrorsShowTheBoxAndExitWithoutCleanUp) {
    Host().RegisterCleanup([] { std::fputs("cleanup ran\n", stderr); });
    EXPECT_EXIT(
        {
            ReportAndCloseErrorBox();
            Host().ReadProperty({Second, host::WindowUnit}, host::PropWidth);
        },
        ::testing::ExitedWithCode(255),
        "box \\[错误\\] \\[运行时出错!\\|\\|错误信息：未载入欲访问窗口组件所在的窗口\\|\\]");
    EXPECT_EXIT(
        {
            ReportAndCloseErrorBox();
            Host().LoadStartupWindow(9);
        },
        ::testing::ExitedWithCode(255), "错误信息：载入启动窗口失败");
    EXPECT_EXIT(
        {
            ReportAndCloseErrorBox();
            Host().SetTrayIcon({First, host::WindowUnit}, {}, "tip");
        },
        ::testing::ExitedWithCode(255), "错误信息：指定窗口或窗口组件不存在或尚未载入");
}

} // namespace
} // namespace gui

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    // The web engine runs threads: a death test starts the program anew.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const int result = RUN_ALL_TESTS();
    gui::QtHostTest::Shutdown();
    return result;
}
