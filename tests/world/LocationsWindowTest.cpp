#include "foundation/LocationRecord.h"
#include "foundation/TalvorFilePaths.h"
#include "platform/Log.h"
#include "platform/OpenDialogs.h"
#include "platform/PropertyList.h"
#include "platform/UserDefaults.h"
#include "support/FakeClock.h"
#include "support/TestEnvironment.h"
#include "support/ThreadStates.h"
#include "widgets/DeletableTableView.h"
#include "world/LocationItemModel.h"
#include "world/TalvorLocationWinCtrl.h"
#include "world/TalvorMenuBarFlags.h"
#include "world/WorldKeys.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QTest>
#include <QTimer>

#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <future>

#include <gtest/gtest.h>

#include <memory>

namespace talvor {
namespace {

using LocationRecord::kCity;

const QString kLoc = keys::TalvorLocationChangeNotification;
const QString kFloat = keys::TalvorFloatingClockPrefsChangeNotification;

QVariantList place(const QString& city, const QString& country, const QString& zone) {
    return {QString(), city,      QString(), country,   zone,  0.0,
            QString(), QString(), QString(), QString(), false, false};
}

LocationTable startTable() {
    LocationTable t;
    for (const QVariantList& r :
         {place("Paris", "France", "Europe/Paris"), place("Tokyo", "Japan", "Asia/Tokyo"),
          place("Lima", "Peru", "America/Lima"), place("Oslo", "Norway", "Europe/Oslo")}) {
        t.append(QVariant(r));
    }
    return t;
}

QStringList cities(const LocationTable& t) {
    QStringList out;
    for (const QVariant& r : t) {
        out.append(LocationRecord::text(r.toList(), kCity));
    }
    return out;
}

using Notice = TalvorLocationWinCtrl::Ports::Notice;

class LocationsWindow : public ::testing::Test {
  protected:
    LocationsWindow() {
        TalvorMenuBarFlags = 0;
        EXPECT_TRUE(TalvorFilePaths::TalvorSaveLocationTable(startTable()));
        TalvorLocationWinCtrl::Ports& ports = ports_;
        ports.post = [this](const QString& name) { posted_.append(name); };
        ports.beginAddressSheet = [this](QWidget*, auto added, auto finished) {
            added_ = std::move(added);
            finished_ = std::move(finished);
        };
        ports.chooseExportPath = [this](QWidget*, const QString& title, auto chosen) {
            exportTitles_.append(title);
            chosen(exportPath_);
        };
        ports.chooseImportPath = [this](QWidget*, auto chosen) { chosen(importPath_); };
        ports.notice = [this](QWidget*, Notice kind, const QString& title, const QString& text) {
            alerts_.append(title + QStringLiteral(" | ") + text);
            noticeKinds_.append(kind);
        };
        ports.clock = &clock_;
        ctrl_ = std::make_unique<TalvorLocationWinCtrl>(ports);
        TalvorLocationWinCtrl::setSharedInstance(ctrl_.get());
    }
    ~LocationsWindow() override {
        TalvorLocationWinCtrl::setSharedInstance(nullptr);
        TalvorMenuBarFlags = 0;
    }

    // The table as it is on disk now.
    static LocationTable onDisk() {
        QFile f(TalvorFilePaths::locationFilePath());
        EXPECT_TRUE(f.open(QIODevice::ReadOnly));
        return platform::PropertyList::parse(f.readAll()).value_or(QVariant()).toList();
    }
    // Imports the chosen file and waits for the import's thread to report.
    void importAndWait() {
        ctrl_->importLocations();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !ctrl_->importRunning(); }, 20000));
    }
    QModelIndex cell(int row, int columnId) const {
        return ctrl_->itemModel().index(row, LocationItemModel::section(columnId));
    }
    void select(std::initializer_list<int> rows) {
        auto* selection = ctrl_->LocationTable()->selectionModel();
        selection->clearSelection();
        for (int row : rows) {
            selection->select(cell(row, 1),
                              QItemSelectionModel::Select | QItemSelectionModel::Rows);
        }
    }
    QList<int> selected() const {
        QList<int> rows;
        for (const QModelIndex& i : ctrl_->LocationTable()->selectionModel()->selectedRows()) {
            rows.append(i.row());
        }
        std::sort(rows.begin(), rows.end());
        return rows;
    }

    test::XdgSandbox sandbox_;
    test::ScopedEnvVar system_{"TALVOR_SYSTEM_DATA_DIR",
                               sandbox_.root() + QStringLiteral("/system")};
    test::LogCapture log_;
    test::FakeClock clock_{
        Date::fromQDateTime(QDateTime(QDate(2024, 1, 15), QTime(12, 0), QTimeZone::utc()))};
    QStringList posted_;
    QStringList alerts_;
    QList<Notice> noticeKinds_;
    QStringList exportTitles_;
    QString exportPath_;
    QString importPath_;
    TalvorLocationWinCtrl::Ports ports_;
    std::function<void(const QVariantList&)> added_;
    std::function<void()> finished_;
    std::unique_ptr<TalvorLocationWinCtrl> ctrl_;
};

