#include "windows/Dialogs.h"

#include <QInputDialog>
#include <QMessageBox>

#include "document/MessageText.h"

namespace tw {

namespace {
const QString kTitle = QStringLiteral("Tweenwright");
}

void MessageBoxDialogs::Inform(QWidget* parent, const QString& text) {
    // However long a text reached here, the box shows what fits in it.
    QMessageBox::information(parent, kTitle, QString::fromStdString(FitForBox(text.toStdString())),
                             QMessageBox::Ok);
}

bool MessageBoxDialogs::Ask(QWidget* parent, const QString& text) {
    return QMessageBox::question(parent, kTitle, text, QMessageBox::Yes | QMessageBox::No) ==
           QMessageBox::Yes;
}

std::optional<QString> MessageBoxDialogs::AskText(QWidget* parent, const QString& text, const QString& initial) {
    bool ok = false;
    const QString answer = QInputDialog::getText(parent, kTitle, text, QLineEdit::Normal, initial, &ok);
    if (!ok) return std::nullopt;
    return answer;
}

}  // namespace tw
