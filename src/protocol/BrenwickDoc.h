#pragma once

#include "image/FirmwareImage.h"
#include "image/LoadResult.h"
#include "protocol/DocSnapshot.h"
#include "protocol/ProtocolTypes.h"
#include "protocol/SettingsStore.h"
#include "serial/NotifyTarget.h"
#include "serial/SerialWnd.h"
#include "serial/SyncEvent.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace brenwick {

// The path of the current firmware file: set by a successful open, kept in the settings by the front end,
// read again before every programming run.
extern std::string g_ProjectFilePath;

enum class MakeBinStatus { Written, NoFile, LoadFailed, WriteFailed };

struct MakeBinOutcome {
    MakeBinStatus status = MakeBinStatus::LoadFailed;
    LoadResult load;    // why the file did not load
    int errnoValue = 0; // why the output could not be written
    size_t bytes = 0;   // bytes written
};

// The one document: the firmware image, the link to the device and the port settings. The front end gives
// it a notification target (where port events are delivered: OnPortEvent must then be called on that
// target's thread), a settings store and a message callback, and reads its state.
class CBrenwickDoc {
  public:
    CBrenwickDoc();
    ~CBrenwickDoc();
    CBrenwickDoc(const CBrenwickDoc&) = delete;
    CBrenwickDoc& operator=(const CBrenwickDoc&) = delete;

    // --- firmware image (the front end's thread) ---
    // Reads the file into the image and stamps it when a device has reported its geometry; non-zero on
    // success. Refused while a programming run uses the image.
    int LoadFirmware(const std::string& path);
    // Reads the current project file again (the Start button's precondition); non-zero when it loaded.
    int ReloadImage();
    // File New, and the first initialisation at start-up (which reloads the last project file).
    int OnNewDocument();
    // File Open, a recent file, a dropped file or a file named on the command line.
    int OnOpenDocument(const std::string& path);
    // Exports the stamped application area of the project file as a flat binary file. It reads the file into
    // an image of its own, so the document's image and the device's geometry stay as the next run needs them.
    MakeBinOutcome MakeBin(const std::string& outputPath) const;
    MakeBinOutcome MakeBin() const { return MakeBin(DefaultMakeBinPath()); }
    static std::string DefaultMakeBinPath();
    // True from the moment Program is posted until the worker has finished with it: the image must not
    // change.
    bool IsImageInUse() const { return m_ImageInUse; }

    const LoadResult& LastLoadResult() const { return m_LastLoad; }
    // What may stop a load from a pipe or device, and how long one may wait for data.
    void SetReadLimits(ReadLimits limits) { m_ReadLimits = std::move(limits); }
    const std::string& PathName() const { return m_PathName; }
    bool IsModified() const { return m_Modified; }

    // --- settings ---
    int LoadSettings(ISettingsStore& store);
    // 1 when both values were written; each is written even when the other cannot be.
    int SaveSettings(ISettingsStore& store);
    void OnCloseDocument(ISettingsStore& store) { SaveSettings(store); }
    // The port for the next Connect (the port setup dialog and the command line set these).
    void SetPortSettings(const std::string& portName, int baudIndex);
    std::string ActivePortName() const;
    int ComBaudrateIndex() const;

    // --- link ---
    void StartWorker();
    void StopWorker();
    void PostCommand(WorkerCommand command);
    // Ends a programming run between two messages, drops a Program that has not started, and waits (a short,
    // bounded time) until the worker has left the run. The board stays where the run stopped: the next run
    // starts again from Prepare. True when no run is left.
    bool StopRun();
    // A port notification (message 1044), on the notification target's thread.
    void OnPortEvent(uint32_t eventCode, intptr_t lParam);
    int32_t GetProgress() const;
    // Everything a front end shows, taken together.
    DocSnapshot Snapshot() const;
    // Bytes a sequence sends for the device's geometry: whole pages from the end of the boot area up to
    // and including the byte sum behind the image.
    int32_t BytesToSend(int32_t bootLength, int32_t pageSize) const;
    // Closes the port from the front end (the port setup command does so after posting Disconnect); safe
    // while the worker closes it too.
    void ClosePort();
    // The product-mismatch message; called on the worker thread, which waits until it returns.
    void SetMessageCallback(std::function<void(const std::string&)> callback) {
        m_ShowMessage = std::move(callback);
    }
    // Why the last Connect failed: none, a system error or a code of the serial layer (DescribePortError).
    std::error_code LastOpenError() const { return m_LastOpenError; }
    SequenceResult LastSequenceResult() const { return m_LastSequence; }
    std::string TargetName() const;
    std::string SerialNumber() const;
    std::array<uint8_t, 4> ProductIdBytes() const;

