// "Export…" from the view's menu: the dialog renders the script the view
// shows, with the view's camera, into the file named, off the window's
// thread; the ending follows the kind; Cancel stops it and leaves nothing.
#include <QApplication>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTimer>

#include "WindowTestSupport.h"
#include "generation/HapScript.h"
#include "windows/CharacterView.h"
#include "windows/ExportDialog.h"

using namespace tw;

namespace {

// Three seconds: the head turns and an arm rises.
QByteArray Movement() {
    std::string block = "#Haptek  Version= 2.00 Name= move.hap   HapType= script FileType= text\r\n\r\n";
    for (int f = 0; f <= 3; ++f) {
        AppendRegisterLine(block, f, "", "HeadTwist", -0.6 + 0.4 * f);
        AppendRegisterLine(block, f, "", "LShoOut", 0.5 * f);
    }
    return QByteArray::fromStdString(QuotedRecord(block));
}

}  // namespace

class ExportDialogTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    std::unique_ptr<CharacterView> view_;

    ExportDialog* OpenFromMenu() {
        QTimer::singleShot(0, [] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            if (!menu) return;
            for (QAction* a : menu->actions())
                if (a->text() == QStringLiteral("Export…")) a->trigger();
            menu->close();
        });
        const QPoint at = view_->contentsRect().center();
        QContextMenuEvent e(QContextMenuEvent::Mouse, at, view_->mapToGlobal(at));
        QApplication::sendEvent(view_.get(), &e);
        return view_->findChild<ExportDialog*>();
    }
    template <class T>
    static T* Child(QObject* dialog, const char* name) {
        return dialog->findChild<T*>(QLatin1String(name));
    }

private slots:
    void init() {
        view_ = std::make_unique<CharacterView>(nullptr);
        view_->resize(273, 337);
        QVERIFY(test::ShowActive(view_.get()));
        const QString path = dir_.filePath(QStringLiteral("move.hap"));
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(Movement());
        f.close();
        QSignalSpy done(view_.get(), &CharacterView::LoadFinished);
        view_->SendCommand(QStringLiteral("\\load [file= [%1]]").arg(path));
        QVERIFY(done.wait(10000));
        view_->Controller().SetCamera(PresetCamera(CameraPreset::Side));
    }
    void cleanup() { view_.reset(); }

    void rendersTheViewsScriptWithItsCameraAndNamesTheFile() {
        ExportDialog* dialog = OpenFromMenu();
        QVERIFY(dialog);
        auto* kind = Child<QComboBox>(dialog, "Kind");
        auto* out = Child<QLineEdit>(dialog, "Output");
        QVERIFY(out->text().endsWith(QStringLiteral("move.mp4")));
        kind->setCurrentIndex(2);
        QVERIFY(out->text().endsWith(QStringLiteral("move.gif")));
        kind->setCurrentIndex(3);
        QVERIFY(out->text().endsWith(QStringLiteral("move/")));
        out->setText(dir_.filePath(QStringLiteral("frames/")));
        Child<QSpinBox>(dialog, "Width")->setValue(64);
        Child<QSpinBox>(dialog, "Height")->setValue(48);
        Child<QSpinBox>(dialog, "Fps")->setValue(2);
        Child<QPushButton>(dialog, "ExportButton")->click();
        QTRY_VERIFY_WITH_TIMEOUT(!dialog->Rendering(), 20000);
        const QString status = Child<QLabel>(dialog, "Status")->text();
        QVERIFY2(status.contains(QStringLiteral("Written: ") + dir_.filePath(QStringLiteral("frames/")) +
                                 QStringLiteral(": 7 frames")),
                 qPrintable(status));
        const QDir frames(dir_.filePath(QStringLiteral("frames")));
        QCOMPARE(frames.entryList(QDir::Files).size(), 7);
        // Frame 3 is the view's own scene at 1.5 s, seen from the side.
        const QImage written =
            QImage(frames.filePath(QStringLiteral("0003.png"))).convertToFormat(QImage::Format_RGB32);
        QCOMPARE(written, view_->Controller().Scene().Frame(1.5, QSize(64, 48)));
        view_->Controller().SetCamera(StartupCamera());
        QVERIFY(written != view_->Controller().Scene().Frame(1.5, QSize(64, 48)));
    }

    void cancelStopsTheRenderAndLeavesNothing() {
        ExportDialog* dialog = OpenFromMenu();
        QVERIFY(dialog);
        const QString out = dir_.filePath(QStringLiteral("long.mp4"));
        Child<QLineEdit>(dialog, "Output")->setText(out);
        Child<QSpinBox>(dialog, "Fps")->setValue(120);
        Child<QPushButton>(dialog, "ExportButton")->click();
        QVERIFY(dialog->Rendering());
        auto* cancel = Child<QPushButton>(dialog, "CancelButton");
        QCOMPARE(cancel->text(), QStringLiteral("Cancel"));
        cancel->click();
        QTRY_VERIFY_WITH_TIMEOUT(!dialog->Rendering(), 20000);
        QCOMPARE(Child<QLabel>(dialog, "Status")->text(), QStringLiteral("Cancelled; nothing was written."));
        QCOMPARE(QDir(dir_.path()).entryList(QDir::Files | QDir::Hidden),
                 QStringList{QStringLiteral("move.hap")});
        QCOMPARE(cancel->text(), QStringLiteral("Close"));
    }
};

TW_WINDOW_TEST_MAIN(ExportDialogTest)
#include "ExportDialog_test.moc"
