#include "TalvorLocationWinCtrl.h"

#include "LocationItemModel.h"
#include "LocationTransfer.h"
#include "TalvorMenuBarFlags.h"
#include "TalvorMyAddressPanel.h"
#include "WorldKeys.h"
#include "foundation/PreferenceDomain.h"
#include "foundation/TalvorFilePaths.h"
#include "foundation/TalvorTimeSettings.h"
#include "platform/Clock.h"
#include "platform/DistributedNotificationCenter.h"
#include "platform/Log.h"
#include "platform/OpenDialogs.h"
#include "platform/Paths.h"
#include "platform/PropertyList.h"
#include "platform/UserDefaults.h"
#include "platform/WindowPlacement.h"
#include "widgets/DeletableTableView.h"

#include <QButtonGroup>
#include <QDialog>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include <algorithm>

namespace talvor {
namespace {

TalvorLocationWinCtrl* replacement = nullptr;

QVariantList loadDialCodes() {
    QFile file(platform::Paths::systemDataDir() + QStringLiteral("/CountryCode.plist"));
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    const std::optional<QVariant> codes = platform::PropertyList::parse(file.readAll());
    return codes ? codes->toList() : QVariantList();
}

void openChooser(QFileDialog* chooser, std::function<void(const QString&)> chosen) {
    platform::openDialog(chooser, [chooser, chosen = std::move(chosen)](int result) {
        chosen(result == QDialog::Accepted ? chooser->selectedFiles().value(0) : QString());
    });
}

TalvorLocationWinCtrl::Ports withDefaults(TalvorLocationWinCtrl::Ports ports) {
    if (!ports.load) {
        ports.load = [] { return TalvorFilePaths::TalvorLoadLocationFile(); };
    }
    if (!ports.save) {
        ports.save = [](const LocationTable& t) {
            return TalvorFilePaths::TalvorSaveLocationTable(t);
        };
    }
    if (!ports.post) {
        ports.post = [](const QString& name) {
            platform::DistributedNotificationCenter::defaultCenter().post(name);
        };
    }
    if (!ports.chooseExportPath) {
        ports.chooseExportPath = [](QWidget* parent, std::function<void(const QString&)> chosen) {
            auto* chooser = new QFileDialog(parent, QString(), QString(),
                                            QStringLiteral("Property list (*.plist)"));
            chooser->setAcceptMode(QFileDialog::AcceptSave);
            chooser->selectFile(QStringLiteral("Talvor locations.plist"));
            openChooser(chooser, std::move(chosen));
        };
    }
    if (!ports.chooseImportPath) {
        ports.chooseImportPath = [](QWidget* parent, std::function<void(const QString&)> chosen) {
            auto* chooser = new QFileDialog(parent, QStringLiteral("Import Talvor locations"),
                                            QString(), QStringLiteral("Property list (*.plist)"));
            chooser->setFileMode(QFileDialog::ExistingFile);
            openChooser(chooser, std::move(chosen));
        };
    }
    if (!ports.criticalAlert) {
        ports.criticalAlert = [](QWidget* parent, const QString& title, const QString& text) {
            auto* box =
                new QMessageBox(QMessageBox::Critical, title, text, QMessageBox::NoButton, parent);
            box->addButton(QStringLiteral("Continue"), QMessageBox::AcceptRole);
            platform::openDialog(box);
        };
    }
    if (ports.dialCodes.isEmpty()) {
        ports.dialCodes = loadDialCodes();
    }
    if (ports.clock == nullptr) {
        ports.clock = &platform::Clock::shared();
    }
    return ports;
}

LocationTable loadList(const TalvorLocationWinCtrl::Ports& ports) {
    std::optional<LocationTable> list = ports.load();
    if (!list) {
        platform::log(QStringLiteral("Locations: no location table could be read"));
        return {};
    }
    return *list;
}

}  // namespace

TalvorLocationWinCtrl::TalvorLocationWinCtrl(Ports ports, QObject* parent)
    : QObject(parent),
      ports_(withDefaults(std::move(ports))),
      model_(loadList(ports_), ports_.dialCodes, {ports_.save, ports_.post}) {
    buildWindow();
}

TalvorLocationWinCtrl::TalvorLocationWinCtrl() : TalvorLocationWinCtrl(Ports()) {}

TalvorLocationWinCtrl::~TalvorLocationWinCtrl() = default;

TalvorLocationWinCtrl& TalvorLocationWinCtrl::sharedInstance() {
    if (replacement != nullptr) {
        return *replacement;
    }
    static TalvorLocationWinCtrl* shared = new TalvorLocationWinCtrl;
    return *shared;
}

void TalvorLocationWinCtrl::setSharedInstance(TalvorLocationWinCtrl* ctrl) {
    replacement = ctrl;
}

QWidget* TalvorLocationWinCtrl::window() const {
    return window_.get();
}

void TalvorLocationWinCtrl::buildWindow() {
    window_ = std::make_unique<QDialog>();
    window_->setWindowTitle(tr("Locations"));
    window_->setObjectName(QStringLiteral("PrefsLocations"));

    table_ = new DeletableTableView(window_.get());
    table_->setObjectName(keys::LocationsAutosaveName);
    itemModel_ = new LocationItemModel(
        model_, [this] { return now(); }, this);
    itemModel_->checkBoxClicked = [this](int row, int columnId) {
        if (columnId == LocationRecord::kInTimeMenu) {
            handleLocCheckboxClicked(row);
        } else {
            handleFloatingCheckboxClicked(row);
        }
    };
    itemModel_->rowMoved = [this](int source, int target) { moveRow(source, target); };
    table_->setModel(itemModel_);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    table_->setDragEnabled(true);
    table_->setAcceptDrops(true);
    table_->setDropIndicatorShown(true);
    table_->setDragDropOverwriteMode(false);
    table_->setDragDropMode(QAbstractItemView::DragDrop);
    table_->setDefaultDropAction(Qt::MoveAction);
    table_->verticalHeader()->hide();
    table_->horizontalHeader()->setSectionsClickable(true);
    table_->horizontalHeader()->setStretchLastSection(true);
    table_->deleteSelectedRowsInTableView = [this](DeletableTableView* t) {
        deleteSelectedRowsInTableView(t);
    };
    connect(table_->horizontalHeader(), &QHeaderView::sectionClicked, this,
            [this](int section) { didClickTableColumn(LocationItemModel::columnId(section)); });
    // Double-clicking an offset flips the mode; text cells open their editor instead.
    connect(table_, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex& index) {
        if (!LocationTableModel::isEditableColumn(LocationItemModel::columnId(index.column())) &&
            !LocationTableModel::isCheckBoxColumn(LocationItemModel::columnId(index.column()))) {
            GMTvsLTDToggle(true);
        }
    });

