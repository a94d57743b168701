#pragma once

#include "document/BrenwickDoc.h"
#include "panel/PanelOutcome.h"
#include "panel/RecentFiles.h"

#include <functional>
#include <optional>
#include <string>

namespace brenwick::panel {

// The question before a run is cut short.
inline constexpr char kStopRunQuestion[] =
    "Programming is in progress. Stop it and leave the board unprogrammed?";

// What the panel's buttons and the commands around them do with the document and the lasting outcome, the
// same in every window front end. Each front end asks its question in its own box and shows the result.
class CPanelCommands {
  public:
    // `askStopRun`: shows kStopRunQuestion and answers true for yes; false also when the window is ending.
    CPanelCommands(CBrenwickDoc& doc, std::function<bool()> askStopRun)
        : m_Doc(doc), m_AskStopRun(std::move(askStopRun)) {}

    // Online clicked (the box has already changed its mark): connects or disconnects. False when the box must
    // stay ticked because the operator kept a run going.
    bool OnOnline();
    void OnStart();
    void OnMakeBin();
    // Before something that would cut a run short: while a run is changing the board, asks the operator, and
    // on yes stops the run cleanly. True when the action may go on.
    bool MayInterruptRun();
    // The operator did something that ends what the panel kept from the last action; `told`, when not empty,
    // is that action's own outcome for the outcome line.
    void NoteAction(const std::string& told = {});
    // What to show now. A run that has ended is added to the flash log; a record that cannot be written is
    // said on the outcome line.
    PanelView Tick(const DocSnapshot& doc);
    // Where each run is recorded (the user's default flash log unless set); "" keeps no record.
    void SetFlashLog(std::string path) { m_FlashLog = std::move(path); }
    const std::string& FlashLog() const { return m_FlashLog; }

  private:
    CBrenwickDoc& m_Doc;
    std::function<bool()> m_AskStopRun;
    CPanelOutcome m_Outcome;
    std::string m_FlashLog;
};

// What the device lines show on a tick: both lines, or nothing when they stay as they are.
struct DeviceLines {
    std::string identity;
    std::string geometry;
};
std::optional<DeviceLines> LinesToShow(const PanelView& view, const DocSnapshot& doc);
// The two lines of a typical board (a name of twenty characters, the usual 256 KiB of flash): a first window
// is made wide enough for them.
DeviceLines TypicalLines();

// File Open of a file by its absolute path, with the recent-file rules: a file that loads goes to the top of
// the list; one that does not is told, and a recent entry that does not load leaves the list.
struct OpenOutcome {
    bool loaded = false;
    bool nothingLoaded = false; // the document holds no file now: the title says "Untitled"
    bool recentChanged = false; // the list changed
    std::string told;           // for the outcome line; empty after a load
};
OpenOutcome OpenFirmware(CBrenwickDoc& doc, CRecentFiles& recent, const std::string& absolutePath);

// A path's last part, for the outcome line and the title.
std::string FileNameOf(const std::string& path);

} // namespace brenwick::panel
