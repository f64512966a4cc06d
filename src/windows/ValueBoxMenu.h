// The pose tools of the value boxes: a right click on any value box offers
// to mirror the initial or final column left for right (or the initial one
// into the final), to keep a column as a named pose, and the window of saved
// poses. The main window also runs the mirrors from Ctrl+M and Ctrl+Shift+M.
#pragma once

#include <QObject>
#include <QPoint>
#include <QPointer>
#include <functional>

#include "document/DocumentTexts.h"
#include "session/PoseTools.h"
#include "windows/FormPoses.h"

class QWidget;

namespace tw {

class Dialogs;
class DocumentModel;

class ValueBoxMenu : public QObject {
    Q_OBJECT
public:
    // `showPose` shows the view the pose of a column that changed.
    ValueBoxMenu(DocumentModel& document, Dialogs& dialogs, QWidget* main, std::function<void(KeyframeSide)> showPose);

    // The menu (named "ValueBoxMenu") at `globalPos`.
    void Show(const QPoint& globalPos);

    void MirrorInitial_Click() { Mirror(MirrorSide::Initial); }
    void MirrorFinal_Click() { Mirror(MirrorSide::Final); }
    void MirrorInitialIntoFinal_Click() { Mirror(MirrorSide::InitialToFinal); }
    void SaveInitialPose_Click() { SavePose(KeyframeSide::Initial); }
    void SaveFinalPose_Click() { SavePose(KeyframeSide::Final); }
    void Poses_Click();

    // The window of saved poses once it has been opened.
    FormPoses* PosesWindow() const { return poses_; }

private:
    void Mirror(MirrorSide side);
    void SavePose(KeyframeSide side);

    DocumentModel& document_;
    Dialogs& dialogs_;
    QWidget* main_;
    std::function<void(KeyframeSide)> showPose_;
    QPointer<FormPoses> poses_;
};

}  // namespace tw
