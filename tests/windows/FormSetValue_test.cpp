// The value slider window driven as a user drives it: a value box clicked,
// the thumb dragged and released or moved by keys, characters typed into it.
#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QStyle>

#include "WindowTestSupport.h"
#include "windows/CharacterView.h"
#include "windows/FormSetValue.h"
#include "windows/MainForm.h"
#include "windows/Twips.h"

using namespace tw;

class FormSetValueTest : public QObject {
    Q_OBJECT
    QStringList messages;
    std::unique_ptr<MainForm> form;

    FormSetValue* ClickBox(QLineEdit* box) {
        QTest::mouseClick(box, Qt::LeftButton);
        auto* window = qobject_cast<FormSetValue*>(form->SliderWindow());
        return window && QTest::qWaitForWindowActive(window) ? window : nullptr;
    }
    // The thumb's centre at `value` (the groove spans the slider's width).
    static QPoint Thumb(QSlider* slider, int value) {
        int length = slider->style()->pixelMetric(QStyle::PM_SliderLength, nullptr, slider);
        int x = QStyle::sliderPositionFromValue(-100, 100, value, slider->width() - length);
        return QPoint(x + length / 2, slider->height() / 2);
    }

private slots:
    void init() {
        form = test::ShownMainForm(&messages);
        QVERIFY(form);
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
        test::PanelOf(*form)->SetScrollPosition(std::min(index, 88));
        QLineEdit* box = test::Cell(*form, "f0final", index);
        FormSetValue* window = ClickBox(box);
        QVERIFY(window);
        QSlider* slider = test::Control<QSlider>(*window, "SliderSetValue");
        const qsizetype before = test::ViewOf(*form)->Commands().size();
        QTest::mousePress(slider, Qt::LeftButton, {}, Thumb(slider, 0));
        QPoint to = Thumb(slider, position);
        QMouseEvent move(QEvent::MouseMove, to, slider->mapToGlobal(to), Qt::NoButton, Qt::LeftButton, {});
        QApplication::sendEvent(slider, &move);
        QCOMPARE(slider->value(), position);
        QTEST(box->text(), "dragged");
        QCOMPARE(test::ViewOf(*form)->Commands().size(), before);
        QTest::mouseRelease(slider, Qt::LeftButton, {}, to);
        QTEST(box->text(), "released");
        QVERIFY(!window->isVisible());
        QCOMPARE(test::Cell(*form, "f0initial", index)->text(), QStringLiteral("0"));
        // The release previews the final keyframe exactly as "Show Final (F2)" does.
        QStringList preview = test::ViewOf(*form)->Commands().mid(before);
        QCOMPARE(preview.size(), 1);
        QTest::mouseClick(test::Button(*form, "LoadFinalV"), Qt::LeftButton);
        QCOMPARE(test::ViewOf(*form)->Commands().constLast(), preview[0]);
    }

    void opensAtTheBoxRetargetsAndMovesByKeysWithoutPreview() {
        test::Cell(*form, "f0final", 20)->setText(QStringLiteral("-0.5"));
        test::PanelOf(*form)->SetScrollPosition(10);
        form->move(90, 60);  // the window opens beside the box wherever the main window stands
        QTRY_COMPARE(form->mapToGlobal(QPoint(0, 0)).x() > 0, true);
        FormSetValue* window = ClickBox(test::Cell(*form, "f0final", 20));
        QVERIFY(window);
        QCOMPARE(window->frameGeometry().topLeft(), form->mapToGlobal(QPoint(Px(4880), Px(6620))));
        QSlider* slider = test::Control<QSlider>(*window, "SliderSetValue");
        QCOMPARE(slider->value(), -25);  // scale 2
        QCOMPARE(window->size(), QSize(Px(3744), Px(828)));
        QCOMPARE(ClickBox(test::Cell(*form, "f0initial", 12)), window);
        QCOMPARE(slider->value(), 0);
        QCOMPARE(test::Cell(*form, "f0final", 20)->text(), QStringLiteral("-0.5"));  // placing the thumb writes nothing
        const qsizetype before = test::ViewOf(*form)->Commands().size();
        QTest::keyClick(slider, Qt::Key_Right);
        QCOMPARE(test::Cell(*form, "f0initial", 12)->text(), QStringLiteral("0.01"));
        QTest::keyClick(slider, Qt::Key_PageUp);
        QCOMPARE(test::Cell(*form, "f0initial", 12)->text(), QStringLiteral("0.41"));
        QVERIFY(window->isVisible());
        QCOMPARE(test::ViewOf(*form)->Commands().size(), before);
        form->close();
        QVERIFY(!form->SliderWindow() || !form->SliderWindow()->isVisible());
    }

    void typedKeysLandInTheBox_data() {
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("first");
        const std::pair<Qt::Key, const char*> rows[] = {
            {Qt::Key_7, "7"}, {Qt::Key_Period, "."}, {Qt::Key_Minus, "-"}, {Qt::Key_A, "0"},
            {Qt::Key_Space, "0"}, {Qt::Key_Return, "0"}, {Qt::Key_Escape, "0"}, {Qt::Key_Backspace, "0"}};
        for (auto [key, first] : rows) QTest::addRow("%x", key) << int(key) << QString::fromLatin1(first);
    }
    void typedKeysLandInTheBox() {
        QFETCH(int, key);
        QFETCH(QString, first);
        test::Cell(*form, "f0initial", 3)->setText(QStringLiteral("12.5"));
        FormSetValue* window = ClickBox(test::Cell(*form, "f0initial", 3));
        QVERIFY(window);
        QTest::keyClick(test::Control<QSlider>(*window, "SliderSetValue"), Qt::Key(key));
        QCOMPARE(test::Cell(*form, "f0initial", 3)->text(), first);
        QVERIFY(!window->isVisible());
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
        QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("25"));
        QCOMPARE(test::Cell(*form, "f0initial", 3)->text(), first + QStringLiteral("25"));
    }
};

TW_WINDOW_TEST_MAIN(FormSetValueTest)
#include "FormSetValue_test.moc"
