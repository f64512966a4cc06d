#include "windows/MainForm.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFocusEvent>
#include <QFontInfo>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProgressBar>

#include "document/FieldRules.h"
#include "document/FixedPaths.h"
#include "document/NumberText.h"
#include "document/PathText.h"
#include "document/ViewCommands.h"
#include "windows/RegisterPanel.h"
#include "windows/ValueBoxMenu.h"
#include "session/EditHistory.h"
#include "generation/Easing.h"
#include "generation/FileBlock.h"
#include "generation/GenerationRun.h"
#include "generation/Previews.h"
#include "document/ChooserRules.h"
#include "reading/FileBytes.h"
#include "reading/LastAnimationLoader.h"
#include "generation/SavedFile.h"
#include "generation/ScriptFile.h"
#include "windows/BackgroundLoad.h"
#include "windows/CaptionButton.h"
#include "windows/CharacterView.h"
#include "session/LivePose.h"
#include "session/TailMend.h"
#include "session/UndoLookup.h"
#include "generation/TornTail.h"
#include "windows/Dialogs.h"
#include "windows/FileSelectForm.h"
#include "windows/FormHelp.h"
#include "windows/FormSetValue.h"
#include "windows/BlockEditor.h"
#include "windows/ProgressForm.h"
#include "windows/SubHeaderEdit.h"
#include "windows/Twips.h"

