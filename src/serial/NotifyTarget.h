#pragma once

#include <cstdint>

namespace brenwick::serial {

// Where a serial port delivers its line-event notifications: the stand-in for a window that receives
// posted messages. Post() must only queue the notification and return at once; the target delivers it
// later on its own thread, in the order posted. It is called from the port's listener thread.
class ISerialNotifyTarget {
  public:
    virtual ~ISerialNotifyTarget() = default;

    // message: the message number chosen at open time; wParam: line events in the low 16 bits,
    // line-error (CE_) bits in the high 16 bits; lParam: the parameter chosen at open time.
    virtual void Post(uint32_t message, uint32_t wParam, intptr_t lParam) = 0;
};

} // namespace brenwick::serial
