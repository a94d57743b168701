#include "base/UniqueFd.h"
#include "serial/LineSettings.h"
#include "serial/SerialPort.h"
#include "serial/posix/LineCodes.h"
#include "serial/posix/LineState.h"
#include "serial/posix/SerialErrno.h"
#include "serial/posix/SystemPort.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace brenwick::serial {

using serial_detail::LineState;
namespace codes = serial_detail;

namespace {

// USB serial converters hold received bytes up to their latency timer; every message of the protocol
// waits for its reply, so that timer would set the programming speed. Drivers without the mode refuse it.
void RequestLowLatency(int fd) {
    serial_struct info{};
    constexpr int kLowLatency = static_cast<int>(ASYNC_LOW_LATENCY);
    if (ioctl(fd, TIOCGSERIAL, &info) == 0 && (info.flags & kLowLatency) == 0) {
        info.flags |= kLowLatency;
        ioctl(fd, TIOCSSERIAL, &info);
    }
}

} // namespace

void CSerialPort::SystemPortDelete::operator()(SystemPort* system) const {
    std::default_delete<SystemPort>()(system);
}

std::error_code CSerialPort::OpenPort(const char* name, uint32_t /*inQueue*/, uint32_t /*outQueue*/,
                                      bool overlapped) {
    m_LastError.store({});
    if (IsOpen()) {
        return Finish(PortErrc::AlreadyOpen);
    }
    if (name == nullptr || *name == '\0') {
        return Finish(SystemError(ENOENT));
    }
    UniqueFd device(open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (device.Get() < 0) {
        return Finish(LastSerialError());
    }
    if (!isatty(device.Get())) {
        return Finish(SystemError(ENOTTY));
    }
    // TIOCEXCL keeps other users out, but not root; the lock also holds against root and against a second
    // open within this program.
    if (flock(device.Get(), LOCK_EX | LOCK_NB) != 0) {
        return Finish(errno == EWOULDBLOCK ? SystemError(EBUSY) : LastSerialError());
    }
    if (ioctl(device.Get(), TIOCEXCL) != 0) {
        return Finish(LastSerialError());
    }
    // The tty's queues are fixed by the driver: the requested sizes are not adjustable here.
    const std::error_code installed = InstallDevice(device.Get(), overlapped);
    if (installed) {
        if (installed != PortErrc::AlreadyOpen) {
            ioctl(device.Get(), TIOCNXCL);
        }
        return Finish(installed);
    }
    device.Release();

    SetEventMask(EV_RXCHAR | EV_BREAK | EV_ERR);
    const std::error_code readMode = SetReadTimeoutMode(ReadTimeoutNonblocking);

    // The device's own defaults: raw mode and low latency, each best effort.
    {
        DeviceUse use(*this);
        if (use.Open()) {
            LineState state;
            if (!serial_detail::ReadLineState(use.Device(), state)) {
                codes::MakeRaw(state);
                serial_detail::WriteLineState(use.Device(), state);
                m_Baud.store(serial_detail::LineSpeed(state));
            }
            RequestLowLatency(use.Device());
        }
    }
    return Finish(readMode);
}

std::error_code CSerialPort::InstallDevice(int fd, bool overlapped) {
    auto system = std::make_unique<SystemPort>();
    system->epoll.Reset(epoll_create1(EPOLL_CLOEXEC));
    system->wake.Reset(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    system->closing.Reset(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    system->cancel.Reset(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    if (!system->epoll.Valid() || !system->wake.Valid() || !system->closing.Valid() ||
        !system->cancel.Valid()) {
        return LastSerialError();
    }
    // Edge-triggered input: one wake-up per arrival of bytes, none while read bytes merely wait.
    epoll_event deviceEvent{};
    deviceEvent.events = EPOLLIN | EPOLLET;
    deviceEvent.data.fd = fd;
    epoll_event wakeEvent{};
    wakeEvent.events = EPOLLIN;
    wakeEvent.data.fd = system->wake.Get();
    epoll_event closeEvent{};
    closeEvent.events = EPOLLIN;
    closeEvent.data.fd = system->closing.Get();
    const int epoll = system->epoll.Get();
    if (epoll_ctl(epoll, EPOLL_CTL_ADD, fd, &deviceEvent) != 0 ||
        epoll_ctl(epoll, EPOLL_CTL_ADD, system->wake.Get(), &wakeEvent) != 0 ||
        epoll_ctl(epoll, EPOLL_CTL_ADD, system->closing.Get(), &closeEvent) != 0) {
        return LastSerialError();
    }
    system->hasCounters = serial_detail::ReadErrorCounters(fd, system->counters);

    std::lock_guard openClose(m_OpenCloseMutex);
    std::unique_lock io(m_IoLock);
    if (m_Handle.load() >= 0) {
        return PortErrc::AlreadyOpen; // another thread opened the object meanwhile
    }
    m_System.reset(system.release());
    PublishDevice(fd, overlapped);
    return {};
}

void CSerialPort::CloseDevice() {
    std::lock_guard openClose(m_OpenCloseMutex);
    const int fd = m_Handle.load();
    if (fd < 0) {
        return;
    }
    // Calls blocked on the device see the signal and leave; then nobody uses the descriptors.
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t signalled = write(m_System->closing.Get(), &one, sizeof one);
    std::unique_lock io(m_IoLock);
    m_Handle.store(-1);
    // A pseudo-terminal keeps its exclusive flag while its master lives: drop it for the next opener.
    ioctl(fd, TIOCNXCL);
    close(fd);
    m_System.reset();
    m_Overlapped.store(false);
}

std::error_code CSerialPort::ApplyLine(DeviceHandle fd, int32_t baud, int32_t dataBits, int32_t parity,
                                       int32_t stopBits) {
    LineState state;
    if (const std::error_code rc = serial_detail::ReadLineState(fd, state)) {
        return rc;
    }
    codes::EncodeLine(state, dataBits, parity, stopBits);
    serial_detail::SetLineSpeed(state, static_cast<uint32_t>(baud));
    return serial_detail::WriteLineState(fd, state);
}

std::error_code CSerialPort::ApplyFlowControl(DeviceHandle fd, const serial_detail::FlowControl& flow) {
    LineState state;
    if (const std::error_code rc = serial_detail::ReadLineState(fd, state)) {
        return rc;
    }
    codes::EncodeFlow(state, flow);
    if (const std::error_code rc = serial_detail::WriteLineState(fd, state)) {
        return rc;
    }
    // A pseudo-terminal has no modem lines and refuses this; that changes nothing for the line.
    const int lines = TIOCM_DTR | TIOCM_RTS;
    ioctl(fd, flow.raiseLines ? TIOCMBIS : TIOCMBIC, &lines);
    return {};
}

std::error_code CSerialPort::ReadLine(DeviceHandle fd, serial_detail::LineSettings& line) {
    LineState state;
    if (const std::error_code rc = serial_detail::ReadLineState(fd, state)) {
        return rc;
    }
    line.baud = static_cast<int32_t>(serial_detail::LineSpeed(state));
    line.dataBits = codes::DecodeDataBits(state);
    line.parity = codes::DecodeParity(state);
    line.stopBits = codes::DecodeStopBits(state);
    line.flow = codes::DecodeFlow(state);
    return {};
}

// A tty has no event character: the object keeps it.
std::error_code CSerialPort::WriteEventChar(DeviceHandle /*device*/, char /*eventChar*/) {
    return {};
}

// The event mask is the object's own: event waits apply it.
std::error_code CSerialPort::ApplyEventMask(DeviceHandle /*device*/, uint32_t /*mask*/) {
    return {};
}

// Reads never block in the driver here: the read itself waits when the mode asks for it.
std::error_code CSerialPort::ApplyReadMode(DeviceHandle /*device*/, int32_t /*mode*/) {
    return {};
}

void CSerialPort::Wake() const {
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t signalled = write(m_System->wake.Get(), &one, sizeof one);
}

} // namespace brenwick::serial
