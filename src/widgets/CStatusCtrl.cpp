#include "widgets/CStatusCtrl.h"

#include "panel/StatusGeometry.h"
#include "widgets/PanelAccessible.h"

#include <QApplication>
#include <QPaintEvent>
#include <QPainter>
#include <QRegion>
#include <QStyleOptionFocusRect>
#include <algorithm>

namespace brenwick::widgets {

namespace {

constexpr int kFrameWidth = 2;           // the etched frame covers the outer two pixels
constexpr int kProgressAnnounceMs = 500; // a screen reader need not hear every step of the bar

} // namespace

CStatusCtrl::CStatusCtrl(QWidget* parent)
    : QWidget(parent), m_BackColor(ButtonFaceColor()), m_TextColor(ButtonTextColor()),
      m_ProgressAnnouncer(kProgressAnnounceMs, [this] { AnnounceProgress(); }) {
    // The whole area is painted every time from the composed image.
    setAttribute(Qt::WA_OpaquePaintEvent);
    // A tab stop of the form, so that a keyboard user can land on the status and have it read out.
    setFocusPolicy(Qt::TabFocus);
    RegisterPanelAccessibility();
}

std::uint32_t CStatusCtrl::SetPos(std::uint32_t pos) {
    const std::uint32_t previous = m_Pos;
    m_Pos = std::clamp(pos, m_Min, m_Max);
    update();
    if (m_Pos != previous && m_ProgressShown) {
        m_ProgressAnnouncer.Request();
    }
    return previous;
}

void CStatusCtrl::SetText(const QString& text) {
    // The panel hands the text over on every tick; only a new text is news.
    const bool changed = text != m_Text;
    m_Text = text;
    update();
    if (changed) {
        UpdateToolTip();
        Announce(QAccessible::NameChanged);
    }
}

void CStatusCtrl::SetDetail(const QString& detail) {
    if (detail != m_Detail) {
        m_Detail = detail;
        UpdateToolTip();
        Announce(QAccessible::DescriptionChanged);
    }
}

void CStatusCtrl::UpdateToolTip() {
    setToolTip(m_Detail.isEmpty() ? m_Text : m_Text + QStringLiteral(": ") + m_Detail);
}

void CStatusCtrl::SetLampColor(COLORREF color) {
    const bool changed = color != m_LampColor;
    m_LampColor = color;
    update();
    if (changed) {
        Announce(QAccessible::DescriptionChanged);
    }
}

void CStatusCtrl::SetLampMeaning(const QString& meaning) {
    if (meaning != m_LampMeaning) {
        m_LampMeaning = meaning;
        Announce(QAccessible::DescriptionChanged);
    }
}

void CStatusCtrl::SetProgressShown(bool shown) {
    m_ProgressShown = shown;
}

QString CStatusCtrl::LampDescription() const {
    const QString colour = QString::fromStdString(LampColorName(m_LampColor));
    return m_LampMeaning.isEmpty() ? colour : colour + QStringLiteral(": ") + m_LampMeaning;
}

QString CStatusCtrl::Description() const {
    return m_Detail.isEmpty() ? LampDescription() : LampDescription() + QStringLiteral(". ") + m_Detail;
}

void CStatusCtrl::Announce(QAccessible::Event type) {
    QAccessibleEvent event(this, type);
    QAccessible::updateAccessibility(&event);
}

void CStatusCtrl::AnnounceProgress() {
    if (!m_ProgressShown) {
        return; // the run ended meanwhile, and its end was told by the new text
    }
    QAccessibleValueChangeEvent event(this, static_cast<int>(m_Pos));
    QAccessible::updateAccessibility(&event);
}

QSize CStatusCtrl::sizeHint() const {
    return {220, 20};
}

void CStatusCtrl::Compose() {
    const int w = width();
    const int h = height();
    const qreal ratio = devicePixelRatioF();
    const QSize pixels(qRound(w * ratio), qRound(h * ratio));
    if (m_Bitmap.size() != pixels) {
        m_Bitmap = QImage(pixels, QImage::Format_RGB32);
    }
    m_Bitmap.setDevicePixelRatio(ratio);
    // At one device pixel per pixel the lamp and the text keep hard edges in exactly their colours; on a
    // denser screen smoothing gives round edges without blurring anything.
    const bool smooth = ratio > 1.0;

    const panel::StatusGeometry parts = panel::ComputeStatusGeometry(w, h, m_Min, m_Max, m_Pos);
    const auto qt = [](const panel::Rect& r) { return QRect(r.x, r.y, r.width, r.height); };
    const struct {
        QRect bar, lamp, ellipse, filled, unfilled;
    } g{qt(parts.bar), qt(parts.lamp), qt(parts.ellipse), qt(parts.filled), qt(parts.unfilled)};
    QPainter p(&m_Bitmap);
    p.setRenderHint(QPainter::Antialiasing, smooth);

    p.fillRect(g.filled, ToQColor(m_BarColor));
    p.fillRect(g.unfilled, ToQColor(m_BackColor));
    // The lamp square always takes the button face, whatever the bar's back colour.
    p.fillRect(g.lamp, ToQColor(ButtonFaceColor()));

    if (smooth) {
        p.setPen(Qt::NoPen);
        p.setBrush(ToQColor(m_LampColor));
        p.drawEllipse(QRectF(g.ellipse));
    } else {
        p.setClipRegion(QRegion(g.ellipse, QRegion::Ellipse));
        p.fillRect(g.ellipse, ToQColor(m_LampColor));
    }

    if (!m_Text.isEmpty()) {
        QFont font = QApplication::font(this); // the system font, not the form's
        if (!smooth) {
            // Unsmoothed, so that every text pixel has exactly one of the two text colours.
            font.setStyleStrategy(QFont::NoAntialias);
        }
        p.setFont(font);
        const int flags = Qt::AlignHCenter | Qt::AlignVCenter | Qt::TextSingleLine | Qt::TextDontClip;
        // Too long for the bar: the beginning stays readable, the rest is in the tooltip.
        const QString shown = QFontMetrics(font).elidedText(m_Text, Qt::ElideRight,
                                                            std::max(g.bar.width() - 2 * kFrameWidth, 0));

        // Over the unfilled part the text colour, over the fill the desktop colour: a text that straddles
        // the boundary changes colour exactly there.
        p.setClipRect(g.unfilled);
        p.setPen(ToQColor(m_TextColor));
        p.drawText(g.bar, flags, shown);

        p.setClipRect(g.filled);
        p.setPen(ToQColor(kDesktopColor));
        p.drawText(g.bar, flags, shown);
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
    if (hasFocus()) {
        QStyleOptionFocusRect option;
        option.initFrom(this);
        option.rect = rect().adjusted(kFrameWidth, kFrameWidth, -kFrameWidth, -kFrameWidth);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
    }
}

} // namespace brenwick::widgets
