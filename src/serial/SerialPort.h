#pragma once

#include "serial/SerialCompletion.h"
#include "serial/SerialTypes.h"

#if defined(_WIN32)
#include "base/win32/UniqueHandle.h"

#include <vector>
#else
#include "serial/posix/LineErrors.h"
#endif

#include <atomic>
#include <cstdint>
#include <mutex>
#include <shared_mutex>

namespace brenwick::serial {

// One serial device opened exclusively. Every operation returns an error code (0 = success) and leaves it
// in the object (GetLastError). Ports opened for overlapped I/O accept time-outs and completion objects;
// ports opened for plain I/O block without limit and refuse both.
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

    virtual int32_t OpenPort(const char* name, uint32_t inQueue, uint32_t outQueue, bool overlapped);
    virtual int32_t ClosePort();
    virtual int32_t SetupLine(int32_t baud, int32_t dataBits, int32_t parity, int32_t stopBits);
    virtual int32_t SetEventChar(char eventChar, bool adjustMask);
    virtual int32_t SetEventMask(uint32_t mask);
    virtual int32_t WaitEvent(SerialCompletion* completion, uint32_t timeout);
    virtual int32_t SetHandshaking(int32_t mode);
    virtual int32_t SetReadTimeoutMode(int32_t mode);
    virtual int32_t GetBaudRate();
    virtual int32_t GetDataBits();
    virtual int32_t GetParity();
    virtual int32_t GetStopBits();
    virtual int32_t GetHandshaking();
    virtual uint32_t GetEventMask();
    virtual char GetEventChar();
    virtual int32_t WriteString(const char* text, uint32_t* written, SerialCompletion* completion,
                                uint32_t timeout);
    virtual int32_t WriteBytes(const void* buffer, uint32_t length, uint32_t* written,
                               SerialCompletion* completion, uint32_t timeout);
    virtual int32_t ReadBytes(void* buffer, uint32_t capacity, uint32_t* read, SerialCompletion* completion,
                              uint32_t timeout);

    bool IsOpen() const { return m_Handle.load() != kNoDevice; }
    // Ends the reads and writes that wait for the line at this moment with ERROR_OPERATION_ABORTED; later
    // ones are not affected. Any thread.
    int32_t CancelIo();
    // True once a wait for line events has seen the line hung up (the device went away).
    bool HungUp() const { return m_HungUp.load(); }
    // The events of the latest completed wait that are in the mask; clears them.
    uint32_t GetEventType();
    // Code of the latest operation on any thread; callers use the returned codes.
    int32_t GetLastError() const { return m_LastError.load(); }

  protected:
    // Makes the next event wait end at once (without events) if the mask is set again between this call
    // and that wait: a mask change made just before the wait starts is not missed.
    void ArmEventWait() { m_ArmedSerial.store(m_MaskSerial.load()); }
    // Line-error (CE_) bits collected since the previous call; clears them.
    uint32_t TakeLineErrors();
    int32_t Finish(int32_t code) {
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
    // Why a read or write cannot start (closed port, refused call, missing buffer), or 0.
    int32_t CheckTransfer(const DeviceUse& use, const void* buffer, uint32_t size,
                          const SerialCompletion* completion, uint32_t timeout) const;
    void CloseDevice();
    int32_t InstallDevice(DeviceHandle device, bool overlapped);
    // Resets what an open starts afresh and makes the device the port's, last of all.
    void PublishDevice(DeviceHandle device, bool overlapped);
    // The system's part of SetEventChar, SetEventMask and SetReadTimeoutMode: 0 or the code of the failed
    // call.
    int32_t WriteEventChar(DeviceHandle device, char eventChar);
    int32_t ApplyEventMask(DeviceHandle device, uint32_t mask);
    // The system's part of a write or read: moves bytes until done, the time-out, a cancel or the close;
    // `done` counts what moved, also when the rest failed.
    int32_t WriteToDevice(DeviceHandle device, const char* bytes, uint32_t length, uint32_t timeout,
                          uint32_t& done);
    int32_t ReadFromDevice(DeviceHandle device, char* bytes, uint32_t capacity, uint32_t timeout,
                           uint32_t& done);
    int32_t ApplyReadMode(DeviceHandle device, int32_t mode);
    int32_t WaitLineEvents(DeviceHandle device, uint32_t timeout);
    uint32_t CollectDeviceEvents(DeviceHandle device);
    // Counts bytes that reached the driver: EV_RXCHAR when more arrived than the last look saw. The caller
    // holds m_RxMutex from reading the driver's count of waiting bytes to this call, so that no read takes
    // bytes in between.
    uint32_t CountArrivals(uint64_t waiting);
    void Wake() const;

    std::atomic<int32_t> m_LastError{0};
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

#if defined(_WIN32)
    int32_t RunTransfer(DeviceHandle device, bool write, void* buffer, uint32_t length, uint32_t timeout,
                        uint64_t startSerial, uint32_t& moved);
    int32_t WaitForDeviceEvents(DeviceHandle device, uint32_t timeoutMs, uint32_t& events);
    bool PauseForWake(uint32_t ms, uint64_t maskSerial, int32_t& rc);

    UniqueHandle m_CloseEvent;      // set while the port closes: every wait ends
    UniqueHandle m_WakeEvent;       // auto-reset: a mask change or a finished write
    std::mutex m_TransferMutex;     // reads and writes in flight, for CancelIo
    std::vector<void*> m_Transfers; // their OVERLAPPED structures
#else
    int DrainWaitMs(int fd);

    // Waiting for line events: an epoll set over the device, a wake-up counter (mask change, finished
    // write) and a close signal that also ends blocked reads and writes.
    int m_EpollFd = -1;
    int m_WakeFd = -1;
    int m_CloseFd = -1;
    int m_CancelFd = -1; // signalled by CancelIo
    serial_detail::ErrorCounters m_Counters;
    bool m_HasCounters = false;
#endif

    std::mutex m_OpenCloseMutex; // one open or close at a time
    std::shared_mutex m_IoLock;  // held shared by every device call, exclusively while closing
};

} // namespace brenwick::serial