    // --- fields ---
    CFirmwareImage m_Firmware; // m_Image, m_ImageLen, m_FlashBase, m_InfoOffset
    int m_FileLoaded = 0;
    std::atomic<int32_t> m_OnLine{0};
    std::atomic<LinkState> m_LinkState{LinkState::OffLine};
    serial::ISerialNotifyTarget* m_hNotifyWnd = nullptr; // set before the worker starts
    serial::CSerialWnd m_Port;
    std::atomic<uint16_t> m_BootRev{0};
    std::atomic<uint16_t> m_FlashRev{0};
    std::atomic<uint16_t> m_AuxWord{0};
    std::atomic<int32_t> m_BootLength{0};
    std::atomic<int32_t> m_PageSize{0};
    std::atomic<int32_t> m_FlashSize{0};
    int m_FirstNewDoc = 1;
    std::atomic<int32_t> m_ProductIdPending{1};
    std::atomic<int32_t> m_WorkerRunning{0};
    std::atomic<int32_t> m_RxActive{0};
    std::atomic<int32_t> m_RxState{0};
    std::atomic<WorkerCommand> m_Command{WorkerCommand::None};
    std::atomic<WorkerCommand> m_RunningCommand{
        WorkerCommand::None}; // the command the worker carries out now
    int32_t m_RxExpected = 0;
    int32_t m_RxCount = 0;
    std::atomic<int32_t> m_BytesSent{0};
    std::atomic<int32_t> m_RxIdleCount{0};
    std::atomic<uint32_t> m_ProductId{protocol::kDefaultProductId}; // byte k in bits 8k..8k+7

  private:
    // The test rigs drive the worker's steps and the receiver by hand.
    friend class CDocAccess;

    // Worker thread only.
    bool SendAndWait(const uint8_t* message);
    void OpenLink();
    bool Handshake();
    bool PollStatus();
    bool ProgramDevice();

    // Receiver, on the notification target's thread.
    void FeedByte(uint8_t b);
    void HandleMessage(const uint8_t* message);
    void Release();

    int StampImage();
    void WorkerLoop();
    void IdleWork();
    void RunCommand(WorkerCommand command);
    bool Stopping() const { return m_StopRequested; }
    bool RunStopping() const { return m_StopRequested || m_RunStopRequested; }
    // Waits up to timeoutMs, ending early when the worker or the run is told to stop; false when stopped.
    bool PauseUnlessStopped(uint32_t timeoutMs);
    // Cancels the port's writes until `done` is set, for at most limitMs; false when the limit ran out.
    bool CancelWritesUntil(serial::CSyncEvent& done, uint32_t limitMs);
    // A run starts or ends: a stop asked of an earlier run no longer counts (the command lock is held).
    void ClearRunStopLocked();
    bool SendStep(RunStep step, int32_t page, bool sent);
    bool SendProgramControl(ProgramPhase phase);
    bool SendPage(int32_t offset, int32_t pageSize);
    bool SendPages(int32_t bootLength, int32_t pageSize);
    void SetBytesSent(int32_t sent);
    // Why a sequence must not start (nothing is sent then), or nothing.
    std::optional<SequenceResult> RefusedSequence(int32_t bootLength, int32_t pageSize);
    SequenceResult RunSequence(int32_t bootLength, int32_t pageSize);
    void SetText(std::string& field, const uint8_t* text, int length);
    void ActOnControlItem(const uint8_t* message, int length);

    LoadResult m_LastLoad;
    ReadLimits m_ReadLimits;
    std::string m_PathName; // the document's title and recent-file entry
    bool m_Modified = false;
    std::mutex m_CommandLock; // the command slot, the running command and the image-in-use flag move together
    std::atomic<bool> m_ImageInUse{false};
    std::atomic<int32_t> m_LineBaud{0};          // the rate the port was set up with: it bounds every write
    std::atomic<bool> m_LinkLost{false};         // a send found the line hung up: the device went away
    std::atomic<bool> m_StopRequested{false};    // StopWorker ends handshakes and sequences between messages
    std::atomic<bool> m_RunStopRequested{false}; // StopRun ends the running sequence between messages
    std::atomic<bool> m_RunActive{false};        // Prepare went out and the run has not ended
    std::atomic<bool> m_Released{false};         // the message in flight was released by the device
    std::atomic<SendFailure> m_LastSendFailure{SendFailure::None};
    std::atomic<uint8_t> m_LastRefusal{0};        // the result of a refusal of the message in flight
    std::atomic<uint16_t> m_UnansweredRequest{0}; // its item code, 0 for none

    mutable std::mutex m_SettingsLock; // the port settings, read by the worker at Connect
    std::string m_ActivePortName;
    int m_ComBaudrateIndex = 0;

    mutable std::mutex m_TextLock; // device texts, written by the receiver, read by any front end
    std::string m_TargetName;
    std::string m_SerialNumber;

    mutable std::mutex m_ProgressLock; // bytes sent and bytes to send change together
    int32_t m_BytesToSend = 0;

    std::function<void(const std::string&)> m_ShowMessage;
    serial::SharedErrorCode m_LastOpenError;
    std::atomic<SequenceResult> m_LastSequence{SequenceResult::NotRun};
    mutable std::mutex m_FailureLock;
    RunFailure m_RunFailure;

    serial::CSyncEvent m_hCommandEvent{false};
    serial::CSyncEvent m_hResponseEvent{false};
    serial::CSyncEvent m_StopEvent{true}; // wakes the sequence's pauses when the worker stops
    serial::CSyncEvent m_WorkerExited{true};
    serial::CSyncEvent m_RunEnded{true}; // set while no Program command is being carried out
    std::mutex m_PortLock;               // the receiver's reads; a write waits for the line without it
    std::mutex m_CloseLock;              // one close at a time, from the worker or the front end
    uint8_t m_RxBuffer[protocol::kRxBufferSize] = {};
    uint8_t m_TxBuffer[protocol::kTxBufferSize] = {};
    std::thread m_pWorkerThread;
};

} // namespace brenwick
