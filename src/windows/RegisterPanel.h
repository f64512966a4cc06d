// The register panel of the main window: 105 rows of name, initial value and
// final value, 17 shown at a time beside a scroll bar, five view buttons, and
// the four commands on whole value columns.
#pragma once

#include <QObject>
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
    explicit RegisterPanel(QWidget* form);

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

    int ViewMode = ViewAllRegisters;
    KeyframeSide EditSide = KeyframeSide::Initial;
    int EditIndex = 0;
    // Where the last value-box click puts the slider window and its slider.
    int SliderPosition = 0;
    int SliderWindowLeftTwips = 0;
    int SliderWindowTopTwips = 0;

    // The scroll position in the panel's own terms (the top value of a view
    // may be larger than its bottom value).
    int ScrollPosition() const;
    void SetScrollPosition(int position);
    ScrollRange CurrentRange() const { return range_; }

    // The value columns and names as texts, and writing columns back.
    KeyframeColumns Columns() const;
    void SetColumns(const KeyframeColumns& columns);
    std::array<std::string, RegisterCount> Names() const;

    void LayoutRegisterRows();

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

signals:
    // A value box was clicked: the slider window is to open on it, with its
    // slider at `sliderPosition` and its top left corner at the given place
    // in the main window's client area, in twips.
    void SliderRequested(tw::KeyframeSide side, int index, int sliderPosition, int windowLeftTwips,
                         int windowTopTwips);
    // The user typed into a value box (not a text the program wrote).
    void ValueEdited(tw::KeyframeSide side, int index);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void SetViewMode(int mode, QPushButton* marked);
    // Runs a value command over the columns as the boxes hold them.
    void ApplyToColumns(void (*command)(KeyframeColumns&));
    void SetRange(ScrollRange range);
    void HandleValueBoxClick(QLineEdit* box, KeyframeSide side, int index);

    QWidget* form_;
    ScrollRange range_{0, 0};
    bool settingScroll_ = false;
};

}  // namespace tw
