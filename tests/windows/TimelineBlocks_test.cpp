// The blocks of a played file on the view's timeline, worked as a user works
// them: the strip and its tooltip, and the block menu's load, replace, insert
// and remove by right clicks in the view and in the large window, each edit's
// bytes compared with the core's own edit of a copy of the same file.
#include <QApplication>
#include <QContextMenuEvent>
#include <QFile>
#include <QMenu>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolTip>

#include "WindowTestSupport.h"
#include "session/BlockStrip.h"
#include "session/FileEdits.h"
#include "session/ScriptCommands.h"
#include "windows/BlockStrip.h"
#include "windows/CharacterWindow.h"
#include "windows/ProgressForm.h"

using namespace tw;

namespace {

QByteArray ReadAll(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return "<missing>";
    return f.readAll();
}

void WriteAll(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

// Picks the entry `text` of the context menu that a right click at `at`
// opens (or only looks at it); gives back whether it was there and enabled,
// and every entry's text.
struct MenuPick {
    bool found = false, enabled = false;
    QStringList entries;
};
MenuPick RightClick(QWidget* w, QPoint at, const QString& text, bool trigger = true) {
    MenuPick pick;
    QTimer::singleShot(0, [&pick, text, trigger] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!menu) return;
        QAction* chosen = nullptr;
        for (QAction* a : menu->actions()) {
            pick.entries << a->text();
            if (a->text() == text) chosen = a;
        }
        menu->close();
        if (chosen) {
            pick.found = true;
            pick.enabled = chosen->isEnabled();
            if (trigger && chosen->isEnabled()) chosen->trigger();
        }
    });
    QContextMenuEvent e(QContextMenuEvent::Mouse, at, w->mapToGlobal(at));
    QApplication::sendEvent(w, &e);
    return pick;
}

}  // namespace

class TimelineBlocksTest : public QObject {
    Q_OBJECT

    QStringList log_;
    bool answer_ = true;
    std::unique_ptr<MainForm> form_;
    std::unique_ptr<QTemporaryDir> dir_, copies_;
    QString file_;

    class Answering : public Dialogs {
    public:
        explicit Answering(TimelineBlocksTest* test) : test_(test) {}
        void Inform(QWidget*, const QString& text) override { test_->log_ << text; }
        bool Ask(QWidget*, const QString& text) override {
            test_->log_ << QStringLiteral("? ") + text;
            return test_->answer_;
        }

    private:
        TimelineBlocksTest* test_;
    };

    CharacterView* View() { return test::ViewOf(*form_); }
    BlockStrip& Strip() { return View()->Controller().Blocks(); }

    // Three blocks added by the form's own generation, the second with a sub
    // header, each continuing where the last one finished.
    void MakeFile(int blocks) {
        DocumentTexts document = form_->ReadDocument();
        document.activeFile = file_.toStdString();
        for (int b = 0; b < blocks; ++b) {
            document.final[b] = std::to_string(0.1 * (b + 1)).substr(0, 4);
            document.dKeyframe = b == 1 ? "0.5" : "1";
            document.subHeader = b == 1 ? "Second take\r\nmore" : "";
            const Outcome<DocumentRun> run = GenerateOntoFile(document, std::chrono::milliseconds(2000));
            QVERIFY2(run.ok(), run ? "" : run.error().c_str());
            document.startTime = run.value().nextStartTime;
        }
    }

    // Plays the file with "Display Saved Hap File" and waits for its strip.
    bool Display() {
        // Playback stands at its first time, so the play position stays at the left end.
        View()->SetClock([] { return qint64{0}; });
        QSignalSpy indexed(&Strip(), &BlockStrip::Indexed);
        test::Button(*form_, "LoadFullHap")->click();
        return indexed.wait(10000);
    }
    // Whether the strip was indexed again (the view plays the edited file
    // anew) since `indexed` was made, waiting for it.
    static bool Reindexed(QSignalSpy& indexed) { return !indexed.isEmpty() || indexed.wait(10000); }
    QSignalSpy Watch() { return QSignalSpy(&Strip(), &BlockStrip::Indexed); }