namespace tw {

namespace {

std::string Utf8(const QLineEdit* field) { return field->text().toStdString(); }

// `document` with the start time `startTime` and the finish time that follows
// from it, as the start time's change rule leaves them.
DocumentTexts StartingAt(DocumentTexts document, std::string startTime) {
    document.startTime = std::move(startTime);
    document.finishTime = FinishTimeText(document.startTime, document.dKeyframe);
    return document;
}

// The path of a document's text for the file functions: the real name's
// bytes, escapes of undecodable bytes turned back.
std::string FilePath(const std::string& text) { return PathBytes(text); }

}  // namespace

MainForm::MainForm(std::unique_ptr<Dialogs> dialogs, QWidget* parent)
    : QWidget(parent), dialogs_(dialogs ? std::move(dialogs) : std::make_unique<MessageBoxDialogs>()) {
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(QStringLiteral("Tweenwright"));
    // The layout was drawn for a narrow 7.8-point face; the faces found on
    // this platform run wider, so they are set a little smaller to fit it.
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPointSizeF(QFontInfo(font).family() == QStringLiteral("MS Sans Serif") ? 7.8 : 7.0);
    setFont(font);
    setFixedSize(Px(11880), Px(9912));
    history_ = std::make_unique<EditHistory>([] { return PreviewFolder(); });
    BuildControls();
    AttachBlockEditor();
    Form_Load();
}

void MainForm::AttachBlockEditor() {
    auto* blocks = new BlockEditor(ActiveHaptekX1->Controller().Blocks(), *this, *dialogs_, this);
    // Every edit of a block goes into the file's history, for F6 and F7.
    connect(blocks, &BlockEditor::Edited, this,
            [this](const std::string& path, BlockStrip::Action action, const BlockEdit& edit) {
                using Action = BlockStrip::Action;
                history_->Record(path,
                                 action == Action::Replace  ? EditKind::Replace
                                 : action == Action::Insert ? EditKind::Insert
                                                            : EditKind::Remove,
                                 edit);
            });
}

// The previews are this window's: a private folder made for them this run
// goes with it (the usual folder stays for the next run).
MainForm::~MainForm() { RemovePrivatePreviewFolder(); }

namespace {

// Where a control of the window stands, in twips.
struct Place {
    int left, top, width, height;
};

struct FieldRow {
    QLineEdit* MainForm::*member;
    const char* name;
    const char* labelName;  // the label before it: its name and caption
    const char* label;
    Place labelPlace;
    Place place;
    std::string_view text;  // default text
};

struct ButtonRow {
    QPushButton* MainForm::*member;
    bool inCommands;  // placed in the Commands frame
    const char* name;
    const char* caption;
    Place place;
    void (MainForm::*handler)();  // none while the command arrives elsewhere
};

void PlaceTwips(QWidget* widget, const Place& p) {
    tw::PlaceTwips(widget, p.left, p.top, p.width, p.height);
}

}  // namespace

void MainForm::BuildControls() {
    // In this order, which is also the order Tab follows.
    BuildFields();
    BuildButtons();
    BuildSubHeaderAndView();
}

void MainForm::BuildFields() {
    Commands = new QGroupBox(QStringLiteral("Commands"), this);
    Commands->setObjectName(QStringLiteral("Commands"));
    PlaceTwips(Commands, {120, 240, 1092, 9012});
    // Part of the layout only: the chooser's mode is held in chooserMode_.
    Fileselectstatus = new QLineEdit(QStringLiteral("Text1"), Commands);
    Fileselectstatus->setObjectName(QStringLiteral("Fileselectstatus"));
    PlaceTwips(Fileselectstatus, {360, 7800, 372, 288});
    Fileselectstatus->hide();

    static const FieldRow fields[] = {
        {&MainForm::ActiveFile, "ActiveFile", "LabelFile", "File:", {1320, 240, 372, 252}, {1680, 240, 10092, 288}, ""},
        {&MainForm::FileHeader, "FileHeader", "Label7", "File Header:", {1320, 600, 1092, 252}, {2280, 600, 9492, 288},
         DefaultFileHeader},
        {&MainForm::figure, "figure", "Label12", "Figue Name:", {1320, 960, 1212, 252}, {2280, 960, 1932, 288}, ""},
        {&MainForm::StartTime, "StartTime", "Label9", "Start time:", {4560, 960, 732, 252}, {5280, 960, 732, 288}, "0"},
        {&MainForm::Finishtime, "Finishtime", "Label10", "Finish time:", {6120, 960, 852, 252}, {6960, 960, 732, 288}, "1"},
        {&MainForm::DKeyframe, "DKeyframe", "Label1", "Time between keyframes:", {1440, 1320, 1932, 252},
         {3480, 1320, 732, 288}, "1"},
        {&MainForm::FramesPSec, "FramesPSec", "Label2", "Frames per second:", {1440, 1680, 1932, 252},
         {3480, 1680, 732, 288}, "10"},
        {&MainForm::Acceleration, "Acceleration", "Label3", "Acceleration of movement:", {1440, 2040, 1932, 252},
         {3480, 2040, 732, 288}, "0"},
    };
    for (const FieldRow& f : fields) {
        auto* label = new QLabel(QString::fromLatin1(f.label), this);
        label->setObjectName(QString::fromLatin1(f.labelName));
        PlaceTwips(label, f.labelPlace);
        auto* edit = new QLineEdit(QString::fromUtf8(f.text.data(), static_cast<int>(f.text.size())), this);
        edit->setObjectName(QString::fromLatin1(f.name));
        PlaceTwips(edit, f.place);
        this->*f.member = edit;
    }

    for (int k = 0; k < GraphBarCount; ++k) {
        auto* bar = new QProgressBar(this);
        bar->setObjectName(QStringLiteral("ProgressBar1_%1").arg(k));
        bar->setOrientation(Qt::Vertical);
        bar->setRange(0, 100);
        bar->setTextVisible(false);
        PlaceTwips(bar, {4320 + 240 * k, 1320, 100, 1212});
        ProgressBar1[k] = bar;
    }
}

void MainForm::BuildButtons() {
    static const ButtonRow buttons[] = {
        {&MainForm::FileSelect, true, "FileSelect", "Select File", {120, 360, 852, 492},
         &MainForm::FileSelect_Click},
        {&MainForm::Selectcharacterbutton, true, "Selectcharacterbutton", "Select Character",
         {120, 960, 852, 492}, &MainForm::Selectcharacterbutton_Click},
        {&MainForm::SelectSkin, true, "SelectSkin", "Select Skin", {120, 1560, 852, 492},
         &MainForm::SelectSkin_Click},
        {&MainForm::Selectbackground, true, "Selectbackground", "SelectBG", {120, 2160, 852, 492},
         &MainForm::Selectbackground_Click},
        {&MainForm::UndoAdd, true, "UndoAdd", "Undo Last Add (F6)", {120, 2880, 852, 612},
         &MainForm::UndoAdd_Click},
        {&MainForm::RedoAdd, true, "RedoAdd", "Redo Add (F7)", {120, 3600, 852, 612}, &MainForm::RedoAdd_Click},
        {&MainForm::ButtonHelp, true, "ButtonHelp", "Help", {120, 7560, 852, 612}, &MainForm::ButtonHelp_Click},
        {&MainForm::exit, true, "exit", "Exit", {120, 8280, 852, 612}, &MainForm::exit_Click},
        {&MainForm::LoadInitialV, false, "LoadInitialV", "Show Initial (F1)", {6720, 1320, 972, 612},
         &MainForm::LoadInitialV_Click},
        {&MainForm::LoadFinalV, false, "LoadFinalV", "Show Final (F2)", {6720, 2040, 972, 492},
         &MainForm::LoadFinalV_Click},
        {&MainForm::LoadAnimation, false, "LoadAnimation", "Show Animation (F3)", {7800, 1080, 1812, 372},
         &MainForm::LoadAnimation_Click},
        {&MainForm::ResetAnim, false, "ResetAnim", "Reset Character (F4)", {7800, 1560, 1812, 372},
         &MainForm::ResetAnim_Click},
        {&MainForm::LoadFullHap, false, "LoadFullHap", "Display Saved Hap File", {7800, 2040, 1812, 492},
         &MainForm::LoadFullHap_Click},
        {&MainForm::LoadXHap, false, "LoadXHap", "Load  last animation from file", {7800, 2640, 1812, 492},
         &MainForm::LoadXHap_Click},
        {&MainForm::Gen2Append, false, "Gen2Append", "Generate && add to file (F5)", {9720, 1080, 1932, 732},
         &MainForm::Gen2Append_Click},
        {&MainForm::Gen2Clip, false, "Gen2Clip", "Generate to Clipboard", {9720, 1920, 1932, 492},
         &MainForm::Gen2Clip_Click},
        {&MainForm::DeleteFile, false, "DeleteFile", "Delete File", {9720, 2520, 1932, 612},
         &MainForm::DeleteFile_Click},
        {&MainForm::ClearClipboard, false, "ClearClipboard", "Clear Sub Header", {9240, 3360, 1692, 252},
         &MainForm::ClearClipboard_Click},
    };
    for (const ButtonRow& b : buttons) {
        QPushButton* button = MakeCaptionButton(b.inCommands ? static_cast<QWidget*>(Commands) : this, b.name, b.caption,
                                                b.place.left, b.place.top, b.place.width, b.place.height);
        this->*b.member = button;
        if (b.handler) connect(button, &QPushButton::clicked, this, b.handler);
    }
}

void MainForm::BuildSubHeaderAndView() {
    Panel = new RegisterPanel(this);

    Label8 = new QLabel(QStringLiteral("Sub Header"), this);
    Label8->setObjectName(QStringLiteral("Label8"));
    PlaceTwips(Label8, {7680, 3360, 1452, 372});
    Label8->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    QFont large = font();
    large.setPointSize(12);
    Label8->setFont(large);
    clipboardtemp = new SubHeaderEdit(this);
    clipboardtemp->setObjectName(QStringLiteral("clipboardtemp"));
    clipboardtemp->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    clipboardtemp->setTabChangesFocus(true);
    PlaceTwips(clipboardtemp, {7680, 3720, 4092, 972});
    ActiveHaptekX1 = new CharacterView(this);
    PlaceTwips(ActiveHaptekX1, {7680, 4800, 4092, 5052});
    // The view's speech track is the one remembered for the active file.
    connect(ActiveFile, &QLineEdit::textChanged, ActiveHaptekX1,
            [this](const QString& path) { ActiveHaptekX1->Controller().Speech().SetActiveFile(path); });

    connect(Panel, &RegisterPanel::SliderRequested, this, &MainForm::Panel_SliderRequested);
    connect(Panel, &RegisterPanel::ValueEdited, this, [this](KeyframeSide side, int) { ShowLivePose(side); });
    valueMenu_ = new ValueBoxMenu(*this, *dialogs_, this, [this](KeyframeSide side) { ShowLivePose(side); });
    connect(Panel, &RegisterPanel::ValueMenuRequested, valueMenu_, &ValueBoxMenu::Show);
    connect(StartTime, &QLineEdit::textChanged, this, &MainForm::StartTime_Change);
    connect(DKeyframe, &QLineEdit::textChanged, this, &MainForm::DKeyframe_Change);
    connect(Acceleration, &QLineEdit::textChanged, this, &MainForm::Acceleration_Change);
    for (QWidget* w : {static_cast<QWidget*>(StartTime), static_cast<QWidget*>(DKeyframe),
                       static_cast<QWidget*>(FramesPSec), static_cast<QWidget*>(Acceleration)})
        w->installEventFilter(this);
}

DocumentTexts MainForm::ReadDocument() const {
    DocumentTexts doc;
    doc.activeFile = Utf8(ActiveFile);
    doc.fileHeader = Utf8(FileHeader);
    doc.figure = Utf8(figure);
    doc.startTime = Utf8(StartTime);
    doc.finishTime = Utf8(Finishtime);
    doc.dKeyframe = Utf8(DKeyframe);
    doc.framesPSec = Utf8(FramesPSec);
    doc.acceleration = Utf8(Acceleration);
    doc.subHeader = clipboardtemp->toPlainText().toStdString();
    doc.names = Panel->Names();
    KeyframeColumns columns = Panel->Columns();
    doc.initial = std::move(columns.initial);
    doc.final = std::move(columns.final);
    return doc;
}

void MainForm::OpenFile(const QString& path) {
    const QFileInfo file(path);
    DocumentTexts document = ReadDocument();
    document.activeFile = QDir::cleanPath(file.absoluteFilePath()).toStdString();
    document.fileHeader = HeaderNaming(file.fileName().toStdString());
    WriteDocument(document);
}

std::optional<ChooserMode> MainForm::CurrentChooserMode() const { return chooserMode_; }

void MainForm::SendViewCommand(const std::string& command) {
    ActiveHaptekX1->SendCommand(QString::fromStdString(command));
}

void MainForm::WriteDocument(const DocumentTexts& doc) {
    // Only fields whose text changes are written, so a field that stays as it
    // was fires no change rule. The finish time goes before the start time and
    // the duration, whose change rule then recomputes it.
    const auto write = [](QLineEdit* field, const std::string& text) {
        const QString value = QString::fromStdString(text);
        if (field->text() != value) field->setText(value);
    };
    write(ActiveFile, doc.activeFile);
    write(FileHeader, doc.fileHeader);
    write(figure, doc.figure);
    write(Finishtime, doc.finishTime);
    write(FramesPSec, doc.framesPSec);
    write(DKeyframe, doc.dKeyframe);
    write(StartTime, doc.startTime);
    write(Acceleration, doc.acceleration);
    const QString subHeader = QString::fromStdString(doc.subHeader);
    if (clipboardtemp->toPlainText() != subHeader) clipboardtemp->setPlainText(subHeader);
    Panel->SetRows(doc.names, {doc.initial, doc.final});
}

void MainForm::Form_Load() {
    // The catalogue's scale tables and its size are fixed at compile time;
    // the view starts on all registers.
    Panel->SetViewMode(ViewAllRegisters);
    SendViewCommand(LoadBackgroundCommand(StartupBackgroundPath()));
    Panel->LayoutRegisterRows();
    // Key preview: every key press passes here before the control that has
    // the focus handles it.
    installEventFilter(this);
    for (QWidget* child : findChildren<QWidget*>()) child->installEventFilter(this);
    DrawAccelerationGraph();
}

bool MainForm::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::KeyPress: {
        // Seen once per key press: when it reaches the focused control. A
        // press the control ignores travels on to its parents, but by then
        // the command may have moved the focus elsewhere, so only the focused
        // control counts.
        auto* widget = qobject_cast<QWidget*>(watched);
        if (widget && widget->window() == this && widget == QApplication::focusWidget()) {
            auto* key = static_cast<QKeyEvent*>(event);
            Form_KeyDown(key->key(), key->modifiers());
        }
        break;
    }
    case QEvent::FocusOut: {
        // Leaving a field; a switch to another window is not leaving it.
        auto reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason) break;
        if (watched == StartTime) StartTime_LostFocus();
        else if (watched == DKeyframe) DKeyframe_LostFocus();
        else if (watched == FramesPSec) FramesPSec_LostFocus();
        break;
    }
    case QEvent::MouseButtonRelease:
        if (watched == Acceleration) Acceleration_Click();
        break;
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}

