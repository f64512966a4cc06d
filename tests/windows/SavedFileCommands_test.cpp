// "Display Saved Hap File" and "Delete File" against the real file system.
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

#include "WindowTestSupport.h"
#include "windows/CharacterView.h"
#include "windows/MainForm.h"

using namespace tw;

class SavedFileCommandsTest : public QObject {
    Q_OBJECT

    QStringList messages;

    std::unique_ptr<MainForm> Form(bool answer) {
        messages.clear();
        auto form = std::make_unique<MainForm>(std::make_unique<test::RecordingDialogs>(&messages, answer));
        form->show();
        return form;
    }

private slots:
    void emptyActiveFileIsRefusedByBoth() {
        auto form = Form(true);
        const int commands = test::ViewOf(*form)->Commands().size();
        test::Button(*form, "LoadFullHap")->click();
        test::Button(*form, "DeleteFile")->click();
        QCOMPARE(messages, QStringList(2, QStringLiteral("Please select file from menu on left.")));
        QCOMPARE(test::ViewOf(*form)->Commands().size(), commands);
    }

    void displaySendsThePathUnchanged() {
        auto form = Form(true);
        test::Edit(*form, "ActiveFile")->setText(QStringLiteral("/anim/my walk [2].hap"));
        test::Button(*form, "LoadFullHap")->click();
        QCOMPARE(test::ViewOf(*form)->Commands().last(),
                 QStringLiteral("\\load [file= [/anim/my walk [2].hap]]"));
        QVERIFY(messages.isEmpty());
    }

    void deleteAsksAndRemovesOnlyOnYes() {
        QTemporaryDir dir;
        const QString walk = dir.filePath(QStringLiteral("walk.hap"));
        QFile file(walk);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        for (bool yes : {false, true}) {
            auto form = Form(yes);
            test::Edit(*form, "ActiveFile")->setText(walk);
            test::Button(*form, "DeleteFile")->click();
            QCOMPARE(messages, QStringList{QStringLiteral("Are you sure you wish to delete ?")});
            QCOMPARE(QFile::exists(walk), !yes);
            QCOMPARE(test::Edit(*form, "ActiveFile")->text(), walk);
        }
    }

    void folderIsRefusedWithItsName() {
        QTemporaryDir dir;
        auto form = Form(true);
        test::Edit(*form, "ActiveFile")->setText(dir.path());
        test::Button(*form, "DeleteFile")->click();
        QCOMPARE(messages.size(), 2);
        QCOMPARE(messages.last(), QStringLiteral("Could not delete \"%1\": it is a folder.").arg(dir.path()));
        QVERIFY(QFileInfo(dir.path()).isDir());
    }
};

TW_WINDOW_TEST_MAIN(SavedFileCommandsTest)
#include "SavedFileCommands_test.moc"
