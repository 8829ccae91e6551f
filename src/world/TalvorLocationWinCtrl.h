#pragma once

#include "LocationTableModel.h"
#include "LocationTransfer.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <thread>

class QDialog;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QWidget;

namespace talvor {

class DeletableTableView;
class LocationItemModel;
class TalvorMyAddressPanel;

namespace platform {
class Clock;
}

// The locations window: the editor of the user's world-clock locations, shown as a sheet on
// the settings window or as a window of its own. One per process. Main thread only.
class TalvorLocationWinCtrl : public QObject {
    Q_OBJECT
  public:
    // What the window needs from outside; every empty member falls back to the real thing.
    struct Ports {
        std::function<std::optional<::talvor::LocationTable>()> load;  // TalvorLoadLocationFile
        std::function<bool(const ::talvor::LocationTable&)> save;      // TalvorSaveLocationTable
        std::function<void(const QString& name)> post;                 // the distributed centre
        // Runs the location picker as a sheet on `parent`; `added` for each new record.
        std::function<void(QWidget* parent, std::function<void(const QVariantList&)> added,
                           std::function<void()> finished)>
            beginAddressSheet;
        // File choosers: they return at once and call `chosen` when they close; an empty
        // path means the user cancelled.
        using Chooser =
            std::function<void(QWidget* parent, std::function<void(const QString& path)> chosen)>;
        // The export chooser's title says what will be written.
        using ExportChooser = std::function<void(QWidget* parent, const QString& title,
                                                 std::function<void(const QString& path)> chosen)>;
        ExportChooser chooseExportPath;
        Chooser chooseImportPath;
        // A notice; nothing waits for it.
        enum class Notice { information, warning, critical };
        std::function<void(QWidget* parent, Notice kind, const QString& title, const QString& text)>
            notice;
        QVariantList dialCodes;  // nullopt-like: empty loads "CountryCode.plist"
        LocationTransfer::Limits importLimits;
        // Reads an import's file on the import's thread: LocationTransfer::read unless set.
        std::function<std::optional<LocationTransfer::Imported>(
            const QString& path, const LocationTransfer::Limits& limits, QString* problem)>
            readImport;
        platform::Clock* clock = nullptr;
    };

    // The real files, centre, picker and dialogs.
    TalvorLocationWinCtrl();
    explicit TalvorLocationWinCtrl(Ports ports, QObject* parent = nullptr);
    ~TalvorLocationWinCtrl() override;

    static TalvorLocationWinCtrl& sharedInstance();
    // Tests put their own controller in place; nullptr goes back to the process's own.
    static void setSharedInstance(TalvorLocationWinCtrl* ctrl);

    QWidget* window() const;
    DeletableTableView* LocationTable() const { return table_; }
    QLineEdit* searchField() const { return searchField_; }
    LocationItemModel& itemModel() const { return *itemModel_; }
    static QString helpPage() { return QStringLiteral("#locations"); }

    // A window of its own, in front.
    void showWindow();
    // A window-modal sheet on the window of `owner` (the settings window).
    void showTZLocationSheet(QWidget* owner);
    void doneTZLocationSheet();
    // Asked when the sheet closes while the time menu shows location names (the delegate's
    // UpdateMenu).
    std::function<void()> updateMenu;

    // "Export 2 Selected Locations", "Export All 5 Locations".
    static QString exportTitle(qsizetype count, bool selectedOnly);
    // What an import did, in words: "Added 2 locations. 1 was already in the list."
    static QString importSummary(const LocationTableModel::ImportCount& count, int damaged);

    // Flips the GMT / local-difference choice when `flip`, then retitles the offset column.
    void GMTvsLTDToggle(bool flip);
    void AddLocation();
    void DelLocation();
    void deleteSelectedRowsInTableView(DeletableTableView* table);
    void setSearchString(const QString& text);
    void applySearchFilter();
    const QString& searchString() const { return searchString_; }
    // Shows and selects the last row (after an addition).
    const ::talvor::LocationTable& GetLocList();
    const ::talvor::LocationTable& locationList() const { return model_.locationList(); }

    void handleLocCheckboxClicked(int row);
    void handleFloatingCheckboxClicked(int row);
    void handleLocCheckboxAllOff();
    void handleFloatCheckboxAllOff();
    void ReloadDefaultsLocations();

    // Both ask for a file and go on when the chooser closes. The import reads and compares
    // on a thread of its own, the window saying so meanwhile; one import at a time.
    void exportLocations();
    void importLocations();
    bool importRunning() const { return import_ != nullptr; }
    // Abandons a running import (nothing of it is added) and waits for its thread.
    void stopImport();
    // The same without waiting, at quit: the thread may still be reading a large file, and
    // it touches nothing but its own job once abandoned.
    void abandonImportAtQuit();

    // A click on a column's header: remembered as "SortOrder", then sortByColumn.
    void didClickTableColumn(int columnId);
    void sortByColumn(int columnId);
    std::optional<int> sortingColumn() const { return mSortingColumn; }
    bool sortDescending() const { return mSortDescending; }

  private:
    void abandonImport();
    void exportLocationsTo(QString path, const ::talvor::LocationTable& records);
    struct ImportJob;
    void importLocationsFrom(const QString& path);
    void finishImport(const std::shared_ptr<ImportJob>& job);
    void buildWindow();
    void sortData();
    void moveRow(int source, int target);
    void selectRows(const QList<int>& rows);
    QList<int> selectedRows() const;
    LocationTableModel::Now now() const;

    Ports ports_;
    LocationTableModel model_;
    std::unique_ptr<QDialog> window_;
    DeletableTableView* table_ = nullptr;
    QLineEdit* searchField_ = nullptr;
    QRadioButton* gmtButton_ = nullptr;
    QRadioButton* localButton_ = nullptr;
    QPushButton* importButton_ = nullptr;
    QLabel* importStatus_ = nullptr;
    LocationItemModel* itemModel_ = nullptr;
    std::unique_ptr<TalvorMyAddressPanel> AddressSheet;
    QString searchString_;
    std::optional<int> mSortingColumn;
    bool mSortDescending = false;
    std::shared_ptr<ImportJob> import_;
    std::thread importThread_;
};

}  // namespace talvor
