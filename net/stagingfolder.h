#pragma once
// The folder where a download waits until it is complete and the user has
// said where it goes. Whatever a crash, SIGKILL or power loss leaves there is
// cleared at the next start, and only that: every living folder is locked
// by the process that owns it, and the lock dies with that process.

#include <filesystem>

namespace net {

// A folder of its own under `root`, locked for as long as the object lives
// and removed with it.
class StagingFolder final {
  public:
    explicit StagingFolder(const std::filesystem::path& root);
    ~StagingFolder();
    StagingFolder(const StagingFolder&) = delete;
    StagingFolder& operator=(const StagingFolder&) = delete;

    // Empty when the folder could not be made.
    const std::filesystem::path& Path() const { return path_; }
    void Remove();

  private:
    std::filesystem::path path_;
    int lock_ = -1; // the folder itself, flock'ed
};

// Removes from `root` every entry that no living StagingFolder holds, in
// this process or any other (a second instance's downloads stay).
void SweepStaging(const std::filesystem::path& root);

} // namespace net
