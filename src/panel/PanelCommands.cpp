#include "panel/PanelCommands.h"

#include "base/Utf8Path.h"
#include "image/AtomicFile.h"
#include "panel/PanelState.h"
#include "station/BoardRecord.h"
#include "station/FlashLog.h"
#include "station/Sha256.h"

#include <algorithm>

namespace brenwick::panel {

PanelView CPanelCommands::Tick(const DocSnapshot& doc) {
    PanelView view = m_Outcome.Tick(doc, CPanelOutcome::Clock::now());
    const std::optional<RunEnd> run = m_Outcome.TakeRunEnd();
    if (!run || m_FlashLog.empty()) {
        return view;
    }
    station::BoardEnd end;
    end.result = run->result;
    end.device = doc.device;
    end.firmware = run->file;
    std::string error;
    if (!station::Sha256OfFile(run->file, &end.firmwareSha256, &error)) {
        end.firmwareSha256.clear();
    }
    end.stamp = m_Doc.Stamp();
    end.bytesSent = run->bytesSent;
    end.seconds = run->seconds;
    end.board.port = m_Doc.ActivePortName();
    end.board.serialNumber = doc.device.serialNumber;
    end.board.state = run->result == station::SessionResult::Succeeded ? station::BoardState::Passed
                                                                       : station::BoardState::Failed;
    end.board.outcome = run->reason;
    if (!station::AppendFlashRecord(m_FlashLog, station::RecordOf(end), &error)) {
        view.detail += " (not recorded in the flash log " + m_FlashLog + ": " + error + ")";
        m_Outcome.Tell(view.detail);
    }
    return view;
}

bool CPanelCommands::OnOnline() {
    // The port decides, not the box.
    if (m_Doc.IsPortOpen()) {
        if (!MayInterruptRun()) {
            return false; // still on line, the run goes on
        }
        m_Outcome.OnAction();
        m_Doc.PostCommand(WorkerCommand::Disconnect);
    } else {
        m_Outcome.OnConnect(m_Doc.ActivePortName());
        m_Doc.PostCommand(WorkerCommand::Connect);
    }
    return true;
}

void CPanelCommands::OnStart() {
    if (!m_Doc.IsFileLoaded()) {
        NoteAction("no firmware file is loaded: open one with File > Open");
        return;
    }
    if (m_Doc.ReloadImage() == 0) {
        NoteAction(FileNameOf(m_Doc.ProjectFilePath()) + ": " + m_Doc.LastLoadResult().Describe());
        return;
    }
    m_Doc.PostCommand(WorkerCommand::Program);
    m_Outcome.OnStart(m_Doc.ProjectFilePath(), CPanelOutcome::Clock::now());
}

void CPanelCommands::OnMakeBin() {
    const std::string output = CBrenwickDoc::DefaultMakeBinPath();
    const MakeBinOutcome made = m_Doc.MakeBin(output);
    switch (made.status) {
    case MakeBinStatus::Written:
        NoteAction("Make Bin: wrote " + output + " (" + std::to_string(made.bytes) + " bytes)");
        break;
    case MakeBinStatus::NoFile:
        NoteAction("Make Bin: no firmware file is loaded: open one with File > Open");
        break;
    case MakeBinStatus::LoadFailed:
        NoteAction("Make Bin: nothing written: " + FileNameOf(m_Doc.ProjectFilePath()) + ": " +
                   made.load.Describe());
        break;
    case MakeBinStatus::WriteFailed:
        NoteAction("Make Bin: nothing written: " + output + ": " + WriteErrorText(made.errnoValue));
        break;
    }
}

bool CPanelCommands::MayInterruptRun() {
    // Before Prepare nothing has reached the board: there is nothing to lose.
    if (!m_Doc.Snapshot().runActive) {
        return true;
    }
    if (!m_AskStopRun()) {
        return false;
    }
    m_Doc.StopRun();
    return true;
}

void CPanelCommands::NoteAction(const std::string& told) {
    m_Outcome.OnAction();
    m_Outcome.Tell(told);
}

std::optional<DeviceLines> LinesToShow(const PanelView& view, const DocSnapshot& doc) {
    switch (view.lines) {
    case StatePaint::Lines::Device:
        return DeviceLines{IdentityText(doc.device.targetName, doc.device.flashRev, doc.device.bootRev),
                           GeometryText(doc.device.serialNumber, doc.device.flashSize, doc.device.pageSize,
                                        doc.device.bootLength)};
    case StatePaint::Lines::Cleared:
        return DeviceLines{};
    case StatePaint::Lines::Unchanged:
        break;
    }
    return std::nullopt;
}

DeviceLines TypicalLines() {
    return {IdentityText("Veltmark Board XT-20", 125, 120), GeometryText("BOARD-000001", 262144, 256, 16384)};
}

OpenOutcome OpenFirmware(CBrenwickDoc& doc, CRecentFiles& recent, const std::string& absolutePath) {
    OpenOutcome outcome;
    const bool wasRecent = recent.Contains(absolutePath);
    if (doc.OnOpenDocument(absolutePath) != 0) {
        recent.Add(absolutePath);
        outcome.loaded = true;
        outcome.recentChanged = true;
        return outcome;
    }
    const LoadResult& why = doc.LastLoadResult();
    outcome.told = FileNameOf(absolutePath) + ": " + why.Describe();
    if (why.error == LoadError::ImageInUse) {
        return outcome; // the loaded file stays
    }
    outcome.nothingLoaded = true;
    outcome.told += "; no firmware file is loaded";
    if (wasRecent) {
        recent.Remove(absolutePath);
        outcome.recentChanged = true;
        outcome.told =
            "recent file " + absolutePath + ": " + why.Describe() + "; removed from the recent files";
    }
    return outcome;
}

std::string FileNameOf(const std::string& path) {
    return Utf8FromPath(PathFromUtf8(path).filename());
}

} // namespace brenwick::panel
