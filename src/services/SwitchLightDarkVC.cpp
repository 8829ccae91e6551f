#include "SwitchLightDarkVC.h"

#include "Manual.h"
#include "SystemEventNames.h"
#include "foundation/TalvorTimeSettings.h"
#include "platform/Clock.h"
#include "platform/Log.h"
#include "platform/OpenDialogs.h"
#include "platform/UserDefaults.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QCoreApplication>
#include <QDateTimeEdit>
#include <QDesktopServices>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>
#include <QVBoxLayout>

namespace talvor {
namespace {

platform::UserDefaults& defaults() {
    return platform::UserDefaults::standard();
}

Date defaultTime(int hour) {
    const QTimeZone zone = platform::Clock::shared().currentZone();
    return Date::fromQDateTime(QDateTime(QDate(2019, 1, 11), QTime(hour, 0), zone));
}

void putDate(QDateTimeEdit* picker, Date date) {
    const QSignalBlocker block(picker);
    picker->setDateTime(date.toQDateTime().toLocalTime());
}

std::optional<Date> storedDate(const QString& key) {
    const QVariant v = defaults().objectForKey(key);
    if (v.typeId() != QMetaType::QDateTime) {
        return std::nullopt;
    }
    return Date::fromQDateTime(v.toDateTime());
}

}  // namespace

// ---- SegmentedControl

SegmentedControl::SegmentedControl(const QStringList& labels, QWidget* parent)
    : QWidget(parent), group_(new QButtonGroup(this)) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    for (int i = 0; i < labels.size(); ++i) {
        auto* button = new QToolButton(this);
        button->setText(labels.at(i));
        button->setCheckable(true);
        group_->addButton(button, i);
        layout->addWidget(button);
    }
    group_->setExclusive(true);
    connect(group_, &QButtonGroup::idClicked, this, &SegmentedControl::activated);
}

int SegmentedControl::selectedSegment() const {
    return group_->checkedId();
}

void SegmentedControl::setSelectedSegment(int segment) {
    if (QAbstractButton* b = group_->button(segment)) {
        b->setChecked(true);
    }
}

QAbstractButton* SegmentedControl::segmentButton(int segment) const {
    return group_->button(segment);
}

// ---- SwitchLightDarkVC

