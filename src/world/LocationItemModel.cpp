#include "LocationItemModel.h"

#include "CountryFlags.h"
#include "TalvorFloatingClockCtrl.h"
#include "WorldKeys.h"

#include <QBrush>
#include <QFileInfo>
#include <QHash>
#include <QIcon>
#include <QMimeData>

#include <algorithm>
#include <cstring>

namespace talvor {
namespace {

using namespace LocationRecord;

QString columnTitle(int id) {
    switch (id) {
        case kNote:
            return QObject::tr("Note");
        case kCity:
            return QObject::tr("City");
        case kState:
            return QObject::tr("State");
        case kCountry:
            return QObject::tr("Country");
        case kAbbreviation:
            return QObject::tr("Zone");
        case kInTimeMenu:
            return QObject::tr("Menu");
        case kFloating:
            return QObject::tr("Floating");
        case -1:
            return QObject::tr("Flag");
        default:
            return QString();
    }
}

}  // namespace

LocationItemModel::LocationItemModel(LocationTableModel& locations, NowSource now, QObject* parent)
    : QAbstractTableModel(parent), locations_(locations), now_(std::move(now)) {}

const std::vector<int>& LocationItemModel::columnIds() {
    static const std::vector<int> ids{-1, 10, 11, 1, 2, 3, 0, 5, 6};
    return ids;
}

int LocationItemModel::columnId(int section) {
    const auto& ids = columnIds();
    return section >= 0 && section < int(ids.size()) ? ids[section] : -2;
}

int LocationItemModel::section(int columnId) {
    const auto& ids = columnIds();
    const auto it = std::find(ids.begin(), ids.end(), columnId);
    return it == ids.end() ? -1 : int(it - ids.begin());
}

void LocationItemModel::reload() {
    beginResetModel();
    endResetModel();
}

void LocationItemModel::setOffsetTitle(const QString& title) {
    offsetTitle_ = title;
    const int s = section(kHoursFromGMT);
    emit headerDataChanged(Qt::Horizontal, s, s);
}

int LocationItemModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : locations_.rowCount();
}

int LocationItemModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(columnIds().size());
}

QVariant LocationItemModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid()) {
        return {};
    }
    const int id = columnId(index.column());
    const QVariantList rec = locations_.record(index.row());
    switch (role) {
        case Qt::DisplayRole:
        case Qt::EditRole:
            if (id < 0 || LocationTableModel::isCheckBoxColumn(id)) {
                return {};
            }
            return locations_.objectValue(index.row(), id, now_());
        case Qt::CheckStateRole:
            if (!LocationTableModel::isCheckBoxColumn(id)) {
                return {};
            }
            return flag(rec, id) ? Qt::Checked : Qt::Unchecked;
        case Qt::DecorationRole: {
            if (id != -1) {
                return {};
            }
            const std::optional<QString> path =
                TalvorFloatingClockCtrl::getiChatFlagPath(text(rec, kCountry));
            if (!path || !QFileInfo::exists(*path)) {
                return {};
            }
            if (path->endsWith(QLatin1String(".svg"))) {
                // Drawn once per flag, not at every repaint of the table.
                static QHash<QString, QIcon> drawn;
                auto it = drawn.constFind(*path);
                if (it == drawn.constEnd()) {
                    it = drawn.insert(*path,
                                      QIcon(QPixmap::fromImage(CountryFlags::drawFlag(*path, 32))));
                }
                return *it;
            }
            return QIcon(*path);
        }
        case Qt::ForegroundRole:
            // Net records show in red until the user edits them into their own.
            return id >= 0 && id <= 9 && isNetRecord(rec) ? QVariant(QBrush(Qt::red)) : QVariant();
        case Qt::ToolTipRole:
            return (id == kHoursFromGMT || id == kAbbreviation) && rec.size() >= 4
                       ? QVariant(text(rec, kZone))
                       : QVariant();
        default:
            return {};
    }
}

bool LocationItemModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!index.isValid()) {
        return false;
    }
    const int id = columnId(index.column());
    if (role == Qt::CheckStateRole && LocationTableModel::isCheckBoxColumn(id)) {
        if (checkBoxClicked) {
            checkBoxClicked(index.row(), id);
        } else {
            locations_.toggleFlag(index.row(), id);
        }
        emit dataChanged(index, index);
        return true;
    }
    if (role == Qt::EditRole && locations_.setObjectValue(index.row(), id, value.toString())) {
        // Cross-filling and the dropped net marker touch the whole row.
        emit dataChanged(this->index(index.row(), 0), this->index(index.row(), columnCount() - 1));
        return true;
    }
    return false;
}

Qt::ItemFlags LocationItemModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) {
        return Qt::ItemIsDropEnabled;
    }
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled;
    const int id = columnId(index.column());
    if (LocationTableModel::isCheckBoxColumn(id)) {
        f |= Qt::ItemIsUserCheckable;
    } else if (LocationTableModel::isEditableColumn(id)) {
        f |= Qt::ItemIsEditable;
    }
    return f;
}

QVariant LocationItemModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) {
        return QAbstractTableModel::headerData(section, orientation, role);
    }
    const int id = columnId(section);
    return id == kHoursFromGMT ? offsetTitle_ : columnTitle(id);
}

QStringList LocationItemModel::mimeTypes() const {
    return {keys::RowIndexDragType};
}

QMimeData* LocationItemModel::mimeData(const QModelIndexList& indexes) const {
    QList<int> rows;
    for (const QModelIndex& index : indexes) {
        if (!rows.contains(index.row())) {
            rows.append(index.row());
        }
    }
    if (rows.size() != 1) {
        return nullptr;
    }
    const qint32 row = rows.front();
    QByteArray bytes(sizeof row, '\0');
    std::memcpy(bytes.data(), &row, sizeof row);
    auto* data = new QMimeData;
    data->setData(keys::RowIndexDragType, bytes);
    return data;
}

std::optional<int> LocationItemModel::draggedRow(const QMimeData* data) const {
    if (data == nullptr || !data->hasFormat(keys::RowIndexDragType)) {
        return std::nullopt;
    }
    const QByteArray bytes = data->data(keys::RowIndexDragType);
    qint32 row = 0;
    if (bytes.size() != sizeof row) {
        return std::nullopt;
    }
    std::memcpy(&row, bytes.constData(), sizeof row);
    return row;
}

bool LocationItemModel::canDropMimeData(const QMimeData* data, Qt::DropAction action, int row,
                                        int /*column*/, const QModelIndex& parent) const {
    // Only a drop between rows moves one; a drop onto a row does nothing.
    const std::optional<int> source = draggedRow(data);
    return action == Qt::MoveAction && !parent.isValid() && row >= 0 && source &&
           locations_.validateDrop(*source, row);
}

bool LocationItemModel::dropMimeData(const QMimeData* data, Qt::DropAction action, int row,
                                     int column, const QModelIndex& parent) {
    if (!canDropMimeData(data, action, row, column, parent)) {
        return false;
    }
    const int source = *draggedRow(data);
    if (rowMoved) {
        rowMoved(source, row);
    } else {
        locations_.moveRow(source, row);
        reload();
    }
    return true;
}

}  // namespace talvor