using worldLocationsWindow = LocationsWindow;

TEST_F(worldLocationsWindow, CheckBoxClicksWriteBooleansToTheFile) {
    LocationItemModel& model = ctrl_->itemModel();
    ASSERT_TRUE(model.flags(cell(1, 10)) & Qt::ItemIsUserCheckable);
    EXPECT_EQ(model.data(cell(1, 10), Qt::CheckStateRole), QVariant(Qt::Unchecked));

    ASSERT_TRUE(model.setData(cell(1, 10), Qt::Checked, Qt::CheckStateRole));
    ASSERT_TRUE(model.setData(cell(2, 11), Qt::Checked, Qt::CheckStateRole));
    const LocationTable saved = onDisk();
    EXPECT_EQ(saved.at(1).toList().at(10), QVariant(true));
    EXPECT_EQ(saved.at(2).toList().at(11), QVariant(true));
    EXPECT_EQ(saved.at(0).toList().at(10), QVariant(false));
    EXPECT_EQ(posted_, (QStringList{kLoc, kFloat, kLoc}));
    EXPECT_EQ(model.data(cell(1, 10), Qt::CheckStateRole), QVariant(Qt::Checked));

    // The file reads back as the time menu sees it: a boolean, not the text "1".
    EXPECT_TRUE(
        LocationRecord::flag(TalvorFilePaths::TalvorLoadLocationFile()->at(1).toList(), 10));

    ASSERT_TRUE(model.setData(cell(1, 1), QStringLiteral("Edo"), Qt::EditRole));
    EXPECT_EQ(cities(onDisk()), (QStringList{"Paris", "Edo", "Lima", "Oslo"}));
    EXPECT_FALSE(model.flags(cell(1, 5)) & Qt::ItemIsEditable);
}

TEST_F(worldLocationsWindow, DeleteSelectsTheNextRowAndSaves) {
    select({1, 2});
    ctrl_->DelLocation();
    EXPECT_EQ(cities(onDisk()), (QStringList{"Paris", "Oslo"}));
    EXPECT_EQ(selected(), QList<int>{1});
    EXPECT_EQ(posted_, (QStringList{kFloat, kLoc}));

    posted_.clear();
    ctrl_->LocationTable()->selectionModel()->clearSelection();
    ctrl_->DelLocation();
    EXPECT_TRUE(posted_.isEmpty()) << "nothing selected, nothing deleted";
}

TEST_F(worldLocationsWindow, DraggedRowMovesAndForgetsTheSortOrder) {
    ctrl_->didClickTableColumn(1);
    EXPECT_EQ(platform::UserDefaults::standard().stringForKey(keys::SortOrder),
              QStringLiteral("1"));
    EXPECT_EQ(cities(onDisk()), (QStringList{"Lima", "Oslo", "Paris", "Tokyo"}));

    LocationItemModel& model = ctrl_->itemModel();
    std::unique_ptr<QMimeData> drag(model.mimeData({cell(0, 1), cell(0, 2)}));
    ASSERT_TRUE(drag);
    EXPECT_EQ(drag->data(keys::RowIndexDragType).size(), 4);
    EXPECT_EQ(model.mimeData({cell(0, 1), cell(1, 1)}), nullptr) << "one row at a time";

    EXPECT_FALSE(model.canDropMimeData(drag.get(), Qt::MoveAction, 1, 0, {}));
    EXPECT_FALSE(model.canDropMimeData(drag.get(), Qt::MoveAction, -1, -1, cell(2, 1)))
        << "onto a row";
    ASSERT_TRUE(model.dropMimeData(drag.get(), Qt::MoveAction, 2, 0, {}));
    EXPECT_EQ(cities(onDisk()), (QStringList{"Oslo", "Lima", "Paris", "Tokyo"}));
    EXPECT_FALSE(platform::UserDefaults::standard().objectForKey(keys::SortOrder).isValid());
}

