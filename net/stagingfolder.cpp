#include "net/stagingfolder.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <string>
#include <system_error>

namespace net {

namespace {

// Held shared while a folder is made and locked, exclusively by a sweep, so
// that a sweep never takes a folder between its making and its locking.
class RootLock final {
  public:
    RootLock(const std::filesystem::path& root, int operation)
        : fd_(::open((root / ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600)) {
        if (fd_ >= 0 && ::flock(fd_, operation) != 0) {
            ::close(fd_);
            fd_ = -1;
        }
    }
    ~RootLock() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    RootLock(const RootLock&) = delete;
    RootLock& operator=(const RootLock&) = delete;
    explicit operator bool() const { return fd_ >= 0; }

  private:
    int fd_;
};

// The folder at `path`, opened and locked; -1 when it is not a folder or
// someone holds it.
int LockFolder(const std::filesystem::path& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

} // namespace

StagingFolder::StagingFolder(const std::filesystem::path& root) {
    std::error_code error;
    std::filesystem::create_directories(root, error);
    // Where the file system has no locks the folder goes unlocked; no sweep
    // runs there either.
    const RootLock making(root, LOCK_SH);
    std::string name = (root / "XXXXXX").string();
    if (!::mkdtemp(name.data()))
        return;
    path_ = name;
    lock_ = LockFolder(path_);
}

StagingFolder::~StagingFolder() {
    Remove();
}

void StagingFolder::Remove() {
    std::error_code error;
    if (!path_.empty())
        std::filesystem::remove_all(path_, error);
    path_.clear();
    if (lock_ >= 0)
        ::close(lock_);
    lock_ = -1;
}

void SweepStaging(const std::filesystem::path& root) {
    // A sweep that finds another at work leaves the folder to it.
    const RootLock sweeping(root, LOCK_EX | LOCK_NB);
    if (!sweeping)
        return;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(root, error)) {
        if (entry.path().filename() == ".lock")
            continue;
        if (entry.is_symlink(error) || !entry.is_directory(error)) {
            std::filesystem::remove(entry.path(), error);
            continue;
        }
        if (const int lock = LockFolder(entry.path()); lock >= 0) {
            std::filesystem::remove_all(entry.path(), error);
            ::close(lock);
        }
    }
}

} // namespace net
