#include "gui/downloads/downloadwindow.h"

#include "net/downloadname.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStandardPaths>
#include <QVBoxLayout>

#include <algorithm>

namespace gui {

namespace {

constexpr int PollMs = 100;
constexpr int BarSteps = 1000;

// Qt names units below 1 KiB in English ("bytes"); the window is Chinese.
QString DataSize(double bytes) {
    const auto count = static_cast<qint64>(bytes);
    if (count < 1024)
        return QStringLiteral("%1 字节").arg(count);
    return QLocale().formattedDataSize(count, 1, QLocale::DataSizeTraditionalFormat);
}

// The user's download folder, or home when there is none yet.
QString DownloadFolder() {
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::DownloadLocation);
    return !folder.isEmpty() && QDir(folder).exists() ? folder : QDir::homePath();
}

QString StatusText(net::DownloadState state) {
    switch (state) {
    case net::DownloadState::Connecting:
        return QStringLiteral("正在连接服务器…");
    case net::DownloadState::AwaitingTarget:
        return QStringLiteral("请选择保存位置…");
    default:
        return QStringLiteral("正在下载…");
    }
}

// What went wrong, said once: some causes already begin with the words.
QString FailureText(const std::string& cause) {
    const QString failed = QStringLiteral("下载失败：");
    const QString text = QString::fromStdString(cause);
    return text.startsWith(failed) ? text : failed + text;
}

// Places a window that is about to be shown: centred on `near` (on the
// screen's centre without it), then moved as little as needed for its frame,
// whose margins are those of `near`'s, to lie on the screen.
void PlaceOnScreen(QWidget& window, const QWidget* near) {
    const bool nearShown = near && near->isVisible() && !near->isMinimized();
    const QScreen* screen = nearShown ? near->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    QMargins frame;
    if (nearShown) {
        const QRect inner = near->geometry();
        const QRect outer = near->frameGeometry();
        frame = {inner.left() - outer.left(), inner.top() - outer.top(),
                 outer.right() - inner.right(), outer.bottom() - inner.bottom()};
    }
    window.ensurePolished();
    const QSize client = window.size().expandedTo(window.sizeHint());
    QRect outer(QPoint(), client.grownBy(frame));
    outer.moveCenter(nearShown ? near->frameGeometry().center() : area.center());
    outer.moveLeft(std::clamp(outer.left(), area.left(),
                              std::max(area.left(), area.right() + 1 - outer.width())));
    outer.moveTop(std::clamp(outer.top(), area.top(),
                             std::max(area.top(), area.bottom() + 1 - outer.height())));
    window.resize(client);
    window.move(outer.topLeft());
}

// The program's own download routine.
class ProgramDownload final : public Download {
  public:
    ProgramDownload(const QString& url, const net::CookieStore& cookies,
                    net::TransferOptions options)
        : download_(url.toStdString(), cookies, std::move(options)) {}
    net::DownloadProgress Progress() const override { return download_.Progress(); }
    void SaveTo(std::filesystem::path file) override { download_.SaveTo(std::move(file)); }

  private:
    net::FileDownload download_;
};

void Open(DownloadWindow& window, const QWidget* near) {
    // Qt gives a new top-level window 640 × 480; its rows need far less.
    window.adjustSize();
    PlaceOnScreen(window, near);
    window.show();
}

} // namespace

DownloadWindow::DownloadWindow(const QString& url, const net::CookieStore& cookies, QWidget* parent,
                               net::TransferOptions options)
    : DownloadWindow(std::make_unique<ProgramDownload>(url, cookies, std::move(options)),
                     QStringLiteral("下载新版本"),
                     QString::fromStdString(net::SuggestedFileName(url.toStdString())), parent) {}

DownloadWindow::DownloadWindow(std::unique_ptr<Download> download, const QString& title,
                               const QString& name, QWidget* parent)
    : QWidget(parent, Qt::Window), download_(std::move(download)), name_(new QLabel(this)),
      status_(new QLabel(this)), bar_(new QProgressBar(this)), amount_(new QLabel(this)),
      button_(new QPushButton(QStringLiteral("取消"), this)) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(title);
    name_->setText(name);
    name_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    status_->setWordWrap(true);
    status_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    bar_->setRange(0, 0);
    bar_->setTextVisible(false);
    // Screen readers name each row by what it is; the labels' texts change.
    name_->setAccessibleName(QStringLiteral("文件名"));
    status_->setAccessibleName(QStringLiteral("状态"));
    bar_->setAccessibleName(QStringLiteral("下载进度"));
    amount_->setAccessibleName(QStringLiteral("已下载"));

    auto* layout = new QVBoxLayout(this);
    for (QWidget* row : {static_cast<QWidget*>(name_), static_cast<QWidget*>(status_),
                         static_cast<QWidget*>(bar_), static_cast<QWidget*>(amount_)})
        layout->addWidget(row);
    layout->addWidget(button_, 0, Qt::AlignRight);
    button_->setDefault(true);
    setMinimumWidth(420);

    connect(button_, &QPushButton::clicked, this, &QWidget::close);
    connect(&poll_, &QTimer::timeout, this, &DownloadWindow::Poll);
    // No worker may outlive the event loop; the window itself may be left
    // for the process to end.
    connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, this,
            &DownloadWindow::Stop);
    poll_.start(PollMs);
    Poll();
}

