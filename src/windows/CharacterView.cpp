#include "windows/CharacterView.h"

#include <QPainter>

#include "windows/CharacterWindow.h"

namespace tw {

CharacterView::CharacterView(QWidget* parent)
    : QFrame(parent), controller_(this), input_(controller_, [this] { OpenLarge(); }) {
    setObjectName(QStringLiteral("ActiveHaptekX1"));
    setFrameShape(QFrame::StyledPanel);
    setAttribute(Qt::WA_OpaquePaintEvent);
    // A click gives the keyboard to the view; Tab passes it by.
    setFocusPolicy(Qt::ClickFocus);
    connect(&controller_, &PlayerController::Changed, this, qOverload<>(&QWidget::update));
    connect(&controller_, &PlayerController::LoadFinished, this, &CharacterView::LoadFinished);
}

CharacterView::~CharacterView() = default;

void CharacterView::SendCommand(const QString& command) {
    commands_.append(command);
    controller_.Perform(command);
    emit CommandSent(command);
}

void CharacterView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QRect area = contentsRect();
    controller_.Scene().Draw(p, area);
    overlay_.Paint(p, area, controller_, hasFocus());
    drawFrame(&p);
}

bool CharacterView::event(QEvent* e) {
    if (input_.Handle(this, contentsRect(), e)) return true;
    return QFrame::event(e);
}

void CharacterView::OpenLarge() {
    if (!large_) large_ = new CharacterWindow(controller_, this);
    large_->ShowRaised();
}

CharacterWindow* CharacterView::LargeWindow() const { return large_; }

}  // namespace tw
