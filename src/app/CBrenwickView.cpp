#include "app/CBrenwickView.h"

#include "app/FirstPaint.h"
#include "app/QuestionBox.h"
#include "document/DocSnapshot.h"
#include "panel/FlashLogSetting.h"
#include "panel/PanelState.h"

#include <QCoreApplication>
#include <QEvent>
#include <QMainWindow>
#include <QMetaObject>
#include <QSignalBlocker>

namespace brenwick::app {

namespace {

using widgets::AnchorBottomLeft;
using widgets::AnchorBottomRight;
using widgets::AnchorNone;
using widgets::AnchorTopCenter;
using widgets::AnchorTopLeft;
using widgets::AnchorTopRight;
using widgets::CDialogUnits;

// The classic form with room below the status bar for two lines of text: the outcome of the last action,
// in words.
constexpr QSize kFormUnits{157, 99};
constexpr QRect kGeometryLine{4, 18, 150, 12}; // dialog units
constexpr int kTimerMs = 200;
constexpr widgets::COLORREF kClockColor = 0x00804040; // dark slate blue

// A port notification on its way from the listener thread to this one.
class CPortEvent : public QEvent {
  public:
    CPortEvent(uint32_t message, uint32_t wParam, intptr_t lParam)
        : QEvent(Type()), m_Message(message), m_WParam(wParam), m_LParam(lParam) {}

    static QEvent::Type Type() {
        static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
        return type;
    }

