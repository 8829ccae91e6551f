#include "TalvorMyAddressPanel.h"

#include "LocationPickerModel.h"
#include "platform/Clock.h"
#include "platform/UserDefaults.h"
#include "platform/WindowPlacement.h"
#include "services/Manual.h"

#include <QComboBox>
#include <QDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTableWidget>
#include <QVBoxLayout>

namespace talvor {

using PopUpKind = LocationPickerModel::PopUpKind;

namespace {
const QString kABSearchType = QStringLiteral("ABSearchType");
const QString kABSearchString = QStringLiteral("ABSearchString");
}  // namespace

// The panel's widgets: a view of the model, refreshed after every change.
class PickerWindow : public QDialog {
  public:
    PickerWindow(LocationPickerModel& model, TalvorMyAddressPanel& panel);
    void refresh();
    void showPeople(const QList<AddressBook::Person>& people, const QStringList& knownCities);

    QComboBox* searchKind = nullptr;
    QLineEdit* searchText = nullptr;
    QTableWidget* people = nullptr;

  private:
    struct ListView {
        PopUpKind kind;
        const char* name;
        const char* label;
        // The model's first item is the list's own heading, not a choice: the pop-up leaves
        // it out and shows `prompt` (or `none`, when the list has nothing) until a choice.
        bool headed;
        const char* prompt;
        const char* none;
    };
    static constexpr ListView kLists[] = {
        {PopUpKind::Category, "region", "Region:", false, "", ""},
        {PopUpKind::Zone, "zone", "Zone:", false, "", ""},
        {PopUpKind::Country, "country", "Country:", true, "Choose a country", "No countries"},
        {PopUpKind::State, "state", "State/Province:", true, "Choose a state or province",
         "No states listed for this country"},
        {PopUpKind::City, "city", "City:", true, "Choose a city", "No cities listed"},
    };

    void chosen(PopUpKind kind, int index);

