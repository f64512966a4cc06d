// The file chooser: drives, folders and the files of one folder, a box for a
// new file name, "Select File" and "Close". Confirming sets the active file
// and its header or sends the character view a load command, as the main
// window's chooser mode says; it never opens, creates or writes a file.
#pragma once

#include <QString>
#include <QWidget>

class QComboBox;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QPushButton;

namespace tw {

class Dialogs;
class DocumentModel;

class FileSelectForm : public QWidget {
    Q_OBJECT
public:
    // A window of `main`'s, using its message boxes; starts in the process's
    // current folder.
    // Its controls are found by their names: DriveList1, DirList1, FileList1,
    // NewFilename, SaveFileSelect and CloseSelectFileForm.
    // `main` is the window it belongs to; `document` is what it chooses for.
    FileSelectForm(DocumentModel& document, QWidget* main, Dialogs& dialogs);

    // The folder the folder list is in, and the one the file list shows.
    QString DirPath() const { return dirPath_; }
    QString FilePath() const { return filePath_; }
    // The selected file's name, empty when none is selected.
    QString SelectedFile() const;

public slots:
    void DriveList1_Change();
    void DirList1_DblClick(QListWidgetItem* item);
    void DirList1_Change();
    void FileList1_DblClick();
    void SaveFileSelect_Click();
    void CloseSelectFileForm_Click();

private:
    void Form_Load();
    // Moves the folder list to `path`; false, with a message, when the folder
    // cannot be read (the lists then show the nearest folder that can).
    bool SetDirPath(const QString& path);
    void FillDirList();
    QString CannotRead(const QString& path) const;

    QComboBox* DriveList1;
    QListWidget* DirList1;
    QListWidget* FileList1;
    QLineEdit* NewFilename;
    QPushButton* SaveFileSelect;
    QPushButton* CloseSelectFileForm;

    DocumentModel& document_;
    Dialogs& dialogs_;
    QString dirPath_;
    QString filePath_;
    int driveIndex_ = 0;
};

}  // namespace tw
