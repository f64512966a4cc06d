#include "windows/ProgressForm.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QCloseEvent>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QThread>
#include <QTimer>
#include <QWindow>

#include "windows/Twips.h"

namespace tw {

namespace {
QProgressBar* MakeBar(QWidget* parent, const char* name) {
    auto* bar = new QProgressBar(parent);
    bar->setObjectName(QString::fromLatin1(name));
    bar->setRange(0, 100);
    bar->setValue(0);
    bar->setTextVisible(false);
    return bar;
}
}  // namespace

ProgressForm::ProgressForm(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("ProgressForm"));
    setAttribute(Qt::WA_DeleteOnClose);
    // The keyboard stays with the main window, so F5 can follow at once.
    setAttribute(Qt::WA_ShowWithoutActivating);
    setWindowTitle(QStringLiteral("Progress..."));
    setFixedSize(Px(9492), Px(6036));

    Label1 = new QLabel(QStringLiteral("Calculating..."), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    PlaceTwips(Label1, 600, 480, 1452, 372);
    CalcProgBar = MakeBar(this, "CalcProgBar");
    PlaceTwips(CalcProgBar, 600, 720, 8292, 852);
    Label2 = new QLabel(QStringLiteral("Save Progress..."), this);
    Label2->setObjectName(QStringLiteral("Label2"));
    PlaceTwips(Label2, 600, 2280, 1452, 612);
    Label2->hide();
    SaveProgBar = MakeBar(this, "SaveProgBar");
    PlaceTwips(SaveProgBar, 600, 2520, 8292, 852);
    CompleteLab = new QLabel(QStringLiteral("Complete !"), this);
    CompleteLab->setObjectName(QStringLiteral("CompleteLab"));
    CompleteLab->setAlignment(Qt::AlignCenter);
    QFont big(QStringLiteral("Garamond"), 48, QFont::Bold);
    big.setStyleHint(QFont::Serif);
    CompleteLab->setFont(big);
    PlaceTwips(CompleteLab, 1080, 4080, 7452, 1452);
    CompleteLab->hide();
    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(1000);
    connect(Timer1, &QTimer::timeout, this, &ProgressForm::Timer1_Timer);
}

void ProgressForm::PrepareForGeneration(bool resetSaveBar) {
    SaveProgBar->hide();
    CalcProgBar->show();
    CompleteLab->hide();
    Label2->hide();
    CalcProgBar->setValue(0);
    if (resetSaveBar) SaveProgBar->setValue(0);
    ShowPainted();
}

void ProgressForm::PrepareForLoad() {
    SaveProgBar->hide();
    Label2->hide();
    ShowPainted();
    CalcProgBar->setMaximum(100);
}

void ProgressForm::ShowPainted() {
    const QPointer<QWidget> active = QApplication::activeWindow();
    show();
    const QPointer<ProgressForm> self(this);
    const QDeadlineTimer deadline(2000);
    while (!painted_ && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents | QEventLoop::ExcludeSocketNotifiers);
        if (!self) return;  // closed from outside meanwhile
        if (!painted_) QThread::msleep(2);
    }
    // Some platforms make every window they show active, whatever it asks
    // for; the keyboard then goes back to the window that had it.
    if (active && active != this && QApplication::activeWindow() == this) {
        active->activateWindow();
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents | QEventLoop::ExcludeSocketNotifiers);
        if (!self) return;
    }
    // A window that was on the screen already shows its new state now.
    repaint();
}

void ProgressForm::closeEvent(QCloseEvent* event) {
    unloading_ = true;
    QWidget::closeEvent(event);
}

void ProgressForm::paintEvent(QPaintEvent* event) {
    // Painting a window that is not yet exposed draws nothing on the screen.
    if (windowHandle() && windowHandle()->isExposed()) painted_ = true;
    QWidget::paintEvent(event);
}

void ProgressForm::hideEvent(QHideEvent* event) {
    painted_ = false;
    QWidget::hideEvent(event);
}

void ProgressForm::SetCalcProgress(int value) {
    CalcProgBar->setMaximum(100);
    if (CalcProgBar->value() == value) return;
    CalcProgBar->setValue(value);
    CalcProgBar->repaint();
}

void ProgressForm::ShowComplete() {
    CompleteLab->show();
    if (!Timer1->isActive()) Timer1->start();
    repaint();
}

void ProgressForm::Timer1_Timer() {
    // The label's own flag counts, also while a caller has hidden the window.
    Timer1->stop();
    if (CompleteLab->isVisibleTo(this)) {
        CompleteLab->hide();
        hide();
        unloading_ = true;
        deleteLater();  // unloaded: the next run creates the window afresh
    }
}

}  // namespace tw
