// The large window of the character view: a separate, resizable window
// titled "Character" that shows the view's player at its own size. The
// picture, the camera and the transport are the player's, and its mouse and
// keys work the player as the view's own do. Its size and place are kept
// between runs.
#pragma once

#include <QWidget>

namespace tw {

class PlayerController;

class CharacterWindow : public QWidget {
    Q_OBJECT
public:
    // `parent` is the window it belongs to (it is placed beside it).
    CharacterWindow(PlayerController& player, QWidget* parent);
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