    // The point in the middle of block `k`'s columns on `surface`'s strip,
    // `above` pixels above the strip's bottom.
    QPoint OnBlock(QWidget* surface, const QRect& area, std::size_t k, int above = 4) {
        const Player& player = View()->Controller().Playback();
        const StripLayout layout = LayOutStrip(
            BlockSpans(*Strip().Index()), TimeScale{player.FirstTime(), player.LastTime(), area.width()});
        (void)surface;
        for (const StripRun& run : layout.runs)
            if (run.block == k)
                return QPoint(area.left() + (run.left + run.right) / 2, area.bottom() - above);
        return QPoint(-1, -1);
    }
    QPoint OnViewBlock(std::size_t k) { return OnBlock(View(), View()->contentsRect(), k); }

    // A copy of the file in another folder under the same name, for the core's own edit.
    std::string Copy(const QByteArray& bytes) {
        const QString path = copies_->filePath(QStringLiteral("take.hap"));
        WriteAll(path, bytes);
        return path.toStdString();
    }

private slots:
    void init() {
        dir_ = std::make_unique<QTemporaryDir>();
        copies_ = std::make_unique<QTemporaryDir>();
        file_ = dir_->filePath(QStringLiteral("take.hap"));
        answer_ = true;
        form_ = std::make_unique<MainForm>(std::make_unique<Answering>(this));
        QVERIFY(test::ShowActive(form_.get()));
        form_->OpenFile(file_);
        log_.clear();
    }
    void cleanup() { form_.reset(); }

    void stripShowsEachBlockAndNamesTheOneUnderThePointer() {
        MakeFile(3);
        QVERIFY(Display());
        const BlockIndex* index = Strip().Index();
        QVERIFY(index);
        QCOMPARE(index->blocks.size(), std::size_t{3});
        QCOMPARE(*index, IndexBlocks(ReadAll(file_).toStdString()));

        // Alternating shades, with a gap of the bar's dark at the boundary.
        const QImage image = View()->grab().toImage();
        const QPoint first = OnViewBlock(0), second = OnViewBlock(1), third = OnViewBlock(2);
        QVERIFY(first.x() >= 0 && second.x() >= 0 && third.x() >= 0);
        // The bar's top rows, above the keyframe ticks.
        const int row = ViewOverlay::TimelineRect(View()->contentsRect()).top() + 1;
        const auto at = [&](QPoint p) { return image.pixelColor(p.x(), row); };
        QVERIFY(at(first) != at(second));
        QCOMPARE(at(first), at(third));
        const QRect area = View()->contentsRect();
        const Player& player = View()->Controller().Playback();
        const StripLayout layout =
            LayOutStrip(BlockSpans(*index), TimeScale{player.FirstTime(), player.LastTime(), area.width()});
        QVERIFY(layout.runs.at(1).gap);
        const QColor gap = image.pixelColor(area.left() + layout.runs[1].left, row);
        QVERIFY(gap.lightness() < at(first).lightness() && gap.lightness() < at(second).lightness());

        // The tooltip of the second block.
        QHelpEvent help(QEvent::ToolTip, second, View()->mapToGlobal(second));
        QApplication::sendEvent(View(), &help);
        QTRY_VERIFY(QToolTip::isVisible());
        QCOMPARE(QToolTip::text(), QString::fromStdString(BlockToolTip(*index, 1)));
        QVERIFY(QToolTip::text().startsWith(QStringLiteral("Block 2 of 3 \u00B7 ")));
        QVERIFY(QToolTip::text().endsWith(QStringLiteral("\nSecond take")));
    }

