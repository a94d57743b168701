#include "widgets/CTextLine.h"

#include <QPainter>
#include <QStyle>

namespace brenwick::widgets {

CTextLine::CTextLine(QWidget* parent) : QLabel(parent) {
    setTextFormat(Qt::PlainText);
}

void CTextLine::SetLine(const QString& text) {
    setText(text);
    setToolTip(text);
}

void CTextLine::paintEvent(QPaintEvent* event) {
    const QFontMetrics metrics = fontMetrics();
    // A framed label keeps half an 'x' between frame and text, as QLabel does.
    const int indent = frameWidth() > 0 ? metrics.horizontalAdvance(QLatin1Char('x')) / 2 : 0;
    QRect area = contentsRect();
    area.setLeft(area.left() + indent);
    if (metrics.horizontalAdvance(text()) <= area.width() - indent) {
        QLabel::paintEvent(event);
        return;
    }
    QPainter painter(this);
    drawFrame(&painter);
    const QString shown = metrics.elidedText(text(), Qt::ElideRight, area.width() - indent);
    style()->drawItemText(&painter, area, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextForceLeftToRight,
                          palette(), isEnabled(), shown, foregroundRole());
}

} // namespace brenwick::widgets
