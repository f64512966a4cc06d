// The progress window of a long run: a bar for the calculation, "Complete !"
// when the run ends, and a timer that closes the window a second later.
// Runs do not return to the event loop, so they repaint it explicitly.
#pragma once

#include <QWidget>

class QLabel;
class QProgressBar;
class QTimer;

namespace tw {

class ProgressForm : public QWidget {
    Q_OBJECT
public:
    // Its controls are found by their names: Label1, CalcProgBar, Label2,
    // SaveProgBar, CompleteLab and the timer Timer1.
    explicit ProgressForm(QWidget* parent = nullptr);

    // Makes ready for a generation run and shows the window at once: the save
    // bar and its label hidden, the calculation bar shown at 0, "Complete !"
    // hidden. `resetSaveBar` also sets the save bar to 0.
    void PrepareForGeneration(bool resetSaveBar);
    // Makes ready for reading a file and shows the window at once: the save
    // bar and its label hidden. The load relies on a freshly created window
    // for the calculation bar at 0 and "Complete !" hidden.
    void PrepareForLoad();
    // Sets the calculation bar; repaints only when its shown value changes.
    void SetCalcProgress(int value);
    // Shows "Complete !" and starts the closing timer (a timer already
    // running keeps its time).
    void ShowComplete();
    // Shows the window and returns once it is on the screen and painted. A
    // new window gets there only through the event loop, which a run keeps
    // from running; so this handles the window system's events (never the
    // user's input) until then, for at most two seconds. Should the window be
    // closed meanwhile, it is gone when this returns.
    void ShowPainted();
    // Closed or unloaded: deleted at the next turn of the event loop, so a
    // run must not reuse it.
    bool Unloading() const { return unloading_; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void hideEvent(QHideEvent* event) override;

public slots:
    void Timer1_Timer();

private:
    QLabel* Label1;  // "Calculating..."
    QProgressBar* CalcProgBar;
    QLabel* Label2;  // "Save Progress..."
    QProgressBar* SaveProgBar;
    QLabel* CompleteLab;
    QTimer* Timer1;

    bool painted_ = false;  // painted on the screen since last shown
    bool unloading_ = false;
};

}  // namespace tw