    void replaceAndInsertWriteWhatTheCoreWritesAndMoveTheForm() {
        MakeFile(3);
        QVERIFY(Display());
        // A different form: another duration and a sub header.
        test::Edit(*form_, "DKeyframe")->setText(QStringLiteral("2"));
        test::SubHeaderOf(*form_)->setPlainText(QStringLiteral("New take"));
        const DocumentTexts before = form_->ReadDocument();
        const QByteArray original = ReadAll(file_);

        const Outcome<BlockEdit> expected = ReplaceBlock(Copy(original), 2, before);
        QVERIFY(expected.ok());
        QSignalSpy indexed = Watch();
        const MenuPick pick = RightClick(View(), OnViewBlock(1), QStringLiteral("Replace with the form"));
        QVERIFY2(pick.found && pick.enabled, qPrintable(pick.entries.join(',')));
        QVERIFY2(log_.isEmpty(), qPrintable(log_.join('\n')));
        QCOMPARE(ReadAll(file_), ReadAll(copies_->filePath(QStringLiteral("take.hap"))));
        QVERIFY(ReadAll(file_) != original);
        // As after F5: the start time moves to the new block's finish, the sub header is used up.
        QCOMPARE(test::Edit(*form_, "StartTime")->text().toStdString(), expected.value().nextStartTime);
        QCOMPARE(test::SubHeaderOf(*form_)->toPlainText(), QString());
        // The strip follows the file.
        QVERIFY(Reindexed(indexed));
        QCOMPARE(*Strip().Index(), IndexBlocks(ReadAll(file_).toStdString()));

        const QByteArray replaced = ReadAll(file_);
        const DocumentTexts now = form_->ReadDocument();
        QVERIFY(InsertBlockBefore(Copy(replaced), 1, now).ok());
        QSignalSpy again = Watch();
        QVERIFY(RightClick(View(), OnViewBlock(0), QStringLiteral("Insert the form before")).found);
        QCOMPARE(ReadAll(file_), ReadAll(copies_->filePath(QStringLiteral("take.hap"))));
        QVERIFY(Reindexed(again));
        QCOMPARE(Strip().Index()->blocks.size(), std::size_t{4});
    }

    void removeAsksNamingTheBlockAndNoChangesNothing() {
        MakeFile(3);
        QVERIFY(Display());
        const QByteArray original = ReadAll(file_);
        const BlockEntry second = Strip().Index()->blocks[1];
        const QString question =
            QStringLiteral("? ") + QString::fromStdString(RemoveQuestion(second, 2, file_.toStdString()));

        answer_ = false;
        QVERIFY(RightClick(View(), OnViewBlock(1), QStringLiteral("Remove")).found);
        QCOMPARE(log_, QStringList{question});
        QCOMPARE(ReadAll(file_), original);

        answer_ = true;
        log_.clear();
        QVERIFY(RemoveBlock(Copy(original), 2).ok());
        QSignalSpy indexed = Watch();
        QVERIFY(RightClick(View(), OnViewBlock(1), QStringLiteral("Remove")).found);
        QCOMPARE(log_, QStringList{question});
        QCOMPARE(ReadAll(file_), ReadAll(copies_->filePath(QStringLiteral("take.hap"))));
        QVERIFY(Reindexed(indexed));
        QCOMPARE(Strip().Index()->blocks.size(), std::size_t{2});
    }

    void undoTakesBackAnEditMadeFromTheStripAndRedoMakesItAgain() {
        MakeFile(3);
        QVERIFY(Display());
        const QByteArray original = ReadAll(file_);
        QSignalSpy indexed = Watch();
        QVERIFY(RightClick(View(), OnViewBlock(1), QStringLiteral("Remove")).found);
        QVERIFY(Reindexed(indexed));
        const QByteArray removed = ReadAll(file_);
        QVERIFY(removed != original);
        log_.clear();
        test::Button(*form_, "UndoAdd")->click();
        QCOMPARE(log_.size(), 1);
        QVERIFY2(log_[0].startsWith(QStringLiteral("? Take back the removal of block 2")),
                 qPrintable(log_[0]));
        QCOMPARE(ReadAll(file_), original);
        test::Button(*form_, "RedoAdd")->click();
        QCOMPARE(ReadAll(file_), removed);
    }

