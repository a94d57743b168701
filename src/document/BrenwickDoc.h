#pragma once

#include "document/DocSnapshot.h"
#include "document/Link.h"
#include "document/PortSettings.h"
#include "document/Project.h"
#include "document/SettingsStore.h"

#include <cstdint>
#include <functional>
#include <string>

namespace brenwick {

// The one document of a front end: the project (the firmware file and its image), the port settings and the
// link to the device, each a part of its own. Front ends give it commands and read its snapshot; they never
// reach into the parts.
//
// Threads: the front end's thread calls everything here. The link's worker writes to the port; port
// notifications are read on the thread of the target given to Attach, which hands each back through
// OnPortMessage.
class CBrenwickDoc {
  public:
    CBrenwickDoc() = default;
    ~CBrenwickDoc() { Detach(); }
    CBrenwickDoc(const CBrenwickDoc&) = delete;
    CBrenwickDoc& operator=(const CBrenwickDoc&) = delete;

    // --- firmware image ---
    // Reads the file into the image and stamps it when a device has reported its geometry; non-zero on
    // success. Refused while a programming run uses the image.
    int LoadFirmware(const std::string& path);
    // Reads the current project file again (the Start button's precondition); non-zero when it loaded.
    int ReloadImage();
    // File New, and the first initialisation at start-up (which reloads the last project file).
    int OnNewDocument() { return m_Project.OnNewDocument(Layout()); }
    // File Open, a recent file, a dropped file or a file named on the command line.
    int OnOpenDocument(const std::string& path);
    // A file named at start-up takes the place of reloading the last one.
    void SkipFirstReload() { m_Project.SkipFirstReload(); }
    // Exports the stamped application area of the project file as a flat binary file. It reads the file into
    // an image of its own, so the document's image and the device's geometry stay as the next run needs them.
    MakeBinOutcome MakeBin(const std::string& outputPath) const { return m_Project.MakeBin(outputPath); }
    static std::string DefaultMakeBinPath() { return CProject::DefaultMakeBinPath(); }
    // True from the moment Program is posted until the worker has finished with it: the image must not
    // change.
    bool IsImageInUse() const { return m_Link.IsImageInUse(); }
    bool IsFileLoaded() const { return m_Project.IsLoaded(); }
    // The path of the current firmware file: set by a successful open, kept in the settings by the front end
    // (under "g_ProjectFilePath"), read again before every programming run.
    const std::string& ProjectFilePath() const { return m_Project.FilePath(); }
    void SetProjectFilePath(std::string path) { m_Project.SetFilePath(std::move(path)); }
    const LoadResult& LastLoadResult() const { return m_Project.LastLoadResult(); }
    // What may stop a load from a pipe or device, and how long one may wait for data.
    void SetReadLimits(ReadLimits limits) { m_Project.SetReadLimits(std::move(limits)); }
    const std::string& PathName() const { return m_Project.PathName(); }

    // --- settings ---
    int LoadSettings(ISettingsStore& store) { return m_Settings.LoadSettings(store); }
    // 1 when both values were written; each is written even when the other cannot be.
    int SaveSettings(ISettingsStore& store) { return m_Settings.SaveSettings(store); }
    // The port for the next Connect (the port setup dialog and the command line set these).
    void SetPortSettings(const std::string& portName, int baudIndex) { m_Settings.Set(portName, baudIndex); }
    std::string ActivePortName() const { return m_Settings.ActivePortName(); }
    int ComBaudrateIndex() const { return m_Settings.ComBaudrateIndex(); }

    // --- link ---
    // The front end's one wiring: port notifications go to `target`, which must hand each back to
    // OnPortMessage on its own thread. Before the worker starts.
    void Attach(serial::ISerialNotifyTarget* target) { m_Link.Attach(target); }
    void OnPortMessage(uint32_t message, uint32_t wParam, intptr_t lParam) {
        m_Link.OnPortMessage(message, wParam, lParam);
    }
    // Stops the worker, closes the port and forgets the target and the message callback: nothing reaches
    // the front end afterwards.
    void Detach();
    void StartWorker() { m_Link.StartWorker(); }
    void StopWorker() { m_Link.StopWorker(); }
    bool IsWorkerRunning() const { return m_Link.IsWorkerRunning(); }
    void PostCommand(WorkerCommand command) { m_Link.PostCommand(command); }
    // Ends a programming run between two messages, drops a Program that has not started, and waits (a short,
    // bounded time) until the worker has left the run. The board stays where the run stopped: the next run
    // starts again from Prepare. True when no run is left.
    bool StopRun() { return m_Link.StopRun(); }
    // Closes the port from the front end (the port setup command does so after posting Disconnect); safe
    // while the worker closes it too.
    void ClosePort() { m_Link.ClosePort(); }
    bool IsPortOpen() const { return m_Link.IsPortOpen(); }
    // The product-mismatch message; called on the worker thread, which waits until it returns.
    void SetMessageCallback(std::function<void(const std::string&)> callback) {
        m_Link.SetMessageCallback(std::move(callback));
    }
    // Everything a front end shows, taken together.
    DocSnapshot Snapshot() const;
    // The stamp of the image as the last reload for a device's geometry left it.
    StampFacts Stamp() const { return m_Project.Image().Stamped(); }
    // Bytes a run sends for the device's geometry.
    int32_t BytesToSend(int32_t bootLength, int32_t pageSize) const {
        return brenwick::BytesToSend(m_Project.Image().m_ImageLen, bootLength, pageSize);
    }

  private:
    FlashLayout Layout() const;

    CProject m_Project;
    CPortSettings m_Settings;
    CLink m_Link{m_Settings, m_Project.Image()}; // last: its worker uses the others until it stops
};

} // namespace brenwick
