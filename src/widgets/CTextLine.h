#pragma once

#include <QLabel>

namespace brenwick::widgets {

// A one-line text of the panel. While the text fits it is drawn with the label's alignment; when it is wider
// than the box its beginning stays in view, left-aligned and cut short with an ellipsis. text(), the tooltip
// and the accessible name keep the whole line. Shown as plain text: device strings are not markup.
class CTextLine : public QLabel {
    Q_OBJECT

  public:
    explicit CTextLine(QWidget* parent = nullptr);

    // Sets the text and the tooltip together.
    void SetLine(const QString& text);

  protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace brenwick::widgets
