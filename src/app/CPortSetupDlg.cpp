#include "app/CPortSetupDlg.h"

#include "panel/PortChoice.h"
#include "protocol/ProtocolTypes.h"
#include "widgets/DialogUnits.h"

#include <QAbstractItemView>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <sys/stat.h>

namespace brenwick::app {

namespace {

using widgets::CDialogUnits;

// Dialog units. The port box is wider than the classic template: device paths are longer than "COM3".
constexpr QSize kDialogSize{201, 80};
constexpr QRect kOk{42, 60, 50, 14};
constexpr QRect kCancel{109, 60, 50, 14};
constexpr QRect kPortList{8, 21, 120, 178};
constexpr QRect kBaudList{138, 21, 55, 178};
constexpr QRect kPortCaption{8, 11, 120, 8};
constexpr QRect kBaudCaption{138, 11, 55, 8};
constexpr QRect kPortDetails{8, 38, 185, 18};

QString Describe(const serial::SerialPortInfo& port) {
    return QString::fromStdString(panel::DescribePort(port));
}

// A path that is not among the devices found: whether it is there, and whether it is a terminal device at
// all.
QString DescribeTyped(const QString& name) {
    const QFileInfo info(name);
    if (!info.exists()) {
        return QStringLiteral("%1 is not present now.").arg(name);
    }
    const QString target = info.canonicalFilePath();
    struct stat st {};
    const bool device = ::stat(QFile::encodeName(target).constData(), &st) == 0 && S_ISCHR(st.st_mode);
    const bool terminal =
        target.startsWith(QStringLiteral("/dev/tty")) || target.startsWith(QStringLiteral("/dev/pts/"));
    if (device && terminal) {
        return QStringLiteral("%1 (a terminal device, not among the serial devices found)").arg(name);
    }
    return QStringLiteral("%1 is not a serial device.").arg(name);
}

} // namespace

CPortSetupDlg::CPortSetupDlg(QWidget* parent) : QDialog(parent) {
    Build();
}

CPortSetupDlg::CPortSetupDlg(std::vector<serial::SerialPortInfo> ports, QWidget* parent)
    : QDialog(parent), m_Ports(std::move(ports)), m_PortsGiven(true) {
    Build();
}

void CPortSetupDlg::Build() {
    setWindowTitle(QStringLiteral("Serial COM Port Selection"));
    setFont(CDialogUnits::DialogFont());
    const CDialogUnits units(font());
    setFixedSize(units.ToPixels(kDialogSize));

    m_Ok.setText(QStringLiteral("OK"));
    m_Ok.setDefault(true);
    m_Cancel.setText(QStringLiteral("Cancel"));
    // Alt+P and Alt+B reach the lists; the captions also name the lists for a screen reader.
    m_PortCaption.setText(QStringLiteral("&Port"));
    m_BaudCaption.setText(QStringLiteral("&BaudRate"));
    m_PortCaption.setBuddy(&m_PortList);
    m_BaudCaption.setBuddy(&m_BaudList);
    for (QLabel* caption : {&m_PortCaption, &m_BaudCaption}) {
        caption->setAlignment(Qt::AlignCenter);
    }
    m_PortDetails.setWordWrap(true);
    m_PortDetails.setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_PortList.setEditable(true);
    m_PortList.setInsertPolicy(QComboBox::NoInsert);
    m_BaudList.setEditable(false);

    // Tab order follows the template: OK, Cancel, port, baud.
    const struct {
        QWidget* control;
        QRect place;
    } layout[] = {{&m_Ok, kOk},
                  {&m_Cancel, kCancel},
                  {&m_PortList, kPortList},
                  {&m_BaudList, kBaudList},
                  {&m_PortCaption, kPortCaption},
                  {&m_BaudCaption, kBaudCaption},
                  {&m_PortDetails, kPortDetails}};
    for (const auto& [control, place] : layout) {
        control->setParent(this);
        QRect pixels = units.ToPixels(place);
        if (qobject_cast<QComboBox*>(control) != nullptr) {
            pixels.setHeight(control->sizeHint().height()); // the template's height is the dropped list's
        }
        control->setGeometry(pixels);
    }
    setTabOrder(&m_Ok, &m_Cancel);
    setTabOrder(&m_Cancel, &m_PortList);
    setTabOrder(&m_PortList, &m_BaudList);

    connect(&m_Ok, &QPushButton::clicked, this, &CPortSetupDlg::accept);
    connect(&m_Cancel, &QPushButton::clicked, this, &CPortSetupDlg::reject);
    connect(&m_PortList, &QComboBox::activated, this, &CPortSetupDlg::OnSelChangePort);
    connect(&m_BaudList, &QComboBox::activated, this, &CPortSetupDlg::OnSelChangeBaud);
    // The details describe what the box holds: a line chosen from the list, or a path typed into it.
    connect(&m_PortList, &QComboBox::editTextChanged, this, &CPortSetupDlg::ShowDetails);
}

void CPortSetupDlg::OnInitDialog() {
    if (!m_PortsGiven) {
        m_Ports = serial::ListSerialPorts(); // USB devices first
    }
    m_PortList.clear();
    for (const serial::SerialPortInfo& port : m_Ports) {
        const QString name = QString::fromStdString(panel::StoredName(port));
        m_PortList.addItem(name, name);
        m_PortList.setItemData(m_PortList.count() - 1, Describe(port), Qt::ToolTipRole);
    }
    const int selected = panel::LineOfPort(m_Ports, m_PortName);
    m_PortList.setCurrentIndex(selected);
    if (selected < 0) {
        // The current port is not present now (unplugged, or a typed path): it stays as it is.
        m_PortList.setEditText(QString::fromStdString(m_PortName));
    } else {
        m_PortName = panel::StoredName(m_Ports[static_cast<size_t>(selected)]); // by its stable name
    }
    ShowDetails(m_PortList.currentText());
    m_PortList.view()->setMinimumWidth(m_PortList.view()->sizeHintForColumn(0));

    m_BaudList.clear();
    for (const std::string& line : panel::BaudLines()) {
        m_BaudList.addItem(QString::fromStdString(line));
    }
    // An index outside the list leaves it without a selection and comes back unchanged.
    m_BaudList.setCurrentIndex(panel::BaudLineOf(m_BaudIndex));
}

int CPortSetupDlg::exec() {
    OnInitDialog();
    m_Ok.setFocus();
    return QDialog::exec();
}

void CPortSetupDlg::OnSelChangePort(int line) {
    if (line >= 0) {
        m_PortName = m_PortList.itemData(line).toString().toStdString();
    }
}

void CPortSetupDlg::OnSelChangeBaud(int line) {
    if (line >= 0) {
        m_BaudIndex = line; // the line, not the rate
    }
}

void CPortSetupDlg::ShowDetails(const QString& text) {
    const QString name = text.trimmed();
    for (const serial::SerialPortInfo& port : m_Ports) {
        if (name == QString::fromStdString(panel::StoredName(port)) ||
            name == QString::fromStdString(port.path)) {
            m_PortDetails.setText(Describe(port));
            return;
        }
    }
    m_PortDetails.setText(name.isEmpty() ? QString() : DescribeTyped(name));
}

void CPortSetupDlg::accept() {
    const int line = m_PortList.currentIndex();
    m_PortName =
        panel::ChosenPort(m_PortList.currentText().toStdString(),
                          line >= 0 ? m_PortList.itemText(line).toStdString() : std::string(), m_PortName);
    QDialog::accept();
}

} // namespace brenwick::app
