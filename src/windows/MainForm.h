// The main window: file, header and timing fields, the register panel, the
// preview and generation commands, the sub header and the character view.
// Its fields are the document; commands gather their texts, call the core and
// write the results back.
#pragma once

#include <QPointer>
#include <QWidget>
#include <array>
#include <memory>
#include <string>

#include "document/DocumentTexts.h"
#include "document/RegisterCatalogue.h"
#include "generation/Easing.h"
#include "generation/Previews.h"
#include "windows/Dialogs.h"
#include "windows/RegisterPanel.h"

class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;

namespace tw {

class CharacterView;
class FileSelectForm;
class FormHelp;
class ProgressForm;
class RegisterPanel;

class MainForm : public QWidget {
    Q_OBJECT
public:
    // `dialogs` shows the message boxes; the real ones when none is given.
    explicit MainForm(std::unique_ptr<Dialogs> dialogs = nullptr, QWidget* parent = nullptr);
    ~MainForm() override;

    // Controls, named as the window's layout names them.
    QGroupBox* Commands;
    QPushButton* FileSelect;
    QPushButton* Selectcharacterbutton;
    QPushButton* SelectSkin;
    QPushButton* Selectbackground;
    QPushButton* ButtonHelp;
    QLineEdit* Fileselectstatus;
    QPushButton* exit;
    QLineEdit* ActiveFile;
    QLineEdit* FileHeader;
    QLineEdit* figure;
    QLineEdit* StartTime;
    QLineEdit* Finishtime;
    QLineEdit* DKeyframe;
    QLineEdit* FramesPSec;
    QLineEdit* Acceleration;
    std::array<QProgressBar*, GraphBarCount> ProgressBar1{};
    QPushButton* LoadInitialV;
    QPushButton* LoadFinalV;
    QPushButton* LoadAnimation;
    QPushButton* ResetAnim;
    QPushButton* LoadFullHap;
    QPushButton* LoadXHap;
    QPushButton* Gen2Append;
    QPushButton* Gen2Clip;
    QPushButton* DeleteFile;
    QLabel* Label8;
    QPushButton* ClearClipboard;
    QPlainTextEdit* clipboardtemp;
    CharacterView* ActiveHaptekX1;
    RegisterPanel* Panel;

    // The acceleration graph's bar values as computed (the bars show them
    // rounded to whole numbers).
    std::array<float, GraphBarCount> GraphValues{};

    // State of the last generation run (the block is empty after a run that
    // failed).
    std::string ScriptBuffer;
    std::array<std::string, RegisterCount> RegisterNames;
    float FrameCount = 0;
    float FrameStep = 0;

    // The progress window while it is loaded, and the slider window once one
    // has been opened (closed together with this window).
    ProgressForm* Progress() const;
    QPointer<QWidget> SliderWindow;

    // The document: every field's text. Companion windows read and write it
    // here, never through the controls. Writing sets only the fields whose
    // text differs, through the fields, so their change rules run as when a
    // user types (a new start time or duration recomputes the finish time).
    DocumentTexts ReadDocument() const;
    void WriteDocument(const DocumentTexts& document);
    // The file chooser's mode as the four file buttons leave it.
    std::string FileSelectStatus() const;
    // Hands a command to the character view.
    void SendViewCommand(const std::string& command);

    // Start-up steps; run once by the constructor before the window is shown.
    void Form_Load();
    // Function keys F1..F5 (a Qt::Key), whatever the shift state; other keys
    // do nothing.
    void Form_KeyDown(int key, Qt::KeyboardModifiers shift);
    void UpdateFinishTime();
    void DrawAccelerationGraph();

public slots:
    // The four file buttons: write the chooser's mode and show the chooser.
    void FileSelect_Click();
    void Selectcharacterbutton_Click();
    void SelectSkin_Click();
    void Selectbackground_Click();
    void ButtonHelp_Click();
    void ClearClipboard_Click();
    void exit_Click();
    void StartTime_Change();
    void StartTime_LostFocus();
    void DKeyframe_Change();
    void DKeyframe_LostFocus();
    void FramesPSec_LostFocus();
    void Acceleration_Change();
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

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void Form_Unload();
    void BuildControls();
    ProgressForm* PrepareProgress(bool resetSaveBar);
    // Runs the generation into ScriptBuffer (in the file code page when
    // `forFile`); on failure shows the message, closes the progress window
    // and returns false. Fields are not touched either way.
    bool GenerateBlock(ProgressForm* progress, bool forFile);
    void ConsumeSubHeader();
    // A generation run into the file at `path`: the block appended (as F5
    // does) or replacing the file whole (as the animation preview does). On
    // success the sub header is consumed and the start time moves on; on
    // failure the message is shown and nothing changes.
    enum class FileWrite { Append, Replace };
    bool RunToFile(const std::string& path, FileWrite write);
    // The initial or final pose preview.
    void ShowKeyframe(KeyframeSide side);
    // A value of one side is being edited: the view shows that keyframe's
    // pose at once, no file written. A value that is not a number leaves
    // the view as it is.
    void ShowLivePose(KeyframeSide side);
    void Inform(const std::string& message);
    void ShowChooser(const QString& mode);
    // A value box was clicked: the slider window opens on it.
    void Panel_SliderRequested(KeyframeSide side, int index, int sliderPosition, int windowLeftTwips,
                               int windowTopTwips);

    std::unique_ptr<Dialogs> dialogs_;
    QPointer<ProgressForm> progress_;
    QPointer<FileSelectForm> chooser_;
    QPointer<FormHelp> help_;
};

}  // namespace tw
