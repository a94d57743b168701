#include "app/DemoBoards.h"

#include "devsim/SimulatedDevice.h"

#include <QTimer>
#include <cstdio>

namespace brenwick::app {

namespace {

constexpr int kPlugIntervalMs = 1000;

// Tells the ports as appeared, one per tick.
class CPluggingFeed : public CDeviceFeed {
  public:
    explicit CPluggingFeed(std::vector<serial::SerialPortInfo> ports) : m_Ports(std::move(ports)) {
        m_Timer.setInterval(kPlugIntervalMs);
        connect(&m_Timer, &QTimer::timeout, this, [this] {
            if (m_Next < m_Ports.size()) {
                Tell({true, m_Ports[m_Next++]});
            }
            if (m_Next == m_Ports.size()) {
                m_Timer.stop();
            }
        });
        m_Timer.start();
    }

  private:
    std::vector<serial::SerialPortInfo> m_Ports;
    size_t m_Next = 0;
    QTimer m_Timer;
};

} // namespace

CDemoBoards::CDemoBoards() = default;
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
    return true;
}

std::unique_ptr<CDeviceFeed> CDemoBoards::MakeFeed() const {
    std::vector<serial::SerialPortInfo> ports;
    for (const auto& board : m_Boards) {
        serial::SerialPortInfo port;
        port.path = board->PortPath();
        port.product = "Brenwick Demo Board";
        ports.push_back(std::move(port));
    }
    return std::make_unique<CPluggingFeed>(std::move(ports));
}

} // namespace brenwick::app
