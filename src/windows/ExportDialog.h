// "Export…" in the view's menu: a small dialog with the render's choices
// (kind, file, size, frame rate, range, ghosts; the camera is the view's
// current one) that renders the script the view shows off the window's
// thread, with a bar and Cancel, and names the file written.
#pragma once

#include <QDialog>
#include <QFutureWatcher>
#include <atomic>
#include <memory>

#include "document/Outcome.h"
#include "render/Rendering.h"

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QMenu;
class QProgressBar;
class QPushButton;
class QSpinBox;

namespace tw {

class PlayerController;

class ExportDialog : public QDialog {
    Q_OBJECT
public:
    ExportDialog(const PlayerController& player, QWidget* parent = nullptr);
    ~ExportDialog() override;

    // The request the dialog's choices make, over the view's script, camera,
    // background and look.
    RenderRequest Request() const;
    bool Rendering() const { return watcher_.isRunning(); }

public slots:
    void Export();
    void CancelOrClose();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void KindChanged();
    void Finished();

    const PlayerController& player_;
    QComboBox* kind_;
    QLineEdit* out_;
    QSpinBox *width_, *height_, *fps_;
    QComboBox* range_;
    QDoubleSpinBox *from_, *to_;
    QCheckBox* ghosts_;
    QProgressBar* bar_;
    QLabel* status_;
    QPushButton *export_, *cancel_;
    std::shared_ptr<std::atomic<bool>> stop_;
    QFutureWatcher<Outcome<RenderResult>> watcher_;
};

// Adds "Export…" to a view's menu, opening the dialog over `parent`.
void AddExportEntry(QMenu& menu, const PlayerController& player, QWidget* parent);

}  // namespace tw
