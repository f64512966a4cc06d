#include "windows/CaptionButton.h"

#include <QStyleOptionButton>
#include <QStylePainter>

#include "windows/Twips.h"

namespace tw {

CaptionButton::CaptionButton(const QString& caption, QWidget* parent)
    : QPushButton(caption, parent) {}

CaptionButton* MakeCaptionButton(QWidget* parent, const char* name, const char* caption, int left,
                                 int top, int width, int height) {
    auto* button = new CaptionButton(QString::fromLatin1(caption), parent);
    button->setObjectName(QString::fromLatin1(name));
    PlaceTwips(button, left, top, width, height);
    return button;
}

void CaptionButton::paintEvent(QPaintEvent*) {
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    option.text.clear();
    painter.drawControl(QStyle::CE_PushButtonBevel, option);
    const int flags = Qt::AlignCenter | Qt::TextWordWrap | Qt::TextShowMnemonic;
    painter.setPen(palette().color(isEnabled() ? QPalette::ButtonText : QPalette::PlaceholderText));
    painter.drawText(rect().adjusted(2, 1, -2, -1), flags, text());
}

}  // namespace tw
