#pragma once

#include "serial/SerialCompletion.h"
#include "serial/SerialTypes.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <system_error>

namespace brenwick::serial {

namespace serial_detail {
struct FlowControl;
struct LineSettings;
} // namespace serial_detail

// One serial device opened exclusively. Every operation returns an error code (empty on success: a PortErrc
// or a system error) and leaves it in the object (GetLastError). Ports opened for overlapped I/O accept
// time-outs and completion objects; ports opened for plain I/O block without limit and refuse both.
//
// Threads: one thread may write, another read and a third wait for line events at the same time. ClosePort
// may be called from any thread other than one inside OnSerialEvent of a derived class; calls blocked on the
// device end when the port closes. Opening must not race with another open of the same object.
class CSerialPort {
  public:
    CSerialPort();
    CSerialPort(const CSerialPort&) = delete;
    CSerialPort& operator=(const CSerialPort&) = delete;
    virtual ~CSerialPort();

    virtual std::error_code OpenPort(const char* name, uint32_t inQueue, uint32_t outQueue, bool overlapped);
    virtual std::error_code ClosePort();
    virtual std::error_code SetupLine(int32_t baud, int32_t dataBits, int32_t parity, int32_t stopBits);
    virtual std::error_code SetEventChar(char eventChar, bool adjustMask);
    virtual std::error_code SetEventMask(uint32_t mask);
    virtual std::error_code WaitEvent(SerialCompletion* completion, uint32_t timeout);
    virtual std::error_code SetHandshaking(int32_t mode);
    virtual std::error_code SetReadTimeoutMode(int32_t mode);
    virtual int32_t GetBaudRate();
    virtual int32_t GetDataBits();
    virtual int32_t GetParity();
    virtual int32_t GetStopBits();
    virtual int32_t GetHandshaking();
    virtual uint32_t GetEventMask();
    virtual char GetEventChar();
    virtual std::error_code WriteString(const char* text, uint32_t* written, SerialCompletion* completion,
                                        uint32_t timeout);
    virtual std::error_code WriteBytes(const void* buffer, uint32_t length, uint32_t* written,
                                       SerialCompletion* completion, uint32_t timeout);
    virtual std::error_code ReadBytes(void* buffer, uint32_t capacity, uint32_t* read,
                                      SerialCompletion* completion, uint32_t timeout);

    bool IsOpen() const { return m_Handle.load() != kNoDevice; }
    // Ends the reads and writes that wait for the line at this moment with PortErrc::Aborted; later ones
    // are not affected. Any thread.
    std::error_code CancelIo();
    // True once a wait for line events has seen the line hung up (the device went away).
    bool HungUp() const { return m_HungUp.load(); }
    // The events of the latest completed wait that are in the mask; clears them.
    uint32_t GetEventType();
    // Code of the latest operation on any thread; callers use the returned codes.
    std::error_code GetLastError() const { return m_LastError.load(); }

  protected:
    // Makes the next event wait end at once (without events) if the mask is set again between this call
    // and that wait: a mask change made just before the wait starts is not missed.
    void ArmEventWait() { m_ArmedSerial.store(m_MaskSerial.load()); }
    // Line-error (CE_) bits collected since the previous call; clears them.
    uint32_t TakeLineErrors();
    std::error_code Finish(std::error_code code) {
        m_LastError.store(code);
        return code;
    }

  private:
    // The device as the system names it: a file descriptor on POSIX, a HANDLE on Windows.
#if defined(_WIN32)
    using DeviceHandle = void*;
    static constexpr DeviceHandle kNoDevice = nullptr;
#else
    using DeviceHandle = int;
    static constexpr DeviceHandle kNoDevice = -1;
#endif

    // Keeps the device from being closed while one call uses it.
    class DeviceUse {
      public:
        explicit DeviceUse(CSerialPort& port) : m_Lock(port.m_IoLock), m_Device(port.m_Handle.load()) {}
        bool Open() const { return m_Device != kNoDevice; }
        DeviceHandle Device() const { return m_Device; }

      private:
        std::shared_lock<std::shared_mutex> m_Lock;
        DeviceHandle m_Device;
    };

    // What the system needs besides the device while the port is open (wake-up and close signals,
    // transfers in flight): posix/SystemPort.h, win32/SystemPort.h. Made by InstallDevice, dropped by
    // CloseDevice.
    struct SystemPort;
    struct SystemPortDelete {
        void operator()(SystemPort* system) const;
    };

