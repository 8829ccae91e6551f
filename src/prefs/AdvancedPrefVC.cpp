#include "AdvancedPrefVC.h"

#include "PrefsKeys.h"
#include "TalvorPrefsFloatingViewCtrl.h"
#include "alarms/TalvorTakeABreakSettings.h"
#include "calendar/TalvorCalPrefsSettings.h"
#include "calendarui/ztCalendarController.h"
#include "foundation/PreferenceDomain.h"
#include "foundation/TalvorDateSettings.h"
#include "foundation/TalvorTimeSettings.h"
#include "platform/Log.h"
#include "platform/OpenDialogs.h"
#include "platform/UserDefaults.h"
#include "services/AppStartup.h"
#include "world/WorldKeys.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QMessageBox>
#include <QVBoxLayout>

namespace talvor {
namespace {

const QString kSyncFailed =
    QStringLiteral("General settings: the settings file could not be synchronised");

const QString kShowDefaultCalBGImg = QStringLiteral("ShowDefaultCalBGImg");
const QString kCalImgURL = QStringLiteral("CalImgURL");
const QString kCalImgWidth = QStringLiteral("CalImgWidth");
const QString kCalImgHeight = QStringLiteral("CalImgHeight");

const QString kDockIcon = QStringLiteral("btnAppIconInDock");
const QString kStartAtLogin = QStringLiteral("bStartAtLogin");
const QString kShareData = QStringLiteral("bShareData");
const QString kResetAll = QStringLiteral("btnResetAllPrefs");

void defaultConfirm(QWidget* window, std::function<void(bool)> answer) {
    auto* box = new QMessageBox(QMessageBox::Warning, QObject::tr("Reset all settings"),
                                QObject::tr("Reset all settings to their defaults?"),
                                QMessageBox::NoButton, window);
    box->setInformativeText(
        QObject::tr("Clocks, menus, break reminders and calendars return to how Talvor came. "
                    "Alarms, chimes and to-dos are kept. This cannot be undone."));
    QPushButton* reset = box->addButton(QObject::tr("Reset"), QMessageBox::DestructiveRole);
    QPushButton* cancel = box->addButton(QMessageBox::Cancel);
    box->setDefaultButton(cancel);
    platform::openDialog(box, [box, reset, answer = std::move(answer)](int) {
        answer(box->clickedButton() == reset);
    });
}

void defaultOffer(QWidget* window, const AppcastItem& offer, const PaneDelegate& delegate) {
    auto* box = new QMessageBox(QMessageBox::Information, QObject::tr("Update available"),
                                QObject::tr("Talvor %1 is available.").arg(offer.shortVersion),
                                QMessageBox::NoButton, window);
    box->setInformativeText(offer.notes);
    QPushButton* open = offer.download.isValid() ? box->addButton(QObject::tr("Open Download Page"),
                                                                  QMessageBox::AcceptRole)
                                                 : nullptr;
    box->addButton(QMessageBox::Close);
    platform::openDialog(box, [box, open, url = offer.download, delegate](int) {
        if (open != nullptr && box->clickedButton() == open) {
            delegate.open(url);
        }
    });
}

}  // namespace

ResetAllSteps ResetAllSteps::standard(const PaneDelegate& delegate) {
    ResetAllSteps s;
    s.floatingClocks = [delegate] { TalvorPrefsFloatingViewCtrl::resetToDefaults(delegate); };
    s.timeSettings = [] {
        TalvorTimeSettings& time = TalvorTimeSettings::sharedInstance();
        time.resetTimeViewToDefaults();
        time.resetMenuItemsToDefaults();
        time.resetTake5ToDefaults();
        time.writePrefsAndSync();
    };
    s.breakSettings = [] {
        TalvorTakeABreakSettings& breaks = TalvorTakeABreakSettings::sharedInstance();
        breaks.resetPrefsToDefaults();
        breaks.writePrefsAndSync();
    };
    s.calendarWindowSettings = [] {
        TalvorCalPrefsSettings& calendar = TalvorCalPrefsSettings::sharedInstance();
        calendar.resetPrefsToDefaults();
        calendar.writePrefsAndSync();
    };
    s.calendarWindowController = [] { ztCalendarController::sharedInstance().resetPreferences(); };
    s.calendarPictureDefaults = [] {
        platform::UserDefaults& defaults = platform::UserDefaults::standard();
        defaults.setBool(false, kShowDefaultCalBGImg);
        defaults.removeObjectForKey(kCalImgURL);
        defaults.setInteger(0, kCalImgWidth);
        defaults.setInteger(0, kCalImgHeight);
        defaults.synchronize();
    };
    s.calendarPictureRedisplay = [] {
        ztCalendarController& calendar = ztCalendarController::sharedInstance();
        if (QWidget* w = calendar.window(); w != nullptr && w->isVisible()) {
            calendar.showCalBGImg();
        }
    };
    s.dateSettings = [] {
        TalvorDateSettings& date = TalvorDateSettings::sharedInstance();
        date.resetDateViewToDefaults();
        date.writePrefsAndSync();
    };
    s.floatingWindowFrame = [] {
        platform::UserDefaults& defaults = platform::UserDefaults::standard();
        defaults.removeObjectForKey(keys::TimeFloatWindowFrame);
        defaults.synchronize();
    };
    return s;
}

AdvancedPrefVC::Variant AdvancedPrefVC::builtVariant() {
#ifdef TALVOR_STORE_BUILD
    return Variant::Store;
#else
    return Variant::WithUpdates;
#endif
}

AdvancedPrefVC::AdvancedPrefVC(QString nibName, const PaneDelegate& delegate, Variant variant)
    : AdvancedPrefVC(std::move(nibName), delegate, variant, ResetAllSteps::standard(delegate)) {}

AdvancedPrefVC::AdvancedPrefVC(QString nibName, PaneDelegate delegate, Variant variant,
                               ResetAllSteps steps)
    : PreferencePane(QStringLiteral("AdvancedPrefVC"), std::move(nibName),
                     QStringLiteral("General")),
      confirmReset(defaultConfirm),
      delegate_(std::move(delegate)),
      variant_(variant),
      steps_(std::move(steps)),
      updater_(UpdateCheck::configuredFeed(), QCoreApplication::applicationVersion()),
      table_(staticMetaObject.className(), makeRows(),
             {{},
              [this](const QString& name) { delegate_.postDistributed(name); },
              [this](const PaneCall& call) { perform(call); },
              [this] { table_.load(); }}) {
    offerUpdate = [this](QWidget* window, const AppcastItem& offer) {
        defaultOffer(window, offer, delegate_);
    };
    connect(&LoginItems::shared(), &LoginItems::changed, this, [this] { showStartAtLogin(); });
}

std::vector<PaneRow> AdvancedPrefVC::makeRows() {
    using K = PaneRow::Kind;
    constexpr PaneRow::Place column = PaneRow::Place::Column;
    return {
        {.id = kDockIcon,
         .kind = K::Check,
         .label = QT_TRANSLATE_NOOP("talvor::AdvancedPrefVC", "Hide Talvor from the taskbar"),
         .binding = {
             [] { return QVariant(PreferenceDomain::readInteger(keys::AppDockIconFlag, 0) != 0); },
             [this](const QVariant& hidden) { storeDockIcon(hidden.toBool()); }},
         .defaultValue = false,
         .effects = {.store = true,
                     .post = keys::TalvorASMPrefsUdpateNotification,
                     .call = PaneCall{PaneRequest::AppDockIcon{}}},
         .place = column},
        // The autostart entry is the truth: shown from it, and after a change what took.
        {.id = kStartAtLogin,
         .kind = K::Check,
         .label = QT_TRANSLATE_NOOP("talvor::AdvancedPrefVC", "Start Talvor at login"),
         .binding = {[] { return QVariant(LoginItems::shared().isEnabled()); },
                     [this](const QVariant& start) { storeStartAtLogin(start.toBool()); }},
         .effects = {.store = true},
         .place = column},
        // Never chosen: sharing is allowed, and shown so without writing anything.
        {.id = kShareData,
         .kind = K::Check,
         .label =
             QT_TRANSLATE_NOOP("talvor::AdvancedPrefVC",
                               "Share anonymous usage data and crash reports with the developer"),
         .binding = {[] {
                         const platform::UserDefaults& defaults =
                             platform::UserDefaults::standard();
                         return defaults.objectForKey(keys::ShareDataWithService).isValid()
                                    ? QVariant(defaults.boolForKey(keys::ShareDataWithService))
                                    : QVariant();
                     },
                     [](const QVariant& shared) {
                         platform::UserDefaults& defaults = platform::UserDefaults::standard();
                         defaults.setBool(shared.toBool(), keys::ShareDataWithService);
                         defaults.synchronize();
                     }},
         .defaultValue = true,
         .effects = {.store = true},
         .place = column},
        {.id = QStringLiteral("btnOnboarding"),
         .kind = K::Button,
         .label = QT_TRANSLATE_NOOP("talvor::AdvancedPrefVC", "Show the Welcome Window"),
         .action = [this] { actOpenOnboardingScreen(); },
         .place = column},
        {.id = QStringLiteral("btnTutorial"),
         .kind = K::Button,
         .label = QT_TRANSLATE_NOOP("talvor::AdvancedPrefVC", "Show the Tutorial"),
         .action = [this] { actOpenTutorial(); },
         .place = column,
         .sameLine = true},
        {.id = kResetAll,
         .kind = K::Button,
         .label = QT_TRANSLATE_NOOP("talvor::AdvancedPrefVC", "Reset All Settings..."),
         .action = [this] { actResetAllPreferences(); },
         .place = column},
    };
}

void AdvancedPrefVC::perform(const PaneCall& call) {
    if (std::holds_alternative<PaneRequest::AppDockIcon>(call)) {
        delegate_.call(delegate_.appDockIcon);
    }
}

QCheckBox* AdvancedPrefVC::dockIconCheckbox() const {
    return qobject_cast<QCheckBox*>(table_.control(kDockIcon));
}

QCheckBox* AdvancedPrefVC::startAtLoginCheckbox() const {
    return qobject_cast<QCheckBox*>(table_.control(kStartAtLogin));
}

QCheckBox* AdvancedPrefVC::shareDataCheckbox() const {
    return qobject_cast<QCheckBox*>(table_.control(kShareData));
}

QPushButton* AdvancedPrefVC::resetButton() const {
    return qobject_cast<QPushButton*>(table_.control(kResetAll));
}

void AdvancedPrefVC::readPrefs() {
    PreferenceDomain::synchronize(kSyncFailed);
    table_.load();
}

void AdvancedPrefVC::actShareData() {
    const QCheckBox* box = shareDataCheckbox();
    table_.apply(kShareData, box != nullptr && box->isChecked());
}

void AdvancedPrefVC::storeDockIcon(bool hidden) {
    PreferenceDomain::writeInteger(keys::AppDockIconFlag, hidden ? 1 : 0);
    PreferenceDomain::synchronize(kSyncFailed);
}

void AdvancedPrefVC::writePrefs() {
    const QCheckBox* box = dockIconCheckbox();
    storeDockIcon(box != nullptr && box->isChecked());
}

void AdvancedPrefVC::actHideShowDockIcon() {
    const QCheckBox* box = dockIconCheckbox();
    table_.apply(kDockIcon, box != nullptr && box->isChecked());
}

void AdvancedPrefVC::actResetAllPreferences() {
    confirmReset(view() ? view()->window() : nullptr, [self = QPointer(this)](bool reset) {
        if (reset && self) {
            self->resetAllPreferences();
        }
    });
}

void AdvancedPrefVC::resetAllPreferences() {
    platform::log(QStringLiteral("Reset all preferences"));
    view();
    if (QCheckBox* box = dockIconCheckbox(); box != nullptr && box->isChecked()) {
        box->setChecked(false);
        actHideShowDockIcon();
    }
    const auto run = [](const std::function<void()>& step) {
        if (step) {
            step();
        }
    };
    const bool full = variant_ == Variant::WithUpdates;
    run(steps_.floatingClocks);
    run(steps_.timeSettings);
    run(steps_.breakSettings);
    if (full) {
        run(steps_.calendarWindowSettings);
        run(steps_.calendarWindowController);
    }
    run(steps_.calendarPictureDefaults);
    run(steps_.calendarPictureRedisplay);
    if (full) {
        run(steps_.dateSettings);
        run(steps_.floatingWindowFrame);
    }
}

void AdvancedPrefVC::showStartAtLogin() {
    if (QCheckBox* box = startAtLoginCheckbox()) {
        box->setChecked(LoginItems::shared().isEnabled());
    }
}

void AdvancedPrefVC::starAtLoginBtnClicked() {
    if (const QCheckBox* box = startAtLoginCheckbox()) {
        table_.apply(kStartAtLogin, box->isChecked());
    }
}

void AdvancedPrefVC::storeStartAtLogin(bool start) {
    if (!LoginItems::shared().setEnabled(start)) {
        platform::log(QStringLiteral("Start at login: the autostart entry could not be changed"));
    }
    showStartAtLogin();  // the entry is the truth, whether or not the change took
}

void AdvancedPrefVC::checkForUpdates() {
    if (bCheckForUpdates_) {
        bCheckForUpdates_->setEnabled(false);
    }
    if (updateStatus_) {
        updateStatus_->setText(tr("Checking for updates..."));
    }
    updater_.check([this](const UpdateCheck::Result& result) { showUpdateResult(result); });
}

void AdvancedPrefVC::showUpdateResult(const UpdateCheck::Result& result) {
    if (bCheckForUpdates_) {
        bCheckForUpdates_->setEnabled(updater_.hasChannel());
    }
    if (updateStatus_) {
        updateStatus_->setText(result.message);
    }
    if (result.outcome == UpdateCheck::Outcome::NewerVersion && result.offer && offerUpdate) {
        offerUpdate(view() ? view()->window() : nullptr, *result.offer);
    }
}

void AdvancedPrefVC::helpBtnClicked() {
    delegate_.openManual(helpPage());
}

void AdvancedPrefVC::OnVersionNoClicked() {
    delegate_.open(PaneLinks::changeLogPage());
}

void AdvancedPrefVC::actOpenOnboardingScreen() {
    delegate_.call(delegate_.showBoardingScreen);
}

void AdvancedPrefVC::actOpenTutorial() {
    tutorial_ = TutorialWindowController::init();
    if (tutorial_) {
        tutorial_->showWindow();
    }
}

std::unique_ptr<QWidget> AdvancedPrefVC::loadView() {
    auto view = std::make_unique<QWidget>();
    view->setObjectName(className());
    auto* layout = new QVBoxLayout(view.get());
    layout->setContentsMargins(24, 20, 24, 20);

    table_.build(*view, *layout, kShareData);

    placeChoice_ = new StatusItemsPlaceChoice(
        [this](platform::StatusItemsPlace place) {
            if (delegate_.setStatusItemsPlace) {
                delegate_.setStatusItemsPlace(place);
            }
        },
        view.get());
    layout->addWidget(placeChoice_);

    if (variant_ == Variant::WithUpdates) {
        auto* row = new QHBoxLayout;
        bCheckForUpdates_ = new QPushButton(tr("Check for Updates..."), view.get());
        bCheckForUpdates_->setObjectName(QStringLiteral("bCheckForUpdates"));
        connect(bCheckForUpdates_, &QPushButton::clicked, this, [this] { checkForUpdates(); });
        bCheckForUpdates_->setEnabled(updater_.hasChannel());
        // Why the button is off, and what would turn it on, under it: a line beside it
        // would widen the pane past the window.
        updateStatus_ = new QLabel(
            updater_.hasChannel() ? QString() : UpdateCheck::noChannelMessage(), view.get());
        updateStatus_->setObjectName(QStringLiteral("updateStatus"));
        updateStatus_->setWordWrap(true);
        row->addWidget(bCheckForUpdates_);
        row->addStretch(1);
        layout->addLayout(row);
        layout->addWidget(updateStatus_);
    }

    table_.build(*view, *layout);
    layout->addStretch(1);

    const PaneLinks::LinkRow links = PaneLinks::makeLinkRow(
        *view, [this] { OnVersionNoClicked(); }, [this] { helpBtnClicked(); });
    btnHelpVersionNo_ = links.versionButton;
    layout->addLayout(links.layout);

    readPrefs();
    // The box follows the entry also when the desktop's own settings change it.
    LoginItems::shared().watch();
    showStartAtLogin();
    placeChoice_->load();
    view->resize(480, 360);
    return view;
}

}  // namespace talvor