TEST_F(worldLocationsWindow, HeaderClicksSortKeepingTheSelection) {
    select({0});  // Paris
    QHeaderView* header = ctrl_->LocationTable()->horizontalHeader();
    emit header->sectionClicked(LocationItemModel::section(3));
    EXPECT_EQ(cities(ctrl_->locationList()), (QStringList{"Paris", "Tokyo", "Oslo", "Lima"}));
    EXPECT_EQ(selected(), QList<int>{0});
    EXPECT_EQ(header->sortIndicatorOrder(), Qt::AscendingOrder);

    emit header->sectionClicked(LocationItemModel::section(3));
    EXPECT_TRUE(ctrl_->sortDescending());
    EXPECT_EQ(cities(onDisk()), (QStringList{"Lima", "Oslo", "Tokyo", "Paris"}));
    EXPECT_EQ(selected(), QList<int>{3});
    EXPECT_EQ(header->sortIndicatorOrder(), Qt::DescendingOrder);

    ctrl_->sortByColumn(-1);  // the flag column sorts by country, ascending again
    EXPECT_EQ(cities(onDisk()), (QStringList{"Paris", "Tokyo", "Oslo", "Lima"}));
    EXPECT_EQ(posted_, (QStringList{kLoc, kLoc, kLoc}));
}

TEST_F(worldLocationsWindow, SearchHidesRowsWithoutTouchingTheList) {
    ctrl_->sortByColumn(1);
    ctrl_->searchField()->setText(QStringLiteral("o"));
    DeletableTableView* table = ctrl_->LocationTable();
    // Lima, Oslo, Paris, Tokyo.
    EXPECT_TRUE(table->isRowHidden(0));
    EXPECT_FALSE(table->isRowHidden(1));
    EXPECT_TRUE(table->isRowHidden(2));
    EXPECT_FALSE(table->isRowHidden(3));
    ctrl_->searchField()->setText(QStringLiteral("PER"));
    EXPECT_FALSE(table->isRowHidden(0)) << "country, ignoring case";

    ctrl_->searchField()->clear();
    for (int row = 0; row < 4; ++row) {
        EXPECT_FALSE(table->isRowHidden(row));
    }
    EXPECT_EQ(cities(ctrl_->locationList()), (QStringList{"Lima", "Oslo", "Paris", "Tokyo"}))
        << "clearing the search keeps the sorted list";
}

TEST_F(worldLocationsWindow, PickedLocationsAreAppendedSavedAndSelected) {
    ctrl_->AddLocation();
    ASSERT_TRUE(added_);
    posted_.clear();
    QVariantList quito = place("Quito", "Ecuador", "America/Guayaquil");
    quito[11] = true;
    added_(quito);
    EXPECT_EQ(cities(onDisk()), (QStringList{"Paris", "Tokyo", "Lima", "Oslo", "Quito"}));
    EXPECT_EQ(selected(), QList<int>{4});
    EXPECT_EQ(posted_, (QStringList{kFloat, kLoc}));
    finished_();
    EXPECT_EQ(ctrl_->locationList().size(), 5);
}

