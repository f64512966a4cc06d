#include "windows/RegisterPanel.h"

#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QScrollBar>
#include <QStyle>

#include "windows/CaptionButton.h"
#include "windows/Twips.h"

namespace tw {

namespace {

constexpr int NameLeft = 1320, NameWidth = 3012;
constexpr int InitialLeft = 4440, FinalLeft = 5880, ValueWidth = 1332;
constexpr int RowHeight = 288;

QLineEdit* MakeCell(QWidget* form, const QString& name, int index, const QString& text) {
    auto* cell = new QLineEdit(text, form);
    cell->setObjectName(QStringLiteral("%1_%2").arg(name).arg(index));
    cell->hide();
    return cell;
}

void Caption(QWidget* form, const char* name, const char* text, int left) {
    auto* label = new QLabel(QString::fromLatin1(text), form);
    label->setObjectName(QString::fromLatin1(name));
    PlaceTwips(label, left, 3360, left == NameLeft ? 1812 : 1332, 252);
}

void SetButtonColour(QPushButton* button, QPalette::ColorRole role) {
    QPalette p = button->palette();
    p.setColor(QPalette::Button, button->style()->standardPalette().color(role));
    button->setPalette(p);
}

}  // namespace

RegisterPanel::RegisterPanel(QWidget* form) : QObject(form), form_(form) {
    setObjectName(QStringLiteral("Panel"));
    Caption(form, "CaptionSetreg", "Set Reg Name:", NameLeft);
    Caption(form, "CaptionInitial", "f0 Initial Value:", InitialLeft);
    Caption(form, "CaptionFinal", "f0 Final Value:", FinalLeft);
    const auto& catalogue = RegisterCatalogue();
    for (int i = 0; i <= LastRegisterIndex; ++i) {
        setreg[i] = MakeCell(form, QStringLiteral("setreg"), i,
                             QString::fromLatin1(catalogue[i].name.data(),
                                                 static_cast<int>(catalogue[i].name.size())));
        f0initial[i] = MakeCell(form, QStringLiteral("f0initial"), i, QStringLiteral("0"));
        f0final[i] = MakeCell(form, QStringLiteral("f0final"), i, QStringLiteral("0"));
        f0initial[i]->installEventFilter(this);
        f0final[i]->installEventFilter(this);
        connect(f0initial[i], &QLineEdit::textEdited, this, [this, i] { emit ValueEdited(KeyframeSide::Initial, i); });
        connect(f0final[i], &QLineEdit::textEdited, this, [this, i] { emit ValueEdited(KeyframeSide::Final, i); });
        // The value boxes share one menu of pose tools instead of the edit menu.
        for (QLineEdit* box : {f0initial[i], f0final[i]}) {
            box->setContextMenuPolicy(Qt::CustomContextMenu);
            connect(box, &QWidget::customContextMenuRequested, this,
                    [this, box](const QPoint& at) { emit ValueMenuRequested(box->mapToGlobal(at)); });
        }
    }
    VScroll1 = new QScrollBar(Qt::Vertical, form);
    VScroll1->setObjectName(QStringLiteral("VScroll1"));
    PlaceTwips(VScroll1, 7320, 3600, 252, 6252);
    VScroll1->setSingleStep(1);
    VScroll1->setPageStep(RowsPerPage - 1);
    connect(VScroll1, &QScrollBar::valueChanged, this, [this] {
        if (!settingScroll_) VScroll1_Change();
    });

    ViewBody = MakeCaptionButton(form, "ViewBody", "&Body", 1320, 2520, 612, 372);
    ViewHand = MakeCaptionButton(form, "ViewHand", "&Hands", 1920, 2520, 732, 372);
    ViewFace = MakeCaptionButton(form, "ViewFace", "F&ace", 2640, 2520, 612, 372);
    ViewTranslate = MakeCaptionButton(form, "ViewTranslate", "&Translate", 3240, 2520, 972, 372);
    ViewAll = MakeCaptionButton(form, "ViewAll", "Show All &Registers", 1320, 2880, 2892, 372);
    f0InitialReset = MakeCaptionButton(form, "f0InitialReset", "Reset &Intitial", 4440, 2640, 1332, 252);
    f0FinalReset = MakeCaptionButton(form, "f0FinalReset", "Reset &Final", 5880, 2640, 1332, 252);
    Swap = MakeCaptionButton(form, "Swap", "&Swap Initial && Final Values", 4440, 3000, 1332, 372);
    CopyI2F = MakeCaptionButton(form, "CopyI2F", "&Copy Initial to Final Values", 5880, 3000, 1332, 372);
    for (QPushButton* b : {ViewBody, ViewHand, ViewFace, ViewTranslate})
        SetButtonColour(b, QPalette::Button);

    connect(ViewAll, &QPushButton::clicked, this, &RegisterPanel::ViewAll_Click);
    connect(ViewBody, &QPushButton::clicked, this, &RegisterPanel::ViewBody_Click);
    connect(ViewHand, &QPushButton::clicked, this, &RegisterPanel::ViewHand_Click);
    connect(ViewFace, &QPushButton::clicked, this, &RegisterPanel::ViewFace_Click);
    connect(ViewTranslate, &QPushButton::clicked, this, &RegisterPanel::ViewTranslate_Click);
    connect(f0InitialReset, &QPushButton::clicked, this, &RegisterPanel::f0InitialReset_Click);
    connect(f0FinalReset, &QPushButton::clicked, this, &RegisterPanel::f0FinalReset_Click);
    connect(CopyI2F, &QPushButton::clicked, this, &RegisterPanel::CopyI2F_Click);
    connect(Swap, &QPushButton::clicked, this, &RegisterPanel::Swap_Click);
}

int RegisterPanel::ScrollPosition() const {
    int offset = VScroll1->value();
    return range_.top <= range_.bottom ? range_.top + offset : range_.top - offset;
}

void RegisterPanel::SetScrollPosition(int position) {
    position = ClampToRange(position, range_);
    int offset = position - range_.top;
    VScroll1->setValue(offset < 0 ? -offset : offset);
}

void RegisterPanel::SetRange(ScrollRange range) {
    const int position = LandingPosition(ScrollPosition(), range);
    settingScroll_ = true;
    range_ = range;
    VScroll1->setRange(0, range.High() - range.Low());
    int offset = position - range.top;
    VScroll1->setValue(offset < 0 ? -offset : offset);
    settingScroll_ = false;
}

void RegisterPanel::LayoutRegisterRows() {
    if (std::optional<ScrollRange> range = ViewRange(viewMode_)) SetRange(*range);
    const int position = ScrollPosition();
    for (int i = 0; i <= LastRegisterIndex; ++i) {
        const int top = RowTopTwips(i, position);
        if (RowShown(top)) {
            setreg[i]->show();
            f0initial[i]->show();
            f0final[i]->show();
            PlaceTwips(f0initial[i], InitialLeft, top, ValueWidth, RowHeight);
            PlaceTwips(f0final[i], FinalLeft, top, ValueWidth, RowHeight);
            PlaceTwips(setreg[i], NameLeft, top, NameWidth, RowHeight);
        } else {
            setreg[i]->hide();
            f0initial[i]->hide();
            f0final[i]->hide();
        }
    }
}

void RegisterPanel::VScroll1_Change() { LayoutRegisterRows(); }

void RegisterPanel::SelectView(int mode, QPushButton* marked) {
    viewMode_ = mode;
    for (QPushButton* b : {ViewBody, ViewHand, ViewFace, ViewTranslate})
        SetButtonColour(b, b == marked ? QPalette::Dark : QPalette::Button);
    LayoutRegisterRows();
}

void RegisterPanel::ViewAll_Click() { SelectView(ViewAllRegisters, nullptr); }
void RegisterPanel::ViewBody_Click() { SelectView(ViewBodyGroup, ViewBody); }
void RegisterPanel::ViewHand_Click() { SelectView(ViewHandsGroup, ViewHand); }
void RegisterPanel::ViewFace_Click() { SelectView(ViewFaceGroup, ViewFace); }
void RegisterPanel::ViewTranslate_Click() { SelectView(ViewTranslateGroup, ViewTranslate); }

void RegisterPanel::HandleValueBoxClick(QLineEdit* box, KeyframeSide side, int index) {
    sliderPosition_ = SliderPositionForText(index, box->text().toStdString());
    // The box's place in the client area, in twips, less the offsets.
    sliderWindowTopTwips_ = RowTopTwips(index, ScrollPosition()) - 700;
    sliderWindowLeftTwips_ = (side == KeyframeSide::Initial ? InitialLeft : FinalLeft) - 1000;
    editSide_ = side;
    editIndex_ = index;
    emit SliderRequested(side, index, sliderPosition_, sliderWindowLeftTwips_, sliderWindowTopTwips_);
}

void RegisterPanel::f0initial_Click(int index) {
    HandleValueBoxClick(f0initial[index], KeyframeSide::Initial, index);
}

void RegisterPanel::f0final_Click(int index) {
    HandleValueBoxClick(f0final[index], KeyframeSide::Final, index);
}

bool RegisterPanel::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        for (int i = 0; i <= LastRegisterIndex; ++i) {
            if (watched == f0initial[i]) f0initial_Click(i);
            else if (watched == f0final[i]) f0final_Click(i);
        }
    }
    return QObject::eventFilter(watched, event);
}

