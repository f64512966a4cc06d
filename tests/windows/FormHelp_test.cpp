// The help window opened from the main window and resized, also below its
// margins.
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <memory>

#include "WindowTestSupport.h"
#include "document/HelpText.h"
#include "windows/FormHelp.h"
#include "windows/MainForm.h"
#include "windows/Twips.h"

using namespace tw;

class FormHelpTest : public QObject {
    Q_OBJECT

    QStringList messages;
    std::unique_ptr<MainForm> form;

private slots:
    void init() {
        form = std::make_unique<MainForm>(std::make_unique<test::RecordingDialogs>(&messages));
        QVERIFY(test::ShowActive(form.get()));
    }
    void cleanup() { form.reset(); }

    void helpShowsTheGuideInOneWindow() {
        QTest::mouseClick(form->ButtonHelp, Qt::LeftButton);
        auto* help = form->findChild<FormHelp*>();
        QVERIFY(help && QTest::qWaitForWindowExposed(help));
        QCOMPARE(help->windowTitle(), QStringLiteral("Help"));
        QVERIFY(!(help->windowFlags() & Qt::WindowMinimizeButtonHint));
        QCOMPARE(help->size(), QSize(Px(8916), Px(7956)));
        QVERIFY(help->Text1->isReadOnly());
        QString guide = QString::fromUtf8(HelpText.data(), HelpText.size());
        QCOMPARE(help->Text1->toPlainText(), guide.replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
        help->close();
        QTest::mouseClick(form->ButtonHelp, Qt::LeftButton);
        QCOMPARE(form->findChildren<FormHelp*>().size(), 1);
        QVERIFY(help->isVisible());
        QVERIFY(form->isEnabled());  // modeless
    }

    void textFollowsTheWindowAndSurvivesBeingSqueezed() {
        QTest::mouseClick(form->ButtonHelp, Qt::LeftButton);
        auto* help = form->findChild<FormHelp*>();
        QVERIFY(help);
        QCOMPARE(help->Text1->geometry(), QRect(Px(120), Px(120), help->width() - Px(264), help->height() - Px(264)));
        help->resize(10, 5);
        QTest::qWait(20);
        QCOMPARE(help->Text1->pos(), QPoint(Px(120), Px(120)));
        QVERIFY(help->Text1->width() <= 1 && help->Text1->height() <= 1);
        help->resize(700, 300);
        QTest::qWait(20);
        QCOMPARE(help->Text1->size(), QSize(700 - Px(264), 300 - Px(264)));
    }
};

TW_WINDOW_TEST_MAIN(FormHelpTest)
#include "FormHelp_test.moc"
