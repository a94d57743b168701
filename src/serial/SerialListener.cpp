#include "serial/SerialListener.h"

#include <system_error>

namespace brenwick::serial {

CSerialListener::~CSerialListener() {
    CSerialListener::ClosePort();
}

std::error_code CSerialListener::OpenPort(const char* name, uint32_t inQueue, uint32_t outQueue,
                                          bool startListener) {
    const std::error_code rc = CSerialPort::OpenPort(name, inQueue, outQueue, true);
    if (rc) {
        return rc;
    }
    m_ListenerEvent.done.Reset();
    if (startListener) {
        if (const std::error_code started = StartListener()) {
            CSerialPort::ClosePort(); // an open that fails leaves nothing open
            return Finish(started);
        }
    }
    return Finish({});
}

std::error_code CSerialListener::ClosePort() {
    StopListener(INFINITE);
    return CSerialPort::ClosePort();
}

std::error_code CSerialListener::StartListener() {
    Finish({});
    std::lock_guard guard(m_ListenerMutex);
    if (m_ListenerThread.joinable()) {
        if (m_ListenerActive.load()) {
            return {};
        }
        m_ListenerThread.join(); // ended by itself; make room for a new one
    }
    m_Stopping.store(false);
    m_ListenerActive.store(true);
    try {
        m_ListenerThread = std::thread([this] { ListenerThreadProc(); });
    } catch (const std::system_error& error) {
        m_ListenerActive.store(false);
        return Finish(error.code());
    }
    return {};
}

std::error_code CSerialListener::StopListener(uint32_t timeout) {
    // The device must not close while the thread still uses it, so the thread is always waited for: a
    // finite time-out cannot be honoured when OnSerialEvent takes longer.
    static_cast<void>(timeout);
    std::lock_guard guard(m_ListenerMutex);
    if (m_ListenerThread.joinable()) {
        m_Stopping.store(true);
        // Re-setting the mask ends the pending event wait; the thread then sees m_Stopping.
        SetEventMask(GetEventMask());
        // Called from OnSerialEvent the thread cannot wait for itself; it ends when the handler returns
        // and a later stop from another thread collects it.
        if (m_ListenerThread.get_id() != std::this_thread::get_id()) {
            m_ListenerThread.join();
            m_Stopping.store(false);
        }
    }
    return Finish({});
}

void CSerialListener::ListenerThreadProc() {
    for (;;) {
        // Armed before the stop flag is tested: a stop that comes after the test still ends the wait.
        ArmEventWait();
        if (m_Stopping.load()) {
            break;
        }
        m_ListenerEvent.done.Reset();
        if (WaitEvent(&m_ListenerEvent, INFINITE)) {
            break; // device removed or port closing: end quietly, the code stays in m_LastError
        }
        m_ListenerEvent.done.Wait(INFINITE);
        if (m_Stopping.load()) {
            break;
        }
        const uint32_t events = GetEventType();
        const uint32_t errors = TakeLineErrors();
        if (events != 0) {
            OnSerialEvent(events, errors);
        }
    }
    m_ListenerActive.store(false);
}

} // namespace brenwick::serial
