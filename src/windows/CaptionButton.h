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

// A caption button with its control name, placed in twips on `parent`.
CaptionButton* MakeCaptionButton(QWidget* parent, const char* name, const char* caption, int left,
                                 int top, int width, int height);

}  // namespace tw
