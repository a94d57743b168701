#pragma once

#include "document/BrenwickDoc.h"
#include "document/NotifyLoop.h"

namespace brenwick {

// A document without a window: its own notification loop plays the window thread and hands every port
// notification to the document there. Front ends without a window system (the command line, the tests, the
// benchmarks) use this one wiring. Destruction stops the worker and closes the port before the loop goes, so
// nothing is delivered to a document that is being torn down.
class CHeadlessLink {
  public:
    CHeadlessLink();
    ~CHeadlessLink();
    CHeadlessLink(const CHeadlessLink&) = delete;
    CHeadlessLink& operator=(const CHeadlessLink&) = delete;

    CBrenwickDoc& Doc() { return m_Doc; }
    const CBrenwickDoc& Doc() const { return m_Doc; }

  private:
    // The document before the loop: the loop, which delivers to the document, is destroyed first.
    CBrenwickDoc m_Doc;
    CNotifyLoop m_Loop;
};

} // namespace brenwick