    uint32_t m_Message;
    uint32_t m_WParam;
    intptr_t m_LParam;
};

void Place(QWidget& control, QWidget* form, const CDialogUnits& units, QRect dialogRect) {
    control.setParent(form);
    control.setGeometry(units.ToPixels(dialogRect));
}

} // namespace

CBrenwickView::CBrenwickView(CBrenwickDoc& doc, ISettingsStore& store, QWidget* parent)
    : CResizableFormView(CDialogUnits(CDialogUnits::DialogFont()).ToPixels(kFormUnits), parent), m_Doc(doc),
      m_Store(store), m_Units(CDialogUnits::DialogFont()), m_Commands(doc, [this] { return AskStopRun(); }) {
    m_Commands.SetFlashLog(panel::FlashLogPathFrom(store));
    QWidget* form = Form();
    form->setFont(CDialogUnits::DialogFont());
    form->installEventFilter(this); // the panel's first paint, for the start-up benchmark
    for (widgets::CTextLine* line : {&m_IdentityLine, &m_GeometryLine}) {
        line->setAlignment(Qt::AlignCenter);
        line->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    }
    m_OutcomeLine.setAlignment(Qt::AlignCenter);
    m_OutcomeLine.setTextFormat(Qt::PlainText); // device texts and file names are not markup
    m_OutcomeLine.setWordWrap(true);
    m_OutcomeLine.setAccessibleDescription(QStringLiteral("outcome of the last action"));
    // Alt+O, Alt+S and Alt+M reach the buttons from anywhere in the window.
    m_OnlineButton.setText(QStringLiteral("&Online"));
    m_StartButton.setText(QStringLiteral("&Start"));
    m_MakeBinButton.setText(QStringLiteral("&Make Bin"));
    // Enter presses a focused button, as Space does; a form outside a dialog does not do that by itself.
    m_StartButton.setAutoDefault(true);
    m_MakeBinButton.setAutoDefault(true);

    // Template order, which is also the tab order.
    Place(m_Clock, form, m_Units, {4, 84, 150, 11});
    Place(m_StartButton, form, m_Units, {57, 32, 43, 14});
    Place(m_IdentityLine, form, m_Units, {4, 4, 150, 12});
    Place(m_Status, form, m_Units, {4, 48, 150, 11});
    Place(m_OnlineButton, form, m_Units, {8, 32, 42, 14});
    Place(m_GeometryLine, form, m_Units, kGeometryLine);
    Place(m_MakeBinButton, form, m_Units, {111, 32, 39, 14});
    Place(m_OutcomeLine, form, m_Units, {4, 61, 150, 21});
    setTabOrder(&m_Clock, &m_StartButton);
    setTabOrder(&m_StartButton, &m_Status);
    setTabOrder(&m_Status, &m_OnlineButton);
    setTabOrder(&m_OnlineButton, &m_MakeBinButton);
    m_Status.SetText(QStringLiteral("none"));

    connect(&m_StartButton, &QPushButton::clicked, this, &CBrenwickView::OnStart);
    // Every way of changing the box counts, a click, a key, a mnemonic or an assistive tool's toggle action;
    // the timer's own corrections are made with the signal blocked.
    connect(&m_OnlineButton, &QCheckBox::toggled, this, &CBrenwickView::OnOnline);
    connect(&m_MakeBinButton, &QPushButton::clicked, this, &CBrenwickView::OnMakeBin);
    m_Timer.setInterval(kTimerMs);
    connect(&m_Timer, &QTimer::timeout, this, &CBrenwickView::OnTimer);

    m_MessageGate = std::make_unique<panel::CMessageGate>(
        [context = QPointer<QObject>(this)](std::function<void()> task) {
            return QMetaObject::invokeMethod(context.data(), std::move(task), Qt::QueuedConnection);
        },
        [this](const std::string& text) { ShowProductMessage(text); });
}

CBrenwickView::~CBrenwickView() {
    Shutdown();
}

void CBrenwickView::OnInitialUpdate() {
    if (m_InitDone == 0) {
        m_InitDone = 1;
        AnchorControl(&m_IdentityLine, AnchorTopLeft, AnchorTopRight);
        AnchorControl(&m_GeometryLine, AnchorTopLeft, AnchorTopRight);
        AnchorControl(&m_OnlineButton, AnchorTopCenter, AnchorNone);
        AnchorControl(&m_StartButton, AnchorTopCenter, AnchorNone);
        AnchorControl(&m_MakeBinButton, AnchorTopCenter, AnchorNone);
        AnchorControl(&m_Status, AnchorTopLeft, AnchorTopRight);
        AnchorControl(&m_OutcomeLine, AnchorTopLeft, AnchorTopRight);
        AnchorControl(&m_Clock, AnchorBottomLeft, AnchorBottomRight);
        CResizableFormView::OnInitialUpdate();
        m_Timer.start();
        m_Doc.LoadSettings(m_Store);
        m_Clock.m_TextColor = kClockColor;
        m_Clock.OnTimer();
        m_Status.SetLampColor(widgets::kLampRed);
        m_Doc.Attach(this);
        m_Doc.SetMessageCallback(
            [gate = m_MessageGate.get()](const std::string& text) { gate->ShowAndWait(text); });
        m_Doc.StartWorker();
        // The first thing an operator does is going on line; the clock is only read.
        m_OnlineButton.setFocus();
    } else {
        CResizableFormView::OnInitialUpdate();
    }
    if (m_OnEveryInitialUpdate) {
        m_OnEveryInitialUpdate();
    }
    // Shrink-only fit: a frame larger than the form comes back to the form's size.
    if (auto* frame = qobject_cast<QMainWindow*>(window());
        frame != nullptr && frame->centralWidget() == this) {
        const int menuHeight = frame->menuWidget() != nullptr ? frame->menuWidget()->sizeHint().height() : 0;
        const QSize fitted = DesignSize() + QSize(frameWidth() * 2, frameWidth() * 2 + menuHeight);
        frame->resize(std::min(frame->width(), fitted.width()), std::min(frame->height(), fitted.height()));
    }
}

void CBrenwickView::Shutdown() {
    if (m_ShutDown) {
        return;
    }
    m_ShutDown = true;
    m_Timer.stop();
    // A worker waiting for the operator to close the product message must not hold up its own stop.
    m_MessageGate->Close();
    if (m_MessageBox) {
        m_MessageBox->reject();
    }
    if (m_Question) {
        m_Question->reject();
    }
    m_Doc.Detach();
}

void CBrenwickView::Post(uint32_t message, uint32_t wParam, intptr_t lParam) {
    QCoreApplication::postEvent(this, std::make_unique<CPortEvent>(message, wParam, lParam).release());
}

bool CBrenwickView::event(QEvent* event) {
    if (event->type() == CPortEvent::Type()) {
        const auto* port = static_cast<CPortEvent*>(event);
        m_Doc.OnPortMessage(port->m_Message, port->m_WParam, port->m_LParam);
        return true;
    }
    return CResizableFormView::event(event);
}

bool CBrenwickView::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Form() && event->type() == QEvent::Paint) {
        ReportFirstPaint(); // for the start-up benchmark, when asked for
    }
    return CResizableFormView::eventFilter(watched, event);
}

