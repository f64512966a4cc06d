#include "windows/MainForm.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QFile>
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
#include "windows/RegisterPanel.h"
#include "generation/Easing.h"
#include "generation/FileBlock.h"
#include "generation/ScriptFile.h"
#include "windows/CaptionButton.h"
#include "windows/CharacterView.h"
#include "windows/Dialogs.h"
#include "windows/ProgressForm.h"
#include "windows/SubHeaderEdit.h"
#include "windows/Twips.h"

namespace tw {

namespace {

std::string Utf8(const QLineEdit* field) { return field->text().toStdString(); }

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
    BuildControls();
    Form_Load();
}

MainForm::~MainForm() = default;

void MainForm::BuildControls() {
    const auto button = MakeCaptionButton;
    auto label = [this](const char* caption, int l, int t, int w, int h) {
        auto* text = new QLabel(QString::fromLatin1(caption), this);
        PlaceTwips(text, l, t, w, h);
        return text;
    };
    auto field = [this](const char* name, const char* text, int l, int t, int w, int h) {
        auto* edit = new QLineEdit(QString::fromLatin1(text), this);
        edit->setObjectName(QString::fromLatin1(name));
        PlaceTwips(edit, l, t, w, h);
        return edit;
    };

    Commands = new QGroupBox(QStringLiteral("Commands"), this);
    Commands->setObjectName(QStringLiteral("Commands"));
    PlaceTwips(Commands, 120, 240, 1092, 9012);
    FileSelect = button(Commands, "FileSelect", "Select File", 120, 360, 852, 492);
    Selectcharacterbutton = button(Commands, "Selectcharacterbutton", "Select Character", 120, 960, 852, 492);
    SelectSkin = button(Commands, "SelectSkin", "Select Skin", 120, 1560, 852, 492);
    Selectbackground = button(Commands, "Selectbackground", "SelectBG", 120, 2160, 852, 492);
    ButtonHelp = button(Commands, "ButtonHelp", "Help", 120, 7560, 852, 612);
    Fileselectstatus = new QLineEdit(QStringLiteral("Text1"), Commands);
    Fileselectstatus->setObjectName(QStringLiteral("Fileselectstatus"));
    PlaceTwips(Fileselectstatus, 360, 7800, 372, 288);
    Fileselectstatus->hide();
    exit = button(Commands, "exit", "Exit", 120, 8280, 852, 612);

    label("File:", 1320, 240, 372, 252);
    ActiveFile = field("ActiveFile", "", 1680, 240, 10092, 288);
    label("File Header:", 1320, 600, 1092, 252);
    FileHeader = field("FileHeader", std::string(DefaultFileHeader).c_str(), 2280, 600, 9492, 288);
    label("Figue Name:", 1320, 960, 1212, 252);
    figure = field("figure", "", 2280, 960, 1932, 288);
    label("Start time:", 4560, 960, 732, 252);
    StartTime = field("StartTime", "0", 5280, 960, 732, 288);
    label("Finish time:", 6120, 960, 852, 252);
    Finishtime = field("Finishtime", "1", 6960, 960, 732, 288);
    label("Time between keyframes:", 1440, 1320, 1932, 252);
    DKeyframe = field("DKeyframe", "1", 3480, 1320, 732, 288);
    label("Frames per second:", 1440, 1680, 1932, 252);
    FramesPSec = field("FramesPSec", "10", 3480, 1680, 732, 288);
    label("Acceleration of movement:", 1440, 2040, 1932, 252);
    Acceleration = field("Acceleration", "0", 3480, 2040, 732, 288);
    for (int k = 0; k < 10; ++k) {
        auto* bar = new QProgressBar(this);
        bar->setObjectName(QStringLiteral("ProgressBar1_%1").arg(k));
        bar->setOrientation(Qt::Vertical);
        bar->setRange(0, 100);
        bar->setTextVisible(false);
        PlaceTwips(bar, 4320 + 240 * k, 1320, 100, 1212);
        ProgressBar1[k] = bar;
    }
    LoadInitialV = button(this, "LoadInitialV", "Show Initial (F1)", 6720, 1320, 972, 612);
    LoadFinalV = button(this, "LoadFinalV", "Show Final (F2)", 6720, 2040, 972, 492);
    LoadAnimation = button(this, "LoadAnimation", "Show Animation (F3)", 7800, 1080, 1812, 372);
    ResetAnim = button(this, "ResetAnim", "Reset Character (F4)", 7800, 1560, 1812, 372);
    LoadFullHap = button(this, "LoadFullHap", "Display Saved Hap File", 7800, 2040, 1812, 492);
    LoadXHap = button(this, "LoadXHap", "Load  last animation from file", 7800, 2640, 1812, 492);
    Gen2Append = button(this, "Gen2Append", "Generate && add to file (F5)", 9720, 1080, 1932, 732);
    Gen2Clip = button(this, "Gen2Clip", "Generate to Clipboard", 9720, 1920, 1932, 492);
    DeleteFile = button(this, "DeleteFile", "Delete File", 9720, 2520, 1932, 612);

    Panel = new RegisterPanel(this);

    Label8 = label("Sub Header", 7680, 3360, 1452, 372);
    Label8->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    QFont large = font();
    large.setPointSize(12);
    Label8->setFont(large);
    ClearClipboard = button(this, "ClearClipboard", "Clear Sub Header", 9240, 3360, 1692, 252);
    clipboardtemp = new SubHeaderEdit(this);
    clipboardtemp->setObjectName(QStringLiteral("clipboardtemp"));
    clipboardtemp->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    clipboardtemp->setTabChangesFocus(true);
    PlaceTwips(clipboardtemp, 7680, 3720, 4092, 972);
    ActiveHaptekX1 = new CharacterView(this);
    PlaceTwips(ActiveHaptekX1, 7680, 4800, 4092, 5052);

    connect(ButtonHelp, &QPushButton::clicked, this, &MainForm::ButtonHelp_Click);
    connect(ClearClipboard, &QPushButton::clicked, this, &MainForm::ClearClipboard_Click);
    connect(exit, &QPushButton::clicked, this, &MainForm::exit_Click);
    connect(StartTime, &QLineEdit::textChanged, this, &MainForm::StartTime_Change);
    connect(DKeyframe, &QLineEdit::textChanged, this, &MainForm::DKeyframe_Change);
    connect(Acceleration, &QLineEdit::textChanged, this, &MainForm::Acceleration_Change);
    connect(LoadInitialV, &QPushButton::clicked, this, &MainForm::LoadInitialV_Click);
    connect(LoadFinalV, &QPushButton::clicked, this, &MainForm::LoadFinalV_Click);
    connect(LoadAnimation, &QPushButton::clicked, this, &MainForm::LoadAnimation_Click);
    connect(ResetAnim, &QPushButton::clicked, this, &MainForm::ResetAnim_Click);
    connect(Gen2Append, &QPushButton::clicked, this, &MainForm::Gen2Append_Click);
    connect(Gen2Clip, &QPushButton::clicked, this, &MainForm::Gen2Clip_Click);
    for (QWidget* w : {static_cast<QWidget*>(StartTime), static_cast<QWidget*>(DKeyframe),
                       static_cast<QWidget*>(FramesPSec), static_cast<QWidget*>(Acceleration)})
        w->installEventFilter(this);
}

void MainForm::Form_Load() {
    // The catalogue's scale tables and its size are fixed at compile time;
    // the view starts on all registers.
    Panel->ViewMode = ViewAllRegisters;
    RegisterNames = {};
    ActiveHaptekX1->SendCommand(
        QStringLiteral("\\loadBG [file= [%1]]").arg(QString::fromStdString(StartupBackgroundPath())));
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
            if (key->key() >= Qt::Key_F1 && key->key() <= Qt::Key_F35)
                Form_KeyDown(112 + (key->key() - Qt::Key_F1), key->modifiers());
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

void MainForm::Form_KeyDown(int keyCode, Qt::KeyboardModifiers) {
    switch (keyCode) {
    case 112: LoadInitialV_Click(); break;
    case 113: LoadFinalV_Click(); break;
    case 114: LoadAnimation_Click(); break;
    case 115: ResetAnim_Click(); break;
    case 116: Gen2Append_Click(); break;
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
    GraphValues = AccelerationGraph(*acceleration);
    for (int b = 0; b < 10; ++b) ProgressBar1[b]->setValue(qRound(GraphValues[b]));
}

void MainForm::ButtonHelp_Click() {}

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
    if (SliderWindow) SliderWindow->close();
    // A progress window still counting down would keep the program running.
    if (progress_) progress_->close();
}

void MainForm::LoadInitialV_Click() {}
void MainForm::LoadFinalV_Click() {}
void MainForm::LoadAnimation_Click() {}

void MainForm::ResetAnim_Click() { ActiveHaptekX1->SendCommand(QStringLiteral("\\Reset")); }

ProgressForm* MainForm::Progress() const { return progress_; }

ProgressForm* MainForm::PrepareProgress(bool resetSaveBar) {
    if (!progress_) progress_ = new ProgressForm(this);
    progress_->PrepareForGeneration(resetSaveBar);
    return progress_;
}

DocumentTexts MainForm::GatherDocumentTexts() const {
    DocumentTexts input;
    input.dKeyframe = Utf8(DKeyframe);
    input.framesPSec = Utf8(FramesPSec);
    input.startTime = Utf8(StartTime);
    input.acceleration = Utf8(Acceleration);
    input.figure = Utf8(figure);
    input.fileHeader = Utf8(FileHeader);
    input.subHeader = clipboardtemp->toPlainText().toStdString();
    input.names = Panel->Names();
    KeyframeColumns columns = Panel->Columns();
    input.initial = std::move(columns.initial);
    input.final = std::move(columns.final);
    return input;
}

bool MainForm::GenerateBlock(ProgressForm* progress, bool forFile) {
    DocumentTexts input = GatherDocumentTexts();
    // The run writes into the memory of the last block: repeated runs then
    // touch no fresh memory.
    Outcome<GeneratedBlock> result = BlockFor(
        forFile ? BlockDestination::File : BlockDestination::Clipboard, input, [progress](int value) { if (progress) progress->SetCalcProgress(value); },
        std::move(ScriptBuffer));
    if (!result) {
        if (progress) progress->close();
        dialogs_->Inform(this, QString::fromStdString(result.error()));
        return false;
    }
    RegisterNames = input.names;
    FrameCount = result.value().frameCount;
    FrameStep = result.value().frameStep;
    ScriptBuffer = std::move(result.value().text);
    return true;
}

void MainForm::ConsumeSubHeader() {
    if (!clipboardtemp->toPlainText().isEmpty()) clipboardtemp->setPlainText(QString());
}

void MainForm::Gen2Append_Click() {
    if (ActiveFile->text().isEmpty()) {
        dialogs_->Inform(this, QStringLiteral("Please select file from menu on left hand side."));
        return;
    }
    ProgressForm* progress = PrepareProgress(true);
    if (!GenerateBlock(progress, true)) return;
    Outcome<void> written =
        AppendQuotedRecord(QFile::encodeName(ActiveFile->text()).toStdString(), ScriptBuffer);
    if (!written) {
        if (progress) progress->close();
        dialogs_->Inform(this, QStringLiteral("The animation was not added.\n%1\n"
                                              "The file was left as it was.")
                                   .arg(QString::fromStdString(written.error())));
        return;
    }
    ConsumeSubHeader();
    if (progress) progress->ShowComplete();
    StartTime->setText(Finishtime->text());
    UpdateFinishTime();
}

void MainForm::Gen2Clip_Click() {
    ProgressForm* progress = PrepareProgress(false);
    if (!GenerateBlock(progress, false)) return;
    QGuiApplication::clipboard()->setText(QString::fromStdString(ScriptBuffer));
    ConsumeSubHeader();
    if (progress) progress->ShowComplete();
}

}  // namespace tw
