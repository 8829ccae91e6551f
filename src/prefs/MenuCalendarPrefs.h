#pragma once

#include "PaneDelegate.h"
#include "PreferencePane.h"

#include <QPointer>
#include <QPushButton>
#include <QRadioButton>

#include <functional>
#include <memory>

namespace talvor {

// The "Menubar Calendar" pane: which calendar the date item opens, the mini calendar
// ("Minnow") or the big one ("BigCal"), stored under "SelectedMenuCalendar"; below the
// choice it hosts the chosen calendar's own pane.
class MenuCalendarPrefs : public PreferencePane {
    Q_OBJECT
  public:
    // Makes a calendar's pane for a nib name.
    using PaneMaker = std::function<std::unique_ptr<PreferencePane>(const QString& nibName)>;
    // Empty makers make `TCalendarPrefs` and `TalvorCalendarPrefs`.
    struct HostedPanes {
        PaneMaker mini;
        PaneMaker big;
    };

    explicit MenuCalendarPrefs(QString nibName, PaneDelegate delegate = {},
                               HostedPanes hosted = {});
    ~MenuCalendarPrefs() override;

    static Manual::Section helpPage() { return Manual::Section::MenubarCalendar; }

    // The mini calendar chosen: hosts a fresh mini pane, stores "Minnow", shows the choice.
    void btnPressed_radioMinnow();
    // The big calendar chosen: back to one month (announced), a fresh big pane, "BigCal".
    void btnPressed_radioBigCal();
    void helpBtnClicked();
    void OnVersionNoClicked();

    // Null until the view is built.
    QRadioButton* radioMinnow() const { return radioMinnow_; }
    QRadioButton* radioBigCal() const { return radioBigCal_; }
    QWidget* containerView() const { return containerView_; }
    QPushButton* versionButton() const { return versionButton_; }
    // The last pane made of each kind.
    PreferencePane* miniPane() const { return miniPane_.get(); }
    PreferencePane* bigPane() const { return bigPane_.get(); }

  protected:
    std::unique_ptr<QWidget> loadView() override;

  private:
    void host(std::unique_ptr<PreferencePane>& slot, const PaneMaker& make, const QString& nibName);
    void choose(bool big);

    PaneDelegate delegate_;
    HostedPanes hosted_;
    QPointer<QRadioButton> radioMinnow_;
    QPointer<QRadioButton> radioBigCal_;
    QPointer<QWidget> containerView_;
    QPointer<QPushButton> versionButton_;
    std::unique_ptr<PreferencePane> miniPane_;
    std::unique_ptr<PreferencePane> bigPane_;
};

}  // namespace talvor
