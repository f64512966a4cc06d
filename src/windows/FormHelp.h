// The help window: the user guide in one read-only scrollable text that
// grows and shrinks with the window.
#pragma once

#include <QWidget>

class QPlainTextEdit;

namespace tw {

class FormHelp : public QWidget {
    Q_OBJECT
public:
    explicit FormHelp(QWidget* parent = nullptr);

    QPlainTextEdit* Text1;

    void Form_Load();
    void Form_Resize();

protected:
    void resizeEvent(QResizeEvent* event) override;
};

}  // namespace tw