void MainForm::Form_KeyDown(int key, Qt::KeyboardModifiers shift) {
    // Ctrl+M mirrors the initial values, Ctrl+Shift+M the initial into the final.
    if (key == Qt::Key_M && (shift & Qt::ControlModifier)) {
        if (shift & Qt::ShiftModifier) valueMenu_->MirrorInitialIntoFinal_Click();
        else valueMenu_->MirrorInitial_Click();
        return;
    }
    switch (key) {
    case Qt::Key_F1: LoadInitialV_Click(); break;
    case Qt::Key_F2: LoadFinalV_Click(); break;
    case Qt::Key_F3: LoadAnimation_Click(); break;
    case Qt::Key_F4: ResetAnim_Click(); break;
    case Qt::Key_F5: Gen2Append_Click(); break;
    case Qt::Key_F6: UndoAdd_Click(); break;
    case Qt::Key_F7: RedoAdd_Click(); break;
    default: break;
    }
}

void MainForm::UpdateFinishTime() {
    Finishtime->setText(QString::fromStdString(
        FinishTimeText(Utf8(StartTime), Utf8(DKeyframe))));
}

void MainForm::StartTime_Change() { UpdateFinishTime(); }
void MainForm::DKeyframe_Change() { UpdateFinishTime(); }

void MainForm::StartTime_LostFocus() {
    StartTime->setText(QString::fromStdString(NormalisedNumberText(Utf8(StartTime))));
}

