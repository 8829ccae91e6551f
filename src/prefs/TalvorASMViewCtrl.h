#pragma once

#include "PaneDelegate.h"
#include "PaneTable.h"
#include "PreferencePane.h"

#include <QCheckBox>
#include <QPointer>
#include <QPushButton>

#include <array>

namespace talvor {

// The "Applications Menu" pane: whether the applications item is shown, whether it shows only
// an icon, and which sections its menu holds. Each setting is an integer flag, 0 or 1, in
// the application preference domain, kept in a field of the pane.
class TalvorASMViewCtrl : public PreferencePane {
    Q_OBJECT
  public:
    explicit TalvorASMViewCtrl(QString nibName, PaneDelegate delegate = {});

    static Manual::Section helpPage() { return Manual::Section::ApplicationsMenu; }

    PaneTable* table() override { return &table_; }

    // One flag: its key, field, check box and value when absent.
    struct Flag {
        const QString& key;
        qint32 TalvorASMViewCtrl::*field;
        const char* control;  // none for a flag no box shows
        qint32 whenAbsent;
        bool written;
    };
    // In the order they are written; the unwritten ones last.
    static const std::array<Flag, 8>& flags();

    // Synchronises, reads every flag and shows them.
    void readPrefs();
    // Stores the written flags, then synchronises.
    void writePrefs();
    // Tells other processes and has the menu rebuilt.
    void postUpate();

    // As a click on a box. A menu section flips from its value in memory, is stored and
    // announced.
    void toggleMenuExtra();
    void toggleCurrentlyInUseApps();
    void toggleRecent();
    void toggleSysPrefs();
    void toggleActivityTimer();
    // The item and its look follow their boxes; the item is rebuilt, nothing is announced.
    void enableMenuExtra();
    void showIconOnly();

    void helpBtnClicked();
    void OnVersionNoClicked();

    // Null until the view is built.
    QCheckBox* checkbox(const char* control) const;
    QPushButton* versionButton() const { return versionButton_; }

    qint32 ASMFlag = 0;
    qint32 ASMIconFlag = 0;
    qint32 PrefsFlag = 1;
    qint32 RecentFlag = 1;
    qint32 RunningAppsFlag = 1;
    qint32 MenuExtraFlag = 1;
    qint32 showAppTimes = 1;
    qint32 RecentSortFlag = 0;

  protected:
    std::unique_ptr<QWidget> loadView() override;

  private:
    std::vector<PaneRow> makeRows();
    void perform(const PaneCall& call);
    void toggle(qint32 TalvorASMViewCtrl::*field);
    void showFlags();

    PaneDelegate delegate_;
    PaneTable table_;
    QPointer<QPushButton> versionButton_;
};

}  // namespace talvor
