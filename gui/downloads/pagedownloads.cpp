#include "gui/downloads/pagedownloads.h"

#include "gui/downloads/downloadwindow.h"
#include "net/downloadname.h"
#include "net/stagingfolder.h"

#include <QAccessible>
#include <QBoxLayout>
#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTimer>
#include <QWebEngineDownloadRequest>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineView>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <optional>
#include <system_error>
#include <thread>

namespace gui {

namespace {

constexpr qint64 CopyChunk = 1 << 20;

using Request = QWebEngineDownloadRequest;

std::string SaveError(const QString& cause) {
    return "无法保存文件：" + cause.toStdString();
}

// Why the engine gave up, for the user. Its own words are English, and it
// reports reasons its enumeration does not name (a length mismatch is 38).
std::string InterruptText(const Request& request) {
    constexpr int ContentLengthMismatch = 38;
    const int reason = request.interruptReason();
    switch (reason) {
    case Request::FileNoSpace:
        return net::FaultText(net::DownloadFault::DiskFull);
    case Request::NetworkTimeout:
        return net::FaultText(net::DownloadFault::TimedOut);
    case Request::NetworkServerDown:
    case Request::ServerUnreachable:
        return net::FaultText(net::DownloadFault::Unreachable);
    case Request::ServerCertProblem:
        return net::FaultText(net::DownloadFault::Untrusted);
    case Request::ServerUnauthorized:
    case Request::ServerForbidden:
        return "服务器拒绝了下载。";
    case Request::FileTooShort:
    case ContentLengthMismatch:
        return net::FaultText(net::DownloadFault::Broken);
    default:
        break;
    }
    if (reason < Request::NetworkFailed)
        return "无法写入临时文件。";
    if (reason < Request::ServerFailed)
        return net::FaultText(net::DownloadFault::Broken);
    if (reason < Request::UserCanceled)
        return "服务器出错，下载已中止。";
    return "下载已取消。";
}

// Moves the complete file to `target`: renamed on the same file system;
// from another one copied beside the target under a temporary name, which
// takes the target's name only once the copy is whole. The error for the
// user, empty on success or when stopped.
std::string MoveIntoPlace(const std::filesystem::path& staged, const std::filesystem::path& target,
                          const std::stop_token& stop) {
    std::error_code error;
    std::filesystem::rename(staged, target, error);
    if (!error)
        return {};
    if (error != std::errc::cross_device_link)
        return SaveError(QString::fromStdString(error.message()));
    QFile from(QString::fromStdString(staged.string()));
    QSaveFile to(QFile::decodeName(target.c_str()));
    if (!from.open(QIODevice::ReadOnly))
        return SaveError(from.errorString());
    if (!to.open(QIODevice::WriteOnly))
        return SaveError(to.errorString());
    while (!from.atEnd()) {
        const QByteArray chunk = from.read(CopyChunk);
        if (stop.stop_requested()) {
            to.cancelWriting();
            return {};
        }
        if (chunk.isEmpty() || to.write(chunk) != chunk.size())
            return SaveError(chunk.isEmpty() ? from.errorString() : to.errorString());
    }
    return to.commit() ? std::string{} : SaveError(to.errorString());
}

} // namespace

// A download the engine makes into a staging folder of its own, paused
// until the user has said where the file goes.
class EngineDownload final : public QObject, public Download {
  public:
    // Accepts `request`, which has just been offered, into a folder of its
    // own under `root`.
    EngineDownload(Request& request, std::string name, const std::filesystem::path& root)
        : name_(std::move(name)), staging_(root) {
        if (staging_.Path().empty()) {
            request.cancel();
            End(net::DownloadState::Failed, "无法创建临时文件夹。");
            return;
        }
        request.setDownloadDirectory(QFile::decodeName(staging_.Path().c_str()));
        request.setDownloadFileName(QStringLiteral("download"));
        Continue(request);
        rateClock_.start();
    }

    // The engine offers a download again when it resumes it after a broken
    // connection: it goes on into the same staging file.
    void Continue(Request& request) {
        if (ended_) {
            request.cancel();
            return;
        }
        if (request_ && request_ != &request)
            request_->disconnect(this);
        if (request_) {
            request.setDownloadDirectory(request_->downloadDirectory());
            request.setDownloadFileName(request_->downloadFileName());
        }
        request_ = &request;
        paused_ = false;
        connect(&request, &Request::stateChanged, this, &EngineDownload::Follow);
        connect(&request, &Request::receivedBytesChanged, this, &EngineDownload::Measure);
        request.accept();
    }

    ~EngineDownload() override {
        if (request_ && !request_->isFinished())
            request_->cancel();
        mover_ = {}; // stops and joins before the staging folder goes
    }

