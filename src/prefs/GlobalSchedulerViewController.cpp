#include "GlobalSchedulerViewController.h"

#include "foundation/FormatList.h"
#include "foundation/TalvorFilePaths.h"
#include "foundation/TalvorTimeSettings.h"
#include "platform/Clock.h"
#include "platform/Log.h"
#include "platform/OpenDialogs.h"
#include "platform/Pasteboard.h"
#include "services/Manual.h"
#include "world/NearestCity.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QSpinBox>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <QUrlQuery>
#include <QVBoxLayout>

#include <algorithm>
#include <set>

namespace talvor {
namespace {

// The time menu's group of the planner's item.
constexpr qint32 kGlobalSchedulerGroup = 10;
constexpr int kDefaultDuration = 60;

enum Column { Picture, Place, Zone, Start, StartDate, End, EndDate, ColumnCount };

// A small day/night picture drawn for the row: sun, moon, or the sun low on the horizon.
QIcon pictureIcon(const QString& name) {
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    if (name == QLatin1String("sun")) {
        p.setBrush(QColor(250, 190, 30));
        p.drawEllipse(QRectF(2, 2, 12, 12));
    } else if (name == QLatin1String("moon")) {
        p.setBrush(QColor(120, 130, 160));
        p.drawEllipse(QRectF(2, 2, 12, 12));
        p.setCompositionMode(QPainter::CompositionMode_Clear);
        p.drawEllipse(QRectF(6, 0, 12, 12));
    } else {
        // Sunset and moonset: half a disc over the horizon.
        p.setBrush(name == QLatin1String("sunset") ? QColor(240, 130, 40) : QColor(90, 100, 150));
        p.drawPie(QRectF(2, 5, 12, 12), 0, 180 * 16);
        p.fillRect(QRectF(0, 11, 16, 1.5), QColor(90, 90, 90));
    }
    return QIcon(pixmap);
}

// Rows of either table kept in sight at the pane's own size; more scroll in their table.
constexpr int kRowsInSight = 3;

// A table that asks for a few rows' height, not Qt's fixed 192 pixels: two of those put the
// pane's foot (and the hour grid's lower rows) below the window it opens in.
class PlannerTable : public QTableWidget {
  public:
    using QTableWidget::QTableWidget;
    QSize sizeHint() const override {
        return {QTableWidget::sizeHint().width(), heightForRows(kRowsInSight)};
    }
    QSize minimumSizeHint() const override {
        return {QTableWidget::minimumSizeHint().width(), heightForRows(1)};
    }

  private:
    int heightForRows(int rows) const {
        return horizontalHeader()->sizeHint().height() +
               rows * verticalHeader()->defaultSectionSize() + 2 * frameWidth();
    }
};

// The width an hour column needs for its widest number ("23", bold when chosen) and a hair
// of room either side: no style padding, so that the 24 hours fit the pane's width.
int hourColumnWidth(const QFont& font) {
    QFont bold = font;
    bold.setBold(true);
    const QFontMetrics metrics(bold);
    int widest = 0;
    for (int h = 0; h < 24; ++h) {
        widest = std::max(widest, metrics.horizontalAdvance(QString::number(h)));
    }
    return widest + 4;
}

// The grid's hour headings, centred in their whole column.
class HourHeader : public QHeaderView {
  public:
    explicit HourHeader(QWidget* parent) : QHeaderView(Qt::Horizontal, parent) {}

  protected:
    QSize sectionSizeFromContents(int logicalIndex) const override {
        return {hourColumnWidth(font()),
                QHeaderView::sectionSizeFromContents(logicalIndex).height()};
    }
    void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override {
        QStyleOptionHeader option;
        initStyleOption(&option);
        option.rect = rect;
        option.section = logicalIndex;
        style()->drawControl(QStyle::CE_HeaderSection, &option, painter, this);
        painter->setPen(palette().color(QPalette::ButtonText));
        painter->drawText(rect, Qt::AlignCenter,
                          model()->headerData(logicalIndex, orientation()).toString());
    }
};

// A grid cell: its colour and its hour, centred in the whole cell.
class HourCell : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        painter->save();
        painter->fillRect(option.rect, index.data(Qt::BackgroundRole).value<QBrush>());
        const QVariant font = index.data(Qt::FontRole);
        painter->setFont(font.isValid() ? font.value<QFont>() : option.font);
        painter->setPen(index.data(Qt::ForegroundRole).value<QBrush>().color());
        painter->drawText(option.rect, Qt::AlignCenter, index.data().toString());
        painter->restore();
    }
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const override {
        return {hourColumnWidth(option.font), option.fontMetrics.height() + 4};
    }
};

