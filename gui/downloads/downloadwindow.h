#pragma once
// The download facility the platform lacks: a window that asks where to
// save a file and shows its download, whoever moves the bytes.

#include "net/filedownload.h"

#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <memory>

class QCloseEvent;
class QKeyEvent;
class QFileDialog;
class QLabel;
class QProgressBar;
class QPushButton;

namespace gui {

// One download as the window sees it. Destroying it cancels a running
// download and removes what it wrote.
class Download {
  public:
    virtual ~Download() = default;
    virtual net::DownloadProgress Progress() const = 0;
    // Where the file goes; the first call counts.
    virtual void SaveTo(std::filesystem::path file) = 0;
};

// Shows the progress of one download: once the server has answered, a save
// dialog (Qt's own, proposing the server's name in the user's download
// folder) asks where the file goes; then name, bytes, speed and a button
// that cancels, and at the end the result. Closing the window, or the
// program ending, cancels a running download and removes what it wrote.
class DownloadWindow final : public QWidget {
    Q_OBJECT

  public:
    // The program's own download of `url` (UTF-8), for the new build.
    DownloadWindow(const QString& url, const net::CookieStore& cookies, QWidget* parent = nullptr,
                   net::TransferOptions options = {});
    // Any download, under `title`, showing `name` until the server proposes
    // one.
    DownloadWindow(std::unique_ptr<Download> download, const QString& title, const QString& name,
                   QWidget* parent = nullptr);
    ~DownloadWindow() override;
    Q_DISABLE_COPY_MOVE(DownloadWindow)

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    void Poll();
    void AskWhereToSave(const net::DownloadProgress& progress);
    void ShowProgress(const net::DownloadProgress& progress);
    void ShowEnd(const net::DownloadProgress& progress);
    void Stop();

    std::unique_ptr<Download> download_;
    QString file_; // where the user chose to save
    QTimer poll_;
    QPointer<QFileDialog> dialog_;
    bool asked_ = false;
    QLabel* name_;
    QLabel* status_;
    QProgressBar* bar_;
    QLabel* amount_;
    QPushButton* button_;
};

// Offers the download of `url` (UTF-8 text) in a new window and returns at
// once; the window deletes itself when closed. The cookies that apply are
// read now. With a `parent` the window still stands on its own, but goes
// when the parent goes. It opens fully on the screen, centred on `near` (or
// the parent) when that is shown.
DownloadWindow* StartDownloadWindow(const QString& url, const net::CookieStore& cookies,
                                    QWidget* parent = nullptr, const QWidget* near = nullptr);
// The same for a download someone else has started.
DownloadWindow* StartDownloadWindow(std::unique_ptr<Download> download, const QString& title,
                                    const QString& name, const QWidget* near);

} // namespace gui
