#include "app/DemoDevice.h"

#include "devsim/SimulatedDevice.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>

namespace brenwick::app {

namespace {

const QString kExample = QStringLiteral("sam7-example.hex");
constexpr int kMakeTimeoutMs = 60000;
constexpr int kDemoBaud = 115200; // paced like a real line, so that the progress can be watched

} // namespace

CDemoDevice::CDemoDevice() = default;
CDemoDevice::~CDemoDevice() = default;

bool CDemoDevice::Start(QString* error) {
    DeviceSimOptions options;
    options.name = "Brenwick Demo Board";
    options.serial = "DEMO0001";
    options.bootRev = 125;
    options.flashRev = 100;
    options.baud = kDemoBaud;
    m_Device = std::make_unique<CSimulatedDevice>(options);
    std::string why;
    if (!m_Device->Start(&why)) {
        *error = QStringLiteral("the simulated device did not start: %1").arg(QString::fromStdString(why));
        m_Device.reset();
        return false;
    }
    return true;
}

std::string CDemoDevice::PortPath() const {
    return m_Device ? m_Device->PortPath() : std::string();
}

QString CDemoDevice::FindExampleFirmware(const QString& programFolder, QString* error) {
    const QDir program(programFolder);
    // Beside the program, in the build tree above it, or installed beside the help pages.
    for (const QString& folder :
         {QStringLiteral("examples"), QStringLiteral("../examples"), QStringLiteral("../../examples"),
          QStringLiteral("../share/brenwick/examples")}) {
        const QString file = QDir::cleanPath(program.filePath(folder + QLatin1Char('/') + kExample));
        if (QFileInfo(file).isFile()) {
            return file;
        }
    }
    QString script;
    for (const QString& candidate :
         {QStringLiteral(BRENWICK_SOURCE_DIR "/examples/make-examples.sh"),
          QDir::cleanPath(program.filePath(QStringLiteral("../share/brenwick/make-examples.sh")))}) {
        if (QFileInfo(candidate).isFile()) {
            script = candidate;
            break;
        }
    }
    if (script.isEmpty()) {
        *error =
            QStringLiteral("the example firmware %1 was not found and the script that makes it is missing")
                .arg(kExample);
        return {};
    }
    m_Made = std::make_unique<QTemporaryDir>();
    if (!m_Made->isValid()) {
        *error =
            QStringLiteral("no temporary folder for the example firmware: %1").arg(m_Made->errorString());
        return {};
    }
    QProcess make;
    make.start(QStringLiteral("bash"), {script, m_Made->path()});
    if (!make.waitForFinished(kMakeTimeoutMs) || make.exitStatus() != QProcess::NormalExit ||
        make.exitCode() != 0) {
        make.kill();
        *error = QStringLiteral("making the example firmware with %1 failed (it needs srec_cat, package "
                                "srecord): %2")
                     .arg(script, QString::fromLocal8Bit(make.readAllStandardError()).trimmed());
        return {};
    }
    const QString file = QDir(m_Made->path()).filePath(kExample);
    if (!QFileInfo(file).isFile()) {
        *error = QStringLiteral("%1 did not make %2").arg(script, kExample);
        return {};
    }
    return file;
}

} // namespace brenwick::app