    searchField_ = new QLineEdit(window_.get());
    searchField_->setPlaceholderText(tr("Search"));
    searchField_->setClearButtonEnabled(true);
    connect(searchField_, &QLineEdit::textChanged, this, [this](const QString& text) {
        setSearchString(text);
        applySearchFilter();
    });

    gmtButton_ = new QRadioButton(tr("GMT offset"), window_.get());
    localButton_ = new QRadioButton(tr("Local difference"), window_.get());
    auto* choice = new QButtonGroup(window_.get());
    choice->addButton(gmtButton_);
    choice->addButton(localButton_);
    connect(gmtButton_, &QRadioButton::clicked, this, [this] {
        if ((TalvorMenuBarFlags & kMenuBarGMTOffsets) == 0) {
            GMTvsLTDToggle(true);
        }
    });
    connect(localButton_, &QRadioButton::clicked, this, [this] {
        if ((TalvorMenuBarFlags & kMenuBarGMTOffsets) != 0) {
            GMTvsLTDToggle(true);
        }
    });

    auto* add = new QPushButton(QStringLiteral("+"), window_.get());
    auto* remove = new QPushButton(QStringLiteral("−"), window_.get());
    auto* importButton = new QPushButton(tr("Import…"), window_.get());
    auto* exportButton = new QPushButton(tr("Export…"), window_.get());
    auto* done = new QPushButton(tr("Done"), window_.get());
    done->setDefault(true);
    connect(add, &QPushButton::clicked, this, [this] { AddLocation(); });
    connect(remove, &QPushButton::clicked, this, [this] { DelLocation(); });
    connect(importButton, &QPushButton::clicked, this, [this] { importLocations(); });
    connect(exportButton, &QPushButton::clicked, this, [this] { exportLocations(); });
    connect(done, &QPushButton::clicked, this, [this] { doneTZLocationSheet(); });

