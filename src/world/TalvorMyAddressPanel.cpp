#include "TalvorMyAddressPanel.h"

#include "LocationPickerModel.h"
#include "platform/Clock.h"
#include "platform/UserDefaults.h"
#include "platform/WindowPlacement.h"

#include <QComboBox>
#include <QDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace talvor {

using PopUpKind = LocationPickerModel::PopUpKind;

// The panel's widgets: a view of the model, refreshed after every change.
class PickerWindow : public QDialog {
  public:
    PickerWindow(LocationPickerModel& model, TalvorMyAddressPanel& panel);
    void refresh();

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
    layout->addLayout(lists);

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
}

TalvorMyAddressPanel::TalvorMyAddressPanel(QObject* parent)
    : TalvorMyAddressPanel(
          std::make_unique<LocationPickerModel>(ZoneInfoTree(), LocationLists::bundled(),
                                                platform::UserDefaults::standard()),
          QString::fromUtf8(platform::Clock::shared().currentZone().id()), parent) {}

TalvorMyAddressPanel::TalvorMyAddressPanel(std::unique_ptr<LocationPickerModel> model,
                                           const QString& homeZone, QObject* parent)
    : QObject(parent), model_(std::move(model)) {
    window_ = new PickerWindow(*model_, *this);
    model_->awakeFromNib();
    // The user's own country and city, not the first of the world's lists.
    model_->selectHome(homeZone);
    window_->refresh();
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
    window_->done(QDialog::Accepted);
}

}  // namespace talvor
