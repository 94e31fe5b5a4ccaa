#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "standard_descriptors.h"

namespace teebasket {

bool OpenClosedStandardDescriptors(ClosedStandardDescriptors* closed) {
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) {
            continue;
        }
        if (closed != nullptr) {
            bool& which = fd == STDIN_FILENO    ? closed->input
                          : fd == STDOUT_FILENO ? closed->output
                                                : closed->error;
            which = true;
        }
        // The lowest free descriptor is `fd` itself, since those below it
        // are open by now.
        const int opened = ::open("/dev/null", O_RDWR);
        if (opened < 0) {
            return false;
        }
        if (opened != fd) {
            const bool moved = ::dup2(opened, fd) == fd;
            ::close(opened);
            if (!moved) {
                return false;
            }
        }
    }
    return true;
}

}  // namespace teebasket