    auto* top = new QHBoxLayout;
    top->addWidget(gmtButton_);
    top->addWidget(localButton_);
    top->addStretch();
    top->addWidget(searchField_);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(add);
    bottom->addWidget(remove);
    bottom->addSpacing(12);
    bottom->addWidget(importButton);
    bottom->addWidget(exportButton);
    bottom->addStretch();
    bottom->addWidget(done);
    auto* layout = new QVBoxLayout(window_.get());
    layout->addLayout(top);
    layout->addWidget(table_);
    layout->addLayout(bottom);
    window_->resize(760, 420);

    GMTvsLTDToggle(false);
}

LocationTableModel::Now TalvorLocationWinCtrl::now() const {
    return {ports_.clock->now().toQDateTime(), ports_.clock->currentZone(),
            (TalvorMenuBarFlags & kMenuBarGMTOffsets) != 0};
}

void TalvorLocationWinCtrl::showWindow() {
    if (window_->parentWidget() != nullptr) {
        window_->setParent(nullptr, Qt::Dialog);
    }
    window_->setWindowModality(Qt::NonModal);
    if (!window_->isVisible()) {
        platform::placeInFreeArea(*window_);
    }
    window_->show();
    window_->raise();
    window_->activateWindow();
}

void TalvorLocationWinCtrl::showTZLocationSheet(QWidget* owner) {
    QWidget* host = owner != nullptr ? owner->window() : nullptr;
    if (window_->parentWidget() != host) {
        window_->setParent(host, Qt::Sheet | Qt::Dialog);
    }
    window_->setWindowModality(host != nullptr ? Qt::WindowModal : Qt::NonModal);
    if (!window_->isVisible()) {
        platform::placeInFreeArea(*window_, host);
    }
    window_->show();
    window_->raise();
}

void TalvorLocationWinCtrl::doneTZLocationSheet() {
    window_->hide();
    if (TalvorTimeSettings::sharedInstance().showLoctionNames && updateMenu) {
        updateMenu();
    }
}

void TalvorLocationWinCtrl::GMTvsLTDToggle(bool flip) {
    if (flip) {
        TalvorMenuBarFlags ^= kMenuBarGMTOffsets;
        // Start-up reads the word back; the quit does not write it.
        PreferenceDomain::writeInteger(keys::MenuBarOptBits,
                                       static_cast<qint32>(TalvorMenuBarFlags));
    }
    const bool gmt = (TalvorMenuBarFlags & kMenuBarGMTOffsets) != 0;
    gmtButton_->setChecked(gmt);
    localButton_->setChecked(!gmt);
    itemModel_->setOffsetTitle(gmt ? tr("GMT") : tr("LTD"));
    itemModel_->reload();
    applySearchFilter();
    platform::debugLog(QStringLiteral("GMTvsLTDToggle exit"));
}

