// The main window driven as a user drives it: its layout, start-up, the
// settings fields as they are typed into, the shortcuts, the register panel
// and the value commands.
#include <QApplication>
#include <QClipboard>
#include <QGroupBox>
#include <QScreen>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QPointer>
#include <QProcess>
#include <QFile>
#include <csignal>
#include <QSignalSpy>
#include <QTest>
#include <memory>

#include "WindowTestSupport.h"
#include "document/FixedPaths.h"
#include "generation/FileBlock.h"
#include "windows/MainForm.h"
#include "windows/RegisterPanel.h"
#include "windows/CharacterView.h"
#include "windows/Twips.h"

using namespace tw;

namespace {

// Counts the key presses that reach a widget itself (after the window's own
// key preview has seen them).
class KeySpy : public QObject {
public:
    explicit KeySpy(QWidget* w) { w->installEventFilter(this); }
    QList<int> keys;
    bool eventFilter(QObject*, QEvent* e) override {
        // The simulated Shift key itself is not of interest.
        if (e->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(e)->key() != Qt::Key_Shift)
            keys.append(static_cast<QKeyEvent*>(e)->key());
        return false;
    }
};

QList<int> ShownRows(const QWidget& form) {
    QList<int> rows;
    for (int i = 0; i < RegisterCount; ++i) {
        bool shown = !test::Cell(form, "setreg", i)->isHidden();
        if (shown != !test::Cell(form, "f0initial", i)->isHidden() || shown != !test::Cell(form, "f0final", i)->isHidden())
            return {-1};  // the three cells of a row must agree
        if (shown) rows.append(i);
    }
    return rows;
}

// Whether process `pid` has a handler of its own for `signal`.
bool Catches(qint64 pid, int signal) {
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly)) return false;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("SigCgt:")) return line.mid(7).trimmed().toULongLong(nullptr, 16) >> (signal - 1) & 1;
    return false;
}

QList<int> Range(int first, int last) {
    QList<int> rows;
    for (int i = first; i <= last; ++i) rows.append(i);
    return rows;
}

}  // namespace

class MainFormTest : public QObject {
    Q_OBJECT

    QStringList messages;
    std::unique_ptr<MainForm> form;

    template <class T>
    T* Find(const char* name) {
        T* widget = form->findChild<T*>(QString::fromLatin1(name));
        if (!widget) qWarning("no control %s", name);
        return widget;
    }

private slots:
    void init() {
        form = test::ShownMainForm(&messages);
        QVERIFY(form);
    }
    void cleanup() { form.reset(); }

