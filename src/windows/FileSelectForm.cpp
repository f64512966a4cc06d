#include "windows/FileSelectForm.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStyle>

#include "document/DocumentTexts.h"
#include "document/ChooserRules.h"
#include "document/PathText.h"
#include "windows/Dialogs.h"
#include "windows/DocumentModel.h"
#include "windows/Twips.h"

namespace tw {

namespace {

// The bytes of the file system's name for a shown path.
std::string Bytes(const QString& shown) { return PathBytes(shown.toStdString()); }

bool Readable(const QString& path) {
    const std::string bytes = Bytes(path);
    struct stat status{};
    return ::stat(bytes.c_str(), &status) == 0 && S_ISDIR(status.st_mode) && ::access(bytes.c_str(), R_OK | X_OK) == 0;
}

// The entries of a folder as the lists show them, whatever bytes their names
// hold; none when it cannot be read.
QStringList Entries(const QString& folder, EntryKind kind) {
    QStringList list;
    const auto names = FolderEntries(Bytes(folder), kind);
    if (names)
        for (const std::string& name : names.value()) list.append(QString::fromStdString(name));
    return list;
}

// The nearest folder at or above `path` that can be listed; the root at last.
QString NearestReadable(QString path) {
    while (!Readable(path)) {
        QString parent = QFileInfo(path).path();
        if (parent == path) return QDir::rootPath();
        path = parent;
    }
    return path;
}

QListWidget* MakeList(QWidget* parent, const char* name) {
    auto* list = new QListWidget(parent);
    list->setObjectName(QString::fromLatin1(name));
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    return list;
}

}  // namespace

FileSelectForm::FileSelectForm(DocumentModel& document, QWidget* main, Dialogs& dialogs)
    : QWidget(main, Qt::Window), document_(document), dialogs_(dialogs) {
    setObjectName(QStringLiteral("FileSelectForm"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Select File"));
    setFont(main->font());  // a window does not take its parent's font by itself
    setFixedSize(Px(9408), Px(7200));

    DriveList1 = new QComboBox(this);
    DriveList1->setObjectName(QStringLiteral("DriveList1"));
    PlaceTwips(DriveList1, 360, 360, 2052, 288);
    PlaceTwips(new QLabel(QStringLiteral("New Filename:"), this), 2520, 360, 1092, 252);
    NewFilename = new QLineEdit(this);
    NewFilename->setObjectName(QStringLiteral("NewFilename"));
    PlaceTwips(NewFilename, 3720, 360, 5172, 288);
    PlaceTwips(new QLabel(QStringLiteral(" .hap"), this), 8880, 360, 492, 252);
    DirList1 = MakeList(this, "DirList1");
    PlaceTwips(DirList1, 360, 840, 5292, 5256);
    FileList1 = MakeList(this, "FileList1");
    PlaceTwips(FileList1, 6000, 840, 3252, 5256);
    SaveFileSelect = new QPushButton(QStringLiteral("Select File"), this);
    SaveFileSelect->setObjectName(QStringLiteral("SaveFileSelect"));
    PlaceTwips(SaveFileSelect, 360, 6360, 7092, 612);
    CloseSelectFileForm = new QPushButton(QStringLiteral("Close"), this);
    CloseSelectFileForm->setObjectName(QStringLiteral("CloseSelectFileForm"));
    PlaceTwips(CloseSelectFileForm, 7560, 6360, 1692, 612);

    setTabOrder(DriveList1, DirList1);
    setTabOrder(DirList1, FileList1);
    setTabOrder(FileList1, SaveFileSelect);
    setTabOrder(SaveFileSelect, NewFilename);
    setTabOrder(NewFilename, CloseSelectFileForm);

    // The drives of this platform: the file system's roots and the home folder.
    for (const QFileInfo& root : QDir::drives()) DriveList1->addItem(root.absoluteFilePath());
    DriveList1->addItem(QDir::homePath());

    Form_Load();
    connect(DriveList1, &QComboBox::currentIndexChanged, this, &FileSelectForm::DriveList1_Change);
    connect(DirList1, &QListWidget::itemActivated, this, &FileSelectForm::DirList1_DblClick);
    connect(FileList1, &QListWidget::itemDoubleClicked, this, &FileSelectForm::FileList1_DblClick);
    connect(SaveFileSelect, &QPushButton::clicked, this, &FileSelectForm::SaveFileSelect_Click);
    connect(CloseSelectFileForm, &QPushButton::clicked, this,
            &FileSelectForm::CloseSelectFileForm_Click);
}

void FileSelectForm::Form_Load() {
    // Start in the process's current folder, on the drive that holds it.
    const QString current = QDir::currentPath();
    const QString home = QDir::homePath();
    driveIndex_ = current == home || current.startsWith(home + QLatin1Char('/'))
                      ? DriveList1->count() - 1
                      : 0;
    DriveList1->setCurrentIndex(driveIndex_);
    SetDirPath(current);
}

QString FileSelectForm::CannotRead(const QString& path) const {
    return QStringLiteral("The folder \"%1\" cannot be read.").arg(path);
}

bool FileSelectForm::SetDirPath(const QString& path) {
    const QString wanted = QDir::cleanPath(path);
    const bool readable = Readable(wanted);
    if (!readable) dialogs_.Inform(this, CannotRead(wanted));
    // After a refusal the lists stay where they were, or, when that folder
    // has gone too, move up to the nearest one that is still there.
    dirPath_ = NearestReadable(readable ? wanted : (dirPath_.isEmpty() ? wanted : dirPath_));
    FillDirList();
    DirList1_Change();
    return readable;
}

void FileSelectForm::FillDirList() {
    DirList1->clear();
    const QIcon open = style()->standardIcon(QStyle::SP_DirOpenIcon);
    const QIcon closed = style()->standardIcon(QStyle::SP_DirClosedIcon);
    auto add = [this](const QIcon& icon, int depth, const QString& name, const QString& path) {
        auto* item = new QListWidgetItem(icon, QString(depth * 3, QLatin1Char(' ')) + name, DirList1);
        item->setData(Qt::UserRole, path);
        return item;
    };
    // The open folders from the root down to the current one, then its
    // subfolders, hidden ones too.
    QStringList parts = dirPath_.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    QString path = QDir::rootPath();
    QListWidgetItem* current = add(open, 0, path, path);
    for (int depth = 0; depth < parts.size(); ++depth) {
        path = QDir(path).filePath(parts[depth]);
        current = add(open, depth + 1, parts[depth], path);
    }
    const QDir dir(dirPath_);
    for (const QString& name : Entries(dirPath_, EntryKind::Folders))
        add(closed, static_cast<int>(parts.size()) + 1, name, dir.filePath(name));
    DirList1->setCurrentItem(current);
}

void FileSelectForm::DriveList1_Change() {
    if (SetDirPath(DriveList1->currentText())) {
        driveIndex_ = DriveList1->currentIndex();
        return;
    }
    const QSignalBlocker quiet(DriveList1);
    DriveList1->setCurrentIndex(driveIndex_);
}

void FileSelectForm::DirList1_DblClick(QListWidgetItem* item) {
    if (item) SetDirPath(item->data(Qt::UserRole).toString());
}

void FileSelectForm::DirList1_Change() {
    filePath_ = dirPath_;
    FileList1->clear();
    FileList1->addItems(Entries(filePath_, EntryKind::Files));
}

QString FileSelectForm::SelectedFile() const {
    const QList<QListWidgetItem*> selected = FileList1->selectedItems();
    return selected.isEmpty() ? QString() : selected.first()->text();
}

void FileSelectForm::FileList1_DblClick() { SaveFileSelect_Click(); }

void FileSelectForm::SaveFileSelect_Click() {
    const ChooserResult result =
        ConfirmChoice(document_.CurrentChooserMode(), filePath_.toStdString(),
                      SelectedFile().toStdString(), NewFilename->text().toStdString());
    switch (result.kind) {
    case ChooserResult::Kind::Refuse:
        dialogs_.Inform(this, QString::fromStdString(result.message));
        return;
    case ChooserResult::Kind::SetActiveFile: {
        DocumentTexts document = document_.ReadDocument();
        document.activeFile = result.activeFile;
        document.fileHeader = result.fileHeader;
        document_.WriteDocument(document);
        break;
    }
    case ChooserResult::Kind::SendCommand:
        document_.SendViewCommand(result.command);
        break;
    case ChooserResult::Kind::Nothing:
        break;
    }
    CloseSelectFileForm_Click();
}

void FileSelectForm::CloseSelectFileForm_Click() {
    if (QWidget* main = parentWidget()) main->activateWindow();
    close();
}

}  // namespace tw
