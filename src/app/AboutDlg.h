#pragma once

#include <QDialog>

namespace brenwick::app {

inline constexpr const char* kVersionText = "Brenwick Version 1.25";

// "About Brenwick": the version line, the maker, OK.
class CAboutDlg : public QDialog {
    Q_OBJECT

  public:
    explicit CAboutDlg(QWidget* parent = nullptr);
};

} // namespace brenwick::app
