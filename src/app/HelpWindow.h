#pragma once

#include <QString>
#include <QTextBrowser>
#include <QWidget>

namespace brenwick::app {

// The operator's help: the HTML pages of the help folder in a window of its own, owned by the main window.
class CHelpWindow : public QWidget {
    Q_OBJECT

  public:
    explicit CHelpWindow(QWidget* owner);

    // Shows `folder`/index.html; false, and nothing shown, when the page is not there.
    bool ShowIndex(const QString& folder);
    QTextBrowser& Browser() { return m_Browser; }

  private:
    QTextBrowser m_Browser;
};

// The help folder: "help" beside the program in the build tree, share/brenwick/help when installed.
QString FindHelpFolder(const QString& programFolder);

} // namespace brenwick::app