    void windowHasCaptionSizeAndControlsInPlace_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QRect>("twips");
        auto row = [](const char* n, const char* c, int l, int t, int w, int h) {
            QTest::newRow(n) << QString::fromLatin1(n) << QString::fromLatin1(c) << QRect(l, t, w, h);
        };
        row("Commands", "Commands", 120, 240, 1092, 9012);
        row("FileSelect", "Select File", 120, 360, 852, 492);
        row("Selectcharacterbutton", "Select Character", 120, 960, 852, 492);
        row("SelectSkin", "Select Skin", 120, 1560, 852, 492);
        row("Selectbackground", "SelectBG", 120, 2160, 852, 492);
        row("ButtonHelp", "Help", 120, 7560, 852, 612);
        row("Fileselectstatus", "Text1", 360, 7800, 372, 288);
        row("exit", "Exit", 120, 8280, 852, 612);
        row("ActiveFile", "", 1680, 240, 10092, 288);
        row("FileHeader", "#Haptek  Version= 2.00 Name= insertnamehere.hap   HapType= script FileType= text",
            2280, 600, 9492, 288);
        row("figure", "", 2280, 960, 1932, 288);
        row("StartTime", "0", 5280, 960, 732, 288);
        row("Finishtime", "1", 6960, 960, 732, 288);
        row("DKeyframe", "1", 3480, 1320, 732, 288);
        row("FramesPSec", "10", 3480, 1680, 732, 288);
        row("Acceleration", "0", 3480, 2040, 732, 288);
        row("LoadInitialV", "Show Initial (F1)", 6720, 1320, 972, 612);
        row("LoadFinalV", "Show Final (F2)", 6720, 2040, 972, 492);
        row("LoadAnimation", "Show Animation (F3)", 7800, 1080, 1812, 372);
        row("ResetAnim", "Reset Character (F4)", 7800, 1560, 1812, 372);
        row("LoadFullHap", "Display Saved Hap File", 7800, 2040, 1812, 492);
        row("LoadXHap", "Load  last animation from file", 7800, 2640, 1812, 492);
        row("Gen2Append", "Generate && add to file (F5)", 9720, 1080, 1932, 732);
        row("Gen2Clip", "Generate to Clipboard", 9720, 1920, 1932, 492);
        row("DeleteFile", "Delete File", 9720, 2520, 1932, 612);
        row("ClearClipboard", "Clear Sub Header", 9240, 3360, 1692, 252);
        row("clipboardtemp", "", 7680, 3720, 4092, 972);
        row("ActiveHaptekX1", "", 7680, 4800, 4092, 5052);
        row("ViewBody", "&Body", 1320, 2520, 612, 372);
        row("ViewHand", "&Hands", 1920, 2520, 732, 372);
        row("ViewFace", "F&ace", 2640, 2520, 612, 372);
        row("ViewTranslate", "&Translate", 3240, 2520, 972, 372);
        row("ViewAll", "Show All &Registers", 1320, 2880, 2892, 372);
        row("f0InitialReset", "Reset &Intitial", 4440, 2640, 1332, 252);
        row("f0FinalReset", "Reset &Final", 5880, 2640, 1332, 252);
        row("Swap", "&Swap Initial && Final Values", 4440, 3000, 1332, 372);
        row("CopyI2F", "&Copy Initial to Final Values", 5880, 3000, 1332, 372);
        row("VScroll1", "", 7320, 3600, 252, 6252);
        for (int k : {0, 9}) {
            QByteArray name = "ProgressBar1_" + QByteArray::number(k);
            QTest::newRow(name.constData()) << QString::fromLatin1(name) << QString()
                                            << QRect(4320 + 240 * k, 1320, 100, 1212);
        }
    }
    void windowHasCaptionSizeAndControlsInPlace() {
        QFETCH(QString, name);
        QFETCH(QString, caption);
        QFETCH(QRect, twips);
        QCOMPARE(form->windowTitle(), QStringLiteral("Tweenwright"));
        QCOMPARE(form->size(), QSize(792, 661));
        QWidget* w = form->findChild<QWidget*>(name);
        QVERIFY2(w, qPrintable(name));
        QCOMPARE(w->geometry(), TwipsRect(twips.x(), twips.y(), twips.width(), twips.height()));
        if (auto* b = qobject_cast<QPushButton*>(w)) QCOMPARE(b->text(), caption);
        if (auto* e = qobject_cast<QLineEdit*>(w)) QCOMPARE(e->text(), caption);
        if (auto* g = qobject_cast<QGroupBox*>(w)) QCOMPARE(g->title(), caption);
    }

    void labelsReadAsStored() {
        QStringList texts;
        for (QLabel* l : form->findChildren<QLabel*>()) texts << l->text();
        for (const char* t : {"File:", "File Header:", "Figue Name:", "Start time:", "Finish time:",
                              "Time between keyframes:", "Frames per second:",
                              "Acceleration of movement:", "Sub Header", "Set Reg Name:",
                              "f0 Initial Value:", "f0 Final Value:"})
            QVERIFY2(texts.contains(QString::fromLatin1(t)), t);
        QCOMPARE(test::Control<QLabel>(*form, "Label8")->geometry(), TwipsRect(7680, 3360, 1452, 372));
    }

    void startsWithDefaultsRowsAndGraph() {
        QVERIFY(test::Edit(*form, "Fileselectstatus")->isHidden());
        QCOMPARE(ShownRows(*form), Range(0, 16));
        QCOMPARE(test::Cell(*form, "setreg", 0)->text(), QStringLiteral("HeadSideBend"));
        QCOMPARE(test::Cell(*form, "setreg", 16)->text(), QStringLiteral("RShoForward"));
        QCOMPARE(test::Cell(*form, "setreg", 0)->y(), Px(3720));
        QCOMPARE(test::Cell(*form, "f0final", 16)->y(), Px(9480));
        for (int i = 0; i < RegisterCount; ++i) {
            QCOMPARE(test::Cell(*form, "f0initial", i)->text(), QStringLiteral("0"));
            QCOMPARE(test::Cell(*form, "f0final", i)->text(), QStringLiteral("0"));
        }
        const int expectedBars[10] = {1, 11, 22, 33, 44, 56, 67, 78, 89, 100};
        for (int b = 0; b < 10; ++b) QCOMPARE(test::Cell<QProgressBar>(*form, "ProgressBar1", b)->value(), expectedBars[b]);
        QCOMPARE(test::ViewOf(*form)->Commands(),
                 QStringList{QStringLiteral("\\loadBG [file= [%1]]")
                                 .arg(QString::fromStdString(StartupBackgroundPath()))});
    }

    void finishTimeFollowsStartAndDuration() {
        test::Edit(*form, "StartTime")->setFocus(Qt::MouseFocusReason);
        test::Edit(*form, "StartTime")->selectAll();
        QTest::keyClicks(test::Edit(*form, "StartTime"), QStringLiteral("1.5x"));
        QCOMPARE(test::Edit(*form, "Finishtime")->text(), QStringLiteral("2.5"));
        test::Edit(*form, "DKeyframe")->setFocus(Qt::TabFocusReason);
        QCOMPARE(test::Edit(*form, "StartTime")->text(), QStringLiteral("1.5"));
        test::Edit(*form, "DKeyframe")->selectAll();
        QTest::keyClicks(test::Edit(*form, "DKeyframe"), QStringLiteral("1.25"));
        QCOMPARE(test::Edit(*form, "Finishtime")->text(), QStringLiteral("2.75"));
        test::Edit(*form, "FramesPSec")->setFocus(Qt::TabFocusReason);
        QCOMPARE(test::Edit(*form, "DKeyframe")->text(), QStringLiteral("1.2"));
        QCOMPARE(test::Edit(*form, "Finishtime")->text(), QStringLiteral("2.7"));
        test::Edit(*form, "FramesPSec")->selectAll();
        QTest::keyClicks(test::Edit(*form, "FramesPSec"), QStringLiteral("12.5fps"));
        QCOMPARE(test::Edit(*form, "Finishtime")->text(), QStringLiteral("2.7"));  // the rate does not enter it
        test::Edit(*form, "DKeyframe")->setFocus(Qt::TabFocusReason);
        QCOMPARE(test::Edit(*form, "FramesPSec")->text(), QStringLiteral("12.5"));
        test::Edit(*form, "DKeyframe")->selectAll();
        QTest::keyClicks(test::Edit(*form, "DKeyframe"), QStringLiteral("1"));
        test::Edit(*form, "StartTime")->setFocus(Qt::TabFocusReason);
        QCOMPARE(test::Edit(*form, "DKeyframe")->text(), QStringLiteral("0.96"));
        QCOMPARE(test::Edit(*form, "Finishtime")->text(), QStringLiteral("2.46"));
    }

    void snappingWithAnUnusableRateKeepsTheDuration() {
        test::Edit(*form, "FramesPSec")->setText(QStringLiteral("0"));
        test::Edit(*form, "DKeyframe")->setFocus(Qt::TabFocusReason);
        test::Edit(*form, "DKeyframe")->setText(QStringLiteral("1.25"));
        test::Edit(*form, "StartTime")->setFocus(Qt::TabFocusReason);
        QCOMPARE(test::Edit(*form, "DKeyframe")->text(), QStringLiteral("1.25"));
        test::Edit(*form, "FramesPSec")->setText(QStringLiteral("ten"));
        test::Edit(*form, "DKeyframe")->setFocus(Qt::TabFocusReason);
        test::Edit(*form, "StartTime")->setFocus(Qt::TabFocusReason);
        QCOMPARE(test::Edit(*form, "DKeyframe")->text(), QStringLiteral("1.25"));
    }

    void accelerationNormalisesAsTyped() {
        QTest::mouseClick(test::Edit(*form, "Acceleration"), Qt::LeftButton);
        QCOMPARE(test::Edit(*form, "Acceleration")->selectedText(), QStringLiteral("0"));
        QTest::keyClick(test::Edit(*form, "Acceleration"), Qt::Key_Minus);
        QCOMPARE(test::Edit(*form, "Acceleration")->text(), QStringLiteral("-"));
        QVERIFY(qAbs(form->GraphValues()[1] - 11.111f) < 0.001f);  // not redrawn for "-"
        QTest::keyClick(test::Edit(*form, "Acceleration"), Qt::Key_1);
        QTest::keyClick(test::Edit(*form, "Acceleration"), Qt::Key_0);
        QCOMPARE(test::Edit(*form, "Acceleration")->text(), QStringLiteral("-10"));
        QVERIFY(qAbs(form->GraphValues()[1] - 19.570f) < 0.001f);
        QCOMPARE(test::Cell<QProgressBar>(*form, "ProgressBar1", 1)->value(), 20);
        QTest::keyClick(test::Edit(*form, "Acceleration"), Qt::Key_X);
        QCOMPARE(test::Edit(*form, "Acceleration")->text(), QStringLiteral("-10"));
        test::Edit(*form, "Acceleration")->setText(QStringLiteral("abc"));
        QCOMPARE(test::Edit(*form, "Acceleration")->text(), QStringLiteral("0"));
        test::Edit(*form, "Acceleration")->setText(QStringLiteral("1."));
        QCOMPARE(test::Edit(*form, "Acceleration")->text(), QStringLiteral("1"));
        test::Edit(*form, "Acceleration")->setText(QStringLiteral("50"));
        QCOMPARE(test::Cell<QProgressBar>(*form, "ProgressBar1", 2)->value(), 1);
        QCOMPARE(test::Cell<QProgressBar>(*form, "ProgressBar1", 9)->value(), 100);
        // A click selects the whole text, so typing replaces it.
        QTest::mouseClick(test::Edit(*form, "Acceleration"), Qt::LeftButton);
        QCOMPARE(test::Edit(*form, "Acceleration")->selectedText(), QStringLiteral("50"));
        QTest::keyClicks(test::Edit(*form, "Acceleration"), QStringLiteral("7"));
        QCOMPARE(test::Edit(*form, "Acceleration")->text(), QStringLiteral("7"));
    }

    void graphBarsOnTheScreenFollowEveryChange() {
        // Each bar on the screen as the bar draws itself: the filled rows of
        // its middle column. Small steps (0 to 10 moves bar 1 from 11 to 5)
        // used to keep old heights.
        const auto filledRows = [](const QImage& image, const QRect& bar) {
            const QLine column(bar.center().x(), bar.top() + 3, bar.center().x(), bar.bottom() - 3);
            return test::PixelsUnlike(image, column, image.pixelColor(column.p1()));
        };
        for (const char* acceleration : {"10", "12", "-10", "0"}) {
            test::Edit(*form, "Acceleration")->setText(QString::fromLatin1(acceleration));
            QTest::qWait(50);
            const QImage screen = form->screen()->grabWindow(form->winId()).toImage();
            for (int k = 0; k < GraphBarCount; ++k) {
                QProgressBar* bar = test::Cell<QProgressBar>(*form, "ProgressBar1", k);
                QVERIFY2(qAbs(filledRows(screen, bar->geometry()) - filledRows(bar->grab().toImage(), bar->rect())) <= 1,
                         qPrintable(acceleration + bar->objectName()));
            }
        }
    }

    void stopSignalsCloseTheProgramAsExitDoes() {
        for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
            QProcess program;
            program.start(QStringLiteral(TW_PROGRAM));
            QVERIFY(program.waitForStarted());
            // Until the program has its handler, the signal would simply end it.
            QTRY_VERIFY_WITH_TIMEOUT(Catches(program.processId(), signal), 10000);
            ::kill(static_cast<pid_t>(program.processId()), signal);
            QVERIFY(program.waitForFinished(10000));
            QCOMPARE(program.exitStatus(), QProcess::NormalExit);
            QCOMPARE(program.exitCode(), 0);
        }
    }

    void noTypedTextEndsTheProgram() {
        const QString nasty[] = {QStringLiteral("1e999"), QStringLiteral("-1e999"),
                                 QStringLiteral("&HFFFFFFFFFFFFFFFFFFFFFFFF"), QStringLiteral("."),
                                 QStringLiteral("1e-999"), QStringLiteral("9").repeated(400),
                                 QStringLiteral("\u00e9\u20ac"), QStringLiteral("nan"), QString()};
        for (QLineEdit* field : {test::Edit(*form, "StartTime"), test::Edit(*form, "DKeyframe"), test::Edit(*form, "FramesPSec"),
                                 test::Edit(*form, "Acceleration")}) {
            for (const QString& text : nasty) {
                field->setFocus(Qt::TabFocusReason);
                field->setText(text);
                test::Edit(*form, "figure")->setFocus(Qt::TabFocusReason);
            }
        }
        QVERIFY(form->isVisible());
        QVERIFY(!test::Edit(*form, "Finishtime")->text().isEmpty());
    }

    void functionKeysActWhileATextFieldHasTheFocus() {
        KeySpy spy(test::Edit(*form, "StartTime"));
        test::Edit(*form, "StartTime")->setFocus(Qt::MouseFocusReason);
        QTest::keyClick(test::Edit(*form, "StartTime"), Qt::Key_F5);
        QCOMPARE(messages, QStringList{QStringLiteral("Please select file from menu on left hand side.")});
        QTest::keyClick(test::Edit(*form, "StartTime"), Qt::Key_F5, Qt::ShiftModifier);
        QCOMPARE(messages.size(), 2);
        QTest::keyClick(test::Edit(*form, "StartTime"), Qt::Key_F8);
        QTest::keyClick(test::Edit(*form, "StartTime"), Qt::Key_A);
        QCOMPARE(messages.size(), 2);
        QCOMPARE(spy.keys, (QList<int>{Qt::Key_F5, Qt::Key_F5, Qt::Key_F8, Qt::Key_A}));

        KeySpy subSpy(test::SubHeaderOf(*form));
        test::SubHeaderOf(*form)->setFocus(Qt::MouseFocusReason);
        const int before = test::ViewOf(*form)->Commands().size();
        QTest::keyClick(test::SubHeaderOf(*form), Qt::Key_F4, Qt::ShiftModifier);
        QCOMPARE(test::ViewOf(*form)->Commands().size(), before + 1);
        QCOMPARE(test::ViewOf(*form)->Commands().last(), QStringLiteral("\\Reset"));
        QCOMPARE(subSpy.keys, QList<int>{Qt::Key_F4});
    }

    void clearSubHeaderEmptiesFieldAndClipboard() {
        QClipboard* clipboard = QGuiApplication::clipboard();
        clipboard->setText(QStringLiteral("left over"));
        QCOMPARE(clipboard->text(), QStringLiteral("left over"));
        test::SubHeaderOf(*form)->setFocus();
        QTest::keyClicks(test::SubHeaderOf(*form), QStringLiteral("\\clock [t= 0]"));
        QTest::mouseClick(test::Button(*form, "ClearClipboard"), Qt::LeftButton);
        QCOMPARE(test::SubHeaderOf(*form)->toPlainText(), QString());
        QCOMPARE(clipboard->text(), QString());
        // Pasting the emptied clipboard into the sub header adds nothing.
        test::SubHeaderOf(*form)->setFocus();
        QTest::keyClick(test::SubHeaderOf(*form), Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(test::SubHeaderOf(*form)->toPlainText(), QString());
    }

    void viewsShowTheirRows() {
        RegisterPanel* p = test::PanelOf(*form);
        p->SetScrollPosition(88);
        QCOMPARE(ShownRows(*form), Range(88, 104));
        QCOMPARE(test::Cell(*form, "setreg", 88)->text(), QStringLiteral("LBrowUD"));
        QTest::mouseClick(test::Button(*form, "ViewBody"), Qt::LeftButton);
        QCOMPARE(p->ScrollPosition(), 0);
        test::Control<QScrollBar>(*form, "VScroll1")->setValue(test::Control<QScrollBar>(*form, "VScroll1")->maximum());
        QCOMPARE(p->ScrollPosition(), 29);
        QCOMPARE(ShownRows(*form), Range(29, 45));
        QTest::mouseClick(test::Button(*form, "ViewAll"), Qt::LeftButton);
        p->SetScrollPosition(10);
        QTest::mouseClick(test::Button(*form, "ViewHand"), Qt::LeftButton);
        QCOMPARE(p->ScrollPosition(), 46);
        QCOMPARE(ShownRows(*form), Range(46, 62));
        QTest::mouseClick(test::Button(*form, "ViewTranslate"), Qt::LeftButton);
        QCOMPARE(p->ScrollPosition(), 99);
        QCOMPARE(ShownRows(*form), Range(99, 104));
        QTest::mouseClick(test::Button(*form, "ViewFace"), Qt::LeftButton);
        QCOMPARE(p->ScrollPosition(), 86);
        QCOMPARE(ShownRows(*form), Range(86, 102));
        // The face range runs backwards: the thumb at the bottom is position 82.
        test::Control<QScrollBar>(*form, "VScroll1")->setValue(test::Control<QScrollBar>(*form, "VScroll1")->maximum());
        QCOMPARE(p->ScrollPosition(), 82);
        QCOMPARE(ShownRows(*form), Range(82, 98));
        test::Control<QScrollBar>(*form, "VScroll1")->setValue(2);
        QCOMPARE(p->ScrollPosition(), 84);
        QTest::mouseClick(test::Button(*form, "ViewFace"), Qt::LeftButton);
        QCOMPARE(p->ScrollPosition(), 84);
        // Scrolling with the arrow moves by one row.
        QTest::mouseClick(test::Button(*form, "ViewAll"), Qt::LeftButton);
        QCOMPARE(p->ScrollPosition(), 84);
        test::Control<QScrollBar>(*form, "VScroll1")->triggerAction(QAbstractSlider::SliderSingleStepAdd);
        QCOMPARE(ShownRows(*form), Range(85, 101));
    }

    void groupButtonsMarkTheChosenView() {
        auto colour = [](QPushButton* b) { return b->palette().color(QPalette::Button); };
        const QColor face = colour(test::Button(*form, "ViewBody"));
        QTest::mouseClick(test::Button(*form, "ViewHand"), Qt::LeftButton);
        QVERIFY(colour(test::Button(*form, "ViewHand")) != face);
        for (QPushButton* b : {test::Button(*form, "ViewBody"), test::Button(*form, "ViewFace"), test::Button(*form, "ViewTranslate")}) QCOMPARE(colour(b), face);
        QTest::mouseClick(test::Button(*form, "ViewFace"), Qt::LeftButton);
        QCOMPARE(colour(test::Button(*form, "ViewHand")), face);
        QVERIFY(colour(test::Button(*form, "ViewFace")) != face);
        QTest::mouseClick(test::Button(*form, "ViewAll"), Qt::LeftButton);
        for (QPushButton* b : {test::Button(*form, "ViewBody"), test::Button(*form, "ViewHand"), test::Button(*form, "ViewFace"), test::Button(*form, "ViewTranslate")})
            QCOMPARE(colour(b), face);
    }

    void valueBoxClickRecordsTheEditedBox() {
        RegisterPanel* p = test::PanelOf(*form);
        p->SetScrollPosition(10);
        test::Cell(*form, "f0final", 20)->setText(QStringLiteral("1"));  // RShoTwist, scale 2
        QTest::mouseClick(test::Cell(*form, "f0final", 20), Qt::LeftButton);
        QCOMPARE(p->EditSide(), KeyframeSide::Final);
        QCOMPARE(p->EditIndex(), 20);
        QCOMPARE(p->SliderPosition(), 50);
        QCOMPARE(p->SliderWindowTopTwips(), 6620);
        QCOMPARE(p->SliderWindowLeftTwips(), 4880);
        test::Cell(*form, "f0initial", 12)->setText(QStringLiteral("-0.5"));
        QTest::mouseClick(test::Cell(*form, "f0initial", 12), Qt::LeftButton);
        QCOMPARE(p->EditSide(), KeyframeSide::Initial);
        QCOMPARE(p->EditIndex(), 12);
        QCOMPARE(p->SliderPosition(), -50);
        QCOMPARE(p->SliderWindowLeftTwips(), 3440);
        test::Cell(*form, "f0initial", 13)->setText(QStringLiteral("oops"));
        QTest::mouseClick(test::Cell(*form, "f0initial", 13), Qt::LeftButton);
        QCOMPARE(p->SliderPosition(), 0);
    }

    void valueBoxClickSignalCarriesThisClicksPlace() {
        RegisterPanel* p = test::PanelOf(*form);
        p->SetScrollPosition(10);
        test::Cell(*form, "f0final", 20)->setText(QStringLiteral("1"));
        test::Cell(*form, "f0initial", 12)->setText(QStringLiteral("-0.5"));
        QList<QList<int>> seen;
        auto connection = connect(p, &RegisterPanel::SliderRequested, this,
                                  [&](KeyframeSide side, int index, int position, int left, int top) {
                                      seen.append({side == KeyframeSide::Final, index, position, left, top});
                                  });
        QTest::mouseClick(test::Cell(*form, "f0final", 20), Qt::LeftButton);
        QTest::mouseClick(test::Cell(*form, "f0initial", 12), Qt::LeftButton);
        disconnect(connection);
        QCOMPARE(seen, (QList<QList<int>>{{1, 20, 50, 4880, 6620}, {0, 12, -50, 3440, 3740}}));
    }

    void documentRoundTripsThroughTheWindow() {
        DocumentTexts doc = form->ReadDocument();
        QCOMPARE(doc.fileHeader, std::string(DefaultFileHeader));
        QCOMPARE(doc.names[2], std::string("HeadTwist"));
        doc.activeFile = "/tmp/zo\xc3\xab.hap";
        doc.figure = "Zo\xc3\xab";
        doc.subHeader = "line one\nline two";
        doc.names[104] = "Other";
        doc.initial[5] = "12.500";
        doc.final[104] = "-3";
        doc.framesPSec = "25";
        doc.acceleration = "10";
        doc.dKeyframe = "2";
        doc.startTime = "1.5";
        form->WriteDocument(doc);
        // The change rules ran as if typed: the finish time and the graph follow.
        doc.finishTime = "3.5";
        QCOMPARE(form->ReadDocument(), doc);
        QCOMPARE(test::Edit(*form, "Finishtime")->text(), QStringLiteral("3.5"));
        QCOMPARE(test::Cell<QProgressBar>(*form, "ProgressBar1", 1)->value(), 5);
        QCOMPARE(test::Cell(*form, "f0initial", 5)->text(), QStringLiteral("12.500"));
        QCOMPARE(test::SubHeaderOf(*form)->toPlainText(), QStringLiteral("line one\nline two"));
    }

    void valueCommandButtonsRewriteTheColumns() {
        test::Cell(*form, "f0initial", 3)->setText(QStringLiteral("0.123456789"));
        test::Cell(*form, "f0final", 3)->setText(QStringLiteral("12.500"));
        QTest::mouseClick(test::Button(*form, "Swap"), Qt::LeftButton);
        QCOMPARE(test::Cell(*form, "f0initial", 3)->text(), QStringLiteral("12.500"));
        QCOMPARE(test::Cell(*form, "f0final", 3)->text(), QStringLiteral("0.1234568"));
        QTest::mouseClick(test::Button(*form, "CopyI2F"), Qt::LeftButton);
        QCOMPARE(test::Cell(*form, "f0final", 3)->text(), QStringLiteral("12.500"));
        QTest::mouseClick(test::Button(*form, "f0InitialReset"), Qt::LeftButton);
        QCOMPARE(test::Cell(*form, "f0initial", 3)->text(), QStringLiteral("0"));
        QCOMPARE(test::Cell(*form, "f0final", 3)->text(), QStringLiteral("12.500"));
        QTest::mouseClick(test::Button(*form, "f0FinalReset"), Qt::LeftButton);
        QCOMPARE(test::Cell(*form, "f0final", 3)->text(), QStringLiteral("0"));
    }

    // Access keys go through the window system's shortcut handling, which
    // simulated events skip: these are real key presses sent to the X server.
    void accessKeysRunTheValueCommands() {
        if (QGuiApplication::platformName() != QStringLiteral("xcb"))
            QSKIP("needs an X server (the test command starts one)");
        RegisterPanel* p = test::PanelOf(*form);
        test::Cell(*form, "f0initial", 0)->setText(QStringLiteral("0.25"));
        test::Edit(*form, "figure")->setFocus();
        auto press = [this](const char* keys) {
            return QProcess::execute(QStringLiteral("xdotool"),
                                     {QStringLiteral("windowfocus"), QStringLiteral("--sync"),
                                      QString::number(form->winId()), QStringLiteral("key"),
                                      QString::fromLatin1(keys)}) == 0;
        };
        QVERIFY(press("alt+c"));
        QTRY_COMPARE(test::Cell(*form, "f0final", 0)->text(), QStringLiteral("0.25"));
        QVERIFY(press("alt+i"));
        QTRY_COMPARE(test::Cell(*form, "f0initial", 0)->text(), QStringLiteral("0"));
        QVERIFY(press("alt+s"));
        QTRY_COMPARE(test::Cell(*form, "f0initial", 0)->text(), QStringLiteral("0.25"));
        QCOMPARE(test::Cell(*form, "f0final", 0)->text(), QStringLiteral("0"));
        QVERIFY(press("alt+t"));
        QTRY_COMPARE(p->ViewMode(), static_cast<int>(ViewTranslateGroup));
        QVERIFY(press("F4"));
        QTRY_COMPARE(test::ViewOf(*form)->Commands().last(), QStringLiteral("\\Reset"));
    }

    void exitClosesTheWindowAndTheSliderWindow() {
        // The slider window as a click on a value box opens it; it is deleted
        // once closed.
        QTest::mouseClick(test::Cell(*form, "f0initial", 0), Qt::LeftButton);
        const QPointer<QWidget> slider = form->SliderWindow();
        QVERIFY(slider);
        QVERIFY(QTest::qWaitForWindowExposed(slider));
        QTest::mouseClick(test::Button(*form, "exit"), Qt::LeftButton);
        QVERIFY(!form->isVisible());
        QVERIFY(!slider || !slider->isVisible());
    }
};

TW_WINDOW_TEST_MAIN(MainFormTest)
#include "MainForm_test.moc"