    net::DownloadProgress Progress() const override {
        if (ended_)
            return *ended_;
        net::DownloadProgress progress;
        progress.suggestedName = name_;
        if (!request_) {
            progress.state = net::DownloadState::Failed;
            progress.error = "下载已中断。";
            return progress;
        }
        progress.received =
            static_cast<std::uint64_t>(std::max<qint64>(0, request_->receivedBytes()));
        if (request_->totalBytes() >= 0)
            progress.total = static_cast<std::uint64_t>(request_->totalBytes());
        progress.bytesPerSecond = rate_;
        progress.state =
            target_ ? net::DownloadState::Receiving : net::DownloadState::AwaitingTarget;
        if (moved_.load(std::memory_order_acquire)) {
            progress.state =
                moveError_.empty() ? net::DownloadState::Finished : net::DownloadState::Failed;
            progress.error = moveError_;
        }
        return progress;
    }

    void SaveTo(std::filesystem::path file) override {
        if (target_ || ended_)
            return;
        target_ = std::move(file);
        Follow();
    }

  private:
    void Follow() {
        if (!request_ || ended_)
            return;
        switch (request_->state()) {
        case Request::DownloadInProgress:
            // The engine pauses and resumes later, not at the call.
            if (!target_ && !paused_) {
                paused_ = true;
                request_->pause();
            } else if (target_ && paused_) {
                paused_ = false;
                request_->resume();
            }
            break;
        case Request::DownloadCompleted:
            if (target_ && !mover_.joinable())
                Place();
            break;
        case Request::DownloadInterrupted:
            End(net::DownloadState::Failed, InterruptText(*request_));
            break;
        case Request::DownloadCancelled:
            End(net::DownloadState::Cancelled);
            break;
        default:
            break;
        }
    }

    void Place() {
        const std::filesystem::path staged =
            QFile::encodeName(
                QDir(request_->downloadDirectory()).filePath(request_->downloadFileName()))
                .toStdString();
        mover_ = std::jthread([this, staged, target = *target_](std::stop_token stop) {
            moveError_ = MoveIntoPlace(staged, target, stop);
            moved_.store(true, std::memory_order_release);
        });
    }

    void End(net::DownloadState state, std::string error = {}) {
        net::DownloadProgress progress = Progress();
        progress.state = state;
        progress.error = std::move(error);
        ended_ = std::move(progress);
        staging_.Remove();
    }

    // Bytes per second over the last second or so.
    void Measure() {
        if (!request_ || rateClock_.elapsed() < 1000)
            return;
        rate_ = static_cast<double>(request_->receivedBytes() - rateMark_) * 1000.0 /
                static_cast<double>(rateClock_.restart());
        rateMark_ = request_->receivedBytes();
    }

    QPointer<Request> request_;
    const std::string name_;
    net::StagingFolder staging_;
    std::optional<std::filesystem::path> target_;
    std::optional<net::DownloadProgress> ended_;
    bool paused_ = false;
    QElapsedTimer rateClock_;
    qint64 rateMark_ = 0;
    double rate_ = 0;
    std::string moveError_; // written by the mover before moved_
    std::atomic<bool> moved_{false};
    std::jthread mover_; // last: it stops and joins before the rest goes
};

namespace {

// The engine's own lifespan of a user activation: a download reported later
// than this after the user's click or key is the page's own doing.
constexpr qint64 ActivationMs = 5'000;
constexpr int LineMs = 10'000;

// One line over a page's view saying which downloads were refused: a burst
// is one line with its count, never a box per file. The page gives up the
// room while it shows (the engine's drawing would cover a line laid over
// it). It goes after a while, or at a click.
class RefusalLine final : public QLabel {
  public:
    explicit RefusalLine(QWidget& view) : QLabel(view.parentWidget()) {
        setObjectName(ObjectName);
        setTextFormat(Qt::PlainText); // the names are the page's
        setStyleSheet(QStringLiteral("background:#fff3c4;color:#000;"
                                     "border-bottom:1px solid #c8b66e;padding:6px 10px;"));
        setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
        hide();
        if (auto* box = qobject_cast<QBoxLayout*>(parentWidget()->layout()))
            box->insertWidget(box->indexOf(&view), this);
        hide_.setSingleShot(true);
        hide_.setInterval(LineMs);
        connect(&hide_, &QTimer::timeout, this, &RefusalLine::Clear);
    }

    // The line of `view`; none for a view that is a window of its own.
    static RefusalLine* Of(QWidget& view) {
        QWidget* frame = view.parentWidget();
        if (!frame || !qobject_cast<QBoxLayout*>(frame->layout()))
            return nullptr;
        if (auto* line = dynamic_cast<RefusalLine*>(
                frame->findChild<QLabel*>(ObjectName, Qt::FindDirectChildrenOnly)))
            return line;
        return new RefusalLine(view);
    }