QColor gridColour(const MeetingPlanner::Times& t) {
    if (t.working) {
        return QColor(190, 230, 180);
    }
    if (t.picture == QLatin1String("moon")) {
        return QColor(70, 80, 105);
    }
    return QColor(235, 235, 225);
}

}  // namespace

GlobalSchedulerViewController::GlobalSchedulerViewController(QString nibName, PaneDelegate delegate,
                                                             ZoneInfoTree zones)
    : PreferencePane(QStringLiteral("GlobalSchedulerViewController"), std::move(nibName),
                     QStringLiteral("Global Scheduler")),
      delegate_(std::move(delegate)),
      zones_(std::move(zones)) {}

GlobalSchedulerViewController::~GlobalSchedulerViewController() = default;

QTableWidget* GlobalSchedulerViewController::rowsTable() const {
    return rows_;
}

QTableWidget* GlobalSchedulerViewController::gridTable() const {
    return grid_;
}

QTimeZone GlobalSchedulerViewController::localZone() const {
    return platform::Clock::shared().currentZone();
}

QDate GlobalSchedulerViewController::chosenDay() const {
    if (date_) {
        return date_->date();
    }
    return platform::Clock::shared().now().toQDateTime().toTimeZone(localZone()).date();
}

Date GlobalSchedulerViewController::moment() const {
    if (!isScrollUpdate_ || !slider_) {
        return platform::Clock::shared().now();
    }
    return MeetingPlanner::momentAt(chosenDay(), slider_->value(), localZone());
}

int GlobalSchedulerViewController::durationMinutes() const {
    return duration_ ? duration_->value() : kDefaultDuration;
}

void GlobalSchedulerViewController::buildShowBox(QWidget& view, QBoxLayout& root) {
    auto* show = new QCheckBox(tr("Show the Global Scheduler in the time menu"), &view);
    show->setObjectName(QStringLiteral("showGlobalScheduler"));
    show->setChecked(TalvorTimeSettings::sharedInstance().showGlobalScheduler);
    connect(show, &QCheckBox::clicked, this, &GlobalSchedulerViewController::showGlobalScheduler);
    root.addWidget(show);
}

// The moment: a day and a time on it.
void GlobalSchedulerViewController::buildMoment(QWidget& view, QBoxLayout& root) {
    auto* when = new QHBoxLayout;
    const QDate today = chosenDay();
    date_ = new QDateEdit(&view);
    date_->setObjectName(QStringLiteral("chosenDate"));
    date_->setCalendarPopup(true);
    date_->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    date_->setDate(today);
    // Another day moves the moment as the slider does.
    connect(date_, &QDateEdit::dateChanged, this, [this] { sliderChanged(slider_->value()); });
    slider_ = new QSlider(Qt::Horizontal, &view);
    slider_->setObjectName(QStringLiteral("timeZoneMovingSlider"));
    slider_->setRange(0, MeetingPlanner::kMinutesADay);
    slider_->setTickInterval(60);
    slider_->setTickPosition(QSlider::TicksBelow);
    slider_->setValue(MeetingPlanner::minutesIntoDay(platform::Clock::shared().now(), localZone()));
    connect(slider_, &QSlider::valueChanged, this, &GlobalSchedulerViewController::sliderChanged);
    reset_ = new QPushButton(tr("Now"), &view);
    reset_->setObjectName(QStringLiteral("resetTimeBtn"));
    reset_->setEnabled(false);
    connect(reset_, &QPushButton::clicked, this, &GlobalSchedulerViewController::resetTime);
    momentLabel_ = new QLabel(&view);
    momentLabel_->setObjectName(QStringLiteral("momentLabel"));
    when->addWidget(date_);
    when->addWidget(slider_, 1);
    when->addWidget(momentLabel_);
    when->addWidget(reset_);
    root.addLayout(when);
}

