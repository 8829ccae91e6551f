#include "TalvorSetTimeZoneViewCtrl.h"

#include "platform/Clock.h"
#include "platform/Log.h"
#include "platform/ProcessLauncher.h"
#include "widgets/ViewExtras.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace talvor {

TalvorSetTimeZoneViewCtrl::TalvorSetTimeZoneViewCtrl(QString nibName, PaneDelegate delegate,
                                                     ZoneInfoTree zoneTree)
    : PreferencePane(QStringLiteral("TalvorSetTimeZoneViewCtrl"), std::move(nibName),
                     QStringLiteral("Set TimeZone")),
      delegate_(std::move(delegate)),
      zoneTree_(std::move(zoneTree)) {}

TalvorSetTimeZoneViewCtrl::~TalvorSetTimeZoneViewCtrl() = default;

QUrl TalvorSetTimeZoneViewCtrl::timeZoneMapPage() {
    // A page that shows the zones as they stand today, daylight saving included.
    return QUrl(QStringLiteral("https://www.timeanddate.com/time/map/"));
}

const QList<SettingsCommand>& TalvorSetTimeZoneViewCtrl::dateTimeSettings() {
    static const QList<SettingsCommand> commands = {
        {QStringLiteral("gnome-control-center"), {QStringLiteral("datetime")}},
        {QStringLiteral("systemsettings"), {QStringLiteral("kcm_clock")}},
        {QStringLiteral("xfce4-datetime-settings"), {}},
    };
    return commands;
}

const QList<SettingsCommand>& TalvorSetTimeZoneViewCtrl::regionSettings() {
    static const QList<SettingsCommand> commands = {
        {QStringLiteral("gnome-control-center"), {QStringLiteral("region")}},
        {QStringLiteral("systemsettings"), {QStringLiteral("kcm_regionandlang")}},
    };
    return commands;
}

void TalvorSetTimeZoneViewCtrl::setTimeZone() {
    const std::optional<QString> zoneId = selectedZone();
    if (!zoneId) {
        return;
    }
    // One request at a time: the system may be showing its password dialog.
    setZoneButton_->setEnabled(false);
    statusField_->setText(tr("Setting the time zone to %1…").arg(*zoneId));
    QPointer<TalvorSetTimeZoneViewCtrl> self(this);
    platform::TimeZoneSetter::shared().setTimeZone(
        *zoneId, [self, zoneId = *zoneId](const std::optional<platform::TimeZoneFailure>& failure) {
            if (self) {
                self->answered(zoneId, failure);
            }
        });
}

void TalvorSetTimeZoneViewCtrl::answered(const QString& zoneId,
                                         const std::optional<platform::TimeZoneFailure>& failure) {
    if (setZoneButton_) {
        setZoneButton_->setEnabled(true);
    }
    if (statusField_) {
        statusField_->setText(failure ? failure->message()
                                      : tr("The time zone is now %1.").arg(zoneId));
    }
}

// Without a desktop settings tool the button would seem to do nothing: the status line
// says what is missing and what to do instead.
void TalvorSetTimeZoneViewCtrl::openAppleTimeZone() {
    if (!openSystemSettings(dateTimeSettings()) && statusField_) {
        statusField_->setText(
            tr("This desktop has no date and time settings to open: they come with GNOME "
               "Settings (gnome-control-center) or KDE System Settings. The time zone can be "
               "set above, with \"Set Time Zone\"."));
    }
}

void TalvorSetTimeZoneViewCtrl::openAppleInt() {
    if (!openSystemSettings(regionSettings()) && statusField_) {
        statusField_->setText(
            tr("This desktop has no region and language settings to open: they come with "
               "GNOME Settings (gnome-control-center) or KDE System Settings."));
    }
}

void TalvorSetTimeZoneViewCtrl::openTimeZoneMap() {
    delegate_.open(timeZoneMapPage());
}

void TalvorSetTimeZoneViewCtrl::helpBtnClicked() {
    delegate_.openManual(helpPage());
}

void TalvorSetTimeZoneViewCtrl::OnVersionNoClicked() {
    delegate_.open(PaneLinks::changeLogPage());
}

void TalvorSetTimeZoneViewCtrl::fillZones(const QString& regionTitle) {
    const QSignalBlocker block(zonePopUp_.data());
    zonePopUp_->clear();
    const std::optional<QList<ZoneInfoTree::Zone>> zones = zoneTree_.zones(regionTitle);
    for (const ZoneInfoTree::Zone& zone : zones.value_or(QList<ZoneInfoTree::Zone>())) {
        zonePopUp_->addItem(zone.title, zone.id);
    }
    setZoneButton_->setEnabled(zonePopUp_->count() > 0);
}