    void Add(const QString& name) {
        const QString shown = fontMetrics().elidedText(name, Qt::ElideMiddle, 320);
        setText(++count_ == 1 ? QStringLiteral("已拒绝网页自行开始的下载：%1").arg(shown)
                              : QStringLiteral("已拒绝网页自行开始的 %1 个下载，最近的一个：%2")
                                    .arg(count_)
                                    .arg(shown));
        show();
        hide_.start();
        QAccessibleEvent alert(this, QAccessible::Alert);
        QAccessible::updateAccessibility(&alert);
    }

  protected:
    void mousePressEvent(QMouseEvent*) override { Clear(); }

  private:
    static inline const QString ObjectName = QStringLiteral("refusedDownloads");

    void Clear() {
        hide();
        count_ = 0;
    }

    QTimer hide_;
    int count_ = 0;
};

// The page whose view the user's input went to (the refusal line lies
// outside it).
QWebEnginePage* PageOf(QObject* receiver) {
    for (auto* widget = qobject_cast<QWidget*>(receiver); widget; widget = widget->parentWidget())
        if (auto* view = qobject_cast<QWebEngineView*>(widget))
            return view->page();
    return nullptr;
}

// The user's own input that activates what it lands on, as a click or key
// activates a link or a button; typing into a field starts nothing, a space
// there included.
bool Activates(const QObject& receiver, const QEvent& event) {
    switch (event.type()) {
    case QEvent::MouseButtonPress:
        return static_cast<const QMouseEvent&>(event).button() == Qt::LeftButton;
    case QEvent::KeyPress: {
        const auto& key = static_cast<const QKeyEvent&>(event);
        if (key.isAutoRepeat())
            return false;
        if (key.key() == Qt::Key_Space)
            return receiver.isWidgetType() &&
                   !static_cast<const QWidget&>(receiver).inputMethodQuery(Qt::ImEnabled).toBool();
        return key.key() == Qt::Key_Return || key.key() == Qt::Key_Enter;
    }
    case QEvent::TouchBegin:
        return true;
    default:
        return false;
    }
}

} // namespace

PageDownloads::PageDownloads(QWebEngineProfile& profile)
    : staging_(QFile::encodeName(QStandardPaths::writableLocation(QStandardPaths::CacheLocation) +
                                 "/downloads")
                   .toStdString()) {
    // What a crash left behind; the downloads of a running instance are locked.
    net::SweepStaging(staging_);
    connect(&profile, &QWebEngineProfile::downloadRequested, this, &PageDownloads::Answer);
    QCoreApplication::instance()->installEventFilter(this);
}

PageDownloads::~PageDownloads() = default;

// Notes where the user's own input went; the page cannot fake it. Each input
// admits one download.
bool PageDownloads::eventFilter(QObject* watched, QEvent* event) {
    if (event->spontaneous() && Activates(*watched, *event))
        if (QWebEnginePage* page = PageOf(watched)) {
            inputPage_ = page;
            sinceInput_.start();
            const bool space = event->type() == QEvent::KeyPress &&
                               static_cast<QKeyEvent*>(event)->key() == Qt::Key_Space;
            spaceIn_ = space ? qobject_cast<QWidget*>(watched) : nullptr;
        }
    return false;
}

void PageDownloads::Answer(QWebEngineDownloadRequest* request) {
    const auto known = downloads_.find(request->id());
    if (known != downloads_.end() && known->second) {
        known->second->Continue(*request);
        return;
    }
    QWebEnginePage* page = request->page();
    const QString name =
        QString::fromStdString(net::CleanedFileName(request->suggestedFileName().toStdString()));
    QWebEngineView* view = page ? QWebEngineView::forPage(page) : nullptr;
    // The engine reports a field's focus a moment after the page moved it, so
    // a space typed right after may have looked like pressing a button; by
    // now the field is known.
    const bool typed = spaceIn_ && spaceIn_->inputMethodQuery(Qt::ImEnabled).toBool();
    const bool byUser = page && page == inputPage_ && sinceInput_.isValid() &&
                        sinceInput_.elapsed() < ActivationMs && !typed &&
                        !request->isSavePageDownload();
    if (!byUser) {
        request->cancel();
        std::fprintf(stderr, "lodestone: refused a download that the page started on its own: %s\n",
                     name.toUtf8().constData());
        if (RefusalLine* line = view ? RefusalLine::Of(*view) : nullptr)
            line->Add(name);
        return;
    }
    sinceInput_.invalidate();
    auto download = std::make_unique<EngineDownload>(*request, name.toStdString(), staging_);
    std::erase_if(downloads_, [](const auto& entry) { return !entry.second; });
    downloads_[request->id()] = download.get();
    StartDownloadWindow(std::move(download), QStringLiteral("下载文件"), name,
                        view ? view->window() : nullptr);
}

} // namespace gui