    void anEditOfALargeFileShowsTheProgressWindow() {
        MakeFile(2);
        QCOMPARE(form_->findChildren<ProgressForm*>().size(), 0);
        // Past the size at which an edit shows its progress: the same blocks again and again.
        const QByteArray two = ReadAll(file_);
        QByteArray bytes;
        while (bytes.size() < (17 << 20)) bytes += two;
        WriteAll(file_, bytes);
        QVERIFY(Display());
        const QRect area = View()->contentsRect();
        QSignalSpy indexed = Watch();
        QVERIFY(
            RightClick(View(), QPoint(area.left() + 3, area.bottom() - 4), QStringLiteral("Remove")).found);
        QVERIFY2(ReadAll(file_).size() < bytes.size(), qPrintable(log_.join('\n')));
        const QList<ProgressForm*> progress = form_->findChildren<ProgressForm*>();
        QCOMPARE(progress.size(), 1);
        QVERIFY(progress[0]->isVisible());
        QVERIFY(Reindexed(indexed));
    }

    void loadThisBlockFillsTheFormAsTheLoaderDoes() {
        MakeFile(3);
        QVERIFY(Display());
        test::SubHeaderOf(*form_)->setPlainText(QStringLiteral("typed"));
        for (long number : {1L, 3L}) {
            const DocumentTexts before = form_->ReadDocument();
            const Outcome<LoadedDocument> expected = LoadBlockInto(file_.toStdString(), number, before);
            QVERIFY(expected.ok());
            QVERIFY(expected.value().document != before);
            QVERIFY(RightClick(View(), OnViewBlock(static_cast<std::size_t>(number - 1)),
                               QStringLiteral("Load this block"))
                        .found);
            QCOMPARE(form_->ReadDocument(), expected.value().document);
            QCOMPARE(log_, QStringList());
            // The last block comes in as "Load  last animation from file" brings it.
            if (number == 3)
                QCOMPARE(form_->ReadDocument(), LoadLastInto(file_.toStdString(), before).value().document);
        }
        QCOMPARE(test::SubHeaderOf(*form_)->toPlainText(), QStringLiteral("typed"));
    }

    void aFileChangedSinceItsBlocksWereShownIsNotEdited() {
        MakeFile(2);
        QVERIFY(Display());
        QByteArray changed = ReadAll(file_);
        changed.append("\r\n");
        WriteAll(file_, changed);
        QSignalSpy indexed = Watch();
        QVERIFY(RightClick(View(), OnViewBlock(0), QStringLiteral("Replace with the form")).found);
        QCOMPARE(ReadAll(file_), changed);
        QCOMPARE(log_.size(), 1);
        QVERIFY(log_[0].contains(QStringLiteral("was changed by another program")));
        QVERIFY(log_[0].endsWith(QStringLiteral("The file was not changed.")));
        QVERIFY(Reindexed(indexed));
    }

    void aCutOffBlockIsListedButOnlyLoaded() {
        MakeFile(2);
        QByteArray bytes = ReadAll(file_);
        bytes.chop(5);  // the closing line and a little more
        WriteAll(file_, bytes);
        QVERIFY(Display());
        QCOMPARE(Strip().Index()->blocks.size(), std::size_t{2});
        QVERIFY(!Strip().Index()->blocks[1].complete);
        for (const char* text : {"Replace with the form", "Insert the form before", "Remove"}) {
            const MenuPick pick = RightClick(View(), OnViewBlock(1), QLatin1String(text));
            QVERIFY2(pick.found && !pick.enabled, text);
        }
        QVERIFY(RightClick(View(), OnViewBlock(1), QStringLiteral("Load this block"), false).enabled);
        QVERIFY(RightClick(View(), OnViewBlock(0), QStringLiteral("Remove"), false).enabled);
        QCOMPARE(ReadAll(file_), bytes);
    }

