#pragma once

#include "PaneDelegate.h"
#include "PaneTable.h"
#include "PreferencePane.h"
#include "calendar/RelativeDateDescriptor.h"

#include <QCheckBox>
#include <QDateTimeEdit>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>

#include <functional>

namespace talvor {

// The "Date Difference" pane: two dates, the units to express their difference in, the
// difference as calendar units and as two relative phrases, and whether the time menu offers
// the calculator. Every change of a date or a unit computes again.
class DateDiffPrefCalculator : public PreferencePane {
    Q_OBJECT
  public:
    // `updateMenu` rebuilds a group of the time menu (9: the date difference).
    explicit DateDiffPrefCalculator(QString nibName, PaneDelegate delegate = {},
                                    std::function<void(qint32)> updateMenu = {});
    ~DateDiffPrefCalculator() override;

    static constexpr qint32 kDateDifferenceGroup = 9;

    PaneTable* table() override { return &table_; }

    void computeDateDiff();
    // As a click on the menu box: stores the choice and has the menu rebuilt.
    void showHideDateDiffMenuItem(bool shown);
    void helpBtnClicked();
    void OnVersionNoClicked();

    const DateDiffCalculator& model() const { return model_; }
    // Null until the view is built.
    QDateTimeEdit* date1Edit() const { return date1_; }
    QDateTimeEdit* date2Edit() const { return date2_; }
    QCheckBox* unitBox(int index) const;  // era, year, month, week, day
    QLabel* diffLabel() const { return diffLabel_; }
    QLineEdit* laterField() const { return later_; }
    QLineEdit* earlierField() const { return earlier_; }
    QCheckBox* showHideBox() const;

  protected:
    std::unique_ptr<QWidget> loadView() override;

  private:
    std::vector<PaneRow> makeRows();
    void readControls();
    void showResult();

    PaneDelegate delegate_;
    std::function<void(qint32)> updateMenu_;
    DateDiffCalculator model_;
    QPointer<QDateTimeEdit> date1_;
    QPointer<QDateTimeEdit> date2_;
    QPointer<QCheckBox> units_[5];
    QPointer<QLabel> diffLabel_;
    QPointer<QLineEdit> later_;
    QPointer<QLineEdit> earlier_;
    PaneTable table_;
};

}  // namespace talvor
