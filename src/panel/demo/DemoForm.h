#pragma once

#include "panel/CClockCtrl.h"
#include "panel/CResizableFormView.h"
#include "panel/CStatusCtrl.h"
#include "panel/DialogUnits.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <array>

namespace brenwick::panel::demo {

// A form in the panel's layout that shows the widgets in every state: the status bar empty, half and fully
// filled with each lamp colour, the clock, and the text lines and buttons that follow their anchors.
class CDemoForm : public CResizableFormView {
    Q_OBJECT

  public:
    explicit CDemoForm(const CDialogUnits& units, QWidget* parent = nullptr);

    void OnInitialUpdate() override;

  private:
    CDialogUnits m_Units;
    QLabel m_IdentityLine;
    QLabel m_GeometryLine;
    QCheckBox m_OnlineButton;
    QPushButton m_StartButton;
    QPushButton m_MakeBinButton;
    std::array<CStatusCtrl, 5> m_Status;
    CClockCtrl m_Clock;
    int m_InitDone = 0;
};

} // namespace brenwick::panel::demo
