#include "devsim/SimulatedDevice.h"

#include "devsim/BootLoader.h"
#include "devsim/FrameAssembler.h"
#include "devsim/HexLog.h"
#include "devsim/LineClock.h"
#include "devsim/PtyLine.h"
#include "image/AtomicFile.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace brenwick {

using namespace devsim;

namespace {

// A message of which only a part arrived is dropped after this much silence.
constexpr auto kPartialDropAfter = std::chrono::milliseconds(1000);
// A reply that cannot be written for this long (nobody reads the port) is dropped.
constexpr int kWriteStallMs = 2000;

bool SetError(std::string* error, std::string text) {
    if (error) {
        *error = std::move(text);
    }
    return false;
}

bool ChangesFlash(const std::vector<uint8_t>& frame) {
    const auto type = TypeOf(frame);
    return type == MessageType::DataItem || type == MessageType::ControlItem;
}

} // namespace

CSimulatedDevice::CSimulatedDevice(DeviceSimOptions options)
    : m_Options(std::move(options)), m_Boot(std::make_unique<CBootLoader>(m_Options)),
      m_Silent(m_Options.silent) {}

CSimulatedDevice::~CSimulatedDevice() {
    Stop();
}

bool CSimulatedDevice::Start(std::string* error) {
    if (m_Started) {
        return SetError(error, "the simulated device was started already");
    }
    if (!ValidateOptions(m_Options, error)) {
        return false;
    }
    auto pty = std::make_unique<PtyPair>();
    if (!OpenRawPty(*pty, error)) {
        return false;
    }
    auto wake = std::make_unique<UniqueFd>(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    if (!wake->Valid()) {
        return SetError(error, std::string("eventfd: ") + std::strerror(errno));
    }
    // Hosts take the port with TIOCEXCL. Since the device keeps the terminal open, the kernel would keep it
    // exclusive after the host closed it, and an unprivileged host could not connect a second time: so the
    // device watches for closes and lifts the flag. Without the watch the device still works.
    auto closeWatch = std::make_unique<UniqueFd>(::inotify_init1(IN_CLOEXEC | IN_NONBLOCK));
    if (closeWatch->Valid() &&
        ::inotify_add_watch(closeWatch->Get(), pty->path.c_str(), IN_CLOSE_WRITE | IN_CLOSE_NOWRITE) < 0) {
        closeWatch->Reset();
    }
    if (!m_Options.linkPath.empty() && !PlaceLink(m_Options.linkPath, pty->path, error)) {
        return false;
    }
    m_PortPath = pty->path;
    m_Pty = std::move(pty);
    m_Wake = std::move(wake);
    m_CloseWatch = std::move(closeWatch);
    m_Started = true;
    {
        std::lock_guard lock(m_Mutex);
        m_Serving = true;
    }
    m_Thread = std::thread([this] { Serve(); });
    return true;
}

void CSimulatedDevice::Stop() {
    if (m_Thread.joinable()) {
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = ::write(m_Wake->Get(), &one, sizeof one);
        m_Thread.join();
    }
    if (m_Started && !m_Options.linkPath.empty()) {
        RemoveLink(m_Options.linkPath, m_PortPath);
    }
    m_Pty.reset();
    m_CloseWatch.reset();
}

void CSimulatedDevice::Serve() {
    CFrameAssembler assembler;
    CLineClock line(m_Options.baud);
    std::vector<uint8_t> buffer(4096);
    std::vector<ReceivedFrame> frames;
    const int master = m_Pty->master.Get();
    bool serving = true;
    while (serving) {
        int timeoutMs = -1;
        if (assembler.HasPartial()) {
            const auto left = assembler.LastByteTime() + kPartialDropAfter - Clock::now();
            timeoutMs = static_cast<int>(
                std::max<int64_t>(0, std::chrono::ceil<std::chrono::milliseconds>(left).count()));
        }
        // A stalled device leaves the line alone (not even a hang-up is looked at): what the host writes
        // piles up until its writes block.
        const int lineFd = m_Stalled ? -1 : master;
        pollfd p[3] = {{lineFd, POLLIN, 0}, {m_Wake->Get(), POLLIN, 0}, {m_CloseWatch->Get(), POLLIN, 0}};
        const int r = ::poll(p, 3, timeoutMs);
        if (r < 0) {
            if (errno == EINTR) {
                continue;
            }
            break;
        }
        if (p[1].revents != 0) {
            break;
        }
        if (p[2].revents & POLLIN) {
            ClearExclusiveAfterClose();
        }
        if (r == 0 && assembler.HasPartial() &&
            Clock::now() - assembler.LastByteTime() >= kPartialDropAfter) {
            if (m_Options.verbose) {
                LogLine("-- dropped a partial message of " + std::to_string(assembler.PartialSize()) +
                        " bytes");
            }
            assembler.DropPartial();
            continue;
        }
        if (p[0].revents & POLLIN) {
            const ssize_t n = ::read(master, buffer.data(), buffer.size());
            if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
                continue;
            }
            if (n <= 0) {
                break;
            }
            frames.clear();
            assembler.Feed(std::span(buffer.data(), static_cast<size_t>(n)), Clock::now(), frames);
            for (const auto& frame : frames) {
                if (!HandleFrame(frame.bytes, line.Arrived(frame.firstByte, frame.bytes.size()))) {
                    serving = false;
                    break;
                }
            }
        } else if (p[0].revents & (POLLHUP | POLLERR | POLLNVAL)) {
            break; // the terminal is gone; waiting on it again would only spin
        }
    }
    {
        std::lock_guard lock(m_Mutex);
        m_Serving = false;
    }
    m_Changed.notify_all();
}

