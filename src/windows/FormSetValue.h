// The value slider window: one slider from -100 to 100 over the scales of the
// register whose value box was clicked. Dragging rewrites the box, releasing
// the mouse writes the value, previews the keyframe and hides the window; a
// typed key hands the typing back to the box.
#pragma once

#include <QWidget>

#include "windows/RegisterPanel.h"

class QSlider;

namespace tw {

class DocumentModel;

class FormSetValue : public QWidget {
    Q_OBJECT
public:
    // Its slider is found by its name, SliderSetValue.
    // `main` is the window it belongs to; `document` holds the boxes it edits.
    FormSetValue(DocumentModel& document, QWidget* main);

    // The box edited from now on and the slider's position for its value
    // (a position beyond the slider's ends goes to the nearer end).
    void SetTarget(KeyframeSide side, int index, int sliderPosition);
    KeyframeSide EditSide() const { return editSide_; }
    int EditIndex() const { return editIndex_; }

    // Writes `text` into the edited box.
    void LoadSliderValue(const QString& text);

public slots:
    void SliderSetValue_Scroll();
    void SliderSetValue_MouseUp();
    void Form_KeyPress(QChar key);

signals:
    // The edited box has been written; its caret belongs at the end.
    void ValueWritten(tw::KeyframeSide side, int index);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    double SliderValue() const;
    void ReturnToMain();

    QSlider* SliderSetValue;
    KeyframeSide editSide_ = KeyframeSide::Initial;
    int editIndex_ = 0;
    DocumentModel& document_;
};

}  // namespace tw