bool TalvorSetTimeZoneViewCtrl::selectZone(const QString& zoneId) {
    if (!regionPopUp_) {
        return false;
    }
    const int slash = zoneId.indexOf(QLatin1Char('/'));
    if (slash <= 0) {
        return false;
    }
    const int region = regionPopUp_->findText(ZoneInfoTree::regionTitle(zoneId.left(slash)));
    if (region < 0) {
        return false;
    }
    regionPopUp_->setCurrentIndex(region);
    fillZones(regionPopUp_->currentText());
    const int zone = zonePopUp_->findData(zoneId);
    if (zone < 0) {
        return false;
    }
    zonePopUp_->setCurrentIndex(zone);
    return true;
}

std::optional<QString> TalvorSetTimeZoneViewCtrl::selectedZone() const {
    if (!zonePopUp_ || zonePopUp_->currentIndex() < 0) {
        return std::nullopt;
    }
    return zonePopUp_->currentData().toString();
}

void TalvorSetTimeZoneViewCtrl::showCurrentZone() {
    if (currentZoneField_) {
        currentZoneField_->setText(
            tr("Current time zone: %1")
                .arg(QString::fromUtf8(platform::Clock::shared().currentZone().id())));
    }
}

std::unique_ptr<QWidget> TalvorSetTimeZoneViewCtrl::loadView() {
    auto view = std::make_unique<QWidget>();
    view->setObjectName(className());
    auto* layout = new QVBoxLayout(view.get());
    layout->setContentsMargins(24, 20, 24, 20);

    currentZoneField_ = new QLabel(view.get());
    currentZoneField_->setObjectName(QStringLiteral("currentZoneField"));
    layout->addWidget(currentZoneField_);

    auto* picker = new QGridLayout();
    picker->addWidget(new QLabel(tr("Region:"), view.get()), 0, 0);
    regionPopUp_ = new QComboBox(view.get());
    regionPopUp_->setObjectName(QStringLiteral("regionPopUp"));
    regionPopUp_->addItems(zoneTree_.regions());
    picker->addWidget(regionPopUp_, 0, 1);
    picker->addWidget(new QLabel(tr("Time zone:"), view.get()), 1, 0);
    zonePopUp_ = new QComboBox(view.get());
    zonePopUp_->setObjectName(QStringLiteral("zonePopUp"));
    picker->addWidget(zonePopUp_, 1, 1);
    setZoneButton_ = new QPushButton(tr("Set Time Zone"), view.get());
    setZoneButton_->setObjectName(QStringLiteral("setZoneButton"));
    picker->addWidget(setZoneButton_, 1, 2);
    picker->setColumnStretch(1, 1);
    layout->addLayout(picker);

    statusField_ = new QLabel(view.get());
    statusField_->setObjectName(QStringLiteral("statusField"));
    statusField_->setWordWrap(true);
    layout->addWidget(statusField_);

    auto* openers = new QHBoxLayout();
    const auto addOpener = [&](const char* name, const QString& title,
                               void (TalvorSetTimeZoneViewCtrl::*action)()) {
        auto* button = new QPushButton(ViewExtras::literalTitle(title), view.get());
        button->setObjectName(QLatin1String(name));
        connect(button, &QPushButton::clicked, this, [this, action] { (this->*action)(); });
        openers->addWidget(button);
    };
    addOpener("timeZoneButton", tr("Date & Time Settings…"),
              &TalvorSetTimeZoneViewCtrl::openAppleTimeZone);
    addOpener("regionButton", tr("Region & Language Settings…"),
              &TalvorSetTimeZoneViewCtrl::openAppleInt);
    addOpener("mapButton", tr("Time Zone Map"), &TalvorSetTimeZoneViewCtrl::openTimeZoneMap);
    openers->addStretch(1);
    layout->addLayout(openers);
    layout->addStretch(1);

    const PaneLinks::LinkRow links = PaneLinks::makeLinkRow(
        *view, [this] { OnVersionNoClicked(); }, [this] { helpBtnClicked(); });
    versionButton_ = links.versionButton;
    layout->addLayout(links.layout);

    const QString current = QString::fromUtf8(platform::Clock::shared().currentZone().id());
    if (!selectZone(current)) {
        // Also leaves the button off when the database has no regions at all.
        fillZones(regionPopUp_->currentText());
    }
    showCurrentZone();
    connect(regionPopUp_, &QComboBox::currentTextChanged, this,
            [this](const QString& region) { fillZones(region); });
    connect(setZoneButton_, &QPushButton::clicked, this, [this] { setTimeZone(); });
    // The system clock notices the new zone by itself, whoever set it.
    connect(&platform::Clock::shared(), &platform::Clock::zoneChanged, this,
            [this] { showCurrentZone(); });
    view->resize(560, 360);
    return view;
}

}  // namespace talvor