DownloadWindow::~DownloadWindow() = default;

// A window of its own, not a dialog, so the keys a dialog knows are given
// here: Esc cancels as the button does, Return presses the only button.
void DownloadWindow::keyPressEvent(QKeyEvent* event) {
    if (event->modifiers() != Qt::NoModifier && event->modifiers() != Qt::KeypadModifier)
        return QWidget::keyPressEvent(event);
    switch (event->key()) {
    case Qt::Key_Escape:
        close();
        break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        button_->click();
        break;
    default:
        QWidget::keyPressEvent(event);
    }
}

void DownloadWindow::closeEvent(QCloseEvent* event) {
    Stop();
    event->accept();
}

void DownloadWindow::Stop() {
    poll_.stop();
    if (dialog_)
        dialog_->close();
    download_.reset();
}

void DownloadWindow::Poll() {
    if (!download_)
        return;
    const net::DownloadProgress progress = download_->Progress();
    if (progress.Ended()) {
        ShowEnd(progress);
        return;
    }
    if (progress.state == net::DownloadState::AwaitingTarget && !asked_)
        AskWhereToSave(progress);
    ShowProgress(progress);
}

// Qt's own dialog, not the desktop's: it behaves the same everywhere.
void DownloadWindow::AskWhereToSave(const net::DownloadProgress& progress) {
    asked_ = true;
    auto* dialog = new QFileDialog(this, QStringLiteral("另存为"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setFileMode(QFileDialog::AnyFile);
    dialog->setDirectory(DownloadFolder());
    dialog->selectFile(QString::fromStdString(progress.suggestedName));
    connect(dialog, &QFileDialog::fileSelected, this, [this](const QString& file) {
        file_ = file;
        if (download_)
            download_->SaveTo(QFile::encodeName(file).toStdString());
    });
    connect(dialog, &QFileDialog::rejected, this, &QWidget::close);
    dialog_ = dialog;
    PlaceOnScreen(*dialog, this);
    dialog->open();
}

void DownloadWindow::ShowProgress(const net::DownloadProgress& progress) {
    if (!progress.suggestedName.empty())
        name_->setText(QString::fromStdString(progress.suggestedName));
    if (!file_.isEmpty())
        name_->setText(QFileInfo(file_).fileName());
    status_->setText(StatusText(progress.state));
    if (progress.total && *progress.total > 0) {
        bar_->setRange(0, BarSteps);
        bar_->setValue(static_cast<int>(static_cast<double>(progress.received) /
                                        static_cast<double>(*progress.total) * BarSteps));
    }
    if (progress.state != net::DownloadState::Receiving)
        return;
    QString amount = QStringLiteral("已下载 %1").arg(DataSize(progress.received));
    if (progress.total)
        amount += QStringLiteral(" / %1").arg(DataSize(*progress.total));
    if (progress.bytesPerSecond > 0)
        amount += QStringLiteral("，速度 %1/s").arg(DataSize(progress.bytesPerSecond));
    amount_->setText(amount);
}

void DownloadWindow::ShowEnd(const net::DownloadProgress& progress) {
    poll_.stop();
    ShowProgress(progress);
    bar_->setRange(0, BarSteps);
    if (progress.state == net::DownloadState::Finished) {
        status_->setText(
            QStringLiteral("下载完成，已保存到 %1").arg(QDir::toNativeSeparators(file_)));
        bar_->setValue(BarSteps);
        amount_->setText(QStringLiteral("共 %1").arg(DataSize(progress.received)));
    } else {
        status_->setText(FailureText(progress.error));
        bar_->setValue(0);
    }
    button_->setText(QStringLiteral("关闭"));
    // A long path wraps onto more lines: let the window grow to show them.
    adjustSize();
}

DownloadWindow* StartDownloadWindow(const QString& url, const net::CookieStore& cookies,
                                    QWidget* parent, const QWidget* near) {
    auto* window = new DownloadWindow(url, cookies, parent);
    Open(*window, near ? near : parent);
    return window;
}

DownloadWindow* StartDownloadWindow(std::unique_ptr<Download> download, const QString& title,
                                    const QString& name, const QWidget* near) {
    auto* window = new DownloadWindow(std::move(download), title, name);
    Open(*window, near);
    return window;
}

} // namespace gui
