#pragma once

#include <QDialog>

namespace brenwick::app {

// "About Brenwick": the version line, the maker, OK.
class CAboutDlg : public QDialog {
    Q_OBJECT

  public:
    explicit CAboutDlg(QWidget* parent = nullptr);
};

} // namespace brenwick::app
