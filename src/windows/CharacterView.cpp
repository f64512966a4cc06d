#include "windows/CharacterView.h"

#include <QLabel>
#include <QVBoxLayout>

namespace tw {

namespace {
constexpr int ShownCommands = 12;
}

CharacterView::CharacterView(QWidget* parent) : QFrame(parent), log_(new QLabel(this)) {
    setObjectName(QStringLiteral("ActiveHaptekX1"));
    setFrameShape(QFrame::StyledPanel);
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, QColor(40, 44, 52));
    p.setColor(QPalette::WindowText, QColor(210, 215, 225));
    setPalette(p);
    log_->setAlignment(Qt::AlignLeft | Qt::AlignBottom);
    log_->setWordWrap(true);
    log_->setTextFormat(Qt::PlainText);
    auto* layout = new QVBoxLayout(this);
    auto* title = new QLabel(tr("Character view"), this);
    title->setAlignment(Qt::AlignHCenter);
    layout->addWidget(title);
    layout->addWidget(log_, 1);
}

void CharacterView::SendCommand(const QString& command) {
    commands_.append(command);
    QStringList recent = commands_.mid(qMax(0, commands_.size() - ShownCommands));
    log_->setText(recent.join(QLatin1Char('\n')));
    emit CommandSent(command);
}

}  // namespace tw