void TalvorLocationWinCtrl::AddLocation() {
    auto added = [this](const QVariantList& record) {
        model_.appendRecord(record);
        GetLocList();
    };
    auto finished = [this] {
        window_->raise();
        window_->activateWindow();
        applySearchFilter();
    };
    if (ports_.beginAddressSheet) {
        ports_.beginAddressSheet(window_.get(), added, finished);
        return;
    }
    if (!AddressSheet) {
        AddressSheet = std::make_unique<TalvorMyAddressPanel>();
    }
    AddressSheet->beginSheet(window_.get(), added, finished);
}

void TalvorLocationWinCtrl::DelLocation() {
    deleteSelectedRowsInTableView(table_);
}

void TalvorLocationWinCtrl::deleteSelectedRowsInTableView(DeletableTableView* /*table*/) {
    const std::optional<int> next = model_.deleteRows(selectedRows());
    itemModel_->reload();
    applySearchFilter();
    if (next) {
        selectRows({*next});
    }
}

void TalvorLocationWinCtrl::setSearchString(const QString& text) {
    searchString_ = text;
}

void TalvorLocationWinCtrl::applySearchFilter() {
    // The search only hides rows: the list, its order and what is saved stay whole.
    for (int row = 0; row < model_.rowCount(); ++row) {
        bool match = searchString_.isEmpty();
        const QVariantList rec = model_.record(row);
        for (int field = LocationRecord::kNote; !match && field <= LocationRecord::kCountry;
             ++field) {
            match = LocationRecord::text(rec, field).contains(searchString_, Qt::CaseInsensitive);
        }
        table_->setRowHidden(row, !match);
    }
}

const ::talvor::LocationTable& TalvorLocationWinCtrl::GetLocList() {
    itemModel_->reload();
    applySearchFilter();
    if (model_.rowCount() > 0) {
        selectRows({model_.rowCount() - 1});
    }
    return model_.locationList();
}

void TalvorLocationWinCtrl::handleLocCheckboxClicked(int row) {
    model_.toggleFlag(row, LocationRecord::kInTimeMenu);
}

void TalvorLocationWinCtrl::handleFloatingCheckboxClicked(int row) {
    model_.toggleFlag(row, LocationRecord::kFloating);
}

void TalvorLocationWinCtrl::handleLocCheckboxAllOff() {
    model_.allOff(LocationRecord::kInTimeMenu);
    itemModel_->reload();
}

void TalvorLocationWinCtrl::handleFloatCheckboxAllOff() {
    model_.allOff(LocationRecord::kFloating);
    itemModel_->reload();
}

void TalvorLocationWinCtrl::ReloadDefaultsLocations() {
    QFile file(TalvorFilePaths::defaultLocationsPath());
    const std::optional<QVariant> defaults = file.open(QIODevice::ReadOnly)
                                                 ? platform::PropertyList::parse(file.readAll())
                                                 : std::nullopt;
    // An unreadable bundled table must not wipe the user's list.
    if (!defaults || defaults->typeId() != QMetaType::QVariantList) {
        platform::log(
            QStringLiteral("ReloadDefaultsLocations: cannot read %1").arg(file.fileName()));
        return;
    }
    platform::log(QStringLiteral("ReloadDefaultsLocations %1").arg(file.fileName()));
    model_.replaceAll(defaults->toList());
    itemModel_->reload();
    applySearchFilter();
}

void TalvorLocationWinCtrl::exportLocations() {
    ::talvor::LocationTable records;
    for (int row : selectedRows()) {
        records.append(QVariant(model_.record(row)));
    }
    if (records.isEmpty()) {
        platform::beep();
        platform::log(QStringLiteral("no locations selected"));
        return;
    }
    ports_.chooseExportPath(window_.get(), [self = QPointer<TalvorLocationWinCtrl>(this),
                                            records](const QString& path) {
        if (self != nullptr && !path.isEmpty()) {
            self->exportLocationsTo(path, records);
        }
    });
}