void MainForm::FramesPSec_LostFocus() {
    FramesPSec->setText(QString::fromStdString(NormalisedNumberText(Utf8(FramesPSec))));
}

void MainForm::DKeyframe_LostFocus() {
    if (auto snapped = SnappedDurationText(Utf8(DKeyframe), Utf8(FramesPSec))) {
        QString text = QString::fromStdString(*snapped);
        if (text != DKeyframe->text()) DKeyframe->setText(text);
    }
}

void MainForm::Acceleration_Change() {
    std::optional<std::string> normalised = NormalisedAccelerationText(Utf8(Acceleration));
    if (!normalised) return;
    QString text = QString::fromStdString(*normalised);
    if (text != Acceleration->text()) Acceleration->setText(text);
    DrawAccelerationGraph();
}

void MainForm::Acceleration_Click() { Acceleration->selectAll(); }

void MainForm::DrawAccelerationGraph() {
    std::optional<double> acceleration = StrictNumber(Utf8(Acceleration));
    if (!acceleration) return;
    graphValues_ = AccelerationGraph(*acceleration);
    // A bar skips its repaint when its value moves by less than one chunk;
    // every bar is asked to repaint, so none keeps an old height.
    for (int b = 0; b < GraphBarCount; ++b) {
        ProgressBar1[b]->setValue(qRound(graphValues_[b]));
        ProgressBar1[b]->update();
    }
}

