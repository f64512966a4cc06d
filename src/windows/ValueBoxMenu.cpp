#include "windows/ValueBoxMenu.h"

#include <QMenu>
#include <QWidget>

#include "document/MessageText.h"
#include "windows/Dialogs.h"
#include "windows/DocumentModel.h"
#include "windows/FormPoses.h"

namespace tw {

ValueBoxMenu::ValueBoxMenu(DocumentModel& document, Dialogs& dialogs, QWidget* main,
                           std::function<void(KeyframeSide)> showPose)
    : QObject(main), document_(document), dialogs_(dialogs), main_(main), showPose_(std::move(showPose)) {}

void ValueBoxMenu::Show(const QPoint& globalPos) {
    QMenu menu(main_);
    menu.setObjectName(QStringLiteral("ValueBoxMenu"));
    menu.addAction(tr("Mirror Initial Values"), QKeySequence(tr("Ctrl+M")), this, &ValueBoxMenu::MirrorInitial_Click);
    menu.addAction(tr("Mirror Final Values"), this, &ValueBoxMenu::MirrorFinal_Click);
    menu.addAction(tr("Mirror Initial into Final"), QKeySequence(tr("Ctrl+Shift+M")), this,
                   &ValueBoxMenu::MirrorInitialIntoFinal_Click);
    menu.addSeparator();
    menu.addAction(tr("Save Initial Pose As…"), this, &ValueBoxMenu::SaveInitialPose_Click);
    menu.addAction(tr("Save Final Pose As…"), this, &ValueBoxMenu::SaveFinalPose_Click);
    menu.addAction(tr("Poses…"), this, &ValueBoxMenu::Poses_Click);
    menu.exec(globalPos);
}

void ValueBoxMenu::Mirror(MirrorSide side) {
    DocumentTexts document = document_.ReadDocument();
    ApplyMirror(document, side);
    document_.WriteDocument(document);
    if (side == MirrorSide::Both) return;
    showPose_(side == MirrorSide::Initial ? KeyframeSide::Initial : KeyframeSide::Final);
}

void ValueBoxMenu::SavePose(KeyframeSide side) {
    const Outcome<PoseLibrary> library = PoseLibrary::Open();
    if (!library) return dialogs_.Inform(main_, QString::fromStdString(library.error()));
    const std::optional<QString> answer = dialogs_.AskText(
        main_, side == KeyframeSide::Initial ? tr("Name of the initial pose:") : tr("Name of the final pose:"), {});
    if (!answer) return;
    const std::string name = answer->toStdString();
    if (const auto fault = PoseLibrary::NameFault(name)) return dialogs_.Inform(main_, QString::fromStdString(*fault));
    if (library.value().Has(name) &&
        !dialogs_.Ask(main_, tr("A pose named \"%1\" is kept already. Replace it?")
                                 .arg(QString::fromStdString(ShownName(name)))))
        return;
    const Outcome<void> saved = library.value().Save(name, document_.ReadDocument(), side);
    if (!saved) return dialogs_.Inform(main_, QString::fromStdString(saved.error()));
    if (poses_) poses_->Refresh();
}

void ValueBoxMenu::Poses_Click() {
    const Outcome<PoseLibrary> library = PoseLibrary::Open();
    if (!library) return dialogs_.Inform(main_, QString::fromStdString(library.error()));
    if (!poses_) poses_ = new FormPoses(library.value(), document_, dialogs_, main_);
    poses_->Refresh();
    poses_->show();
    poses_->raise();
    poses_->activateWindow();
}

}  // namespace tw
