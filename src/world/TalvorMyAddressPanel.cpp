#include "TalvorMyAddressPanel.h"

#include "LocationPickerModel.h"
#include "platform/UserDefaults.h"
#include "platform/WindowPlacement.h"

#include <QComboBox>
#include <QDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
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
    };
    static constexpr ListView kLists[] = {
        {PopUpKind::Category, "region", "Region:"},  {PopUpKind::Zone, "zone", "Zone:"},
        {PopUpKind::Country, "country", "Country:"}, {PopUpKind::State, "state", "State:"},
        {PopUpKind::City, "city", "City:"},
    };
    static constexpr const char* kCellLabels[LocationPickerModel::kCellCount] = {
        "Country:", "State/Province:", "City:", "First name:", "Last name:", "Phone:"};

    void chosen(PopUpKind kind, int index);

    LocationPickerModel& model_;
    QComboBox* combos_[std::size(kLists)] = {};
    QLineEdit* cells_[LocationPickerModel::kCellCount] = {};
    QLabel* tTimeInfo_ = nullptr;
};

PickerWindow::PickerWindow(LocationPickerModel& model, TalvorMyAddressPanel& panel)
    : model_(model) {
    setWindowTitle(QStringLiteral("Add Location"));
    auto* layout = new QVBoxLayout(this);
    auto* lists = new QFormLayout;
    for (std::size_t i = 0; i < std::size(kLists); ++i) {
        auto* combo = new QComboBox(this);
        combo->setObjectName(QLatin1String(kLists[i].name));
        combo->setMaxVisibleItems(25);
        const PopUpKind kind = kLists[i].kind;
        connect(combo, &QComboBox::activated, this,
                [this, kind](int index) { chosen(kind, index); });
        combos_[i] = combo;
        lists->addRow(QLatin1String(kLists[i].label), combo);
    }
    layout->addLayout(lists);

    auto* form = new QFormLayout;
    for (int i = 0; i < LocationPickerModel::kCellCount; ++i) {
        auto* edit = new QLineEdit(this);
        edit->setObjectName(QStringLiteral("cell%1").arg(i));
        connect(edit, &QLineEdit::textEdited, this, [this, i](const QString& text) {
            model_.AddressRecChange(i, text);
            refresh();
        });
        cells_[i] = edit;
        form->addRow(QLatin1String(kCellLabels[i]), edit);
    }
    layout->addLayout(form);

    tTimeInfo_ = new QLabel(this);
    tTimeInfo_->setObjectName(QStringLiteral("summary"));
    tTimeInfo_->setTextFormat(Qt::PlainText);
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
        QComboBox* combo = combos_[i];
        const LocationPickerModel::PopUp& items = model_.list(kLists[i].kind);
        const QSignalBlocker blocker(combo);
        QStringList shown;
        for (int row = 0; row < combo->count(); ++row) {
            shown.append(combo->itemText(row));
        }
        if (shown != items.titles) {
            combo->clear();
            combo->addItems(items.titles);
        }
        for (int row = 0; row < items.toolTips.size() && row < combo->count(); ++row) {
            combo->setItemData(row, items.toolTips.at(row), Qt::ToolTipRole);
        }
        combo->setCurrentIndex(items.selected);
        combo->setEnabled(items.enabled);
    }
    for (int i = 0; i < LocationPickerModel::kCellCount; ++i) {
        // Only changed texts are replaced, so the cell being typed in keeps its cursor.
        if (cells_[i]->text() != model_.cell(i)) {
            cells_[i]->setText(model_.cell(i));
        }
    }
    tTimeInfo_->setText(model_.timeInfo());
}

TalvorMyAddressPanel::TalvorMyAddressPanel(QObject* parent)
    : TalvorMyAddressPanel(
          std::make_unique<LocationPickerModel>(ZoneInfoTree(), LocationLists::bundled(),
                                                platform::UserDefaults::standard()),
          parent) {}

TalvorMyAddressPanel::TalvorMyAddressPanel(std::unique_ptr<LocationPickerModel> model,
                                           QObject* parent)
    : QObject(parent), model_(std::move(model)) {
    window_ = new PickerWindow(*model_, *this);
    model_->awakeFromNib();
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