    void tenThousandBlocksEachColumnNamesOne() {
        QByteArray bytes;
        for (int b = 0; b < 10000; ++b) {
            bytes += "\"#Haptek  Version= 2.00 Name= take.hap   HapType= script FileType= text\r\n\r\n";
            for (int f = 0; f < 2; ++f)
                bytes += QStringLiteral("\\clock [t= %1]   \\setreg[name= HeadTwist   f0= %2]\r\n")
                             .arg(b * 0.5 + f * 0.5, 0, 'f', 3)
                             .arg(f == 0 ? 0.0 : 0.2 * (b % 3), 0, 'f', 3)
                             .toLatin1();
            bytes += "\"\r\n";
        }
        WriteAll(file_, bytes);
        QVERIFY(Display());
        QCOMPARE(Strip().Index()->blocks.size(), std::size_t{10000});
        const QRect area = View()->contentsRect();
        const QPoint last(area.right(), area.bottom() - 4);
        QHelpEvent help(QEvent::ToolTip, last, View()->mapToGlobal(last));
        QApplication::sendEvent(View(), &help);
        QTRY_VERIFY(QToolTip::isVisible());
        QVERIFY2(QToolTip::text().startsWith(
                     QStringLiteral("Block 10000 of 10000 \u00B7 4999.500\u20135000.000 s")),
                 qPrintable(QToolTip::text()));
        const MenuPick pick = RightClick(View(), last, QStringLiteral("Remove"), false);
        QVERIFY(pick.found && pick.enabled);
    }

    void noBlocksNoStripAndNoEdits() {
        // Register lines outside any quoted record: the view plays them, no block is offered.
        WriteAll(file_,
                 "\\clock [t= 0.000]   \\setreg[name= HeadTwist   f0= 0.000]\r\n"
                 "\\clock [t= 1.000]   \\setreg[name= HeadTwist   f0= 0.500]\r\n");
        QVERIFY(Display());
        QVERIFY(View()->HasTimeline());
        QVERIFY(!Strip().Shown());
        const QRect area = View()->contentsRect();
        const MenuPick pick =
            RightClick(View(), QPoint(area.center().x(), area.bottom() - 4), QStringLiteral("Remove"));
        QVERIFY(!pick.found);
        QVERIFY(pick.entries.contains(QStringLiteral("Front")));

        // A preview plays a block of the program's own: no strip either.
        QSignalSpy loaded(View(), &CharacterView::LoadFinished);
        test::Button(*form_, "LoadInitialV")->click();
        QVERIFY(loaded.wait(10000));
        QVERIFY(View()->HasTimeline());
        QVERIFY(!Strip().Shown());
    }

    void theLargeWindowNumbersTheBlocksAndEditsThemToo() {
        MakeFile(3);
        QVERIFY(Display());
        View()->OpenLarge();
        CharacterWindow* large = View()->LargeWindow();
        QVERIFY(QTest::qWaitForWindowExposed(large));
        QWidget* surface = test::Control(*large, "CharacterSurface");
        const QRect area = surface->rect();
        // Taller: the shades rise above the timeline's bar.
        const QImage image = surface->grab().toImage();
        const int aboveBar = area.bottom() - ViewOverlay::TimelineHeight - 1;
        const QPoint second = OnBlock(surface, area, 1, 0);
        const QPoint third = OnBlock(surface, area, 2, 0);
        QVERIFY(image.pixelColor(second.x() - 8, aboveBar) != image.pixelColor(third.x() + 8, aboveBar));
        // A number is written in each block's run: pixels of the text's light colour.
        int light = 0;
        const int runLeft = OnBlock(surface, area, 1, 0).x() - 20;
        for (int y = area.bottom() - LargeStripHeight; y < area.bottom() - ViewOverlay::TimelineHeight; ++y)
            for (int x = runLeft; x < runLeft + 40; ++x) light += image.pixelColor(x, y).lightness() > 200;
        QVERIFY(light > 3);

        const QByteArray original = ReadAll(file_);
        QVERIFY(RemoveBlock(Copy(original), 3).ok());
        const QPoint at = OnBlock(surface, area, 2, LargeStripHeight - 6);
        QSignalSpy indexed = Watch();
        QVERIFY(RightClick(surface, at, QStringLiteral("Remove")).found);
        QCOMPARE(ReadAll(file_), ReadAll(copies_->filePath(QStringLiteral("take.hap"))));
        QVERIFY(Reindexed(indexed));
        QCOMPARE(Strip().Index()->blocks.size(), std::size_t{2});
    }
};

TW_WINDOW_TEST_MAIN(TimelineBlocksTest)
#include "TimelineBlocks_test.moc"
