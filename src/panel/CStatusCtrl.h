#pragma once

#include "panel/Colors.h"

#include <QImage>
#include <QString>
#include <QWidget>
#include <cstdint>

namespace brenwick::panel {

// The panel's status bar: one line of text centred over a progress fill, with a round lamp at the right end.
// The owner sets the text, the lamp colour and the progress; every setter schedules a repaint, and several
// setters before the next paint give one paint showing the last values.
class CStatusCtrl : public QWidget {
    Q_OBJECT

  public:
    explicit CStatusCtrl(QWidget* parent = nullptr);

    // Clamps `pos` into the range (unsigned comparisons), stores it and returns the previous position.
    std::uint32_t SetPos(std::uint32_t pos);
    void SetText(const QString& text);
    void SetLampColor(COLORREF color);

    std::uint32_t GetPos() const { return m_Pos; }
    std::uint32_t GetMin() const { return m_Min; }
    std::uint32_t GetMax() const { return m_Max; }
    const QString& GetText() const { return m_Text; }
    COLORREF GetLampColor() const { return m_LampColor; }
    COLORREF GetBackColor() const { return m_BackColor; }
    COLORREF GetTextColor() const { return m_TextColor; }
    COLORREF GetBarColor() const { return m_BarColor; }

    QSize sizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    void Compose();
    void DrawEtchedFrame(QPainter& painter) const;

    std::uint32_t m_Min = 0;
    std::uint32_t m_Max = 100;
    std::uint32_t m_Pos = 0;
    QString m_Text;
    QImage m_Bitmap; // the last composed image, recreated when the size changes
    COLORREF m_LampColor = kLampGreen;
    COLORREF m_BackColor;
    COLORREF m_TextColor;
    COLORREF m_BarColor = kBarCyan;
};

} // namespace brenwick::panel
