#pragma once

#include "serial/PortDiscovery.h"
#include "station/DeviceSession.h"

#include <chrono>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace brenwick::station {

struct StationOptions {
    std::string firmware; // the file flashed into every board
    int baudIndex = protocol::kDefaultBaudIndex;
    std::chrono::milliseconds timeout{5000}; // how long a device may take to answer or give its verdict
    std::string match;     // which devices are boards (see DeviceMatches); "" takes every device
    bool again = false;    // flash a board again that this station already flashed with this firmware
    bool autoStart = true; // start a board as soon as it appears; else it waits for Start(id)
};

// Where a board stands, as the front ends show it.
enum class BoardState { Waiting, Running, Passed, Failed, Skipped };

// One board the station knows of: one row of a front end.
struct BoardView {
    int id = 0;
    std::string port; // the path that is opened
    std::string name; // its stable name (the by-id link, or the COM name)
    std::string serialNumber;
    BoardState state = BoardState::Waiting;
    std::string status; // "Connecting", "Programming", then the result's text
    int percent = 0;
    std::string outcome; // once ended: why it failed, or what it did
    bool present = true; // false once the device has gone
};

// A board's run that has ended, with everything the flash log keeps of it.
struct BoardEnd {
    BoardView board;
    SessionResult result = SessionResult::Interrupted;
    DeviceInfo device;          // what the device reported of itself
    std::string firmware;       // the file's path
    std::string firmwareSha256; // of the file's bytes as they were when this board's programming began
    StampFacts stamp;
    int32_t bytesSent = 0;
    double seconds = 0;
};

// Boards' runs that ended, by how they ended.
struct BoardCounts {
    int passed = 0;
    int failed = 0;  // a stopped run counts as failed
    int skipped = 0; // identified and left as they were
    void Count(const BoardEnd& end);
};

// What the flash log keeps of a session that has ended (its board view holds the port and the result only).
BoardEnd SessionEnd(const CDeviceSession& session, const std::string& firmwareSha256);

// True when a device is one of the boards that `pattern` selects: shell-style wildcards (* and ?, any case)
// matched against the stable name (without its folder), the USB id ("0483:5740"), the product text or the
// device path. An empty pattern selects every device.
bool DeviceMatches(const std::string& pattern, const serial::SerialPortInfo& port);
bool WildcardMatch(std::string_view pattern, std::string_view text);

// A production bench: boards come and go, each one that matches is flashed with the same firmware by a run of
// its own, side by side with the others. A board whose serial number this station has already flashed with
// the same firmware is only identified and left as it is, unless `again` is set. The front end's thread
// calls everything: it hands over what the device watcher saw and calls Step about twenty times a second.
class CProductionStation {
  public:
    // Hashes the firmware file; given the path and sets the hex digest and false with a reason on failure.
    using FileHasher = std::function<bool(const std::string& path, std::string* hex, std::string* error)>;

    CProductionStation(StationOptions options, FileHasher hasher);
    ~CProductionStation();
    CProductionStation(const CProductionStation&) = delete;
    CProductionStation& operator=(const CProductionStation&) = delete;

    // A device appeared or went away. Devices that do not match are never opened.
    void OnAppeared(const serial::SerialPortInfo& port);
    void OnGone(const serial::SerialPortInfo& port);

    // Moves every running board on; returns the runs that ended in this step, in the order they ended.
    std::vector<BoardEnd> Step();
    // Starts a board that waits (auto start off, or one that ended and is still present); false when the
    // board is unknown or still running.
    bool Start(int id);
    // Stops every running board (each ends as interrupted); returns their ends.
    std::vector<BoardEnd> Interrupt();

    void SetAutoStart(bool on) { m_Options.autoStart = on; }
    bool AutoStart() const { return m_Options.autoStart; }
    const StationOptions& Options() const { return m_Options; }
    bool Running() const;
    // The boards present, and those gone whose run has not ended yet, in the order they came.
    std::vector<BoardView> Boards() const;

    // Since the station was made.
    int Passed() const { return m_Counts.passed; }
    int Failed() const { return m_Counts.failed; }
    int Skipped() const { return m_Counts.skipped; }

  private:
    struct Board;

    void StartBoard(Board& board);
    BoardEnd EndOf(Board& board);
    BoardView ViewOf(const Board& board) const;
    bool AlreadyFlashed(const DeviceInfo& device, Board& board);

    StationOptions m_Options;
    FileHasher m_Hasher;
    std::vector<std::unique_ptr<Board>> m_Boards;
    std::vector<BoardEnd> m_Pending; // ends that came without a step (a file that would not load)
    int m_NextId = 1;
    std::set<std::pair<std::string, std::string>> m_Flashed; // serial number and firmware digest
    BoardCounts m_Counts;
};

} // namespace brenwick::station