TEST_F(worldLocationsWindow, ExportAndImportRoundTrip) {
    // Nothing selected: all of them, and the chooser says so.
    exportPath_ = sandbox_.root() + QStringLiteral("/all.plist");
    ctrl_->exportLocations();
    EXPECT_EQ(exportTitles_, QStringList{"Export All 4 Locations"});
    EXPECT_TRUE(log_.contains(QStringLiteral("4 locations saved in ") + exportPath_ + "."));

    exportPath_ = sandbox_.root() + QStringLiteral("/Talvor locations.plist");
    select({1, 3});
    ctrl_->exportLocations();
    EXPECT_EQ(exportTitles_.back(), "Export 2 Selected Locations");
    EXPECT_TRUE(log_.contains(QStringLiteral("2 locations saved in ") + exportPath_ + "."));
    ctrl_->DelLocation();
    EXPECT_EQ(cities(onDisk()), (QStringList{"Paris", "Lima"}));

    importPath_ = exportPath_;
    posted_.clear();
    importAndWait();
    EXPECT_EQ(alerts_, QStringList{"Talvor: Locations Imported | Added 2 locations."});
    EXPECT_EQ(noticeKinds_, QList<Notice>{Notice::information}) << "nothing went wrong";
    EXPECT_EQ(cities(onDisk()), (QStringList{"Paris", "Lima", "Tokyo", "Oslo"}));
    EXPECT_EQ(onDisk(), ctrl_->locationList());
    EXPECT_EQ(posted_, QStringList{kLoc}) << "the menu learns of imported locations";

    importAndWait();
    EXPECT_EQ(alerts_.back(),
              "Talvor: Locations Imported | No locations added. 2 were already in the list.");
    EXPECT_EQ(noticeKinds_.back(), Notice::information);
    EXPECT_EQ(ctrl_->locationList().size(), 4);
}

// `count` distinct new places, each twice in a row, then the four rows of the start table.
QString writeImportFile(const QString& path, int count) {
    LocationTable records;
    for (int i = 0; i < count; ++i) {
        const QVariant rec(place(QStringLiteral("Town %1").arg(i), "Chile", "America/Santiago"));
        records.append(rec);
        records.append(rec);
    }
    records.append(startTable());
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(
        platform::PropertyList::serialize(QVariant(records), platform::PropertyList::Format::Xml)
            .value());
    return path;
}

// A large file is read and compared on a thread of its own while the window goes on, and a
// place the file holds twice is added once.
TEST_F(worldLocationsWindow, LargeImportsRunOffTheEventLoopAndFindRepeatsInTheFile) {
    constexpr int kPlaces = 20000;
    importPath_ = writeImportFile(sandbox_.root() + QStringLiteral("/big.plist"), kPlaces);
    bool loopRanDuringImport = false;
    QTimer::singleShot(0, [&] { loopRanDuringImport = ctrl_->importRunning(); });
    importAndWait();
    EXPECT_TRUE(loopRanDuringImport) << "the event loop was not held";
    EXPECT_EQ(
        alerts_,
        QStringList{
            QStringLiteral(
                "Talvor: Locations Imported | Added %1 locations. %2 were already in the list.")
                .arg(kPlaces)
                .arg(kPlaces + 4)});
    EXPECT_EQ(ctrl_->locationList().size(), 4 + kPlaces);
    EXPECT_EQ(onDisk(), ctrl_->locationList());
    EXPECT_EQ(ctrl_->itemModel().rowCount(), 4 + kPlaces);
}

// Rows added while an import runs are compared with its records before they are added.
TEST_F(worldLocationsWindow, RowsAddedDuringAnImportAreNotAddedTwice) {
    importPath_ = writeImportFile(sandbox_.root() + QStringLiteral("/some.plist"), 3);
    ctrl_->importLocations();
    ASSERT_TRUE(ctrl_->importRunning());
    ctrl_->AddLocation();
    added_(place("Town 1", "Chile", "America/Santiago"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !ctrl_->importRunning(); }, 20000));
    EXPECT_EQ(alerts_.back(),
              "Talvor: Locations Imported | Added 2 locations. 8 were already in the list.");
    EXPECT_EQ(cities(onDisk()),
              (QStringList{"Paris", "Tokyo", "Lima", "Oslo", "Town 1", "Town 0", "Town 2"}));
}

