#include "app/HelpWindow.h"

#include <QDir>
#include <QFileInfo>
#include <QUrl>
#include <QVBoxLayout>

namespace brenwick::app {

CHelpWindow::CHelpWindow(QWidget* owner) : QWidget(owner, Qt::Window) {
    setWindowTitle(QStringLiteral("Brenwick Help"));
    m_Browser.setOpenExternalLinks(true);
    auto layout = std::make_unique<QVBoxLayout>();
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(&m_Browser);
    setLayout(layout.release()); // the window owns its layout
    resize(640, 560);
}

bool CHelpWindow::ShowIndex(const QString& folder) {
    const QString index = QDir(folder).filePath(QStringLiteral("index.html"));
    if (folder.isEmpty() || !QFileInfo(index).isFile()) {
        return false;
    }
    m_Browser.setSearchPaths({folder});
    m_Browser.setSource(QUrl::fromLocalFile(index));
    show();
    raise();
    activateWindow();
    return true;
}

QString FindHelpFolder(const QString& programFolder) {
    const QDir program(programFolder);
    for (const QString& candidate : {QStringLiteral("help"), QStringLiteral("../share/brenwick/help")}) {
        const QString folder = QDir::cleanPath(program.filePath(candidate));
        if (QFileInfo(QDir(folder).filePath(QStringLiteral("index.html"))).isFile()) {
            return folder;
        }
    }
    return {};
}

} // namespace brenwick::app
