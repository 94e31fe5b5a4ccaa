// FileLock: a lock that one process holds on a name for as long as it lives,
// such as one run per output file. The lock is a file of its own beside what
// it guards; the system drops the lock when the process ends, however it
// ends, so a crash never leaves a stale lock (a lock file left behind is
// taken over by the next run).
//
// POSIX: an flock on the file, which is removed when the lock is released;
// the holder checks that the file it locked is still the one at the name, so
// two processes can never both hold a name. Windows: the file opened without
// sharing and deleted when closed. Never through a link.
#pragma once

#include <cstdint>
#include <filesystem>

namespace teebasket {

class FileLock {
  public:
    enum class State {
        Held,           // this process holds the lock
        HeldElsewhere,  // another process holds it
        NotAFile,       // a link, pipe or folder has the lock's name
        Failed,         // the lock file cannot be made (systemError says why)
    };

    // Tries once, without waiting.
    explicit FileLock(std::filesystem::path path);
    ~FileLock();  // releases the lock and removes the lock file
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    State state() const { return state_; }
    int systemError() const { return systemError_; }
    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path path_;
    State state_ = State::Failed;
    int systemError_ = 0;
    std::intptr_t handle_ = -1;  // the descriptor, or the Windows handle
};

}  // namespace teebasket
