#pragma once

#include "widgets/Colors.h"

#include <QFont>
#include <QString>
#include <QTimer>
#include <QWidget>
#include <ctime>
#include <functional>
#include <optional>

namespace brenwick::widgets {

// The date-and-time line: one line of centred text scaled to the control's height, updated from its own
// 900 ms timer. The text changes, and the control repaints, only when the second changes. Assistive
// technology reads the time shown as the control's name; the tooltip holds it too.
class CClockCtrl : public QWidget {
    Q_OBJECT

  public:
    using TimeSource = std::function<std::time_t()>;

    explicit CClockCtrl(QWidget* parent = nullptr);

    // Where the ticks read the time; the system clock unless replaced (tests and demos inject a time).
    void SetTimeSource(TimeSource source);
    // 1 = local time (the panel's choice), 0 = UTC. Takes effect at the next change of second.
    void SetLocalTime(bool local) { m_bLocalTime = local ? 1 : 0; }

    // One timer tick: reads the time and, if the second differs from the one shown (earlier or later),
    // reformats the text and schedules a repaint.
    void OnTimer();

    const QString& GetText() const { return m_Text; }
    bool IsTimerRunning() const { return m_Timer.isActive(); }
    int TimerInterval() const { return m_Timer.interval(); }

    // The font a control `controlHeight` pixels high draws with: face "Arial" or the nearest match, its
    // cell (ascent plus descent) as close to 90 % of the height as the font allows without exceeding it.
    static QFont MakeFont(int controlHeight);

    QSize sizeHint() const override;

    COLORREF m_TextColor; // the owner may replace it

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QTimer m_Timer;
    QString m_Text;
    COLORREF m_BackColor;
    int m_bLocalTime = 1;
    std::optional<std::time_t> m_LastTime;
    TimeSource m_Now;
};

} // namespace brenwick::widgets
