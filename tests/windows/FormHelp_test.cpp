// The help window opened from the main window and resized, also below its
// margins.
#include <QPlainTextEdit>
#include <QPushButton>

#include "WindowTestSupport.h"
#include "document/HelpText.h"
#include "windows/FormHelp.h"
#include "windows/MainForm.h"
#include "windows/Twips.h"

using namespace tw;

class FormHelpTest : public QObject {
    Q_OBJECT
    QStringList messages;

private slots:
    void oneWindowWithTheGuideFollowingItsSize() {
        MainForm form(std::make_unique<test::RecordingDialogs>(&messages));
        QVERIFY(test::ShowActive(&form));
        QTest::mouseClick(test::Button(form, "ButtonHelp"), Qt::LeftButton);
        auto* help = form.findChild<FormHelp*>();
        QVERIFY(help && QTest::qWaitForWindowExposed(help));
        QCOMPARE(help->windowTitle(), QStringLiteral("Help"));
        QVERIFY(!(help->windowFlags() & Qt::WindowMinimizeButtonHint));
        const QPlainTextEdit* text = test::Control<QPlainTextEdit>(*help, QStringLiteral("Text1"));
        QVERIFY(text->isReadOnly());
        QString guide = QString::fromUtf8(HelpText.data(), HelpText.size());
        QCOMPARE(text->toPlainText(), guide.replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
        QCOMPARE(help->size(), QSize(Px(8916), Px(7956)));
        QCOMPARE(text->geometry(), QRect(Px(120), Px(120), help->width() - Px(264), help->height() - Px(264)));
        help->resize(10, 5);
        QVERIFY(text->width() <= 1 && text->height() <= 1);
        help->resize(700, 300);
        QCOMPARE(text->size(), QSize(700 - Px(264), 300 - Px(264)));
        help->close();
        QTest::mouseClick(test::Button(form, "ButtonHelp"), Qt::LeftButton);
        QCOMPARE(form.findChildren<FormHelp*>().size(), 1);
        QVERIFY(help->isVisible());
    }
};

TW_WINDOW_TEST_MAIN(FormHelpTest)
#include "FormHelp_test.moc"
