#include "DateDiffPrefCalculator.h"

#include "foundation/TalvorTimeSettings.h"

#include <QCheckBox>
#include <QDateTimeEdit>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include <tuple>

namespace talvor {
namespace {

const QString kShowHide = QStringLiteral("showHide");

}  // namespace

DateDiffPrefCalculator::DateDiffPrefCalculator(QString nibName, PaneDelegate delegate,
                                               std::function<void(qint32)> updateMenu)
    : PreferencePane(QStringLiteral("DateDiffPrefCalculator"), std::move(nibName),
                     QStringLiteral("Date Difference")),
      delegate_(std::move(delegate)),
      updateMenu_(std::move(updateMenu)),
      table_(staticMetaObject.className(), makeRows(),
             {{}, {}, PaneTableHost::menuRebuilds(updateMenu_), [this] { table_.load(); }}) {}

DateDiffPrefCalculator::~DateDiffPrefCalculator() = default;

std::vector<PaneRow> DateDiffPrefCalculator::makeRows() {
    return {timeMenuSwitch(
        kShowHide,
        QT_TRANSLATE_NOOP("talvor::DateDiffPrefCalculator", "Show the calculator in the time menu"),
        &TalvorTimeSettings::showDateDiffereneCalc, kDateDifferenceGroup)};
}

QCheckBox* DateDiffPrefCalculator::showHideBox() const {
    return qobject_cast<QCheckBox*>(table_.control(kShowHide));
}

QCheckBox* DateDiffPrefCalculator::unitBox(int index) const {
    return index >= 0 && index < 5 ? units_[index].data() : nullptr;
}

std::unique_ptr<QWidget> DateDiffPrefCalculator::loadView() {
    auto view = std::make_unique<QWidget>();
    auto* layout = new QVBoxLayout(view.get());
    layout->setContentsMargins(24, 20, 24, 20);
    auto* dates = new QFormLayout;
    auto makeEdit = [&](const QString& name) {
        auto* edit = new QDateTimeEdit(view.get());
        edit->setObjectName(name);
        edit->setCalendarPopup(true);
        edit->setDisplayFormat(QStringLiteral("yyyy-MM-dd HH:mm"));
        edit->setDateTime(model_.date1.toQDateTime().toLocalTime());
        connect(edit, &QDateTimeEdit::dateTimeChanged, this, [this] { computeDateDiff(); });
        return edit;
    };
    date1_ = makeEdit(QStringLiteral("date1"));
    date2_ = makeEdit(QStringLiteral("date2"));
    dates->addRow(tr("From:"), date1_);
    dates->addRow(tr("To:"), date2_);
    layout->addLayout(dates);

    auto* unitRow = new QHBoxLayout;
    unitRow->addWidget(new QLabel(tr("Express in:"), view.get()));
    const QString titles[5] = {tr("Eras"), tr("Years"), tr("Months"), tr("Weeks"), tr("Days")};
    for (int i = 0; i < 5; ++i) {
        units_[i] = new QCheckBox(titles[i], view.get());
        units_[i]->setChecked(true);
        connect(units_[i], &QCheckBox::toggled, this, [this] { computeDateDiff(); });
        unitRow->addWidget(units_[i]);
    }
    unitRow->addStretch(1);
    layout->addLayout(unitRow);

    diffLabel_ = new QLabel(view.get());
    diffLabel_->setObjectName(QStringLiteral("diff"));
    diffLabel_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(diffLabel_);

    auto* phrases = new QFormLayout;
    later_ = new QLineEdit(view.get());
    earlier_ = new QLineEdit(view.get());
    later_->setReadOnly(true);
    earlier_->setReadOnly(true);
    phrases->addRow(tr("From, seen from To:"), later_);
    phrases->addRow(tr("To, seen from From:"), earlier_);
    layout->addLayout(phrases);

    table_.build(*view, *layout);
    table_.load();
    layout->addStretch(1);
    const PaneLinks::LinkRow links = PaneLinks::makeLinkRow(
        *view, [this] { OnVersionNoClicked(); }, [this] { helpBtnClicked(); });
    layout->addLayout(links.layout);
    showResult();
    return view;
}

void DateDiffPrefCalculator::readControls() {
    if (date1_ && date2_) {
        model_.date1 = Date::fromQDateTime(date1_->dateTime());
        model_.date2 = Date::fromQDateTime(date2_->dateTime());
    }
    bool* flags[5] = {&model_.doesEra, &model_.doesYear, &model_.doesMonth, &model_.doesWeek,
                      &model_.doesDay};
    for (int i = 0; i < 5; ++i) {
        if (units_[i]) {
            *flags[i] = units_[i]->isChecked();
        }
    }
}

void DateDiffPrefCalculator::computeDateDiff() {
    readControls();
    model_.computeDateDiff();
    showResult();
}

void DateDiffPrefCalculator::showResult() {
    if (!diffLabel_) {
        return;
    }
    const DateDiffCalculator::Difference& d = model_.diff;
    QStringList parts;
    const std::tuple<const std::optional<int32_t>*, QString, QString> shown[] = {
        {&d.era, tr("era"), tr("eras")},
        {&d.year, tr("year"), tr("years")},
        {&d.month, tr("month"), tr("months")},
        {&d.week, tr("week"), tr("weeks")},
        {&d.day, tr("day"), tr("days")}};
    for (const auto& [value, one, many] : shown) {
        if (*value) {
            parts << QString::number(**value) + QLatin1Char(' ') + (**value == 1 ? one : many);
        }
    }
    diffLabel_->setText(parts.isEmpty() ? tr("No unit chosen") : parts.join(QStringLiteral(", ")));
    // Equal dates have no direction: the describer would say "in 0 millisecond".
    const bool same = model_.date1 == model_.date2;
    later_->setText(same ? tr("the same moment") : model_.LaterData);
    earlier_->setText(same ? tr("the same moment") : model_.earlierData);
}

void DateDiffPrefCalculator::showHideDateDiffMenuItem(bool shown) {
    table_.apply(kShowHide, shown);
}

void DateDiffPrefCalculator::helpBtnClicked() {
    delegate_.openManual(Manual::Section::Contents);
}

void DateDiffPrefCalculator::OnVersionNoClicked() {
    delegate_.open(PaneLinks::changeLogPage());
}

}  // namespace talvor