    LocationPickerModel& model_;
    QComboBox* combos_[std::size(kLists)] = {};
    QLineEdit* cells_[3] = {};
    QLabel* tTimeInfo_ = nullptr;
};

PickerWindow::PickerWindow(LocationPickerModel& model, TalvorMyAddressPanel& panel)
    : model_(model) {
    setWindowTitle(QStringLiteral("Add Location"));
    auto* layout = new QVBoxLayout(this);
    auto* lists = new QFormLayout;
    // One row each for region, zone, country, state and city. The name and phone fields
    // wait for the address book; until then they would only be typed into and forgotten.
    for (std::size_t i = 0; i < std::size(kLists); ++i) {
        auto* combo = new QComboBox(this);
        combo->setObjectName(QLatin1String(kLists[i].name));
        combo->setMaxVisibleItems(25);
        // A long name chosen must not widen the window.
        combo->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
        combo->setMinimumContentsLength(28);
        const PopUpKind kind = kLists[i].kind;
        const int skipped = kLists[i].headed ? 1 : 0;
        connect(combo, &QComboBox::activated, this,
                [this, kind, skipped](int index) { chosen(kind, index + skipped); });
        combos_[i] = combo;
        lists->addRow(QLatin1String(kLists[i].label), combo);
    }
    // The person's names and phone, typed or taken from the address book.
    static constexpr std::pair<int, const char*> kCells[] = {
        {LocationPickerModel::kFirstNameCell, "firstName"},
        {LocationPickerModel::kLastNameCell, "lastName"},
        {LocationPickerModel::kPhoneCell, "phone"}};
    static constexpr const char* kCellLabels[] = {"First name:", "Last name:", "Phone:"};
    for (std::size_t i = 0; i < std::size(kCells); ++i) {
        auto* edit = new QLineEdit(this);
        edit->setObjectName(QLatin1String(kCells[i].second));
        const int cell = kCells[i].first;
        connect(edit, &QLineEdit::textEdited, this, [this, cell](const QString& text) {
            model_.AddressRecChange(cell, text);
            refresh();
        });
        cells_[i] = edit;
        lists->addRow(QLatin1String(kCellLabels[i]), edit);
    }
    layout->addLayout(lists);

    // The address book: a search and the people it finds.
    auto* find = new QHBoxLayout;
    searchKind = new QComboBox(this);
    searchKind->setObjectName(QStringLiteral("tSearchType"));
    searchKind->addItems({QStringLiteral("First name"), QStringLiteral("Last name"),
                          QStringLiteral("Organisation"), QStringLiteral("City"),
                          QStringLiteral("Country")});
    searchText = new QLineEdit(this);
    searchText->setObjectName(QStringLiteral("tSearch"));
    searchText->setPlaceholderText(QStringLiteral("Search the address book"));
    searchText->setClearButtonEnabled(true);
    const auto runSearch = [this, &panel] {
        panel.search(static_cast<AddressBook::SearchKind>(std::max(0, searchKind->currentIndex())),
                     searchText->text());
    };
    connect(searchText, &QLineEdit::textChanged, this, runSearch);
    connect(searchKind, &QComboBox::activated, this, runSearch);
    find->addWidget(searchKind);
    find->addWidget(searchText, 1);
    layout->addLayout(find);
    people = new QTableWidget(0, 4, this);
    people->setObjectName(QStringLiteral("addressTable"));
    people->setHorizontalHeaderLabels(
        {QString(), QStringLiteral("Name"), QStringLiteral("City"), QStringLiteral("Phone")});
    people->verticalHeader()->hide();
    people->setSelectionBehavior(QAbstractItemView::SelectRows);
    people->setSelectionMode(QAbstractItemView::SingleSelection);
    people->setEditTriggers(QAbstractItemView::NoEditTriggers);
    people->horizontalHeader()->setSectionResizeMode(1, QHeaderView::Stretch);
    people->setColumnWidth(0, 18);
    people->setMinimumHeight(120);
    connect(people, &QTableWidget::itemSelectionChanged, this, [this, &panel] {
        const QList<QModelIndex> rows = people->selectionModel()->selectedRows();
        if (rows.size() == 1) {
            panel.takePerson(rows.first().row());
        }
    });
    layout->addWidget(people);

    tTimeInfo_ = new QLabel(this);
    tTimeInfo_->setObjectName(QStringLiteral("summary"));
    tTimeInfo_->setTextFormat(Qt::PlainText);
    tTimeInfo_->setWordWrap(true);
    // Room for the two lines the summary takes, so that the window does not grow either.
    tTimeInfo_->setMinimumHeight(tTimeInfo_->fontMetrics().lineSpacing() * 3);
    tTimeInfo_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    layout->addWidget(tTimeInfo_);

    auto* buttons = new QHBoxLayout;
    auto* add = new QPushButton(QStringLiteral("Add"), this);
    add->setObjectName(QStringLiteral("add"));
    auto* done = new QPushButton(QStringLiteral("Done"), this);
    done->setObjectName(QStringLiteral("done"));
    done->setDefault(true);
    auto* help = new QPushButton(QStringLiteral("?"), this);
    help->setObjectName(QStringLiteral("WebHelp"));
    help->setToolTip(QStringLiteral("Time zones and locations in the manual"));
    connect(help, &QPushButton::clicked, &panel, &TalvorMyAddressPanel::WebHelp);
    buttons->addWidget(help);
    buttons->addStretch();
    buttons->addWidget(add);
    buttons->addWidget(done);
    layout->addLayout(buttons);
    connect(add, &QPushButton::clicked, &panel, &TalvorMyAddressPanel::addLocation);
    connect(done, &QPushButton::clicked, &panel, &TalvorMyAddressPanel::FinishedLookup);
}

void PickerWindow::chosen(PopUpKind kind, int index) {
    model_.select(kind, index);
    if (kind == PopUpKind::Category) {
        model_.TimeZoneChange(LocationPickerModel::Sender::Category);
    } else if (kind == PopUpKind::Zone) {
        model_.TimeZoneChange(LocationPickerModel::Sender::Zone);
    } else {
        model_.popUp(kind);
    }
    refresh();
}

void PickerWindow::refresh() {
    for (std::size_t i = 0; i < std::size(kLists); ++i) {
        const ListView& view = kLists[i];
        QComboBox* combo = combos_[i];
        const LocationPickerModel::PopUp& items = model_.list(view.kind);
        const int skipped = view.headed ? 1 : 0;
        const QSignalBlocker blocker(combo);
        const QStringList titles = items.titles.mid(skipped);
        QStringList shown;
        for (int row = 0; row < combo->count(); ++row) {
            shown.append(combo->itemText(row));
        }
        if (shown != titles) {
            combo->clear();
            combo->addItems(titles);
        }
        for (int row = skipped; row < items.toolTips.size() && row - skipped < combo->count();
             ++row) {
            combo->setItemData(row - skipped, items.toolTips.at(row), Qt::ToolTipRole);
        }
        if (view.headed) {
            combo->setPlaceholderText(QLatin1String(titles.isEmpty() ? view.none : view.prompt));
        }
        int current = items.selected - skipped;
        // The state of the chosen city, though the state list itself was not used.
        if (view.kind == PopUpKind::State && current < 0) {
            current = titles.indexOf(model_.cell(LocationPickerModel::kStateCell));
        }
        combo->setCurrentIndex(current);
        combo->setEnabled(items.enabled && combo->count() > 0);
    }
    tTimeInfo_->setText(model_.timeInfo());
    for (std::size_t i = 0; i < std::size(cells_); ++i) {
        const int cell = i == 0   ? LocationPickerModel::kFirstNameCell
                         : i == 1 ? LocationPickerModel::kLastNameCell
                                  : LocationPickerModel::kPhoneCell;
        if (cells_[i]->text() != model_.cell(cell)) {
            cells_[i]->setText(model_.cell(cell));
        }
    }
}

void PickerWindow::showPeople(const QList<AddressBook::Person>& found,
                              const QStringList& knownCities) {
    const QSignalBlocker quiet(people);
    people->clearSelection();
    people->setRowCount(static_cast<int>(found.size()));
    for (int row = 0; row < found.size(); ++row) {
        const QStringList texts = LocationPickerModel::peopleRow(found.at(row), knownCities);
        for (int column = 0; column < texts.size(); ++column) {
            people->setItem(row, column, new QTableWidgetItem(texts.at(column)));
        }
    }
}

TalvorMyAddressPanel::TalvorMyAddressPanel(QObject* parent)
    : TalvorMyAddressPanel(
          std::make_unique<LocationPickerModel>(ZoneInfoTree(), LocationLists::bundled(),
                                                platform::UserDefaults::standard()),
          QString::fromUtf8(platform::Clock::shared().currentZone().id()), parent) {}

TalvorMyAddressPanel::TalvorMyAddressPanel(std::unique_ptr<LocationPickerModel> model,
                                           const QString& homeZone, QObject* parent,
                                           AddressBook book)
    : QObject(parent), model_(std::move(model)), book_(std::move(book)) {
    window_ = new PickerWindow(*model_, *this);
    model_->awakeFromNib();
    // The user's own country and city, not the first of the world's lists.
    model_->selectHome(homeZone);
    window_->refresh();
    // The last search, as it was left.
    platform::UserDefaults& defaults = model_->defaults();
    const qint64 kind = defaults.integerForKey(kABSearchType);
    window_->searchKind->setCurrentIndex(
        kind >= 0 && kind < window_->searchKind->count() ? int(kind) : 0);
    window_->searchText->setText(defaults.stringForKey(kABSearchString));
    search(static_cast<AddressBook::SearchKind>(window_->searchKind->currentIndex()),
           window_->searchText->text());
    // Closing the window by its frame counts as Done.
    connect(window_.data(), &QDialog::finished, this, [this] {
        model_->FinishedLookup();
        added_ = {};
        if (auto finished = std::exchange(finished_, {})) {
            finished();
        }
    });
}

TalvorMyAddressPanel::~TalvorMyAddressPanel() {
    delete window_.data();
}

void TalvorMyAddressPanel::beginSheet(QWidget* parent,
                                      std::function<void(const QVariantList& record)> added,
                                      std::function<void()> finished) {
    added_ = std::move(added);
    finished_ = std::move(finished);
    window_->setParent(parent, parent ? Qt::Sheet : Qt::Dialog);
    window_->setWindowModality(parent ? Qt::WindowModal : Qt::NonModal);
    window_->refresh();
    platform::placeInFreeArea(*window_, parent);
    if (parent) {
        window_->open();
    } else {
        window_->show();
    }
    window_->raise();
    window_->activateWindow();
}

QWidget* TalvorMyAddressPanel::window() const {
    return window_.data();
}

void TalvorMyAddressPanel::addLocation() {
    const std::optional<QVariantList> record = model_->addLocation();
    window_->refresh();
    if (!record) {
        auto* sheet = new QMessageBox(QMessageBox::Warning, LocationPickerModel::kNoLocation,
                                      LocationPickerModel::kNoLocation, QMessageBox::NoButton,
                                      window_.data(), Qt::Sheet);
        sheet->setObjectName(QStringLiteral("noLocationSheet"));
        sheet->setInformativeText(LocationPickerModel::kPleaseSelect);
        sheet->addButton(QStringLiteral("Continue"), QMessageBox::AcceptRole);
        sheet->setAttribute(Qt::WA_DeleteOnClose);
        sheet->setWindowModality(Qt::WindowModal);
        sheet->open();
        return;
    }
    if (added_) {
        added_(*record);
    }
}

void TalvorMyAddressPanel::FinishedLookup() {
    platform::UserDefaults& defaults = model_->defaults();
    defaults.setInteger(window_->searchKind->currentIndex(), kABSearchType);
    defaults.setObject(window_->searchText->text(), kABSearchString);
    results_.clear();
    window_->done(QDialog::Accepted);
}

void TalvorMyAddressPanel::search(AddressBook::SearchKind kind, const QString& text) {
    results_ = book_.search(kind, text);
    window_->showPeople(results_, knownCities ? knownCities() : QStringList());
}

void TalvorMyAddressPanel::takePerson(int row) {
    if (row < 0 || row >= results_.size()) {
        return;
    }
    model_->takePerson(results_.at(row));
    window_->refresh();
}

void TalvorMyAddressPanel::WebHelp() {
    Manual::open(Manual::Section::LocationPicker);
}

}  // namespace talvor
