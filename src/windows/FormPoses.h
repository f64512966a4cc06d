// The window of saved poses: each pose with a small picture of the figure in
// it, drawn when it scrolls into sight. A double-click or "Apply to Initial" /
// "Apply to Final" writes the pose into that column; rename and delete ask
// first. A pose that cannot be read is listed greyed, with why, and is never
// applied.
#pragma once

#include <QWidget>

#include "session/PoseTools.h"

class QListWidget;
class QListWidgetItem;
class QPushButton;
class QTimer;

namespace tw {

class Dialogs;
class DocumentModel;

class FormPoses : public QWidget {
    Q_OBJECT
public:
    static constexpr int ThumbnailSide = 96;

    FormPoses(PoseLibrary library, DocumentModel& document, Dialogs& dialogs, QWidget* main);

    // Lists the folder's poses anew.
    void Refresh();

public slots:
    void ApplyInitial_Click();
    void ApplyFinal_Click();
    void Rename_Click();
    void Delete_Click();
    void PoseList_DblClick(QListWidgetItem* item);

private:
    void Apply(KeyframeSide side);
    // Reads and draws the poses now in sight that have no picture yet, a few
    // at a time, so a long list stays responsive.
    void DrawVisible();
    QString Selected() const;

    PoseLibrary library_;
    DocumentModel& document_;
    Dialogs& dialogs_;
    QListWidget* list_;
    QTimer* drawing_;
};

}  // namespace tw