void GlobalSchedulerViewController::buildPlacesTable(QWidget& view, QBoxLayout& root) {
    rows_ = new PlannerTable(0, ColumnCount, &view);
    rows_->setObjectName(QStringLiteral("selTimeZoneTbl"));
    rows_->setHorizontalHeaderLabels(
        {QString(), tr("Place"), tr("Zone"), tr("Start"), tr("Date"), tr("End"), tr("Date")});
    rows_->verticalHeader()->hide();
    rows_->setSelectionBehavior(QAbstractItemView::SelectRows);
    rows_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // The times and dates as wide as they read, the place in the rest: with the meeting's
    // end shown too, every column fits the pane.
    rows_->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    rows_->horizontalHeader()->setSectionResizeMode(Place, QHeaderView::Stretch);
    rows_->horizontalHeader()->setSectionsMovable(false);
    connect(rows_, &QTableWidget::itemSelectionChanged, this, [this] {
        bool deletable = false;
        for (const QModelIndex& index : rows_->selectionModel()->selectedRows()) {
            if (!MeetingPlanner::isDeletable(planner_.rows().at(index.row()))) {
                deletable = false;
                break;
            }
            deletable = true;
        }
        delete_->setEnabled(deletable);
    });
    root.addWidget(rows_, 1);
}

// Each place's 24 hours across the chosen local day: working hours green, night dark.
void GlobalSchedulerViewController::buildHourGrid(QWidget& view, QBoxLayout& root) {
    grid_ = new PlannerTable(0, 24, &view);
    grid_->setObjectName(QStringLiteral("plannerGrid"));
    grid_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid_->setSelectionMode(QAbstractItemView::NoSelection);
    // The 24 hours fit the pane's width at the window's size: a smaller type than the
    // pane's, columns without padding, and the place names (whole in the table above, and
    // in their tool tips) in what is left.
    QFont small = grid_->font();
    small.setPointSizeF(small.pointSizeF() * 0.85);
    grid_->setFont(small);
    grid_->setHorizontalHeader(new HourHeader(grid_));
    grid_->setItemDelegate(new HourCell(grid_));
    // A cell keeps its number's room beside the grid line.
    const int hourWidth = hourColumnWidth(small) + (grid_->showGrid() ? 1 : 0);
    grid_->horizontalHeader()->setMinimumSectionSize(hourWidth);
    grid_->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    grid_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    const int paneRoom = kMaxWidth - margins().left() - margins().right();
    const int frame = 2 * grid_->frameWidth();
    // Room kept for the grid's own scroll bar, shown when there are many places.
    const int bar = grid_->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, grid_);
    grid_->verticalHeader()->setMaximumWidth(std::max(40, paneRoom - frame - bar - 24 * hourWidth));
    grid_->setMinimumWidth(paneRoom);
    QStringList hours;
    for (int h = 0; h < 24; ++h) {
        hours << QString::number(h);
    }
    grid_->setHorizontalHeaderLabels(hours);
    connect(grid_, &QTableWidget::cellClicked, this,
            [this](int, int column) { slider_->setValue(column * 60); });
    root.addWidget(grid_, 1);
}

// Adding and deleting places.
void GlobalSchedulerViewController::buildPlaceEditor(QWidget& view, QBoxLayout& root) {
    auto* edit = new QHBoxLayout;
    region_ = new QComboBox(&view);
    region_->setObjectName(QStringLiteral("region"));
    region_->addItems(zones_.regions());
    connect(region_, &QComboBox::activated, this, &GlobalSchedulerViewController::ZoneDidChange);
    zone_ = new QComboBox(&view);
    zone_->setObjectName(QStringLiteral("locationTbl"));
    zone_->setMinimumContentsLength(20);
    add_ = new QPushButton(tr("Add"), &view);
    add_->setObjectName(QStringLiteral("addTimeZoneBtn"));
    connect(add_, &QPushButton::clicked, this, [this] { addChosenZone(); });
    delete_ = new QPushButton(tr("Delete"), &view);
    delete_->setObjectName(QStringLiteral("deleteTimeZones"));
    delete_->setEnabled(false);
    connect(delete_, &QPushButton::clicked, this,
            &GlobalSchedulerViewController::deleteSelectedTimeZone);
    edit->addWidget(region_);
    edit->addWidget(zone_, 1);
    edit->addWidget(add_);
    edit->addWidget(delete_);
    root.addLayout(edit);
}

