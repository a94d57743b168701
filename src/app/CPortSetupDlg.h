#pragma once

#include "protocol/ProtocolTypes.h"
#include "serial/PortDiscovery.h"

#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <string>
#include <vector>

namespace brenwick::app {

// "Serial COM Port Selection": the port and the baud rate for the next time the link goes on line. The
// caller primes m_PortName and m_BaudIndex, runs the dialog and reads them back after OK.
class CPortSetupDlg : public QDialog {
    Q_OBJECT

  public:
    explicit CPortSetupDlg(QWidget* parent = nullptr);
    // The devices to offer in place of the ones present (tests).
    CPortSetupDlg(std::vector<serial::SerialPortInfo> ports, QWidget* parent);

    // Fills the lists from the primed values; exec() runs it before showing the dialog.
    void OnInitDialog();
    int exec() override;

    std::string m_PortName;
    int m_BaudIndex = protocol::kDefaultBaudIndex;

    QComboBox& PortList() { return m_PortList; }
    QComboBox& BaudList() { return m_BaudList; }
    QLabel& PortDetails() { return m_PortDetails; }

  public slots:
    void accept() override;

  private:
    void Build();
    void OnSelChangePort(int line);
    void OnSelChangeBaud(int line);
    void ShowDetails(const QString& text);

    std::vector<serial::SerialPortInfo> m_Ports;
    bool m_PortsGiven = false;
    QComboBox m_PortList;
    QComboBox m_BaudList;
    QLabel m_PortCaption;
    QLabel m_BaudCaption;
    QLabel m_PortDetails;
    QPushButton m_Ok;
    QPushButton m_Cancel;
};

} // namespace brenwick::app
