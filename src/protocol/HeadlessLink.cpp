#include "protocol/HeadlessLink.h"

namespace brenwick {

CHeadlessLink::CHeadlessLink()
    : m_Loop([this](uint32_t message, uint32_t wParam, intptr_t lParam) {
          if (message == protocol::kPortMessage) {
              m_Doc.OnPortEvent(wParam & 0xFFFF, lParam); // the line events; the error bits are not used
          }
      }) {
    m_Doc.m_hNotifyWnd = &m_Loop;
}

CHeadlessLink::~CHeadlessLink() {
    m_Doc.StopWorker();
    m_Doc.ClosePort();
}

} // namespace brenwick