// The meeting and its exports.
void GlobalSchedulerViewController::buildMeeting(QWidget& view, QBoxLayout& root) {
    auto* meeting = new QGroupBox(tr("Meeting"), &view);
    // The sending buttons go on a row of their own: on one row the pane is wider than the
    // settings window.
    auto* meetingRows = new QVBoxLayout(meeting);
    auto* meetingRow = new QHBoxLayout;
    auto* sendRow = new QHBoxLayout;
    meetingRows->addLayout(meetingRow);
    meetingRows->addLayout(sendRow);
    meeting_ = new QCheckBox(tr("Schedule a meeting of"), meeting);
    meeting_->setObjectName(QStringLiteral("scheduleMeeting"));
    connect(meeting_, &QCheckBox::toggled, this,
            &GlobalSchedulerViewController::actScheduleMeeting);
    durationSlider_ = new QSlider(Qt::Horizontal, meeting);
    durationSlider_->setObjectName(QStringLiteral("durationTimeSlider"));
    durationSlider_->setRange(15, 480);
    durationSlider_->setSingleStep(15);
    durationSlider_->setValue(kDefaultDuration);
    duration_ = new QSpinBox(meeting);
    duration_->setObjectName(QStringLiteral("durationTimeTxtField"));
    duration_->setRange(1, 24 * 60);
    duration_->setSuffix(tr(" min"));
    duration_->setValue(kDefaultDuration);
    connect(durationSlider_, &QSlider::valueChanged, duration_, &QSpinBox::setValue);
    connect(duration_, &QSpinBox::valueChanged, this, [this](int minutes) {
        const QSignalBlocker quiet(durationSlider_);
        durationSlider_->setValue(minutes);
        reload();
    });
    email_ = new QPushButton(tr("E-mail…"), meeting);
    email_->setObjectName(QStringLiteral("emailBtn"));
    connect(email_, &QPushButton::clicked, this,
            &GlobalSchedulerViewController::actEmailBtnClicked);
    copy_ = new QPushButton(tr("Copy"), meeting);
    copy_->setObjectName(QStringLiteral("copyToClipBoardBtn"));
    connect(copy_, &QPushButton::clicked, this, &GlobalSchedulerViewController::actTextBtnClicked);
    meetingRow->addWidget(meeting_);
    meetingRow->addWidget(durationSlider_, 1);
    meetingRow->addWidget(duration_);
    sendRow->addStretch(1);
    sendRow->addWidget(email_);
    sendRow->addWidget(copy_);
    root.addWidget(meeting);
}

void GlobalSchedulerViewController::buildLinks(QWidget& view, QBoxLayout& root) {
    PaneLinks::LinkRow links = PaneLinks::makeLinkRow(
        view, [this] { delegate_.open(PaneLinks::changeLogPage()); },
        [this] { delegate_.openManual(Manual::Section::GlobalScheduler); });
    root.addLayout(links.layout);
}

std::unique_ptr<QWidget> GlobalSchedulerViewController::loadView() {
    bool added = false;
    planner_ =
        MeetingPlanner::fromTable(TalvorFilePaths::TalvorLoadSchedulerLocationFile(), &added);
    if (added) {
        save();
    }

    auto v = std::make_unique<QWidget>();
    v->setObjectName(className());
    auto* root = new QVBoxLayout(v.get());
    root->setContentsMargins(24, 20, 24, 20);

    buildShowBox(*v, *root);
    buildMoment(*v, *root);
    buildPlacesTable(*v, *root);
    buildHourGrid(*v, *root);
    buildPlaceEditor(*v, *root);
    buildMeeting(*v, *root);
    buildLinks(*v, *root);

    ZoneDidChange();
    actScheduleMeeting(false);
    startLocating();
    return v;
}

void GlobalSchedulerViewController::startLocating() {
    locationManager_ = delegate_.makeLocationManager ? delegate_.makeLocationManager()
                                                     : platform::LocationService::create();
    locationManager_->setDelegate(platform::LocationService::forwardingTo(this));
    // Not yet decided: asking for updates lets the desktop ask the user.
    if (locationManager_->locationServicesEnabled()) {
        locationManager_->startUpdatingLocation();
    }
}

