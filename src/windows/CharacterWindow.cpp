#include "windows/CharacterWindow.h"

#include <QCloseEvent>
#include <QPainter>
#include <QScreen>
#include <QSettings>
#include <QVBoxLayout>

#include "windows/PlayerController.h"
#include "windows/ViewInput.h"
#include "windows/ViewOverlay.h"

namespace tw {

namespace {

constexpr char PlaceKey[] = "CharacterWindow/geometry";

QSettings Settings() { return QSettings(QStringLiteral("Tweenwright"), QStringLiteral("Tweenwright")); }

// Paints the player's picture over its whole rectangle, and works the player
// with its own input.
class Surface : public QWidget {
public:
    Surface(PlayerController& player, QWidget* parent)
        : QWidget(parent), player_(player), input_(player, {}, WaveBand) {
        setObjectName(QStringLiteral("CharacterSurface"));
        setAttribute(Qt::WA_OpaquePaintEvent);
        setFocusPolicy(Qt::StrongFocus);
        setMinimumSize(120, 150);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        player_.Scene().Draw(p, rect());
        overlay_.Paint(p, rect(), player_, hasFocus());
    }
    bool event(QEvent* e) override {
        // A double-click here only raises this window.
        if (e->type() == QEvent::MouseButtonDblClick) return true;
        if (input_.Handle(this, rect(), e)) return true;
        return QWidget::event(e);
    }

private:
    PlayerController& player_;
    static constexpr int WaveBand = 64;  // the waveform's height here
    ViewOverlay overlay_{WaveBand};
    ViewInput input_;
};

}  // namespace

CharacterWindow::CharacterWindow(PlayerController& player, QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("CharacterWindow"));
    setWindowTitle(QStringLiteral("Character"));
    // The program ends with its main window, whether or not this one is open.
    setAttribute(Qt::WA_QuitOnClose, false);
    surface_ = new Surface(player, this);
    connect(&player, &PlayerController::Changed, this, &CharacterWindow::Repaint);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(surface_);
    resize(540, 660);
}

CharacterWindow::~CharacterWindow() {
    if (isVisible()) SavePlace();
}

void CharacterWindow::ShowRaised() {
    if (!placed_) {
        placed_ = true;
        const QByteArray saved = Settings().value(QLatin1String(PlaceKey)).toByteArray();
        if (saved.isEmpty() || !restoreGeometry(saved)) {
            // Beside the main window the first time, on its screen.
            const QWidget* main = parentWidget() ? parentWidget()->window() : nullptr;
            if (main) move(main->frameGeometry().topRight() + QPoint(8, 0));
        }
    }
    show();
    raise();
    activateWindow();
    surface_->setFocus(Qt::OtherFocusReason);
}

void CharacterWindow::Repaint() {
    if (isVisible()) surface_->update();
}

void CharacterWindow::SavePlace() const { Settings().setValue(QLatin1String(PlaceKey), saveGeometry()); }

void CharacterWindow::closeEvent(QCloseEvent* event) {
    // Closing only hides the window; the view and its player go on.
    SavePlace();
    event->accept();
}

}  // namespace tw
