#pragma once

#include "foundation/LocationRecord.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QTimeZone>
#include <QVariant>

#include <atomic>
#include <functional>
#include <optional>
#include <vector>

namespace talvor {

// The user's world-clock locations as the locations window edits them, without widgets:
// every change is saved at once through `save` and announced through `post`. Rows are
// records of the location table; columns are told apart by identifier (-1 flag, 0-3 text,
// 5 offset, 6 abbreviation, 10 and 11 check boxes, 14 offset from GMT).
class LocationTableModel {
  public:
    struct Ports {
        std::function<bool(const LocationTable&)> save;
        std::function<void(const QString& name)> post;
    };
    // What the offset columns are measured against.
    struct Now {
        QDateTime instant;
        QTimeZone systemZone;
        bool gmtOffsets = false;
    };
    struct ImportCount {
        int added = 0;
        int duplicates = 0;
    };

    // `dialCodes`: pairs of a code and a country name, for filling one from the other.
    LocationTableModel(LocationTable list, QVariantList dialCodes, Ports ports);

    const LocationTable& locationList() const { return locationList_; }
    int rowCount() const { return static_cast<int>(locationList_.size()); }
    QVariantList record(int row) const;

    // The value a cell shows. The offset and abbreviation columns refresh fields 5 and 6 from
    // the zone; those fields are saved with the next change.
    QVariant objectValue(int row, int column, const Now& now);
    static bool isCheckBoxColumn(int column) { return column == 10 || column == 11; }
    // Text columns; the offsets and the abbreviation come from the zone and are not typed in.
    static bool isEditableColumn(int column) { return column >= 0 && column <= 3; }

    // False when nothing changed (so nothing was saved or announced).
    bool setObjectValue(int row, int column, const QString& value);
    // Flips field 10 or 11 of a row.
    void toggleFlag(int row, int field);
    // Clears field 10 or 11 of every row.
    void allOff(int field);
    // Removes the rows; the row to select afterwards, nullopt when the list is empty or no
    // row was given.
    std::optional<int> deleteRows(QList<int> rows);
    // A drop of `source` above `target`: refused onto itself and onto the row below it.
    bool validateDrop(int source, int target) const;
    void moveRow(int source, int target);
    // Sorts by a column (nullopt: keeps the order); returns, for each new row, its old row.
    std::vector<int> sortData(std::optional<int> column, bool descending);
    void appendRecord(const QVariantList& record);
    // Replaces every row (the bundled defaults).
    void replaceAll(LocationTable list);
    // What an import would add to `present`: the records whose identity matches no row and
    // no record before them in `records` (a repeat inside the file is a duplicate too).
    // Linear; safe on any thread. Stops early, with what it has, once `cancelled` is set.
    struct ImportPlan {
        LocationTable added;
        int duplicates = 0;
        bool floating = false;  // some added record is a floating clock
    };
    static ImportPlan planImport(const LocationTable& present, const LocationTable& records,
                                 const std::atomic<bool>* cancelled = nullptr);
    // Appends the plan's records; saves and announces when any was added. The plan must have
    // been made against locationList() as it is now.
    ImportCount applyImport(const ImportPlan& plan);
    // Appends the records that match none of the rows present before and no record before
    // them; saves and announces when any was added.
    ImportCount importRecords(const LocationTable& records);
    // Same country, state, city, note and zone.
    static bool locationIsSame(const QVariantList& a, const QVariantList& b);

  private:
    void saveAndPost(bool floatingChanged);
    QString dialCode(const QString& text, int matchIndex, int resultIndex) const;

    LocationTable locationList_;
    QVariantList dialCodes_;
    Ports ports_;
};

}  // namespace talvor
