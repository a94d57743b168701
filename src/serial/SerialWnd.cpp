#include "serial/SerialWnd.h"

namespace brenwick::serial {

namespace {

// FNV-1a of the message's name, folded into the registered-message range: fixed for every build.
constexpr uint32_t RegisteredMessageFor(const char* name) {
    uint32_t hash = 2166136261u;
    for (; *name != '\0'; ++name) {
        hash = (hash ^ static_cast<uint8_t>(*name)) * 16777619u;
    }
    return 0xC000u + hash % 0x4000u;
}

constexpr uint32_t kDefaultComMsg = RegisteredMessageFor("CSerialWnd_DefaultComMsg");
static_assert(kDefaultComMsg >= 0xC000u && kDefaultComMsg <= 0xFFFFu);

} // namespace

uint32_t DefaultComMsg() {
    return kDefaultComMsg;
}

CSerialWnd::~CSerialWnd() {
    CSerialWnd::ClosePort();
}

std::error_code CSerialWnd::OpenPort(const char* name, ISerialNotifyTarget* target, uint32_t message,
                                     intptr_t param, uint32_t inQueue, uint32_t outQueue) {
    const std::error_code rc = CSerialListener::OpenPort(name, inQueue, outQueue, false);
    if (rc) {
        return rc;
    }
    // The destination is in place before the thread starts, so the first event already has one.
    m_NotifyParam.store(param);
    m_NotifyMessage.store(message != 0 ? message : DefaultComMsg());
    m_NotifyWindow.store(target);
    if (const std::error_code started = StartListener()) {
        ClosePort();
        return Finish(started);
    }
    return Finish({});
}

std::error_code CSerialWnd::ClosePort() {
    m_NotifyWindow.store(nullptr);
    m_NotifyMessage.store(0);
    return CSerialListener::ClosePort();
}

void CSerialWnd::OnSerialEvent(uint32_t events, uint32_t errors) {
    ISerialNotifyTarget* target = m_NotifyWindow.load();
    const uint32_t message = m_NotifyMessage.load();
    if (target == nullptr || message == 0) {
        return; // closing: the port forgot its target
    }
    const uint32_t wParam = (events & 0xFFFFu) | ((errors & 0xFFFFu) << 16);
    target->Post(message, wParam, m_NotifyParam.load());
}

} // namespace brenwick::serial
