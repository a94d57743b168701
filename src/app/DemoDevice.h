#pragma once

#include <QString>
#include <QTemporaryDir>
#include <memory>
#include <string>

namespace brenwick {
class CSimulatedDevice;
}

namespace brenwick::app {

// Demo mode: a simulated boot loader inside the program on a pseudo-terminal, and the example firmware, so
// that the panel can be tried without a board.
class CDemoDevice {
  public:
    CDemoDevice();
    ~CDemoDevice();
    CDemoDevice(const CDemoDevice&) = delete;
    CDemoDevice& operator=(const CDemoDevice&) = delete;

    // Starts the device; false with the reason in *error.
    bool Start(QString* error);
    std::string PortPath() const;

    // The example firmware: found beside the program or the build, or made into a temporary folder with the
    // project's script. Empty, with the reason in *error, when neither works.
    QString FindExampleFirmware(const QString& programFolder, QString* error);

  private:
    std::unique_ptr<CSimulatedDevice> m_Device;
    std::unique_ptr<QTemporaryDir> m_Made; // examples made for this run
};

} // namespace brenwick::app
