#pragma once

#include <cstdint>

namespace brenwick::serial::serial_detail {

// What a handshaking mode asks of the line. Each system writes and reads these flags; which mode they
// stand for is decided in one place (SerialPort.cpp), so every system reads back the mode it was given.
struct FlowControl {
    bool ctsFlow = false;    // output waits for CTS
    bool xonXoff = false;    // XON/XOFF in both directions
    bool raiseLines = false; // DTR and RTS up (written only)
};

// The line as the device reports it, in the program's codes.
struct LineSettings {
    int32_t baud = 0;
    int32_t dataBits = 0;
    int32_t parity = 0; // none when the device does not check parity
    int32_t stopBits = 0;
    FlowControl flow;
};

// The flags of a valid handshaking mode, and the mode that flags read from a device stand for.
FlowControl HandshakeFlow(int32_t mode);
int32_t HandshakeOf(const FlowControl& flow);

} // namespace brenwick::serial::serial_detail
