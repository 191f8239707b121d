// The download window on the offscreen platform, driven through its own
// widgets against a loopback server.

#include "downloadserver.h"
#include "gui/downloads/downloadwindow.h"

#include <QApplication>
#include <QFileDialog>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <string_view>
#include <thread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using gui::DownloadWindow;
using nettest::FolderListing;

class DownloadWindowTest : public testing::Test {
  protected:
    // Runs the event loop until `done` holds; the deadline only guards
    // against a hang.
    static bool Until(const std::function<bool()>& done) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (!done() && std::chrono::steady_clock::now() < deadline)
            QApplication::processEvents(QEventLoop::AllEvents, 10);
        return done();
    }

    QPointer<DownloadWindow> Start(std::string_view path) {
        return gui::StartDownloadWindow(QString::fromStdString(server.Url(path)), cookies);
    }
    static QFileDialog* Dialog(DownloadWindow* window) {
        QFileDialog* dialog = nullptr;
        Until([&] { return !window || (dialog = window->findChild<QFileDialog*>()); });
        return dialog;
    }
    // The endless download, saved, once its temporary file is there.
    QPointer<DownloadWindow> StartSlowDownload() {
        const QPointer window = Start("/slow");
        QFileDialog* dialog = Dialog(window);
        if (!dialog)
            return nullptr;
        Save(dialog, "slow.bin");
        return Until([&] { return !FolderListing(scratch.Path()).empty(); }) ? window : nullptr;
    }
    static QPushButton* Button(DownloadWindow* window) { return window->findChild<QPushButton*>(); }
    static bool HasText(DownloadWindow* window, const QString& part) {
        for (const QLabel* label : window->findChildren<QLabel*>())
            if (label->text().contains(part))
                return true;
        return false;
    }
    void Save(QFileDialog* dialog, const std::string& name) {
        dialog->selectFile(QString::fromStdString((scratch.Path() / name).string()));
        QMetaObject::invokeMethod(dialog, "accept");
    }

    nettest::DownloadServer server;
    net::CookieStore cookies;
    nettest::ScratchFolder scratch;
};

TEST_F(DownloadWindowTest, AsksWithTheServersNameAndSavesTheWholeFile) {
    const QPointer window = Start("/named");
    QFileDialog* dialog = Dialog(window);
    ASSERT_TRUE(dialog);
    EXPECT_TRUE(dialog->testOption(QFileDialog::DontUseNativeDialog));
    ASSERT_EQ(dialog->selectedFiles().size(), 1);
    EXPECT_TRUE(dialog->selectedFiles().first().endsWith(QStringLiteral("/新版.exe")));

    Save(dialog, "新版.exe");
    ASSERT_TRUE(Until([&] { return Button(window)->text() == QStringLiteral("关闭"); }));
    EXPECT_TRUE(HasText(window, QStringLiteral("下载完成")));
    EXPECT_EQ(window->findChild<QProgressBar*>()->value(),
              window->findChild<QProgressBar*>()->maximum());
    EXPECT_TRUE(nettest::ReadFile(scratch.Path() / "新版.exe") == nettest::Pattern(2000));

    Button(window)->click();
    EXPECT_TRUE(Until([&] { return window.isNull(); }));
}

TEST_F(DownloadWindowTest, CancellingTheSaveDialogDownloadsNothingAndClosesTheWindow) {
    const QPointer window = Start("/named");
    QFileDialog* dialog = Dialog(window);
    ASSERT_TRUE(dialog);
    dialog->reject();
    EXPECT_TRUE(Until([&] { return window.isNull(); }));
    EXPECT_TRUE(FolderListing(scratch.Path()).empty());
}

TEST_F(DownloadWindowTest, ClosingTheWindowCancelsARunningDownloadAndRemovesThePartialFile) {
    const QPointer window = StartSlowDownload();
    ASSERT_TRUE(window);
    // The length is unknown: the bar only shows that something happens.
    EXPECT_EQ(window->findChild<QProgressBar*>()->maximum(), 0);
    EXPECT_TRUE(Until([&] { return HasText(window, QStringLiteral("已下载")); }));

    window->close();
    EXPECT_TRUE(Until([&] { return window.isNull(); }));
    EXPECT_TRUE(FolderListing(scratch.Path()).empty());
}

