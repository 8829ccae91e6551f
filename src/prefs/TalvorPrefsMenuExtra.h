#pragma once

#include "PaneDelegate.h"
#include "PaneTable.h"
#include "PreferencePane.h"

#include <QCheckBox>
#include <QLabel>
#include <QPointer>
#include <QPushButton>

namespace talvor {

// The "About" pane: the version, links to the manual, the change log and the company's web
// site, and whether the program stays out of the taskbar ("AppDockIconFlag").
class TalvorPrefsMenuExtra : public PreferencePane {
    Q_OBJECT
  public:
    explicit TalvorPrefsMenuExtra(QString nibName, PaneDelegate delegate = {});

    static Manual::Section helpPage() { return Manual::Section::About; }
    // The link colour of the version field and the company button.
    static QColor linkColor();

    PaneTable* table() override { return &table_; }

    // Synchronises the domain, reads the flag and shows it.
    void readPrefs();
    // Stores the flag and synchronises.
    void writePrefs();
    void displayVersionInfo();
    // As a click on the taskbar box: flips the flag, stores it, announces it and has it
    // applied.
    void HideShowDockIcon();
    void helpBtnClicked();
    void OnVersionNoClicked();
    void OnLarkSpindleClicked();

    // 1: out of the taskbar.
    qint32 flag() const { return flag_; }
    // Null until the view is built.
    QCheckBox* dockIconCheckbox() const;
    QLabel* versionField() const { return versionField_; }
    QPushButton* versionButton() const { return versionButton_; }
    QPushButton* companyButton() const { return companyButton_; }
    QPushButton* helpButton() const { return helpButton_; }

  protected:
    std::unique_ptr<QWidget> loadView() override;

  private:
    std::vector<PaneRow> makeRows();
    void perform(const PaneCall& call);

    PaneDelegate delegate_;
    qint32 flag_ = 0;
    PaneTable table_;
    QPointer<QLabel> versionField_;
    QPointer<QPushButton> versionButton_;
    QPointer<QPushButton> companyButton_;
    QPointer<QPushButton> helpButton_;
};

}  // namespace talvor
