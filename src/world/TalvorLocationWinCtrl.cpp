#include "TalvorLocationWinCtrl.h"

#include "LocationItemModel.h"
#include "LocationTransfer.h"
#include "TalvorMenuBarFlags.h"
#include "TalvorMyAddressPanel.h"
#include "WorldKeys.h"
#include "foundation/LocationRecord.h"
#include "foundation/PreferenceDomain.h"
#include "foundation/TalvorFilePaths.h"
#include "foundation/TalvorTimeSettings.h"
#include "platform/BoundedFile.h"
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
#include <QCoreApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include <algorithm>
#include <mutex>

namespace talvor {
namespace {

TalvorLocationWinCtrl* replacement = nullptr;

QVariantList loadDialCodes() {
    const platform::BoundedRead read = platform::readRegularFile(
        platform::Paths::systemDataDir() + QStringLiteral("/CountryCode.plist"),
        platform::kSmallFileCap);
    if (!read.bytes) {
        return {};
    }
    const std::optional<QVariant> codes = platform::PropertyList::parse(*read.bytes);
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
        ports.chooseExportPath = [](QWidget* parent, const QString& title,
                                    std::function<void(const QString&)> chosen) {
            // The home folder, not whatever folder the program was started in.
            auto* chooser = new QFileDialog(parent, title, QDir::homePath(),
                                            QStringLiteral("Property list (*.plist)"));
            chooser->setAcceptMode(QFileDialog::AcceptSave);
            chooser->selectFile(QStringLiteral("Talvor locations.plist"));
            openChooser(chooser, std::move(chosen));
        };
    }
    if (!ports.chooseImportPath) {
        ports.chooseImportPath = [](QWidget* parent, std::function<void(const QString&)> chosen) {
            auto* chooser =
                new QFileDialog(parent, QStringLiteral("Import Talvor locations"), QDir::homePath(),
                                QStringLiteral("Property list (*.plist)"));
            chooser->setFileMode(QFileDialog::ExistingFile);
            openChooser(chooser, std::move(chosen));
        };
    }
    if (!ports.readImport) {
        ports.readImport = [](const QString& path, const LocationTransfer::Limits& limits,
                              QString* problem) {
            return LocationTransfer::read(path, limits, problem);
        };
    }
    if (!ports.notice) {
        ports.notice = [](QWidget* parent, TalvorLocationWinCtrl::Ports::Notice kind,
                          const QString& title, const QString& text) {
            using Notice = TalvorLocationWinCtrl::Ports::Notice;
            const QMessageBox::Icon icon = kind == Notice::critical  ? QMessageBox::Critical
                                           : kind == Notice::warning ? QMessageBox::Warning
                                                                     : QMessageBox::Information;
            auto* box = new QMessageBox(icon, title, text, QMessageBox::NoButton, parent);
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
    // The process's own controller is never destroyed: its import must end with the loop.
    if (QCoreApplication::instance() != nullptr) {
        connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, this,
                [this] { abandonImportAtQuit(); });
    }
}

TalvorLocationWinCtrl::TalvorLocationWinCtrl() : TalvorLocationWinCtrl(Ports()) {}

TalvorLocationWinCtrl::~TalvorLocationWinCtrl() {
    stopImport();
}

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
    importButton_ = new QPushButton(tr("Import…"), window_.get());
    importStatus_ = new QLabel(window_.get());
    importStatus_->hide();
    auto* exportButton = new QPushButton(tr("Export…"), window_.get());
    auto* done = new QPushButton(tr("Done"), window_.get());
    done->setDefault(true);
    connect(add, &QPushButton::clicked, this, [this] { AddLocation(); });
    connect(remove, &QPushButton::clicked, this, [this] { DelLocation(); });
    connect(importButton_, &QPushButton::clicked, this, [this] { importLocations(); });
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
    bottom->addWidget(importButton_);
    bottom->addWidget(exportButton);
    bottom->addWidget(importStatus_);
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
        AddressSheet->knownCities = [this] {
            QStringList cities;
            for (const QVariant& record : locationList()) {
                cities << LocationRecord::text(LocationRecord::fields(record),
                                               LocationRecord::kCity);
            }
            return cities;
        };
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
    const QString path = TalvorFilePaths::defaultLocationsPath();
    const platform::BoundedRead read = platform::readRegularFile(path, platform::kLocationTableCap);
    const std::optional<QVariant> defaults =
        read.bytes ? platform::PropertyList::parse(*read.bytes) : std::nullopt;
    // An unreadable bundled table must not wipe the user's list.
    if (!defaults || defaults->typeId() != QMetaType::QVariantList) {
        platform::log(QStringLiteral("ReloadDefaultsLocations: cannot read %1").arg(path));
        return;
    }
    platform::log(QStringLiteral("ReloadDefaultsLocations %1").arg(path));
    model_.replaceAll(defaults->toList());
    itemModel_->reload();
    applySearchFilter();
}

QString TalvorLocationWinCtrl::exportTitle(qsizetype count, bool selectedOnly) {
    if (selectedOnly) {
        return count == 1 ? tr("Export 1 Selected Location")
                          : tr("Export %1 Selected Locations").arg(count);
    }
    return count == 1 ? tr("Export the Only Location") : tr("Export All %1 Locations").arg(count);
}

QString TalvorLocationWinCtrl::importSummary(const LocationTableModel::ImportCount& count,
                                             int damaged) {
    QStringList parts;
    parts << (count.added == 0   ? tr("No locations added.")
              : count.added == 1 ? tr("Added 1 location.")
                                 : tr("Added %1 locations.").arg(count.added));
    if (count.duplicates > 0) {
        parts << (count.duplicates == 1 ? tr("1 was already in the list.")
                                        : tr("%1 were already in the list.").arg(count.duplicates));
    }
    if (damaged > 0) {
        parts << (damaged == 1 ? tr("1 damaged entry was skipped.")
                               : tr("%1 damaged entries were skipped.").arg(damaged));
    }
    return parts.join(QLatin1Char(' '));
}

void TalvorLocationWinCtrl::exportLocations() {
    // The selected rows, or every row when none is selected; the chooser says which.
    const QList<int> selected = selectedRows();
    ::talvor::LocationTable records;
    if (selected.isEmpty()) {
        records = model_.locationList();
    } else {
        for (int row : selected) {
            records.append(QVariant(model_.record(row)));
        }
    }
    if (records.isEmpty()) {
        platform::beep();
        platform::log(QStringLiteral("no locations to export"));
        return;
    }
    const QString title = exportTitle(records.size(), !selected.isEmpty());
    ports_.chooseExportPath(
        window_.get(), title,
        [self = QPointer<TalvorLocationWinCtrl>(this), records](const QString& path) {
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

struct TalvorLocationWinCtrl::ImportJob {
    QString path;
    LocationTransfer::Limits limits;
    decltype(Ports::readImport) read;
    ::talvor::LocationTable snapshot;  // the rows when it started
    std::atomic<bool> cancelled{false};
    // Held while the thread posts its end, so that once cancelled it never reaches the
    // controller again.
    std::mutex handOff;
    // Set on the import's thread, read once it has posted its end.
    std::optional<LocationTransfer::Imported> imported;
    QString problem;
    LocationTableModel::ImportPlan plan;
};

void TalvorLocationWinCtrl::importLocationsFrom(const QString& path) {
    const QFileInfo info(path);
    if (!info.exists() || info.isDir()) {
        platform::debugLog(QStringLiteral(" No locations - Path = %1").arg(path));
        return;
    }
    if (import_ != nullptr) {
        // One at a time (its button is off meanwhile): a second file is not taken up later.
        platform::log(
            QStringLiteral("Importing Locations: %1 is not imported while %2 is being imported")
                .arg(path, import_->path));
        return;
    }
    auto job = std::make_shared<ImportJob>();
    job->path = path;
    job->limits = ports_.importLimits;
    job->read = ports_.readImport;
    job->snapshot = model_.locationList();
    import_ = job;
    importButton_->setEnabled(false);
    importStatus_->setText(tr("Importing %1…").arg(info.fileName()));
    importStatus_->show();
    // Reading, parsing and comparing a large file takes seconds: never on the event loop.
    importThread_ = std::thread([this, job] {
        job->imported = job->read(job->path, job->limits, &job->problem);
        if (job->imported && !job->cancelled) {
            job->plan = LocationTableModel::planImport(job->snapshot, job->imported->records,
                                                       &job->cancelled);
        }
        // Not cancelled: the controller is still here (it cancels before it goes).
        const std::lock_guard lock(job->handOff);
        if (!job->cancelled) {
            QMetaObject::invokeMethod(
                this, [this, job] { finishImport(job); }, Qt::QueuedConnection);
        }
    });
}

void TalvorLocationWinCtrl::abandonImport() {
    if (import_ != nullptr) {
        {
            const std::lock_guard lock(import_->handOff);
            import_->cancelled = true;
        }
        platform::log(QStringLiteral("Importing Locations: %1 abandoned").arg(import_->path));
    }
    import_.reset();
    if (importButton_ != nullptr) {
        importButton_->setEnabled(true);
        importStatus_->hide();
    }
}

void TalvorLocationWinCtrl::stopImport() {
    abandonImport();
    if (importThread_.joinable()) {
        importThread_.join();
    }
}

void TalvorLocationWinCtrl::abandonImportAtQuit() {
    abandonImport();
    if (importThread_.joinable()) {
        importThread_.detach();
    }
}

void TalvorLocationWinCtrl::finishImport(const std::shared_ptr<ImportJob>& job) {
    if (job != import_) {
        return;  // abandoned
    }
    importThread_.join();
    import_.reset();
    importButton_->setEnabled(true);
    importStatus_->hide();
    if (!job->imported) {
        QString text = QStringLiteral("No items loaded for file %1").arg(job->path);
        if (!job->problem.isEmpty()) {
            text += QLatin1Char('\n') + job->problem;
        }
        ports_.notice(window_.get(), Ports::Notice::critical,
                      QStringLiteral("Talvor: Importing failed"), text);
        return;
    }
    // Rows changed while it ran (an addition, a deletion): compare again with them.
    const LocationTableModel::ImportPlan plan =
        job->snapshot.isSharedWith(model_.locationList())
            ? std::move(job->plan)
            : LocationTableModel::planImport(model_.locationList(), job->imported->records);
    const LocationTableModel::ImportCount count = model_.applyImport(plan);
    const QString text = importSummary(count, job->imported->rejected);
    platform::log(text);
    itemModel_->reload();
    applySearchFilter();
    ports_.notice(window_.get(),
                  job->imported->rejected > 0 ? Ports::Notice::warning : Ports::Notice::information,
                  QStringLiteral("Talvor: Locations Imported"), text);
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
