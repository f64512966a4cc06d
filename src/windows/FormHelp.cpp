#include "windows/FormHelp.h"

#include <QPlainTextEdit>
#include <QResizeEvent>
#include <algorithm>

#include "document/HelpText.h"
#include "windows/Twips.h"

namespace tw {

namespace {
// The text keeps its top-left corner at 120 twips and leaves 144 twips to the
// right and below: the margins of a window whose frame adds 36 twips across
// and 536 down, so the rule holds whatever frame this platform draws.
constexpr int kOrigin = 120;
constexpr int kMarginsAcross = kOrigin + 144;
constexpr int kMarginsDown = kOrigin + 144;
}  // namespace

FormHelp::FormHelp(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMaximizeButtonHint |
                          Qt::WindowCloseButtonHint) {
    setObjectName(QStringLiteral("FormHelp"));
    setWindowTitle(QStringLiteral("Help"));
    Text1 = new QPlainTextEdit(this);
    Text1->setObjectName(QStringLiteral("Text1"));
    Text1->setReadOnly(true);
    Text1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPointSize(12);
    Text1->setFont(font);
    resize(Px(8916), Px(7956));
    Form_Load();
}

void FormHelp::Form_Load() {
    // The guide's lines end in CR LF; the text box breaks lines at LF alone.
    QString text = QString::fromUtf8(HelpText.data(), static_cast<qsizetype>(HelpText.size()));
    Text1->setPlainText(text.replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    Form_Resize();
}

void FormHelp::Form_Resize() {
    // A window smaller than the margins leaves the text box empty-sized.
    const int textWidth = std::max(0, width() - Px(kMarginsAcross));
    const int textHeight = std::max(0, height() - Px(kMarginsDown));
    Text1->setGeometry(Px(kOrigin), Px(kOrigin), textWidth, textHeight);
}

void FormHelp::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    Form_Resize();
}

}  // namespace tw
