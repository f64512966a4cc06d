// The file chooser driven as a user drives it: the four file buttons, folders
// opened by double-click, names typed or files picked, and every refusal.
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>

#include "WindowTestSupport.h"
#include "windows/CharacterView.h"
#include "windows/FileSelectForm.h"
#include "windows/MainForm.h"

using namespace tw;

namespace {
const QString kSkinNote = QStringLiteral("Please note that skins are only displayed within this program. They are "
                                         "not passed on to the generated hap file.");
const QString kBgNote = QStringLiteral("Please note that Back Grounds are only displayed within this program. They "
                                       "are not passed on to the generated hap file.");
}  // namespace

class FileSelectFormTest : public QObject {
    Q_OBJECT
    QStringList messages;
    std::unique_ptr<MainForm> form;
    QTemporaryDir dir;

    FileSelectForm* Open(const char* button) {
        QTest::mouseClick(form->findChild<QPushButton*>(QString::fromLatin1(button)), Qt::LeftButton);
        return form->findChild<FileSelectForm*>();
    }
    QString Path(const QString& name) { return dir.path() + QLatin1Char('/') + name; }
    // Clicks the named entry of a list, twice in a row when `twice`.
    bool Click(QListWidget* list, const QString& text, bool twice = false) {
        QList<QListWidgetItem*> found = list->findItems(text, Qt::MatchEndsWith);
        if (found.size() != 1) return false;
        QPoint at = list->visualItemRect(found[0]).center();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
        if (twice) QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
        return true;
    }
    void Confirm(FileSelectForm* chooser, const QString& typed) {
        QTest::keyClicks(test::Edit(*chooser, "NewFilename"), typed);
        QTest::mouseClick(test::Button(*chooser, "SaveFileSelect"), Qt::LeftButton);
    }

private slots:
    void initTestCase() {
        for (const char* name : {"MODEL.HTR", "girl.htr", "PHOTO.JPG", "x.jpg.bak", "notes.txt", ".hidden"})
            QVERIFY(QFile(Path(QString::fromLatin1(name))).open(QIODevice::WriteOnly));
        QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("anims/deeper")));
        QVERIFY(QDir::setCurrent(dir.path()));
    }
    void init() {
        form = test::ShownMainForm(&messages);
        QVERIFY(form);
    }
    void cleanup() { form.reset(); }

    void typedNameInAnOpenedFolderGetsHapAndNothingIsCreated() {
        for (QString typed : {QStringLiteral("wave"), QStringLiteral("wave.hap")}) {
            FileSelectForm* chooser = Open("FileSelect");
            QCOMPARE(chooser->FilePath(), dir.path());
            QCOMPARE(test::Control<QListWidget>(*chooser, "FileList1")->count(), 6);  // every file, the hidden one too, no folders
            QVERIFY(Click(test::Control<QListWidget>(*chooser, "DirList1"), QStringLiteral("anims"), true));
            QCOMPARE(chooser->FilePath(), Path(QStringLiteral("anims")));
            Confirm(chooser, typed);
            QCOMPARE(test::Edit(*form, "ActiveFile")->text(), Path(QStringLiteral("anims/%1.hap").arg(typed)));
            QCOMPARE(test::Edit(*form, "FileHeader")->text(),
                     QStringLiteral("#Haptek  Version= 2.00 Name= %1.hap   HapType= script FileType= text").arg(typed));
            QVERIFY(!QFile::exists(test::Edit(*form, "ActiveFile")->text()));
            QTRY_VERIFY(!form->findChild<FileSelectForm*>());
        }
        QVERIFY(messages.isEmpty());
    }

    void existingFileOfAnyExtensionByDoubleClickAndTabOrder() {
        FileSelectForm* chooser = Open("FileSelect");
        QWidget* order[6];
        int n = 0;
        for (const char* name : {"DriveList1", "DirList1", "FileList1", "SaveFileSelect", "NewFilename", "CloseSelectFileForm"})
            order[n++] = test::Control(*chooser, name);
        for (int i = 0; i < 5; ++i) {
            QWidget* next = order[i]->nextInFocusChain();
            while (!(next->focusPolicy() & Qt::TabFocus)) next = next->nextInFocusChain();
            QCOMPARE(next, order[i + 1]);
        }
        QVERIFY(Click(test::Control<QListWidget>(*chooser, "FileList1"), QStringLiteral("notes.txt"), true));
        QCOMPARE(test::Edit(*form, "ActiveFile")->text(), Path(QStringLiteral("notes.txt")));
        QVERIFY(test::Edit(*form, "FileHeader")->text().contains(QStringLiteral("Name= notes.txt   HapType")));
    }

    void refusedOrSentAfterTheirNotes_data() {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("file");
        QTest::addColumn<QStringList>("shown");
        QTest::addColumn<QString>("command");
        QTest::newRow("nothing") << "FileSelect" << "" << QStringList{"Please select a file."} << "";
        QTest::newRow("MODEL.HTR") << "Selectcharacterbutton" << "MODEL.HTR" << QStringList{"please select a character"}
                                   << "";
        QTest::newRow("girl.htr") << "Selectcharacterbutton" << "girl.htr" << QStringList() << "\\load [file= [%1]]";
        QTest::newRow("skin PHOTO.JPG") << "SelectSkin" << "PHOTO.JPG"
                                        << QStringList{kSkinNote, "please select a skin file (*.jpg or *.jpeg)"} << "";
        QTest::newRow("skin x.jpg.bak") << "SelectSkin" << "x.jpg.bak" << QStringList{kSkinNote} << "\\load [file= [%1]]";
        QTest::newRow("bg PHOTO.JPG") << "Selectbackground" << "PHOTO.JPG"
                                      << QStringList{kBgNote, "please select a background file (*.jpg or *.jpeg)"} << "";
    }
    void refusedOrSentAfterTheirNotes() {
        QFETCH(QString, button);
        QFETCH(QString, file);
        QFETCH(QStringList, shown);
        QFETCH(QString, command);
        FileSelectForm* chooser = Open("FileSelect");  // the mode counts when confirming, not opening
        QCOMPARE(Open(button.toLatin1().constData()), chooser);
        QVERIFY(file.isEmpty() || Click(test::Control<QListWidget>(*chooser, "FileList1"), file));
        QTest::mouseClick(test::Button(*chooser, "SaveFileSelect"), Qt::LeftButton);
        QCOMPARE(messages, shown);
        if (command.isEmpty()) {
            QVERIFY(chooser->isVisible());
            QCOMPARE(chooser->SelectedFile(), file);
        } else {
            QCOMPARE(test::ViewOf(*form)->Commands().constLast(), command.arg(Path(file)));
            QTRY_VERIFY(!form->findChild<FileSelectForm*>());
        }
        QCOMPARE(test::Edit(*form, "ActiveFile")->text(), QString());
        Open("SelectSkin");  // the note comes every time
        QCOMPARE(messages.constLast(), kSkinNote);
    }

    void fileInTheRootHasOneSeparator() {
        FileSelectForm* chooser = Open("FileSelect");
        QComboBox* drives = test::Control<QComboBox>(*chooser, "DriveList1");
        drives->setCurrentIndex(drives->findText(QDir::homePath()));
        QCOMPARE(chooser->FilePath(), QDir::homePath());
        drives->setCurrentIndex(drives->findText(QStringLiteral("/")));
        Confirm(chooser, QStringLiteral("top"));
        QCOMPARE(test::Edit(*form, "ActiveFile")->text(), QStringLiteral("/top.hap"));
    }

    void vanishedFolderGetsAMessageAndTheChooserGoesOn() {
        FileSelectForm* chooser = Open("FileSelect");
        QVERIFY(Click(test::Control<QListWidget>(*chooser, "DirList1"), QStringLiteral("anims"), true));
        QVERIFY(QDir(Path(QStringLiteral("anims/deeper"))).removeRecursively());
        QVERIFY(Click(test::Control<QListWidget>(*chooser, "DirList1"), QStringLiteral("deeper"), true));
        QCOMPARE(messages, QStringList{QStringLiteral("The folder \"%1\" cannot be read.")
                                           .arg(Path(QStringLiteral("anims/deeper")))});
        QVERIFY(test::Control<QListWidget>(*chooser, "DirList1")->findItems(QStringLiteral("deeper"), Qt::MatchEndsWith).isEmpty());
        Confirm(chooser, QStringLiteral("after"));
        QCOMPARE(test::Edit(*form, "ActiveFile")->text(), Path(QStringLiteral("anims/after.hap")));
    }
};

TW_WINDOW_TEST_MAIN(FileSelectFormTest)
#include "FileSelectForm_test.moc"