void CBrenwickView::OnOnline() {
    if (!m_Commands.OnOnline()) {
        const QSignalBlocker quiet(m_OnlineButton);
        m_OnlineButton.setChecked(true); // still on line, the run goes on
    }
}

void CBrenwickView::OnStart() {
    m_Commands.OnStart();
    Refresh();
}

void CBrenwickView::OnMakeBin() {
    m_Commands.OnMakeBin();
    Refresh();
}

void CBrenwickView::NoteAction(const std::string& told) {
    m_Commands.NoteAction(told);
    Refresh();
}

void CBrenwickView::Refresh() {
    if (m_Timer.isActive()) {
        OnTimer(); // the operator sees the answer to what was just done at once
    }
}

bool CBrenwickView::MayInterruptRun() {
    if (!m_Commands.MayInterruptRun()) {
        return false;
    }
    Refresh(); // a stopped run's outcome, before whatever the operator asked for goes on
    return true;
}

bool CBrenwickView::AskStopRun() {
    const bool yes = AskYesNo(window(), panel::kStopRunQuestion, m_Question);
    // The program may have been told to end meanwhile; the run was stopped with it.
    return !m_ShutDown && yes;
}

int CBrenwickView::WidthForTypicalLines() const {
    const panel::DeviceLines typical = panel::TypicalLines();
    const QString lines[] = {QString::fromStdString(typical.identity),
                             QString::fromStdString(typical.geometry)};
    const QFontMetrics metrics(m_GeometryLine.font());
    int text = 0;
    for (const QString& line : lines) {
        text = std::max(text, metrics.horizontalAdvance(line));
    }
    // The line's frame and indent on both sides, and the form's margins around the line.
    const int line = text + 2 * (m_GeometryLine.frameWidth() + metrics.horizontalAdvance(QLatin1Char('x')));
    const int margins = DesignSize().width() - m_Units.ToPixels(kGeometryLine).width();
    return std::max(DesignSize().width(), line + margins) + 2 * frameWidth();
}

void CBrenwickView::OnTimer() {
    const DocSnapshot doc = m_Doc.Snapshot();
    Show(m_Commands.Tick(doc), doc);
}

void CBrenwickView::Show(const panel::PanelView& view, const DocSnapshot& doc) {
    // The box follows the link, except while a command it started is still on its way.
    if (!doc.commandPending && m_OnlineButton.isChecked() != doc.onLine) {
        const QSignalBlocker quiet(m_OnlineButton);
        m_OnlineButton.setChecked(doc.onLine);
    }
    m_StartButton.setEnabled(view.startEnabled);
    const auto setLine = [](widgets::CTextLine& line, const QString& text) {
        if (line.text() != text) {
            line.SetLine(text);
        }
    };
    // A long device name does not fit the form's width; the whole line stays readable on hover.
    if (const auto lines = panel::LinesToShow(view, doc)) {
        setLine(m_IdentityLine, QString::fromLatin1(lines->identity));
        setLine(m_GeometryLine, QString::fromLatin1(lines->geometry));
    }
    const QString detail = QString::fromStdString(view.detail);
    if (m_OutcomeLine.text() != detail) {
        m_OutcomeLine.setText(detail);
        m_OutcomeLine.setToolTip(detail); // a reason longer than two lines is read whole on hover
    }
    m_Status.SetLampColor(view.lamp);
    m_Status.SetLampMeaning(QString::fromStdString(view.lampMeaning));
    m_Status.SetDetail(detail);
    m_Status.SetProgressShown(view.showsProgress);
    m_Status.SetPos(view.showsProgress ? static_cast<uint32_t>(std::max(view.progress, 0)) : 0U);
    m_StatusText = QString::fromStdString(view.text);
    m_Status.SetText(m_StatusText);
}

void CBrenwickView::ShowProductMessage(const std::string& text) {
    auto box = std::make_unique<QMessageBox>(QMessageBox::Warning, QStringLiteral("Brenwick"),
                                             QString::fromStdString(text), QMessageBox::Ok, window());
    m_MessageBox = box.release(); // the window owns it
    m_MessageBox->exec();
    if (m_MessageBox) {
        m_MessageBox->deleteLater();
    }
}

} // namespace brenwick::app
