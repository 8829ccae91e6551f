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
      updater_(UpdateCheck::configuredFeed(), QCoreApplication::applicationVersion()) {
    offerUpdate = [this](QWidget* window, const AppcastItem& offer) {
        defaultOffer(window, offer, delegate_);
    };
    connect(&LoginItems::shared(), &LoginItems::changed, this, [this] { showStartAtLogin(); });
}

void AdvancedPrefVC::readPrefs() {
    PreferenceDomain::synchronize(kSyncFailed);
    if (btnAppIconInDock_) {
        btnAppIconInDock_->setChecked(PreferenceDomain::readInteger(keys::AppDockIconFlag, 0) != 0);
    }
    if (bShareData_) {
        // Never chosen: sharing is allowed, and shown so without writing anything.
        const platform::UserDefaults& defaults = platform::UserDefaults::standard();
        bShareData_->setChecked(!defaults.objectForKey(keys::ShareDataWithService).isValid() ||
                                defaults.boolForKey(keys::ShareDataWithService));
    }
}

void AdvancedPrefVC::actShareData() {
    platform::UserDefaults& defaults = platform::UserDefaults::standard();
    defaults.setBool(bShareData_ && bShareData_->isChecked(), keys::ShareDataWithService);
    defaults.synchronize();
}

void AdvancedPrefVC::writePrefs() {
    const bool hidden = btnAppIconInDock_ && btnAppIconInDock_->isChecked();
    PreferenceDomain::writeInteger(keys::AppDockIconFlag, hidden ? 1 : 0);
    PreferenceDomain::synchronize(kSyncFailed);
}

void AdvancedPrefVC::actHideShowDockIcon() {
    writePrefs();
    delegate_.postDistributed(keys::TalvorASMPrefsUdpateNotification);
    delegate_.call(delegate_.appDockIcon);
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
    if (btnAppIconInDock_ && btnAppIconInDock_->isChecked()) {
        btnAppIconInDock_->setChecked(false);
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
    if (bStartAtLogin_) {
        bStartAtLogin_->setChecked(LoginItems::shared().isEnabled());
    }
}

void AdvancedPrefVC::starAtLoginBtnClicked() {
    if (!bStartAtLogin_) {
        return;
    }
    if (!LoginItems::shared().setEnabled(bStartAtLogin_->isChecked())) {
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

    btnAppIconInDock_ = new QCheckBox(tr("Hide Talvor from the taskbar"), view.get());
    btnAppIconInDock_->setObjectName(QStringLiteral("btnAppIconInDock"));
    connect(btnAppIconInDock_, &QCheckBox::clicked, this, [this] { actHideShowDockIcon(); });
    layout->addWidget(btnAppIconInDock_);

    bStartAtLogin_ = new QCheckBox(tr("Start Talvor at login"), view.get());
    bStartAtLogin_->setObjectName(QStringLiteral("bStartAtLogin"));
    connect(bStartAtLogin_, &QCheckBox::clicked, this, [this] { starAtLoginBtnClicked(); });
    layout->addWidget(bStartAtLogin_);

    bShareData_ = new QCheckBox(
        tr("Share anonymous usage data and crash reports with the developer"), view.get());
    bShareData_->setObjectName(QStringLiteral("bShareData"));
    connect(bShareData_, &QCheckBox::clicked, this, [this] { actShareData(); });
    layout->addWidget(bShareData_);

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

    auto* onboarding = new QPushButton(tr("Show the Welcome Window"), view.get());
    onboarding->setObjectName(QStringLiteral("btnOnboarding"));
    connect(onboarding, &QPushButton::clicked, this, [this] { actOpenOnboardingScreen(); });
    auto* tutorial = new QPushButton(tr("Show the Tutorial"), view.get());
    tutorial->setObjectName(QStringLiteral("btnTutorial"));
    connect(tutorial, &QPushButton::clicked, this, [this] { actOpenTutorial(); });
    auto* onboardingRow = new QHBoxLayout;
    onboardingRow->addWidget(onboarding);
    onboardingRow->addWidget(tutorial);
    onboardingRow->addStretch(1);
    layout->addLayout(onboardingRow);

    btnResetAllPrefs_ = new QPushButton(tr("Reset All Settings..."), view.get());
    btnResetAllPrefs_->setObjectName(QStringLiteral("btnResetAllPrefs"));
    connect(btnResetAllPrefs_, &QPushButton::clicked, this, [this] { actResetAllPreferences(); });
    auto* resetRow = new QHBoxLayout;
    resetRow->addWidget(btnResetAllPrefs_);
    resetRow->addStretch(1);
    layout->addLayout(resetRow);
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
