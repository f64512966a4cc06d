#include "windows/Dialogs.h"

#include <QMessageBox>

namespace tw {

namespace {
const QString kTitle = QStringLiteral("Tweenwright");
}

void MessageBoxDialogs::Inform(QWidget* parent, const QString& text) {
    QMessageBox::information(parent, kTitle, text, QMessageBox::Ok);
}

bool MessageBoxDialogs::Ask(QWidget* parent, const QString& text) {
    return QMessageBox::question(parent, kTitle, text, QMessageBox::Yes | QMessageBox::No) ==
           QMessageBox::Yes;
}

}  // namespace tw
