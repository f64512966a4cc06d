// The file chooser driven as a user drives it: the four file buttons, folders
// opened by double-click, names typed or files picked, and every refusal.
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

#include "WindowTestSupport.h"
#include "windows/CharacterView.h"
#include "windows/FileSelectForm.h"
#include "windows/MainForm.h"

using namespace tw;

namespace {

const char* const kSkinNote = "Please note that skins are only displayed within this program. They are not "
                              "passed on to the generated hap file.";
const char* const kBackgroundNote = "Please note that Back Grounds are only displayed within this program. They "
                                    "are not passed on to the generated hap file.";

QListWidgetItem* Item(QListWidget* list, const QString& text) {
    for (int i = 0; i < list->count(); ++i)
        if (list->item(i)->text().trimmed() == text) return list->item(i);
    return nullptr;
}

void DoubleClick(QListWidget* list, QListWidgetItem* item) {
    QVERIFY(item);
    QPoint at = list->visualItemRect(item).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
}

}  // namespace

class FileSelectFormTest : public QObject {
    Q_OBJECT

    QStringList messages;
    std::unique_ptr<MainForm> form;
    QTemporaryDir dir;

    FileSelectForm* Open(QPushButton* button) {
        QTest::mouseClick(button, Qt::LeftButton);
        return form->findChild<FileSelectForm*>();
    }
    QString Path(const QString& name) { return dir.path() + QLatin1Char('/') + name; }
    void Pick(FileSelectForm* chooser, const QString& name) {
        QListWidgetItem* item = Item(chooser->FileList1, name);
        QVERIFY(item);
        QTest::mouseClick(chooser->FileList1->viewport(), Qt::LeftButton, {},
                          chooser->FileList1->visualItemRect(item).center());
    }

private slots:
    void initTestCase() {
        for (const char* name : {"MODEL.HTR", "girl.htr", "PHOTO.JPG", "x.jpg.bak", "notes.txt", ".hidden"}) {
            QFile file(Path(QString::fromLatin1(name)));
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("anims/deeper")));
        QVERIFY(QDir::setCurrent(dir.path()));
    }
    void init() {
        messages.clear();
        form = std::make_unique<MainForm>(std::make_unique<test::RecordingDialogs>(&messages));
        QVERIFY(test::ShowActive(form.get()));
    }
    void cleanup() { form.reset(); }

    void startsInTheCurrentFolderListingEveryFileInTabOrder() {
        FileSelectForm* chooser = Open(form->FileSelect);
        QVERIFY(chooser && chooser->isVisible());
        QCOMPARE(chooser->windowTitle(), QStringLiteral("Select File"));
        QCOMPARE(chooser->FilePath(), QDir::currentPath());
        QCOMPARE(chooser->FileList1->count(), 6);  // hidden file too, no folders
        QVERIFY(Item(chooser->FileList1, QStringLiteral(".hidden")));
        QVERIFY(Item(chooser->DirList1, QStringLiteral("anims")));
        QList<QWidget*> order{chooser->DriveList1, chooser->DirList1, chooser->FileList1,
                              chooser->SaveFileSelect, chooser->NewFilename, chooser->CloseSelectFileForm};
        for (int i = 0; i + 1 < order.size(); ++i) {
            QWidget* next = order[i]->nextInFocusChain();
            while (!(next->focusPolicy() & Qt::TabFocus)) next = next->nextInFocusChain();
            QCOMPARE(next, order[i + 1]);
        }
    }

    void typedNameInAnOpenedFolderWinsAndGetsHap() {
        for (const char* typed : {"wave", "wave.hap"}) {
            FileSelectForm* chooser = Open(form->FileSelect);
            DoubleClick(chooser->DirList1, Item(chooser->DirList1, QStringLiteral("anims")));
            QCOMPARE(chooser->FilePath(), Path(QStringLiteral("anims")));
            QTest::keyClicks(chooser->NewFilename, QString::fromLatin1(typed));
            QTest::mouseClick(chooser->SaveFileSelect, Qt::LeftButton);
            QString file = QString::fromLatin1(typed) + QStringLiteral(".hap");
            QCOMPARE(form->ActiveFile->text(), Path(QStringLiteral("anims/") + file));
            QCOMPARE(form->FileHeader->text(),
                     QStringLiteral("#Haptek  Version= 2.00 Name= %1   HapType= script FileType= text").arg(file));
            QVERIFY(!QFile::exists(form->ActiveFile->text()));  // nothing is created
            QTRY_VERIFY(!form->findChild<FileSelectForm*>());
        }
        QVERIFY(messages.isEmpty());
    }

    void existingFileOfAnyExtensionByDoubleClick() {
        FileSelectForm* chooser = Open(form->FileSelect);
        DoubleClick(chooser->FileList1, Item(chooser->FileList1, QStringLiteral("notes.txt")));
        QCOMPARE(form->ActiveFile->text(), Path(QStringLiteral("notes.txt")));
        QVERIFY(form->FileHeader->text().contains(QStringLiteral("Name= notes.txt   HapType")));
    }

    void choicesRefusedOrSentWithTheirNotes_data() {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("file");
        QTest::addColumn<QStringList>("shown");
        QTest::addColumn<QString>("command");
        auto note = [](const char* n) { return QStringList{QString::fromLatin1(n)}; };
        QTest::newRow("nothing") << "FileSelect" << "" << note("Please select a file.") << "";
        QTest::newRow("MODEL.HTR") << "Selectcharacterbutton" << "MODEL.HTR" << note("please select a character") << "";
        QTest::newRow("girl.htr") << "Selectcharacterbutton" << "girl.htr" << QStringList() << "\\load [file= [%1]]";
        QTest::newRow("skin PHOTO.JPG") << "SelectSkin" << "PHOTO.JPG"
                                        << (note(kSkinNote) << "please select a skin file (*.jpg or *.jpeg)") << "";
        QTest::newRow("skin x.jpg.bak") << "SelectSkin" << "x.jpg.bak" << note(kSkinNote) << "\\load [file= [%1]]";
        QTest::newRow("bg PHOTO.JPG") << "Selectbackground" << "PHOTO.JPG"
                                      << (note(kBackgroundNote) << "please select a background file (*.jpg or *.jpeg)")
                                      << "";
    }
    void choicesRefusedOrSentWithTheirNotes() {
        QFETCH(QString, button);
        QFETCH(QString, file);
        QFETCH(QStringList, shown);
        QFETCH(QString, command);
        // Opened first as a hap-file chooser: the mode counts when confirming.
        FileSelectForm* chooser = Open(form->FileSelect);
        QCOMPARE(Open(form->findChild<QPushButton*>(button)), chooser);
        if (!file.isEmpty()) Pick(chooser, file);
        QTest::mouseClick(chooser->SaveFileSelect, Qt::LeftButton);
        QCOMPARE(messages, shown);
        if (command.isEmpty()) {
            QVERIFY(chooser->isVisible());
            QCOMPARE(chooser->SelectedFile(), file);
            QCOMPARE(form->ActiveFile->text(), QString());
        } else {
            QCOMPARE(form->ActiveHaptekX1->Commands().constLast(), command.arg(Path(file)));
            QTRY_VERIFY(!form->findChild<FileSelectForm*>());
        }
    }

    void notesComeBeforeTheChooserEveryTime() {
        for (int i = 0; i < 2; ++i) {
            Open(form->SelectSkin);
            Open(form->Selectbackground);
        }
        QCOMPARE(messages, (QStringList{kSkinNote, kBackgroundNote, kSkinNote, kBackgroundNote}));
        QCOMPARE(form->Fileselectstatus->text(), QStringLiteral("4"));
    }

    void fileInTheRootHasOneSeparator() {
        FileSelectForm* chooser = Open(form->FileSelect);
        chooser->DriveList1->setCurrentIndex(chooser->DriveList1->findText(QDir::homePath()));
        QCOMPARE(chooser->FilePath(), QDir::homePath());
        chooser->DriveList1->setCurrentIndex(chooser->DriveList1->findText(QStringLiteral("/")));
        QCOMPARE(chooser->FilePath(), QStringLiteral("/"));
        QTest::keyClicks(chooser->NewFilename, QStringLiteral("top"));
        QTest::mouseClick(chooser->SaveFileSelect, Qt::LeftButton);
        QCOMPARE(form->ActiveFile->text(), QStringLiteral("/top.hap"));
    }

    void vanishedFolderGetsAMessageAndTheChooserGoesOn() {
        FileSelectForm* chooser = Open(form->FileSelect);
        DoubleClick(chooser->DirList1, Item(chooser->DirList1, QStringLiteral("anims")));
        QVERIFY(QDir(Path(QStringLiteral("anims/deeper"))).removeRecursively());
        DoubleClick(chooser->DirList1, Item(chooser->DirList1, QStringLiteral("deeper")));
        QCOMPARE(messages, QStringList{QStringLiteral("The folder \"%1\" cannot be read.")
                                           .arg(Path(QStringLiteral("anims/deeper")))});
        QCOMPARE(chooser->FilePath(), Path(QStringLiteral("anims")));
        QVERIFY(!Item(chooser->DirList1, QStringLiteral("deeper")));
        QTest::keyClicks(chooser->NewFilename, QStringLiteral("after"));
        QTest::mouseClick(chooser->SaveFileSelect, Qt::LeftButton);
        QCOMPARE(form->ActiveFile->text(), Path(QStringLiteral("anims/after.hap")));
        QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("anims/deeper")));
    }
};

TW_WINDOW_TEST_MAIN(FileSelectFormTest)
#include "FileSelectForm_test.moc"
