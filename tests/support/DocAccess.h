#pragma once

#include "protocol/BrenwickDoc.h"

namespace brenwick {

// The document's worker steps and receiver, which only the document itself calls, for the tests and fuzz
// targets that drive them by hand on their own thread.
class CDocAccess {
  public:
    static bool SendAndWait(CBrenwickDoc& doc, const uint8_t* message) { return doc.SendAndWait(message); }
    static void OpenLink(CBrenwickDoc& doc) { doc.OpenLink(); }
    static bool Handshake(CBrenwickDoc& doc) { return doc.Handshake(); }
    static bool ProgramDevice(CBrenwickDoc& doc) { return doc.ProgramDevice(); }
    static void FeedByte(CBrenwickDoc& doc, uint8_t b) { doc.FeedByte(b); }
    static void IdleWork(CBrenwickDoc& doc) { doc.IdleWork(); }
};

} // namespace brenwick