SwitchLightDarkVC::SwitchLightDarkVC(SwitchLightDarkDelegate delegate, QWidget* parent)
    : QWidget(parent), delegate_(std::move(delegate)) {
    setObjectName(QStringLiteral("SwitchLightDarkVC"));
    auto* layout = new QVBoxLayout(this);

    auto* rows = new QWidget(this);
    auto* rowsLayout = new QVBoxLayout(rows);
    rowsLayout->setContentsMargins(0, 0, 0, 0);
    radioBtnSwitch_ = new QButtonGroup(this);
    const QStringList titles = {tr("Off"), tr("Manual"), tr("Sunset to sunrise at my position"),
                                tr("Custom times")};
    for (int row = 0; row < titles.size(); ++row) {
        auto* radio = new QRadioButton(titles.at(row), rows);
        radioBtnSwitch_->addButton(radio, row);
        rowsLayout->addWidget(radio);
    }
    layout->addWidget(rows);

    selectedModeSegment_ = new SegmentedControl({tr("Light"), tr("Dark")}, this);
    layout->addWidget(selectedModeSegment_);

    auto* times = new QGridLayout();
    labelLight_ = new QLabel(tr("Light from:"), this);
    labelDark_ = new QLabel(tr("Dark from:"), this);
    timePickerLight_ = new QDateTimeEdit(this);
    timePickerDark_ = new QDateTimeEdit(this);
    for (QDateTimeEdit* picker : {timePickerLight_, timePickerDark_}) {
        picker->setDisplayFormat(QStringLiteral("HH:mm"));
    }
    times->addWidget(labelLight_, 0, 0);
    times->addWidget(timePickerLight_, 0, 1);
    times->addWidget(labelDark_, 1, 0);
    times->addWidget(timePickerDark_, 1, 1);
    layout->addLayout(times);

    menuBtn_ = new QCheckBox(tr("Show Light/Dark Mode in the time menu"), this);
    layout->addWidget(menuBtn_);

    auto* bottom = new QHBoxLayout();
    versionNoBtn_ = new QPushButton(this);
    versionNoBtn_->setFlat(true);
    auto* help = new QPushButton(QStringLiteral("?"), this);
    help->setObjectName(QStringLiteral("helpButton"));
    bottom->addWidget(versionNoBtn_);
    bottom->addStretch();
    bottom->addWidget(help);
    layout->addLayout(bottom);
    layout->addStretch();

    // As the interface leaves them before a mode is known.
    setTimeControlsVisible(false);
    selectedModeSegment_->setEnabled(false);

    connect(radioBtnSwitch_, &QButtonGroup::idClicked, this,
            &SwitchLightDarkVC::switchAppearanceAt);
    connect(selectedModeSegment_, &SegmentedControl::activated, this,
            &SwitchLightDarkVC::switchSelectedApperanceMode);
    connect(timePickerLight_, &QDateTimeEdit::dateTimeChanged, this, [this] { lightmodeTime(); });
    connect(timePickerDark_, &QDateTimeEdit::dateTimeChanged, this, [this] { darkmodeTime(); });
    connect(menuBtn_, &QCheckBox::clicked, this,
            [this] { showLightDarkModeMenu(menuBtn_->checkState()); });
    connect(help, &QPushButton::clicked, this, &SwitchLightDarkVC::helpButtonClicked);
    connect(versionNoBtn_, &QPushButton::clicked, this, &SwitchLightDarkVC::OnVersionNoClicked);

    viewDidLoad();
}

SwitchLightDarkVC::~SwitchLightDarkVC() = default;

const QList<platform::SettingsCommand>& SwitchLightDarkVC::locationSettings() {
    static const QList<platform::SettingsCommand> commands = {
        {QStringLiteral("gnome-control-center"), {QStringLiteral("location")}},
    };
    return commands;
}

Date SwitchLightDarkVC::defaultLightModeTime() {
    return defaultTime(6);
}

Date SwitchLightDarkVC::defaultDarkModeTime() {
    return defaultTime(18);
}

void SwitchLightDarkVC::viewDidLoad() {
    listenForChanges();
    menuBtn_->setChecked(TalvorTimeSettings::sharedInstance().showLightDarkMode);
    const QVariant stored = defaults().objectForKey(kAppearanceSwitchKey);
    if (stored.isValid()) {
        const QString mode = defaults().stringForKey(kAppearanceSwitchKey);
        if (mode == kAppearanceSwitchCustom) {
            selectRow(3);
            setTimeControlsVisible(true);
            selectedModeSegment_->setEnabled(false);
            putDate(timePickerLight_,
                    storedDate(kLightModeTimeKey).value_or(defaultLightModeTime()));
            putDate(timePickerDark_, storedDate(kDarkModeTimeKey).value_or(defaultDarkModeTime()));
        } else if (mode == kAppearanceSwitchSunSetRise) {
            selectRow(2);
            setTimeControlsVisible(false);
            selectedModeSegment_->setEnabled(false);
            startLocationUpdates();
        } else if (mode == kAppearanceSwitchManual) {
            selectRow(1);
            setTimeControlsVisible(false);
            selectedModeSegment_->setEnabled(true);
        } else {
            selectRow(0);
            setTimeControlsVisible(false);
            selectedModeSegment_->setEnabled(false);
        }
    }
    versionNoBtn_->setText(QStringLiteral("Version ") + QCoreApplication::applicationVersion());
}

