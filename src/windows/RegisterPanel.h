// The register panel of the main window: 105 rows of name, initial value and
// final value, 17 shown at a time beside a scroll bar, five view buttons, and
// the four commands on whole value columns.
#pragma once

#include <QObject>
#include <QPoint>
#include <array>
#include <string>

#include "document/DocumentTexts.h"
#include "document/PanelLayout.h"
#include "document/RegisterCatalogue.h"
#include "document/RegisterValues.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QScrollBar;
class QWidget;

namespace tw {

class RegisterPanel : public QObject {
    Q_OBJECT
public:
    // Creates the panel's controls on `form` (the main window's client area).
    // The panel is found among the form's children by its name, "Panel".
    explicit RegisterPanel(QWidget* form);

    // The scroll position in the panel's own terms (the top value of a view
    // may be larger than its bottom value).
    int ScrollPosition() const;
    void SetScrollPosition(int position);
    ScrollRange CurrentRange() const { return range_; }

    // The value columns and names as texts, and writing columns back.
    KeyframeColumns Columns() const;
    void SetColumns(const KeyframeColumns& columns);
    std::array<std::string, RegisterCount> Names() const;
    // Writes every row's name and values, row by row, each only when its
    // text differs.
    void SetRows(const std::array<std::string, RegisterCount>& names, const KeyframeColumns& columns);

    // The view shown: which rows the scroll bar runs over. Setting it lays
    // nothing out; LayoutRegisterRows does.
    int ViewMode() const { return viewMode_; }
    void SetViewMode(int mode) { viewMode_ = mode; }
    void LayoutRegisterRows();

    // The value box clicked last, and where that click puts the slider
    // window and its slider.
    KeyframeSide EditSide() const { return editSide_; }
    int EditIndex() const { return editIndex_; }
    int SliderPosition() const { return sliderPosition_; }
    int SliderWindowLeftTwips() const { return sliderWindowLeftTwips_; }
    int SliderWindowTopTwips() const { return sliderWindowTopTwips_; }

public slots:
    void VScroll1_Change();
    void ViewAll_Click();
    void ViewBody_Click();
    void ViewHand_Click();
    void ViewFace_Click();
    void ViewTranslate_Click();
    void f0initial_Click(int index);
    void f0final_Click(int index);
    void f0InitialReset_Click();
    void f0FinalReset_Click();
    void CopyI2F_Click();
    void Swap_Click();
    // The caret of a value box goes after its last character.
    void PutCaretAtEnd(tw::KeyframeSide side, int index);

signals:
    // A value box was clicked: the slider window is to open on it, with its
    // slider at `sliderPosition` and its top left corner at the given place
    // in the main window's client area, in twips.
    void SliderRequested(tw::KeyframeSide side, int index, int sliderPosition, int windowLeftTwips,
                         int windowTopTwips);
    // The user typed into a value box (not a text the program wrote).
    void ValueEdited(tw::KeyframeSide side, int index);
    // A value box's context menu was asked for, at `globalPos` on the screen.
    void ValueMenuRequested(const QPoint& globalPos);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void SelectView(int mode, QPushButton* marked);
    // Runs a value command over the columns as the boxes hold them.
    void ApplyToColumns(void (*command)(KeyframeColumns&));
    void SetRange(ScrollRange range);
    void HandleValueBoxClick(QLineEdit* box, KeyframeSide side, int index);

    std::array<QLineEdit*, RegisterCount> setreg{};
    std::array<QLineEdit*, RegisterCount> f0initial{};
    std::array<QLineEdit*, RegisterCount> f0final{};
    QScrollBar* VScroll1 = nullptr;
    QPushButton* ViewBody = nullptr;
    QPushButton* ViewHand = nullptr;
    QPushButton* ViewFace = nullptr;
    QPushButton* ViewTranslate = nullptr;
    QPushButton* ViewAll = nullptr;
    QPushButton* f0InitialReset = nullptr;
    QPushButton* f0FinalReset = nullptr;
    QPushButton* Swap = nullptr;
    QPushButton* CopyI2F = nullptr;

    int viewMode_ = ViewAllRegisters;
    KeyframeSide editSide_ = KeyframeSide::Initial;
    int editIndex_ = 0;
    int sliderPosition_ = 0;
    int sliderWindowLeftTwips_ = 0;
    int sliderWindowTopTwips_ = 0;

    QWidget* form_;
    ScrollRange range_{0, 0};
    bool settingScroll_ = false;
};

}  // namespace tw