void MainForm::ButtonHelp_Click() {
    if (!help_) help_ = new FormHelp(this);
    help_->show();
    help_->raise();
    help_->activateWindow();
}

void MainForm::ShowChooser(ChooserMode mode) {
    // The chooser reads the mode when a choice is confirmed, so a button
    // pressed while it is open changes what the next confirm does.
    chooserMode_ = mode;
    if (!chooser_) chooser_ = new FileSelectForm(*this, this, *dialogs_);
    chooser_->show();
    chooser_->raise();
    chooser_->activateWindow();
}

void MainForm::FileSelect_Click() { ShowChooser(ChooserMode::HapFile); }

void MainForm::Selectcharacterbutton_Click() { ShowChooser(ChooserMode::Character); }

void MainForm::SelectSkin_Click() {
    dialogs_->Inform(this, QStringLiteral("Please note that skins are only displayed within this "
                                          "program. They are not passed on to the generated hap file."));
    ShowChooser(ChooserMode::Skin);
}

void MainForm::Selectbackground_Click() {
    dialogs_->Inform(this, QStringLiteral("Please note that Back Grounds are only displayed within "
                                          "this program. They are not passed on to the generated hap "
                                          "file."));
    ShowChooser(ChooserMode::Background);
}

void MainForm::Panel_SliderRequested(KeyframeSide side, int index, int sliderPosition,
                                     int windowLeftTwips, int windowTopTwips) {
    auto* slider = qobject_cast<FormSetValue*>(sliderWindow_.data());
    if (!slider) {
        slider = new FormSetValue(*this, this);
        sliderWindow_ = slider;
        connect(slider, &FormSetValue::ValueWritten, Panel, &RegisterPanel::PutCaretAtEnd);
        connect(slider, &FormSetValue::ValueWritten, this, [this](KeyframeSide s, int) { ShowLivePose(s); });
    }
    slider->show();
    slider->SetTarget(side, index, sliderPosition);
    // The place is given in the main window's client area; the window goes
    // there on the screen wherever the main window stands, so it opens beside
    // the box.
    slider->move(mapToGlobal(QPoint(Px(windowLeftTwips), Px(windowTopTwips))));
    slider->raise();
    slider->activateWindow();
}

