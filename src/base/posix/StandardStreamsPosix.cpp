#include "base/StandardStreams.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace brenwick {

bool EnsureStandardStreams() {
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) {
            continue;
        }
        // open() takes the lowest free number, which is fd itself since the ones below it are open. The
        // descriptor stays open for the life of the process, as a standard stream does.
        const int null = ::open("/dev/null", O_RDWR);
        if (null < 0) {
            return false;
        }
        if (null != fd) {
            const int moved = ::dup2(null, fd);
            ::close(null);
            if (moved != fd) {
                return false;
            }
        }
    }
    return true;
}

} // namespace brenwick