bool CSimulatedDevice::HandleFrame(const std::vector<uint8_t>& frame, Clock::time_point due) {
    {
        std::lock_guard lock(m_Mutex);
        m_Received.push_back(frame);
    }
    m_Changed.notify_all();
    if (m_Options.verbose) {
        LogLine(HexLine("<-", frame));
    }
    if (m_Silent.load() || Clock::now() < m_QuietUntil) {
        return true;
    }
    if (!WaitUntil(due, m_Wake->Get())) {
        return false;
    }
    DeviceAnswer answer;
    {
        std::lock_guard lock(m_Mutex);
        answer = m_Boot->Handle(frame);
        if (ChangesFlash(frame)) {
            ++m_FlashGeneration;
        }
    }
    if (m_Options.verbose && !answer.note.empty()) {
        LogLine("-- " + answer.note);
    }
    if (answer.finished) {
        // The file is complete before the host hears that End was taken.
        std::string error;
        if (!SaveFlashOut(&error)) {
            LogLine("brenwick-devsim: " + error);
        }
        {
            std::lock_guard lock(m_Mutex);
            ++m_SessionsEnded;
        }
        m_Changed.notify_all();
    }
    if (answer.hangUp) {
        HangUp();
        return false;
    }
    if (answer.began && m_Options.stallAfterBegin) {
        // The line stops taking bytes, as a wedged device or a deasserted handshake line does: the host's
        // writes block at once.
        m_Stalled = true;
        ::tcflow(m_Pty->slave.Get(), TCOOFF);
    }
    if (answer.finished && m_Options.quietAfterEndMs > 0) {
        m_QuietUntil = due + std::chrono::milliseconds(m_Options.quietAfterEndMs);
    }
    if (answer.reply.empty()) {
        return true;
    }
    // The reply goes on the line when the request has arrived (plus any injected delay), however late this
    // thread woke up: a real device answers at once, so scheduling delays must not add up on every message.
    const auto replyStart = due + std::chrono::milliseconds(m_Options.replyDelayMs);
    if (m_Options.replyDelayMs > 0 && !WaitUntil(replyStart, m_Wake->Get())) {
        return false;
    }
    return SendReply(answer.reply, replyStart);
}