// Quitting with an import under way abandons it: nothing of it is added or saved, and no
// notice follows.
TEST_F(worldLocationsWindow, QuittingDuringAnImportAbandonsIt) {
    importPath_ = writeImportFile(sandbox_.root() + QStringLiteral("/big.plist"), 20000);
    const LocationTable before = onDisk();
    ctrl_->importLocations();
    ASSERT_TRUE(ctrl_->importRunning());
    TalvorLocationWinCtrl::setSharedInstance(nullptr);
    ctrl_.reset();
    QCoreApplication::processEvents();
    EXPECT_EQ(onDisk(), before);
    EXPECT_TRUE(alerts_.isEmpty());
    EXPECT_TRUE(posted_.isEmpty());
}

// Quitting does not wait for an import still reading its file (a large one takes most of a
// second), and the abandoned import never reaches the window afterwards.
TEST_F(worldLocationsWindow, QuittingDoesNotWaitForAnImportStillReading) {
    std::promise<void> release;
    const std::shared_future<void> released = release.get_future().share();
    std::atomic<bool> reading{false};
    std::atomic<bool> readDone{false};
    std::atomic<pid_t> reader{0};
    ports_.readImport = [released, &reading, &readDone, &reader](
                            const QString& path, const LocationTransfer::Limits& limits,
                            QString* problem) {
        reader = test::currentThreadId();
        reading = true;
        released.wait_for(std::chrono::seconds(10));
        auto imported = LocationTransfer::read(path, limits, problem);
        readDone = true;
        return imported;
    };
    ctrl_ = std::make_unique<TalvorLocationWinCtrl>(ports_);
    TalvorLocationWinCtrl::setSharedInstance(ctrl_.get());
    importPath_ = writeImportFile(sandbox_.root() + QStringLiteral("/some.plist"), 3);
    const LocationTable before = onDisk();
    ctrl_->importLocations();
    ASSERT_TRUE(QTest::qWaitFor([&] { return reading.load(); }, 10000));

    // As the application's quit does.
    ASSERT_TRUE(QMetaObject::invokeMethod(QCoreApplication::instance(), "aboutToQuit"));
    EXPECT_FALSE(readDone) << "quitting waited for the file to be read";
    EXPECT_FALSE(ctrl_->importRunning());

    release.set_value();
    // The import's thread posts its end, if at all, before it ends: once it has ended,
    // whatever it posted is delivered here.
    ASSERT_TRUE(QTest::qWaitFor([&] { return test::threadHasEnded(reader.load()); }, 10000));
    EXPECT_TRUE(readDone);
    QCoreApplication::sendPostedEvents();
    EXPECT_TRUE(alerts_.isEmpty());
    EXPECT_EQ(onDisk(), before);
    EXPECT_EQ(ctrl_->locationList(), before);
}

// Files beyond the stated limits, and things that are no files, are refused with a message
// that says why; none of them is read whole, and none holds the window up.
TEST_F(worldLocationsWindow, ImportsBeyondTheLimitsOrOfSpecialFilesAreRefusedWithAMessage) {
    ports_.importLimits = {64 * 1024, 30};
    ctrl_ = std::make_unique<TalvorLocationWinCtrl>(ports_);
    TalvorLocationWinCtrl::setSharedInstance(ctrl_.get());
    const QString dir = sandbox_.root() + QStringLiteral("/imports");
    ASSERT_TRUE(QDir().mkpath(dir));
    struct Case {
        const char* name;
        std::function<QString()> make;
        QString why;
    };
    const Case cases[] = {
        {"more rows than the limit",
         [&] { return writeImportFile(dir + "/rows.plist", 14); },  // 32 entries
         "The file holds 32 entries; one import takes at most 30."},
        {"larger than the limit",
         [&] {
             const QString path = writeImportFile(dir + "/bytes.plist", 10);
             QFile f(path);
             EXPECT_TRUE(f.open(QIODevice::Append));
             f.write(QByteArray(64 * 1024, ' '));
             return path;
         },
         "The file is larger than 64 KB, the most one import takes."},
        {"fifo",
         [&] {
             EXPECT_EQ(::mkfifo(QFile::encodeName(dir + "/fifo.plist").constData(), 0600), 0);
             return dir + "/fifo.plist";
         },
         "It is not a regular file."},
        {"link to /dev/zero",
         [&] {
             EXPECT_TRUE(QFile::link(QStringLiteral("/dev/zero"), dir + "/zero.plist"));
             return dir + "/zero.plist";
         },
         "It is not a regular file."},
    };
    const LocationTable before = onDisk();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        alerts_.clear();
        importPath_ = c.make();
        importAndWait();
        EXPECT_EQ(alerts_, QStringList{"Talvor: Importing failed | No items loaded for file " +
                                       importPath_ + "\n" + c.why});
        EXPECT_EQ(ctrl_->locationList(), before);
    }
    EXPECT_EQ(onDisk(), before);
    EXPECT_TRUE(posted_.isEmpty());
}