void MainForm::ClearClipboard_Click() {
    clipboardtemp->setPlainText(QString());
    // An empty set of data rather than clear(): after clear() the clipboard
    // can hand a paste a stale object and bring the program down.
    QGuiApplication::clipboard()->setMimeData(new QMimeData);
}

void MainForm::exit_Click() { close(); }

void MainForm::closeEvent(QCloseEvent* event) {
    Form_Unload();
    event->accept();
}

void MainForm::Form_Unload() {
    // A load still running is stopped, so the program can end at once.
    load_.reset();
    if (sliderWindow_) sliderWindow_->close();
    // A progress window still counting down would keep the program running.
    if (progress_) progress_->close();
}

void MainForm::LoadInitialV_Click() { ShowKeyframe(KeyframeSide::Initial); }
void MainForm::LoadFinalV_Click() { ShowKeyframe(KeyframeSide::Final); }
void MainForm::PreviewKeyframe(KeyframeSide side) { ShowKeyframe(side); }

void MainForm::ShowKeyframe(KeyframeSide side) {
    const DocumentTexts document = ReadDocument();
    Outcome<float> saved = SavedStartTime(document.startTime);
    if (!saved) return Inform(saved.error());
    Outcome<KeyframePreview> preview = KeyframePreviewBlock(document, side, FrameStep);
    if (!preview) return Inform(preview.error());
    Outcome<std::string> path = KeyframePreviewFile(side);
    if (!path) return Inform(path.error());
    if (const std::string notice = TakePreviewFolderNotice(); !notice.empty()) Inform(notice);
    ScriptBuffer = std::move(preview.value().block);
    const Outcome<void> written = ReplaceWithQuotedRecord(path.value(), ScriptBuffer);
    if (!written) return Inform("The preview was not shown.\n" + written.error());
    SendViewCommand(LoadCommand(path.value()));
    // The start time comes back as the number the preview read.
    WriteDocument(StartingAt(document, DecimalText(saved.value())));
}

void MainForm::ShowLivePose(KeyframeSide side) {
    const std::optional<PoseValues> pose = KeyframePose(ReadDocument(), side, FrameStep);
    if (!pose) return;
    ActiveHaptekX1->ShowLivePose(*pose, side == KeyframeSide::Initial ? tr("editing the initial pose")
                                                                      : tr("editing the final pose"));
}

void MainForm::LoadAnimation_Click() {
    const DocumentTexts document = ReadDocument();
    Outcome<float> saved = SavedStartTime(document.startTime);
    if (!saved) return Inform(saved.error());
    Outcome<std::string> path = AnimationPreviewFile();
    if (!path) return Inform(path.error());
    if (const std::string notice = TakePreviewFolderNotice(); !notice.empty()) Inform(notice);
    // The run writes the document from time 0 into the preview file, which it
    // replaces whole, as if that file were the active one.
    DocumentTexts run = StartingAt(document, "0");
    run.activeFile = path.value();
    const bool shown = RunToFile(run, path.value(), FileWrite::Replace);
    if (progress_) progress_->hide();
    if (!shown) return;
    SendViewCommand(LoadCommand(path.value()));
    // The run consumed the sub header; the start time comes back as the
    // number the preview read.
    DocumentTexts after = StartingAt(document, DecimalText(saved.value()));
    after.subHeader.clear();
    WriteDocument(after);
}

void MainForm::LoadXHap_Click() {
    const DocumentTexts document = ReadDocument();
    if (document.activeFile.empty()) return Inform(std::string(NoFileToLoadMessage));
    // The load runs on a thread of its own; a load still running is stopped
    // and its result never shown: the newer one takes its place.
    load_ = std::make_unique<BackgroundLoad>(document.activeFile, document.names);
    BackgroundLoad* load = load_.get();
    FollowLoad(load);
    connect(load, &BackgroundLoad::Finished, this, [this, load] {
        const Outcome<LoadedAnimation> result = load->Result();
        load_.release()->deleteLater();
        const QPointer<ProgressForm> progress = loadProgress_;
        if (!result) {
            if (progress) progress->close();
            return Inform(result.error());
        }
        for (const std::string& message : LoadMessages(result.value())) Inform(message);
        // Into the fields as they are now: the user may have typed meanwhile.
        DocumentTexts now = ReadDocument();
        ApplyLoadedAnimation(result.value(), now);
        WriteDocument(now);
        if (progress) progress->ShowComplete();
    });
}

