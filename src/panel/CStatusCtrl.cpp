#include "panel/CStatusCtrl.h"

#include "panel/StatusGeometry.h"

#include <QApplication>
#include <QPaintEvent>
#include <QPainter>
#include <QRegion>
#include <algorithm>

namespace brenwick::panel {

CStatusCtrl::CStatusCtrl(QWidget* parent)
    : QWidget(parent), m_BackColor(ButtonFaceColor()), m_TextColor(ButtonTextColor()) {
    // The whole area is painted every time from the composed image.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

std::uint32_t CStatusCtrl::SetPos(std::uint32_t pos) {
    const std::uint32_t previous = m_Pos;
    m_Pos = std::clamp(pos, m_Min, m_Max);
    update();
    return previous;
}

void CStatusCtrl::SetText(const QString& text) {
    m_Text = text;
    update();
}

void CStatusCtrl::SetLampColor(COLORREF color) {
    m_LampColor = color;
    update();
}

QSize CStatusCtrl::sizeHint() const {
    return {220, 20};
}

void CStatusCtrl::Compose() {
    const int w = width();
    const int h = height();
    const qreal ratio = devicePixelRatioF();
    const QSize pixels(static_cast<int>(w * ratio), static_cast<int>(h * ratio));
    if (m_Bitmap.size() != pixels) {
        m_Bitmap = QImage(pixels, QImage::Format_RGB32);
    }
    m_Bitmap.setDevicePixelRatio(ratio);

    const StatusGeometry g = ComputeStatusGeometry(w, h, m_Min, m_Max, m_Pos);
    QPainter p(&m_Bitmap);
    p.setRenderHint(QPainter::Antialiasing, false);

    p.fillRect(g.filled, ToQColor(m_BarColor));
    p.fillRect(g.unfilled, ToQColor(m_BackColor));
    // The lamp square always takes the button face, whatever the bar's back colour.
    p.fillRect(g.lamp, ToQColor(ButtonFaceColor()));

    p.setClipRegion(QRegion(g.ellipse, QRegion::Ellipse));
    p.fillRect(g.ellipse, ToQColor(m_LampColor));

    if (!m_Text.isEmpty()) {
        // A plain, unsmoothed font, so that every text pixel has exactly one of the two text colours.
        QFont plain = QApplication::font(this); // the system font, not the form's
        plain.setStyleStrategy(QFont::NoAntialias);
        p.setFont(plain);
        const int flags = Qt::AlignHCenter | Qt::AlignVCenter | Qt::TextSingleLine | Qt::TextDontClip;

        // Over the unfilled part the text colour, over the fill the desktop colour: a text that straddles
        // the boundary changes colour exactly there.
        p.setClipRect(g.unfilled);
        p.setPen(ToQColor(m_TextColor));
        p.drawText(g.bar, flags, m_Text);

        p.setClipRect(g.filled);
        p.setPen(ToQColor(kDesktopColor));
        p.drawText(g.bar, flags, m_Text);
    }
}

void CStatusCtrl::DrawEtchedFrame(QPainter& painter) const {
    const int w = width();
    const int h = height();
    if (w < 4 || h < 4) {
        return;
    }
    const QColor light = ToQColor(ButtonHighlightColor());
    const QColor dark = ToQColor(ButtonShadowColor());
    // Outer ring sunken (dark above and left), inner ring raised (light above and left): an etched line.
    painter.fillRect(0, 0, w - 1, 1, dark);
    painter.fillRect(0, 0, 1, h - 1, dark);
    painter.fillRect(0, h - 1, w, 1, light);
    painter.fillRect(w - 1, 0, 1, h, light);
    painter.fillRect(1, 1, w - 3, 1, light);
    painter.fillRect(1, 1, 1, h - 3, light);
    painter.fillRect(1, h - 2, w - 2, 1, dark);
    painter.fillRect(w - 2, 1, 1, h - 2, dark);
}

void CStatusCtrl::paintEvent(QPaintEvent* /*event*/) {
    if (width() <= 0 || height() <= 0) {
        return;
    }
    Compose();
    // The composed image reaches the screen in one step; the frame goes over its outer two pixels.
    QPainter painter(this);
    painter.drawImage(QPoint(0, 0), m_Bitmap);
    DrawEtchedFrame(painter);
}

} // namespace brenwick::panel
