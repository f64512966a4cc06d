// The help window: the user guide in one read-only scrollable text that
// grows and shrinks with the window.
#pragma once

#include <QWidget>

class QPlainTextEdit;

namespace tw {

class FormHelp : public QWidget {
    Q_OBJECT
public:
    // Its text is found by its name, Text1.
    explicit FormHelp(QWidget* parent = nullptr);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void Form_Load();
    void Form_Resize();

    QPlainTextEdit* Text1;
};

}  // namespace tw
