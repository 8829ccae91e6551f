#include "NewUserScenes.h"

#include "GrabWindow.h"

#include "alarms/CustomModalWindowController.h"
#include "foundation/LocationRecord.h"
#include "foundation/PreferenceDomain.h"
#include "platform/Clock.h"
#include "platform/PreferenceStore.h"
#include "platform/Preferences.h"
#include "platform/UserDefaults.h"
#include "prefs/PreferencePane.h"
#include "shell/BreakTimer.h"
#include "shell/SettingsWindowHost.h"
#include "widgets/FormatTokenField.h"
#include "world/LocationPickerModel.h"
#include "world/TalvorLocationWinCtrl.h"
#include "world/TalvorMenuBarFlags.h"
#include "world/TalvorMyAddressPanel.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDateTime>
#include <QGroupBox>
#include <QLineEdit>
#include <QMimeData>
#include <QTemporaryDir>

#include <functional>

namespace talvor::shot {
namespace {

class StillDelegate : public SettingsWindowHostDelegate {
  public:
    void SetAlarmPrefSetControllerDelegate(AlarmEditor*) override {}
    QWidget* minnowCalendarWindow() override { return nullptr; }
    void openURL(const QUrl&) override {}
};

// Settings of the picture's own: the user's are neither read nor written.
struct OwnSettings {
    platform::MemoryPreferenceStore store{QStringLiteral("talvor-shot")};
    platform::UserDefaults defaults{store};
    OwnSettings() {
        platform::Preferences::install(
            std::make_unique<platform::MemoryPreferenceStore>(appTalvor4Prefs));
        platform::UserDefaults::setStandard(&defaults);
    }
    ~OwnSettings() {
        platform::UserDefaults::setStandard(nullptr);
        platform::Preferences::resetAll();
    }
};

QImage settings(double scale, const std::function<void(SettingsWindowHost&)>& steps) {
    OwnSettings own;
    StillDelegate delegate;
    SettingsWindowHost host(delegate, PaneFactory::standard());
    steps(host);
    QCoreApplication::processEvents();
    return grabWindow(*host.window(), scale);
}

QVariant place(const char* city, const char* state, const char* country, const char* zone,
               double hours, const char* abbreviation, bool inMenu) {
    return QVariantList{QString(),
                        QString::fromUtf8(city),
                        QString::fromUtf8(state),
                        QString::fromUtf8(country),
                        QString::fromLatin1(zone),
                        hours,
                        QString::fromLatin1(abbreviation),
                        QString(),
                        QString(),
                        QString(),
                        inMenu,
                        false};
}

// Friday 15 May 2026, 15:04:05 UTC: the samples and previews of the format panes.
class StillClock : public platform::Clock {
  public:
    Date now() const override {
        return Date::fromQDateTime(
            QDateTime(QDate(2026, 5, 15), QTime(15, 4, 5), QTimeZone::utc()));
    }
    QTimeZone currentZone() const override { return QTimeZone::utc(); }
};

// A format pane with a composed format in its field: each source named is dropped in turn,
// the texts between them typed. Draws the whole window, or only the composer.
QImage renderFormatPane(double scale, PaneTag tag, const std::vector<const char*>& steps,
                        bool composerOnly) {
    // The built-in format lists, whatever the user keeps.
    QTemporaryDir data;
    const QByteArray oldData = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", data.path().toUtf8());
    StillClock clock;
    platform::Clock::setShared(&clock);
    // As the application starts with no word stored: the time shown.
    TalvorMenuBarFlags = kMenuBarShowTime;
    QImage picture;
    {
        OwnSettings own;
        StillDelegate delegate;
        SettingsWindowHost host(delegate, PaneFactory::standard());
        host.doOnMain(tag);
        QWidget* view = host.viewCtrl() != nullptr ? host.viewCtrl()->view() : nullptr;
        auto* field = view != nullptr ? view->findChild<FormatTokenField*>() : nullptr;
        if (field != nullptr) {
            for (const char* step : steps) {
                if (auto* source =
                        view->findChild<FormatTokenSourceLabel*>(QString::fromLatin1(step))) {
                    const std::unique_ptr<QMimeData> mime(source->makeMimeData());
                    field->dropMimeData(*mime);
                } else {
                    field->append(QString::fromUtf8(step));
                }
            }
        }
        QCoreApplication::processEvents();
        auto* composer =
            view != nullptr ? view->findChild<QGroupBox*>(QStringLiteral("composer")) : nullptr;
        picture = grabWindow(*host.window(), scale);
        if (composerOnly && composer != nullptr) {
            // Laid out in its window first, then drawn alone.
            picture = QImage((QSizeF(composer->size()) * scale).toSize(),
                             QImage::Format_ARGB32_Premultiplied);
            picture.setDevicePixelRatio(scale);
            picture.fill(composer->palette().window().color());
            composer->render(&picture);
        }
    }
    platform::Clock::setShared(nullptr);
    if (oldData.isNull()) {
        qunsetenv("XDG_DATA_HOME");
    } else {
        qputenv("XDG_DATA_HOME", oldData);
    }
    return picture;
}

}  // namespace

QImage renderSettingsTimeItem(double scale) {
    return renderFormatPane(scale, PaneTag::timeMenu, {"hour", ":", "minute", " ", "ampm"}, false);
}

QImage renderSettingsDateItem(double scale) {
    return renderFormatPane(scale, PaneTag::dateMenu,
                            {"dayOfWeek", ", ", "month", " ", "dayOfMonth"}, false);
}

QImage renderFormatComposer(double scale) {
    return renderFormatPane(scale, PaneTag::dateMenu,
                            {"dayOfWeek", ", ", "month", " ", "dayOfMonth"}, true);
}

QImage renderSettingsFirstOpening(double scale) {
    return settings(scale, [](SettingsWindowHost& host) { host.showPrefs(); });
}

QImage renderSettingsCountDown(double scale) {
    return settings(scale, [](SettingsWindowHost& host) {
        host.showCountDownTimer();
        host.doOnMain(PaneTag::chimes);
        host.showCountDownTimer();
    });
}

QImage renderSettingsApplicationsMenu(double scale) {
    return settings(scale,
                    [](SettingsWindowHost& host) { host.doOnMain(PaneTag::applicationsMenu); });
}

QImage renderSettingsChimes(double scale) {
    return settings(scale, [](SettingsWindowHost& host) {
        PreferenceDomain::writeInteger(QStringLiteral("QuietStart"), 2400);
        PreferenceDomain::writeInteger(QStringLiteral("QuietEnd"), 700);
        host.doOnMain(PaneTag::chimes);
    });
}

QImage renderLocationsWindow(double scale) {
    OwnSettings own;
    const LocationTable table{
        place("Berlin", "Berlin", "Germany", "Europe/Berlin", 1, "CET", true),
        place("Tokyo", "Tokyo", "Japan", "Asia/Tokyo", 9, "JST", true),
        place("New York", "New York", "United States of America", "America/New_York", -5, "EST",
              false),
        place("Lima", "Lima", "Peru", "America/Lima", -5, "PET", false),
    };
    TalvorLocationWinCtrl::Ports ports;
    ports.load = [table] { return std::optional<LocationTable>(table); };
    ports.save = [](const LocationTable&) { return true; };
    ports.post = [](const QString&) {};
    TalvorLocationWinCtrl locations(ports);
    return grabWindow(*locations.window(), scale);
}

QImage renderLocationPicker(double scale) {
    OwnSettings own;
    TalvorMyAddressPanel picker(std::make_unique<LocationPickerModel>(
                                    ZoneInfoTree(), LocationLists::bundled(), own.defaults),
                                QStringLiteral("Europe/Berlin"));
    QWidget* window = picker.window();
    window->adjustSize();
    return grabWindow(*window, scale);
}

QImage renderBreakSheet(double scale) {
    struct Still : CustomModalWindowDelegate {
        void disableTake5() override {}
        void showTake5Prefrences() override {}
    } delegate;
    CustomModalWindowController sheet(delegate);
    sheet.beginSheet(nullptr, [](int) {});
    sheet.showBreakTime->setText(BreakTimer::breakTimeText(43));
    QImage image = grabWindow(*sheet.window(), scale);
    sheet.endSheet(CustomModalWindowController::kReplacedReturnCode);
    return image;
}

}  // namespace talvor::shot
