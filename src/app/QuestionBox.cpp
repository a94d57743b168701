#include "app/QuestionBox.h"

#include <memory>

namespace brenwick::app {

bool AskYesNo(QWidget* parent, const char* question, QPointer<QMessageBox>& open) {
    auto box = std::make_unique<QMessageBox>(QMessageBox::Question, QStringLiteral("Brenwick"),
                                             QString::fromLatin1(question),
                                             QMessageBox::Yes | QMessageBox::No, parent);
    box->setDefaultButton(QMessageBox::No);
    open = box.release(); // the parent owns it
    const int answer = open->exec();
    if (open) {
        open->deleteLater();
    }
    return answer == QMessageBox::Yes;
}

} // namespace brenwick::app
