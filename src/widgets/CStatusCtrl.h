#pragma once

#include "widgets/AnnounceThrottle.h"
#include "widgets/Colors.h"

#include <QAccessible>
#include <QImage>
#include <QString>
#include <QWidget>
#include <cstdint>

namespace brenwick::widgets {

// The panel's status bar: one line of text centred over a progress fill, with a round lamp at the right end.
// The owner sets the text, the lamp colour and the progress; every setter schedules a repaint, and several
// setters before the next paint give one paint showing the last values.
//
// Assistive technology reads the text as the control's name, the lamp in words as its description and,
// while the bar follows a run, the progress as its value; the detail, when there is one, follows the lamp in
// the description. A changed text, lamp or detail is announced at once; progress at most twice a second. A
// text wider than the bar shows its beginning, cut short with an ellipsis; the tooltip holds it whole, with
// the detail.
class CStatusCtrl : public QWidget {
    Q_OBJECT

  public:
    explicit CStatusCtrl(QWidget* parent = nullptr);

    // Clamps `pos` into the range (unsigned comparisons), stores it and returns the previous position.
    std::uint32_t SetPos(std::uint32_t pos);
    void SetText(const QString& text);
    void SetLampColor(COLORREF color);
    // What the lamp's colour means now, in a few words ("connected"); part of the description.
    void SetLampMeaning(const QString& meaning);
    // Whether the bar follows a run, so that its position is a progress worth reading out.
    void SetProgressShown(bool shown);
    // The reason behind the text, or what to do, when the bar has no room for it: part of the tooltip and of
    // the description, told once when it changes.
    void SetDetail(const QString& detail);

    std::uint32_t GetPos() const { return m_Pos; }
    std::uint32_t GetMin() const { return m_Min; }
    std::uint32_t GetMax() const { return m_Max; }
    const QString& GetText() const { return m_Text; }
    COLORREF GetLampColor() const { return m_LampColor; }
    COLORREF GetBackColor() const { return m_BackColor; }
    bool IsProgressShown() const { return m_ProgressShown; }
    // The lamp in words: "green: connected", or only the colour while no meaning is set.
    QString LampDescription() const;
    // The lamp in words and the detail: what assistive technology reads as the description.
    QString Description() const;

    QSize sizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    void Compose();
    void DrawEtchedFrame(QPainter& painter) const;
    void Announce(QAccessible::Event event);
    void UpdateToolTip();
    void AnnounceProgress();

    std::uint32_t m_Min = 0;
    std::uint32_t m_Max = 100;
    std::uint32_t m_Pos = 0;
    QString m_Text;
    QImage m_Bitmap; // the last composed image, recreated when the size changes
    COLORREF m_LampColor = kLampGreen;
    COLORREF m_BackColor;
    COLORREF m_TextColor;
    COLORREF m_BarColor = kBarCyan;
    QString m_LampMeaning;
    QString m_Detail;
    bool m_ProgressShown = false;
    CAnnounceThrottle m_ProgressAnnouncer;
};

} // namespace brenwick::widgets