void SwitchLightDarkVC::listenForChanges() {
    QPointer<SwitchLightDarkVC> self(this);
    // The handle lives with the pane: a closed pane no longer reacts.
    reactor_ = AppleInterfaceStyle::listenForChanges(true, [self](AppleInterfaceStyle style) {
        return self ? self->react(style) : ChangeReactorResponse::stopListeningForChanges;
    });
}

ChangeReactorResponse SwitchLightDarkVC::react(AppleInterfaceStyle style) {
    const QString mode = defaults().stringForKey(kAppearanceSwitchKey);
    if (mode == kAppearanceSwitchOff) {
        return ChangeReactorResponse::continueListeningForChanges;
    }
    // The style is already in force: it is not assigned again.
    selectedModeSegment_->setSelectedSegment(style == AppleInterfaceStyle::dark ? 1 : 0);
    if (mode == kAppearanceSwitchManual) {
        selectRow(1);
        setTimeControlsVisible(false);
        selectedModeSegment_->setEnabled(true);
    }
    return ChangeReactorResponse::continueListeningForChanges;
}

int SwitchLightDarkVC::selectedRow() const {
    return radioBtnSwitch_->checkedId();
}

void SwitchLightDarkVC::selectRow(int row) {
    if (QAbstractButton* b = radioBtnSwitch_->button(row)) {
        b->setChecked(true);
    }
}

void SwitchLightDarkVC::setTimeControlsVisible(bool visible) {
    for (QWidget* w : std::initializer_list<QWidget*>{timePickerLight_, timePickerDark_,
                                                      labelLight_, labelDark_}) {
        w->setVisible(visible);
    }
}

void SwitchLightDarkVC::switchAppearanceAt(int row) {
    selectRow(row);
    switch (row) {
        case 0:
            defaults().setObject(kAppearanceSwitchOff, kAppearanceSwitchKey);
            defaults().synchronize();
            setTimeControlsVisible(false);
            selectedModeSegment_->setEnabled(false);
            break;
        case 1:
            defaults().setObject(kAppearanceSwitchManual, kAppearanceSwitchKey);
            defaults().synchronize();
            setTimeControlsVisible(false);
            selectedModeSegment_->setEnabled(true);
            break;
        case 2:
            setTimeControlsVisible(false);
            defaults().setObject(kAppearanceSwitchSunSetRise, kAppearanceSwitchKey);
            defaults().synchronize();
            selectedModeSegment_->setEnabled(false);
            locationManager_.reset();
            startLocationUpdates();
            break;
        case 3: {
            setTimeControlsVisible(true);
            selectedModeSegment_->setEnabled(false);
            defaults().setObject(kAppearanceSwitchCustom, kAppearanceSwitchKey);
            defaults().synchronize();
            const bool hasLight = storedDate(kLightModeTimeKey).has_value();
            const bool hasDark = storedDate(kDarkModeTimeKey).has_value();
            if (!hasLight) {
                defaults().setObject(defaultLightModeTime().toQDateTime(), kLightModeTimeKey);
                putDate(timePickerLight_, defaultLightModeTime());
            }
            if (!hasDark) {
                defaults().setObject(defaultDarkModeTime().toQDateTime(), kDarkModeTimeKey);
                putDate(timePickerDark_, defaultDarkModeTime());
            }
            break;
        }
        default:
            break;
    }
}

void SwitchLightDarkVC::switchSelectedApperanceMode(int segment) {
    AppleInterfaceStyle::setCurrent(segment == 0 ? AppleInterfaceStyle::light
                                                 : AppleInterfaceStyle::dark);
}

void SwitchLightDarkVC::lightmodeTime() {
    defaults().setObject(timePickerLight_->dateTime().toUTC(), kLightModeTimeKey);
}

void SwitchLightDarkVC::darkmodeTime() {
    defaults().setObject(timePickerDark_->dateTime().toUTC(), kDarkModeTimeKey);
}

