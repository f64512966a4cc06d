// The pose tools in the window: the value boxes' menu and Ctrl+M mirror the
// columns as the command line does, a saved pose appears in the poses window
// with its picture and goes back into the form, a damaged one is greyed.
#include <QApplication>
#include <QListWidget>
#include <QMenu>
#include <QTemporaryDir>
#include <QTimer>

#include "WindowTestSupport.h"
#include "session/PoseTools.h"
#include "windows/FormPoses.h"

using namespace tw;

class PoseToolsTest : public QObject {
    Q_OBJECT
    QStringList messages;
    std::unique_ptr<QTemporaryDir> data;
    std::unique_ptr<MainForm> form;
    test::RecordingDialogs* dialogs = nullptr;

    void Set(const char* array, int index, const QString& text) {
        QLineEdit* box = test::Cell(*form, array, index);
        box->setText(text);
    }
    // Opens the value boxes' menu on box `index` and picks `action`.
    void PickFromMenu(const QString& action) {
        QLineEdit* box = test::Cell(*form, "f0initial", 0);
        QTimer::singleShot(0, [action] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            QVERIFY(menu);
            QCOMPARE(menu->objectName(), QStringLiteral("ValueBoxMenu"));
            for (QAction* a : menu->actions())
                if (a->text() == action) {
                    menu->close();
                    a->trigger();
                    return;
                }
            QFAIL(qPrintable(QStringLiteral("no menu entry ") + action));
        });
        emit box->customContextMenuRequested(QPoint(3, 3));
    }

private slots:
    void init() {
        data = std::make_unique<QTemporaryDir>();
        qputenv("XDG_DATA_HOME", data->path().toLocal8Bit());
        messages.clear();
        auto recording = std::make_unique<test::RecordingDialogs>(&messages);
        dialogs = recording.get();
        form = std::make_unique<MainForm>(std::move(recording));
        QVERIFY(test::ShowActive(form.get()));
    }
    void cleanup() { form.reset(); }

    void menuAndKeysMirrorAsTheCoreDoes() {
        Set("f0initial", 16, "0.5");  // RShoOut
        Set("f0initial", 2, "0.3");   // HeadTwist
        Set("f0final", 13, "2");      // RClavicalUp
        DocumentTexts expected = form->ReadDocument();
        ApplyMirror(expected, MirrorSide::Initial);
        PickFromMenu(QStringLiteral("Mirror Initial Values"));
        QTRY_COMPARE(form->ReadDocument().initial, expected.initial);
        QCOMPARE(test::Cell(*form, "f0initial", 19)->text(), QStringLiteral("0.5"));  // LShoOut
        QCOMPARE(test::Cell(*form, "f0initial", 2)->text(), QStringLiteral("-0.3"));
        QVERIFY(test::ViewOf(*form)->ShowsLivePose());

        ApplyMirror(expected, MirrorSide::Final);
        PickFromMenu(QStringLiteral("Mirror Final Values"));
        QTRY_COMPARE(form->ReadDocument().final, expected.final);

        // Ctrl+Shift+M: the final column becomes the initial one mirrored.
        QLineEdit* box = test::Cell(*form, "f0initial", 0);
        box->setFocus();
        QTest::keyClick(box, Qt::Key_M, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(form->ReadDocument().final, MirrorColumn(form->ReadDocument().initial));
        // Ctrl+M twice: the initial column back as it was.
        const auto before = form->ReadDocument().initial;
        QTest::keyClick(box, Qt::Key_M, Qt::ControlModifier);
        QVERIFY(form->ReadDocument().initial != before);
        QTest::keyClick(box, Qt::Key_M, Qt::ControlModifier);
        QCOMPARE(form->ReadDocument().initial, before);
    }

    void savedPoseIsListedDrawnAndApplied() {
        Set("f0final", 16, "1.2");
        dialogs->AnswerTexts({QStringLiteral("reach")});
        PickFromMenu(QStringLiteral("Save Final Pose As…"));
        const Outcome<PoseLibrary> library = PoseLibrary::Open();
        QVERIFY(library);
        QTRY_VERIFY(library.value().Has("reach"));
        // A second save of the name asks before replacing (and is answered Yes).
        Set("f0initial", 16, "0.7");
        dialogs->AnswerTexts({QStringLiteral("reach")});
        PickFromMenu(QStringLiteral("Save Initial Pose As…"));
        QTRY_VERIFY(messages.filter(QStringLiteral("Replace it?")).size() == 1);
        QFile broken(QString::fromStdString(library.value().PathOf("broken")));
        QVERIFY(broken.open(QIODevice::WriteOnly));
        broken.write("nothing here");
        broken.close();

        PickFromMenu(QStringLiteral("Poses…"));
        FormPoses* poses = nullptr;
        QTRY_VERIFY((poses = form->findChild<FormPoses*>(QStringLiteral("FormPoses"))) && poses->isVisible());
        auto* list = poses->findChild<QListWidget*>(QStringLiteral("PoseList"));
        QCOMPARE(list->count(), 2);
        QTRY_VERIFY(!list->item(1)->icon().isNull());  // "reach" drawn
        QVERIFY(!(list->item(0)->flags() & Qt::ItemIsEnabled));  // "broken" greyed
        QVERIFY(!list->item(0)->toolTip().isEmpty());

        Set("f0initial", 16, "0");
        list->setCurrentItem(list->item(1));
        test::Button(*poses, "ApplyInitial")->click();
        QCOMPARE(test::Cell(*form, "f0initial", 16)->text(), QStringLiteral("0.7"));
        // The greyed pose is never applied.
        list->item(0)->setSelected(true);
        Set("f0initial", 16, "0");
        poses->ApplyInitial_Click();
        QCOMPARE(test::Cell(*form, "f0initial", 16)->text(), QStringLiteral("0"));
    }
};

TW_WINDOW_TEST_MAIN(PoseToolsTest)
#include "PoseTools_test.moc"
