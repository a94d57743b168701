#include "app/AboutDlg.h"

#include "panel/CommandLine.h"
#include "widgets/DialogUnits.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QStyle>

namespace brenwick::app {

namespace {

using widgets::CDialogUnits;

template <class Widget>
Widget* Add(QDialog* dialog, const CDialogUnits& units, QRect place) {
    auto widget = std::make_unique<Widget>();
    widget->setParent(dialog);
    widget->setGeometry(units.ToPixels(place));
    return widget.release(); // the dialog owns it
}

} // namespace

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("About Brenwick"));
    setFont(CDialogUnits::DialogFont());
    const CDialogUnits units(font());
    setFixedSize(units.ToPixels(QSize(235, 55)));

    auto* icon = Add<QLabel>(this, units, {11, 17, 20, 20});
    const QIcon appIcon = QApplication::windowIcon().isNull()
                              ? style()->standardIcon(QStyle::SP_MessageBoxInformation)
                              : QApplication::windowIcon();
    icon->setPixmap(appIcon.pixmap(icon->size()));
    auto* version = Add<QLabel>(this, units, {40, 10, 119, 8});
    version->setTextFormat(Qt::PlainText);
    version->setText(QString::fromStdString(panel::VersionText()));
    auto* maker = Add<QLabel>(this, units, {40, 25, 119, 8});
    maker->setText(QStringLiteral("Veltmark, 2026"));
    auto* ok = Add<QPushButton>(this, units, {178, 7, 50, 14});
    ok->setText(QStringLiteral("OK"));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

} // namespace brenwick::app
