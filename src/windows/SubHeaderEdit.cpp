#include "windows/SubHeaderEdit.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMimeData>

namespace tw {

namespace {
bool ClipboardHasText() {
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    return data && data->hasText();
}
}  // namespace

void SubHeaderEdit::keyPressEvent(QKeyEvent* event) {
    if (event->matches(QKeySequence::Paste) && !ClipboardHasText()) {
        event->accept();
        return;
    }
    QPlainTextEdit::keyPressEvent(event);
}

bool SubHeaderEdit::canInsertFromMimeData(const QMimeData* source) const {
    return source && QPlainTextEdit::canInsertFromMimeData(source);
}

void SubHeaderEdit::insertFromMimeData(const QMimeData* source) {
    if (source) QPlainTextEdit::insertFromMimeData(source);
}

}  // namespace tw