TEST_F(DownloadWindowTest, ShowsAFailureWithoutAskingWhereToSave) {
    const QPointer window = Start("/missing");
    ASSERT_TRUE(Until([&] { return Button(window)->text() == QStringLiteral("关闭"); }));
    EXPECT_TRUE(HasText(window, QStringLiteral("404")));
    EXPECT_EQ(window->findChild<QFileDialog*>(), nullptr);
    window->close();
}

TEST_F(DownloadWindowTest, RefusesAnAddressThatIsNotHttp) {
    const QPointer window = gui::StartDownloadWindow(QStringLiteral("file:///etc/passwd"), cookies);
    ASSERT_TRUE(Until([&] { return Button(window)->text() == QStringLiteral("关闭"); }));
    EXPECT_TRUE(HasText(window, QStringLiteral("http://")));
    window->close();
}

TEST_F(DownloadWindowTest, QuittingWithARunningDownloadStopsIt) {
    const QPointer window = StartSlowDownload();
    ASSERT_TRUE(window);
    QTimer::singleShot(0, QCoreApplication::instance(), &QCoreApplication::quit);
    QApplication::exec();
    EXPECT_TRUE(FolderListing(scratch.Path()).empty());
    delete window;
}

// A server that answers anything but HTTP, once: a failure whose cause the
// transfer words itself.
class GarbageServer final {
  public:
    GarbageServer() : socket_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        ::bind(socket_, reinterpret_cast<sockaddr*>(&address), length);
        ::listen(socket_, 1);
        ::getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] {
            const int client = ::accept(socket_, nullptr, nullptr);
            char request[4096];
            [[maybe_unused]] const auto got = ::read(client, request, sizeof request);
            constexpr std::string_view reply = "\x01\x02 no http here\r\n\r\n";
            [[maybe_unused]] const auto sent = ::write(client, reply.data(), reply.size());
            ::close(client);
        });
    }
    ~GarbageServer() {
        ::shutdown(socket_, SHUT_RDWR);
        thread_.join();
        ::close(socket_);
    }
    GarbageServer(const GarbageServer&) = delete;
    GarbageServer& operator=(const GarbageServer&) = delete;

    QString Url() const { return QStringLiteral("http://127.0.0.1:%1/x").arg(port_); }

  private:
    int socket_;
    int port_ = 0;
    std::thread thread_;
};

void Press(QWidget* window, Qt::Key key) {
    QWidget* target = window->focusWidget() ? window->focusWidget() : window;
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(target, &press);
}

TEST_F(DownloadWindowTest, EscCancelsLikeTheButtonAndReturnPressesIt) {
    const QPointer running = StartSlowDownload();
    ASSERT_TRUE(running);
    Press(running, Qt::Key_Escape);
    EXPECT_TRUE(Until([&] { return running.isNull(); }));
    EXPECT_TRUE(Until([&] { return FolderListing(scratch.Path()).empty(); }));

    const QPointer failed = Start("/missing");
    ASSERT_TRUE(Until([&] { return Button(failed)->text() == QStringLiteral("关闭"); }));
    Press(failed, Qt::Key_Return);
    EXPECT_TRUE(Until([&] { return failed.isNull(); }));
}

TEST_F(DownloadWindowTest, AFailureSaysDownloadFailedOnce) {
    GarbageServer garbage;
    const QPointer window = gui::StartDownloadWindow(garbage.Url(), cookies);
    ASSERT_TRUE(Until([&] { return Button(window)->text() == QStringLiteral("关闭"); }));
    QStringList texts;
    for (const QLabel* label : window->findChildren<QLabel*>())
        texts << label->text();
    EXPECT_EQ(texts.join(QLatin1Char('|')).count(QStringLiteral("下载失败")), 1)
        << texts.join(QLatin1Char('|')).toStdString();
    window->close();
}

TEST_F(DownloadWindowTest, WindowAndSaveDialogOpenWhollyOnTheScreenNearTheirWindow) {
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    QWidget near;
    near.setGeometry(screen.right() - 300, screen.bottom() - 200, 300, 200);
    near.show();
    const QPointer window = gui::StartDownloadWindow(QString::fromStdString(server.Url("/named")),
                                                     cookies, nullptr, &near);
    EXPECT_TRUE(screen.contains(window->frameGeometry()));
    EXPECT_TRUE(window->frameGeometry().contains(near.frameGeometry().center()));
    window->move(screen.topLeft());
    QFileDialog* dialog = Dialog(window);
    ASSERT_TRUE(dialog);
    ASSERT_TRUE(Until([&] { return dialog->isVisible(); }));
    EXPECT_TRUE(screen.contains(dialog->frameGeometry()));
    window->close();
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
