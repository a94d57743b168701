#include "app/CBrenwickView.h"

#include "app/FirstPaint.h"
#include "app/PanelState.h"
#include "protocol/DocSnapshot.h"

#include <QCoreApplication>
#include <QEvent>
#include <QMainWindow>

namespace brenwick::app {

namespace {

using panel::AnchorBottomLeft;
using panel::AnchorBottomRight;
using panel::AnchorNone;
using panel::AnchorTopCenter;
using panel::AnchorTopLeft;
using panel::AnchorTopRight;
using panel::CDialogUnits;

constexpr QSize kFormUnits{157, 77};
constexpr int kTimerMs = 200;
constexpr panel::COLORREF kClockColor = 0x00804040; // dark slate blue

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
      m_Store(store), m_Units(CDialogUnits::DialogFont()) {
    QWidget* form = Form();
    form->setFont(CDialogUnits::DialogFont());
    form->installEventFilter(this); // the panel's first paint, for the start-up benchmark
    for (panel::CTextLine* line : {&m_IdentityLine, &m_GeometryLine}) {
        line->setAlignment(Qt::AlignCenter);
        line->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    }
    m_OnlineButton.setText(QStringLiteral("Online"));
    m_StartButton.setText(QStringLiteral("Start"));
    m_MakeBinButton.setText(QStringLiteral("Make Bin"));
    // Enter presses a focused button, as Space does; a form outside a dialog does not do that by itself.
    m_StartButton.setAutoDefault(true);
    m_MakeBinButton.setAutoDefault(true);

    // Template order, which is also the tab order.
    Place(m_Clock, form, m_Units, {4, 62, 150, 11});
    Place(m_StartButton, form, m_Units, {57, 32, 43, 14});
    Place(m_IdentityLine, form, m_Units, {4, 4, 150, 12});
    Place(m_Status, form, m_Units, {4, 48, 150, 11});
    Place(m_OnlineButton, form, m_Units, {8, 32, 42, 14});
    Place(m_GeometryLine, form, m_Units, {4, 18, 150, 12});
    Place(m_MakeBinButton, form, m_Units, {111, 32, 39, 14});
    setTabOrder(&m_Clock, &m_StartButton);
    setTabOrder(&m_StartButton, &m_Status);
    setTabOrder(&m_Status, &m_OnlineButton);
    setTabOrder(&m_OnlineButton, &m_MakeBinButton);
    m_Status.SetText(QStringLiteral("none"));

    connect(&m_StartButton, &QPushButton::clicked, this, &CBrenwickView::OnStart);
    connect(&m_OnlineButton, &QCheckBox::clicked, this, &CBrenwickView::OnOnline);
    connect(&m_MakeBinButton, &QPushButton::clicked, this, &CBrenwickView::OnMakeBin);
    m_Timer.setInterval(kTimerMs);
    connect(&m_Timer, &QTimer::timeout, this, &CBrenwickView::OnTimer);

    m_MessageGate =
        std::make_unique<CMessageGate>(this, [this](const std::string& text) { ShowProductMessage(text); });
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
        AnchorControl(&m_Clock, AnchorBottomLeft, AnchorBottomRight);
        CResizableFormView::OnInitialUpdate();
        m_Timer.start();
        m_Doc.LoadSettings(m_Store);
        m_Clock.m_TextColor = kClockColor;
        m_Clock.OnTimer();
        m_Status.SetLampColor(panel::kLampRed);
        m_Doc.m_hNotifyWnd = this;
        m_Doc.SetMessageCallback(
            [gate = m_MessageGate.get()](const std::string& text) { gate->ShowAndWait(text); });
        m_Doc.StartWorker();
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
    m_Doc.StopWorker();
    m_Doc.ClosePort();
    if (m_Doc.m_hNotifyWnd == this) {
        m_Doc.m_hNotifyWnd = nullptr;
    }
    m_Doc.SetMessageCallback({});
}

void CBrenwickView::Post(uint32_t message, uint32_t wParam, intptr_t lParam) {
    QCoreApplication::postEvent(this, std::make_unique<CPortEvent>(message, wParam, lParam).release());
}

bool CBrenwickView::event(QEvent* event) {
    if (event->type() == CPortEvent::Type()) {
        const auto* port = static_cast<CPortEvent*>(event);
        if (port->m_Message == protocol::kPortMessage) {
            m_Doc.OnPortEvent(port->m_WParam & 0xFFFF, port->m_LParam);
        }
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
    // The port decides, not the box: the click has already toggled the mark, and the timer corrects it.
    m_Doc.PostCommand(m_Doc.m_Port.IsOpen() ? WorkerCommand::Disconnect : WorkerCommand::Connect);
}

void CBrenwickView::OnStart() {
    if (m_Doc.ReloadImage() != 0) {
        m_Doc.PostCommand(WorkerCommand::Program);
    }
}

void CBrenwickView::OnMakeBin() {
    m_Doc.MakeBin();
}

void CBrenwickView::OnTimer() {
    const DocSnapshot doc = m_Doc.Snapshot();
    const int onLine = doc.onLine ? 1 : 0;
    if (m_OnlineCheck != onLine) {
        m_OnlineButton.setChecked(onLine != 0);
        m_OnlineCheck = onLine;
    }
    const int state = static_cast<int>(doc.linkState);
    if (state != m_ShownState || doc.fileLoaded != m_ShownFileLoaded) {
        m_StatusText.clear();
        m_ShownState = state;
        m_ShownFileLoaded = doc.fileLoaded;
        m_StartButton.setEnabled(doc.linkState == LinkState::Connected);

        const StatePaint paint = PaintFor(state, doc.fileLoaded);
        switch (paint.lines) {
        case StatePaint::Lines::Device:
            // A long device name does not fit the form's width; the whole line stays readable on hover.
            m_IdentityLine.SetLine(
                QString::fromLatin1(IdentityText(doc.targetName, doc.flashRev, doc.bootRev)));
            m_GeometryLine.SetLine(QString::fromLatin1(
                GeometryText(doc.serialNumber, doc.flashSize, doc.pageSize, doc.bootLength)));
            break;
        case StatePaint::Lines::Cleared:
            m_IdentityLine.SetLine({});
            m_GeometryLine.SetLine({});
            m_OnlineButton.setChecked(onLine != 0);
            m_OnlineCheck = onLine;
            break;
        case StatePaint::Lines::Unchanged:
            break;
        }
        m_Status.SetLampColor(paint.lamp);
        m_Status.SetLampMeaning(QString::fromLatin1(paint.lampMeaning));
        m_Status.SetProgressShown(paint.showsProgress);
        m_Status.SetPos(paint.showsProgress ? static_cast<uint32_t>(std::max(doc.progress, 0)) : 0U);
        m_StatusText = QString::fromLatin1(paint.text);
        if (paint.repaintsEveryTick) {
            m_ShownState = ~state;
        }
    }
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
