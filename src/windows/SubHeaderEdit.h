// The multi-line sub header field. Pasting when the clipboard holds no text
// does nothing; the stock text edit can crash on a clipboard without data.
#pragma once

#include <QPlainTextEdit>

namespace tw {

class SubHeaderEdit : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit SubHeaderEdit(QWidget* parent) : QPlainTextEdit(parent) {}

protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool canInsertFromMimeData(const QMimeData* source) const override;
    void insertFromMimeData(const QMimeData* source) override;
};

}  // namespace tw
