// What the port does alike on every system, checked by the POSIX suite over a pseudo-terminal and by the
// Windows suite over a COM port pair: which arguments are refused, with which error and which sentence, and
// which handshaking mode reads back.
#pragma once

#include "serial/PortErrors.h"
#include "serial/SerialPort.h"

#include <functional>
#include <gtest/gtest.h>
#include <system_error>

namespace port_contract {

using namespace brenwick::serial;

inline const std::error_code kSuccess;

struct RefusedCall {
    const char* what;
    std::function<std::error_code(CSerialPort&)> call;
};

// Calls that every system refuses before the device is asked.
inline const RefusedCall kRefusedCalls[] = {
    {"read without a buffer",
     [](CSerialPort& port) { return port.ReadBytes(nullptr, 10, nullptr, nullptr, INFINITE); }},
    {"write without a buffer",
     [](CSerialPort& port) { return port.WriteBytes(nullptr, 10, nullptr, nullptr, INFINITE); }},
    {"handshaking past the modes", [](CSerialPort& port) { return port.SetHandshaking(3); }},
    {"negative handshaking", [](CSerialPort& port) { return port.SetHandshaking(-1); }},
    {"read mode past the modes", [](CSerialPort& port) { return port.SetReadTimeoutMode(2); }},
    {"negative read mode", [](CSerialPort& port) { return port.SetReadTimeoutMode(-1); }},
    // Baud, data bits, parity, stop bits (1: one and a half, only with 5 data bits; 2: two, not with 5).
    {"zero baud", [](CSerialPort& port) { return port.SetupLine(0, 8, 0, 0); }},
    {"negative baud", [](CSerialPort& port) { return port.SetupLine(-9600, 8, 0, 0); }},
    {"nine data bits", [](CSerialPort& port) { return port.SetupLine(9600, 9, 0, 0); }},
    {"four data bits", [](CSerialPort& port) { return port.SetupLine(9600, 4, 0, 0); }},
    {"parity past space", [](CSerialPort& port) { return port.SetupLine(9600, 8, 5, 0); }},
    {"negative parity", [](CSerialPort& port) { return port.SetupLine(9600, 8, -1, 0); }},
    {"stop bits past two", [](CSerialPort& port) { return port.SetupLine(9600, 8, 0, 3); }},
    {"one and a half stop bits with eight data bits",
     [](CSerialPort& port) { return port.SetupLine(9600, 8, 0, 1); }},
    {"two stop bits with five data bits", [](CSerialPort& port) { return port.SetupLine(9600, 5, 0, 2); }},
};

// On an open port opened for overlapped I/O with nothing arriving: each refused call fails as an invalid
// argument (a sentence about the setting, not a removed device), and the line stays as it was set up.
inline void ExpectRefusedCallsChangeNothing(CSerialPort& port) {
    ASSERT_EQ(port.SetupLine(19200, DataBits8, ParityNone, StopBitsTwo), kSuccess);
    ASSERT_EQ(port.SetHandshaking(HandshakeSoftware), kSuccess);
    ASSERT_EQ(port.SetReadTimeoutMode(ReadTimeoutNonblocking), kSuccess);
    for (const RefusedCall& refused : kRefusedCalls) {
        SCOPED_TRACE(refused.what);
        const std::error_code rc = refused.call(port);
        EXPECT_EQ(rc, PortErrc::InvalidArgument);
        EXPECT_EQ(port.GetLastError(), PortErrc::InvalidArgument);
        EXPECT_EQ(DescribePortError(rc), "invalid setting for the serial port");
        EXPECT_FALSE(DeviceGone(rc));
        EXPECT_TRUE(port.IsOpen());
        EXPECT_EQ(port.GetBaudRate(), 19200);
        EXPECT_EQ(port.GetDataBits(), DataBits8);
        EXPECT_EQ(port.GetParity(), ParityNone);
        EXPECT_EQ(port.GetStopBits(), StopBitsTwo);
        EXPECT_EQ(port.GetHandshaking(), HandshakeSoftware);
        // Reads stay non-blocking: one with a time-out returns at once with nothing instead of timing out.
        char byte = 0;
        uint32_t read = 7;
        EXPECT_EQ(port.ReadBytes(&byte, 1, &read, nullptr, 200), kSuccess);
        EXPECT_EQ(read, 0u);
    }
}

// Each mode reads back as itself, also after a mode whose flags it must clear.
inline void ExpectHandshakingReadsBack(CSerialPort& port) {
    for (const int32_t mode : {HandshakeHardware, HandshakeSoftware, HandshakeOff, HandshakeHardware,
                               HandshakeOff, HandshakeSoftware}) {
        SCOPED_TRACE(mode);
        ASSERT_EQ(port.SetHandshaking(mode), kSuccess);
        EXPECT_EQ(port.GetHandshaking(), mode);
        EXPECT_EQ(port.GetLastError(), kSuccess);
    }
}

} // namespace port_contract
