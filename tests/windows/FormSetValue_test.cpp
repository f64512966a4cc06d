// The value slider window driven as a user drives it: a value box clicked,
// the thumb dragged and released or moved by keys, characters typed into it.
#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QStyleOptionSlider>
#include <QTest>
#include <memory>

#include "WindowTestSupport.h"
#include "windows/CharacterView.h"
#include "windows/FormSetValue.h"
#include "windows/MainForm.h"
#include "windows/RegisterPanel.h"
#include "windows/Twips.h"

using namespace tw;

namespace {

// Where the middle of the thumb is when the slider shows `value`.
QPoint ThumbCentre(QSlider* slider, int value) {
    QStyleOptionSlider option;
    option.initFrom(slider);
    option.orientation = slider->orientation();
    option.minimum = slider->minimum();
    option.maximum = slider->maximum();
    option.sliderPosition = option.sliderValue = slider->value();
    option.tickPosition = slider->tickPosition();
    option.subControls = QStyle::SC_All;
    QStyle* style = slider->style();
    QRect handle = style->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, slider);
    QRect groove = style->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderGroove, slider);
    int span = groove.width() - handle.width();
    int x = groove.x() + QStyle::sliderPositionFromValue(option.minimum, option.maximum, value, span);
    return QPoint(x + handle.width() / 2, handle.center().y());
}

}  // namespace

class FormSetValueTest : public QObject {
    Q_OBJECT

    QStringList messages;
    std::unique_ptr<MainForm> form;

    FormSetValue* ClickBox(EditSideKind side, int index) {
        QLineEdit* box = side == EditSideKind::Initial ? form->Panel->f0initial[index] : form->Panel->f0final[index];
        QTest::mouseClick(box, Qt::LeftButton);
        auto* slider = qobject_cast<FormSetValue*>(form->SliderWindow.data());
        if (slider && !QTest::qWaitForWindowActive(slider)) return nullptr;
        return slider;
    }
    // Drags the thumb from where it is to `value`; returns the box text
    // while the mouse is still down.
    QString DragTo(FormSetValue* window, QLineEdit* box, int value) {
        QSlider* slider = window->SliderSetValue;
        QTest::mousePress(slider, Qt::LeftButton, {}, ThumbCentre(slider, slider->value()));
        QPoint to = ThumbCentre(slider, value);
        QMouseEvent move(QEvent::MouseMove, to, slider->mapToGlobal(to), Qt::NoButton, Qt::LeftButton, {});
        QApplication::sendEvent(slider, &move);
        QString during = box->text();
        QTest::mouseRelease(slider, Qt::LeftButton, {}, to);
        return during;
    }

private slots:
    void init() {
        messages.clear();
        form = std::make_unique<MainForm>(std::make_unique<test::RecordingDialogs>(&messages));
        QVERIFY(test::ShowActive(form.get()));
        form->move(0, 0);
    }
    void cleanup() { form.reset(); }

    void dragWritesDoubleThenReleaseWritesSingleAndPreviews_data() {
        QTest::addColumn<int>("index");
        QTest::addColumn<int>("position");
        QTest::addColumn<QString>("dragged");
        QTest::addColumn<QString>("released");
        QTest::newRow("scale 3.142") << 99 << 50 << "1.57099997997284" << "1.571";
        QTest::newRow("scale 1") << 0 << 33 << "0.33" << "0.33";
        QTest::newRow("no negative scale") << 22 << -50 << "0" << "0";
        QTest::newRow("far end") << 102 << -100 << "-100" << "-100";
    }
    void dragWritesDoubleThenReleaseWritesSingleAndPreviews() {
        QFETCH(int, index);
        QFETCH(int, position);
        QFETCH(QString, dragged);
        QFETCH(QString, released);
        form->Panel->SetScrollPosition(std::min(index, 88));
        FormSetValue* window = ClickBox(EditSideKind::Final, index);
        QVERIFY(window);
        QLineEdit* box = form->Panel->f0final[index];
        const qsizetype commandsBefore = form->ActiveHaptekX1->Commands().size();
        QCOMPARE(DragTo(window, box, position), dragged);
        QCOMPARE(window->SliderSetValue->value(), position);
        QCOMPARE(box->text(), released);
        QVERIFY(!window->isVisible());
        QCOMPARE(form->Panel->f0initial[index]->text(), QStringLiteral("0"));
        // The release previews the final keyframe as "Show Final (F2)" does.
        QStringList preview = form->ActiveHaptekX1->Commands().mid(commandsBefore);
        QCOMPARE(preview.size(), 1);
        QTest::mouseClick(form->LoadFinalV, Qt::LeftButton);
        QCOMPARE(form->ActiveHaptekX1->Commands().mid(commandsBefore + preview.size()), preview);
    }

