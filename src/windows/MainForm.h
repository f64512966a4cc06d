// The main window: file, header and timing fields, the register panel, the
// preview and generation commands, the sub header and the character view.
// Its fields are the document: a command reads it once, hands it (or a copy
// changed for a preview) to the core and writes back what the run leaves.
#pragma once

#include <QPointer>
#include <QWidget>
#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "document/ChooserRules.h"
#include "document/DocumentTexts.h"
#include "document/RegisterCatalogue.h"
#include "generation/Easing.h"
#include "generation/FileBlock.h"
#include "generation/Previews.h"
#include "windows/Dialogs.h"
#include "windows/DocumentModel.h"
#include "windows/RegisterPanel.h"

class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;

namespace tw {

class EditHistory;
class BackgroundLoad;
class CharacterView;
class FileSelectForm;
class FormHelp;
class ProgressForm;
class ValueBoxMenu;
class RegisterPanel;

class MainForm : public QWidget, public DocumentModel {
    Q_OBJECT
public:
    // `dialogs` shows the message boxes; the real ones when none is given.
    explicit MainForm(std::unique_ptr<Dialogs> dialogs = nullptr, QWidget* parent = nullptr);
    ~MainForm() override;

    // The document: every field's text. Companion windows read and write it
    // here, never through the controls. Writing sets only the fields whose
    // text differs, through the fields, so their change rules run as when a
    // user types (a new start time or duration recomputes the finish time).
    DocumentTexts ReadDocument() const override;
    void WriteDocument(const DocumentTexts& document) override;
    // The file chooser's mode as the four file buttons leave it; none until
    // one of them is pressed.
    std::optional<ChooserMode> CurrentChooserMode() const override;
    // Makes `path`, made absolute against the current folder, the active file
    // with the File Header naming it, as choosing it in the file chooser does.
    void OpenFile(const QString& path);
    // Hands a command to the character view.
    void SendViewCommand(const std::string& command) override;
    // The preview of one keyframe, as F1 and F2 run it.
    void PreviewKeyframe(KeyframeSide side) override;
    // Whether "Load  last animation from file" is still at work on its thread.
    bool LoadRunning() const { return load_ != nullptr; }

    // The progress window while it is loaded, and the slider window once one
    // has been opened (closed together with this window).
    ProgressForm* Progress() const;
    QWidget* SliderWindow() const;
    // The acceleration graph's bar values as computed (the bars show them
    // rounded to whole numbers).
    const std::array<float, GraphBarCount>& GraphValues() const { return graphValues_; }
    // The edit history F6 and F7 work: block edits made through it (replace,
    // insert, remove) are taken back and made again by those keys.
    EditHistory& Edits() const { return *history_; }

public slots:
    // The commands of the window's buttons and function keys. The four file
    // buttons set the chooser's mode and show the chooser.
    void FileSelect_Click();
    void Selectcharacterbutton_Click();
    void SelectSkin_Click();
    void Selectbackground_Click();
    void ButtonHelp_Click();
    void ClearClipboard_Click();
    void exit_Click();
    void Acceleration_Click();
    void LoadInitialV_Click();
    void LoadFinalV_Click();
    void LoadAnimation_Click();
    void ResetAnim_Click();
    void Gen2Append_Click();
    void Gen2Clip_Click();
    void LoadXHap_Click();
    void LoadFullHap_Click();
    void DeleteFile_Click();

private slots:
    // "Undo Last Add (F6)": after a Yes, the file's last edit is taken back.
    // For an add the record is cut off and kept, and its block comes into the
    // form as a load would bring it, with its own header and sub header; a
    // replace, insert or remove of a block is undone in place. "Redo Add
    // (F7)": the step taken back last is done again, on the file as the undo
    // left it; after an add, replace or insert the start time moves to that
    // block's finish time.
    void UndoAdd_Click();
    void RedoAdd_Click();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    // Start-up steps; run once by the constructor before the window is shown.
    void Form_Load();
    void Form_Unload();
    // Function keys F1..F7 (a Qt::Key), whatever the shift state; other keys
    // do nothing.
    void Form_KeyDown(int key, Qt::KeyboardModifiers shift);
    void UpdateFinishTime();
    void DrawAccelerationGraph();
    void StartTime_Change();
    void StartTime_LostFocus();
    void DKeyframe_Change();
    void DKeyframe_LostFocus();
    void FramesPSec_LostFocus();
    void Acceleration_Change();

