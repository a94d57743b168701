#include "DemoForm.h"

#include <cstdint>

namespace brenwick::panel::demo {

namespace {

constexpr QSize kDesignUnits{157, 129};
constexpr COLORREF kClockColor = 0x00804040; // dark slate blue

struct StatusShown {
    const char* text;
    COLORREF lamp;
    std::uint32_t pos;
};

constexpr std::array<StatusShown, 5> kStates = {{
    {"Off Line", kLampGrey, 0},
    {"Not Connected", kLampRed, 0},
    {"Connected", kLampGreen, 0},
    {"Programming", kLampYellow, 50},
    {"Programming", kLampYellow, 100},
}};

void Place(QWidget& control, QWidget* form, const CDialogUnits& units, QRect dialogRect) {
    control.setParent(form);
    control.setGeometry(units.ToPixels(dialogRect));
}

} // namespace

CDemoForm::CDemoForm(const CDialogUnits& units, QWidget* parent)
    : CResizableFormView(units.ToPixels(kDesignUnits), parent), m_Units(units) {
    QWidget* form = Form();
    form->setFont(CDialogUnits::DialogFont());

    for (QLabel* line : {&m_IdentityLine, &m_GeometryLine}) {
        line->setAlignment(Qt::AlignCenter);
        line->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    }
    m_IdentityLine.setText(QStringLiteral("Demo Target  (Flash Rev  1.25  Boot Rev     1)"));
    m_GeometryLine.setText(QStringLiteral("SN=0042 Size = 262144 Page = 256 BootLen = 8192"));
    m_OnlineButton.setText(QStringLiteral("Online"));
    m_OnlineButton.setChecked(true);
    m_StartButton.setText(QStringLiteral("Start"));
    m_MakeBinButton.setText(QStringLiteral("Make Bin"));

    Place(m_IdentityLine, form, units, {4, 4, 150, 12});
    Place(m_GeometryLine, form, units, {4, 18, 150, 12});
    Place(m_OnlineButton, form, units, {8, 32, 42, 14});
    Place(m_StartButton, form, units, {57, 32, 43, 14});
    Place(m_MakeBinButton, form, units, {111, 32, 39, 14});
    for (std::size_t i = 0; i < m_Status.size(); ++i) {
        Place(m_Status[i], form, units, {4, 48 + 13 * static_cast<int>(i), 150, 11});
        m_Status[i].SetText(QString::fromLatin1(kStates[i].text));
        m_Status[i].SetLampColor(kStates[i].lamp);
        m_Status[i].SetPos(kStates[i].pos);
    }
    Place(m_Clock, form, units, {4, 114, 150, 11});
    m_Clock.m_TextColor = kClockColor;
}

void CDemoForm::OnInitialUpdate() {
    if (m_InitDone == 0) {
        m_InitDone = 1;
        AnchorControl(&m_IdentityLine, AnchorTopLeft, AnchorTopRight);
        AnchorControl(&m_GeometryLine, AnchorTopLeft, AnchorTopRight);
        AnchorControl(&m_OnlineButton, AnchorTopCenter, AnchorNone);
        AnchorControl(&m_StartButton, AnchorTopCenter, AnchorNone);
        AnchorControl(&m_MakeBinButton, AnchorTopCenter, AnchorNone);
        for (CStatusCtrl& status : m_Status) {
            AnchorControl(&status, AnchorTopLeft, AnchorTopRight);
        }
        AnchorControl(&m_Clock, AnchorBottomLeft, AnchorBottomRight);
    }
    CResizableFormView::OnInitialUpdate();
    m_Clock.OnTimer(); // show the time at once rather than after the first tick
}

} // namespace brenwick::panel::demo