void GlobalSchedulerViewController::didChangeAuthorization(
    platform::LocationService::Authorization status) {
    using Authorization = platform::LocationService::Authorization;
    if (!locationManager_) {
        return;
    }
    switch (status) {
        case Authorization::Authorized:
            platform::log(QStringLiteral("authorization always"));
            locationManager_->startUpdatingLocation();
            break;
        case Authorization::NotDetermined:
            locationManager_->startUpdatingLocation();
            break;
        case Authorization::Denied: {
            locationManager_->stopUpdatingLocation();
            auto* box = new QMessageBox(QMessageBox::Warning, QString(), QString(), QMessageBox::Ok,
                                        view());
            box->setObjectName(QStringLiteral("locationDeniedAlert"));
            box->setInformativeText(
                tr("Please go to Settings and turn on Location Services for Talvor"));
            platform::openDialog(box);
            break;
        }
    }
}

void GlobalSchedulerViewController::didUpdateLocation(double latitude, double longitude) {
    if (lastPosition_ == std::make_pair(latitude, longitude)) {
        return;
    }
    lastPosition_ = std::make_pair(latitude, longitude);
    locationManager_->stopUpdatingLocation();
    const std::optional<LocationTable> cities = TalvorFilePaths::TalvorLoadBundledLocations();
    const std::optional<QString> city =
        cities ? nearestCity(*cities, latitude, longitude) : std::nullopt;
    if (!city) {
        platform::log(QStringLiteral("Could not locate"));
        return;
    }
    planner_.setLocalCity(*city);
    save();
    reload();
}

void GlobalSchedulerViewController::didFailWithError(const QString& error) {
    platform::log(QStringLiteral("location service error: %1").arg(error));
}

void GlobalSchedulerViewController::save() {
    if (!TalvorFilePaths::TalvorSaveSchedulerTable(planner_.toTable())) {
        platform::log(QStringLiteral("Global Scheduler: the places could not be saved"));
    }
}

void GlobalSchedulerViewController::ZoneDidChange() {
    zone_->clear();
    const std::optional<QList<ZoneInfoTree::Zone>> list = zones_.zones(region_->currentText());
    for (const ZoneInfoTree::Zone& z : list.value_or(QList<ZoneInfoTree::Zone>())) {
        zone_->addItem(z.title, z.id);
    }
}

bool GlobalSchedulerViewController::addChosenZone() {
    isScrollUpdate_ = false;
    if (zone_->currentIndex() < 0) {
        return false;
    }
    const MeetingPlanner::Row row{zone_->currentText(), zone_->currentData().toString(),
                                  std::nullopt};
    if (!planner_.add(row)) {
        return false;
    }
    save();
    backToNow();
    return true;
}

void GlobalSchedulerViewController::deleteSelectedTimeZone() {
    isScrollUpdate_ = false;
    std::set<int> selected;
    for (const QModelIndex& index : rows_->selectionModel()->selectedRows()) {
        selected.insert(index.row());
    }
    if (selected.empty()) {
        return;
    }
    const int next = planner_.remove(selected);
    save();
    reload();
    if (next >= 0) {
        rows_->selectRow(next);
        rows_->scrollToItem(rows_->item(next, Place));
    }
    if (next <= 0) {
        delete_->setEnabled(false);
    }
}

void GlobalSchedulerViewController::sliderChanged(int /*minutes*/) {
    isScrollUpdate_ = true;
    reset_->setEnabled(true);
    // Places are added and deleted at the current moment: "Now" brings them back.
    add_->setEnabled(false);
    delete_->setEnabled(false);
    reload();
}

void GlobalSchedulerViewController::resetTime() {
    duration_->setValue(kDefaultDuration);
    backToNow();
}

void GlobalSchedulerViewController::backToNow() {
    isScrollUpdate_ = false;
    const Date now = platform::Clock::shared().now();
    {
        const QSignalBlocker quietSlider(slider_);
        const QSignalBlocker quietDate(date_);
        slider_->setValue(MeetingPlanner::minutesIntoDay(now, localZone()));
        date_->setDate(now.toQDateTime().toTimeZone(localZone()).date());
    }
    reset_->setEnabled(false);
    delete_->setEnabled(false);
    add_->setEnabled(true);
    reload();
}

