#pragma once
// The files a page offers for download (an attachment, a link with the
// download attribute, blob: and data: links): the engine fetches them, as
// only it has the page's session, its form data and its blob: contents; the
// download window asks where the file goes and shows how it comes.

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>

#include <filesystem>
#include <map>

class QWebEngineDownloadRequest;
class QWebEnginePage;
class QWebEngineProfile;
class QWidget;

namespace gui {

class EngineDownload;

// Answers every download request of the profile's pages at once: one that
// follows the user's own click or key in that page (within the engine's
// lifespan of a user activation, one download per input) goes to a download
// window; any other, a download the page starts on its own, is refused, and
// the user is told in a line over the page. Downloads wait in a staging
// folder, which is cleared at start of what a crash left there.
class PageDownloads final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PageDownloads)

  public:
    explicit PageDownloads(QWebEngineProfile& profile);
    ~PageDownloads() override;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void Answer(QWebEngineDownloadRequest* request);

    const std::filesystem::path staging_;
    std::map<quint32, QPointer<EngineDownload>> downloads_; // by the engine's id
    QPointer<QWebEnginePage> inputPage_;                    // where the user's last input went
    QElapsedTimer sinceInput_;
    QPointer<QWidget> spaceIn_; // where that input was a space key
};

} // namespace gui