void MainForm::FollowLoad(BackgroundLoad* load) {
    loadProgress_.clear();
    // Every load has a progress window of its own, shown once the file is
    // being read (a file that cannot be opened gives only its message).
    const auto bar = [this](int value) {
        if (!loadProgress_) {
            if (progress_) progress_->close();
            progress_ = new ProgressForm(this);
            // Known before it is shown: reports arriving while it waits to be
            // painted find it.
            loadProgress_ = progress_;
            progress_->PrepareForLoad();
        }
        if (value >= 0 && loadProgress_) loadProgress_->SetCalcProgress(value);
    };
    connect(load, &BackgroundLoad::Reading, this, bar);
    connect(load, &BackgroundLoad::FileRead, this, [bar] { bar(-1); });
    connect(load, &BackgroundLoad::Progress, this, bar);
}

void MainForm::UndoAdd_Click() {
    const DocumentTexts document = ReadDocument();
    if (document.activeFile.empty()) {
        dialogs_->Inform(this, QStringLiteral("Please select file from menu on left hand side."));
        return;
    }
    const std::string path = FilePath(document.activeFile);
    // A block edit made in this run is taken back first, newest first.
    if (const std::optional<HistoryStep> step = history_->NextUndo(path)) {
        if (!dialogs_->Ask(this, QString::fromStdString(EditHistory::UndoQuestion(*step, document.activeFile))))
            return;
        const Outcome<HistoryResult> undone = history_->UndoEdit(path);
        if (!undone) Inform("The edit was not taken back.\n" + undone.error());
        return;
    }
    // The last add is looked up, and its block read as "Load  last animation
    // from file" brings it, beside the window, with the load's progress
    // window: a hostile file is refused at the loader's cap while the window
    // goes on answering. A load still running is stopped.
    const auto found = std::make_shared<std::optional<UndoLookup>>();
    load_ = std::make_unique<BackgroundLoad>(
        [path, names = document.names, found](const ProgressFn& progress, const LoadControl& control) {
            Outcome<UndoLookup> lookup = LookUpUndo(path, names, progress, control);
            if (!lookup) return Outcome<LoadedAnimation>::Failure(lookup.error());
            *found = std::move(lookup).value();
            return Outcome<LoadedAnimation>::Success((*found)->loaded);
        });
    BackgroundLoad* load = load_.get();
    FollowLoad(load);
    connect(load, &BackgroundLoad::Finished, this, [this, load, found, path, file = document.activeFile] {
        const Outcome<LoadedAnimation> result = load->Result();
        load_.release()->deleteLater();
        if (loadProgress_) loadProgress_->close();
        if (!result) return Inform(result.error());
        const UndoLookup& lookup = **found;
        if (lookup.tornBytes > 0) {
            OfferMend(path, lookup.tornBytes);
            return;
        }
        const LastAdd& last = *lookup.add;
        if (!dialogs_->Ask(this, QString::fromStdString(UndoQuestion(last, file)))) return;
        const Outcome<void> undone = history_->UndoAdd(last);
        if (!undone) return Inform("The animation was not taken back.\n" + undone.error());
        for (const std::string& message : LoadMessages(lookup.loaded)) Inform(message);
        // Into the fields as they are now: the user may have typed meanwhile.
        DocumentTexts now = ReadDocument();
        ApplyLoadedAnimation(lookup.loaded, now);
        now.fileHeader = last.header;
        now.subHeader = last.subHeader;
        WriteDocument(now);
    });
}

bool MainForm::OfferMend(const std::string& path, std::uint64_t tornBytes) {
    if (!dialogs_->Ask(this, QString::fromStdString(MendQuestion(tornBytes)))) return false;
    const Outcome<std::optional<Mended>> mended = MendTornTail(path, [] { return PreviewFolder(); });
    if (!mended) {
        Inform(mended.error());
        return false;
    }
    // Another program may have mended it meanwhile: then there is nothing to say.
    if (mended.value()) Inform(MendReport(path, *mended.value()));
    return true;
}

void MainForm::RedoAdd_Click() {
    const DocumentTexts document = ReadDocument();
    if (document.activeFile.empty()) {
        dialogs_->Inform(this, QStringLiteral("Please select file from menu on left hand side."));
        return;
    }
    const Outcome<HistoryResult> redone = history_->Redo(FilePath(document.activeFile));
    if (!redone) return Inform(redone.error());
    if (redone.value().add)
        WriteDocument(StartingAt(document, StartTimeAfterRedo(*redone.value().add, document.finishTime)));
    else if (!redone.value().nextStartTime.empty())
        WriteDocument(StartingAt(document, redone.value().nextStartTime));
}

