#include "app/DemoBoards.h"

#include "devsim/SimulatedDevice.h"

#include <cstdio>
#include <filesystem>

namespace brenwick::app {

namespace {

constexpr int kPlugIntervalMs = 1000;

} // namespace

CDemoBoards::CDemoBoards() {
    m_Plug.setInterval(kPlugIntervalMs);
    QObject::connect(&m_Plug, &QTimer::timeout, [this] { PlugNext(); });
}
CDemoBoards::~CDemoBoards() = default;

DeviceSimOptions CDemoBoards::OptionsFor(int k) {
    DeviceSimOptions options;
    options.name = "Brenwick Demo Board";
    char serial[16];
    std::snprintf(serial, sizeof serial, "SIM%06d", k);
    options.serial = serial;
    options.bootRev = 125;
    // Paced like real lines of different speeds, so that the boards are seen at different stages.
    constexpr int kBauds[] = {115200, 57600, 230400, 38400};
    options.baud = kBauds[static_cast<size_t>(k - 1) % std::size(kBauds)];
    if (k % 3 == 0) {
        options.nakPage = 7; // a board with a bad flash page
    }
    return options;
}

bool CDemoBoards::Start(int count, QString* error) {
    if (!m_Folder.isValid()) {
        *error = QStringLiteral("no folder for the simulated boards: %1").arg(m_Folder.errorString());
        return false;
    }
    m_FolderPath = m_Folder.path();
    for (int k = 1; k <= count; ++k) {
        auto board = std::make_unique<CSimulatedDevice>(OptionsFor(k));
        std::string why;
        if (!board->Start(&why)) {
            *error = QStringLiteral("simulated board %1 did not start: %2")
                         .arg(k)
                         .arg(QString::fromStdString(why));
            m_Boards.clear();
            return false;
        }
        m_Boards.push_back(std::move(board));
    }
    PlugNext();
    m_Plug.start();
    return true;
}

void CDemoBoards::PlugNext() {
    if (m_Plugged >= m_Boards.size()) {
        m_Plug.stop();
        return;
    }
    const CSimulatedDevice& board = *m_Boards[m_Plugged];
    ++m_Plugged;
    // Named as udev names a USB serial device's link.
    const std::string name =
        "usb-Veltmark_Brenwick_Demo_Board_" + OptionsFor(static_cast<int>(m_Plugged)).serial + "-if00";
    std::error_code ignored;
    std::filesystem::create_symlink(board.PortPath(),
                                    std::filesystem::path(m_FolderPath.toStdString()) / name,
                                    ignored); // a board that cannot be plugged in is simply not seen
}

std::unique_ptr<CDeviceFeed> CDemoBoards::MakeFeed() const {
    return MakeWatcherFeed(m_FolderPath.toStdString());
}

} // namespace brenwick::app
