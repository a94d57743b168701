#include "widgets/CClockCtrl.h"

#include "panel/ClockFormat.h"
#include "widgets/PanelAccessible.h"

#include <QFontMetrics>
#include <QPainter>
#include <QStyleOptionFocusRect>
#include <algorithm>

namespace brenwick::widgets {

namespace {

constexpr int kTickMilliseconds = 900; // shorter than a second, so that no second is skipped

} // namespace

CClockCtrl::CClockCtrl(QWidget* parent)
    : QWidget(parent), m_TextColor(ButtonTextColor()), m_BackColor(ButtonFaceColor()),
      m_Now([] { return std::time(nullptr); }) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::TabFocus); // a tab stop of the form, where a screen reader reads the time
    RegisterPanelAccessibility();
    m_Timer.setInterval(kTickMilliseconds);
    connect(&m_Timer, &QTimer::timeout, this, [this] { OnTimer(); });
    m_Timer.start();
}

void CClockCtrl::SetTimeSource(TimeSource source) {
    if (source) {
        m_Now = std::move(source);
    }
}

void CClockCtrl::OnTimer() {
    const std::time_t now = m_Now();
    // A different second, not a later one: a clock set backwards still shows the new time.
    if (m_LastTime == now) {
        return;
    }
    m_LastTime = now;
    m_Text = QString::fromStdString(panel::FormatClockText(now, m_bLocalTime != 0));
    setToolTip(m_Text.trimmed());
    update();
}

QFont CClockCtrl::MakeFont(int controlHeight) {
    const int cell = panel::ClockFontCellHeight(controlHeight);
    QFont font(QStringLiteral("Arial"));
    font.setStyleHint(QFont::SansSerif);
    font.setWeight(QFont::Normal);
    font.setItalic(false);
    int size = std::max(cell, 1);
    font.setPixelSize(size);
    // Pixel size sets the em; the cell (ascent plus descent) is taller. Step down until the cell fits.
    while (size > 1 && QFontMetrics(font).height() > cell) {
        --size;
        font.setPixelSize(size);
    }
    return font;
}

QSize CClockCtrl::sizeHint() const {
    return {220, 18};
}

void CClockCtrl::paintEvent(QPaintEvent* /*event*/) {
    QPainter p(this);
    p.fillRect(rect(), ToQColor(ButtonFaceColor()));
    if (m_Text.isEmpty() || height() <= 0) {
        return;
    }
    const QFont font = MakeFont(height());
    const QFontMetrics metrics(font);
    const int cell = metrics.height();
    const int textWidth = metrics.horizontalAdvance(m_Text);
    // Centred on the middle, the bottom of the text cell one cell height below the top; the cell is opaque.
    // A text wider than the control starts at its left edge, so that the date stays in view.
    const int centre = width() / 2;
    const int left = std::max(centre - textWidth / 2, 0);
    p.fillRect(QRect(left, 0, textWidth, cell), ToQColor(m_BackColor));
    p.setFont(font);
    p.setPen(ToQColor(m_TextColor));
    p.drawText(QPoint(left, cell - metrics.descent()), m_Text);
    if (hasFocus()) {
        QStyleOptionFocusRect option;
        option.initFrom(this);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &p, this);
    }
}

} // namespace brenwick::widgets