void SwitchLightDarkVC::showLightDarkModeMenu(Qt::CheckState state) {
    if (state == Qt::PartiallyChecked) {
        return;
    }
    TalvorTimeSettings& settings = TalvorTimeSettings::sharedInstance();
    settings.showLightDarkMode = state == Qt::Checked;
    settings.writePrefsAndSync();
    if (delegate_.UpdateMenu) {
        delegate_.UpdateMenu(11);
    }
}

void SwitchLightDarkVC::openPage(const QString& path) {
    const QUrl url(QLatin1String(kHelpHost) + path);
    if (delegate_.openURL) {
        delegate_.openURL(url);
    } else {
        QDesktopServices::openUrl(url);
    }
}

void SwitchLightDarkVC::helpButtonClicked() {
    Manual::open(Manual::Section::LightDark, delegate_.openURL);
}

void SwitchLightDarkVC::OnVersionNoClicked() {
    openPage(QStringLiteral("/product/talvor/#changelog"));
}

void SwitchLightDarkVC::startLocationUpdates() {
    if (!locationManager_) {
        locationManager_ = delegate_.makeLocationManager ? delegate_.makeLocationManager()
                                                         : platform::LocationService::create();
        locationManager_->setDelegate(platform::LocationService::forwardingTo(this));
    }
    if (locationManager_->locationServicesEnabled()) {
        locationManager_->startUpdatingLocation();
    }
}

void SwitchLightDarkVC::didUpdateLocation(double latitude, double longitude) {
    defaults().setDouble(latitude, kCurrentLatitudeKey);
    defaults().setDouble(longitude, kCurrentLongitudeKey);
    defaults().synchronize();
}

void SwitchLightDarkVC::didFailWithError(const QString& error) {
    platform::log(QStringLiteral("Error ") + error);
}

void SwitchLightDarkVC::didChangeAuthorization(platform::LocationService::Authorization status) {
    using Authorization = platform::LocationService::Authorization;
    switch (status) {
        case Authorization::NotDetermined:
            platform::log(QStringLiteral("loc authorization not determined"));
            if (locationManager_) {
                locationManager_->startUpdatingLocation();
            }
            break;
        case Authorization::Denied: {
            platform::log(QStringLiteral("loc authorization denied"));
            if (locationManager_) {
                locationManager_->stopUpdatingLocation();
            }
            // Where the desktop has no location settings, the alert says how to allow it.
            const bool settings = platform::hasSystemSettings(locationSettings());
            const QString text =
                settings
                    ? tr("Please go to Settings and turn on Location Services for Talvor")
                    : tr("Talvor may not use this computer's position, and this desktop has no "
                         "location settings to open. Positions come from GeoClue: allow Talvor "
                         "in its configuration (/etc/geoclue/geoclue.conf, the [talvor] section) "
                         "or in your desktop's privacy settings. Until then the last position "
                         "known is used.");
            const auto openSettings = [this, settings] {
                if (!settings) {
                    return;
                }
                if (delegate_.openLocationSystemPrefrences) {
                    delegate_.openLocationSystemPrefrences();
                } else {
                    platform::openSystemSettings(locationSettings());
                }
            };
            if (delegate_.showLocationDeniedAlert) {
                delegate_.showLocationDeniedAlert(text);
                openSettings();
            } else {
                auto* box = new QMessageBox(QMessageBox::Warning, QString(), QString(),
                                            QMessageBox::Ok, this);
                box->setObjectName(QStringLiteral("locationDeniedAlert"));
                box->setInformativeText(text);
                // The settings open once the alert is answered, not under it.
                connect(box, &QMessageBox::finished, this, openSettings);
                platform::openDialog(box);
            }
            break;
        }
        case Authorization::Authorized:
            platform::log(QStringLiteral("loc authorization always"));
            if (locationManager_) {
                locationManager_->startUpdatingLocation();
            }
            break;
    }
}

}  // namespace talvor