KeyframeColumns RegisterPanel::Columns() const {
    KeyframeColumns columns;
    for (int i = 0; i <= LastRegisterIndex; ++i) {
        columns.initial[i] = f0initial[i]->text().toStdString();
        columns.final[i] = f0final[i]->text().toStdString();
    }
    return columns;
}

void RegisterPanel::SetColumns(const KeyframeColumns& columns) {
    for (int i = 0; i <= LastRegisterIndex; ++i) {
        QString initial = QString::fromStdString(columns.initial[i]);
        QString final = QString::fromStdString(columns.final[i]);
        if (f0initial[i]->text() != initial) f0initial[i]->setText(initial);
        if (f0final[i]->text() != final) f0final[i]->setText(final);
    }
}

void RegisterPanel::SetRows(const std::array<std::string, RegisterCount>& names, const KeyframeColumns& columns) {
    const auto write = [](QLineEdit* cell, const std::string& text) {
        const QString value = QString::fromStdString(text);
        if (cell->text() != value) cell->setText(value);
    };
    for (int i = 0; i <= LastRegisterIndex; ++i) {
        write(setreg[i], names[i]);
        write(f0initial[i], columns.initial[i]);
        write(f0final[i], columns.final[i]);
    }
}

void RegisterPanel::PutCaretAtEnd(KeyframeSide side, int index) {
    QLineEdit* box = side == KeyframeSide::Initial ? f0initial[index] : f0final[index];
    box->setCursorPosition(static_cast<int>(box->text().size()));
}

std::array<std::string, RegisterCount> RegisterPanel::Names() const {
    std::array<std::string, RegisterCount> names;
    for (int i = 0; i <= LastRegisterIndex; ++i) names[i] = setreg[i]->text().toStdString();
    return names;
}

void RegisterPanel::ApplyToColumns(void (*command)(KeyframeColumns&)) {
    KeyframeColumns columns = Columns();
    command(columns);
    SetColumns(columns);
}

void RegisterPanel::f0InitialReset_Click() { ApplyToColumns(ResetInitial); }
void RegisterPanel::f0FinalReset_Click() { ApplyToColumns(ResetFinal); }
void RegisterPanel::CopyI2F_Click() { ApplyToColumns(CopyInitialToFinal); }
void RegisterPanel::Swap_Click() { ApplyToColumns(SwapInitialAndFinal); }

}  // namespace tw