    void opensAtTheBoxAndRetargetsTheSameWindow() {
        form->Panel->f0final[20]->setText(QStringLiteral("-0.5"));
        form->Panel->SetScrollPosition(10);
        FormSetValue* window = ClickBox(EditSideKind::Final, 20);
        QVERIFY(window);
        QCOMPARE(window->pos(), QPoint(Px(4880), Px(6620)));
        QCOMPARE(window->SliderSetValue->value(), -25);  // scale 2
        QCOMPARE(window->size(), QSize(Px(3744), Px(828)));
        QVERIFY(!(window->windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
        QCOMPARE(ClickBox(EditSideKind::Initial, 12), window);
        QCOMPARE(window->EditIndex, 12);
        QCOMPARE(window->SliderSetValue->value(), 0);
        QCOMPARE(form->Panel->f0final[20]->text(), QStringLiteral("-0.5"));  // placing the thumb writes nothing
        form->close();
        QVERIFY(!form->SliderWindow || !form->SliderWindow->isVisible());
    }

    void keyboardMovesTheThumbWithoutPreviewOrHiding() {
        FormSetValue* window = ClickBox(EditSideKind::Initial, 0);
        QVERIFY(window);
        const qsizetype commandsBefore = form->ActiveHaptekX1->Commands().size();
        QTest::keyClick(window->SliderSetValue, Qt::Key_Right);
        QCOMPARE(form->Panel->f0initial[0]->text(), QStringLiteral("0.01"));
        QTest::keyClick(window->SliderSetValue, Qt::Key_PageUp);
        QCOMPARE(form->Panel->f0initial[0]->text(), QStringLiteral("0.41"));
        QVERIFY(window->isVisible());
        QCOMPARE(form->ActiveHaptekX1->Commands().size(), commandsBefore);
    }

    void typedKeysLandInTheBox_data() {
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("first");
        QTest::newRow("digit") << int(Qt::Key_7) << "7";
        QTest::newRow("point") << int(Qt::Key_Period) << ".";
        QTest::newRow("minus") << int(Qt::Key_Minus) << "-";
        QTest::newRow("letter") << int(Qt::Key_A) << "0";
        QTest::newRow("space") << int(Qt::Key_Space) << "0";
        QTest::newRow("enter") << int(Qt::Key_Return) << "0";
        QTest::newRow("escape") << int(Qt::Key_Escape) << "0";
        QTest::newRow("backspace") << int(Qt::Key_Backspace) << "0";
    }
    void typedKeysLandInTheBox() {
        QFETCH(int, key);
        QFETCH(QString, first);
        form->Panel->f0initial[3]->setText(QStringLiteral("12.5"));
        FormSetValue* window = ClickBox(EditSideKind::Initial, 3);
        QVERIFY(window);
        QTest::keyClick(window->SliderSetValue, Qt::Key(key));
        QCOMPARE(form->Panel->f0initial[3]->text(), first);
        QVERIFY(!window->isVisible());
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
        QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("25"));
        QCOMPARE(form->Panel->f0initial[3]->text(), first + QStringLiteral("25"));
    }
};

TW_WINDOW_TEST_MAIN(FormSetValueTest)
#include "FormSetValue_test.moc"