TEST_F(worldLocationsWindow, DamagedImportIsRefusedAndLosesNothing) {
    importPath_ = sandbox_.root() + QStringLiteral("/broken.plist");
    QFile f(importPath_);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("<?xml version=\"1.0\"?><plist version=\"1.0\"><array><array><string>");
    f.close();
    const LocationTable before = onDisk();
    importAndWait();
    EXPECT_EQ(alerts_,
              QStringList{"Talvor: Importing failed | No items loaded for file " + importPath_});
    EXPECT_EQ(noticeKinds_, QList<Notice>{Notice::critical});
    EXPECT_EQ(onDisk(), before);
    EXPECT_EQ(ctrl_->locationList(), before);
    EXPECT_TRUE(posted_.isEmpty());
    EXPECT_TRUE(QFile::exists(importPath_)) << "the user's file is left alone";
}

// The window's own chooser and notice: both open without waiting, and the quit path's
// closing of dialogs cancels the chooser without importing anything.
TEST_F(worldLocationsWindow, TheRealChooserAndNoticeOpenWithoutWaiting) {
    const auto shown = [](const char* kind) -> QDialog* {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (w->inherits(kind) && w->isVisible()) {
                return static_cast<QDialog*>(w);
            }
        }
        return nullptr;
    };
    const QString broken = sandbox_.root() + QStringLiteral("/broken.plist");
    QFile f(broken);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("<?xml version=\"1.0\"?><plist version=\"1.0\"><array><array><string>");
    f.close();
    TalvorLocationWinCtrl::Ports ports;
    ports.post = [this](const QString& name) { posted_.append(name); };
    ports.clock = &clock_;
    TalvorLocationWinCtrl real(ports);
    const LocationTable before = onDisk();

    real.importLocations();
    auto* chooser = qobject_cast<QFileDialog*>(shown("QFileDialog"));
    ASSERT_NE(chooser, nullptr) << "the chooser is open and the call came back";
    EXPECT_TRUE(chooser->isModal());
    chooser->selectFile(broken);
    static_cast<QDialog*>(chooser)->accept();  // as its Open button does
    ASSERT_TRUE(QTest::qWaitFor([&] { return !real.importRunning(); }, 20000));
    auto* notice = qobject_cast<QMessageBox*>(shown("QMessageBox"));
    ASSERT_NE(notice, nullptr);
    EXPECT_EQ(notice->text(), "No items loaded for file " + broken);
    EXPECT_EQ(notice->icon(), QMessageBox::Critical);
    EXPECT_EQ(platform::closeOpenDialogs(), 1);

    // The export chooser opens in the home folder and says what it will write.
    ASSERT_TRUE(QDir().mkpath(QDir::homePath()));
    real.exportLocations();
    auto* exporter = qobject_cast<QFileDialog*>(shown("QFileDialog"));
    ASSERT_NE(exporter, nullptr);
    EXPECT_EQ(exporter->directory().absolutePath(), QDir::homePath());
    EXPECT_EQ(exporter->windowTitle(), "Export All 4 Locations");
    EXPECT_EQ(platform::closeOpenDialogs(), 1);

    real.importLocations();
    ASSERT_NE(shown("QFileDialog"), nullptr);
    EXPECT_EQ(platform::closeOpenDialogs(), 1);
    EXPECT_EQ(shown("QMessageBox"), nullptr) << "cancelled: nothing read, nothing to tell";
    EXPECT_EQ(onDisk(), before);
    EXPECT_TRUE(posted_.isEmpty());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// What an import did, in plain words with the right number.