    // Reads the line state afresh and extracts one setting: -1 when the port is closed or the read failed.
    template <typename Extract>
    int32_t GetLineSetting(Extract extract);
    // A setting the object keeps itself (no device access): 0 when the port is closed.
    template <typename Value>
    Value GetStoredSetting(const std::atomic<Value>& setting);
    // A plain-I/O port takes neither a completion object nor a finite time-out.
    bool RefusesCall(const SerialCompletion* completion, uint32_t timeout) const {
        return !m_Overlapped.load() && (completion != nullptr || timeout != INFINITE);
    }
    // Why a read or write cannot start (closed port, refused call, missing buffer), or nothing.
    // A read or write: the checks, the system's part (`move`), the count and the completion.
    template <typename Move>
    std::error_code Transfer(const void* buffer, uint32_t size, uint32_t* moved, SerialCompletion* completion,
                             uint32_t timeout, Move move);
    std::error_code CheckTransfer(const DeviceUse& use, const void* buffer, uint32_t size,
                                  const SerialCompletion* completion, uint32_t timeout) const;
    void CloseDevice();
    std::error_code InstallDevice(DeviceHandle device, bool overlapped);
    // Resets what an open starts afresh and makes the device the port's, last of all.
    void PublishDevice(DeviceHandle device, bool overlapped);
    // The system's part of SetupLine, SetHandshaking, SetEventChar, SetEventMask and SetReadTimeoutMode,
    // given checked arguments: nothing or the code of the failed call. ReadLine reads the line afresh.
    std::error_code ApplyLine(DeviceHandle device, int32_t baud, int32_t dataBits, int32_t parity,
                              int32_t stopBits);
    std::error_code ApplyFlowControl(DeviceHandle device, const serial_detail::FlowControl& flow);
    std::error_code ReadLine(DeviceHandle device, serial_detail::LineSettings& line);
    std::error_code WriteEventChar(DeviceHandle device, char eventChar);
    std::error_code ApplyEventMask(DeviceHandle device, uint32_t mask);
    // The system's part of a write or read: moves bytes until done, the time-out, a cancel or the close;
    // `done` counts what moved, also when the rest failed.
    std::error_code WriteToDevice(DeviceHandle device, const char* bytes, uint32_t length, uint32_t timeout,
                                  uint32_t& done);
    std::error_code ReadFromDevice(DeviceHandle device, char* bytes, uint32_t capacity, uint32_t timeout,
                                   uint32_t& done);
    std::error_code ApplyReadMode(DeviceHandle device, int32_t mode);
    std::error_code WaitLineEvents(DeviceHandle device, uint32_t timeout);
    uint32_t CollectDeviceEvents(DeviceHandle device);
    // Counts bytes that reached the driver: EV_RXCHAR when more arrived than the last look saw. The caller
    // holds m_RxMutex from reading the driver's count of waiting bytes to this call, so that no read takes
    // bytes in between.
    uint32_t CountArrivals(uint64_t waiting);
    void Wake() const;

    SharedErrorCode m_LastError;
    std::atomic<DeviceHandle> m_Handle{kNoDevice};
    std::atomic<uint32_t> m_Events{0};
    std::atomic<uint32_t> m_EventMask{0};
    std::atomic<bool> m_Overlapped{false};

    // Settings the program reads back without asking the device.
    std::atomic<char> m_EventChar{0};
    std::atomic<int32_t> m_ReadMode{ReadTimeoutNonblocking};
    std::atomic<uint32_t> m_Baud{9600};

    std::atomic<uint64_t> m_CancelSerial{0}; // counts CancelIo calls: a transfer compares it with its start
    std::atomic<uint64_t> m_MaskSerial{0};
    static constexpr uint64_t kNotArmed = ~uint64_t{0};
    std::atomic<uint64_t> m_ArmedSerial{kNotArmed};
    std::atomic<bool> m_TxPending{false};
    std::atomic<bool> m_HungUp{false};

    // Arrival accounting: bytes ever received = bytes taken by reads + bytes waiting. An event wait reports
    // EV_RXCHAR only when that sum grew, so a wake-up that brought nothing new posts nothing.
    std::mutex m_RxMutex;
    uint64_t m_BytesTaken = 0;
    uint64_t m_ArrivalsSeen = 0;

    std::mutex m_ErrorMutex;
    uint32_t m_PendingErrors = 0;

    std::unique_ptr<SystemPort, SystemPortDelete> m_System; // while open

    std::mutex m_OpenCloseMutex; // one open or close at a time
    std::shared_mutex m_IoLock;  // held shared by every device call, exclusively while closing
};

} // namespace brenwick::serial
