#include "base/UniqueFd.h"
#include "serial/SerialPort.h"
#include "serial/posix/LineCodes.h"
#include "serial/posix/LineState.h"
#include "serial/posix/SerialErrno.h"

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

int32_t CSerialPort::OpenPort(const char* name, uint32_t /*inQueue*/, uint32_t /*outQueue*/,
                              bool overlapped) {
    m_LastError.store(0);
    if (IsOpen()) {
        return Finish(ERROR_ALREADY_INITIALIZED);
    }
    if (name == nullptr || *name == '\0') {
        return Finish(ENOENT);
    }
    UniqueFd device(open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (device.Get() < 0) {
        return Finish(LastSerialError());
    }
    if (!isatty(device.Get())) {
        return Finish(ENOTTY);
    }
    // TIOCEXCL keeps other users out, but not root; the lock also holds against root and against a second
    // open within this program.
    if (flock(device.Get(), LOCK_EX | LOCK_NB) != 0) {
        return Finish(errno == EWOULDBLOCK ? EBUSY : LastSerialError());
    }
    if (ioctl(device.Get(), TIOCEXCL) != 0) {
        return Finish(LastSerialError());
    }
    // The tty's queues are fixed by the driver: the requested sizes are not adjustable here.
    const int32_t installed = InstallDevice(device.Get(), overlapped);
    if (installed != 0) {
        if (installed != ERROR_ALREADY_INITIALIZED) {
            ioctl(device.Get(), TIOCNXCL);
        }
        return Finish(installed);
    }
    device.Release();

    SetEventMask(EV_RXCHAR | EV_BREAK | EV_ERR);
    const int32_t readMode = SetReadTimeoutMode(ReadTimeoutNonblocking);

    // The device's own defaults: raw mode and low latency, each best effort.
    {
        DeviceUse use(*this);
        if (use.Open()) {
            LineState state;
            if (serial_detail::ReadLineState(use.Device(), state) == 0) {
                codes::MakeRaw(state);
                serial_detail::WriteLineState(use.Device(), state);
                m_Baud.store(serial_detail::LineSpeed(state));
            }
            RequestLowLatency(use.Device());
        }
    }
    return Finish(readMode);
}

int32_t CSerialPort::InstallDevice(int fd, bool overlapped) {
    UniqueFd epoll(epoll_create1(EPOLL_CLOEXEC));
    UniqueFd wake(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    UniqueFd closing(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    UniqueFd cancel(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    if (epoll.Get() < 0 || wake.Get() < 0 || closing.Get() < 0 || cancel.Get() < 0) {
        return LastSerialError();
    }
    // Edge-triggered input: one wake-up per arrival of bytes, none while read bytes merely wait.
    epoll_event deviceEvent{};
    deviceEvent.events = EPOLLIN | EPOLLET;
    deviceEvent.data.fd = fd;
    epoll_event wakeEvent{};
    wakeEvent.events = EPOLLIN;
    wakeEvent.data.fd = wake.Get();
    epoll_event closeEvent{};
    closeEvent.events = EPOLLIN;
    closeEvent.data.fd = closing.Get();
    if (epoll_ctl(epoll.Get(), EPOLL_CTL_ADD, fd, &deviceEvent) != 0 ||
        epoll_ctl(epoll.Get(), EPOLL_CTL_ADD, wake.Get(), &wakeEvent) != 0 ||
        epoll_ctl(epoll.Get(), EPOLL_CTL_ADD, closing.Get(), &closeEvent) != 0) {
        return LastSerialError();
    }

    std::lock_guard openClose(m_OpenCloseMutex);
    std::unique_lock io(m_IoLock);
    if (m_Handle.load() >= 0) {
        return ERROR_ALREADY_INITIALIZED; // another thread opened the object meanwhile
    }
    {
        std::lock_guard errors(m_ErrorMutex);
        m_HasCounters = serial_detail::ReadErrorCounters(fd, m_Counters);
    }
    m_EpollFd = epoll.Release();
    m_WakeFd = wake.Release();
    m_CloseFd = closing.Release();
    m_CancelFd = cancel.Release();
    PublishDevice(fd, overlapped);
    return 0;
}

void CSerialPort::CloseDevice() {
    std::lock_guard openClose(m_OpenCloseMutex);
    const int fd = m_Handle.load();
    if (fd < 0) {
        return;
    }
    // Calls blocked on the device see the signal and leave; then nobody uses the descriptors.
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t signalled = write(m_CloseFd, &one, sizeof one);
    std::unique_lock io(m_IoLock);
    m_Handle.store(-1);
    // A pseudo-terminal keeps its exclusive flag while its master lives: drop it for the next opener.
    ioctl(fd, TIOCNXCL);
    close(fd);
    close(m_EpollFd);
    close(m_WakeFd);
    close(m_CloseFd);
    close(m_CancelFd);
    m_EpollFd = m_WakeFd = m_CloseFd = m_CancelFd = -1;
    m_Overlapped.store(false);
}

int32_t CSerialPort::SetupLine(int32_t baud, int32_t dataBits, int32_t parity, int32_t stopBits) {
    m_LastError.store(0);
    DeviceUse use(*this);
    if (!use.Open()) {
        return Finish(ERROR_INVALID_HANDLE);
    }
    LineState state;
    if (const int32_t rc = serial_detail::ReadLineState(use.Device(), state); rc != 0) {
        return Finish(rc);
    }
    if (!codes::ValidLine(baud, dataBits, parity, stopBits)) {
        return Finish(EINVAL);
    }
    codes::EncodeLine(state, dataBits, parity, stopBits);
    serial_detail::SetLineSpeed(state, static_cast<uint32_t>(baud));
    if (const int32_t rc = serial_detail::WriteLineState(use.Device(), state); rc != 0) {
        return Finish(rc);
    }
    m_Baud.store(static_cast<uint32_t>(baud));
    return 0;
}

// A tty has no event character: the object keeps it.
int32_t CSerialPort::WriteEventChar(DeviceHandle /*device*/, char /*eventChar*/) {
    return 0;
}

// The event mask is the object's own: event waits apply it.
int32_t CSerialPort::ApplyEventMask(DeviceHandle /*device*/, uint32_t /*mask*/) {
    return 0;
}

// Reads never block in the driver here: the read itself waits when the mode asks for it.
int32_t CSerialPort::ApplyReadMode(DeviceHandle /*device*/, int32_t /*mode*/) {
    return 0;
}

int32_t CSerialPort::SetHandshaking(int32_t mode) {
    m_LastError.store(0);
    DeviceUse use(*this);
    if (!use.Open()) {
        return Finish(ERROR_INVALID_HANDLE);
    }
    LineState state;
    if (const int32_t rc = serial_detail::ReadLineState(use.Device(), state); rc != 0) {
        return Finish(rc);
    }
    if (mode < HandshakeOff || mode > HandshakeSoftware) {
        return Finish(E_INVALIDARG);
    }
    const bool raiseLines = codes::EncodeHandshaking(state, mode);
    if (const int32_t rc = serial_detail::WriteLineState(use.Device(), state); rc != 0) {
        return Finish(rc);
    }
    // A pseudo-terminal has no modem lines and refuses this; that changes nothing for the line.
    const int lines = TIOCM_DTR | TIOCM_RTS;
    ioctl(use.Device(), raiseLines ? TIOCMBIS : TIOCMBIC, &lines);
    return 0;
}

namespace {

// Reads the line state afresh for a getter; -1 and the code in `rc` when it cannot.
template <typename Extract>
int32_t ReadSetting(int fd, int32_t& rc, Extract extract) {
    if (fd < 0) {
        rc = ERROR_INVALID_HANDLE;
        return -1;
    }
    LineState state;
    rc = serial_detail::ReadLineState(fd, state);
    return rc == 0 ? extract(state) : -1;
}

} // namespace

template <typename Extract>
int32_t CSerialPort::GetLineSetting(Extract extract) {
    DeviceUse use(*this);
    int32_t rc = 0;
    const int32_t value = ReadSetting(use.Device(), rc, extract);
    m_LastError.store(rc);
    return value;
}

int32_t CSerialPort::GetBaudRate() {
    return GetLineSetting(
        [](const LineState& state) { return static_cast<int32_t>(serial_detail::LineSpeed(state)); });
}

int32_t CSerialPort::GetDataBits() {
    return GetLineSetting(codes::DecodeDataBits);
}

int32_t CSerialPort::GetParity() {
    return GetLineSetting(codes::DecodeParity);
}

int32_t CSerialPort::GetStopBits() {
    return GetLineSetting(codes::DecodeStopBits);
}

int32_t CSerialPort::GetHandshaking() {
    return GetLineSetting(codes::DecodeHandshaking);
}

void CSerialPort::Wake() const {
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t signalled = write(m_WakeFd, &one, sizeof one);
}

} // namespace brenwick::serial
