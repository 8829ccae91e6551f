#pragma once

#include "LocationTableModel.h"

#include <QAbstractTableModel>
#include <QString>

#include <functional>
#include <vector>

namespace talvor {

// The location list as the table view sees it: one view column per column identifier, check
// boxes for the two flags, net records in red, and single-row moves by drag ("Row Index":
// the row number as four bytes).
class LocationItemModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    using NowSource = std::function<LocationTableModel::Now()>;

    LocationItemModel(LocationTableModel& locations, NowSource now, QObject* parent = nullptr);

    // The column identifiers, in view order.
    static const std::vector<int>& columnIds();
    static int columnId(int section);
    // The view column of an identifier; -1 when not shown.
    static int section(int columnId);

    // Everything changed (a reload).
    void reload();
    void setOffsetTitle(const QString& title);

    // The controller's own handling of clicks and drops; empty: the model acts alone.
    std::function<void(int row, int columnId)> checkBoxClicked;
    std::function<void(int source, int target)> rowMoved;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QModelIndexList& indexes) const override;
    bool canDropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                         const QModelIndex& parent) const override;
    bool dropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                      const QModelIndex& parent) override;
    Qt::DropActions supportedDropActions() const override { return Qt::MoveAction; }
    Qt::DropActions supportedDragActions() const override { return Qt::MoveAction; }

  private:
    std::optional<int> draggedRow(const QMimeData* data) const;

    LocationTableModel& locations_;
    NowSource now_;
    QString offsetTitle_;
};

}  // namespace talvor
