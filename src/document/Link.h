#pragma once

#include "document/DocSnapshot.h"
#include "document/PortSettings.h"
#include "image/FirmwareImage.h"
#include "protocol/DeviceRecord.h"
#include "protocol/MessageAssembler.h"
#include "protocol/ProgrammingSequence.h"
#include "serial/NotifyTarget.h"
#include "serial/SerialCompletion.h"
#include "serial/SerialWnd.h"
#include "serial/SyncEvent.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace brenwick {

// The link to the device. A worker thread owns the writing side: it opens and closes the port on command,
// keeps the link alive with the identification handshake and a status poll whenever it has been idle for half
// a second, and runs the programming sequence. The reading side runs on the thread of the notification
// target: each port notification it hands back reads the bytes, puts the replies together and releases the
// message the worker waits for.
class CLink : private IMessageTransport {
  public:
    // The port named by `settings` at each Connect; runs send `image`. Both outlive the link.
    CLink(const CPortSettings& settings, const CFirmwareImage& image);
    ~CLink() override;
    CLink(const CLink&) = delete;
    CLink& operator=(const CLink&) = delete;

    // Where port notifications go. The target hands each back to OnPortMessage on its own thread. Set before
    // the worker starts; nullptr once it has stopped.
    void Attach(serial::ISerialNotifyTarget* target) { m_Target = target; }
    // A message the notification target received: a port notification makes the link read the line.
    void OnPortMessage(uint32_t message, uint32_t wParam, intptr_t lParam);
    // The product-mismatch message; called on the worker thread, which waits until it returns.
    void SetMessageCallback(std::function<void(const std::string&)> callback) {
        m_ShowMessage = std::move(callback);
    }

    void StartWorker();
    void StopWorker();
    bool IsWorkerRunning() const { return m_WorkerRunning; }
    void PostCommand(WorkerCommand command);
    // Ends a programming run between two messages, drops a Program that has not started, and waits (a short,
    // bounded time) until the worker has left the run. True when no run is left.
    bool StopRun();
    // Safe while the worker closes the port too.
    void ClosePort();
    bool IsPortOpen() const { return m_Port.IsOpen(); }
    // From the moment Program is posted until the worker has finished with it: the image must not change.
    bool IsImageInUse() const { return m_ImageInUse; }
    DeviceInfo Device() const { return m_Device.Info(); }
    // The link's part of what a front end shows.
    void Fill(DocSnapshot& s) const;

    // The worker's own steps, public for a test that plays the worker on its own thread while none runs.
    void OpenLink();
    SendOutcome SendAndWait(const uint8_t* message) override;

  private:
    void WorkerLoop();
    void IdleWork();
    void RunCommand(WorkerCommand command);
    bool Handshake();
    bool PollStatus();
    bool Request(ControlItemCode code, int parameter);
    bool ProgramDevice();
    void Act(const ReplyEffect& effect);

    bool Stopping() const { return m_StopRequested; }
    bool RunStopping() const override { return m_StopRequested || m_RunStopRequested; }
    bool PauseUnlessStopped(uint32_t timeoutMs) override;
    void OnBytesSent(int32_t sent) override;
    void OnBoardChanging() override { m_RunActive = true; }
    // Cancels the port's writes until `done` is set, for at most limitMs; false when the limit ran out.
    bool CancelWritesUntil(serial::CSyncEvent& done, uint32_t limitMs);
    // A run starts or ends: a stop asked of an earlier run no longer counts (the command lock is held).
    void ClearRunStopLocked();

    const CPortSettings& m_Settings;
    const CFirmwareImage& m_Image;
    serial::ISerialNotifyTarget* m_Target = nullptr;
    std::function<void(const std::string&)> m_ShowMessage;
    serial::CSerialWnd m_Port;

    std::mutex m_RxLock; // the reading side: the port's reads and the assembler
    CMessageAssembler m_Assembler;
    CDeviceRecord m_Device;

    std::atomic<bool> m_OnLine{false};
    std::atomic<LinkState> m_LinkState{LinkState::OffLine};
    std::atomic<bool> m_WorkerRunning{false};
    std::mutex m_CommandLock; // the command slot, the running command and the image-in-use flag move together
    std::atomic<WorkerCommand> m_Command{WorkerCommand::None};
    std::atomic<WorkerCommand> m_RunningCommand{WorkerCommand::None};
    std::atomic<bool> m_ImageInUse{false};
    std::atomic<bool> m_StopRequested{false};     // StopWorker ends handshakes and sequences between messages
    std::atomic<bool> m_RunStopRequested{false};  // StopRun ends the running sequence between messages
    std::atomic<bool> m_RunActive{false};         // Prepare went out and the run has not ended
    std::atomic<bool> m_Released{false};          // the message in flight was released by the device
    std::atomic<uint8_t> m_LastRefusal{0};        // the result of a refusal of the message in flight
    std::atomic<uint16_t> m_UnansweredRequest{0}; // its item code, 0 for none
    std::atomic<int32_t> m_LineBaud{0};           // the rate the port was set up with: it bounds every write
    serial::SharedErrorCode m_LastOpenError;
    std::atomic<SequenceResult> m_LastSequence{SequenceResult::NotRun};

    mutable std::mutex m_RunLock; // bytes sent, bytes to send and the failure of a run change together
    int32_t m_BytesSent = 0;
    int32_t m_BytesToSend = 0;
    RunFailure m_RunFailure;

    serial::CSyncEvent m_hCommandEvent{false};
    serial::CSyncEvent m_hResponseEvent{false};
    serial::CSyncEvent m_StopEvent{true}; // wakes the sequence's pauses when the worker or the run stops
    serial::CSyncEvent m_WorkerExited{true};
    serial::CSyncEvent m_RunEnded{true}; // set while no Program command is being carried out
    std::mutex m_CloseLock;              // one close at a time, from the worker or the front end
    std::thread m_pWorkerThread;
};

} // namespace brenwick
