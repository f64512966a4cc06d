// The large window of the character view: a separate, resizable window
// titled "Character" that shows the view's own player at its own size. It
// holds no state of its own: the picture, the camera and the transport are
// the view's, and its mouse and keys work the view as the view's own do.
// Its size and place are kept between runs.
#pragma once

#include <QWidget>

namespace tw {

class CharacterView;

class CharacterWindow : public QWidget {
    Q_OBJECT
public:
    explicit CharacterWindow(CharacterView* view);
    ~CharacterWindow() override;

    // Shows the window where it stood last time (or beside the main
    // window the first time) and brings it to the front.
    void ShowRaised();

public slots:
    void Repaint();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void SavePlace() const;

    QWidget* surface_;
    bool placed_ = false;
};

}  // namespace tw
