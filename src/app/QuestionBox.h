#pragma once

#include <QMessageBox>
#include <QPointer>

namespace brenwick::app {

// Asks `question` in a Yes/No box over `parent`, No by default; `open` points at the box while it is shown,
// so that a test can answer it and a closing window can close it. True for Yes.
bool AskYesNo(QWidget* parent, const char* question, QPointer<QMessageBox>& open);

} // namespace brenwick::app
