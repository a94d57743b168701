// brenwick-devsim: a simulated boot loader on a pseudo-terminal, for tests, demos and users without hardware.

#include "base/StandardStreams.h"
#include "base/UniqueFd.h"
#include "base/Version.h"
#include "devsim/CommandLine.h"
#include "devsim/SimulatedDevice.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <poll.h>
#include <string>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>
#include <vector>

using namespace brenwick;

namespace {

constexpr int kExitUsage = 2;
constexpr int kExitFailure = 1;

// Waits until SIGINT/SIGTERM arrives, the device has hung up or timeoutMs (-1: no limit) has passed; true
// when the time ran out.
bool WaitForEnd(int signalFd, int hangUpFd, int timeoutMs) {
    pollfd p[2] = {{signalFd, POLLIN, 0}, {hangUpFd, POLLIN, 0}};
    int ready = 0;
    while ((ready = ::poll(p, 2, timeoutMs)) < 0 && errno == EINTR) {
    }
    return ready == 0;
}

} // namespace

int main(int argc, char** argv) {
    if (!EnsureStandardStreams()) {
        return kExitFailure;
    }
    const std::vector<std::string_view> args(argv + 1, argv + argc);
    const devsim::ParsedCommandLine parsed = devsim::ParseCommandLine(args);
    if (parsed.action == devsim::CommandLineAction::Help) {
        std::fputs(devsim::UsageText().c_str(), stdout);
        return 0;
    }
    if (parsed.action == devsim::CommandLineAction::Version) {
        std::printf("brenwick-devsim %s\n", kVersion);
        return 0;
    }
    if (parsed.action == devsim::CommandLineAction::Error) {
        std::fprintf(stderr, "brenwick-devsim: %s\n%s", parsed.error.c_str(), devsim::UsageText().c_str());
        return kExitUsage;
    }

    // Block the stop signals before the device's thread exists, so that only the signalfd sees them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    ::pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    const UniqueFd signalFd(::signalfd(-1, &stopSignals, SFD_CLOEXEC));
    const UniqueFd hangUpFd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    if (!signalFd.Valid() || !hangUpFd.Valid()) {
        std::perror("brenwick-devsim");
        return kExitFailure;
    }

    CSimulatedDevice device(parsed.options);
    device.SetHangUpHandler([fd = hangUpFd.Get()] {
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = ::write(fd, &one, sizeof one);
    });
    const DeviceSimOptions& options = parsed.options;
    if (options.plugAfterMs > 0 && !WaitForEnd(signalFd.Get(), hangUpFd.Get(), options.plugAfterMs)) {
        return 0; // stopped before it was plugged in
    }
    std::string error;
    if (!device.Start(&error)) {
        std::fprintf(stderr, "brenwick-devsim: %s\n", error.c_str());
        return kExitFailure;
    }
    std::printf("PORT %s\n", device.PortPath().c_str());
    std::fflush(stdout);

    WaitForEnd(signalFd.Get(), hangUpFd.Get(), options.unplugAfterMs > 0 ? options.unplugAfterMs : -1);
    device.Stop();
    if (!device.SaveFlashOut(&error)) {
        std::fprintf(stderr, "brenwick-devsim: %s\n", error.c_str());
        return kExitFailure;
    }
    return 0;
}
