#include "document/HeadlessLink.h"

namespace brenwick {

CHeadlessLink::CHeadlessLink()
    : m_Loop([this](uint32_t message, uint32_t wParam, intptr_t lParam) {
          m_Doc.OnPortMessage(message, wParam, lParam);
      }) {
    m_Doc.Attach(&m_Loop);
}

CHeadlessLink::~CHeadlessLink() {
    m_Doc.Detach();
}

} // namespace brenwick
