// Reads the speed through the kernel's termios2 call on the test's own descriptor; kept apart because the
// kernel's termios header cannot share a file with the C library's.
#include <asm/termbits.h>
#include <cstdint>
#include <sys/ioctl.h>

uint32_t KernelOutputSpeed(int fd) {
    termios2 state{};
    if (ioctl(fd, TCGETS2, &state) != 0) {
        return 0;
    }
    return state.c_ospeed;
}