bool CSimulatedDevice::SendReply(const std::vector<uint8_t>& reply, Clock::time_point start) {
    if (m_Options.verbose) {
        LogLine(HexLine("->", reply));
    }
    const CLineClock line(m_Options.baud);
    const size_t chunk = line.ChunkSize();
    for (size_t at = 0; at < reply.size(); at += chunk) {
        const size_t end = std::min(reply.size(), at + chunk);
        // A byte is not there before its last bit has crossed the line.
        const auto due = start + std::chrono::duration_cast<Clock::duration>(line.WireTime(end));
        if (line.Paced() && !WaitUntil(due, m_Wake->Get())) {
            return false;
        }
        const auto bytes = std::span(reply).subspan(at, end - at);
        switch (WriteAll(m_Pty->master.Get(), bytes, m_Wake->Get(), kWriteStallMs)) {
        case WriteResult::Done:
            break;
        case WriteResult::Stopped:
            return false;
        case WriteResult::Failed:
            if (m_Options.verbose) {
                LogLine("-- reply dropped: nobody reads the port");
            }
            return true;
        }
    }
    return true;
}

void CSimulatedDevice::HangUp() {
    m_Pty->master.Reset();
    m_Pty->slave.Reset();
    {
        std::lock_guard lock(m_Mutex);
        m_HungUp.store(true);
    }
    m_Changed.notify_all();
    if (m_OnHangUp) {
        m_OnHangUp();
    }
}

void CSimulatedDevice::ClearExclusiveAfterClose() {
    alignas(inotify_event) char events[4096];
    while (::read(m_CloseWatch->Get(), events, sizeof events) > 0) {
    }
    ::ioctl(m_Pty->slave.Get(), TIOCNXCL);
}

std::vector<std::vector<uint8_t>> CSimulatedDevice::ReceivedMessages() const {
    std::lock_guard lock(m_Mutex);
    return m_Received;
}

size_t CSimulatedDevice::ReceivedCount() const {
    std::lock_guard lock(m_Mutex);
    return m_Received.size();
}

std::vector<uint8_t> CSimulatedDevice::Flash() const {
    std::lock_guard lock(m_Mutex);
    return m_Boot->Flash();
}

void CSimulatedDevice::SetNakPage(int page) {
    std::lock_guard lock(m_Mutex);
    m_Boot->SetNakPage(page);
}

uint8_t CSimulatedDevice::Status() const {
    std::lock_guard lock(m_Mutex);
    return m_Boot->Status();
}

int CSimulatedDevice::PagesReceived() const {
    std::lock_guard lock(m_Mutex);
    return m_Boot->PagesReceived();
}

int CSimulatedDevice::SessionsEnded() const {
    std::lock_guard lock(m_Mutex);
    return m_SessionsEnded;
}

template <class Predicate>
bool CSimulatedDevice::WaitFor(int timeoutMs, Predicate done) const {
    std::unique_lock lock(m_Mutex);
    return m_Changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return done(); });
}

bool CSimulatedDevice::WaitForMessages(size_t count, int timeoutMs) const {
    return WaitFor(timeoutMs, [&] { return m_Received.size() >= count; });
}

bool CSimulatedDevice::WaitForSessionsEnded(int count, int timeoutMs) const {
    return WaitFor(timeoutMs, [&] { return m_SessionsEnded >= count; });
}

bool CSimulatedDevice::WaitForHangUp(int timeoutMs) const {
    return WaitFor(timeoutMs, [&] { return m_HungUp.load(); });
}

bool CSimulatedDevice::WriteFlashFile(const std::string& path, std::string* error) const {
    if (const int err = WriteFileAtomically(path, Flash()); err != 0) {
        return SetError(error, "cannot write " + path + ": " + std::strerror(err));
    }
    return true;
}

bool CSimulatedDevice::SaveFlashOut(std::string* error) {
    if (m_Options.flashOut.empty()) {
        return true;
    }
    uint64_t generation = 0;
    {
        std::lock_guard lock(m_Mutex);
        generation = m_FlashGeneration;
        if (generation == m_SavedGeneration && generation != 0) {
            return true;
        }
    }
    if (!WriteFlashFile(m_Options.flashOut, error)) {
        return false;
    }
    std::lock_guard lock(m_Mutex);
    m_SavedGeneration = std::max(m_SavedGeneration, generation);
    return true;
}

} // namespace brenwick