void MainForm::LoadFullHap_Click() {
    if (ActiveFile->text().isEmpty()) {
        dialogs_->Inform(this, QStringLiteral("Please select file from menu on left."));
        return;
    }
    SendViewCommand(LoadCommand(Utf8(ActiveFile)));
}

void MainForm::DeleteFile_Click() {
    if (ActiveFile->text().isEmpty()) {
        dialogs_->Inform(this, QStringLiteral("Please select file from menu on left."));
        return;
    }
    if (!dialogs_->Ask(this, QStringLiteral("Are you sure you wish to delete ?"))) return;
    const Outcome<void> deleted = DeleteOneFile(FilePath(Utf8(ActiveFile)));
    if (!deleted) Inform(deleted.error());
}

void MainForm::Inform(const std::string& message) { dialogs_->Inform(this, QString::fromStdString(message)); }

void MainForm::ResetAnim_Click() { SendViewCommand(std::string(ResetCommand)); }

ProgressForm* MainForm::Progress() const { return progress_; }

QWidget* MainForm::SliderWindow() const { return sliderWindow_; }

ProgressForm* MainForm::PrepareProgress(bool resetSaveBar) {
    if (!progress_ || progress_->Unloading()) progress_ = new ProgressForm(this);
    progress_->PrepareForGeneration(resetSaveBar);
    return progress_;  // none when it was closed while it was being shown
}

bool MainForm::GenerateBlock(const DocumentTexts& document, ProgressForm* progress,
                             BlockDestination destination) {
    // The run writes into the memory of the last block: repeated runs then
    // touch no fresh memory.
    Outcome<GeneratedBlock> result = BlockFor(
        destination, document,
        [progress](int value) {
            if (progress) progress->SetCalcProgress(value);
        },
        std::move(ScriptBuffer));
    if (!result) {
        if (progress) progress->close();
        dialogs_->Inform(this, QString::fromStdString(result.error()));
        return false;
    }
    FrameStep = result.value().frameStep;
    ScriptBuffer = std::move(result.value().text);
    return true;
}

void MainForm::Gen2Append_Click() {
    const DocumentTexts document = ReadDocument();
    if (document.activeFile.empty()) {
        Inform(std::string(NoFileToAppendMessage));
        return;
    }
    if (!RunToFile(document, FilePath(document.activeFile), FileWrite::Append)) return;
    // What was taken back from the file no longer follows its end.
    history_->Added(FilePath(document.activeFile));
    // The sub header is consumed and the next run starts where this one ended.
    DocumentTexts after = StartingAt(document, document.finishTime);
    after.subHeader.clear();
    WriteDocument(after);
}

bool MainForm::RunToFile(const DocumentTexts& document, const std::string& path, FileWrite write) {
    ProgressForm* progress = PrepareProgress(true);
    if (!GenerateBlock(document, progress, BlockDestination::File)) return false;
    FileChange written = write == FileWrite::Append
                             ? AppendQuotedRecord(path, ScriptBuffer)
                             : FileChange::From(ReplaceWithQuotedRecord(path, ScriptBuffer));
    // The file ends in a record another append left unfinished: once the
    // user lets it be cut off, the block goes after the last whole record.
    if (!written && written.tornBytes() > 0) {
        if (!OfferMend(path, written.tornBytes())) {
            if (progress) progress->close();
            return false;
        }
        written = AppendQuotedRecord(path, ScriptBuffer);
    }
    if (!written) {
        if (progress) progress->close();
        Inform(NotAddedMessage(written));
        return false;
    }
    if (progress) progress->ShowComplete();
    return true;
}

void MainForm::Gen2Clip_Click() {
    const DocumentTexts document = ReadDocument();
    ProgressForm* progress = PrepareProgress(false);
    if (!GenerateBlock(document, progress, BlockDestination::Clipboard)) return;
    QGuiApplication::clipboard()->setText(QString::fromStdString(ScriptBuffer));
    DocumentTexts after = document;
    after.subHeader.clear();  // consumed by the run
    WriteDocument(after);
    if (progress) progress->ShowComplete();
}

}  // namespace tw