TEST(worldLocationsWords, ImportSummaryAndExportTitleCountInWords) {
    struct Case {
        int added, duplicates, damaged;
        const char* expected;
    };
    const Case cases[] = {
        {1, 0, 0, "Added 1 location."},
        {3, 0, 0, "Added 3 locations."},
        {0, 1, 0, "No locations added. 1 was already in the list."},
        {2, 5, 0, "Added 2 locations. 5 were already in the list."},
        {1, 1, 1, "Added 1 location. 1 was already in the list. 1 damaged entry was skipped."},
        {0, 0, 2, "No locations added. 2 damaged entries were skipped."},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(TalvorLocationWinCtrl::importSummary({c.added, c.duplicates}, c.damaged),
                  QString::fromUtf8(c.expected));
    }
    EXPECT_EQ(TalvorLocationWinCtrl::exportTitle(1, true), "Export 1 Selected Location");
    EXPECT_EQ(TalvorLocationWinCtrl::exportTitle(3, true), "Export 3 Selected Locations");
    EXPECT_EQ(TalvorLocationWinCtrl::exportTitle(7, false), "Export All 7 Locations");
}

// Every column says what it holds.
TEST_F(worldLocationsWindow, EveryColumnHasAHeader) {
    const LocationItemModel& model = ctrl_->itemModel();
    for (int section = 0; section < model.columnCount(); ++section) {
        EXPECT_FALSE(
            model.headerData(section, Qt::Horizontal, Qt::DisplayRole).toString().isEmpty())
            << section;
    }
    EXPECT_EQ(model.headerData(0, Qt::Horizontal, Qt::DisplayRole), QVariant("Flag"));
}

TEST_F(worldLocationsWindow, GmtChoiceRetitlesTheOffsetColumn) {
    LocationItemModel& model = ctrl_->itemModel();
    const int offset = LocationItemModel::section(5);
    EXPECT_EQ(model.headerData(offset, Qt::Horizontal, Qt::DisplayRole), QVariant("LTD"));
    EXPECT_EQ(model.data(cell(1, 5), Qt::DisplayRole), QVariant("9")) << "Tokyo against UTC";
    clock_.setZone(QTimeZone("Europe/Paris"));
    EXPECT_EQ(model.data(cell(1, 5), Qt::DisplayRole), QVariant("8"));

    emit ctrl_->LocationTable()->doubleClicked(cell(1, 5));
    EXPECT_EQ(TalvorMenuBarFlags & kMenuBarGMTOffsets, kMenuBarGMTOffsets);
    EXPECT_EQ(model.headerData(offset, Qt::Horizontal, Qt::DisplayRole), QVariant("GMT"));
    EXPECT_EQ(model.data(cell(1, 5), Qt::DisplayRole), QVariant("9"));
    EXPECT_EQ(platform::UserDefaults::standard().objectForKey(keys::MenuBarOptBits),
              QVariant(qint64(kMenuBarGMTOffsets)))
        << "the choice is stored for the next start";

    emit ctrl_->LocationTable()->doubleClicked(cell(1, 1));
    EXPECT_EQ(TalvorMenuBarFlags & kMenuBarGMTOffsets, kMenuBarGMTOffsets)
        << "a text cell opens its editor instead";
}

TEST_F(worldLocationsWindow, SheetOnTheSettingsWindowAsksForAMenuUpdateWhenDone) {
    QWidget settings;
    auto* pane = new QWidget(&settings);
    int updates = 0;
    ctrl_->updateMenu = [&updates] { ++updates; };
    ctrl_->showTZLocationSheet(pane);
    EXPECT_EQ(ctrl_->window()->parentWidget(), &settings);
    EXPECT_EQ(ctrl_->window()->windowModality(), Qt::WindowModal);
    EXPECT_TRUE(ctrl_->window()->isVisible());
    ctrl_->doneTZLocationSheet();
    EXPECT_FALSE(ctrl_->window()->isVisible());
    EXPECT_EQ(updates, 1) << "the time menu shows location names by default";

    ctrl_->showWindow();
    EXPECT_EQ(ctrl_->window()->parentWidget(), nullptr);
    EXPECT_TRUE(ctrl_->window()->isVisible());
    EXPECT_EQ(&TalvorLocationWinCtrl::sharedInstance(), ctrl_.get());
}

}  // namespace
}  // namespace talvor
