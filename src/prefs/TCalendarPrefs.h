#pragma once

#include "PaneDelegate.h"
#include "PreferencePane.h"
#include "calendar/CalSource.h"

#include <QCheckBox>
#include <QComboBox>
#include <QMessageBox>
#include <QPointer>
#include <QStringList>
#include <QTableWidget>
#include <QVariantMap>

#include <vector>

class QBoxLayout;
class QFormLayout;
class QGroupBox;
class QTabWidget;

namespace talvor {

class GCalender;
class HotKeyField;
namespace platform {
class ReachabilityProbe;
}

// The mini calendar's pane: its months and their layout, font sizes, the month the grid
// starts with, calendar systems, first weekday, week numbers, the relative-day phrase, its
// menu-bar item, the login item, two global hot keys, and which calendars it shows and how
// their days are marked. Every change is written at once to the standard user defaults and
// announced in the process ("PrefsChanged", "loadCalendarEvents").
class TCalendarPrefs : public PreferencePane {
    Q_OBJECT
  public:
    explicit TCalendarPrefs(QString nibName, PaneDelegate delegate = {});
    ~TCalendarPrefs() override;

    static Manual::Section helpPage() { return Manual::Section::MenubarCalendar; }

    // The calendar systems offered, in item order (ICU identifiers).
    static const QStringList& custCalendars();
    // Rows and columns of each month layout, in item order.
    struct Layout {
        int rows;
        int cols;
    };
    static const std::vector<Layout>& monthLayouts();
    // Day-number, title and day-view text sizes of each font set, in item order.
    struct FontSet {
        int number;
        int title;
        int text;
    };
    static const std::vector<FontSet>& fontSets();

    void showHideMinnowOnMenuBar();
    // The week-number box's title: ISO 8601 weeks for Monday-first Gregorian months.
    void validateISOReady();
    // The start-month choices for the months shown, with the stored one selected.
    void updateMonthCenterMenu();
    // Keeps the auxiliary calendar system apart from the main one.
    void validateAuxMenu();
    // Every pop-up's action.
    void menuChanged(QComboBox* sender);
    // Every check box's action but the menu-bar one.
    void checkBoxChanged(QAbstractButton* sender);
    // The hot-key fields' action: a cleared field unbinds its hot key.
    void hotKeyChanged(HotKeyField& field);
    // The stopwatch's field: stored with the per-feature hot keys and bound at once.
    void stopWatchHotKeyChanged(const HotKeyField& field);
    // Shows or hides a source's events, and stores it.
    void setSource(const CalSourcePtr& source, bool enabled);
    // Opens the highlight picker for the selected row of `table`.
    void showColorPanel(QTableWidget* table);
    // The picker's report for the selected row of the table last used.
    void highlightChanged(const SourceHighlight& highlight);
    // Forgets the stored settings of the source with `token`.
    void removeSourcePref(const QString& token);

    // The back end the mini calendar shows: its radio button, its tab, "SelectedCalendar",
    // then the calendars of that back end are read again.
    void selectBackEnd(bool google);
    // Signs in to Google, or out (a sign-in under way is cancelled). Never waits: the pane
    // follows the outcome as it comes.
    void btnPressed_GoogleLoginLogout();
    // Lists the Google calendars again.
    void loadPersonalSources();
    // Where the connection is looked up (tests); null: the system's routes.
    void setReachabilityProbe(const platform::ReachabilityProbe* probe) { probe_ = probe; }
    // The text of the last alert shown, and the alert while open (tests).
    QString lastAlertText() const { return lastAlertText_; }
    QMessageBox* alert() const { return alert_; }

    // Null until the view is built.
    QWidget* control(const QString& id) const;
    QTableWidget* sourceTable(const QString& id) const;
    // The sources a table shows, in row order.
    const std::vector<CalSourcePtr>& sourcesOf(const QTableWidget* table) const;

  protected:
    std::unique_ptr<QWidget> loadView() override;

  private:
    struct SourceTable;
    // The steps of loadView, in the order the controls appear.
    QCheckBox* makeBox(QWidget* parent, const char* id, const QString& title);
    QComboBox* makeMenu(QWidget* parent, const char* id);
    void buildMonthMenus(QGroupBox& look, QFormLayout& form);
    void buildCalendarSystems(QGroupBox& look, QFormLayout& form);
    void buildKeys(QWidget& view, QBoxLayout& layout);
    QTableWidget* makeSourceTable(QTabWidget& tabs, const QString& id);
    void addSourcePage(QTabWidget& tabs, const SourceTable& t);
    QTabWidget* buildSourceTabs(QWidget& view);
    void buildBackEndChoice(QWidget& view, QBoxLayout& layout);
    QString mainCalendar() const;
    void loadSettings();
    void fillTable(SourceTable& t);
    void showRow(SourceTable& t, int row);
    SourceTable* tableEntry(const QTableWidget* table);
    bool isPublic(const QTableWidget* table) const;
    QString prefKey(const QTableWidget* table, const CalSource& source) const;
    void storeSourcePrefs();
    void postPrefsChanged(const QVariantMap& userInfo = {});
    void backEndTabSelected(bool google);
    QWidget* googlePage(QWidget* parent, QTableWidget* table);
    // The Google client's fields: what the user entered, or whose value wins instead.
    void showGoogleClient();
    void googleClientEdited();
    // The account line, the sign-in button and the reload button as the sign-in stands.
    void showGoogleState();
    void fillGoogleTable();
    void showAlert(const QString& text);
    void postCalendarsLoaded();
    bool online() const;

    QPointer<QMessageBox> alert_;
    QString lastAlertText_;
    const platform::ReachabilityProbe* probe_ = nullptr;
    bool signingIn_ = false;
    bool listing_ = false;

    PaneDelegate delegate_;
    QPointer<QWidget> view_;
    QVariantMap sourcePrefs_;
    std::vector<SourceTable> tables_;
    QPointer<QTableWidget> currentTableView_;
    bool loading_ = false;
};

}  // namespace talvor
