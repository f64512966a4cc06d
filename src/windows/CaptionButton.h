// A push button whose caption wraps onto several lines when the button is too
// narrow for it, as the window's fixed layout needs. The caption keeps its
// ampersand access key.
#pragma once

#include <QPushButton>

namespace tw {

class CaptionButton : public QPushButton {
    Q_OBJECT
public:
    CaptionButton(const QString& caption, QWidget* parent);

protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace tw
