// Shows the operator panel's widgets on a demo form; with --screenshot FILE it saves a picture of the window
// once it is shown and ends.
#include "DemoForm.h"
#include "base/StandardStreams.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QTimer>
#include <cstdio>

using namespace brenwick;

int main(int argc, char* argv[]) {
    if (!EnsureStandardStreams()) {
        return 1;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("brenwick-panel-demo"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Shows the Brenwick operator panel widgets."));
    parser.addHelpOption();
    const QCommandLineOption screenshot(QStringLiteral("screenshot"),
                                        QStringLiteral("Save a picture of the window to <file> and quit."),
                                        QStringLiteral("file"));
    const QCommandLineOption width(QStringLiteral("width"), QStringLiteral("Window width in pixels."),
                                   QStringLiteral("pixels"));
    parser.addOption(screenshot);
    parser.addOption(width);
    parser.process(app);

    const brenwick::panel::CDialogUnits units(brenwick::panel::CDialogUnits::DialogFont());
    brenwick::panel::demo::CDemoForm form(units);
    form.setWindowTitle(QStringLiteral("Brenwick panel demo"));
    form.OnInitialUpdate();
    QSize size = form.DesignSize();
    if (parser.isSet(width)) {
        bool ok = false;
        const int pixels = parser.value(width).toInt(&ok);
        if (!ok || pixels <= 0) {
            std::fprintf(stderr, "brenwick-panel-demo: --width needs a positive number of pixels\n");
            return 2;
        }
        size.setWidth(pixels);
    }
    form.resize(size);
    form.show();

    if (parser.isSet(screenshot)) {
        const QString file = parser.value(screenshot);
        QTimer::singleShot(500, &form, [&form, file] {
            if (!form.grab().save(file)) {
                std::fprintf(stderr, "brenwick-panel-demo: cannot write %s\n", qPrintable(file));
                QCoreApplication::exit(1);
                return;
            }
            QCoreApplication::quit();
        });
    }
    return QApplication::exec();
}
