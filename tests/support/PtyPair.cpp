#include "support/PtyPair.h"

#include <cstdio>
#include <filesystem>
#include <poll.h>
#include <pty.h>
#include <stdexcept>
#include <unistd.h>

using namespace brenwick::serial;

using namespace brenwick;

PtyPair::PtyPair() {
    char name[256] = {};
    if (openpty(&master, &slave, name, nullptr, nullptr) != 0) {
        throw std::runtime_error("openpty failed");
    }
    path = name;
}

PtyPair::~PtyPair() {
    if (master >= 0) {
        close(master);
    }
    if (slave >= 0) {
        close(slave);
    }
}

void PtyPair::SendFromDevice(const std::string& bytes) const {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(master, bytes.data() + done, bytes.size() - done);
        if (n <= 0) {
            throw std::runtime_error("write to pty master failed");
        }
        done += static_cast<size_t>(n);
    }
}

std::string PtyPair::ReceiveAtDevice(int waitMs) const {
    std::string received;
    pollfd fd{master, POLLIN, 0};
    while (poll(&fd, 1, waitMs) > 0 && (fd.revents & POLLIN) != 0) {
        char buffer[4096];
        const ssize_t n = read(master, buffer, sizeof buffer);
        if (n <= 0) {
            break;
        }
        received.append(buffer, static_cast<size_t>(n));
        waitMs = 50; // the rest follows at once or not at all
    }
    return received;
}

void PtyPair::HangUp() {
    close(slave);
    slave = -1;
    close(master);
    master = -1;
}

namespace {
size_t CountEntries(const char* dir) {
    size_t count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir)) {
        ++count;
    }
    return count;
}
} // namespace

size_t OpenDescriptorCount() {
    return CountEntries("/proc/self/fd");
}
size_t ThreadCount() {
    return CountEntries("/proc/self/task");
}

void RecordingTarget::Post(uint32_t message, uint32_t wParam, intptr_t lParam) {
    {
        std::lock_guard lock(m_Mutex);
        m_Posts.push_back({message, wParam, lParam});
    }
    m_Arrived.notify_all();
}

bool RecordingTarget::WaitForCount(size_t count, int waitMs) {
    std::unique_lock lock(m_Mutex);
    return m_Arrived.wait_for(lock, std::chrono::milliseconds(waitMs),
                              [&] { return m_Posts.size() >= count; });
}

std::vector<RecordingTarget::Posted> RecordingTarget::Snapshot() {
    std::lock_guard lock(m_Mutex);
    return m_Posts;
}