    void BuildControls();
    void BuildFields();
    void BuildButtons();
    void BuildSubHeaderAndView();
    // The edits of the played file's blocks, offered in the view's menu.
    void AttachBlockEditor();
    ProgressForm* PrepareProgress(bool resetSaveBar);
    // Runs the generation of `document` into ScriptBuffer for `destination`;
    // on failure shows the message, closes the progress window and returns
    // false. Fields are not touched either way.
    bool GenerateBlock(const DocumentTexts& document, ProgressForm* progress, BlockDestination destination);
    // A generation run of `document` into the file at `path`: the block
    // appended (as F5 does) or replacing the file whole (as the animation
    // preview does). On failure the message is shown. Fields are not touched
    // either way: the caller writes what a run leaves in the document.
    enum class FileWrite { Append, Replace };
    bool RunToFile(const DocumentTexts& document, const std::string& path, FileWrite write);
    // Asks to cut the unfinished last record (tornBytes long) off the file at
    // `path` and does it, keeping the bytes; whether it was cut (or gone).
    bool OfferMend(const std::string& path, std::uint64_t tornBytes);
    // Shows the progress window of a load (or look-up) as it reads.
    void FollowLoad(BackgroundLoad* load);
    // The initial or final pose preview.
    void ShowKeyframe(KeyframeSide side);
    // A value of one side is being edited: the view shows that keyframe's
    // pose at once, no file written. A value that is not a number leaves
    // the view as it is.
    void ShowLivePose(KeyframeSide side);
    void Inform(const std::string& message);
    void ShowChooser(ChooserMode mode);
    // A value box was clicked: the slider window opens on it.
    void Panel_SliderRequested(KeyframeSide side, int index, int sliderPosition, int windowLeftTwips,
                               int windowTopTwips);

    // Controls, named as the window's layout names them.
    QGroupBox* Commands = nullptr;
    QPushButton* FileSelect = nullptr;
    QPushButton* Selectcharacterbutton = nullptr;
    QPushButton* SelectSkin = nullptr;
    QPushButton* Selectbackground = nullptr;
    QPushButton* UndoAdd = nullptr;
    QPushButton* RedoAdd = nullptr;
    QPushButton* ButtonHelp = nullptr;
    QLineEdit* Fileselectstatus = nullptr;  // part of the layout; carries nothing
    QPushButton* exit = nullptr;
    QLineEdit* ActiveFile = nullptr;
    QLineEdit* FileHeader = nullptr;
    QLineEdit* figure = nullptr;
    QLineEdit* StartTime = nullptr;
    QLineEdit* Finishtime = nullptr;
    QLineEdit* DKeyframe = nullptr;
    QLineEdit* FramesPSec = nullptr;
    QLineEdit* Acceleration = nullptr;
    std::array<QProgressBar*, GraphBarCount> ProgressBar1{};
    QPushButton* LoadInitialV = nullptr;
    QPushButton* LoadFinalV = nullptr;
    QPushButton* LoadAnimation = nullptr;
    QPushButton* ResetAnim = nullptr;
    QPushButton* LoadFullHap = nullptr;
    QPushButton* LoadXHap = nullptr;
    QPushButton* Gen2Append = nullptr;
    QPushButton* Gen2Clip = nullptr;
    QPushButton* DeleteFile = nullptr;
    QLabel* Label8 = nullptr;
    QPushButton* ClearClipboard = nullptr;
    QPlainTextEdit* clipboardtemp = nullptr;
    CharacterView* ActiveHaptekX1 = nullptr;
    RegisterPanel* Panel = nullptr;

    std::array<float, GraphBarCount> graphValues_{};

    // State of the last generation run (the block is empty after a run that
    // failed).
    std::string ScriptBuffer;
    float FrameStep = 0;

    std::unique_ptr<Dialogs> dialogs_;
    ValueBoxMenu* valueMenu_ = nullptr;
    // The adds and block edits of this run, per file, for F6 and F7; what
    // they take out of a file is kept in the preview folder too.
    std::unique_ptr<EditHistory> history_;
    QPointer<ProgressForm> progress_;
    // The last-animation load running, if any, and its progress window.
    std::unique_ptr<BackgroundLoad> load_;
    QPointer<ProgressForm> loadProgress_;
    QPointer<QWidget> sliderWindow_;
    QPointer<FileSelectForm> chooser_;
    QPointer<FormHelp> help_;
    std::optional<ChooserMode> chooserMode_;
};

}  // namespace tw