void GlobalSchedulerViewController::actScheduleMeeting(bool on) {
    for (QWidget* w : std::initializer_list<QWidget*>{durationSlider_, duration_, email_, copy_}) {
        w->setEnabled(on);
    }
    rows_->setColumnHidden(End, !on);
    rows_->setColumnHidden(EndDate, !on);
    reload();
}

void GlobalSchedulerViewController::reload() {
    if (!rows_) {
        return;
    }
    const QTimeZone local = localZone();
    const Date start = moment();
    const Date end = start.addingTimeInterval(durationMinutes() * 60.0);
    const bool meeting = meeting_ && meeting_->isChecked();
    momentLabel_->setText(formatWithPattern(QStringLiteral("hh:mm a"), start, local));
    rows_->setRowCount(static_cast<int>(planner_.rows().size()));
    grid_->setRowCount(static_cast<int>(planner_.rows().size()));
    for (int i = 0; i < planner_.rows().size(); ++i) {
        const MeetingPlanner::Row& row = planner_.rows().at(i);
        const MeetingPlanner::Times s = planner_.timesAt(row, start, local);
        const MeetingPlanner::Times e = planner_.timesAt(row, end, local);
        const auto set = [&](int column, const QString& text) {
            auto* item = new QTableWidgetItem(text);
            if (meeting && (column == Start || column == StartDate)) {
                item->setForeground(QColor(40, 140, 60));
            }
            rows_->setItem(i, column, item);
        };
        auto* picture = new QTableWidgetItem(pictureIcon(s.picture), QString());
        picture->setToolTip(s.picture);
        rows_->setItem(i, Picture, picture);
        set(Place, row.cityName);
        set(Zone, s.abbreviation);
        set(Start, s.time + QLatin1Char(' ') + s.amPm);
        set(StartDate, s.date);
        set(End, e.time + QLatin1Char(' ') + e.amPm);
        set(EndDate, e.date);
        auto* name = new QTableWidgetItem(row.cityName);
        name->setToolTip(row.cityName);
        grid_->setVerticalHeaderItem(i, name);
    }
    const QList<QList<MeetingPlanner::Times>> day = planner_.dayGrid(chosenDay(), local);
    const int chosenHour = std::min(23, MeetingPlanner::minutesIntoDay(start, local) / 60);
    for (int r = 0; r < day.size(); ++r) {
        for (int h = 0; h < 24; ++h) {
            const MeetingPlanner::Times& t = day.at(r).at(h);
            auto* item = new QTableWidgetItem(QString::number(t.hour));
            item->setTextAlignment(Qt::AlignCenter);
            item->setBackground(gridColour(t));
            item->setForeground(t.picture == QLatin1String("moon") && !t.working ? Qt::white
                                                                                 : Qt::black);
            if (h == chosenHour) {
                QFont bold = item->font();
                bold.setBold(true);
                item->setFont(bold);
                item->setBackground(gridColour(t).darker(125));
            }
            grid_->setItem(r, h, item);
        }
    }
}

void GlobalSchedulerViewController::actEmailBtnClicked() {
    QUrl mail(QStringLiteral("mailto:"));
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("subject"), tr("Meeting Times"));
    query.addQueryItem(QStringLiteral("body"),
                       planner_.textExport(moment(), durationMinutes(), localZone()));
    mail.setQuery(query);
    delegate_.open(mail);
}

void GlobalSchedulerViewController::actTextBtnClicked() {
    if (!platform::Pasteboard::generalPasteboard().setString(
            planner_.textExport(moment(), durationMinutes(), localZone()))) {
        platform::log(QStringLiteral("Global Scheduler: the clipboard refused the plan"));
    }
}

void GlobalSchedulerViewController::showGlobalScheduler(bool on) {
    TalvorTimeSettings& settings = TalvorTimeSettings::sharedInstance();
    settings.showGlobalScheduler = on;
    settings.writePrefsAndSync();
    if (delegate_.UpdateMenu) {
        delegate_.UpdateMenu(kGlobalSchedulerGroup);
    }
}

}  // namespace talvor
