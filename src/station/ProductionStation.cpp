#include "station/ProductionStation.h"

#include <algorithm>
#include <cctype>
#include <thread>

namespace brenwick::station {

struct CProductionStation::Board {
    int id = 0;
    serial::SerialPortInfo port;
    bool present = true;
    BoardState state = BoardState::Waiting;
    std::unique_ptr<CDeviceSession> session;
    std::string serialNumber;
    std::string status;
    std::string outcome;
    int percent = 0;
    std::string sha256; // taken when the device has identified itself, just before it is programmed

    std::string Path() const { return port.path.empty() ? port.byId : port.path; }
    std::string Name() const { return port.byId.empty() ? port.path : port.byId; }
};

namespace {

char Folded(char c) {
    return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

std::string_view BaseName(std::string_view path) {
    const size_t slash = path.find_last_of("/\\");
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

} // namespace

bool WildcardMatch(std::string_view pattern, std::string_view text) {
    // Greedy with one point to go back to: the last '*' and where in the text it stood.
    size_t p = 0;
    size_t t = 0;
    size_t star = std::string_view::npos;
    size_t resume = 0;
    while (t < text.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            resume = t;
        } else if (p < pattern.size() && (pattern[p] == '?' || Folded(pattern[p]) == Folded(text[t]))) {
            ++p;
            ++t;
        } else if (star != std::string_view::npos) {
            p = star + 1;
            t = ++resume;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') {
        ++p;
    }
    return p == pattern.size();
}

bool DeviceMatches(const std::string& pattern, const serial::SerialPortInfo& port) {
    if (pattern.empty()) {
        return true;
    }
    const std::string_view names[] = {BaseName(port.byId), port.usbId, port.product, port.path};
    return std::any_of(std::begin(names), std::end(names),
                       [&](std::string_view name) { return !name.empty() && WildcardMatch(pattern, name); });
}

BoardEnd SessionEnd(const CDeviceSession& session, const std::string& firmwareSha256) {
    BoardEnd end;
    end.result = session.Result();
    end.device = session.Facts().device;
    end.firmware = session.File();
    end.firmwareSha256 = firmwareSha256;
    end.stamp = session.Stamp();
    end.bytesSent = session.BytesSent();
    end.seconds = session.TotalSeconds();
    end.board.port = session.Port();
    end.board.name = session.Port();
    end.board.serialNumber = end.device.serialNumber;
    end.board.percent = session.Percent();
    end.board.status = ResultText(session.Result());
    end.board.outcome = session.Message();
    end.board.state = session.Skipped()                              ? BoardState::Skipped
                      : session.Result() == SessionResult::Succeeded ? BoardState::Passed
                                                                     : BoardState::Failed;
    return end;
}

CProductionStation::CProductionStation(StationOptions options, FileHasher hasher)
    : m_Options(std::move(options)), m_Hasher(std::move(hasher)) {}

CProductionStation::~CProductionStation() {
    Interrupt();
}

void CProductionStation::OnAppeared(const serial::SerialPortInfo& port) {
    if (!DeviceMatches(m_Options.match, port)) {
        return;
    }
    auto board = std::make_unique<Board>();
    board->port = port;
    const bool known = std::any_of(m_Boards.begin(), m_Boards.end(), [&](const auto& other) {
        return other->present && other->Name() == board->Name();
    });
    if (known) {
        return;
    }
    board->id = m_NextId++;
    board->status = "Waiting";
    if (m_Options.autoStart) {
        StartBoard(*board);
    }
    m_Boards.push_back(std::move(board));
}

void CProductionStation::OnGone(const serial::SerialPortInfo& port) {
    const std::string name = port.byId.empty() ? port.path : port.byId;
    for (auto& board : m_Boards) {
        if (board->present && board->Name() == name) {
            // A run in progress finds out on its own: the line hangs up and the run fails.
            board->present = false;
        }
    }
    std::erase_if(m_Boards,
                  [](const auto& board) { return !board->present && board->state != BoardState::Running; });
}

void CProductionStation::StartBoard(Board& board) {
    board.session = std::make_unique<CDeviceSession>(board.Path(), m_Options.baudIndex, m_Options.timeout);
    board.state = BoardState::Running;
    board.outcome.clear();
    board.serialNumber.clear();
    board.sha256.clear();
    board.percent = 0;
    if (!board.session->OpenFile(m_Options.firmware)) {
        board.status = ResultText(SessionResult::LoadFailed);
        board.outcome = m_Options.firmware + ": " + board.session->Message();
        board.state = BoardState::Failed;
        BoardEnd end;
        end.board = ViewOf(board);
        end.result = SessionResult::LoadFailed;
        end.firmware = m_Options.firmware;
        m_Counts.Count(end);
        m_Pending.push_back(std::move(end));
        board.session.reset();
        return;
    }
    board.session->SetProgramFilter(
        [this, &board](const DeviceInfo& device) { return !AlreadyFlashed(device, board); });
    board.session->Start(true);
}

bool CProductionStation::AlreadyFlashed(const DeviceInfo& device, Board& board) {
    std::string error;
    if (m_Hasher && !m_Hasher(m_Options.firmware, &board.sha256, &error)) {
        board.sha256.clear(); // the run reads the file again and says what is wrong with it
    }
    return !m_Options.again && !device.serialNumber.empty() && !board.sha256.empty() &&
           m_Flashed.count({device.serialNumber, board.sha256}) != 0;
}

bool CProductionStation::Start(int id) {
    for (auto& board : m_Boards) {
        if (board->id == id && board->present && board->state != BoardState::Running) {
            StartBoard(*board);
            return true;
        }
    }
    return false;
}

std::vector<BoardEnd> CProductionStation::Step() {
    std::vector<BoardEnd> ended = std::move(m_Pending);
    m_Pending.clear();
    for (auto& board : m_Boards) {
        if (board->state != BoardState::Running || !board->session) {
            continue;
        }
        const bool done = board->session->Step();
        const std::string serial = board->session->Facts().device.serialNumber;
        if (!serial.empty()) {
            board->serialNumber = serial;
        }
        board->percent = board->session->Percent();
        board->status = PhaseText(*board->session);
        if (done) {
            ended.push_back(EndOf(*board));
        }
    }
    std::erase_if(m_Boards,
                  [](const auto& board) { return !board->present && board->state != BoardState::Running; });
    return ended;
}

std::vector<BoardEnd> CProductionStation::Interrupt() {
    std::vector<BoardEnd> ended = std::move(m_Pending);
    m_Pending.clear();
    {
        // Each stop waits for its worker to reach a point between messages: stop them side by side.
        std::vector<std::jthread> stoppers;
        for (auto& board : m_Boards) {
            if (board->state == BoardState::Running && board->session) {
                stoppers.emplace_back([session = board->session.get()] { session->Interrupt(); });
            }
        }
    }
    for (auto& board : m_Boards) {
        if (board->state == BoardState::Running && board->session) {
            board->status = PhaseText(*board->session);
            ended.push_back(EndOf(*board));
        }
    }
    return ended;
}

BoardEnd CProductionStation::EndOf(Board& board) {
    CDeviceSession& session = *board.session;
    session.Interrupt(); // the run has ended: the worker stops and the port is let go for the next board
    BoardEnd end = SessionEnd(session, board.sha256);
    end.firmware = m_Options.firmware;
    board.percent = end.board.percent;
    board.status = session.Skipped() ? "Skipped" : end.board.status;
    board.outcome = end.board.outcome;
    board.state = end.board.state;
    if (!end.device.serialNumber.empty()) {
        board.serialNumber = end.device.serialNumber;
    }
    if (board.state == BoardState::Passed && !end.device.serialNumber.empty() && !board.sha256.empty()) {
        m_Flashed.insert({end.device.serialNumber, board.sha256});
    }
    end.board = ViewOf(board);
    board.session.reset();
    m_Counts.Count(end);
    return end;
}

void BoardCounts::Count(const BoardEnd& end) {
    switch (end.board.state) {
    case BoardState::Passed:
        ++passed;
        break;
    case BoardState::Skipped:
        ++skipped;
        break;
    default:
        ++failed;
        break;
    }
}

BoardView CProductionStation::ViewOf(const Board& board) const {
    BoardView view;
    view.id = board.id;
    view.port = board.Path();
    view.name = board.Name();
    view.serialNumber = board.serialNumber;
    view.state = board.state;
    view.status = board.status;
    view.percent = board.percent;
    view.outcome = board.outcome;
    view.present = board.present;
    return view;
}

bool CProductionStation::Running() const {
    return std::any_of(m_Boards.begin(), m_Boards.end(),
                       [](const auto& board) { return board->state == BoardState::Running; });
}

std::vector<BoardView> CProductionStation::Boards() const {
    std::vector<BoardView> views;
    for (const auto& board : m_Boards) {
        views.push_back(ViewOf(*board));
    }
    return views;
}

} // namespace brenwick::station
