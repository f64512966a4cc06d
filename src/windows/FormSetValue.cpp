#include "windows/FormSetValue.h"

#include <QKeyEvent>
#include <QSignalBlocker>
#include <QSlider>
#include <functional>

#include "document/DocumentTexts.h"
#include "document/NumberText.h"
#include "document/RegisterCatalogue.h"
#include "windows/DocumentModel.h"
#include "windows/Twips.h"

namespace tw {

namespace {

// A slider that reports every mouse release over it, once it has handled the
// release itself (a click on the groove releases without a thumb drag).
class ReleaseSlider : public QSlider {
public:
    ReleaseSlider(QWidget* parent, std::function<void()> onRelease)
        : QSlider(Qt::Horizontal, parent), onRelease_(std::move(onRelease)) {}

protected:
    void mouseReleaseEvent(QMouseEvent* event) override {
        QSlider::mouseReleaseEvent(event);
        onRelease_();
    }

private:
    std::function<void()> onRelease_;
};

}  // namespace

FormSetValue::FormSetValue(DocumentModel& document, QWidget* main)
    : QWidget(main, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                        Qt::WindowCloseButtonHint),
      document_(document) {
    setObjectName(QStringLiteral("FormSetValue"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Set Value"));
    setFixedSize(Px(3744), Px(828));
    SliderSetValue = new ReleaseSlider(this, [this] { SliderSetValue_MouseUp(); });
    SliderSetValue->setObjectName(QStringLiteral("SliderSetValue"));
    SliderSetValue->setRange(-100, 100);
    SliderSetValue->setSingleStep(1);
    SliderSetValue->setPageStep(40);
    SliderSetValue->setTickPosition(QSlider::TicksBelow);
    SliderSetValue->setTickInterval(10);
    PlaceTwips(SliderSetValue, 120, 120, 3492, 612);
    connect(SliderSetValue, &QSlider::valueChanged, this, &FormSetValue::SliderSetValue_Scroll);
    // Key preview: typed characters reach the window before the slider.
    SliderSetValue->installEventFilter(this);
    installEventFilter(this);
}

void FormSetValue::SetTarget(KeyframeSide side, int index, int sliderPosition) {
    {
        // Placing the thumb for a new box is not a move by the user.
        const QSignalBlocker quiet(SliderSetValue);
        SliderSetValue->setValue(sliderPosition);
    }
    editSide_ = side;
    editIndex_ = index;
}

double FormSetValue::SliderValue() const {
    // Positions stay within -100..100, so values stay within the scales.
    return PositionToValue(editIndex_, SliderSetValue->value());
}

void FormSetValue::LoadSliderValue(const QString& text) {
    DocumentTexts document = document_.ReadDocument();
    auto& column = editSide_ == KeyframeSide::Initial ? document.initial : document.final;
    column[editIndex_] = text.toStdString();
    document_.WriteDocument(document);
    emit ValueWritten(editSide_, editIndex_);
}

void FormSetValue::SliderSetValue_Scroll() {
    LoadSliderValue(QString::fromStdString(DecimalText(SliderValue())));
}

void FormSetValue::SliderSetValue_MouseUp() {
    LoadSliderValue(QString::fromStdString(DecimalText(static_cast<float>(SliderValue()))));
    document_.PreviewKeyframe(editSide_);
    hide();
    ReturnToMain();
}

void FormSetValue::Form_KeyPress(QChar key) {
    const QString k(key);
    if (k == QLatin1String(".") || k == QLatin1String("-")) LoadSliderValue(k);
    else LoadSliderValue(QString::fromStdString(DecimalText(NumericValue(k.toStdString()))));
    hide();
    ReturnToMain();
}

void FormSetValue::ReturnToMain() {
    // The box keeps the main window's focus, so the next keys go on into it.
    if (QWidget* main = parentWidget()) {
        main->raise();
        main->activateWindow();
    }
}

bool FormSetValue::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        // Keys that type a character (also Enter, Escape, Backspace and the
        // space bar); arrows and page keys move the thumb instead.
        if (!key->text().isEmpty() && key->key() != Qt::Key_Tab && key->key() != Qt::Key_Backtab) {
            Form_KeyPress(key->text().at(0));
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace tw