void TalvorLocationWinCtrl::exportLocationsTo(QString path,
                                              const ::talvor::LocationTable& records) {
    if (QFileInfo(path).suffix().isEmpty()) {
        path += QStringLiteral(".plist");
    }
    if (LocationTransfer::write(path, records)) {
        platform::log(QStringLiteral("%1 locations saved in %2.").arg(records.size()).arg(path));
    } else {
        platform::log(
            QStringLiteral("Unable to write: %1 (%2 locaitons)").arg(path).arg(records.size()));
        platform::beep();
    }
}

void TalvorLocationWinCtrl::importLocations() {
    ports_.chooseImportPath(window_.get(),
                            [self = QPointer<TalvorLocationWinCtrl>(this)](const QString& path) {
                                if (self != nullptr && !path.isEmpty()) {
                                    self->importLocationsFrom(path);
                                }
                            });
}

void TalvorLocationWinCtrl::importLocationsFrom(const QString& path) {
    const QFileInfo info(path);
    if (!info.exists() || info.isDir()) {
        platform::debugLog(QStringLiteral(" No locations - Path = %1").arg(path));
        return;
    }
    const std::optional<LocationTransfer::Imported> imported = LocationTransfer::read(path);
    if (!imported) {
        ports_.criticalAlert(window_.get(), QStringLiteral("Talvor: Importing failed"),
                             QStringLiteral("No items loaded for file %1").arg(path));
        return;
    }
    const LocationTableModel::ImportCount count = model_.importRecords(imported->records);
    QString text =
        QStringLiteral("Added %1, found %2 duplicates").arg(count.added).arg(count.duplicates);
    if (imported->rejected > 0) {
        text += QStringLiteral("\nSkipped %1 damaged entries").arg(imported->rejected);
    }
    platform::log(text);
    itemModel_->reload();
    applySearchFilter();
    ports_.criticalAlert(window_.get(), QStringLiteral("Talvor: Locations Imported"), text);
}

void TalvorLocationWinCtrl::didClickTableColumn(int columnId) {
    platform::UserDefaults::standard().setObject(QString::number(columnId), keys::SortOrder);
    table_->setFocus();
    sortByColumn(columnId);
}

void TalvorLocationWinCtrl::sortByColumn(int columnId) {
    if (mSortingColumn == columnId) {
        mSortDescending = !mSortDescending;
    } else {
        mSortingColumn = columnId;
        mSortDescending = false;
    }
    QHeaderView* header = table_->horizontalHeader();
    header->setSortIndicatorShown(true);
    header->setSortIndicator(LocationItemModel::section(columnId),
                             mSortDescending ? Qt::DescendingOrder : Qt::AscendingOrder);
    sortData();
}

void TalvorLocationWinCtrl::sortData() {
    const QList<int> selected = selectedRows();
    const std::vector<int> order = model_.sortData(mSortingColumn, mSortDescending);
    itemModel_->reload();
    applySearchFilter();
    QList<int> reselect;
    for (int row = 0; row < int(order.size()); ++row) {
        if (selected.contains(order[row])) {
            reselect.append(row);
        }
    }
    selectRows(reselect);
}

void TalvorLocationWinCtrl::moveRow(int source, int target) {
    model_.moveRow(source, target);
    // A hand-made order is no longer the sorted one.
    platform::UserDefaults::standard().removeObjectForKey(keys::SortOrder);
    itemModel_->reload();
    applySearchFilter();
}

QList<int> TalvorLocationWinCtrl::selectedRows() const {
    QList<int> rows;
    for (const QModelIndex& index : table_->selectionModel()->selectedRows()) {
        rows.append(index.row());
    }
    std::sort(rows.begin(), rows.end());
    return rows;
}

void TalvorLocationWinCtrl::selectRows(const QList<int>& rows) {
    QItemSelectionModel* selection = table_->selectionModel();
    selection->clearSelection();
    for (int row : rows) {
        selection->select(itemModel_->index(row, 0),
                          QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    if (!rows.isEmpty()) {
        table_->scrollTo(itemModel_->index(rows.back(), 0));
    }
}

}  // namespace talvor
